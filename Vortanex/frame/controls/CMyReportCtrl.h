#pragma once
// The report grid of the order and trade books: in mode 1 the order-record
// compare and the program's filter-bar rule, otherwise the grid's own rules;
// group rows and preview lines come with the grid.
#include "frame/controls/CMyGridCtrl.h"

#include "ui/grid_view.h"

class CMyReportCtrl : public ui::GridView {
    Q_OBJECT
public:
    explicit CMyReportCtrl(QWidget* parent = nullptr);

    void SetMode(int mode) { m_mode = mode; }
    int Mode() const { return m_mode; }
    void SetOrderFieldReader(OrderFieldReader reader) { m_orderFields = std::move(reader); }

    void OnHeaderColumnClick(int column) { onHeaderColumnClick(column); }
    int CompareItems(int rowA, int rowB, int column) const { return compareRows(rowA, rowB, column); }
    bool IsItemFilteredByFilterBar(int rowId, int column, const QString& filter) const
    {
        return isRowHiddenByFilterBar(rowId, column, filter);
    }

protected:
    int compareRows(int rowA, int rowB, int column) const override;
    bool isRowHiddenByFilterBar(int rowId, int column, const QString& filter) const override;

private:
    int m_mode = 0;
    OrderFieldReader m_orderFields;
};
