#pragma once
// The main window: every operation starts from one of its controls and runs to its end
// inside the control's handler. It owns the run's context and is the Qt Host operations
// reach the window through.

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "isp/ProcessRunner.h"
#include "link/tq9_com.h"
#include "ops/MainWindowOps.h"
#include "ops/MainWindowRules.h"
#include "services/Host.h"

class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSoundEffect;
class QTimer;

namespace tq9 {

class Tdeviceselectbox;

class TForm1 : public QMainWindow, public Host, private WindowFrontEnd {
    Q_OBJECT
  public:
    using Setup = WindowSetup;

    explicit TForm1(Setup setup, QWidget* parent = nullptr);
    ~TForm1() override;

    void SetDeviceDialog(Tdeviceselectbox* dialog) { deviceselectbox_ = dialog; }
    AppContext& Context() { return ctx_; }
    bool OperationRunning() const { return rules_.OperationRunning(); }
    int SoundRequests() const { return soundRequests_; }
    // The window that shows the output of the last program run that was shown, if any.
    QWidget* ProgramOutput() const;
    // The board records window, opened from the Records menu (made on first use).
    QWidget* ShowRecords();

    // Handlers, wired to their controls.
    void BtnRescanClick();
    void BtnCloseClick();
    void BtnCancelClick();
    void EditSerialNumberChange();
    void Timer1Timer();
    void BtnRefreshClick();
    void BtnFPGAprogClick();
    void BtnFinalizeClick();
    void ComboBox1Change(int index);
    void ButtonUpStreamClick();
    void ProdProgClick();
    void BtnAVRonlyClick();

    // Host
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

    // Controls, named as the operators' documentation names them.
    QPushButton* BtnRescan;
    QPushButton* BtnClose;
    QLineEdit* DeviceView;
    QGroupBox* BoardGroup;
    QPushButton* BtnCancel;
    QFrame* LEDbusy;
    QLineEdit* EditSerialNumber;
    QLineEdit* FPGAversion;
    QLineEdit* EditFirmwareVersion;
    QComboBox* ComboBoxScanDetected;
    QPushButton* BtnRefresh;
    QPushButton* BtnFPGAprog;
    QPushButton* BtnFinalize;
    QGroupBox* ProductionGroup;
    QComboBox* dd_FirmwareType;
    QPushButton* ProdProg;
    QPushButton* BtnAVRonly;
    QLineEdit* EditDiamex;
    QLineEdit* EditFTDIdevice;
    QLineEdit* EditFTDIcom;
    QGroupBox* TestGroup;
    QPushButton* ButtonUpStream;
    QLineEdit* EditCoreNumber;
    QProgressBar* ProgressBar1;
    QComboBox* ComboBox1;
    QPlainTextEdit* Memo1;
    QTimer* Timer1;
    QAction* RecordsAction;  // Records > Board records...
    QLabel* LineStatus;      // the status bar's "N rows wait for the line server"

    // Keeps the window's place and size where they fit `available` (a screen's area
    // without its task bar), and otherwise moves it, and shrinks it as far as needed,
    // into it.
    void PlaceInside(const QRect& available);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void BuildControls();
    void WireHandlers();
    // WindowFrontEnd
    void ShowStatusNotice(const std::string& text) override;
    void ShowErrorBox(const std::string& text) override;
    void CloseLater() override;
    void ShowLineStatus(const std::string& text) override;
    void FocusDeviceButton() override;
    void ShowTestPort(int index) override;
    QLineEdit* FieldEdit(Field field) const;
    QWidget* ControlWidget(Control control) const;

    AppContext ctx_;
    MainWindowRules rules_{ctx_, *this};
    Tdeviceselectbox* deviceselectbox_ = nullptr;
    std::unique_ptr<QSoundEffect> ding_;
    std::unique_ptr<ProcessRunner> systemRunner_;
    class ProgramOutputWindow* outputWindow_ = nullptr;
    class RecordsWindow* recordsWindow_ = nullptr;
    QObject* inputRules_ = nullptr;  // the operator's keys and wheel, by the shared rules
    Rgb ledColour_{};
    bool placed_ = false;  // PlaceInside has run at the first show
    int soundRequests_ = 0;
};

}  // namespace tq9
