#include "records/RecordStore.h"

#include <sqlite3.h>

#include <filesystem>
#include <system_error>

#include "base/Platform.h"
#include "base/Uuid.h"

namespace tq9 {

namespace {
// Each version's statements, applied in order to a database of the version before. A
// new version appends its migration here and raises kSchemaVersion.
const char* const kMigrations[] = {
    // 1: the first version.
    R"sql(
    CREATE TABLE operations (
      id INTEGER PRIMARY KEY,
      started TEXT NOT NULL,
      ended TEXT NOT NULL DEFAULT '',
      host TEXT NOT NULL,
      program TEXT NOT NULL,
      pid INTEGER NOT NULL,
      operation TEXT NOT NULL,
      cable_serial TEXT NOT NULL DEFAULT '',
      cable_description TEXT NOT NULL DEFAULT '',
      com_number INTEGER,
      board_serial TEXT NOT NULL DEFAULT '',
      firmware_version TEXT NOT NULL DEFAULT '',
      firmware_name TEXT NOT NULL DEFAULT '',
      fpga_version TEXT NOT NULL DEFAULT '',
      scan_core TEXT NOT NULL DEFAULT '',
      outcome TEXT NOT NULL,
      reason TEXT NOT NULL DEFAULT '',
      error_kind TEXT NOT NULL DEFAULT '',
      error_count INTEGER NOT NULL DEFAULT 0,
      result_dialog TEXT NOT NULL DEFAULT '',
      console TEXT NOT NULL DEFAULT '',
      upload_file TEXT NOT NULL DEFAULT '',
      upload_size INTEGER,
      upload_sha256 TEXT NOT NULL DEFAULT '',
      upload_core INTEGER,
      upload_closing_line TEXT NOT NULL DEFAULT '',
      image TEXT NOT NULL DEFAULT '',
      image_sha256 TEXT NOT NULL DEFAULT '',
      diamex_port TEXT NOT NULL DEFAULT '',
      probe_log TEXT NOT NULL DEFAULT ''
    );
    CREATE INDEX operations_by_board ON operations (board_serial, started);
    CREATE INDEX operations_by_start ON operations (started);
    CREATE INDEX operations_running ON operations (outcome) WHERE outcome = 'running';
    CREATE TABLE avrdude_runs (
      operation_id INTEGER NOT NULL REFERENCES operations (id) ON DELETE CASCADE,
      step INTEGER NOT NULL,
      command_line TEXT NOT NULL,
      exit_code INTEGER NOT NULL,
      PRIMARY KEY (operation_id, step)
    );
    )sql",
    // 2: what each avrdude run printed.
    "ALTER TABLE avrdude_runs ADD COLUMN output TEXT NOT NULL DEFAULT '';",
    // 3: each row's UUID, its name beyond this file (the line's server); the rows of an
    // older file get random ones, of the same form as NewUuid's.
    R"sql(
    ALTER TABLE operations ADD COLUMN uuid TEXT NOT NULL DEFAULT '';
    UPDATE operations SET uuid = lower(hex(randomblob(4)) || '-' || hex(randomblob(2)) ||
      '-4' || substr(hex(randomblob(2)), 2) || '-' ||
      substr('89ab', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' ||
      hex(randomblob(6))) WHERE uuid = '';
    CREATE UNIQUE INDEX operations_by_uuid ON operations (uuid);
    )sql",
    // 4: how far each row has reached the line's server: '' not at all, 'running' sent
    // while it ran, 'done' sent as it ended. A row waits until it is 'done'.
    R"sql(
    ALTER TABLE operations ADD COLUMN line_sent TEXT NOT NULL DEFAULT '';
    CREATE INDEX operations_waiting ON operations (id) WHERE line_sent <> 'done';
    )sql",
    // 5: which step of a pass failed, the board as read after programming, and the warning
    // when that board and the image's name disagree; and why the line's server refused a
    // row, which then waits no more until it is sent again by hand.
    R"sql(
    ALTER TABLE operations ADD COLUMN failed_step TEXT NOT NULL DEFAULT '';
    ALTER TABLE operations ADD COLUMN board_after TEXT NOT NULL DEFAULT '';
    ALTER TABLE operations ADD COLUMN image_mismatch TEXT NOT NULL DEFAULT '';
    ALTER TABLE operations ADD COLUMN line_refused TEXT NOT NULL DEFAULT '';
    CREATE INDEX operations_set_aside ON operations (id) WHERE line_refused <> '';
    )sql",
    // 6: the serial the operator typed over the one the board reported.
    "ALTER TABLE operations ADD COLUMN typed_serial TEXT NOT NULL DEFAULT '';",
};
static_assert(std::size(kMigrations) == RecordStore::kSchemaVersion);

