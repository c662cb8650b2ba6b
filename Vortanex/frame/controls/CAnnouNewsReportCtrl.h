#pragma once
// The report grid of the market dialog's news and announcements: a column
// the rows are grouped by is hidden, its value being shown on the group rows.
#include "frame/controls/CMyReportCtrl.h"

class CAnnouNewsReportCtrl : public CMyReportCtrl {
    Q_OBJECT
public:
    explicit CAnnouNewsReportCtrl(QWidget* parent = nullptr);

    bool OnHideInsertedGroupColumn() const { return true; }
    // The owner groups the rows by a column (building the group rows); the
    // column itself is then hidden. -1 ends the grouping and shows it again.
    void SetGroupColumn(int column);
    int GroupColumn() const { return m_groupColumn; }

private:
    int m_groupColumn = -1;
};
