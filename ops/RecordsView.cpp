#include "ops/RecordsView.h"

#include <set>

#include "base/Platform.h"
#include "line/LineServer.h"
#include "records/RecordExport.h"
#include "records/Recorder.h"

namespace tq9 {

namespace {
std::string Trimmed(const std::string& text) {
    constexpr const char* kSpace = " \t\r\n\f\v";
    const auto first = text.find_first_not_of(kSpace);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

std::string Today() {
    return UtcNowIso8601().substr(0, 10);
}

std::string Failures(const std::vector<std::pair<std::string, int>>& byKind) {
    std::string text;
    for (const auto& [kind, count] : byKind)
        text += (text.empty() ? "; failures: " : ", ") + kind + " " + std::to_string(count);
    return text;
}

std::string Counted(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}
}  // namespace

std::string MoreCaption() {
    return "Show " + std::to_string(kRecordsStep) + " more";
}

std::array<std::string, kRecordColumns.size()> RecordCells(const OperationRecord& r) {
    return {r.started,
            r.bench,
            r.operation,
            r.outcome,
            r.boardSerial,
            r.firmwareName + (r.firmwareVersion.empty() ? "" : " " + r.firmwareVersion),
            r.cableSerial,
            r.comNumber ? std::to_string(*r.comNumber) : "",
            r.reason.substr(0, r.reason.find('\n'))};
}

std::vector<std::string> OperationChoices() {
    std::vector<std::string> choices{kAnyEntry};
    for (int op = 0; op <= static_cast<int>(RecordedOperation::AvrOnly); ++op)
        choices.emplace_back(RecordedOperationName(static_cast<RecordedOperation>(op)));
    return choices;
}

std::vector<std::string> OutcomeChoices() {
    return {kAnyEntry,          kOutcomeCompleted,   kOutcomeCancelled,
            kOutcomeEndedEarly, kOutcomeInterrupted, kOutcomeRunning};
}

bool WholeLineAvailable(const std::string& lineReader) {
    return !lineReader.empty() && LineServer::InThisBuild();
}

std::string WholeLineHint(const std::string& lineReader) {
    if (!LineServer::InThisBuild())
        return "This program reads no line server (it is built without libpq): the records of "
               "this PC only";
    return lineReader.empty() ? "No line server is set (records.conf): the records of this PC only"
                              : "Every bench's records, from the line's server";
}

RecordsQuery QueryOf(const RecordsFields& fields, int limit) {
    RecordsQuery query;
    RecordFilter& filter = query.filter;
    filter.boardSerial = Trimmed(fields.serial);
    if (fields.operation != kAnyEntry) filter.operation = fields.operation;
    if (fields.outcome != kAnyEntry) filter.outcome = fields.outcome;
    filter.since = Trimmed(fields.since);
    filter.until = Trimmed(fields.until);
    filter.limit = limit;
    query.line = fields.wholeLine;
    if (query.line) filter.bench = Trimmed(fields.bench);
    for (const std::string& date : {filter.since, filter.until}) {
        if (!date.empty() && !RecordDateValid(date)) {
            query.refusal = "\"" + date +
                            "\" is not a valid date: write it as YYYY-MM-DD (a day that exists), "
                            "for example 2026-12-09.";
            break;
        }
    }
    return query;
}

std::string RecordsCountText(std::int64_t shown, std::int64_t total) {
    if (shown == total) return Counted(total, "row", "rows");
    return std::to_string(shown) + " of " + std::to_string(total) + " rows";
}

std::string StoreSummaryText(const std::string& today, const RecordSummary& s,
                             const std::string& whyNot) {
    std::string text = "Today (" + today + "): " + std::to_string(s.programmedToday) +
                       " boards programmed, " + std::to_string(s.succeeded) + " succeeded" +
                       Failures(s.failuresByKind);
    if (!whyNot.empty()) text += " (" + whyNot + ")";
    return text;
}

std::string LineSummaryText(const std::string& today, const std::optional<LineReport>& report) {
    const LineReportRow total = report ? LineReportTotal(*report) : LineReportRow{};
    std::set<std::string> benches;
    if (report) {
        for (const LineReportRow& row : report->rows)
            benches.insert(row.bench);
    }
    return "Today on the line (" + today + ", " +
           Counted(static_cast<std::int64_t>(benches.size()), "bench", "benches") +
           "): " + Counted(total.boards, "board", "boards") + " programmed, first-pass yield " +
           FirstPassYield(total.firstPassed, total.firstRuns) + Failures(total.failuresByKind);
}

RecordsRead ReadStoreRecords(RecordStore& store, const RecordFilter& filter) {
    RecordsRead read;
    std::string whyNot;
    read.rows = store.Find(filter, whyNot);
    read.total = store.Count(filter, whyNot).value_or(static_cast<std::int64_t>(read.rows.size()));
    const std::string today = Today();
    const RecordSummary summary = store.Summary(today, whyNot);
    read.summary = StoreSummaryText(today, summary, whyNot);
    return read;
}

RecordsRead ReadLineRecords(const std::string& lineReader, const RecordFilter& filter) {
    RecordsRead read;
    const std::string today = Today();
    std::string whyNot;
    std::optional<LineReport> report;
    if (auto line = LineServer::Connect(lineReader, whyNot)) {
        auto rows = line->Find(filter, whyNot);
        const auto total = rows ? line->Count(filter, whyNot) : std::nullopt;
        if (rows && total) {
            read.rows = std::move(*rows);
            read.total = *total;
            report = line->Report(today, filter.bench, "", whyNot);
        }
    }
    if (!whyNot.empty()) {
        read = RecordsRead{};
        read.summary = "The line's records cannot be read: " + whyNot;
        return read;
    }
    read.summary = LineSummaryText(today, report);
    return read;
}

RecordsSaveDialog SaveDialogOf(RecordsFormat format) {
    if (format == RecordsFormat::Csv)
        return {"Export board records", "records.csv", "CSV", "*.csv"};
    return {"Export board records", "records.json", "JSON", "*.json"};
}

std::string ExportRecords(const RecordsQuery& shown, const std::string& source,
                          const std::string& path, RecordsFormat format) {
    RecordFilter all = shown.filter;
    all.limit = 0;
    std::string whyNot;
    std::vector<OperationRecord> rows;
    if (shown.line) {
        if (auto server = LineServer::Connect(source, whyNot)) {
            if (auto read = server->Find(all, whyNot)) rows = std::move(*read);
        }
    } else if (auto store = RecordStore::Open(source, whyNot)) {
        rows = store->Find(all, whyNot);
    }
    if (!whyNot.empty()) return whyNot;
    // Excel on the production PCs reads a CSV file as UTF-8 only after this mark.
    const std::string content = format == RecordsFormat::Csv
                                    ? "\xEF\xBB\xBF" + RecordsAsCsv(rows, shown.line)
                                    : RecordsAsJson(rows, shown.line);
    // Whole or not at all, and never through a name someone planted beside it.
    WriteFileWhole(path, content, whyNot);
    return whyNot;
}

std::string ExportRefusedText(const std::string& refusal) {
    return "Nothing was exported: the table shows no rows while its filter is refused. " + refusal;
}

std::string ExportFailedText(const std::string& path, const std::string& whyNot) {
    return "The records could not be exported to " + path + ": " + whyNot;
}

std::string ExportingText(const std::string& path) {
    return "Exporting the board records to " + path + "...";
}

void RecordsWindowRules::Refresh(const RecordsFields& fields) {
    limit_ = kRecordsStep;
    Reload(fields);
}

void RecordsWindowRules::More(const RecordsFields& fields) {
    limit_ += kRecordsStep;
    Reload(fields);
}

void RecordsWindowRules::Reload(const RecordsFields& fields) {
    shown_ = QueryOf(fields, limit_);
    const int reading = ++reading_;  // an answer of the line still on its way no longer fits
    if (shown_.Refused()) {
        RecordsPage page;
        page.line = shown_.line;
        page.count = shown_.refusal;
        page.refused = true;
        rows_.clear();
        window_.ShowPage(page);
        return;
    }
    if (shown_.line) {
        window_.ShowSummary(kReadingLine);
        window_.ReadLineApart(reading, lineReader_, shown_.filter);
        return;
    }
    Show(ReadStoreRecords(store_, shown_.filter));
}

bool RecordsWindowRules::LineRead(int reading, const RecordsRead& read) {
    if (reading != reading_) return false;
    Show(read);
    return true;
}

void RecordsWindowRules::Show(const RecordsRead& read) {
    RecordsPage page;
    page.rows = read.rows;
    page.line = shown_.line;
    const auto shown = static_cast<std::int64_t>(page.rows.size());
    rows_ = read.rows;
    page.count = RecordsCountText(shown, read.total);
    page.more = read.total > shown;
    window_.ShowPage(page);
    window_.ShowSummary(read.summary);
}

bool RecordsWindowRules::ListsChanged(const RecordsFields& fields) const {
    const RecordFilter now = Filter(fields);
    return now.operation != shown_.filter.operation || now.outcome != shown_.filter.outcome;
}

std::optional<std::string> RecordsWindowRules::Detail(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return std::nullopt;
    return RecordDetail(rows_[static_cast<std::size_t>(row)]);
}

bool RecordsWindowRules::ExportRefused() {
    if (!shown_.Refused()) return false;
    window_.ShowWarning(ExportRefusedText(shown_.refusal));
    return true;
}

std::function<std::string()> RecordsWindowRules::ExportTask(const std::string& path,
                                                            RecordsFormat format) const {
    // Copies: the window may show another filter, or be gone, before it has run.
    return [shown = shown_, source = shown_.line ? lineReader_ : store_.Path(), path, format] {
        return ExportRecords(shown, source, path, format);
    };
}

void RecordsWindowRules::ExportEnded(const std::string& path, const std::string& whyNot) {
    if (!whyNot.empty()) window_.ShowWarning(ExportFailedText(path, whyNot));
}

}  // namespace tq9
