// The records window's controls and where they lie (pixels at 96 DPI, scaled): the filters
// in a row that wraps when the window is narrow, the list and the detail sharing the
// height, then the count and the summary with the export buttons.

#include "ui/win32/RecordsWindow.h"

#include <commctrl.h>

#include <algorithm>

#include "base/Utf16_win.h"
#include "ui/win32/ControlIds.h"
#include "ui/win32/Dpi.h"

namespace tq9 {

using namespace win32;

namespace {
constexpr int kClientWidth = 980, kClientHeight = 640;
constexpr int kMargin = 8, kGap = 6, kRowHeight = 23, kButtonHeight = 25;
constexpr int kListShare = 62;  // percent of the height the list and the detail share

HWND Make(HWND parent, int id, const wchar_t* cls, const std::string& text, DWORD style,
          DWORD exStyle = 0) {
    return CreateWindowExW(exStyle, cls, Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0,
                           0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}
}  // namespace

int RecordsWindow::S(int pixelsAt96) const {
    return Scaled(pixelsAt96, dpi_);
}

void RecordsWindow::CreateFonts() {
    for (HFONT* font : {&font_, &fixedFont_}) {
        if (*font) DeleteObject(*font);
    }
    font_ = PixelFont(L"Arial", 12, FW_NORMAL, DEFAULT_PITCH | FF_SWISS, dpi_);
    // Where "Lucida Console" is missing, the mapper takes another fixed-pitch face.
    fixedFont_ = PixelFont(L"Lucida Console", 12, FW_NORMAL, FIXED_PITCH | FF_MODERN, dpi_);
}

int RecordsWindow::TextWidth(const std::string& text) const {
    const std::wstring wide = Widen(text);
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, font_);
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    return size.cx;
}

void RecordsWindow::CreateControls() {
    constexpr DWORD label = SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE;
    constexpr DWORD field = WS_TABSTOP | ES_AUTOHSCROLL;
    constexpr DWORD list = WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
    constexpr DWORD button = WS_TABSTOP | BS_PUSHBUTTON;
    // Creation order is the Tab order.
    Make(hwnd_, kRecordsSerialLabel, WC_STATICW, kSerialCaption, label);
    Make(hwnd_, kRecordsSerial, WC_EDITW, "", field, WS_EX_CLIENTEDGE);
    Make(hwnd_, kRecordsOperationLabel, WC_STATICW, kOperationCaption, label);
    Make(hwnd_, kRecordsOperation, WC_COMBOBOXW, "", list);
    Make(hwnd_, kRecordsOutcomeLabel, WC_STATICW, kOutcomeCaption, label);
    Make(hwnd_, kRecordsOutcome, WC_COMBOBOXW, "", list);
    Make(hwnd_, kRecordsSince, WC_EDITW, "", field, WS_EX_CLIENTEDGE);
    Make(hwnd_, kRecordsUntil, WC_EDITW, "", field, WS_EX_CLIENTEDGE);
    HWND wholeLine =
        Make(hwnd_, kRecordsWholeLine, WC_BUTTONW, kWholeLineCaption, WS_TABSTOP | BS_AUTOCHECKBOX);
    Make(hwnd_, kRecordsBench, WC_EDITW, "", field, WS_EX_CLIENTEDGE);
    Make(hwnd_, kRecordsShow, WC_BUTTONW, kShowCaption, button);
    HWND rows = Make(hwnd_, kRecordsList, WC_LISTVIEWW, "",
                     WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                     WS_EX_CLIENTEDGE);
    Make(hwnd_, kRecordsDetail, WC_EDITW, "",
         // Long lines wrap at the window's width, as they do in the Qt window.
         WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, WS_EX_CLIENTEDGE);
    Make(hwnd_, kRecordsCount, WC_STATICW, "", label);
    Make(hwnd_, kRecordsMore, WC_BUTTONW, MoreCaption(), button);
    Make(hwnd_, kRecordsSummary, WC_STATICW, "", SS_LEFT | SS_NOPREFIX);
    Make(hwnd_, kRecordsCsv, WC_BUTTONW, kExportCsvCaption, button);
    Make(hwnd_, kRecordsJson, WC_BUTTONW, kExportJsonCaption, button);
    for (HWND child = GetWindow(hwnd_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        HFONT font = GetDlgCtrlID(child) == kRecordsDetail ? fixedFont_ : font_;
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    ShowWindow(Child(kRecordsBench), SW_HIDE);  // the whole line's only
    ShowWindow(Child(kRecordsMore), SW_HIDE);
    SendMessageW(Child(kRecordsDetail), EM_SETLIMITTEXT, 0, 0);  // a record's console is long

    for (const auto& [id, cue] : {std::pair{kRecordsSerial, kSerialCue},
                                  {kRecordsSince, kSinceCue},
                                  {kRecordsUntil, kUntilCue},
                                  {kRecordsBench, kBenchCue}}) {
        SendMessageW(Child(id), EM_SETCUEBANNER, TRUE,
                     reinterpret_cast<LPARAM>(Widen(cue).c_str()));
    }
    for (const auto& [id, choices] : {std::pair{kRecordsOperation, OperationChoices()},
                                      std::pair{kRecordsOutcome, OutcomeChoices()}}) {
        for (const std::string& choice : choices) {
            SendMessageW(Child(id), CB_ADDSTRING, 0,
                         reinterpret_cast<LPARAM>(Widen(choice).c_str()));
        }
        SendMessageW(Child(id), CB_SETCURSEL, 0, 0);
    }

    ListView_SetExtendedListViewStyle(rows, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    for (std::size_t column = 0; column < kRecordColumns.size(); ++column) {
        std::wstring heading = Widen(kRecordColumns[column]);
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        c.pszText = heading.data();
        c.cx = S(80);
        c.iSubItem = static_cast<int>(column);
        SendMessageW(rows, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&c));
    }
    FitColumns();

    // Without a line server the checkbox is off and says why: a disabled control takes no
    // mouse, so its tip hangs on the window over the checkbox's place (set by Layout).
    const bool line = WholeLineAvailable(rules_.LineReader());
    EnableWindow(wholeLine, line);
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    std::wstring hint = Widen(WholeLineHint(rules_.LineReader()));  // the tooltip keeps a copy
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_SUBCLASS | (line ? TTF_IDISHWND : 0);
    tool.hwnd = hwnd_;
    tool.uId = line ? reinterpret_cast<UINT_PTR>(wholeLine) : UINT_PTR{kRecordsWholeLine};
    tool.lpszText = hint.data();
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void RecordsWindow::PlaceAtStart(HWND owner) {
    // A little below and right of the main window's corner, inside the work area.
    const RECT frame =
        FrameForClient(S(kClientWidth), S(kClientHeight), GetWindowLongW(hwnd_, GWL_STYLE),
                       GetWindowLongW(hwnd_, GWL_EXSTYLE), false, dpi_);
    RECT corner{};
    GetWindowRect(owner, &corner);
    const RECT wanted{corner.left + S(32), corner.top + S(32),
                      corner.left + S(32) + frame.right - frame.left,
                      corner.top + S(32) + frame.bottom - frame.top};
    MINMAXINFO limits{};
    SendMessageW(hwnd_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    const RECT placed = KeptInside(wanted, WorkAreaNear(wanted),
                                   SIZE{limits.ptMinTrackSize.x, limits.ptMinTrackSize.y});
    SetWindowPos(hwnd_, nullptr, placed.left, placed.top, placed.right - placed.left,
                 placed.bottom - placed.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void RecordsWindow::FitColumns() {
    HWND rows = Child(kRecordsList);
    const int last = static_cast<int>(kRecordColumns.size()) - 1;
    for (int column = 0; column < last; ++column) {
        if (column == kBenchColumn && !benchShown_) {
            SendMessageW(rows, LVM_SETCOLUMNWIDTH, column, 0);
            continue;
        }
        // As wide as the widest cell, and never narrower than the heading.
        SendMessageW(rows, LVM_SETCOLUMNWIDTH, column, LVSCW_AUTOSIZE);
        const int cells = static_cast<int>(SendMessageW(rows, LVM_GETCOLUMNWIDTH, column, 0));
        const int heading = TextWidth(kRecordColumns[static_cast<std::size_t>(column)]) + S(16);
        if (cells < heading) SendMessageW(rows, LVM_SETCOLUMNWIDTH, column, heading);
    }
    FitLastColumn();
}

void RecordsWindow::FitLastColumn() {
    // The last one takes the rest of the width, as a stretched last section does, and no
    // more: a horizontal scroll bar only where the columns before it need one.
    HWND rows = Child(kRecordsList);
    const int last = static_cast<int>(kRecordColumns.size()) - 1;
    RECT client{};
    GetClientRect(rows, &client);
    int rest = client.right;
    for (int column = 0; column < last; ++column)
        rest -= static_cast<int>(SendMessageW(rows, LVM_GETCOLUMNWIDTH, column, 0));
    const int heading = TextWidth(kRecordColumns[static_cast<std::size_t>(last)]) + S(16);
    SendMessageW(rows, LVM_SETCOLUMNWIDTH, last, std::max(rest, heading));
}

void RecordsWindow::Layout() {
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int width = client.right, height = client.bottom;
    const int margin = S(kMargin), gap = S(kGap), row = S(kRowHeight);
    const auto place = [&](int id, int x, int y, int w, int h) {
        MoveWindow(Child(id), x, y, std::max(w, 0), std::max(h, 0), FALSE);
    };

    // The filters, label and field together, wrapped onto a next row when the width ends.
    struct Piece {
        int id, width, height;
    };
    const auto caption = [&](int id) { return TextWidth(TextOf(id)) + S(4); };
    const std::vector<std::vector<Piece>> groups = {
        {{kRecordsSerialLabel, caption(kRecordsSerialLabel), row}, {kRecordsSerial, S(100), row}},
        {{kRecordsOperationLabel, caption(kRecordsOperationLabel), row},
         {kRecordsOperation, S(125), S(200)}},
        {{kRecordsOutcomeLabel, caption(kRecordsOutcomeLabel), row},
         {kRecordsOutcome, S(100), S(200)}},
        {{kRecordsSince, TextWidth(kSinceCue) + S(16), row}},
        {{kRecordsUntil, TextWidth(kSinceCue) + S(16), row}},
        {{kRecordsWholeLine, caption(kRecordsWholeLine) + S(20), row}},
        {{kRecordsBench, S(90), row}},
        {{kRecordsShow, S(70), S(kButtonHeight)}},
    };
    int x = margin, y = margin;
    for (const auto& group : groups) {
        if (!IsWindowVisible(Child(group.front().id))) continue;
        int groupWidth = -gap;
        for (const Piece& piece : group)
            groupWidth += piece.width + gap;
        if (x > margin && x + groupWidth > width - margin) {
            x = margin;
            y += S(kButtonHeight) + gap;
        }
        for (const Piece& piece : group) {
            // Lists are as tall as their open entries; the rest centred on the row.
            const int top = piece.height > S(kButtonHeight)
                                ? y + S(1)
                                : y + (S(kButtonHeight) - piece.height) / 2;
            place(piece.id, x, top, piece.width, piece.height);
            x += piece.width + gap;
        }
    }
    const int filtersBottom = y + S(kButtonHeight) + gap;

    // From the bottom: the summary beside the export buttons, as many lines as it needs.
    const int buttonWidth = S(100), buttonHeight = S(kButtonHeight);
    const int summaryWidth = width - 2 * margin - 2 * (buttonWidth + gap);
    RECT need{0, 0, std::max(summaryWidth, 1), 0};
    {
        const std::wstring summary = Widen(TextOf(kRecordsSummary));
        HDC dc = GetDC(hwnd_);
        HGDIOBJ old = SelectObject(dc, font_);
        DrawTextW(dc, summary.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        SelectObject(dc, old);
        ReleaseDC(hwnd_, dc);
    }
    const int summaryHeight = std::max<int>(buttonHeight, need.bottom);
    const int summaryTop = height - margin - summaryHeight;
    place(kRecordsSummary, margin, summaryTop + std::max<int>(0, (buttonHeight - need.bottom) / 2),
          summaryWidth, summaryHeight);
    place(kRecordsCsv, width - margin - 2 * buttonWidth - gap, summaryTop, buttonWidth,
          buttonHeight);
    place(kRecordsJson, width - margin - buttonWidth, summaryTop, buttonWidth, buttonHeight);

    // Above it the count (or the refusal) and "Show 100 more" right after it.
    const int countTop = summaryTop - gap - buttonHeight;
    const int moreWidth = TextWidth(MoreCaption()) + S(24);
    const int countWidth =
        std::min(TextWidth(TextOf(kRecordsCount)) + S(4), width - 2 * margin - moreWidth - gap);
    place(kRecordsCount, margin, countTop, countWidth, buttonHeight);
    place(kRecordsMore, margin + countWidth + gap, countTop, moreWidth, buttonHeight);

    // The list and the detail share what is left.
    const int shared = countTop - gap - filtersBottom;
    const int listHeight = shared * kListShare / 100;
    place(kRecordsList, margin, filtersBottom, width - 2 * margin, listHeight);
    place(kRecordsDetail, margin, filtersBottom + listHeight + gap, width - 2 * margin,
          shared - listHeight - gap);
    FitLastColumn();

    // Painted once all have moved: a control moved over another's old place shows no trace.
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);

    // The checkbox's tip where the checkbox is, for a disabled one.
    if (!IsWindowEnabled(Child(kRecordsWholeLine))) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = hwnd_;
        tool.uId = kRecordsWholeLine;
        GetWindowRect(Child(kRecordsWholeLine), &tool.rect);
        MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&tool.rect), 2);
        SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

}  // namespace tq9
