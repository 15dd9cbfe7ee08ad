#pragma once
// tq9ctl run in the test's own process, as a script runs it: its exit code, and what it
// wrote on standard output and standard error.

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Ctl.h"

namespace tq9::test {

struct CtlRun {
    int exitCode = -1;
    std::string out, err;
    std::string FirstErrorLine() const { return err.substr(0, err.find('\n')); }
};

inline CtlRun RunCtlHere(const std::vector<std::string>& args, const std::string& benchDirectory) {
    std::ostringstream out, err;
    auto* const oldOut = std::cout.rdbuf(out.rdbuf());
    auto* const oldErr = std::cerr.rdbuf(err.rdbuf());
    CtlRun run;
    run.exitCode = RunCtl(args, benchDirectory);
    std::cout.rdbuf(oldOut);
    std::cerr.rdbuf(oldErr);
    run.out = out.str();
    run.err = err.str();
    return run;
}

}  // namespace tq9::test
