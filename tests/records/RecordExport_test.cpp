// The records as CSV and JSON: quoting, escaping and text that is not UTF-8.

#include "records/RecordExport.h"

#include <gtest/gtest.h>

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
    r.avrdudeRuns = {{"\"avrdude\" -n", 0}, {"\"avrdude\" -U", 1}};
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
    EXPECT_NE(csv.find("\"a \"\"quoted\"\", text\r\nsecond\tline \x01 end\""), std::string::npos);
    EXPECT_NE(csv.find("\"exit 0: \"\"avrdude\"\" -n\nexit 1: \"\"avrdude\"\" -U\""),
              std::string::npos);
    EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
    EXPECT_EQ(RecordsAsCsv({}), header + "\r\n");
}

TEST(RecordExportTest, JsonEscapesControlsKeepsUtf8AndReplacesOtherBytes) {
    const std::string json = RecordAsJson(Awkward());
    EXPECT_EQ(json.rfind("{\"id\": 7, \"started\": \"2026-12-09T10:00:00Z\"", 0), 0u) << json;
    EXPECT_NE(json.find("\"com_number\": 3"), std::string::npos);
    EXPECT_NE(json.find("\"upload_size\": null"), std::string::npos);
    EXPECT_NE(json.find("\"console\": \"a \\\"quoted\\\", text\\r\\nsecond\\tline \\u0001 end\""),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"firmware_name\": \"TQ95-\\ufffdrgel\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"cable_description\": \"TTL232R-\xC3\xA4V\""), std::string::npos);
    EXPECT_EQ(RecordsAsJson({}), "[]\n");
    const std::string two = RecordsAsJson({Awkward(), Awkward()});
    EXPECT_EQ(two.front(), '[');
    EXPECT_NE(two.find("},\n {"), std::string::npos);
}

}  // namespace
}  // namespace tq9
