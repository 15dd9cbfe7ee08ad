#pragma once
// Where the bench's own files live: avrdude and its configuration, the firmware images and
// production files, the probe log, the alert sound and FTDI's library. Bare names resolve
// there, and avrdude runs there. On the production PC that is the program's own directory;
// an installed package keeps the programs dpkg owns apart from the bench's files, and names
// the bench's directory when it is built (TQ9_BENCH_DIR, with a trailing slash).

#include <string>

#include "base/Platform.h"

namespace tq9 {

inline std::string BenchDirectory() {
#if defined(TQ9_BENCH_DIR)
    return TQ9_BENCH_DIR;
#else
    return ExecutableDirectory();
#endif
}

}  // namespace tq9
