#include "line/Forwarder.h"

#include <algorithm>
#include <vector>

#include "line/LineServer.h"
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
            std::vector<RecordStore::LineMark> marks;
            if (server.Send(batch, bench, ended, whyNot)) {
                for (std::size_t i = 0; i < batch.size(); ++i)
                    marks.push_back({batch[i].id, batch[i].uuid, ended[i]});
            } else {
                // The batch went back whole: its rows go one by one, a row refused for what
                // it holds is set aside, and the pass stops at a row that could not go for
                // any other reason.
                for (const OperationRecord& row : batch) {
                    std::vector<bool> one;
                    bool refused = false;
                    if (server.Send({row}, bench, one, whyNot, &refused)) {
                        marks.push_back({row.id, row.uuid, one.front()});
                        continue;
                    }
                    if (!refused) {
                        pass.failure = whyNot;
                        break;
                    }
                    std::string notMarked;
                    if (!store.SetAside({row.id, row.uuid, false}, whyNot, notMarked)) {
                        pass.failure = "the local records cannot be marked: " + notMarked;
                        break;
                    }
                    ++pass.setAside;
                }
            }
            pass.sent += static_cast<int>(marks.size());
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
