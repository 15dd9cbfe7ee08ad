#pragma once
// Text crosses the cable, and comes from the driver, as 8-bit characters of the ANSI code
// page (Windows-1252 on the production PCs). It is converted here, once, where it crosses:
// above link/ every std::string is UTF-8. All traffic in use is ASCII, for which both
// conversions change nothing; every byte survives the round trip.

#include <string>
#include <string_view>

namespace tq9 {

// Windows-1252 bytes to UTF-8. The five bytes 1252 leaves undefined map to U+0081 etc.,
// as Windows does.
std::string AnsiToUtf8(std::string_view bytes);
// UTF-8 to Windows-1252 bytes; a character 1252 lacks becomes "?".
std::string Utf8ToAnsi(std::string_view text);

}  // namespace tq9
