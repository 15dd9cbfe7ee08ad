#pragma once
// Local first, then the line: the rows the line's server lacks are sent from the local
// file, oldest first, in batches of one transaction each, and marked here once the server
// has them. A row the server refuses for what it holds is set aside here with the
// server's reason, and the rows after it go on; it waits again only once sent again by
// hand (RecordStore::Resend). A pass stops at the first row that cannot be sent for any
// other reason (the server away, a time limit), which waits with those after it for the
// next pass: rows arrive in order, and a pass cut short anywhere is repeated harmlessly.

#include <string>

namespace tq9 {

class LineServer;
class RecordStore;

struct ForwardPass {
    int sent = 0;         // rows the server took in this pass
    int setAside = 0;     // rows it refused in this pass, now set aside
    std::string failure;  // why the pass stopped early; empty when nothing waits
};

ForwardPass SendWaitingRows(RecordStore& store, LineServer& server, const std::string& bench);

}  // namespace tq9
