// COM ports on Windows: an exclusive open (no sharing) of the port's file name.

#include <windows.h>

#include "link/ComPort.h"

namespace tq9 {

std::string ComPortName(std::int32_t number) {
    const std::string digits = std::to_string(number);
    return number <= 9 ? "COM" + digits : "\\\\.\\COM" + digits;
}

std::int32_t ProbePortFile(const std::string& fileName) {
    const std::wstring wide(fileName.begin(), fileName.end());  // port names are ASCII
    HANDLE port = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) return static_cast<std::int32_t>(GetLastError());
    CloseHandle(port);
    return 0;
}

}  // namespace tq9
