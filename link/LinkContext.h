#pragma once
// What the link's operations share: the operator services and the board link.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/tq9_com.h"
#include "services/Services.h"

namespace tq9 {

// The kind of the last error a production run counted. One byte; 7 is not used.
enum TErrorKind : std::uint8_t {
    noErr,
    SyncErr,
    TxErr,
    TimeOutErr,
    FileErr,
    ComErr,
    FlashErr,
    ErrKind7,
    VersionErr,
    CancelErr,
};

struct LinkContext : Services {
    explicit LinkContext(Host& host) : Services(host) {}
    TBoardLink BoardLink;
    // The words of the last scan-core file loaded.
    std::vector<std::uint32_t> TFileBuffer4;
    TErrorKind ErrorKind = noErr;
    std::int32_t ErrorCount = 0;
    // Why no driver library could be loaded (names and places tried); empty when one was.
    std::string DriverLoadFailure;
    // The driver in use and why earlier sources were not, for one console line at the first
    // device flow (then cleared); empty where the program has nothing to say.
    std::string DriverInUse;
    // What the driver found wrong with the cables (no permission to open one, say).
    std::function<std::string()> DriverNotes;
};

}  // namespace tq9
