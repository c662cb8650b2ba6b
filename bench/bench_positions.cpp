// The risk report window under a busy market: 1,000 open positions over 500
// securities (two adjacent rows each) and 1,000 today's positions, fed 50,000
// quotes per second (tick codes 10 and 20) through the real feed dispatcher
// on the offscreen platform: first with the open positions shown, then with
// today's positions. Feed threads only mark securities in the window's tick
// box; its 100 ms timer applies them on the UI thread.
//
// Reported: the UI thread's busy share, the longest stall (5 ms heartbeat and
// longest single event), grid layouts per 100 ms, and, one period after the
// feed stops, whether every LTP, P&L and both totals equal a fresh
// PositionMath computation. Targets: busy under 30%, no stall over 50 ms, at
// most one layout per 100 ms, every figure equal.
//
//   bench_positions [--seconds N] [--rate UPDATES_PER_SECOND]
#include "app/CVortanexQtApp.h"
#include "bench_timed_app.h"
#include "bench_verdict.h"
#include "server/FeedDispatcher.h"
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/SecurityTable.h"

#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"
#include "positions/CNetPosition.h"
#include "positions/NetPositionFeed.h"
#include "positions/PositionMath.h"
#include "server/RiskArrays.h"
#include "positions/RiskReplies.h"
#include "ui/grid_model.h"
#include "ui/grid_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <time.h>
#include <vector>

namespace {

using benchtiming::TimedApp;
using benchtiming::threadCpuNs;

constexpr int kSecurities = 500;
constexpr int kPositions = 1000;
constexpr int kTodays = 1000;

std::shared_ptr<SecurityTable> publishMarket()
{
    SecurityRows rows;
    for (int i = 0; i < kSecurities; ++i) {
        SecurityRecord r;
        r.token = i + 1;
        r.wtoken = 2 * (i + 1) - 1;
        r.market_exchange.assign("NN");
        r.inst_type.assign("EQ");
        r.symbol.assign("SCRIP" + std::to_string(i));
        r.setDisplayKey("SCRIP" + std::to_string(i) + "-EQ");
        r.market_lot = 1;
        rows.push_back(std::move(r));
    }
    auto t = std::make_shared<SecurityTable>();
    t->build(std::move(rows), SecurityTable::Build::Full, true);
    SecurityTable::publish(t);
    return t;
}

class NoIndices : public IndexRows {
public:
    bool update(int, const std::function<void(IndexRecord&)>&, IndexRecord&) override { return false; }
};

// Every shown figure against a fresh computation; the number of mismatches.
int verify(CNetPosition& view, int report)
{
    const ClientRiskArrays& a = ActiveClientRiskArrays();
    const ui::GridModel& m = view.grid(report)->model();
    int bad = 0;
    double total = 0;
    if (report == CNetPosition::Open) {
        for (const PositionRecord& p : a.positions) {
            const RiskSecurityFacts s = TableRiskSecurities().facts(p.sec_index);
            const double L = PositionMath::LastRupees(s);
            const double pl = PositionMath::OpenPositionPl(p, s, L);
            total += pl;
            if (m.text(p.grid_row, 2).toStdString() != PositionMath::FormatPrice(L, false)
                || m.text(p.grid_row, 12).toStdString() != PositionMath::FormatPrice(pl, false))
                ++bad;
        }
        if (std::fabs(total - view.openPlTotal()) > 1e-6 * std::max(1.0, std::fabs(total))
            || m.text(view.openTotalRow(), 12).toStdString() != PositionMath::FormatPrice(total, false))
            ++bad;
    } else {
        for (const TodaysPositionRecord& r : a.todays_positions) {
            const RiskSecurityFacts s = TableRiskSecurities().facts(r.sec_index);
            TodaysPositionRecord fresh = r;
            PositionMath::ApplyTodaysTick(fresh, s, PositionMath::LastRupees(s));
            total += fresh.unrealised_pl;
            if (m.text(r.grid_row, 3).toStdString() != PositionMath::FormatNumber("%.2lf", fresh.ltp)
                || m.text(r.grid_row, 20).toStdString() != PositionMath::FormatNumber("%.2lf", fresh.unrealised_pl))
                ++bad;
        }
        if (std::fabs(total - view.todaysPlTotal()) > 1e-6 * std::max(1.0, std::fabs(total)))
            ++bad;
    }
    return bad;
}

} // namespace

