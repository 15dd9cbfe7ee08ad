#pragma once
// Starting an external program and waiting for it: the seam between the ISP pass and the
// platform's process primitive (CreateProcessW on Windows, posix_spawn elsewhere).

#include <cstdint>
#include <memory>
#include <string>

namespace tq9 {

// A started program. Owned by the caller, who waits until it has ended.
class ChildProcess {
  public:
    virtual ~ChildProcess() = default;
    // Waits up to ms milliseconds; true once the program has ended.
    virtual bool Wait(std::uint32_t ms) = 0;
    // What the program wrote since the last call, for a run whose output is shown.
    virtual std::string TakeOutput() = 0;
    // The exit code, once ended.
    virtual int ExitCode() const = 0;
};

class ProcessRunner {
  public:
    virtual ~ProcessRunner() = default;
    // Starts the program the command line's first token names, in workingDirectory.
    // hidden: no window, output discarded. Null when it cannot be started.
    virtual std::unique_ptr<ChildProcess> Start(const std::string& commandLine,
                                                const std::string& workingDirectory,
                                                bool hidden) = 0;
};

// The platform's own runner.
std::unique_ptr<ProcessRunner> MakeSystemProcessRunner();

}  // namespace tq9
