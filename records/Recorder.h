#pragma once
// Writes the board record of one operation beside it: the row when the operation starts,
// the rest when it ends (what the board reported, how it ended, the files it sent, the
// avrdude runs). A record that cannot be written never stops or changes the operation:
// the operation's end says so once, with the console line
// "##### Warning: Record not saved: <reason>".

#include <string>

#include "isp/ProgramByIsp.h"
#include "records/RecordStore.h"

namespace tq9 {

// The operations that talk to a board.
enum class RecordedOperation {
    DeviceFlow,
    Reset,
    FpgaUpdate,
    Finalize,
    TestPort,
    Upload,
    ProductionRun,
    AvrOnly
};
const char* RecordedOperationName(RecordedOperation operation);

// Whoever sends the rows on (the line's forwarder, a layer above): told after each
// operation's row is written, never waited for.
class RowsWritten {
  public:
    virtual void Poke() = 0;

  protected:
    ~RowsWritten() = default;
};

// Where the records of a run go.
struct RecordSink {
    RecordStore* store = nullptr;  // null: this run keeps no records
    RowsWritten* line = nullptr;   // told of each row written, to send it on; or none
    std::string openFailure;       // why the store could not be opened; warned per operation
    std::string lineReader;        // the connection that reads the whole line; empty: none
    std::string host, program;
    long pid = 0;
    bool Active() const { return store || !openFailure.empty(); }
};

inline constexpr const char* kRecordNotSaved = "##### Warning: Record not saved: ";
// The reason of a completed record whose readiness wait a Cancel pressed before the
// operation began ended at its first poll.
inline constexpr const char* kEarlierCancelReason =
    "the readiness wait ended at once on a Cancel pressed before this operation began";

class OperationRecorder {
  public:
    // Writes the operation's first row (or notes why it could not). It never waits: while
    // another writer holds the lock the row stays here, to be written whole by Finish.
    // Without a sink it only gathers the record, for whoever reports it.
    OperationRecorder(IspContext& ctx, const RecordSink& sink, RecordedOperation operation);
    // After the operation, whether it returned or ended with an error (`error`, its text):
    // completes the row, then warns on the console if any write failed.
    void Finish(const std::string& error = {});

    const OperationRecord& Record() const { return record_; }
    // The warning line Finish wrote when the record was not saved; empty when it was.
    const std::string& Warning() const { return warning_; }

  private:
    std::vector<std::string> OperationLines() const;
    void Fill(const std::string& error);

    IspContext& ctx_;
    RecordSink sink_;
    RecordedOperation operation_;
    OperationRecord record_;
    std::string failure_;
    std::string warning_;
    std::uint64_t consoleReplacements_ = 0;
    std::size_t consoleLinesAtStart_ = 0;
    std::uint64_t messagesAtStart_ = 0;
    unsigned operatorCancelsAtStart_ = 0;
    unsigned stopRequestsAtStart_ = 0;
    bool cancelSetAtStart_ = false;  // a Cancel pressed before the operation began
    bool connectedAtStart_ = false;
    std::string image_, diamexPort_;
};

}  // namespace tq9
