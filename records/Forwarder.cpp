#include "records/Forwarder.h"

#include "records/LineServer.h"
#include "records/RecordStore.h"

namespace tq9 {

ForwardPass SendWaitingRows(RecordStore& store, LineServer& server, const std::string& bench) {
    constexpr int kBatch = 200;  // rows read from the file at a time
    ForwardPass pass;
    for (;;) {
        std::string whyNot;
        const auto rows = store.Waiting(kBatch, whyNot);
        if (!whyNot.empty()) {
            pass.failure = "the local records cannot be read: " + whyNot;
            return pass;
        }
        if (rows.empty()) return pass;
        int marked = 0;
        for (const OperationRecord& row : rows) {
            bool ended = false;
            if (!server.Send(row, bench, ended, whyNot)) {
                pass.failure = whyNot;
                return pass;
            }
            ++pass.sent;
            // Lost here (a crash, a lock): the row is sent again, changing nothing there.
            if (store.MarkSent(row, ended, whyNot)) ++marked;
        }
        if (marked == 0) {
            pass.failure = "the local records cannot be marked: " + whyNot;
            return pass;
        }
    }
}

}  // namespace tq9
