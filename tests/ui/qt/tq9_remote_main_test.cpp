// The main window as the operator sees it: start-up state, the device flow from the
// Device button, dialogs, Cancel, the error box, and how operations keep from nesting.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>
#include <QValidator>
#include <QWheelEvent>
#include <fstream>

#include "support/GuiBench.h"

namespace tq9 {
namespace {

class MainWindowTest : public test::GuiBench {};

TEST_F(MainWindowTest, StartUpShowsEveryControlWithItsCaptionHintAndState) {
    Start();
    EXPECT_EQ(form->windowTitle(), "TQ9.5 Dizavavov");
    // The controls' area keeps its size under the Records menu bar.
    const int menu = form->menuBar()->sizeHint().height();
    EXPECT_GT(menu, 0);
    EXPECT_EQ(form->size(), QSize(859, 679 + menu));
    EXPECT_EQ(form->minimumSize(), QSize(580, 400 + menu));

    struct Row {
        QPushButton* button;
        const char* caption;
        const char* hint;
        bool enabled;
    };
    const Row buttons[] = {
        {form->BtnRescan, "Device", "Open TQ9 USB Device", true},
        {form->BtnClose, "Close", "Close TQ9 USB Device", true},
        {form->BtnCancel, "Cancel", "Cancel any running process (Esc)", true},
        {form->BtnRefresh, "Reset TQ9", "Get TQ9 board information and display label info", false},
        {form->BtnFPGAprog, "Upd FPGA", "", false},
        {form->BtnFinalize, "Finalize",
         "Send Finalize setting to TQ9 and set Factory Restore Memory", false},
        {form->ProdProg, "Production Prgrm",
         "Complete production program run with DIAMEX ISP programmer and FTDI cable", false},
        {form->BtnAVRonly, "AVR only", "Programs AVR by ISP only, including fuses", false},
        {form->ButtonUpStream, "Upstream Core File", "Read temporary ScanCore and send it to FPGA",
         true},
    };
    for (const Row& row : buttons) {
        EXPECT_EQ(row.button->text(), row.caption);
        EXPECT_EQ(row.button->statusTip(), row.hint) << row.caption;
        EXPECT_EQ(row.button->isEnabled(), row.enabled) << row.caption;
        EXPECT_EQ(row.button->toolTip().isEmpty(), row.button != form->BtnFinalize)
            << row.caption << ": only Finalize shows its hint as a tooltip";
    }
    EXPECT_TRUE(form->BtnRescan->isVisible());
    EXPECT_FALSE(form->BtnClose->isVisible());
    EXPECT_EQ(form->BtnCancel->focusPolicy(), Qt::NoFocus);

    struct Field {
        QLineEdit* edit;
        const char* text;
        const char* hint;
        bool readOnly;
    };
    const Field fields[] = {
        {form->DeviceView, "(not selected)", "", true},
        {form->EditSerialNumber, "0", "Serial Number readout from TQ9", false},
        {form->FPGAversion, "00000000", "FPGA config (Sound Engine) version readout from TQ9",
         true},
        {form->EditFirmwareVersion, "0", "AVR controller firmware version readout from TQ9", true},
        {form->EditDiamex, "0",
         "Enter COM Port number of DIAMEX ISP programmer (named ERFOS-S in windows device "
         "manager COM&LPT)",
         false},
        {form->EditFTDIdevice, "-1", "Selected FTDI device last used", true},
        {form->EditFTDIcom, "0", "Selected FTDI device last used", true},
        {form->EditCoreNumber, "0", "Start Param Number", false},
    };
    for (const Field& field : fields) {
        EXPECT_EQ(field.edit->text(), field.text) << field.edit->objectName().toStdString();
        EXPECT_EQ(field.edit->statusTip(), field.hint) << field.edit->objectName().toStdString();
        EXPECT_EQ(field.edit->isReadOnly(), field.readOnly)
            << field.edit->objectName().toStdString();
    }
    int position = 0;
    QString digits = "12a";
    EXPECT_EQ(form->EditCoreNumber->validator()->validate(digits, position), QValidator::Invalid);
    digits = "123";
    EXPECT_EQ(form->EditCoreNumber->validator()->validate(digits, position),
              QValidator::Acceptable);

    EXPECT_EQ(form->BoardGroup->title(), "TQ9 Board Info");
    EXPECT_EQ(form->BoardGroup->statusTip(), "Informations read from TQ9 board connected");
    EXPECT_EQ(form->ProductionGroup->title(), "OEM Production Programming with ISP ");
    EXPECT_EQ(form->TestGroup->title(), "Test Procedures");

    EXPECT_FALSE(form->ComboBoxScanDetected->isEnabled());
    EXPECT_EQ(form->ComboBoxScanDetected->currentText(), "MIDI input");
    EXPECT_EQ(form->ComboBoxScanDetected->statusTip(), "ScanCore  readout from TQ9");
    EXPECT_EQ(form->ComboBox1->currentIndex(), 0);
    EXPECT_EQ(form->ComboBox1->itemText(1), "MPX Taperr + ContUpr");
    EXPECT_EQ(form->ComboBox1->count(), 8);
    EXPECT_FALSE(form->dd_FirmwareType->isEnabled());
    EXPECT_EQ(form->dd_FirmwareType->currentText(), "TQ9gen3_ed2_b.hex");
    EXPECT_EQ(form->dd_FirmwareType->itemText(6), QString(30, '-'));
    EXPECT_EQ(form->ProgressBar1->value(), 0);

    EXPECT_EQ(Memo(),
              (QStringList{"Welcome to TQ9 Remote!",
                           QString::fromStdString("##### Error: Missing file " + Avrdude())}));
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 10);
}

TEST_F(MainWindowTest, WithAvrdudeBesideTheProgramTheProductionControlsAreEnabled) {
    Start(true);
    EXPECT_EQ(Memo(), QStringList{"Welcome to TQ9 Remote!"});
    EXPECT_TRUE(form->ProdProg->isEnabled());
    EXPECT_TRUE(form->BtnAVRonly->isEnabled());
    EXPECT_TRUE(form->dd_FirmwareType->isEnabled());
}

TEST_F(MainWindowTest, TheBusyLampLightsAtStartAndGoesDarkHalfASecondLater) {
    Start();
    const QColor lit(255, 16, 0), dark(32, 0, 0);
    EXPECT_EQ(form->LEDbusy->palette().color(QPalette::Window), lit);
    QEventLoop wait;
    test::After(900, [&] { wait.quit(); });
    wait.exec();
    EXPECT_EQ(form->LEDbusy->palette().color(QPalette::Window), dark);
}

TEST_F(MainWindowTest, DeviceFlowFromTheDeviceButtonToAnIdentifiedBoard) {
    Start();
    RunDeviceFlow();
    const QStringList memo = Memo();
    ASSERT_GE(memo.size(), 17);
    EXPECT_EQ(memo[0], "Using FTDI Device #0 on COM port #0");
    EXPECT_EQ(memo[2], "RLD");
    EXPECT_EQ(memo[7], "254=3.65 [AVR, TQ95-Organ]") << "the reply's CR is not shown";
    EXPECT_TRUE(memo.contains("Serial Number: 12345"));
    EXPECT_TRUE(memo.contains("Scan Version: MIDI input"));
    EXPECT_EQ(form->DeviceView->text(), "TQ9A0001 - TTL232R-5V on COM0");
    EXPECT_EQ(form->EditFTDIdevice->text(), "0");
    EXPECT_EQ(form->EditFTDIcom->text(), "0");
    EXPECT_EQ(form->EditSerialNumber->text(), "12345");
    EXPECT_EQ(form->FPGAversion->text(), "0813A7C2");
    EXPECT_EQ(form->EditFirmwareVersion->text(), "3.65");
    EXPECT_TRUE(form->BtnClose->isVisible());
    EXPECT_FALSE(form->BtnRescan->isVisible());
    EXPECT_TRUE(form->BtnRefresh->isEnabled());
    EXPECT_TRUE(form->BtnFPGAprog->isEnabled());
    EXPECT_TRUE(form->BtnFinalize->isEnabled());
    EXPECT_EQ(dialog->ListView1->topLevelItemCount(), 1);

    form->BtnClose->click();
    EXPECT_EQ(Memo().mid(Memo().size() - 2),
              (QStringList{"Closed FTDI device. Ready to unplug USB cable from PC.", ""}));
    EXPECT_EQ(form->DeviceView->text(), "(not selected)");
    EXPECT_TRUE(form->BtnRescan->isVisible());
    EXPECT_FALSE(form->BtnRefresh->isEnabled());
}

// The row the operator picks in the cable dialog is the cable opened, read once the dialog
// has closed.
TEST_F(MainWindowTest, TheDeviceFlowOpensTheRowTheOperatorPicked) {
    driver.AddCable("FT5X2K9Q", "FT232R USB UART", std::make_shared<sim::BoardEmulator>());
    Start();
    test::WhenModal([this](QWidget* modal) {
        ASSERT_EQ(modal, dialog);
        dialog->SelectRow(1);
        dialog->OKButton->click();
    });
    form->BtnRescan->click();
    EXPECT_EQ(form->EditFTDIdevice->text(), "1");
    EXPECT_EQ(form->DeviceView->text(), "FT5X2K9Q - FT232R USB UART on COM0");
    EXPECT_EQ(Memo().first(), "Using FTDI Device #1 on COM port #0");
}

TEST_F(MainWindowTest, NoCableRingsShowsTheMessageAndChangesNoButton) {
    cable.plugged = false;
    Start();
    QString shown;
    test::WhenModal([&](QWidget* modal) {
        shown = static_cast<QMessageBox*>(modal)->text();
        modal->close();
    });
    form->BtnRescan->click();
    EXPECT_EQ(shown, "No FTDI cable or TQ9 USB extension found!");
    EXPECT_EQ(form->SoundRequests(), 1);
    EXPECT_EQ(Memo().last(), "Open FTDI device...");
    EXPECT_TRUE(form->BtnRescan->isVisible());
    EXPECT_FALSE(form->BtnRefresh->isEnabled());
}

TEST_F(MainWindowTest, NoDriverLibraryNamesWhatWasLookedFor) {
    driverFailure = "The FTDI driver library libftd2xx.so could not be loaded.";
    Start();
    form->Context().BoardLink.driver = &UnavailableDriverTable();
    QString shown;
    test::WhenModal([&](QWidget* modal) {
        shown = static_cast<QMessageBox*>(modal)->text();
        modal->close();
    });
    form->BtnRescan->click();
    EXPECT_EQ(shown,
              "No FTDI cable or TQ9 USB extension found!\n\nThe FTDI driver library "
              "libftd2xx.so could not be loaded.");
}

TEST_F(MainWindowTest, ABoardThatAnswersOnlyAtTheFourthPollIsClosedAgain) {
    board->faults.readyFromPoll = 4;
    Start();
    RunDeviceFlow();
    EXPECT_EQ(Memo(), (QStringList{"Using FTDI Device #0 on COM port #0", "",
                                   "No response from TQ9 serial port driver!",
                                   "TQ9 Board might be new or empty. Otherwise, ",
                                   "try unplugging USB cable from PC and reconnect.",
                                   "Closed FTDI device. Ready to unplug USB cable from PC.", ""}));
    EXPECT_EQ(form->SoundRequests(), 1);
    EXPECT_TRUE(form->BtnRescan->isVisible());
    EXPECT_FALSE(cable.IsOpen());
}

TEST_F(MainWindowTest, CancelWhileNothingRunsWritesItsWarningAtOnce) {
    Start();
    form->BtnCancel->click();
    EXPECT_EQ(Memo().last(), "##### Warning: Process cancelled by user");
    EXPECT_EQ(form->Context().CancelRequested, 1);
}

TEST_F(MainWindowTest, AnUnconvertibleReplyEndsInTheErrorBox) {
    board->faults.replyOverride[254] = "254=3.65[AVR, X]";
    Start();
    QString title, text;
    test::WhenModal([&](QWidget* modal) {
        if (modal != dialog) return;
        dialog->OKButton->click();
        test::WhenModal([&](QWidget* box) {
            title = box->windowTitle();
            text = static_cast<QMessageBox*>(box)->text();
            box->close();
        });
    });
    form->BtnRescan->click();
    EXPECT_EQ(title, "tq95_finalize");
    EXPECT_EQ(text, QString::fromUtf8("'3.65[AVR,' ist kein g\u00fcltiger Gleitkommawert."));
    EXPECT_FALSE(form->OperationRunning());
    EXPECT_TRUE(form->BtnClose->isVisible()) << "the open link can be closed";
}

TEST_F(MainWindowTest, ASecondOperationIsRefusedWhileOneRuns) {
    Start();
    QString status;
    bool wasRunning = false;
    test::WhenModal([&](QWidget* modal) {
        dialog->OKButton->click();
        (void)modal;
        test::After(600, [&] {
            wasRunning = form->OperationRunning();
            form->BtnCloseClick();  // as if Close were clicked during the identification
            status = form->statusBar()->currentMessage();
        });
    });
    form->BtnRescan->click();
    EXPECT_TRUE(wasRunning);
    EXPECT_EQ(status, "An operation is running. Wait for it to end, or press Cancel.");
    EXPECT_TRUE(form->Context().BoardLink.connected) << "Close did not run";
    EXPECT_TRUE(Memo().contains("Scan Version: MIDI input")) << "the flow ran to its end";
}

TEST_F(MainWindowTest, ClosingTheWindowDuringAnOperationCancelsAndClosesAfterwards) {
    Start();
    bool visibleAfterClose = false;
    test::WhenModal([&](QWidget*) {
        dialog->OKButton->click();
        test::After(600, [&] {
            form->close();
            visibleAfterClose = form->isVisible();
        });
    });
    form->BtnRescan->click();
    EXPECT_TRUE(visibleAfterClose) << "the window waits for the operation";
    EXPECT_TRUE(Memo().contains("##### Warning: Process cancelled by user"));
    QApplication::processEvents();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->Context().CancelRequested, 1);
    EXPECT_EQ(form->Context().BoardLink.device, nullptr) << "shutdown released the device";
    EXPECT_FALSE(cable.IsOpen());
}

}  // namespace
}  // namespace tq9

