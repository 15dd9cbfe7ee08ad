#include <io.h>
#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

#include "base/Utf16_win.h"
#include "cli/Terminal.h"

namespace tq9 {

namespace {
// Windows runs this on a thread of its own.
BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    CountInterrupt();
    return TRUE;  // handled: the operation is ended by the program itself
}
}  // namespace

std::vector<std::string> StartTerminal(int, char**) {
    // main's arguments are in the ANSI code page, which cannot hold every file name.
    std::vector<std::string> args;
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i)
            args.push_back(Narrow(wide[i]));
        LocalFree(wide);
    }
    SetConsoleOutputCP(CP_UTF8);
    return args;
}

bool IsTerminal(Stream stream) {
    return _isatty(stream == Stream::Input ? 0 : stream == Stream::Output ? 1 : 2) != 0;
}

void CatchInterrupts() {
    SetConsoleCtrlHandler(OnControl, TRUE);
}

}  // namespace tq9
