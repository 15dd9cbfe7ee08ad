// The main window as the Host of the operations: time, message handling, sound, dialogs
// and the displays.

#include "ui/win32/MainWindow.h"

#include <commctrl.h>
#include <commdlg.h>
#include <mmsystem.h>

#include <algorithm>

#include "base/Utf16_win.h"
#include "ui/win32/ControlIds.h"
#include "ui/win32/DeviceSelectDialog.h"
#include "ui/win32/ProgramOutputWindow.h"

namespace tq9 {

using namespace win32;

namespace {
// A CR (alone or before LF) or a LF is a line break on screen; an edit control wants CR LF.
std::wstring Shown(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            shown += "\r\n";
        } else {
            shown += text[i];
        }
    }
    return Widen(shown);
}

// Reply lines keep their closing CR in the console; the pane shows the line without it.
std::string ConsoleShown(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::string TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

std::string ListText(HWND list) {
    const LRESULT index = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(SendMessageW(list, CB_GETLBTEXTLEN, index, 0)) + 1,
                      L'\0');
    const LRESULT n =
        SendMessageW(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return Narrow(text);
}
}  // namespace

void TForm1::Sleep(std::uint32_t ms) {
    ::Sleep(ms);
}

void TForm1::SleepUs(std::uint32_t us) {
    // Whole milliseconds asleep while more than two are left, the rest by the counter.
    const std::uint64_t until = MicroTicks() + us;
    for (std::uint64_t now = MicroTicks(); now < until; now = MicroTicks()) {
        if (until - now > 2000) {
            ::Sleep(1);
        } else {
            YieldProcessor();
        }
    }
}

void TForm1::ProcessMessages() {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The loop that waits for it sees it again.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        Dispatch(msg);
    }
}

void TForm1::ProcessOutputMessages() {
    // Paint, timers, posted and sent messages; the operator's keys and clicks stay queued.
    MSG msg{};
    const UINT only = PM_QS_PAINT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | only)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        Dispatch(msg);  // a posted key or click goes where the window's own keys go
    }
}

