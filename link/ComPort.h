#pragma once
// COM ports by number: their file names on this platform, and the exclusive-open probe
// that tells a free port from a missing or busy one.

#include <cstdint>
#include <functional>
#include <string>

namespace tq9 {

// Gives the file name of COM port n. Injectable so tests can probe files of their own.
using PortNamer = std::function<std::string(std::int32_t)>;

// "COM<n>" up to 9 and "\\.\COM<n>" from 10 on Windows; "/dev/ttyUSB<n>" elsewhere.
std::string ComPortName(std::int32_t number);
// 0 when the named port opens exclusively, else the system's error code. Closes at once.
std::int32_t ProbePortFile(const std::string& fileName);
inline std::int32_t ProbeComPort(std::int32_t number, const PortNamer& portName = ComPortName) {
    return ProbePortFile(portName ? portName(number) : ComPortName(number));
}

}  // namespace tq9
