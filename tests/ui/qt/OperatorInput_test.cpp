// Input that comes at the wrong moment does only what the operator meant, and the board
// records say what the operator did. The real window on the offscreen platform, over a
// real records file; the clicks and keys that must wait for an upload's words come through
// the window system's own queue, as a real click does, so the window holds them as it holds
// a real one.

#include <gtest/gtest.h>

#include <qpa/qwindowsysteminterface.h>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>
#include <QWheelEvent>
#include <filesystem>
#include <fstream>

#include "records/Recorder.h"
#include "support/GuiBench.h"
#include "ui/qt/RecordsWindow.h"

namespace tq9 {
namespace {

class OperatorInputTest : public test::GuiBench {
  protected:
    OperatorInputTest() {
        opened = OpenRecords(programDir.File("records.sqlite3").string(), "tq9-bench");
        records = opened.sink;
    }
    void Open(bool withAvrdude = false) {
        Start(withAvrdude);
        QApplication::setActiveWindow(form.get());
        RunDeviceFlow();
        ASSERT_TRUE(form->Context().BoardLink.connected);
        QApplication::setActiveWindow(form.get());  // again, after the cable dialog
        cable.written.clear();
    }
    std::vector<OperationRecord> Newest(int rows) {
        RecordFilter newest;
        newest.limit = rows;
        std::string whyNot;
        auto found = opened.store->Find(newest, whyNot);
        EXPECT_EQ(whyNot, "");
        return found;
    }
    std::string Wire() const { return std::string(cable.written.begin(), cable.written.end()); }

    // A click on `widget` and a key, queued by the window system as the operator's own.
    void QueueClick(QWidget* widget) {
        const QPointF at = widget->mapTo(form.get(), widget->rect().center());
        QWindow* window = form->windowHandle();
        const QPointF global = form->mapToGlobal(at);
        for (const auto& [type, buttons] :
             {std::pair{QEvent::MouseButtonPress, Qt::MouseButtons(Qt::LeftButton)},
              std::pair{QEvent::MouseButtonRelease, Qt::MouseButtons(Qt::NoButton)}}) {
            QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
                window, at, global, buttons, Qt::LeftButton, type);
        }
    }
    void QueueKey(int key) {
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
                form->windowHandle(), type, key, Qt::NoModifier);
        }
    }
    // Uploads `name` through the file dialog; `duringWords` runs once, from a timer, while
    // the words go out.
    void Upload(const std::string& name, int words, std::function<void()> duringWords = {}) {
        std::ofstream(programDir.File(name), std::ios::binary) << std::string(words * 4, '\x11');
        test::WhenModal([name](QWidget* modal) {
            auto* files = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(files, nullptr);
            files->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(name));
            QMetaObject::invokeMethod(files, "accept");
        });
        QTimer hand;
        hand.setInterval(5);
        bool done = !duringWords;
        QObject::connect(&hand, &QTimer::timeout, [&] {
            if (!done && form->ProgressBar1->value() > words / 4) {
                done = true;
                duringWords();
            }
        });
        hand.start();
        form->ButtonUpStream->click();
        EXPECT_TRUE(done) << "the words went out before the hand came";
    }

    OpenedRecords opened;
};

// A click during an upload waits until the words are out, and is then refused as during
// any other operation; a Cancel pressed meanwhile counts in that upload's record. The next
// upload finds the flag set (its readiness wait ends at the first poll, with the warning)
// and its record says that Cancel came before it.
TEST_F(OperatorInputTest, InputDuringAnUploadIsAnsweredInsideItAndTheRecordsSayWhose) {
    Open();
    Upload("first.dat", 600, [&] {
        QueueClick(form->BtnCancel);
        QueueClick(form->BtnRefresh);
    });
    QApplication::processEvents();  // whatever input is left
    EXPECT_EQ(Wire().find("RLD"), std::string::npos) << "Reset TQ9 never ran";
    EXPECT_EQ(form->statusBar()->currentMessage(), kOperationRunning);
    std::vector<OperationRecord> rows = Newest(2);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].operation, "scan-core upload");
    EXPECT_EQ(rows[0].outcome, kOutcomeCompleted);
    EXPECT_EQ(rows[0].reason, "cancelled after every word was sent");
    EXPECT_EQ(rows[1].operation, "device flow") << "no record of a Reset after it";
    EXPECT_EQ(form->Context().CancelRequested, 1) << "the flag stays until an operation clears it";

    Upload("second.dat", 40);
    rows = Newest(1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].operation, "scan-core upload");
    EXPECT_EQ(rows[0].outcome, kOutcomeCompleted);
    EXPECT_EQ(rows[0].reason, kEarlierCancelReason);
    EXPECT_NE(rows[0].console.find(kCancelWarning), std::string::npos)
        << "the readiness wait still ends on the flag";

    // Pressed while nothing runs, a Cancel is the next upload's earlier Cancel as well.
    form->Context().CancelRequested = 0;
    form->BtnCancel->click();
    Upload("third.dat", 40);
    EXPECT_EQ(Newest(1).at(0).reason, kEarlierCancelReason);
}

