#include "isp/ProductionFiles.h"

namespace tq9 {

const char* AvrdudeExecutableName() {
    return "avrdude.exe";
}
const char* AvrdudeDisplayName() {
    return "AVRdude.exe";
}

bool IspPortValid(const std::string& comText) {
    std::string number;
    return PortNumber(comText, number);
}

std::string IspPortArgument(const std::string& comText) {
    std::string number;
    PortNumber(comText, number);
    return "COM" + number;
}

const char* IspPortPermissionAdvice() {
    return "";
}

}  // namespace tq9
