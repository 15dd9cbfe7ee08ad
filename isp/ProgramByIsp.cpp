#include "isp/ProgramByIsp.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "base/Platform.h"
#include "base/Wildcard.h"
#include "isp/ProductionFiles.h"

namespace tq9 {

namespace {
constexpr std::uint32_t kWaitSliceMs = 50;
// How long a program asked to stop may take before it is ended by force.
constexpr std::uint32_t kStopGraceMs = 2'000;
constexpr const char* kProbeLog = "avrdude.log";
constexpr const char* kConfig = "avrdude.conf";
constexpr const char* kPortError = "##### Error: AVRdude COM. Is DIAMEX port# correct?";

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

// A fuse or flash run's end: true when it ran and exited with 0. A cancelled run has its
// warning line already.
bool RunSucceeded(IspContext& ctx, const RunOutcome& run, const char* name) {
    if (!run.started) {
        ReportNotStarted(ctx, run);
        return false;
    }
    if (run.cancelled) return false;
    if (run.exitCode == 0) return true;
    ctx.ConsoleAdd(std::string("##### Error: AVRdude ") + name + " run failed (exit code " +
                   std::to_string(run.exitCode) + ")");
    return false;
}
}  // namespace

RunOutcome RunProgramAndWait(IspContext& ctx, const std::string& programPath,
                             const std::string& arguments, const std::string& workingDirectory,
                             bool hidden) {
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
    ctx.ProgramRuns.push_back({start.commandLine, -1});
    RunOutcome outcome;
    if (!ctx.runner) {
        outcome.whyNot = "no way to start programs";
        return outcome;
    }
    std::unique_ptr<ChildProcess> child = ctx.runner->Start(start, outcome.whyNot);
    if (!child) return outcome;
    outcome.started = true;
    ctx.ProgramRuns.back().running = true;
    if (!hidden) ctx.host.ProgramOutputStart(start.commandLine);
    auto takeOutput = [&] {
        std::string text = child->TakeOutput();
        if (hidden) {
            outcome.output += text;
        } else {
            ctx.host.ProgramOutputAdd(text);
        }
    };
    const unsigned cancelsAtStart = ctx.CancelRequests();
    std::uint32_t slicesSinceStop = 0;
    while (!child->Wait(kWaitSliceMs)) {
        takeOutput();
        ctx.BusyPulse();
        if (!outcome.cancelled && ctx.CancelRequests() != cancelsAtStart) {
            // The operator is not made to wait out a programmer that does not answer.
            outcome.cancelled = true;
            child->Stop(false);
        } else if (outcome.cancelled && ++slicesSinceStop == kStopGraceMs / kWaitSliceMs) {
            child->Stop(true);
        }
    }
    outcome.exitCode = child->ExitCode();
    ctx.ProgramRuns.back().running = false;
    if (!outcome.cancelled) ctx.ProgramRuns.back().exitCode = outcome.exitCode;
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

std::string FlashArguments(const std::string& port, const std::string& flashFile,
                           const std::string& eepromFile, const std::string& config) {
    return CommonArguments(config, "2", port) + " -U flash:w:\"" + flashFile +
           "\":i -U eeprom:w:\"" + eepromFile + "\":i -U lock:w:0xef:m";
}

std::string EepromFileOf(const std::string& flashFile) {
    const auto slash = flashFile.find_last_of("/\\");
    const auto dot = flashFile.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? flashFile.substr(0, dot) : flashFile) + ".eep";
}

bool ProgramByIsp(IspContext& ctx, const std::string& flashFile, const std::string& comText) {
    if (!ctx.BoardLink.connected) return false;

    std::string flashOnDisk, eepromOnDisk;
    if (!Resolve(ctx, flashFile, flashOnDisk)) {
        ctx.ConsoleAdd("##### Error: HEX flash file not found");
        ++ctx.ErrorCount;
        ctx.ErrorKind = FileErr;
        return false;
    }
    const std::string eepromFile = EepromFileOf(flashFile);
    if (!Resolve(ctx, eepromFile, eepromOnDisk)) {
        ctx.ConsoleAdd("##### Error: EEPROM file not found");
        ++ctx.ErrorCount;
        ctx.ErrorKind = FileErr;
        return false;
    }
    ctx.BusyPulse();
    ctx.DelayMs(50);
    if (ctx.CancelRequested) return false;

    ctx.ConsoleAdd("Programming with DIAMEX ISP on COM " + comText);
    ctx.ConsoleAdd("Flash \u00b4file: " + flashFile);
    ctx.ConsoleAdd("EEPROM file: " + eepromFile);
    ctx.host.ProcessMessages();

    // Only a port goes into avrdude's command line, never other words of the operator's.
    if (!IspPortValid(comText)) {
        ctx.ConsoleAdd(kPortError);
        return false;
    }
    // Found like every other file, and started as it stands on disk.
    std::string avrdudeName = AvrdudeExecutableName();
    Resolve(ctx, avrdudeName, avrdudeName);
    const std::string avrdude = ctx.ProgramDirectory + avrdudeName;
    const std::string port = IspPortArgument(comText);
    std::string config = kConfig;  // passed as it stands on disk when it is there
    Resolve(ctx, kConfig, config);

    // A log left by an earlier probe must never be judged as this one's.
    RemoveOldLog(ctx);
    const RunOutcome probe =
        RunProgramAndWait(ctx, avrdude, ProbeArguments(port, config), "", true);
    if (!probe.started) {
        ReportNotStarted(ctx, probe);
        return false;
    }

    std::string logName, log;
    if (Resolve(ctx, kProbeLog, logName) && ReadLines(ctx.ProgramDirectory + logName, log)) {
        ctx.console.SetText(log);
    } else if (!probe.cancelled) {
        // Nothing was verified, so nothing may be programmed. avrdude's own words say why.
        ctx.ConsoleAdd("##### Error: AVRdude log not created");
        for (const std::string& line : OutputLines(probe.output))
            ctx.ConsoleAdd(line);
        return false;
    }
    if (ctx.CancelRequested || probe.cancelled) return false;

    const std::string text = ctx.console.Text();
    // avrdude 7 says "cannot open port" where older versions said "ser_open".
    const bool portFailure = Contains(text, "ser_open") || Contains(text, "cannot open port");
    const bool deviceFailure = Contains(text, "failed");
    const bool timeout = Contains(text, "timeout");
    const bool clean = !portFailure && !deviceFailure && !timeout;

    if (clean && probe.exitCode != 0) {
        ctx.ConsoleAdd("##### Error: AVRdude probe failed (exit code " +
                       std::to_string(probe.exitCode) + ")");
        return false;
    }
    if (clean) {
        // A board whose fuses, EEPROM or lock byte were not written still answers, so
        // each run's own outcome decides.
        const RunOutcome fuses =
            RunProgramAndWait(ctx, avrdude, FuseArguments(port, config), "", true);
        if (!RunSucceeded(ctx, fuses, "fuses")) return false;
        const RunOutcome flash = RunProgramAndWait(
            ctx, avrdude, FlashArguments(port, flashOnDisk, eepromOnDisk, config), "", false);
        if (!RunSucceeded(ctx, flash, "flash")) return false;
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
    return clean;
}

}  // namespace tq9
