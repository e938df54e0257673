#include "app/main_window.h"

#include <atomic>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QGroupBox>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include "qt_test_environment.h"
#include "run_on_worker.h"

namespace qelvanto {
namespace {

class MainWindowTest : public ::testing::Test {
protected:
    QWidget* Find(const char* name) const {
        return window.findChild<QWidget*>(QString::fromUtf8(name));
    }
    void Show() {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    MainWindow window;
};

struct ControlCase {
    const char* name;
    const char* kind;
    const char* parent;  // empty: the window
    QRect geometry;
    const char* text;
    bool enabled;
};

QString TextOf(QWidget* widget) {
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
    if (auto* text = qobject_cast<QPlainTextEdit*>(widget)) return text->toPlainText();
    return {};
}

TEST_F(MainWindowTest, ControlsHaveTheirNamesKindsParentsPlacesTextsAndStates) {
    const ControlCase cases[] = {
        {"超级列表框1", "QTableView", "", {8, 8, 464, 208}, "", true},
        {"分组框1", "QGroupBox", "", {8, 224, 296, 88}, "控制", true},
        {"标签1", "QLabel", "分组框1", {8, 24, 72, 24}, "搜索关键词：", true},
        {"编辑框_关键词", "QLineEdit", "分组框1", {80, 24, 208, 24}, "", true},
        {"标签2", "QLabel", "分组框1", {8, 56, 80, 24}, "最低人气范围：", true},
        {"编辑框_人气", "QLineEdit", "分组框1", {88, 56, 40, 24}, "50", true},
        {"选择框_开始", "QPushButton", "分组框1", {136, 56, 40, 24}, "开始", true},
        {"选择框_暂停", "QPushButton", "分组框1", {192, 56, 40, 24}, "暂停", false},
        {"选择框_停止", "QPushButton", "分组框1", {248, 56, 40, 24}, "停止", false},
        {"编辑框_日志", "QPlainTextEdit", "", {312, 224, 160, 88}, "", true},
    };
    Show();
    for (const ControlCase& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget* widget = Find(c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_TRUE(widget->inherits(c.kind));
        QWidget* parent = *c.parent ? Find(c.parent) : &window;
        EXPECT_EQ(widget->parentWidget(), parent);
        EXPECT_EQ(widget->geometry(), c.geometry);
        EXPECT_EQ(TextOf(widget), QString::fromUtf8(c.text));
        EXPECT_EQ(widget->isEnabled(), c.enabled);
        EXPECT_TRUE(widget->isVisible());
        EXPECT_EQ(widget->font(), QApplication::font());
        // Every control lies inside the client area.
        EXPECT_TRUE(window.rect().contains(QRect(widget->mapTo(&window, QPoint(0, 0)), widget->size())));
    }
    auto* log = qobject_cast<QPlainTextEdit*>(Find("编辑框_日志"));
    EXPECT_TRUE(log->isReadOnly());
    EXPECT_EQ(log->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    for (const char* name : {"编辑框_关键词", "编辑框_人气"}) {
        EXPECT_EQ(qobject_cast<QLineEdit*>(Find(name))->alignment(), Qt::AlignCenter) << name;
    }
    for (const char* name : {"选择框_开始", "选择框_暂停", "选择框_停止"}) {
        auto* button = qobject_cast<QPushButton*>(Find(name));
        EXPECT_TRUE(button->isCheckable()) << name;
        EXPECT_FALSE(button->isChecked()) << name;
    }
}

TEST_F(MainWindowTest, IsAFixedCentredWindowWithTitleIconAndNoMaximizeButton) {
    Show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Qelvanto"));
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_EQ(window.windowIcon().actualSize(QSize(48, 48)), QSize(48, 48));
    EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(window.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    // Offscreen there is no frame, so the client area is the whole outer size.
    EXPECT_EQ(window.frameGeometry().size(), QSize(487, 344));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(window.frameGeometry().topLeft(),
              QPoint(screen.x() + (screen.width() - 487) / 2, screen.y() + (screen.height() - 344) / 2));
    EXPECT_EQ(window.font(), QApplication::font());
}

TEST(MainWindowFrame, ClientSizeLeavesTheOuterSizeToTheFrame) {
    EXPECT_EQ(MainWindow::ClientSizeFor(QMargins()), QSize(487, 344));
    EXPECT_EQ(MainWindow::ClientSizeFor(QMargins(3, 22, 3, 3)), QSize(481, 319));
    // A frame so thick that the controls would not fit gives way to them.
    EXPECT_EQ(MainWindow::ClientSizeFor(QMargins(20, 60, 20, 20)), MainWindow::kMinimumClientSize);
}

TEST_F(MainWindowTest, PopularityBoxDiscardsTypedCharactersOtherThanDigitsAndMinus) {
    Show();
    auto* box = qobject_cast<QLineEdit*>(Find("编辑框_人气"));
    box->setFocus();
    box->end(false);
    QTest::keyClick(box, Qt::Key_A);
    QTest::keyClick(box, Qt::Key_Space);
    QTest::keyClicks(box, QStringLiteral("x."));
    EXPECT_EQ(box->text(), QStringLiteral("50"));
    QTest::keyClick(box, Qt::Key_5);
    QTest::keyClick(box, Qt::Key_Minus);
    EXPECT_EQ(box->text(), QStringLiteral("505-"));
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_EQ(box->text(), QStringLiteral("505"));
    QApplication::clipboard()->setText(QStringLiteral("abc"));
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(box->text(), QStringLiteral("505abc"));
    // Text committed by an input method is typed text as well.
    QInputMethodEvent input;
    input.setCommitString(QStringLiteral("1x2"));
    QApplication::sendEvent(box, &input);
    EXPECT_EQ(box->text(), QStringLiteral("505abc12"));
}

TEST_F(MainWindowTest, KeywordBoxTakesEveryTypedCharacter) {
    Show();
    auto* box = qobject_cast<QLineEdit*>(Find("编辑框_关键词"));
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("a b-1."));
    EXPECT_EQ(box->text(), QStringLiteral("a b-1."));
}

TEST_F(MainWindowTest, EscapeClosesTheWindowFromEveryControl) {
    for (const char* name : {"编辑框_关键词", "编辑框_人气", "编辑框_日志", "超级列表框1", "选择框_开始"}) {
        SCOPED_TRACE(name);
        Show();
        QWidget* widget = Find(name);
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key_Escape);
        EXPECT_FALSE(window.isVisible());
    }
}

TEST_F(MainWindowTest, EnterLeavesTheFocusWhereItIs) {
    Show();
    window.activateWindow();
    for (const char* name : {"编辑框_关键词", "编辑框_人气"}) {
        QWidget* widget = Find(name);
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key_Return);
        QTest::keyClick(widget, Qt::Key_Enter);
        EXPECT_EQ(QApplication::focusWidget(), widget) << name;
    }
}

TEST_F(MainWindowTest, ButtonsToggleAndRaiseTheirClick) {
    Show();
    auto* start = qobject_cast<QPushButton*>(Find("选择框_开始"));
    QSignalSpy clicks(start, &QPushButton::clicked);
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_TRUE(start->isChecked());
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_FALSE(start->isChecked());
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(MainWindowTest, AppendPutsTextDirectlyBehindTheOldTextOfTheReadOnlyLog) {
    Show();
    auto* log = qobject_cast<QPlainTextEdit*>(Find("编辑框_日志"));
    log->setFocus();
    QTest::keyClicks(log, QStringLiteral("typed"));
    EXPECT_EQ(window.EditBoxContent(Control::kLogBox), Text());
    window.EditBoxAppend(Control::kLogBox, "12:0:1:abc");
    window.EditBoxAppend(Control::kLogBox, "12:0:2:def");
    EXPECT_EQ(window.EditBoxContent(Control::kLogBox), Text("12:0:1:abc12:0:2:def"));
    EXPECT_EQ(log->toPlainText(), QStringLiteral("12:0:1:abc12:0:2:def"));
}

TEST_F(MainWindowTest, OperationsReadAndWriteEditBoxesAndButtons) {
    window.EditBoxAppend(Control::kKeywordBox, "key");
    window.EditBoxAppend(Control::kKeywordBox, "word");
    EXPECT_EQ(window.EditBoxContent(Control::kKeywordBox), Text("keyword"));
    EXPECT_EQ(window.EditBoxContent(Control::kMinimumBox), Text("50"));
    window.CheckBoxSetCaption(Control::kPauseButton, "go on");
    EXPECT_EQ(window.CheckBoxCaption(Control::kPauseButton), Text("go on"));
    window.ControlSetEnabled(Control::kStopButton, true);
    window.ControlSetEnabled(Control::kStartButton, false);
    EXPECT_TRUE(Find("选择框_停止")->isEnabled());
    EXPECT_FALSE(Find("选择框_开始")->isEnabled());
}

TEST_F(MainWindowTest, TextsCrossBetweenCodePage936AndTheWidgetsUnchanged) {
    // "中文" in code page 936, and U+1F600 carried as its GB18030 four-byte sequence.
    const Text chinese("\xd6\xd0\xce\xc4");
    const Text emoji("\x94\x39\xfc\x38");
    window.EditBoxAppend(Control::kKeywordBox, chinese);
    EXPECT_EQ(qobject_cast<QLineEdit*>(Find("编辑框_关键词"))->text(), QString::fromUtf8("\xe4\xb8\xad\xe6\x96\x87"));
    window.EditBoxAppend(Control::kKeywordBox, emoji);
    EXPECT_EQ(window.EditBoxContent(Control::kKeywordBox), ConcatText(chinese, emoji));
    EXPECT_EQ(window.CheckBoxCaption(Control::kStartButton), Text("\xbf\xaa\xca\xbc"));  // 开始
}

TEST_F(MainWindowTest, InsertRowReturnsTheFormerRowCount) {
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(window.ListViewInsertRow(Control::kList), n);
        EXPECT_EQ(window.ListViewRowCount(Control::kList), n + 1);
    }
    window.ListViewSetCell(Control::kList, 2, 1, "name");
    auto* list = qobject_cast<QTableView*>(Find("超级列表框1"));
    EXPECT_EQ(list->model()->index(2, 1).data().toString(), QStringLiteral("name"));
}

using testing::RunOnWorker;

TEST_F(MainWindowTest, OperationsFromAnotherThreadRunOnTheWindowThreadInOrder) {
    Show();
    std::shared_ptr<Toolkit> toolkit = window.SharedToolkit();
    Text keyword, caption;
    int first_row = -1, rows = -1;
    RunOnWorker([&] {
        toolkit->EditBoxAppend(Control::kKeywordBox, "kw");
        keyword = toolkit->EditBoxContent(Control::kKeywordBox);
        toolkit->CheckBoxSetCaption(Control::kPauseButton, "on");
        caption = toolkit->CheckBoxCaption(Control::kPauseButton);
        toolkit->ControlSetEnabled(Control::kPauseButton, true);
        for (int i = 0; i < 50; ++i) {
            const int row = toolkit->ListViewInsertRow(Control::kList);
            if (i == 0) first_row = row;
            for (int column = 0; column < 4; ++column) toolkit->ListViewSetCell(Control::kList, row, column, "c");
            toolkit->ListViewEnsureVisible(Control::kList, row);
            toolkit->EditBoxAppend(Control::kLogBox, "e");
        }
        rows = toolkit->ListViewRowCount(Control::kList);
    });
    EXPECT_EQ(keyword, Text("kw"));
    EXPECT_EQ(caption, Text("on"));
    EXPECT_EQ(first_row, 0);
    EXPECT_EQ(rows, 50);
    EXPECT_TRUE(Find("选择框_暂停")->isEnabled());
    EXPECT_EQ(window.EditBoxContent(Control::kLogBox), Text(std::string(50, 'e')));
}

TEST(MainWindowLifetime, OperationsAfterTheWindowIsGoneReturnEmptyAtOnce) {
    std::shared_ptr<Toolkit> toolkit;
    {
        MainWindow window;
        toolkit = window.SharedToolkit();
        window.EditBoxAppend(Control::kKeywordBox, "kw");
    }
    std::thread worker([&] {
        toolkit->EditBoxAppend(Control::kLogBox, "e");
        EXPECT_EQ(toolkit->EditBoxContent(Control::kKeywordBox), Text());
        EXPECT_EQ(toolkit->ListViewInsertRow(Control::kList), 0);
        EXPECT_EQ(toolkit->ListViewRowCount(Control::kList), 0);
        EXPECT_EQ(toolkit->CheckBoxCaption(Control::kStartButton), Text());
    });
    worker.join();
    EXPECT_EQ(toolkit->EditBoxContent(Control::kKeywordBox), Text());
}

TEST(MainWindowLifetime, AWaitingCallReturnsWhenTheWindowIsDestroyed) {
    auto window = std::make_unique<MainWindow>();
    std::shared_ptr<WindowToolkit> toolkit = window->SharedToolkit();
    Text content("unset");
    std::thread worker([&] { content = toolkit->EditBoxContent(Control::kKeywordBox); });
    // The window thread does not serve the call; it destroys the window once the call waits.
    while (toolkit->Dispatcher().CallsInFlight() == 0) std::this_thread::yield();
    window.reset();
    worker.join();
    EXPECT_EQ(content, Text());
}

}  // namespace
}  // namespace qelvanto
