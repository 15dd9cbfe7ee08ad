#include "isp/ProductionFiles.h"

#include <algorithm>

namespace tq9 {

const char* AvrdudeExecutableName() {
    return "avrdude";
}
const char* AvrdudeDisplayName() {
    return "AVRdude";
}

bool IspPortValid(const std::string& comText) {
    std::string number;
    if (AllDigits(comText)) return PortNumber(comText, number);
    if (comText.rfind("/dev/", 0) != 0 || comText.size() == 5) return false;
    for (const char c : comText) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte == 0x7F || c == '"' || c == '\'') return false;
    }
    // "/dev/../tmp/x" would lead avrdude out of /dev: no "." or ".." component, nor an
    // empty one.
    for (std::size_t at = 1; at <= comText.size();) {
        const auto end = std::min(comText.find('/', at), comText.size());
        const std::string component = comText.substr(at, end - at);
        if (component.empty() || component == "." || component == "..") return false;
        at = end + 1;
    }
    return true;
}

std::string IspPortArgument(const std::string& comText) {
    if (!comText.empty() && comText.front() == '/') return comText;
    std::string number;
    PortNumber(comText, number);
    return "/dev/ttyUSB" + number;
}

const char* IspPortPermissionAdvice() {
    return "##### Error: This user may not open the DIAMEX port (Permission denied). The "
           "programmer is a serial port of the group dialout: add the user to it (sudo adduser "
           "$USER dialout), then log in again.";
}

}  // namespace tq9
