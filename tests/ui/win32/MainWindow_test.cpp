// The Win32 window program as the operator meets it: the built tq95_finalize.exe started in a
// bench folder of its own with the simulated driver beside it as FTD2XX.DLL (two cables, the
// first with an emulated board), driven from this process by window messages and read back
// through them (WM_GETTEXT, the controls' states, the dialog's list).

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/Platform.h"
#include "base/Utf16_win.h"
#include "isp/Production.h"
#include "ops/MainWindowRules.h"
#include "records/RecordStore.h"
#include "support/Win32Remote.h"
#include "ui/win32/ControlIds.h"

namespace tq9 {
namespace {

namespace fs = std::filesystem;
using namespace win32;

using namespace test;

// The program built here, its first cable with the emulated board.
class WindowProgram : public WindowProcess {
  public:
    explicit WindowProgram(bool withAvrdude)
        : WindowProcess(TQ9_WIN32_WINDOW_PATH, TQ9_SIM_DRIVER_PATH, withAvrdude) {}

    void Start() { ASSERT_TRUE(WindowProcess::Start()) << "no main window, or no greeting"; }
    // The demo bench's production files, firmware images and avrdude's stand-in as
    // avrdude.exe, its programmer on DIAMEX COM Port 0.
    void PutProductionBench() {
        for (const char* name :
             {"fpga_tq95_v21.bit", "TQ9gen3_ed2_b.hex", "TQ9gen3_ed2_b.eep", "avrdude.conf",
              "avrdude-standin.txt", "dsp_rev.bin", "tq_midi.dat", "fir_coeff.dat",
              "taper_levels1.dat", "taper_levels2.dat", "taper_levels3.dat", "taper_levels4.dat"}) {
            fs::copy_file(fs::path(TQ9_DEMO_BENCH_DIR) / name, Bench().File(name),
                          fs::copy_options::overwrite_existing);
        }
        fs::copy_file(TQ9_AVRDUDE_STANDIN_PATH, Bench().File("avrdude.exe"),
                      fs::copy_options::overwrite_existing);
    }
    // The device flow ended in its dialog: no cable chosen, nothing written after its first
    // line, the board buttons as they were.
    void ExpectNoCableOpened() const {
        ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(Main()) != FALSE; }));
        EXPECT_EQ(Console(), "Welcome to TQ9 Remote!\r\nOpen FTDI device...");
        EXPECT_EQ(TextOf(kEditFTDIdevice), "-1");
        EXPECT_EQ(TextOf(kDeviceView), "(not selected)");
        EXPECT_TRUE(Visible(kBtnRescan));
        EXPECT_FALSE(Enabled(kBtnFinalize));
        // Enter, Enter opens the first cable again.
        EXPECT_TRUE(WaitUntil([&] { return Focus() == Item(kBtnRescan); })) << Focus();
    }
    // The device flow through to the board, and its end: input from then on is no longer
    // answered inside it.
    // A click in control `id`, which takes the focus.
    void FocusIn(int id) const {
        RECT r{};
        GetClientRect(Item(id), &r);
        PostMouse(Item(id), WM_LBUTTONDOWN, r.right / 2, r.bottom / 2);
        PostMouse(Item(id), WM_LBUTTONUP, r.right / 2, r.bottom / 2);
        ASSERT_TRUE(WaitUntil([&] { return Focus() == Item(id); }));
    }
    // Button `id`'s command, as its click sends it, leaving the focus where it is.
    void Command(int id) const {
        PostMessageW(Main(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(Item(id)));
    }
    void OpenBoard() {
        ASSERT_TRUE(OpenFirstCable()) << Console();
        ASSERT_TRUE(WaitUntil([&] { return Finished("device flow"); }));
    }
    // The newest rows of the board records the program keeps in its bench folder.
    std::vector<OperationRecord> Newest(int rows) const {
        std::string whyNot;
        auto store = RecordStore::Open(DefaultRecordsPath(), whyNot);
        if (!store) {
            ADD_FAILURE() << whyNot;
            return {};
        }
        RecordFilter newest;
        newest.limit = rows;
        auto found = store->Find(newest, whyNot);
        EXPECT_EQ(whyNot, "");
        return found;
    }
    // Whether the newest record is a finished `operation`.
    bool Finished(const std::string& operation) const {
        const auto rows = Newest(1);
        return !rows.empty() && rows[0].operation == operation &&
               rows[0].outcome != kOutcomeRunning;
    }
    // The operator's pick in the test-port list by the keyboard: the arrow opens it, `steps`
    // arrows move in it and Enter picks.
    void PickTestPort(int steps) const {
        HWND list = Item(kComboBox1);
        Key(list, VK_DOWN);
        for (int i = 0; i < steps; ++i)
            Key(list, VK_DOWN);
        Key(list, VK_RETURN);
    }
};

