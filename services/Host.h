#pragma once
// What operations need from the platform and the window toolkit, in three parts: the
// platform (clock, window messages, sound), the operator's view (the displays and controls
// operations write and read) and the dialogs. The Qt main window is all three; StdHost is
// the do-nothing base for every other host (console programs, the scripted host of the
// tests). Toolkit-free on purpose.
//
// All calls come from the thread that runs the operation, which is the window's thread.
// None of them fails: a host that cannot show something drops it, and a dialog it cannot
// show counts as cancelled.

#include <cstdint>
#include <string>
#include <vector>

namespace tq9 {

// The window's displays that operations write and read.
enum class Field {
    DeviceView,
    EditSerialNumber,
    FPGAversion,
    EditFirmwareVersion,
    EditFTDIdevice,
    EditFTDIcom,
    EditDiamex,
    EditCoreNumber,
    dd_FirmwareType,  // the firmware list's current text (read only)
};

// Controls whose state operations change.
enum class Control {
    BtnRescan,
    BtnClose,
    BtnRefresh,
    BtnFPGAprog,
    BtnFinalize,
    ProdProg,
    BtnAVRonly,
    dd_FirmwareType,
};

enum class MessageKind { Information, Warning, Error };

// The file-open dialog's settings for one use.
struct FileDialogSettings {
    struct Filter {
        std::string description;
        std::string pattern;
    };
    std::string title;
    std::vector<Filter> filters;
    int filterIndex = 1;  // 1-based, as the filter list counts
    std::string defaultExtension;
    std::string initialDirectory;
};

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Time and the window messages.
class HostPlatform {
  public:
    virtual ~HostPlatform() = default;

    // The clock and sleeps are the platform's unless a host keeps time of its own (the
    // tests' virtual clock): every window and console host uses these.
    // The 32-bit millisecond tick counter; it wraps after about 49.7 days.
    virtual std::uint32_t TickCount();
    // A steady microsecond counter, for pacing finer than a millisecond; never wraps in use.
    virtual std::uint64_t MicroTicks();
    // Block; they handle no window messages meanwhile. A sleep lasts at least as long as
    // asked, and the platform's timer may round it up (to a millisecond on Windows).
    virtual void Sleep(std::uint32_t ms);
    virtual void SleepUs(std::uint32_t us);
    // Handles every window message that is pending now, then returns. The handlers it runs
    // may be the operator's clicks (Cancel, or a click an operation refuses).
    virtual void ProcessMessages() = 0;
    // Lets the window paint, run its timers and answer the window system, while the
    // operator's input (clicks, keys) waits for the next ProcessMessages: for a loop that
    // must not be interrupted yet should not look hung. Nothing to do without a window.
    virtual void ProcessOutputMessages() {}
    // Blocks until a window message is pending or limitMs have passed, whichever is first.
    // Handles nothing itself: the caller follows it with ProcessMessages.
    virtual void WaitForMessage(std::uint32_t limitMs) = 0;
    // Starts playing a sound file (a bare name is looked up beside the program) and returns
    // at once; a missing file or sound device is ignored.
    virtual void PlaySoundFile(const std::string& fileName) = 0;
};

// The main window's displays and controls that operations write and read. Each write shows
// at once; a read returns what the display holds now, the operator's typing included.
class OperatorView {
  public:
    virtual ~OperatorView() = default;

    virtual void ShowBusyLed(Rgb colour) = 0;
    // The console pane: a line added at the end, or the whole content replaced (cleared,
    // or a log shown in its place). The console object keeps the lines; the view shows them.
    virtual void ConsoleLineAdded(const std::string& line) = 0;
    virtual void ConsoleReplaced(const std::vector<std::string>& lines) = 0;

    // Setting a text does not run the display's change handler; the operation that sets
    // it runs that itself where it must.
    virtual void SetFieldText(Field field, const std::string& text) = 0;
    virtual std::string FieldText(Field field) = 0;
    // The scan-core list: select entry `index`, or no entry when it is outside the list.
    virtual void SelectScanCore(int index) = 0;
    // The selected entry's name; empty when no entry is selected.
    virtual std::string ScanCoreText() = 0;
    virtual void SetControlEnabled(Control control, bool enabled) = 0;
    virtual void SetControlVisible(Control control, bool visible) = 0;

    // The upload's progress bar: the maximum first, then positions from 0 up to it; a
    // position of 0 at the end empties the bar again.
    virtual void SetProgressMax(int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0;
    // A readiness wait sent its poll number `poll` of at most `limit`. The window shows
    // nothing of it; a terminal may.
    virtual void ReadinessPolled(int /*poll*/, int /*limit*/) {}
};

// The windows that ask or tell the operator something. Each is modal (the call returns when
// the operator has closed it), except the program output window.
class OperatorDialogs {
  public:
    virtual ~OperatorDialogs() = default;

    // A message dialog with one OK button; returns when the operator closed it. A CR in
    // the text is a line break.
    virtual void ShowMessage(MessageKind kind, const std::string& text) = 0;

    // The device selection dialog, always in this order: DeviceDialogClear, one
    // DeviceDialogAddRow per cable (rows are caption, serial, description), optionally
    // DeviceDialogSelectRow, then DeviceDialogShow. Show returns true for OK with a row
    // selected, which `row` then names; false for Cancel, the close box or OK without a
    // selection, and then leaves `row` as it was. The rows stay until the next Clear.
    virtual void DeviceDialogClear() = 0;
    virtual void DeviceDialogAddRow(const std::string& caption, const std::string& serial,
                                    const std::string& description) = 0;
    virtual void DeviceDialogSelectRow(int row) = 0;
    virtual bool DeviceDialogShow(int& row) = 0;

    // The file-open dialog. True with the chosen file's full name in `fileName`; false when
    // cancelled, and then `fileName` is left as it was.
    virtual bool OpenFileDialog(const FileDialogSettings& settings, std::string& fileName) = 0;

    // A window of its own, not modal, for the output of a program run that is shown
    // (avrdude's flash run): ProgramOutputStart once when the program has started,
    // ProgramOutputAdd any number of times while it runs (text as the program wrote it,
    // possibly empty), ProgramOutputEnd once with its exit code. The operator can close the
    // window only after the end. A program that could not be started calls none of them.
    virtual void ProgramOutputStart(const std::string& commandLine) = 0;
    virtual void ProgramOutputAdd(const std::string& text) = 0;
    virtual void ProgramOutputEnd(int exitCode) = 0;
};

// Everything an operation may reach; operations take the whole of it.
class Host : public HostPlatform, public OperatorView, public OperatorDialogs {};

}  // namespace tq9
