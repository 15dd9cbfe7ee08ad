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
#include <set>

#include <thread>

#include "base/Platform.h"
#include "records/LineServer.h"
#include "records/RecordExport.h"
#include "records/Recorder.h"

namespace tq9 {

namespace {
QString Q(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

constexpr const char* kAny = "(any)";
constexpr int kBenchColumn = 1;

// What a read of the whole line gives: its rows and the day's report, or why not.
struct LineRead {
    std::vector<OperationRecord> rows;
    std::int64_t total = 0;  // the rows the filter takes, beyond those read
    std::optional<LineReport> today;
    std::string whyNot;
};

// Reads the line on a thread of its own (connecting may take seconds) and hands the
// answer to `done` on the window's thread, unless the window is gone by then.
template <typename Done>
void OnThread(QObject* window, const std::string& server, const RecordFilter& filter,
              const std::string& today, Done done) {
    QPointer<QObject> alive(window);
    std::thread([alive, server, filter, today, done] {
        auto read = std::make_shared<LineRead>();
        if (auto line = LineServer::Connect(server, read->whyNot)) {
            auto rows = line->Find(filter, read->whyNot);
            const auto total = rows ? line->Count(filter, read->whyNot) : std::nullopt;
            if (rows && total) {
                read->rows = std::move(*rows);
                read->total = *total;
                if (!today.empty())
                    read->today = line->Report(today, filter.bench, "", read->whyNot);
            }
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [alive, read, done] {
                if (alive) done(*read);
            },
            Qt::QueuedConnection);
    }).detach();
}
}  // namespace

RecordsWindow::RecordsWindow(RecordStore& store, std::string lineReader, QWidget* parent)
    : QWidget(parent, Qt::Window), store_(store), lineReader_(std::move(lineReader)) {
    setObjectName("RecordsWindow");
    setWindowTitle("Board records");
    resize(980, 640);

    SerialFilter = new QLineEdit;
    SerialFilter->setPlaceholderText("board serial");
    OperationFilter = new QComboBox;
    OperationFilter->addItem(kAny);
    for (int op = 0; op <= static_cast<int>(RecordedOperation::AvrOnly); ++op)
        OperationFilter->addItem(RecordedOperationName(static_cast<RecordedOperation>(op)));
    OutcomeFilter = new QComboBox;
    OutcomeFilter->addItem(kAny);
    for (const char* outcome : {kOutcomeCompleted, kOutcomeCancelled, kOutcomeEndedEarly,
                                kOutcomeInterrupted, kOutcomeRunning})
        OutcomeFilter->addItem(outcome);
    SinceFilter = new QLineEdit;
    SinceFilter->setPlaceholderText("from YYYY-MM-DD");
    UntilFilter = new QLineEdit;
    UntilFilter->setPlaceholderText("to YYYY-MM-DD");
    // Wide enough to show the dates' form, however narrow the window.
    for (QLineEdit* date : {SinceFilter, UntilFilter})
        date->setMinimumWidth(date->fontMetrics().horizontalAdvance("from YYYY-MM-DD") + 16);
    WholeLine = new QCheckBox("Whole line");
    WholeLine->setEnabled(!lineReader_.empty());
    WholeLine->setToolTip(lineReader_.empty()
                              ? "No line server is set (records.conf): the records of this PC only"
                              : "Every bench's records, from the line's server");
    BenchFilter = new QLineEdit;
    BenchFilter->setPlaceholderText("bench");
    BenchFilter->setVisible(false);
    ShowButton = new QPushButton("Show");
    CsvButton = new QPushButton("Export CSV...");
    JsonButton = new QPushButton("Export JSON...");

    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel("Serial"));
    filters->addWidget(SerialFilter);
    filters->addWidget(new QLabel("Operation"));
    filters->addWidget(OperationFilter);
    filters->addWidget(new QLabel("Outcome"));
    filters->addWidget(OutcomeFilter);
    filters->addWidget(SinceFilter);
    filters->addWidget(UntilFilter);
    filters->addWidget(WholeLine);
    filters->addWidget(BenchFilter);
    filters->addWidget(ShowButton);