TEST(Win32Window, StartsWithItsCaptionsDefaultsAndGreeting) {
    WindowProgram program(true);
    program.Start();
    EXPECT_EQ(Text(program.Main()), "TQ9.5 Dizavavov");
    RECT client{};
    GetClientRect(program.Main(), &client);
    EXPECT_EQ(client.right, 859);
    EXPECT_EQ(client.bottom, 679);

    // avrdude.exe beside the program: the greeting alone.
    EXPECT_EQ(program.Console(), "Welcome to TQ9 Remote!");
    const struct {
        int id;
        const char* text;
    } texts[] = {
        {kBtnRescan, "Device"},
        {kBtnClose, "Close"},
        {kBtnCancel, "Cancel"},
        {kDeviceView, "(not selected)"},
        {kEditSerialNumber, "0"},
        {kFPGAversion, "00000000"},
        {kEditFirmwareVersion, "0"},
        {kComboBoxScanDetected, "MIDI input"},
        {kBtnRefresh, "Reset TQ9"},
        {kBtnFPGAprog, "Upd FPGA"},
        {kBtnFinalize, "Finalize"},
        {kProductionGroup, "OEM Production Programming with ISP "},
        {kdd_FirmwareType, "TQ9gen3_ed2_b.hex"},
        {kProdProg, "Production Prgrm"},
        {kBtnAVRonly, "AVR only"},
        {kEditDiamex, "0"},
        {kEditFTDIdevice, "-1"},
        {kEditFTDIcom, "0"},
        {kButtonUpStream, "Upstream Core File"},
        {kEditCoreNumber, "0"},
        {kComboBox1, "Key Taper + Sync"},
        {kConsoleHeading, "TQ9 Response/Messages"},
    };
    for (const auto& t : texts)
        EXPECT_EQ(program.TextOf(t.id), t.text) << "control " << t.id;

    EXPECT_TRUE(program.Visible(kBtnRescan));
    EXPECT_FALSE(program.Visible(kBtnClose));
    for (int id : {kBtnRefresh, kBtnFPGAprog, kBtnFinalize, kComboBoxScanDetected})
        EXPECT_FALSE(program.Enabled(id)) << "control " << id;
    for (int id : {kBtnCancel, kButtonUpStream, kComboBox1, kEditSerialNumber})
        EXPECT_TRUE(program.Enabled(id)) << "control " << id;
    EXPECT_EQ(program.Focus(), program.Item(kBtnRescan));
}

