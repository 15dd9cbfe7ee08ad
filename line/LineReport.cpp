#include "line/LineReport.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "base/Utf8.h"

namespace tq9 {

namespace {

// `shown`: how a name is written (for a terminal, its control characters escaped).
std::string Failures(const LineReportRow& row, std::string (*shown)(std::string_view)) {
    std::string text;
    for (const auto& [kind, count] : row.failuresByKind)
        text += (text.empty() ? "" : ", ") + shown(kind) + " " + std::to_string(count);
    return text.empty() ? "-" : text;
}
std::string AsItIs(std::string_view text) {
    return std::string(text);
}

std::string Padded(const std::string& text, std::size_t width, bool right = false) {
    const std::size_t length = Utf8Valid(text).size();
    if (length >= width) return text;
    return right ? std::string(width - length, ' ') + text
                 : text + std::string(width - length, ' ');
}

std::string Html(const std::string& text) {
    std::string escaped;
    for (const char c : Utf8Valid(text)) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

}  // namespace

LineReportRow LineReportTotal(const LineReport& report) {
    LineReportRow total;
    std::map<std::string, int> kinds;
    for (const LineReportRow& row : report.rows) {
        total.runs += row.runs;
        total.completed += row.completed;
        total.firstRuns += row.firstRuns;
        total.firstPassed += row.firstPassed;
        for (const auto& [kind, count] : row.failuresByKind)
            kinds[kind] += count;
    }
    total.boards = report.boards;
    total.failuresByKind.assign(kinds.begin(), kinds.end());
    std::stable_sort(total.failuresByKind.begin(), total.failuresByKind.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return total;
}

namespace {

// Colours told apart also by people who do not see red and green well.
constexpr const char* kPalette[] = {"#0072b2", "#e69f00", "#009e73", "#cc79a7",
                                    "#56b4e9", "#d55e00", "#f0e442", "#000000"};

// Boards programmed per day, a bar a day with a part a bench, and the day's first-pass
// yield above it.
std::string BoardsChart(const LineReport& report) {
    std::vector<std::string> days, benches;
    std::map<std::pair<std::string, std::string>, int> boards;
    std::map<std::string, std::pair<int, int>> yield;  // per day: passed, first runs
    for (const LineReportRow& row : report.rows) {
        if (days.empty() || days.back() != row.day) days.push_back(row.day);
        if (std::find(benches.begin(), benches.end(), row.bench) == benches.end())
            benches.push_back(row.bench);
        boards[{row.day, row.bench}] = row.boards;
        yield[row.day].first += row.firstPassed;
        yield[row.day].second += row.firstRuns;
    }
    int highest = 1;
    for (const std::string& day : days) {
        int sum = 0;
        for (const std::string& bench : benches)
            sum += boards[{day, bench}];
        highest = std::max(highest, sum);
    }
    // The chart keeps to the page's width whatever the days: a year's bars are narrow, the
    // yields then only in each bar's tooltip, and the day labels thinned so they never meet.
    const int left = 48, top = 28, height = 220, plot = 720;
    const int slot = std::clamp(plot / std::max(int(days.size()), 1), 2, 64);
    const int gap = slot >= 12 ? 6 : slot >= 4 ? 1 : 0;
    const bool yieldsOverBars = slot >= 28;
    const int width = left + slot * int(days.size()) + 16;
    const int legendRows = int((benches.size() + 3) / 4);
    const int legend = 20 * legendRows + (yieldsOverBars ? 20 : 0);
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" width=\"" +
                      std::to_string(std::max(width, 420)) + "\" height=\"" +
                      std::to_string(top + height + 48 + legend) +
                      "\" font-family=\"sans-serif\" font-size=\"11\">\n"
                      "<title>Boards programmed per day</title>\n"
                      "<text x=\"4\" y=\"12\">boards</text>\n";
    const double scale = double(height) / highest;
    for (int tick = 0; tick <= 4; ++tick) {
        const int value = highest * tick / 4;
        const double y = top + height - value * scale;
        svg += "<line x1=\"" + std::to_string(left) + "\" x2=\"" + std::to_string(width - 8) +
               "\" y1=\"" + Number(y) + "\" y2=\"" + Number(y) + "\" stroke=\"#ddd\"/><text x=\"" +
               std::to_string(left - 6) + "\" y=\"" + Number(y + 4) + "\" text-anchor=\"end\">" +
               std::to_string(value) + "</text>\n";
    }
    const int labelEvery = (44 + slot - 1) / slot;  // a label at least 44 px from the next
    for (std::size_t d = 0; d < days.size(); ++d) {
        const int x = left + slot * int(d) + gap / 2;
        const auto [passed, firsts] = yield[days[d]];
        const std::string dayYield =
            firsts > 0 ? ", first-pass yield " + FirstPassYield(passed, firsts) : "";
        double y = top + height;
        for (std::size_t b = 0; b < benches.size(); ++b) {
            const int count = boards[{days[d], benches[b]}];
            if (count == 0) continue;
            y -= count * scale;
            svg += "<rect x=\"" + std::to_string(x) + "\" y=\"" + Number(y) + "\" width=\"" +
                   std::to_string(std::max(slot - gap, 1)) + "\" height=\"" +
                   Number(count * scale) + "\" fill=\"" + kPalette[b % std::size(kPalette)] +
                   "\"><title>" + Html(days[d] + " " + benches[b] + ": " + std::to_string(count)) +
                   " boards" + Html(dayYield) + "</title></rect>\n";
        }
        if (firsts > 0 && yieldsOverBars) {
            const std::string percent = FirstPassYield(passed, firsts);
            svg += "<text x=\"" + std::to_string(x + (slot - gap) / 2) + "\" y=\"" + Number(y - 4) +
                   "\" text-anchor=\"middle\">" + percent.substr(0, percent.find(' ')) +
                   "</text>\n";
        }
        if (int(d) % labelEvery == 0) {
            svg += "<text x=\"" + std::to_string(x) + "\" y=\"" +
                   std::to_string(top + height + 14) + "\">" + days[d].substr(5) + "</text>\n";
        }
    }
    if (yieldsOverBars) {
        svg += "<text x=\"" + std::to_string(left) + "\" y=\"" +
               std::to_string(top + height + 40 + 20 * legendRows) +
               "\">The number over a bar: that day's first-pass yield.</text>\n";
    }
    for (std::size_t b = 0; b < benches.size(); ++b) {
        const int x = left + 150 * int(b % 4), y = top + height + 30 + 20 * int(b / 4);
        svg += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
               "\" width=\"12\" height=\"12\" fill=\"" + kPalette[b % std::size(kPalette)] +
               "\"/><text x=\"" + std::to_string(x + 16) + "\" y=\"" + std::to_string(y + 10) +
               "\">" + Html(benches[b]) + "</text>\n";
    }
    return svg + "</svg>\n";
}

// The period's failures by error kind, a bar each.
std::string FailuresChart(const LineReportRow& total) {
    if (total.failuresByKind.empty()) return "<p>No programming run failed.</p>\n";
    const int most = total.failuresByKind.front().second;
    const int rowHeight = 22, left = 150, width = 420;
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" width=\"" +
                      std::to_string(left + width + 60) + "\" height=\"" +
                      std::to_string(rowHeight * int(total.failuresByKind.size()) + 8) +
                      "\" font-family=\"sans-serif\" font-size=\"12\">\n"
                      "<title>Failures by error kind</title>\n";
    int y = 4;
    for (const auto& [kind, count] : total.failuresByKind) {
        const double length = double(width) * count / most;
        svg += "<text x=\"" + std::to_string(left - 6) + "\" y=\"" + std::to_string(y + 14) +
               "\" text-anchor=\"end\">" + Html(kind) + "</text><rect x=\"" + std::to_string(left) +
               "\" y=\"" + std::to_string(y + 2) + "\" width=\"" + Number(std::max(length, 1.0)) +
               "\" height=\"" + std::to_string(rowHeight - 6) + "\" fill=\"#d55e00\"/><text x=\"" +
               Number(left + length + 6) + "\" y=\"" + std::to_string(y + 14) + "\">" +
               std::to_string(count) + "</text>\n";
        y += rowHeight;
    }
    return svg + "</svg>\n";
}

// For a terminal: each field with its control characters escaped, tabs between them.
std::string HistoryLine(const OperationRecord& r) {
    return TerminalText(r.started) + "\t" + TerminalText(r.bench) + "\t" +
           TerminalText(r.operation) + "\t" + TerminalText(r.outcome) + "\t" +
           TerminalText(r.firmwareName +
                        (r.firmwareVersion.empty() ? "" : " " + r.firmwareVersion)) +
           "\t" + TerminalText(r.errorKind) + "\t" +
           TerminalText(r.reason.substr(0, r.reason.find('\n')));
}

}  // namespace

std::string FirstPassYield(int passed, int runs) {
    if (runs <= 0) return "-";
    // Rounded, not cut: 2 of 3 is 67 %.
    return std::to_string((passed * 200 + runs) / (runs * 2)) + "% (" + std::to_string(passed) +
           " of " + std::to_string(runs) + ")";
}

std::string LineReportText(const LineReport& report) {
    // Every name from the line as a terminal is to show it.
    std::string text =
        "Line report from " + TerminalText(report.since) +
        (report.bench.empty() ? " (every bench)" : " (bench " + TerminalText(report.bench) + ")") +
        ": production runs and AVR only\n";
    if (report.rows.empty()) {
        text += "No programming run on the line since then.\n";
    } else {
        std::size_t benchWidth = 5;
        for (const LineReportRow& row : report.rows)
            benchWidth = std::max(benchWidth, TerminalText(row.bench).size());
        auto line = [&](const LineReportRow& row, const std::string& day,
                        const std::string& bench) {
            return Padded(day, 10) + "  " + Padded(TerminalText(bench), benchWidth) + "  " +
                   Padded(std::to_string(row.runs), 4, true) + "  " +
                   Padded(std::to_string(row.completed), 9, true) + "  " +
                   Padded(std::to_string(row.boards), 6, true) + "  " +
                   Padded(FirstPassYield(row.firstPassed, row.firstRuns), 18) + "  " +
                   Failures(row, TerminalText) + "\n";
        };
        text += Padded("day", 10) + "  " + Padded("bench", benchWidth) +
                "  runs  completed  boards  first-pass yield    failures\n";
        for (const LineReportRow& row : report.rows)
            text += line(row, row.day, row.bench);
        text += line(LineReportTotal(report), "total", "");
        text += "boards: different boards programmed right, each once in the total\n";
    }
    if (!report.boardSerial.empty()) {
        text += "\nBoard " + TerminalText(report.boardSerial) + " on the line (newest first):\n";
        if (report.history.empty()) text += "no row names this board\n";
        for (const OperationRecord& r : report.history)
            text += HistoryLine(r) + "\n";
    }
    return Utf8Valid(text);
}

std::string LineReportHtml(const LineReport& report, const std::string& generated) {
    const std::string title = "TQ9 line report from " + report.since +
                              (report.bench.empty() ? "" : ", bench " + report.bench);
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width\">\n<title>" +
        Html(title) +
        "</title>\n<style>\n"
        "body{font-family:sans-serif;margin:1.5em;color:#222}\n"
        "table{border-collapse:collapse;margin:0.5em 0 1.5em}\n"
        "th,td{border:1px solid #ccc;padding:0.25em 0.6em;text-align:left}\n"
        "td.n{text-align:right}\ntr.total td{font-weight:bold;background:#f4f4f4}\n"
        "p.note{color:#555;font-size:0.9em;max-width:50em}\n"
        "</style>\n</head>\n<body>\n<h1>" +
        Html(title) + "</h1>\n<p>Made " + Html(generated) +
        " from every bench's records on the line's server. Times are UTC.</p>\n";
    if (report.rows.empty()) {
        html += "<p>No programming run on the line since then.</p>\n";
    } else {
        const LineReportRow total = LineReportTotal(report);
        html += "<h2>Boards programmed per day</h2>\n" + BoardsChart(report) +
                "<h2>Failures by error kind</h2>\n" + FailuresChart(total) +
                "<h2>Per day and bench</h2>\n<table>\n<tr><th>Day</th><th>Bench</th>"
                "<th>Runs</th><th>Completed</th><th>Boards programmed</th>"
                "<th>First-pass yield</th><th>Failures by kind</th></tr>\n";
        auto row = [&](const LineReportRow& r, const std::string& day, const std::string& bench,
                       const char* cls) {
            return std::string("<tr") + cls + "><td>" + Html(day) + "</td><td>" + Html(bench) +
                   "</td><td class=\"n\">" + std::to_string(r.runs) + "</td><td class=\"n\">" +
                   std::to_string(r.completed) + "</td><td class=\"n\">" +
                   std::to_string(r.boards) + "</td><td class=\"n\">" +
                   Html(FirstPassYield(r.firstPassed, r.firstRuns)) + "</td><td>" +
                   Html(Failures(r, AsItIs)) + "</td></tr>\n";
        };
        for (const LineReportRow& r : report.rows)
            html += row(r, r.day, r.bench, "");
        html += row(total, "Total", "", " class=\"total\"") + "</table>\n";
    }
    html +=
        "<p class=\"note\">Programming runs are production runs and AVR only. A board is "
        "programmed when a run on it completed. A bar is a day, a part of it a bench: the "
        "different boards programmed there that day, so a board programmed at two benches that "
        "day is in both parts. The totals count each board once over the whole period. "
        "First-pass yield: of the boards whose first "
        "programming run on the line started that day at that bench, the share that run "
        "programmed right; a failed run that never read the board's serial counts as a "
        "failed first run. Failures are runs that ended early or were interrupted, counted "
        "by the step that failed where the run names one (probe, fuses, flash, ...), else by "
        "its error kind.</p>\n";
    if (!report.boardSerial.empty()) {
        html += "<h2>Board " + Html(report.boardSerial) + "</h2>\n";
        if (report.history.empty()) {
            html += "<p>No row names this board.</p>\n";
        } else {
            html +=
                "<table>\n<tr><th>Started</th><th>Bench</th><th>Operation</th><th>Outcome</th>"
                "<th>Firmware</th><th>Error kind</th><th>Reason</th></tr>\n";
            for (const OperationRecord& r : report.history) {
                html += "<tr><td>" + Html(r.started) + "</td><td>" + Html(r.bench) + "</td><td>" +
                        Html(r.operation) + "</td><td>" + Html(r.outcome) + "</td><td>" +
                        Html(r.firmwareName +
                             (r.firmwareVersion.empty() ? "" : " " + r.firmwareVersion)) +
                        "</td><td>" + Html(r.errorKind) + "</td><td>" +
                        Html(r.reason.substr(0, r.reason.find('\n'))) + "</td></tr>\n";
            }
            html += "</table>\n";
        }
    }
    return html + "</body>\n</html>\n";
}

}  // namespace tq9
