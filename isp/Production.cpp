#include "isp/Production.h"

#include <algorithm>
#include <cctype>

#include "base/Platform.h"
#include "base/Wildcard.h"
#include "board/DeviceFlow.h"
#include "isp/ProductionFiles.h"
#include "link/tq9_com.h"

namespace tq9 {

namespace {
struct ProductionFile {
    const char* name;
    bool counts;  // a missing one adds to ErrorCount with FileErr
};
constexpr ProductionFile kDataFiles[] = {
    {"dsp_rev.bin", false},       {"tq_midi.dat", true},       {"fir_coeff.dat", true},
    {"taper_levels1.dat", false}, {"taper_levels2.dat", true}, {"taper_levels3.dat", true},
    {"taper_levels4.dat", true},
};

void CountFileError(IspContext& ctx) {
    ++ctx.ErrorCount;
    ctx.ErrorKind = FileErr;
}

std::string FirstMatch(const IspContext& ctx, const char* pattern) {
    for (const std::string& name : FilesInDirectory(ctx.ProgramDirectory)) {
        if (WildcardMatch(pattern, name)) return name;
    }
    return {};
}

bool Exists(const IspContext& ctx, const std::string& name) {
    return FileExistsNoCase(ctx.ProgramDirectory, name);
}

// The generation and edition a name holds ("TQ9gen3_ed2_b.hex" with "gen" and "_ed": 3, 2;
// "TQ95-g3ed2" with "g" and "ed"), matched without regard to case; false when it holds
// none.
bool GenerationAndEdition(const std::string& name, const std::string& genMark,
                          const std::string& edMark, int& generation, int& edition) {
    std::string lower = name;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto digitsAt = [&](std::size_t at, int& value) {
        std::size_t end = at;
        while (end < lower.size() && end - at < 3 &&
               std::isdigit(static_cast<unsigned char>(lower[end])))
            ++end;
        if (end == at) return std::string::npos;
        value = std::stoi(lower.substr(at, end - at));
        return end;
    };
    for (std::size_t at = lower.find(genMark); at != std::string::npos;
         at = lower.find(genMark, at + 1)) {
        const std::size_t afterGeneration = digitsAt(at + genMark.size(), generation);
        if (afterGeneration == std::string::npos ||
            lower.compare(afterGeneration, edMark.size(), edMark) != 0)
            continue;
        if (digitsAt(afterGeneration + edMark.size(), edition) != std::string::npos) return true;
    }
    return false;
}

// What the board reports once programmed, held against the image written: a bench whose
// ISP cable and FTDI cable are on different boards programs one and identifies the other.
void NoteBoardAfterProgramming(IspContext& ctx, const std::string& image) {
    const TBoardInfo& info = ctx.BoardInfo;
    if (info.FirmwareName.empty()) return;
    ctx.BoardAfter = info.FirmwareName + " " + FormatFirmwareVersion(info.FirmwareVersion);
    int imageGeneration = 0, imageEdition = 0, boardGeneration = 0, boardEdition = 0;
    if (!GenerationAndEdition(image, "gen", "_ed", imageGeneration, imageEdition) ||
        !GenerationAndEdition(info.FirmwareName, "g", "ed", boardGeneration, boardEdition) ||
        (imageGeneration == boardGeneration && imageEdition == boardEdition))
        return;
    ctx.ImageMismatch = "##### Warning: The board reports " + info.FirmwareName +
                        " after programming, but " + image + " holds gen" +
                        std::to_string(imageGeneration) + " ed" + std::to_string(imageEdition) +
                        ". Are the ISP cable and the FTDI cable on the same board?";
    ctx.ConsoleAdd(ctx.ImageMismatch);
}

// A pass that ends here: the step that failed, unless an earlier one already said.
void FailedAt(IspContext& ctx, const char* step) {
    if (ctx.FailedStep.empty()) ctx.FailedStep = step;
}
}  // namespace

const char* ErrorKindName(TErrorKind kind) {
    static const char* const kNames[] = {"noErr",  "SyncErr",  "TxErr", "TimeOutErr", "FileErr",
                                         "ComErr", "FlashErr", "",      "VersionErr", "CancelErr"};
    const auto i = static_cast<std::size_t>(kind);
    return i < std::size(kNames) ? kNames[i] : "";
}

std::vector<std::string> MissingProductionFiles(const std::string& directory) {
    std::vector<std::string> missing;
    const auto anyMatch = [&](const char* pattern) {
        const auto names = FilesInDirectory(directory);
        return std::any_of(names.begin(), names.end(),
                           [&](const std::string& name) { return WildcardMatch(pattern, name); });
    };
    for (const char* pattern : {"fpga_*.bit", "tq9*.hex"}) {
        if (!anyMatch(pattern)) missing.push_back(pattern);
    }
    std::vector<std::string> names = {AvrdudeExecutableName(), "avrdude.conf"};
    for (const ProductionFile& file : kDataFiles)
        names.push_back(file.name);
    for (const std::string& name : names) {
        if (!FileExistsNoCase(directory, name)) missing.push_back(name);
    }
    return missing;
}

bool CheckProductionFiles(IspContext& ctx) {
    bool missing = false;
    const std::string fpga = FirstMatch(ctx, "fpga_*.bit");
    if (!fpga.empty()) {
        ctx.ConsoleAdd("Found FPGA BIT file: " + fpga);
    } else {
        ctx.ConsoleAdd("##### Error: Missing FPGA file");
        CountFileError(ctx);
        missing = true;
    }
    if (!FirstMatch(ctx, "tq9*.hex").empty()) {
        ctx.ConsoleAdd("Found firmware HEX file(s)");
    } else {
        ctx.ConsoleAdd("##### Error: Missing firmware HEX file(s)");
        CountFileError(ctx);
        missing = true;
    }
    if (!Exists(ctx, AvrdudeExecutableName()) || !Exists(ctx, "avrdude.conf")) {
        ReportMissingFile(ctx, AvrdudeDisplayName());
        CountFileError(ctx);
        missing = true;
    }
    for (const ProductionFile& file : kDataFiles) {
        if (Exists(ctx, file.name)) continue;
        ReportMissingFile(ctx, file.name);
        if (file.counts) CountFileError(ctx);
        missing = true;
    }
    return missing;
}

void ShowRunResult(IspContext& ctx, const std::string& text) {
    ctx.PlayDing();
    const std::string count = std::to_string(ctx.ErrorCount);
    const std::string kind = ErrorKindName(ctx.ErrorKind);
    if (ctx.ErrorCount <= 0) {
        ctx.ShowMessage(MessageKind::Information,
                        "Operation succesfull.\r" + text + "\rTQ9 board ready for test.");
    } else if (ctx.ErrorKind == noErr || ctx.ErrorKind == SyncErr) {
        ctx.ShowMessage(MessageKind::Warning, count + " minor Error(s) of type " + kind +
                                                  " occured.\r" + text +
                                                  "\rRepeat procedure if TQ9 board fails test.");
    } else {
        ctx.ShowMessage(MessageKind::Error, count + " severe Error(s) of type " + kind +
                                                " occured.\r" + text +
                                                "\rRepeat update procedure.");
    }
}

void CloseBoardLink(IspContext& ctx) {
    CloseLink(ctx.BoardLink);
    ctx.host.SetFieldText(Field::DeviceView, kNotSelected);
}

void ReportNoResponse(IspContext& ctx) {
    CloseBoardLink(ctx);
    ctx.PlayDing();
    ctx.ConsoleAdd("##### Error: No response from FTDI cable or TQ9 USB extension!");
    ctx.ShowMessage(MessageKind::Error, kNoResponseDialog);
    ctx.BoardLink.comNumber = -1;
    ++ctx.ErrorCount;
    ctx.ErrorKind = ComErr;
}

void ReopenBoardLink(IspContext& ctx) {
    TBoardLink& link = ctx.BoardLink;
    if (link.connected) return;
    ctx.ErrorKind = noErr;
    ctx.ErrorCount = 0;
    ctx.BusyPulse();
    std::string status;
    BuildDeviceList(link, status);
    // No open is tried with an index outside the tables (no cable chosen yet).
    if (link.selectedIndex >= 0 && link.selectedIndex < kMaxDevices) {
        OpenDeviceByIndex(link, link.selectedIndex, status);
    }
    if (link.connected) {
        ctx.host.SetFieldText(Field::DeviceView, link.descriptions[link.selectedIndex] + " on COM" +
                                                     std::to_string(link.comNumber));
        ctx.BusyPulse();
    } else {
        ReportNoResponse(ctx);
    }
}

bool ReconnectAndIdentify(IspContext& ctx, bool waitFirst) {
    ReopenBoardLink(ctx);
    if (!ctx.BoardLink.connected) return false;

    // Only an error raised from here on speaks against this link; a kind left by an
    // earlier step (a missing image, say) does not close a link whose board answered.
    const TErrorKind kindBefore = ctx.ErrorKind;
    const std::int32_t countBefore = ctx.ErrorCount;
    if (waitFirst) WaitForBoardReady(ctx);
    const bool answered = CheckBoardReady(ctx);
    if (answered) {
        ctx.BusyPulse();
        ReadBoardInfo(ctx, false);
    }
    const bool raisedHere = ctx.ErrorKind != kindBefore || ctx.ErrorCount != countBefore;
    if (ctx.ErrorKind != noErr && raisedHere) ReportNoResponse(ctx);
    return answered && !ctx.CancelRequested;
}

void ProdProgClick(IspContext& ctx) {
    TBoardLink& link = ctx.BoardLink;
    Host& host = ctx.host;
    if (!link.connected) return;
    ctx.CancelRequested = 0;
    ctx.console.Clear();
    const auto cancelled = [&] {
        if (ctx.CancelRequested) FailedAt(ctx, kFailedCancel);
        return ctx.CancelRequested != 0;
    };
    if (CheckProductionFiles(ctx)) {
        FailedAt(ctx, kFailedProductionFiles);
        return;
    }
    ctx.ErrorKind = noErr;
    ctx.ErrorCount = 0;
    ctx.ShowMessage(MessageKind::Information, kConnectIspPrompt);
    const std::string image = host.FieldText(Field::dd_FirmwareType);
    if (!ProgramByIsp(ctx, image, host.FieldText(Field::EditDiamex))) {
        if (ctx.FailedStep.empty()) cancelled();
        return;
    }
    ctx.BusyPulse();
    if (cancelled()) return;
    if (!link.connected) {
        if (link.selectedIndex < 0 || link.comNumber < 0) {
            BtnRescanClick(ctx);
        } else {
            ReopenBoardLink(ctx);
        }
    }
    ctx.ConsoleAdd("Waiting for AVR boot... ");
    ctx.ShowMessage(MessageKind::Information, kJumperPrompt);
    if (ReconnectAndIdentify(ctx, true)) {
        if (cancelled()) return;
        NoteBoardAfterProgramming(ctx, image);
        PrintBoardSummary(ctx);
    } else {
        // The program closing ends the pass here; a board that did not answer goes on as
        // the run's rules say.
        if (ctx.StopRequests() != 0 && cancelled()) return;
        FailedAt(ctx, kFailedBoardAfter);
        ctx.ErrorKind = SyncErr;
        ctx.RequestCancel();
    }
    if (ctx.ErrorKind > SyncErr) {
        FailedAt(ctx, kFailedBoardAfter);
        ShowRunResult(ctx, "Repeat programming procedure.");
        return;
    }
    ReadBoardInfo(ctx, false);
    if (link.connected && ctx.StopRequests() == 0) ctx.CancelRequested = 0;
    if (cancelled()) return;
    ReadBoardInfo(ctx, false);
    if (cancelled()) return;
    ctx.ConsoleAdd("");
    if (CheckBoardReady(ctx)) {
        ctx.BusyPulse();
        PrintBoardSummary(ctx);
        ctx.FailedStep.clear();  // the board answered in the end: nothing failed
        ctx.ShowMessage(MessageKind::Information, kRunSucceeded);
    } else {
        FailedAt(ctx, kFailedBoardAfter);
        // A board that does not answer at the end is a failed run, never a success.
        ++ctx.ErrorCount;
        ctx.ErrorKind = ComErr;
        ShowRunResult(ctx, "TQ9 does not respond. Cycle power and finalize again.");
    }
}

void BtnAVRonlyClick(IspContext& ctx) {
    if (!ctx.BoardLink.connected) return;
    ctx.CancelRequested = 0;
    ctx.ConsoleAdd("Setting AVR Fuse Bits...");
    ctx.ConsoleAdd("Programming AVR controller by ISP...");
    const std::string image = ctx.host.FieldText(Field::dd_FirmwareType);
    // Its result is not looked at, but a board whose programming failed runs what it ran.
    const bool programmed = ProgramByIsp(ctx, image, ctx.host.FieldText(Field::EditDiamex));
    ctx.DelayMs(2000);
    if (ctx.CancelRequested) {
        FailedAt(ctx, kFailedCancel);
        return;
    }
    if (ReconnectAndIdentify(ctx, true)) {
        ReadBoardInfo(ctx, true);
        if (ctx.CancelRequested) {
            FailedAt(ctx, kFailedCancel);
        } else {
            if (programmed) NoteBoardAfterProgramming(ctx, image);
            PrintBoardSummary(ctx);
        }
    } else {
        FailedAt(ctx, kFailedBoardAfter);
        ctx.ConsoleAdd("##### Error: Controller not responding!");
    }
}

}  // namespace tq9
