// The line protocol against the emulated board: bytes on the wire, reply collection and
// its limits, value extraction, and the echo mode with its bounds.

#include <gtest/gtest.h>

#include "base/Errors.h"
#include "link/Protocol.h"
#include "support/BoardBench.h"

namespace tq9 {
namespace {

class ProtocolTest : public test::BoardBench {
  protected:
    void SetUp() override { Connect(); }
};

TEST_F(ProtocolTest, EachCommandFormPutsExactlyItsBytesOnTheWire) {
    std::string reply;
    QueryParam(ctx, 9952, reply);
    EXPECT_EQ(TakeWire(), "9952?\r");  // 39 39 35 32 3F 0D
    EXPECT_EQ(reply, "9952=12345\r");

    WriteParam(ctx, 65, 3);
    EXPECT_EQ(TakeWire(), "65=3\r");
    clock.Advance(5'000);  // the board's answer to the write arrives, unread
    WriteParamWait(ctx, 8900, 1024, reply);
    EXPECT_EQ(TakeWire(), "8900=1024!\r");
    EXPECT_EQ(reply, "8900=1024\r");
    for (int i = 0; i < 1024 * 4; ++i)
        SendByte(ctx, 0);  // let the board finish its upload
    EXPECT_EQ(TakeWire(), std::string(4096, '\0'));

    WriteParam(ctx, -7, -2147483647 - 1);
    EXPECT_EQ(TakeWire(), "-7=-2147483648\r");
    SendByte(ctx, 0xFF);
    SendByte(ctx, 0x00);
    EXPECT_EQ(TakeWire(), std::string("\xFF\x00", 2));
    SendLine(ctx, "UPD 2=1!");
    EXPECT_EQ(TakeWire(), "UPD 2=1!\r");
}

TEST_F(ProtocolTest, QueriesAndWritesPurgeFirstLinesAndEchoesDoNot) {
    std::string reply;
    const auto purges = cable.purges.size();
    QueryParam(ctx, 253, reply);
    WriteParam(ctx, 65, 1);
    WriteParamWait(ctx, 66, 1, reply);
    EXPECT_EQ(cable.purges.size(), purges + 3);
    EXPECT_EQ(cable.purges.back(), 1u) << "the receive queue only";
    SendLine(ctx, "RLD");
    SendAndEcho(ctx, "EPS=9!");
    EXPECT_EQ(cable.purges.size(), purges + 3);
}

TEST_F(ProtocolTest, SendAndEchoLogsTheCommandThenTheBoardsLines) {
    SendAndEcho(ctx, "RLD");
    EXPECT_EQ(TakeWire(), "RLD\r");  // 52 4C 44 0D
    const std::vector<std::string> expected = {"RLD", "TQ9 reset", "Loading FPGA configuration...",
                                               "FPGA configured", "#Ready"};
    EXPECT_EQ(Lines(), expected);
    EXPECT_TRUE(ctx.BusyLedLit());
}

TEST_F(ProtocolTest, AClosedLinkSendsAndLogsNothingButQueriesStillWaitTheirLimit) {
    ctx.BoardLink.device->closeDevice();
    ctx.BoardLink.connected = false;
    std::string reply = "untouched";
    SendLine(ctx, "RLD");
    WriteParam(ctx, 65, 1);
    WriteParamWait(ctx, 8900, 1, reply);
    EXPECT_EQ(reply, "untouched");
    SendAndEcho(ctx, "RLD");
    EchoUntilHash(ctx);
    EXPECT_TRUE(Lines().empty());
    EXPECT_TRUE(board->commands.empty());

    const auto start = clock.NowUs();
    QueryParam(ctx, 253, reply);
    EXPECT_EQ(reply, "-9999");
    EXPECT_GE(clock.NowUs() - start, 500'000u);
    EXPECT_LT(clock.NowUs() - start, 502'000u);

    ctx.BoardLink.device.reset();  // no device object at all: still no crash
    QueryParam(ctx, 253, reply);
    EXPECT_EQ(reply, "-9999");
}

TEST_F(ProtocolTest, TheConnectedFlagDecidesEvenWhileTheDeviceIsOpen) {
    ctx.BoardLink.connected = false;  // the device itself stays open
    std::string reply = "untouched";
    SendLine(ctx, "RLD");
    WriteParam(ctx, 65, 1);
    WriteParamWait(ctx, 8900, 1, reply);
    SendAndEcho(ctx, "RLD");
    EchoUntilHash(ctx);
    EXPECT_EQ(TakeWire(), "");
    EXPECT_EQ(reply, "untouched");
    EXPECT_TRUE(Lines().empty());

    QueryParam(ctx, 9952, reply);
    EXPECT_EQ(TakeWire(), "9952?\r");
    EXPECT_EQ(reply, "9952=12345\r");
    SendByte(ctx, 0x41);
    EXPECT_EQ(TakeWire(), "A");
}

TEST_F(ProtocolTest, ACrReadInTimeIsStillTheSentinelWhenTheSecondLookIsPastTheLimit) {
    // Each look at the counter moves it on by a millisecond: the look after the first byte
    // is 1 ms into the wait, the look after the CR 2 ms.
    host.tickReadCostUs = 1'000;
    for (const auto& [limit, expected] :
         {std::pair<std::uint32_t, const char*>{1, "-9999"}, {2, "x\r"}}) {
        clock.AdvanceTo((clock.NowUs() / 1000 + 1) * 1000);
        cable.SendToHost("x\r", clock.NowUs());  // waiting before the wait begins
        clock.Advance(1'000);
        std::string reply;
        ReceiveLine(ctx, limit, reply);
        EXPECT_EQ(reply, expected) << "limit " << limit;
        EXPECT_EQ(cable.Queued(), 0u) << "the line was read in either case";
    }
}

TEST_F(ProtocolTest, ReplyIsTheFirstLineWithEverythingBeforeIt) {
    board->faults.unsolicitedLine = "\nBOOT";
    std::string reply;
    QueryParam(ctx, 9952, reply);
    EXPECT_EQ(reply, "\nBOOT\r") << "a line the board sent on its own becomes the reply";
    clock.Advance(5'000);
    QueryParam(ctx, 9952, reply);
    EXPECT_EQ(reply, "9952=12345\r") << "the purge dropped the answer left behind";

    board->faults.replyOverride[9952] = "\n9952=77";
    clock.Advance(5'000);
    QueryParam(ctx, 9952, reply);
    EXPECT_EQ(reply, "\n9952=77\r");
    EXPECT_EQ(ReplyInt(reply), 77) << "extraction starts at the first '='";
}

TEST_F(ProtocolTest, ASilentBoardGivesTheSentinelAfterTheLimit) {
    board->faults.silent = true;
    std::string reply;
    const auto start = clock.NowUs();
    WriteParamWait(ctx, 8900, 0, reply);
    EXPECT_EQ(reply, "-9999");
    EXPECT_GE(clock.NowUs() - start, 200'000u);
    EXPECT_LT(clock.NowUs() - start, 202'000u);
}

TEST_F(ProtocolTest, AReplyWaitSleepsBetweenEmptyPollsInsteadOfSpinning) {
    board->faults.silent = true;
    std::string reply;
    const int pollsBefore = driver.CallCount(sim::Call::GetQueueStatus);
    QueryParam(ctx, 253, reply);
    EXPECT_EQ(reply, "-9999");
    // A spinning wait polls tens of thousands of times in 500 ms; this one about once a
    // millisecond once the answer is overdue.
    EXPECT_LT(driver.CallCount(sim::Call::GetQueueStatus) - pollsBefore, 1'000);

    board->faults.silent = false;
    QueryParam(ctx, 9952, reply);
    EXPECT_EQ(reply, "9952=12345\r") << "an answer that comes during the pauses is read";
}

TEST_F(ProtocolTest, TheLimitDecidesBetweenALateLineAndTheSentinel) {
    board->faults.silent = true;
    std::string reply;
    cable.SendToHost("12=5\r", clock.NowUs() + 495'000);
    ReceiveLine(ctx, 500, reply);
    EXPECT_EQ(reply, "12=5\r") << "in time";

    cable.SendToHost("12=6\r", clock.NowUs() + 501'000);
    ReceiveLine(ctx, 500, reply);
    EXPECT_EQ(reply, "-9999") << "its CR came after the limit";
    EXPECT_EQ(cable.Queued(), 5u) << "none of its bytes had arrived in time";
}

struct ValueRow {
    std::string reply;
    std::string value;
    std::optional<std::int32_t> asInt;
};

TEST(ReplyValue, CutBetweenFirstEqualsAndFirstBlankOrLastCharacter) {
    const ValueRow rows[] = {
        {"12=345\r", "345", 345},
        {"12=345 abc\r", "345", 345},
        {"77\r", "77", 77},
        {"ok 12=5\r", "", std::nullopt},
        {"12=\r", "", std::nullopt},
        {"-9999", "-999", -999},
        {"", "", std::nullopt},
        {"\r", "", std::nullopt},
        {"1=2=3\r", "2=3", std::nullopt},
        {"9952=2147483647\r", "2147483647", 2147483647},
        {"9952=2147483648\r", "2147483648", std::nullopt},
        {"9952=-2147483648\r", "-2147483648", -2147483647 - 1},
        {"5=+12\r", "+12", 12},
        {"5=12a\r", "12a", std::nullopt},
        {"5=0x10\r", "0x10", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.reply));
        EXPECT_EQ(ReplyValueText(row.reply), row.value);
        if (row.asInt) {
            EXPECT_EQ(ReplyInt(row.reply), *row.asInt);
        } else {
            try {
                ReplyInt(row.reply);
                ADD_FAILURE() << "converted";
            } catch (const ConvertError& error) {
                EXPECT_EQ(std::string(error.what()),
                          "'" + row.value + "' ist kein g\u00fcltiger Integerwert");
            }
        }
    }
}

TEST(ReplyValue, FloatsUseAFullStopWhateverTheLocale) {
    const char* const locale = std::setlocale(LC_ALL, "de_DE.UTF-8");
    std::locale previous;
    try {
        previous = std::locale::global(std::locale(""));
    } catch (const std::runtime_error&) {  // a C++ runtime that knows no named locales
        previous = std::locale::global(std::locale::classic());
    }
    EXPECT_DOUBLE_EQ(ReplyFloat("254=3.65 [x, y]\r"), 3.65);
    EXPECT_DOUBLE_EQ(ReplyFloat("-9999"), -999.0);
    EXPECT_DOUBLE_EQ(ReplyFloat("4\r"), 4.0);
    EXPECT_DOUBLE_EQ(ReplyFloat("1=2e3\r"), 2000.0);
    for (const char* bad : {"254=3,65\r", "254=\r", "254=inf\r", "254=nan\r", "254=3.6.5\r"}) {
        EXPECT_THROW(ReplyFloat(bad), ConvertError) << bad;
    }
    try {
        ReplyFloat("254=3,65\r");
    } catch (const ConvertError& error) {
        EXPECT_EQ(std::string(error.what()), "'3,65' ist kein g\u00fcltiger Gleitkommawert");
    }
    std::locale::global(previous);
    std::setlocale(LC_ALL, "C");
    if (!locale) GTEST_SKIP() << "no de_DE.UTF-8 locale on this machine; ran under C";
}

class EchoTest : public ProtocolTest {
  protected:
    // Bytes that reach the tool shortly, as if the board sent them.
    void BoardSends(const std::string& bytes) { cable.SendToHost(bytes, clock.NowUs() + 100); }
};

TEST_F(EchoTest, ControlBytesAreDroppedAndAHashLineEndsTheEcho) {
    BoardSends("abc\r\n#ok\rleft over\r");
    EchoUntilHash(ctx);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"abc", "#ok"}));
    EXPECT_EQ(cable.Queued(), 10u) << "the rest stays in the queue";
}

TEST_F(EchoTest, OnlyAHashInFirstPlaceEndsIt) {
    BoardSends("x#y\r\r\t\x01#\r");
    EchoUntilHash(ctx);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"x#y", "", "#"}));
}

// Every byte from the board is read one way, the production PCs' code page, whether it
// comes in a reply or in an echoed line: 0x80 is the euro sign in both, never a C1
// control character on the console or in a record.
TEST_F(EchoTest, EveryByteFromTheBoardIsTheCodePagesInRepliesAndInEchoLines) {
    BoardSends("\x80\x8A\x9F\r");
    clock.Advance(10'000);
    std::string reply;
    ReceiveLine(ctx, 100, reply);
    EXPECT_EQ(reply, "\u20ac\u0160\u0178\r");

    BoardSends("\x80\x8A\x9F\xE4\xB5\xFF\r#\r");
    EchoUntilHash(ctx);
    EXPECT_EQ(Lines()[0], "\u20ac\u0160\u0178\u00e4\u00b5\u00ff");
}

TEST_F(EchoTest, WaitingBytesAreEchoedAheadOfTheAnswerAndAnOldHashEndsItEarly) {
    BoardSends("stale\r#old\r");
    clock.Advance(10'000);
    SendAndEcho(ctx, "EPS=9!");
    EXPECT_EQ(Lines(), (std::vector<std::string>{"EPS=9!", "stale", "#old"}));
}

TEST_F(EchoTest, AReportWithoutHashEndsAfterTwoMinutesOfSilenceWithTheTimeoutWarning) {
    board->faults.reportWithoutHash = true;
    const auto start = NowMs();
    SendAndEcho(ctx, "UPD 2=1!");
    const auto elapsed = NowMs() - start;
    EXPECT_GE(elapsed, 120'000u);
    EXPECT_LT(elapsed, 121'000u);
    ASSERT_FALSE(Lines().empty());
    EXPECT_EQ(Lines().back(), "##### Warning: No response or process timed out");
    EXPECT_EQ(Lines()[Lines().size() - 2], "Verify OK");
    // The window stayed alive: messages handled about every 50 ms of the silence.
    EXPECT_GE(host.processCalls, 2000);
    EXPECT_LE(host.processCalls, 2600);
}

TEST_F(EchoTest, AReportCutInTheMiddleOfALineAlsoTimesOut) {
    board->faults.reportCutMidLine = true;
    SendAndEcho(ctx, "9960=10!");
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{"9960=10!", "Reverb DSP program transfer...",
                                        "##### Warning: No response or process timed out"}));
}

TEST_F(EchoTest, BoardSendingSlowlyButSteadilyIsNeverCutOff) {
    // One line every 100 s: never 120 s of silence.
    for (int i = 1; i <= 3; ++i) {
        cable.SendToHost("step " + std::to_string(i) + "\r", clock.NowUs() + i * 100'000'000ull);
    }
    cable.SendToHost("#done\r", clock.NowUs() + 400'000'000ull);
    EchoUntilHash(ctx);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"step 1", "step 2", "step 3", "#done"}));
}

TEST_F(EchoTest, ACancelDuringAReportIsRecordedButEndsNothing) {
    // Lines 1 s and then 3 s apart; Cancel half-way between the first two.
    const std::uint64_t now = clock.NowUs();
    cable.SendToHost("first\r", now + 1'000'000);
    cable.SendToHost("second\r", now + 2'000'000);
    cable.SendToHost("third\r", now + 5'000'000);
    cable.SendToHost("#end\r", now + 6'000'000);
    host.AfterMs(1'500, [&] { ctx.BtnCancelClick(); });
    EchoUntilHash(ctx);
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{"first", kCancelWarning, "second", "third", "#end"}));
    EXPECT_EQ(cable.Queued(), 0u);
    EXPECT_EQ(ctx.CancelRequested, 1) << "left for the operation's next cancel test";
}

TEST_F(EchoTest, ACancelEndsTheEchoOnlyAfterFiveSecondsOfSilence) {
    BoardSends("started\r");  // and then nothing
    host.AfterMs(2'000, [&] { ctx.BtnCancelClick(); });
    auto start = NowMs();
    EchoUntilHash(ctx);
    EXPECT_GE(NowMs() - start, 5'000u);
    EXPECT_LT(NowMs() - start, 5'100u);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"started", kCancelWarning}))
        << "no line of its own";

    // Cancel after six seconds of silence ends it at once.
    ctx.console.Clear();
    host.AfterMs(6'000, [&] { ctx.BtnCancelClick(); });
    start = NowMs();
    EchoUntilHash(ctx);
    EXPECT_GE(NowMs() - start, 6'000u);
    EXPECT_LT(NowMs() - start, 6'100u);
    EXPECT_EQ(Lines(), (std::vector<std::string>{kCancelWarning}));
}

TEST_F(EchoTest, ACancelFlagLeftFromBeforeDoesNotCutTheReport) {
    ctx.CancelRequested = 1;  // set earlier, e.g. Cancel clicked while idle
    SendAndEcho(ctx, "UPD 2=1!");
    EXPECT_EQ(Lines().back(), "#UPD done");
}

TEST_F(EchoTest, AFailedPollIsNoByteButACableThatKeepsFailingEndsTheEchoInASecond) {
    BoardSends("one\r");
    cable.SendToHost("#two\r", clock.NowUs() + 200'000);
    driver.FailCall(sim::Call::GetQueueStatus, 1, d2xx::FT_IO_ERROR, 3);
    driver.FailCall(sim::Call::Read, 1, d2xx::FT_IO_ERROR, 2);
    EchoUntilHash(ctx);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"one", "#two"}));

    ctx.console.Clear();
    board->faults.unplugAtUs = clock.NowUs() + 50'000;
    const auto start = NowMs();
    SendAndEcho(ctx, "UPD 2=1!");
    EXPECT_EQ(Lines().back(), kTimeoutWarning);
    EXPECT_GE(NowMs() - start, 1'000u);
    EXPECT_LT(NowMs() - start, 1'200u) << "no need to wait out the silence";
}

class ProtocolWrapTest : public test::BoardBench {
  protected:
    ProtocolWrapTest() : BoardBench(0xFFFFFFFFu - 300) {}
};

TEST_F(ProtocolWrapTest, LimitsHoldAcrossTheCountersWrap) {
    Connect();
    std::string reply;
    board->faults.silent = true;
    const auto start = clock.NowUs();
    QueryParam(ctx, 253, reply);
    EXPECT_EQ(reply, "-9999");
    EXPECT_GE(clock.NowUs() - start, 500'000u) << "ended early at the wrap";
    EXPECT_LT(clock.NowUs() - start, 502'000u);

    board->faults.silent = false;
    QueryParam(ctx, 9952, reply);
    EXPECT_EQ(reply, "9952=12345\r");
}

}  // namespace
}  // namespace tq9
