#include "isp/Production.h"

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
}  // namespace

const char* ErrorKindName(TErrorKind kind) {
    static const char* const kNames[] = {"noErr",  "SyncErr",  "TxErr", "TimeOutErr", "FileErr",
                                         "ComErr", "FlashErr", "",      "VersionErr", "CancelErr"};
    const auto i = static_cast<std::size_t>(kind);
    return i < std::size(kNames) ? kNames[i] : "";
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
    if (CheckProductionFiles(ctx)) return;
    ctx.ErrorKind = noErr;
    ctx.ErrorCount = 0;
    ctx.ShowMessage(MessageKind::Information, kConnectIspPrompt);
    if (!ProgramByIsp(ctx, host.FieldText(Field::dd_FirmwareType),
                      host.FieldText(Field::EditDiamex))) {
        return;
    }
    ctx.BusyPulse();
    if (ctx.CancelRequested) return;
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
        if (ctx.CancelRequested) return;
        PrintBoardSummary(ctx);
    } else {
        ctx.ErrorKind = SyncErr;
        ctx.RequestCancel();
    }
    if (ctx.ErrorKind > SyncErr) {
        ShowRunResult(ctx, "Repeat programming procedure.");
        return;
    }
    ReadBoardInfo(ctx, false);
    if (link.connected) ctx.CancelRequested = 0;
    if (ctx.CancelRequested) return;
    ReadBoardInfo(ctx, false);
    if (ctx.CancelRequested) return;
    ctx.ConsoleAdd("");
    if (CheckBoardReady(ctx)) {
        ctx.BusyPulse();
        PrintBoardSummary(ctx);
        ctx.ShowMessage(MessageKind::Information, kRunSucceeded);
    } else {
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
    ProgramByIsp(ctx, ctx.host.FieldText(Field::dd_FirmwareType),
                 ctx.host.FieldText(Field::EditDiamex));
    ctx.DelayMs(2000);
    if (ctx.CancelRequested) return;
    if (ReconnectAndIdentify(ctx, true)) {
        ReadBoardInfo(ctx, true);
        if (!ctx.CancelRequested) PrintBoardSummary(ctx);
    } else {
        ctx.ConsoleAdd("##### Error: Controller not responding!");
    }
}

}  // namespace tq9