// The wheel, the arrows and the letters never change the firmware or the test-port list; the
// keyboard on the open list does. An Esc that closes an open list is no Cancel.
TEST_F(OperatorInputTest, TheWheelNeverChangesAListAndEscOnAnOpenListOnlyClosesIt) {
    Open(true);
    for (QComboBox* list : {form->dd_FirmwareType, form->ComboBox1}) {
        SCOPED_TRACE(list->objectName().toStdString());
        list->setFocus();
        ASSERT_TRUE(list->hasFocus());
        const int before = list->currentIndex();
        for (int notch : {-120, -120, 120}) {
            QWheelEvent wheel(QPointF(5, 5), list->mapToGlobal(QPointF(5, 5)), QPoint(),
                              QPoint(0, notch), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            QApplication::sendEvent(list, &wheel);
        }
        EXPECT_EQ(list->currentIndex(), before);
        // An arrow would step to the next entry, a letter to the next one it begins ("T":
        // another firmware image, the test port "Test In Main").
        const std::vector<std::pair<const char*, std::function<void()>>> keys = {
            {"Down", [&] { QTest::keyClick(list, Qt::Key_Down); }},
            {"keypad Down", [&] { QTest::keyClick(list, Qt::Key_Down, Qt::KeypadModifier); }},
            {"t", [&] { QTest::keyClick(list, 't'); }},
            {"Shift+T", [&] { QTest::keyClick(list, 'T', Qt::ShiftModifier); }},
        };
        for (const auto& [name, press] : keys) {
            SCOPED_TRACE(name);
            press();
            EXPECT_EQ(list->currentIndex(), before) << "a closed list opens instead";
            ASSERT_NE(QApplication::activePopupWidget(), nullptr);

            // Closed unpicked, the open list keeps its entry wherever its arrows went.
            QTest::keyClick(list->view(), Qt::Key_Down);
            QTest::keyClick(list->view(), Qt::Key_Escape);
            EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "Esc closed the list";
            EXPECT_EQ(list->currentIndex(), before);
        }
    }
    EXPECT_EQ(Wire(), "") << "no test-port change ran";
    EXPECT_EQ(form->Context().CancelRequested, 0);
    EXPECT_FALSE(Memo().contains(kCancelWarning));
    EXPECT_EQ(Newest(1).at(0).operation, "device flow");

    // The keyboard on the open list picks: a test-port change, once.
    form->ComboBox1->setFocus();
    QTest::keyClick(form->ComboBox1, Qt::Key_Down);
    ASSERT_NE(QApplication::activePopupWidget(), nullptr);
    QTest::keyClick(form->ComboBox1->view(), Qt::Key_Down);
    QTest::keyClick(form->ComboBox1->view(), Qt::Key_Return);
    EXPECT_EQ(form->ComboBox1->currentIndex(), 1);
    EXPECT_EQ(Wire(), "65=1\r");
    EXPECT_EQ(Newest(1).at(0).operation, "test port");

    // Esc with no list open is Cancel, as ever.
    QTest::keyClick(form->ComboBox1, Qt::Key_Escape);
    EXPECT_EQ(Memo().last(), kCancelWarning);
}

// A test-port pick during an operation is refused as a click is, and the list shows again
// the port the board has, not the one it never got.
TEST_F(OperatorInputTest, ATestPortPickRefusedDuringAnOperationPutsTheListBack) {
    Open();
    emit form->ComboBox1->activated(2);
    ASSERT_EQ(Wire(), "65=2\r");
    cable.written.clear();
    test::After(50, [&] {
        ASSERT_TRUE(form->OperationRunning());
        // As the open list picks: the entry first, then the pick.
        form->ComboBox1->setCurrentIndex(5);
        emit form->ComboBox1->activated(5);
    });
    form->BtnRefresh->click();
    EXPECT_EQ(form->statusBar()->currentMessage(), kOperationRunning);
    EXPECT_EQ(form->ComboBox1->currentIndex(), 2);
    EXPECT_EQ(Wire().find("65=5"), std::string::npos) << Wire();
    EXPECT_EQ(Newest(1).at(0).operation, "Reset TQ9") << "no test-port record after it";
}

// A serial typed over the one the board reported is the one the board's operations take,
// and its records keep both apart.
TEST_F(OperatorInputTest, ATypedSerialIsRecordedBesideTheOneTheBoardReported) {
    Open();
    EXPECT_EQ(Newest(1).at(0).typedSerial, "");
    form->EditSerialNumber->selectAll();
    QTest::keyClicks(form->EditSerialNumber, "4711");
    EXPECT_EQ(form->Context().BoardInfo.SerialNumber, 4711);
    emit form->ComboBox1->activated(2);
    const OperationRecord row = Newest(1).at(0);
    EXPECT_EQ(row.operation, "test port");
    EXPECT_EQ(row.boardSerial, "12345");
    EXPECT_EQ(row.typedSerial, "4711");
}

// An export writes exactly the rows the shown filter took, and nothing while the filter is
// refused.
TEST_F(OperatorInputTest, AnExportWritesTheShownFiltersRowsAndNothingWhileItIsRefused) {
    Open();
    emit form->ComboBox1->activated(1);
    auto* window = qobject_cast<RecordsWindow*>(form->ShowRecords());
    ASSERT_TRUE(window);
    ASSERT_EQ(window->Table->rowCount(), 2);
    const std::string path = programDir.File("export.csv").string();

    window->SinceFilter->setText("2026-02-30");
    window->Refresh();
    QString said;
    test::WhenModal([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            said = box->text();
            box->accept();
        }
    });
    EXPECT_FALSE(window->ExportCsv(QString::fromStdString(path)));
    EXPECT_FALSE(std::filesystem::exists(path)) << "nothing written";
    EXPECT_TRUE(said.startsWith("Nothing was exported")) << said.toStdString();

    // Fields changed since the table was shown are not what the operator sees exported.
    window->SinceFilter->clear();
    window->OperationFilter->setCurrentText("test port");  // shows the test port's row
    window->SerialFilter->setText("99999");                // typed, not yet shown
    ASSERT_TRUE(window->ExportJson(QString::fromStdString(path)));
    std::stringstream json;
    json << std::ifstream(path).rdbuf();
    EXPECT_NE(json.str().find("\"operation\":\"test port\""), std::string::npos) << json.str();
    EXPECT_EQ(json.str().find("device flow"), std::string::npos) << json.str();
}