constexpr int kBusyTimeoutMs = 10000;

bool IsBusy(int code) {
    return (code & 0xFF) == SQLITE_BUSY;
}

class Statement {
  public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        Check(sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) == SQLITE_OK);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return ok_; }
    // The database's words at the first failure.
    const std::string& Error() const { return error_; }
    // Whether that failure was another connection's lock.
    bool Busy() const { return IsBusy(code_); }
    Statement& Bind(int i, const std::string& text) {
        Check(ok_ && sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()),
                                       SQLITE_TRANSIENT) == SQLITE_OK);
        return *this;
    }
    Statement& Bind(int i, std::int64_t value) {
        Check(ok_ && sqlite3_bind_int64(stmt_, i, value) == SQLITE_OK);
        return *this;
    }
    template <typename T>
    Statement& Bind(int i, const std::optional<T>& value) {
        if (value) return Bind(i, static_cast<std::int64_t>(*value));
        Check(ok_ && sqlite3_bind_null(stmt_, i) == SQLITE_OK);
        return *this;
    }
    // One step: true while a row is there (Row) or the statement is done (Done).
    bool Step() {
        if (!ok_) return false;
        const int rc = sqlite3_step(stmt_);
        done_ = rc == SQLITE_DONE;
        Check(rc == SQLITE_ROW || rc == SQLITE_DONE);
        return rc == SQLITE_ROW;
    }
    bool Run() {
        Step();
        return ok_ && done_;
    }
    std::string Text(int column) const {
        const auto* text = sqlite3_column_text(stmt_, column);
        return text ? std::string(reinterpret_cast<const char*>(text),
                                  static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
                    : std::string();
    }
    std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::optional<std::int64_t> MaybeInt(int column) const {
        if (sqlite3_column_type(stmt_, column) == SQLITE_NULL) return std::nullopt;
        return Int(column);
    }

  private:
    void Check(bool ok) {
        if (!ok && error_.empty()) {
            error_ = sqlite3_errmsg(db_);
            code_ = sqlite3_extended_errcode(db_);
        }
        ok_ = ok;
    }

    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
    bool ok_ = true;
    bool done_ = false;
    int code_ = SQLITE_OK;
    std::string error_;
};

std::string ErrorOf(sqlite3* db) {
    return db ? sqlite3_errmsg(db) : "out of memory";
}

