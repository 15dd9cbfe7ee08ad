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
// Whether the operator's text names a programmer port and nothing else: a port number
// (digits only, at most kMaxPortNumber) and, on Linux, also a device path under /dev/ without
// blanks, quotes or control characters. Anything else would put words of the operator's into
// avrdude's command line.
bool IspPortValid(const std::string& comText);
// avrdude's -P value for a valid port text: "COM" + number on Windows; elsewhere the device
// path as typed, or /dev/ttyUSB + the number.
std::string IspPortArgument(const std::string& comText);
// What to tell the operator when the programmer's port may not be opened for lack of
// permission; empty where there is nothing to add.
const char* IspPortPermissionAdvice();

// A port number: one or more decimal digits and nothing else.
bool AllDigits(const std::string& text);
// The port number a text of digits names, without leading zeros ("00" names port 0, not
// a ttyUSB00 that no system has); false for anything else or beyond kMaxPortNumber.
inline constexpr int kMaxPortNumber = 255;  // COM255 is the last Windows has
bool PortNumber(const std::string& text, std::string& number);

// "##### Error: Missing file " followed by the name.
void ReportMissingFile(Services& services, const std::string& fileName);

}  // namespace tq9
