#pragma once
// A simulated peer's program (the emulated ISP programmer, the board on a stream) as a
// child process, for as long as the object lives. POSIX only.

#include <sys/types.h>

#include <string>
#include <vector>

namespace tq9::sim {

class ServerProcess {
  public:
    // Starts args[0] with the rest as its arguments and waits up to 5 s for `readyPath`
    // (its link or socket) to appear.
    ServerProcess(std::vector<std::string> args, const std::string& readyPath);
    // Stops it with SIGTERM and waits for it.
    ~ServerProcess() { Stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    void Stop();
    bool Ready() const { return ready_; }

  private:
    pid_t pid_ = 0;
    bool ready_ = false;
};

// tq9_isp_emulator with its pseudo-terminal linked at `link` and its chip kept in
// `stateDir`.
class IspEmulatorProcess : public ServerProcess {
  public:
    IspEmulatorProcess(const std::string& program, const std::string& link,
                       const std::string& stateDir, const std::string& fault = "none");
    // The port to give avrdude: the link, once the emulator serves it; else empty.
    const std::string& Port() const { return port_; }

  private:
    std::string port_;
};

}  // namespace tq9::sim
