#include "app/application.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QObject>
#include <QUrl>

#include "qt_test_environment.h"

namespace qelvanto {
namespace {

// Stands in for the desktop's browser: notes each address and whether a window was showing then.
class BrowserRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;
    int opened_while_a_window_was_visible = 0;

public slots:
    void Open(const QUrl& url) {
        urls << url;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible()) ++opened_while_a_window_was_visible;
        }
    }
};

TEST(Application, PublisherPageIsAnHttpAddressOfTheBuildsHost) {
    const QUrl page = PublisherPage();
    EXPECT_EQ(page.scheme(), QStringLiteral("http"));
    EXPECT_EQ(page.host(), QStringLiteral(QELVANTO_PUBLISHER_HOST));
}

TEST(Application, OpensThePublisherPageOnceBeforeTheWindowIsShown) {
    BrowserRecorder browser;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "Open");
    std::unique_ptr<MainWindow> window = OpenMainWindow();
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    ASSERT_EQ(browser.urls.size(), 1);
    EXPECT_EQ(browser.urls.front(), PublisherPage());
    EXPECT_EQ(browser.opened_while_a_window_was_visible, 0);
    EXPECT_TRUE(window->isVisible());
}

}  // namespace
}  // namespace qelvanto

#include "application_test.moc"
