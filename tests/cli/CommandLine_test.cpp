// tq9ctl's command line, read in this process: every usage error exits with 2 and says
// what is wrong on its first line, in both output modes (with --json also as one object
// on standard output), before any driver or cable is touched; help and version from the
// declarations.

#include <gtest/gtest.h>

#include "isp/ProductionFiles.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/CtlRun.h"
#include "support/TempDir.h"

namespace tq9 {
namespace {

class CommandLineTest : public ::testing::Test {
  protected:
    CommandLineTest() {
        std::ofstream(dir.File("core.dat"), std::ios::binary).write("\1\0\0\0", 4);
        for (const char* image :
             {"TQ9gen3_ed2_b.hex", "TQ9gen3_ed2_b.eep", "TQ9gen3_ed3_b.eep", "TQ9gen3_ed4_b.hex"})
            std::ofstream(dir.File(image)) << ":0100000000FF\n:00000001FF\n";
        std::ofstream(dir.File("TQ9gen3_ed3_b.hex")) << ":0100000000FF\n";  // cut short
    }
    using Run = test::CtlRun;
    Run Ctl(const std::vector<std::string>& args) const {
        return test::RunCtlHere(args, dir.WithSeparator());
    }
    std::string File(const std::string& name) const { return dir.File(name).string(); }
    test::TempDir dir;
};

TEST_F(CommandLineTest, EveryUsageErrorExitsWithTwoAndNamesTheFaultInBothModes) {
    struct Row {
        std::vector<std::string> args;
        std::string says;  // the first line on standard error, after "tq9ctl: "
    };
    const std::string core = File("core.dat");
    const std::vector<Row> rows = {
        {{""}, "no command (an empty argument)"},
        {{"frobnicate"}, "unknown command frobnicate"},
        {{"--frob"}, "unknown option --frob (options follow the command)"},
        {{"identify", "--bogus"}, "identify has no option --bogus"},
        {{"identify", "--core", "2"}, "--core is an option of upload, not of identify"},
        {{"records", "--cable", "A"},
         "--cable is an option of identify, reset, fpga-update, finalize, test-port, upload, "
         "program, not of records"},
        {{"reset", "extra"}, "reset takes no argument, not also extra"},
        {{"test-port", "1", "2"}, "test-port takes one argument, not also 2"},
        {{"identify", "--cable"}, "--cable: 1 required SERIAL missing"},
        {{"identify", "--cable", "--index", "1"}, "--cable: needs a value, not the option --index"},
        {{"records", "--since", "--csv"}, "--since: needs a value, not the option --csv"},
        {{"identify", "--index", "x"}, "--index: x is not a row of the cable list (0-15)"},
        {{"identify", "--index", "-1"}, "--index: -1 is not a row of the cable list (0-15)"},
        {{"identify", "--index", "16"}, "--index: 16 is not a row of the cable list (0-15)"},
        {{"identify", "--cable", "A", "--index", "1"}, "--cable excludes --index"},
        {{"upload"}, "FILE is required"},
        {{"upload", File("missing.dat")}, "FILE: cannot read " + File("missing.dat")},
        {{"upload", core, "--core", "x"}, "--core: x is not a core number (0 or more)"},
        {{"upload", core, "--core", "99999999999"},
         "--core: 99999999999 is not a core number (0 or more)"},
        {{"test-port", "8"}, "ENTRY: no test-port entry 8 (0-7, or its text)"},
        {{"records", "--since", "2026-13-45"}, "--since: 2026-13-45 is not a date as YYYY-MM-DD"},
        {{"records", "--since", "2026-02-29"}, "--since: 2026-02-29 is not a date as YYYY-MM-DD"},
        {{"records", "--since", "2026-12-09T24"},
         "--since: 2026-12-09T24 is not a date as YYYY-MM-DD"},
        {{"records", "--csv", "--json"}, "--csv excludes --json"},
        {{"records", "--bench", "line-3"}, "--bench requires --line"},
        {{"records", "report"}, "--since is required"},
        {{"records", "report", "--bogus"}, "report has no option --bogus"},
        {{"program", "--bogus", "--yes"}, "program has no option --bogus"},
        {{"records", "report", "--since", "2026-02-30"},
         "--since: 2026-02-30 is not a date as YYYY-MM-DD"},
        {{"records", "report", "--since", "2026-02-01", "--csv"},
         "--csv is an option of records, not of report"},
        {{"program", "--diamex", "0", "--yes"}, "--firmware is required"},
        {{"program", "--firmware", "other.hex", "--diamex", "0", "--yes"},
         "--firmware: no firmware image other.hex in the list (TQ9gen3_ed1_b.hex, "
         "TQ9gen3_ed2_b.hex, TQ9gen3_ed3_b.hex, TQ9gen3_ed4_b.hex, TQ9gen3_ed5_b.hex, "
         "TQ9gen3_ed6_b.hex, TQ9gen2_ed1_b.hex, TQ9gen2_ed2_b.hex)"},
        {{"program", "--firmware", "TQ9gen3_ed1_b.hex", "--diamex", "0", "--yes"},
         "--firmware: missing firmware image TQ9gen3_ed1_b.hex in " + dir.WithSeparator()},
        {{"program", "--firmware", "TQ9gen3_ed2_b.hex", "--diamex", "COM 3", "--yes"},
         "--diamex: COM 3 is not a port number, nor a device path under /dev/"},
        // The bench's files are refused before any cable is opened.
        {{"program", "--firmware", "TQ9gen3_ed3_b.hex", "--diamex", "0", "--yes"},
         "--firmware: TQ9gen3_ed3_b.hex has no end-of-file record (cut short?)"},
        {{"program", "--firmware", "TQ9gen3_ed4_b.hex", "--diamex", "0", "--yes"},
         "--firmware: missing EEPROM image TQ9gen3_ed4_b.eep in " + dir.WithSeparator()},
        {{"program", "--firmware", "TQ9gen3_ed2_b.hex", "--diamex", "0", "--yes"},
         std::string("the production run lacks fpga_*.bit, ") + AvrdudeExecutableName() +
             ", avrdude.conf, dsp_rev.bin, tq_midi.dat, fir_coeff.dat, taper_levels1.dat, "
             "taper_levels2.dat, taper_levels3.dat, taper_levels4.dat in " +
             dir.WithSeparator()},
        {{"program", "--avr-only", "--firmware", "TQ9gen3_ed2_b.hex", "--diamex", "0", "--yes"},
         std::string("the AVR-only run lacks ") + AvrdudeExecutableName() + ", avrdude.conf in " +
             dir.WithSeparator()},
        {{"program", "--avr-only=0", "--firmware", "TQ9gen3_ed2_b.hex", "--diamex", "0", "--yes"},
         "--avr-only is a flag and takes no value"},
        {{"records", "--line=0"}, "--line is a flag and takes no value"},
        {{"records", "--json=false"}, "--json is a flag and takes no value"},
        {{"records", "--csv=0"}, "--csv is a flag and takes no value"},
        {{"identify", "--json=0"}, "--json is a flag and takes no value"},
    };
    for (const Row& row : rows) {
        for (const bool json : {false, true}) {  // the row as it is, then with --json
            // --json right after the command, where no option can take it as its value.
            std::vector<std::string> args = row.args;
            if (json && std::find(args.begin(), args.end(), "--json") == args.end())
                args.insert(args.begin() + 1, "--json");
            std::string call;
            for (const std::string& arg : args)
                call += " '" + arg + "'";
            SCOPED_TRACE("tq9ctl" + call);
            const Run run = Ctl(args);
            EXPECT_EQ(run.exitCode, 2);
            EXPECT_EQ(run.FirstErrorLine(), "tq9ctl: " + row.says);
            EXPECT_NE(run.err.find("Run tq9ctl --help"), std::string::npos) << run.err;
            if (std::find(args.begin(), args.end(), "--json") == args.end()) {
                EXPECT_EQ(run.out, "");
                continue;
            }
            ASSERT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
            const auto object = nlohmann::json::parse(run.out);
            EXPECT_EQ(object, nlohmann::json({{"error", row.says}, {"exit_code", 2}}));
        }
    }
    const Run none = Ctl({});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_EQ(none.FirstErrorLine(), "tq9ctl: no command");
}

TEST_F(CommandLineTest, HelpAndVersionComeFromTheDeclarations) {
    const Run version = Ctl({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "tq9ctl " TQ9_VERSION "\n");

    const Run help = Ctl({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: tq9ctl [OPTIONS] COMMAND\n"), std::string::npos) << help.out;
    for (const char* command : {"list", "identify", "reset", "fpga-update", "finalize", "test-port",
                                "upload", "program", "records"}) {
        EXPECT_NE(help.out.find("\n  " + std::string(command) + " "), std::string::npos) << command;
    }
    // A subcommand's help is its own: its usage, its options, not another's.
    const Run upload = Ctl({"upload", "--help"});
    EXPECT_EQ(upload.exitCode, 0);
    EXPECT_NE(upload.out.find("Usage: tq9ctl upload [OPTIONS] FILE\n"), std::string::npos)
        << upload.out;
    EXPECT_NE(upload.out.find("\n  --core N "), std::string::npos) << upload.out;
    EXPECT_EQ(upload.out.find("--firmware"), std::string::npos) << upload.out;
    // Every line fits a terminal of 80 columns.
    const Run all = Ctl({"--help-all"});
    std::istringstream lines(all.out);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 80u) << line;
    for (const char* usage : {"\ntq9ctl test-port [OPTIONS] ENTRY:\n",
                              "\ntq9ctl program [OPTIONS]:\n", "\n  --diamex PORT "}) {
        EXPECT_NE(all.out.find(usage), std::string::npos) << usage;
    }
}

}  // namespace
}  // namespace tq9
