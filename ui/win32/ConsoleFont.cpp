#include "ui/win32/ConsoleFont.h"

#include "ui/win32/Dpi.h"

namespace tq9::win32 {

bool IsFixedPitch(HFONT font) {
    if (!font) return false;
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    const bool measured = GetTextMetricsW(dc, &metrics) != FALSE;
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    // The bit's name says the opposite of what it means: set for a variable pitch.
    return measured && !(metrics.tmPitchAndFamily & TMPF_FIXED_PITCH);
}

HFONT FirstFixedPitch(std::initializer_list<HFONT> candidates) {
    HFONT chosen = nullptr;
    for (HFONT font : candidates) {
        if (!chosen && IsFixedPitch(font)) {
            chosen = font;
        } else if (font) {
            DeleteObject(font);
        }
    }
    return chosen ? chosen : static_cast<HFONT>(GetStockObject(ANSI_FIXED_FONT));
}

HFONT ConsoleFont(UINT dpi) {
    constexpr DWORD kFixed = FIXED_PITCH | FF_MODERN;
    return FirstFixedPitch({PixelFont(L"Lucida Console", 12, FW_NORMAL, kFixed, dpi),
                            PixelFont(L"Courier New", 12, FW_NORMAL, kFixed, dpi)});
}

}  // namespace tq9::win32
