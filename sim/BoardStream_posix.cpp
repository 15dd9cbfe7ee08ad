#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "sim/BoardStream.h"

namespace tq9::sim {

namespace {
// The longest sleep between two looks at the board's clock-driven work (boot, reports).
constexpr std::uint64_t kIdleUs = 5'000;

bool WriteAll(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}
}  // namespace

BoardStream::BoardStream(BoardEmulator board)
    : board_(std::make_shared<BoardEmulator>(std::move(board))),
      cable_("stream", "stream", board_) {
    cable_.line.baudRate = 57600;
}

bool BoardStream::Serve(int fd, const volatile std::sig_atomic_t& stop) {
    while (!stop) {
        std::uint64_t now = clock_.NowUs();
        board_->Advance(cable_, now);
        if (!WriteAll(fd, cable_.TakeArrived(now))) return false;

        // Wake for the next byte due, or to look at the board again.
        const std::uint64_t next = cable_.NextArrivalUs();
        const std::uint64_t waitUs =
            next == 0 ? kIdleUs : std::min(kIdleUs, next - std::min(next, now));
        const timespec wait{0, static_cast<long>(waitUs * 1000)};
        pollfd input{fd, POLLIN, 0};
        const int ready = ::ppoll(&input, 1, &wait, nullptr);
        if (ready < 0 && errno != EINTR) return false;
        if (ready <= 0) continue;
        if (input.revents & POLLIN) {
            std::uint8_t buffer[4096];
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got == 0) return false;
            if (got < 0) {
                if (errno == EINTR || errno == EAGAIN) continue;
                return false;
            }
            const std::size_t before = board_->commands.size();
            board_->Received(cable_, buffer, static_cast<std::size_t>(got), clock_.NowUs());
            if (onCommand && board_->commands.size() != before) onCommand(*board_);
        } else if (input.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            return false;
        }
    }
    return true;
}

}  // namespace tq9::sim
