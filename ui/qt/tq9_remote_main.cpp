#include "ui/qt/tq9_remote_main.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QSoundEffect>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "board/ScanCores.h"
#include "ui/qt/RecordsWindow.h"

namespace tq9 {

namespace {
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kBlue(0, 0, 255);
const QColor kMagenta(255, 0, 255);
const QColor kOrange(255, 128, 0);

// Text colour for the usable states only, so a disabled control still looks disabled.
void TextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::ButtonText, colour);
        palette.setColor(group, QPalette::Text, colour);
        palette.setColor(group, QPalette::WindowText, colour);
    }
    widget->setPalette(palette);
}

void Bold(QWidget* widget) {
    QFont font = widget->font();
    font.setBold(true);
    widget->setFont(font);
}

QPushButton* Button(const char* name, const char* caption, const char* hint) {
    auto* button = new QPushButton(caption);
    button->setObjectName(name);
    if (hint) button->setStatusTip(hint);
    button->setAutoDefault(true);  // Enter presses the button that has the focus, as Space does
    return button;
}

QLineEdit* Edit(const char* name, const char* text, const char* hint, bool readOnly) {
    auto* edit = new QLineEdit(text);
    edit->setObjectName(name);
    if (hint) edit->setStatusTip(hint);
    edit->setReadOnly(readOnly);
    return edit;
}

QLabel* Label(const char* text, QWidget* buddy = nullptr) {
    auto* label = new QLabel(text);
    if (buddy) label->setBuddy(buddy);
    return label;
}

// The operator's keys and wheel over the firmware and test-port lists, and Esc anywhere in
// the window, as the shared rules say: the wheel and the arrows of a closed list never
// change it, and an Esc that closes an open list is no Cancel.
class InputRules : public QObject {
  public:
    InputRules(TForm1* form, QScrollArea* column, std::vector<QComboBox*> lists)
        : QObject(form), form_(form), column_(column), lists_(std::move(lists)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Wheel && IsList(watched)) {
            if (WheelTurned(InputPlace::ClosedList) != InputResponse::ScrollColumn) return false;
            QCoreApplication::sendEvent(column_->viewport(), event);
            return true;
        }
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
            // Keys in the window itself or in its lists' entries; a dialog or a menu has its
            // own Esc.
            auto* widget = qobject_cast<QWidget*>(watched);
            if (!widget || (widget->window() != form_ && !IsListPopup(widget->window())))
                return false;
            QWidget* popup = QApplication::activePopupWidget();
            if (popup && !IsListPopup(popup)) return false;
            if (event->type() == QEvent::ShortcutOverride) {
                // An Esc press begins here; the open list may close on it before the press
                // itself arrives, so the press is noted by its time stamp now.
                if (popup) escapeOnOpenList_ = key->timestamp();
                return false;
            }
            const bool onOpenList =
                popup || std::exchange(escapeOnOpenList_, std::nullopt) == key->timestamp();
            switch (EscapePressed(onOpenList ? InputPlace::OpenList : InputPlace::Elsewhere)) {
                case InputResponse::Cancel:
                    form_->BtnCancelClick();
                    return true;
                case InputResponse::CloseListOnly:
                    // An open list closes itself; once it has, the press goes no further.
                    return popup == nullptr;
                default:
                    return false;
            }
        }
        if (event->type() != QEvent::KeyPress || !IsList(watched) || !StepsOrSearches(*key))
            return false;
        // The list itself has the keys only while it is closed; open, its entries have them.
        if (ListKeyPressed(InputPlace::ClosedList) != InputResponse::OpenTheList) return false;
        static_cast<QComboBox*>(watched)->showPopup();
        return true;
    }

  private:
    // A key a closed QComboBox answers by changing its entry: a step (Shift and the keypad
    // step as well) or a character it searches the entries for.
    static bool StepsOrSearches(const QKeyEvent& key) {
        if (key.modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) return false;
        switch (key.key()) {
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
            case Qt::Key_Home:
            case Qt::Key_End:
                return true;
            default:
                return !key.text().isEmpty() && key.text().at(0).isPrint();
        }
    }
    bool IsList(QObject* object) const {
        return std::find(lists_.begin(), lists_.end(), object) != lists_.end();
    }
    // Whether `window` holds the entries of one of the lists (shown while the list is open).
    bool IsListPopup(const QWidget* window) const {
        if (!window) return false;
        for (QComboBox* list : lists_) {
            if (list->view() && list->view()->window() == window) return true;
        }
        return false;
    }

    TForm1* form_;
    QScrollArea* column_;
    std::vector<QComboBox*> lists_;
    std::optional<quint64> escapeOnOpenList_;  // the time stamp of an Esc on an open list
};