TEST(Win32Window, StartsInsideTheWorkAreaHintsInTheStatusBarAndScrollsItsColumnWhenLow) {
    WindowProgram program(true);
    program.Start();
    RECT frame{}, area{};
    GetWindowRect(program.Main(), &frame);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_GE(frame.left, area.left);
    EXPECT_GE(frame.top, area.top);
    EXPECT_LE(frame.right, area.right);
    EXPECT_LE(frame.bottom, area.bottom);

    // The hint of what the pointer is over: a button, a disabled one, a label, and nothing
    // where the control has no hint.
    const auto pointAt = [&](int id) {
        RECT rect{};
        GetWindowRect(program.Item(id), &rect);
        SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    };
    const struct {
        int id;
        const char* hint;
    } hints[] = {
        {kBtnRescan, "Open TQ9 USB Device"},
        {kBtnFinalize, "Send Finalize setting to TQ9 and set Factory Restore Memory"},
        {kScanCoreNote, "Upload Activity"},
        {kEditDiamex,
         "Enter COM Port number of DIAMEX ISP programmer (named ERFOS-S in windows device "
         "manager COM&LPT)"},
        {kMemo1, ""},
    };
    for (const auto& h : hints) {
        pointAt(h.id);
        EXPECT_TRUE(WaitUntil([&] { return program.Status() == h.hint; }, 5000))
            << "control " << h.id << ": " << program.Status();
    }

    // At its smallest the column keeps its controls' sizes and scrolls: by the wheel over
    // it, and to the control Tab gives the focus to; the console moves aside for its bar.
    SetWindowPos(program.Main(), nullptr, 0, 0, 1, 1, SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_TRUE(WaitUntil([&] { return program.Visible(kColumnScroll); }));
    const auto inView = [&](int id) {
        RECT control{}, status{};
        GetWindowRect(program.Item(id), &control);
        GetWindowRect(program.Item(kStatusBar), &status);
        POINT top{0, 0};
        ClientToScreen(program.Main(), &top);
        return control.top >= top.y && control.bottom <= status.top;
    };
    EXPECT_TRUE(inView(kBtnRescan));
    EXPECT_FALSE(inView(kProgressBar1));
    RECT bar{}, console{};
    GetWindowRect(program.Item(kColumnScroll), &bar);
    GetWindowRect(program.Item(kMemo1), &console);
    EXPECT_GE(console.left, bar.right);
    RECT over{};
    GetWindowRect(program.Item(kBtnRefresh), &over);
    const auto wheel = [&](short delta) {
        PostMessageW(program.Main(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)),
                     MAKELPARAM(over.left + 4, over.top + 4));
    };
    wheel(-120 * 20);
    EXPECT_TRUE(WaitUntil([&] { return inView(kProgressBar1) && !inView(kBtnRescan); }));
    wheel(120 * 20);
    EXPECT_TRUE(WaitUntil([&] { return inView(kBtnRescan) && !inView(kProgressBar1); }));
    for (int press = 0; press < 40 && program.Focus() != program.Item(kEditCoreNumber); ++press) {
        const HWND before = program.Focus();
        program.Key(before, VK_TAB);
        ASSERT_TRUE(WaitUntil([&] { return program.Focus() != before; }, 5000));
    }
    ASSERT_EQ(program.Focus(), program.Item(kEditCoreNumber));
    EXPECT_TRUE(WaitUntil([&] { return inView(kEditCoreNumber); }));
}

TEST(Win32Window, SaysAvrdudeIsMissingAndLeavesTheProductionControlsDisabled) {
    WindowProgram program(false);
    program.Start();
    EXPECT_EQ(program.Console(), "Welcome to TQ9 Remote!\r\n##### Error: Missing file avrdude.exe");
    for (int id : {kProdProg, kBtnAVRonly, kdd_FirmwareType})
        EXPECT_FALSE(program.Enabled(id)) << "control " << id;
}

