#include "line/LineForwarder.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "line/Forwarder.h"
#include "line/LineServer.h"
#include "records/RecordStore.h"

namespace tq9 {

namespace {
constexpr auto kRetry = std::chrono::seconds(5);  // while rows wait
}

// Shared with the thread, which may outlive the forwarder at a program's end.
struct LineForwarder::State {
    std::string path, server, bench;
    mutable std::mutex mutex;
    std::condition_variable wake, done;
    bool poked = true;  // a first pass at the start: rows may wait from an earlier run
    bool stopping = false, finished = false;
    std::int64_t waiting = -1;
    std::string failure;
    std::vector<RecordStore::SetAsideRow> setAside;
    std::string tls;
};

LineForwarder::LineForwarder(const std::string& recordsPath, const std::string& server,
                             const std::string& bench)
    : state_(std::make_shared<State>()) {
    state_->path = recordsPath;
    state_->server = server;
    state_->bench = bench;
    std::thread(Run, state_).detach();
}

LineForwarder::~LineForwarder() {
    Stop(0);
}

void LineForwarder::Poke() {
    std::lock_guard lock(state_->mutex);
    state_->poked = true;
    state_->wake.notify_all();
}

bool LineForwarder::Stop(int limitMs) {
    std::unique_lock lock(state_->mutex);
    state_->stopping = true;
    state_->wake.notify_all();
    return state_->done.wait_for(lock, std::chrono::milliseconds(limitMs),
                                 [&] { return state_->finished; });
}

std::int64_t LineForwarder::WaitingRows() const {
    std::lock_guard lock(state_->mutex);
    return state_->waiting;
}

std::string LineForwarder::LastFailure() const {
    std::lock_guard lock(state_->mutex);
    return state_->failure;
}

std::string LineForwarder::TlsNotice() const {
    std::lock_guard lock(state_->mutex);
    return state_->tls;
}

std::vector<RecordStore::SetAsideRow> LineForwarder::SetAsideRows() const {
    std::lock_guard lock(state_->mutex);
    return state_->setAside;
}

std::string SetAsideRowsLine(const std::vector<RecordStore::SetAsideRow>& rows) {
    if (rows.empty()) return {};
    constexpr std::size_t kNamed = 5;
    std::string ids;
    for (std::size_t i = 0; i < rows.size() && i < kNamed; ++i)
        ids += (i ? ", " : "") + std::to_string(rows[i].id);
    if (rows.size() > kNamed) ids += ", ...";
    const std::string first = rows.front().reason;
    return (rows.size() == 1 ? "row " + ids + " is"
                             : std::to_string(rows.size()) + " rows (" + ids + ") are") +
           " set aside, refused by the line server (" +
           (rows.size() == 1 ? "" : "row " + std::to_string(rows.front().id) + ": ") + first +
           "); once that is mended: tq9ctl records resend";
}

std::string WaitingRowsLine(std::int64_t rows) {
    if (rows <= 0) return {};
    return std::to_string(rows) + (rows == 1 ? " row waits" : " rows wait") +
           " for the line server";
}

void LineForwarder::Run(const std::shared_ptr<State>& state) {
    std::unique_ptr<RecordStore> store;
    std::unique_ptr<LineServer> line;
    for (;;) {
        bool last = false;
        {
            std::unique_lock lock(state->mutex);
            const bool retry = state->waiting != 0;
            auto due = [&] { return state->poked || state->stopping; };
            if (retry) {
                state->wake.wait_for(lock, kRetry, due);
            } else {
                state->wake.wait(lock, due);
            }
            last = state->stopping;
            state->poked = false;
        }
        std::string failure;
        if (!store) store = RecordStore::Open(state->path, failure);
        if (store && !line) {
            line = LineServer::Connect(state->server, failure);
            if (line) {
                std::lock_guard lock(state->mutex);
                state->tls = line->TlsNotice();
            }
        }
        if (store && line) {
            failure = SendWaitingRows(*store, *line, state->bench).failure;
            if (!failure.empty()) line.reset();  // connected anew next time
        }
        std::string whyNot;
        const std::int64_t waiting = store ? store->WaitingCount(whyNot).value_or(-1) : -1;
        auto setAside =
            store ? store->SetAsideRows(whyNot) : std::vector<RecordStore::SetAsideRow>{};
        std::lock_guard lock(state->mutex);
        state->failure = failure;
        state->waiting = waiting;
        state->setAside = std::move(setAside);
        if (last) {
            state->finished = true;
            state->done.notify_all();
            return;
        }
    }
}

}  // namespace tq9
