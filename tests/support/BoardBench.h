#pragma once
// One simulated bench on virtual time: clock, driver, scripted host, the run's context and
// one cable with an emulated board. Connect() lists and opens the cable the way the device
// flow does.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "board/BoardInfo.h"
#include "ops/MainWindowOps.h"
#include "sim/BoardEmulator.h"
#include "sim/ScriptedHost.h"
#include "sim/SimDriver.h"

namespace tq9::test {

class BoardBench : public ::testing::Test {
  protected:
    explicit BoardBench(std::uint32_t tickAtZero = 5000) : host(clock, tickAtZero) {
        ctx.BoardLink.driver = &sim::SimDriver::Table();
        board->timing.bootUs = 300'000;
        board->timing.reportUs = 100'000;
    }

    void Connect() {
        std::string status;
        BuildDeviceList(ctx.BoardLink, status);
        OpenDeviceByIndex(ctx.BoardLink, 0, status);
        ASSERT_TRUE(ctx.BoardLink.connected) << status;
    }
    // What the tool wrote since the last call, as text.
    std::string TakeWire() {
        std::string wire(cable.written.begin() + wireSeen_, cable.written.end());
        wireSeen_ = cable.written.size();
        return wire;
    }
    const std::vector<std::string>& Lines() const { return ctx.console.Lines(); }
    std::uint64_t NowMs() { return clock.NowUs() / 1000; }
    int Queries(const std::string& command) const {
        int n = 0;
        for (const auto& c : board->commands)
            n += c == command;
        return n;
    }

    sim::VirtualClock clock;
    sim::SimDriver driver{clock};
    sim::ScriptedHost host;
    AppContext ctx{host};
    std::shared_ptr<sim::BoardEmulator> board = std::make_shared<sim::BoardEmulator>();
    sim::VirtualCable& cable = driver.AddCable("TQ9A0001", "TTL232R-5V", board);

  private:
    std::size_t wireSeen_ = 0;
};

}  // namespace tq9::test
