#include "app/PositionsWiring.h"

#include "positions/CNetPosition.h"
#include "positions/RiskWindowOpener.h"
#include "watch/WatchCommands.h"

void InstallPositions(CMainFrame& frame, std::function<int()> riskKind, pf::Shell* shell)
{
    InstallRiskReportWindow(&frame, std::move(riskKind));
    CNetPosition::SetShell(shell);
    auto before = WatchCommands::services().otherWindows;
    WatchCommands::services().otherWindows = [before](int code) {
        if (before)
            before(code);
        if (CNetPosition* view = CNetPosition::Instance())
            view->MyUpdate(code);
    };
}
