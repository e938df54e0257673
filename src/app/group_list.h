#pragma once

// The report-style list of harvested groups: a table model over a vector of rows and the view
// that shows it. A harvest can add hundreds of thousands of rows, so rows are plain strings with
// no per-cell item objects, every row has the same fixed height, and scrolling to the newest row
// is done once per event-loop turn instead of once per request.

#include <array>
#include <vector>

#include <QAbstractTableModel>
#include <QKeyEvent>
#include <QString>
#include <QTableView>

namespace qelvanto {

class GroupListModel : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GroupListModel)

public:
    static constexpr int kColumns = 4;

    explicit GroupListModel(QObject* parent = nullptr);
    ~GroupListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Adds a row of empty cells after the last one; returns its index.
    int InsertRow();
    // False when the row or column does not exist.
    bool SetCell(int row, int column, const QString& text);
    QString Cell(int row, int column) const;

private:
    std::vector<std::array<QString, kColumns>> rows_;
};

class GroupListView : public QTableView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GroupListView)

public:
    explicit GroupListView(QWidget* parent = nullptr);
    ~GroupListView() override;

    GroupListModel& Model() { return model_; }
    const GroupListModel& Model() const { return model_; }

    // Scrolls, if need be, until the row is fully visible. Takes effect at the next turn of the
    // event loop; of several requests in one turn only the latest counts.
    void EnsureVisible(int row);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ScrollToRequestedRow();

    GroupListModel model_;
    int requested_row_ = -1;
    bool scroll_pending_ = false;
};

}  // namespace qelvanto
