#include "ui/win32/ProgramOutputWindow.h"

#include <commctrl.h>

#include "base/Utf16_win.h"
#include "ui/win32/ControlIds.h"
#include "ui/win32/Dpi.h"

namespace tq9 {

using namespace win32;

namespace {
constexpr const wchar_t* kClassName = L"TQ9ProgramOutput";

// LF or CR LF to the CR LF an edit control shows as a line break.
std::wstring EditLines(const std::wstring& text) {
    std::wstring shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) shown += L'\r';
        shown += text[i];
    }
    return shown;
}

std::wstring FromCodePage(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}
}  // namespace

ProgramOutputWindow::ProgramOutputWindow(HWND owner, HFONT font) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &ProgramOutputWindow::WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);  // registered once per process; a second call fails harmlessly

    const UINT dpi = DpiOf(owner);
    const RECT frame = FrameForClient(Scaled(640, dpi), Scaled(360, dpi), WS_OVERLAPPEDWINDOW,
                                      WS_EX_CONTROLPARENT, false, dpi);
    hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"avrdude", WS_OVERLAPPEDWINDOW,
                            CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                            frame.bottom - frame.top, owner, nullptr, GetModuleHandleW(nullptr),
                            nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    output_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE |
                                  ES_READONLY | ES_AUTOVSCROLL,
                              0, 0, 0, 0, hwnd_,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kOutputText)),
                              GetModuleHandleW(nullptr), nullptr);
    SendMessageW(output_, EM_SETLIMITTEXT, 0, 0);
    SendMessageW(output_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    close_ =
        CreateWindowExW(0, WC_BUTTONW, L"Close",
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_DISABLED | BS_DEFPUSHBUTTON, 0, 0,
                        0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kOutputClose)),
                        GetModuleHandleW(nullptr), nullptr);
    SendMessageW(close_, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
    Layout();
}

ProgramOutputWindow::~ProgramOutputWindow() {
    if (hwnd_ && IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void ProgramOutputWindow::Begin(const std::string& commandLine) {
    running_ = true;
    SetWindowTextW(hwnd_, L"avrdude (running)");
    SetWindowTextW(output_, EditLines(Widen(commandLine) + L"\n\n").c_str());
    EnableWindow(close_, FALSE);
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
}

void ProgramOutputWindow::Add(const std::string& text) {
    if (!text.empty()) Append(FromCodePage(text));
}

void ProgramOutputWindow::End(int exitCode) {
    running_ = false;
    SetWindowTextW(hwnd_, L"avrdude (ended)");
    Append(L"\n[ended with exit code " + std::to_wstring(exitCode) + L"]\n");
    EnableWindow(close_, TRUE);
}

void ProgramOutputWindow::Append(const std::wstring& text) {
    const int end = GetWindowTextLengthW(output_);
    SendMessageW(output_, EM_SETSEL, end, end);
    SendMessageW(output_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(EditLines(text).c_str()));
    SendMessageW(output_, EM_SCROLLCARET, 0, 0);
}

bool ProgramOutputWindow::IsDialogKey(MSG& msg) {
    if (!hwnd_ || !(msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd))) return false;
    return IsDialogMessageW(hwnd_, &msg) != FALSE;
}

void ProgramOutputWindow::Layout() {
    RECT client{};
    GetClientRect(hwnd_, &client);
    const UINT dpi = DpiOf(hwnd_);
    const int margin = Scaled(8, dpi), buttonWidth = Scaled(80, dpi),
              buttonHeight = Scaled(25, dpi);
    MoveWindow(output_, margin, margin, client.right - 2 * margin,
               client.bottom - 3 * margin - buttonHeight, TRUE);
    MoveWindow(close_, client.right - margin - buttonWidth, client.bottom - margin - buttonHeight,
               buttonWidth, buttonHeight, TRUE);
}

LRESULT CALLBACK ProgramOutputWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    auto* self = reinterpret_cast<ProgramOutputWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->OnMessage(message, wParam, lParam)
                : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT ProgramOutputWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            Layout();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kOutputClose || LOWORD(wParam) == IDCANCEL ||
                LOWORD(wParam) == IDOK) {
                PostMessageW(hwnd_, WM_CLOSE, 0, 0);
            }
            return 0;
        case WM_CLOSE:
            // The run goes on to its end; its window stays until then, and is kept for the
            // next run.
            if (!running_) ShowWindow(hwnd_, SW_HIDE);
            return 0;
        default:
            return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

}  // namespace tq9