TEST(Win32Window, DeviceFlowIdentifiesTheBoardAndCloseTakesItBack) {
    WindowProgram program(true);
    program.Start();
    HWND dialog = program.CableDialog();
    ASSERT_NE(dialog, nullptr) << program.Console();
    EXPECT_TRUE(Contains(program.Console(), "Open FTDI device..."));
    EXPECT_FALSE(IsWindowEnabled(program.Main())) << "the dialog is modal";

    // Both cables listed, the first selected, the focus in the list: Enter takes it. Esc
    // does nothing here.
    HWND list = GetDlgItem(dialog, kListView1);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 0);
    EXPECT_EQ(program.Focus(), list);
    EXPECT_EQ(Text(dialog), "Select USB Device");
    EXPECT_EQ(Text(GetDlgItem(dialog, kDialogLabel1)), "Select FTDI Cable or  FT232R device:");
    program.Key(list, VK_ESCAPE);
    program.Key(list, VK_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return program.Visible(kBtnClose); })) << program.Console();
    EXPECT_FALSE(IsWindowVisible(dialog));

    const std::string console = program.Console();
    EXPECT_EQ(console.rfind("Using FTDI Device #0 on COM port #0\r\n", 0), 0u) << console;
    EXPECT_TRUE(Contains(console, "Serial Number: 12345")) << console;
    EXPECT_EQ(program.TextOf(kDeviceView), "TQ9A0001 - TTL232R-5V on COM0");
    EXPECT_EQ(program.TextOf(kEditFTDIdevice), "0");
    EXPECT_EQ(program.TextOf(kEditFTDIcom), "0");
    EXPECT_EQ(program.TextOf(kEditSerialNumber), "12345");
    EXPECT_EQ(program.TextOf(kFPGAversion), "0813A7C2");
    EXPECT_EQ(program.TextOf(kEditFirmwareVersion), "3.65");
    EXPECT_FALSE(program.Visible(kBtnRescan));
    for (int id : {kBtnRefresh, kBtnFPGAprog, kBtnFinalize})
        EXPECT_TRUE(program.Enabled(id)) << "control " << id;
    EXPECT_EQ(program.Focus(), program.Item(kBtnClose)) << "the focus goes with the place";

    // Close, as a click on it would, while the focus is in Serial # (the operator's typing),
    // and has been there while another window was in front (the records window): the
    // focus comes back to Device, for Enter to open the cable again.
    ASSERT_TRUE(WaitUntil([&] { return program.Finished("device flow"); }));
    program.FocusIn(kEditSerialNumber);
    PostMessageW(program.Main(), WM_COMMAND, MAKEWPARAM(kRecordsMenuItem, 0), 0);
    HWND records = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        records = FindWindowW(kRecordsWindowClass, nullptr);
        return records && IsWindowVisible(records) && GetForegroundWindow() == records;
    }));
    PostMessageW(records, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return program.Focus() == program.Item(kEditSerialNumber); }));
    program.Command(kBtnClose);
    ASSERT_TRUE(WaitUntil([&] { return program.Visible(kBtnRescan); }));
    EXPECT_FALSE(program.Visible(kBtnClose));
    EXPECT_EQ(program.TextOf(kDeviceView), "(not selected)");
    const std::string closed = program.Console();
    const std::string tail = "Closed FTDI device. Ready to unplug USB cable from PC.\r\n";
    EXPECT_EQ(closed.substr(closed.size() - tail.size()), tail);
    for (int id : {kBtnRefresh, kBtnFPGAprog, kBtnFinalize})
        EXPECT_FALSE(program.Enabled(id)) << "control " << id;
    EXPECT_EQ(program.Focus(), program.Item(kBtnRescan));
}

TEST(Win32Window, DeviceDialogCancelOpensNothing) {
    WindowProgram program(true);
    program.Start();
    // Device started with the focus elsewhere (in Serial #) ends with it on Device.
    program.FocusIn(kEditSerialNumber);
    program.Command(kBtnRescan);
    HWND dialog = program.Dialog(L"Select USB Device");
    ASSERT_NE(dialog, nullptr);
    PostMessageW(GetDlgItem(dialog, kCancelButton), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(dialog); }));
    program.ExpectNoCableOpened();
}

TEST(Win32Window, DeviceDialogListsEveryCableAndADoubleClickChoosesItsRow) {
    WindowProgram program(true);
    program.Start();
    HWND dialog = program.CableDialog();
    ASSERT_NE(dialog, nullptr);
    HWND list = GetDlgItem(dialog, kListView1);
    const char* rows[2][3] = {{"Device 0", "TQ9A0001", "TTL232R-5V"},
                              {"Device 1", "FT5X2K9Q", "FT232R USB UART"}};
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 3; ++column)
            EXPECT_EQ(CellText(list, row, column), rows[row][column]) << row << "," << column;
    }
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), 100);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), 100);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 2, 0), 250);

    // The second cable has no board: it is opened, does not answer, and is closed again.
    const RECT second = RowRect(list, 1);
    const int x = (second.left + second.right) / 2, y = (second.top + second.bottom) / 2;
    PostMouse(list, WM_LBUTTONDOWN, x, y);
    PostMouse(list, WM_LBUTTONUP, x, y);
    // The click has selected the row before the double-click comes, as with a hand.
    ASSERT_TRUE(WaitUntil([&] {
        return SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED) == 1;
    }));
    PostMouse(list, WM_LBUTTONDBLCLK, x, y);
    PostMouse(list, WM_LBUTTONUP, x, y);
    ASSERT_TRUE(WaitUntil([&] {
        return Contains(program.Console(), "Closed FTDI device. Ready to unplug USB cable");
    })) << program.Console();
    EXPECT_EQ(program.TextOf(kEditFTDIdevice), "1");
    const std::string console = program.Console();
    for (const char* line :
         {"Using FTDI Device #1 on COM port #0", "No response from TQ9 serial port driver!",
          "TQ9 Board might be new or empty. Otherwise, ",
          "try unplugging USB cable from PC and reconnect."}) {
        EXPECT_TRUE(Contains(console, line)) << line << " in\n" << console;
    }
    EXPECT_TRUE(program.Visible(kBtnRescan));
    EXPECT_FALSE(program.Enabled(kBtnFinalize));
}

