#include <windows.h>

#include "base/Utf16_win.h"
#include "usb/FTDIdll.h"

namespace tq9 {

const char* D2xxLibraryName() {
    return "FTD2XX.DLL";
}

namespace dynlib {

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
