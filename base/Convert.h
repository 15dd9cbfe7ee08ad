#pragma once
// Text to number and back, always with "." as the decimal separator whatever the locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/Errors.h"

namespace tq9 {

// An optional sign and decimal digits, within the signed 32-bit range; nothing else.
std::optional<std::int32_t> ParseInt32(std::string_view text);
// A decimal number with "." as separator and an optional exponent; finite values only.
std::optional<double> ParseFloat(std::string_view text);

// As the parsers, but a text that does not convert raises ConvertError:
// "'<text>' ist kein gültiger Integerwert" / "... Gleitkommawert".
std::int32_t StrToInt(const std::string& text);
// The error StrToInt raises for `text`.
ConvertError IntConvertError(const std::string& text);
double StrToFloat(const std::string& text);
// The integer value of a text, or `fallback` when it is not one.
std::int32_t StrToIntDef(const std::string& text, std::int32_t fallback);

// General format with up to 15 significant digits: 3.6 -> "3.6", 4 -> "4".
std::string FormatGeneral(double value);

}  // namespace tq9
