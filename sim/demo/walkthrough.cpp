// The demo's walk-through on a machine without a display: starts the window on the demo
// bench (the simulated driver beside it), runs the device flow against the emulated board
// choosing the first cable, saves a picture of the window and prints the console.

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "ui/deviceselect.h"
#include "ui/services/Platform.h"
#include "ui/tq9_remote_main.h"
#include "usb/FTDIdll.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(tq9::kApplicationTitle);
    const QString picture = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "demo.png";
    const QString dialogPicture = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();

    const std::string programDirectory = tq9::ExecutableDirectory();
    const auto driver = tq9::D2xxLibrary::Load(programDirectory);
    tq9::TForm1 form({&driver->Table(), driver->FailureReason(), programDirectory, {}});
    tq9::Tdeviceselectbox deviceselectbox(&form);
    form.SetDeviceDialog(&deviceselectbox);
    form.show();

    // The operator: confirms the first cable in the device dialog, and any message box.
    QTimer operatorHand;
    operatorHand.setInterval(300);
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        if (deviceselectbox.isVisible()) {
            if (!dialogPicture.isEmpty()) deviceselectbox.grab().save(dialogPicture);
            deviceselectbox.OKButton->click();
        } else if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
    operatorHand.start();

    QTimer::singleShot(500, [&] {
        form.BtnRescan->click();  // the device flow runs to its end here
        QTimer::singleShot(700, [&] {
            const bool saved = form.grab().save(picture);
            std::printf("%s\n", form.Memo1->toPlainText().toLocal8Bit().constData());
            std::printf("\nWindow picture %s: %s\n", saved ? "saved" : "NOT saved",
                        picture.toLocal8Bit().constData());
            form.close();
            application.quit();
        });
    });
    return application.exec();
}
