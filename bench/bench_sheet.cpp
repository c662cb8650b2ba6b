// The spreadsheet link under a busy market: three market-watch windows of
// 100 rows each, all 23 value columns, fed 50,000 quote updates per second
// through the real feed dispatcher, on the offscreen platform. The run has
// two halves of equal length: first the windows alone (the market watch's
// own load, as bench_watch measures it), then the same windows linked to a
// workbook, every linked row's rose and fell cells handed to the link's
// writer on each 70 ms drain.
//
// Reported: the UI thread's busy share in both halves and the rise, the
// longest UI stall, the most cell values ever waiting for the writer (the
// limit: one per cell), and the cells the workbook received per second
// (plain and styled) with the delay from a quote's arrival to its cell
// being written. With the recording workbook the targets are: a rise under
// 5 points, no stall over 50 ms, never more than one waiting value per
// cell. With --calc the live headless Calc is the workbook (by hand: it
// needs LibreOffice and the helper): targets at least 25,000 cell values a
// second through block writes and a p99 delay under 500 ms.
//
//   bench_sheet [--seconds N] [--rate UPDATES_PER_SECOND] [--calc]
#include "app/CVortanexQtApp.h"
#include "bench_timed_app.h"
#include "bench_verdict.h"
#include "server/FeedDispatcher.h"
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/MarketLookups.h"
#include "server/SecurityTable.h"
#include "watch/base/WatchlistTable.h"

#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/SessionRecord.h"
#include "frame/controls/CMyGridCtrl.h"
#include "watch/CVortanexView.h"
#include "watch/excel/CalcSheetLink.h"
#include "watch/excel/ExcelExport.h"
#include "watch/excel/ExcelExportCommand.h"
#include "watch/excel/ExcelLink.h"
#include "watch/excel/RecordingSheetLink.h"

#include "ui/document_area.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <time.h>
#include <vector>

#ifndef VX_CALCLINK_PROGRAM
#define VX_CALCLINK_PROGRAM ""
#endif

namespace {

using benchtiming::TimedApp;
using benchtiming::nowNs;
using benchtiming::threadCpuNs;

constexpr int kWindows = 3;
constexpr int kRowsPerWindow = 100;
constexpr int kSecurities = kWindows * kRowsPerWindow;

std::vector<std::atomic<long long>> g_sentAt(kSecurities);

// Counts what reaches the workbook and when a tick's last price lands.
class CountingLink : public SheetLink {
public:
    explicit CountingLink(std::unique_ptr<SheetLink> inner) : m_inner(std::move(inner)) {}
    bool openBook(const std::string& p, std::string& n, std::string& e) override { return m_inner->openBook(p, n, e); }
    std::vector<std::string> sheetNames() override { return m_inner->sheetNames(); }
    bool insertSheet(int p, const std::string& n) override { return m_inner->insertSheet(p, n); }
    bool renameSheet(const std::string& f, const std::string& t) override { return m_inner->renameSheet(f, t); }
    bool removeSheet(const std::string& n) override { return m_inner->removeSheet(n); }
    bool hideSheet(const std::string& n) override { return m_inner->hideSheet(n); }
    bool writeCells(const std::string& sheet, const std::vector<SheetCell>& cells) override
    {
        const bool ok = m_inner->writeCells(sheet, cells);
        const long long now = nowNs();
        const int window = sheet.empty() ? 0 : sheet.back() - '0';
        std::lock_guard lock(mutex);
        for (const auto& c : cells) {
            ++(c.styled ? styled : plain);
            if (c.styled && c.col == kLastPrc + 3 && c.row >= 2 && window >= 0 && window < kWindows) {
                const int s = window * kRowsPerWindow + c.row - 2;
                if (s >= 0 && s < kSecurities && measuring)
                    delays.push_back(now - g_sentAt[size_t(s)].load());
            }
        }
        return ok;
    }
    bool fillRow(const std::string& s, int r, int f, int l, uint32_t c, int p) override
    {
        return m_inner->fillRow(s, r, f, l, c, p);
    }
    bool deleteRows(const std::string& s, int f, int l) override { return m_inner->deleteRows(s, f, l); }
    int lastUsedRow(const std::string& s) override { return m_inner->lastUsedRow(s); }
    SheetCellState readCell(const std::string& s, int r, int c) override { return m_inner->readCell(s, r, c); }
    void release(bool close) override { m_inner->release(close); }
    void setDisconnectHandler(std::function<void()> h) override { m_inner->setDisconnectHandler(std::move(h)); }

