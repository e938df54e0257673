#include "app/group_list.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QScrollBar>
#include <QStringList>
#include <QTimer>

namespace qelvanto {

GroupListModel::GroupListModel(QObject* parent) : QAbstractTableModel(parent) {}

GroupListModel::~GroupListModel() = default;

int GroupListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int GroupListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant GroupListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumns) return {};
    if (role == Qt::DisplayRole) return rows_[static_cast<std::size_t>(index.row())][index.column()];
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

QVariant GroupListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case 0: return QStringLiteral("ID");
        case 1: return QStringLiteral("群昵称");
        case 2: return QStringLiteral("群号码");
        case 3: return QStringLiteral("群人气");
        default: return {};
    }
}

Qt::ItemFlags GroupListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

int GroupListModel::InsertRow() {
    const int row = rowCount();
    beginInsertRows({}, row, row);
    rows_.emplace_back();
    endInsertRows();
    return row;
}

bool GroupListModel::SetCell(int row, int column, const QString& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= kColumns) return false;
    rows_[static_cast<std::size_t>(row)][column] = text;
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
    return true;
}

QString GroupListModel::Cell(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= kColumns) return {};
    return rows_[static_cast<std::size_t>(row)][column];
}

GroupListView::GroupListView(QWidget* parent) : QTableView(parent) {
    setModel(&model_);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setWordWrap(false);
    setAlternatingRowColors(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    QHeaderView* rows = verticalHeader();
    rows->hide();
    // One height for every row keeps inserting and scrolling independent of the row count.
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);

    QHeaderView* columns = horizontalHeader();
    columns->setSectionsClickable(true);  // drawn as buttons, but a click sorts nothing
    columns->setSortIndicatorShown(false);
    columns->setSectionsMovable(false);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const int widths[GroupListModel::kColumns] = {50, 200, 110, 80};
    for (int column = 0; column < GroupListModel::kColumns; ++column) {
        columns->resizeSection(column, widths[column]);
    }
}

GroupListView::~GroupListView() = default;

void GroupListView::EnsureVisible(int row) {
    if (row < 0 || row >= model_.rowCount()) return;
    requested_row_ = row;
    if (scroll_pending_) return;
    scroll_pending_ = true;
    QTimer::singleShot(0, this, &GroupListView::ScrollToRequestedRow);
}

void GroupListView::ScrollToRequestedRow() {
    scroll_pending_ = false;
    const int row = requested_row_;
    if (row < 0 || row >= model_.rowCount()) return;
    if (row == model_.rowCount() - 1) {
        // The newest row: the bottom of the range is where it is fully visible, and getting
        // there needs no walk over the rows.
        scrollToBottom();
    } else {
        scrollTo(model_.index(row, 0), QAbstractItemView::EnsureVisible);
    }
}

void GroupListView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        const QModelIndex current = currentIndex();
        if (current.isValid() && selectionModel()->isRowSelected(current.row(), {})) {
            QStringList cells;
            for (int column = 0; column < GroupListModel::kColumns; ++column) {
                cells << model_.Cell(current.row(), column);
            }
            QApplication::clipboard()->setText(cells.join(QLatin1Char('\t')));
        }
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

}  // namespace qelvanto
