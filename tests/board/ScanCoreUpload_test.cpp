// The scan-core upload: file reading, the bytes on the wire against the file's bytes,
// counts, progress, pacing, and the refusals.

#include <gtest/gtest.h>

#include <fstream>

#include "base/Errors.h"
#include "board/ScanCoreUpload.h"
#include "support/BoardBench.h"
#include "support/TempDir.h"

namespace tq9 {
namespace {

using Lines_t = std::vector<std::string>;

class UploadTest : public test::BoardBench {
  protected:
    void SetUp() override {
        Connect();
        ctx.ProgramDirectory = dir.WithSeparator();
        host.fields[Field::EditCoreNumber] = "0";
        TakeWire();
    }
    // A file of `size` bytes with a pattern that shows any reordering.
    std::string MakeFile(std::size_t size, const std::string& name = "core.dat") {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>((i * 37 + 11) & 0xFF);
        std::ofstream(dir.File(name), std::ios::binary).write(bytes.data(), size);
        host.fileChoice = dir.File(name).string();
        return bytes;
    }
    // What followed the announcing parameter line on the wire.
    static std::string AfterAnnouncement(const std::string& wire) {
        return wire.substr(wire.find("!\r") + 2);
    }

    test::TempDir dir;
};

TEST_F(UploadTest, FiveHundredTwelveWordsToCoreZero) {
    const std::string file = MakeFile(2048);
    ButtonUpStreamClick(ctx);
    const std::string wire = TakeWire();
    EXPECT_NE(wire.find("8900=512!\r"), std::string::npos);
    EXPECT_EQ(AfterAnnouncement(wire), file) << "the file's bytes in the file's order";
    ASSERT_EQ(board->uploads.size(), 1u);
    EXPECT_EQ(board->uploads[0].announced, 512);
    EXPECT_EQ(board->uploads[0].words.size(), 512u);
    EXPECT_EQ(board->uploads[0].words[0], 0x7A55300Bu) << "least significant byte first";

    char sum[9];
    std::snprintf(sum, sizeof sum, "%08X",
                  static_cast<unsigned>(sim::BoardEmulator::Checksum(board->uploads[0].words)));
    const Lines_t expected = {"### 512 Longwords read.", "### 2048 Bytes sent.",
                              std::string("Core 0 loaded: 512 words, sum ") + sum + "\r"};
    EXPECT_EQ(Lines(), expected);
}

TEST_F(UploadTest, TrailingBytesAreNeitherReadNorSent) {
    const std::string file = MakeFile(10);
    ButtonUpStreamClick(ctx);
    EXPECT_EQ(AfterAnnouncement(TakeWire()), file.substr(0, 8));
    EXPECT_EQ(Lines()[0], "### 2 Longwords read.");
    EXPECT_EQ(Lines()[1], "### 8 Bytes sent.");
}

TEST_F(UploadTest, AnEmptyFileAnnouncesZeroAndSendsNoWords) {
    MakeFile(0);
    ButtonUpStreamClick(ctx);
    const std::string wire = TakeWire();
    EXPECT_NE(wire.find("8900=0!\r"), std::string::npos);
    EXPECT_EQ(AfterAnnouncement(wire), "");
    EXPECT_EQ(Lines(), (Lines_t{"### 0 Longwords read.", "### 0 Bytes sent.",
                                "Core 0 loaded: 0 words, sum 00000000\r"}));
}

TEST_F(UploadTest, TheCoreNumberPicksTheParameter) {
    MakeFile(16);
    host.fields[Field::EditCoreNumber] = "3";
    ButtonUpStreamClick(ctx);
    EXPECT_NE(TakeWire().find("8903=4!\r"), std::string::npos);
    EXPECT_EQ(board->uploads.at(0).target, 8903);
}

TEST_F(UploadTest, EachWordWaitsAMillisecondAndTheBarFollowsIt) {
    MakeFile(400);
    ButtonUpStreamClick(ctx);
    // Each pause on its own, not only their sum (the wait before the first word would
    // cover that): at least 1 ms from one word's write to the next.
    const auto& starts = board->uploads.at(0).wordStartUs;
    ASSERT_EQ(starts.size(), 100u);
    for (std::size_t i = 1; i < starts.size(); ++i)
        EXPECT_GE(starts[i] - starts[i - 1], 1'000u) << "before word " << i;
    EXPECT_EQ(host.progressMax, 100);
    EXPECT_EQ(host.progressUpdates, 101) << "one per word, then back to 0";
    EXPECT_EQ(host.progressPosition, 0);
}

TEST_F(UploadTest, TheWindowKeepsAnsweringWhenEachWordLeavesNoRoomToPaint) {
    // A bar that costs 0.4 ms a move leaves no pause with room to paint in: the window
    // paints anyway, in a pause made longer, never so seldom that the desktop calls it hung.
    host.progressCostUs = 400;
    MakeFile(4 * 3000);
    ButtonUpStreamClick(ctx);
    const auto& starts = board->uploads.at(0).wordStartUs;
    ASSERT_EQ(starts.size(), 3000u);
    for (std::size_t i = 1; i < starts.size(); ++i)
        ASSERT_GE(starts[i] - starts[i - 1], 1'000u) << "before word " << i;
    std::uint64_t last = starts.front();
    ASSERT_GE(host.outputMessagesAtUs.size(), 20u);
    for (std::uint64_t at : host.outputMessagesAtUs) {
        EXPECT_LE(at - last, 60'000u) << "at " << at;
        last = at;
    }
    EXPECT_LE(starts.back() - last, 60'000u);
}

TEST_F(UploadTest, TheDialogOffersTheSevenFiltersWithScanCoreChosen) {
    host.fileChoice.clear();
    ButtonUpStreamClick(ctx);
    ASSERT_EQ(host.fileDialogs.size(), 1u);
    const FileDialogSettings& settings = host.fileDialogs[0];
    EXPECT_EQ(settings.title, "Open DAT File:");
    EXPECT_EQ(settings.filterIndex, 4);
    EXPECT_EQ(settings.defaultExtension, "*.DAT");
    EXPECT_EQ(settings.initialDirectory, dir.WithSeparator());
    ASSERT_EQ(settings.filters.size(), 7u);
    EXPECT_EQ(settings.filters[3].description, "ScanCore DAT");
    EXPECT_EQ(settings.filters[3].pattern, "*.dat");
    EXPECT_EQ(settings.filters[6].pattern, "taper*.dat");
}

TEST_F(UploadTest, ACancelledDialogChangesNothing) {
    host.fileChoice.clear();
    host.progressPosition = 0;
    ButtonUpStreamClick(ctx);
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(host.progressUpdates, 0);
    EXPECT_EQ(TakeWire(), "");
}

TEST_F(UploadTest, AFileTooLargeIsRefusedBeforeAnythingIsSent) {
    MakeFile(4 * 16385);
    ButtonUpStreamClick(ctx);
    EXPECT_EQ(Lines(), Lines_t{"##### Error: File too large: 16385 Longwords (at most 16384)."});
    EXPECT_EQ(TakeWire(), "");
    EXPECT_TRUE(board->commands.empty());
}

TEST_F(UploadTest, AFileOfExactlyTheBufferSizeIsSentWhole) {
    const std::string file = MakeFile(4 * 16384 + 3);
    ButtonUpStreamClick(ctx);
    const std::string wire = TakeWire();
    EXPECT_NE(wire.find("8900=16384!\r"), std::string::npos);
    EXPECT_EQ(AfterAnnouncement(wire), file.substr(0, 4 * 16384)) << "every word as it stands";
    EXPECT_EQ(Lines().at(0), "### 16384 Longwords read.");
    EXPECT_EQ(Lines().at(1), "### 65536 Bytes sent.");
}

TEST_F(UploadTest, AnUnreadableFileEndsInAnErrorNamingItAndSendsNothing) {
    for (const std::string name : {"missing.dat", ""}) {
        host.fileChoice = name.empty() ? dir.Path().string() : dir.File(name).string();
        try {
            ButtonUpStreamClick(ctx);
            ADD_FAILURE() << "no error for " << host.fileChoice;
        } catch (const Tq9Error& error) {
            EXPECT_NE(std::string(error.what()).find(host.fileChoice), std::string::npos)
                << error.what();
        }
    }
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(TakeWire(), "");
}

TEST_F(UploadTest, ABadCoreNumberEndsAfterTheCountAndTheWait) {
    MakeFile(8);
    const std::pair<std::string, std::string> rows[] = {
        {"", "'' ist kein g\u00fcltiger Integerwert"},
        {"2147474748", "Core number too large: 2147474748 (at most 2147474747)"},
    };
    for (const auto& [text, message] : rows) {
        ctx.console.Clear();
        board->commands.clear();
        host.fields[Field::EditCoreNumber] = text;
        try {
            ButtonUpStreamClick(ctx);
            ADD_FAILURE() << "no error for '" << text << "'";
        } catch (const Tq9Error& error) {
            EXPECT_EQ(std::string(error.what()), message);
        }
        EXPECT_EQ(Lines(), Lines_t{"### 2 Longwords read."});
        EXPECT_EQ(board->commands, Lines_t{"253?"}) << "the wait ran; nothing else was sent";
    }
}

TEST_F(UploadTest, AnOldCancelCutsOnlyTheWait) {
    MakeFile(8);
    ctx.CancelRequested = 1;
    ButtonUpStreamClick(ctx);
    EXPECT_EQ(Lines()[1], "##### Warning: Process cancelled by user");
    EXPECT_EQ(board->uploads.size(), 1u);
    EXPECT_EQ(board->uploads[0].words.size(), 2u);
}

TEST_F(UploadTest, NothingHappensWhileTheLinkIsClosed) {
    MakeFile(8);
    ctx.BoardLink.connected = false;
    ButtonUpStreamClick(ctx);
    EXPECT_TRUE(host.fileDialogs.empty());
    EXPECT_TRUE(Lines().empty());
}

TEST_F(UploadTest, NoClosingLineGivesTheSentinel) {
    MakeFile(8);
    ButtonUpStreamClick(ctx);
    ctx.console.Clear();
    board->faults.silent = true;
    MakeFile(8, "again.dat");
    ButtonUpStreamClick(ctx);
    EXPECT_EQ(Lines().back(), "-9999");
}

}  // namespace
}  // namespace tq9
