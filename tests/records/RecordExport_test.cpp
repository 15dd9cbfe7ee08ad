// The records as CSV and JSON: quoting, escaping, the avrdude runs, and text that is not
// UTF-8.

#include "records/RecordExport.h"
#include "isp/ProgramByIsp.h"

#include <gtest/gtest.h>

#include "base/Utf8.h"

namespace tq9 {
namespace {

OperationRecord Awkward() {
    OperationRecord r;
    r.id = 7;
    r.started = "2026-12-09T10:00:00Z";
    r.operation = "production run";
    r.boardSerial = "4711";
    r.comNumber = 3;
    r.reason = "##### Error: Missing file tq_midi.dat\n##### Error: Missing file fir_coeff.dat";
    r.console = "a \"quoted\", text\r\nsecond\tline \x01 end";
    r.firmwareName = "TQ95-\xE4rgel";          // a board's 8-bit text, not UTF-8
    r.cableDescription = "TTL232R-\xC3\xA4V";  // UTF-8 stays as it is
    r.avrdudeRuns = {{"\"avrdude\" -n", 0, ""},
                     {"\"avrdude\" -U", 1, "avrdude: writing flash\r\navrdude: \"failed\"\n"}};
    r.failedStep = kFailedFlash;
    r.boardAfter = "TQ95-g3ed1 1.23";
    r.imageMismatch = "edition 2 written, edition 1 read";
    r.typedSerial = "4712";
    return r;
}

TEST(RecordExportTest, CsvHasAHeaderRowCrlfLinesAndQuotesOnlyWhereNeeded) {
    const std::string csv = RecordsAsCsv({Awkward()});
    const std::string header = csv.substr(0, csv.find("\r\n"));
    std::string expected;
    for (const std::string& column : RecordColumns())
        expected += (expected.empty() ? "" : ",") + column;
    EXPECT_EQ(header, expected);
    EXPECT_NE(csv.find("\r\n7,2026-12-09T10:00:00Z,,,,production run,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",3,4711,"), std::string::npos);
    EXPECT_EQ(csv.substr(csv.size() - 65),
              ",flash,TQ95-g3ed1 1.23,\"edition 2 written, edition 1 read\",4712\r\n");
    EXPECT_NE(csv.find("\"a \"\"quoted\"\", text\r\nsecond\tline \x01 end\""), std::string::npos);
    // Each run's output indented below its line.
    EXPECT_NE(csv.find("\"exit 0: \"\"avrdude\"\" -n\nexit 1: \"\"avrdude\"\" -U\n"
                       "  avrdude: writing flash\r\n  avrdude: \"\"failed\"\"\""),
              std::string::npos)
        << csv;
    EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
    EXPECT_EQ(RecordsAsCsv({}), header + "\r\n");
}

TEST(RecordExportTest, JsonHoldsEveryColumnTypedAndReadsBackAsWritten) {
    const Json json = Json::parse(JsonLine(RecordJson(Awkward())));
    std::vector<std::string> keys;
    for (const auto& item : json.items())
        keys.push_back(item.key());
    EXPECT_EQ(keys, RecordColumns()) << "the columns, in their order";
    // The columns a reader of older exports knows keep their places; newer ones follow.
    const std::vector<std::string> last(keys.end() - 6, keys.end());
    EXPECT_EQ(last, (std::vector<std::string>{"console", "uuid", "failed_step", "board_after",
                                              "image_mismatch", "typed_serial"}));
    EXPECT_EQ(json["typed_serial"], "4712");
    EXPECT_EQ(json["failed_step"], "flash");
    EXPECT_EQ(json["board_after"], "TQ95-g3ed1 1.23");
    EXPECT_EQ(json["image_mismatch"], "edition 2 written, edition 1 read");
    EXPECT_EQ(json["id"], 7);
    EXPECT_EQ(json["com_number"], 3);
    EXPECT_TRUE(json["upload_size"].is_null());
    EXPECT_EQ(json["console"], "a \"quoted\", text\r\nsecond\tline \x01 end");
    EXPECT_EQ(json["firmware_name"], "TQ95-\xEF\xBF\xBDrgel");
    EXPECT_EQ(json["cable_description"], "TTL232R-\xC3\xA4V");
    EXPECT_EQ(json["avrdude_runs"],
              Json::parse(R"([{"command_line": "\"avrdude\" -n", "exit_code": 0, "output": ""},
                              {"command_line": "\"avrdude\" -U", "exit_code": 1,
                               "output": "avrdude: writing flash\r\navrdude: \"failed\"\n"}])"));
    // A control character is escaped, never written raw.
    EXPECT_NE(JsonLine(RecordJson(Awkward())).find("line \\u0001 end"), std::string::npos);
    OperationRecord unsaved;
    EXPECT_TRUE(RecordJson(unsaved)["id"].is_null());

    EXPECT_EQ(RecordsAsJson({}), "[]\n");
    const std::string two = RecordsAsJson({Awkward(), Awkward()});
    EXPECT_NE(two.find("},\n {"), std::string::npos) << "a row a line";
    EXPECT_EQ(Json::parse(two).size(), 2u);
}

// Bytes that are no UTF-8 (a board's text, a file name from another system, output
// cut mid-character) reach every export as U+FFFD, never as they are.
TEST(RecordExportTest, EveryExportIsValidUtf8WhateverTheRowHolds) {
    const std::string bad[] = {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "\xE2\x82"};
    std::string all;
    for (const std::string& b : bad)
        all += "<" + b + ">";
    OperationRecord r = Awkward();
    r.console = "console " + all;
    r.uploadFile = "/home/op/cores/" + all + ".dat";
    r.avrdudeRuns = {{"\"avrdude\" -U flash:w:" + all, 1, "output " + all}};
    const std::string r3 = "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD";
    const std::string replaced =
        "<\xEF\xBF\xBD\xEF\xBF\xBD>"
        "<" +
        r3 +
        ">"
        "<" +
        r3 +
        "\xEF\xBF\xBD>"
        "<\xEF\xBF\xBD>"
        "<\xEF\xBF\xBD>";
    const std::string exports[] = {RecordsAsCsv({r}), RecordsAsJson({r}), JsonLine(Json(all)),
                                   RecordDetail(r)};
    for (const std::string& text : exports) {
        EXPECT_EQ(Utf8Valid(text), text) << text;
        EXPECT_NE(text.find(replaced), std::string::npos) << text;
    }
    const std::string csv = exports[0];
    EXPECT_NE(csv.find("console " + replaced), std::string::npos);
    EXPECT_NE(csv.find("/home/op/cores/" + replaced + ".dat"), std::string::npos);
    EXPECT_NE(csv.find("flash:w:" + replaced), std::string::npos);
    EXPECT_NE(csv.find("output " + replaced), std::string::npos);
    EXPECT_EQ(JsonLine(Json(all)), "\"" + replaced + "\"");
}

}  // namespace
}  // namespace tq9
