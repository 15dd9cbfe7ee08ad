#pragma once
// A process runner for tests: records every start and plays a scripted program on the
// virtual clock (it writes avrdude's probe log, for example, and ends after runMs).

#include <functional>
#include <string>
#include <vector>

#include "isp/ProcessRunner.h"
#include "sim/Clock.h"

namespace tq9::sim {

class ScriptedRunner : public ProcessRunner {
  public:
    struct Call {
        std::string commandLine;
        std::string workingDirectory;
        bool hidden = true;
        std::vector<std::string> argv;  // program and arguments as the program would see them
        int stops = 0;                  // how often it was asked to stop
        bool killed = false;            // whether it was stopped by force
    };

    explicit ScriptedRunner(VirtualClock& clock) : clock_(clock) {}

    std::unique_ptr<ChildProcess> Start(const ProgramStart& start, std::string& whyNot) override;

    // What the program does when it starts; returns its exit code (0 when unset).
    std::function<int(const Call&)> onRun;
    std::uint32_t runMs = 300;
    bool failToStart = false;
    int failToStartCall = -1;  // the one call (counted from 0) that cannot start
    std::string output;        // what a run writes (a hidden one too, as on POSIX)
    // A program that takes no notice of a request to stop, only of a forced one.
    bool ignoresStop = false;
    std::vector<Call> calls;

  private:
    VirtualClock& clock_;
};

// A script for onRun that plays avrdude: the probe (-l) writes `log` into its working
// directory; every run exits with `exitCode`.
std::function<int(const ScriptedRunner::Call&)> AvrdudeScript(std::string log, int exitCode = 0);

}  // namespace tq9::sim
