// The books with large reports: a 610 reply of 20,000 trades (200
// securities, 4 trades per order) is read on a worker into a fresh array and
// shown grouped by security and order in the trade book on the UI thread of
// the offscreen platform. A 600 reply of 20,000 orders is read and loaded into
// the client's order store on a worker and shown in the order book, which
// the store tells through its link, as in the program.
//
// Reported: the time from the reply to the shown book (limit 1.5 s) and the
// longest stall of the UI thread meanwhile, measured by a 5 ms heartbeat
// (goal: none over 50 ms, a stall a user feels); beside each stall, the bare
// grid fill of the same rows: the grid given every row of the book on the UI
// thread at once, grouped the same, until it is painted with every group
// open. Median of three
// runs. Prints every goal with its limit and verdict; exits non-zero on a
// miss, or when a book did not show every row.
//
//   bench_books [--runs N]
#include "app/CVortanexQtApp.h"
#include "bench_stall.h"
#include "bench_verdict.h"

#include "app/base/SessionRecord.h"
#include "frame/controls/CMyReportCtrl.h"
#include "orders/COrderViewEx.h"
#include "orders/CTradeView.h"
#include "orders/ClientOrderStore.h"
#include "orders/OrderReportRequest.h"
#include "orders/TradeReport.h"
#include "ui/grid_model.h"
#include "ui/grid_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kTrades = 20000;
constexpr int kOrders = 20000;
constexpr double kLimitMs = 1500;
constexpr double kStallLimitMs = 50;

std::string tradeReply()
{
    std::string out = "611|0|OK|" + std::to_string(kTrades) + "~";
    char row[512];
    for (int i = 0; i < kTrades; ++i) {
        const int sec = i % 200, order = 1000000 + i / 4;
        std::snprintf(row, sizeof row,
                      "%s611|CID01|%d|NN|%d|%d|X%d|%s|%d|%d.%02d|10-Dec-2026 09:%02d:%02d|0|ABC12|||SYMBOL%03d-EQ|Normal",
                      i ? "^" : "", 1000 + sec, order, 5000000 + i, i, (order % 2) ? "Sell" : "Buy", 1 + i % 50,
                      100 + sec, i % 100, (i / 60) % 60, i % 60, sec);
        out += row;
    }
    return out;
}

std::string orderReply()
{
    std::string out = "600|0|OK|" + std::to_string(kOrders) + "~";
    char row[512];
    for (int i = 0; i < kOrders; ++i) {
        std::snprintf(row, sizeof row,
                      "%s101|CID01|%d|NN|%d|EX%d|%s|%d|%d.05|%d|09:15:00|OPN|0.00|0|3|ABC12|0|U1|SYMBOL%03d-EQ|Normal",
                      i ? "^" : "", 1000 + i % 200, 2000000 + i, i, i % 2 ? "Sell" : "Buy", 10, 100 + i % 200, 10,
                      i % 200);
        out += row;
    }
    return out;
}

using benchstall::Figures;

// Runs `work` on a worker and `show` with its result on the UI thread,
// timing the whole and the UI thread's longest stall.
template <class Result>
Figures measure(QApplication& app, std::function<Result()> work, std::function<void(Result&)> show,
                std::function<bool()> shown)
{
    bool done = false;
    std::unique_ptr<Result> result;
    std::thread worker;
    const Figures f = benchstall::measure(
        app,
        [&] {
            worker = std::thread([&] {
                auto r = std::make_unique<Result>(work());
                QMetaObject::invokeMethod(
                    &app,
                    [&, r = r.release()]() mutable {
                        result.reset(r);
                        show(*result);
                        done = true;
                    },
                    Qt::QueuedConnection);
            });
        },
        [&] { return done && shown(); });
    worker.join();
    return f;
}

// The texts of every row the owner gave a grid, in the owner's order.
std::vector<QStringList> ownerRows(const ui::GridModel& m)
{
    std::vector<QStringList> rows;
    for (int id : m.ownerTopRows()) {
        QStringList cells;
        for (int c = 0; c < m.columns(); ++c)
            cells << m.text(id, c);
        rows.push_back(std::move(cells));
    }
    return rows;
}

