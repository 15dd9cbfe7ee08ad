#include "board/Maintenance.h"

#include "link/Protocol.h"

namespace tq9 {

void BtnFPGAprogClick(BoardContext& ctx) {
    if (!ctx.BoardLink.connected) return;
    WaitForBoardReady(ctx);  // whatever it found, the update is sent
    SendAndEcho(ctx, "UPD 2=1!");
}

void BtnFinalizeClick(BoardContext& ctx) {
    ctx.CancelRequested = 0;
    ctx.ConsoleAdd("Finalizing...");
    if (!ctx.BoardLink.connected) return;
    ReadBoardInfo(ctx, false);
    ctx.BusyPulse();
    // A cancel during the identification ends only that read; finalizing goes on.
    ctx.CancelRequested = 0;
    ctx.ConsoleAdd("Save Factory Defaults...");
    if (ctx.BoardLink.connected) {
        ctx.BusyPulse();
        SendAndEcho(ctx, "EPS=9!");
    }
    ctx.ConsoleAdd("Program transfer to Reverb DSP...");
    SendAndEcho(ctx, "9960=10!");
}

void ComboBox1Change(BoardContext& ctx, int index) {
    if (!ctx.BoardLink.connected) return;
    WriteParam(ctx, kParamTestPort, index);
}

}  // namespace tq9
