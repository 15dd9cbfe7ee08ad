// Programs started with posix_spawn, never through a shell: the program's path goes to it
// as it is, and the argument text is split by the Windows rules so avrdude gets the same
// arguments as on the production PC.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

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
            // Given up on while running (the operation ended with an error): end it and
            // what it started, and reap it, so nothing is left holding the port.
            ::kill(-pid_, SIGKILL);
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

    // The whole process group: whatever the program started goes with it.
    void Stop(bool force) override {
        if (!ended_) ::kill(-pid_, force ? SIGKILL : SIGTERM);
    }

  private:
    bool Reap() {
        if (ended_) return true;
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done != pid_) return false;
        ended_ = true;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        Drain();
        // The code alone would read as the program's own verdict.
        if (WIFSIGNALED(status)) {
            buffered_ += "\n[ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
                         ::strsignal(WTERMSIG(status)) + "): exit code " +
                         std::to_string(exitCode_) + "]\n";
        }
        // What it started ends with it: a child left behind could hold the port.
        ::kill(-pid_, SIGKILL);
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
    std::unique_ptr<ChildProcess> Start(const ProgramStart& start, std::string& whyNot) override {
        if (start.programPath.empty()) {
            whyNot = "no program named";
            return nullptr;
        }
        std::vector<std::string> args = SplitArguments(start.arguments);
        args.insert(args.begin(), start.programPath);
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);

        // Shown or hidden, what the program writes is collected: a hidden run's words are
        // what explains a failure that left nothing else behind.
        int pipeFds[2] = {-1, -1};
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
            whyNot = std::strerror(errno);
            return nullptr;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
        if (!start.workingDirectory.empty()) {
            posix_spawn_file_actions_addchdir_np(&actions, start.workingDirectory.c_str());
        }
        // A process group of its own, so a stop reaches everything it started.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        pid_t pid = 0;
        const int failed = ::posix_spawn(&pid, start.programPath.c_str(), &actions, &attributes,
                                         argv.data(), environ);
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        if (failed != 0) {
            ::close(pipeFds[0]);
            whyNot = std::strerror(failed);
            return nullptr;
        }
        ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
        return std::make_unique<PosixChild>(pid, pipeFds[0]);
    }
};

// One word for a POSIX shell: as it is when nothing in it means anything to a shell, else
// in single quotes (a quote inside as '\'').
std::string ShellWord(const std::string& word) {
    const bool plain = !word.empty() && word.find_first_not_of(
                                            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                            "0123456789_@%+=:,./-") == std::string::npos;
    if (plain) return word;
    std::string quoted = "'";
    for (const char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

std::unique_ptr<ProcessRunner> MakeSystemProcessRunner() {
    return std::make_unique<PosixRunner>();
}

std::string RepeatableCommandLine(const ProgramStart& start) {
    std::string line = ShellWord(start.programPath);
    for (const std::string& arg : SplitArguments(start.arguments))
        line += " " + ShellWord(arg);
    return line;
}

}  // namespace tq9
