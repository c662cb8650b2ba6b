#include "ui/list_table.h"

#include <QAbstractProxyModel>
#include <QHeaderView>
#include <QTreeView>

namespace ui {

ListTable::ListTable(QWidget* parent) : GridView(parent)
{
    tree()->setRootIsDecorated(false);
    tree()->setItemsExpandable(false);
    tree()->header()->setSectionsMovable(false);
    setColourRule({});
}

ListTable::~ListTable()
{
    // The model outlives this part of the list; its rule must not call back.
    model().setColourRule({});
}

void ListTable::setColourRule(ColourRule rule)
{
    m_rule = std::move(rule);
    model().setColourRule([this](int rowId, int column, bool back) {
        const int position = positionOf(rowId);
        Rgb c = m_rule ? m_rule(rowId, position, column, back) : defaultColour();
        if (isDefaultColour(c) && back)
            c = (position % 2 == 0) ? m_even : m_odd;
        return c;
    });
}

void ListTable::setRowBackColours(Rgb even, Rgb odd)
{
    m_even = even;
    m_odd = odd;
    model().touchAll();
}

int ListTable::positionOf(int rowId) const
{
    const auto* proxy = static_cast<const QAbstractProxyModel*>(tree()->model());
    const QModelIndex index = proxy->mapFromSource(model().indexOf(rowId, 0));
    return index.isValid() ? index.row() : -1;
}

int ListTable::rowAt(int position) const
{
    const auto* proxy = static_cast<const QAbstractProxyModel*>(tree()->model());
    const QModelIndex index = proxy->index(position, 0);
    return index.isValid() ? model().rowIdOf(proxy->mapToSource(index)) : -1;
}

int ListTable::compareRows(int rowA, int rowB, int column) const
{
    return m_sortRule ? m_sortRule(rowA, rowB, column) : 0;
}

} // namespace ui