    Summary = new QLabel;
    Summary->setWordWrap(true);  // the line's day can be long; the window keeps its width
    Table = new QTableWidget(0, 9);
    Table->setHorizontalHeaderLabels({"Started (UTC)", "Bench", "Operation", "Outcome", "Board",
                                      "Firmware", "Cable", "COM", "Reason"});
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
    MoreButton = new QPushButton(QString("Show %1 more").arg(kRowsShown));
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
    connect(CsvButton, &QPushButton::clicked, this, [this] {
        if (ExportRefused()) return;
        const QString path = QFileDialog::getSaveFileName(this, "Export board records",
                                                          "records.csv", "CSV (*.csv)");
        if (!path.isEmpty()) ExportCsv(path);
    });
    connect(JsonButton, &QPushButton::clicked, this, [this] {
        if (ExportRefused()) return;
        const QString path = QFileDialog::getSaveFileName(this, "Export board records",
                                                          "records.json", "JSON (*.json)");
        if (!path.isEmpty()) ExportJson(path);
    });
    Refresh();
}

RecordFilter RecordsWindow::Filter() const {
    RecordFilter filter;
    filter.boardSerial = SerialFilter->text().trimmed().toStdString();
    if (OperationFilter->currentIndex() > 0)
        filter.operation = OperationFilter->currentText().toStdString();
    if (OutcomeFilter->currentIndex() > 0)
        filter.outcome = OutcomeFilter->currentText().toStdString();
    filter.since = SinceFilter->text().trimmed().toStdString();
    filter.until = UntilFilter->text().trimmed().toStdString();
    filter.limit = limit_;
    if (WholeLine->isChecked()) filter.bench = BenchFilter->text().trimmed().toStdString();
    return filter;
}

void RecordsWindow::Refresh() {
    limit_ = kRowsShown;
    Reload();
}

QString RecordsWindow::DateProblem() const {
    for (const QLineEdit* date : {SinceFilter, UntilFilter}) {
        const QString text = date->text().trimmed();
        if (!text.isEmpty() && !RecordDateValid(text.toStdString())) {
            return "\"" + text +
                   "\" is not a valid date: write it as YYYY-MM-DD (a day that "
                   "exists), for example 2026-12-09.";
        }
    }
    return {};
}

void RecordsWindow::ShowCount(std::int64_t total) {
    const auto shown = static_cast<std::int64_t>(rows_.size());
    Shown->setStyleSheet({});
    Shown->setText(total == shown ? QString("%1 %2").arg(total).arg(total == 1 ? "row" : "rows")
                                  : QString("%1 of %2 rows").arg(shown).arg(total));
    MoreButton->setVisible(total > shown);
}

void RecordsWindow::Reload() {
    shownFilter_ = Filter();
    shownLine_ = WholeLine->isChecked();
    if (const QString problem = DateProblem(); !problem.isEmpty()) {
        shownFilter_.reset();
        refusal_ = problem;
        ++reading_;  // whatever was on its way no longer matches the fields
        ShowRows({}, WholeLine->isChecked());
        Shown->setStyleSheet("color: #c00000");
        Shown->setText(problem);
        MoreButton->hide();
        return;
    }
    if (WholeLine->isChecked()) {
        ReadLine();
        return;
    }
    ++reading_;  // an answer of the line still on its way is no longer wanted
    std::string whyNot;
    const RecordFilter filter = Filter();
    ShowRows(store_.Find(filter, whyNot), false);
    ShowCount(store_.Count(filter, whyNot).value_or(static_cast<std::int64_t>(rows_.size())));

    const std::string today = UtcNowIso8601().substr(0, 10);
    const RecordSummary s = store_.Summary(today, whyNot);
    QString text = QString("Today (%1): %2 boards programmed, %3 succeeded")
                       .arg(Q(today))
                       .arg(s.programmedToday)
                       .arg(s.succeeded);
    if (!s.failuresByKind.empty()) {
        QStringList kinds;
        for (const auto& [kind, count] : s.failuresByKind)
            kinds << QString("%1 %2").arg(Q(kind)).arg(count);
        text += "; failures: " + kinds.join(", ");
    }
    if (!whyNot.empty()) text += " (" + Q(whyNot) + ")";
    Summary->setText(text);
}

void RecordsWindow::ReadLine() {
    const int reading = ++reading_;
    Summary->setText("Reading the whole line...");
    const std::string today = UtcNowIso8601().substr(0, 10);
    OnThread(this, lineReader_, Filter(), today, [this, reading, today](const LineRead& read) {
        if (reading != reading_) return;
        if (!read.whyNot.empty()) {
            ShowRows({}, true);
            ShowCount(0);
            Summary->setText("The line's records cannot be read: " + Q(read.whyNot));
            emit LineShown();
            return;
        }
        ShowRows(read.rows, true);
        ShowCount(read.total);
        const LineReportRow total = read.today ? LineReportTotal(*read.today) : LineReportRow{};
        std::set<std::string> benches;
        for (const LineReportRow& row :
             read.today ? read.today->rows : std::vector<LineReportRow>{})
            benches.insert(row.bench);
        QString text = QString(
                           "Today on the line (%1, %2 %3): %4 %5 programmed, first-pass "
                           "yield %6")
                           .arg(Q(today))
                           .arg(benches.size())
                           .arg(benches.size() == 1 ? "bench" : "benches")
                           .arg(total.boards)
                           .arg(total.boards == 1 ? "board" : "boards")
                           .arg(Q(FirstPassYield(total.firstPassed, total.firstRuns)));
        if (!total.failuresByKind.empty()) {
            QStringList failures;
            for (const auto& [kind, count] : total.failuresByKind)
                failures << QString("%1 %2").arg(Q(kind)).arg(count);
            text += "; failures: " + failures.join(", ");
        }
        Summary->setText(text);
        emit LineShown();
    });
}

void RecordsWindow::ShowRows(std::vector<OperationRecord> rows, bool line) {
    rows_ = std::move(rows);
    Table->setColumnHidden(kBenchColumn, !line);
    Table->setRowCount(0);
    Table->setRowCount(static_cast<int>(rows_.size()));
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
        const OperationRecord& r = rows_[static_cast<std::size_t>(i)];
        const std::string firmware =
            r.firmwareName + (r.firmwareVersion.empty() ? "" : " " + r.firmwareVersion);
        const std::string reason = r.reason.substr(0, r.reason.find('\n'));
        const std::string cells[] = {
            r.started,     r.bench,  r.operation,   r.outcome,
            r.boardSerial, firmware, r.cableSerial, r.comNumber ? std::to_string(*r.comNumber) : "",
            reason};
        for (int c = 0; c < 9; ++c)
            Table->setItem(i, c, new QTableWidgetItem(Q(cells[c])));
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
    if (shownFilter_) return false;
    QMessageBox::warning(
        this, "Board records",
        "Nothing was exported: the table shows no rows while its filter is refused. " + refusal_);
    return true;
}

bool RecordsWindow::Export(const QString& path, bool csv) {
    if (ExportRefused()) return false;
    RecordFilter all = *shownFilter_;
    all.limit = 0;
    const bool line = shownLine_;
    const std::string source = line ? lineReader_ : store_.Path();
    // Read, made and written on a thread of their own (100 000 rows take seconds), while
    // both windows keep painting and the operator sees that it goes on.
    struct Outcome {
        std::string whyNot;
        bool done = false;
    };
    auto outcome = std::make_shared<Outcome>();
    QProgressDialog progress("Exporting the board records to " + path + "...", QString(), 0, 0,
                             this);
    progress.setWindowTitle("Board records");
    progress.setWindowModality(Qt::WindowModal);
    // Shown by the timer below once the export has taken a while, not by its own.
    progress.setMinimumDuration(std::numeric_limits<int>::max());
    QEventLoop waiting;
    QPointer<QEventLoop> wake(&waiting);
    std::thread([outcome, wake, all, line, source, csv, path] {
        std::vector<OperationRecord> rows;
        if (line) {
            if (auto server = LineServer::Connect(source, outcome->whyNot)) {
                if (auto read = server->Find(all, outcome->whyNot)) rows = std::move(*read);
            }
        } else if (auto store = RecordStore::Open(source, outcome->whyNot)) {
            rows = store->Find(all, outcome->whyNot);
        }
        if (outcome->whyNot.empty()) {
            // Excel on the production PCs reads a CSV file as UTF-8 only after this mark.
            const std::string content =
                csv ? "\xEF\xBB\xBF" + RecordsAsCsv(rows, line) : RecordsAsJson(rows, line);
            // Whole or not at all, and never through a name someone planted beside it.
            std::string whyNot;
            if (!WriteFileWhole(path.toStdString(), content, whyNot)) outcome->whyNot = whyNot;
        }
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
        QMessageBox::warning(
            this, "Board records",
            "The records could not be exported to " + path + ": " + Q(outcome->whyNot));
        return false;
    }
    return true;
}

bool RecordsWindow::ExportCsv(const QString& path) {
    return Export(path, true);
}

bool RecordsWindow::ExportJson(const QString& path) {
    return Export(path, false);
}

}  // namespace tq9