namespace tq9 {
namespace {

class MaintenanceWindowTest : public test::GuiBench {
  protected:
    void SetUp() override {
        Start();
        RunDeviceFlow();
        ASSERT_TRUE(form->Context().BoardLink.connected);
        cable.written.clear();
    }
    std::string Wire() const { return std::string(cable.written.begin(), cable.written.end()); }
};

TEST_F(MaintenanceWindowTest, PickingATestPortSendsItsNumberButSettingItInCodeDoesNot) {
    form->ComboBox1->setCurrentIndex(3);  // not the operator: nothing is sent
    QApplication::processEvents();
    EXPECT_EQ(Wire(), "");
    const QStringList before = Memo();
    emit form->ComboBox1->activated(7);  // what a pick in the list emits
    EXPECT_EQ(Wire(), "65=7\r");
    EXPECT_EQ(Memo(), before);
}

TEST_F(MaintenanceWindowTest, FinalizeFromItsButton) {
    form->BtnFinalize->click();
    const QStringList memo = Memo();
    EXPECT_TRUE(memo.contains("Finalizing..."));
    EXPECT_TRUE(memo.contains("#EPS done"));
    EXPECT_EQ(memo.last(), "#DSP done");
}

// Esc, the focus in the console, cancels as the Cancel button does: shown at once, and
// the board's report is not cut.
TEST_F(MaintenanceWindowTest, EscDuringAFinalizeReportIsShownAtOnceAndCutsNothing) {
    QApplication::setActiveWindow(form.get());
    form->Memo1->setFocus();
    board->timing.reportUs = 1'500'000;  // report lines seconds apart, as a real board's
    QTimer operatorHand;
    operatorHand.setInterval(10);
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        if (Memo().last() == "Storing factory defaults...") {
            operatorHand.stop();
            QTest::keyClick(form->Memo1, Qt::Key_Escape);
        }
    });
    operatorHand.start();
    form->BtnFinalize->click();
    const QStringList memo = Memo();
    const QStringList tail = memo.mid(memo.indexOf("Save Factory Defaults..."));
    EXPECT_EQ(tail, (QStringList{"Save Factory Defaults...", "EPS=9!",
                                 "Storing factory defaults...", kCancelWarning, "#EPS done",
                                 "Program transfer to Reverb DSP...", "9960=10!",
                                 "Reverb DSP program transfer...", "DSP verify OK", "#DSP done"}));
    EXPECT_EQ(cable.Queued(), 0u);
}

