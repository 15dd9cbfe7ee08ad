#include "sim/ScriptedRunner.h"

#include <algorithm>
#include <fstream>

#include "isp/CommandLine.h"

namespace tq9::sim {

namespace {
class ScriptedChild : public ChildProcess {
  public:
    ScriptedChild(VirtualClock& clock, std::uint32_t runMs, int exitCode, std::string output)
        : clock_(clock),
          leftUs_(std::uint64_t(runMs) * 1000),
          exitCode_(exitCode),
          output_(std::move(output)) {}
    bool Wait(std::uint32_t ms) override {
        const std::uint64_t step = std::min<std::uint64_t>(leftUs_, std::uint64_t(ms) * 1000);
        clock_.Advance(step);
        leftUs_ -= step;
        return leftUs_ == 0;
    }
    std::string TakeOutput() override {
        std::string text;
        text.swap(output_);
        return text;
    }
    int ExitCode() const override { return exitCode_; }

  private:
    VirtualClock& clock_;
    std::uint64_t leftUs_;
    int exitCode_;
    std::string output_;
};
}  // namespace

std::unique_ptr<ChildProcess> ScriptedRunner::Start(const std::string& commandLine,
                                                    const std::string& workingDirectory,
                                                    bool hidden) {
    calls.push_back({commandLine, workingDirectory, hidden, SplitCommandLine(commandLine)});
    if (failToStart) return nullptr;
    const int exitCode = onRun ? onRun(calls.back()) : 0;
    return std::make_unique<ScriptedChild>(clock_, runMs, exitCode, hidden ? "" : output);
}

std::function<int(const ScriptedRunner::Call&)> AvrdudeScript(std::string log, int exitCode) {
    return [log = std::move(log), exitCode](const ScriptedRunner::Call& call) {
        const auto& argv = call.argv;
        const auto l = std::find(argv.begin(), argv.end(), "-l");
        if (l != argv.end() && l + 1 != argv.end()) {
            std::ofstream(call.workingDirectory + *(l + 1), std::ios::binary) << log;
        }
        return exitCode;
    };
}

}  // namespace tq9::sim
