#include "app/application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QString>

#include "app/run_control.h"
#include "text/text.h"
#include "web/fetch_url.h"

namespace qelvanto {

QUrl PublisherPage() {
    return QUrl(QStringLiteral("http://") + QString::fromUtf8(QELVANTO_PUBLISHER_HOST));
}

std::unique_ptr<MainWindow> OpenMainWindow(bool open_publisher_page) {
    auto window = std::make_unique<MainWindow>();
    // Whether a browser opens is not our concern; nothing is reported either way.
    if (open_publisher_page) QDesktopServices::openUrl(PublisherPage());
    window->show();
    return window;
}

int RunApplication(int argc, char** argv, const CollectOptions& collect, bool open_publisher_page) {
    PrepareWebAccess();
    QApplication application(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/qelvanto/qelvanto.png")));
    QApplication::setDesktopFileName(QStringLiteral("qelvanto"));
    SetProcessEventsHook([] { QCoreApplication::processEvents(); });
    int status = 0;
    {
        std::unique_ptr<MainWindow> window = OpenMainWindow(open_publisher_page);
        RunControl::Options options;
        options.collect = collect;
        RunControl control(*window, std::move(options));
        status = QApplication::exec();
    }
    SetProcessEventsHook({});
    return status;
}

}  // namespace qelvanto