void TForm1::WaitForMessage(std::uint32_t limitMs) {
    MsgWaitForMultipleObjectsEx(0, nullptr, limitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void TForm1::PlaySoundFile(const std::string& fileName) {
    // Looked for beside the program; a missing file or sound device changes nothing else.
    const std::wstring path = Widen(ctx_.ProgramDirectory + fileName);
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    PlaySoundW(path.c_str(), nullptr, SND_ASYNC | SND_FILENAME | SND_NODEFAULT);
}

void TForm1::ShowBusyLed(Rgb colour) {
    if (colour == ledColour_ && ledBrush_) return;  // the timer darkens it every tick
    ledColour_ = colour;
    if (ledBrush_) DeleteObject(ledBrush_);
    ledBrush_ = CreateSolidBrush(RGB(colour.r, colour.g, colour.b));
    InvalidateRect(Child(kLEDbusy), nullptr, TRUE);
}

void TForm1::ConsoleLineAdded(const std::string& line) {
    HWND memo = Child(kMemo1);
    const std::wstring added = (consoleHasLines_ ? L"\r\n" : L"") + Shown(ConsoleShown(line));
    consoleHasLines_ = true;
    const int end = GetWindowTextLengthW(memo);
    SendMessageW(memo, EM_SETSEL, end, end);
    SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(added.c_str()));
    SendMessageW(memo, EM_SCROLLCARET, 0, 0);
}

void TForm1::ConsoleReplaced(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += (i ? "\r\n" : "") + ConsoleShown(lines[i]);
    consoleHasLines_ = !lines.empty();
    SetWindowTextW(Child(kMemo1), Shown(text).c_str());
}

HWND TForm1::FieldWindow(Field field) const {
    switch (field) {
        case Field::DeviceView:
            return Child(kDeviceView);
        case Field::EditSerialNumber:
            return Child(kEditSerialNumber);
        case Field::FPGAversion:
            return Child(kFPGAversion);
        case Field::EditFirmwareVersion:
            return Child(kEditFirmwareVersion);
        case Field::EditFTDIdevice:
            return Child(kEditFTDIdevice);
        case Field::EditFTDIcom:
            return Child(kEditFTDIcom);
        case Field::EditDiamex:
            return Child(kEditDiamex);
        case Field::EditCoreNumber:
            return Child(kEditCoreNumber);
        case Field::dd_FirmwareType:
            return Child(kdd_FirmwareType);
    }
    return nullptr;
}

void TForm1::SetFieldText(Field field, const std::string& text) {
    if (field == Field::dd_FirmwareType) return;  // a list: read only
    settingText_ = true;
    SetWindowTextW(FieldWindow(field), Widen(text).c_str());
    settingText_ = false;
}

std::string TForm1::FieldText(Field field) {
    if (field == Field::dd_FirmwareType) return ListText(Child(kdd_FirmwareType));
    return TextOf(FieldWindow(field));
}

void TForm1::SelectScanCore(int index) {
    HWND list = Child(kComboBoxScanDetected);
    const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
    SendMessageW(list, CB_SETCURSEL, index >= 0 && index < count ? index : -1, 0);
}

std::string TForm1::ScanCoreText() {
    return ListText(Child(kComboBoxScanDetected));
}

HWND TForm1::ControlWindow(Control control) const {
    switch (control) {
        case Control::BtnRescan:
            return Child(kBtnRescan);
        case Control::BtnClose:
            return Child(kBtnClose);
        case Control::BtnRefresh:
            return Child(kBtnRefresh);
        case Control::BtnFPGAprog:
            return Child(kBtnFPGAprog);
        case Control::BtnFinalize:
            return Child(kBtnFinalize);
        case Control::ProdProg:
            return Child(kProdProg);
        case Control::BtnAVRonly:
            return Child(kBtnAVRonly);
        case Control::dd_FirmwareType:
            return Child(kdd_FirmwareType);
    }
    return nullptr;
}

void TForm1::SetControlEnabled(Control control, bool enabled) {
    EnableWindow(ControlWindow(control), enabled);
}

void TForm1::SetControlVisible(Control control, bool visible) {
    HWND window = ControlWindow(control);
    const bool hadFocus = GetFocus() == window || lastFocus_ == window;
    ShowWindow(window, visible ? SW_SHOW : SW_HIDE);
    // Device and Close swap places: the focus goes with the place, not to nowhere.
    const bool deviceBar = control == Control::BtnRescan || control == Control::BtnClose;
    if (!deviceBar) return;
    ShowHintAtCursor();  // the pointer may now be over the other button
    if (!visible && hadFocus) {
        HWND other = Child(control == Control::BtnRescan ? kBtnClose : kBtnRescan);
        if (IsWindowVisible(other)) {
            lastFocus_ = other;
            if (GetActiveWindow() == hwnd_) SetFocus(other);
        } else {
            focusDeviceWhenShown_ = true;
        }
    } else if (visible && focusDeviceWhenShown_) {
        focusDeviceWhenShown_ = false;
        lastFocus_ = window;
        if (GetActiveWindow() == hwnd_) SetFocus(window);
    }
}

void TForm1::ShowMessage(MessageKind kind, const std::string& text) {
    UINT icon = MB_ICONINFORMATION;
    const wchar_t* title = L"Information";
    if (kind == MessageKind::Warning) {
        icon = MB_ICONWARNING;
        title = L"Warning";
    } else if (kind == MessageKind::Error) {
        icon = MB_ICONERROR;
        title = L"Error";
    }
    MessageBoxW(hwnd_, Shown(text).c_str(), title, MB_OK | icon);
}

void TForm1::DeviceDialogClear() {
    if (deviceselectbox_) deviceselectbox_->ClearRows();
}

void TForm1::DeviceDialogAddRow(const std::string& caption, const std::string& serial,
                                const std::string& description) {
    if (deviceselectbox_) deviceselectbox_->AddRow(caption, serial, description);
}

void TForm1::DeviceDialogSelectRow(int row) {
    if (deviceselectbox_) deviceselectbox_->SelectRow(row);
}

bool TForm1::DeviceDialogShow(int& row) {
    return ShowDeviceDialog(deviceselectbox_, row);
}

bool TForm1::OpenFileDialog(const FileDialogSettings& settings, std::string& fileName) {
    // "Description (pattern)\0pattern\0 ... \0\0"
    std::wstring filters;
    for (const auto& filter : settings.filters) {
        filters += Widen(filter.description + " (" + filter.pattern + ")");
        filters.push_back(L'\0');
        filters += Widen(filter.pattern);
        filters.push_back(L'\0');
    }
    filters.push_back(L'\0');
    // "*.DAT" names the extension "DAT".
    std::string extension = settings.defaultExtension;
    extension.erase(0, extension.find_first_not_of("*."));
    const std::wstring title = Widen(settings.title), defaultExtension = Widen(extension);
    std::wstring directory = Widen(settings.initialDirectory);
    std::replace(directory.begin(), directory.end(), L'/', L'\\');
    std::wstring chosen(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFilter = filters.c_str();
    dialog.nFilterIndex = static_cast<DWORD>(std::max(settings.filterIndex, 1));
    dialog.lpstrFile = chosen.data();
    dialog.nMaxFile = static_cast<DWORD>(chosen.size());
    dialog.lpstrInitialDir = directory.empty() ? nullptr : directory.c_str();
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
    // Bare names resolve against the current directory: the dialog leaves it as it was.
    dialog.Flags =
        OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!GetOpenFileNameW(&dialog)) return false;
    chosen.resize(wcslen(chosen.c_str()));
    fileName = Narrow(chosen);
    return true;
}

void TForm1::SetProgressMax(int maximum) {
    progressMax_ = std::max(maximum, 1);
    progressPixel_ = -1;
    SendMessageW(Child(kProgressBar1), PBM_SETRANGE32, 0, progressMax_);
}

void TForm1::SetProgressPosition(int position) {
    // The upload sets it before every word, 1 ms apart, and a bar that moves costs a trip
    // to the window server (half a millisecond under wine): only a position that shows is
    // sent, and the ends always.
    RECT bar{};
    GetClientRect(Child(kProgressBar1), &bar);
    const long long pixel =
        static_cast<long long>(position) * std::max<LONG>(bar.right, 1) / progressMax_;
    if (pixel == progressPixel_ && position != 0 && position < progressMax_) return;
    progressPixel_ = pixel;
    SendMessageW(Child(kProgressBar1), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void TForm1::ProgramOutputStart(const std::string& commandLine) {
    if (!outputWindow_) outputWindow_ = std::make_unique<ProgramOutputWindow>(hwnd_, consoleFont_);
    outputWindow_->Begin(commandLine);
}

void TForm1::ProgramOutputAdd(const std::string& text) {
    if (outputWindow_) outputWindow_->Add(text);
}

void TForm1::ProgramOutputEnd(int exitCode) {
    if (outputWindow_) outputWindow_->End(exitCode);
}

}  // namespace tq9
