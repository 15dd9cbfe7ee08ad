#pragma once
// Command lines as Windows programs read them.

#include <string>
#include <vector>

namespace tq9 {

// A command line split into arguments by the rules Windows programs use (quotes group
// blanks; backslashes escape only quotes), so every platform sees the same arguments.
// The first argument is the program: a quoted one ends at the next quote.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
// The same rules for an argument text alone (no program name in front).
std::vector<std::string> SplitArguments(const std::string& arguments);

}  // namespace tq9
