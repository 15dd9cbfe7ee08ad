#pragma once
// What the main window's own handlers do, without the toolkit: start-up and shutdown, and
// the run's context. The Qt window calls these inside its handler guard; tests call them on
// a scripted host. The device flow behind "Device" and "Close" is board/DeviceFlow.

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "board/DeviceFlow.h"
#include "isp/ProgramByIsp.h"
#include "line/LineForwarder.h"
#include "line/LineSettings.h"
#include "records/Recorder.h"

namespace tq9 {

// The run's one shared context, owned by the main window for the whole run.
struct AppContext : IspContext {
    explicit AppContext(Host& host) : IspContext(host) {}
    // Where the board records go; inactive (none kept, none warned of) by default.
    RecordSink Records;
    // The forwarder sending them to the line's server, for the status it shows; or none.
    LineForwarder* Line = nullptr;
};

// Runs one board operation and writes its record beside it; returns the record. An error
// that ends the operation is recorded, then passed on. An operation other than the device
// flow started without an open link does nothing and leaves no record (an empty one).
// `record`, when given, receives the record also when an error ended the operation.
// `beforeEnd`, when given, runs after the body, also after an error, while the operation
// has not ended yet: what it does (the operator's pending input) counts in this record.
OperationRecord RunRecorded(AppContext& ctx, RecordedOperation operation,
                            const std::function<void()>& body, OperationRecord* record = nullptr,
                            const std::function<void()>& beforeEnd = {});

// A program's records: the store at `path`, opened at start-up, with this host's rows left
// running by a program that is gone marked interrupted. A store that cannot be opened
// leaves a sink that warns at every operation. Where `line` names a server, a forwarder
// sends the rows there (the programs read the settings; tests give theirs).
struct OpenedRecords {
    std::unique_ptr<RecordStore> store;
    std::unique_ptr<LineForwarder> line;
    RecordSink sink;
};
OpenedRecords OpenRecords(const std::string& path, const std::string& program,
                          const LineSettings& line = {});

inline constexpr std::array<const char*, 8> kTestPortEntries = {
    "Key Taper + Sync", "MPX Taperr + ContUpr", "Key Taper + ContUpr", "PHR Input Upper",
    "Vib Input Upper",  "AO28 In Main",         "Test In Main",        "ScanCore Testport"};

inline constexpr std::array<const char*, 9> kFirmwareEntries = {"TQ9gen3_ed1_b.hex",
                                                                "TQ9gen3_ed2_b.hex",
                                                                "TQ9gen3_ed3_b.hex",
                                                                "TQ9gen3_ed4_b.hex",
                                                                "TQ9gen3_ed5_b.hex",
                                                                "TQ9gen3_ed6_b.hex",
                                                                "------------------------------",
                                                                "TQ9gen2_ed1_b.hex",
                                                                "TQ9gen2_ed2_b.hex"};
inline constexpr int kFirmwareEntryAtStart = 1;

void ApplyDefaults(AppContext& ctx);
void ShowBoardState(AppContext& ctx);
// Start-up. The production controls are enabled when avrdude is found beside the program;
// returns whether it was.
bool FormCreate(AppContext& ctx, const std::string& programDirectory);
void FormDestroy(AppContext& ctx);

}  // namespace tq9
