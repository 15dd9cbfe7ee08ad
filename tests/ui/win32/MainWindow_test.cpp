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

#include "base/Utf16_win.h"
#include "isp/Production.h"
#include "ops/MainWindowRules.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "ui/win32/ControlIds.h"

namespace tq9 {
namespace {

namespace fs = std::filesystem;
using namespace win32;

constexpr DWORD kStartLimitMs = 30000;
constexpr DWORD kStepLimitMs = 20000;

// Waits, up to a bound, for `done`; a wait that runs out fails the check that follows.
bool WaitUntil(const std::function<bool()>& done, DWORD limitMs = kStepLimitMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > limitMs) return false;
        Sleep(20);
    }
    return true;
}

std::string Text(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return "<no answer>";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &copied);
    text.resize(copied);
    return Narrow(text);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Memory in the window program's process, for the list view's messages that take a pointer.
class RemoteMemory {
  public:
    RemoteMemory(DWORD pid, std::size_t size)
        : process_(
              OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid)),
          address_(process_ ? VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE,
                                             PAGE_READWRITE)
                            : nullptr) {}
    ~RemoteMemory() {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    bool Usable() const { return address_ != nullptr; }
    void* At(std::size_t offset) const { return static_cast<char*>(address_) + offset; }
    void Write(const void* data, std::size_t size, std::size_t offset = 0) const {
        WriteProcessMemory(process_, At(offset), data, size, nullptr);
    }
    void Read(void* data, std::size_t size, std::size_t offset = 0) const {
        ReadProcessMemory(process_, At(offset), data, size, nullptr);
    }

  private:
    HANDLE process_;
    void* address_;
};

DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

// A cell of a list view in another process: its row's caption (column 0) or a sub-item.
std::string CellText(HWND list, int row, int column) {
    RemoteMemory memory(ProcessOf(list), sizeof(LVITEMW) + 512);
    if (!memory.Usable()) return "<no memory>";
    LVITEMW item{};
    item.iSubItem = column;
    item.cchTextMax = 256;
    item.pszText = static_cast<wchar_t*>(memory.At(sizeof item));
    memory.Write(&item, sizeof item);
    const auto n = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                reinterpret_cast<LPARAM>(memory.At(0)));
    std::wstring text(256, L'\0');
    memory.Read(text.data(), 256 * sizeof(wchar_t), sizeof item);
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(n, 0)));
    return Narrow(text);
}

// A row's place in its list view (client coordinates).
RECT RowRect(HWND list, int row) {
    RemoteMemory memory(ProcessOf(list), sizeof(RECT));
    RECT rect{LVIR_BOUNDS, 0, 0, 0};
    memory.Write(&rect, sizeof rect);
    SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(memory.At(0)));
    memory.Read(&rect, sizeof rect);
    return rect;
}

void PostMouse(HWND window, UINT message, int x, int y) {
    PostMessageW(window, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(x, y));
}

// The message boxes the program shows (titled as its dialogs are), apart from its other
// dialogs; their texts and OK.
HWND MessageBoxOf(DWORD pid) {
    for (HWND box = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); box;
         box = FindWindowExW(nullptr, box, L"#32770", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        const std::string title = Text(box);
        if (owner == pid && IsWindowVisible(box) &&
            (title == "Information" || title == "Warning" || title == "Error"))
            return box;
    }
    return nullptr;
}

// The longest static text of a message box: its message (the other is its icon).
std::string MessageText(HWND box) {
    std::string longest;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM found) -> BOOL {
            wchar_t kind[16] = {};
            GetClassNameW(child, kind, 16);
            const std::string text = Text(child);
            auto* longest = reinterpret_cast<std::string*>(found);
            if (std::wstring(kind) == L"Static" && text.size() > longest->size()) *longest = text;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&longest));
    return longest;
}

// A system text as a message box shows it: each CR a line break.
std::string AsShown(std::string text) {
    for (auto at = text.find('\r'); at != std::string::npos; at = text.find('\r', at + 2))
        text.replace(at, 1, "\r\n");
    return text;
}

