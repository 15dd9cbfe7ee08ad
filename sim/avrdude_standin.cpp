// A stand-in for avrdude on the simulated bench. It takes avrdude's command line, writes
// the probe log (-l) into its working directory, and appends every call, with its working
// directory and arguments, to avrdude-calls.txt beside itself.
//
// avrdude-standin.txt beside it sets what it plays:
//   port=/dev/ttyUSB0          the port the simulated programmer is on (COM0 on Windows, by
//                              default); any other -P fails
//   diagnostic=none|device|timeout
// Built for Linux and for Windows (avrdude.exe on the Windows demo bench).

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/Platform.h"
#include "isp/ProductionFiles.h"

namespace {

std::map<std::string, std::string> Settings(const std::string& dir) {
    std::map<std::string, std::string> settings{{"port", tq9::IspPortArgument("0")},
                                                {"diagnostic", "none"}};
    std::ifstream file(dir + "avrdude-standin.txt");
    for (std::string line; std::getline(file, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) settings[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return settings;
}

std::string Value(const std::vector<std::string>& args, const std::string& option) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == option) return args[i + 1];
    }
    return {};
}

bool Exists(const std::string& path) {
    return std::ifstream(path).good();
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const std::string dir = tq9::ExecutableDirectory();
    const auto settings = Settings(dir);
    std::error_code noCwd;
    const std::string cwd = std::filesystem::current_path(noCwd).string();
    {
        std::ofstream calls(dir + "avrdude-calls.txt", std::ios::app);
        calls << cwd;
        for (const auto& arg : args)
            calls << '\t' << arg;
        calls << '\n';
    }

    const std::string port = Value(args, "-P");
    const std::string config = Value(args, "-C");
    const std::string logName = Value(args, "-l");
    std::string log;
    int exitCode = 0;
    if (!config.empty() && !Exists(config)) {
        log = "avrdude error: unable to read config file " + config + "\n";
        exitCode = 1;
    } else if (port != settings.at("port")) {
        log = "avrdude OS error: cannot open port " + port +
              ": No such file or directory\n"
              "avrdude error: unable to open port " +
              port + " for programmer stk500v2\n";
        exitCode = 1;
    } else if (settings.at("diagnostic") == "device") {
        log =
            "avrdude error: initialization failed, rc=-1\n"
            "        - double check the connections and try again\n";
        exitCode = 1;
    } else if (settings.at("diagnostic") == "timeout") {
        log = "avrdude stk500v2_ReceiveMessage() error: timeout\n";
        exitCode = 1;
    } else {
        log =
            "avrdude: AVR device initialized and ready to accept instructions\n"
            "avrdude: device signature = 0x1e960a (probably m644p)\n";
    }
    log += "\navrdude done.  Thank you.\n";

    if (!logName.empty()) {
        std::ofstream(logName) << log;
        return exitCode;
    }
    std::fputs(log.c_str(), stderr);
    if (exitCode != 0) return exitCode;
    // A writing run: check the images it names and show some progress.
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] != "-U") continue;
        const std::string& op = args[i + 1];
        const auto first = op.find(':'), second = op.find(':', first + 1);
        const auto last = op.rfind(':');
        const std::string memory = op.substr(0, first);
        const std::string file = op.substr(second + 1, last - second - 1);
        if ((memory == "flash" || memory == "eeprom") && !Exists(file)) {
            std::fprintf(stderr, "avrdude error: cannot open %s\n", file.c_str());
            return 1;
        }
        std::printf("Writing %s ", memory.c_str());
        for (int step = 0; step < 10; ++step) {
            std::printf("#");
            std::fflush(stdout);
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
        std::printf(" 100%%\n");
    }
    std::printf("avrdude done.  Thank you.\n");
    return 0;
}
