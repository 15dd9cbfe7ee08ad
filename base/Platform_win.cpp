#include <windows.h>
// windows.h first: timeapi.h needs its types.
#include <timeapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/Platform.h"
#include "base/Utf16_win.h"

namespace tq9 {

std::string ExecutableDirectory() {
    wchar_t path[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    if (n == 0 || n >= std::size(path)) return ".\\";
    std::wstring exe(path, n);
    return Narrow(exe.substr(0, exe.find_last_of(L"\\/") + 1));
}

std::uint32_t SystemTickCount() {
    return GetTickCount();
}

bool FileExistsNoCase(const std::string& directory, const std::string& name, std::string* actual) {
    // Windows file names already match without regard to case.
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(Widen(directory + name).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    if (actual) *actual = Narrow(found.cFileName);
    return true;
}

std::vector<std::string> FilesInDirectory(const std::string& directory) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(Widen(directory + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            names.push_back(Narrow(found.cFileName));
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
               CSTR_LESS_THAN;
    });
    return names;
}

FineTimerResolution::FineTimerResolution() : raised_(timeBeginPeriod(1) == TIMERR_NOERROR) {}

FineTimerResolution::~FineTimerResolution() {
    if (raised_) timeEndPeriod(1);
}

}  // namespace tq9
