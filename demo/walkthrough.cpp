// The demo's walk-through on a machine without a display: starts the window on the demo
// bench (the simulated driver beside it), runs the device flow against the emulated board
// choosing the first cable, saves a picture of the window, then runs a production run
// confirming every dialog, and prints the console and dialogs. Where the bench has the
// emulated DIAMEX programmer, it is started on a pseudo-terminal for the run, the
// "DIAMEX COM Port" field names it, and avrdude (the real one where installed) programs it.

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <string>

#include "app/MainWindows.h"
#include "base/Platform.h"

#if !defined(_WIN32)
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "sim/ServerProcess.h"
#endif

namespace {
void Print(const char* heading, const QString& text) {
    std::printf("==== %s\n%s\n\n", heading, text.toLocal8Bit().constData());
}

void PrintRecords(tq9::RecordStore* store) {
    if (!store) {
        std::printf("==== No board records kept\n\n");
        return;
    }
    std::printf("==== Board records in %s (newest first)\n", store->Path().c_str());
    std::string whyNot;
    tq9::RecordFilter newest;
    newest.limit = 10;
    for (const tq9::OperationRecord& r : store->Find(newest, whyNot)) {
        std::printf("%s  %-16s %-12s cable %s  board %s  %s %s  %s%s%s\n", r.started.c_str(),
                    r.operation.c_str(), r.outcome.c_str(), r.cableSerial.c_str(),
                    r.boardSerial.c_str(), r.firmwareName.c_str(), r.firmwareVersion.c_str(),
                    r.image.empty() ? "" : "image ", r.image.c_str(),
                    r.reason.empty() ? "" : ("  (" + r.reason + ")").c_str());
        for (const tq9::AvrdudeRunRecord& run : r.avrdudeRuns)
            std::printf("    avrdude exit %d: %s\n", run.exitCode, run.commandLine.c_str());
    }
    if (!whyNot.empty()) std::printf("(%s)\n", whyNot.c_str());
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tq9::SetUpApplication();
    const QString picture = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "demo.png";
    const QString dialogPicture = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    QString productionPicture = picture;
    productionPicture.replace(".png", "-production.png");

    // The walk-through's board records stay in the build folder, not in the user's home.
    const std::string records =
        (std::filesystem::path(tq9::ExecutableDirectory()) / "../demo-records.sqlite3")
            .lexically_normal()
            .string();
    tq9::MainWindows windows = tq9::CreateMainWindows(tq9::ExecutableDirectory(), records);
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

#if !defined(_WIN32)
            // The emulated DIAMEX programmer beside the program, for the run.
            std::unique_ptr<tq9::sim::IspEmulatorProcess> programmer;
            const std::string bench = tq9::ExecutableDirectory();
            if (std::filesystem::exists(bench + "tq9_isp_emulator")) {
                programmer = std::make_unique<tq9::sim::IspEmulatorProcess>(
                    bench + "tq9_isp_emulator",
                    "/dev/shm/tq9-demo-diamex-" + std::to_string(::getpid()), bench + "isp-state");
                form.EditDiamex->setText(QString::fromStdString(programmer->Port()));
            }
#endif
            form.ProdProg->click();  // the production run, every dialog confirmed
            Print("Console after the production run", form.Memo1->toPlainText());
            Print("Dialogs the operator confirmed", dialogs.join("\n--\n"));
            PrintRecords(windows.records.store.get());
            QString recordsPicture = picture;
            recordsPicture.replace(".png", "-records.png");
            if (QWidget* records = form.ShowRecords()) records->grab().save(recordsPicture);
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
