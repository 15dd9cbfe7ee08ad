#pragma once
// Small facts about the running program that differ by platform.

#include <string>

namespace tq9 {

// The directory of the running executable, with a trailing path separator.
std::string ExecutableDirectory();

}  // namespace tq9
