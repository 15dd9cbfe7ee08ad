// tq9ctl as a user runs it: the built program in a program directory of its own with the
// simulated driver library beside it (two cables, the first with an emulated board), its
// standard output, standard error and exit code.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/TempDir.h"

#if !defined(_WIN32)
#include <sys/wait.h>

namespace tq9 {
namespace {

namespace fs = std::filesystem;

class CtlTest : public ::testing::Test {
  protected:
    CtlTest() {
        fs::copy_file(TQ9_CTL_PATH, dir.File("tq9ctl"));
        fs::copy_file(TQ9_SIM_DRIVER_PATH, dir.File("libftd2xx.so"));
    }
    struct Run {
        int exitCode;
        std::string out, err;
    };
    Run Ctl(const std::string& arguments) const {
        const std::string err = dir.File("stderr.txt").string();
        const std::string command = "cd '" + dir.Path().string() + "' && ./tq9ctl " + arguments +
                                    " 2>'" + err + "' </dev/null";
        Run run{-1, {}, {}};
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[4096];
            for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
                run.out.append(buffer, got);
            const int status = ::pclose(pipe);
            run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::stringstream text;
        text << std::ifstream(err).rdbuf();
        run.err = text.str();
        return run;
    }
    test::TempDir dir;
};

TEST_F(CtlTest, ListNamesTheCablesAndTheDriver) {
    const Run run = Ctl("list");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Driver: FTDI D2XX (program directory)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("0\tTQ9A0001\tTTL232R-5V\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1\tFT5X2K9Q\tFT232R USB UART\n"), std::string::npos) << run.out;
}

TEST_F(CtlTest, IdentifyRunsTheDeviceFlowAndPrintsTheConsole) {
    const Run run = Ctl("identify --cable TQ9A0001");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (const char* line :
         {"Open FTDI device...\n", "Using FTDI Device #0 on COM port #0\n", "RLD\n",
          "Serial Number: 12345\n", "Firmware Version: TQ95-Organ #3.65\n",
          "Closed FTDI device. Ready to unplug USB cable from PC.\n"}) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << " not in:\n" << run.out;
    }
    EXPECT_EQ(run.out.find("console cleared"), std::string::npos);
}

TEST_F(CtlTest, BoardOperationsRunTheirButtonsBetweenOpenAndClose) {
    const Run reset = Ctl("reset");
    EXPECT_EQ(reset.exitCode, 0) << reset.err;
    // Identified on opening, then again by Reset TQ9's reboot.
    std::size_t reboots = 0;
    for (std::size_t at = 0; (at = reset.out.find("RLD\n", at)) != std::string::npos; ++at)
        ++reboots;
    EXPECT_EQ(reboots, 2u) << reset.out;

    const Run port = Ctl("test-port 'Vib Input Upper' --cable TQ9A0001");
    EXPECT_EQ(port.exitCode, 0) << port.err;

    std::ofstream(dir.File("core.dat"), std::ios::binary).write("\1\0\0\0\2\0\0\0", 8);
    const Run upload = Ctl("upload core.dat --core 2");
    EXPECT_EQ(upload.exitCode, 0) << upload.err;
    for (const char* line : {"### 2 Longwords read.\n", "### 8 Bytes sent.\n",
                             "Core 2 loaded: 2 words, sum 00000003\n",
                             "Closed FTDI device. Ready to unplug USB cable from PC.\n"}) {
        EXPECT_NE(upload.out.find(line), std::string::npos) << line << " not in:\n" << upload.out;
    }
}

TEST_F(CtlTest, BadInputSaysWhatWasWrongAndOpensNothing) {
    struct Row {
        const char* arguments;
        const char* says;
    };
    for (const Row& row : {Row{"identify --cable NOPE", "no cable with serial NOPE"},
                           Row{"identify --index 5", "no cable at index 5 (2 attached)"},
                           Row{"identify --index x", "--index takes a number from 0"},
                           Row{"identify --cable", "--cable needs a value"},
                           Row{"frobnicate", "unknown command frobnicate"}, Row{"", "no command"},
                           Row{"test-port 8", "no test-port entry 8"},
                           Row{"test-port 'No Such Entry'", "no test-port entry No Such Entry"},
                           Row{"upload missing.dat", "cannot read missing.dat"},
                           Row{"upload big.dat", "big.dat holds 16385 words, at most 16384 fit"},
                           Row{"upload small.dat --core -1", "--core takes a number from 0"},
                           Row{"reset extra", "reset takes no argument"}}) {
        SCOPED_TRACE(row.arguments);
        fs::resize_file((std::ofstream(dir.File("big.dat")), dir.File("big.dat")), 16385 * 4);
        const Run run = Ctl(row.arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
        EXPECT_EQ(run.out.find("Using FTDI Device"), std::string::npos) << run.out;
    }
    const Run help = Ctl("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: tq9ctl list"), std::string::npos);
}

TEST_F(CtlTest, WithoutAnyCableTheExitCodeSaysSo) {
    fs::remove(dir.File("libftd2xx.so"));  // libftdi1 or nothing: no cable on this machine
    const Run run = Ctl("list");
    EXPECT_EQ(run.exitCode, 3) << run.out << run.err;
}

}  // namespace
}  // namespace tq9
#endif
