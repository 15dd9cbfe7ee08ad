#pragma once
// A window of its own for the output of a program run that is shown (the flash run): the
// output appears as it comes; the operator can close the window once the run ended.

#include <windows.h>

#include <string>

namespace tq9 {

class ProgramOutputWindow {
  public:
    ProgramOutputWindow(HWND owner, HFONT font);
    ~ProgramOutputWindow();
    ProgramOutputWindow(const ProgramOutputWindow&) = delete;
    ProgramOutputWindow& operator=(const ProgramOutputWindow&) = delete;

    void Begin(const std::string& commandLine);
    // Text as the program wrote it: the system's 8-bit code page.
    void Add(const std::string& text);
    void End(int exitCode);
    bool Running() const { return running_; }
    HWND Handle() const { return hwnd_; }
    // The window's dialog keys (Tab, Enter, Esc) when `msg` is for it.
    bool IsDialogKey(MSG& msg);

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Append(const std::wstring& text);
    void Layout();

    HWND hwnd_ = nullptr;
    HWND output_ = nullptr;
    HWND close_ = nullptr;
    bool running_ = false;
};

}  // namespace tq9
