#include "sim/IspEmulatorProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

extern char** environ;

namespace tq9::sim {

IspEmulatorProcess::IspEmulatorProcess(const std::string& program, const std::string& link,
                                       const std::string& stateDir, const std::string& fault) {
    std::filesystem::create_directories(stateDir);
    std::vector<std::string> args = {program,  "--link",  link, "--state",
                                     stateDir, "--fault", fault};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        pid_ = 0;
        return;
    }
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!std::filesystem::is_symlink(link) && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (std::filesystem::is_symlink(link)) port_ = link;
}

void IspEmulatorProcess::Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = 0;
}

}  // namespace tq9::sim
