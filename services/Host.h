#pragma once
// What operations need from the platform and the window toolkit. The Qt main window
// implements it; tests use a scripted host on virtual time. Toolkit-free on purpose.

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

class Host {
  public:
    virtual ~Host() = default;

    // The 32-bit millisecond tick counter; it wraps after about 49.7 days.
    virtual std::uint32_t TickCount() = 0;
    virtual void Sleep(std::uint32_t ms) = 0;
    // Handles every window message that is pending now, then returns.
    virtual void ProcessMessages() = 0;
    // Blocks until a window message is pending or limitMs have passed, whichever is first.
    // Handles nothing itself.
    virtual void WaitForMessage(std::uint32_t limitMs) = 0;
    // Starts playing a sound file and returns at once; failures are ignored.
    virtual void PlaySoundFile(const std::string& fileName) = 0;

    // Displays the services write to.
    virtual void ShowBusyLed(Rgb colour) = 0;
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

    // A modal message dialog with one OK button; returns when the operator closed it.
    // A CR in the text is a line break.
    virtual void ShowMessage(MessageKind kind, const std::string& text) = 0;

    // The device selection dialog: rows are (caption, serial, description).
    virtual void DeviceDialogClear() = 0;
    virtual void DeviceDialogAddRow(const std::string& caption, const std::string& serial,
                                    const std::string& description) = 0;
    virtual void DeviceDialogSelectRow(int row) = 0;
    // Shows the dialog modally. True for OK with a row selected, which `row` then names.
    virtual bool DeviceDialogShow(int& row) = 0;

    // The file-open dialog. True with the chosen file's full name; false when cancelled.
    virtual bool OpenFileDialog(const FileDialogSettings& settings, std::string& fileName) = 0;

    // A window of its own for the output of a program run that is shown (avrdude's flash
    // run): opened at the start, fed while it runs, and closable by the operator once the
    // program has ended.
    virtual void ProgramOutputStart(const std::string& commandLine) = 0;
    virtual void ProgramOutputAdd(const std::string& text) = 0;
    virtual void ProgramOutputEnd(int exitCode) = 0;

    // The upload's progress bar.
    virtual void SetProgressMax(int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0;
};

}  // namespace tq9
