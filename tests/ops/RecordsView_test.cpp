// The records window's rules that both windows keep: the filter the fields make (or why a
// date is refused), the count line, the export over a real records file, and what a late
// answer of the line may still show.

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

// The line's answer comes from a thread, late: once the operator has gone back to this PC's
// rows (or to a refused date), it shows nothing; the newest read's answer shows.
TEST(RecordsView, ALateAnswerOfTheLineShowsOnlyWhileItsReadIsTheNewest) {
    struct Window : RecordsFrontEnd {
        void ShowPage(const RecordsPage& page) override { pages.push_back(page); }
        void ShowSummary(const std::string& text) override { summary = text; }
        void ReadLineApart(int reading, const std::string&, const RecordFilter&) override {
            readings.push_back(reading);
        }
        void ShowWarning(const std::string& text) override { warnings.push_back(text); }
        std::vector<RecordsPage> pages;
        std::string summary;
        std::vector<int> readings;
        std::vector<std::string> warnings;
    } window;
    test::TempDir dir;
    std::string whyNot;
    auto store = RecordStore::Open(dir.File("records.sqlite3").string(), whyNot);
    ASSERT_TRUE(store) << whyNot;
    RecordsWindowRules rules(*store, "service=line", window);
    RecordsFields fields{"", kAnyEntry, kAnyEntry, "", "", true, ""};

    rules.Refresh(fields);
    ASSERT_EQ(window.readings.size(), 1u);
    EXPECT_EQ(window.summary, kReadingLine);
    EXPECT_TRUE(window.pages.empty()) << "the rows shown stay until the line answers";
    rules.Refresh(fields);  // Show again before the first answer came
    fields.wholeLine = false;
    rules.Refresh(fields);
    ASSERT_EQ(window.pages.size(), 1u);
    EXPECT_EQ(window.pages.back().count, "0 rows");

    RecordsRead late;
    late.rows.resize(3);
    late.total = 3;
    late.summary = "the line's day";
    EXPECT_FALSE(rules.LineRead(window.readings[0], late));
    EXPECT_FALSE(rules.LineRead(window.readings[1], late));
    EXPECT_EQ(window.pages.size(), 1u) << "this PC's rows stay";

    fields.wholeLine = true;
    rules.Refresh(fields);
    fields.since = "2026-02-30";
    rules.Refresh(fields);
    EXPECT_FALSE(rules.LineRead(window.readings.back(), late)) << "the refusal stays";
    EXPECT_TRUE(window.pages.back().refused);
    EXPECT_FALSE(rules.Detail(0));
    EXPECT_TRUE(rules.ExportRefused());
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_EQ(window.warnings[0], ExportRefusedText(window.pages.back().count));

    fields.since.clear();
    rules.Refresh(fields);
    EXPECT_TRUE(rules.LineRead(window.readings.back(), late));
    EXPECT_EQ(window.pages.back().count, "3 rows");
    EXPECT_TRUE(window.pages.back().line);
    EXPECT_EQ(window.summary, "the line's day");
    EXPECT_TRUE(rules.Detail(2));
    EXPECT_FALSE(rules.ExportRefused());
}

}  // namespace
}  // namespace tq9