// "Lucida Console" where the machine has it, else a fixed-pitch font it does have: what a
// family name matches depends on the fonts installed, so the match is checked, not assumed.
QFont ConsoleFont() {
    const auto sized = [](QFont font) {
        font.setPixelSize(12);
        return font;
    };
    QFont wanted = sized(QFont("Lucida Console"));
    wanted.setStyleHint(QFont::TypeWriter);
    wanted.setFixedPitch(true);
    QList<QFont> candidates{wanted, sized(QFontDatabase::systemFont(QFontDatabase::FixedFont))};
    for (const char* family : {"monospace", "DejaVu Sans Mono", "Liberation Mono", "Courier New"})
        candidates << sized(QFont(family));
    for (const QString& family : QFontDatabase::families()) {
        if (QFontDatabase::isFixedPitch(family)) candidates << sized(QFont(family));
    }
    for (const QFont& font : candidates) {
        if (QFontInfo(font).fixedPitch()) return font;
    }
    return wanted;  // no fixed-pitch font at all: the nearest the machine has
}
}  // namespace

TForm1::TForm1(Setup setup, QWidget* parent) : QMainWindow(parent), ctx_(*this) {
    setObjectName("Form1");
    setWindowTitle("TQ9.5 Dizavavov");
    QFont font("Arial");
    font.setPixelSize(12);
    setFont(font);

    BuildControls();
    WireHandlers();

    ApplyWindowSetup(ctx_, setup, systemRunner_);

    // Start-up: window defaults here, the rest as every other handler does it. The menu bar
    // sits above the controls' area, which keeps its size.
    const int menuHeight = menuBar()->sizeHint().height();
    resize(859, 679 + menuHeight);
    setMinimumSize(580, 400 + menuHeight);
    move(50, 100);
    dd_FirmwareType->setCurrentIndex(kFirmwareEntryAtStart);
    rules_.Start(setup.programDirectory, setup.startupWarnings);
    Timer1->start();
    BtnRescan->setFocus();  // Enter or Space starts the device flow at once
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (placed_ || event->spontaneous()) return;
    placed_ = true;
    if (const QScreen* shown = screen()) PlaceInside(shown->availableGeometry());
    // A window manager frames the window only after its first show, and tells the frame's
    // width whenever it gets to it, then may place the framed window itself: for a while
    // the frame, not only the client area, is kept on the screen as soon as it is known.
    auto* watch = new QTimer(this);
    watch->setInterval(100);
    connect(watch, &QTimer::timeout, this, [this, watch, ticks = 0]() mutable {
        if (const QScreen* shown = screen()) PlaceInside(shown->availableGeometry());
        if (++ticks == 30) watch->deleteLater();
    });
    watch->start();
}

void TForm1::PlaceInside(const QRect& available) {
    // The frame's edges (title bar, borders) as the window manager drew them, if any: the
    // window's own word, which the widget's learns only at its next move.
    const QMargins edges = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const QRect frame = geometry().marginsAdded(edges);
    if (available.contains(frame)) return;
    const QSize room = available.size().shrunkBy(edges);
    const QSize size = this->size().boundedTo(room).expandedTo(minimumSize());
    QRect placed(frame.topLeft(), size.grownBy(edges));
    if (placed.right() > available.right()) placed.moveRight(available.right());
    if (placed.bottom() > available.bottom()) placed.moveBottom(available.bottom());
    if (placed.left() < available.left()) placed.moveLeft(available.left());
    if (placed.top() < available.top()) placed.moveTop(available.top());
    setGeometry(placed.marginsRemoved(edges));
}

