#pragma once

#include <LiveLogReceiver.h>
#include <LogFilter.h>
#include <LogRows.h>

#include <QAbstractListModel>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>

#include <vector>

class QTableView;

namespace quillon
{

// The rows of lbLogs as a list model: the texts live once in LogRows, a row's match is
// computed once per filter, and received rows arrive in batches.
class LogRowModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit LogRowModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The text of row `row` as shown: a line past LogRows::kShownLength is cut and marked.
    QString shownText(int row) const;
    bool rowMatches(int row) const;

    void clear();
    // Received rows in arrival order, each under the receiving rule (more than 50000 rows held:
    // emptied first). The number of times the rows were emptied.
    int appendLive(std::vector<LiveLogRow>& rows);
    LogRows::LoadResult loadFile(const std::string& path);
    // A line of the window's own after the received rows (the "link lost" mark), in UTF-8.
    void appendNote(const QString& text);
    // A new filter: every row is matched again when it is next needed.
    void setFilter(const LogFilter& filter, uint64_t generation);
    const LogFilter& filter() const { return filter_; }
    long long saveMatching(const std::string& path) { return rows_.saveMatching(path, filter_); }

private:
    mutable LogRows rows_;
    LogFilter filter_;
};

// The rows of a LogRowModel that its filter matches; with no keyword set, every row. The view
// shows it only while the user asks for matching rows alone, so the full list pays nothing.
class MatchingRowsProxy : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    // Matches every row again after a change of filter.
    void refilter() { invalidateFilter(); }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
};

// Draws a row as the list box did: its text at the row's left and top edges, clipped to the
// row, red when it matches the filter, over the normal or selected background; rows are 13
// pixels high and `extent` pixels wide (the horizontal scroll extent; 0 for the view's width).
class LogRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static constexpr int kRowHeight = 13;

    void setExtent(int width) { extent_ = width; }
    int extent() const { return extent_; }
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int extent_ = 0;
};

// lbLogs: a one-column table view without headers or grid, rows of LogRowDelegate::kRowHeight.
// Fixed row heights cost nothing per row, so a loaded file of a million lines lays out at once.
void setUpLogView(QTableView* view, LogRowDelegate* delegate);
// The horizontal scroll extent: `width` pixels, 0 for the view's own width.
void setLogViewExtent(QTableView* view, int width);

} // namespace quillon
