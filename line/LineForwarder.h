#pragma once
// A program's forwarder to the line's server: a thread of its own, on connections of its
// own, that sends the waiting rows (SendWaitingRows) after each operation and every few
// seconds while rows wait. The operations keep their one thread and never wait for it; a
// server that is away only leaves rows waiting, and the next pass tries again.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "records/RecordStore.h"
#include "records/Recorder.h"

namespace tq9 {

class LineForwarder final : public RowsWritten {
  public:
    LineForwarder(const std::string& recordsPath, const std::string& server,
                  const std::string& bench);
    // Stop(0).
    ~LineForwarder();
    LineForwarder(const LineForwarder&) = delete;
    LineForwarder& operator=(const LineForwarder&) = delete;

    // An operation has ended: a pass now.
    void Poke() override;
    // One last pass, waited for at most `limitMs`; a pass still running then (a server
    // slow to answer) is left to end with the process, which then does not wait for it.
    // Whether the last pass ended in time.
    bool Stop(int limitMs);
    // As the last pass left them: how many rows wait (-1 before the first pass), and why
    // it stopped early (empty when it did not).
    std::int64_t WaitingRows() const;
    std::string LastFailure() const;
    // What its connection lacks of TLS (LineServer::TlsNotice); empty when nothing.
    std::string TlsNotice() const;
    // The rows the server refused for what they hold, set aside, as the last pass left them.
    std::vector<RecordStore::SetAsideRow> SetAsideRows() const;

  private:
    struct State;
    // The thread's loop: a pass when poked, or every few seconds while rows wait.
    static void Run(const std::shared_ptr<State>& state);
    std::shared_ptr<State> state_;
};

// The status line while rows wait ("3 rows wait for the line server"); empty when none.
std::string WaitingRowsLine(std::int64_t rows);
// The line that names the rows set aside, the first one's reason and the way to send them
// again; empty when none is.
std::string SetAsideRowsLine(const std::vector<RecordStore::SetAsideRow>& rows);

}  // namespace tq9
