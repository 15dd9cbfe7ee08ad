#include "ui/RecordsWindow.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "records/RecordExport.h"
#include "records/Recorder.h"

namespace tq9 {

namespace {
QString Q(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

constexpr const char* kAny = "(any)";
}  // namespace

RecordsWindow::RecordsWindow(RecordStore& store, QWidget* parent)
    : QWidget(parent, Qt::Window), store_(store) {
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
    filters->addWidget(ShowButton);

    Summary = new QLabel;
    Table = new QTableWidget(0, 8);
    Table->setHorizontalHeaderLabels(
        {"Started (UTC)", "Operation", "Outcome", "Board", "Firmware", "Cable", "COM", "Reason"});
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

    auto* exports = new QHBoxLayout;
    exports->addWidget(Summary, 1);
    exports->addWidget(CsvButton);
    exports->addWidget(JsonButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(split, 1);
    layout->addLayout(exports);

    connect(ShowButton, &QPushButton::clicked, this, &RecordsWindow::Refresh);
    for (QLineEdit* edit : {SerialFilter, SinceFilter, UntilFilter})
        connect(edit, &QLineEdit::returnPressed, this, &RecordsWindow::Refresh);
    connect(OperationFilter, &QComboBox::currentIndexChanged, this, &RecordsWindow::Refresh);
    connect(OutcomeFilter, &QComboBox::currentIndexChanged, this, &RecordsWindow::Refresh);
    connect(Table, &QTableWidget::itemSelectionChanged, this, &RecordsWindow::ShowDetail);
    connect(CsvButton, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, "Export board records",
                                                          "records.csv", "CSV (*.csv)");
        if (!path.isEmpty()) ExportCsv(path);
    });
    connect(JsonButton, &QPushButton::clicked, this, [this] {
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
    filter.limit = kRowsShown;
    return filter;
}

void RecordsWindow::Refresh() {
    std::string whyNot;
    rows_ = store_.Find(Filter(), whyNot);
    Table->setRowCount(0);
    Table->setRowCount(static_cast<int>(rows_.size()));
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
        const OperationRecord& r = rows_[static_cast<std::size_t>(i)];
        const std::string firmware =
            r.firmwareName + (r.firmwareVersion.empty() ? "" : " " + r.firmwareVersion);
        const std::string reason = r.reason.substr(0, r.reason.find('\n'));
        const std::string cells[] = {r.started,
                                     r.operation,
                                     r.outcome,
                                     r.boardSerial,
                                     firmware,
                                     r.cableSerial,
                                     r.comNumber ? std::to_string(*r.comNumber) : "",
                                     reason};
        for (int c = 0; c < 8; ++c)
            Table->setItem(i, c, new QTableWidgetItem(Q(cells[c])));
    }
    Table->resizeColumnsToContents();
    Detail->clear();
    if (!rows_.empty()) Table->selectRow(0);  // the newest one's detail at once

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

void RecordsWindow::ShowDetail() {
    const int row = Table->currentRow();
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    Detail->setPlainText(Q(RecordDetail(rows_[static_cast<std::size_t>(row)])));
}

bool RecordsWindow::Export(const QString& path, const std::string& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content.data(), static_cast<qint64>(content.size())) !=
            static_cast<qint64>(content.size()) ||
        !file.flush()) {
        QMessageBox::warning(
            this, "Board records",
            "The records could not be written to " + path + ": " + file.errorString());
        return false;
    }
    return true;
}

bool RecordsWindow::ExportCsv(const QString& path) {
    RecordFilter all = Filter();
    all.limit = 0;
    std::string whyNot;
    return Export(path, RecordsAsCsv(store_.Find(all, whyNot)));
}

bool RecordsWindow::ExportJson(const QString& path) {
    RecordFilter all = Filter();
    all.limit = 0;
    std::string whyNot;
    return Export(path, RecordsAsJson(store_.Find(all, whyNot)));
}

}  // namespace tq9
