#pragma once
// The line's report: per day and bench, what the programming runs (production runs and
// AVR only) gave, as text for a terminal and as one HTML page that holds its own charts
// (inline SVG; nothing is fetched when it is opened).

#include <string>
#include <utility>
#include <vector>

#include "records/RecordStore.h"

namespace tq9 {

struct LineReportRow {
    std::string day;  // UTC, YYYY-MM-DD
    std::string bench;
    int runs = 0;       // programming runs started
    int completed = 0;  // of those, completed
    int boards = 0;     // different boards programmed right
    // First-pass yield: the boards whose first programming run on the line started here,
    // and how many of those it programmed right. A failed run that never read the board's
    // serial counts as a first run that failed: the board is not known to have had one.
    int firstRuns = 0, firstPassed = 0;
    // Ended early or interrupted: by the step that failed where the row names one, else by
    // its error kind.
    std::vector<std::pair<std::string, int>> failuresByKind;
};

struct LineReport {
    std::string since;                // the first day
    std::string bench;                // only this bench's; empty: every bench
    std::vector<LineReportRow> rows;  // by day, then bench
    // Different boards programmed right over the whole report: a board programmed on two
    // days, or at two benches, is one board here and in each of those rows.
    int boards = 0;
    // A board's history on the line (newest first), when the report names a board.
    std::string boardSerial;
    std::vector<OperationRecord> history;
};

// The whole report: every row's counts summed, but for the boards (report.boards, each
// once); failures by kind most first.
LineReportRow LineReportTotal(const LineReport& report);
// "91% (10 of 11)"; "-" when no board had its first run there.
std::string FirstPassYield(int passed, int runs);
std::string LineReportText(const LineReport& report);
std::string LineReportHtml(const LineReport& report, const std::string& generated);

}  // namespace tq9
