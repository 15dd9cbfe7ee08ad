#include "cli/Output.h"

#include <iostream>

#include "base/Utf8.h"

namespace tq9 {

int CtlOutput::Refuse(ExitCode code, const std::string& text) const {
    std::cerr << "tq9ctl: " << Shown(text) << '\n';
    if (json_) Object({{"error", text}, {"exit_code", static_cast<int>(code)}});
    return code;
}

int CtlOutput::UsageError(const std::string& text) const {
    Refuse(kUsage, text);
    std::cerr << "Run tq9ctl --help for the commands and options.\n";
    return kUsage;
}

void CtlOutput::Object(const tq9::Json& object) const {
    std::cout << JsonLine(object) << '\n' << std::flush;
}

namespace {
// Each stretch of the text between the `ends` kept as they are, as TerminalText shows it.
std::string ShownBetween(const std::string& text, const char* ends) {
    std::string shown;
    for (std::size_t at = 0;;) {
        const auto end = text.find_first_of(ends, at);
        shown += TerminalText(std::string_view(text).substr(at, end - at));
        if (end == std::string::npos) return shown;
        shown += text[end];
        at = end + 1;
    }
}
}  // namespace

std::string Shown(const std::string& text) {
    return ShownBetween(text, "\n");
}

std::string ShownOutput(const std::string& text) {
    return ShownBetween(text, "\r\n");
}

Json OperationJson(const OperationRecord& record, const std::vector<std::string>& dialogs,
                   const std::string& recordWarning) {
    Json json = RecordJson(record);
    json["record_warning"] = recordWarning.empty() ? tq9::Json(nullptr) : tq9::Json(recordWarning);
    json["dialogs"] = dialogs;
    Json lines = Json::array();
    for (std::size_t at = 0; !record.console.empty() && at != std::string::npos;) {
        const auto end = record.console.find('\n', at);
        lines.push_back(record.console.substr(at, end == std::string::npos ? end : end - at));
        at = end == std::string::npos ? end : end + 1;
    }
    json["lines"] = lines;
    return json;
}

}  // namespace tq9
