// The main window's life and events: each control's event goes to one member of the
// shared rules; the keys and the wheel over the lists are answered as those rules say.

#include "ui/win32/MainWindow.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "base/Utf16_win.h"
#include "ui/win32/ControlIds.h"
#include "ui/win32/DeviceSelectDialog.h"
#include "ui/win32/Dpi.h"
#include "ui/win32/KeptFocus.h"
#include "ui/win32/ProgramOutputWindow.h"
#include "ui/win32/RecordsWindow.h"

namespace tq9 {

using namespace win32;

namespace {
constexpr const wchar_t* kClassName = L"TQ9Form1";
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT_PTR kNoticeTimer = 2;
constexpr UINT kNoticeMs = 4000;
// The operator picked a test port; run once the list has closed.
constexpr UINT kTestPortPicked = WM_APP + 1;

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

void RegisterWindowClass(WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);  // a second window in the same process finds it registered
}
}  // namespace

TForm1::TForm1(Setup setup) : ctx_(*this) {
    INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES |
                                                   ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES |
                                                   ICC_TAB_CLASSES};
    InitCommonControlsEx(&common);
    RegisterWindowClass(&TForm1::WindowProc);

    HMENU menu = CreateMenu();
    HMENU records = CreatePopupMenu();
    AppendMenuW(records, MF_STRING, kRecordsMenuItem, L"Board &records...");
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(records), L"&Records");

    hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"TQ9.5 Dizavavov",
                            WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, nullptr, menu, GetModuleHandleW(nullptr), nullptr);
    // Messages before this one (the creation's) get the default handling.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    dpi_ = DpiOf(hwnd_);
    CreateFonts();
    windowBrush_ = GetSysColorBrush(COLOR_WINDOW);
    CreateControls();
    SetWindowSubclass(Child(kBtnCancel), &TForm1::CancelButtonProc, 0,
                      reinterpret_cast<DWORD_PTR>(this));
    PlaceAtStart();
    Layout();

    ApplyWindowSetup(ctx_, setup, systemRunner_);

    rules_.Start(setup.programDirectory, setup.startupWarnings);
    SetTimer(hwnd_, kTimer1, 10, nullptr);
    lastFocus_ = Child(kBtnRescan);  // Enter or Space starts the device flow at once
}

