#include "ui/qt/RecordsWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <limits>
#include <thread>

namespace tq9 {

namespace {
QString Q(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

// Runs `work` on a thread of its own (connecting to the line may take seconds) and hands
// its answer to `done` on the window's thread, unless the window is gone by then.
template <typename Work, typename Done>
void OnThread(QObject* window, Work work, Done done) {
    QPointer<QObject> alive(window);
    std::thread([alive, work, done] {
        auto answer = std::make_shared<decltype(work())>(work());
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [alive, answer, done] {
                if (alive) done(*answer);
            },
            Qt::QueuedConnection);
    }).detach();
}

QComboBox* ChoiceList(const std::vector<std::string>& choices) {
    auto* list = new QComboBox;
    for (const std::string& choice : choices)
        list->addItem(Q(choice));
    return list;
}
}  // namespace

RecordsWindow::RecordsWindow(RecordStore& store, std::string lineReader, QWidget* parent)
    : QWidget(parent, Qt::Window), rules_(store, std::move(lineReader), *this) {
    setObjectName("RecordsWindow");
    setWindowTitle(kRecordsTitle);
    resize(980, 640);

    SerialFilter = new QLineEdit;
    SerialFilter->setPlaceholderText(kSerialCue);
    OperationFilter = ChoiceList(OperationChoices());
    OutcomeFilter = ChoiceList(OutcomeChoices());
    SinceFilter = new QLineEdit;
    SinceFilter->setPlaceholderText(kSinceCue);
    UntilFilter = new QLineEdit;
    UntilFilter->setPlaceholderText(kUntilCue);
    // Wide enough to show the dates' form, however narrow the window.
    for (QLineEdit* date : {SinceFilter, UntilFilter})
        date->setMinimumWidth(date->fontMetrics().horizontalAdvance(kSinceCue) + 16);
    WholeLine = new QCheckBox(kWholeLineCaption);
    WholeLine->setEnabled(WholeLineAvailable(rules_.LineReader()));
    WholeLine->setToolTip(Q(WholeLineHint(rules_.LineReader())));
    BenchFilter = new QLineEdit;
    BenchFilter->setPlaceholderText(kBenchCue);
    BenchFilter->setVisible(false);
    ShowButton = new QPushButton(kShowCaption);
    CsvButton = new QPushButton(kExportCsvCaption);
    JsonButton = new QPushButton(kExportJsonCaption);

    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(kSerialCaption));
    filters->addWidget(SerialFilter);
    filters->addWidget(new QLabel(kOperationCaption));
    filters->addWidget(OperationFilter);
    filters->addWidget(new QLabel(kOutcomeCaption));
    filters->addWidget(OutcomeFilter);
    filters->addWidget(SinceFilter);
    filters->addWidget(UntilFilter);
    filters->addWidget(WholeLine);
    filters->addWidget(BenchFilter);
    filters->addWidget(ShowButton);

    Summary = new QLabel;
    Summary->setWordWrap(true);  // the line's day can be long; the window keeps its width
    Table = new QTableWidget(0, static_cast<int>(kRecordColumns.size()));
    QStringList headings;
    for (const char* heading : kRecordColumns)
        headings << heading;
    Table->setHorizontalHeaderLabels(headings);
    Table->setColumnHidden(kBenchColumn, true);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setSelectionMode(QAbstractItemView::SingleSelection);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->verticalHeader()->hide();
    Table->horizontalHeader()->setStretchLastSection(true);
    Detail = new QPlainTextEdit;
    Detail->setReadOnly(true);
    Detail->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(Table);
    split->addWidget(Detail);
    split->setSizes({380, 200});

    Shown = new QLabel;
    Shown->setObjectName("Shown");
    MoreButton = new QPushButton(Q(MoreCaption()));
    auto* shownRow = new QHBoxLayout;
    shownRow->addWidget(Shown);
    shownRow->addWidget(MoreButton);
    shownRow->addStretch();