class WindowProgram {
  public:
    explicit WindowProgram(bool withAvrdude) {
        fs::copy_file(TQ9_WIN32_WINDOW_PATH, dir_.File("tq95_finalize.exe"));
        fs::copy_file(TQ9_SIM_DRIVER_PATH, dir_.File("FTD2XX.DLL"));
        if (withAvrdude) dir_.Touch("avrdude.exe");
    }
    ~WindowProgram() {
        if (!process_.hProcess) return;
        if (main_ && IsWindow(main_)) PostMessageW(main_, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process_.hProcess, 15000) != WAIT_OBJECT_0)
            TerminateProcess(process_.hProcess, 1);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }

    // Starts the program and finds its main window by caption.
    void Start() {
        std::wstring command = L"\"" + dir_.File("tq95_finalize.exe").wstring() + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        const std::wstring folder = dir_.Path().wstring();
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   folder.c_str(), &startup, &process_));
        WaitForInputIdle(process_.hProcess, kStartLimitMs);
        ASSERT_TRUE(WaitUntil(
            [&] {
                for (HWND w = FindWindowW(nullptr, L"TQ9.5 Dizavavov"); w;
                     w = FindWindowExW(nullptr, w, nullptr, L"TQ9.5 Dizavavov")) {
                    DWORD pid = 0;
                    GetWindowThreadProcessId(w, &pid);
                    if (pid == process_.dwProcessId && IsWindowVisible(w)) main_ = w;
                }
                return main_ != nullptr;
            },
            kStartLimitMs))
            << "no main window";
        ASSERT_TRUE(WaitUntil([&] { return Contains(Console(), "Welcome to TQ9 Remote!"); }));
    }

    // The demo bench's production files, firmware images and avrdude's stand-in as
    // avrdude.exe, its programmer on DIAMEX COM Port 0.
    void PutProductionBench() {
        for (const char* name :
             {"fpga_tq95_v21.bit", "TQ9gen3_ed2_b.hex", "TQ9gen3_ed2_b.eep", "avrdude.conf",
              "avrdude-standin.txt", "dsp_rev.bin", "tq_midi.dat", "fir_coeff.dat",
              "taper_levels1.dat", "taper_levels2.dat", "taper_levels3.dat", "taper_levels4.dat"}) {
            fs::copy_file(fs::path(TQ9_DEMO_BENCH_DIR) / name, dir_.File(name),
                          fs::copy_options::overwrite_existing);
        }
        fs::copy_file(TQ9_AVRDUDE_STANDIN_PATH, dir_.File("avrdude.exe"),
                      fs::copy_options::overwrite_existing);
    }
    DWORD Pid() const { return process_.dwProcessId; }
    const test::TempDir& Bench() const { return dir_; }
    HWND Main() const { return main_; }
    HWND Item(int id) const { return GetDlgItem(main_, id); }
    std::string TextOf(int id) const { return Text(Item(id)); }
    std::string Console() const { return Text(Item(kMemo1)); }
    std::string Status() const { return Text(Item(kStatusBar)); }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    bool Visible(int id) const { return IsWindowVisible(Item(id)) != FALSE; }
    // A click as the window's queue brings it, returning at once (an operation may run).
    void Click(int id) const { PostMessageW(Item(id), BM_CLICK, 0, 0); }
    void Key(HWND window, WPARAM key) const {
        PostMessageW(window, WM_KEYDOWN, key, 1);
        PostMessageW(window, WM_KEYUP, key, 1u | (1u << 30) | (1u << 31));
    }
    HWND Focus() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(main_, nullptr), &info);
        return info.hwndFocus;
    }
    // A dialog of the program's once shown, found by its title.
    HWND Dialog(const wchar_t* title) const {
        HWND found = nullptr;
        WaitUntil([&] {
            HWND dialog = FindWindowW(nullptr, title);
            DWORD pid = 0;
            GetWindowThreadProcessId(dialog, &pid);
            found =
                dialog && pid == process_.dwProcessId && IsWindowVisible(dialog) ? dialog : nullptr;
            return found != nullptr;
        });
        return found;
    }
    bool Ended(DWORD limitMs) const {
        return WaitForSingleObject(process_.hProcess, limitMs) == WAIT_OBJECT_0;
    }
    // Starts an operation by its button once the one before has ended (until then a click
    // is refused): true when the operation's first line came.
    bool StartOperation(int id, const std::string& firstLine) const {
        const int before = Count(Console(), firstLine);
        return StartOperation(id, [&] { return Count(Console(), firstLine) > before; });
    }
    bool StartOperation(int id, const std::function<bool()>& started) const {
        return WaitUntil([&] {
            Click(id);
            return WaitUntil(started, 3000);
        });
    }
    // Device, up to its cable dialog; null when none showed.
    HWND CableDialog() const {
        Click(kBtnRescan);
        return Dialog(L"Select USB Device");
    }
    // The device flow ended in its dialog: no cable chosen, nothing written after its first
    // line, the board buttons as they were.
    void ExpectNoCableOpened() const {
        ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(main_) != FALSE; }));
        EXPECT_EQ(Console(), "Welcome to TQ9 Remote!\r\nOpen FTDI device...");
        EXPECT_EQ(TextOf(kEditFTDIdevice), "-1");
        EXPECT_EQ(TextOf(kDeviceView), "(not selected)");
        EXPECT_TRUE(Visible(kBtnRescan));
        EXPECT_FALSE(Enabled(kBtnFinalize));
    }
    // The device flow through to the emulated board on the first cable.
    void OpenBoard() {
        HWND dialog = CableDialog();
        ASSERT_NE(dialog, nullptr);
        PostMessageW(GetDlgItem(dialog, kOKButton), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return Visible(kBtnClose) && Enabled(kBtnFinalize); }))
            << Console();
    }

  private:
    test::TempDir dir_;
    // The program's records and settings go into the test's folder, never the user's.
    test::ScopedEnv records_{test::kRecordsHome, dir_.Path().string()};
    test::ScopedEnv settings_{"PROGRAMDATA", dir_.Path().string()};
    PROCESS_INFORMATION process_{};
    HWND main_ = nullptr;
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