TForm1::~TForm1() {
    rules_.Shutdown();
}

void TForm1::BuildControls() {
    auto* central = new QWidget;
    setCentralWidget(central);
    auto* columns = new QHBoxLayout(central);

    // Left column: the controls.
    // Wide enough for the device view to show FTDI's longest factory description whole.
    constexpr int kLeftColumnWidth = 336;
    auto* left = new QWidget;
    left->setFixedWidth(kLeftColumnWidth);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    // Below the height the controls need, the column scrolls instead of squashing them;
    // the Device/Close row, Cancel and the busy lamp stay above it, always in view.
    auto* leftScroll = new QScrollArea;
    leftScroll->setObjectName("LeftColumn");
    leftScroll->setWidget(left);
    leftScroll->setWidgetResizable(true);
    leftScroll->setFrameShape(QFrame::NoFrame);
    leftScroll->setFocusPolicy(Qt::NoFocus);  // Tab goes from control to control
    leftScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int leftWidth = kLeftColumnWidth + leftScroll->verticalScrollBar()->sizeHint().width();
    leftScroll->setFixedWidth(leftWidth);
    auto* pinned = new QWidget;
    pinned->setObjectName("PinnedControls");
    pinned->setFixedWidth(leftWidth);
    auto* pinnedLayout = new QVBoxLayout(pinned);
    pinnedLayout->setContentsMargins(0, 0, 0, 0);
    auto* leftColumn = new QVBoxLayout;
    leftColumn->addWidget(pinned);
    leftColumn->addWidget(leftScroll, 1);
    columns->addLayout(leftColumn);

    auto* deviceBar = new QGridLayout;
    BtnRescan = Button("BtnRescan", "Device", "Open TQ9 USB Device");
    BtnClose = Button("BtnClose", "Close", "Close TQ9 USB Device");
    for (QPushButton* b : {BtnRescan, BtnClose}) {
        TextColour(b, kRed);
        Bold(b);
        b->setFixedWidth(80);
        deviceBar->addWidget(b, 0, 0);  // the same place; one of them is visible
    }
    BtnClose->hide();
    DeviceView = Edit("DeviceView", "(not selected)", nullptr, true);
    DeviceView->setFrame(false);
    Bold(DeviceView);
    deviceBar->addWidget(DeviceView, 0, 1);
    pinnedLayout->addLayout(deviceBar);

    BoardGroup = new QGroupBox("TQ9 Board Info");
    BoardGroup->setObjectName("BoardGroup");
    BoardGroup->setStatusTip("Informations read from TQ9 board connected");
    auto* board = new QGridLayout(BoardGroup);
    auto* cancelRow = new QGridLayout;
    // Esc does what Cancel does, wherever the focus is: Cancel itself never takes it.
    BtnCancel = Button("BtnCancel", "Cancel", "Cancel any running process (Esc)");
    BtnCancel->setFocusPolicy(Qt::NoFocus);
    TextColour(BtnCancel, kRed);
    Bold(BtnCancel);
    cancelRow->addWidget(BtnCancel, 0, 0);
    auto* busyRow = new QHBoxLayout;
    auto* busyLabel = Label("Busy");
    Bold(busyLabel);
    LEDbusy = new QFrame;
    LEDbusy->setObjectName("LEDbusy");
    LEDbusy->setFixedSize(24, 14);
    LEDbusy->setFrameShape(QFrame::Panel);
    LEDbusy->setFrameShadow(QFrame::Sunken);
    LEDbusy->setAutoFillBackground(true);
    busyRow->addWidget(busyLabel);
    busyRow->addWidget(LEDbusy);
    busyRow->addStretch();
    cancelRow->addLayout(busyRow, 0, 1, 1, 2);
    cancelRow->setContentsMargins(0, 2, 0, 2);  // under Device, as the device bar
    pinnedLayout->addLayout(cancelRow);

    EditSerialNumber = Edit("EditSerialNumber", "0", "Serial Number readout from TQ9", false);
    FPGAversion = Edit("FPGAversion", "00000000",
                       "FPGA config (Sound Engine) version readout from TQ9", true);
    TextColour(FPGAversion, kMagenta);
    Bold(FPGAversion);
    EditFirmwareVersion =
        Edit("EditFirmwareVersion", "0", "AVR controller firmware version readout from TQ9", true);
    TextColour(EditFirmwareVersion, kBlue);
    Bold(EditFirmwareVersion);
    ComboBoxScanDetected = new QComboBox;
    ComboBoxScanDetected->setObjectName("ComboBoxScanDetected");
    ComboBoxScanDetected->setStatusTip("ScanCore  readout from TQ9");
    for (const char* name : kScanCoreNames)
        ComboBoxScanDetected->addItem(name);
    ComboBoxScanDetected->setCurrentIndex(tq9::kScanCoreEntryAtStart);
    ComboBoxScanDetected->setEnabled(false);
    // A display, not a drop-down: drawn as a simple box, without the arrow.
    ComboBoxScanDetected->setStyleSheet(
        "QComboBox::drop-down { width: 0px; border: none; } QComboBox::down-arrow { image: none; "
        "}");
    board->addWidget(Label("Serial #", EditSerialNumber), 1, 0);
    board->addWidget(EditSerialNumber, 1, 1, 1, 2);
    board->addWidget(Label("FPGA #", FPGAversion), 2, 0);
    board->addWidget(FPGAversion, 2, 1, 1, 2);
    board->addWidget(Label("FW #", EditFirmwareVersion), 3, 0);
    board->addWidget(EditFirmwareVersion, 3, 1, 1, 2);
    board->addWidget(Label("Active Scan Core", ComboBoxScanDetected), 4, 0);
    board->addWidget(ComboBoxScanDetected, 4, 1, 1, 2);

    BtnRefresh =
        Button("BtnRefresh", "Reset TQ9", "Get TQ9 board information and display label info");
    TextColour(BtnRefresh, kGreen);
    BtnFPGAprog = Button("BtnFPGAprog", "Upd FPGA", nullptr);
    TextColour(BtnFPGAprog, kRed);
    BtnFinalize = Button("BtnFinalize", "Finalize",
                         "Send Finalize setting to TQ9 and set Factory Restore Memory");
    BtnFinalize->setToolTip(BtnFinalize->statusTip());
    TextColour(BtnFinalize, kOrange);
    int column = 0;
    for (QPushButton* b : {BtnRefresh, BtnFPGAprog, BtnFinalize}) {
        Bold(b);
        b->setEnabled(false);
        board->addWidget(b, 5, column++);
    }

    ProductionGroup = new QGroupBox("OEM Production Programming with ISP ");
    ProductionGroup->setObjectName("ProductionGroup");
    auto* production = new QGridLayout(ProductionGroup);
    dd_FirmwareType = new QComboBox;
    dd_FirmwareType->setObjectName("dd_FirmwareType");
    dd_FirmwareType->setStatusTip("Firmware Name to program with DIAMEX ISP programmer");
    for (const char* entry : kFirmwareEntries)
        dd_FirmwareType->addItem(entry);
    ProdProg = Button("ProdProg", "Production Prgrm",
                      "Complete production program run with DIAMEX ISP programmer and FTDI cable");
    TextColour(ProdProg, kRed);
    Bold(ProdProg);
    BtnAVRonly = Button("BtnAVRonly", "AVR only", "Programs AVR by ISP only, including fuses");
    BtnAVRonly->setFixedWidth(70);
    for (QWidget* w : {static_cast<QWidget*>(dd_FirmwareType), static_cast<QWidget*>(ProdProg),
                       static_cast<QWidget*>(BtnAVRonly)}) {
        w->setEnabled(false);
    }
    EditDiamex = Edit("EditDiamex", "0",
                      "Enter COM Port number of DIAMEX ISP programmer (named ERFOS-S in windows "
                      "device manager COM&LPT)",
                      false);
    EditFTDIdevice = Edit("EditFTDIdevice", "-1", "Selected FTDI device last used", true);
    EditFTDIcom = Edit("EditFTDIcom", "0", "Selected FTDI device last used", true);
    production->addWidget(Label("Firmware", dd_FirmwareType), 0, 0);
    production->addWidget(dd_FirmwareType, 0, 1, 1, 3);
    production->addWidget(ProdProg, 1, 0, 1, 3);
    production->addWidget(BtnAVRonly, 1, 3);
    production->addWidget(Label("DIAMEX COM Port", EditDiamex), 2, 0, 1, 2);
    production->addWidget(EditDiamex, 2, 2, 1, 2);
    auto* usingDevice = Label("Using Device");
    Bold(usingDevice);
    production->addWidget(usingDevice, 3, 0, 1, 4);
    production->addWidget(Label("FTDI #", EditFTDIdevice), 4, 0);
    production->addWidget(EditFTDIdevice, 4, 1);
    production->addWidget(Label("FTDI COM", EditFTDIcom), 4, 2);
    production->addWidget(EditFTDIcom, 4, 3);
    board->addWidget(ProductionGroup, 6, 0, 1, 3);
    leftLayout->addWidget(BoardGroup);

    TestGroup = new QGroupBox("Test Procedures");
    TestGroup->setObjectName("TestGroup");
    auto* test = new QGridLayout(TestGroup);
    ButtonUpStream = Button("ButtonUpStream", "Upstream Core File",
                            "Read temporary ScanCore and send it to FPGA");
    Bold(ButtonUpStream);
    EditCoreNumber = Edit("EditCoreNumber", "0", "Start Param Number", false);
    EditCoreNumber->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]*"), EditCoreNumber));
    auto* incReg = Label("To IncReg #", EditCoreNumber);
    auto* scanCoreNote = Label("(0 = ScanCore)");
    for (QLabel* l : {incReg, scanCoreNote})
        l->setStatusTip("Upload Activity");
    ProgressBar1 = new QProgressBar;
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ComboBox1 = new QComboBox;
    ComboBox1->setObjectName("ComboBox1");
    ComboBox1->setStatusTip("Select option from drop-down menu");
    for (const char* entry : kTestPortEntries)
        ComboBox1->addItem(entry);
    ComboBox1->setCurrentIndex(0);
    TextColour(ComboBox1, kBlue);
    Bold(ComboBox1);
    test->addWidget(ButtonUpStream, 0, 0, 1, 3);
    test->addWidget(incReg, 1, 0);
    test->addWidget(EditCoreNumber, 1, 1);
    test->addWidget(scanCoreNote, 2, 1);
    test->addWidget(ProgressBar1, 3, 0, 1, 3);
    test->addWidget(Label("Logic Analyzer Test Port", ComboBox1), 4, 0, 1, 3);
    test->addWidget(ComboBox1, 5, 0, 1, 3);
    leftLayout->addWidget(TestGroup);
    leftLayout->addStretch();
    inputRules_ = new InputRules(this, leftScroll, {dd_FirmwareType, ComboBox1});
    for (QComboBox* list : {dd_FirmwareType, ComboBox1})
        list->setFocusPolicy(Qt::StrongFocus);  // not taken by a passing wheel

    // Right column: the console.
    auto* right = new QVBoxLayout;
    auto* consoleHeading = Label("TQ9 Response/Messages");
    Bold(consoleHeading);
    Memo1 = new QPlainTextEdit;
    Memo1->setObjectName("Memo1");
    Memo1->setFont(ConsoleFont());
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Long lines wrap at the pane's width, so the short ones stay in view.
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Tab moves on to the next control; the operator's notes here never hold a TAB.
    Memo1->setTabChangesFocus(true);
    right->addWidget(consoleHeading);
    right->addWidget(Memo1);
    columns->addLayout(right, 1);

    statusBar()->setSizeGripEnabled(true);
    LineStatus = new QLabel;
    LineStatus->setObjectName("LineStatus");
    LineStatus->hide();
    statusBar()->addPermanentWidget(LineStatus);

    QMenu* records = menuBar()->addMenu("&Records");
    RecordsAction = records->addAction("Board &records...");
    RecordsAction->setObjectName("RecordsAction");
    RecordsAction->setStatusTip("Every operation on a board this bench ran, with its outcome");

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(10);
}