TEST_F(MaintenanceWindowTest, UploadFromTheButtonThroughTheFileDialog) {
    const std::string bytes = "ABCDEFGHIJKL";  // three words
    std::ofstream(programDir.File("scan.dat"), std::ios::binary) << bytes;
    form->EditCoreNumber->setText("2");
    QString title;
    test::WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        // The dialog starts in the program's directory, where the file is; the operator
        // types its name.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText("scan.dat");
        QMetaObject::invokeMethod(dialog, "accept");
    });
    form->ButtonUpStream->click();
    EXPECT_EQ(title, "Open DAT File:");
    const std::string wire = Wire();
    EXPECT_NE(wire.find("8902=3!\r"), std::string::npos);
    EXPECT_EQ(wire.substr(wire.find("!\r") + 2), bytes);
    const QStringList memo = Memo();
    EXPECT_TRUE(memo.contains("### 3 Longwords read."));
    EXPECT_TRUE(memo.contains("### 12 Bytes sent."));
    EXPECT_TRUE(memo.last().startsWith("Core 2 loaded: 3 words"));
    EXPECT_EQ(form->ProgressBar1->value(), 0);
}

// Through an upload the window paints (the bar) and its timers run (the lamp's, and
// anyone's), between words and without cutting them: every word still goes out.
TEST_F(MaintenanceWindowTest, TheWindowPaintsAndRunsItsTimersThroughAnUpload) {
    constexpr int kWords = 400;  // 0.4 s at 1 ms a word
    std::ofstream(programDir.File("long.dat"), std::ios::binary) << std::string(kWords * 4, '\x5A');
    test::WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText("long.dat");
        QMetaObject::invokeMethod(dialog, "accept");
    });
    struct Counter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } bar;
    form->ProgressBar1->installEventFilter(&bar);
    int ticks = 0, paintsWhileSending = 0;
    QTimer clock;
    clock.setInterval(10);
    QObject::connect(&clock, &QTimer::timeout, [&] {
        ++ticks;
        if (form->ProgressBar1->value() > 0) paintsWhileSending = bar.paints;
    });
    clock.start();
    form->ButtonUpStream->click();
    clock.stop();
    EXPECT_GE(ticks, 10) << "the timers ran through the words";
    EXPECT_GE(paintsWhileSending, 2) << "the bar was painted while the words went out";
    const std::string wire = Wire();
    EXPECT_EQ(wire.substr(wire.find("!\r") + 2), std::string(kWords * 4, '\x5A'));
    EXPECT_TRUE(Memo().contains(QString("### %1 Bytes sent.").arg(kWords * 4)));
}

