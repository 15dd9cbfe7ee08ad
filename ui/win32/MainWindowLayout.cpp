// The main window's controls: their kinds, captions, hints and colours, and where they lie
// (pixels at 96 DPI, scaled to the window's monitor).

#include "ui/win32/MainWindow.h"

#include <commctrl.h>

#include <algorithm>

#include "base/Utf16_win.h"
#include "board/ScanCores.h"
#include "ui/win32/ConsoleFont.h"
#include "ui/win32/ControlIds.h"
#include "ui/win32/Dpi.h"

namespace tq9 {

using namespace win32;

namespace {
constexpr int kClientWidth = 859, kClientHeight = 679;
constexpr int kMinimumWidth = 580, kMinimumHeight = 400;
constexpr int kStartLeft = 50, kStartTop = 100;
constexpr int kConsoleLeft = 348;   // the right column: the console
constexpr int kColumnRight = 341;   // the left column's scroll bar starts here
constexpr int kColumnHeight = 626;  // the left column's controls, with a margin below
constexpr int kScrollBarWidth = 17;
constexpr int kWheelStep = 48;  // a wheel notch scrolls the column this far

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 128, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kOrange = RGB(255, 128, 0);

struct Place96 {
    int id, x, y, width, height;
};
// The left column, top to bottom. Device and Close share one place.
constexpr Place96 kPlaces[] = {
    {kBtnRescan, 8, 8, 80, 25},
    {kBtnClose, 8, 8, 80, 25},
    {kDeviceView, 96, 13, 244, 16},
    {kBtnCancel, 8, 40, 80, 25},
    {kBusyLabel, 100, 45, 30, 16},
    {kLEDbusy, 132, 45, 24, 14},
    {kBoardGroup, 4, 72, 336, 348},
    {kSerialLabel, 14, 96, 100, 16},
    {kEditSerialNumber, 120, 93, 208, 21},
    {kFpgaLabel, 14, 122, 100, 16},
    {kFPGAversion, 120, 119, 208, 21},
    {kFirmwareLabel, 14, 148, 100, 16},
    {kEditFirmwareVersion, 120, 145, 208, 21},
    {kScanCoreLabel, 14, 174, 100, 16},
    {kComboBoxScanDetected, 120, 171, 208, 22},
    {kBtnRefresh, 14, 200, 100, 28},
    {kBtnFPGAprog, 120, 200, 100, 28},
    {kBtnFinalize, 226, 200, 102, 28},
    {kProductionGroup, 10, 236, 324, 178},
    {kFirmwareTypeLabel, 20, 261, 60, 16},
    {kdd_FirmwareType, 86, 258, 238, 200},
    {kProdProg, 20, 288, 220, 28},
    {kBtnAVRonly, 248, 288, 76, 28},
    {kDiamexLabel, 20, 327, 134, 16},
    {kEditDiamex, 160, 324, 164, 21},
    {kUsingDeviceLabel, 20, 354, 200, 16},
    {kFtdiDeviceLabel, 20, 380, 50, 16},
    {kEditFTDIdevice, 74, 377, 80, 21},
    {kFtdiComLabel, 164, 380, 70, 16},
    {kEditFTDIcom, 238, 377, 86, 21},
    {kTestGroup, 4, 428, 336, 190},
    {kButtonUpStream, 14, 450, 314, 28},
    {kIncRegLabel, 14, 491, 82, 16},
    {kEditCoreNumber, 100, 488, 100, 21},
    {kScanCoreNote, 100, 512, 200, 16},
    {kProgressBar1, 14, 534, 314, 18},
    {kTestPortLabel, 14, 562, 250, 16},
    {kComboBox1, 14, 580, 314, 200},
};
}  // namespace

int TForm1::S(int pixelsAt96) const {
    return Scaled(pixelsAt96, dpi_);
}

void TForm1::CreateFonts() {
    for (HFONT* font : {&font_, &boldFont_, &consoleFont_}) {
        if (*font) DeleteObject(*font);
    }
    const auto make = [&](const wchar_t* face, int weight, DWORD pitch) {
        return PixelFont(face, 12, weight, pitch, dpi_);
    };
    font_ = make(L"Arial", FW_NORMAL, DEFAULT_PITCH | FF_SWISS);
    boldFont_ = make(L"Arial", FW_BOLD, DEFAULT_PITCH | FF_SWISS);
    consoleFont_ = ConsoleFont(dpi_);
}

void TForm1::CreateControls() {
    struct Made {
        int id;
        const wchar_t* cls;
        const char* text;
        DWORD style;
        DWORD exStyle;
        bool bold;
        const char* hint;
    };
    constexpr DWORD button = WS_TABSTOP | BS_OWNERDRAW;
    constexpr DWORD label = SS_LEFT | SS_NOPREFIX;
    constexpr DWORD field = WS_TABSTOP | ES_AUTOHSCROLL;
    constexpr DWORD readOnly = field | ES_READONLY;
    constexpr DWORD list = WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
    // Creation order is the Tab order.
    const Made made[] = {
        {kBtnRescan, WC_BUTTONW, "Device", button, 0, true, "Open TQ9 USB Device"},
        {kBtnClose, WC_BUTTONW, "Close", button, 0, true, "Close TQ9 USB Device"},
        {kDeviceView, WC_EDITW, "(not selected)", readOnly, 0, true, nullptr},
        // Cancel never takes the focus (Esc does what it does): no tab stop.
        {kBtnCancel, WC_BUTTONW, "Cancel", BS_OWNERDRAW, 0, true, "Cancel any running process"},
        {kBusyLabel, WC_STATICW, "Busy", label, 0, true, nullptr},
        {kLEDbusy, WC_STATICW, "", SS_LEFT, WS_EX_STATICEDGE, false, nullptr},
        {kBoardGroup, WC_BUTTONW, "TQ9 Board Info", BS_GROUPBOX, 0, false,
         "Informations read from TQ9 board connected"},
        {kSerialLabel, WC_STATICW, "Serial #", label, 0, false, nullptr},
        {kEditSerialNumber, WC_EDITW, "0", field, WS_EX_CLIENTEDGE, false,
         "Serial Number readout from TQ9"},
        {kFpgaLabel, WC_STATICW, "FPGA #", label, 0, false, nullptr},
        {kFPGAversion, WC_EDITW, "00000000", readOnly, WS_EX_CLIENTEDGE, true,
         "FPGA config (Sound Engine) version readout from TQ9"},
        {kFirmwareLabel, WC_STATICW, "FW #", label, 0, false, nullptr},
        {kEditFirmwareVersion, WC_EDITW, "0", readOnly, WS_EX_CLIENTEDGE, true,
         "AVR controller firmware version readout from TQ9"},
        {kScanCoreLabel, WC_STATICW, "Active Scan Core", label, 0, false, nullptr},
        {kComboBoxScanDetected, WC_COMBOBOXW, "", WS_DISABLED | CBS_SIMPLE, 0, false,
         "ScanCore  readout from TQ9"},
        {kBtnRefresh, WC_BUTTONW, "Reset TQ9", button | WS_DISABLED, 0, true,
         "Get TQ9 board information and display label info"},
        {kBtnFPGAprog, WC_BUTTONW, "Upd FPGA", button | WS_DISABLED, 0, true, nullptr},
        {kBtnFinalize, WC_BUTTONW, "Finalize", button | WS_DISABLED, 0, true,
         "Send Finalize setting to TQ9 and set Factory Restore Memory"},
        {kProductionGroup, WC_BUTTONW, "OEM Production Programming with ISP ", BS_GROUPBOX, 0,
         false, nullptr},
        {kFirmwareTypeLabel, WC_STATICW, "Firmware", label, 0, false, nullptr},
        {kdd_FirmwareType, WC_COMBOBOXW, "", list | WS_DISABLED, 0, false,
         "Firmware Name to program with DIAMEX ISP programmer"},
        {kProdProg, WC_BUTTONW, "Production Prgrm", button | WS_DISABLED, 0, true,
         "Complete production program run with DIAMEX ISP programmer and FTDI cable"},
        {kBtnAVRonly, WC_BUTTONW, "AVR only", button | WS_DISABLED, 0, false,
         "Programs AVR by ISP only, including fuses"},
        {kDiamexLabel, WC_STATICW, "DIAMEX COM Port", label, 0, false, nullptr},
        {kEditDiamex, WC_EDITW, "0", field, WS_EX_CLIENTEDGE, false,
         "Enter COM Port number of DIAMEX ISP programmer (named ERFOS-S in windows device "
         "manager COM&LPT)"},
        {kUsingDeviceLabel, WC_STATICW, "Using Device", label, 0, true, nullptr},
        {kFtdiDeviceLabel, WC_STATICW, "FTDI #", label, 0, false, nullptr},
        {kEditFTDIdevice, WC_EDITW, "-1", readOnly, WS_EX_CLIENTEDGE, false,
         "Selected FTDI device last used"},
        {kFtdiComLabel, WC_STATICW, "FTDI COM", label, 0, false, nullptr},
        {kEditFTDIcom, WC_EDITW, "0", readOnly, WS_EX_CLIENTEDGE, false,
         "Selected FTDI device last used"},
        {kTestGroup, WC_BUTTONW, "Test Procedures", BS_GROUPBOX, 0, false, nullptr},
        {kButtonUpStream, WC_BUTTONW, "Upstream Core File", button, 0, true,
         "Read temporary ScanCore and send it to FPGA"},
        {kIncRegLabel, WC_STATICW, "To IncReg #", label, 0, false, "Upload Activity"},
        {kEditCoreNumber, WC_EDITW, "0", field | ES_NUMBER, WS_EX_CLIENTEDGE, false,
         "Start Param Number"},
        {kScanCoreNote, WC_STATICW, "(0 = ScanCore)", label, 0, false, "Upload Activity"},
        {kProgressBar1, PROGRESS_CLASSW, "", 0, 0, false, nullptr},
        {kTestPortLabel, WC_STATICW, "Logic Analyzer Test Port", label, 0, false, nullptr},
        {kComboBox1, WC_COMBOBOXW, "", list, 0, true, "Select option from drop-down menu"},
        {kConsoleHeading, WC_STATICW, "TQ9 Response/Messages", label, 0, true, nullptr},
        {kMemo1, WC_EDITW, "",
         WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_NOHIDESEL,
         WS_EX_CLIENTEDGE, false, nullptr},
    };
    for (const Made& m : made) {
        CreateWindowExW(m.exStyle, m.cls, Widen(m.text).c_str(), WS_CHILD | WS_VISIBLE | m.style, 0,
                        0, 0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(m.id)),
                        GetModuleHandleW(nullptr), nullptr);
        if (m.bold) bold_.insert(m.id);
        if (m.hint) hints_[m.id] = m.hint;
    }
    ApplyFonts();
    // Both exist from start-up; Device is the one shown.
    ShowWindow(Child(kBtnClose), SW_HIDE);
    SendMessageW(Child(kMemo1), EM_SETLIMITTEXT, 0, 0);  // the console has no line limit
    SendMessageW(Child(kProgressBar1), PBM_SETRANGE32, 0, 100);

