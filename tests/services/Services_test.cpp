// Console, busy lamp, cancel and the message-pumping wait, on virtual time.

#include <gtest/gtest.h>

#include "services/Services.h"
#include "sim/ScriptedHost.h"

namespace tq9 {
namespace {

class ServicesTest : public ::testing::Test {
  protected:
    explicit ServicesTest(std::uint32_t tickAtZero = 1000) : host(clock, tickAtZero) {}
    std::uint64_t NowMs() { return clock.NowUs() / 1000; }

    sim::VirtualClock clock;
    sim::ScriptedHost host;
    Services services{host};
};

TEST_F(ServicesTest, LampLightsOnPulseAndGoesDarkOnThe51stTick) {
    services.BusyPulse();
    EXPECT_TRUE(services.BusyLedLit());
    EXPECT_EQ(host.ledColours.back(), (Rgb{255, 16, 0}));
    EXPECT_EQ(services.BusyTicks, 50);
    EXPECT_EQ(host.processCalls, 1) << "a pulse handles pending messages once";

    for (int tick = 1; tick <= 50; ++tick) {
        services.BusyTick();
        ASSERT_TRUE(services.BusyLedLit()) << "dark too early, at tick " << tick;
    }
    services.BusyTick();
    EXPECT_FALSE(services.BusyLedLit());
    EXPECT_EQ(host.ledColours.back(), (Rgb{32, 0, 0}));
    EXPECT_EQ(services.BusyTicks, 0);
    services.BusyTick();
    EXPECT_EQ(services.BusyTicks, 0) << "never negative";
}

TEST_F(ServicesTest, APulseRestartsTheCountdown) {
    services.BusyPulse();
    for (int tick = 0; tick < 40; ++tick)
        services.BusyTick();
    services.BusyPulse();
    for (int tick = 0; tick < 50; ++tick)
        services.BusyTick();
    EXPECT_TRUE(services.BusyLedLit());
    services.BusyTick();
    EXPECT_FALSE(services.BusyLedLit());
}

TEST_F(ServicesTest, LampDarkensHalfASecondIntoAWaitThatHandlesTimerTicks) {
    host.SetTimer(10, [&] { services.BusyTick(); });
    services.BusyPulse();
    const auto start = NowMs();
    services.DelayMs(450);
    EXPECT_TRUE(services.BusyLedLit()) << "still lit after " << NowMs() - start << " ms";
    services.DelayMs(100);
    EXPECT_FALSE(services.BusyLedLit());
}

TEST_F(ServicesTest, CancelClickSetsTheFlagAndWritesTheWarningAtOnce) {
    services.BtnCancelClick();
    EXPECT_EQ(services.CancelRequested, 1);
    ASSERT_EQ(services.console.Lines().size(), 1u);
    EXPECT_EQ(services.console.Lines()[0], "##### Warning: Process cancelled by user");
    services.BtnCancelClick();
    EXPECT_EQ(services.CancelRequested, 1) << "stays set until an operation clears it";
}

TEST_F(ServicesTest, WarningsDingAndEmptyLines) {
    services.LogTimeoutWarning();
    services.ConsoleAdd("");
    services.LogCancelWarning();
    const std::vector<std::string> expected = {"##### Warning: No response or process timed out",
                                               "", "##### Warning: Process cancelled by user"};
    EXPECT_EQ(services.console.Lines(), expected);
    services.PlayDing();
    EXPECT_EQ(host.sounds, std::vector<std::string>{"ding.wav"});
}

TEST_F(ServicesTest, DelayZeroLooksAtTheCounterOnceAndHandlesNothing) {
    const auto before = clock.NowUs();
    services.DelayMs(0);
    EXPECT_EQ(host.processCalls, 0);
    EXPECT_EQ(host.waitCalls, 0);
    EXPECT_EQ(clock.NowUs() - before, host.tickReadCostUs) << "one counter read";
}

TEST_F(ServicesTest, DelayReturnsNoEarlierThanAskedWhateverTheCancelFlag) {
    for (int cancel : {0, 1}) {
        services.CancelRequested = cancel;
        const auto start = clock.NowUs();
        services.DelayMs(250);
        const auto elapsedUs = clock.NowUs() - start;
        EXPECT_GE(elapsedUs, 250'000u) << "cancel flag " << cancel;
        EXPECT_LT(elapsedUs, 252'000u) << "cancel flag " << cancel;
    }
}

TEST_F(ServicesTest, DelayHandlesAClickMadeDuringTheWaitAndStillWaitsToTheEnd) {
    host.AfterMs(100, [&] { services.BtnCancelClick(); });
    const auto start = NowMs();
    services.DelayMs(250);
    EXPECT_GE(NowMs() - start, 250u);
    EXPECT_EQ(services.CancelRequested, 1);
    EXPECT_EQ(services.console.Lines().size(), 1u);
}

TEST_F(ServicesTest, DelayBlocksBetweenMessagesInsteadOfSpinning) {
    services.DelayMs(5000);
    EXPECT_LE(host.waitCalls, 3) << "a quiet wait blocks in the host";
    EXPECT_LE(host.processCalls, 4);
}

class DelayAcrossWrapTest : public ServicesTest,
                            public ::testing::WithParamInterface<std::uint32_t> {
  protected:
    DelayAcrossWrapTest() : ServicesTest(GetParam()) {}
};

TEST_P(DelayAcrossWrapTest, NeitherEndsEarlyNorHangs) {
    host.SetTimer(10, [] {});
    const auto start = clock.NowUs();
    services.DelayMs(250);
    const auto elapsedUs = clock.NowUs() - start;
    EXPECT_GE(elapsedUs, 250'000u);
    EXPECT_LT(elapsedUs, 262'000u);
}

INSTANTIATE_TEST_SUITE_P(CounterValues, DelayAcrossWrapTest,
                         ::testing::Values(0xFFFFFFFFu - 100, 0xFFFFFFFFu, 0xFFFFFFFFu - 249,
                                           0x7FFFFFFFu));

}  // namespace
}  // namespace tq9
