#pragma once
// The chart view in the running program: the market watch's chart items and
// the index views' intraday chart open chart windows in the frame, and the
// frame's "Charts" pane lists the user's chart studies. UI thread.
class CMainFrame;

void InstallChartViews(CMainFrame& frame);
// The frame's step after login: 6 fills the study tree.
void ChartViewsShortcutStep(CMainFrame& frame, int step);
