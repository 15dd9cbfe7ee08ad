#pragma once
// The Win32 window program driven from another process, as the tests and the benchmark
// drive it: started in a bench folder of its own with the simulated driver beside it as
// FTD2XX.DLL, worked by window messages (BM_CLICK, key messages) and read back through them
// (WM_GETTEXT, the controls' states, list-view cells in the program's own memory).

#include <windows.h>

#include <functional>
#include <string>

#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace tq9::test {

inline constexpr DWORD kStartLimitMs = 30000;
inline constexpr DWORD kStepLimitMs = 20000;

// Waits, up to a bound, for `done`; false when the bound ran out first.
bool WaitUntil(const std::function<bool()>& done, DWORD limitMs = kStepLimitMs);
// A window's text through WM_GETTEXT (a window that does not answer in 5 s: "<no answer>").
std::string Text(HWND window);
bool Contains(const std::string& text, const std::string& part);
int Count(const std::string& text, const std::string& part);
DWORD ProcessOf(HWND window);
// A cell of a list view in another process: its row's caption (column 0) or a sub-item.
std::string CellText(HWND list, int row, int column);
int RowCount(HWND list);
// A row's place in its list view (client coordinates).
RECT RowRect(HWND list, int row);
void PostMouse(HWND window, UINT message, int x, int y);
// A visible top-level window of process `pid` with this caption; null when none.
HWND WindowOf(DWORD pid, const wchar_t* caption);
// The message boxes the program shows (titled as its message dialogs are), apart from its
// other dialogs; null when none shows.
HWND MessageBoxOf(DWORD pid);
// A message box (or any dialog) of process `pid` titled `title`; null when none shows.
HWND MessageBoxOf(DWORD pid, const wchar_t* title);
// A message box's message: its longest static text (the other is its icon).
std::string MessageText(HWND box);
// A system text as a message box shows it: each CR a line break.
std::string AsShown(std::string text);
// Answers an open or save dialog with `path` and OK; false when it has no name field.
bool AnswerFileDialog(HWND dialog, const std::wstring& path);

// The window program in a bench folder of its own, its records and settings there too.
class WindowProcess {
  public:
    // `withAvrdude`: an empty avrdude.exe beside the program (it is only looked for).
    WindowProcess(const std::string& programPath, const std::string& driverPath, bool withAvrdude);
    ~WindowProcess();
    WindowProcess(const WindowProcess&) = delete;
    WindowProcess& operator=(const WindowProcess&) = delete;

    // Starts the program and waits for its main window's greeting; false when none came.
    bool Start();
    DWORD Pid() const { return process_.dwProcessId; }
    const TempDir& Bench() const { return dir_; }
    HWND Main() const { return main_; }
    HWND Item(int id) const { return GetDlgItem(main_, id); }
    std::string TextOf(int id) const { return Text(Item(id)); }
    std::string Console() const;
    std::string Status() const;
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    bool Visible(int id) const { return IsWindowVisible(Item(id)) != FALSE; }
    // A click as the window's queue brings it, returning at once (an operation may run).
    void Click(int id) const { PostMessageW(Item(id), BM_CLICK, 0, 0); }
    void Key(HWND window, WPARAM key) const;
    // Characters as the keyboard's translation brings them (WM_CHAR), one by one.
    void Type(HWND window, const std::string& text) const;
    HWND Focus() const;
    // A dialog of the program's once shown, found by its title; null when none came.
    HWND Dialog(const wchar_t* title) const;
    bool Ended(DWORD limitMs) const;
    // Starts an operation by its button once the one before has ended (until then a click
    // is refused): true when the operation's first line came, or `started` held.
    bool StartOperation(int id, const std::string& firstLine) const;
    bool StartOperation(int id, const std::function<bool()>& started) const;
    // Clicks `id` until the program's dialog titled `title` shows (a click while an operation
    // ends is refused); null when none came.
    HWND DialogOf(int id, const wchar_t* title) const;
    // Device, up to its cable dialog; null when none showed.
    HWND CableDialog() const;
    // The device flow through to the emulated board on the first cable; false when the
    // board's buttons never came.
    bool OpenFirstCable() const;

  private:
    TempDir dir_;
    ScopedEnv records_;
    ScopedEnv settings_;
    PROCESS_INFORMATION process_{};
    HWND main_ = nullptr;
};

}  // namespace tq9::test
