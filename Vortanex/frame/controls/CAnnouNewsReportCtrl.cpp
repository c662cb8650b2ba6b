#include "frame/controls/CAnnouNewsReportCtrl.h"

#include <QTreeView>

CAnnouNewsReportCtrl::CAnnouNewsReportCtrl(QWidget* parent) : CMyReportCtrl(parent)
{
    // A group row opens and closes with a click, not only with the arrow
    // keys; a double click leaves it open (the tree's own double-click
    // toggle would close it again).
    QTreeView* view = tree();
    view->setExpandsOnDoubleClick(false);
    connect(view, &QTreeView::clicked, this, [view](const QModelIndex& index) {
        const QModelIndex row = index.siblingAtColumn(0);
        if (view->model() && view->model()->hasChildren(row))
            view->setExpanded(row, !view->isExpanded(row));
    });
    connect(view, &QTreeView::doubleClicked, this, [view](const QModelIndex& index) {
        const QModelIndex row = index.siblingAtColumn(0);
        if (view->model() && view->model()->hasChildren(row))
            view->setExpanded(row, true);
    });
}

void CAnnouNewsReportCtrl::SetGroupColumn(int column)
{
    if (m_groupColumn >= 0)
        setColumnHidden(m_groupColumn, false);
    m_groupColumn = column;
    if (column >= 0 && OnHideInsertedGroupColumn())
        setColumnHidden(column, true);
}
