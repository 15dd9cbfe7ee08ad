// The line's server at a line's size, against a PostgreSQL server of its own (Debian's
// postgresql-15, started as the tests start theirs):
//   - 8 bench processes × 2,000 operations, each writing its rows as the programs do, with
//     the product's forwarder sending them: the rows per second landing at the server, and
//     what an operation's duration gains from the forwarder (against the same run without
//     one);
//   - the time to drain 100,000 rows that waited through an outage;
//   - the line's report over 1,000,000 rows.
// The server runs as a line's does, every commit on disk. Prints each figure with its goal.
// Usage: bench_line [benches (8)] [operations each (2000)] [drain rows (100000)]
//                   [report rows (1000000)]

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "RealisticRecord.h"
#include "line/LineForwarder.h"
#include "line/LineServer.h"
#include "records/RecordStore.h"
#include "support/PgServer.h"

using namespace tq9;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

// The body of each operation between its two rows. A real one lasts seconds; this keeps
// a bench 100 times busier than any operator can, so the forwarder has little time.
constexpr auto kBody = std::chrono::milliseconds(20);

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Mean(const std::vector<double>& values) {
    double sum = 0;
    for (const double v : values)
        sum += v;
    return values.empty() ? 0 : sum / values.size();
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

// One bench: `operations` operations, each its start row, its body, its end row and the
// forwarder told (when there is a server). Prints the mean and 99th percentile of the
// time an operation takes beyond its body, in ms.
int BenchProcess(int index, int operations, const std::string& records, const std::string& server) {
    std::string whyNot;
    auto store = RecordStore::Open(records, whyNot);
    if (!store) {
        std::fprintf(stderr, "bench %d: %s\n", index, whyNot.c_str());
        return 1;
    }
    std::unique_ptr<LineForwarder> line;
    if (!server.empty())
        line = std::make_unique<LineForwarder>(records, server, "line-" + std::to_string(index));
    std::vector<double> extra;
    for (int i = 0; i < operations; ++i) {
        OperationRecord r = bench::Realistic(index * operations + i);
        const std::string outcome = r.outcome;
        r.started = UtcNowIso8601();
        r.ended.clear();
        r.outcome = kOutcomeRunning;
        const auto start = Clock::now();
        if (!store->Begin(r, whyNot)) return 1;
        std::this_thread::sleep_for(kBody);
        r.outcome = outcome;
        r.ended = UtcNowIso8601();
        if (!store->Finish(r, whyNot)) return 1;
        if (line) line->Poke();
        extra.push_back(Ms(Clock::now() - start) - Ms(kBody));
    }
    std::printf("%.4f %.4f\n", Mean(extra), Percentile(extra, 0.99));
    std::fflush(stdout);
    if (line) line->Stop(600000);
    return 0;
}

struct Spawned {
    pid_t pid;
    FILE* out;
};

// The benches as processes of their own, each with its records file; their means and
// 99th percentiles.
bool RunBenches(const char* self, int benches, int operations, const fs::path& folder,
                const std::string& server, double& mean, double& p99) {
    std::vector<FILE*> pipes;
    for (int b = 0; b < benches; ++b) {
        const std::string command =
            std::string("'") + self + "' --bench-process " + std::to_string(b) + " " +
            std::to_string(operations) + " '" +
            (folder / ("bench-" + std::to_string(b) + ".sqlite3")).string() + "' '" +
            (server.empty() ? "" : server + "_" + std::to_string(b)) + "'";
        pipes.push_back(::popen(command.c_str(), "r"));
    }
    mean = p99 = 0;
    bool ok = true;
    for (FILE* pipe : pipes) {
        double m = 0, p = 0;
        ok = std::fscanf(pipe, "%lf %lf", &m, &p) == 2 && ok;
        mean += m / benches;
        p99 = std::max(p99, p);
        ok = ::pclose(pipe) == 0 && ok;
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "--bench-process")
        return BenchProcess(std::atoi(argv[2]), std::atoi(argv[3]), argv[4], argv[5]);
    const int benches = argc > 1 ? std::atoi(argv[1]) : 8;
    const int operations = argc > 2 ? std::atoi(argv[2]) : 2000;
    const int drainRows = argc > 3 ? std::atoi(argv[3]) : 100000;
    const int reportRows = argc > 4 ? std::atoi(argv[4]) : 1000000;

    std::string whyNot;
    test::PgServer* pg = test::PgServer::Shared(whyNot, true);
    if (!pg) {
        std::fprintf(stderr, "no PostgreSQL server: %s\n", whyNot.c_str());
        return 1;
    }
    const std::string database = pg->NewDatabase();
    {
        auto admin = LineServer::Connect(pg->Connection(database), whyNot);
        int found = 0;
        // A role per bench, as the line has them, each sending for its own bench.
        std::string roles;
        for (int b = 0; b <= benches; ++b) {
            const std::string suffix = b < benches ? std::to_string(b) : "backlog";
            const std::string bench = b < benches ? "line-" + suffix : suffix;
            roles += "CREATE ROLE bench_line_" + suffix +
                     " LOGIN IN ROLE tq9_bench; SELECT "
                     "tq9.register_bench('bench_line_" +
                     suffix + "', '" + bench + "');";
        }
        if (!admin || !admin->Init(found, whyNot) || !admin->Exec(roles, whyNot)) {
            std::fprintf(stderr, "cannot set the line up: %s\n", whyNot.c_str());
            return 1;
        }
    }
    const std::string server = pg->Connection(database, "bench_line");
    // Each figure as it is measured: a step that fails later keeps those before it.
    std::printf("line server: %d bench processes × %d operations (%d ms of body each)\n", benches,
                operations, static_cast<int>(kBody.count()));
    std::fflush(stdout);
    const fs::path folder = fs::temp_directory_path() / "tq9-bench-line";
    fs::remove_all(folder);
    fs::create_directories(folder / "alone");
    fs::create_directories(folder / "line");

    // The same operations without a server, then with one.
    double aloneMean = 0, aloneP99 = 0, lineMean = 0, lineP99 = 0;
    if (!RunBenches(argv[0], benches, operations, folder / "alone", "", aloneMean, aloneP99)) {
        std::fprintf(stderr, "a bench without the line failed\n");
        return 1;
    }
    std::printf("  an operation's record writes, alone: %8.3f ms mean, %.3f ms p99\n", aloneMean,
                aloneP99);
    std::fflush(stdout);
    const auto lineStart = Clock::now();
    if (!RunBenches(argv[0], benches, operations, folder / "line", server, lineMean, lineP99)) {
        std::fprintf(stderr, "a bench with the line failed\n");
        return 1;
    }
    const double lineS = Ms(Clock::now() - lineStart) / 1000;
    const std::string landed =
        pg->Value(database, "SELECT count(*) FROM tq9.operations WHERE outcome <> 'running'");
    const int total = benches * operations;
    std::printf("  rows landed at the server:          %s of %d, %.0f rows/s (all in %.1f s)\n",
                landed.c_str(), total, std::atoi(landed.c_str()) / lineS, lineS);
    std::printf(
        "  the same with the forwarder:         %8.3f ms mean, %.3f ms p99\n"
        "  what the forwarder adds:             %8.3f ms   goal < 1 ms\n",
        lineMean, lineP99, lineMean - aloneMean);
    std::fflush(stdout);

    // An outage's backlog: rows written while the server was away, then one forwarder.
    const fs::path backlog = folder / "backlog.sqlite3";
    {
        auto store = RecordStore::Open(backlog.string(), whyNot);
        if (!store) return 1;
        for (int i = 0; i < drainRows; ++i) {
            OperationRecord r = bench::Realistic(i);
            const std::string outcome = r.outcome;
            r.outcome = kOutcomeRunning;
            if (!store->Begin(r, whyNot)) return 1;
            r.outcome = outcome;
            if (!store->Finish(r, whyNot)) return 1;
        }
    }
    const auto drainStart = Clock::now();
    double drainS = 0;
    {
        LineForwarder line(backlog.string(), server + "_backlog", "backlog");
        while (line.WaitingRows() != 0) {
            if (!line.LastFailure().empty()) {
                std::fprintf(stderr, "drain: %s\n", line.LastFailure().c_str());
                return 1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        drainS = Ms(Clock::now() - drainStart) / 1000;
        line.Stop(10000);
    }
    const std::string drained =
        pg->Value(database, "SELECT count(*) FROM tq9.operations WHERE bench = 'backlog'");
    std::printf("  drain %d waiting rows:          %8.1f s    goal < 60 s (%s on the server)\n",
                drainRows, drainS, drained.c_str());
    std::fflush(stdout);

    // The report over a line's year: rows made on the server, as the benches would send
    // them (8 benches, 40% programming runs, each board about 7 times, 1 in 17 failed), in
    // steps of 50 000 rows, each well within the statement limit on a busy machine.
    const std::string reportDb = pg->NewDatabase();
    {
        auto admin = LineServer::Connect(pg->Connection(reportDb), whyNot);
        int found = 0;
        if (!admin || !admin->Init(found, whyNot) ||
            !admin->Exec("SET session_replication_role = replica", whyNot)) {
            std::fprintf(stderr, "cannot set the report's line up: %s\n", whyNot.c_str());
            return 1;
        }
        constexpr int kStep = 50000;
        for (int first = 1; first <= reportRows; first += kStep) {
            const int last = std::min(reportRows, first + kStep - 1);
            if (!admin->Exec(
                    "INSERT INTO tq9.operations (uuid, bench, local_id, started, ended, host, "
                    "program, pid, operation, board_serial, firmware_version, firmware_name, "
                    "outcome, error_kind, error_count, console, bench_checked) SELECT "
                    "gen_random_uuid(), "
                    "'line-' || (i % 8), i, timestamptz '2026-01-01' + i * interval '30 "
                    "seconds', timestamptz '2026-01-01' + i * interval '30 seconds' + interval "
                    "'25 seconds', 'bench-' || (i % 8), 'tq9-bench', 4000 + i % 97, "
                    "(ARRAY['device flow', 'Reset TQ9', 'scan-core upload', 'production run', "
                    "'AVR only'])[1 + i % 5], (10000 + i / 7)::text, '3.72', 'TQ95-g3ed2', CASE "
                    "WHEN i % 17 = 0 THEN 'ended early' ELSE 'completed' END, CASE WHEN i % 17 = "
                    "0 THEN (ARRAY['FileErr', 'Taperr', 'ISP'])[1 + i % 3] ELSE '' END, (i % 17 "
                    "= 0)::int, repeat('254=3.72 [AVR, TQ95-g3ed2] a line of the run\n', 30), true "
                    "FROM generate_series(" +
                        std::to_string(first) + ", " + std::to_string(last) + ") i",
                    whyNot)) {
                std::fprintf(stderr, "cannot fill the report's rows (at row %d): %s\n", first,
                             whyNot.c_str());
                return 1;
            }
        }
        // As autovacuum does on a live server after such inserts; a maintenance step of the
        // bench's own, not a statement a bench or reader sends.
        if (!admin->Exec("SET statement_timeout = '10min'", whyNot) ||
            !admin->Exec("VACUUM ANALYZE tq9.operations", whyNot)) {
            std::fprintf(stderr, "cannot vacuum the report's rows: %s\n", whyNot.c_str());
            return 1;
        }
    }
    std::vector<double> reports;
    std::size_t days = 0;
    {
        auto reader = LineServer::Connect(pg->Connection(reportDb), whyNot);
        for (int i = 0; i < 5 && reader; ++i) {
            const auto start = Clock::now();
            const auto report = reader->Report("2026-01-01", "", "10007", whyNot);
            reports.push_back(Ms(Clock::now() - start));
            if (!report) {
                std::fprintf(stderr, "report: %s\n", whyNot.c_str());
                return 1;
            }
            days = report->rows.size();
        }
    }
    fs::remove_all(folder);

    std::printf(
        "  report over %d rows (median of %zu): %.0f ms   goal < 1000 ms (%zu day-bench "
        "rows)\n",
        reportRows, reports.size(), Percentile(reports, 0.5), reports.size() ? days : 0);
    return 0;
}
