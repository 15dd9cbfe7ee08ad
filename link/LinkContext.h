#pragma once
// What the link's operations share: the operator services and the board link.

#include "link/tq9_com.h"
#include "ui/services/Services.h"

namespace tq9 {

struct LinkContext : Services {
    explicit LinkContext(Host& host) : Services(host) {}
    TBoardLink BoardLink;
};

}  // namespace tq9
