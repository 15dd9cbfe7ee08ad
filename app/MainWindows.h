#pragma once
// The program's two windows as the entry creates them: the driver found beside the
// program (or elsewhere), the main window, then the device selection dialog.

#include <memory>
#include <string>

#include "ui/qt/deviceselect.h"
#include "ui/qt/tq9_remote_main.h"
#include "usb/FTDIdll.h"

namespace tq9 {

struct MainWindows {
    std::unique_ptr<D2xxLibrary> driver;  // outlives the window, which closes the cable
    OpenedRecords records;                // outlives the window, which writes them
    std::unique_ptr<TForm1> form;
    Tdeviceselectbox* deviceselectbox = nullptr;  // owned by the form
};

// The names the desktop knows the program by (its desktop entry, the window's class) and
// its icon; call once the application object exists.
void SetUpApplication();

// `recordsPath`: the board records' database (DefaultRecordsPath() for the program).
MainWindows CreateMainWindows(const std::string& programDirectory, const std::string& recordsPath);

}  // namespace tq9
