#include "app/log_box.h"

#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include "qt_test_environment.h"

namespace qelvanto {
namespace {

class LogBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        box.resize(160, 88);
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    }
    QString Copied() {
        QApplication::clipboard()->clear();
        box.copy();
        return QApplication::clipboard()->text();
    }

    LogBox box;
};

QString Entries(int count) {
    QString all;
    for (int i = 0; i < count; ++i) all += QStringLiteral("12:%1:7:") + QString::fromUtf8("已采集") + QString::number(i);
    return all;
}

TEST_F(LogBoxTest, KeepsAGrowingLogInShortBlocksAndGivesBackTheExactText) {
    for (int i = 0; i < 200; ++i) box.Append(Entries(i + 1).mid(Entries(i).size()));
    EXPECT_GT(box.document()->blockCount(), 10);  // cut where it wraps
    EXPECT_EQ(box.Content(), Entries(200));
    box.selectAll();
    EXPECT_EQ(Copied(), Entries(200));
}

TEST_F(LogBoxTest, CutsWrapTheTextExactlyAsOneParagraphWould) {
    const QString text = Entries(300);
    for (int i = 0; i < 300; ++i) box.Append(Entries(i + 1).mid(Entries(i).size()));
    QPlainTextEdit whole;
    whole.setFont(box.font());
    whole.setWordWrapMode(box.wordWrapMode());
    whole.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    whole.resize(box.size());
    whole.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&whole));
    whole.setPlainText(text);
    whole.document()->documentLayout()->blockBoundingRect(whole.document()->firstBlock());
    const QTextLayout* layout = whole.document()->firstBlock().layout();
    // The lines of the one paragraph, against the lines of all the blocks in order.
    QStringList expected, actual;
    for (int i = 0; i < layout->lineCount(); ++i) {
        expected << text.mid(layout->lineAt(i).textStart(), layout->lineAt(i).textLength());
    }
    for (QTextBlock block = box.document()->firstBlock(); block.isValid(); block = block.next()) {
        box.document()->documentLayout()->blockBoundingRect(block);
        for (int i = 0; i < block.layout()->lineCount(); ++i) {
            const QTextLine line = block.layout()->lineAt(i);
            actual << block.text().mid(line.textStart(), line.textLength());
        }
    }
    EXPECT_EQ(actual, expected);
}

TEST_F(LogBoxTest, CopyOfAPartLeavesOutTheCutsButKeepsRealLineBreaks) {
    for (int i = 0; i < 100; ++i) box.Append(QStringLiteral("abcdefghij"));
    box.Append(QStringLiteral("x\ny"));
    ASSERT_GT(box.document()->blockCount(), 3);
    QTextCursor cursor(box.document());
    cursor.setPosition(5);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    box.setTextCursor(cursor);
    const QString all = box.Content();
    EXPECT_EQ(Copied(), all.mid(5));
    EXPECT_EQ(all.right(3), QStringLiteral("x\ny"));
}

TEST_F(LogBoxTest, UserCannotTypeButCanSelect) {
    box.Append(QStringLiteral("abc"));
    box.setFocus();
    QTest::keyClicks(&box, QStringLiteral("zz"));
    QTest::keyClick(&box, Qt::Key_Backspace);
    EXPECT_EQ(box.toPlainText(), QStringLiteral("abc"));
    QTest::keyClick(&box, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Copied(), QStringLiteral("abc"));
}

TEST_F(LogBoxTest, AppendScrollsTheEndIntoView) {
    for (int i = 0; i < 100; ++i) box.Append(QStringLiteral("0123456789 "));
    QCoreApplication::processEvents();
    EXPECT_GT(box.verticalScrollBar()->value(), 0);
    EXPECT_TRUE(box.viewport()->rect().contains(box.cursorRect()));
}

}  // namespace
}  // namespace qelvanto
