#include "isp/ProductionFiles.h"

namespace tq9 {

const char* AvrdudeExecutableName() {
    return "avrdude.exe";
}
const char* AvrdudeDisplayName() {
    return "AVRdude.exe";
}

bool IspPortValid(const std::string& comText) {
    return AllDigits(comText);
}

std::string IspPortArgument(const std::string& comText) {
    return "COM" + comText;
}

const char* IspPortPermissionAdvice() {
    return "";
}

}  // namespace tq9
