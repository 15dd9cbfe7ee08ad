#include "isp/ProductionFiles.h"

namespace tq9 {

const char* AvrdudeExecutableName() {
    return "avrdude.exe";
}
const char* AvrdudeDisplayName() {
    return "AVRdude.exe";
}

std::string IspPortArgument(const std::string& comText) {
    return "COM" + comText;
}

}  // namespace tq9
