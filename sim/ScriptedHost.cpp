#include "sim/ScriptedHost.h"

#include <algorithm>
#include <limits>

#include "board/ScanCores.h"

namespace tq9::sim {

std::uint32_t ScriptedHost::TickCount() {
    clock_.Spend(tickReadCostUs);
    return static_cast<std::uint32_t>(tickAtZero_ + clock_.NowUs() / 1000);
}

std::string ScriptedHost::ScanCoreText() {
    return ScanCoreName(scanCoreIndex);
}

void ScriptedHost::ShowMessage(MessageKind kind, const std::string& text) {
    messages.push_back({kind, text});
    if (onMessage) onMessage(messages.back());
}

bool ScriptedHost::DeviceDialogShow(int& row) {
    ++deviceDialogShown;
    if (deviceDialogChoice < 0) return false;
    row = deviceDialogChoice;
    return true;
}

bool ScriptedHost::OpenFileDialog(const FileDialogSettings& settings, std::string& fileName) {
    fileDialogs.push_back(settings);
    if (fileChoice.empty()) return false;
    fileName = fileChoice;
    return true;
}

void ScriptedHost::At(std::uint64_t atUs, std::function<void()> action) {
    scheduled_.emplace(atUs, std::move(action));
}

void ScriptedHost::AfterMs(std::uint32_t ms, std::function<void()> action) {
    At(clock_.NowUs() + std::uint64_t(ms) * 1000, std::move(action));
}

void ScriptedHost::SetTimer(std::uint32_t intervalMs, std::function<void()> onTick) {
    onTick_ = std::move(onTick);
    timerIntervalUs_ = std::uint64_t(intervalMs) * 1000;
    nextTickUs_ = clock_.NowUs() + timerIntervalUs_;
}

std::uint64_t ScriptedHost::NextMessageUs() const {
    std::uint64_t next = std::numeric_limits<std::uint64_t>::max();
    if (!scheduled_.empty()) next = scheduled_.begin()->first;
    if (onTick_) next = std::min(next, nextTickUs_);
    return next;
}

void ScriptedHost::ProcessMessages() {
    ++processCalls;
    const std::uint64_t now = clock_.NowUs();
    // Only what is pending now; actions may schedule more, which wait for the next round.
    std::vector<std::function<void()>> due;
    while (!scheduled_.empty() && scheduled_.begin()->first <= now) {
        due.push_back(std::move(scheduled_.begin()->second));
        scheduled_.erase(scheduled_.begin());
    }
    const bool tick = onTick_ && nextTickUs_ <= now;
    if (tick) nextTickUs_ = now + timerIntervalUs_;
    for (auto& action : due)
        action();
    if (tick) onTick_();
}

void ScriptedHost::WaitForMessage(std::uint32_t limitMs) {
    ++waitCalls;
    const std::uint64_t limit = clock_.NowUs() + std::uint64_t(limitMs) * 1000;
    clock_.AdvanceTo(std::min(limit, NextMessageUs()));
}

}  // namespace tq9::sim
