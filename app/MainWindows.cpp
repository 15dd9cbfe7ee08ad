#include "app/MainWindows.h"

namespace tq9 {

MainWindows CreateMainWindows(const std::string& programDirectory) {
    MainWindows windows;
    windows.driver = D2xxLibrary::Load(programDirectory);
    D2xxLibrary* driver = windows.driver.get();
    TForm1::Setup setup;
    setup.driver = &driver->Table();
    setup.driverLoadFailure = driver->FailureReason();
    setup.programDirectory = programDirectory;
    setup.driverNotes = [driver] { return driver->Notes(); };
    windows.form = std::make_unique<TForm1>(setup);
    windows.deviceselectbox = new Tdeviceselectbox(windows.form.get());
    windows.form->SetDeviceDialog(windows.deviceselectbox);
    return windows;
}

}  // namespace tq9
