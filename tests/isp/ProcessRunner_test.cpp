// The platform's own process runner (CreateProcessW on Windows, posix_spawn elsewhere)
// with a small program that writes down how it was called.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/Platform.h"
#include "isp/ProgramByIsp.h"
#include "services/StdHost.h"
#include "support/IspBench.h"

namespace tq9 {
namespace {

namespace fs = std::filesystem;

class ProcessRunnerTest : public test::IspBench {
  protected:
    ProcessRunnerTest() : system(MakeSystemProcessRunner()) {
        ctx.runner = system.get();
        const fs::path exe = fs::path(TQ9_ECHO_ARGS_PATH);
        program = (dir.Path() / exe.filename()).string();
        fs::copy_file(exe, program);
    }
    std::string Echo(const fs::path& where) const {
        std::ifstream file(where / "echo.txt", std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    std::unique_ptr<ProcessRunner> system;
    std::string program;
};

TEST_F(ProcessRunnerTest, TheProgramGetsItsArgumentsWorkingDirectoryAndItsExitCodeComesBack) {
    test::TempDir work;
    std::string workDir = work.WithSeparator();
    const RunOutcome outcome = RunProgramAndWait(
        ctx, program, "-C \"avr dude.conf\" -P COM5 a\\\"b --exit 7   \t", workDir, true);
    ASSERT_TRUE(outcome.started);
    EXPECT_EQ(outcome.exitCode, 7);
    const std::string echo = Echo(work.Path());
    EXPECT_NE(
        echo.find("arg:-C\narg:avr dude.conf\narg:-P\narg:COM5\narg:a\"b\narg:--exit\narg:7\ncwd:"),
        std::string::npos)
        << echo;
#if defined(_WIN32)
    // The program sees the quoted path, one blank and the trimmed arguments.
    EXPECT_NE(
        echo.find("cmdline:\"" + program + "\" -C \"avr dude.conf\" -P COM5 a\\\"b --exit 7\n"),
        std::string::npos)
        << echo;
#endif
    EXPECT_GT(host.processCalls, 0) << "the lamp pulsed between wait slices";
}

TEST_F(ProcessRunnerTest, AnEmptyWorkingDirectoryIsTheProgramsOwn) {
    RunProgramAndWait(ctx, program, "x", "", true);
    EXPECT_NE(Echo(dir.Path()).find("arg:x\n"), std::string::npos);
}

TEST_F(ProcessRunnerTest, AProgramThatDoesNotExistIsNotStarted) {
    EXPECT_FALSE(RunProgramAndWait(ctx, program + ".missing", "", "", true).started);
}

TEST(FineTimer, OneMillisecondPausesLastAboutOneMillisecond) {
    StdHost host;
    constexpr int kPauses = 200;
    FineTimerResolution fine;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kPauses; ++i)
        host.Sleep(1);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    // A figure to read, not a promise: machines differ.
    std::printf("%d pauses of 1 ms with the fine timer: %.3f ms each\n", kPauses, ms / kPauses);
    SUCCEED();
}

}  // namespace
}  // namespace tq9