TForm1::~TForm1() {
    rules_.Shutdown();
    outputWindow_.reset();
    recordsWindow_.reset();
    if (hwnd_ && IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    for (HFONT font : {font_, boldFont_, consoleFont_}) {
        if (font) DeleteObject(font);
    }
    if (ledBrush_) DeleteObject(ledBrush_);
}

void TForm1::Show(int showCommand) {
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
    SetFocus(lastFocus_);
}

int TForm1::RunMessageLoop() {
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        Dispatch(msg);
    return msg.message == WM_QUIT ? static_cast<int>(msg.wParam) : 0;
}

void TForm1::Dispatch(MSG& msg) {
    if (PreTranslate(msg)) return;
    if (outputWindow_ && outputWindow_->IsDialogKey(msg)) return;
    if (recordsWindow_ && recordsWindow_->IsDialogKey(msg)) return;
    if (hwnd_ && (msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd)) && IsDialogMessageW(hwnd_, &msg)) {
        // Tab (or an arrow) may have moved the focus out of the column's view.
        if (msg.message == WM_KEYDOWN) ShowFocusInColumn();
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

bool TForm1::IsList(HWND window) const {
    return ListOf(window) != nullptr;
}

// The firmware or test-port list `window` belongs to (the list itself, its field or its
// entries), or null.
HWND TForm1::ListOf(HWND window) const {
    for (int id : {kdd_FirmwareType, kComboBox1}) {
        HWND list = Child(id);
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        GetComboBoxInfo(list, &info);
        if (window == list || (window && (window == info.hwndList || window == info.hwndItem)))
            return list;
    }
    return nullptr;
}

bool TForm1::ListDropped() const {
    for (int id : {kdd_FirmwareType, kComboBox1}) {
        if (SendMessageW(Child(id), CB_GETDROPPEDSTATE, 0, 0)) return true;
    }
    return false;
}

bool TForm1::PreTranslate(MSG& msg) {
    if (!hwnd_ || !(msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd) || ListOf(msg.hwnd)))
        return false;
    if (msg.message == WM_MOUSEWHEEL) {
        HWND list = ListOf(msg.hwnd);
        if (list && SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0)) {
            // The list's own wheel steps its selection, as the arrows do.
            switch (WheelTurned(InputPlace::OpenList)) {
                case InputResponse::AsTheControlDoes:
                    return false;
                case InputResponse::ScrollEntries:
                    ScrollEntries(list, GET_WHEEL_DELTA_WPARAM(msg.wParam));
                    return true;
                default:
                    return true;
            }
        }
        // Over the column (a closed list in it included) the wheel scrolls the column, where
        // it scrolls; a closed list never turns.
        const POINT at{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
        const bool overColumn = OverColumn(at);
        if (!overColumn && !list) return false;
        if (overColumn &&
            (!list || WheelTurned(InputPlace::ClosedList) == InputResponse::ScrollColumn)) {
            ScrollColumnTo(columnTop_ -
                           GET_WHEEL_DELTA_WPARAM(msg.wParam) * ColumnWheelStep() / WHEEL_DELTA);
        }
        return true;
    }
    // A character on a list finds the next entry it begins (Ctrl's and Alt's come otherwise).
    if (msg.message == WM_CHAR) return msg.wParam >= L' ' && OpenedForAKey(msg.hwnd);
    if (msg.message != WM_KEYDOWN) return false;
    const bool plain = GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_MENU) >= 0;
    switch (msg.wParam) {
        case VK_ESCAPE:
            if (!plain) return false;
            switch (EscapePressed(ListDropped() ? InputPlace::OpenList : InputPlace::Elsewhere)) {
                case InputResponse::Cancel:
                    rules_.BtnCancelClick();
                    return true;
                default:
                    return false;  // the open list closes itself, unchanged
            }
        case VK_RETURN: {
            // Enter presses the button that has the keyboard (the key's window), as Space does.
            HWND button = msg.hwnd;
            if (GetParent(button) != hwnd_ || !IsWindowEnabled(button)) return false;
            wchar_t cls[16]{};
            GetClassNameW(button, cls, 16);
            if (lstrcmpiW(cls, WC_BUTTONW) != 0) return false;
            Command(GetDlgCtrlID(button), BN_CLICKED, button);
            return true;
        }
        case VK_TAB:
            if (msg.hwnd != Child(kMemo1) || !plain) return false;
            // The console takes no TAB; Tab goes on to the next control.
            SetFocus(GetNextDlgTabItem(hwnd_, Child(kMemo1), GetKeyState(VK_SHIFT) < 0));
            return true;
        case VK_UP:
        case VK_DOWN:
        case VK_PRIOR:
        case VK_NEXT:
        case VK_HOME:
        case VK_END:
            return plain && OpenedForAKey(msg.hwnd);
        default:
            return false;
    }
}

void TForm1::ScrollEntries(HWND list, int wheelDelta) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (!GetComboBoxInfo(list, &info) || !info.hwndList) return;
    UINT lines = 3;
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    const LRESULT top = SendMessageW(info.hwndList, LB_GETTOPINDEX, 0, 0);
    const LRESULT moved = -static_cast<LRESULT>(wheelDelta) * lines / WHEEL_DELTA;
    SendMessageW(info.hwndList, LB_SETTOPINDEX,
                 static_cast<WPARAM>(std::max<LRESULT>(0, top + moved)), 0);
}

