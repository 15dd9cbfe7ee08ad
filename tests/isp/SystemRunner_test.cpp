// The platform's own runner with real programs: avrdude's stand-in (which records how it
// was called) and, where installed, the real avrdude against a port that does not exist.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#endif

#include "isp/ProgramByIsp.h"
#include "support/IspBench.h"

namespace tq9 {
namespace {

namespace fs = std::filesystem;

class SystemRunnerTest : public test::IspBench {
  protected:
    SystemRunnerTest() : system(MakeSystemProcessRunner()) { ctx.runner = system.get(); }
    std::string Calls() const {
        std::ifstream file(dir.File("avrdude-calls.txt"));
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    std::unique_ptr<ProcessRunner> system;
};

#if !defined(_WIN32)
TEST_F(SystemRunnerTest, ArgumentsWorkingDirectoryOutputAndExitCodeReachTheProgram) {
    fs::copy_file(TQ9_AVRDUDE_STANDIN_PATH, dir.File("avrdude"));
    test::TempDir work;
    const RunOutcome hidden = RunProgramAndWait(ctx, dir.WithSeparator() + "avrdude",
                                                R"(-P "/dev/tty X" a\"b -l "probe log.txt"  )",
                                                work.WithSeparator(), true);
    EXPECT_TRUE(hidden.started);
    EXPECT_EQ(hidden.exitCode, 1) << "the stand-in's port is another";
    EXPECT_EQ(Calls(), work.Path().string() + "\t-P\t/dev/tty X\ta\"b\t-l\tprobe log.txt\n");
    EXPECT_TRUE(fs::exists(work.File("probe log.txt")));
    EXPECT_TRUE(host.outputWindows.empty());

    Put("avrdude-standin.txt", "port=/dev/ttyUSB3\n");
    Put("flash.hex");
    const RunOutcome shown =
        RunProgramAndWait(ctx, dir.WithSeparator() + "avrdude",
                          "-P /dev/ttyUSB3 -U flash:w:\"flash.hex\":i", "", false);
    EXPECT_EQ(shown.exitCode, 0);
    ASSERT_EQ(host.outputWindows.size(), 1u);
    EXPECT_NE(host.outputWindows[0].text.find("Writing flash ##########"), std::string::npos)
        << host.outputWindows[0].text;
    EXPECT_TRUE(host.outputWindows[0].ended);
    EXPECT_GT(host.processCalls, 3) << "the lamp pulsed while it ran";

    EXPECT_FALSE(RunProgramAndWait(ctx, dir.WithSeparator() + "missing", "", "", true).started);
}

// The recorded command line, pasted into a shell, repeats exactly that run: the same
// arguments reach the program, and nothing else runs.
TEST_F(SystemRunnerTest, TheRecordedCommandLineRepeatsExactlyThatRun) {
    fs::copy_file(TQ9_AVRDUDE_STANDIN_PATH, dir.File("avr dude"));
    const std::string arguments =
        R"(-P /dev/ttyUSB0;id -C "it's $HOME" a\"b `x` -l "probe log.txt" "")";
    RunProgramAndWait(ctx, dir.WithSeparator() + "avr dude", arguments, "", true);
    const std::string first = Calls();
    ASSERT_NE(first.find("\t-P\t/dev/ttyUSB0;id\t-C\tit's $HOME\t"), std::string::npos) << first;
    fs::remove(dir.File("avrdude-calls.txt"));
    const std::string line = ctx.ProgramRuns.back().commandLine;
    const std::string script = dir.File("repeat.sh").string();
    std::ofstream(script) << "cd '" << dir.Path().string() << "' && " << line << "\n";
    const int status = std::system(("/bin/sh '" + script + "' >/dev/null 2>&1").c_str());
    EXPECT_TRUE(WIFEXITED(status)) << line;
    EXPECT_EQ(Calls(), first) << line;
}

TEST_F(SystemRunnerTest, AProgramDirectoryWithABlankAQuoteAndABackslashStillStarts) {
    const fs::path odd = dir.Path() / "bench \"one\"\\x";
    fs::create_directory(odd);
    fs::copy_file(TQ9_ECHO_ARGS_PATH, odd / "echo_args");
    const RunOutcome run = RunProgramAndWait(ctx, (odd / "echo_args").string(),
                                             "-P \"/dev/tty X\" --exit 4", "", true);
    ASSERT_TRUE(run.started) << run.whyNot;
    EXPECT_EQ(run.exitCode, 4);
    std::ifstream echo(odd / "echo.txt");
    std::stringstream text;
    text << echo.rdbuf();
    EXPECT_NE(text.str().find("arg:-P\narg:/dev/tty X\narg:--exit\narg:4\n"), std::string::npos)
        << text.str();
}

TEST_F(SystemRunnerTest, AnAvrdudeThatCannotBeExecutedIsReportedWithTheReason) {
    Put("TQ9gen3_ed2_b.hex");
    Put("TQ9gen3_ed2_b.eep");
    Put("avrdude");  // a file without its execute bits
    fs::permissions(dir.File("avrdude"), fs::perms::owner_read | fs::perms::owner_write);
    Connect();
    EXPECT_FALSE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "0"));
    EXPECT_EQ(Lines().back(), "##### Error: AVRdude could not be started: Permission denied");
}

TEST_F(SystemRunnerTest, CancelStopsARunningProgramAndKillsOneThatIgnoresIt) {
    for (const std::string script : {"sleep 30", "trap '' TERM; sleep 30"}) {
        SCOPED_TRACE(script);
        host.At(0, [&] { ctx.BtnCancelClick(); });  // at the first pulse
        const auto start = std::chrono::steady_clock::now();
        const RunOutcome run = RunProgramAndWait(ctx, "/bin/sh", "-c \"" + script + "\"", "", true);
        const auto seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_TRUE(run.cancelled);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_LT(seconds, 20.0) << "not left to run its 30 s";
    }
}

// What avrdude starts must not outlive it: a child left behind could hold the programmer's
// port. Here the child even ignores the polite stop.
TEST_F(SystemRunnerTest, AChildTheProgramStartedEndsWithIt) {
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "stopped on a Cancel" : "ended by itself");
        const std::string pidFile = dir.File("child.pid").string();
        fs::remove(pidFile);
        const std::string script = "(trap '' TERM; exec sleep 300) & echo $! >" + pidFile +
                                   (cancel ? "; wait" : "; exit 0");
        if (cancel) {
            host.At(0, [&] {
                for (int i = 0; i < 200 && !fs::exists(pidFile); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                ctx.BtnCancelClick();
            });
        }
        const RunOutcome run =
            RunProgramAndWait(ctx, "/bin/sh", "-c \"" + script + "\"", dir.Path().string(), true);
        EXPECT_EQ(run.cancelled, cancel);
        long pid = 0;
        std::ifstream(pidFile) >> pid;
        ASSERT_GT(pid, 0);
        // Gone, or a zombie waiting for whoever inherited it to reap it.
        auto alive = [&] {
            std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
            std::string self, name, state;
            return stat >> self >> name >> state && state != "Z";
        };
        for (int i = 0; i < 100 && alive(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(alive()) << "its child " << pid << " is still running";
        if (alive()) ::kill(static_cast<pid_t>(pid), SIGKILL);
    }
}

TEST_F(SystemRunnerTest, RealAvrdudeOnAMissingPortIsAPortFailure) {
    const fs::path avrdude = "/usr/bin/avrdude";
    const fs::path config = "/etc/avrdude.conf";
    if (!fs::exists(avrdude) || !fs::exists(config)) GTEST_SKIP() << "avrdude is not installed";
    fs::create_symlink(avrdude, dir.File("avrdude"));
    fs::copy_file(config, dir.File("avrdude.conf"));
    Put("TQ9gen3_ed2_b.hex");
    Put("TQ9gen3_ed2_b.eep");
    Connect();
    EXPECT_FALSE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "97"));
    EXPECT_EQ(Lines().back(), "##### Error: AVRdude COM. Is DIAMEX port# correct?");
}
#endif

}  // namespace
}  // namespace tq9
