#include "services/Services.h"

namespace tq9 {

void Services::DelayMs(std::uint32_t ms) {
    const std::uint32_t start = host.TickCount();
    if (ms == 0) return;
    for (;;) {
        host.ProcessMessages();
        // The program is closing: nothing is worth waiting for any more.
        if (stopRequests_ != 0) return;
        // Elapsed time, not an absolute deadline, so a wrap of the counter changes nothing.
        const std::uint32_t elapsed = host.TickCount() - start;
        if (elapsed >= ms) return;
        host.WaitForMessage(ms - elapsed);
    }
}

void Services::SetBusyLed(bool lit) {
    busyLedLit_ = lit;
    host.ShowBusyLed(lit ? kBusyLedLit : kBusyLedDark);
}

void Services::BusyPulse() {
    SetBusyLed(true);
    BusyTicks = kBusyPulseTicks;
    host.ProcessMessages();
}

void Services::BusyTick() {
    if (BusyTicks > 0) {
        --BusyTicks;
    } else {
        SetBusyLed(false);
    }
}

void Services::BtnCancelClick() {
    ++operatorCancels_;
    RequestCancel();
    LogCancelWarning();
}

}  // namespace tq9
