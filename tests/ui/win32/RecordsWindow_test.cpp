// The board records window of the Win32 program as the operator meets it: the built
// tq95_finalize.exe in a bench folder of its own (its records file there too), the window
// opened from the Records menu and worked by window messages from this process, its rows
// and texts read back through list-view messages and WM_GETTEXT, its export read from disk.

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/Platform.h"
#include "base/Utf16_win.h"
#include "ops/RecordsView.h"
#include "support/Win32Remote.h"
#include "ui/win32/ControlIds.h"

namespace tq9 {
namespace {

namespace fs = std::filesystem;
using namespace win32;
using namespace test;

class RecordsWindowTest : public ::testing::Test {
  protected:
    RecordsWindowTest() : program(TQ9_WIN32_WINDOW_PATH, TQ9_SIM_DRIVER_PATH, true) {}

    void Start() { ASSERT_TRUE(program.Start()) << "no main window, or no greeting"; }
    // Rows another bench's program wrote before this one started, all of today: boards 5000
    // and 5001 in turn, every third one a production run, the others AVR only.
    void AddRows(int count) {
        std::string whyNot;
        auto store = RecordStore::Open(DefaultRecordsPath(), whyNot);
        ASSERT_TRUE(store) << whyNot;
        for (int i = 0; i < count; ++i) {
            OperationRecord r;
            r.started = UtcNowIso8601();
            r.host = "bench-2";
            r.program = "tq9-bench";
            r.pid = 1;
            r.operation = i % 3 == 0 ? "production run" : "AVR only";
            ASSERT_TRUE(store->Begin(r, whyNot)) << whyNot;
            r.boardSerial = std::to_string(5000 + i % 2);
            r.outcome = kOutcomeCompleted;
            ASSERT_TRUE(store->Finish(r, whyNot)) << whyNot;
        }
    }
    // The Records menu, up to the window showing `rows` rows; the same window each time.
    void OpenRecords(int rows) {
        PostMessageW(program.Main(), WM_COMMAND, MAKEWPARAM(kRecordsMenuItem, 0), 0);
        ASSERT_TRUE(WaitUntil([&] {
            records = FindWindowW(kRecordsWindowClass, nullptr);
            return records && ProcessOf(records) == program.Pid() && IsWindowVisible(records) &&
                   RowCount(List()) == rows;
        })) << (records ? Shown() : "no records window");
        EXPECT_EQ(Text(records), kRecordsTitle);
    }
    // Device, and its dialog's OK once the dialog comes, to the board's buttons.
    void OpenBoard() {
        HWND dialog = program.DialogOf(kBtnRescan, L"Select USB Device");
        ASSERT_NE(dialog, nullptr) << program.Console();
        PostMessageW(GetDlgItem(dialog, kOKButton), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntil([&] {
            return program.Visible(kBtnClose) && program.Enabled(kBtnFinalize);
        })) << program.Console();
    }
    HWND Item(int id) const { return GetDlgItem(records, id); }
    HWND List() const { return Item(kRecordsList); }
    std::string Shown() const { return Text(Item(kRecordsCount)); }
    std::string Detail() const { return Text(Item(kRecordsDetail)); }
    bool Visible(int id) const { return IsWindowVisible(Item(id)) != FALSE; }
    // Writes into a field, as typing would leave it.
    void Type(int id, const std::string& text) const {
        const std::wstring wide = Widen(text);
        SendMessageTimeoutW(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()),
                            SMTO_ABORTIFHUNG, 5000, nullptr);
    }
    // Writes into a field and presses Enter there; waits for the count line it gives.
    void Enter(int id, const std::string& text, const std::string& shown) const {
        Type(id, text);
        program.Key(Item(id), VK_RETURN);
        ASSERT_TRUE(WaitUntil([&] { return Shown() == shown; })) << Shown();
    }
    void Click(int id, const std::string& shown) const {
        PostMessageW(Item(id), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return Shown() == shown; })) << Shown();
    }
    // Every row's cell in `column` is `text`.
    void ExpectColumn(int column, const std::string& text) const {
        for (int row = 0; row < RowCount(List()); ++row)
            ASSERT_EQ(CellText(List(), row, column), text) << "row " << row;
    }
    std::vector<fs::path> Exported() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(program.Bench().Path()))
            if (entry.path().extension() == ".csv") files.push_back(entry.path());
        return files;
    }

    WindowProcess program;
    HWND records = nullptr;
};