    auto* exports = new QHBoxLayout;
    exports->addWidget(Summary, 1);
    exports->addWidget(CsvButton);
    exports->addWidget(JsonButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(split, 1);
    layout->addLayout(shownRow);
    layout->addLayout(exports);

    connect(ShowButton, &QPushButton::clicked, this, &RecordsWindow::Refresh);
    for (QLineEdit* edit : {SerialFilter, SinceFilter, UntilFilter, BenchFilter})
        connect(edit, &QLineEdit::returnPressed, this, &RecordsWindow::Refresh);
    connect(WholeLine, &QCheckBox::toggled, this, [this](bool line) {
        BenchFilter->setVisible(line);
        Refresh();
    });
    connect(OperationFilter, &QComboBox::currentIndexChanged, this, &RecordsWindow::Refresh);
    connect(OutcomeFilter, &QComboBox::currentIndexChanged, this, &RecordsWindow::Refresh);
    connect(Table, &QTableWidget::itemSelectionChanged, this, &RecordsWindow::ShowDetail);
    connect(MoreButton, &QPushButton::clicked, this, [this] { rules_.More(Fields()); });
    connect(CsvButton, &QPushButton::clicked, this, [this] { AskAndExport(RecordsFormat::Csv); });
    connect(JsonButton, &QPushButton::clicked, this, [this] { AskAndExport(RecordsFormat::Json); });
    Refresh();
}

RecordsFields RecordsWindow::Fields() const {
    RecordsFields fields;
    fields.serial = SerialFilter->text().toStdString();
    fields.operation = OperationFilter->currentText().toStdString();
    fields.outcome = OutcomeFilter->currentText().toStdString();
    fields.since = SinceFilter->text().toStdString();
    fields.until = UntilFilter->text().toStdString();
    fields.wholeLine = WholeLine->isChecked();
    fields.bench = BenchFilter->text().toStdString();
    return fields;
}

RecordFilter RecordsWindow::Filter() const {
    return rules_.Filter(Fields());
}

void RecordsWindow::Refresh() {
    rules_.Refresh(Fields());
}

void RecordsWindow::ShowPage(const RecordsPage& page) {
    const int rows = static_cast<int>(page.rows.size());
    Table->setColumnHidden(kBenchColumn, !page.line);
    Table->setRowCount(0);
    Table->setRowCount(rows);
    for (int i = 0; i < rows; ++i) {
        const auto cells = RecordCells(page.rows[static_cast<std::size_t>(i)]);
        for (int c = 0; c < static_cast<int>(cells.size()); ++c)
            Table->setItem(i, c, new QTableWidgetItem(Q(cells[static_cast<std::size_t>(c)])));
    }
    Table->resizeColumnsToContents();
    Detail->clear();
    if (rows) Table->selectRow(0);  // the newest one's detail at once
    Shown->setStyleSheet(page.refused ? "color: #c00000" : "");
    Shown->setText(Q(page.count));
    MoreButton->setVisible(page.more);
}

void RecordsWindow::ShowSummary(const std::string& text) {
    Summary->setText(Q(text));
}

void RecordsWindow::ReadLineApart(int reading, const std::string& reader,
                                  const RecordFilter& filter) {
    OnThread(
        this, [reader, filter] { return ReadLineRecords(reader, filter); },
        [this, reading](const RecordsRead& read) {
            if (rules_.LineRead(reading, read)) emit LineShown();
        });
}

void RecordsWindow::ShowWarning(const std::string& text) {
    QMessageBox::warning(this, kRecordsTitle, Q(text));
}

void RecordsWindow::ShowDetail() {
    if (const auto detail = rules_.Detail(Table->currentRow())) Detail->setPlainText(Q(*detail));
}

void RecordsWindow::AskAndExport(RecordsFormat format) {
    if (rules_.ExportRefused()) return;
    const RecordsSaveDialog dialog = SaveDialogOf(format);
    const QString path =
        QFileDialog::getSaveFileName(this, dialog.title, dialog.fileName,
                                     QString("%1 (%2)").arg(dialog.filterName, dialog.pattern));
    if (!path.isEmpty()) Export(path, format);
}

bool RecordsWindow::Export(const QString& path, RecordsFormat format) {
    if (rules_.ExportRefused()) return false;
    const std::string target = path.toStdString();
    // Read, made and written on a thread of their own (100 000 rows take seconds), while
    // both windows keep painting and the operator sees that it goes on.
    struct Outcome {
        std::string whyNot;
        bool done = false;
    };
    auto outcome = std::make_shared<Outcome>();
    QProgressDialog progress(Q(ExportingText(target)), QString(), 0, 0, this);
    progress.setWindowTitle(kRecordsTitle);
    progress.setWindowModality(Qt::WindowModal);
    // Shown by the timer below once the export has taken a while, not by its own.
    progress.setMinimumDuration(std::numeric_limits<int>::max());
    QEventLoop waiting;
    QPointer<QEventLoop> wake(&waiting);
    std::thread([outcome, wake, task = rules_.ExportTask(target, format)] {
        outcome->whyNot = task();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [outcome, wake] {
                outcome->done = true;
                if (wake) wake->quit();
            },
            Qt::QueuedConnection);
    }).detach();
    QTimer::singleShot(300, &progress, [&progress, outcome] {
        if (!outcome->done) progress.show();
    });
    while (!outcome->done)
        waiting.exec();
    progress.reset();
    rules_.ExportEnded(target, outcome->whyNot);
    return outcome->whyNot.empty();
}

bool RecordsWindow::ExportCsv(const QString& path) {
    return Export(path, RecordsFormat::Csv);
}

bool RecordsWindow::ExportJson(const QString& path) {
    return Export(path, RecordsFormat::Json);
}

}  // namespace tq9
