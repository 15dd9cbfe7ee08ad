#include "ui/qt/deviceselect.h"

#include <algorithm>

#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>

namespace tq9 {

Tdeviceselectbox::Tdeviceselectbox(QWidget* parent) : QDialog(parent) {
    setObjectName("deviceselectbox");
    setWindowTitle("Select USB Device");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(505, 217);
    setModal(true);
    QFont dialogFont("MS Sans Serif");
    dialogFont.setPointSize(8);
    setFont(dialogFont);

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(0, 0, 505, 217);
    Panel1->setAutoFillBackground(true);
    Panel1->setBackgroundRole(QPalette::Button);

    Label1 = new QLabel("Select FTDI Cable or  FT232R device:", Panel1);
    Label1->setObjectName("Label1");
    Label1->setGeometry(24, 16, 217, 16);
    QFont labelFont("Arial");
    labelFont.setPointSize(10);
    Label1->setFont(labelFont);
    // Sized to its text: a font with wider letters than Arial must not cut it off.
    Label1->adjustSize();
    Label1->resize(std::max(Label1->width(), 217), 16);
    QPalette black = Label1->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    Label1->setPalette(black);

    ListView1 = new QTreeWidget(Panel1);
    ListView1->setObjectName("ListView1");
    ListView1->setGeometry(18, 40, 463, 129);
    ListView1->setColumnCount(3);
    ListView1->setHeaderLabels({"USB Device", "FTDI Serial", "Description"});
    ListView1->setColumnWidth(0, 100);
    ListView1->setColumnWidth(1, 100);
    ListView1->setColumnWidth(2, 250);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->header()->setSectionsMovable(false);
    ListView1->header()->setStretchLastSection(false);
    QFont listFont = dialogFont;
    listFont.setBold(true);
    ListView1->setFont(listFont);
    ListView1->viewport()->installEventFilter(this);

    OKButton = new QPushButton("OK", Panel1);
    OKButton->setObjectName("OKButton");
    OKButton->setGeometry(407, 182, 65, 23);
    OKButton->setDefault(true);
    OKButton->setAutoDefault(true);

    CancelButton = new QPushButton("Cancel", Panel1);
    CancelButton->setObjectName("CancelButton");
    CancelButton->setGeometry(327, 180, 65, 25);
    // Enter presses the focused button: Cancel when it has the focus, OK otherwise.
    CancelButton->setAutoDefault(true);

    setTabOrder(OKButton, ListView1);
    setTabOrder(ListView1, CancelButton);

    connect(OKButton, &QPushButton::clicked, this, &Tdeviceselectbox::OKButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &Tdeviceselectbox::CancelButtonClick);
    connect(ListView1, &QTreeWidget::doubleClicked, this, &Tdeviceselectbox::ListView1DblClick);
}

void Tdeviceselectbox::ClearRows() {
    ListView1->clear();
}

void Tdeviceselectbox::AddRow(const QString& caption, const QString& serial,
                              const QString& description) {
    new QTreeWidgetItem(ListView1, QStringList{caption, serial, description});
}

void Tdeviceselectbox::SelectRow(int row) {
    ListView1->clearSelection();
    if (QTreeWidgetItem* item = ListView1->topLevelItem(row)) {
        ListView1->setCurrentItem(item);
        item->setSelected(true);
    }
}

int Tdeviceselectbox::SelectedRow() const {
    const auto selected = ListView1->selectedItems();
    return selected.isEmpty() ? -1 : ListView1->indexOfTopLevelItem(selected.first());
}

int Tdeviceselectbox::ShowModal() {
    // The arrows choose a row at once and Enter confirms it (OK is the default button).
    ListView1->setFocus();
    const int result = exec();
    return result == mrOk ? mrOk : mrCancel;  // the close box gives 0: Cancel
}

void Tdeviceselectbox::OKButtonClick() {
    done(SelectedRow() >= 0 ? mrOk : mrCancel);
}

void Tdeviceselectbox::CancelButtonClick() {
    done(mrCancel);
}

void Tdeviceselectbox::ListView1DblClick() {
    OKButtonClick();
}

void Tdeviceselectbox::keyPressEvent(QKeyEvent* event) {
    // No key is bound to Cancel: Escape does nothing here.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Tdeviceselectbox::showEvent(QShowEvent* event) {
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
}

bool Tdeviceselectbox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListView1->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            // A click below the rows clears the selection.
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (!ListView1->indexAt(mouse->position().toPoint()).isValid()) {
                ListView1->clearSelection();
            }
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            // On a row the list's own signal answers; below the rows, this one does.
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (!ListView1->indexAt(mouse->position().toPoint()).isValid()) ListView1DblClick();
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace tq9
