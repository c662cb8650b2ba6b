#include "app/ChartViewWiring.h"

#include "frame/CMainFrame.h"
#include "market/CEodChartView.h"
#include "market/CWorkspaceBar.h"
#include "market/MarketHooks.h"
#include "frame/WatchOpeners.h"
#include "watch/CScrip.h"
#include "watch/CWatch.h"

#include "ui/modal_host.h"

#include <QDockWidget>

void InstallChartViews(CMainFrame& frame)
{
    CMainFrame* f = &frame;
    watchOpeners().chart = [f](int security, int kind) { OpenChartView(security, kind, f); };
    marketHooks().openIndexChart = [f](int indexNumber, int) { OpenChartView(indexNumber, kChartIndex, f); };
    // The chart's compare security and study names come from the market
    // watch's dialogs: the add-scrip dialog in its one-security mode and the
    // watch-list dialog in its study mode.
    CEodChartView::Services& charts = CEodChartView::services();
    charts.pickCompareSecurity = [](QWidget* parent) {
        CScrip dialog(5, nullptr, parent);
        if (ui::modalHost().run(dialog) != 1)
            return -1;
        return dialog.chosenIndex();
    };
    charts.askStudyName = [](QWidget* parent, const std::string& caption, std::string& name) {
        CWatch dialog(caption, name, parent);
        if (ui::modalHost().run(dialog) != 1)
            return false;
        name = dialog.studyName();
        return !name.empty();
    };
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
