#include "app/MainWindows.h"

#include <QApplication>
#include <QIcon>

#include "base/Platform.h"

namespace tq9 {

void SetUpApplication() {
    // The window's class and the Wayland app id match the desktop entry tq9-bench.desktop,
    // so the desktop shows the entry's name and icon for the running window.
    QApplication::setApplicationName("tq9-bench");
    QGuiApplication::setDesktopFileName("tq9-bench");
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QString(":/icons/tq9-bench-%1.png").arg(size), QSize(size, size));
    }
    QApplication::setWindowIcon(icon);
}

MainWindows CreateMainWindows(const std::string& programDirectory, const std::string& recordsPath) {
    MainWindows windows;
    const LineSettings line = ReadLineSettings(RecordsSettingsPaths(), HostName());
    windows.records = OpenRecords(recordsPath, "tq9-bench", line);
    windows.driver = D2xxLibrary::Load(programDirectory);
    D2xxLibrary* driver = windows.driver.get();
    TForm1::Setup setup;
    setup.driver = &driver->Table();
    setup.driverLoadFailure = driver->FailureReason();
    setup.driverInUse = driver->InUseLine();
    setup.programDirectory = programDirectory;
    setup.records = windows.records.sink;
    setup.line = windows.records.line.get();
    setup.driverNotes = [driver] { return driver->Notes(); };
    setup.startupWarnings = line.problems;
    windows.form = std::make_unique<TForm1>(setup);
    windows.deviceselectbox = new Tdeviceselectbox(windows.form.get());
    windows.form->SetDeviceDialog(windows.deviceselectbox);
    return windows;
}

}  // namespace tq9
