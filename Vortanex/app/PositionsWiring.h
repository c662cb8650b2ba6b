#pragma once
// Start-up wiring of the risk report window: its report commands, the shell
// of its additional-margin page and the settings broadcast.
#include <functional>

class CMainFrame;
namespace pf {
class Shell;
}

void InstallPositions(CMainFrame& frame, std::function<int()> riskKind, pf::Shell* shell);
