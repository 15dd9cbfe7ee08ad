#include "ui/win32/DeviceSelectDialog.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "base/Utf16_win.h"
#include "ui/win32/ControlIds.h"
#include "ui/win32/Dpi.h"

namespace tq9 {

using namespace win32;

namespace {
constexpr int kClientWidth = 505, kClientHeight = 217;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

// An empty dialog template; the controls are made at WM_INITDIALOG, in pixels.
std::vector<WORD> EmptyTemplate(const wchar_t* title) {
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
    auto* head = reinterpret_cast<DLGTEMPLATE*>(words.data());
    head->style = kStyle;
    head->cx = 100;
    head->cy = 50;
    words.push_back(0);  // no menu
    words.push_back(0);  // the dialog class
    for (const wchar_t* c = title; *c; ++c)
        words.push_back(static_cast<WORD>(*c));
    words.push_back(0);
    return words;
}

HFONT Font(const wchar_t* face, int points, int weight, UINT dpi) {
    return CreateFontW(-MulDiv(points, static_cast<int>(dpi), 72), 0, 0, 0, weight, FALSE, FALSE,
                       FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, face);
}
}  // namespace

Tdeviceselectbox::Tdeviceselectbox(HWND owner) : owner_(owner) {
    const std::vector<WORD> dialog = EmptyTemplate(L"Select USB Device");
    hwnd_ = CreateDialogIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(dialog.data()), owner,
        &Tdeviceselectbox::DialogProc, reinterpret_cast<LPARAM>(this));
}

Tdeviceselectbox::~Tdeviceselectbox() {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
    for (HFONT font : {dialogFont_, labelFont_, listFont_}) {
        if (font) DeleteObject(font);
    }
}

INT_PTR CALLBACK Tdeviceselectbox::DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        auto* self = reinterpret_cast<Tdeviceselectbox*>(lParam);
        self->hwnd_ = hwnd;
        self->CreateControls();
        return FALSE;  // the focus is set when shown
    }
    auto* self = reinterpret_cast<Tdeviceselectbox*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return self ? self->OnMessage(message, wParam, lParam) : FALSE;
}

void Tdeviceselectbox::CreateControls() {
    const UINT dpi = DpiOf(hwnd_);
    const auto s = [dpi](int pixels) { return Scaled(pixels, dpi); };
    dialogFont_ = Font(L"MS Sans Serif", 8, FW_NORMAL, dpi);
    labelFont_ = Font(L"Arial", 10, FW_NORMAL, dpi);
    listFont_ = Font(L"MS Sans Serif", 8, FW_BOLD, dpi);
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont_), FALSE);

    const auto make = [&](DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style,
                          int id, int x, int y, int width, int height, HFONT font) {
        HWND control =
            CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, s(x), s(y), s(width),
                            s(height), hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            GetModuleHandleW(nullptr), nullptr);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return control;
    };
    // Creation order is the Tab order: OK, the list, Cancel.
    HWND label = make(0, WC_STATICW, L"Select FTDI Cable or  FT232R device:", SS_LEFT | SS_NOPREFIX,
                      kDialogLabel1, 24, 16, 217, 16, labelFont_);
    // Sized to its text: a face with wider letters than Arial must not cut it off.
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, labelFont_);
    SIZE text{};
    GetTextExtentPoint32W(dc, L"Select FTDI Cable or  FT232R device:", 36, &text);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    if (text.cx + 2 > s(217)) {
        SetWindowPos(label, nullptr, 0, 0, text.cx + 2, std::max<int>(s(16), text.cy),
                     SWP_NOMOVE | SWP_NOZORDER);
    }
    make(0, WC_BUTTONW, L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, kOKButton, 407, 182, 65, 23,
         dialogFont_);
    list_ = make(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                 WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                 kListView1, 18, 40, 463, 129, listFont_);
    make(0, WC_BUTTONW, L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, kCancelButton, 327, 180, 65, 25,
         dialogFont_);
    ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT);
    const struct {
        const wchar_t* caption;
        int width;
    } columns[] = {{L"USB Device", 100}, {L"FTDI Serial", 100}, {L"Description", 250}};
    int index = 0;
    for (const auto& column : columns) {
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        c.pszText = const_cast<wchar_t*>(column.caption);
        c.cx = s(column.width);
        c.iSubItem = index;
        SendMessageW(list_, LVM_INSERTCOLUMNW, index++, reinterpret_cast<LPARAM>(&c));
    }
    SendMessageW(hwnd_, DM_SETDEFID, kOKButton, 0);

    // Client area 505 x 217, centred on the screen.
    const RECT frame = FrameForClient(s(kClientWidth), s(kClientHeight), kStyle, 0, false, dpi);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    RECT owner{};
    GetWindowRect(owner_ ? owner_ : GetDesktopWindow(), &owner);
    const RECT area = WorkAreaNear(owner);
    SetWindowPos(hwnd_, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void Tdeviceselectbox::ClearRows() {
    SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
}

void Tdeviceselectbox::AddRow(const std::string& caption, const std::string& serial,
                              const std::string& description) {
    // Serial numbers and descriptions are the driver's 8-bit text, ASCII in practice.
    const int row = static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
    std::wstring texts[] = {Widen(caption), Widen(serial), Widen(description)};
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = texts[0].data();
    SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    for (int sub = 1; sub < 3; ++sub) {
        item.iSubItem = sub;
        item.pszText = texts[sub].data();
        SendMessageW(list_, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    }
}

void Tdeviceselectbox::SelectRow(int row) {
    ListView_SetItemState(list_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (row >= 0 && row < ListView_GetItemCount(list_)) {
        ListView_SetItemState(list_, row, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
    }
}

int Tdeviceselectbox::SelectedRow() const {
    return static_cast<int>(
        SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

int Tdeviceselectbox::ShowModal() {
    result_ = 0;
    if (owner_) EnableWindow(owner_, FALSE);
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    // The arrows choose a row at once and Enter confirms it (OK is the default button).
    SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list_), TRUE);
    MSG msg{};
    while (result_ == 0) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // for the main loop
            result_ = mrCancel;
            break;
        }
        if (!IsDialogMessageW(hwnd_, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // The owner is enabled first, so it is the one that becomes active again.
    if (owner_) EnableWindow(owner_, TRUE);
    ShowWindow(hwnd_, SW_HIDE);
    if (owner_) SetActiveWindow(owner_);
    return result_ == mrOk ? mrOk : mrCancel;
}

void Tdeviceselectbox::SetResult(int result) {
    result_ = result;
}

void Tdeviceselectbox::OKButtonClick() {
    SetResult(mrCancel);
    if (SelectedRow() >= 0) SetResult(mrOk);
}

void Tdeviceselectbox::CancelButtonClick() {
    SetResult(mrCancel);
}

void Tdeviceselectbox::ListView1DblClick() {
    OKButtonClick();
}

INT_PTR Tdeviceselectbox::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kOKButton:
                    OKButtonClick();
                    return TRUE;
                case kCancelButton:
                    CancelButtonClick();
                    return TRUE;
                case IDCANCEL:
                    return TRUE;  // Esc: no key is bound to Cancel
                default:
                    return FALSE;
            }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == kListView1 && header->code == NM_DBLCLK) {
                ListView1DblClick();
                return TRUE;
            }
            return FALSE;
        }
        case WM_CLOSE:
            CancelButtonClick();  // the close box
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace tq9
