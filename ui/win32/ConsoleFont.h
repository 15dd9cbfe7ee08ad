#pragma once
// The console's font: fixed pitch whatever fonts the machine has. The font mapper takes a
// face it lacks for another, and a requested pitch is only a wish, so what it matched is
// checked, not assumed.

#include <windows.h>

#include <initializer_list>

namespace tq9::win32 {

// Whether `font` as the mapper realised it is fixed pitch.
bool IsFixedPitch(HFONT font);
// The first of `candidates` that is fixed pitch, the others deleted; with none, the system's
// stock fixed font. The caller deletes what it gets (a stock font ignores that).
HFONT FirstFixedPitch(std::initializer_list<HFONT> candidates);
// "Lucida Console" where the machine has it, else "Courier New", else the stock fixed font.
HFONT ConsoleFont(UINT dpi);

}  // namespace tq9::win32
