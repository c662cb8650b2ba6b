#include "ui/grid_ranges.h"

#include "ui/grid_model.h"
#include "ui/grid_view.h"

#include <QAbstractProxyModel>
#include <QItemSelectionModel>
#include <QTreeView>

#include <algorithm>

namespace ui {

namespace {

// Every row the tree shows, top to bottom (children of expanded rows only).
std::vector<QModelIndex> shownIndexes(const QTreeView& tree)
{
    std::vector<QModelIndex> out;
    for (QModelIndex i = tree.model() ? tree.model()->index(0, 0) : QModelIndex(); i.isValid();
         i = tree.indexBelow(i))
        out.push_back(i);
    return out;
}

// The tree shows the grid's rows through a proxy; the row id is in its role.
int rowIdAt(const QModelIndex& i)
{
    return i.isValid() ? i.siblingAtColumn(0).data(GridModel::RowIdRole).toInt() : -1;
}

} // namespace

std::vector<int> selectedRowIds(const GridView& view)
{
    std::vector<int> out;
    const QTreeView* tree = view.tree();
    if (!tree || !tree->selectionModel())
        return out;
    for (const QModelIndex& i : shownIndexes(*tree))
        if (tree->selectionModel()->isRowSelected(i.row(), i.parent()))
            out.push_back(rowIdAt(i));
    return out;
}

std::vector<RowRange> selectedRanges(const GridView& view)
{
    std::vector<RowRange> out;
    const QTreeView* tree = view.tree();
    if (!tree || !tree->selectionModel())
        return out;
    const std::vector<QModelIndex> shown = shownIndexes(*tree);
    for (size_t p = 0; p < shown.size(); ++p) {
        if (!tree->selectionModel()->isRowSelected(shown[p].row(), shown[p].parent()))
            continue;
        const int id = rowIdAt(shown[p]);
        if (!out.empty() && out.back().lastPosition == static_cast<int>(p) - 1) {
            out.back().lastPosition = static_cast<int>(p);
            out.back().lastRowId = id;
        } else {
            out.push_back({id, id, static_cast<int>(p), static_cast<int>(p)});
        }
    }
    return out;
}

int selectionCount(const std::vector<RowRange>& ranges)
{
    if (ranges.empty())
        return 0;
    return static_cast<int>(ranges.size()) + ranges.front().lastPosition - ranges.front().firstPosition;
}

QString rowRangeText(const GridView& view, int rowId, int firstColumn, int lastColumn)
{
    QStringList cells;
    const int last = std::min(lastColumn, view.model().columns() - 1);
    for (int c = std::max(0, firstColumn); c <= last; ++c)
        cells << view.model().text(rowId, c);
    return cells.join(QLatin1Char(';'));
}

int currentRowId(const GridView& view)
{
    const QTreeView* tree = view.tree();
    if (!tree || !tree->currentIndex().isValid())
        return -1;
    return rowIdAt(tree->currentIndex());
}

void setCurrentRow(GridView& view, int rowId)
{
    QTreeView* tree = view.tree();
    if (!tree)
        return;
    QModelIndex i = view.model().indexOf(rowId, 0);
    if (auto* proxy = qobject_cast<QAbstractProxyModel*>(tree->model()))
        i = proxy->mapFromSource(i);
    if (!i.isValid())
        return;
    tree->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

} // namespace ui