    static inline std::mutex mutex;
    static inline long long plain = 0, styled = 0;
    static inline bool measuring = false;
    static inline std::vector<long long> delays;

private:
    std::unique_ptr<SheetLink> m_inner;
};

std::string spread(std::vector<long long> ns)
{
    if (ns.empty())
        return "none";
    std::sort(ns.begin(), ns.end());
    const auto at = [&](double q) { return double(ns[std::min(ns.size() - 1, size_t(q * double(ns.size())))]) / 1e6; };
    char text[160];
    std::snprintf(text, sizeof text, "%zu samples, median %.1f ms, p99 %.1f ms, max %.1f ms", ns.size(), at(0.5),
                  at(0.99), double(ns.back()) / 1e6);
    return text;
}

double percentile99(std::vector<long long> ns)
{
    if (ns.empty())
        return 0;
    std::sort(ns.begin(), ns.end());
    return double(ns[std::min(ns.size() - 1, size_t(0.99 * double(ns.size())))]) / 1e6;
}

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
        r.year_high = 1500;
        r.year_low = 500;
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

struct Half {
    double busy = 0;
    double stallMs = 0;
};

} // namespace

int main(int argc, char** argv)
{
    int seconds = 10;
    int rate = 50000;
    bool calc = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--calc") == 0)
            calc = true;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--rate") == 0)
            rate = std::max(1, std::atoi(argv[++i]));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TimedApp app(argc, argv);
    LimitStylePictureCache(); // as the program's application object does

    SetDefaultSettings();
    std::strcpy(pv_user_info.user_id, "BENCH");
    g_Config.Feeds_Type = 3;
    SetLoggedIn(true);
    const auto market = publishMarket();

    CMSExcel::installProgram(
        [calc]() -> std::unique_ptr<SheetLink> {
            if (!calc)
                return std::make_unique<CountingLink>(std::make_unique<RecordingSheetLink>());
            CalcOptions o;
            o.helper = VX_CALCLINK_PROGRAM;
            o.headless = true;
            return std::make_unique<CountingLink>(std::make_unique<CalcSheetLink>(o));
        },
        [](std::function<void()> task) { QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection); });

    WatchlistTable& table = WatchlistTable::instance();
    for (int w = 0; w < kWindows; ++w) {
        WatchlistRecord r;
        std::snprintf(r.name, sizeof r.name, "Bench%d", w);
        r.id = 1000 + w;
        r.inUse = 1;
        r.columnCount = kFixedWatchColumns + kColumnKinds;
        for (int k = 0; k < kColumnKinds; ++k)
            r.kinds[size_t(k)] = k;
        for (int i = 0; i < kRowsPerWindow; ++i) {
            const int s = w * kRowsPerWindow + i;
            r.rows.push_back({market->row(s).wtoken, s, 0, '1', 0, 0, nullptr});
        }
        r.rowCount = kRowsPerWindow;
        r.rowCapacity = kRowsPerWindow;
        table.append(r);
    }
    ui::DocumentArea area;
    area.resize(1400, 800);
    area.show();
    std::vector<std::unique_ptr<CVortanexView>> views;
    for (int w = 0; w < kWindows; ++w) {
        g_WatchOpenRequest = {};
        g_WatchOpenRequest.watchIndex = w;
        auto v = std::make_unique<CVortanexView>();
        area.addDocument(v.get(), QStringLiteral("Watchlist"));
        v->OnInitialUpdate();
        views.push_back(std::move(v));
    }
    app.processEvents();

    FeedConsumers consumers;
    NoIndices indices;
    FeedDispatcher dispatcher(consumers, FeedSubscriptions::instance(), indices, FeedDispatcher::Options{});
    for (auto& t : g_sentAt)
        t = 0;

    std::atomic<bool> stop{false};
    std::atomic<long long> sent{0};
    std::thread feed([&] {
        std::mt19937 rng(12345);
        std::uniform_int_distribution<int> pick(0, kSecurities - 1);
        std::vector<long long> counter(kSecurities, 0);
        constexpr int kBurstsPerSecond = 500;
        const int perBurst = std::max(1, rate / kBurstsPerSecond);
        auto next = std::chrono::steady_clock::now();
        char message[512];
        while (!stop.load()) {
            for (int i = 0; i < perBurst; ++i) {
                const int s = pick(rng);
                const long long price = 100000 + ++counter[size_t(s)];
                int n = std::snprintf(message, sizeof message, "101,%d", market->row(s).wtoken);
                for (int k = 0; k < 21; ++k)
                    n += std::snprintf(message + n, sizeof message - size_t(n), ",%lld",
                                       k == kLastPrc ? price : k == kPctChange ? (price % 200) - 100 : price + k);
                g_sentAt[size_t(s)].store(nowNs(), std::memory_order_release);
                dispatcher.Distribute_Feed(message, n);
            }
            sent += perBurst;
            next += std::chrono::microseconds(1'000'000 / kBurstsPerSecond);
            std::this_thread::sleep_until(next);
        }
    });

    // The most values ever waiting for the writer, sampled on a thread of
    // its own.
    std::atomic<size_t> mostPending{0};
    std::atomic<bool> sampling{true};
    std::thread sampler([&] {
        while (sampling) {
            mostPending = std::max(mostPending.load(), CMSExcel::program().pendingCells());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });

    Half halves[2];
    double linkedSeconds = 0;
    long long cellsBefore = 0;
    QElapsedTimer wall;
    double cpu0 = 0;
    const auto beginHalf = [&] {
        app.m_busyNs = 0;
        app.m_longestNs = 0;
        app.m_measuring = true;
        cpu0 = double(threadCpuNs()) / 1e9;
        wall.start();
    };
    const auto endHalf = [&](Half& h) {
        const double w = double(wall.nsecsElapsed()) / 1e9;
        const double cpu = double(threadCpuNs()) / 1e9 - cpu0;
        app.m_measuring = false;
        h.busy = std::max(100.0 * cpu / w, 100.0 * double(app.m_busyNs) / 1e9 / w);
        h.stallMs = double(app.m_longestNs) / 1e6;
        return w;
    };
    QTimer::singleShot(1000, &app, [&] {
        beginHalf();
        QTimer::singleShot(seconds * 1000, &app, [&] {
            endHalf(halves[0]);
            // Link the three lists: a new book, one sheet each.
            ExcelExportUi ui;
            ui.askWorkbook = [](bool& newBook, std::string&) {
                newBook = true;
                return true;
            };
            ui.message = [](const std::string& text) { std::fprintf(stderr, "  (%s)\n", text.c_str()); };
            for (auto& v : views)
                ExportViewToExcel(v.get(), ui);
            QElapsedTimer live;
            live.start();
            while (live.elapsed() < 30000 &&
                   !std::all_of(views.begin(), views.end(), [](const auto& v) { return v->excelCellsLive(); }))
                app.processEvents(QEventLoop::AllEvents, 5);
            {
                std::lock_guard lock(CountingLink::mutex);
                CountingLink::measuring = true;
                cellsBefore = CountingLink::plain + CountingLink::styled;
                CountingLink::plain = CountingLink::styled = 0;
            }
            mostPending = 0;
            // The linked half starts in an event of its own: this one, which
            // waited for the first passes, is not part of it.
            QTimer::singleShot(0, &app, [&] {
                beginHalf();
                QTimer::singleShot(seconds * 1000, &app, [&] {
                    linkedSeconds = endHalf(halves[1]);
                    app.quit();
                });
            });
        });
    });
    app.exec();
    stop = true;
    feed.join();
    dispatcher.drain();
    sampling = false;
    sampler.join();
    CMSExcel::program().waitIdle();

    long long plain, styled;
    std::vector<long long> delays;
    {
        std::lock_guard lock(CountingLink::mutex);
        CountingLink::measuring = false;
        plain = CountingLink::plain;
        styled = CountingLink::styled;
        delays = CountingLink::delays;
    }
    const double rise = halves[1].busy - halves[0].busy;
    const double stall = std::max(halves[0].stallMs, halves[1].stallMs);
    const size_t perCellLimit = size_t(kWindows) * kRowsPerWindow * kColumnKinds;
    std::printf("bench_sheet: %d linked windows x %d rows x %d value columns, %d quotes/s for %d s per half, %s\n",
                kWindows, kRowsPerWindow, kColumnKinds, rate, seconds,
                calc ? "live headless Calc" : "recording workbook");
    std::printf("  UI busy, windows alone:    %.1f%%\n", halves[0].busy);
    std::printf("  UI busy, windows linked:   %.1f%%  (rise %.1f points; limit 5)\n", halves[1].busy, rise);
    std::printf("  longest UI event:          %.2f ms (limit 50)\n", stall);
    std::printf("  most values waiting:       %zu (limit one per cell: %zu)\n", mostPending.load(), perCellLimit);
    std::printf("  cells written while linked: %lld plain + %lld styled = %.0f cells/s (%.0f styled/s); the first "
                "passes wrote %lld\n",
                plain, styled, double(plain + styled) / linkedSeconds, double(styled) / linkedSeconds, cellsBefore);
    std::printf("  quote to sheet delay:      %s (p99 limit 500 ms)\n", spread(delays).c_str());
    benchverdict::Verdict verdict("bench_sheet");
    verdict.atMost("longest UI event", stall, 50, "ms");
    verdict.atMost("most values waiting (one per cell)", double(mostPending.load()), double(perCellLimit), "values");
    if (calc)
        verdict.atMost("quote to sheet delay, p99", percentile99(delays), 500, "ms", true);
    else
        verdict.atMost("UI busy rise with the windows linked", rise, 5, "points", true);
    for (auto& v : views)
        v->FreeAllVariables();
    views.clear();
    LetGoExcelLink();
    FeedSubscriptions::instance().reset();
    SecurityTable::publish(nullptr);
    return verdict.finish();
}
