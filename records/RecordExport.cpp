#include "records/RecordExport.h"

#include <functional>
#include <utility>

#include "base/Utf8.h"

namespace tq9 {

namespace {
std::string Optional(const std::optional<std::int64_t>& value) {
    return value ? std::to_string(*value) : std::string();
}
std::string Optional(const std::optional<int>& value) {
    return value ? std::to_string(*value) : std::string();
}

// One line per run, its output indented below it, so a spreadsheet's cell reads as the
// console did.
std::string AvrdudeRunsText(const OperationRecord& r) {
    std::string text;
    for (const AvrdudeRunRecord& run : r.avrdudeRuns) {
        text += (text.empty() ? "" : "\n") + std::string("exit ") + std::to_string(run.exitCode) +
                ": " + run.commandLine;
        std::string output = run.output;
        while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
            output.pop_back();
        if (output.empty()) continue;
        text += "\n  ";
        for (const char c : output)
            text += c == '\n' ? std::string("\n  ") : std::string(1, c);
    }
    return text;
}

Json AvrdudeRunsJson(const OperationRecord& r) {
    Json runs = Json::array();
    for (const AvrdudeRunRecord& run : r.avrdudeRuns) {
        runs.push_back({{"command_line", run.commandLine},
                        {"exit_code", run.exitCode},
                        {"output", run.output}});
    }
    return runs;
}

struct Column {
    using Text = std::function<std::string(const OperationRecord&)>;
    using AsJson = std::function<Json(const OperationRecord&)>;
    Column(const char* name, bool number, Text text, AsJson json = nullptr)
        : name(name), number(number), text(std::move(text)), json(std::move(json)) {}
    const char* name;
    bool number;  // JSON writes it as a number (null when empty)
    Text text;
    AsJson json;  // the value as JSON, where it is more than a string or a number
};

const Column& BenchColumn() {
    static const Column bench("bench", false, [](const OperationRecord& r) { return r.bench; });
    return bench;
}

const std::vector<Column>& AllColumns() {
    static const std::vector<Column> columns = {
        {"id", true,
         [](const OperationRecord& r) { return r.id ? std::to_string(r.id) : std::string(); }},
        {"started", false, [](const OperationRecord& r) { return r.started; }},
        {"ended", false, [](const OperationRecord& r) { return r.ended; }},
        {"host", false, [](const OperationRecord& r) { return r.host; }},
        {"program", false, [](const OperationRecord& r) { return r.program; }},
        {"operation", false, [](const OperationRecord& r) { return r.operation; }},
        {"cable_serial", false, [](const OperationRecord& r) { return r.cableSerial; }},
        {"cable_description", false, [](const OperationRecord& r) { return r.cableDescription; }},
        {"com_number", true, [](const OperationRecord& r) { return Optional(r.comNumber); }},
        {"board_serial", false, [](const OperationRecord& r) { return r.boardSerial; }},
        {"firmware_version", false, [](const OperationRecord& r) { return r.firmwareVersion; }},
        {"firmware_name", false, [](const OperationRecord& r) { return r.firmwareName; }},
        {"fpga_version", false, [](const OperationRecord& r) { return r.fpgaVersion; }},
        {"scan_core", false, [](const OperationRecord& r) { return r.scanCore; }},
        {"outcome", false, [](const OperationRecord& r) { return r.outcome; }},
        {"reason", false, [](const OperationRecord& r) { return r.reason; }},
        {"error_kind", false, [](const OperationRecord& r) { return r.errorKind; }},
        {"error_count", true,
         [](const OperationRecord& r) { return std::to_string(r.errorCount); }},
        {"result_dialog", false, [](const OperationRecord& r) { return r.resultDialog; }},
        {"upload_file", false, [](const OperationRecord& r) { return r.uploadFile; }},
        {"upload_size", true, [](const OperationRecord& r) { return Optional(r.uploadSize); }},
        {"upload_sha256", false, [](const OperationRecord& r) { return r.uploadSha256; }},
        {"upload_core", true, [](const OperationRecord& r) { return Optional(r.uploadCore); }},
        {"upload_closing_line", false,
         [](const OperationRecord& r) { return r.uploadClosingLine; }},
        {"image", false, [](const OperationRecord& r) { return r.image; }},
        {"image_sha256", false, [](const OperationRecord& r) { return r.imageSha256; }},
        {"diamex_port", false, [](const OperationRecord& r) { return r.diamexPort; }},
        {"avrdude_runs", false, AvrdudeRunsText, AvrdudeRunsJson},
        {"probe_log", false, [](const OperationRecord& r) { return r.probeLog; }},
        {"console", false, [](const OperationRecord& r) { return r.console; }},
        {"uuid", false, [](const OperationRecord& r) { return r.uuid; }},
        {"failed_step", false, [](const OperationRecord& r) { return r.failedStep; }},
        {"board_after", false, [](const OperationRecord& r) { return r.boardAfter; }},
        {"image_mismatch", false, [](const OperationRecord& r) { return r.imageMismatch; }},
        {"typed_serial", false, [](const OperationRecord& r) { return r.typedSerial; }},
    };
    return columns;
}

// A row's columns: the line's rows name their bench after their id.
std::vector<const Column*> Columns(bool line) {
    std::vector<const Column*> columns;
    for (const Column& c : AllColumns()) {
        columns.push_back(&c);
        if (line && columns.size() == 1) columns.push_back(&BenchColumn());
    }
    return columns;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + "\"";
}

}  // namespace

std::string JsonLine(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::vector<std::string> RecordColumns(bool line) {
    std::vector<std::string> names;
    for (const Column* c : Columns(line))
        names.push_back(c->name);
    return names;
}

std::string RecordsAsCsv(const std::vector<OperationRecord>& records, bool line) {
    const auto columns = Columns(line);
    std::string csv;
    for (const Column* c : columns)
        csv += (csv.empty() ? "" : ",") + std::string(c->name);
    csv += "\r\n";
    for (const OperationRecord& r : records) {
        bool first = true;
        for (const Column* c : columns) {
            csv += (first ? "" : ",") + CsvField(Utf8Valid(c->text(r)));
            first = false;
        }
        csv += "\r\n";
    }
    return csv;
}

Json RecordJson(const OperationRecord& r) {
    Json json = Json::object();
    for (const Column* c : Columns(!r.bench.empty())) {
        if (c->json) {
            json[c->name] = c->json(r);
            continue;
        }
        const std::string value = c->text(r);
        if (!c->number) {
            json[c->name] = value;
        } else if (value.empty()) {
            json[c->name] = nullptr;
        } else {
            json[c->name] = std::stoll(value);
        }
    }
    return json;
}

std::string RecordsAsJson(const std::vector<OperationRecord>& records, bool line) {
    // A row a line, so a long export still reads (and diffs) a record at a time.
    std::string json = "[";
    for (std::size_t i = 0; i < records.size(); ++i) {
        Json row = RecordJson(records[i]);
        if (line && !row.contains("bench")) row["bench"] = records[i].bench;
        json += (i ? ",\n " : "\n ") + JsonLine(row);
    }
    return json + (records.empty() ? "]\n" : "\n]\n");
}

std::string RecordDetail(const OperationRecord& r) {
    std::string text;
    for (const Column* c : Columns(!r.bench.empty())) {
        const std::string value = c->text(r);
        const std::string name = c->name;
        if (name == "console" || name == "probe_log" || name == "avrdude_runs") continue;
        if (!value.empty()) text += name + ": " + value + "\n";
    }
    if (!r.avrdudeRuns.empty()) text += "\navrdude runs:\n" + AvrdudeRunsText(r) + "\n";
    if (!r.probeLog.empty()) text += "\nprobe log (avrdude.log):\n" + r.probeLog + "\n";
    if (!r.console.empty()) text += "\nconsole:\n" + r.console + "\n";
    return Utf8Valid(text);
}

}  // namespace tq9
