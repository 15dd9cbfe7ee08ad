#include "board/BoardInfo.h"

#include "base/Convert.h"
#include "base/Utf8.h"
#include "link/Protocol.h"

namespace tq9 {

namespace {
constexpr std::int32_t kParamReady = 253;
constexpr std::int32_t kParamFirmware = 254;
constexpr std::int32_t kParamFpga = 3;
constexpr std::int32_t kParamSerial = 9952;
constexpr std::int32_t kParamScanCore = 1240;
constexpr int kWaitTriesMax = 25;
constexpr int kCheckTriesMax = 10;
constexpr int kCheckAnsweredWithin = 3;

bool IsReady(const std::string& reply) {
    return reply.find("253") != std::string::npos;
}

void ShowSerialNumber(BoardContext& ctx, std::int32_t serial) {
    ctx.host.SetFieldText(Field::EditSerialNumber, std::to_string(serial));
    EditSerialNumberChange(ctx);
}
}  // namespace

std::string CutAfter(const std::string& reply, char open) {
    // 1-based character positions: p of the first `open` (0 if none), k of the first "]"
    // (L if none); the cut is p+2 .. k-1.
    const std::string_view text = reply;
    const std::size_t openAt = reply.find(open);
    const std::size_t p = openAt == std::string::npos ? 0 : Utf8Length(text.substr(0, openAt)) + 1;
    const std::size_t closeAt = reply.find(']');
    const std::size_t k =
        closeAt == std::string::npos ? Utf8Length(text) : Utf8Length(text.substr(0, closeAt)) + 1;
    if (k < 1 || k - 1 < p + 2) return {};
    return Utf8Substr(text, p + 1, (k - 1) - (p + 2) + 1);
}

std::string FormatFirmwareVersion(double version) {
    return FormatGeneral(version);
}

void WaitForBoardReady(LinkContext& ctx) {
    ctx.DelayMs(1000);
    int tries = 0;
    std::string reply;
    for (;;) {
        ctx.BusyPulse();
        ctx.host.ReadinessPolled(tries + 1, kWaitTriesMax + 1);
        QueryParam(ctx, kParamReady, reply);
        ctx.DelayMs(250);
        ++tries;
        if (tries > kWaitTriesMax) {
            ctx.LogTimeoutWarning();
            return;
        }
        // A cancel wins over an answer that came in.
        if (ctx.CancelRequested) {
            ctx.LogCancelWarning();
            return;
        }
        if (IsReady(reply)) return;
    }
}

bool CheckBoardReady(LinkContext& ctx) {
    int tries = 0;
    std::string reply;
    for (;;) {
        ctx.host.ReadinessPolled(tries + 1, kCheckTriesMax + 1);
        QueryParam(ctx, kParamReady, reply);
        ctx.DelayMs(250);
        ++tries;
        if (IsReady(reply) || tries > kCheckTriesMax) break;
    }
    return tries <= kCheckAnsweredWithin;
}

bool BoardIsBlank(const BoardContext& ctx) {
    const TBoardInfo& info = ctx.BoardInfo;
    return info.FpgaVersion == "00000000" || info.FpgaVersion == "FFFFFFFF" ||
           info.SerialNumber <= 0;
}

void ReadBoardInfo(BoardContext& ctx, bool resetFirst) {
    if (ctx.CancelRequested) return;
    if (resetFirst) {
        SendAndEcho(ctx, "RLD");
    } else {
        WaitForBoardReady(ctx);
    }

    std::string reply;
    QueryParam(ctx, kParamFirmware, reply);
    ctx.ConsoleAdd(reply);
    ctx.BoardInfo.FirmwareVersion = ReplyFloat(reply);
    const std::string name = CutAfter(reply, ',');
    ctx.BoardInfo.FirmwareName = Utf8Substr(name, 0, kFirmwareNameMax);
    ctx.ConsoleAdd("Found Firmware \"" + name + "\" on TQ9");
    if (ctx.CancelRequested) return;

    QueryParam(ctx, kParamFpga, reply);
    if (ctx.CancelRequested) return;
    ctx.ConsoleAdd(reply);
    const std::string fpga = CutAfter(reply, '[');
    ctx.host.SetFieldText(Field::FPGAversion, fpga);
    ctx.BoardInfo.FpgaVersion = Utf8Substr(fpga, 0, kFpgaVersionMax);
    ctx.ConsoleAdd("");

    WaitForBoardReady(ctx);
    QueryParam(ctx, kParamSerial, reply);
    if (ctx.CancelRequested) return;
    ctx.ConsoleAdd(reply);
    ctx.BoardInfo.SerialNumber = ReplyInt(reply);
    ctx.BoardInfo.ReportedSerial = ctx.BoardInfo.SerialNumber;
    ShowSerialNumber(ctx, ctx.BoardInfo.SerialNumber);
    if (ctx.CancelRequested) return;

    ctx.host.SetFieldText(Field::EditFirmwareVersion,
                          FormatFirmwareVersion(ctx.BoardInfo.FirmwareVersion));
    if (ctx.BoardInfo.FirmwareVersion < kFirmwareVersionMin) {
        ctx.ConsoleAdd("##### Warning: Firmware version below #3.6x, some functions may not work");
    }
    ctx.BoardInfo.SerialNumber = StrToIntDef(ctx.host.FieldText(Field::EditSerialNumber), 0);
}

void PrintBoardSummary(BoardContext& ctx) {
    Host& host = ctx.host;
    std::string scan = host.ScanCoreText();
    // An index outside the list (-999 from a silent board) selects no entry.
    if (scan.empty()) scan = "unknown (" + std::to_string(ctx.BoardInfo.ScanCore) + ")";
    ctx.ConsoleAdd("");
    ctx.ConsoleAdd("Serial Number: " + host.FieldText(Field::EditSerialNumber));
    ctx.ConsoleAdd("Firmware Version: " + ctx.BoardInfo.FirmwareName + " #" +
                   host.FieldText(Field::EditFirmwareVersion));
    ctx.ConsoleAdd("FPGA Version: #" + host.FieldText(Field::FPGAversion));
    ctx.ConsoleAdd("Scan Version: " + scan);
    ctx.ConsoleAdd("");
}

void BtnRefreshClick(BoardContext& ctx) {
    if (!ctx.BoardLink.connected) return;
    ctx.CancelRequested = 0;
    ctx.console.Clear();
    ReadBoardInfo(ctx, true);
    if (BoardIsBlank(ctx)) {
        ctx.ConsoleAdd("##### Warning: Update FPGA first!");
    } else {
        std::string reply;
        QueryParam(ctx, kParamScanCore, reply);
        ctx.ConsoleAdd(reply);
        ctx.BoardInfo.ScanCore = ReplyInt(reply);
        ctx.BoardInfo.ScanCoreRead = true;
        ctx.host.SelectScanCore(ctx.BoardInfo.ScanCore);
    }
    PrintBoardSummary(ctx);
}

void ForgetBoard(BoardContext& ctx) {
    ctx.BoardInfo = TBoardInfo{};
    Host& host = ctx.host;
    host.SetFieldText(Field::FPGAversion, ctx.BoardInfo.FpgaVersion);
    host.SetFieldText(Field::EditFirmwareVersion,
                      FormatFirmwareVersion(ctx.BoardInfo.FirmwareVersion));
    ShowSerialNumber(ctx, ctx.BoardInfo.SerialNumber);
    host.SelectScanCore(kScanCoreEntryAtStart);
}

void EditSerialNumberChange(BoardContext& ctx) {
    ctx.BoardInfo.SerialNumber = StrToIntDef(ctx.host.FieldText(Field::EditSerialNumber), 0);
}

}  // namespace tq9
