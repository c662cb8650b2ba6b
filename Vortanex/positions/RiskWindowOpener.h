#pragma once
// Installs the risk report window behind the application's report commands
// (33214 limits ... 33218 sell from existing, F6): the open window comes up
// on the command's tab, else a new one opens in the frame's document area.
#include <functional>

class CMainFrame;

// riskKind: the window type the command set (11..15).
void InstallRiskReportWindow(CMainFrame* frame, std::function<int()> riskKind);
// The security master was downloaded again: the window's rows name
// securities of the old table, so it closes.
void CloseRiskReportWindow();
