#pragma once
// The main window over Win32: every operation starts from one of its controls and runs to
// its end inside the control's handler. It owns the run's context, routes each control's
// event to the shared rules and is the Host operations reach the window through.

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "isp/ProcessRunner.h"
#include "link/tq9_com.h"
#include "ops/MainWindowOps.h"
#include "ops/MainWindowRules.h"
#include "services/Host.h"

namespace tq9 {

class Tdeviceselectbox;
class ProgramOutputWindow;
class RecordsWindow;

class TForm1 : public Host, private WindowFrontEnd {
  public:
    using Setup = WindowSetup;

    // Makes the window (hidden) and runs start-up.
    explicit TForm1(Setup setup);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    HWND Handle() const { return hwnd_; }
    void SetDeviceDialog(Tdeviceselectbox* dialog) { deviceselectbox_ = dialog; }
    AppContext& Context() { return ctx_; }
    void Show(int showCommand);
    // One message of the loop: the window's keys first (Esc, Enter, Tab, the lists'),
    // then the dialog keys, then the message's window.
    void Dispatch(MSG& msg);
    // Runs the message loop until the window is gone; the exit code of WM_QUIT.
    int RunMessageLoop();

    // Host
    // Windows sleeps whole timer periods: its own sleeps keep the upload's 1 ms pace.
    void Sleep(std::uint32_t ms) override;
    void SleepUs(std::uint32_t us) override;
    void ProcessMessages() override;
    void ProcessOutputMessages() override;
    void WaitForMessage(std::uint32_t limitMs) override;
    void PlaySoundFile(const std::string& fileName) override;
    void ShowBusyLed(Rgb colour) override;
    void ConsoleLineAdded(const std::string& line) override;
    void ConsoleReplaced(const std::vector<std::string>& lines) override;
    void SetFieldText(Field field, const std::string& text) override;
    std::string FieldText(Field field) override;
    void SelectScanCore(int index) override;
    std::string ScanCoreText() override;
    void SetControlEnabled(Control control, bool enabled) override;
    void SetControlVisible(Control control, bool visible) override;
    void ShowMessage(MessageKind kind, const std::string& text) override;
    void DeviceDialogClear() override;
    void DeviceDialogAddRow(const std::string& caption, const std::string& serial,
                            const std::string& description) override;
    void DeviceDialogSelectRow(int row) override;
    bool DeviceDialogShow(int& row) override;
    bool OpenFileDialog(const FileDialogSettings& settings, std::string& fileName) override;
    void ProgramOutputStart(const std::string& commandLine) override;
    void ProgramOutputAdd(const std::string& text) override;
    void ProgramOutputEnd(int exitCode) override;
    void SetProgressMax(int maximum) override;
    void SetProgressPosition(int position) override;

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CancelButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR id, DWORD_PTR self);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Layout (MainWindowLayout.cpp).
    void CreateControls();
    void CreateFonts();
    void ApplyFonts();
    void Layout();
    HWND Child(int id) const { return GetDlgItem(hwnd_, id); }
    int S(int pixelsAt96) const;
    void Place(int id, int x, int y, int width, int height);
    // The left column scrolls (bar, wheel, Tab) when the window is lower than it is tall.
    void ScrollColumnTo(int top);
    void ScrollColumnOn(int code);
    void ShowFocusInColumn();
    bool OverColumn(POINT screen) const;
    int ColumnWheelStep() const;
    SIZE MinimumFrame() const;
    void PlaceAtStart();

    // Events.
    void Command(int id, int code, HWND control);
    void DrawButton(const DRAWITEMSTRUCT& item);
    LRESULT ControlColour(HDC dc, HWND control, bool editable);
    bool PreTranslate(MSG& msg);
    // A key that would step or search the list `window` belongs to: true when the rules
    // had it open the list instead.
    bool OpenedForAKey(HWND window);
    void ScrollEntries(HWND list, int wheelDelta);
    // The lists' notifications: an open list closed without a pick keeps its entry.
    void ListNotified(HWND list, int code);
    void ShowHintAtCursor();
    void ShowStatusText(const std::string& text);
    void ShowRecordsMenu();
    bool ListDropped() const;
    bool IsList(HWND window) const;
    HWND ListOf(HWND window) const;

    // WindowFrontEnd
    void ShowStatusNotice(const std::string& text) override;
    void ShowErrorBox(const std::string& text) override;
    void CloseLater() override;
    void ShowLineStatus(const std::string& text) override;
    void FocusDeviceButton() override;
    void ShowTestPort(int index) override;

    HWND FieldWindow(Field field) const;
    HWND ControlWindow(Control control) const;

    AppContext ctx_;
    MainWindowRules rules_{ctx_, *this};
    std::unique_ptr<ProcessRunner> systemRunner_;
    Tdeviceselectbox* deviceselectbox_ = nullptr;
    std::unique_ptr<ProgramOutputWindow> outputWindow_;
    std::unique_ptr<RecordsWindow> recordsWindow_;  // made at the menu's first call

    HWND hwnd_ = nullptr;
    HWND status_ = nullptr;
    HWND tooltip_ = nullptr;
    HWND lastFocus_ = nullptr;  // given back when the window is active again
    UINT dpi_ = 96;
    HFONT font_ = nullptr, boldFont_ = nullptr, consoleFont_ = nullptr;
    HBRUSH ledBrush_ = nullptr;
    HBRUSH windowBrush_ = nullptr;
    Rgb ledColour_{};
    int columnTop_ = 0;  // how far the left column is scrolled, in pixels
    int progressMax_ = 1;
    long long progressPixel_ = -1;         // the bar's filled width as last sent
    std::map<int, std::string> hints_;     // control id -> its hint
    std::map<int, COLORREF> textColours_;  // control id -> its text colour
    std::set<int> bold_;                   // the controls in the bold font
    std::string hintShown_;                // the status bar's hint now
    std::string lineStatus_;               // the status bar's lasting part
    bool consoleHasLines_ = false;
    bool settingText_ = false;  // a text the program sets is no operator's typing
    bool testPortPickPending_ = false;
    std::map<HWND, LRESULT> entryWhenOpened_;  // an open list -> its entry when it opened
    bool focusDeviceWhenShown_ = false;        // Device/Close swapped while one had the focus
};

}  // namespace tq9
