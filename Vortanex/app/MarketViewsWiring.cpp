#include "server/MarketLookups.h"

#include "app/MarketViewsWiring.h"

#include "app/base/LogWriter.h"
#include "frame/CMainFrame.h"
#include "frame/FrameIds.h"
#include "market/CHistoryDepth.h"
#include "market/CIndexView.h"
#include "market/CMarketTurnOver.h"
#include "market/CIndicesDlg.h"
#include "market/CMDepthView.h"
#include "market/COptionCalc.h"
#include "market/CScripLastTick.h"
#include "market/CScriptDetails.h"
#include "market/CSpecialReports.h"
#include "market/MarketHooks.h"
#include "watch/AppWindowCommands.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"
#include "frame/WatchOpeners.h"
#include "frame/WindowOpeners.h"

#include "ui/commands.h"
#include "ui/modal_host.h"

#include <QMainWindow>

namespace market_views_wiring_detail {
namespace {

bool g_rewriteIndices = false;

CIndicesDlg* createIndicesBar(CMainFrame& frame)
{
    auto* bar = new CIndicesDlg(&frame);
    frame.addDockWidget(Qt::TopDockWidgetArea, bar);
    // Tall enough for the four-line texts at the program's font; a user who
    // shrinks it gets one line.
    frame.resizeDocks({bar}, {bar->dockHeight()}, Qt::Vertical);
    bar->show();
    bar->OnInitDialog(g_rewriteIndices);
    g_rewriteIndices = false;
    return bar;
}

} // namespace
} // namespace market_views_wiring_detail

void InstallMarketViews(CMainFrame& frame)
{
    CMainFrame* f = &frame;
    AppWindowCommands::Services& services = AppWindowCommands::services();
    services.windows[32886].activate = [] {
        return CIndexView::instance() != nullptr && OpenIndexView(CMainFrame::Instance());
    };
    services.windows[32886].open = [f] { return OpenIndexView(f) != nullptr; };
    services.windows[32887].open = [f] {
        COptionCalc calc(f);
        return ui::modalHost().run(calc) == ui::Ok;
    };
    frame.Commands().add(1117, [f] { CScripLastTick::Open(f); });
    frame.Commands().add(ID_VIEW_INDICES, [f] {
        if (CIndicesDlg* bar = CIndicesDlg::instance()) {
            bar->setVisible(!bar->isVisible());
            return;
        }
        CIndicesDlg* bar = market_views_wiring_detail::createIndicesBar(*f);
        if (QWidget* view = f->centralWidget())
            bar->FloatBar(QRect(view->mapToGlobal(QPoint(0, 0)), view->size()));
    });
    InstallReportDialogs(f);
    InstallMarketDialogs(frame.Commands(), f);
    InstallSpecialReports(frame.Commands(), f);
    watchOpeners().depth = [](QWidget* view, int security) { OpenMarketDepth(security, view); };
    watchOpeners().details = [f](int security) { ShowScripDetails(security, f); };
    // An index's derivative chain: the chain command's kind 2, for an index
    // (chain kind 1) named by its place in the index table.
    marketHooks().openIndexChain = [](int indexNumber) {
        g_WatchOpenRequest.chainKind = 1;
        g_WatchOpenRequest.chainBase = indexNumber;
        WatchCommands::OnNewChain(2);
    };
    // A security's derivative or future chain (the report dialog's
    // "Derivative" on a row).
    windowOpeners().chain = [](int kind, int security) {
        g_WatchOpenRequest.chainKind = kind;
        g_WatchOpenRequest.chainBase = security;
        WatchCommands::OnNewChain(kind);
    };
    // The settings broadcast reaches the depth gauges, the last-trades list
    // and the bar's font after the windows already served.
    auto before = WatchCommands::services().otherWindows;
    WatchCommands::services().otherWindows = [before](int code) {
        if (before)
            before(code);
        for (CMDepthView* v : CMDepthView::openViews())
            v->MyUpdate(code);
        if (CScripLastTick* t = CScripLastTick::instance())
            t->MyUpdate(code);
        if (CIndicesDlg* bar = CIndicesDlg::instance(); bar && code == 1)
            bar->SetButtonFont();
    };
}

void MarketViewsShortcutStep(CMainFrame& frame, int step)
{
    if (step == 8) {
        market_views_wiring_detail::g_rewriteIndices = UpdateIndices();
    } else if (step == 16) {
        if (CIndicesDlg* bar = CIndicesDlg::instance())
            bar->OnInitDialog(market_views_wiring_detail::g_rewriteIndices);
        else
            market_views_wiring_detail::createIndicesBar(frame);
    }
}
