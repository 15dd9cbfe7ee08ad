// The emulated TQ9 board on a real byte stream, for the real serial stacks:
//   tq9_board_server (--pty-link PATH | --socket PATH) [--serial N] [--log FILE]
//                    [--boot-ms N] [--report-ms N]
// --pty-link: a pseudo-terminal, PATH a symbolic link to its slave side (what a kernel tty
// test opens). --socket: a unix socket listening at PATH, for QEMU's emulated FTDI chip
// (-chardev socket,path=PATH); one connection at a time, the board keeps its state across
// them. --log appends every command line the board receives; --boot-ms and --report-ms
// shorten the board's reboot and its reports (tests). Serves until SIGTERM or SIGINT.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/BoardStream.h"
#include "sim/PtyLink.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void OnSignal(int) {
    stopRequested = 1;
}

// Appends the commands received since the last call.
void LogCommands(std::FILE* log, const tq9::sim::BoardEmulator& board, std::size_t& logged) {
    if (!log) return;
    for (; logged < board.commands.size(); ++logged)
        std::fprintf(log, "%s\n", board.commands[logged].c_str());
    std::fflush(log);
}

int ServePty(tq9::sim::BoardStream& stream, const std::string& link) {
    tq9::sim::PtyLink pty;
    if (!tq9::sim::OpenPtyLink(link, "tq9_board_server", pty)) return 1;
    while (!stopRequested)
        stream.Serve(pty.master, stopRequested);
    tq9::sim::ClosePtyLink(link, pty);
    return 0;
}

int ServeSocket(tq9::sim::BoardStream& stream, const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        std::fprintf(stderr, "tq9_board_server: socket path too long: %s\n", path.c_str());
        return 2;
    }
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::unlink(path.c_str());
    if (listener < 0 ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0) {
        std::perror("tq9_board_server: socket");
        return 1;
    }
    while (!stopRequested) {
        pollfd waiting{listener, POLLIN, 0};
        if (::poll(&waiting, 1, 100) <= 0) continue;
        const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        stream.Serve(connection, stopRequested);
        ::close(connection);
    }
    ::close(listener);
    ::unlink(path.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string ptyLink, socketPath, logPath;
    tq9::sim::BoardIdentity identity;
    tq9::sim::BoardTiming timing;
    std::uint64_t bootMs = timing.bootUs / 1000, reportMs = timing.reportUs / 1000;
    CLI::App app("The emulated TQ9 board's controller, on a pseudo-terminal or a socket.",
                 "tq9_board_server");
    auto* pty = app.add_option("--pty-link", ptyLink, "where the pseudo-terminal is linked");
    app.add_option("--socket", socketPath, "a unix socket to serve instead")->excludes(pty);
    app.add_option("--serial", identity.serialNumber, "the board's serial number");
    app.add_option("--boot-ms", bootMs, "how long a reboot takes");
    app.add_option("--report-ms", reportMs, "how long the reboot's report takes");
    app.add_option("--log", logPath, "a file the commands received are appended to");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 2;  // help, or a usage error
    }
    if (ptyLink.empty() && socketPath.empty()) {
        std::fprintf(stderr, "tq9_board_server: --pty-link or --socket is required\n");
        return 2;
    }
    timing.bootUs = bootMs * 1000;
    timing.reportUs = reportMs * 1000;

    struct sigaction action {};
    action.sa_handler = OnSignal;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    tq9::sim::BoardStream stream{tq9::sim::BoardEmulator(identity, {}, timing)};
    std::FILE* log = logPath.empty() ? nullptr : std::fopen(logPath.c_str(), "a");
    std::size_t logged = 0;
    stream.onCommand = [&](const tq9::sim::BoardEmulator& board) {
        LogCommands(log, board, logged);
    };
    const int result =
        ptyLink.empty() ? ServeSocket(stream, socketPath) : ServePty(stream, ptyLink);
    if (log) std::fclose(log);
    return result;
}
