#pragma once
// Service commands on a connected board: the FPGA update, finalizing (factory defaults and
// the reverb DSP program transfer) and the logic-analyzer test port.

#include "board/BoardInfo.h"

namespace tq9 {

// The parameter that routes a signal to the test port; the value is the entry number.
inline constexpr std::int32_t kParamTestPort = 65;

void BtnFPGAprogClick(BoardContext& ctx);
void BtnFinalizeClick(BoardContext& ctx);
// The operator picked entry `index` of the test-port list.
void ComboBox1Change(BoardContext& ctx, int index);

}  // namespace tq9
