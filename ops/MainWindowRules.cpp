#include "ops/MainWindowRules.h"

#include "base/Errors.h"
#include "board/DeviceFlow.h"
#include "board/Maintenance.h"
#include "board/ScanCoreUpload.h"
#include "isp/Production.h"
#include "line/LineForwarder.h"

namespace tq9 {

namespace {
constexpr int kLineStatusTicks = 100;  // once a second at the timer's 10 ms
}

void ApplyWindowSetup(AppContext& ctx, const WindowSetup& setup,
                      std::unique_ptr<ProcessRunner>& systemRunner) {
    ctx.BoardLink.driver = setup.driver ? setup.driver : &UnavailableDriverTable();
    ctx.BoardLink.portName = setup.portName;
    ctx.DriverLoadFailure = setup.driverLoadFailure;
    ctx.DriverInUse = setup.driverInUse;
    ctx.Records = setup.records;
    ctx.Line = setup.line;
    ctx.DriverNotes = setup.driverNotes;
    if (!setup.runner) systemRunner = MakeSystemProcessRunner();
    ctx.runner = setup.runner ? setup.runner : systemRunner.get();
}

bool DeviceChosen(bool ok, int selectedRow, int& row) {
    if (!ok || selectedRow < 0) return false;
    row = selectedRow;
    return true;
}

InputResponse EscapePressed(InputPlace where) {
    return where == InputPlace::OpenList ? InputResponse::CloseListOnly : InputResponse::Cancel;
}

InputResponse ListClosedWithoutPick() {
    return InputResponse::CloseListOnly;
}

InputResponse WheelTurned(InputPlace where) {
    switch (where) {
        case InputPlace::ClosedList:
            return InputResponse::ScrollColumn;
        case InputPlace::OpenList:
            return InputResponse::ScrollEntries;
        default:
            return InputResponse::AsTheControlDoes;
    }
}

InputResponse ListKeyPressed(InputPlace where) {
    return where == InputPlace::ClosedList ? InputResponse::OpenTheList
                                           : InputResponse::AsTheControlDoes;
}

void MainWindowRules::Start(const std::string& programDirectory,
                            const std::vector<std::string>& warnings) {
    Guarded([&] { FormCreate(ctx_, programDirectory); });
    for (const std::string& warning : warnings)
        ctx_.ConsoleAdd("##### Warning: " + warning);
}

void MainWindowRules::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        window_.ShowErrorBox(ErrorBoxText(error.what()));
    }
}

void MainWindowRules::AnswerPendingInput() {
    // A click that waited for the upload's words is refused now, a Cancel counts in this
    // operation's record, and the close box stops what little is left.
    ctx_.host.ProcessMessages();
}

bool MainWindowRules::Run(const std::function<void()>& handler, bool deviceBar) {
    if (running_) {
        // Operations never nest: the waits of the running one handle this click.
        window_.ShowStatusNotice(kOperationRunning);
        return false;
    }
    const bool hadBoard = ctx_.BoardLink.connected;
    running_ = true;
    Guarded(handler);
    running_ = false;
    if (!ctx_.BoardLink.connected && (hadBoard || deviceBar)) {
        // Device, not Close, however the board went (a production run closes a link it
        // cannot reopen); in the focus, so Enter, Enter opens the first cable again.
        DisableBoardButtons(ctx_);
        if (!closePending_) window_.FocusDeviceButton();
    }
    if (closePending_) {
        closePending_ = false;
        window_.CloseLater();
    }
    return true;
}

bool MainWindowRules::RunRecorded(RecordedOperation operation, const std::function<void()>& body) {
    return Run(
        [&] { tq9::RunRecorded(ctx_, operation, body, nullptr, [&] { AnswerPendingInput(); }); },
        operation == RecordedOperation::DeviceFlow);
}

void MainWindowRules::BtnRescanClick() {
    RunRecorded(RecordedOperation::DeviceFlow, [&] { tq9::BtnRescanClick(ctx_); });
}

void MainWindowRules::BtnCloseClick() {
    Run(
        [&] {
            tq9::BtnCloseClick(ctx_);
            AnswerPendingInput();
        },
        true);
}

void MainWindowRules::BtnRefreshClick() {
    RunRecorded(RecordedOperation::Reset, [&] { tq9::BtnRefreshClick(ctx_); });
}

void MainWindowRules::BtnFPGAprogClick() {
    RunRecorded(RecordedOperation::FpgaUpdate, [&] { tq9::BtnFPGAprogClick(ctx_); });
}

void MainWindowRules::BtnFinalizeClick() {
    RunRecorded(RecordedOperation::Finalize, [&] { tq9::BtnFinalizeClick(ctx_); });
}

void MainWindowRules::ComboBox1Change(int index) {
    if (RunRecorded(RecordedOperation::TestPort, [&] { tq9::ComboBox1Change(ctx_, index); })) {
        testPort_ = index;
    } else {
        // The list showed a port the board never got.
        window_.ShowTestPort(testPort_);
    }
}

void MainWindowRules::ButtonUpStreamClick() {
    RunRecorded(RecordedOperation::Upload, [&] { tq9::ButtonUpStreamClick(ctx_); });
}

void MainWindowRules::ProdProgClick() {
    RunRecorded(RecordedOperation::ProductionRun, [&] { tq9::ProdProgClick(ctx_); });
}

void MainWindowRules::BtnAVRonlyClick() {
    RunRecorded(RecordedOperation::AvrOnly, [&] { tq9::BtnAVRonlyClick(ctx_); });
}

void MainWindowRules::BtnCancelClick() {
    Guarded([&] { ctx_.BtnCancelClick(); });
}

void MainWindowRules::EditSerialNumberChange() {
    Guarded([&] { tq9::EditSerialNumberChange(ctx_); });
}

void MainWindowRules::Timer1Timer() {
    ctx_.BusyTick();
    // Once a second: a connection to the line's server without a checked TLS, the rows it
    // still lacks, and those it refused, while there are any.
    if (++lineTicks_ < kLineStatusTicks || !ctx_.Line) return;
    lineTicks_ = 0;
    std::string said;
    for (const std::string& part :
         {ctx_.Line->TlsNotice(), WaitingRowsLine(ctx_.Line->WaitingRows()),
          SetAsideRowsLine(ctx_.Line->SetAsideRows())}) {
        if (!part.empty()) said += (said.empty() ? "" : "; ") + part;
    }
    window_.ShowLineStatus(said);
}

bool MainWindowRules::CloseRequested() {
    if (running_) {
        // Ask the running operation to stop; the window closes once it has returned.
        ctx_.RequestStop();
        closePending_ = true;
        return false;
    }
    Shutdown();
    return true;
}

void MainWindowRules::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    Guarded([&] { FormDestroy(ctx_); });
}

std::string MainWindowRules::RecordsUnavailable() const {
    if (ctx_.Records.store) return {};
    return "No board records are kept: " + ctx_.Records.openFailure;
}

}  // namespace tq9
