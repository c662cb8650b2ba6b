#pragma once
// The market views in the running program: their commands (32886 "Indices
// Watchlist", 32887 "Option Calculator", 1117 "Scrip Movement", 32914
// "Indices"), the market watch's depth and scrip-details openers, an
// index's derivative chain, the indices file and bar after login, and the
// settings broadcast. UI thread.
class CMainFrame;

// After the frame's commands and the settings broadcast's other windows are set.
void InstallMarketViews(CMainFrame& frame);
// The frame's steps after login: 8 reads the indices file, 16 creates the bar.
void MarketViewsShortcutStep(CMainFrame& frame, int step);