    for (const char* name : kScanCoreNames) {
        SendMessageW(Child(kComboBoxScanDetected), CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Widen(name).c_str()));
    }
    SendMessageW(Child(kComboBoxScanDetected), CB_SETCURSEL, kScanCoreEntryAtStart, 0);
    for (const char* entry : kFirmwareEntries) {
        SendMessageW(Child(kdd_FirmwareType), CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Widen(entry).c_str()));
    }
    SendMessageW(Child(kdd_FirmwareType), CB_SETCURSEL, kFirmwareEntryAtStart, 0);
    for (const char* entry : kTestPortEntries) {
        SendMessageW(Child(kComboBox1), CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Widen(entry).c_str()));
    }
    SendMessageW(Child(kComboBox1), CB_SETCURSEL, 0, 0);

    textColours_ = {{kBtnRescan, kRed},    {kBtnClose, kRed},        {kBtnCancel, kRed},
                    {kBtnRefresh, kGreen}, {kBtnFPGAprog, kRed},     {kBtnFinalize, kOrange},
                    {kProdProg, kRed},     {kFPGAversion, kMagenta}, {kEditFirmwareVersion, kBlue},
                    {kComboBox1, kBlue}};

    CreateWindowExW(0, L"SCROLLBAR", nullptr, WS_CHILD | SBS_VERT, 0, 0, 0, 0, hwnd_,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kColumnScroll)),
                    GetModuleHandleW(nullptr), nullptr);
    status_ =
        CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0,
                        0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBar)),
                        GetModuleHandleW(nullptr), nullptr);
    SendMessageW(status_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

    // Only Finalize shows its hint as a tooltip too.
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    std::wstring finalizeHint = Widen(hints_[kBtnFinalize]);  // the tooltip keeps a copy
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(Child(kBtnFinalize));
    tool.lpszText = finalizeHint.data();
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TForm1::ApplyFonts() {
    for (HWND child = GetWindow(hwnd_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const int id = GetDlgCtrlID(child);
        HFONT font = id == kMemo1 ? consoleFont_ : bold_.count(id) ? boldFont_ : font_;
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

void TForm1::Layout() {
    RECT client{};
    GetClientRect(hwnd_, &client);
    SendMessageW(status_, WM_SIZE, 0, 0);
    RECT bar{};
    GetWindowRect(status_, &bar);
    const int statusHeight = bar.bottom - bar.top;
    const int width = client.right - client.left, height = client.bottom - client.top;

    // Below the column's height its controls keep their size and the column scrolls.
    const int room = std::max(0, height - statusHeight);
    const int overflow = std::max(0, S(kColumnHeight) - room);
    columnTop_ = std::clamp(columnTop_, 0, overflow);
    for (const Place96& p : kPlaces)
        Place(p.id, p.x, p.y, p.width, p.height);
    HWND scroll = Child(kColumnScroll);
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMax = S(kColumnHeight) - 1;
    info.nPage = static_cast<UINT>(room);
    info.nPos = columnTop_;
    SetScrollInfo(scroll, SB_CTL, &info, TRUE);
    MoveWindow(scroll, S(kColumnRight), 0, S(kScrollBarWidth), room, TRUE);
    ShowWindow(scroll, overflow > 0 ? SW_SHOWNA : SW_HIDE);
    // The column's controls moved without painting: all of them at once now.
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);

    const int consoleLeft = S(kConsoleLeft) + (overflow > 0 ? S(kScrollBarWidth) : 0);
    MoveWindow(Child(kConsoleHeading), consoleLeft, S(8), S(250), S(16), TRUE);
    MoveWindow(Child(kMemo1), consoleLeft, S(28), std::max(0, width - consoleLeft - S(8)),
               std::max(0, height - statusHeight - S(28 + 6)), TRUE);
    // The status bar: the hint, then (while there is one) the line server's status.
    int parts[2] = {width, -1};
    if (!lineStatus_.empty()) parts[0] = std::max(width / 3, width - S(420));
    SendMessageW(status_, SB_SETPARTS, lineStatus_.empty() ? 1 : 2,
                 reinterpret_cast<LPARAM>(parts));
    SendMessageW(status_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(Widen(lineStatus_).c_str()));
}

void TForm1::Place(int id, int x, int y, int width, int height) {
    MoveWindow(Child(id), S(x), S(y) - columnTop_, S(width), S(height), FALSE);
}

void TForm1::ScrollColumnTo(int top) {
    if (top == columnTop_ || !IsWindowVisible(Child(kColumnScroll))) return;
    columnTop_ = top;
    Layout();  // clamps it
}

void TForm1::ScrollColumnOn(int code) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(Child(kColumnScroll), SB_CTL, &info);
    const int page = static_cast<int>(info.nPage);
    switch (code) {
        case SB_LINEUP:
            ScrollColumnTo(columnTop_ - S(16));
            break;
        case SB_LINEDOWN:
            ScrollColumnTo(columnTop_ + S(16));
            break;
        case SB_PAGEUP:
            ScrollColumnTo(columnTop_ - page);
            break;
        case SB_PAGEDOWN:
            ScrollColumnTo(columnTop_ + page);
            break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
            ScrollColumnTo(info.nTrackPos);
            break;
        case SB_TOP:
            ScrollColumnTo(0);
            break;
        case SB_BOTTOM:
            ScrollColumnTo(info.nMax);
            break;
        default:
            break;
    }
}

void TForm1::ShowFocusInColumn() {
    HWND focus = GetFocus();
    if (!focus || GetParent(focus) != hwnd_) return;
    const int id = GetDlgCtrlID(focus);
    if (std::none_of(std::begin(kPlaces), std::end(kPlaces),
                     [&](const Place96& p) { return p.id == id; }))
        return;
    RECT place{};
    GetWindowRect(focus, &place);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&place), 2);
    RECT scroll{};
    GetClientRect(Child(kColumnScroll), &scroll);
    const int room = scroll.bottom;
    if (place.top < S(4)) {
        ScrollColumnTo(columnTop_ + place.top - S(8));
    } else if (place.bottom > room - S(4)) {
        ScrollColumnTo(columnTop_ + place.bottom - room + S(8));
    }
}

