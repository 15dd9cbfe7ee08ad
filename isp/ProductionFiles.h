#pragma once
// Names of the files an OEM bench keeps in the program's directory.

#include <string>

#include "ui/services/Services.h"

namespace tq9 {

// The avrdude executable as it is named on this platform.
const char* AvrdudeExecutableName();

// "##### Error: Missing file " followed by the name.
void ReportMissingFile(Services& services, const std::string& fileName);

}  // namespace tq9
