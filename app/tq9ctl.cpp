// tq9ctl: the bench's operations from the command line (cli/), on the bench directory the
// window program uses.

#include <string>
#include <vector>

#include "app/BenchDirectory.h"
#include "cli/Ctl.h"

int main(int argc, char** argv) {
    return tq9::RunCtl(std::vector<std::string>(argv + 1, argv + argc), tq9::BenchDirectory());
}