void TForm1::WireHandlers() {
    connect(RecordsAction, &QAction::triggered, this, &TForm1::ShowRecords);
    connect(BtnRescan, &QPushButton::clicked, this, &TForm1::BtnRescanClick);
    connect(BtnClose, &QPushButton::clicked, this, &TForm1::BtnCloseClick);
    connect(BtnCancel, &QPushButton::clicked, this, &TForm1::BtnCancelClick);
    connect(EditSerialNumber, &QLineEdit::textEdited, this, &TForm1::EditSerialNumberChange);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(BtnRefresh, &QPushButton::clicked, this, &TForm1::BtnRefreshClick);
    connect(BtnFPGAprog, &QPushButton::clicked, this, &TForm1::BtnFPGAprogClick);
    connect(BtnFinalize, &QPushButton::clicked, this, &TForm1::BtnFinalizeClick);
    // Only the operator's pick, never a change made by the program.
    connect(ComboBox1, &QComboBox::activated, this, &TForm1::ComboBox1Change);
    connect(ButtonUpStream, &QPushButton::clicked, this, &TForm1::ButtonUpStreamClick);
    connect(ProdProg, &QPushButton::clicked, this, &TForm1::ProdProgClick);
    connect(BtnAVRonly, &QPushButton::clicked, this, &TForm1::BtnAVRonlyClick);
    // Esc wherever the focus is in the window (or its lists' popups), and the wheel and keys
    // over the lists: seen before any control takes them.
    qApp->installEventFilter(inputRules_);
}

