// GoogleTest entry for the window tests: one QApplication for the whole run.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // No display is needed: the windows are drawn off screen unless told otherwise, on a
    // screen of a production PC's size (the platform's own is 800 x 600).
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        const QString config = QDir::temp().filePath("tq9-gui-tests-screen.json");
        QFile file(config);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write(R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": 1920,
                         "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
            file.close();
            qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toUtf8());
        }
    }
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
