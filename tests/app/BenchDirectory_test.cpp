#include "app/BenchDirectory.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace tq9 {
namespace {

// The installed program finds the bench's directory where the installer (or an admin in
// Notepad) named it beside the program; a program without that note keeps its own.
TEST(BenchDirectoryTest, AnInstalledProgramUsesTheDirectoryNamedBesideIt) {
    test::TempDir programs;
    const std::string own = programs.WithSeparator();
    EXPECT_EQ(BenchDirectoryBeside(own), own) << "no note: the program's own directory";
    const auto note = [&](const std::string& text) {
        std::ofstream(programs.File(kBenchDirectoryFile), std::ios::binary) << text;
    };
    note("");
    EXPECT_EQ(BenchDirectoryBeside(own), own) << "an empty note";

    const char separator = own.back();
    note(
        "\xEF\xBB\xBF"
        "C:/bench \r\nignored\r\n");
    EXPECT_EQ(BenchDirectoryBeside(own), std::string("C:/bench") + separator);
    note("D:\\bench\\\r\n");
    EXPECT_EQ(BenchDirectoryBeside(own), "D:\\bench\\");

    test::ScopedEnv data("TQ9_TEST_DATA", "E:\\Data");
    note("%TQ9_TEST_DATA%\\tq9-bench\\bench");
#if defined(_WIN32)
    EXPECT_EQ(BenchDirectoryBeside(own), "E:\\Data\\tq9-bench\\bench\\");
#else
    EXPECT_EQ(BenchDirectoryBeside(own), "%TQ9_TEST_DATA%\\tq9-bench\\bench/");
#endif
}

}  // namespace
}  // namespace tq9
