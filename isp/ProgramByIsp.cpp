#include "isp/ProgramByIsp.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "base/Platform.h"
#include "base/Wildcard.h"
#include "isp/ImageCheck.h"
#include "isp/ProductionFiles.h"

namespace tq9 {

namespace {
constexpr std::uint32_t kWaitSliceMs = 50;
// How long a program asked to stop may take before it is ended by force.
constexpr std::uint32_t kStopGraceMs = 2'000;
constexpr const char* kProbeLog = "avrdude.log";
constexpr const char* kConfig = "avrdude.conf";
constexpr const char* kPortError = "##### Error: AVRdude COM. Is DIAMEX port# correct?";
// How much of a run's output the records keep: its start and its end.
constexpr std::size_t kOutputKept = 64 * 1024, kOutputHeadKept = 16 * 1024;
constexpr const char* kOutputCut = "\n[... output cut ...]\n";

void AppendBounded(std::string& kept, const std::string& more) {
    kept += more;
    if (kept.size() <= kOutputKept) return;
    const std::size_t tail = kOutputKept - kOutputHeadKept;
    kept = kept.substr(0, kOutputHeadKept) + kOutputCut + kept.substr(kept.size() - tail);
}

// The flash run's ISP clock period (-B), in microseconds.
constexpr unsigned kFlashBitClockUs = 2;

std::string CommonArguments(const std::string& config, const char* bitClock,
                            const std::string& port) {
    return "-C \"" + config + "\" -pm644p -cstk500v2 -B" + bitClock + " -P " + port;
}

// Trailing blanks and control characters are cut off.
std::string TrimRight(std::string text) {
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.pop_back();
    return text;
}

std::string DirectoryOf(const std::string& path) {
    const auto cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// A bare file name as it stands in the program's directory, matched without regard to case.
bool Resolve(const IspContext& ctx, const std::string& name, std::string& onDisk) {
    return !name.empty() && FileExistsNoCase(ctx.ProgramDirectory, name, &onDisk);
}

void RemoveOldLog(const IspContext& ctx) {
    for (const std::string& name : FilesInDirectory(ctx.ProgramDirectory)) {
        if (WildcardMatch(kProbeLog, name)) {
            std::error_code ignored;
            std::filesystem::remove(std::filesystem::u8path(ctx.ProgramDirectory + name), ignored);
        }
    }
}

bool ReadLines(const std::string& path, std::string& text) {
    std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
    if (!file) return false;
    std::ostringstream content;
    content << file.rdbuf();
    text = content.str();
    return true;
}

bool Contains(const std::string& text, const char* word) {
    return text.find(word) != std::string::npos;
}

std::vector<std::string> OutputLines(const std::string& output) {
    std::vector<std::string> lines;
    std::string line;
    for (const char c : output) {
        if (c == '\r' || c == '\n') {
            if (!line.empty()) lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

void ReportNotStarted(IspContext& ctx, const RunOutcome& run) {
    ctx.ConsoleAdd("##### Error: AVRdude could not be started: " + run.whyNot);
}

std::string Seconds(std::uint32_t ms) {
    return std::to_string((ms + 999) / 1000) + " s";
}

// A run past its limit, named with the limit; it was stopped as a Cancel stops it.
void ReportTimedOut(IspContext& ctx, const char* run, std::uint32_t limitMs) {
    ctx.ConsoleAdd(std::string("##### Error: AVRdude ") + run + " did not end within " +
                   Seconds(limitMs) + " and was stopped. Unplug DIAMEX from USB and reconnect.");
}

// A fuse, verify or flash run's end: true when it ran and exited with 0. A cancelled run
// has its warning line already.
bool RunSucceeded(IspContext& ctx, const RunOutcome& run, const char* name, std::uint32_t limitMs,
                  const std::string& failure) {
    if (!run.started) {
        ReportNotStarted(ctx, run);
        return false;
    }
    if (run.cancelled) return false;
    if (run.timedOut) {
        ReportTimedOut(ctx, name, limitMs);
        return false;
    }
    if (run.exitCode == 0) return true;
    ctx.ConsoleAdd("##### Error: " + failure + " (exit code " + std::to_string(run.exitCode) + ")");
    return false;
}

// Why an image cannot be programmed, as a console line; empty when it can.
std::string ImageProblem(const IspContext& ctx, const char* what, const std::string& name,
                         const std::string& onDisk, std::size_t capacity, bool needsData,
                         std::size_t& dataBytes) {
    const std::string why =
        IntelHexProblem(ctx.ProgramDirectory + onDisk, capacity, needsData, &dataBytes);
    return why.empty() ? why : std::string("##### Error: ") + what + name + " " + why;
}

// Now in UTC, as the records write it.
std::string UtcNow() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                  int(time.minutes().count()), int(time.seconds().count()));
    return text;
}

// Beside the lock, who holds it: a station that waits is told whom it waits for.
constexpr const char* kHolderFile = "avrdude.log.holder";

class ProbeLogLock {
  public:
    explicit ProbeLogLock(const IspContext& ctx) : directory_(ctx.ProgramDirectory) {}
    ~ProbeLogLock() { Release(); }
    DirectoryLock::Result TryTake(const std::string& holder, std::string& whyNot) {
        const auto result = lock_.TryTake(directory_, whyNot);
        if (result == DirectoryLock::Result::taken) {
            taken_ = true;
            // Made anew and renamed into place: a link planted under its name is replaced,
            // never followed. Without it a waiting station only names no holder.
            std::string ignored;
            WriteFileWhole(directory_ + kHolderFile, holder, ignored);
        }
        return result;
    }
    // Removed before the lock goes, so it never removes the next holder's.
    void Release() {
        if (!taken_) return;
        taken_ = false;
        std::error_code ignored;
        std::filesystem::remove(std::filesystem::u8path(directory_ + kHolderFile), ignored);
        lock_.Release();
    }
    std::string Holder() const {
        std::string text;
        if (!ReadLines(directory_ + kHolderFile, text)) return {};
        return TrimRight(text.substr(0, 400));
    }

  private:
    std::string directory_;
    DirectoryLock lock_;
    bool taken_ = false;
};

// Holds the bench directory from removing the old probe log to reading the new one, so a
// second station on the same directory never judges this one's log. A cancel ends the wait.
bool LockProbeLog(IspContext& ctx, ProbeLogLock& lock, const std::string& port) {
    const std::string holder = "host " + HostName() + ", program " + ctx.ProgramName +
                               ", process " + std::to_string(CurrentProcessId()) +
                               ", DIAMEX port " + port + ", since " + UtcNow();
    std::string saidHolder;
    bool said = false;
    for (;;) {
        std::string whyNot;
        switch (lock.TryTake(holder, whyNot)) {
            case DirectoryLock::Result::taken:
                return true;
            case DirectoryLock::Result::failed:
                ctx.ConsoleAdd("##### Warning: The bench directory cannot be locked (" + whyNot +
                               "); another station's probe could share avrdude.log");
                return true;
            case DirectoryLock::Result::busy:
                break;
        }
        // The holder's file may lag its lock by a moment: it is said once it is there.
        const std::string other = lock.Holder();
        if (!said || (other != saidHolder && !other.empty())) {
            ctx.ConsoleAdd("Waiting for another station's AVRdude probe in " +
                           ctx.ProgramDirectory + (other.empty() ? "" : " (" + other + ")"));
            said = true;
            saidHolder = other;
        }
        ctx.DelayMs(kWaitSliceMs);
        if (ctx.CancelRequested) {
            ctx.LogCancelWarning();
            return false;
        }
    }
}

bool Fail(IspContext& ctx, const char* step) {
    ctx.FailedStep = step;
    return false;
}
}  // namespace

RunOutcome RunProgramAndWait(IspContext& ctx, const std::string& programPath,
                             const std::string& arguments, const std::string& workingDirectory,
                             bool hidden, std::uint32_t limitMs) {
    ProgramStart start;
    start.programPath = programPath;
    start.arguments = TrimRight(arguments);
    start.commandLine = "\"" + programPath + "\" " + start.arguments;
    start.workingDirectory = workingDirectory;
    start.hidden = hidden;
    if (!start.workingDirectory.empty() && start.workingDirectory.back() == '\\') {
        start.workingDirectory.pop_back();
    } else if (start.workingDirectory.empty()) {
        start.workingDirectory = DirectoryOf(programPath);
    }

    if (ctx.ProgramRuns.size() >= IspContext::kProgramRunsKept) {
        ctx.ProgramRuns.erase(ctx.ProgramRuns.begin());
    }
    // As a shell takes it back: the line repeats exactly this run, and nothing else.
    const std::string shown = RepeatableCommandLine(start);
    ctx.ProgramRuns.push_back({shown, -1, false, {}});
    RunOutcome outcome;
    if (!ctx.runner) {
        outcome.whyNot = "no way to start programs";
        ctx.ProgramRuns.back().output = "not started: " + outcome.whyNot;
        return outcome;
    }
    std::unique_ptr<ChildProcess> child = ctx.runner->Start(start, outcome.whyNot);
    if (!child) {
        ctx.ProgramRuns.back().output = "not started: " + outcome.whyNot;
        return outcome;
    }
    outcome.started = true;
    ctx.ProgramRuns.back().running = true;
    if (!hidden) ctx.host.ProgramOutputStart(shown);
    auto takeOutput = [&] {
        std::string text = child->TakeOutput();
        AppendBounded(ctx.ProgramRuns.back().output, text);
        if (hidden) {
            outcome.output += text;
        } else {
            ctx.host.ProgramOutputAdd(text);
        }
    };
    const unsigned cancelsAtStart = ctx.CancelRequests();
    const unsigned stopsAtStart = ctx.StopRequests();
    std::uint32_t waitedMs = 0, msSinceStop = 0;
    bool stopping = false, forced = false;
    while (!child->Wait(kWaitSliceMs)) {
        waitedMs += kWaitSliceMs;
        takeOutput();
        ctx.BusyPulse();
        if (!stopping && ctx.CancelRequests() != cancelsAtStart) {
            // The operator is not made to wait out a programmer that does not answer.
            outcome.cancelled = stopping = true;
            child->Stop(false);
        } else if (!stopping && limitMs != 0 && waitedMs >= limitMs) {
            outcome.timedOut = stopping = true;
            child->Stop(false);
        } else if (stopping && !forced) {
            msSinceStop += kWaitSliceMs;
            // A program that is closing does not wait out the grace.
            if (msSinceStop >= kStopGraceMs || ctx.StopRequests() != stopsAtStart) {
                forced = true;
                child->Stop(true);
            }
        }
    }
    outcome.exitCode = child->ExitCode();
    ctx.ProgramRuns.back().running = false;
    // The code it ended with, stopped or not: the console and the records tell one truth.
    ctx.ProgramRuns.back().exitCode = outcome.exitCode;
    takeOutput();
    if (!hidden) ctx.host.ProgramOutputEnd(outcome.exitCode);
    return outcome;
}

std::string ProbeArguments(const std::string& port, const std::string& config) {
    return CommonArguments(config, "100", port) + " -n -q -l \"" + kProbeLog + "\"";
}

std::string FuseArguments(const std::string& port, const std::string& config) {
    return CommonArguments(config, "100", port) +
           " -V -q -U lfuse:w:0xf7:m -U hfuse:w:0xd2:m -U efuse:w:0xfc:m";
}

std::string FuseVerifyArguments(const std::string& port, const std::string& config) {
    return CommonArguments(config, "100", port) +
           " -n -q -U lfuse:v:0xf7:m -U hfuse:v:0xd2:m -U efuse:v:0xfc:m";
}

std::string FlashArguments(const std::string& port, const std::string& flashFile,
                           const std::string& eepromFile, const std::string& config) {
    return CommonArguments(config, std::to_string(kFlashBitClockUs).c_str(), port) +
           " -U flash:w:\"" + flashFile + "\":i -U eeprom:w:\"" + eepromFile +
           "\":i -U lock:w:0xef:m";
}

std::string EepromFileOf(const std::string& flashFile) {
    const auto slash = flashFile.find_last_of("/\\");
    const auto dot = flashFile.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? flashFile.substr(0, dot) : flashFile) + ".eep";
}

std::uint32_t FlashRunLimitMs(const AvrdudeTimeLimits& limits, std::size_t flashBytes,
                              std::size_t eepromBytes, unsigned bitClockUs) {
    const double flashUs = 2 * 87.0 + 2 * 32.0 * bitClockUs + 4500.0 / 256;
    const double eepromUs = 9000.0 + 2 * 87.0 + 2 * 32.0 * bitClockUs;
    const double us = flashBytes * flashUs + eepromBytes * eepromUs;
    return limits.flashBaseMs + static_cast<std::uint32_t>(limits.flashFactor * us / 1000);
}

bool ProgramByIsp(IspContext& ctx, const std::string& flashFile, const std::string& comText) {
    if (!ctx.BoardLink.connected) return false;

    std::string flashOnDisk, eepromOnDisk;
    if (!Resolve(ctx, flashFile, flashOnDisk)) {
        ctx.ConsoleAdd("##### Error: HEX flash file not found");
        ++ctx.ErrorCount;
        ctx.ErrorKind = FileErr;
        return Fail(ctx, kFailedImageCheck);
    }
    const std::string eepromFile = EepromFileOf(flashFile);
    if (!Resolve(ctx, eepromFile, eepromOnDisk)) {
        ctx.ConsoleAdd("##### Error: EEPROM file not found");
        ++ctx.ErrorCount;
        ctx.ErrorKind = FileErr;
        return Fail(ctx, kFailedImageCheck);
    }
    // avrdude would find a bad image only in the flash run, after the fuses were written and
    // the chip erased.
    std::size_t flashBytes = 0, eepromBytes = 0;
    for (const std::string& problem : {ImageProblem(ctx, "HEX flash file ", flashFile, flashOnDisk,
                                                    kFlashBytes, true, flashBytes),
                                       ImageProblem(ctx, "EEPROM file ", eepromFile, eepromOnDisk,
                                                    kEepromBytes, false, eepromBytes)}) {
        if (problem.empty()) continue;
        ctx.ConsoleAdd(problem);
        ++ctx.ErrorCount;
        ctx.ErrorKind = FileErr;
        return Fail(ctx, kFailedImageCheck);
    }
    ctx.BusyPulse();
    ctx.DelayMs(50);
    if (ctx.CancelRequested) return Fail(ctx, kFailedCancel);

    ctx.ConsoleAdd("Programming with DIAMEX ISP on COM " + comText);
    ctx.ConsoleAdd("Flash \u00b4file: " + flashFile);
    ctx.ConsoleAdd("EEPROM file: " + eepromFile);
    ctx.host.ProcessMessages();

    // Only a port goes into avrdude's command line, never other words of the operator's.
    if (!IspPortValid(comText)) {
        ctx.ConsoleAdd(kPortError);
        return Fail(ctx, kFailedPort);
    }
    // Found like every other file, and started as it stands on disk.
    std::string avrdudeName = AvrdudeExecutableName();
    Resolve(ctx, avrdudeName, avrdudeName);
    const std::string avrdude = ctx.ProgramDirectory + avrdudeName;
    const std::string port = IspPortArgument(comText);
    std::string config = kConfig;  // passed as it stands on disk when it is there
    Resolve(ctx, kConfig, config);
    const AvrdudeTimeLimits& limits = ctx.avrdudeLimits;

    ProbeLogLock lock(ctx);
    if (!LockProbeLog(ctx, lock, port)) return Fail(ctx, kFailedCancel);
    // A log left by an earlier probe must never be judged as this one's.
    RemoveOldLog(ctx);
    const RunOutcome probe =
        RunProgramAndWait(ctx, avrdude, ProbeArguments(port, config), "", true, limits.probeMs);
    if (!probe.started) {
        ReportNotStarted(ctx, probe);
        return Fail(ctx, kFailedProbe);
    }

    std::string logName, log;
    const bool logRead =
        Resolve(ctx, kProbeLog, logName) && ReadLines(ctx.ProgramDirectory + logName, log);
    lock.Release();
    if (logRead) {
        ctx.ProbeLog = log;
        ctx.console.SetText(log);
    } else if (!probe.cancelled && !probe.timedOut) {
        // Nothing was verified, so nothing may be programmed. avrdude's own words say why.
        ctx.ConsoleAdd("##### Error: AVRdude log not created");
        for (const std::string& line : OutputLines(probe.output))
            ctx.ConsoleAdd(line);
        return Fail(ctx, kFailedProbe);
    }
    if (ctx.CancelRequested || probe.cancelled) return Fail(ctx, kFailedCancel);
    if (probe.timedOut) {
        ReportTimedOut(ctx, "probe", limits.probeMs);
        return Fail(ctx, kFailedProbe);
    }

    const std::string text = ctx.console.Text();
    // avrdude 7 says "cannot open port" where older versions said "ser_open".
    const bool portFailure = Contains(text, "ser_open") || Contains(text, "cannot open port");
    const bool deviceFailure = Contains(text, "failed");
    const bool timeout = Contains(text, "timeout");
    const bool clean = !portFailure && !deviceFailure && !timeout;

    if (clean && probe.exitCode != 0) {
        ctx.ConsoleAdd("##### Error: AVRdude probe failed (exit code " +
                       std::to_string(probe.exitCode) + ")");
        return Fail(ctx, kFailedProbe);
    }
    if (clean) {
        // A board whose fuses, EEPROM or lock byte were not written still answers, so
        // each run's own outcome decides. The fuse run does not verify (its command line is
        // the production PC's), so a run of its own reads them back. A cancel that came
        // since the last look (pressed while the log was read) still stops the pass here.
        ctx.host.ProcessMessages();
        if (ctx.CancelRequested) return Fail(ctx, kFailedCancel);
        const RunOutcome fuses =
            RunProgramAndWait(ctx, avrdude, FuseArguments(port, config), "", true, limits.fusesMs);
        if (!RunSucceeded(ctx, fuses, "fuse run", limits.fusesMs, "AVRdude fuses run failed"))
            return Fail(ctx, fuses.cancelled ? kFailedCancel : kFailedFuses);
        if (ctx.CancelRequested) return Fail(ctx, kFailedCancel);
        const RunOutcome verify = RunProgramAndWait(ctx, avrdude, FuseVerifyArguments(port, config),
                                                    "", true, limits.fuseReadBackMs);
        if (verify.started && !verify.cancelled && !verify.timedOut && verify.exitCode != 0) {
            // avrdude's own words on what read back otherwise, before the verdict.
            for (const std::string& line : OutputLines(verify.output)) {
                if (line.find("mismatch") != std::string::npos ||
                    line.find("!=") != std::string::npos)
                    ctx.ConsoleAdd(line);
            }
        }
        if (!RunSucceeded(ctx, verify, "fuse read-back", limits.fuseReadBackMs,
                          "AVRdude fuse verify failed"))
            return Fail(ctx, verify.cancelled ? kFailedCancel : kFailedFuseReadBack);
        if (ctx.CancelRequested) return Fail(ctx, kFailedCancel);
        const std::uint32_t flashLimit =
            FlashRunLimitMs(limits, flashBytes, eepromBytes, kFlashBitClockUs);
        const RunOutcome flash =
            RunProgramAndWait(ctx, avrdude, FlashArguments(port, flashOnDisk, eepromOnDisk, config),
                              "", false, flashLimit);
        if (!RunSucceeded(ctx, flash, "flash run", flashLimit, "AVRdude flash run failed"))
            return Fail(ctx, flash.cancelled ? kFailedCancel : kFailedFlash);
    }
    if (portFailure) {
        ctx.ConsoleAdd(kPortError);
        if (Contains(text, "Permission denied") && *IspPortPermissionAdvice()) {
            ctx.ConsoleAdd(IspPortPermissionAdvice());
        }
    }
    if (deviceFailure) ctx.ConsoleAdd("##### Error: AVRdude device. Is CONF_DIS JP5 set?");
    if (timeout) {
        ctx.ConsoleAdd("##### Error: AVRdude timeout. Unplug DIAMEX from USB and reconnect.");
    }
    if (!clean) ctx.FailedStep = kFailedProbe;
    return clean;
}

}  // namespace tq9
