#pragma once
// A flat list in report style on the grid widget: rows in one level, the
// default back colours alternating by the row's shown position, colours per
// cell from a colour rule that sees that position, and a sort rule the owner
// supplies. UI thread only.
#include "ui/grid_view.h"

#include <functional>

namespace ui {

class ListTable : public GridView {
    Q_OBJECT
public:
    // (row id, shown position, column, back?) -> colour; the default sentinel
    // falls back to the list's own colours.
    using ColourRule = std::function<Rgb(int rowId, int position, int column, bool back)>;
    // < 0 puts a above b; the direction is the rule's business.
    using SortRule = std::function<int(int rowA, int rowB, int column)>;

    explicit ListTable(QWidget* parent = nullptr);
    ~ListTable() override;

    void setColourRule(ColourRule rule);
    void setSortRule(SortRule rule) { m_sortRule = std::move(rule); }
    void setRowBackColours(Rgb even, Rgb odd);
    Rgb evenRowBack() const { return m_even; }
    Rgb oddRowBack() const { return m_odd; }

    // The shown position of a row (0 = top), -1 when not shown.
    int positionOf(int rowId) const;
    // Row at a shown position, -1 when none.
    int rowAt(int position) const;

protected:
    int compareRows(int rowA, int rowB, int column) const override;

private:
    ColourRule m_rule;
    SortRule m_sortRule;
    Rgb m_even{0xFFFFFF};
    Rgb m_odd{0xF0F0F0};
};

} // namespace ui