TEST_F(MaintenanceWindowTest, ACancelledFileDialogLeavesConsoleAndBarAlone) {
    const QStringList before = Memo();
    test::WhenModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    form->ButtonUpStream->click();
    EXPECT_EQ(Memo(), before);
    EXPECT_EQ(form->ProgressBar1->value(), 0);
    EXPECT_EQ(Wire(), "");
}

TEST_F(MaintenanceWindowTest, AnEmptyFileLeavesAnIdleEmptyBar) {
    std::ofstream(programDir.File("empty.dat"), std::ios::binary);
    test::WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText("empty.dat");
        QMetaObject::invokeMethod(dialog, "accept");
    });
    form->ButtonUpStream->click();
    EXPECT_TRUE(Memo().contains("### 0 Longwords read."));
    EXPECT_GT(form->ProgressBar1->maximum(), form->ProgressBar1->minimum())
        << "a range of 0 is Qt's busy animation";
    EXPECT_EQ(form->ProgressBar1->value(), 0);
}

TEST_F(MainWindowTest, StartUpFontsColoursAndPlace) {
    Start();
    EXPECT_EQ(form->pos(), QPoint(50, 100));
    EXPECT_EQ(form->font().family(), "Arial");
    EXPECT_EQ(form->font().pixelSize(), 12);
    EXPECT_EQ(form->Memo1->font().pixelSize(), 12);
    // Lucida Console, or a fixed-pitch font where it is missing, whatever fonts are installed.
    EXPECT_TRUE(QFontInfo(form->Memo1->font()).fixedPitch())
        << QFontInfo(form->Memo1->font()).family().toStdString();
    struct Row {
        QWidget* widget;
        QPalette::ColorRole role;
        QColor colour;
    };
    const Row rows[] = {
        {form->BtnRescan, QPalette::ButtonText, QColor(255, 0, 0)},
        {form->BtnCancel, QPalette::ButtonText, QColor(255, 0, 0)},
        {form->BtnRefresh, QPalette::ButtonText, QColor(0, 128, 0)},
        {form->BtnFPGAprog, QPalette::ButtonText, QColor(255, 0, 0)},
        {form->BtnFinalize, QPalette::ButtonText, QColor(255, 128, 0)},
        {form->ProdProg, QPalette::ButtonText, QColor(255, 0, 0)},
        {form->FPGAversion, QPalette::Text, QColor(255, 0, 255)},
        {form->EditFirmwareVersion, QPalette::Text, QColor(0, 0, 255)},
        {form->ComboBox1, QPalette::Text, QColor(0, 0, 255)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.widget->objectName().toStdString());
        EXPECT_EQ(row.widget->palette().color(QPalette::Active, row.role), row.colour);
        EXPECT_TRUE(row.widget->font().bold());
    }
    EXPECT_TRUE(form->DeviceView->font().bold());
}

