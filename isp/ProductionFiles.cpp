#include "isp/ProductionFiles.h"

namespace tq9 {

void ReportMissingFile(Services& services, const std::string& fileName) {
    services.ConsoleAdd("##### Error: Missing file " + fileName);
}

}  // namespace tq9
