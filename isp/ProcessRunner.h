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
    // What the program wrote since the last call: for a shown run all of it; for a hidden
    // run what the platform lets us see (its standard error and output on POSIX, nothing
    // on Windows, where it has a console of its own).
    virtual std::string TakeOutput() = 0;
    // The exit code, once ended.
    virtual int ExitCode() const = 0;
    // Asks the program to end (SIGTERM on POSIX), or ends it at once when `force` is set
    // or the platform has no gentler way (TerminateProcess on Windows). Wait still reaps.
    virtual void Stop(bool force) = 0;
};

// One program start.
struct ProgramStart {
    std::string programPath;  // a full path, as it stands on disk
    std::string arguments;    // the argument text, split by the Windows rules where needed
    // "\"<programPath>\" <arguments>": exactly what Windows gets, and what is shown.
    std::string commandLine;
    std::string workingDirectory;
    bool hidden = true;  // no window, output not shown
};

class ProcessRunner {
  public:
    virtual ~ProcessRunner() = default;
    // Starts the program in its working directory. Null when it cannot be started, with
    // the system's reason in `whyNot`.
    virtual std::unique_ptr<ChildProcess> Start(const ProgramStart& start, std::string& whyNot) = 0;
};

// The platform's own runner.
std::unique_ptr<ProcessRunner> MakeSystemProcessRunner();

// The start as this platform's shell takes it back, to repeat exactly that run: on Windows
// the command line itself (what CreateProcessW gets); elsewhere the program and the
// arguments it gets, each quoted for a POSIX shell where it needs it.
std::string RepeatableCommandLine(const ProgramStart& start);

}  // namespace tq9