// The focus comes back to Device whenever the window is left without a board, so Enter,
// Enter opens the first cable; the cable dialog starts in its list, its first row
// selected, and Enter takes it.
TEST_F(OperatorInputTest, TheFocusComesBackToDeviceAndTheCableDialogStartsInItsList) {
    Open();
    form->BtnClose->setFocus();
    QTest::keyClick(form->BtnClose, Qt::Key_Return);
    EXPECT_FALSE(form->Context().BoardLink.connected);
    EXPECT_EQ(form->focusWidget(), form->BtnRescan);
    // Close while the focus is elsewhere (in Serial #, the operator's typing) as well.
    Open();
    form->EditSerialNumber->setFocus();
    form->BtnClose->click();
    EXPECT_FALSE(form->Context().BoardLink.connected);
    EXPECT_EQ(form->focusWidget(), form->BtnRescan);

    QWidget* focused = nullptr;
    int selected = -2;
    test::WhenModal([&](QWidget* modal) {
        ASSERT_EQ(modal, dialog);
        focused = QApplication::focusWidget();
        selected = dialog->SelectedRow();
        QTest::keyClick(focused, Qt::Key_Return);
    });
    board->faults.silent = true;  // the flow ends without a board
    QTest::keyClick(form->BtnRescan, Qt::Key_Return);
    EXPECT_EQ(focused, dialog->ListView1);
    EXPECT_EQ(selected, 0);
    EXPECT_TRUE(Memo().contains("No response from TQ9 serial port driver!"));
    EXPECT_EQ(form->focusWidget(), form->BtnRescan);
}

}  // namespace
}  // namespace tq9