TEST(Win32Window, DeviceDialogOkWithoutASelectedRowOpensNothing) {
    WindowProgram program(true);
    program.Start();
    HWND dialog = program.CableDialog();
    ASSERT_NE(dialog, nullptr);
    HWND list = GetDlgItem(dialog, kListView1);
    // A click below the rows clears the selection.
    RECT client{};
    GetClientRect(list, &client);
    PostMouse(list, WM_LBUTTONDOWN, 40, client.bottom - 8);
    PostMouse(list, WM_LBUTTONUP, 40, client.bottom - 8);
    ASSERT_TRUE(WaitUntil([&] {
        return SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED) < 0;
    }));
    PostMessageW(GetDlgItem(dialog, kOKButton), BM_CLICK, 0, 0);
    program.ExpectNoCableOpened();
    EXPECT_FALSE(IsWindowVisible(dialog));
}

TEST(Win32Window, TheWheelArrowsAndLettersNeverChangeAListAndEscOnAnOpenListIsNoCancel) {
    WindowProgram program(true);
    program.Start();
    for (int id : {kdd_FirmwareType, kComboBox1}) {
        SCOPED_TRACE(id);
        HWND list = program.Item(id);
        const std::string before = Text(list);
        const auto dropped = [&] { return SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0) != 0; };
        // An arrow would step to the next entry, a letter to the next one it begins ("T":
        // another firmware image, the test port "Test In Main").
        const std::pair<const char*, std::function<void()>> keys[] = {
            {"Down", [&] { program.Key(list, VK_DOWN); }},
            {"t", [&] { program.Type(list, "t"); }},
            {"T", [&] { program.Type(list, "T"); }},
        };
        for (const auto& [name, press] : keys) {
            SCOPED_TRACE(name);
            // Posted messages are handled in order: once the key has opened the list, the
            // wheel before it has been handled too.
            PostMessageW(list, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
            press();
            WaitUntil([&] { return dropped() || Text(list) != before; });
            EXPECT_EQ(Text(list), before);
            ASSERT_TRUE(dropped()) << "a closed list opens instead";

            program.Key(list, VK_ESCAPE);
            ASSERT_TRUE(WaitUntil([&] { return !dropped(); }));
            EXPECT_EQ(Text(list), before);
        }
    }
    // The next Esc, on a closed list, is Cancel: it shows the earlier ones were not.
    HWND list = program.Item(kComboBox1);
    const auto dropped = [&] { return SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0) != 0; };
    program.Key(list, VK_ESCAPE);
    ASSERT_TRUE(WaitUntil([&] { return Contains(program.Console(), "cancelled by user"); }));
    EXPECT_EQ(Count(program.Console(), "##### Warning: Process cancelled by user"), 1);

    // In the open list the arrows move, and Enter picks.
    program.Key(list, VK_DOWN);
    ASSERT_TRUE(WaitUntil(dropped));
    program.Key(list, VK_DOWN);
    program.Key(list, VK_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return !dropped(); }));
    EXPECT_EQ(Text(list), "MPX Taperr + ContUpr");
}

