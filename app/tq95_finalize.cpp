// Program entry: the main window, then the device selection dialog, then the message loop
// until the main window closes. No command-line options, environment or settings.

#include <QApplication>

#include "ui/deviceselect.h"
#include "ui/services/Platform.h"
#include "ui/tq9_remote_main.h"
#include "usb/FTDIdll.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(tq9::kApplicationTitle);

    const std::string programDirectory = tq9::ExecutableDirectory();
    const auto driver = tq9::D2xxLibrary::Load(programDirectory);

    tq9::TForm1 form(
        {&driver->Table(), driver->FailureReason(), programDirectory, {}, nullptr, [&] {
             return driver->Notes();
         }});
    tq9::Tdeviceselectbox deviceselectbox(&form);
    form.SetDeviceDialog(&deviceselectbox);
    form.show();
    return application.exec();
}
