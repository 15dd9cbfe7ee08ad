// The demo's walk-through on a machine without a display: starts the window on the demo
// bench (the simulated driver and avrdude's stand-in beside it), runs the device flow
// against the emulated board choosing the first cable, saves a picture of the window,
// then runs a production run confirming every dialog, and prints the console and dialogs.

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "app/MainWindows.h"
#include "base/Platform.h"

namespace {
void Print(const char* heading, const QString& text) {
    std::printf("==== %s\n%s\n\n", heading, text.toLocal8Bit().constData());
}
}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(tq9::kApplicationTitle);
    const QString picture = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "demo.png";
    const QString dialogPicture = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    QString productionPicture = picture;
    productionPicture.replace(".png", "-production.png");

    tq9::MainWindows windows = tq9::CreateMainWindows(tq9::ExecutableDirectory());
    tq9::TForm1& form = *windows.form;
    tq9::Tdeviceselectbox& deviceselectbox = *windows.deviceselectbox;
    form.show();

    // The operator: confirms the first cable in the device dialog, and every message box.
    QStringList dialogs;
    QTimer operatorHand;
    operatorHand.setInterval(300);
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        if (deviceselectbox.isVisible()) {
            if (!dialogPicture.isEmpty()) deviceselectbox.grab().save(dialogPicture);
            deviceselectbox.OKButton->click();
        } else if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            dialogs << box->text();
            box->accept();
        }
    });
    operatorHand.start();

    QTimer::singleShot(500, [&] {
        form.BtnRescan->click();  // the device flow runs to its end here
        QTimer::singleShot(700, [&] {
            const bool saved = form.grab().save(picture);
            Print("Console after the device flow", form.Memo1->toPlainText());
            std::printf("Window picture %s: %s\n\n", saved ? "saved" : "NOT saved",
                        picture.toLocal8Bit().constData());

            form.ProdProg->click();  // the production run, every dialog confirmed
            Print("Console after the production run", form.Memo1->toPlainText());
            Print("Dialogs the operator confirmed", dialogs.join("\n--\n"));
            QTimer::singleShot(300, [&] {
                if (QScreen* screen = QGuiApplication::primaryScreen()) {
                    screen->grabWindow(0).save(productionPicture);
                }
                form.close();
                application.quit();
            });
        });
    });
    return application.exec();
}
