#include <io.h>
#include <windows.h>

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

bool IsTerminal(Stream stream) {
    return _isatty(stream == Stream::Input ? 0 : stream == Stream::Output ? 1 : 2) != 0;
}

void CatchInterrupts() {
    SetConsoleCtrlHandler(OnControl, TRUE);
}

}  // namespace tq9
