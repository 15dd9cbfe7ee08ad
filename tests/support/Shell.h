#pragma once
// A shell command as a script runs it (POSIX): its exit code, its standard output, and its
// standard error by way of `errFile`.

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/CtlRun.h"

namespace tq9::test {

inline CtlRun RunShell(const std::string& command, const std::filesystem::path& errFile) {
    CtlRun run;
    // The line break ends a comment the command may end with.
    if (FILE* pipe = ::popen(("(" + command + "\n) 2>'" + errFile.string() + "'").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            run.out.append(buffer, got);
        const int status = ::pclose(pipe);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::stringstream text;
    text << std::ifstream(errFile).rdbuf();
    run.err = text.str();
    return run;
}

}  // namespace tq9::test
