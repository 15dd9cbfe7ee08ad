// The records window's rules that both windows keep: the filter the fields make (or why a
// date is refused), the count line, and the export over a real records file.

#include "ops/RecordsView.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "records/RecordExport.h"
#include "support/TempDir.h"

namespace tq9 {
namespace {

TEST(RecordsView, TheFieldsMakeTheFilterOrSayWhichDateIsRefused) {
    const struct {
        RecordsFields fields;
        RecordFilter filter;  // serial, operation, outcome, since, until, limit, bench
        bool line;
        std::string refusal;
    } rows[] = {
        {{" 4711\t", kAnyEntry, kAnyEntry, "", "", false, "line-3"},
         {"4711", "", "", "", "", 100, ""},
         false,
         ""},
        {{"", "AVR only", kOutcomeEndedEarly, " 2026-12-01 ", "2026-12-09T16", true, " line-3 "},
         {"", "AVR only", kOutcomeEndedEarly, "2026-12-01", "2026-12-09T16", 100, "line-3"},
         true,
         ""},
        {{"", kAnyEntry, kAnyEntry, "2026-02-28", " 2026-02-30", false, ""},
         {"", "", "", "2026-02-28", "2026-02-30", 100, ""},
         false,
         "\"2026-02-30\" is not a valid date: write it as YYYY-MM-DD (a day that exists), for "
         "example 2026-12-09."},
        {{"", kAnyEntry, kAnyEntry, "9.12.2026", "2026-02-30", false, ""},
         {"", "", "", "9.12.2026", "2026-02-30", 100, ""},
         false,
         "\"9.12.2026\" is not a valid date: write it as YYYY-MM-DD (a day that exists), for "
         "example 2026-12-09."},
    };
    for (const auto& row : rows) {
        const RecordsQuery query = QueryOf(row.fields, 100);
        const RecordFilter& f = query.filter;
        const std::string at =
            "serial '" + row.fields.serial + "', since '" + row.fields.since + "'";
        EXPECT_EQ(f.boardSerial, row.filter.boardSerial) << at;
        EXPECT_EQ(f.operation, row.filter.operation) << at;
        EXPECT_EQ(f.outcome, row.filter.outcome) << at;
        EXPECT_EQ(f.since, row.filter.since) << at;
        EXPECT_EQ(f.until, row.filter.until) << at;
        EXPECT_EQ(f.limit, row.filter.limit) << at;
        EXPECT_EQ(f.bench, row.filter.bench) << at << ": the bench only for the whole line";
        EXPECT_EQ(query.line, row.line) << at;
        EXPECT_EQ(query.refusal, row.refusal) << at;
    }
    EXPECT_EQ(RecordsCountText(0, 0), "0 rows");
    EXPECT_EQ(RecordsCountText(1, 1), "1 row");
    EXPECT_EQ(RecordsCountText(100, 101), "100 of 101 rows");
}

// The export reads every row the shown query takes, not only those shown, and a file that
// cannot be written is said with its path.
TEST(RecordsView, AnExportWritesEveryRowTheQueryTakesOrSaysWhyNot) {
    test::TempDir dir;
    const std::string storePath = dir.File("records.sqlite3").string();
    {
        std::string whyNot;
        auto store = RecordStore::Open(storePath, whyNot);
        ASSERT_TRUE(store) << whyNot;
        for (int i = 0; i < 3; ++i) {
            OperationRecord r;
            r.started = UtcNowIso8601();
            r.operation = i == 1 ? "reset" : "AVR only";
            r.boardSerial = "47" + std::to_string(i);
            r.outcome = kOutcomeCompleted;
            ASSERT_TRUE(store->Begin(r, whyNot)) << whyNot;
            ASSERT_TRUE(store->Finish(r, whyNot)) << whyNot;
        }
    }
    RecordsFields fields;
    fields.operation = "AVR only";
    fields.outcome = kAnyEntry;
    const RecordsQuery shown = QueryOf(fields, 1);
    const std::string path = dir.File("export.json").string();
    ASSERT_EQ(ExportRecords(shown, storePath, path, RecordsFormat::Json), "");
    std::stringstream json;
    json << std::ifstream(path).rdbuf();
    EXPECT_EQ(Json::parse(json.str()).size(), 2u) << json.str();
    EXPECT_EQ(json.str().find("\"reset\""), std::string::npos) << json.str();

    const std::string nowhere = dir.File("missing").string() + "/export.csv";
    const std::string whyNot = ExportRecords(shown, storePath, nowhere, RecordsFormat::Csv);
    EXPECT_EQ(whyNot.rfind("cannot write " + nowhere, 0), 0u) << whyNot;
    EXPECT_FALSE(std::filesystem::exists(nowhere));
    EXPECT_EQ(ExportFailedText(nowhere, whyNot),
              "The records could not be exported to " + nowhere + ": " + whyNot);
}

}  // namespace
}  // namespace tq9
