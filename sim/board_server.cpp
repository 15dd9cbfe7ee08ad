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

int Usage() {
    std::fprintf(stderr,
                 "usage: tq9_board_server (--pty-link PATH | --socket PATH) [--serial N] "
                 "[--log FILE] [--boot-ms N] [--report-ms N]\n");
    return 2;
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
    if (argc % 2 == 0) return Usage();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--pty-link") {
            ptyLink = value;
        } else if (option == "--socket") {
            socketPath = value;
        } else if (option == "--serial") {
            identity.serialNumber = std::atoi(value.c_str());
        } else if (option == "--boot-ms") {
            timing.bootUs = std::strtoull(value.c_str(), nullptr, 10) * 1000;
        } else if (option == "--report-ms") {
            timing.reportUs = std::strtoull(value.c_str(), nullptr, 10) * 1000;
        } else if (option == "--log") {
            logPath = value;
        } else {
            return Usage();
        }
    }
    if (ptyLink.empty() == socketPath.empty()) return Usage();

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
