#pragma once
// The device flow behind "Device": list the cables, let the operator choose one, open it,
// detect its COM port, check that the board answers and identify it; and "Close". The
// window, the console programs and the production run all reach a board through it.

#include "board/BoardInfo.h"

namespace tq9 {

inline constexpr const char* kNoCableFound = "No FTDI cable or TQ9 USB extension found!";
inline constexpr const char* kNotSelected = "(not selected)";

// The buttons that belong to an open link (Close, and the board buttons), or to none
// (Device).
void EnableBoardButtons(BoardContext& ctx);
void DisableBoardButtons(BoardContext& ctx);
// The device flow. Ends with the board buttons enabled when the board answered and was
// identified; with the link closed again when it did not answer; with nothing opened when
// there is no cable or the operator cancelled the dialog.
void BtnRescanClick(BoardContext& ctx);
// Closes the link (whatever its state) and shows the buttons of a closed one.
void BtnCloseClick(BoardContext& ctx);

}  // namespace tq9