TEST(Win32Window, StartsInsideTheWorkAreaAndHintsInTheStatusBar) {
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

    ASSERT_TRUE(program.StartOperation(kBtnClose, "Closed FTDI device."));
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
    HWND dialog = program.CableDialog();
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

TEST(Win32Window, TheWheelAndTheArrowsNeverChangeAListAndEscOnAnOpenListIsNoCancel) {
    WindowProgram program(true);
    program.Start();
    HWND list = program.Item(kComboBox1);
    const auto dropped = [&] { return SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0) != 0; };
    // Posted messages are handled in order: once the arrow has opened the list, the wheel
    // before it has been handled too.
    PostMessageW(list, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    program.Key(list, VK_DOWN);
    ASSERT_TRUE(WaitUntil(dropped));
    EXPECT_EQ(Text(list), "Key Taper + Sync");

    program.Key(list, VK_ESCAPE);
    ASSERT_TRUE(WaitUntil([&] { return !dropped(); }));
    EXPECT_EQ(Text(list), "Key Taper + Sync");
    // The next Esc, on the closed list, is Cancel: it shows the earlier one was not.
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

TEST(Win32Window, UploadSendsTheWordsOfTheFileChosenInTheOpenDialog) {
    WindowProgram program(true);
    {
        std::ofstream file(program.Bench().File("core.dat"), std::ios::binary);
        for (std::uint32_t word = 0; word < 64; ++word)
            file.write(reinterpret_cast<const char*>(&word), 4);
    }
    program.Start();
    program.OpenBoard();

    // The flow may still be ending (a click then is refused): click until the dialog comes.
    HWND dialog = nullptr;
    ASSERT_TRUE(program.StartOperation(kButtonUpStream, [&] {
        dialog = FindWindowW(nullptr, L"Open DAT File:");
        return dialog && ProcessOf(dialog) == ProcessOf(program.Main());
    }));
    // The name field: the Explorer-style dialog's combo box, or the older dialog's edit.
    HWND name = GetDlgItem(dialog, 0x47c);
    if (!name) name = GetDlgItem(dialog, 0x480);
    ASSERT_NE(name, nullptr);
    const std::wstring path = program.Bench().File("core.dat").wstring();
    SendMessageTimeoutW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);

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
