#include "sim/ServerProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>

extern char** environ;

namespace tq9::sim {

ServerProcess::ServerProcess(std::vector<std::string> args, const std::string& readyPath) {
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, args[0].c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        pid_ = 0;
        return;
    }
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::error_code error;
    while (!(ready_ = std::filesystem::exists(std::filesystem::symlink_status(readyPath, error))) &&
           std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void ServerProcess::Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = 0;
}

IspEmulatorProcess::IspEmulatorProcess(const std::string& program, const std::string& link,
                                       const std::string& stateDir, const std::string& fault)
    : ServerProcess((std::filesystem::create_directories(stateDir),
                     std::vector<std::string>{program, "--link", link, "--state", stateDir,
                                              "--fault", fault}),
                    link) {
    if (Ready()) port_ = link;
}

}  // namespace tq9::sim
