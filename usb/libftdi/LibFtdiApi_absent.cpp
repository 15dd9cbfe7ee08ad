// Builds without libftdi1 (Windows, or where it is not installed): no third driver source.

#include "usb/libftdi/LibFtdiApi.h"

namespace tq9 {

bool LibFtdiBuiltIn() {
    return false;
}

const LibFtdiApi& SystemLibFtdi() {
    static const LibFtdiApi none;
    return none;
}

}  // namespace tq9
