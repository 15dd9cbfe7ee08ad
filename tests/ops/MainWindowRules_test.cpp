// The main window's rules without a toolkit: a front end that notes what the rules ask of
// the window, on the scripted host of a bench with production files and a scripted avrdude
// (the cable pulled during a flash run is what the real avrdude cannot play), records kept
// in a real file. Input "arrives" as the host's window messages, at a moment of virtual time.

#include "ops/MainWindowRules.h"

#include <gtest/gtest.h>

#include "isp/Production.h"
#include "support/IspBench.h"

namespace tq9 {
namespace {

class NotedWindow : public WindowFrontEnd {
  public:
    void ShowStatusNotice(const std::string& text) override { notices.push_back(text); }
    void ShowErrorBox(const std::string& text) override { errorBoxes.push_back(text); }
    void CloseLater() override { ++closesAsked; }
    void ShowLineStatus(const std::string&) override {}
    void FocusDeviceButton() override { ++deviceFocused; }
    void ShowTestPort(int index) override { testPortShown.push_back(index); }

    std::vector<std::string> notices, errorBoxes;
    std::vector<int> testPortShown;
    int closesAsked = 0;
    int deviceFocused = 0;
};

class MainWindowRulesTest : public test::IspBench {
  protected:
    MainWindowRulesTest() {
        opened = OpenRecords(dir.File("records.sqlite3").string(), "tq9-bench");
        ctx.Records = opened.sink;
        PutProductionFiles();
        rules.Start(dir.WithSeparator(), {});
    }
    // Device with the first cable chosen: the board's buttons, and a wire from here on.
    void Open() {
        rules.BtnRescanClick();
        ASSERT_TRUE(ctx.BoardLink.connected) << testing::PrintToString(Lines());
        TakeWire();
    }
    OperationRecord Newest() {
        RecordFilter newest;
        newest.limit = 1;
        std::string whyNot;
        const auto found = opened.store->Find(newest, whyNot);
        EXPECT_EQ(whyNot, "");
        return found.empty() ? OperationRecord{} : found[0];
    }
    int Records() {
        RecordFilter all;
        all.limit = 0;
        std::string whyNot;
        return static_cast<int>(opened.store->Find(all, whyNot).size());
    }

    OpenedRecords opened;
    NotedWindow window;
    MainWindowRules rules{ctx, window};
};

// A click or a test-port pick during an operation is refused with the notice, runs nothing
// and leaves no record; the pick's list goes back to the port last applied.
TEST_F(MainWindowRulesTest, InputDuringAnOperationIsRefusedWithTheNotice) {
    Open();
    rules.ComboBox1Change(3);
    ASSERT_EQ(TakeWire(), "65=3\r");
    const int records = Records();
    host.AfterMs(20, [&] {
        EXPECT_TRUE(rules.OperationRunning());
        rules.BtnFinalizeClick();
        rules.ComboBox1Change(6);
        rules.BtnRescanClick();
    });
    rules.BtnRefreshClick();
    EXPECT_EQ(window.notices, std::vector<std::string>(3, kOperationRunning));
    EXPECT_EQ(window.testPortShown, std::vector<int>{3});
    const std::string wire = TakeWire();
    EXPECT_EQ(wire.find("EPS=9!"), std::string::npos) << wire;
    EXPECT_EQ(wire.find("65=6"), std::string::npos) << wire;
    EXPECT_EQ(Records(), records + 1) << "the Reset's record only";
    EXPECT_EQ(Newest().operation, "Reset TQ9");
    EXPECT_EQ(window.deviceFocused, 0) << "the refused Device moved no focus";
    EXPECT_TRUE(ctx.BoardLink.connected);

    // Once it has ended, a pick applies.
    rules.ComboBox1Change(6);
    EXPECT_EQ(TakeWire(), "65=6\r");
}

// Input still waiting when an operation's own work is done (a test-port change writes its
// line and waits for nothing) is answered before the operation ends: its Cancel counts in
// that operation's record, and its click is refused rather than run after it.
TEST_F(MainWindowRulesTest, InputPendingAtTheEndCountsInTheOperationsOwnRecord) {
    Open();
    bool during = false;
    host.AfterMs(0, [&] {
        during = rules.OperationRunning();
        rules.BtnCancelClick();
        rules.BtnRefreshClick();
    });
    rules.ComboBox1Change(2);
    EXPECT_TRUE(during) << "answered before the test-port change ended";
    EXPECT_EQ(window.notices, std::vector<std::string>{kOperationRunning});
    EXPECT_EQ(TakeWire(), "65=2\r") << "Reset TQ9 never ran";
    const OperationRecord row = Newest();
    EXPECT_EQ(row.operation, "test port");
    EXPECT_EQ(row.outcome, kOutcomeCancelled);
}

// Device comes back, in the focus, whenever the window is left without a board: a device
// flow that found none, Close, and a production run whose cable went during the flash run.
TEST_F(MainWindowRulesTest, TheWindowLeftWithoutABoardShowsDeviceInTheFocus) {
    host.deviceDialogChoice = -1;
    rules.BtnRescanClick();
    EXPECT_EQ(window.deviceFocused, 1) << "a flow cancelled in its dialog";

    host.deviceDialogChoice = 0;
    Open();
    EXPECT_EQ(window.deviceFocused, 1) << "a flow that found the board leaves the focus";
    rules.BtnCloseClick();
    EXPECT_EQ(window.deviceFocused, 2);

    Open();
    runner.onRun = [&](const sim::ScriptedRunner::Call& call) {
        if (!call.hidden) {
            CloseBoardLink(ctx);
            cable.plugged = false;
        }
        return sim::AvrdudeScript(test::kCleanLog)(call);
    };
    rules.ProdProgClick();
    ASSERT_FALSE(ctx.BoardLink.connected);
    EXPECT_TRUE(host.visible[Control::BtnRescan]);
    EXPECT_FALSE(host.visible[Control::BtnClose]);
    for (Control c : {Control::BtnRefresh, Control::BtnFPGAprog, Control::BtnFinalize})
        EXPECT_FALSE(host.enabled[c]);
    EXPECT_EQ(window.deviceFocused, 3);
    EXPECT_EQ(Newest().operation, "production run");

    // An operation that ends as it began, without a board, moves no focus.
    rules.BtnRefreshClick();
    EXPECT_EQ(window.deviceFocused, 3);
}

// The close box during an operation stops it; the window closes once it has returned, and
// the run's end comes then, once.
TEST_F(MainWindowRulesTest, CloseDuringAnOperationStopsItAndClosesAfterIt) {
    Open();
    bool refused = false;
    host.AfterMs(20, [&] { refused = !rules.CloseRequested(); });
    rules.BtnRefreshClick();
    EXPECT_TRUE(refused) << "not while it runs";
    EXPECT_FALSE(rules.ShutDown());
    EXPECT_EQ(window.closesAsked, 1);
    EXPECT_EQ(ctx.StopRequests(), 1u);
    EXPECT_NE(Newest().outcome, kOutcomeRunning) << "its record finished";

    EXPECT_TRUE(rules.CloseRequested());
    EXPECT_TRUE(rules.ShutDown());
    EXPECT_FALSE(cable.IsOpen()) << "the run's end closed the cable";
}

}  // namespace
}  // namespace tq9
