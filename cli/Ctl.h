#pragma once
// tq9ctl: the bench's operations from the command line, on the same core as the window.
// Each subcommand and option is declared once (CommandLine.cpp); its help text, its manual
// page (help2man over --help-all) and its usage errors come from those declarations.

#include <optional>
#include <string>
#include <vector>

namespace tq9 {

// What the command line asks for, once it has been read and checked.
struct CtlRequest {
    std::string command;  // the subcommand's name
    bool json = false;
    // The cable: by serial, or by its row in the list (the first when neither is given).
    std::optional<std::string> cable;
    int index = 0;
    int testPortEntry = 0;  // test-port
    std::string file;       // upload
    int core = 0;
    std::string firmware, diamex;  // program
    bool avrOnly = false, yes = false;
    std::string serial, since;  // records
    bool csv = false;
    bool line = false;   // records: every bench's, from the line's server
    std::string bench;   // records --line, records report: only this bench's
    std::string html;    // records report: the page's file
    std::string server;  // records --line and its nested commands: instead of records.conf's
    std::string role;    // records server-bench: the bench role whose bench is registered
};

// Runs tq9ctl with `args` (without the program's name); the bench's files are looked up
// in `benchDirectory`. Returns the exit code.
int RunCtl(const std::vector<std::string>& args, const std::string& benchDirectory);

// The subcommands, run once the request has been read (Commands.cpp).
int RunList(const CtlRequest& request, const std::string& benchDirectory);
int RunRecords(const CtlRequest& request);
// Rows as records prints them: tab-separated lines, CSV or JSON; `line`: with their bench.
struct OperationRecord;
void PrintRecords(const std::vector<OperationRecord>& rows, const CtlRequest& request, bool line);
// The line's server (LineCommands.cpp).
int RunServerCheck(const CtlRequest& request);
int RunServerInit(const CtlRequest& request);
int RunServerBench(const CtlRequest& request);
int RunLineRecords(const CtlRequest& request);
int RunReport(const CtlRequest& request);
int RunBoardCommand(const CtlRequest& request, const std::string& benchDirectory);
int RunResend(const CtlRequest& request);
// tq9ctl's end with a line server: a last pass, bounded (none when `stopped`), then how many
// rows still wait and why, and the rows set aside, on standard error.
class LineForwarder;
class RecordStore;
void EndLine(LineForwarder& forwarder, RecordStore* store, bool stopped);

}  // namespace tq9
