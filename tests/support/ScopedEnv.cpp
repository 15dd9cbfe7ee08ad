#include "support/ScopedEnv.h"

#if defined(_WIN32)
#include <windows.h>

#include <vector>

#include "base/Utf16_win.h"
#else
#include <cstdlib>
#endif

namespace tq9::test {

namespace {
#if defined(_WIN32)
std::optional<std::string> Get(const std::string& name) {
    std::vector<wchar_t> value(32768);
    const DWORD n = GetEnvironmentVariableW(Widen(name).c_str(), value.data(),
                                            static_cast<DWORD>(value.size()));
    if (n == 0 || n >= value.size()) return std::nullopt;
    return Narrow(std::wstring(value.data(), n));
}
void Set(const std::string& name, const std::optional<std::string>& value) {
    SetEnvironmentVariableW(Widen(name).c_str(), value ? Widen(*value).c_str() : nullptr);
}
#else
std::optional<std::string> Get(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
}
void Set(const std::string& name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
}
#endif
}  // namespace

ScopedEnv::ScopedEnv(std::string name, const std::string& value)
    : name_(std::move(name)), old_(Get(name_)) {
    Set(name_, value);
}

ScopedEnv::~ScopedEnv() {
    Set(name_, old_);
}

}  // namespace tq9::test
