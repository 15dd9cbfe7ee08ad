// tq9ctl: the bench's operations from the command line (cli/), on the bench directory the
// window program uses.

#include <string>
#include <vector>

#include "app/BenchDirectory.h"
#include "cli/Ctl.h"
#include "cli/Terminal.h"

int main(int argc, char** argv) {
    return tq9::RunCtl(tq9::StartTerminal(argc, argv), tq9::BenchDirectory());
}
