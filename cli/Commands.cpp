// tq9ctl's subcommands, once the command line has been read: the cable list, the board
// records, and the board operations, each between the device flow and Close as the
// window runs them.

#include <filesystem>
#include <functional>
#include <iostream>

#include "base/Errors.h"
#include "base/Platform.h"
#include "base/Utf8.h"
#include "board/DeviceFlow.h"
#include "board/Maintenance.h"
#include "board/ScanCoreUpload.h"
#include "board/ScanCores.h"
#include "cli/Ctl.h"
#include "cli/Output.h"
#include "cli/Terminal.h"
#include "cli/TerminalHost.h"
#include "isp/Production.h"
#include "isp/ProductionFiles.h"
#include "line/LineForwarder.h"
#include "line/LineSettings.h"
#include "ops/MainWindowOps.h"
#include "usb/FTDIdll.h"

namespace tq9 {

namespace {

// The driver, as the window loads it; null (said) when there is none.
std::unique_ptr<D2xxLibrary> LoadDriver(const CtlOutput& output,
                                        const std::string& benchDirectory) {
    auto library = D2xxLibrary::Load(benchDirectory);
    if (library->Loaded()) return library;
    output.Refuse(kNoCable, library->FailureReason());
    return nullptr;
}

// The operation the command runs on the identified board, and the record it leaves.
struct BoardOperation {
    RecordedOperation recorded = RecordedOperation::DeviceFlow;
    std::function<void(AppContext&)> run;  // none: the device flow alone
};

BoardOperation OperationFor(const CtlRequest& request) {
    const std::string& command = request.command;
    if (command == "reset") {
        return {RecordedOperation::Reset, [](AppContext& ctx) { BtnRefreshClick(ctx); }};
    }
    if (command == "fpga-update") {
        return {RecordedOperation::FpgaUpdate, [](AppContext& ctx) { BtnFPGAprogClick(ctx); }};
    }
    if (command == "finalize") {
        return {RecordedOperation::Finalize, [](AppContext& ctx) { BtnFinalizeClick(ctx); }};
    }
    if (command == "test-port") {
        const int entry = request.testPortEntry;
        return {RecordedOperation::TestPort,
                [entry](AppContext& ctx) { ComboBox1Change(ctx, entry); }};
    }
    if (command == "upload") {
        const std::string core = std::to_string(request.core);
        return {RecordedOperation::Upload, [core](AppContext& ctx) {
                    ctx.host.SetFieldText(Field::EditCoreNumber, core);
                    ButtonUpStreamClick(ctx);
                }};
    }
    if (command == "program") {
        const bool avrOnly = request.avrOnly;
        return {
            avrOnly ? RecordedOperation::AvrOnly : RecordedOperation::ProductionRun,
            [avrOnly](AppContext& ctx) { avrOnly ? BtnAVRonlyClick(ctx) : ProdProgClick(ctx); }};
    }
    return {};
}

}  // namespace

void PrintRecords(const std::vector<OperationRecord>& rows, const CtlRequest& request, bool line) {
    if (request.csv) {
        std::cout << RecordsAsCsv(rows, line);
    } else if (request.json) {
        std::cout << RecordsAsJson(rows, line);
    } else {
        std::cout << "started\t" << (line ? "bench\t" : "")
                  << "operation\toutcome\tboard\tfirmware\tcable\treason\n";
        // Each field as a terminal shows it: a tab or a line end in one stays in it.
        for (const OperationRecord& r : rows) {
            const std::string reason = r.reason.substr(0, r.reason.find('\n'));
            const std::string firmware =
                r.firmwareName + (r.firmwareVersion.empty() ? "" : " " + r.firmwareVersion);
            std::cout << TerminalText(r.started) << '\t'
                      << (line ? TerminalText(r.bench) + '\t' : "") << TerminalText(r.operation)
                      << '\t' << TerminalText(r.outcome) << '\t' << TerminalText(r.boardSerial)
                      << '\t' << TerminalText(firmware) << '\t' << TerminalText(r.cableSerial)
                      << '\t' << TerminalText(reason) << '\n';
        }
    }
}

int RunList(const CtlRequest& request, const std::string& benchDirectory) {
    const CtlOutput output(request.json);
    const auto library = LoadDriver(output, benchDirectory);
    if (!library) return kNoCable;
    TBoardLink link;
    link.driver = &library->Table();
    std::string status;
    BuildDeviceList(link, status);
    if (output.IsJson()) {
        Json cables = Json::array();
        for (std::uint32_t i = 0; i < link.deviceCount; ++i) {
            cables.push_back(
                {{"index", i}, {"serial", link.serials[i]}, {"description", link.descriptions[i]}});
        }
        output.Object({{"driver", library->Source()},
                       {"loaded_from", library->LoadedFrom()},
                       {"cables", cables}});
    }
    if (link.deviceCount == 0) {
        if (!output.IsJson()) std::cout << kNoCableFound << '\n';
        if (!library->Notes().empty()) std::cerr << Shown(library->Notes()) << '\n';
        return kNoCable;
    }
    if (output.IsJson()) return kDone;
    std::cout << "Driver: " << library->Source() << " (" << library->LoadedFrom() << ")\n";
    for (std::uint32_t i = 0; i < link.deviceCount; ++i)
        std::cout << i << '\t' << TerminalText(link.serials[i]) << '\t'
                  << TerminalText(link.descriptions[i]) << '\n';
    return kDone;
}

int RunRecords(const CtlRequest& request) {
    const CtlOutput output(request.json);
    const std::string path = DefaultRecordsPath();
    std::error_code error;
    if (path.empty() || !std::filesystem::exists(path, error)) {
        return output.Refuse(
            kFailed, "no board records yet" + (path.empty() ? std::string() : " (" + path + ")"));
    }
    std::string whyNot;
    const auto store = RecordStore::Open(path, whyNot);
    RecordFilter filter;
    filter.limit = 0;
    filter.boardSerial = request.serial;
    filter.since = request.since;
    const auto rows = store ? store->Find(filter, whyNot) : std::vector<OperationRecord>{};
    if (!whyNot.empty()) {
        return output.Refuse(kFailed, "the board records cannot be read: " + whyNot);
    }
    if (!ReadLineSettings(RecordsSettingsPaths(), HostName()).server.empty()) {
        const std::string waiting = WaitingRowsLine(store->WaitingCount(whyNot).value_or(0));
        if (!waiting.empty()) std::cerr << "tq9ctl: " << Shown(waiting) << '\n';
        const std::string aside = SetAsideRowsLine(store->SetAsideRows(whyNot));
        if (!aside.empty()) std::cerr << "tq9ctl: " << Shown(aside) << '\n';
    }
    PrintRecords(rows, request, false);
    return kDone;
}

int RunBoardCommand(const CtlRequest& request, const std::string& benchDirectory) {
    const CtlOutput output(request.json);
    TerminalHost host(ScanCoreEntries());
    host.json = request.json;
    host.wantedSerial = request.cable;
    host.wantedIndex = request.index;
    host.uploadFile = request.file;
    host.confirmDialogs = request.command != "program" || request.yes;
    host.progress = IsTerminal(Stream::Error);
    if (request.command == "program") {
        // Typed in before the operation starts, as the operator types them into the
        // window, so its record begins with them.
        host.SetFieldText(Field::dd_FirmwareType, request.firmware);
        host.SetFieldText(Field::EditDiamex, request.diamex);
    }
    const BoardOperation operation = OperationFor(request);

    CatchInterrupts();
    const auto library = LoadDriver(output, benchDirectory);
    if (!library) return kNoCable;

    AppContext ctx(host);
    // The line's server, where one is set: each operation's row goes there as it ends.
    const LineSettings line = ReadLineSettings(RecordsSettingsPaths(), HostName());
    for (const std::string& problem : line.problems)
        std::cerr << "tq9ctl: " << Shown(problem) << '\n';
    const OpenedRecords records = OpenRecords(DefaultRecordsPath(), "tq9ctl", line);
    ctx.Records = records.sink;
    ctx.Line = records.line.get();
    LineForwarder* const forwarder = records.line.get();
    const auto runner = MakeSystemProcessRunner();
    ctx.runner = runner.get();
    ctx.ProgramDirectory = benchDirectory;
    ctx.BoardLink.driver = &library->Table();
    ctx.DriverNotes = [&] { return library->Notes(); };
    ctx.DriverInUse = library->InUseLine();
    host.ctx = &ctx;
    // Each operation with its record; with --json its object follows it, also when an
    // error ended it.
    bool recordLost = false;
    auto step = [&](RecordedOperation recorded, const std::function<void()>& body) {
        host.StartOperation();
        OperationRecord record;
        try {
            RunRecorded(ctx, recorded, body, &record);
        } catch (...) {
            if (host.json) output.Object(OperationJson(record, host.dialogs, host.recordWarning));
            throw;
        }
        recordLost = recordLost || !host.recordWarning.empty();
        if (host.json) output.Object(OperationJson(record, host.dialogs, host.recordWarning));
    };
    int result = kFailed;
    try {
        step(RecordedOperation::DeviceFlow, [&] { BtnRescanClick(ctx); });
        if (ctx.BoardLink.deviceCount == 0) {
            // The flow's console said so; a script is told as it is of every refusal.
            if (host.json) output.Object({{"error", kNoCableFound}, {"exit_code", kNoCable}});
            result = kNoCable;
        } else if (!host.refusal.empty()) {
            result = output.Refuse(kUsage, host.refusal);
        } else if (ctx.BoardLink.connected) {
            if (operation.run) step(operation.recorded, [&] { operation.run(ctx); });
            result = host.failed || !ctx.BoardLink.connected ? kFailed
                     : recordLost                            ? kNotRecorded
                                                             : kDone;
        }
    } catch (const Tq9Error& error) {
        result = output.Refuse(kFailed, ErrorBoxText(error.what()));
    } catch (const Interrupted& interrupted) {
        host.ClearProgress();
        result = output.Refuse(kInterrupted, interrupted.what());
    }
    if (ctx.BoardLink.connected) BtnCloseClick(ctx);
    ctx.BoardLink.device.reset();
    host.ClearProgress();
    host.ctx = nullptr;
    // After a second Ctrl-C no last pass: the operator wants out at once.
    if (forwarder) EndLine(*forwarder, records.store.get(), Interrupts() > 1);
    return Interrupts() > 0 ? kInterrupted : result;
}

}  // namespace tq9
