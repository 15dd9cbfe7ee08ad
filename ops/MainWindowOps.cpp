#include "ops/MainWindowOps.h"

#include "base/Platform.h"
#include "isp/ProductionFiles.h"
#include "link/tq9_com.h"

namespace tq9 {

void ApplyDefaults(AppContext& ctx) {
    ctx.BoardLink.comNumber = 0;
    ctx.BoardLink.selectedIndex = -1;
    ctx.BoardInfo = TBoardInfo{};
    ctx.host.SetFieldText(Field::EditDiamex, "0");
    ctx.host.SetFieldText(Field::EditFTDIdevice, std::to_string(ctx.BoardLink.selectedIndex));
    ctx.host.SetFieldText(Field::EditFTDIcom, std::to_string(ctx.BoardLink.comNumber));
}

void ShowBoardState(AppContext& ctx) {
    Host& host = ctx.host;
    host.SetFieldText(Field::FPGAversion, ctx.BoardInfo.FpgaVersion);
    host.SetFieldText(Field::EditFirmwareVersion,
                      FormatFirmwareVersion(ctx.BoardInfo.FirmwareVersion));
    host.SetFieldText(Field::EditSerialNumber, std::to_string(ctx.BoardInfo.SerialNumber));
    host.SetFieldText(Field::EditFTDIdevice, std::to_string(ctx.BoardLink.selectedIndex));
    host.SetFieldText(Field::EditFTDIcom, std::to_string(ctx.BoardLink.comNumber));
}

bool FormCreate(AppContext& ctx, const std::string& programDirectory) {
    ctx.ProgramDirectory = programDirectory;
    ApplyDefaults(ctx);
    ctx.CancelRequested = 0;
    ctx.console.Clear();
    ctx.ConsoleAdd("Welcome to TQ9 Remote!");
    ctx.BusyPulse();
    ctx.host.SetControlEnabled(Control::BtnRefresh, false);
    ShowBoardState(ctx);

    const bool avrdude = FileExistsNoCase(programDirectory, AvrdudeExecutableName());
    if (!avrdude) ReportMissingFile(ctx, AvrdudeExecutableName());
    for (Control c : {Control::ProdProg, Control::BtnAVRonly, Control::dd_FirmwareType}) {
        ctx.host.SetControlEnabled(c, avrdude);
    }
    return avrdude;
}

OperationRecord RunRecorded(AppContext& ctx, RecordedOperation operation,
                            const std::function<void()>& body, OperationRecord* record,
                            const std::function<void()>& beforeEnd) {
    const auto settle = [&] {
        if (beforeEnd) beforeEnd();
    };
    // Other stations on the bench directory are told which program holds it.
    if (ctx.ProgramName.empty()) ctx.ProgramName = ctx.Records.program;
    // Only the device flow starts without a board; the others, so started, do nothing.
    if (operation != RecordedOperation::DeviceFlow && !ctx.BoardLink.connected) {
        body();
        settle();
        return {};
    }
    OperationRecorder recorder(ctx, ctx.Records, operation);
    try {
        body();
    } catch (const std::exception& error) {
        settle();
        recorder.Finish(error.what());
        if (record) *record = recorder.Record();
        throw;
    }
    settle();
    recorder.Finish();
    if (record) *record = recorder.Record();
    return recorder.Record();
}

OpenedRecords OpenRecords(const std::string& path, const std::string& program,
                          const LineSettings& line) {
    OpenedRecords opened;
    opened.sink.host = HostName();
    opened.sink.program = program;
    opened.sink.pid = CurrentProcessId();
    if (path.empty()) {
        opened.sink.openFailure = "no home folder to keep the records in";
        return opened;
    }
    std::string whyNot;
    opened.store = RecordStore::Open(path, whyNot);
    if (!opened.store) {
        opened.sink.openFailure = whyNot;
        return opened;
    }
    opened.store->MarkInterrupted(opened.sink.host, ProcessAlive, whyNot);
    opened.sink.store = opened.store.get();
    opened.sink.lineReader = line.ReadFrom();
    if (!line.server.empty()) {
        opened.line = std::make_unique<LineForwarder>(path, line.server, line.bench);
        opened.sink.line = opened.line.get();
    }
    return opened;
}

void FormDestroy(AppContext& ctx) {
    ctx.RequestCancel();
    CloseLink(ctx.BoardLink);
    ctx.BoardLink.device.reset();
}

}  // namespace tq9
