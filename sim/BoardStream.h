#pragma once
// The emulated board at the far end of a real byte stream (a pseudo-terminal's master side,
// a socket that QEMU's emulated FTDI chip is wired to), in real time: what the stream
// brings is what the tool wrote, and the board's replies leave at 57600-baud byte timing.
// POSIX only.

#include <csignal>
#include <functional>
#include <memory>

#include "sim/BoardEmulator.h"

namespace tq9::sim {

class BoardStream {
  public:
    explicit BoardStream(BoardEmulator board = BoardEmulator());

    // Serves on `fd` until `stop` is set (true) or the far side goes away (false).
    bool Serve(int fd, const volatile std::sig_atomic_t& stop);

    BoardEmulator& Board() { return *board_; }
    // Runs after the board took in bytes that completed a command line.
    std::function<void(const BoardEmulator&)> onCommand;

  private:
    RealClock clock_;
    std::shared_ptr<BoardEmulator> board_;
    VirtualCable cable_;
};

}  // namespace tq9::sim
