#pragma once
// File-name patterns as the production PC matches them.

#include <string>

namespace tq9 {

// Whether a name matches a pattern of * and ? without regard to case.
bool WildcardMatch(const std::string& pattern, const std::string& name);

}  // namespace tq9
