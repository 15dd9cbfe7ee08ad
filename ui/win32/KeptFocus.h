#pragma once
// A top-level window's keyboard focus kept while another window is active: the control that
// had it gets it back, as a dialog's does, instead of the window itself taking it.

#include <windows.h>

namespace tq9::win32 {

// For WM_ACTIVATE (`activation`: its wParam). True when it gave the focus back, and the
// message is answered.
inline bool KeepFocus(HWND window, WPARAM activation, HWND& lastFocus) {
    if (LOWORD(activation) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(window, focus)) lastFocus = focus;
        return false;
    }
    if (!lastFocus || !IsWindow(lastFocus) || !IsWindowVisible(lastFocus)) return false;
    SetFocus(lastFocus);
    return true;
}

}  // namespace tq9::win32