bool TForm1::OverColumn(POINT screen) const {
    ScreenToClient(hwnd_, &screen);
    RECT client{};
    GetClientRect(hwnd_, &client);
    return screen.x >= 0 && screen.x < S(kConsoleLeft) && screen.y >= 0 && screen.y < client.bottom;
}

int TForm1::ColumnWheelStep() const {
    return S(kWheelStep);
}

SIZE TForm1::MinimumFrame() const {
    const RECT frame =
        FrameForClient(S(kMinimumWidth), S(kMinimumHeight), GetWindowLongW(hwnd_, GWL_STYLE),
                       GetWindowLongW(hwnd_, GWL_EXSTYLE), true, dpi_);
    return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

void TForm1::PlaceAtStart() {
    // The frame's top left at 50, 100, the client area at its full size; then moved (or
    // shrunk) into the work area of a small screen, frame included.
    const RECT frame =
        FrameForClient(S(kClientWidth), S(kClientHeight), GetWindowLongW(hwnd_, GWL_STYLE),
                       GetWindowLongW(hwnd_, GWL_EXSTYLE), true, dpi_);
    RECT wanted{kStartLeft, kStartTop, kStartLeft + frame.right - frame.left,
                kStartTop + frame.bottom - frame.top};
    const RECT placed = KeptInside(wanted, WorkAreaNear(wanted), MinimumFrame());
    SetWindowPos(hwnd_, nullptr, placed.left, placed.top, placed.right - placed.left,
                 placed.bottom - placed.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace tq9
