// Program entry: the main window, then the device selection dialog, then the message loop
// until the main window closes. No command-line options, environment or settings.

#include <QApplication>

#include "app/MainWindows.h"
#include "base/Platform.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(tq9::kApplicationTitle);
    tq9::MainWindows windows = tq9::CreateMainWindows(tq9::ExecutableDirectory());
    windows.form->show();
    return application.exec();
}
