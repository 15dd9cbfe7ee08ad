#pragma once
// One ISP programming pass through avrdude and the DIAMEX programmer: a logged probe,
// then, when its log is clean, the fuse run and the flash/EEPROM/lock run.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "board/BoardInfo.h"
#include "isp/ProcessRunner.h"

namespace tq9 {

// One external program run, as the board records keep it.
struct ProgramRunLog {
    std::string commandLine;
    int exitCode = -1;     // -1: it did not start (or has not ended); else as it ended
    bool running = false;  // started and not yet ended
    std::string output;    // what it printed (its start and end when it printed much)
};

// Which step of a production or AVR-only pass failed, as the records name it.
inline constexpr const char* kFailedImageCheck = "image check";
inline constexpr const char* kFailedProductionFiles = "production files";
inline constexpr const char* kFailedPort = "port";
inline constexpr const char* kFailedProbe = "probe";
inline constexpr const char* kFailedFuses = "fuses";
inline constexpr const char* kFailedFuseReadBack = "fuse read-back";
inline constexpr const char* kFailedFlash = "flash";
inline constexpr const char* kFailedBoardAfter = "board after programming";
inline constexpr const char* kFailedCancel = "cancel";

// How long each avrdude run may take before it is stopped as a Cancel stops it: avrdude
// against a programmer that does not answer retries for minutes, and one whose port went
// away may never end, while every other station on the bench directory waits for it.
struct AvrdudeTimeLimits {
    // The probe, the fuse run and the fuse read-back move a few bytes at the 100 us clock:
    // about 2 s on a DIAMEX, so 30 s is far beyond a sound run.
    std::uint32_t probeMs = 30'000, fusesMs = 30'000, fuseReadBackMs = 30'000;
    // The flash run: this base (programmer sign-on, chip erase), plus three times what
    // writing and verifying the images' bytes takes (FlashRunLimitMs).
    std::uint32_t flashBaseMs = 30'000;
    unsigned flashFactor = 3;
};
// The flash run's limit for images holding `flashBytes` and `eepromBytes` data bytes at
// an ISP clock period of `bitClockUs` microseconds: each flash byte crosses the 115200-baud
// link twice (write, verify: 87 us each), takes two 32-bit ISP instructions (64 clock
// periods) and its share of a 4.5 ms page write; an EEPROM byte is written alone (up to
// 9 ms) and read back.
std::uint32_t FlashRunLimitMs(const AvrdudeTimeLimits& limits, std::size_t flashBytes,
                              std::size_t eepromBytes, unsigned bitClockUs);

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
    // Which step of the pass failed, one of the kFailed* names;
    // empty while none has. A recorder empties it when its operation starts.
    std::string FailedStep;
    // What the board reported once programmed, and the warning when that disagrees with
    // the image written; a recorder empties both when its operation starts.
    std::string BoardAfter, ImageMismatch;
    AvrdudeTimeLimits avrdudeLimits;
    // This program as other stations on the bench directory are told who holds it.
    std::string ProgramName;
};

struct RunOutcome {
    bool started = false;
    int exitCode = -1;       // meaningful only when started
    bool cancelled = false;  // the operator cancelled and the program was stopped
    bool timedOut = false;   // it ran past its limit and was stopped
    std::string whyNot;      // why it did not start
    std::string output;      // what a hidden run let us see of its output
};

// Starts `programPath` with `arguments` and waits for it in 50 ms slices, pulsing the busy
// lamp after each. An empty working directory means the program's own directory. A Cancel
// during the run, or a run past `limitMs` (0: none), asks the program to stop, and ends it
// by force 2 s later; when the program is closing, at once.
RunOutcome RunProgramAndWait(IspContext& ctx, const std::string& programPath,
                             const std::string& arguments, const std::string& workingDirectory,
                             bool hidden, std::uint32_t limitMs = 0);

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
