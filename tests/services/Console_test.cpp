#include <gtest/gtest.h>

#include "services/Console.h"
#include "sim/ScriptedHost.h"

namespace tq9 {
namespace {

TEST(Console, KeepsLinesInOrderAndTellsTheView) {
    sim::VirtualClock clock;
    sim::ScriptedHost host(clock);
    Console console(&host);
    console.Add("first");
    console.Add("");
    console.Add("third");
    EXPECT_EQ(console.Lines(), (std::vector<std::string>{"first", "", "third"}));
    EXPECT_EQ(console.Text(), "first\n\nthird");
    console.Clear();
    EXPECT_TRUE(console.Lines().empty());
    EXPECT_EQ(host.consoleUpdates, 4);
}

TEST(Console, TakesAWholeTextSplitAtAnyLineEnd) {
    struct Row {
        std::string text;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {"", {}},
        {"one", {"one"}},
        {"one\r\ntwo", {"one", "two"}},
        {"one\ntwo\n", {"one", "two"}},
        {"one\r\rtwo", {"one", "", "two"}},
        {"\n", {""}},
    };
    for (const auto& row : rows) {
        Console console;
        console.Add("old");
        console.SetText(row.text);
        EXPECT_EQ(console.Lines(), row.lines) << "text: " << ::testing::PrintToString(row.text);
    }
}

}  // namespace
}  // namespace tq9