void TForm1::ShowStatusNotice(const std::string& text) {
    statusBar()->showMessage(QString::fromStdString(text), 4000);
}

void TForm1::ShowErrorBox(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, kApplicationTitle, QString::fromStdString(text),
                    QMessageBox::Ok, this);
    box.exec();
}

void TForm1::CloseLater() {
    QTimer::singleShot(0, this, &QWidget::close);
}

void TForm1::ShowLineStatus(const std::string& said) {
    const QString text = QString::fromStdString(said);
    LineStatus->setText(text);
    LineStatus->setToolTip(text);
    LineStatus->setVisible(!text.isEmpty());
}

void TForm1::FocusDeviceButton() {
    (BtnRescan->isVisible() || !BtnClose->isVisible() ? BtnRescan : BtnClose)->setFocus();
}

void TForm1::ShowTestPort(int index) {
    ComboBox1->setCurrentIndex(index);  // no activated(): not a pick
}

QWidget* TForm1::ShowRecords() {
    if (const std::string why = rules_.RecordsUnavailable(); !why.empty()) {
        QMessageBox::information(this, "Board records", QString::fromStdString(why));
        return nullptr;
    }
    if (!recordsWindow_) {
        recordsWindow_ = new RecordsWindow(*ctx_.Records.store, ctx_.Records.lineReader, this);
    }
    recordsWindow_->Refresh();
    recordsWindow_->show();
    recordsWindow_->raise();
    recordsWindow_->activateWindow();
    return recordsWindow_;
}

void TForm1::BtnRescanClick() {
    rules_.BtnRescanClick();
}
void TForm1::BtnCloseClick() {
    rules_.BtnCloseClick();
}
void TForm1::BtnRefreshClick() {
    rules_.BtnRefreshClick();
}
void TForm1::BtnFPGAprogClick() {
    rules_.BtnFPGAprogClick();
}
void TForm1::BtnFinalizeClick() {
    rules_.BtnFinalizeClick();
}
void TForm1::ComboBox1Change(int index) {
    rules_.ComboBox1Change(index);
}
void TForm1::ButtonUpStreamClick() {
    rules_.ButtonUpStreamClick();
}
void TForm1::ProdProgClick() {
    rules_.ProdProgClick();
}
void TForm1::BtnAVRonlyClick() {
    rules_.BtnAVRonlyClick();
}
void TForm1::BtnCancelClick() {
    rules_.BtnCancelClick();
}
void TForm1::Timer1Timer() {
    rules_.Timer1Timer();
}
void TForm1::EditSerialNumberChange() {
    rules_.EditSerialNumberChange();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!rules_.CloseRequested()) {
        event->ignore();
        return;
    }
    Timer1->stop();
    event->accept();
}

}  // namespace tq9