void TForm1::ListNotified(HWND list, int code) {
    switch (code) {
        case CBN_DROPDOWN:
            entryWhenOpened_[list] = SendMessageW(list, CB_GETCURSEL, 0, 0);
            break;
        case CBN_SELENDCANCEL: {
            // The keys moved the selection while it was open; closed unpicked, it goes back.
            const auto opened = entryWhenOpened_.find(list);
            if (opened != entryWhenOpened_.end() &&
                ListClosedWithoutPick() == InputResponse::CloseListOnly)
                SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(opened->second), 0);
            break;
        }
        case CBN_CLOSEUP:
            entryWhenOpened_.erase(list);
            break;
        default:
            break;
    }
}

bool TForm1::OpenedForAKey(HWND window) {
    HWND list = ListOf(window);
    if (!list) return false;
    const bool open = SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0) != 0;
    if (ListKeyPressed(open ? InputPlace::OpenList : InputPlace::ClosedList) !=
        InputResponse::OpenTheList)
        return false;
    SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
    return true;
}

LRESULT CALLBACK TForm1::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TForm1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->OnMessage(message, wParam, lParam);
}

// Cancel is pressed like any button but never takes the focus from where the operator is.
LRESULT CALLBACK TForm1::CancelButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR self) {
    auto* form = reinterpret_cast<TForm1*>(self);
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            SetCapture(hwnd);
            SendMessageW(hwnd, BM_SETSTATE, TRUE, 0);
            return 0;
        case WM_LBUTTONUP: {
            if (GetCapture() != hwnd) return 0;
            ReleaseCapture();
            SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
            RECT rect{};
            GetClientRect(hwnd, &rect);
            const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (PtInRect(&rect, at)) form->Command(kBtnCancel, BN_CLICKED, hwnd);
            return 0;
        }
        case WM_CAPTURECHANGED:
            SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
            return 0;
        case BM_CLICK:
            form->Command(kBtnCancel, BN_CLICKED, hwnd);
            return 0;
        case WM_SETFOCUS:
            // Given the focus some other way: hand it back.
            if (wParam && IsWindow(reinterpret_cast<HWND>(wParam)))
                SetFocus(reinterpret_cast<HWND>(wParam));
            return 0;
        default:
            return DefSubclassProc(hwnd, message, wParam, lParam);
    }
}