// On an open list the wheel scrolls the entries and picks none, and a list closed without a
// pick (Esc, a click outside it) shows the entry it had when it opened, whatever the arrows
// moved to meanwhile: only Enter or a click on an entry picks.
TEST(Win32Window, AnOpenListClosedWithoutAPickKeepsItsEntry) {
    WindowProgram program(true);
    program.Start();
    for (int id : {kdd_FirmwareType, kComboBox1}) {
        SCOPED_TRACE(id);
        HWND list = program.Item(id);
        const std::string before = Text(list);
        const auto dropped = [&] { return SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0) != 0; };
        const auto open = [&] {
            program.Key(list, VK_DOWN);
            return WaitUntil(dropped);
        };
        // The entries the open list shows, in a window of their own.
        const auto entries = [&] {
            for (HWND w = FindWindowExW(nullptr, nullptr, L"ComboLBox", nullptr); w;
                 w = FindWindowExW(nullptr, w, L"ComboLBox", nullptr)) {
                if (ProcessOf(w) == program.Pid() && IsWindowVisible(w)) return w;
            }
            return HWND{};
        };
        const std::pair<const char*, std::function<void()>> ways[] = {
            {"wheel, Enter",
             [&] {
                 for (HWND to : {list, entries()}) {
                     for (int notch = 0; notch < 2; ++notch)
                         PostMessageW(to, WM_MOUSEWHEEL,
                                      MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
                 }
                 program.Key(list, VK_RETURN);
             }},
            {"Down, Esc",
             [&] {
                 program.Key(list, VK_DOWN);
                 program.Key(list, VK_ESCAPE);
             }},
            {"Down, a click outside",
             [&] {
                 program.Key(list, VK_DOWN);
                 HWND shown = entries();
                 RECT rect{};
                 GetClientRect(shown, &rect);
                 PostMouse(shown, WM_LBUTTONDOWN, rect.right + 40, rect.bottom + 40);
                 PostMouse(shown, WM_LBUTTONUP, rect.right + 40, rect.bottom + 40);
             }},
        };
        for (const auto& [name, close] : ways) {
            SCOPED_TRACE(name);
            ASSERT_TRUE(open());
            ASSERT_NE(entries(), nullptr);
            close();
            ASSERT_TRUE(WaitUntil([&] { return !dropped(); }));
            EXPECT_EQ(Text(list), before);
        }
    }
    EXPECT_EQ(Count(program.Console(), "cancelled by user"), 0) << "no Esc was a Cancel";
}

// A serial typed over the one the board reported is the one the board's operations take,
// and their records keep both apart.
TEST(Win32Window, ATypedSerialIsRecordedBesideTheOneTheBoardReported) {
    WindowProgram program(true);
    program.Start();
    program.OpenBoard();
    ASSERT_EQ(program.TextOf(kEditSerialNumber), "12345");
    program.FocusIn(kEditSerialNumber);
    SendMessageW(program.Item(kEditSerialNumber), EM_SETSEL, 0, -1);
    program.Type(program.Item(kEditSerialNumber), "4711");
    ASSERT_TRUE(WaitUntil([&] { return program.TextOf(kEditSerialNumber) == "4711"; }));
    program.PickTestPort(1);
    ASSERT_TRUE(WaitUntil([&] { return program.Finished("test port"); }));
    const OperationRecord row = program.Newest(1).at(0);
    EXPECT_EQ(row.boardSerial, "12345");
    EXPECT_EQ(row.typedSerial, "4711");
}

// A test-port pick during an operation is refused as a click is, and the list shows again
// the port the board has, not the one it never got.
TEST(Win32Window, ATestPortPickRefusedDuringAnOperationPutsTheListBack) {
    WindowProgram program(true);
    program.Start();
    program.OpenBoard();
    program.PickTestPort(2);
    ASSERT_TRUE(WaitUntil([&] { return program.Finished("test port"); }));
    ASSERT_EQ(program.TextOf(kComboBox1), "Key Taper + ContUpr");

    ASSERT_TRUE(program.StartOperation(kBtnFinalize, "Finalizing..."));
    program.PickTestPort(3);
    ASSERT_TRUE(WaitUntil([&] { return program.Status() == kOperationRunning; }))
        << program.Status();
    ASSERT_TRUE(WaitUntil([&] { return program.Finished("Finalize"); }));
    EXPECT_EQ(program.TextOf(kComboBox1), "Key Taper + ContUpr");
    const auto rows = program.Newest(2);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].operation, "test port") << "no test-port change after the refused pick";
}

TEST(Win32Window, UploadSendsTheWordsOfTheFileChosenInTheOpenDialog) {
    WindowProgram program(true);
    {
        std::ofstream file(program.Bench().File("core.dat"), std::ios::binary);
        for (std::uint32_t word = 0; word < 64; ++word)
            file.write(reinterpret_cast<const char*>(&word), 4);
    }
    program.Start();
    program.OpenBoard();

    HWND dialog = program.DialogOf(kButtonUpStream, L"Open DAT File:");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(AnswerFileDialog(dialog, program.Bench().File("core.dat").wstring()));

    ASSERT_TRUE(WaitUntil([&] {
        const std::string console = program.Console();
        const auto sent = console.find("### 256 Bytes sent.\r\n");
        return sent != std::string::npos && console.size() > sent + 21;
    })) << program.Console();
    EXPECT_TRUE(Contains(program.Console(), "### 64 Longwords read.")) << program.Console();
    EXPECT_EQ(SendMessageW(program.Item(kProgressBar1), PBM_GETPOS, 0, 0), 0)
        << "the bar is empty again";
}

