// tq9ctl's subcommands in this process, as a script runs them (no terminal): on a bench
// directory with the simulated driver library beside it, and the records in a folder of
// the test's own. Also run under wine, where the Windows build keeps its records too.

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/CtlRun.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace tq9 {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class CommandsTest : public ::testing::Test {
  protected:
    CommandsTest() {
        fs::copy_file(TQ9_SIM_DRIVER_PATH, dir.Path() / fs::path(TQ9_SIM_DRIVER_PATH).filename());
    }
    // Each JSON object the command wrote, and its exit code.
    std::vector<json> Ctl(const std::vector<std::string>& args, int& exitCode) const {
        const test::CtlRun run = test::RunCtlHere(args, dir.WithSeparator());
        exitCode = run.exitCode;
        std::vector<json> objects;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);)
            objects.push_back(json::parse(line));
        return objects;
    }
    test::TempDir dir;
    test::ScopedEnv home{test::kRecordsHome, (dir.Path() / "home").string()};
};

TEST_F(CommandsTest, ListIdentifyAndRecordsForAScript) {
    int exitCode = -1;
    const auto list = Ctl({"list", "--json"}, exitCode);
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]["cables"].size(), 2u) << list[0];

    const auto identify = Ctl({"identify", "--cable", "TQ9A0001", "--json"}, exitCode);
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(identify.size(), 1u);
    EXPECT_EQ(identify[0]["outcome"], "completed") << identify[0];
    EXPECT_EQ(identify[0]["board_serial"], "12345");
    EXPECT_TRUE(identify[0]["record_warning"].is_null()) << identify[0]["record_warning"];

    // Its row is in the records, the same object but for what only the operation has.
    const test::CtlRun records = test::RunCtlHere({"records", "--json"}, dir.WithSeparator());
    EXPECT_EQ(records.exitCode, 0);
    const json rows = json::parse(records.out);
    ASSERT_EQ(rows.size(), 1u) << records.out;
    for (const auto& [field, value] : rows[0].items())
        EXPECT_EQ(identify[0][field], value) << field;
}

}  // namespace
}  // namespace tq9
