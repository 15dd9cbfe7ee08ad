#pragma once
// The entries of the scan-core list, by index.

#include <array>
#include <string>
#include <vector>

namespace tq9 {

inline constexpr std::array<const char*, 10> kScanCoreNames = {
    "ScanBoard61",   "MIDI input", "KeybedScan", "MatrixScan/44",  "MatrixScan/49",
    "MatrixScan/61", "HW Test",    "Optical",    "--------------", "Update ALL"};

// The entry's name, or empty for an index outside the list.
inline std::string ScanCoreName(int index) {
    return index >= 0 && index < static_cast<int>(kScanCoreNames.size()) ? kScanCoreNames[index]
                                                                         : "";
}

// The entries as a host's scan-core list holds them.
inline std::vector<std::string> ScanCoreEntries() {
    return {kScanCoreNames.begin(), kScanCoreNames.end()};
}

}  // namespace tq9
