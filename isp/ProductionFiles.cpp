#include "isp/ProductionFiles.h"

namespace tq9 {

const char* AvrdudeExecutableName() {
#if defined(_WIN32)
    return "avrdude.exe";
#else
    return "avrdude";
#endif
}

void ReportMissingFile(Services& services, const std::string& fileName) {
    services.ConsoleAdd("##### Error: Missing file " + fileName);
}

}  // namespace tq9
