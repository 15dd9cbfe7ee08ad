// tq9ctl's command line: every subcommand and option declared once, with its type and
// range, and the checks that can be made before a cable is touched.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <tuple>

#include "base/Convert.h"
#include "base/Platform.h"
#include "board/ScanCoreUpload.h"
#include "cli/Ctl.h"
#include "cli/HelpFormatter.h"
#include "cli/Output.h"
#include "cli/Terminal.h"
#include "isp/ImageCheck.h"
#include "isp/Production.h"
#include "isp/ProductionFiles.h"
#include "ops/MainWindowOps.h"
#include "records/RecordStore.h"

namespace tq9 {

namespace {

constexpr const char* kVersion = "tq9ctl " TQ9_VERSION;
// A check that needs no cable, as CLI11 runs it on an option's value: empty when the value
// is good, else why not.
CLI::Validator Check(std::function<std::string(const std::string&)> problem) {
    return CLI::Validator([problem](std::string& value) { return problem(value); }, "");
}

// An option's value that is another option ("--cable --json"): CLI11 would take it.
std::string NotAnOption(const std::string& value) {
    if (value.rfind("--", 0) == 0) return "needs a value, not the option " + value;
    return {};
}

// A flag, given or not: "--avr-only=0" is refused, never read as "not given" (it would
// run the whole production run).
CLI::Option* AddFlag(CLI::App& sub, const std::string& name, bool& value, const std::string& what) {
    return sub.add_flag(name, value, what)->disable_flag_override();
}

// A value option, declared with the name of its value.
template <typename T>
CLI::Option* AddValue(CLI::App& sub, const std::string& name, T& value,
                      const std::string& description, const std::string& valueName) {
    return sub.add_option(name, value, description)
        ->type_name(valueName)
        ->check(Check(NotAnOption));
}

std::string NumberFrom(const std::string& value, int lowest, int highest, const std::string& what) {
    const auto number = ParseInt32(value);
    if (number && *number >= lowest && *number <= highest) return {};
    return value + " is not " + what;
}

// A test-port entry by number or by its text, as the window's list shows it.
std::optional<int> TestPortEntry(const std::string& text) {
    if (const auto number = ParseInt32(text)) {
        if (*number >= 0 && *number < static_cast<int>(kTestPortEntries.size())) return *number;
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kTestPortEntries.size(); ++i) {
        if (text == kTestPortEntries[i]) return static_cast<int>(i);
    }
    return std::nullopt;
}

// Why the upload file cannot be sent; empty when it can.
std::string UploadFileProblem(const std::string& file) {
    std::error_code error;
    const auto path = std::filesystem::u8path(file);  // the command line's text is UTF-8
    if (!std::filesystem::is_regular_file(path, error)) return "cannot read " + file;
    if (!std::ifstream(path, std::ios::binary)) return "cannot read " + file;
    const auto bytes = std::filesystem::file_size(path, error);
    if (error) return "cannot read " + file;
    if (bytes / 4 > kFileBufferWords) {
        return file + " holds " + std::to_string(bytes / 4) + " words, at most " +
               std::to_string(kFileBufferWords) + " fit";
    }
    return {};
}

// Why the firmware image cannot be programmed; empty when it can. The image is one of the
// window's list, found in the bench directory.
std::string FirmwareProblem(const std::string& image, const std::string& benchDirectory) {
    bool listed = false;
    std::string names;
    for (const char* entry : kFirmwareEntries) {
        if (entry[0] == '-') continue;  // the list's separator
        listed = listed || image == entry;
        names += std::string(names.empty() ? "" : ", ") + entry;
    }
    if (!listed) return "no firmware image " + image + " in the list (" + names + ")";
    std::string flash, eeprom;
    if (!FileExistsNoCase(benchDirectory, image, &flash)) {
        return "missing firmware image " + image + " in " + benchDirectory;
    }
    // As the pass checks them, but before a cable is opened: a refusal takes no device flow.
    const std::string eepromName = EepromFileOf(image);
    if (!FileExistsNoCase(benchDirectory, eepromName, &eeprom)) {
        return "missing EEPROM image " + eepromName + " in " + benchDirectory;
    }
    for (const auto& [name, onDisk, capacity, needsData] :
         {std::tuple{image, flash, kFlashBytes, true},
          std::tuple{eepromName, eeprom, kEepromBytes, false}}) {
        const std::string why = IntelHexProblem(benchDirectory + onDisk, capacity, needsData);
        if (!why.empty()) return name + " " + why;
    }
    return {};
}

void AddJson(CLI::App& sub, CtlRequest& request, const std::string& what) {
    AddFlag(sub, "--json", request.json, what);
}

// The cable options of every subcommand that opens one.
void AddCable(CLI::App& sub, CtlRequest& request) {
    auto* cable =
        AddValue(sub, "--cable", request.cable, "the cable with this serial number", "SERIAL");
    AddValue(sub, "--index", request.index,
             "the cable in this row of the list (0-15; default: the first)", "N")
        ->check(Check([](const std::string& value) {
            return NumberFrom(value, 0, 15, "a row of the cable list (0-15)");
        }))
        ->excludes(cable);
    AddJson(sub, request, "one JSON object per operation instead of the console lines");
}

CLI::App* AddBoardCommand(CLI::App& app, CtlRequest& request, const std::string& name,
                          const std::string& description) {
    CLI::App* sub = app.add_subcommand(name, description);
    sub->footer(std::string(kJsonHelp) + "\n\n" + kInterruptHelp + "\n\n" + kExitHelp);
    AddCable(*sub, request);
    return sub;
}

void Declare(CLI::App& app, CtlRequest& request, const std::string& benchDirectory) {
    auto formatter = std::make_shared<HelpFormatter>();
    formatter->label("SUBCOMMAND", "COMMAND");
    formatter->label("Positionals", "Arguments");
    app.formatter(formatter);
    app.set_help_flag("-h,--help", "print this help and exit");
    app.set_version_flag("--version", kVersion, "print the version and exit");
    app.set_help_all_flag("--help-all", "print the help of every command and exit");
    app.require_subcommand(1);
    app.footer(std::string(kCableHelp) + "\n\n" + kJsonHelp + "\n\n" + kInterruptHelp + "\n\n" +
               kExitHelp);

    CLI::App* list =
        app.add_subcommand("list", "the attached FTDI cables and the driver that found them");
    list->footer(kExitHelp);
    AddJson(*list, request, "the driver and the cables as one JSON object");

    AddBoardCommand(app, request, "identify",
                    "the device flow: open the cable, detect its COM port, check that the "
                    "board answers, identify it, close it");
    AddBoardCommand(app, request, "reset",
                    "identify, then Reset TQ9: the board reboots and is identified again");
    AddBoardCommand(app, request, "fpga-update", "identify, then Upd FPGA");
    AddBoardCommand(app, request, "finalize",
                    "identify, then Finalize: factory defaults and the reverb DSP program");

    CLI::App* testPort = AddBoardCommand(
        app, request, "test-port", "identify, then route ENTRY to the logic-analyzer test port");
    testPort
        ->add_option("ENTRY", request.testPortEntry,
                     "0-7, or the entry's text as the window lists it")
        ->required()
        ->transform(CLI::Validator(
            [](std::string& value) {
                const auto entry = TestPortEntry(value);
                if (!entry) return "no test-port entry " + value + " (0-7, or its text)";
                value = std::to_string(*entry);
                return std::string();
            },
            ""));

    CLI::App* upload = AddBoardCommand(
        app, request, "upload", "identify, then send the scan-core FILE (32-bit words) to core N");
    upload->add_option("FILE", request.file, "the scan-core file, at most 16384 words")
        ->required()
        ->check(Check(UploadFileProblem));
    AddValue(*upload, "--core", request.core, "the core to load (default: 0)", "N")
        ->check(Check([](const std::string& value) {
            return NumberFrom(value, 0, INT32_MAX, "a core number (0 or more)");
        }));

    CLI::App* program = AddBoardCommand(
        app, request, "program",
        "identify, then the production run (Production Prgrm) through avrdude and the "
        "DIAMEX programmer");
    program->footer(
        "Each operator dialog is printed and waits for Enter; --yes confirms them at\n"
        "once. Without a terminal it needs --yes.\n\n" +
        program->get_footer());
    AddValue(*program, "--firmware", request.firmware,
             "the firmware image: a name from the window's list, in the bench directory", "IMAGE")
        ->required()
        ->check(Check([benchDirectory](const std::string& value) {
            return FirmwareProblem(value, benchDirectory);
        }));
    AddValue(*program, "--diamex", request.diamex,
             "the programmer's port: a number n (/dev/ttyUSBn on Linux, COMn on Windows), or "
             "a device path under /dev/",
             "PORT")
        ->required()
        ->check(Check([](const std::string& value) {
            return IspPortValid(value)
                       ? std::string()
                       : value + " is not a port number, nor a device path under /dev/";
        }));
    AddFlag(*program, "--avr-only", request.avrOnly, "AVR only instead of the production run");
    AddFlag(*program, "--yes", request.yes, "confirm every operator dialog at once");

    CLI::App* records = app.add_subcommand(
        "records",
        "the board records this user's benches kept, or with --line every bench's on the "
        "line's server, newest first; opens no cable");
    records->footer(
        "Every operation on a board with its outcome: as tab-separated lines, or every\n"
        "field as CSV or JSON.\n\n" +
        std::string(kExitHelp));
    const auto since = [&request](CLI::App& sub, const std::string& description) {
        return AddValue(sub, "--since", request.since, description, "DATE")
            ->check(Check([](const std::string& value) {
                return RecordDateValid(value) ? std::string()
                                              : value + " is not a date as YYYY-MM-DD";
            }));
    };
    const auto server = [&request](CLI::App& sub) {
        return AddValue(sub, "--server", request.server,
                        "a libpq connection string instead of the one records.conf gives",
                        "CONNINFO");
    };
    AddValue(*records, "--serial", request.serial, "only this board's", "N");
    since(*records, "only from this day on (YYYY-MM-DD)");
    auto* line =
        AddFlag(*records, "--line", request.line,
                "every bench's rows, from the line's server (records.conf: reader, else server)");
    AddValue(*records, "--bench", request.bench, "only this bench's (with --line)", "NAME")
        ->needs(line);
    server(*records)->needs(line);
    auto* csv = AddFlag(*records, "--csv", request.csv, "every field, as CSV");
    AddFlag(*records, "--json", request.json, "every field, as a JSON array")->excludes(csv);
    records->require_subcommand(0, 1);
    CLI::App* check =
        records->add_subcommand("server-check",
                                "whether the line's PostgreSQL server answers: as which role, with "
                                "which schema version");
    CLI::App* init = records->add_subcommand(
        "server-init",
        "brings the line server's schema and roles to this tool's version (the "
        "line's admin, as the schema's owner)");
    CLI::App* registerBench = records->add_subcommand(
        "server-bench",
        "registers which bench a bench role sends for (the line's admin); the server refuses "
        "that role's rows under any other bench's name");
    registerBench->add_option("ROLE", request.role, "the bench's login role (in tq9_bench)")
        ->required();
    registerBench->add_option("BENCH", request.bench, "the bench's name on the line")->required();
    CLI::App* resend = records->add_subcommand(
        "resend",
        "sends the rows the line's server refused, set aside, again (once the cause is "
        "mended), and waits up to 5 s for them");
    for (CLI::App* sub : {check, init, registerBench, resend}) {
        server(*sub);
        AddJson(*sub, request, "the answer as one JSON object");
        sub->footer(kExitHelp);
    }
    CLI::App* report = records->add_subcommand(
        "report",
        "the line's programming runs per day and bench: boards programmed, first-pass "
        "yield, failures by error kind");
    since(*report, "from this day on (YYYY-MM-DD)")->required();
    AddValue(*report, "--html", request.html,
             "also as a web page in FILE, its charts in it (nothing fetched when opened)", "FILE");
    AddValue(*report, "--serial", request.serial, "with this board's history on the line", "N");
    AddValue(*report, "--bench", request.bench, "only this bench's", "NAME");
    server(*report);
    AddJson(*report, request, "the report as one JSON object");
    report->footer(kExitHelp);

    for (CLI::App* sub : app.get_subcommands({})) {
        sub->group("Commands");
        sub->allow_extras();  // said below, naming what they are
        for (CLI::App* nested : sub->get_subcommands({})) {
            nested->group("Commands");
            nested->allow_extras();
        }
    }
}

// What is wrong with the arguments CLI11 left over: an option of another subcommand, an
// unknown one, or an argument too many. Empty when none is left.
std::string ExtrasProblem(const CLI::App& app, const CLI::App& sub) {
    const std::vector<std::string> extras = sub.remaining();
    if (extras.empty()) return {};
    const std::string& first = extras.front();
    if (first.size() > 1 && first[0] == '-') {
        const std::string name = first.substr(0, first.find('='));
        std::string owners;
        for (const CLI::App* other : app.get_subcommands({})) {
            if (other == &sub || !other->get_option_no_throw(name)) continue;
            owners += (owners.empty() ? "" : ", ") + other->get_name();
        }
        if (!owners.empty())
            return name + " is an option of " + owners + ", not of " + sub.get_name();
        return sub.get_name() + " has no option " + name;
    }
    const bool takesOne =
        !sub.get_options([](const CLI::Option* o) { return o->get_positional(); }).empty();
    return sub.get_name() + (takesOne ? " takes one argument" : " takes no argument") +
           ", not also " + first;
}

// The first argument must name a command (or ask for help or the version).
std::string CommandProblem(const CLI::App& app, const std::vector<std::string>& args) {
    if (args.empty()) return "no command";
    const std::string& first = args.front();
    if (first == "-h" || first == "--help" || first == "--help-all" || first == "--version")
        return {};
    if (first.empty()) return "no command (an empty argument)";
    for (const CLI::App* sub : app.get_subcommands({})) {
        if (sub->get_name() == first) return {};
    }
    if (first[0] == '-') return "unknown option " + first + " (options follow the command)";
    return "unknown command " + first;
}

}  // namespace

int RunCtl(const std::vector<std::string>& args, const std::string& benchDirectory) {
    CtlRequest request;
    CLI::App app(
        "The TQ9 bench's operations from the command line, on the same core as the "
        "window: the console lines go to standard output as the window shows them.",
        "tq9ctl");
    Declare(app, request, benchDirectory);
    // Known before the arguments are read, so that a refusal of them is an object too.
    const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
    const CtlOutput output(json);
    if (const std::string problem = CommandProblem(app, args); !problem.empty()) {
        return output.UsageError(problem);
    }
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return kDone;
    } catch (const CLI::CallForAllHelp&) {
        std::cout << app.help("", CLI::AppFormatMode::All);
        return kDone;
    } catch (const CLI::CallForVersion&) {
        std::cout << kVersion << '\n';
        return kDone;
    } catch (const CLI::ArgumentMismatch& error) {
        // CLI11 says "avr-only was given a disallowed flag override".
        const std::string what = error.what();
        const auto cut = what.find(" was given a disallowed flag override");
        if (cut == std::string::npos) return output.UsageError(what);
        return output.UsageError("--" + what.substr(0, cut) + " is a flag and takes no value");
    } catch (const CLI::ParseError& error) {
        // An option the command does not have is the first thing wrong, not a required one
        // its absence left unread.
        const CLI::App* parsed = &app;
        while (!parsed->get_subcommands().empty())
            parsed = parsed->get_subcommands().front();
        if (dynamic_cast<const CLI::RequiredError*>(&error) && parsed != &app) {
            if (const std::string problem = ExtrasProblem(app, *parsed); !problem.empty())
                return output.UsageError(problem);
        }
        return output.UsageError(error.what());
    }
    const CLI::App* sub = app.get_subcommands().front();
    request.command = sub->get_name();
    for (const CLI::App* parent = sub; !parent->get_subcommands().empty();) {
        sub = parent = parent->get_subcommands().front();
        request.command += " " + sub->get_name();
    }
    if (const std::string problem = ExtrasProblem(app, *sub); !problem.empty()) {
        return output.UsageError(problem);
    }
    if (request.command == "program") {
        // The AVR-only run needs avrdude and its configuration alone.
        std::string names;
        for (const std::string& name : MissingProductionFiles(benchDirectory)) {
            if (request.avrOnly && name != AvrdudeExecutableName() && name != "avrdude.conf")
                continue;
            names += (names.empty() ? "" : ", ") + name;
        }
        if (!names.empty()) {
            return output.UsageError(
                (request.avrOnly ? "the AVR-only run lacks " : "the production run lacks ") +
                names + " in " + benchDirectory);
        }
    }
    if (request.command == "program" && !request.yes && !IsTerminal(Stream::Input)) {
        return output.UsageError(
            "program waits for Enter at each operator dialog: run it on a terminal, or "
            "confirm them beforehand with --yes");
    }
    if (request.command == "list") return RunList(request, benchDirectory);
    if (request.command == "records") {
        return request.line ? RunLineRecords(request) : RunRecords(request);
    }
    if (request.command == "records report") return RunReport(request);
    if (request.command == "records server-check") return RunServerCheck(request);
    if (request.command == "records server-init") return RunServerInit(request);
    if (request.command == "records server-bench") return RunServerBench(request);
    if (request.command == "records resend") return RunResend(request);
    return RunBoardCommand(request, benchDirectory);
}

}  // namespace tq9
