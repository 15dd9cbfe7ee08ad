#pragma once
// The board records window's rules, whatever toolkit draws it: what its lists offer, the
// filter its fields make (or why a date is refused), every text it shows, a row's cells,
// and the reads and the export behind it. The reads and the export block: a window runs
// the line's read and the export on a thread of its own, so it keeps painting.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "line/LineReport.h"
#include "records/RecordStore.h"

namespace tq9 {

inline constexpr const char* kRecordsTitle = "Board records";
inline constexpr const char* kAnyEntry = "(any)";
inline constexpr int kRecordsStep = 100;  // rows shown at first, and how many more a click adds

// The fields' captions and the hints an empty field shows.
inline constexpr const char* kSerialCaption = "Serial";
inline constexpr const char* kOperationCaption = "Operation";
inline constexpr const char* kOutcomeCaption = "Outcome";
inline constexpr const char* kSerialCue = "board serial";
inline constexpr const char* kSinceCue = "from YYYY-MM-DD";
inline constexpr const char* kUntilCue = "to YYYY-MM-DD";
inline constexpr const char* kBenchCue = "bench";
inline constexpr const char* kWholeLineCaption = "Whole line";
inline constexpr const char* kShowCaption = "Show";
inline constexpr const char* kExportCsvCaption = "Export CSV...";
inline constexpr const char* kExportJsonCaption = "Export JSON...";
inline constexpr const char* kReadingLine = "Reading the whole line...";
// "Show 100 more".
std::string MoreCaption();

// The list's columns; the bench's is shown only for the whole line's rows.
inline constexpr std::array<const char*, 9> kRecordColumns = {"Started (UTC)", "Bench", "Operation",
                                                              "Outcome",       "Board", "Firmware",
                                                              "Cable",         "COM",   "Reason"};
inline constexpr int kBenchColumn = 1;
// A row's cells, in the columns' order: the firmware's name and version in one, the
// reason's first line.
std::array<std::string, kRecordColumns.size()> RecordCells(const OperationRecord& record);

// The drop-down lists' entries, kAnyEntry first.
std::vector<std::string> OperationChoices();
std::vector<std::string> OutcomeChoices();

// Whether "Whole line" can be ticked: a reader connection is set and this build reaches a
// line server; the checkbox's tooltip says which.
bool WholeLineAvailable(const std::string& lineReader);
std::string WholeLineHint(const std::string& lineReader);

// The filter fields as the operator left them, texts untrimmed, the lists' entries as shown.
struct RecordsFields {
    std::string serial, operation, outcome, since, until;
    bool wholeLine = false;
    std::string bench;  // taken only for the whole line
};

// What the fields ask for: the filter (its limit `limit`), from this PC or the whole line,
// or, when a date cannot be taken, why not (the window then shows no rows, and this text in
// red where the count goes).
struct RecordsQuery {
    RecordFilter filter;
    bool line = false;
    std::string refusal;
    bool Refused() const { return !refusal.empty(); }
};
RecordsQuery QueryOf(const RecordsFields& fields, int limit);

// "100 of 2345 rows", "1 row", "7 rows".
std::string RecordsCountText(std::int64_t shown, std::int64_t total);
// The day's line under the rows: this PC's, or the line's (every bench's; `report` none
// when it could not be read).
std::string StoreSummaryText(const std::string& today, const RecordSummary& summary,
                             const std::string& whyNot);
std::string LineSummaryText(const std::string& today, const std::optional<LineReport>& report);

// What a read gives the window: the rows, how many the filter takes beyond them, and the
// day's summary line (or why the line could not be read, and then no rows).
struct RecordsRead {
    std::vector<OperationRecord> rows;
    std::int64_t total = 0;
    std::string summary;
};
RecordsRead ReadStoreRecords(RecordStore& store, const RecordFilter& filter);
// Connects to the line's server with `lineReader` (that may take seconds): on a thread.
RecordsRead ReadLineRecords(const std::string& lineReader, const RecordFilter& filter);

enum class RecordsFormat { Csv, Json };
// The save dialog's title, file name and filter ("CSV" and "*.csv").
struct RecordsSaveDialog {
    const char* title;
    const char* fileName;
    const char* filterName;
    const char* pattern;
};
RecordsSaveDialog SaveDialogOf(RecordsFormat format);

// Every row the shown query takes (its limit aside) from this PC's store file at `source`,
// or the line's server with the reader `source`, written to `path` whole or not at all:
// CSV with the byte order mark Excel needs to read UTF-8, or JSON. Empty when written,
// else why not. Blocking: on a thread. `shown` must not be refused.
std::string ExportRecords(const RecordsQuery& shown, const std::string& source,
                          const std::string& path, RecordsFormat format);
// The message boxes' texts: an export while the shown filter is refused (nothing is
// written), and one that failed.
std::string ExportRefusedText(const std::string& refusal);
std::string ExportFailedText(const std::string& path, const std::string& whyNot);
// What the window says while a long export goes on.
std::string ExportingText(const std::string& path);

// What the list and the line under it show after a read, or while the filter is refused.
struct RecordsPage {
    std::vector<OperationRecord> rows;  // newest first; the newest selected, its detail shown
    bool line = false;                  // the line's rows: their bench's column shows
    std::string count;                  // "100 of 2345 rows", or why a date is refused
    bool refused = false;               // the count is a refusal: in red
    bool more = false;                  // "Show 100 more" shows
};

// What the records window's rules need from the window that draws it.
class RecordsFrontEnd {
  public:
    virtual ~RecordsFrontEnd() = default;
    virtual void ShowPage(const RecordsPage& page) = 0;
    // The day's summary line (or what goes on instead).
    virtual void ShowSummary(const std::string& text) = 0;
    // Runs ReadLineRecords(reader, filter) on a thread of its own and hands the answer to
    // RecordsWindowRules::LineRead with `reading`, on the window's thread, unless the window
    // is gone by then.
    virtual void ReadLineApart(int reading, const std::string& reader,
                               const RecordFilter& filter) = 0;
    // A warning box over the window, titled kRecordsTitle.
    virtual void ShowWarning(const std::string& text) = 0;
};

// The records window's behaviour: what Show, More and the line's answer show, a row's
// detail, and what an export may write. The window routes its controls here with its
// fields as they stand, and runs the threads.
class RecordsWindowRules {
  public:
    // `lineReader`: the connection that reads the whole line; empty: none.
    RecordsWindowRules(RecordStore& store, std::string lineReader, RecordsFrontEnd& window)
        : store_(store), lineReader_(std::move(lineReader)), window_(window) {}

