#include "LogRowModel.h"

#include "Captions.h"

#include <BoxText.h>
#include <Logger.h>

#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QPainter>
#include <QStyle>

namespace quillon
{

LogRowModel::LogRowModel(QObject* parent) : QAbstractListModel(parent) {}

int LogRowModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(std::min<size_t>(rows_.size(), INT_MAX));
}

QString LogRowModel::shownText(int row) const
{
    std::string_view text = rows_.row(size_t(row));
    if (!rows_.isCut(size_t(row)))
        return QString::fromStdString(fromBox(text));
    // The cut falls between two characters of the encoding the whole row is in: half a character
    // would show as a replacement, and would make a UTF-8 row no longer UTF-8, read as GBK.
    const BoxEncoding encoding = isValidUtf8(text) ? BoxEncoding::Utf8 : BoxEncoding::Gbk;
    return QString::fromStdString(fromBox(cutBoxBytes(text, LogRows::kShownLength, encoding))) + uiText(793);
}

bool LogRowModel::rowMatches(int row) const
{
    return rows_.matches(size_t(row), filter_);
}

QVariant LogRowModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole)
        return shownText(index.row());
    if (role == Qt::ForegroundRole && rowMatches(index.row()))
        return QColor(255, 0, 0);
    return {};
}

void LogRowModel::clear()
{
    beginResetModel();
    rows_.clear();
    endResetModel();
}

int LogRowModel::appendLive(std::vector<LiveLogRow>& rows)
{
    if (rows.empty())
        return 0;
    // Replayed on the store first: when the batch empties the rows, the view is told once.
    const size_t firstNew = rows_.size();
    int clears = 0;
    for (const LiveLogRow& row : rows) {
        if (rows_.appendLive(row.text, row.matched, row.generation)) {
            ++clears;
            Logger::instance().info("Row count of live log is great than 50000, be clear.");
        }
    }
    if (clears > 0) {
        beginResetModel();
        endResetModel();
    } else {
        beginInsertRows(QModelIndex(), int(firstNew), int(rows_.size()) - 1);
        endInsertRows();
    }
    return clears;
}

void LogRowModel::appendNote(const QString& text)
{
    std::vector<LiveLogRow> rows(1);
    rows[0].text = toBox(text.toStdString()); // shown through fromBox like every row
    rows[0].generation = UINT64_MAX;          // matched when next shown
    appendLive(rows);
}

LogRows::LoadResult LogRowModel::loadFile(const std::string& path)
{
    beginResetModel();
    LogRows::LoadResult result = rows_.loadFile(path);
    endResetModel();
    return result;
}

void LogRowModel::setFilter(const LogFilter& filter, uint64_t generation)
{
    filter_ = filter;
    rows_.setFilterGeneration(generation);
    if (!rows_.empty())
        emit dataChanged(index(0), index(rowCount() - 1), {Qt::ForegroundRole});
}

bool MatchingRowsProxy::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    const auto* rows = static_cast<const LogRowModel*>(sourceModel());
    return rows->filter().empty() || rows->rowMatches(sourceRow);
}

void LogRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem background(option);
    initStyleOption(&background, index);
    const QString text = background.text;
    background.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    const QVariant foreground = index.data(Qt::ForegroundRole);
    const bool selected = option.state & QStyle::State_Selected;
    QColor colour = foreground.isValid() ? foreground.value<QColor>()
                                         : option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    painter->save();
    painter->setClipRect(option.rect);
    painter->setPen(colour);
    painter->drawText(option.rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, text);
    painter->restore();
}

QSize LogRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return QSize(extent_ > 0 ? extent_ : option.rect.width(), kRowHeight);
}

void setUpLogView(QTableView* view, LogRowDelegate* delegate)
{
    view->setItemDelegate(delegate);
    view->setShowGrid(false);
    view->setWordWrap(false);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    QHeaderView* rows = view->verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(LogRowDelegate::kRowHeight);
    view->horizontalHeader()->hide();
    setLogViewExtent(view, 0);
}

void setLogViewExtent(QTableView* view, int width)
{
    QHeaderView* columns = view->horizontalHeader();
    columns->setStretchLastSection(width == 0);
    if (width > 0) {
        columns->setSectionResizeMode(QHeaderView::Fixed);
        columns->setDefaultSectionSize(width);
        if (columns->count() > 0)
            columns->resizeSection(0, width);
    }
}

} // namespace quillon
