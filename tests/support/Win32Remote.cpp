#include "support/Win32Remote.h"

#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "base/Utf16_win.h"
#include "ui/win32/ControlIds.h"

namespace tq9::test {

namespace fs = std::filesystem;
using namespace win32;

namespace {
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
}  // namespace

bool WaitUntil(const std::function<bool()>& done, DWORD limitMs) {
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

DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

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

int RowCount(HWND list) {
    return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

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

HWND WindowOf(DWORD pid, const wchar_t* caption) {
    for (HWND w = FindWindowW(nullptr, caption); w; w = FindWindowExW(nullptr, w, nullptr, caption))
        if (ProcessOf(w) == pid && IsWindowVisible(w)) return w;
    return nullptr;
}

HWND MessageBoxOf(DWORD pid) {
    for (HWND box = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); box;
         box = FindWindowExW(nullptr, box, L"#32770", nullptr)) {
        const std::string title = Text(box);
        if (ProcessOf(box) == pid && IsWindowVisible(box) &&
            (title == "Information" || title == "Warning" || title == "Error"))
            return box;
    }
    return nullptr;
}

HWND MessageBoxOf(DWORD pid, const wchar_t* title) {
    for (HWND box = FindWindowExW(nullptr, nullptr, L"#32770", title); box;
         box = FindWindowExW(nullptr, box, L"#32770", title)) {
        if (ProcessOf(box) == pid && IsWindowVisible(box)) return box;
    }
    return nullptr;
}

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

std::string AsShown(std::string text) {
    for (auto at = text.find('\r'); at != std::string::npos; at = text.find('\r', at + 2))
        text.replace(at, 1, "\r\n");
    return text;
}

bool AnswerFileDialog(HWND dialog, const std::wstring& path) {
    // The name field: the Explorer-style dialog's combo box, or the older dialog's edit.
    HWND name = GetDlgItem(dialog, 0x47c);
    if (!name) name = GetDlgItem(dialog, 0x480);
    if (!name) return false;
    SendMessageTimeoutW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    return true;
}

WindowProcess::WindowProcess(const std::string& programPath, const std::string& driverPath,
                             bool withAvrdude)
    : records_(kRecordsHome, dir_.Path().string()), settings_("PROGRAMDATA", dir_.Path().string()) {
    fs::copy_file(programPath, dir_.File("tq95_finalize.exe"));
    // The DLLs it was built with (libpq's), as an installation puts them beside it.
    for (const auto& entry : fs::directory_iterator(fs::path(programPath).parent_path())) {
        const std::string name = entry.path().filename().string();
        std::string upper = name;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper.size() > 4 && upper.substr(upper.size() - 4) == ".DLL" && upper != "FTD2XX.DLL")
            fs::copy_file(entry.path(), dir_.File(name));
    }
    fs::copy_file(driverPath, dir_.File("FTD2XX.DLL"));
    if (withAvrdude) dir_.Touch("avrdude.exe");
}

WindowProcess::~WindowProcess() {
    if (!process_.hProcess) return;
    if (main_ && IsWindow(main_)) PostMessageW(main_, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.hProcess, 15000) != WAIT_OBJECT_0)
        TerminateProcess(process_.hProcess, 1);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
}

bool WindowProcess::Start() {
    std::wstring command = L"\"" + dir_.File("tq95_finalize.exe").wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    const std::wstring folder = dir_.Path().wstring();
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process_))
        return false;
    WaitForInputIdle(process_.hProcess, kStartLimitMs);
    return WaitUntil(
               [&] {
                   main_ = WindowOf(Pid(), L"TQ9.5 Dizavavov");
                   return main_ != nullptr;
               },
               kStartLimitMs) &&
           WaitUntil([&] { return Contains(Console(), "Welcome to TQ9 Remote!"); });
}

std::string WindowProcess::Console() const {
    return Text(Item(kMemo1));
}

std::string WindowProcess::Status() const {
    return Text(Item(kStatusBar));
}

void WindowProcess::Key(HWND window, WPARAM key) const {
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 1u | (1u << 30) | (1u << 31));
}

void WindowProcess::Type(HWND window, const std::string& text) const {
    for (wchar_t c : Widen(text))
        PostMessageW(window, WM_CHAR, c, 1);
}

HWND WindowProcess::Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(main_, nullptr), &info);
    return info.hwndFocus;
}

HWND WindowProcess::Dialog(const wchar_t* title) const {
    HWND found = nullptr;
    WaitUntil([&] { return (found = WindowOf(Pid(), title)) != nullptr; });
    return found;
}

bool WindowProcess::Ended(DWORD limitMs) const {
    return WaitForSingleObject(process_.hProcess, limitMs) == WAIT_OBJECT_0;
}

bool WindowProcess::StartOperation(int id, const std::string& firstLine) const {
    const int before = Count(Console(), firstLine);
    return StartOperation(id, [&] { return Count(Console(), firstLine) > before; });
}

bool WindowProcess::StartOperation(int id, const std::function<bool()>& started) const {
    return WaitUntil([&] {
        Click(id);
        return WaitUntil(started, 3000);
    });
}

HWND WindowProcess::DialogOf(int id, const wchar_t* title) const {
    HWND dialog = nullptr;
    StartOperation(id, [&] { return (dialog = WindowOf(Pid(), title)) != nullptr; });
    return dialog;
}

HWND WindowProcess::CableDialog() const {
    Click(kBtnRescan);
    return Dialog(L"Select USB Device");
}

bool WindowProcess::OpenFirstCable() const {
    HWND dialog = CableDialog();
    if (!dialog) return false;
    PostMessageW(GetDlgItem(dialog, kOKButton), BM_CLICK, 0, 0);
    return WaitUntil([&] { return Visible(kBtnClose) && Enabled(kBtnFinalize); });
}

}  // namespace tq9::test
