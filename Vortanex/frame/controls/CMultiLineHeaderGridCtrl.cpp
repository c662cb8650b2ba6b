#include "frame/controls/CMultiLineHeaderGridCtrl.h"

#include <QHeaderView>
#include <QTreeView>

CMultiLineHeaderGridCtrl::CMultiLineHeaderGridCtrl(int headerLineCount, QWidget* parent) : ui::GridView(parent)
{
    setHeaderLineCount(headerLineCount);
}

CMultiLineHeaderGridCtrl::~CMultiLineHeaderGridCtrl() { saveLayout(kStateSection); }

void CMultiLineHeaderGridCtrl::OnCreate()
{
    tree()->header()->setSortIndicatorShown(true);
    setHeaderLineCount(headerLineCount());
    loadLayout(kStateSection);
}
