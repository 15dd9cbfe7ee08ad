// The main window as the Host of the operations: time, message handling, sound, dialogs
// and the displays.

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSoundEffect>
#include <QTimer>

#include "ui/qt/ProgramOutputWindow.h"
#include "ui/qt/deviceselect.h"
#include "ui/qt/tq9_remote_main.h"

namespace tq9 {

namespace {
QString Shown(const std::string& text) {
    // A CR in a system text is a line break on screen.
    QString shown = QString::fromStdString(text);
    shown.replace("\r\n", "\n");
    shown.replace('\r', '\n');
    return shown;
}

QString ConsoleShown(const std::string& line) {
    // Reply lines keep their closing CR in the console; the pane shows the line without it.
    std::string shown = line;
    if (!shown.empty() && shown.back() == '\r') shown.pop_back();
    return QString::fromStdString(shown);
}
}  // namespace

void TForm1::ProcessMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TForm1::ProcessOutputMessages() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TForm1::WaitForMessage(std::uint32_t limitMs) {
    // Blocks in the event loop until something arrives; the timer bounds the wait.
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(static_cast<int>(std::min<std::uint32_t>(limitMs, 1u << 30)));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TForm1::PlaySoundFile(const std::string& fileName) {
    ++soundRequests_;
    // Looked for beside the program; a missing file or audio device changes nothing else.
    const QString path = QString::fromStdString(ctx_.ProgramDirectory + fileName);
    if (!QFileInfo::exists(path)) return;
    if (!ding_) ding_ = std::make_unique<QSoundEffect>();
    if (ding_->source() != QUrl::fromLocalFile(path)) ding_->setSource(QUrl::fromLocalFile(path));
    ding_->play();
}

void TForm1::ShowBusyLed(Rgb colour) {
    if (colour == ledColour_) return;  // the timer darkens it every tick
    ledColour_ = colour;
    QPalette palette = LEDbusy->palette();
    palette.setColor(QPalette::Window, QColor(colour.r, colour.g, colour.b));
    LEDbusy->setPalette(palette);
}

void TForm1::ConsoleLineAdded(const std::string& line) {
    Memo1->appendPlainText(ConsoleShown(line));
}

void TForm1::ConsoleReplaced(const std::vector<std::string>& lines) {
    QStringList shown;
    for (const auto& line : lines)
        shown << ConsoleShown(line);
    Memo1->setPlainText(shown.join('\n'));
}

QLineEdit* TForm1::FieldEdit(Field field) const {
    switch (field) {
        case Field::DeviceView:
            return DeviceView;
        case Field::EditSerialNumber:
            return EditSerialNumber;
        case Field::FPGAversion:
            return FPGAversion;
        case Field::EditFirmwareVersion:
            return EditFirmwareVersion;
        case Field::EditFTDIdevice:
            return EditFTDIdevice;
        case Field::EditFTDIcom:
            return EditFTDIcom;
        case Field::EditDiamex:
            return EditDiamex;
        case Field::EditCoreNumber:
            return EditCoreNumber;
        case Field::dd_FirmwareType:
            return nullptr;
    }
    return nullptr;
}

void TForm1::SetFieldText(Field field, const std::string& text) {
    if (QLineEdit* edit = FieldEdit(field)) {
        edit->setText(QString::fromStdString(text));
        edit->setCursorPosition(0);  // a text longer than the field shows its start
        // ... and the whole of it under the pointer.
        if (field == Field::DeviceView) edit->setToolTip(edit->text());
    }
}

std::string TForm1::FieldText(Field field) {
    if (field == Field::dd_FirmwareType) return dd_FirmwareType->currentText().toStdString();
    const QLineEdit* edit = FieldEdit(field);
    return edit ? edit->text().toStdString() : std::string();
}

void TForm1::SelectScanCore(int index) {
    const bool inList = index >= 0 && index < ComboBoxScanDetected->count();
    ComboBoxScanDetected->setCurrentIndex(inList ? index : -1);
}

std::string TForm1::ScanCoreText() {
    return ComboBoxScanDetected->currentIndex() < 0
               ? std::string()
               : ComboBoxScanDetected->currentText().toStdString();
}

QWidget* TForm1::ControlWidget(Control control) const {
    switch (control) {
        case Control::BtnRescan:
            return BtnRescan;
        case Control::BtnClose:
            return BtnClose;
        case Control::BtnRefresh:
            return BtnRefresh;
        case Control::BtnFPGAprog:
            return BtnFPGAprog;
        case Control::BtnFinalize:
            return BtnFinalize;
        case Control::ProdProg:
            return ProdProg;
        case Control::BtnAVRonly:
            return BtnAVRonly;
        case Control::dd_FirmwareType:
            return dd_FirmwareType;
    }
    return nullptr;
}

void TForm1::SetControlEnabled(Control control, bool enabled) {
    ControlWidget(control)->setEnabled(enabled);
}

void TForm1::SetControlVisible(Control control, bool visible) {
    ControlWidget(control)->setVisible(visible);
}

void TForm1::ShowMessage(MessageKind kind, const std::string& text) {
    QMessageBox::Icon icon = QMessageBox::Information;
    QString title = "Information";
    if (kind == MessageKind::Warning) {
        icon = QMessageBox::Warning;
        title = "Warning";
    } else if (kind == MessageKind::Error) {
        icon = QMessageBox::Critical;
        title = "Error";
    }
    QMessageBox box(icon, title, Shown(text), QMessageBox::Ok, this);
    box.exec();
}

void TForm1::DeviceDialogClear() {
    if (deviceselectbox_) deviceselectbox_->ClearRows();
}

void TForm1::DeviceDialogAddRow(const std::string& caption, const std::string& serial,
                                const std::string& description) {
    // Serial numbers and descriptions are 8-bit text from the driver.
    if (deviceselectbox_) {
        deviceselectbox_->AddRow(QString::fromStdString(caption), QString::fromStdString(serial),
                                 QString::fromStdString(description));
    }
}

void TForm1::DeviceDialogSelectRow(int row) {
    if (deviceselectbox_) deviceselectbox_->SelectRow(row);
}

bool TForm1::DeviceDialogShow(int& row) {
    return ShowDeviceDialog(deviceselectbox_, row);
}

}  // namespace tq9

namespace tq9 {

bool TForm1::OpenFileDialog(const FileDialogSettings& settings, std::string& fileName) {
    QStringList filters;
    for (const auto& filter : settings.filters) {
        filters << QString::fromStdString(filter.description + " (" + filter.pattern + ")");
    }
    QFileDialog dialog(this, QString::fromStdString(settings.title),
                       QString::fromStdString(settings.initialDirectory));
    dialog.setObjectName("OpenDialog1");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(filters);
    if (settings.filterIndex >= 1 && settings.filterIndex <= filters.size()) {
        dialog.selectNameFilter(filters[settings.filterIndex - 1]);
    }
    // A name typed without an extension gets this one ("*.DAT" means "DAT").
    QString extension = QString::fromStdString(settings.defaultExtension);
    extension.remove(QRegularExpression("^[*.]+"));
    dialog.setDefaultSuffix(extension);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    fileName = dialog.selectedFiles().first().toStdString();
    return true;
}

void TForm1::SetProgressMax(int maximum) {
    // A maximum of 0 would make Qt's bar a busy animation; an empty upload is an idle bar.
    ProgressBar1->setMaximum(std::max(maximum, 1));
}

void TForm1::SetProgressPosition(int position) {
    ProgressBar1->setValue(position);
}

}  // namespace tq9

namespace tq9 {

void TForm1::ProgramOutputStart(const std::string& commandLine) {
    if (!outputWindow_) outputWindow_ = new ProgramOutputWindow(this);
    outputWindow_->Begin(QString::fromStdString(commandLine));
}

void TForm1::ProgramOutputAdd(const std::string& text) {
    if (outputWindow_) outputWindow_->Add(QString::fromLocal8Bit(text.data(), text.size()));
}

void TForm1::ProgramOutputEnd(int exitCode) {
    if (outputWindow_) outputWindow_->End(exitCode);
}

QWidget* TForm1::ProgramOutput() const {
    return outputWindow_;
}

}  // namespace tq9
