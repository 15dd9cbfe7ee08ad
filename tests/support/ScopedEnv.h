#pragma once
// An environment variable set for one test and put back afterwards: where the board
// records go, above all, so that no test writes into the user's own.

#include <optional>
#include <string>

namespace tq9::test {

// The variable that names the folder the records' "tq9-bench" folder is made in.
#if defined(_WIN32)
inline constexpr const char* kRecordsHome = "LOCALAPPDATA";
#else
inline constexpr const char* kRecordsHome = "XDG_DATA_HOME";
#endif

class ScopedEnv {
  public:
    // `value` is UTF-8 (on Windows it reaches the environment as UTF-16).
    ScopedEnv(std::string name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace tq9::test
