#include <unistd.h>

#include <climits>
#include <string>

#include "ui/services/Platform.h"

namespace tq9 {

std::string ExecutableDirectory() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "./";
    std::string exe(path, static_cast<std::size_t>(n));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? "./" : exe.substr(0, slash + 1);
}

}  // namespace tq9
