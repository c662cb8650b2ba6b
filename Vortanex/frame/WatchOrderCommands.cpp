#include "frame/WatchOrderCommands.h"

#include "app/base/ActivityStamp.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "frame/OrderFormOpener.h"
#include "server/OrderSecurity.h"
#include "server/RequestServer.h"
#include "server/SecurityTable.h"
#include "watch/base/TextSplit.h"

#include "pf/threads.h"
#include "ui/ui_thread.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <cstdlib>
#include <vector>

namespace watch_order_commands_detail {
namespace {

std::atomic<bool> g_tradingAllowed{true};

bool isOption(const std::string& series) { return series == "OS" || series == "OI" || series == "OC"; }

} // namespace
} // namespace watch_order_commands_detail

char OrderKeySide(int qtKey, Qt::KeyboardModifiers modifiers)
{
    // Shifted buy and sell keys belong to the bracket-order commands.
    if (modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return 0;
    switch (qtKey) {
    case Qt::Key_F1:
    case Qt::Key_Plus: // the numeric pad's, or an unshifted one of the layout
    case Qt::Key_Equal: return 'B';
    case Qt::Key_F2:
    case Qt::Key_Minus: return 'S';
    default: return 0;
    }
}

void SetTradingAllowed(bool allowed) { watch_order_commands_detail::g_tradingAllowed.store(allowed); }
bool TradingAllowed() { return watch_order_commands_detail::g_tradingAllowed.load(); }

bool ParseQuoteSnapshot(const std::string& reply, double& bid, double& ask, double& ltp)
{
    if (reply.empty())
        return false;
    std::vector<std::string> items;
    SplitString(reply, '*', items);
    if (items.size() < 2 || items[1].empty())
        return false;
    std::vector<std::string> f;
    SplitString(items[1], ',', f);
    if (f.size() < 6)
        return false;
    ask = std::atof(f[3].c_str());
    bid = std::atof(f[1].c_str());
    ltp = std::atof(f[5].c_str());
    return true;
}

void SetFeedData(int securityIndex)
{
    try {
        const auto table = SecurityTable::current();
        if (!table || !table->valid(securityIndex))
            return;
        const std::string request = "action=L&token=" + std::to_string(table->row(securityIndex).wtoken);
        std::string reply;
        long length = 0;
        const int status = RequestServer(0, 7001, request, reply, length);
        // An error page must not become prices.
        if (status != 200 || length <= 0)
            return;
        WriteLog(0, reply);
        double bid = 0, ask = 0, ltp = 0;
        if (!ParseQuoteSnapshot(reply, bid, ask, ltp))
            return;
        table->row(securityIndex).updateQuote([&](QuoteData& q) {
            q.quote[2] = ask;
            q.quote[0] = bid;
            q.quote[4] = ltp;
        });
    } catch (...) {
        WriteLog(0, "Exception in SetFeedData");
    }
}

void FetchQuoteThen(int securityIndex, QWidget* view, std::function<void()> then)
{
    // The window that asked shows busy and takes no input until the reply;
    // the next step runs only if it is still there.
    QPointer<QWidget> window(view);
    const bool wasEnabled = window && window->isEnabled();
    if (window)
        window->setEnabled(false);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    auto finish = [window, wasEnabled, then = std::move(then)] {
        QApplication::restoreOverrideCursor();
        if (!window)
            return;
        if (wasEnabled)
            window->setEnabled(true);
        then();
    };
    const bool started = pf::Worker::start("SetFeedData", [securityIndex, finish] {
        SetFeedData(securityIndex);
        ui::UiThread::post(finish);
    });
    if (!started)
        finish();
}

void OpenOrderFromWatch(const WatchOrderSource& source, char side, QWidget* view)
{
    const char* name = side == 'B' ? "OnPopupBuy" : "OnPopupSell";
    try {
        SetAccessTime();
        if (!TradingAllowed())
            return;
        ClientInfo* client = ActiveClientEntry();
        if (!client || !client->active) {
            MsgBoxInfoCaption("Please Activate a Client", "Input Error");
            return;
        }
        OrderSecurity sec = OrderSecurityAt(source.securityIndex);
        const bool option = sec.valid() && watch_order_commands_detail::isOption(sec.series);
        int companion = -1;
        int fetch = -1;
        if (sec.valid() && !sec.derivative && !sec.commodity && !sec.currency
            && (sec.exchange == "NN" || sec.exchange == "BN")) {
            const int other = Search_Symbol(sec.symbol, sec.exchange == "NN" ? "BN" : "NN", sec.series);
            if (other > 0) {
                fetch = other;
                companion = other;
            }
        }
        int mark = -1;
        if (source.listType == 9 && !option)
            mark = 5;
        else if (source.listType == 8 || (source.listId >= -974 && source.listId <= -971))
            mark = 12;
        if (mark == 5 || mark == 12)
            companion = 0;
        OrderFormParams p;
        p.index = sec.valid() ? source.securityIndex : -1;
        p.side = side;
        p.scripType = 0;
        p.quantity = 0;
        p.orderMark = mark;
        p.tslKind = 0;
        p.companionIndex = companion;
        const int index = source.securityIndex;
        auto open = [p, index, side, view]() mutable {
            const OrderSecurity now = OrderSecurityAt(index);
            p.price = now.valid() ? (side == 'B' ? now.ask : now.bid) / 100 : 0;
            OpenOrderForm(p, view, 1);
        };
        if (fetch > 0)
            FetchQuoteThen(fetch, view, open);
        else
            open();
    } catch (...) {
        WriteLog(0, std::string("Exception in ") + name);
    }
}
