#pragma once
// The entries of the scan-core list, by index.

#include <array>
#include <string>

namespace tq9 {

inline constexpr std::array<const char*, 10> kScanCoreNames = {
    "ScanBoard61",   "MIDI input", "KeybedScan", "MatrixScan/44",  "MatrixScan/49",
    "MatrixScan/61", "HW Test",    "Optical",    "--------------", "Update ALL"};

// The entry's name, or empty for an index outside the list.
inline std::string ScanCoreName(int index) {
    return index >= 0 && index < static_cast<int>(kScanCoreNames.size()) ? kScanCoreNames[index]
                                                                         : "";
}

}  // namespace tq9
