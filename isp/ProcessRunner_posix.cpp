// Programs started with posix_spawn, never through a shell: the command line is split by
// the Windows rules so avrdude gets the same arguments as on the production PC.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "isp/CommandLine.h"
#include "isp/ProcessRunner.h"

extern char** environ;

namespace tq9 {

namespace {

class PosixChild : public ChildProcess {
  public:
    PosixChild(pid_t pid, int output) : pid_(pid), output_(output) {}
    ~PosixChild() override {
        if (!ended_) {
            // Nothing here gives up on a running program; reap it so none is left behind.
            int status = 0;
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
        }
        if (output_ >= 0) ::close(output_);
    }

    bool Wait(std::uint32_t ms) override {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            if (Reap()) return true;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  until - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) return false;
            const int slice = static_cast<int>(std::min<long long>(left, 5));
            if (output_ >= 0) {
                pollfd fd{output_, POLLIN, 0};
                if (::poll(&fd, 1, slice) > 0) Drain();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(slice));
            }
        }
    }

    std::string TakeOutput() override {
        Drain();
        std::string text;
        text.swap(buffered_);
        return text;
    }

    int ExitCode() const override { return exitCode_; }

  private:
    bool Reap() {
        if (ended_) return true;
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done != pid_) return false;
        ended_ = true;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        Drain();
        return true;
    }

    void Drain() {
        if (output_ < 0) return;
        char chunk[4096];
        for (;;) {
            const ssize_t got = ::read(output_, chunk, sizeof chunk);
            if (got <= 0) break;
            buffered_.append(chunk, static_cast<std::size_t>(got));
        }
    }

    pid_t pid_;
    int output_;
    bool ended_ = false;
    int exitCode_ = -1;
    std::string buffered_;
};

class PosixRunner : public ProcessRunner {
  public:
    std::unique_ptr<ChildProcess> Start(const std::string& commandLine,
                                        const std::string& workingDirectory, bool hidden) override {
        const std::vector<std::string> args = SplitCommandLine(commandLine);
        if (args.empty() || args[0].empty()) return nullptr;
        std::vector<char*> argv;
        for (const auto& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);

        int pipeFds[2] = {-1, -1};
        if (!hidden && ::pipe2(pipeFds, O_CLOEXEC) != 0) return nullptr;

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (hidden) {
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_adddup2(&actions, 1, 2);
        } else {
            posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
            posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
        }
        if (!workingDirectory.empty()) {
            posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
        }
        pid_t pid = 0;
        const int failed = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (pipeFds[1] >= 0) ::close(pipeFds[1]);
        if (failed != 0) {
            if (pipeFds[0] >= 0) ::close(pipeFds[0]);
            return nullptr;
        }
        if (pipeFds[0] >= 0) ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
        return std::make_unique<PosixChild>(pid, pipeFds[0]);
    }
};

}  // namespace

std::unique_ptr<ProcessRunner> MakeSystemProcessRunner() {
    return std::make_unique<PosixRunner>();
}

}  // namespace tq9