// The rows the main window's operations wrote, newest first, the newest one's detail at
// once and another row's on a click; the menu brings the one window back, read again.
TEST_F(RecordsWindowTest, ShowsTheOperationsRowsNewestFirstWithTheSelectedRowsDetail) {
    Start();
    OpenBoard();
    // Reset starts with a clear console; Close is refused until it has ended.
    ASSERT_TRUE(program.StartOperation(
        kBtnRefresh, [&] { return !Contains(program.Console(), "Using FTDI Device"); }));
    ASSERT_TRUE(program.StartOperation(kBtnClose, "Closed FTDI device."));

    OpenRecords(2);
    const std::string today = UtcNowIso8601().substr(0, 10);
    const struct {
        int row, column;
        std::string text;
    } cells[] = {
        {0, 2, "Reset TQ9"}, {0, 3, "completed"},   {0, 4, "12345"}, {0, 6, "TQ9A0001"},
        {0, 7, "0"},         {1, 2, "device flow"}, {1, 4, "12345"}, {1, 8, ""},
    };
    for (const auto& cell : cells) {
        EXPECT_EQ(CellText(List(), cell.row, cell.column), cell.text)
            << "row " << cell.row << ", column " << cell.column;
    }
    EXPECT_EQ(CellText(List(), 1, 0).substr(0, 10), today);
    EXPECT_TRUE(Contains(CellText(List(), 1, 5), "3.65")) << CellText(List(), 1, 5);
    EXPECT_EQ(SendMessageW(List(), LVM_GETCOLUMNWIDTH, kBenchColumn, 0), 0)
        << "this PC's rows have no bench";
    EXPECT_EQ(Shown(), "2 rows");
    EXPECT_FALSE(Visible(kRecordsMore));
    EXPECT_EQ(Text(Item(kRecordsSummary)),
              "Today (" + today + "): 0 boards programmed, 0 succeeded");
    EXPECT_FALSE(IsWindowEnabled(Item(kRecordsWholeLine))) << "this build reads no line server";
    EXPECT_TRUE(Contains(Detail(), "operation: Reset TQ9\r\n")) << Detail();

    const RECT second = RowRect(List(), 1);
    PostMouse(List(), WM_LBUTTONDOWN, second.left + 20, (second.top + second.bottom) / 2);
    PostMouse(List(), WM_LBUTTONUP, second.left + 20, (second.top + second.bottom) / 2);
    ASSERT_TRUE(WaitUntil([&] { return Contains(Detail(), "operation: device flow"); }))
        << Detail();
    EXPECT_TRUE(Contains(Detail(), "board_serial: 12345\r\n")) << Detail();
    EXPECT_TRUE(Contains(Detail(), "Serial Number: 12345\r\n")) << "the flow's console lines";

    // Another flow, then the menu again: the same window, its rows read again.
    OpenBoard();
    const HWND first = records;
    OpenRecords(3);
    EXPECT_EQ(records, first);
    EXPECT_EQ(FindWindowExW(nullptr, first, kRecordsWindowClass, nullptr), nullptr);
    EXPECT_EQ(CellText(List(), 0, 2), "device flow");
    EXPECT_TRUE(Contains(Detail(), "operation: device flow")) << "the newest one's again";
}

