#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "sim/PtyLink.h"

namespace tq9::sim {

bool OpenPtyLink(const std::string& link, const char* program, PtyLink& pty) {
    pty.master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (pty.master < 0 || ::grantpt(pty.master) != 0 || ::unlockpt(pty.master) != 0) {
        std::fprintf(stderr, "%s: ", program);
        std::perror("pseudo-terminal");
        return false;
    }
    const char* slaveName = ::ptsname(pty.master);
    pty.slave = slaveName ? ::open(slaveName, O_RDWR | O_NOCTTY) : -1;
    if (pty.slave < 0) {
        std::fprintf(stderr, "%s: ", program);
        std::perror("slave side");
        return false;
    }
    termios raw{};
    ::tcgetattr(pty.slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(pty.slave, TCSANOW, &raw);
    ::unlink(link.c_str());
    if (::symlink(slaveName, link.c_str()) != 0) {
        std::fprintf(stderr, "%s: ", program);
        std::perror("link");
        return false;
    }
    return true;
}

void ClosePtyLink(const std::string& link, PtyLink& pty) {
    ::unlink(link.c_str());
    if (pty.slave >= 0) ::close(pty.slave);
    if (pty.master >= 0) ::close(pty.master);
    pty = {};
}

}  // namespace tq9::sim
