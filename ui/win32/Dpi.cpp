#include "ui/win32/Dpi.h"

#include <algorithm>

namespace tq9::win32 {

namespace {
template <typename Function>
Function User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
               : nullptr;
}
}  // namespace

void DeclareDpiAwareness() {
    // Windows 10 1703 and later; older systems (and wine) get the system-wide call.
    using SetContext = BOOL(WINAPI*)(HANDLE);
    if (auto set = User32Function<SetContext>("SetProcessDpiAwarenessContext")) {
        if (set(reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-4)))) return;  // per monitor v2
    }
    SetProcessDPIAware();
}

UINT DpiOf(HWND window) {
    using GetDpi = UINT(WINAPI*)(HWND);
    if (auto get = User32Function<GetDpi>("GetDpiForWindow"); get && window) {
        if (const UINT dpi = get(window)) return dpi;
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

HFONT PixelFont(const wchar_t* face, int pixelsAt96, int weight, DWORD pitch, UINT dpi) {
    // A negative height asks for the character height, as the windows' design gives it.
    return CreateFontW(-Scaled(pixelsAt96, dpi), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       pitch, face);
}

void MoveToSuggested(HWND window, LPARAM suggested) {
    const auto* rect = reinterpret_cast<const RECT*>(suggested);
    SetWindowPos(window, nullptr, rect->left, rect->top, rect->right - rect->left,
                 rect->bottom - rect->top, SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT FrameForClient(int width, int height, DWORD style, DWORD exStyle, bool menu, UINT dpi) {
    RECT rect{0, 0, width, height};
    using Adjust = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    if (auto adjust = User32Function<Adjust>("AdjustWindowRectExForDpi")) {
        if (adjust(&rect, style, menu, exStyle, dpi)) return rect;
    }
    AdjustWindowRectEx(&rect, style, menu, exStyle);
    return rect;
}

RECT WorkAreaNear(const RECT& rect) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &info))
        return info.rcWork;
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

RECT KeptInside(RECT frame, const RECT& area, SIZE minimum) {
    const LONG areaWidth = area.right - area.left, areaHeight = area.bottom - area.top;
    const LONG width = std::max(minimum.cx, std::min(frame.right - frame.left, areaWidth));
    const LONG height = std::max(minimum.cy, std::min(frame.bottom - frame.top, areaHeight));
    LONG left = frame.left, top = frame.top;
    if (left + width > area.right) left = area.right - width;
    if (top + height > area.bottom) top = area.bottom - height;
    left = std::max(left, area.left);
    top = std::max(top, area.top);
    return RECT{left, top, left + width, top + height};
}

}  // namespace tq9::win32
