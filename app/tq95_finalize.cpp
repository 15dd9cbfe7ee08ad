// Program entry: the main window, then the device selection dialog, then the message loop
// until the main window closes. The window takes no options; --help and --version are
// answered on the terminal before any window (or display) is needed.

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/BenchDirectory.h"
#include "app/MainWindows.h"

namespace {
constexpr const char* kHelp =
    "Usage: tq9-bench\n"
    "The TQ9 organ module's bench tool: finds the board's FTDI USB-serial cable, identifies\n"
    "the board, runs its maintenance commands, uploads scan-core files and, on an OEM bench,\n"
    "programs its AVR controller through avrdude. Everything is done in the window; the\n"
    "program takes no options. tq9ctl runs the same operations from a terminal.\n"
    "\n"
    "The bench's files (avrdude, avrdude.conf, firmware images, production files,\n"
    "libftd2xx.so) are looked up in %s\n"
    "See tq9-bench(1).\n";
}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::printf(kHelp, tq9::BenchDirectory().c_str());
        return 0;
    }
    if (argc == 2 && !std::strcmp(argv[1], "--version")) {
        std::printf("tq9-bench %s\n", TQ9_VERSION);
        return 0;
    }
    QApplication application(argc, argv);
    tq9::SetUpApplication();
    tq9::MainWindows windows =
        tq9::CreateMainWindows(tq9::BenchDirectory(), tq9::DefaultRecordsPath());
    windows.form->show();
    return application.exec();
}
