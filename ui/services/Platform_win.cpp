#include <windows.h>

#include <string>

#include "ui/services/Platform.h"

namespace tq9 {

std::string ExecutableDirectory() {
    wchar_t path[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    if (n == 0 || n >= std::size(path)) return ".\\";
    std::wstring exe(path, n);
    exe = exe.substr(0, exe.find_last_of(L"\\/") + 1);
    const int size = WideCharToMultiByte(CP_UTF8, 0, exe.data(), static_cast<int>(exe.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string dir(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, exe.data(), static_cast<int>(exe.size()), dir.data(), size,
                        nullptr, nullptr);
    return dir;
}

}  // namespace tq9
