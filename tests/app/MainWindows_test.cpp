// The program as the desktop sees it: the names that tie its window to the desktop entry
// tq9-bench.desktop, and the icon it shows, from the program's own resources.

#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>

#include "app/MainWindows.h"

namespace tq9 {
namespace {

TEST(MainWindowsTest, TheApplicationGoesByTheDesktopEntrysNameAndHasItsIcon) {
    SetUpApplication();
    EXPECT_EQ(QApplication::applicationName(), "tq9-bench");  // the window's class
    EXPECT_EQ(QGuiApplication::desktopFileName(), "tq9-bench");
    const QIcon icon = QApplication::windowIcon();
    ASSERT_FALSE(icon.isNull());
    QList<QSize> sizes;
    for (int size : {16, 32, 48, 64, 128, 256})
        sizes.append(QSize(size, size));
    EXPECT_EQ(icon.availableSizes(), sizes);
    EXPECT_FALSE(icon.pixmap(48).isNull());
}

}  // namespace
}  // namespace tq9
