#pragma once
// Pixel sizes are laid out for 96 DPI and scaled to the monitor the window is on.

#include <windows.h>

namespace tq9::win32 {

// Per-monitor (v2) DPI awareness where the system has it, else system-wide awareness.
// Call before the first window is made.
void DeclareDpiAwareness();
// The DPI the window is shown at (the system's where a window cannot say).
UINT DpiOf(HWND window);
inline int Scaled(int pixelsAt96, UINT dpi) {
    return MulDiv(pixelsAt96, static_cast<int>(dpi), 96);
}
// A font whose characters are `pixelsAt96` high at 96 DPI, scaled; the caller deletes it.
HFONT PixelFont(const wchar_t* face, int pixelsAt96, int weight, DWORD pitch, UINT dpi);
// Moves a window to the place WM_DPICHANGED suggests (its `lParam`).
void MoveToSuggested(HWND window, LPARAM suggested);
// AdjustWindowRectEx at the window's DPI, where the system can.
RECT FrameForClient(int width, int height, DWORD style, DWORD exStyle, bool menu, UINT dpi);
// The work area (screen less the task bar) of the monitor nearest to `rect`.
RECT WorkAreaNear(const RECT& rect);
// `frame` moved (and shrunk no smaller than `minimum`, where it must) into `area`.
RECT KeptInside(RECT frame, const RECT& area, SIZE minimum);

}  // namespace tq9::win32