// More rows than are shown, "Show 100 more", the lists and a typed serial narrowing them and
// the count saying so; a date that does not exist empties the list, says why in the count's
// place, and an export then says so too and writes nothing.
TEST_F(RecordsWindowTest, FiltersNarrowTheRowsAndARefusedDateRefusesTheExport) {
    AddRows(230);
    Start();
    OpenRecords(100);
    EXPECT_EQ(Shown(), "100 of 230 rows");
    ASSERT_TRUE(Visible(kRecordsMore));
    EXPECT_EQ(Text(Item(kRecordsMore)), "Show 100 more");
    Click(kRecordsMore, "200 of 230 rows");
    EXPECT_EQ(RowCount(List()), 200);
    Click(kRecordsMore, "230 rows");
    EXPECT_FALSE(Visible(kRecordsMore));

    // End picks the closed list's last entry, which shows at once.
    program.Key(Item(kRecordsOperation), VK_END);
    ASSERT_TRUE(WaitUntil([&] { return Shown() == "100 of 153 rows"; })) << Shown();
    EXPECT_EQ(Text(Item(kRecordsOperation)), "AVR only");
    ExpectColumn(2, "AVR only");
    Enter(kRecordsSerial, " 5001 ", "77 rows");
    ExpectColumn(4, "5001");
    EXPECT_FALSE(Visible(kRecordsMore));

    const std::string refusal =
        "\"2026-02-30\" is not a valid date: write it as YYYY-MM-DD (a day that exists), for "
        "example 2026-12-09.";
    Enter(kRecordsSince, "2026-02-30", refusal);
    EXPECT_EQ(RowCount(List()), 0);
    EXPECT_EQ(Detail(), "");
    EXPECT_FALSE(Visible(kRecordsMore));

    PostMessageW(Item(kRecordsCsv), BM_CLICK, 0, 0);
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] { return (box = MessageBoxOf(program.Pid(), L"Board records")) != nullptr; }));
    EXPECT_EQ(MessageText(box), ExportRefusedText(refusal));
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }));
    EXPECT_EQ(WindowOf(program.Pid(), L"Export board records"), nullptr) << "no save dialog";
    EXPECT_TRUE(Exported().empty());

    Enter(kRecordsSince, "2026-02-28", "77 rows");
}

// The export writes every row the shown filter takes (not only the 100 shown, nor a serial
// typed since) as CSV with the byte order mark, to the file named in the save dialog.
TEST_F(RecordsWindowTest, AnExportWritesTheShownFiltersRowsAsCsvWhereTheSaveDialogSays) {
    AddRows(230);
    Start();
    OpenRecords(100);
    Enter(kRecordsSerial, "5000", "100 of 115 rows");
    Type(kRecordsSerial, "5001");  // typed, not shown

    PostMessageW(Item(kRecordsCsv), BM_CLICK, 0, 0);
    HWND dialog = program.Dialog(L"Export board records");
    ASSERT_NE(dialog, nullptr);
    const fs::path path = program.Bench().File("export.csv");
    ASSERT_TRUE(AnswerFileDialog(dialog, path.wstring()));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(path); }));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(Item(kRecordsCsv)) != FALSE; }))
        << "the export has ended";
    EXPECT_EQ(MessageBoxOf(program.Pid(), L"Board records"), nullptr) << "no failure said";

    std::stringstream read;
    read << std::ifstream(path, std::ios::binary).rdbuf();
    const std::string csv = read.str();
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBFid,started,ended,host,program,operation,", 0), 0u)
        << "the byte order mark Excel needs to read UTF-8, then the header";
    EXPECT_EQ(Count(csv, "\r\n"), 116) << "the header and every row of board 5000";
    EXPECT_EQ(Count(csv, ",5000,"), 115);
    EXPECT_EQ(Count(csv, ",5001,"), 0) << "the serial typed after Show is not the shown filter";
    EXPECT_EQ(Exported(), std::vector<fs::path>{path}) << "one file, where the dialog said";
}

}  // namespace
}  // namespace tq9