TEST(Win32Window, CancelAndEscWarnAndLeaveTheFocusWhereItWas) {
    WindowProgram program(true);
    program.Start();
    const std::string warning = "##### Warning: Process cancelled by user";
    program.Click(kBtnCancel);
    ASSERT_TRUE(WaitUntil([&] { return Contains(program.Console(), warning); }));
    EXPECT_EQ(program.Focus(), program.Item(kBtnRescan)) << "Cancel never takes the focus";

    program.Key(program.Item(kBtnRescan), VK_ESCAPE);
    ASSERT_TRUE(WaitUntil([&] {
        return program.Console() == "Welcome to TQ9 Remote!\r\n" + warning + "\r\n" + warning;
    })) << program.Console();
    EXPECT_EQ(program.Focus(), program.Item(kBtnRescan));
}

TEST(Win32Window, AnOperationRefusesAClickAndAnswersCancelAndCloseBeforeItEnds) {
    WindowProgram program(true);
    program.Start();
    program.OpenBoard();

    ASSERT_TRUE(program.StartOperation(kBtnFinalize, "Finalizing...")) << program.Console();
    program.Click(kButtonUpStream);
    ASSERT_TRUE(WaitUntil([&] { return program.Status() == kOperationRunning; }))
        << program.Status();
    ASSERT_TRUE(WaitUntil([&] {
        return Contains(program.Console(), "Program transfer to Reverb DSP...");
    })) << program.Console();
    EXPECT_FALSE(Contains(program.Console(), "Upstream")) << "the refused upload never ran";

    // Cancel during the next one is answered at once, beside the running operation's lines;
    // closing then stops it and closes once it has returned.
    ASSERT_TRUE(program.StartOperation(kBtnFinalize, "Finalizing..."));
    program.Click(kBtnCancel);
    ASSERT_TRUE(WaitUntil([&] {
        return Contains(program.Console(), "##### Warning: Process cancelled by user");
    })) << program.Console();
    PostMessageW(program.Main(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(program.Ended(kStepLimitMs));
}

}  // namespace
}  // namespace tq9

namespace tq9 {
namespace {

// A production run through avrdude's stand-in, built for Windows, from the first dialog to
// the result dialog, the operator answering each with OK; then the board is identified
// again.
TEST(Win32Window, AProductionRunThroughAvrdudesStandInEndsInItsResultDialog) {
    WindowProgram program(false);
    program.PutProductionBench();
    program.Start();
    EXPECT_EQ(program.Console(), "Welcome to TQ9 Remote!") << "avrdude.exe is there";
    ASSERT_TRUE(program.Enabled(kProdProg));
    program.OpenBoard();
    // The pass starts with a dialog (a click while the flow is still ending is refused).
    ASSERT_TRUE(
        program.StartOperation(kProdProg, [&] { return MessageBoxOf(program.Pid()) != nullptr; }));
    std::vector<std::string> answered;
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (HWND box = MessageBoxOf(program.Pid())) {
                answered.push_back(MessageText(box));
                PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
                WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); });
            }
            // Three dialogs, or fewer when one said an error (then the check below says which).
            return answered.size() == 3 ||
                   (!answered.empty() && Contains(answered.back(), "Error"));
        },
        120000))
        << program.Console();
    ASSERT_EQ(answered.size(), 3u) << program.Console();
    EXPECT_EQ(answered[0], AsShown(kConnectIspPrompt));
    EXPECT_EQ(answered[1], AsShown(kJumperPrompt));
    EXPECT_EQ(answered[2], AsShown(kRunSucceeded));
    const std::string console = program.Console();
    EXPECT_TRUE(Contains(console, "Serial Number: 12345")) << console;
    std::ifstream calls(program.Bench().File("avrdude-calls.txt"));
    int runs = 0;
    for (std::string line; std::getline(calls, line);)
        runs += Contains(line, "-P\tCOM0");
    EXPECT_EQ(runs, 4) << "the probe, the fuses, their read-back and the flash";
}

}  // namespace
}  // namespace tq9
