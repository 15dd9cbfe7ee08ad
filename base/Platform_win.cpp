#include <windows.h>
// windows.h first: timeapi.h needs its types.
#include <timeapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/Platform.h"
#include "base/Utf16_win.h"
#include "base/Uuid.h"

namespace tq9 {

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = static_cast<DWORD>(std::size(name));
    if (!GetComputerNameW(name, &size)) return "unknown";
    return Narrow(std::wstring(name, size));
}

long CurrentProcessId() {
    return static_cast<long>(GetCurrentProcessId());
}

bool ProcessAlive(long pid) {
    if (pid <= 0) return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

std::string DefaultRecordsPath() {
    wchar_t value[MAX_PATH * 4];
    const DWORD n =
        GetEnvironmentVariableW(L"LOCALAPPDATA", value, static_cast<DWORD>(std::size(value)));
    if (n == 0 || n >= std::size(value)) return {};
    return Narrow(std::wstring(value, n)) + "\\tq9-bench\\records.sqlite3";
}

std::vector<std::string> RecordsSettingsPaths() {
    wchar_t value[MAX_PATH * 4];
    const DWORD n =
        GetEnvironmentVariableW(L"PROGRAMDATA", value, static_cast<DWORD>(std::size(value)));
    if (n == 0 || n >= std::size(value)) return {};
    return {Narrow(std::wstring(value, n)) + "\\tq9-bench\\records.conf"};
}

bool OnNetworkFileSystem(const std::string& folder) {
    const std::wstring path = Widen(folder);
    if (path.rfind(L"\\\\", 0) == 0) return true;  // \\server\share
    wchar_t root[MAX_PATH];
    if (!GetVolumePathNameW(path.c_str(), root, MAX_PATH)) return false;
    return GetDriveTypeW(root) == DRIVE_REMOTE;
}

std::string ExecutableDirectory() {
    wchar_t path[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    if (n == 0 || n >= std::size(path)) return ".\\";
    std::wstring exe(path, n);
    return Narrow(exe.substr(0, exe.find_last_of(L"\\/") + 1));
}

std::string ExpandedEnvironment(const std::string& text) {
    const std::wstring wide = Widen(text);
    std::wstring expanded(32768, L'\0');
    const DWORD n = ExpandEnvironmentStringsW(wide.c_str(), expanded.data(),
                                              static_cast<DWORD>(expanded.size()));
    if (n == 0 || n > expanded.size()) return text;
    expanded.resize(n - 1);  // without the closing null
    return Narrow(expanded);
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

DirectoryLock::~DirectoryLock() {
    Release();
}

// A hidden file in the directory, opened without sharing and gone when closed: a second
// opener gets a sharing violation while the first holds it.
DirectoryLock::Result DirectoryLock::TryTake(const std::string& directory, std::string& whyNot) {
    Release();
    std::string path = directory.empty() ? std::string(".\\") : directory;
    if (path.back() != '\\' && path.back() != '/') path += '\\';
    path += "avrdude.log.lock";
    const HANDLE file =
        CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) return Result::busy;
        whyNot = path + ": error " + std::to_string(error);
        return Result::failed;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return Result::taken;
}

void DirectoryLock::Release() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
}

namespace {
// The system's words for an error code, on one line.
std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = n ? Narrow(std::wstring(text, n)) : "error " + std::to_string(error);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message;
}
}  // namespace

bool WriteFileWhole(const std::string& path, const std::string& content, std::string& whyNot) {
    auto failed = [&](DWORD error) {
        whyNot = "cannot write " + path + " (" + SystemMessage(error) + ")";
        return false;
    };
    // CREATE_NEW: a name that exists (a file, a link) is never opened; a fresh one is tried.
    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = 0;
    for (int attempt = 0; attempt < 5 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = Widen(path + "." + NewUuid().substr(0, 8) + ".part");
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        error = GetLastError();
        if (file == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) return failed(error);
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < content.size()) {
        DWORD written = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1 << 20));
        ok = WriteFile(file, content.data() + done, chunk, &written, nullptr) && written > 0;
        done += written;
    }
    ok = ok && FlushFileBuffers(file);
    error = GetLastError();
    CloseHandle(file);
    if (ok && MoveFileExW(temporary.c_str(), Widen(path).c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (ok) error = GetLastError();
    DeleteFileW(temporary.c_str());
    return failed(error);
}

}  // namespace tq9
