#include "cli/Terminal.h"

#include <atomic>

namespace tq9 {

namespace {
// Written by the platform's Ctrl-C handler (a signal handler, or a thread of Windows' own),
// so a lock-free counter, and process-wide: nothing else can reach it there.
std::atomic<int> presses{0};
static_assert(std::atomic<int>::is_always_lock_free);
}  // namespace

int Interrupts() {
    return presses.load();
}

void CountInterrupt() {
    presses.fetch_add(1);
}

}  // namespace tq9
