// Saves a picture of the window after a whole harvest of the demo's loopback directory, as
// the platform draws it (xcb under Xvfb for scripts/screenshot demo). Opens no web page.
//
// Usage: demo_screenshot OUTPUT.png

#include <cstdio>

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QString>
#include <QTest>

#include "app/main_window.h"
#include "app/run_control.h"
#include "directory_server.h"
#include "web/fetch_url.h"

int main(int argc, char** argv) {
    using namespace qelvanto;
    if (argc != 2) {
        std::fprintf(stderr, "usage: demo_screenshot OUTPUT.png\n");
        return 2;
    }
    PrepareWebAccess();
    tools::DirectoryOptions directory_options;
    directory_options.pages = 4;
    directory_options.make_record = tools::RealisticRecord;
    tools::DirectoryServer directory(directory_options);
    if (!directory.Start()) return 1;

    QApplication application(argc, argv);
    int status = 0;
    {
        MainWindow window;
        RunControl::Options options;
        options.collect.search_base = Text(directory.BaseUrl());
        RunControl control(window, options);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window)) {
            std::fprintf(stderr, "demo_screenshot: the window was never shown\n");
            return 1;
        }
        window.编辑框_关键词()->setText(QString::fromUtf8("游戏"));
        window.选择框_开始()->click();
        if (!QTest::qWaitFor([&] { return window.选择框_开始()->isEnabled(); }, 30'000)) {
            std::fprintf(stderr, "demo_screenshot: the harvest did not end\n");
            return 1;
        }
        QTest::qWait(200);
        const QPixmap picture = window.grab();
        if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
            std::fprintf(stderr, "demo_screenshot: cannot write %s\n", argv[1]);
            status = 1;
        } else {
            std::printf("%s: %dx%d, %d rows\n", argv[1], picture.width(), picture.height(),
                        window.超级列表框1()->Model().rowCount());
        }
    }
    directory.Stop();
    return status;
}
