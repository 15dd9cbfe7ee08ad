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

#include "records/RecordExport.h"

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
    : QWidget(parent, Qt::Window), store_(store), lineReader_(std::move(lineReader)) {
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
    WholeLine->setEnabled(WholeLineAvailable(lineReader_));
    WholeLine->setToolTip(Q(WholeLineHint(lineReader_)));
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
    connect(MoreButton, &QPushButton::clicked, this, [this] {
        limit_ += kRowsShown;
        Reload();
    });
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
    return QueryOf(Fields(), limit_).filter;
}

void RecordsWindow::Refresh() {
    limit_ = kRowsShown;
    Reload();
}

void RecordsWindow::ShowRead(const RecordsRead& read, bool line) {
    ShowRows(read.rows, line);
    const auto shown = static_cast<std::int64_t>(rows_.size());
    Shown->setStyleSheet({});
    Shown->setText(Q(RecordsCountText(shown, read.total)));
    MoreButton->setVisible(read.total > shown);
    Summary->setText(Q(read.summary));
}

void RecordsWindow::Reload() {
    shown_ = QueryOf(Fields(), limit_);
    ++reading_;  // an answer of the line still on its way no longer matches the fields
    if (shown_.Refused()) {
        ShowRows({}, shown_.line);
        Shown->setStyleSheet("color: #c00000");
        Shown->setText(Q(shown_.refusal));
        MoreButton->hide();
        return;
    }
    if (shown_.line) {
        ReadLine();
        return;
    }
    ShowRead(ReadStoreRecords(store_, shown_.filter), false);
}

void RecordsWindow::ReadLine() {
    const int reading = reading_;
    Summary->setText(kReadingLine);
    OnThread(
        this,
        [server = lineReader_, filter = shown_.filter] { return ReadLineRecords(server, filter); },
        [this, reading](const RecordsRead& read) {
            if (reading != reading_) return;
            ShowRead(read, true);
            emit LineShown();
        });
}

void RecordsWindow::ShowRows(std::vector<OperationRecord> rows, bool line) {
    rows_ = std::move(rows);
    Table->setColumnHidden(kBenchColumn, !line);
    Table->setRowCount(0);
    Table->setRowCount(static_cast<int>(rows_.size()));
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
        const auto cells = RecordCells(rows_[static_cast<std::size_t>(i)]);
        for (int c = 0; c < static_cast<int>(cells.size()); ++c)
            Table->setItem(i, c, new QTableWidgetItem(Q(cells[static_cast<std::size_t>(c)])));
    }
    Table->resizeColumnsToContents();
    Detail->clear();
    if (!rows_.empty()) Table->selectRow(0);  // the newest one's detail at once
}

void RecordsWindow::ShowDetail() {
    const int row = Table->currentRow();
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    Detail->setPlainText(Q(RecordDetail(rows_[static_cast<std::size_t>(row)])));
}

bool RecordsWindow::ExportRefused() {
    if (!shown_.Refused()) return false;
    QMessageBox::warning(this, kRecordsTitle, Q(ExportRefusedText(shown_.refusal)));
    return true;
}

void RecordsWindow::AskAndExport(RecordsFormat format) {
    if (ExportRefused()) return;
    const RecordsSaveDialog dialog = SaveDialogOf(format);
    const QString path =
        QFileDialog::getSaveFileName(this, dialog.title, dialog.fileName,
                                     QString("%1 (%2)").arg(dialog.filterName, dialog.pattern));
    if (!path.isEmpty()) Export(path, format);
}

bool RecordsWindow::Export(const QString& path, RecordsFormat format) {
    if (ExportRefused()) return false;
    const RecordsQuery shown = shown_;
    const std::string source = shown.line ? lineReader_ : store_.Path();
    // Read, made and written on a thread of their own (100 000 rows take seconds), while
    // both windows keep painting and the operator sees that it goes on.
    struct Outcome {
        std::string whyNot;
        bool done = false;
    };
    auto outcome = std::make_shared<Outcome>();
    QProgressDialog progress(Q(ExportingText(path.toStdString())), QString(), 0, 0, this);
    progress.setWindowTitle(kRecordsTitle);
    progress.setWindowModality(Qt::WindowModal);
    // Shown by the timer below once the export has taken a while, not by its own.
    progress.setMinimumDuration(std::numeric_limits<int>::max());
    QEventLoop waiting;
    QPointer<QEventLoop> wake(&waiting);
    std::thread([outcome, wake, shown, source, format, target = path.toStdString()] {
        outcome->whyNot = ExportRecords(shown, source, target, format);
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
    if (!outcome->whyNot.empty()) {
        QMessageBox::warning(this, kRecordsTitle,
                             Q(ExportFailedText(path.toStdString(), outcome->whyNot)));
        return false;
    }
    return true;
}

bool RecordsWindow::ExportCsv(const QString& path) {
    return Export(path, RecordsFormat::Csv);
}

bool RecordsWindow::ExportJson(const QString& path) {
    return Export(path, RecordsFormat::Json);
}

}  // namespace tq9
