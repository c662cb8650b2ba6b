#include "frame/controls/CAnnouNewsReportCtrl.h"

CAnnouNewsReportCtrl::CAnnouNewsReportCtrl(QWidget* parent) : CMyReportCtrl(parent) {}

void CAnnouNewsReportCtrl::SetGroupColumn(int column)
{
    if (m_groupColumn >= 0)
        setColumnHidden(m_groupColumn, false);
    m_groupColumn = column;
    if (column >= 0 && OnHideInsertedGroupColumn())
        setColumnHidden(column, true);
}
