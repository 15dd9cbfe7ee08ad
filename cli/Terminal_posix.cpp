#include <signal.h>
#include <unistd.h>

#include "cli/Terminal.h"

namespace tq9 {

namespace {
extern "C" void OnInterrupt(int) {
    CountInterrupt();
}
}  // namespace

std::vector<std::string> StartTerminal(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);  // UTF-8 already
}

bool IsTerminal(Stream stream) {
    return ::isatty(stream == Stream::Input ? 0 : stream == Stream::Output ? 1 : 2) != 0;
}

void CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a prompt waiting for Enter returns
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace tq9
