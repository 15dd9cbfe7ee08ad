// Splitting a command line by the Windows rules, one row per case.

#include <gtest/gtest.h>

#include "isp/CommandLine.h"

namespace tq9 {
namespace {

TEST(SplitCommandLine, FollowsTheWindowsRules) {
    struct Row {
        std::string line;
        std::vector<std::string> args;
    };
    const Row rows[] = {
        {R"("C:\Program Files\avrdude.exe" -n -q)",
         {R"(C:\Program Files\avrdude.exe)", "-n", "-q"}},
        {R"(/opt/tq9/avrdude -C "avrdude.conf" -P COM5)",
         {"/opt/tq9/avrdude", "-C", "avrdude.conf", "-P", "COM5"}},
        {R"("p" -U flash:w:"TQ9 gen3.hex":i)", {"p", "-U", "flash:w:TQ9 gen3.hex:i"}},
        {R"("p" a\\b c\"d "e\\" f)", {"p", R"(a\\b)", R"(c"d)", R"(e\)", "f"}},
        {R"("p" "a ""quoted"" word")", {"p", R"(a "quoted" word)"}},
        {R"("p"   spaced		tabs  )", {"p", "spaced", "tabs"}},
        {R"("p" "")", {"p", ""}},
        {R"("C:\dir\" x)", {R"(C:\dir\)", "x"}},
        {"", {""}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(SplitCommandLine(row.line), row.args) << row.line;
}

}  // namespace
}  // namespace tq9
