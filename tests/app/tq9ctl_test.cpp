// tq9ctl as a user runs it: the built program in a program directory of its own with the
// simulated driver library beside it (two cables, the first with an emulated board), its
// standard output, standard error and exit code.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "support/TempDir.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>

#include <chrono>
#include <thread>

#include "base/Sha256.h"
#include "records/RecordExport.h"
#include "records/RecordStore.h"
#include "records/Recorder.h"
#include "sim/ServerProcess.h"
#include "support/Shell.h"

namespace tq9 {
namespace {

namespace fs = std::filesystem;

class CtlTest : public ::testing::Test {
  protected:
    CtlTest() {
        fs::copy_file(TQ9_CTL_PATH, dir.File("tq9ctl"));
        fs::copy_file(TQ9_SIM_DRIVER_PATH, dir.File("libftd2xx.so"));
    }
    using Run = test::CtlRun;
    Run Ctl(const std::string& arguments) const {
        // Its board records go into the test's folder, never the user's home.
        return test::RunShell("cd '" + dir.Path().string() + "' && XDG_DATA_HOME='" +
                                  dir.Path().string() + "' ./tq9ctl " + arguments + " </dev/null",
                              dir.File("stderr.txt"));
    }
    test::TempDir dir;
};

TEST_F(CtlTest, ListNamesTheCablesAndTheDriver) {
    const Run run = Ctl("list");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Driver: FTDI D2XX (program directory)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("0\tTQ9A0001\tTTL232R-5V\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1\tFT5X2K9Q\tFT232R USB UART\n"), std::string::npos) << run.out;
    const Run json = Ctl("list --json");
    EXPECT_EQ(json.exitCode, 0) << json.err;
    const Json list = Json::parse(json.out);
    EXPECT_EQ(list["driver"], "FTDI D2XX (program directory)");
    EXPECT_EQ(list["cables"], Json::parse(R"([
        {"index": 0, "serial": "TQ9A0001", "description": "TTL232R-5V"},
        {"index": 1, "serial": "FT5X2K9Q", "description": "FT232R USB UART"}])"));
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

// The usage errors are tested in full in the command line's own test; here, that the
// program refuses before a cable is opened, and that a cable the command line names but
// the driver lacks is refused too.
TEST_F(CtlTest, BadInputSaysWhatWasWrongAndOpensNothing) {
    struct Row {
        const char* arguments;
        const char* says;
    };
    for (const Row& row : {Row{"identify --cable NOPE", "no cable with serial NOPE"},
                           Row{"identify --index 5", "no cable at index 5 (2 attached)"},
                           Row{"identify --index x", "--index: x is not a row"},
                           Row{"frobnicate", "unknown command frobnicate"}, Row{"", "no command"},
                           Row{"upload big.dat", "big.dat holds 16385 words, at most 16384 fit"},
                           Row{"reset extra", "reset takes no argument"}}) {
        SCOPED_TRACE(row.arguments);
        fs::resize_file((std::ofstream(dir.File("big.dat")), dir.File("big.dat")), 16385 * 4);
        const Run run = Ctl(row.arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
        EXPECT_EQ(run.out.find("Using FTDI Device"), std::string::npos) << run.out;
    }
    // Refused after the device flow, for scripts: the flow's object, then the refusal's.
    const Run json = Ctl("identify --cable NOPE --json");
    EXPECT_EQ(json.exitCode, 2);
    std::istringstream objects(json.out);
    std::string flow, refusal;
    std::getline(objects, flow);
    std::getline(objects, refusal);
    EXPECT_EQ(Json::parse(flow)["operation"], "device flow") << json.out;
    EXPECT_EQ(Json::parse(refusal),
              Json::parse(R"({"error": "no cable with serial NOPE", "exit_code": 2})"));
    // Exactly the buffer's size is taken (here on the cable without a board, so nothing is
    // sent and the flow fails on its own).
    fs::resize_file((std::ofstream(dir.File("exact.dat")), dir.File("exact.dat")), 16384 * 4);
    const Run exact = Ctl("upload exact.dat --cable FT5X2K9Q");
    EXPECT_EQ(exact.exitCode, 1) << exact.err;
    EXPECT_NE(exact.out.find("No response from TQ9 serial port driver!"), std::string::npos)
        << exact.out;
}

// The production bench from a terminal: Debian's avrdude linked into the program directory,
// the demo's images, and the emulated programmer whose chip the emulated board runs.
class CtlIspTest : public CtlTest {
  protected:
    void SetUp() override {
        if (!fs::exists("/usr/bin/avrdude") || !fs::exists("/etc/avrdude.conf")) {
            GTEST_SKIP() << "Debian's avrdude is not installed";
        }
        ASSERT_EQ(std::system((std::string(TQ9_MAKE_BENCH_FILES_PATH) + " '" + dir.WithSeparator() +
                               "' >/dev/null")
                                  .c_str()),
                  0);
        fs::remove(dir.File("avrdude"));
        fs::create_symlink("/usr/bin/avrdude", dir.File("avrdude"));
        fs::copy_file("/etc/avrdude.conf", dir.File("avrdude.conf"),
                      fs::copy_options::overwrite_existing);
    }
    // A sound programmer's chip is the one the emulated board runs (the bench files made it
    // with the production fuses); a faulty one has a factory-fresh chip of its own.
    std::unique_ptr<sim::IspEmulatorProcess> Programmer(const std::string& fault = "none") {
        const std::string name =
            "tq9-ctl-" + std::to_string(::getpid()) + "-" + std::to_string(++programmers_);
        auto programmer = std::make_unique<sim::IspEmulatorProcess>(
            TQ9_ISP_EMULATOR_PATH, "/dev/shm/" + name,
            dir.File(fault == "none" ? "isp-state" : name).string(), fault);
        EXPECT_FALSE(programmer->Port().empty());
        return programmer;
    }
    static std::string AvrOnly(const std::string& port) {
        return "program --avr-only --firmware TQ9gen3_ed2_b.hex --diamex " + port + " --yes";
    }
    // tq9ctl in the background, its output and errors into `out`; its process number (a
    // child of this one, so its exit code can be had).
    pid_t Background(const std::string& arguments, const std::string& out) const {
        const std::string command = "cd '" + dir.Path().string() + "' && XDG_DATA_HOME='" +
                                    dir.Path().string() + "' exec ./tq9ctl " + arguments + " >'" +
                                    out + "' 2>&1 </dev/null";
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return pid;
    }
    // Its exit code, once it has ended (-1 when it has not within 30 s).
    static int Reap(pid_t pid) {
        for (int i = 0; i < 3000; ++i) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    // The avrdude processes whose command line holds `text` (a programmer's port, say).
    // Processes of the machine come and go meanwhile: one that is gone is passed over.
    static int Running(const std::string& text) {
        int found = 0;
        std::error_code error;
        for (fs::directory_iterator at("/proc", error), end; !error && at != end;
             at.increment(error)) {
            const fs::directory_entry& entry = *at;
            const std::string name = entry.path().filename().string();
            if (name.find_first_not_of("0123456789") != std::string::npos) continue;
            std::ifstream file(entry.path() / "cmdline", std::ios::binary);
            std::string line((std::istreambuf_iterator<char>(file)),
                             std::istreambuf_iterator<char>());
            std::ifstream stat(entry.path() / "stat");
            std::string self, command, state;
            if (!(stat >> self >> command >> state)) continue;
            const std::string program = line.substr(0, line.find('\0'));
            const bool avrdude =
                program.size() >= 7 && program.substr(program.size() - 7) == "avrdude";
            if (state != "Z" && avrdude && line.find(text) != std::string::npos) ++found;
        }
        return found;
    }
    // Waits until an avrdude runs on `port`.
    static bool AvrdudeStarted(const std::string& port) {
        for (int i = 0; i < 1000; ++i) {
            if (Running(port) > 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    std::string Text(const std::string& file) const {
        std::stringstream text;
        text << std::ifstream(file).rdbuf();
        return text.str();
    }
    std::vector<OperationRecord> Records() const {
        std::string whyNot;
        auto store = RecordStore::Open(dir.File("tq9-bench/records.sqlite3").string(), whyNot);
        RecordFilter all;
        all.limit = 0;
        return store ? store->Find(all, whyNot) : std::vector<OperationRecord>{};
    }

  private:
    int programmers_ = 0;
};

TEST_F(CtlIspTest, ProgramRunsAvrOnlyWithTheRealAvrdudeOnceItsDialogsCanBeAnswered) {
    const auto programmer = Programmer();
    const std::string program =
        "program --avr-only --firmware TQ9gen3_ed2_b.hex --diamex " + programmer->Port();

    // Refused before any cable is opened: nobody to press Enter, a port avrdude must not
    // get, an image the bench lacks.
    fs::remove(dir.File("TQ9gen3_ed5_b.hex"));
    for (const auto& [arguments, says] :
         {std::pair<std::string, std::string>{program, "run it on a terminal"},
          {"program --firmware TQ9gen3_ed2_b.hex --diamex 'COM 3' --yes",
           "--diamex: COM 3 is not a port number"},
          {"program --firmware TQ9gen3_ed2_b.hex --diamex /dev/../tmp/x --yes",
           "--diamex: /dev/../tmp/x is not a port number"},
          {"program --firmware TQ9gen3_ed5_b.hex --diamex 0 --yes",
           "missing firmware image TQ9gen3_ed5_b.hex"},
          {"program --firmware other.hex --diamex 0 --yes", "no firmware image other.hex"},
          {"program --diamex 0 --yes", "--firmware is required"}}) {
        const Run run = Ctl(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments;
        EXPECT_NE(run.err.find(says), std::string::npos) << arguments << ": " << run.err;
        EXPECT_EQ(run.out.find("Using FTDI Device"), std::string::npos) << run.out;
    }
    EXPECT_FALSE(fs::exists(dir.File("avrdude.log")));

    const Run run = Ctl(program + " --yes");
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    for (const char* line :
         {"Firmware Version: TQ95-g3ed1 #3.71\n", "Setting AVR Fuse Bits...\n",
          "avrdude: device signature = 0x1e960a (probably m644p)\n",
          "avrdude: 512 bytes of eeprom verified\n", "Firmware Version: TQ95-g3ed2 #3.72\n",
          "Closed FTDI device. Ready to unplug USB cable from PC.\n"}) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << " not in:\n" << run.out;
    }
    EXPECT_TRUE(fs::exists(dir.File("avrdude.log"))) << "avrdude runs in the program directory";

    // The record holds what the window's would: the image, its digest, the port, and each
    // run with its output.
    const std::string sha = *Sha256OfFile(dir.File("TQ9gen3_ed2_b.hex").string());
    const OperationRecord row = Records().front();
    EXPECT_EQ(row.operation, "AVR only");
    EXPECT_EQ(row.image, "TQ9gen3_ed2_b.hex");
    EXPECT_EQ(row.imageSha256, sha);
    EXPECT_EQ(row.diamexPort, programmer->Port());
    ASSERT_EQ(row.avrdudeRuns.size(), 4u);
    EXPECT_NE(row.avrdudeRuns[2].output.find("1 byte of efuse verified"), std::string::npos)
        << row.avrdudeRuns[2].output;
    EXPECT_NE(row.avrdudeRuns[3].output.find("bytes of flash verified"), std::string::npos);
    const Run json = Ctl(program + " --yes --json");
    EXPECT_EQ(json.exitCode, 0) << json.err;
    const Json pass = Json::parse(json.out.substr(json.out.find("\n") + 1));
    EXPECT_EQ(pass["operation"], "AVR only");
    EXPECT_EQ(pass["image"], "TQ9gen3_ed2_b.hex");
    EXPECT_EQ(pass["image_sha256"], sha);
    EXPECT_EQ(pass["diamex_port"], programmer->Port());
    ASSERT_EQ(pass["avrdude_runs"].size(), 4u);
    EXPECT_NE(pass["avrdude_runs"][3]["output"].get<std::string>().find("verified"),
              std::string::npos);
    EXPECT_TRUE(pass["record_warning"].is_null());
}

TEST_F(CtlIspTest, AFailedPassSaysSoInItsExitCode) {
    const auto programmer = Programmer("fuses-ignored");
    const Run fuses = Ctl(AvrOnly(programmer->Port()));
    EXPECT_EQ(fuses.exitCode, 1) << fuses.out;
    EXPECT_NE(fuses.out.find("##### Error: AVRdude fuse verify failed (exit code 1)\n"),
              std::string::npos)
        << fuses.out;
    EXPECT_EQ(fuses.out.find("flash:w:"), std::string::npos) << "no flash run";

    // The programmer gone.
    const Run failed = Ctl(AvrOnly(programmer->Port() + "-gone"));
    EXPECT_EQ(failed.exitCode, 1) << failed.out;
    EXPECT_NE(failed.out.find("##### Error"), std::string::npos) << failed.out;
}

// Two stations on one bench directory, one with a sound programmer and one with the wrong
// chip fitted: each judges, shows and records its own probe's log.
TEST_F(CtlIspTest, TwoStationsAtOnceEachKeepTheirOwnProbeLog) {
    const auto sound = Programmer();
    const auto wrong = Programmer("wrong-signature");
    for (int pair = 0; pair < 2; ++pair) {
        SCOPED_TRACE("pair " + std::to_string(pair));
        const std::string soundOut = dir.File("sound.txt").string();
        const std::string wrongOut = dir.File("wrong.txt").string();
        const pid_t a = Background(AvrOnly(sound->Port()), soundOut);
        const pid_t b = Background(AvrOnly(wrong->Port()), wrongOut);
        EXPECT_EQ(Reap(a), 0) << Text(soundOut);
        EXPECT_EQ(Reap(b), 1) << Text(wrongOut);
        const std::string soundText = Text(soundOut), wrongText = Text(wrongOut);
        EXPECT_EQ(soundText.find("expected signature"), std::string::npos) << soundText;
        EXPECT_NE(wrongText.find("expected signature"), std::string::npos) << wrongText;
        for (const OperationRecord& row : Records()) {
            if (row.operation != "AVR only") continue;
            const bool isSound = row.diamexPort == sound->Port();
            EXPECT_EQ(row.probeLog.find("expected signature") == std::string::npos, isSound)
                << row.diamexPort << ":\n"
                << row.probeLog;
            EXPECT_EQ(row.outcome, isSound ? kOutcomeCompleted : kOutcomeEndedEarly);
        }
    }
}

// Ctrl-C while avrdude waits for a programmer that never answers (left alone, about four
// minutes): the first stops it as the window's Cancel does; a second ends tq9ctl at once.
// Either way no avrdude is left holding the port, the output is all there, and the
// record says how it ended.
TEST_F(CtlIspTest, CtrlCStopsAvrdudeAndASecondEndsAtOnce) {
    const auto silent = Programmer("silent");
    for (const int presses : {1, 2}) {
        SCOPED_TRACE(std::to_string(presses) + " Ctrl-C");
        const std::string out = dir.File("out.txt").string();
        const pid_t ctl = Background(AvrOnly(silent->Port()), out);
        ASSERT_TRUE(AvrdudeStarted(silent->Port()));
        // Each line as it happens, also into a file: a station's log shows the pass so far.
        EXPECT_NE(Text(out).find("Programming with DIAMEX ISP on COM " + silent->Port() + "\n"),
                  std::string::npos)
            << Text(out);
        for (int i = 0; i < presses; ++i) {
            ::kill(ctl, SIGINT);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_EQ(Reap(ctl), 130);
        EXPECT_EQ(Running(silent->Port()), 0) << "avrdude outlived tq9ctl";
        const std::string text = Text(out);
        EXPECT_NE(text.find("Programming with DIAMEX ISP on COM " + silent->Port() + "\n"),
                  std::string::npos)
            << text;
        const OperationRecord row = Records().front();
        EXPECT_EQ(row.operation, "AVR only");
        if (presses == 1) {
            EXPECT_EQ(row.outcome, kOutcomeCancelled) << row.reason;
            EXPECT_NE(text.find("Closed FTDI device."), std::string::npos) << text;
        } else {
            EXPECT_EQ(row.outcome, kOutcomeEndedEarly);
            EXPECT_EQ(row.reason, "tq9ctl was ended by a second Ctrl-C");
        }
    }
    // A second Ctrl-C once the first has stopped avrdude cuts the pass's 2 s board wait: it
    // ends tq9ctl there and then, not once the wait has run out.
    const std::string out = dir.File("out.txt").string();
    const pid_t ctl = Background(AvrOnly(silent->Port()), out);
    ASSERT_TRUE(AvrdudeStarted(silent->Port()));
    ::kill(ctl, SIGINT);
    for (int i = 0; i < 500 && Running(silent->Port()) > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto second = std::chrono::steady_clock::now();
    ::kill(ctl, SIGINT);
    EXPECT_EQ(Reap(ctl), 130);
    // The wait had nearly all its 2 s left; a bound well short of them, and far above the
    // few milliseconds it takes.
    EXPECT_LT(std::chrono::steady_clock::now() - second, std::chrono::milliseconds(1'500));
    const OperationRecord row = Records().front();
    EXPECT_EQ(row.outcome, kOutcomeEndedEarly) << Text(out);
    EXPECT_EQ(row.reason, "tq9ctl was ended by a second Ctrl-C");
}

// A run killed in the middle (here an upload) leaves its row running; the next start
// marks it interrupted, and the rows before it stay as they were.
TEST_F(CtlTest, ARunKilledInTheMiddleIsMarkedInterruptedAtTheNextStart) {
    fs::resize_file((std::ofstream(dir.File("long.dat")), dir.File("long.dat")), 8000 * 4);
    const std::string pidFile = dir.File("pid").string();
    ASSERT_EQ(std::system(("cd '" + dir.Path().string() + "' && XDG_DATA_HOME='" +
                           dir.Path().string() + "' ./tq9ctl upload long.dat >/dev/null 2>&1 & " +
                           "echo $! > '" + pidFile + "'")
                              .c_str()),
              0);
    long pid = 0;
    std::ifstream(pidFile) >> pid;
    ASSERT_GT(pid, 0);
    const std::string database = dir.File("tq9-bench/records.sqlite3").string();
    auto rows = [&] {
        std::string whyNot;
        auto store = RecordStore::Open(database, whyNot);
        return store ? store->Find({"", "", "", "", "", 0, ""}, whyNot)
                     : std::vector<OperationRecord>{};
    };
    bool uploading = false;
    for (int i = 0; i < 200 && !uploading; ++i) {
        const auto now = rows();
        uploading = !now.empty() && now.front().operation == "scan-core upload";
        if (!uploading) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(uploading) << "the upload never started";
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    for (int i = 0; i < 100 && ::kill(static_cast<pid_t>(pid), 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(rows().front().outcome, kOutcomeRunning) << "nobody has looked yet";

    EXPECT_EQ(Ctl("identify").exitCode, 0);
    const auto after = rows();
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0].operation, "device flow");  // the new start
    EXPECT_EQ(after[1].operation, "scan-core upload");
    EXPECT_EQ(after[1].outcome, kOutcomeInterrupted);
    EXPECT_EQ(after[1].cableSerial, "TQ9A0001");
    EXPECT_EQ(after[2].operation, "device flow");
    EXPECT_EQ(after[2].outcome, kOutcomeCompleted);
    EXPECT_EQ(after[2].boardSerial, "12345");

    // The same rows from the command line, for scripts.
    const Run lines = Ctl("records --serial 12345");
    EXPECT_EQ(lines.exitCode, 0) << lines.err;
    EXPECT_NE(lines.out.find("\tscan-core upload\tinterrupted\t12345\t"), std::string::npos)
        << lines.out;
    const Run json = Ctl("records --json --since 2000-01-01");
    EXPECT_EQ(Json::parse(json.out)[0]["id"], 3) << json.out;
    const Run csv = Ctl("records --csv");
    EXPECT_EQ(csv.out.rfind("id,started,ended,", 0), 0u) << csv.out;
    EXPECT_EQ(Ctl("records --since yesterday").exitCode, 2);
}

// For scripts: one object per operation. For a person at a terminal: progress on standard
// error, and Ctrl-C as the window's Cancel.
TEST_F(CtlTest, JsonForScriptsProgressOnATerminalAndCtrlCAsCancel) {
    const Run json = Ctl("identify --json");
    EXPECT_EQ(json.exitCode, 0) << json.err;
    ASSERT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 1) << json.out;
    // The record's fields, as the records export has them, and what the operation showed.
    const Json flow = Json::parse(json.out);
    const Json expected =
        Json::parse(R"({"operation": "device flow", "outcome": "completed", "reason": "",
                        "cable_serial": "TQ9A0001", "cable_description": "TTL232R-5V",
                        "com_number": 0, "board_serial": "12345", "firmware_version": "3.65",
                        "error_kind": "noErr", "error_count": 0, "record_warning": null,
                        "dialogs": []})");
    for (const auto& [field, value] : expected.items())
        EXPECT_EQ(flow[field], value) << field;
    EXPECT_EQ(flow["lines"][0], "Using FTDI Device #0 on COM port #0");
    EXPECT_EQ(flow["console"].get<std::string>().rfind("Using FTDI Device #0", 0), 0u);
    std::string whyNot;
    auto store = RecordStore::Open(dir.File("tq9-bench/records.sqlite3").string(), whyNot);
    ASSERT_TRUE(store) << whyNot;
    const Json saved = RecordJson(*store->Get(flow["id"].get<std::int64_t>(), whyNot));
    for (const auto& [field, value] : saved.items())
        EXPECT_EQ(flow[field], value) << "the object is the saved record: " << field;
    EXPECT_EQ(json.out.find("Closed FTDI device"), std::string::npos) << "no console lines";

    // A terminal (a pseudo-terminal made by script(1)): the upload's progress line.
    std::ofstream(dir.File("core.dat"), std::ios::binary) << std::string(600 * 4, '\1');
    const Run terminal =
        Ctl("upload core.dat --json >/dev/null; script -qec './tq9ctl upload "
            "core.dat' /dev/null #");
    EXPECT_NE(terminal.out.find("  upload [###"), std::string::npos) << terminal.out;
    EXPECT_NE(terminal.out.find("/600 words"), std::string::npos);
    EXPECT_NE(terminal.out.find("  waiting for the board: poll 1 of "), std::string::npos);

    // Ctrl-C while the board-less cable is polled: the window's Cancel, then exit 130.
    const std::string out = dir.File("interrupted.txt").string();
    ASSERT_EQ(
        std::system(("cd '" + dir.Path().string() + "' && XDG_DATA_HOME='" + dir.Path().string() +
                     "' ./tq9ctl identify --cable FT5X2K9Q >'" + out +
                     "' 2>&1 & sleep 1.5; kill -INT $!; wait $!; echo \"exit $?\" >>'" + out + "'")
                        .c_str()),
        0);
    std::stringstream interrupted;
    interrupted << std::ifstream(out).rdbuf();
    EXPECT_NE(interrupted.str().find("##### Warning: Process cancelled by user\n"),
              std::string::npos)
        << interrupted.str();
    EXPECT_NE(interrupted.str().find("Closed FTDI device."), std::string::npos);
    EXPECT_NE(interrupted.str().find("exit 130\n"), std::string::npos) << interrupted.str();
}

// A record that cannot be written changes nothing of the operation, and a script is told:
// by the JSON object, and by an exit code of its own.
TEST_F(CtlTest, ARecordNotSavedIsSaidInTheJsonObjectToo) {
    fs::create_directories(dir.File("tq9-bench/records.sqlite3"));  // no database can be there
    const Run json = Ctl("identify --json");
    EXPECT_EQ(json.exitCode, 4) << json.err;
    const Json flow = Json::parse(json.out);
    EXPECT_EQ(flow["outcome"], "completed");
    EXPECT_TRUE(flow["id"].is_null()) << "not saved";
    EXPECT_EQ(flow["record_warning"].get<std::string>().rfind(kRecordNotSaved, 0), 0u) << json.out;
    const Run lines = Ctl("identify");
    EXPECT_NE(lines.out.find("##### Warning: Record not saved: "), std::string::npos);
    EXPECT_EQ(lines.exitCode, 4);
}

TEST_F(CtlTest, WithoutAnyCableTheExitCodeSaysSo) {
    fs::remove(dir.File("libftd2xx.so"));  // libftdi1 or nothing: no cable on this machine
    const Run run = Ctl("list");
    EXPECT_EQ(run.exitCode, 3) << run.out << run.err;
    const Run records = Ctl("records");
    EXPECT_EQ(records.exitCode, 1);
    EXPECT_NE(records.err.find("no board records yet"), std::string::npos) << records.err;
    // No driver, or one that lists no cable: either way a script's last object says so.
    for (const char* command : {"list --json", "identify --json"}) {
        const Run json = Ctl(command);
        EXPECT_EQ(json.exitCode, 3) << command;
        const std::string last = json.out.substr(json.out.rfind('\n', json.out.size() - 2) + 1);
        const Json object = Json::parse(last);
        EXPECT_TRUE(object["exit_code"] == 3 || object["cables"] == Json::array()) << json.out;
    }
}

}  // namespace
}  // namespace tq9
#endif