LRESULT TForm1::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            Command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_TIMER:
            if (wParam == kTimer1) {
                rules_.Timer1Timer();
            } else if (wParam == kNoticeTimer) {
                KillTimer(hwnd_, kNoticeTimer);
                ShowStatusText(hintShown_);
            }
            return 0;
        case WM_DRAWITEM:
            DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_CTLCOLOREDIT:
            return ControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam),
                                 true);
        case WM_CTLCOLORSTATIC:
            return ControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam),
                                 false);
        case WM_CTLCOLORLISTBOX:
            if (ListOf(reinterpret_cast<HWND>(lParam)) == Child(kComboBox1)) {
                SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 255));
                SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(windowBrush_);
            }
            break;
        case WM_SETCURSOR:
        case WM_MOUSEMOVE:
            ShowHintAtCursor();
            break;
        case WM_SIZE:
            Layout();
            return 0;
        case WM_VSCROLL:
            if (reinterpret_cast<HWND>(lParam) == Child(kColumnScroll)) {
                ScrollColumnOn(LOWORD(wParam));
                return 0;
            }
            break;
        case WM_GETMINMAXINFO: {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            const SIZE minimum = MinimumFrame();
            limits->ptMinTrackSize = POINT{minimum.cx, minimum.cy};
            return 0;
        }
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wParam);
            CreateFonts();
            ApplyFonts();
            MoveToSuggested(hwnd_, lParam);
            Layout();
            return 0;
        }
        case WM_ACTIVATE:
            if (KeepFocus(hwnd_, wParam, lastFocus_)) return 0;
            break;
        case WM_SETFOCUS:
            if (lastFocus_ && IsWindow(lastFocus_) && IsWindowVisible(lastFocus_))
                SetFocus(lastFocus_);
            return 0;
        case kTestPortPicked:
            testPortPickPending_ = false;
            rules_.ComboBox1Change(static_cast<int>(wParam));
            return 0;
        case WM_CLOSE:
            if (rules_.CloseRequested()) {
                KillTimer(hwnd_, kTimer1);
                DestroyWindow(hwnd_);
            }
            return 0;
        case WM_DESTROY:
            KillTimer(hwnd_, kTimer1);
            rules_.Shutdown();
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            hwnd_ = nullptr;
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void TForm1::Command(int id, int code, HWND control) {
    if (IsList(control)) ListNotified(control, code);
    switch (id) {
        case kBtnRescan:
            if (code == BN_CLICKED) rules_.BtnRescanClick();
            break;
        case kBtnClose:
            if (code == BN_CLICKED) rules_.BtnCloseClick();
            break;
        case kBtnCancel:
            if (code == BN_CLICKED) rules_.BtnCancelClick();
            break;
        case kBtnRefresh:
            if (code == BN_CLICKED) rules_.BtnRefreshClick();
            break;
        case kBtnFPGAprog:
            if (code == BN_CLICKED) rules_.BtnFPGAprogClick();
            break;
        case kBtnFinalize:
            if (code == BN_CLICKED) rules_.BtnFinalizeClick();
            break;
        case kButtonUpStream:
            if (code == BN_CLICKED) rules_.ButtonUpStreamClick();
            break;
        case kProdProg:
            if (code == BN_CLICKED) rules_.ProdProgClick();
            break;
        case kBtnAVRonly:
            if (code == BN_CLICKED) rules_.BtnAVRonlyClick();
            break;
        case kEditSerialNumber:
            // Only the operator's typing; a text the program sets runs nothing.
            if (code == EN_CHANGE && !settingText_) rules_.EditSerialNumberChange();
            break;
        case kComboBox1:
            // The operator's pick: an entry chosen in the open list, or a key that chose one in
            // the closed list. Run once the list is done with the mouse and the keyboard.
            if ((code == CBN_SELENDOK ||
                 (code == CBN_SELCHANGE && !SendMessageW(control, CB_GETDROPPEDSTATE, 0, 0))) &&
                !testPortPickPending_) {
                testPortPickPending_ = true;
                PostMessageW(hwnd_, kTestPortPicked,
                             static_cast<WPARAM>(SendMessageW(control, CB_GETCURSEL, 0, 0)), 0);
            }
            break;
        case kRecordsMenuItem:
            ShowRecordsMenu();
            break;
        default:
            break;
    }
}

