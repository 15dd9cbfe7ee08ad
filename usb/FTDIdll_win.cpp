#include <windows.h>

#include "usb/FTDIdll.h"

namespace tq9 {

const char* D2xxLibraryName() {
    return "FTD2XX.DLL";
}

namespace dynlib {

namespace {
std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}
}  // namespace

void* Open(const std::string& path, std::string& error) {
    HMODULE library = LoadLibraryW(Widen(path).c_str());
    if (!library) error = "cannot be loaded (error " + std::to_string(GetLastError()) + ")";
    return reinterpret_cast<void*>(library);
}

void* Symbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void Close(void* library) {
    FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace dynlib
}  // namespace tq9