    const std::string& LineReader() const { return lineReader_; }
    // The filter the fields make, as many rows as are shown.
    RecordFilter Filter(const RecordsFields& fields) const {
        return QueryOf(fields, limit_).filter;
    }
    // Show, Enter in a field, a list changed, "Whole line" ticked: the first rows again.
    void Refresh(const RecordsFields& fields);
    // "Show 100 more".
    void More(const RecordsFields& fields);
    // The line's answer to read `reading`: shown unless a newer read (or a refusal) came
    // since; true when shown.
    bool LineRead(int reading, const RecordsRead& read);
    // Whether the lists' entries differ from those the shown rows were read with.
    bool ListsChanged(const RecordsFields& fields) const;
    // The full text of the shown row `row`; none when there is no such row.
    std::optional<std::string> Detail(int row) const;

    // Exports are refused while the shown filter is: then the window has said why.
    bool ExportRefused();
    // The export of the shown filter's rows to `path`, to run on a thread: empty when
    // written, else why not.
    std::function<std::string()> ExportTask(const std::string& path, RecordsFormat format) const;
    // Its end, on the window's thread: a failure is said.
    void ExportEnded(const std::string& path, const std::string& whyNot);

  private:
    void Reload(const RecordsFields& fields);
    void Show(const RecordsRead& read);

    RecordStore& store_;
    std::string lineReader_;
    RecordsFrontEnd& window_;
    int limit_ = kRecordsStep;
    int reading_ = 0;     // the newest read; older answers of the line are dropped
    RecordsQuery shown_;  // what the list shows (a refused query shows no rows)
    std::vector<OperationRecord> rows_;
};

}  // namespace tq9
