// Renders a market watch to a PNG on the offscreen platform, for a person to
// look at: a list of a dozen securities after a few ticks, with rising and
// falling cells, a row past the % change threshold, 52-week bands and the
// direction icons.
//
//   render_watch_sample OUTPUT.png
#include "server/FeedSubscriptions.h"
#include "server/FeedState.h"
#include "server/SecurityTable.h"
#include "watch/WatchFeed.h"
#include "watch/base/WatchlistTable.h"

#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/SessionRecord.h"
#include "watch/CVortanexView.h"
#include "frame/controls/CMyGridCtrl.h"

#include <QApplication>
#include <QPixmap>

#include <cstdio>
#include <cstring>
#include <ctime>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: render_watch_sample OUTPUT.png\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetDefaultSettings();
    g_AppSettings.gain_threshold = 300; // 3.00 %
    g_AppSettings.loss_threshold = -300;
    std::strcpy(pv_user_info.user_id, "SAMPLE");
    g_Config.Feeds_Type = 3;
    SetLoggedIn(true);

    struct Sample {
        const char* symbol;
        const char* exch;
        const char* inst;
        double last; // rupees
        double change; // percent
        double yearHigh, yearLow;
        int currency;
    } samples[] = {
        {"SBIN", "NN", "EQ", 822.20, 1.25, 838.00, 600.10, 0},       {"RELIANCE", "NN", "EQ", 1254.75, -0.40, 1600.00, 1200.50, 0},
        {"INFY", "NN", "EQ", 1569.65, 3.40, 1600.00, 1350.00, 0},     {"TCS", "BN", "EQ", 3424.55, -3.10, 4500.00, 3300.00, 0},
        {"HDFCBANK", "NN", "EQ", 1734.80, 0.00, 1800.00, 1400.00, 0}, {"ITC", "NN", "EQ", 423.05, 0.85, 500.00, 399.00, 0},
        {"USDINR", "CN", "FC", 83.2175, 0.05, 84.00, 81.50, 1},       {"GOLD", "MC", "CF", 71250.00, -0.75, 73000.00, 60000.00, 0},
        {"NIFTY", "NN", "FI", 22350.00, 0.60, 0, 0, 0},               {"AXISBANK", "NN", "EQ", 1102.30, -1.95, 1200.00, 950.00, 0},
        {"WIPRO", "BN", "EQ", 472.10, 2.20, 560.00, 455.00, 0},       {"LT", "NN", "EQ", 3510.00, 0.10, 3600.00, 2800.00, 0},
    };
    const int n = int(std::size(samples));
    SecurityRows rows;
    for (int i = 0; i < n; ++i) {
        const Sample& s = samples[i];
        SecurityRecord r;
        r.token = 1000 + i;
        r.wtoken = 2 * r.token - 1;
        r.symbol.assign(s.symbol);
        r.setDisplayKey(std::string(s.symbol) + "~" + s.inst);
        r.market_exchange.assign(s.exch);
        r.inst_type.assign(s.inst);
        r.currency = s.currency;
        r.market_lot = 1;
        r.advisory_kind = i % 4 == 0 ? 1 : i % 4 == 1 ? 2 : 3;
        r.year_high = s.yearHigh;
        r.year_low = s.yearLow;
        rows.push_back(std::move(r));
    }
    auto table = std::make_shared<SecurityTable>();
    table->build(std::move(rows), SecurityTable::Build::Full, true);
    SecurityTable::publish(table);

    WatchlistRecord list;
    std::strcpy(list.name, "Sample");
    list.id = 42;
    list.inUse = 1;
    list.columnCount = WatchlistTable::instance().defaultColumnCount() + kFixedWatchColumns + 2;
    list.kinds = WatchlistTable::instance().defaultKinds();
    // Show the 52-week columns right after the default ones.
    std::swap(list.kinds[11], list.kinds[19]);
    std::swap(list.kinds[12], list.kinds[20]);
    for (int i = 0; i < n; ++i)
        list.rows.push_back({table->row(i).wtoken, i, 0, '1', 0, 0, nullptr});
    list.rowCount = n;
    g_WatchOpenRequest.watchIndex = WatchlistTable::instance().append(list);

    CVortanexView view;
    view.resize(1280, 360);
    view.show();
    view.OnInitialUpdate();

    // Two quotes per security: the second one ticks each value up or down.
    const time_t now = time(nullptr);
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < n; ++i) {
            const Sample& s = samples[i];
            const double last = s.last * 100 * (pass ? 1.0 : 1.0 - s.change / 100);
            table->row(i).updateQuote([&](QuoteData& q) {
                const double values[21] = {last - 5, 150.0 + i, last + 5, 90.0 + i * 3, last,       last * 1.01,
                                           last * 0.99, last,   last / (1 + s.change / 100), last * 0.995,
                                           s.change * 100, 40000.0 + i, 52000.0 + i, 1.2e6 + i * 1000.0, 0,
                                           3.1e8,      25,         double(now - 60 + i), last - last / (1 + s.change / 100),
                                           last * 1.2, last * 0.8};
                for (int k = 0; k < 21; ++k) {
                    const short tick = q.quote[k] == 0 ? 0 : values[k] > q.quote[k] ? kTickRose
                                                           : values[k] < q.quote[k] ? kTickFell
                                                                                    : kTickSameOnce;
                    q.quote[k] = values[k];
                    q.tick_code[k] = tick;
                }
                q.last_update = now;
                if (q.year_high == 0) {
                    q.year_high = s.yearHigh;
                    q.year_low = s.yearLow;
                }
            });
            view.feed()->quoteUpdated(i);
        }
    view.OnTimer();
    app.processEvents();
    const QPixmap shot = view.grab();
    if (!shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    view.FreeAllVariables();
    SecurityTable::publish(nullptr);
    return 0;
}
