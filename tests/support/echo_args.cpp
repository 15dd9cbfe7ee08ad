// A small program for the process runner's tests: writes how it was called into
// "echo.txt" in its working directory (the raw command line where the platform has one,
// each argument, the working directory) and exits with the code given after "--exit".

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#endif

int main(int argc, char** argv) {
    std::ofstream out("echo.txt", std::ios::binary);
#if defined(_WIN32)
    out << "cmdline:" << GetCommandLineA() << '\n';
#endif
    int exitCode = 0;
    for (int i = 1; i < argc; ++i) {
        out << "arg:" << argv[i] << '\n';
        if (std::strcmp(argv[i], "--exit") == 0 && i + 1 < argc) exitCode = std::atoi(argv[i + 1]);
    }
    out << "cwd:" << std::filesystem::current_path().string() << '\n';
    std::printf("echoed %d arguments\n", argc - 1);
    std::fflush(stdout);
    // Long enough that the runner has to wait a few slices.
    std::this_thread::sleep_for(std::chrono::milliseconds(220));
    return exitCode;
}
