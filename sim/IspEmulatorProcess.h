#pragma once
// tq9_isp_emulator as a child process, for as long as this object lives (POSIX only).

#include <sys/types.h>
#include <string>

namespace tq9::sim {

class IspEmulatorProcess {
  public:
    // Starts `program` with its pseudo-terminal linked at `link` and its chip kept in
    // `stateDir`. Port() stays empty when the link did not appear within 5 s.
    IspEmulatorProcess(const std::string& program, const std::string& link,
                       const std::string& stateDir, const std::string& fault = "none");
    // Stops it: the emulator writes its chip's state on the way out.
    ~IspEmulatorProcess() { Stop(); }
    IspEmulatorProcess(const IspEmulatorProcess&) = delete;
    IspEmulatorProcess& operator=(const IspEmulatorProcess&) = delete;

    void Stop();
    // The port to give avrdude: the link, once the emulator serves it.
    const std::string& Port() const { return port_; }

  private:
    pid_t pid_ = 0;
    std::string port_;
};

}  // namespace tq9::sim
