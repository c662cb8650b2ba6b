#include "app/BooksWiring.h"

#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "frame/CMainFrame.h"
#include "orders/CBasketOrder.h"
#include "orders/CDlgConvertPosition.h"
#include "orders/COrderViewEx.h"
#include "orders/ClientOrderStore.h"
#include "frame/PositionServices.h"
#include "ui/commands.h"
#include "ui/ui_thread.h"

#include <QMdiSubWindow>
#include "orders/CTradeView.h"
#include "watch/AppWindowCommands.h"
#include "watch/WatchCommands.h"
#include "frame/WatchOpeners.h"

namespace {

// How long the exit waits for the reply of a basket or conversion in flight,
// then for its ended exchange (at once, unless a box is up).
constexpr int kInFlightAnswerMs = 1500;
constexpr int kInFlightEndMs = 3000;

} // namespace

void InstallBooks(CMainFrame& frame)
{
    // The basket form behind every opener; the frame's four "New Basket
    // Order" commands open it empty for the active client.
    InstallBasketForm();
    InstallConvertPositionForm();
    for (int id : {32870, 32873, 32876, 33382})
        frame.Commands().add(id, [] { OpenFrameBasket(); });
    AppWindowCommands::Services& services = AppWindowCommands::services();
    // One trade book: the command brings the open one up (all securities).
    services.windows[32878].activate = [] {
        if (!g_pTradeView)
            return false;
        OpenTradeBook(-1);
        return true;
    };
    services.windows[32878].open = [] { return OpenTradeBook(-1) != nullptr; };
    watchOpeners().book = [](int book, int security) {
        if (book == 1)
            OpenOrderBookFor(security);
        else
            OpenTradeBook(security);
    };
    auto previous = WatchCommands::services().otherWindows;
    WatchCommands::services().otherWindows = [previous](int code) {
        if (previous)
            previous(code);
        if (CTradeView* trades = g_pTradeView)
            trades->MyUpdate(code);
    };
}

void UninstallBooks()
{
    // A basket send or a conversion still running reports into its form: it
    // gets a moment to be answered (the UI served meanwhile: it may wait for
    // a box or the proxy prompt); one still out then is ended and named on
    // the Trading list as of unknown state, and its worker is collected.
    const auto idle = [] { return WaitBasketSends(0) && WaitConvertPositionWork(0); };
    if (!ui::UiThread::waitForWorker("basket sends and position conversions", idle, kInFlightAnswerMs)) {
        EndBasketSendsInFlight();
        EndConvertPositionWorkInFlight();
        ui::UiThread::waitForWorker("basket sends and position conversions", idle, kInFlightEndMs);
    }
    UninstallBasketForm();
    UninstallConvertPositionForm();
    watchOpeners().book = {};
}

void CloseBooksForSecurityDownload()
{
    // They hold security indices of the table that is about to go.
    if (CTradeView* trades = g_pTradeView) {
        trades->markClosing();
        if (auto* sub = qobject_cast<QMdiSubWindow*>(trades->parentWidget()))
            sub->close();
        else
            trades->close();
    }
    if (CBasketOrder* basket = g_pBasketOrder; basket && !basket->isSending())
        basket->reject();
    if (CDlgConvertPosition* convert = g_pDlgConvertPosition; convert && !convert->busy)
        convert->hide();
}
