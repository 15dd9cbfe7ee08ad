#include "records/Recorder.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/Platform.h"
#include "base/Sha256.h"
#include "isp/Production.h"

namespace tq9 {

namespace {
bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// A reply line as shown, without the CR the board ends it with.
std::string WithoutCr(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += (i ? "\n" : "") + WithoutCr(lines[i]);
    return text;
}

// The chosen cable, when the link has one.
void TakeCable(const TBoardLink& link, OperationRecord& r) {
    if (link.selectedIndex < 0 ||
        static_cast<std::uint32_t>(link.selectedIndex) >= link.deviceCount)
        return;
    r.cableSerial = link.serials[link.selectedIndex];
    r.cableDescription = link.descriptions[link.selectedIndex];
    r.comNumber = link.comNumber;
}

// The file as the program finds it: a bare name in the program's directory, without
// regard to case; a path as it stands.
std::string Located(const IspContext& ctx, const std::string& name) {
    if (name.find_first_of("/\\") != std::string::npos) return name;
    std::string onDisk;
    if (!FileExistsNoCase(ctx.ProgramDirectory, name, &onDisk)) return {};
    return ctx.ProgramDirectory + onDisk;
}
// What the board reported, as far as the link has read it.
void TakeIdentity(const TBoardInfo& info, OperationRecord& r) {
    r.boardSerial = info.ReportedSerial != 0 ? std::to_string(info.ReportedSerial) : "";
    // The operator may take over a typed serial; the board's own stays in its field.
    r.typedSerial =
        info.SerialNumber != info.ReportedSerial ? std::to_string(info.SerialNumber) : "";
    r.firmwareVersion =
        info.FirmwareVersion != 0 ? FormatFirmwareVersion(info.FirmwareVersion) : "";
    r.scanCore = info.ScanCoreRead ? std::to_string(info.ScanCore) : "";
    r.firmwareName = info.FirmwareName;
    r.fpgaVersion = info.FpgaVersion != TBoardInfo{}.FpgaVersion ? info.FpgaVersion : "";
}
}  // namespace

const char* RecordedOperationName(RecordedOperation operation) {
    switch (operation) {
        case RecordedOperation::DeviceFlow:
            return "device flow";
        case RecordedOperation::Reset:
            return "Reset TQ9";
        case RecordedOperation::FpgaUpdate:
            return "Upd FPGA";
        case RecordedOperation::Finalize:
            return "Finalize";
        case RecordedOperation::TestPort:
            return "test port";
        case RecordedOperation::Upload:
            return "scan-core upload";
        case RecordedOperation::ProductionRun:
            return "production run";
        case RecordedOperation::AvrOnly:
            return "AVR only";
    }
    return "";
}

OperationRecorder::OperationRecorder(IspContext& ctx, const RecordSink& sink,
                                     RecordedOperation operation)
    : ctx_(ctx), sink_(sink), operation_(operation) {
    consoleReplacements_ = ctx.console.Replacements();
    consoleLinesAtStart_ = ctx.console.Lines().size();
    messagesAtStart_ = ctx.MessagesShown();
    operatorCancelsAtStart_ = ctx.OperatorCancels();
    stopRequestsAtStart_ = ctx.StopRequests();
    cancelSetAtStart_ = ctx.CancelRequested != 0;
    connectedAtStart_ = ctx.BoardLink.connected;
    ctx.ProgramRuns.clear();
    ctx.ProbeLog.clear();
    ctx.FailedStep.clear();
    ctx.BoardAfter.clear();
    ctx.ImageMismatch.clear();
    ctx.UploadFile.clear();
    if (operation == RecordedOperation::ProductionRun || operation == RecordedOperation::AvrOnly) {
        image_ = ctx.host.FieldText(Field::dd_FirmwareType);
        diamexPort_ = ctx.host.FieldText(Field::EditDiamex);
    }
    record_.started = UtcNowIso8601();
    record_.host = sink_.host;
    record_.program = sink_.program;
    record_.pid = sink_.pid;
    record_.operation = RecordedOperationName(operation);
    const TBoardLink& link = ctx.BoardLink;
    if (link.connected) {
        TakeCable(link, record_);
        TakeIdentity(ctx.BoardInfo, record_);
    }
    record_.image = image_;
    record_.diamexPort = diamexPort_;
    if (!sink_.Active()) return;
    if (!sink_.store) {
        failure_ = sink_.openFailure;
        return;
    }
    switch (sink_.store->TryBegin(record_, failure_)) {
        case RecordStore::WriteResult::Written:
            break;
        case RecordStore::WriteResult::Busy:
            failure_.clear();  // no failure yet: Finish writes the row whole
            break;
        case RecordStore::WriteResult::Failed:
            if (failure_.empty()) failure_ = "the database refused the row";
            break;
    }
}

std::vector<std::string> OperationRecorder::OperationLines() const {
    const auto& lines = ctx_.console.Lines();
    // Cleared or replaced since the start: all it shows now belongs to this operation.
    if (ctx_.console.Replacements() != consoleReplacements_ ||
        lines.size() < consoleLinesAtStart_) {
        return lines;
    }
    return {lines.begin() + static_cast<std::ptrdiff_t>(consoleLinesAtStart_), lines.end()};
}

void OperationRecorder::Fill(const std::string& error) {
    OperationRecord& r = record_;
    r.ended = UtcNowIso8601();
    const TBoardLink& link = ctx_.BoardLink;
    if (link.comNumber >= 0) TakeCable(link, r);
    TakeIdentity(ctx_.BoardInfo, r);
    r.errorKind = ErrorKindName(ctx_.ErrorKind);
    r.errorCount = ctx_.ErrorCount;

    const std::vector<std::string> lines = OperationLines();
    r.console = Joined(lines);
    const bool dialogShown = ctx_.MessagesShown() != messagesAtStart_;
    if (dialogShown) r.resultDialog = ctx_.LastMessage();

    // How it ended: an error that ended it, the operator's cancel, an error line or a
    // warning or error dialog, a board that did not answer; else completed.
    std::vector<std::string> errors;
    const bool closing = ctx_.StopRequests() != stopRequestsAtStart_;
    const bool cancelledDuring = closing || ctx_.OperatorCancels() != operatorCancelsAtStart_;
    bool cancelled = cancelledDuring;
    // The flag a Cancel left set while nothing ran ends the readiness wait of an operation
    // that does not clear it (an FPGA update, an upload), which still goes on: that is the
    // earlier Cancel's doing, not this operation's end.
    const bool earlierCancel =
        cancelSetAtStart_ && !cancelledDuring &&
        (operation_ == RecordedOperation::FpgaUpdate || operation_ == RecordedOperation::TestPort ||
         operation_ == RecordedOperation::Upload);
    bool earlierCancelSeen = false;
    // An upload cannot be stopped once its words go out: when they all went, the board has
    // the core, whatever was pressed meanwhile.
    bool uploadSent = false;
    for (const std::string& line : lines) {
        if (StartsWith(line, "##### Error")) errors.push_back(line);
        if (line == kCancelWarning) (earlierCancel ? earlierCancelSeen : cancelled) = true;
        uploadSent =
            uploadSent || (operation_ == RecordedOperation::Upload && StartsWith(line, "### ") &&
                           line.find(" Bytes sent.") != std::string::npos);
    }
    const char* const cancelReason = closing ? "the program was closed during the operation" : "";
    if (!error.empty()) {
        r.outcome = kOutcomeEndedEarly;
        r.reason = error;
    } else if (cancelled && !uploadSent) {
        r.outcome = kOutcomeCancelled;
        r.reason = cancelReason;
    } else if (!errors.empty()) {
        r.outcome = kOutcomeEndedEarly;
        r.reason = Joined(errors);
    } else if (dialogShown && ctx_.LastMessageKind() != MessageKind::Information) {
        r.outcome = kOutcomeEndedEarly;
        r.reason = r.resultDialog;
    } else if (!link.connected &&
               (connectedAtStart_ || operation_ == RecordedOperation::DeviceFlow)) {
        r.outcome = kOutcomeEndedEarly;
        r.reason = dialogShown ? r.resultDialog : "no cable opened";
        for (const std::string& line : lines) {
            if (line == "No response from TQ9 serial port driver!") r.reason = line;
        }
    } else if (operation_ == RecordedOperation::Upload && ctx_.UploadFile.empty()) {
        r.outcome = kOutcomeCancelled;
        r.reason = "no file chosen";
    } else {
        r.outcome = kOutcomeCompleted;
        if (cancelled) r.reason = "cancelled after every word was sent";
        if (earlierCancelSeen) r.reason = kEarlierCancelReason;
    }
    for (std::string* text : {&r.reason, &r.resultDialog}) {
        for (char& c : *text) {
            if (c == '\r') c = '\n';
        }
    }

    if (operation_ == RecordedOperation::Upload && !ctx_.UploadFile.empty()) {
        r.uploadFile = ctx_.UploadFile;
        if (const auto sha = Sha256OfFile(ctx_.UploadFile)) {
            r.uploadSha256 = *sha;
            std::error_code error;
            const auto size =
                std::filesystem::file_size(std::filesystem::u8path(ctx_.UploadFile), error);
            if (!error) r.uploadSize = static_cast<std::int64_t>(size);
        }
        if (ctx_.UploadCore >= 0) r.uploadCore = ctx_.UploadCore;
        // The board's closing line follows the count of bytes sent.
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            if (StartsWith(lines[i], "### ") &&
                lines[i].find(" Bytes sent.") != std::string::npos) {
                r.uploadClosingLine = WithoutCr(lines[i + 1]);
            }
        }
    }
    if (operation_ == RecordedOperation::ProductionRun ||
        operation_ == RecordedOperation::AvrOnly) {
        r.image = image_;
        r.diamexPort = diamexPort_;
        if (const std::string path = Located(ctx_, image_); !path.empty()) {
            r.imageSha256 = Sha256OfFile(path).value_or("");
        }
        for (const ProgramRunLog& run : ctx_.ProgramRuns)
            r.avrdudeRuns.push_back({run.commandLine, run.exitCode, run.output});
        // The log this pass judged: the file may since hold another station's.
        r.probeLog = ctx_.ProbeLog;
        r.boardAfter = ctx_.BoardAfter;
        r.imageMismatch = ctx_.ImageMismatch;
        if (r.outcome != kOutcomeCompleted) {
            // A pass cancelled or closed at a step that itself went right failed at the cancel.
            r.failedStep = r.outcome == kOutcomeCancelled && ctx_.FailedStep.empty()
                               ? kFailedCancel
                               : ctx_.FailedStep;
        }
    }
}

void OperationRecorder::Finish(const std::string& error) {
    Fill(error);
    if (!sink_.Active()) return;
    // Also a row still waiting for the lock (no id yet): the store inserts it whole.
    if (failure_.empty() && sink_.store && !sink_.store->Finish(record_, failure_) &&
        failure_.empty()) {
        failure_ = "the database refused the row";
    }
    if (sink_.line) sink_.line->Poke();  // the row, or an earlier one, may wait for the line
    if (failure_.empty()) return;
    warning_ = kRecordNotSaved + failure_;
    ctx_.ConsoleAdd(warning_);
}

}  // namespace tq9
