#include "records/Forwarder.h"

#include <algorithm>
#include <vector>

#include "records/LineServer.h"
#include "records/RecordStore.h"

namespace tq9 {

namespace {
// Rows sent in one transaction: a round trip and a commit per row would make a long
// outage's backlog take minutes.
constexpr std::size_t kSendBatch = 50;
}  // namespace

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
        for (std::size_t first = 0; first < rows.size(); first += kSendBatch) {
            std::vector<OperationRecord> batch(
                rows.begin() + first, rows.begin() + std::min(rows.size(), first + kSendBatch));
            std::vector<bool> ended;
            if (!server.Send(batch, bench, ended, whyNot)) {
                if (batch.size() == 1) {
                    pass.failure = whyNot;
                    return pass;
                }
                // A row the server refuses: the rows before it go one by one, and the pass
                // stops at it.
                ended.clear();
                for (std::size_t i = 0; i < batch.size(); ++i) {
                    bool one = false;
                    if (!server.Send(batch[i], bench, one, whyNot)) {
                        batch.resize(i);
                        pass.failure = whyNot;
                        break;
                    }
                    ended.push_back(one);
                }
            }
            pass.sent += static_cast<int>(batch.size());
            std::vector<RecordStore::LineMark> marks;
            for (std::size_t i = 0; i < batch.size(); ++i)
                marks.push_back({batch[i].id, batch[i].uuid, ended[i]});
            // Lost here (a crash, a lock): the rows are sent again, changing nothing there.
            std::string notMarked;
            if (!marks.empty() && !store.MarkSent(marks, notMarked)) {
                pass.failure = "the local records cannot be marked: " + notMarked;
                return pass;
            }
            if (!pass.failure.empty()) return pass;
        }
    }
}

}  // namespace tq9
