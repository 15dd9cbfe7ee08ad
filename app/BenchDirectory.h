#pragma once
// Where the bench's own files live: avrdude and its configuration, the firmware images and
// production files, the probe log, the alert sound and FTDI's library. Bare names resolve
// there, and avrdude runs there. On the production PC that is the program's own directory.
// An installed program keeps its own files apart from the bench's, which operators write:
// the Debian package names the bench's directory when it is built (TQ9_BENCH_DIR, with a
// trailing slash); the Windows installer names it in bench-directory.txt beside the
// programs (under Program Files, which operators cannot write).

#include <filesystem>
#include <fstream>
#include <string>

#include "base/Platform.h"

namespace tq9 {

inline constexpr const char* kBenchDirectoryFile = "bench-directory.txt";

// The directory the first line of bench-directory.txt in `programDirectory` names (its
// %VARIABLES% put in, a trailing separator added); `programDirectory` itself without that
// file or with nothing in it.
inline std::string BenchDirectoryBeside(const std::string& programDirectory) {
    std::ifstream file(std::filesystem::u8path(programDirectory + kBenchDirectoryFile));
    std::string line;
    if (!file || !std::getline(file, line)) return programDirectory;
    if (line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);  // Notepad's byte order mark
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    line = ExpandedEnvironment(line);
    if (line.empty()) return programDirectory;
    const char separator = programDirectory.empty() ? '/' : programDirectory.back();
    if (line.back() != '/' && line.back() != '\\') line += separator;
    return line;
}

inline std::string BenchDirectory() {
#if defined(TQ9_BENCH_DIR)
    return TQ9_BENCH_DIR;
#else
    return BenchDirectoryBeside(ExecutableDirectory());
#endif
}

}  // namespace tq9
