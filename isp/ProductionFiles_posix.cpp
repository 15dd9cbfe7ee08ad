#include "isp/ProductionFiles.h"

namespace tq9 {

const char* AvrdudeExecutableName() {
    return "avrdude";
}
const char* AvrdudeDisplayName() {
    return "AVRdude";
}

std::string IspPortArgument(const std::string& comText) {
    if (!comText.empty() && comText.front() == '/') return comText;
    return "/dev/ttyUSB" + comText;
}

}  // namespace tq9
