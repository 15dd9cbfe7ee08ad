#pragma once
// The board records: one row per operation that talks to a board, in an SQLite database
// file that several programs (benches on a shared folder, the window and tq9ctl) may
// write at once. A row is written when the operation starts and completed when it ends;
// a row left "running" by a process that is gone is marked "interrupted" at the next
// start on the same host.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tq9 {

// How an operation ended, as the records name it.
inline constexpr const char* kOutcomeRunning = "running";
inline constexpr const char* kOutcomeCompleted = "completed";
inline constexpr const char* kOutcomeCancelled = "cancelled";
inline constexpr const char* kOutcomeEndedEarly = "ended early";
inline constexpr const char* kOutcomeInterrupted = "interrupted";

struct AvrdudeRunRecord {
    std::string commandLine;
    int exitCode = -1;   // -1: did not start; a run stopped on POSIX: 128 + the signal
    std::string output;  // what it printed
};

struct OperationRecord {
    std::int64_t id = 0;  // set by Begin
    std::string started,
        ended;  // UTC, ISO 8601 ("2026-12-09T16:31:50Z"); ended empty while running
    std::string host, program;
    long pid = 0;
    std::string operation;
    std::string cableSerial, cableDescription;
    std::optional<int> comNumber;
    // What the board reported, each as read; empty when not read.
    std::string boardSerial, firmwareVersion, firmwareName, fpgaVersion, scanCore;
    // The serial the operator typed over the reported one ("Serial #"), which the board's
    // operations then used; empty when none was typed.
    std::string typedSerial;
    std::string outcome = kOutcomeRunning;
    std::string reason;  // why it ended early or was interrupted
    std::string errorKind;
    int errorCount = 0;
    std::string resultDialog;  // the last dialog's text
    std::string console;       // the operation's console lines, joined with LF
    // The scan-core upload.
    std::string uploadFile, uploadSha256, uploadClosingLine;
    std::optional<std::int64_t> uploadSize;
    std::optional<int> uploadCore;
    // The production and AVR-only runs.
    std::string image, imageSha256, diamexPort, probeLog;
    std::vector<AvrdudeRunRecord> avrdudeRuns;
    // Which step of a pass failed (one of the kFailed* names of isp/ProgramByIsp.h); empty when
    // none did. error_kind and error_count keep their own meaning: avrdude runs count no error.
    std::string failedStep;
    // What the board reported once it was programmed ("TQ95-g3ed1 1.23"); empty when it
    // was not identified after programming.
    std::string boardAfter;
    // The warning when the image's name and the board after programming disagree on
    // generation or edition; empty when they agree or cannot be compared.
    std::string imageMismatch;
    // The row's name wherever it goes (the line's server takes rows by it): made when the
    // row is first written, never changed.
    std::string uuid;
    // The bench it came from, in rows read from the line's server; empty in this PC's.
    std::string bench;
};

struct RecordFilter {
    std::string boardSerial;   // exact; empty: any
    std::string operation;     // exact; empty: any
    std::string outcome;       // exact; empty: any
    std::string since, until;  // ISO 8601 prefixes compared as text ("2026-12-09"); empty: open
    int limit = 100;           // newest first; 0: no limit
    std::string bench;         // exact; the line's rows only; empty: any
};

struct RecordSummary {
    int programmedToday = 0;  // production and AVR-only runs started today (UTC)
    int succeeded = 0;        // of those, completed
    // Ended early or interrupted, by the step that failed where the row names one, else by
    // its error kind.
    std::vector<std::pair<std::string, int>> failuresByKind;
};

class RecordStore {
  public:
    // Opens the database at `path`, making its folder and the file when missing and
    // bringing its tables to this program's version. Null with the reason when it cannot,
    // or when the file's version is one this program does not know. Never waits for
    // another writer's lock, except to change a file of an older version (once): when a
    // lock keeps it from even reading the version, that check waits for the first write.
    static std::unique_ptr<RecordStore> Open(const std::string& path, std::string& whyNot);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    const std::string& Path() const { return path_; }
    // How long a write that may wait waits for another writer's lock (10 s at first).
    void SetBusyTimeoutMs(int ms);

    enum class WriteResult { Written, Busy, Failed };
    // Writes the row of an operation that starts (what is known of it then: cable, board,
    // image and port); sets record.id. Waits for another writer as a write may.
    bool Begin(OperationRecord& record, std::string& whyNot);
    // As Begin, but without waiting: Busy, with nothing written and record.id 0, while
    // another writer holds the lock.
    WriteResult TryBegin(OperationRecord& record, std::string& whyNot);
    // Writes everything the record holds now, in one transaction. A record without an id
    // (its start was never written) is inserted whole and gets its id. A begun row that is
    // gone (or is now another operation's) is not written again: false, saying so.
    bool Finish(OperationRecord& record, std::string& whyNot);
    // Marks as interrupted this host's rows still running whose process is gone. Does not
    // wait: while another writer holds the lock it marks none (the next start will).
    int MarkInterrupted(const std::string& host, bool (*alive)(long pid), std::string& whyNot);

    std::vector<OperationRecord> Find(const RecordFilter& filter, std::string& whyNot);
    // How many rows the filter takes, whatever its limit.
    std::optional<std::int64_t> Count(const RecordFilter& filter, std::string& whyNot);
    std::optional<OperationRecord> Get(std::int64_t id, std::string& whyNot);
    RecordSummary Summary(const std::string& today, std::string& whyNot);

    // The line's server: the rows it does not have as they stand, oldest first, with
    // their avrdude runs; how many; and that some were sent, in one transaction.
    std::vector<OperationRecord> Waiting(int limit, std::string& whyNot);
    std::optional<std::int64_t> WaitingCount(std::string& whyNot);
    struct LineMark {
        std::int64_t id = 0;
        std::string uuid;
        bool ended = false;  // the server has it as it ended (else as it was running)
    };
    bool MarkSent(const std::vector<LineMark>& marks, std::string& whyNot);
    // A row the server refused for what it holds: set aside with the server's reason, it
    // waits no more (the rows after it go on) until Resend.
    bool SetAside(const LineMark& row, const std::string& reason, std::string& whyNot);
    struct SetAsideRow {
        std::int64_t id = 0;
        std::string started, operation, reason;
    };
    std::vector<SetAsideRow> SetAsideRows(std::string& whyNot);
    // Every row set aside waits again (the admin has mended the cause); how many.
    std::optional<std::int64_t> Resend(std::string& whyNot);

    static constexpr int kSchemaVersion = 6;

  private:
    struct Db;
    explicit RecordStore(std::unique_ptr<Db> db, std::string path);
    // Checks the file's version once and brings its tables and journal to this program's;
    // `wait`: whether it may wait for a lock. `busy` tells a held lock from other failures.
    bool Ready(bool wait, bool& busy, std::string& whyNot);
    WriteResult Insert(OperationRecord& record, bool wait, std::string& whyNot);
    std::unique_ptr<Db> db_;
    std::string path_;
};

// Now in UTC, ISO 8601 with seconds and a Z.
std::string UtcNowIso8601();
// Whether `text` is a day a filter can start or end at: a real calendar day as
// YYYY-MM-DD, optionally with as much of a UTC time as the rows hold
// ("2026-12-09T16", "...T16:31", "...T16:31:50", "...T16:31:50Z").
bool RecordDateValid(const std::string& text);

}  // namespace tq9
