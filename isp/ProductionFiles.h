#pragma once
// Names of the files an OEM bench keeps in the program's directory, as this platform
// spells them.

#include <string>

#include "services/Services.h"

namespace tq9 {

// The avrdude executable: avrdude.exe on Windows, avrdude elsewhere.
const char* AvrdudeExecutableName();
// How the production-file check names it when it is missing: AVRdude.exe / AVRdude.
const char* AvrdudeDisplayName();
// avrdude's -P value for the programmer port the operator typed: "COM" + text on Windows;
// elsewhere a device path as typed, or /dev/ttyUSB + the number.
std::string IspPortArgument(const std::string& comText);

// "##### Error: Missing file " followed by the name.
void ReportMissingFile(Services& services, const std::string& fileName);

}  // namespace tq9