int main(int argc, char** argv)
{
    int seconds = 10;
    int rate = 50000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(2, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--rate") == 0)
            rate = std::max(1, std::atoi(argv[++i]));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TimedApp app(argc, argv);
    LimitStylePictureCache(); // as the program's application object does

    SetDefaultSettings();
    std::strcpy(pv_user_info.user_id, "BENCH");
    pv_user_info.user_type = 'D'; // a dealer at index 0: the window fetches nothing by itself
    pv_user_info.client_index = 0;
    g_Session.clients.resize(1);
    CopyFixedText(g_Session.clients[0].client_code, "BENCH");
    g_Session.clients[0].active = 1;
    g_Config.Feeds_Type = 3;
    SetLoggedIn(true);
    const auto market = publishMarket();

    // The reports as a reply would leave them: two adjacent positions per
    // security, two today's positions per security.
    ClientRiskArrays& arrays = RiskArraysOf(g_Session.clients[0]);
    for (int i = 0; i < kPositions; ++i) {
        PositionRecord p;
        p.token = i / 2 + 1;
        p.exchange = "NN";
        p.sec_index = i / 2;
        p.net_qty = i % 2 ? -10 : 25;
        p.net_value = p.net_qty * 1000.0;
        p.avg_price = 1000;
        p.multiplier = 1;
        p.margin_type = "N";
        p.record_no = i;
        arrays.positions.push_back(p);
    }
    for (int i = 0; i < kTodays; ++i) {
        TodaysPositionRecord r;
        r.token = i / 2 + 1;
        r.exchange = "NN";
        r.sec_index = i / 2;
        r.buy_traded_qty = 20 + i % 7;
        r.buy_traded_value = r.buy_traded_qty * 995.0;
        r.sell_traded_qty = i % 3;
        r.sell_traded_value = r.sell_traded_qty * 1005.0;
        r.net_qty = r.buy_traded_qty - r.sell_traded_qty;
        r.multiplier = 1;
        r.record_no = i;
        arrays.todays_positions.push_back(r);
    }

    CNetPosition view;
    view.resize(1400, 800);
    view.show();
    view.OnInitialUpdate(13);
    const int slot = getClientDlg();
    FeedSubscriptions::instance().setWindow(slot, view.feed(), kWindowNetPosition, -1);
    view.Get_Data(kRiskPositions);
    view.Get_Data(kRiskTodays); // fills the today's grid too (records get their rows)
    view.Get_Data(kRiskPositions);
    std::vector<int> securities(kSecurities);
    for (int s = 0; s < kSecurities; ++s)
        securities[size_t(s)] = s;
    view.feed()->setSecurities(securities);
    Update_Feeds_Token();
    app.processEvents();

    FeedConsumers consumers;
    NoIndices indices;
    FeedDispatcher dispatcher(consumers, FeedSubscriptions::instance(), indices, FeedDispatcher::Options{});

    QElapsedTimer beat;
    long long lastBeatNs = 0, worstGapNs = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const long long now = beat.nsecsElapsed();
        if (lastBeatNs)
            worstGapNs = std::max(worstGapNs, now - lastBeatNs - 5'000'000LL);
        lastBeatNs = now;
    });

    std::atomic<bool> stop{false};
    std::atomic<long long> sent{0};
    std::thread feed([&] {
        std::mt19937 rng(12345);
        std::uniform_int_distribution<int> pick(0, kSecurities - 1);
        std::vector<long long> last(kSecurities, 100000);
        constexpr int kBurstsPerSecond = 500;
        const int perBurst = std::max(1, rate / kBurstsPerSecond);
        auto next = std::chrono::steady_clock::now();
        char message[512];
        while (!stop.load()) {
            for (int i = 0; i < perBurst; ++i) {
                const int s = pick(rng);
                // Up and down by a few paise: every quote moves the price.
                last[size_t(s)] += (rng() % 2) ? 5 : -5;
                int n = std::snprintf(message, sizeof message, "101,%d", market->row(s).wtoken);
                for (int k = 0; k < 21; ++k)
                    n += std::snprintf(message + n, sizeof message - size_t(n), ",%lld", last[size_t(s)] + (k == 4 ? 0 : k));
                dispatcher.Distribute_Feed(message, n);
            }
            sent += perBurst;
            next += std::chrono::microseconds(1'000'000 / kBurstsPerSecond);
            std::this_thread::sleep_until(next);
        }
    });

    // Every batch a live grid publishes is one layout of its rows.
    std::atomic<int> batches{0};
    bool counting = false;
    for (int report : {int(CNetPosition::Open), int(CNetPosition::Todays)})
        QObject::connect(&view.grid(report)->model(), &ui::GridModel::batchApplied, [&] {
            if (counting)
                ++batches;
        });
    double cpu0 = 0;
    QElapsedTimer wall;
    QTimer::singleShot(1000, &app, [&] {
        beat.start();
        heartbeat.start(5);
        app.m_measuring = true;
        cpu0 = double(threadCpuNs()) / 1e9;
        counting = true;
        sent = 0;
        wall.start();
        // Half the time on each live tab.
        QTimer::singleShot(seconds * 500, &app, [&] {
            // The refill publishes its rows as it adds them: not a live update.
            counting = false;
            view.Get_Data(kRiskTodays);
            counting = true;
        });
        QTimer::singleShot(seconds * 1000, &app, [&] { app.quit(); });
    });
    app.exec();
    const double wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    const double cpuSeconds = double(threadCpuNs()) / 1e9 - cpu0;
    const int layouts = batches.load();
    counting = false;
    app.m_measuring = false;
    stop = true;
    feed.join();
    dispatcher.drain();

    // One timer period after the last tick, the today's tab is exact; then
    // the open tab, refilled from the same records, follows one more period.
    auto settle = [&app] {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 120)
            app.processEvents(QEventLoop::AllEvents, 5);
    };
    settle();
    const int badTodays = verify(view, CNetPosition::Todays);
    view.Get_Data(kRiskPositions);
    for (int s = 0; s < kSecurities; ++s)
        view.feed()->quoteUpdated(s); // the open tab missed the second half's ticks
    settle();
    const int badOpen = verify(view, CNetPosition::Open);

    const double cpuShare = 100.0 * cpuSeconds / wallSeconds;
    const double dispatchShare = 100.0 * double(app.m_busyNs) / 1e9 / wallSeconds;
    const double worstStallMs = double(std::max(worstGapNs, app.m_longestNs)) / 1e6;
    // One per timer period (the tab switch's refill is not counted).
    const double layoutLimit = std::floor(wallSeconds * 10) + 1;
    const double layoutsPer100ms = double(layouts) / (wallSeconds * 10);
    std::printf("bench_positions: %d open positions and %d today's positions over %d securities, %lld quotes over "
                "%.2f s (%.0f/s)\n",
                kPositions, kTodays, kSecurities, sent.load(), wallSeconds, double(sent.load()) / wallSeconds);
    std::printf("  UI thread CPU time:       %.3f s = %.1f%% of wall time (limit 30%%)\n", cpuSeconds, cpuShare);
    std::printf("  event dispatch time:      %.3f s = %.1f%% of wall time (limit 30%%)\n", double(app.m_busyNs) / 1e9,
                dispatchShare);
    std::printf("  worst stall:              %.2f ms (limit 50 ms)\n", worstStallMs);
    std::printf("  grid layouts:             %d = %.2f per 100 ms (limit %.0f: one per 100 ms period)\n",
                layouts, layoutsPer100ms, layoutLimit);
    std::printf("  figures off a fresh computation: open %d, today's %d (limit 0)\n", badOpen, badTodays);
    benchverdict::Verdict verdict("bench_positions");
    verdict.atMost("UI thread busy (the larger of CPU and dispatch share)", std::max(cpuShare, dispatchShare), 30,
                   "%", true);
    verdict.atMost("worst stall", worstStallMs, 50, "ms");
    verdict.atMost("grid layouts (one per 100 ms period)", layouts, layoutLimit, "layouts");
    verdict.atMost("figures off a fresh computation", badOpen + badTodays, 0, "rows");
    FeedSubscriptions::instance().releaseSlot(slot);
    FeedSubscriptions::instance().reset();
    return verdict.finish();
}
