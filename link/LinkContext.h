#pragma once
// What the link's operations share: the operator services and the board link.

#include <cstdint>
#include <vector>

#include "link/tq9_com.h"
#include "ui/services/Services.h"

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
};

}  // namespace tq9
