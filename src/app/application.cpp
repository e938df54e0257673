#include "app/application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QString>

#include "text/text.h"

namespace qelvanto {

QUrl PublisherPage() {
    return QUrl(QStringLiteral("http://") + QString::fromUtf8(QELVANTO_PUBLISHER_HOST));
}

std::unique_ptr<MainWindow> OpenMainWindow() {
    auto window = std::make_unique<MainWindow>();
    // Whether a browser opens is not our concern; nothing is reported either way.
    QDesktopServices::openUrl(PublisherPage());
    window->show();
    return window;
}

int RunApplication(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/qelvanto/qelvanto.png")));
    QApplication::setDesktopFileName(QStringLiteral("qelvanto"));
    SetProcessEventsHook([] { QCoreApplication::processEvents(); });
    int status = 0;
    {
        std::unique_ptr<MainWindow> window = OpenMainWindow();
        status = QApplication::exec();
    }
    SetProcessEventsHook({});
    return status;
}

}  // namespace qelvanto
