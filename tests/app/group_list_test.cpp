#include "app/group_list.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>

#include "qt_test_environment.h"

namespace qelvanto {
namespace {

class GroupListTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.resize(464, 208);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    void AddRows(int count) {
        for (int i = 0; i < count; ++i) {
            const int row = view.Model().InsertRow();
            for (int column = 0; column < GroupListModel::kColumns; ++column) {
                view.Model().SetCell(row, column, QStringLiteral("r%1c%2").arg(row).arg(column));
            }
        }
    }

    GroupListView view;
};

TEST_F(GroupListTest, HasFourLeftAlignedColumnsWithTheirHeadersAndWidths) {
    const char* const headers[] = {"ID", "群昵称", "群号码", "群人气"};
    const int widths[] = {50, 200, 110, 80};
    ASSERT_EQ(view.model()->columnCount(), 4);
    for (int column = 0; column < 4; ++column) {
        EXPECT_EQ(view.model()->headerData(column, Qt::Horizontal).toString(), QString::fromUtf8(headers[column]));
        EXPECT_EQ(view.horizontalHeader()->sectionSize(column), widths[column]);
    }
    EXPECT_TRUE(view.horizontalHeader()->isVisible());
    EXPECT_TRUE(view.showGrid());
    EXPECT_EQ(view.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(view.selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(view.editTriggers(), QAbstractItemView::NoEditTriggers);
}

TEST_F(GroupListTest, CellsCannotBeEdited) {
    AddRows(1);
    const QModelIndex cell = view.model()->index(0, 1);
    EXPECT_FALSE(view.model()->flags(cell) & Qt::ItemIsEditable);
    view.setCurrentIndex(cell);
    QTest::keyClick(view.viewport(), Qt::Key_F2);
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(cell).center());
    EXPECT_EQ(view.viewport()->findChild<QLineEdit*>(), nullptr);  // no editor was opened
}

TEST_F(GroupListTest, AHeaderClickKeepsTheOrderOfTheRows) {
    view.Model().InsertRow();
    view.Model().SetCell(0, 1, QStringLiteral("b"));
    view.Model().InsertRow();
    view.Model().SetCell(1, 1, QStringLiteral("a"));
    QHeaderView* header = view.horizontalHeader();
    const QPoint middle(header->sectionViewportPosition(1) + 20, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
    EXPECT_EQ(view.model()->index(0, 1).data().toString(), QStringLiteral("b"));
    EXPECT_EQ(view.model()->index(1, 1).data().toString(), QStringLiteral("a"));
    EXPECT_EQ(view.visualRect(view.model()->index(0, 1)).top(), 0);
}

TEST_F(GroupListTest, CopyPutsTheSelectedRowOnTheClipboardSeparatedByTabs) {
    AddRows(3);
    QApplication::clipboard()->clear();
    view.selectRow(1);
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("r1c0\tr1c1\tr1c2\tr1c3"));
}

TEST_F(GroupListTest, SetCellOutsideTheRowsChangesNothing) {
    AddRows(1);
    EXPECT_FALSE(view.Model().SetCell(1, 0, QStringLiteral("x")));
    EXPECT_FALSE(view.Model().SetCell(0, 4, QStringLiteral("x")));
    EXPECT_FALSE(view.Model().SetCell(-1, 0, QStringLiteral("x")));
    EXPECT_EQ(view.Model().rowCount(), 1);
}

TEST_F(GroupListTest, EnsureVisibleScrollsTheRowFullyIntoView) {
    AddRows(200);
    for (int row : {199, 3, 120}) {
        SCOPED_TRACE(row);
        view.EnsureVisible(row);
        QCoreApplication::processEvents();
        const QRect rect = view.visualRect(view.model()->index(row, 0));
        EXPECT_TRUE(view.viewport()->rect().contains(rect));
    }
}

TEST_F(GroupListTest, OnlyTheLatestRequestOfATurnScrolls) {
    AddRows(200);
    view.EnsureVisible(199);
    view.EnsureVisible(5);
    QCoreApplication::processEvents();
    EXPECT_TRUE(view.viewport()->rect().contains(view.visualRect(view.model()->index(5, 0))));
}

}  // namespace
}  // namespace qelvanto