TEST_F(MainWindowTest, AtTheMinimumSizeEveryControlKeepsItsHeight) {
    Start();
    form->resize(form->minimumSize());
    QApplication::processEvents();
    ASSERT_EQ(form->size(), QSize(580, 400 + form->menuBar()->sizeHint().height()));
    for (QWidget* control : std::initializer_list<QWidget*>{
             form->dd_FirmwareType, form->ProdProg, form->BtnAVRonly, form->EditDiamex,
             form->EditFTDIdevice, form->EditFTDIcom, form->EditSerialNumber, form->FPGAversion,
             form->EditFirmwareVersion, form->ButtonUpStream, form->EditCoreNumber, form->ComboBox1,
             form->BtnRefresh}) {
        EXPECT_GE(control->height(), control->minimumSizeHint().height())
            << control->objectName().toStdString();
    }
}

// The keyboard alone: the window starts on Device; Tab leaves the console, where what is
// typed stays on the screen and never becomes one of the console's lines (nor a record's);
// Esc is Cancel wherever the focus is.
TEST_F(MainWindowTest, TheKeyboardAloneStartsOnDeviceLeavesTheConsoleAndCancels) {
    Start();
    QApplication::setActiveWindow(form.get());
    EXPECT_EQ(form->focusWidget(), form->BtnRescan);
    const std::vector<std::string> lines = form->Context().console.Lines();
    form->Memo1->setFocus();
    QTest::keyClicks(form->Memo1, "a note");
    QTest::keyClick(form->Memo1, Qt::Key_Tab);
    EXPECT_NE(form->focusWidget(), form->Memo1);
    EXPECT_TRUE(form->Memo1->toPlainText().contains("a note"));
    EXPECT_FALSE(form->Memo1->toPlainText().contains('\t'));
    EXPECT_EQ(form->Context().console.Lines(), lines);

    form->Memo1->setFocus();
    QTest::keyClick(form->Memo1, Qt::Key_Escape);
    EXPECT_EQ(Memo().last(), kCancelWarning) << "as a click on Cancel while nothing runs";

    // Enter on Device starts the device flow; Enter in its dialog opens the cable.
    test::WhenModal([this](QWidget* modal) {
        if (modal == dialog) QTest::keyClick(dialog->ListView1, Qt::Key_Return);
    });
    form->BtnRescan->setFocus();
    QTest::keyClick(form->BtnRescan, Qt::Key_Return);
    EXPECT_TRUE(form->BtnClose->isVisible());
    EXPECT_TRUE(cable.IsOpen());
}

