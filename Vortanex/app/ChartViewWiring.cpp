#include "app/ChartViewWiring.h"

#include "frame/CMainFrame.h"
#include "market/CEodChartView.h"
#include "market/CWorkspaceBar.h"
#include "market/MarketHooks.h"
#include "watch/WatchOpeners.h"

#include <QDockWidget>

void InstallChartViews(CMainFrame& frame)
{
    CMainFrame* f = &frame;
    watchOpeners().chart = [f](int security, int kind) { OpenChartView(security, kind, f); };
    marketHooks().openIndexChart = [f](int indexNumber, int) { OpenChartView(indexNumber, kChartIndex, f); };
    if (auto* pane = frame.findChild<QDockWidget*>("Charts"); pane && !CWorkspaceBar::instance())
        pane->setWidget(new CWorkspaceBar(pane));
}

void ChartViewsShortcutStep(CMainFrame& frame, int step)
{
    (void)frame;
    if (step != 6)
        return;
    if (CWorkspaceBar* bar = CWorkspaceBar::instance())
        bar->FillStudyTree(CEodChartView::services().studyRoot());
}
