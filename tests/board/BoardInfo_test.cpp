// Readiness polls, the identification read and its summary, and "Reset TQ9", against
// the emulated board on virtual time.

#include <gtest/gtest.h>

#include "base/Errors.h"
#include "board/BoardInfo.h"
#include "support/BoardBench.h"

namespace tq9 {
namespace {

using Lines_t = std::vector<std::string>;

class BoardInfoTest : public test::BoardBench {
  protected:
    void SetUp() override { Connect(); }
};

// --- readiness ---------------------------------------------------------------------------

TEST_F(BoardInfoTest, CheckSucceedsOnlyWhenOneOfTheFirstThreePollsIsAnswered) {
    struct Row {
        int answersFrom;
        bool ready;
        int polls;
    };
    for (const Row row : {Row{1, true, 1}, Row{2, true, 2}, Row{3, true, 3}, Row{4, false, 4},
                          Row{11, false, 11}, Row{26, false, 11}}) {
        board->faults.readyFromPoll = row.answersFrom;
        board->readinessPolls = 0;
        board->commands.clear();
        EXPECT_EQ(CheckBoardReady(ctx), row.ready) << "answers from poll " << row.answersFrom;
        EXPECT_EQ(Queries("253?"), row.polls) << "answers from poll " << row.answersFrom;
        clock.Advance(10'000);
    }
    EXPECT_TRUE(Lines().empty()) << "the check writes nothing";
    EXPECT_TRUE(host.ledColours.empty()) << "nor lights the lamp";
}

TEST_F(BoardInfoTest, CheckOnASilentBoardPollsElevenTimesInAboutEightSeconds) {
    board->faults.silent = true;
    ctx.CancelRequested = 1;  // ignored by the check
    const auto start = NowMs();
    EXPECT_FALSE(CheckBoardReady(ctx));
    EXPECT_EQ(Queries("253?"), 11);
    EXPECT_NEAR(double(NowMs() - start), 8250.0, 50.0);
    EXPECT_TRUE(Lines().empty());
}

TEST_F(BoardInfoTest, WaitEndsQuietlyOnAnAnswer) {
    board->faults.readyFromPoll = 4;
    const auto start = NowMs();
    WaitForBoardReady(ctx);
    EXPECT_EQ(Queries("253?"), 4);
    EXPECT_TRUE(Lines().empty());
    EXPECT_GE(NowMs() - start, 1000u + 4 * 250u);
}

TEST_F(BoardInfoTest, WaitOnASilentBoardGivesUpAfter26PollsWithTheTimeoutWarning) {
    board->faults.silent = true;
    const auto start = NowMs();
    WaitForBoardReady(ctx);
    EXPECT_EQ(Queries("253?"), 26);
    EXPECT_NEAR(double(NowMs() - start), 20'500.0, 100.0);
    EXPECT_EQ(Lines(), Lines_t{"##### Warning: No response or process timed out"});
}

TEST_F(BoardInfoTest, AnAnswerAtThe26thPollComesTooLate) {
    board->faults.readyFromPoll = 26;
    WaitForBoardReady(ctx);
    EXPECT_EQ(Queries("253?"), 26);
    EXPECT_EQ(Lines(), Lines_t{"##### Warning: No response or process timed out"});
}

TEST_F(BoardInfoTest, ACancelAlreadySetEndsTheWaitAfterOnePollAndWinsOverTheAnswer) {
    ctx.CancelRequested = 1;
    WaitForBoardReady(ctx);
    EXPECT_EQ(Queries("253?"), 1);
    EXPECT_EQ(Lines(), Lines_t{"##### Warning: Process cancelled by user"});
    EXPECT_EQ(ctx.CancelRequested, 1) << "the wait does not clear it";
}

TEST_F(BoardInfoTest, ACancelClickedDuringTheWaitIsSeenAfterTheNextPoll) {
    board->faults.silent = true;
    host.AfterMs(3'000, [&] { ctx.BtnCancelClick(); });
    WaitForBoardReady(ctx);
    EXPECT_LT(Queries("253?"), 5);
    EXPECT_EQ(Lines(), Lines_t(2, "##### Warning: Process cancelled by user"));
}

// --- identification -----------------------------------------------------------------------

const Lines_t kIdentified = {
    "RLD",
    "TQ9 reset",
    "Loading FPGA configuration...",
    "FPGA configured",
    "#Ready",
    "254=3.65 [AVR, TQ95-Organ]\r",
    "Found Firmware \"TQ95-Organ\" on TQ9",
    "3=[#0813A7C2]\r",
    "",
    "9952=12345\r",
    "",
    "Serial Number: 12345",
    "Firmware Version: TQ95-Organ #3.65",
    "FPGA Version: #0813A7C2",
    "Scan Version: MIDI input",
    "",
};

TEST_F(BoardInfoTest, CompleteIdentificationAsTheDeviceFlowRunsIt) {
    ASSERT_TRUE(CheckBoardReady(ctx));
    ReadBoardInfo(ctx, true);
    PrintBoardSummary(ctx);
    EXPECT_EQ(Lines(), kIdentified);

    EXPECT_DOUBLE_EQ(ctx.BoardInfo.FirmwareVersion, 3.65);
    EXPECT_EQ(ctx.BoardInfo.FirmwareName, "TQ95-Organ");
    EXPECT_EQ(ctx.BoardInfo.FpgaVersion, "0813A7C2");
    EXPECT_EQ(ctx.BoardInfo.SerialNumber, 12345);
    EXPECT_EQ(host.fields[Field::EditSerialNumber], "12345");
    EXPECT_EQ(host.fields[Field::EditFirmwareVersion], "3.65");
    EXPECT_EQ(host.fields[Field::FPGAversion], "0813A7C2");
    EXPECT_FALSE(BoardIsBlank(ctx));
    EXPECT_EQ(board->commands, (Lines_t{"253?", "RLD", "254?", "3?", "253?", "9952?"}));
}

TEST_F(BoardInfoTest, ASilentBoardLeavesTheSentinelsValues) {
    board->faults.silent = true;
    ReadBoardInfo(ctx, false);
    EXPECT_DOUBLE_EQ(ctx.BoardInfo.FirmwareVersion, -999.0);
    EXPECT_EQ(ctx.BoardInfo.FirmwareName, "999");
    EXPECT_EQ(ctx.BoardInfo.FpgaVersion, "999");
    EXPECT_EQ(ctx.BoardInfo.SerialNumber, -999);
    EXPECT_TRUE(BoardIsBlank(ctx));
    EXPECT_EQ(host.fields[Field::EditFirmwareVersion], "-999");
    const Lines_t expected = {
        "##### Warning: No response or process timed out",
        "-9999",
        "Found Firmware \"999\" on TQ9",
        "-9999",
        "",
        "##### Warning: No response or process timed out",
        "-9999",
        "##### Warning: Firmware version below #3.6x, some functions may not work",
    };
    EXPECT_EQ(Lines(), expected);
}

TEST_F(BoardInfoTest, AVersionFollowedByTextWithoutABlankEndsTheReadWithAConversionError) {
    board->faults.replyOverride[254] = "254=3.65[AVR, X]";
    ctx.BoardInfo.FirmwareName = "before";
    try {
        ReadBoardInfo(ctx, true);
        FAIL() << "no error";
    } catch (const ConvertError& error) {
        EXPECT_EQ(std::string(error.what()), "'3.65[AVR,' ist kein g\u00fcltiger Gleitkommawert");
    }
    EXPECT_EQ(Lines().back(), "254=3.65[AVR, X]\r") << "the reply was written first";
    EXPECT_EQ(ctx.BoardInfo.FirmwareName, "before");
    EXPECT_EQ(Queries("3?"), 0);
}

TEST_F(BoardInfoTest, LongNamesAreShownWholeButStoredCut) {
    board->identity.firmwareName = "ABCDEFGHIJKLMNOPQRST";  // 20
    board->identity.fpgaVersion = "0123456789AB";           // 12
    ReadBoardInfo(ctx, true);
    PrintBoardSummary(ctx);
    EXPECT_EQ(ctx.BoardInfo.FirmwareName, "ABCDEFGHIJKLMNO");
    EXPECT_EQ(ctx.BoardInfo.FpgaVersion, "0123456789");
    EXPECT_EQ(host.fields[Field::FPGAversion], "0123456789AB");
    const Lines_t& lines = Lines();
    EXPECT_NE(
        std::find(lines.begin(), lines.end(), "Found Firmware \"ABCDEFGHIJKLMNOPQRST\" on TQ9"),
        lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Firmware Version: ABCDEFGHIJKLMNO #3.65"),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "FPGA Version: #0123456789AB"), lines.end());
}

TEST_F(BoardInfoTest, VersionWarningBelow356) {
    for (const auto& [version, warned] :
         {std::pair{"3.56", false}, {"3.55", true}, {"4", false}, {"3.6", false}}) {
        ctx.console.Clear();
        board->identity.firmwareVersion = version;
        ReadBoardInfo(ctx, true);
        const bool found = std::find(Lines().begin(), Lines().end(),
                                     "##### Warning: Firmware version below #3.6x, some "
                                     "functions may not work") != Lines().end();
        EXPECT_EQ(found, warned) << version;
        EXPECT_EQ(host.fields[Field::EditFirmwareVersion], version);
    }
}

TEST_F(BoardInfoTest, CancelDuringTheFirstWaitStillQueriesTheFirmwareThenStops) {
    host.AfterMs(500, [&] { ctx.BtnCancelClick(); });
    ReadBoardInfo(ctx, false);
    const Lines_t expected = {
        "##### Warning: Process cancelled by user", "##### Warning: Process cancelled by user",
        "254=3.65 [AVR, TQ95-Organ]\r", "Found Firmware \"TQ95-Organ\" on TQ9"};
    EXPECT_EQ(Lines(), expected);
    EXPECT_EQ(Queries("3?"), 0);
    EXPECT_DOUBLE_EQ(ctx.BoardInfo.FirmwareVersion, 3.65);
}

TEST_F(BoardInfoTest, ACancelSetBeforehandSendsNothing) {
    ctx.CancelRequested = 1;
    ReadBoardInfo(ctx, true);
    EXPECT_TRUE(board->commands.empty());
    EXPECT_TRUE(Lines().empty());
}

TEST_F(BoardInfoTest, BlankBoards) {
    struct Row {
        const char* fpga;
        std::int32_t serial;
        bool blank;
    };
    for (const Row row :
         {Row{"00000000", 5, true}, Row{"FFFFFFFF", 5, true}, Row{"ffffffff", 5, false},
          Row{"0000000000", 5, false}, Row{"0813A7C2", 0, true}, Row{"0813A7C2", -1, true},
          Row{"0813A7C2", 1, false}}) {
        ctx.BoardInfo.FpgaVersion = row.fpga;
        ctx.BoardInfo.SerialNumber = row.serial;
        EXPECT_EQ(BoardIsBlank(ctx), row.blank) << row.fpga << " " << row.serial;
    }
}

TEST_F(BoardInfoTest, TypedSerialNumbersFollowTheDisplay) {
    for (const auto& [text, value] : {std::pair{"42", 42}, {"12a", 0}, {"", 0}, {"-3", -3}}) {
        host.fields[Field::EditSerialNumber] = text;
        EditSerialNumberChange(ctx);
        EXPECT_EQ(ctx.BoardInfo.SerialNumber, value) << text;
    }
    ctx.BoardInfo.FpgaVersion = "0813A7C2";
    host.fields[Field::EditSerialNumber] = "12a";
    EditSerialNumberChange(ctx);
    EXPECT_TRUE(BoardIsBlank(ctx));
    PrintBoardSummary(ctx);
    EXPECT_EQ(Lines()[1], "Serial Number: 12a");
}

TEST_F(BoardInfoTest, NamesAreStoredCutByCharactersNeverInsideOne) {
    // The board's bytes in its code page: 0xF6 is o-umlaut, 0xDF sharp s, 0xB5 micro.
    board->identity.firmwareName =
        "Gr\xF6\xDF"
        "enwahn-Orgel";  // 16 characters
    board->identity.fpgaVersion =
        "\xB5"
        "123456789AB";  // 12 characters
    ReadBoardInfo(ctx, true);
    EXPECT_EQ(ctx.BoardInfo.FirmwareName, "Gr\u00f6\u00dfenwahn-Orge");
    EXPECT_EQ(ctx.BoardInfo.FpgaVersion, "\u00b5123456789");
    EXPECT_EQ(host.fields[Field::FPGAversion], "\u00b5123456789AB") << "shown whole";
}

TEST(Cuts, TakeTheTextAfterTheOpenerAndOneMoreUpToTheBracket) {
    struct Row {
        std::string reply;
        char open;
        std::string cut;
    };
    const Row rows[] = {
        {"254=3.65 [AVR, TQ95]\r", ',', "TQ95"},
        {"254=3.65 [AVR,TQ95]\r", ',', "Q95"},
        {"254=3.65 [AVR, TQ95\r", ',', "TQ95"},
        {"254=3.65]x, TQ95]\r", ',', ""},
        {"-9999", ',', "999"},
        {"3=[#0813A7C2]\r", '[', "0813A7C2"},
        {"3=[#]\r", '[', ""},
        {"3=[]\r", '[', ""},
        {"-9999", '[', "999"},
        {"", '[', ""},
        // Positions count characters: the one after the opener is skipped whole.
        {"254=3.65 [AVR,\u00c4TQ95]\r", ',', "TQ95"},
        {"3=[\u00a7\u00c4\u00d6]\r", '[', "\u00c4\u00d6"},
        {"-99\u00e4", ',', "99"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CutAfter(row.reply, row.open), row.cut) << ::testing::PrintToString(row.reply);
    }
}

TEST(FirmwareVersionFormat, GeneralWithFullStop) {
    EXPECT_EQ(FormatFirmwareVersion(3.6), "3.6");
    EXPECT_EQ(FormatFirmwareVersion(4), "4");
    EXPECT_EQ(FormatFirmwareVersion(-999), "-999");
    EXPECT_EQ(FormatFirmwareVersion(0), "0");
    EXPECT_EQ(FormatFirmwareVersion(3.56), "3.56");
    EXPECT_EQ(FormatFirmwareVersion(0.1 + 0.2), "0.3");
}

// --- "Reset TQ9" ----------------------------------------------------------------------------

TEST_F(BoardInfoTest, RefreshReadsTheScanCoreOfAProgrammedBoard) {
    ctx.ConsoleAdd("old line");
    ctx.CancelRequested = 1;
    BtnRefreshClick(ctx);
    EXPECT_EQ(ctx.CancelRequested, 0);
    EXPECT_EQ(Lines().front(), "RLD") << "the console was cleared";
    EXPECT_EQ(ctx.BoardInfo.ScanCore, 3);
    EXPECT_EQ(host.scanCoreIndex, 3);
    EXPECT_NE(std::find(Lines().begin(), Lines().end(), "1240=3\r"), Lines().end());
    EXPECT_EQ(Lines()[Lines().size() - 2], "Scan Version: MatrixScan/44");
}

TEST_F(BoardInfoTest, RefreshOfABlankBoardWarnsAndKeepsTheShownScanCore) {
    board->identity.fpgaVersion = "FFFFFFFF";
    BtnRefreshClick(ctx);
    EXPECT_EQ(Queries("1240?"), 0);
    EXPECT_NE(std::find(Lines().begin(), Lines().end(), "##### Warning: Update FPGA first!"),
              Lines().end());
    EXPECT_EQ(Lines()[Lines().size() - 2], "Scan Version: MIDI input");
}

TEST_F(BoardInfoTest, AScanCoreOutsideTheListShowsNoEntry) {
    board->faults.replyOverride[1240] = "1240=-999";
    BtnRefreshClick(ctx);
    EXPECT_EQ(host.scanCoreIndex, -999);
    EXPECT_EQ(Lines()[Lines().size() - 2], "Scan Version: unknown (-999)");
}

TEST_F(BoardInfoTest, RefreshDoesNothingWhileTheLinkIsClosed) {
    ctx.BoardLink.connected = false;
    ctx.ConsoleAdd("kept");
    BtnRefreshClick(ctx);
    EXPECT_EQ(Lines(), Lines_t{"kept"});
    EXPECT_TRUE(board->commands.empty());
}

}  // namespace
}  // namespace tq9
