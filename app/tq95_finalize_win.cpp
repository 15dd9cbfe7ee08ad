// The Windows program's entry: the main window, then the device selection dialog, then the
// message loop until the main window closes. The records, the driver (beside the program
// first) and the line's settings are wired as in the Qt program.

#include <windows.h>

#include <memory>

#include "app/BenchDirectory.h"
#include "base/Platform.h"
#include "line/LineSettings.h"
#include "ops/MainWindowOps.h"
#include "ui/win32/DeviceSelectDialog.h"
#include "ui/win32/Dpi.h"
#include "ui/win32/MainWindow.h"
#include "usb/FTDIdll.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    tq9::win32::DeclareDpiAwareness();
    const std::string programDirectory = tq9::BenchDirectory();
    // Both outlive the window, which writes records and closes the cable as it goes.
    const tq9::LineSettings line =
        tq9::ReadLineSettings(tq9::RecordsSettingsPaths(), tq9::HostName());
    tq9::OpenedRecords records = tq9::OpenRecords(tq9::DefaultRecordsPath(), "tq9-bench", line);
    const std::unique_ptr<tq9::D2xxLibrary> driver = tq9::D2xxLibrary::Load(programDirectory);

    tq9::TForm1::Setup setup;
    setup.driver = &driver->Table();
    setup.driverLoadFailure = driver->FailureReason();
    setup.driverInUse = driver->InUseLine();
    setup.programDirectory = programDirectory;
    setup.records = records.sink;
    setup.line = records.line.get();
    setup.driverNotes = [&driver] { return driver->Notes(); };
    setup.startupWarnings = line.problems;
    tq9::TForm1 form(setup);
    tq9::Tdeviceselectbox deviceselectbox(form.Handle());
    form.SetDeviceDialog(&deviceselectbox);
    form.Show(showCommand);
    return form.RunMessageLoop();
}
