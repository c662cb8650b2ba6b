#include "frame/controls/CMyReportCtrl.h"

CMyReportCtrl::CMyReportCtrl(QWidget* parent) : ui::GridView(parent) { setPreviewShown(true); }

int CMyReportCtrl::compareRows(int rowA, int rowB, int column) const
{
    if (m_mode == 1) {
        bool handled = false;
        const int r =
            GridRules::CompareOrderRecords(m_orderFields, GridRules::OrderRecordIndex(model(), rowA),
                                           GridRules::OrderRecordIndex(model(), rowB), column, m_ascending, &handled);
        if (handled)
            return r;
    }
    return ui::GridView::compareRows(rowA, rowB, column);
}

bool CMyReportCtrl::isRowHiddenByFilterBar(int rowId, int column, const QString& filter) const
{
    if (m_mode == 1) {
        bool handled = false;
        const bool hidden = GridRules::FilterBarHides(model(), rowId, column, filter, &handled);
        if (handled)
            return hidden;
    }
    return ui::GridView::isRowHiddenByFilterBar(rowId, column, filter);
}
