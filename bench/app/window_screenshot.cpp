// Saves a picture of the main window with a few sample rows and log entries, as the platform
// draws it (xcb under Xvfb for scripts/screenshot). Opens no web page.
//
// Usage: window_screenshot OUTPUT.png

#include <cstdio>

#include <QApplication>
#include <QPixmap>
#include <QString>
#include <QTest>

#include "app/main_window.h"

int main(int argc, char** argv) {
    using namespace qelvanto;
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_screenshot OUTPUT.png\n");
        return 2;
    }
    QApplication application(argc, argv);
    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "window_screenshot: the window was never shown\n");
        return 1;
    }

    const char* const names[] = {"北京摄影爱好者", "上海读书会", "广州美食分享群"};
    GroupListModel& model = window.超级列表框1()->Model();
    for (int i = 0; i < 3; ++i) {
        const int row = model.InsertRow();
        model.SetCell(row, 0, QString::number(row + 1));
        model.SetCell(row, 1, QString::fromUtf8(names[i]));
        model.SetCell(row, 2, QString::number(123456780 + i));
        model.SetCell(row, 3, QString::number(800 - 100 * i));
    }
    window.编辑框_关键词()->setText(QString::fromUtf8("摄影"));
    window.编辑框_日志()->Append(
        QString::fromUtf8("9:5:1:采集第1页9:5:1:已采集1个9:5:2:已采集2个9:5:2:已采集3个9:5:3:采集第2页9:5:3:采集完成"));
    QTest::qWait(200);

    const QPixmap picture = window.grab();
    if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "window_screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: %dx%d\n", argv[1], picture.width(), picture.height());
    return 0;
}
