#pragma once
// What the link's operations share: the operator services and the board link.

#include <cstdint>
#include <vector>

#include "link/tq9_com.h"
#include "ui/services/Services.h"

namespace tq9 {

struct LinkContext : Services {
    explicit LinkContext(Host& host) : Services(host) {}
    TBoardLink BoardLink;
    // The words of the last scan-core file loaded.
    std::vector<std::uint32_t> TFileBuffer4;
};

}  // namespace tq9
