// The trade book with a large report: a 610 reply of 20,000 trades (200
// securities, 4 trades per order) is read on a worker into a fresh array and
// shown grouped by security and order on the UI thread of the offscreen
// platform. A 600 reply of 5,000 orders is read and loaded into a client's
// order store on a worker the same way.
//
// Reported: the time from the reply to the grouped grid (limit 1.5 s) and the
// longest stall of the UI thread meanwhile, measured by a 5 ms heartbeat
// (limit 100 ms). Median of three runs. Prints every goal with its limit and
// verdict; exits non-zero on a miss, or when a book did not hold every row.
//
//   bench_books [--runs N]
#include "bench_verdict.h"

#include "app/base/SessionRecord.h"
#include "frame/controls/CMyReportCtrl.h"
#include "orders/CTradeView.h"
#include "orders/ClientOrderStore.h"
#include "orders/OrderReportRequest.h"
#include "orders/TradeReport.h"

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
constexpr int kOrders = 5000;
constexpr double kLimitMs = 1500;
constexpr double kStallLimitMs = 100;

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

struct Figures {
    double totalMs = 0;
    double stallMs = 0;
};

// Runs `work` on a worker and `show` with its result on the UI thread,
// timing the whole and the UI thread's longest gap between heartbeats.
template <class Result>
Figures measure(QApplication& app, std::function<Result()> work, std::function<void(Result&)> show,
                std::function<bool()> shown)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    QTimer beat;
    beat.setInterval(5);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    beat.start();
    bool done = false;
    std::unique_ptr<Result> result;
    std::thread worker([&] {
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
    while (!done || !shown())
        app.processEvents(QEventLoop::WaitForMoreEvents, 10);
    const qint64 end = clock.nsecsElapsed();
    app.processEvents();
    longest = std::max(longest, clock.nsecsElapsed() - last);
    worker.join();
    return {end / 1e6, longest / 1e6};
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

    const std::string trades = tradeReply();
    std::vector<double> tradeMs, tradeStall;
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
        allTrades = allTrades && view.trades().size() == size_t(kTrades);
        if (view.trades().size() != size_t(kTrades))
            std::fprintf(stderr, "trade book holds %zu trades\n", view.trades().size());
        tradeMs.push_back(f.totalMs);
        tradeStall.push_back(f.stallMs);
    }

    const std::string orders = orderReply();
    g_Session.clients.assign(1, ClientInfo {});
    ClientInfo* client = &g_Session.clients[0];
    std::vector<double> orderMs, orderStall;
    for (int r = 0; r < runs; ++r) {
        const Figures f = measure<OrderReportOutcome>(
            app,
            [&] {
                OrderReportOutcome o = ReadOrderReportReply(200, orders, long(orders.size()));
                FillOrderReport(client, 1, o.count, o.rows, nullptr, "ABC12");
                return o;
            },
            [&](OrderReportOutcome&) {}, [] { return true; });
        allOrders = allOrders && StoredOrderCount(client) == kOrders;
        if (StoredOrderCount(client) != kOrders)
            std::fprintf(stderr, "order store holds %d orders\n", StoredOrderCount(client));
        orderMs.push_back(f.totalMs);
        orderStall.push_back(f.stallMs);
    }

    std::printf("bench_books (median of %d)\n", runs);
    benchverdict::Verdict verdict("bench_books");
    verdict.atMost("610, 20,000 trades to the grouped trade book", median(tradeMs), kLimitMs, "ms");
    verdict.atMost("610, longest UI stall", median(tradeStall), kStallLimitMs, "ms");
    verdict.require("the trade book holds every trade", allTrades, std::to_string(kTrades) + " trades a run");
    verdict.atMost("600, 5,000 orders read and stored on the worker", median(orderMs), kLimitMs, "ms");
    verdict.atMost("600, longest UI stall", median(orderStall), kStallLimitMs, "ms");
    verdict.require("the order store holds every order", allOrders, std::to_string(kOrders) + " orders a run");
    return verdict.finish();
}
