#pragma once
// Small facts about the running program that differ by platform.

#include <cstdint>
#include <string>

namespace tq9 {

// The directory of the running executable, with a trailing path separator.
std::string ExecutableDirectory();
// The system's 32-bit millisecond tick counter (GetTickCount on Windows).
std::uint32_t SystemTickCount();
// Whether a file of this name exists in the directory; the name matches without regard
// to case, as on the production PC. `actual` receives the name as it stands on disk.
bool FileExistsNoCase(const std::string& directory, const std::string& name,
                      std::string* actual = nullptr);

}  // namespace tq9
