// The board records at a busy bench's size: 100 000 rows of realistic content (device
// flows, resets, uploads and production runs with their console lines, probe logs and
// avrdude runs). Times writing one operation's rows (its start and its end, as the
// program writes them), filtering by a board serial to show the newest 100, and the delay
// an operation sees before its body runs while another program holds the write lock;
// prints each figure with its goal, and the database's size.
// Usage: bench_records [rows (100000)] [folder (the current one)]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "RealisticRecord.h"
#include "base/Platform.h"
#include "records/RecordStore.h"

using namespace tq9;
using tq9::bench::Realistic;
using Clock = std::chrono::steady_clock;

namespace {
bool Write(RecordStore& store, OperationRecord r) {
    std::string whyNot;
    const std::string outcome = r.outcome;
    r.outcome = kOutcomeRunning;
    if (!store.Begin(r, whyNot)) return false;
    r.outcome = outcome;
    return store.Finish(r, whyNot);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}
}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    const fs::path folder = argc > 2 ? fs::path(argv[2]) : fs::current_path();
    // Filled where writing is cheap, then measured where the records really live: on disk.
    const fs::path scratch = fs::temp_directory_path() / "tq9-bench-records";
    const fs::path database = folder / "bench-records.sqlite3";
    fs::remove_all(scratch);
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(database.string() + suffix);

    std::string whyNot;
    const auto fillStart = Clock::now();
    {
        auto store = RecordStore::Open((scratch / "records.sqlite3").string(), whyNot);
        if (!store) {
            std::fprintf(stderr, "cannot open: %s\n", whyNot.c_str());
            return 1;
        }
        for (int i = 0; i < rows; ++i) {
            if (!Write(*store, Realistic(i))) {
                std::fprintf(stderr, "row %d not written\n", i);
                return 1;
            }
        }
    }
    const double fillS = Ms(Clock::now() - fillStart) / 1000;
    fs::copy_file(scratch / "records.sqlite3", database);
    fs::remove_all(scratch);

    auto store = RecordStore::Open(database.string(), whyNot);
    if (!store) {
        std::fprintf(stderr, "cannot open: %s\n", whyNot.c_str());
        return 1;
    }
    std::vector<double> writes;
    for (int i = 0; i < 101; ++i) {
        const auto start = Clock::now();
        if (!Write(*store, Realistic(rows + i * 5 + 3))) return 1;  // production runs
        writes.push_back(Ms(Clock::now() - start));
    }
    std::vector<double> finds;
    std::size_t shown = 0;
    for (int i = 0; i < 51; ++i) {
        RecordFilter filter;
        filter.boardSerial = std::to_string(10000 + (i * 977) % (rows / 7));
        filter.limit = 100;
        const auto start = Clock::now();
        shown = store->Find(filter, whyNot).size();
        finds.push_back(Ms(Clock::now() - start));
    }
    std::vector<double> newest;
    for (int i = 0; i < 21; ++i) {
        const auto start = Clock::now();
        shown = store->Find(RecordFilter{}, whyNot).size();
        newest.push_back(Ms(Clock::now() - start));
    }
    // Another program holds the write lock (a long transaction, a backup, sqlite3 at a
    // prompt): an operation opens the store as the programs do and begins its row.
    std::vector<double> delays;
    int pending = 0;
    {
        sqlite3* other = nullptr;
        sqlite3_open(database.string().c_str(), &other);
        if (sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "cannot hold the lock: %s\n", sqlite3_errmsg(other));
            return 1;
        }
        for (int i = 0; i < 21; ++i) {
            const auto start = Clock::now();
            auto opened = RecordStore::Open(database.string(), whyNot);
            if (!opened) return 1;
            opened->MarkInterrupted(HostName(), ProcessAlive, whyNot);
            OperationRecord r = Realistic(rows + 1000 + i);
            r.outcome = kOutcomeRunning;
            pending += opened->TryBegin(r, whyNot) == RecordStore::WriteResult::Busy;
            delays.push_back(Ms(Clock::now() - start));
        }
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }
    store.reset();
    const double mib = static_cast<double>(fs::file_size(database)) / (1024 * 1024);

    std::printf("board records: %d rows of realistic content (filled in %.1f s)\n", rows, fillS);
    std::printf("  database size:                         %8.1f MiB  (%s)\n", mib,
                database.string().c_str());
    std::printf(
        "  one operation's rows written (median): %8.2f ms   (start and end, each its own "
        "transaction, on disk)\n",
        Median(writes));
    std::printf("  filter by serial, newest 100 (median): %8.2f ms   goal < 50 ms\n",
                Median(finds));
    std::printf(
        "  no filter, newest 100 (median):        %8.2f ms   goal < 50 ms (last: %zu rows)\n",
        Median(newest), shown);
    std::printf(
        "  delay an operation sees under a held lock (median): %.2f ms   goal < 50 ms (slowest "
        "%.2f ms; open, mark interrupted, begin the row; %d of %zu rows kept for the end)\n",
        Median(delays), *std::max_element(delays.begin(), delays.end()), pending, delays.size());
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(database.string() + suffix);
    return 0;
}