// A 1024 x 768 screen with a 40-pixel task bar: the window moves and shrinks inside it; on
// a screen where its place fits, it stays there.
TEST_F(MainWindowTest, OnASmallScreenTheWindowIsPlacedInsideIt) {
    Start();
    const QRect start = form->frameGeometry();
    form->PlaceInside(QRect(0, 0, 1920, 1040));
    EXPECT_EQ(form->frameGeometry(), start);

    const QRect small(0, 0, 1024, 728);
    form->PlaceInside(small);
    QApplication::processEvents();
    const QRect placed = form->frameGeometry();
    EXPECT_TRUE(small.contains(placed))
        << placed.x() << "," << placed.y() << " " << placed.width() << "x" << placed.height();
    EXPECT_EQ(form->width(), 859) << "the width fitted";
    EXPECT_EQ(placed.x(), start.x()) << "and so did the left edge";
    EXPECT_GE(form->height(), form->minimumHeight());
}

// At the minimum size, with the left column scrolled to its end, Device, Cancel and the
// busy lamp are still in view: they are not in the part that scrolls.
TEST_F(MainWindowTest, AtTheMinimumSizeDeviceCancelAndTheLampStayInView) {
    Start();
    form->resize(form->minimumSize());
    QApplication::processEvents();
    auto* column = form->findChild<QScrollArea*>("LeftColumn");
    ASSERT_TRUE(column);
    ASSERT_GT(column->verticalScrollBar()->maximum(), 0) << "the column does scroll";
    column->verticalScrollBar()->setValue(column->verticalScrollBar()->maximum());
    QApplication::processEvents();
    for (QWidget* control :
         {static_cast<QWidget*>(form->BtnRescan), static_cast<QWidget*>(form->BtnCancel),
          static_cast<QWidget*>(form->LEDbusy)}) {
        SCOPED_TRACE(control->objectName().toStdString());
        EXPECT_TRUE(control->isVisible());
        EXPECT_FALSE(column->isAncestorOf(control));
        const QRect shown(control->mapTo(form.get(), QPoint(0, 0)), control->size());
        EXPECT_TRUE(form->rect().contains(shown));
    }
    EXPECT_TRUE(column->isAncestorOf(form->ButtonUpStream));

    // A wheel turned over a drop-down list on the way scrolls the column: the firmware
    // image and the test port stay as they were (a test-port change would start).
    form->dd_FirmwareType->setEnabled(true);
    for (QComboBox* list : {form->dd_FirmwareType, form->ComboBox1}) {
        SCOPED_TRACE(list->objectName().toStdString());
        const int index = list->currentIndex();
        const int scrolled = column->verticalScrollBar()->value();
        QWheelEvent up(QPointF(5, 5), list->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                       Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(list, &up);
        EXPECT_EQ(list->currentIndex(), index);
        EXPECT_LT(column->verticalScrollBar()->value(), scrolled);
        column->verticalScrollBar()->setValue(column->verticalScrollBar()->maximum());
    }
}

TEST_F(MainWindowTest, ABoardTextOutsideAsciiReadsTheSameInTheDialogAndTheDeviceView) {
    cable.description = "TTL232R-\xE4V";  // the driver's bytes: a-umlaut in the code page
    Start();
    RunDeviceFlow();
    ASSERT_EQ(dialog->ListView1->topLevelItemCount(), 1);
    EXPECT_EQ(dialog->ListView1->topLevelItem(0)->text(2), QString::fromUtf8("TTL232R-\u00e4V"));
    EXPECT_EQ(form->DeviceView->text(), QString::fromUtf8("TQ9A0001 - TTL232R-\u00e4V on COM0"));
}

TEST_F(MainWindowTest, LongTextsShowTheirStartAndTheConsoleWraps) {
    Start();
    form->SetFieldText(Field::DeviceView, "FT5X2K9Q - FT232R USB UART on COM31");
    EXPECT_EQ(form->DeviceView->cursorPosition(), 0) << "the serial's start shows";
    const int textWidth =
        form->DeviceView->fontMetrics().horizontalAdvance(form->DeviceView->text());
    EXPECT_GE(form->DeviceView->contentsRect().width(), textWidth) << "and the whole of it fits";
    const QString longer = QString::fromUtf8(
        "FT5X2K9Q - TQ9 organ module, service cable of the second workshop (spare) on COM31");
    form->SetFieldText(Field::DeviceView, longer.toStdString());
    EXPECT_EQ(form->DeviceView->toolTip(), longer) << "what does not fit is read in its tooltip";
    form->ConsoleLineAdded(std::string(400, 'x'));
    QApplication::processEvents();
    EXPECT_EQ(form->Memo1->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_FALSE(form->Memo1->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(form->Memo1->verticalScrollBar()->isVisible());
}

}  // namespace
}  // namespace tq9
