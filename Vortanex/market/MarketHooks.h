#pragma once
// What the index view and the indices bar hand to windows of other parts:
// the intraday chart of an index and the derivative chain of an index. The
// application installs both at start-up; a window used without them (a test
// of that window alone) tells the user the window is not available. UI
// thread only.
#include <functional>
#include <string>

struct MarketHooks {
    // Command 32888: the index's intraday chart (chart kind 3).
    std::function<void(int indexNumber, int chartKind)> openIndexChart;
    // Command 32889: the derivative chain (kind 2) of an index.
    std::function<void(int indexNumber)> openIndexChain;
    // The market dialog's web pages (news, company profile); unset, the
    // desktop browser opens them.
    std::function<void(const std::string& address)> openPage;
};
MarketHooks& marketHooks();

// Runs the hook, or tells the user that the window is not available.
void OpenIndexChart(int indexNumber);
void OpenIndexChain(int indexNumber);