// A write transaction that takes the write lock at once (so a second writer waits for
// the busy timeout, or fails at once, instead of failing midway), rolled back unless
// committed.
class WriteTransaction {
  public:
    explicit WriteTransaction(sqlite3* db) : db_(db) {
        begun_ = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
        if (!begun_) Failed();
    }
    ~WriteTransaction() {
        if (begun_ && !committed_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    bool Begun() const { return begun_; }
    bool Commit() {
        committed_ = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        if (!committed_) Failed();
        return committed_;
    }
    const std::string& Error() const { return error_; }
    bool Busy() const { return IsBusy(code_); }

  private:
    void Failed() {
        error_ = sqlite3_errmsg(db_);
        code_ = sqlite3_extended_errcode(db_);
    }
    sqlite3* db_;
    bool begun_ = false;
    bool committed_ = false;
    int code_ = SQLITE_OK;
    std::string error_;
};

constexpr const char* kColumns =
    "id, started, ended, host, program, pid, operation, cable_serial, cable_description, "
    "com_number, board_serial, firmware_version, firmware_name, fpga_version, scan_core, "
    "outcome, reason, error_kind, error_count, result_dialog, console, upload_file, "
    "upload_size, upload_sha256, upload_core, upload_closing_line, image, image_sha256, "
    "diamex_port, probe_log, uuid, failed_step, board_after, image_mismatch, typed_serial";

OperationRecord ReadRow(const Statement& row) {
    OperationRecord r;
    int c = 0;
    r.id = row.Int(c++);
    r.started = row.Text(c++);
    r.ended = row.Text(c++);
    r.host = row.Text(c++);
    r.program = row.Text(c++);
    r.pid = static_cast<long>(row.Int(c++));
    r.operation = row.Text(c++);
    r.cableSerial = row.Text(c++);
    r.cableDescription = row.Text(c++);
    if (const auto com = row.MaybeInt(c++)) r.comNumber = static_cast<int>(*com);
    r.boardSerial = row.Text(c++);
    r.firmwareVersion = row.Text(c++);
    r.firmwareName = row.Text(c++);
    r.fpgaVersion = row.Text(c++);
    r.scanCore = row.Text(c++);
    r.outcome = row.Text(c++);
    r.reason = row.Text(c++);
    r.errorKind = row.Text(c++);
    r.errorCount = static_cast<int>(row.Int(c++));
    r.resultDialog = row.Text(c++);
    r.console = row.Text(c++);
    r.uploadFile = row.Text(c++);
    r.uploadSize = row.MaybeInt(c++);
    r.uploadSha256 = row.Text(c++);
    if (const auto core = row.MaybeInt(c++)) r.uploadCore = static_cast<int>(*core);
    r.uploadClosingLine = row.Text(c++);
    r.image = row.Text(c++);
    r.imageSha256 = row.Text(c++);
    r.diamexPort = row.Text(c++);
    r.probeLog = row.Text(c++);
    r.uuid = row.Text(c++);
    r.failedStep = row.Text(c++);
    r.boardAfter = row.Text(c++);
    r.imageMismatch = row.Text(c++);
    r.typedSerial = row.Text(c++);
    return r;
}
void LoadAvrdudeRuns(sqlite3* h, OperationRecord& row) {
    Statement runs(h,
                   "SELECT command_line, exit_code, output FROM avrdude_runs "
                   "WHERE operation_id = ? ORDER BY step");
    runs.Bind(1, row.id);
    while (runs.Step())
        row.avrdudeRuns.push_back({runs.Text(0), static_cast<int>(runs.Int(1)), runs.Text(2)});
}

// Every row a selection of kColumns gives, with its avrdude runs.
std::vector<OperationRecord> ReadRows(sqlite3* h, Statement& select, std::string& whyNot) {
    std::vector<OperationRecord> rows;
    while (select.Step())
        rows.push_back(ReadRow(select));
    if (!select.Ok()) {
        whyNot = select.Error();
        return {};
    }
    for (OperationRecord& row : rows)
        LoadAvrdudeRuns(h, row);
    return rows;
}

// The versions this program can read and write: 0 is a file just made.
bool KnownVersion(const std::string& path, std::int64_t version, std::string& whyNot) {
    if (version > RecordStore::kSchemaVersion) {
        whyNot = path + " was written by a newer version of the tool (records version " +
                 std::to_string(version) + ", this one knows " +
                 std::to_string(RecordStore::kSchemaVersion) + ")";
        return false;
    }
    if (version < 0) {
        whyNot = path + " has records version " + std::to_string(version) +
                 ", which no version of the tool writes";
        return false;
    }
    return true;
}

// Within its scope the connection fails at once on another's lock instead of waiting.
class NoWait {
  public:
    NoWait(sqlite3* db, bool active, int waitMs) : db_(db), active_(active), waitMs_(waitMs) {
        if (active_) sqlite3_busy_timeout(db_, 0);
    }
    ~NoWait() {
        if (active_) sqlite3_busy_timeout(db_, waitMs_);
    }
    NoWait(const NoWait&) = delete;
    NoWait& operator=(const NoWait&) = delete;

  private:
    sqlite3* db_;
    bool active_;
    int waitMs_;
};

// The row as an operation starts.
// The row of an operation that starts; it gets its UUID here unless it has one (a row
// first tried while the file was locked keeps the one it got then).
bool InsertStart(Statement& insert, OperationRecord& record) {
    if (record.uuid.empty()) record.uuid = NewUuid();
    insert.Bind(1, record.started)
        .Bind(2, record.host)
        .Bind(3, record.program)
        .Bind(4, static_cast<std::int64_t>(record.pid))
        .Bind(5, record.operation)
        .Bind(6, record.cableSerial)
        .Bind(7, record.cableDescription)
        .Bind(8, record.comNumber)
        .Bind(9, record.outcome)
        .Bind(10, record.boardSerial)
        .Bind(11, record.firmwareVersion)
        .Bind(12, record.firmwareName)
        .Bind(13, record.fpgaVersion)
        .Bind(14, record.scanCore)
        .Bind(15, record.image)
        .Bind(16, record.diamexPort)
        .Bind(17, record.uuid);
    return insert.Run();
}
constexpr const char* kInsertStart =
    "INSERT INTO operations (started, host, program, pid, operation, cable_serial, "
    "cable_description, com_number, outcome, board_serial, firmware_version, firmware_name, "
    "fpga_version, scan_core, image, diamex_port, uuid) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
}  // namespace

struct RecordStore::Db {
    sqlite3* handle = nullptr;
    const char* journal = "wal";  // the journal mode this file is to have
    bool ready = false;           // its version known and its tables this program's
    int waitMs = kBusyTimeoutMs;
    ~Db() { sqlite3_close(handle); }
};

RecordStore::RecordStore(std::unique_ptr<Db> db, std::string path)
    : db_(std::move(db)), path_(std::move(path)) {}

RecordStore::~RecordStore() = default;

void RecordStore::SetBusyTimeoutMs(int ms) {
    db_->waitMs = ms;
    sqlite3_busy_timeout(db_->handle, ms);
}

std::unique_ptr<RecordStore> RecordStore::Open(const std::string& path, std::string& whyNot) {
    std::error_code error;
    const auto slash = path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
    if (!folder.empty())
        std::filesystem::create_directories(std::filesystem::u8path(folder), error);
    if (error) {
        whyNot = "cannot make the folder " + folder + " (" + error.message() + ")";
        return nullptr;
    }
    auto db = std::make_unique<Db>();
    if (sqlite3_open_v2(path.c_str(), &db->handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        whyNot = "cannot open " + path + " (" + ErrorOf(db->handle) + ")";
        return nullptr;
    }
    sqlite3* h = db->handle;
    sqlite3_busy_timeout(h, kBusyTimeoutMs);
    sqlite3_extended_result_codes(h, 1);
    // WAL: readers never wait for the writer, and a power cut loses no committed row. WAL
    // needs memory shared by every user of the file, which machines sharing a network
    // folder do not have: there the rollback journal and the file's locks serve instead.
    db->journal = OnNetworkFileSystem(folder.empty() ? "." : folder) ? "delete" : "wal";
    sqlite3_exec(h, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);

    std::unique_ptr<RecordStore> store(new RecordStore(std::move(db), path));
    bool busy = false;
    if (!store->Ready(false, busy, whyNot) && !busy) return nullptr;
    whyNot.clear();
    return store;
}

bool RecordStore::Ready(bool wait, bool& busy, std::string& whyNot) {
    Db& db = *db_;
    if (db.ready) return true;
    sqlite3* h = db.handle;
    auto failed = [&](const std::string& error, bool lock) {
        whyNot = path_ + ": " + error;
        busy = lock;
        return false;
    };
    std::int64_t version = 0;
    std::string journal;
    {
        // Reading needs no write lock (and in WAL waits for no writer).
        NoWait noWait(h, !wait, db.waitMs);
        Statement read(h, "PRAGMA user_version");
        if (!read.Step()) return failed(read.Error(), read.Busy());
        version = read.Int(0);
        Statement mode(h, "PRAGMA journal_mode");
        if (!mode.Step()) return failed(mode.Error(), mode.Busy());
        journal = mode.Text(0);
    }
    if (!KnownVersion(path_, version, whyNot)) return false;
    // Changing the file is a one-off: it may wait for another writer.
    if (journal != db.journal) {
        const std::string set = std::string("PRAGMA journal_mode = ") + db.journal;
        Statement change(h, set.c_str());
        if (!change.Step()) return failed(change.Error(), change.Busy());
    }
    if (version < kSchemaVersion) {
        WriteTransaction migrate(h);
        if (!migrate.Begun()) return failed(migrate.Error(), migrate.Busy());
        // Another program may have brought it up while this one waited.
        Statement read(h, "PRAGMA user_version");
        if (!read.Step()) return failed(read.Error(), read.Busy());
        version = read.Int(0);
        if (!KnownVersion(path_, version, whyNot)) return false;
        for (auto v = version; v < kSchemaVersion; ++v) {
            if (sqlite3_exec(h, kMigrations[v], nullptr, nullptr, nullptr) != SQLITE_OK)
                return failed(ErrorOf(h), false);
        }
        const std::string set = "PRAGMA user_version = " + std::to_string(kSchemaVersion);
        if (sqlite3_exec(h, set.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            return failed(ErrorOf(h), false);
        if (!migrate.Commit()) return failed(migrate.Error(), migrate.Busy());
    }
    db.ready = true;
    return true;
}

RecordStore::WriteResult RecordStore::Insert(OperationRecord& record, bool wait,
                                             std::string& whyNot) {
    bool busy = false;
    if (!Ready(wait, busy, whyNot)) return busy ? WriteResult::Busy : WriteResult::Failed;
    sqlite3* h = db_->handle;
    NoWait noWait(h, !wait, db_->waitMs);
    auto failed = [&](const std::string& error, bool lock) {
        whyNot = error;
        record.id = 0;
        return lock ? WriteResult::Busy : WriteResult::Failed;
    };
    WriteTransaction write(h);
    if (!write.Begun()) return failed(write.Error(), write.Busy());
    Statement insert(h, kInsertStart);
    if (!InsertStart(insert, record)) return failed(insert.Error(), insert.Busy());
    record.id = sqlite3_last_insert_rowid(h);
    if (!write.Commit()) return failed(write.Error(), write.Busy());
    return WriteResult::Written;
}

bool RecordStore::Begin(OperationRecord& record, std::string& whyNot) {
    return Insert(record, true, whyNot) == WriteResult::Written;
}

RecordStore::WriteResult RecordStore::TryBegin(OperationRecord& record, std::string& whyNot) {
    return Insert(record, false, whyNot);
}

bool RecordStore::Finish(OperationRecord& r, std::string& whyNot) {
    bool busy = false;
    if (!Ready(true, busy, whyNot)) return false;
    sqlite3* h = db_->handle;
    const bool whole = r.id == 0;
    auto failed = [&](const std::string& error) {
        whyNot = error;
        if (whole) r.id = 0;
        return false;
    };
    WriteTransaction write(h);
    if (!write.Begun()) return failed(write.Error());
    if (whole) {
        Statement insert(h, kInsertStart);
        if (!InsertStart(insert, r)) return failed(insert.Error());
        r.id = sqlite3_last_insert_rowid(h);
    }
    // The row as begun: one deleted since, its id then taken by another operation's row,
    // is not this operation's.
    Statement update(
        h,
        "UPDATE operations SET ended = ?, cable_serial = ?, cable_description = ?, "
        "com_number = ?, board_serial = ?, firmware_version = ?, firmware_name = ?, "
        "fpga_version = ?, scan_core = ?, outcome = ?, reason = ?, error_kind = ?, "
        "error_count = ?, result_dialog = ?, console = ?, upload_file = ?, "
        "upload_size = ?, upload_sha256 = ?, upload_core = ?, "
        "upload_closing_line = ?, image = ?, image_sha256 = ?, diamex_port = ?, "
        "probe_log = ?, failed_step = ?, board_after = ?, image_mismatch = ?, "
        "typed_serial = ? WHERE id = ? AND started = ? AND host = ? AND program = ? AND pid = ? "
        "AND operation = ?");
    update.Bind(1, r.ended)
        .Bind(2, r.cableSerial)
        .Bind(3, r.cableDescription)
        .Bind(4, r.comNumber)
        .Bind(5, r.boardSerial)
        .Bind(6, r.firmwareVersion)
        .Bind(7, r.firmwareName)
        .Bind(8, r.fpgaVersion)
        .Bind(9, r.scanCore)
        .Bind(10, r.outcome)
        .Bind(11, r.reason)
        .Bind(12, r.errorKind)
        .Bind(13, static_cast<std::int64_t>(r.errorCount))
        .Bind(14, r.resultDialog)
        .Bind(15, r.console)
        .Bind(16, r.uploadFile)
        .Bind(17, r.uploadSize)
        .Bind(18, r.uploadSha256)
        .Bind(19, r.uploadCore)
        .Bind(20, r.uploadClosingLine)
        .Bind(21, r.image)
        .Bind(22, r.imageSha256)
        .Bind(23, r.diamexPort)
        .Bind(24, r.probeLog)
        .Bind(25, r.failedStep)
        .Bind(26, r.boardAfter)
        .Bind(27, r.imageMismatch)
        .Bind(28, r.typedSerial)
        .Bind(29, r.id)
        .Bind(30, r.started)
        .Bind(31, r.host)
        .Bind(32, r.program)
        .Bind(33, static_cast<std::int64_t>(r.pid))
        .Bind(34, r.operation);
    if (!update.Run()) return failed(update.Error());
    if (sqlite3_changes(h) != 1)
        return failed("the operation's row " + std::to_string(r.id) + " is missing");
    Statement clear(h, "DELETE FROM avrdude_runs WHERE operation_id = ?");
    if (!clear.Bind(1, r.id).Run()) return failed(clear.Error());
    for (std::size_t step = 0; step < r.avrdudeRuns.size(); ++step) {
        Statement run(h,
                      "INSERT INTO avrdude_runs (operation_id, step, command_line, exit_code, "
                      "output) VALUES (?, ?, ?, ?, ?)");
        run.Bind(1, r.id)
            .Bind(2, static_cast<std::int64_t>(step + 1))
            .Bind(3, r.avrdudeRuns[step].commandLine)
            .Bind(4, static_cast<std::int64_t>(r.avrdudeRuns[step].exitCode))
            .Bind(5, r.avrdudeRuns[step].output);
        if (!run.Run()) return failed(run.Error());
    }
    if (!write.Commit()) return failed(write.Error());
    return true;
}

int RecordStore::MarkInterrupted(const std::string& host, bool (*alive)(long pid),
                                 std::string& whyNot) {
    bool busy = false;
    if (!Ready(false, busy, whyNot)) return 0;
    sqlite3* h = db_->handle;
    NoWait noWait(h, true, db_->waitMs);
    WriteTransaction write(h);
    if (!write.Begun()) {
        whyNot = write.Error();
        return 0;
    }
    std::vector<std::int64_t> gone;
    {
        Statement running(h,
                          "SELECT id, pid FROM operations WHERE outcome = 'running' AND host = ?");
        running.Bind(1, host);
        while (running.Step()) {
            if (!alive(static_cast<long>(running.Int(1)))) gone.push_back(running.Int(0));
        }
        if (!running.Ok()) {
            whyNot = running.Error();
            return 0;
        }
    }
    const std::string now = UtcNowIso8601();
    for (const std::int64_t id : gone) {
        Statement mark(h,
                       "UPDATE operations SET outcome = 'interrupted', ended = ?, reason = ? "
                       "WHERE id = ?");
        mark.Bind(1, now)
            .Bind(2, std::string("the program ended during the operation"))
            .Bind(3, id);
        if (!mark.Run()) {
            whyNot = mark.Error();
            return 0;
        }
    }
    if (!write.Commit()) {
        whyNot = write.Error();
        return 0;
    }
    return static_cast<int>(gone.size());
}

namespace {
// The filter as SQL conditions after "WHERE 1", with the values they bind in order.
std::string FilterConditions(const RecordFilter& f, std::vector<std::string>& values) {
    std::string sql;
    auto where = [&](const char* condition, const std::string& value) {
        if (value.empty()) return;
        sql += condition;
        values.push_back(value);
    };
    where(" AND board_serial = ?", f.boardSerial);
    where(" AND operation = ?", f.operation);
    where(" AND outcome = ?", f.outcome);
    where(" AND started >= ?", f.since);
    // An "until" day includes all of it: "2026-12-09" covers up to 2026-12-09T23:59:59Z.
    if (!f.until.empty()) where(" AND started < ?", f.until + "\x7f");
    return sql;
}
}  // namespace

std::vector<OperationRecord> RecordStore::Find(const RecordFilter& f, std::string& whyNot) {
    bool busy = false;
    if (!Ready(true, busy, whyNot)) return {};
    sqlite3* h = db_->handle;
    std::vector<std::string> values;
    std::string sql = std::string("SELECT ") + kColumns + " FROM operations WHERE 1" +
                      FilterConditions(f, values);
    sql += " ORDER BY started DESC, id DESC";
    if (f.limit > 0) sql += " LIMIT " + std::to_string(f.limit);
    Statement select(h, sql.c_str());
    for (std::size_t i = 0; i < values.size(); ++i)
        select.Bind(static_cast<int>(i + 1), values[i]);
    return ReadRows(h, select, whyNot);
}

std::optional<std::int64_t> RecordStore::Count(const RecordFilter& f, std::string& whyNot) {
    bool busy = false;
    if (!Ready(true, busy, whyNot)) return std::nullopt;
    std::vector<std::string> values;
    const std::string sql = "SELECT COUNT(*) FROM operations WHERE 1" + FilterConditions(f, values);
    Statement count(db_->handle, sql.c_str());
    for (std::size_t i = 0; i < values.size(); ++i)
        count.Bind(static_cast<int>(i + 1), values[i]);
    if (!count.Step()) {
        whyNot = count.Error();
        return std::nullopt;
    }
    return count.Int(0);
}

namespace {
// Rows the line's server does not have as they stand: never sent, or sent while running
// and ended since; but for those it refused, which are set aside.
constexpr const char* kWaiting =
    " FROM operations WHERE line_sent <> 'done' AND line_refused = '' AND (line_sent = '' OR "
    "outcome <> 'running')";
}  // namespace

std::vector<OperationRecord> RecordStore::Waiting(int limit, std::string& whyNot) {
    bool busy = false;
    if (!Ready(true, busy, whyNot)) return {};
    sqlite3* h = db_->handle;
    const std::string sql = std::string("SELECT ") + kColumns + kWaiting + " ORDER BY id LIMIT " +
                            std::to_string(limit);
    Statement select(h, sql.c_str());
    return ReadRows(h, select, whyNot);
}

std::optional<std::int64_t> RecordStore::WaitingCount(std::string& whyNot) {
    bool busy = false;
    if (!Ready(true, busy, whyNot)) return std::nullopt;
    Statement count(db_->handle, (std::string("SELECT COUNT(*)") + kWaiting).c_str());
    if (!count.Step()) {
        whyNot = count.Error();
        return std::nullopt;
    }
    return count.Int(0);
}

bool RecordStore::MarkSent(const std::vector<LineMark>& marks, std::string& whyNot) {
    bool busy = false;
    if (!Ready(true, busy, whyNot)) return false;
    sqlite3* h = db_->handle;
    WriteTransaction write(h);
    if (!write.Begun()) {
        whyNot = write.Error();
        return false;
    }
    for (const LineMark& sent : marks) {
        // Sent while running: it waits again once it has ended here.
        Statement mark(h,
                       "UPDATE operations SET line_sent = ? WHERE id = ? AND uuid = ? AND "
                       "line_sent <> 'done'");
        mark.Bind(1, std::string(sent.ended ? "done" : "running"))
            .Bind(2, sent.id)
            .Bind(3, sent.uuid);
        if (!mark.Run()) {
            whyNot = mark.Error();
            return false;
        }
    }
    if (write.Commit()) return true;
    whyNot = write.Error();
    return false;
}

bool RecordStore::SetAside(const LineMark& row, const std::string& reason, std::string& whyNot) {
    bool busy = false;
    if (!Ready(true, busy, whyNot)) return false;
    Statement mark(db_->handle, "UPDATE operations SET line_refused = ? WHERE id = ? AND uuid = ?");
    // Never empty: an empty reason is no mark.
    if (mark.Bind(1, reason.empty() ? std::string("refused") : reason)
            .Bind(2, row.id)
            .Bind(3, row.uuid)
            .Run())
        return true;
    whyNot = mark.Error();
    return false;
}

std::vector<RecordStore::SetAsideRow> RecordStore::SetAsideRows(std::string& whyNot) {
    bool busy = false;
    if (!Ready(true, busy, whyNot)) return {};
    Statement select(db_->handle,
                     "SELECT id, started, operation, line_refused FROM operations WHERE "
                     "line_refused <> '' ORDER BY id");
    std::vector<SetAsideRow> rows;
    while (select.Step())
        rows.push_back({select.Int(0), select.Text(1), select.Text(2), select.Text(3)});
    if (!select.Ok()) whyNot = select.Error();
    return rows;
}

std::optional<std::int64_t> RecordStore::Resend(std::string& whyNot) {
    bool busy = false;
    if (!Ready(true, busy, whyNot)) return std::nullopt;
    Statement clear(db_->handle,
                    "UPDATE operations SET line_refused = '' WHERE line_refused <> ''");
    if (!clear.Run()) {
        whyNot = clear.Error();
        return std::nullopt;
    }
    return sqlite3_changes(db_->handle);
}

std::optional<OperationRecord> RecordStore::Get(std::int64_t id, std::string& whyNot) {
    bool busy = false;
    if (!Ready(true, busy, whyNot)) return std::nullopt;
    sqlite3* h = db_->handle;
    Statement select(h,
                     (std::string("SELECT ") + kColumns + " FROM operations WHERE id = ?").c_str());
    select.Bind(1, id);
    if (!select.Step()) {
        if (!select.Ok()) whyNot = select.Error();
        return std::nullopt;
    }
    OperationRecord row = ReadRow(select);
    LoadAvrdudeRuns(h, row);
    return row;
}

RecordSummary RecordStore::Summary(const std::string& today, std::string& whyNot) {
    bool busy = false;
    if (!Ready(true, busy, whyNot)) return {};
    sqlite3* h = db_->handle;
    RecordSummary summary;
    Statement counts(h,
                     "SELECT COUNT(*), COALESCE(SUM(outcome = 'completed'), 0) FROM operations "
                     "WHERE operation IN ('production run', 'AVR only') AND started >= ? "
                     "AND started < ?");
    counts.Bind(1, today).Bind(2, today + "\x7f");
    if (counts.Step()) {
        summary.programmedToday = static_cast<int>(counts.Int(0));
        summary.succeeded = static_cast<int>(counts.Int(1));
    }
    Statement kinds(h,
                    "SELECT CASE WHEN failed_step <> '' THEN failed_step WHEN error_kind = '' "
                    "THEN 'none' ELSE error_kind END, COUNT(*) "
                    "FROM operations WHERE operation IN ('production run', 'AVR only') "
                    "AND started >= ? AND started < ? AND outcome IN ('ended early', "
                    "'interrupted') GROUP BY 1 ORDER BY 2 DESC, 1");
    kinds.Bind(1, today).Bind(2, today + "\x7f");
    while (kinds.Step())
        summary.failuresByKind.emplace_back(kinds.Text(0), static_cast<int>(kinds.Int(1)));
    if (!counts.Ok() || !kinds.Ok()) whyNot = counts.Ok() ? kinds.Error() : counts.Error();
    return summary;
}

}  // namespace tq9
