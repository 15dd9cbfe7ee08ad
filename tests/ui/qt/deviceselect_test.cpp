// The device selection dialog's layout and its result rules.

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "support/GuiBench.h"
#include "ui/qt/deviceselect.h"

namespace tq9 {
namespace {

class DeviceSelectTest : public ::testing::Test {
  protected:
    DeviceSelectTest() {
        box.AddRow("Device 0", "TQ9A0001", "TTL232R-5V");
        box.AddRow("Device 1", "FT5X2K9Q", "FT232R USB UART");
        box.SelectRow(0);
    }
    Tdeviceselectbox box;
};

TEST_F(DeviceSelectTest, LayoutCaptionsAndColumns) {
    EXPECT_EQ(box.windowTitle(), "Select USB Device");
    EXPECT_EQ(box.size(), QSize(505, 217));
    EXPECT_EQ(box.minimumSize(), box.maximumSize()) << "fixed size";
    EXPECT_EQ(box.Label1->text(), "Select FTDI Cable or  FT232R device:");
    EXPECT_EQ(box.Label1->pos(), QPoint(24, 16));
    EXPECT_GE(box.Label1->width(), 217);
    EXPECT_GE(box.Label1->width(), box.Label1->sizeHint().width()) << "the whole text shows";
    EXPECT_EQ(box.ListView1->geometry(), QRect(18, 40, 463, 129));
    EXPECT_EQ(box.OKButton->geometry(), QRect(407, 182, 65, 23));
    EXPECT_EQ(box.CancelButton->geometry(), QRect(327, 180, 65, 25));
    EXPECT_TRUE(box.OKButton->isDefault());
    EXPECT_FALSE(box.CancelButton->isDefault());
    const QTreeWidgetItem* header = box.ListView1->headerItem();
    EXPECT_EQ(header->text(0), "USB Device");
    EXPECT_EQ(header->text(1), "FTDI Serial");
    EXPECT_EQ(header->text(2), "Description");
    EXPECT_EQ(box.ListView1->columnWidth(0), 100);
    EXPECT_EQ(box.ListView1->columnWidth(1), 100);
    EXPECT_EQ(box.ListView1->columnWidth(2), 250);
    EXPECT_EQ(box.ListView1->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(box.ListView1->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(box.OKButton->nextInFocusChain(), box.ListView1);
    EXPECT_EQ(box.SelectedRow(), 0);
    EXPECT_EQ(box.ListView1->topLevelItem(1)->text(2), "FT232R USB UART");
}

TEST_F(DeviceSelectTest, OkWithTheFirstRowSelectedChoosesIt) {
    test::WhenModal([&](QWidget*) { box.OKButton->click(); });
    EXPECT_EQ(box.ShowModal(), Tdeviceselectbox::mrOk);
    EXPECT_EQ(box.SelectedRow(), 0);
}

TEST_F(DeviceSelectTest, OkWithNoRowSelectedIsCancel) {
    test::WhenModal([&](QWidget*) {
        box.ListView1->clearSelection();
        box.OKButton->click();
    });
    EXPECT_EQ(box.ShowModal(), Tdeviceselectbox::mrCancel);
}

TEST_F(DeviceSelectTest, ClickingBelowTheRowsClearsTheSelection) {
    test::WhenModal([&](QWidget*) {
        QWidget* viewport = box.ListView1->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(50, viewport->height() - 5));
        box.OKButton->click();
    });
    EXPECT_EQ(box.ShowModal(), Tdeviceselectbox::mrCancel);
}

TEST_F(DeviceSelectTest, DoubleClickingARowChoosesThatRow) {
    test::WhenModal([&](QWidget*) {
        const QRect row = box.ListView1->visualItemRect(box.ListView1->topLevelItem(1));
        QTest::mouseClick(box.ListView1->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(box.ListView1->viewport(), Qt::LeftButton, {}, row.center());
    });
    EXPECT_EQ(box.ShowModal(), Tdeviceselectbox::mrOk);
    EXPECT_EQ(box.SelectedRow(), 1);
}

TEST_F(DeviceSelectTest, CancelButtonAndCloseBoxAreCancelButEscapeDoesNothing) {
    test::WhenModal([&](QWidget*) { box.CancelButton->click(); });
    EXPECT_EQ(box.ShowModal(), Tdeviceselectbox::mrCancel);

    test::WhenModal([&](QWidget*) { box.close(); });
    EXPECT_EQ(box.ShowModal(), Tdeviceselectbox::mrCancel);

    bool stillOpen = false;
    test::WhenModal([&](QWidget*) {
        QTest::keyClick(&box, Qt::Key_Escape);
        stillOpen = box.isVisible();
        box.OKButton->click();
    });
    EXPECT_EQ(box.ShowModal(), Tdeviceselectbox::mrOk);
    EXPECT_TRUE(stillOpen);
}

TEST_F(DeviceSelectTest, EnterPressesOk) {
    test::WhenModal([&](QWidget*) { QTest::keyClick(&box, Qt::Key_Return); });
    EXPECT_EQ(box.ShowModal(), Tdeviceselectbox::mrOk);
}

TEST_F(DeviceSelectTest, EnterPressesTheFocusedButtonOrElseOk) {
    test::WhenModal([&](QWidget*) {
        box.CancelButton->setFocus();
        QTest::keyClick(box.CancelButton, Qt::Key_Return);
    });
    EXPECT_NE(box.ShowModal(), Tdeviceselectbox::mrOk) << "Enter on Cancel cancels";

    test::WhenModal([&](QWidget*) {
        box.ListView1->setFocus();
        QTest::keyClick(box.ListView1, Qt::Key_Return);
    });
    EXPECT_EQ(box.ShowModal(), Tdeviceselectbox::mrOk) << "elsewhere Enter is OK";
}

}  // namespace
}  // namespace tq9
