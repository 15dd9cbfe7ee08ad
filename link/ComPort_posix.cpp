// COM ports on Linux and other POSIX systems: COM n is /dev/ttyUSB<n>. An exclusive,
// non-blocking open tells a free port from a missing or busy one; while the cable is held
// through the USB driver its tty disappears, so its probe result changes.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "link/ComPort.h"

namespace tq9 {

std::string ComPortName(std::int32_t number) {
    return "/dev/ttyUSB" + std::to_string(number);
}

std::int32_t ProbePortFile(const std::string& fileName) {
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno;
    std::int32_t result = 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) result = errno;
    ::close(fd);
    return result;
}

}  // namespace tq9
