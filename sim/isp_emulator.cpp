// The emulated DIAMEX programmer on a pseudo-terminal, for the real avrdude:
//   tq9_isp_emulator --link PATH --state DIR [--fault none|no-target|silent|wrong-signature|
//                    stuck-flash|fuses-ignored|efuse-ignored] [--log FILE]
// PATH becomes a symbolic link to the terminal's slave side. DIR holds the chip: flash.bin,
// eeprom.bin and fuses.txt, read at start when present and written after every programming
// session and on exit. Serves until SIGTERM or SIGINT.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "sim/IspEmulator.h"
#include "sim/PtyLink.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

void OnSignal(int) {
    stopRequested = 1;
}

bool ReadFile(const std::string& path, std::vector<std::uint8_t>& into) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
    if (bytes.size() != into.size()) return false;
    into = std::move(bytes);
    return true;
}

void LoadState(const std::string& dir, tq9::sim::Atmega644p& chip) {
    ReadFile(dir + "/flash.bin", chip.flash);
    ReadFile(dir + "/eeprom.bin", chip.eeprom);
    std::ifstream fuses(dir + "/fuses.txt");
    unsigned l = 0, h = 0, e = 0, k = 0;
    std::string line;
    if (std::getline(fuses, line) &&
        std::sscanf(line.c_str(), "lfuse=0x%x hfuse=0x%x efuse=0x%x lock=0x%x", &l, &h, &e, &k) ==
            4) {
        chip.lfuse = std::uint8_t(l), chip.hfuse = std::uint8_t(h);
        chip.efuse = std::uint8_t(e), chip.lock = std::uint8_t(k);
    }
}

// Written beside and renamed into place, so a reader never sees half a file.
void WriteFile(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".new";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::rename(temporary.c_str(), path.c_str());
}

void SaveState(const std::string& dir, const tq9::sim::Stk500v2Programmer& programmer) {
    const auto& chip = programmer.chip;
    WriteFile(dir + "/flash.bin", std::string(chip.flash.begin(), chip.flash.end()));
    WriteFile(dir + "/eeprom.bin", std::string(chip.eeprom.begin(), chip.eeprom.end()));
    WriteFile(dir + "/fuses.txt", programmer.FusesText() + "\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string link, state, logPath;
    tq9::sim::IspFault fault = tq9::sim::IspFault::none;
    CLI::App app(
        "A DIAMEX ISP programmer (STK500v2) with an ATmega644P behind it, on a "
        "pseudo-terminal.",
        "tq9_isp_emulator");
    app.add_option("--link", link, "where the pseudo-terminal is linked")->required();
    app.add_option("--state", state, "the folder of the chip's memories")->required();
    app.add_option("--log", logPath, "a file the exchanges are appended to");
    app.add_option("--fault", "the fault to emulate")
        ->check(CLI::IsMember({"none", "no-target", "silent", "wrong-signature", "stuck-flash",
                               "fuses-ignored", "efuse-ignored"}))
        ->each([&fault](const std::string& name) { tq9::sim::ParseIspFault(name, fault); });
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 2;  // help, or a usage error
    }

    tq9::sim::Stk500v2Programmer programmer(fault);
    LoadState(state, programmer.chip);
    tq9::sim::PtyLink pty;
    if (!tq9::sim::OpenPtyLink(link, "tq9_isp_emulator", pty)) return 1;
    const int master = pty.master;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);

    std::FILE* log = logPath.empty() ? nullptr : std::fopen(logPath.c_str(), "a");
    std::size_t logged = 0;
    while (!stopRequested) {
        pollfd fd{master, POLLIN, 0};
        if (::poll(&fd, 1, 100) <= 0) continue;
        char buffer[4096];
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) break;
            continue;
        }
        const std::string answers = programmer.Receive(std::string(buffer, std::size_t(got)));
        for (std::size_t written = 0; written < answers.size();) {
            const ssize_t put = ::write(master, answers.data() + written, answers.size() - written);
            if (put <= 0) break;
            written += std::size_t(put);
        }
        if (log) {
            for (; logged < programmer.log.size(); ++logged)
                std::fprintf(log, "%s\n", programmer.log[logged].c_str());
            std::fflush(log);
        }
        if (programmer.TakeSessionEnd()) SaveState(state, programmer);
    }
    SaveState(state, programmer);
    if (log) std::fclose(log);
    tq9::sim::ClosePtyLink(link, pty);
    return 0;
}
