#pragma once
// The main window's rules, whatever toolkit draws it. Each window (Qt, Win32) lays out its
// controls, routes their events here and implements the front end below; every rule about
// what an operation or the operator's input does lives here, once:
// - operations never nest: a click during one is refused with a status-bar notice;
// - an error that ends a handler goes to the standard error box;
// - input that arrived during an operation (a click, Cancel, Esc, the close box) is
//   answered while that operation still runs, so it is refused or counted in it, never run
//   after it on its own;
// - closing during an operation stops it and closes once it has returned;
// - the line's status once a second;
// - what Esc and the wheel do over the drop-down lists;
// - Device shown, and the focus on it, whenever the window is left without a board.

#include <functional>
#include <string>
#include <vector>

#include "isp/ProcessRunner.h"
#include "link/ComPort.h"
#include "ops/MainWindowOps.h"

namespace tq9 {

// What a window program gives its main window for the run.
struct WindowSetup {
    const FTDIdll* driver = nullptr;           // the driver's functions; null: none loaded
    std::string driverLoadFailure;             // empty when a driver library was loaded
    std::string driverInUse;                   // the console's line on the driver
    RecordSink records;                        // where board records go; none by default
    LineForwarder* line = nullptr;             // the records' forwarder to the line; or none
    std::string programDirectory;              // with a trailing separator
    PortNamer portName;                        // empty: the platform's COM port names
    ProcessRunner* runner = nullptr;           // null: the platform's own
    std::function<std::string()> driverNotes;  // the driver's words on its cables
    std::vector<std::string> startupWarnings;  // said on the console after the greeting
};
// The run's context as the set-up gives it; `systemRunner` keeps the platform's process
// runner where the set-up names none.
void ApplyWindowSetup(AppContext& ctx, const WindowSetup& setup,
                      std::unique_ptr<ProcessRunner>& systemRunner);

// The device dialog's answer: OK with a row selected chooses that row; anything else (Cancel,
// the close box, OK with no row selected) chooses none and leaves `row` as it was.
bool DeviceChosen(bool ok, int selectedRow, int& row);
// The device dialog shown as a window's Host shows it, whatever toolkit draws the dialog
// (ShowModal answering Dialog::mrOk, SelectedRow); false without a dialog.
template <typename Dialog>
bool ShowDeviceDialog(Dialog* dialog, int& row) {
    if (!dialog) return false;
    // The row is read once the dialog has closed, not before it shows.
    const bool ok = dialog->ShowModal() == Dialog::mrOk;
    return DeviceChosen(ok, dialog->SelectedRow(), row);
}

// The error box's title, and the name message dialogs go by.
inline constexpr const char* kApplicationTitle = "tq95_finalize";
inline constexpr const char* kOperationRunning =
    "An operation is running. Wait for it to end, or press Cancel.";

// What the rules need from a window beyond the Host the operations use.
class WindowFrontEnd {
  public:
    virtual ~WindowFrontEnd() = default;
    // A notice in the status bar that goes by itself after a few seconds.
    virtual void ShowStatusNotice(const std::string& text) = 0;
    // The standard error box, modal, titled kApplicationTitle; `text` is ErrorBoxText's.
    virtual void ShowErrorBox(const std::string& text) = 0;
    // Closes the window from the message loop, once the running handler has returned.
    virtual void CloseLater() = 0;
    // The status bar's lasting text on the line's server; empty hides it.
    virtual void ShowLineStatus(const std::string& text) = 0;
    // The keyboard focus to the device bar's visible button.
    virtual void FocusDeviceButton() = 0;
    // The test-port list shows entry `index`, as the program sets it: no operator's pick.
    virtual void ShowTestPort(int index) = 0;
};

// Where a key or the wheel came to, as far as the rules care.
enum class InputPlace {
    Elsewhere,
    ClosedList,  // the firmware or test-port list, closed
    OpenList,    // one of them open, its entries shown
};
// What the window does with it.
enum class InputResponse {
    AsTheControlDoes,  // the toolkit's own handling
    Cancel,            // what the Cancel button does
    CloseListOnly,     // the open list closes, unchanged; nothing else happens
    ScrollColumn,      // the left column scrolls (where it can); the list is left alone
    OpenTheList,       // the list opens, unchanged, for the keyboard to pick in
    ScrollEntries,     // the open list scrolls its entries; none is picked or moved to
};
// Esc: Cancel wherever the focus is, but an open list only closes.
InputResponse EscapePressed(InputPlace where);
// An open list closed without a pick (Esc, a click outside it, the focus gone elsewhere)
// shows again the entry it had when it opened, wherever the keys had moved meanwhile.
InputResponse ListClosedWithoutPick();
// The wheel never changes the firmware or the test-port list: over a closed list it goes to
// the column; an open list scrolls its entries without choosing one.
InputResponse WheelTurned(InputPlace where);
// A key that steps or searches a list (an arrow, page or home/end key, or a character, which
// finds the next entry it begins): on a closed list it opens the list instead of changing it
// (which would change the firmware, or run a test-port change, a key at a time); in an open
// list it moves among the entries, and Enter or a click picks one.
InputResponse ListKeyPressed(InputPlace where);

class MainWindowRules {
  public:
    MainWindowRules(AppContext& ctx, WindowFrontEnd& window) : ctx_(ctx), window_(window) {}

    // Start-up: FormCreate, then the warnings of the program's settings on the console.
    void Start(const std::string& programDirectory, const std::vector<std::string>& warnings);

    // The operations' handlers: refused while another runs, recorded, guarded.
    void BtnRescanClick();
    void BtnCloseClick();
    void BtnRefreshClick();
    void BtnFPGAprogClick();
    void BtnFinalizeClick();
    // Only the operator's pick in the list, never a change the program makes. A pick refused
    // during an operation puts the list back to the entry last applied.
    void ComboBox1Change(int index);
    void ButtonUpStreamClick();
    void ProdProgClick();
    void BtnAVRonlyClick();

    // At any time, also during an operation.
    void BtnCancelClick();
    void EditSerialNumberChange();
    void Timer1Timer();

    // The close box (or the system's close): true when the window may close now; during an
    // operation it stops that and closes once it has returned (CloseLater).
    bool CloseRequested();
    // Shutdown, once, when the window goes; the window calls it from its close or its
    // destruction, whichever comes first.
    void Shutdown();
    bool ShutDown() const { return shutDown_; }

    // Why the records window cannot open (no store); empty when it can.
    std::string RecordsUnavailable() const;

    bool OperationRunning() const { return running_; }
    // Runs a handler inside the guard: an error goes to the error box.
    void Guarded(const std::function<void()>& handler);

  private:
    // False when refused (another operation runs). An operation that leaves the window
    // without a board, and a device-bar one (`deviceBar`: Device, Close) that ends without
    // one, show Device and give it the focus.
    bool Run(const std::function<void()>& handler, bool deviceBar = false);
    bool RunRecorded(RecordedOperation operation, const std::function<void()>& body);
    void AnswerPendingInput();

    AppContext& ctx_;
    WindowFrontEnd& window_;
    bool running_ = false;
    bool closePending_ = false;
    bool shutDown_ = false;
    int lineTicks_ = 0;  // the timer's ticks since the line's status was last read
    int testPort_ = 0;   // the test-port entry last applied; the list starts at the first
};

}  // namespace tq9