// The bare grid fill: a grid of the same columns and groups given every row
// on the UI thread at once, grouped, filtered and painted; its time is what
// the UI thread would be held without the books' own filling.
double bareFill(QApplication& app, const ui::GridModel& like, const std::vector<QStringList>& rows)
{
    ui::GridView grid;
    grid.resize(1200, 700);
    grid.model().setColumns(like.columnNames());
    grid.setGroupColumns(like.groupColumns());
    grid.show();
    app.processEvents();
    QElapsedTimer clock;
    clock.start();
    ui::GridModel& m = grid.model();
    m.setAutoFlush(false);
    for (const QStringList& cells : rows) {
        const int id = m.addRow();
        for (int c = 0; c < cells.size(); ++c)
            m.setText(id, c, cells[c]);
    }
    m.flush();
    grid.refilter();
    grid.repaint();
    app.processEvents();
    // Thousands of groups open in slices after the fill: all of it is the
    // grid's work.
    while (grid.isSettling())
        app.processEvents(QEventLoop::WaitForMoreEvents, 10);
    return clock.nsecsElapsed() / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 3;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    LimitStylePictureCache(); // as the program's application object does

    const std::string trades = tradeReply();
    std::vector<double> tradeMs, tradeStall, tradeBare;
    bool allTrades = true, allOrders = true;
    for (int r = 0; r < runs; ++r) {
        CTradeView view;
        view.resize(1200, 700);
        view.OnInitialUpdate(false);
        view.show();
        app.processEvents();
        const Figures f = measure<TradeReportOutcome>(
            app, [&] { return ReadTradeReportReply(200, trades, "ABC12", nullptr); },
            [&](TradeReportOutcome& o) { view.takeResult(std::move(o)); }, [&] { return !view.isBusy(); });
        const size_t shown = view.grid()->model().ownerTopRows().size();
        allTrades = allTrades && view.trades().size() == size_t(kTrades) && shown == size_t(kTrades);
        if (shown != size_t(kTrades))
            std::fprintf(stderr, "trade book shows %zu of %zu trades\n", shown, view.trades().size());
        tradeMs.push_back(f.totalMs);
        tradeStall.push_back(f.stallMs);
        tradeBare.push_back(bareFill(app, view.grid()->model(), ownerRows(view.grid()->model())));
    }

    const std::string orders = orderReply();
    g_Session.clients.assign(1, ClientInfo {});
    ClientInfo* client = &g_Session.clients[0];
    std::vector<double> orderMs, orderStall, orderBare;
    for (int r = 0; r < runs; ++r) {
        // Opened without an active client, so that it downloads nothing; the
        // store below tells it of the report as a download would.
        pv_user_info.client_index = -1;
        auto* view = new COrderViewEx;
        view->resize(1200, 700);
        view->OnInitialUpdate();
        view->show();
        app.processEvents();
        pv_user_info.client_index = 0;
        const Figures f = measure<OrderReportOutcome>(
            app,
            [&] {
                OrderReportOutcome o = ReadOrderReportReply(200, orders, long(orders.size()));
                FillOrderReport(client, 1, o.count, o.rows, nullptr, "ABC12");
                return o;
            },
            [&](OrderReportOutcome&) {},
            [&] { return !view->isBusy() && view->grid()->model().rowTotal() >= kOrders; });
        const size_t shown = view->grid()->model().ownerTopRows().size();
        allOrders = allOrders && StoredOrderCount(client) == kOrders && shown == size_t(kOrders);
        if (shown != size_t(kOrders))
            std::fprintf(stderr, "order book shows %zu of %d orders\n", shown, StoredOrderCount(client));
        orderMs.push_back(f.totalMs);
        orderStall.push_back(f.stallMs);
        orderBare.push_back(bareFill(app, view->grid()->model(), ownerRows(view->grid()->model())));
        delete view;
        app.processEvents();
    }

    std::printf("bench_books (median of %d)\n", runs);
    benchverdict::Verdict verdict("bench_books");
    verdict.atMost("610, 20,000 trades to the grouped trade book", median(tradeMs), kLimitMs, "ms");
    verdict.atMost("610, longest UI stall", median(tradeStall), kStallLimitMs, "ms");
    verdict.figure("610, longest UI stall beside the bare grid fill", median(tradeStall), median(tradeBare), "ms",
                   "the same rows filled into a grid at once");
    verdict.require("the trade book shows every trade", allTrades, std::to_string(kTrades) + " trades a run");
    verdict.atMost("600, 20,000 orders to the order book", median(orderMs), kLimitMs, "ms");
    verdict.atMost("600, longest UI stall", median(orderStall), kStallLimitMs, "ms");
    verdict.figure("600, longest UI stall beside the bare grid fill", median(orderStall), median(orderBare), "ms",
                   "the same rows filled into a grid at once");
    verdict.require("the order book shows every order", allOrders, std::to_string(kOrders) + " orders a run");
    return verdict.finish();
}
