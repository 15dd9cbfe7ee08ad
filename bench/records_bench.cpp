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

#include "base/Platform.h"
#include "records/RecordStore.h"

using namespace tq9;
using Clock = std::chrono::steady_clock;

namespace {
// What avrdude prints for each of a production run's three runs, roughly.
const char* const kAvrdudeOutput[] = {
    "\navrdude: AVR device initialized and ready to accept instructions\n\n"
    "Reading | ################################################## | 100% 0.01s\n\n"
    "avrdude: Device signature = 0x1e960a (probably m644p)\n\navrdude done.  Thank you.\n",
    "\navrdude: AVR device initialized and ready to accept instructions\n"
    "avrdude: Device signature = 0x1e960a (probably m644p)\n"
    "avrdude: reading input file \"0xf7\"\navrdude: writing lfuse (1 bytes):\n"
    "avrdude: 1 bytes of lfuse written\n\navrdude done.  Thank you.\n",
    "\navrdude: AVR device initialized and ready to accept instructions\n"
    "avrdude: Device signature = 0x1e960a (probably m644p)\n"
    "avrdude: erasing chip\navrdude: reading input file \"TQ9gen3_ed2_b.hex\"\n"
    "avrdude: writing flash (40960 bytes):\n\n"
    "Writing | ################################################## | 100% 6.21s\n\n"
    "avrdude: 40960 bytes of flash written\navrdude: verifying flash memory against "
    "TQ9gen3_ed2_b.hex:\n\n"
    "Reading | ################################################## | 100% 4.87s\n\n"
    "avrdude: 40960 bytes of flash verified\n\navrdude done.  Thank you.\n",
};

const char* const kOperations[] = {"device flow", "Reset TQ9", "scan-core upload", "production run",
                                   "AVR only"};

OperationRecord Realistic(int i) {
    OperationRecord r;
    char started[32];
    // Spread over 200 days, newest last.
    const int minute = i / 2;
    std::snprintf(started, sizeof started, "2026-%02d-%02dT%02d:%02d:00Z",
                  1 + (minute / 40000) % 12, 1 + (minute / 1440) % 28, (minute / 60) % 24,
                  minute % 60);
    r.started = started;
    r.ended = started;
    r.host = "bench-" + std::to_string(i % 3);
    r.program = i % 5 ? "tq9-bench" : "tq9ctl";
    r.pid = 4000 + i % 97;
    r.operation = kOperations[i % 5];
    r.cableSerial = "TQ9A" + std::to_string(1000 + i % 40);
    r.cableDescription = "TTL232R-5V";
    r.comNumber = i % 8;
    r.boardSerial = std::to_string(10000 + i / 7);  // each board seen about 7 times
    r.firmwareVersion = "3.72";
    r.firmwareName = "TQ95-g3ed2";
    r.fpgaVersion = "0813A7C2";
    r.scanCore = "1";
    r.outcome = i % 17 ? kOutcomeCompleted : kOutcomeEndedEarly;
    r.errorKind = i % 17 ? "noErr" : "FileErr";
    r.errorCount = i % 17 ? 0 : 1;
    for (int line = 0; line < 30; ++line) {
        r.console += "254=3.72 [AVR, TQ95-g3ed2] line " + std::to_string(line) + " of the run\n";
    }
    if (r.operation == std::string("production run") || r.operation == std::string("AVR only")) {
        r.image = "TQ9gen3_ed2_b.hex";
        r.imageSha256 = std::string(64, 'c');
        r.diamexPort = "/dev/ttyACM0";
        r.probeLog =
            "avrdude: AVR device initialized and ready to accept instructions\n"
            "avrdude: device signature = 0x1e960a (probably m644p)\n\n"
            "avrdude done.  Thank you.\n";
        r.resultDialog = "Operation succesfull.\nRemove jumpers JP5, JP7 and JP8.";
        const char* const steps[] = {"-n -q -l \"avrdude.log\"", "-V -q -U lfuse:w:0xf7:m",
                                     "-U flash:w:\"TQ9gen3_ed2_b.hex\":i"};
        for (int step = 0; step < 3; ++step) {
            r.avrdudeRuns.push_back(
                {std::string("\"/var/lib/tq9-bench/avrdude\" -C \"avrdude.conf\" -pm644p ") +
                     steps[step],
                 0, kAvrdudeOutput[step]});
        }
    }
    if (r.operation == std::string("scan-core upload")) {
        r.uploadFile = "/home/op/cores/scancore_v7.dat";
        r.uploadSize = 65536;
        r.uploadSha256 = std::string(64, 'd');
        r.uploadCore = 0;
        r.uploadClosingLine = "Core 0 loaded: 16384 words, sum 1A2B3C4D";
    }
    return r;
}

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
