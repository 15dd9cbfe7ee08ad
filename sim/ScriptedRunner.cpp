#include "sim/ScriptedRunner.h"

#include <algorithm>
#include <fstream>

#include "isp/CommandLine.h"

namespace tq9::sim {

namespace {
class ScriptedChild : public ChildProcess {
  public:
    ScriptedChild(VirtualClock& clock, std::uint32_t runMs, int exitCode, std::string output,
                  std::vector<ScriptedRunner::Call>& calls, bool ignoresStop)
        : clock_(clock),
          leftUs_(std::uint64_t(runMs) * 1000),
          exitCode_(exitCode),
          output_(std::move(output)),
          calls_(calls),
          index_(calls.size() - 1),
          ignoresStop_(ignoresStop) {}
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
    void Stop(bool force) override {
        ScriptedRunner::Call& call = calls_[index_];
        ++call.stops;
        call.killed = call.killed || force;
        if (leftUs_ == 0 || (ignoresStop_ && !force)) return;
        leftUs_ = 0;
        exitCode_ = force ? 137 : 143;  // as a shell reports SIGKILL and SIGTERM
    }

  private:
    VirtualClock& clock_;
    std::uint64_t leftUs_;
    int exitCode_;
    std::string output_;
    std::vector<ScriptedRunner::Call>& calls_;
    std::size_t index_;
    bool ignoresStop_;
};
}  // namespace

std::unique_ptr<ChildProcess> ScriptedRunner::Start(const ProgramStart& start,
                                                    std::string& whyNot) {
    std::vector<std::string> argv = SplitArguments(start.arguments);
    argv.insert(argv.begin(), start.programPath);
    calls.push_back({start.commandLine, start.workingDirectory, start.hidden, argv});
    if (failToStart || static_cast<int>(calls.size()) - 1 == failToStartCall) {
        whyNot = "No such file or directory";
        return nullptr;
    }
    const int exitCode = onRun ? onRun(calls.back()) : 0;
    return std::make_unique<ScriptedChild>(clock_, runMs, exitCode, output, calls, ignoresStop);
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