void TForm1::DrawButton(const DRAWITEMSTRUCT& item) {
    RECT rect = item.rcItem;
    const bool pressed = item.itemState & ODS_SELECTED;
    DrawFrameControl(item.hDC, &rect, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    const std::wstring text = WindowText(item.hwndItem);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(item.hDC, font ? font : font_);
    SetBkMode(item.hDC, TRANSPARENT);
    RECT textRect = rect;
    if (pressed) OffsetRect(&textRect, 1, 1);
    if (item.itemState & ODS_DISABLED) {
        // Embossed grey, as the system draws a disabled button.
        OffsetRect(&textRect, 1, 1);
        SetTextColor(item.hDC, GetSysColor(COLOR_3DHILIGHT));
        DrawTextW(item.hDC, text.c_str(), -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        OffsetRect(&textRect, -1, -1);
        SetTextColor(item.hDC, GetSysColor(COLOR_GRAYTEXT));
    } else {
        const auto colour = textColours_.find(GetDlgCtrlID(item.hwndItem));
        SetTextColor(item.hDC,
                     colour != textColours_.end() ? colour->second : GetSysColor(COLOR_BTNTEXT));
    }
    DrawTextW(item.hDC, text.c_str(), -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(item.hDC, old);
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
        InflateRect(&rect, -4, -4);
        DrawFocusRect(item.hDC, &rect);
    }
}

LRESULT TForm1::ControlColour(HDC dc, HWND control, bool editable) {
    const int id = GetDlgCtrlID(control);
    if (id == kLEDbusy) {
        if (!ledBrush_) ledBrush_ = CreateSolidBrush(RGB(ledColour_.r, ledColour_.g, ledColour_.b));
        return reinterpret_cast<LRESULT>(ledBrush_);
    }
    const auto colour = textColours_.find(id);
    if (colour != textColours_.end() && IsWindowEnabled(control)) {
        SetTextColor(dc, colour->second);
    }
    wchar_t cls[16]{};
    GetClassNameW(control, cls, 16);
    const bool isEdit = lstrcmpiW(cls, WC_EDITW) == 0;
    if (editable || (isEdit && id != kDeviceView) || ListOf(control)) {
        // Read-only fields keep the white of a field: they are displays, not disabled.
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(windowBrush_);
    }
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void TForm1::ShowHintAtCursor() {
    // The control under the pointer by place, so a disabled control or a label (which take
    // no mouse input) shows its hint as well; the smallest one wins over its frame.
    POINT at{};
    GetCursorPos(&at);
    HWND under = WindowFromPoint(at);
    const bool inWindow = under == hwnd_ || IsChild(hwnd_, under);
    ScreenToClient(hwnd_, &at);
    std::string hint;
    long smallest = -1;
    for (HWND child = GetWindow(hwnd_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!inWindow || child == status_ || !IsWindowVisible(child)) continue;
        RECT rect{};
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&rect), 2);
        if (!PtInRect(&rect, at)) continue;
        const long area = (rect.right - rect.left) * (rect.bottom - rect.top);
        if (smallest >= 0 && area >= smallest) continue;
        smallest = area;
        const auto found = hints_.find(GetDlgCtrlID(child));
        hint = found != hints_.end() ? found->second : std::string();
    }
    if (hint == hintShown_) return;
    hintShown_ = hint;
    KillTimer(hwnd_, kNoticeTimer);
    ShowStatusText(hint);
}

void TForm1::ShowStatusText(const std::string& text) {
    SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
}

void TForm1::ShowRecordsMenu() {
    if (const std::string why = rules_.RecordsUnavailable(); !why.empty()) {
        MessageBoxW(hwnd_, Widen(why).c_str(), Widen(kRecordsTitle).c_str(),
                    MB_OK | MB_ICONINFORMATION);
        return;
    }
    // One at a time: the menu brings the open one to the front, read again.
    if (!recordsWindow_) {
        recordsWindow_ =
            std::make_unique<RecordsWindow>(hwnd_, *ctx_.Records.store, ctx_.Records.lineReader);
    }
    recordsWindow_->Present();
}

void TForm1::ShowStatusNotice(const std::string& text) {
    ShowStatusText(text);
    SetTimer(hwnd_, kNoticeTimer, kNoticeMs, nullptr);  // then the hint under the pointer again
}

void TForm1::ShowErrorBox(const std::string& text) {
    MessageBoxW(hwnd_, Widen(text).c_str(), Widen(kApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
}

void TForm1::CloseLater() {
    PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void TForm1::ShowLineStatus(const std::string& text) {
    if (text == lineStatus_) return;
    lineStatus_ = text;
    Layout();
}

void TForm1::FocusDeviceButton() {
    HWND device = IsWindowVisible(Child(kBtnRescan)) || !IsWindowVisible(Child(kBtnClose))
                      ? Child(kBtnRescan)
                      : Child(kBtnClose);
    lastFocus_ = device;
    if (GetActiveWindow() == hwnd_) SetFocus(device);
    ScrollColumnTo(0);
}

void TForm1::ShowTestPort(int index) {
    SendMessageW(Child(kComboBox1), CB_SETCURSEL, static_cast<WPARAM>(index), 0);  // no pick
}

}  // namespace tq9
