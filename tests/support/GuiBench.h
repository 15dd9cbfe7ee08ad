#pragma once
// The real main window on the simulated driver and an emulated board, in real time with
// short board delays. An "operator" answers modal dialogs from a timer.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

#include "sim/BoardEmulator.h"
#include "sim/SimDriver.h"
#include "support/TempDir.h"
#include "ui/qt/deviceselect.h"
#include "ui/qt/tq9_remote_main.h"

namespace tq9::test {

// Calls `act` with the first modal window that shows up within ten seconds.
inline void WhenModal(std::function<void(QWidget*)> act) {
    auto* poll = new QTimer;
    poll->setInterval(20);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act, giveUp] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            poll->stop();
            poll->deleteLater();
            act(modal);
        } else if (std::chrono::steady_clock::now() > giveUp) {
            poll->stop();
            poll->deleteLater();
            ADD_FAILURE() << "no modal window appeared";
        }
    });
    poll->start();
}

// Runs `act` once after ms milliseconds of the event loop.
inline void After(int ms, std::function<void()> act) {
    QTimer::singleShot(ms, act);
}

class GuiBench : public ::testing::Test {
  protected:
    GuiBench() {
        board->timing.bootUs = 200'000;
        board->timing.reportUs = 50'000;
    }
    ~GuiBench() override {
        if (form) form->close();
        form.reset();
        QApplication::processEvents();
    }

    void Start(bool withAvrdude = false) {
        if (withAvrdude) programDir.Touch(Avrdude());
        TForm1::Setup setup;
        setup.driver = &sim::SimDriver::Table();
        setup.driverLoadFailure = driverFailure;
        setup.programDirectory = programDir.WithSeparator();
        setup.driverNotes = [this] { return driverNotes; };
        setup.records = records;
        setup.line = line;
        form = std::make_unique<TForm1>(setup);
        dialog = new Tdeviceselectbox(form.get());  // owned by the window
        form->SetDeviceDialog(dialog);
        form->show();
        QApplication::processEvents();
    }
    RecordSink records;             // none kept unless a test gives a store
    LineForwarder* line = nullptr;  // no line status unless a test gives a forwarder
    static std::string Avrdude() {
#if defined(_WIN32)
        return "avrdude.exe";
#else
        return "avrdude";
#endif
    }
    // The device flow, with the operator confirming the dialog's first row.
    void RunDeviceFlow() {
        WhenModal([this](QWidget* modal) {
            if (modal == dialog) dialog->OKButton->click();
        });
        form->BtnRescan->click();
    }
    QStringList Memo() const {
        return form->Memo1->toPlainText().split('\n');
    }
    // From now on the operator confirms every message box (keeping its text) and takes
    // the device dialog's first row.
    void AnswerEveryDialog() {
        operatorHand.setInterval(20);
        QObject::connect(&operatorHand, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible()) return;
            if (modal == dialog) {
                dialog->OKButton->click();
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                answered << box->text();
                box->accept();
            }
        });
        operatorHand.start();
    }

    sim::RealClock clock;
    sim::SimDriver driver{clock};
    std::shared_ptr<sim::BoardEmulator> board = std::make_shared<sim::BoardEmulator>();
    sim::VirtualCable& cable = driver.AddCable("TQ9A0001", "TTL232R-5V", board);
    TempDir programDir;
    std::string driverFailure;
    std::string driverNotes;
    std::unique_ptr<TForm1> form;
    Tdeviceselectbox* dialog = nullptr;
    QTimer operatorHand;
    QStringList answered;
};

}  // namespace tq9::test
