#include "market/MarketHooks.h"

#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"

MarketHooks& marketHooks()
{
    static MarketHooks hooks;
    return hooks;
}

void OpenIndexChart(int indexNumber)
{
    if (marketHooks().openIndexChart) {
        marketHooks().openIndexChart(indexNumber, 3);
        return;
    }
    WriteLog(0, "Intraday chart of index " + std::to_string(indexNumber) + " not installed");
    MsgBoxOk("Intraday Chart is not available in this version.");
}

void OpenIndexChain(int indexNumber)
{
    if (marketHooks().openIndexChain) {
        marketHooks().openIndexChain(indexNumber);
        return;
    }
    WriteLog(0, "Derivative chain of index " + std::to_string(indexNumber) + " not installed");
    MsgBoxOk("Derivative Chain is not available in this version.");
}
