#pragma once
// Local first, then the line: the rows the line's server lacks are sent from the local
// file, oldest first, each in a transaction of its own, and marked here once the server
// has them. A pass stops at the first row that cannot be sent (the server away, a
// refusal), which waits with those after it for the next pass: rows arrive in order, and
// a pass cut short anywhere is repeated harmlessly.

#include <string>

namespace tq9 {

class LineServer;
class RecordStore;

struct ForwardPass {
    int sent = 0;         // rows the server took in this pass
    std::string failure;  // why the pass stopped early; empty when nothing waits
};

ForwardPass SendWaitingRows(RecordStore& store, LineServer& server, const std::string& bench);

}  // namespace tq9
