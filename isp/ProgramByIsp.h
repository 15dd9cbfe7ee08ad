#pragma once
// One ISP programming pass through avrdude and the DIAMEX programmer: a logged probe,
// then, when its log is clean, the fuse run and the flash/EEPROM/lock run.

#include <string>
#include <vector>

#include "board/BoardInfo.h"
#include "isp/ProcessRunner.h"

namespace tq9 {

// One external program run, as the board records keep it.
struct ProgramRunLog {
    std::string commandLine;
    int exitCode = -1;     // -1: it did not start, or was stopped on a cancel
    bool running = false;  // started and not yet ended
    std::string output;    // what it printed (its start and end when it printed much)
};

struct IspContext : BoardContext {
    explicit IspContext(Host& host) : BoardContext(host) {}
    // How external programs are started; must be set before any ISP operation.
    ProcessRunner* runner = nullptr;
    // The programs run lately, oldest first (at most kProgramRunsKept); a recorder empties
    // it when its operation starts.
    std::vector<ProgramRunLog> ProgramRuns;
    static constexpr std::size_t kProgramRunsKept = 32;
    // The probe log this pass read and judged (another station's probe may have written
    // the file since); a recorder empties it when its operation starts.
    std::string ProbeLog;
};

struct RunOutcome {
    bool started = false;
    int exitCode = -1;       // meaningful only when started
    bool cancelled = false;  // the operator cancelled and the program was stopped
    std::string whyNot;      // why it did not start
    std::string output;      // what a hidden run let us see of its output
};

// Starts `programPath` with `arguments` and waits for it in 50 ms slices, pulsing the busy
// lamp after each. An empty working directory means the program's own directory. A Cancel
// during the run asks the program to stop, and ends it by force 2 s later.
RunOutcome RunProgramAndWait(IspContext& ctx, const std::string& programPath,
                             const std::string& arguments, const std::string& workingDirectory,
                             bool hidden);

// The three argument texts, as avrdude gets them.
std::string ProbeArguments(const std::string& port, const std::string& config = "avrdude.conf");
std::string FuseArguments(const std::string& port, const std::string& config = "avrdude.conf");
// Reads the fuses back and compares them with what the fuse run wrote; writes nothing.
std::string FuseVerifyArguments(const std::string& port,
                                const std::string& config = "avrdude.conf");
std::string FlashArguments(const std::string& port, const std::string& flashFile,
                           const std::string& eepromFile,
                           const std::string& config = "avrdude.conf");
// The EEPROM image beside a flash image: its extension replaced by ".eep" (or appended).
std::string EepromFileOf(const std::string& flashFile);

// True when the images were sound, the probe's log was clean, and the fuse run, its
// verification and the flash run all ran to a good end.
bool ProgramByIsp(IspContext& ctx, const std::string& flashFile, const std::string& comText);

}  // namespace tq9
