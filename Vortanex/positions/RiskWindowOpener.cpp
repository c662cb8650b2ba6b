#include "positions/RiskWindowOpener.h"

#include "app/base/LogWriter.h"
#include "frame/CMainFrame.h"
#include "positions/CNetPosition.h"
#include "positions/NetPositionFeed.h"
#include "frame/WindowOpeners.h"

#include <QMdiSubWindow>

#include <algorithm>

namespace {

constexpr int kRiskWindowSlotType = 2; // the open-window table's type of this window

} // namespace

void InstallRiskReportWindow(CMainFrame* frame, std::function<int()> riskKind)
{
    auto kind = [riskKind] { return std::clamp(riskKind ? riskKind() : 11, 11, 15); };
    for (int id = 33214; id <= 33218; ++id) {
        AppWindowServices::Window& w = appWindowServices().windows[id];
        w.activate = [kind] {
            CNetPosition* view = CNetPosition::Instance();
            if (!view)
                return false;
            if (auto* sub = qobject_cast<QMdiSubWindow*>(view->parentWidget()))
                sub->showNormal();
            view->activateWindow();
            view->SelectReportTab(kind() - 11);
            return true;
        };
        w.open = [frame, kind] {
            if (!frame)
                return false;
            auto* view = new CNetPosition();
            frame->OpenFeedView(view, QStringLiteral("Net Position"), view->feed(), kRiskWindowSlotType, -1);
            view->OnInitialUpdate(kind());
            return true;
        };
    }
}

void CloseRiskReportWindow()
{
    if (CNetPosition* view = CNetPosition::Instance()) {
        WriteLog(0, "The security master changed: the risk report window closes");
        view->Close_Window();
    }
}
