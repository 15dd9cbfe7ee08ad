#pragma once
// What tq9ctl itself says, beside the operations' console lines: its exit codes, its
// refusals, and for scripts (--json) one JSON object per operation, list or refusal on
// standard output.

#include <string>
#include <vector>

#include "records/RecordExport.h"

namespace tq9 {

enum ExitCode : int {
    kDone = 0,           // done, and the board answered
    kFailed = 1,         // the board or the operation failed
    kUsage = 2,          // usage error or bad input
    kNoCable = 3,        // no cable found, or no driver
    kNotRecorded = 4,    // done, and the board answered, but a board record was not saved
    kInterrupted = 130,  // Ctrl-C
};

class CtlOutput {
  public:
    explicit CtlOutput(bool json) : json_(json) {}
    bool IsJson() const { return json_; }
    // tq9ctl's own refusal or failure: "tq9ctl: TEXT" on standard error and, for scripts,
    // {"error": TEXT, "exit_code": CODE} on standard output. Returns `code`.
    int Refuse(ExitCode code, const std::string& text) const;
    // A usage error: as Refuse, with a pointer to the help. Returns kUsage.
    int UsageError(const std::string& text) const;
    // One object, one line, on standard output.
    void Object(const tq9::Json& object) const;

  private:
    bool json_;
};

// Text for the terminal, line by line: each line as TerminalText shows it (control
// characters escaped), the line ends kept.
std::string Shown(const std::string& text);
// A program's output for the terminal: as Shown, but its CRs kept too (avrdude redraws its
// progress bar with them).
std::string ShownOutput(const std::string& text);

// One operation as a script reads it: its record (the shape `tq9ctl records --json` and
// the records window's export have), the dialogs it showed, its console lines, and the
// "Record not saved" warning (null when it was saved).
Json OperationJson(const OperationRecord& record, const std::vector<std::string>& dialogs,
                   const std::string& recordWarning);

}  // namespace tq9
