// Price alerts' cost to the live feed. 20,000 securities; the feed's hot loop
// as the program runs it, unpaced: a recording of quote frames prepared
// beforehand is cut by the frame assembler from reads of the transport's size
// and dispatched in per-read buffers, on this thread, with the program's pool
// configuration. No window is fed: the dispatch alone is the smallest limit
// the alerts' cost is measured against.
//
// Each run is timed in the whole process's CPU: the feed thread, the check
// pool and the drain that waits for the pool's last check. Two cases, each
// against alerts off over the same recording:
//  - 1,000 securities with an alert each, a tenth of them near the prices
//    the feed sends, so their ticks cross them and checks queue on the pool
//    as in a session (the alerts re-armed before every run);
//  - every quoted security carrying three alerts that the prices never meet.
// "On" and "off" runs alternate which goes first; a case whose "on" median
// comes out cheaper than its "off" one was measured wrongly (the alerts can
// only add work) and fails the run.
//
// Goals, each beside its limit in the same run:
//  - the 1,000-alert case's CPU per quote at most 1.20x alerts off, the
//    alerted-securities case at most 1.30x;
//  - every run of the first case queued checks (otherwise the run proved
//    nothing), and no two checks of one security ever ran at once;
//  - one check of a security whose alert does not hold costs under 10 us at
//    the median (the bare work of a check printed beside it).
// A plain executable; build it in Release.
#include "bench_timing.h"
#include "bench_verdict.h"

#include "server/FeedDispatcher.h"
#include "server/FeedFrameAssembler.h"
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/MarketLookups.h"
#include "server/SecurityTable.h"
#include "watch/AlertCheck.h"
#include "watch/AlertTable.h"

#include "pf/clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kSecurities = 20'000;
constexpr int kAlertEvery = 20;       // 1,000 alerted securities, one alert each
constexpr int kNearEvery = 10;        // a tenth of the alerts near the feed's prices
constexpr int kQuotes = 200'000;      // one recording
constexpr int kRounds = 11;           // on/off pairs, alternating which goes first
constexpr size_t kReadSize = 4090;
constexpr double kRatioGoal = 1.20;
constexpr double kAllAlertedGoal = 1.30;
constexpr int kAlertsEach = 3; // the alerted-securities case
constexpr double kCheckGoalUs = 10.0;

// Prices run from 1,000.00 to 1,049.99 (in paise); a near alert at or above
// 1,040.00 holds for a fifth of its security's ticks, a far one at 10,000.00
// never does.
constexpr long kPriceLow = 100'000;
constexpr long kPriceSpan = 5'000;
constexpr double kNearTypedPrice = 1'040;
constexpr double kFarTypedPrice = 10'000;

bool alerted(int s) { return s % kAlertEvery == 0; }
bool nearAlert(int s) { return s % (kAlertEvery * kNearEvery) == 0; }

class NoIndices : public IndexRows {
public:
    bool update(int, const std::function<void(IndexRecord&)>&, IndexRecord&) override { return false; }
};

// The program's alert consumers: the claim (the alerts' cheap test on the
// quote just stored, then the gate) and the check on the pool.
class AlertConsumers : public FeedConsumers {
public:
    explicit AlertConsumers(SecurityTable& table) : m_table(table), m_active(kSecurities) {}
    std::atomic<bool> enabled{true};
    bool alertsEnabled() const override { return enabled.load(); }
    bool claimAlertCheck(int security, const SecurityRecord& rec) override
    {
        if (!(AlertTable::instance().mayFire(security, rec) && m_gate.claim(security)))
            return false;
        m_queued.fetch_add(1);
        return true;
    }
    void prefetchAlertCheck(int security) const override { AlertTable::instance().prefetchThresholds(security); }
    void checkAlerts(int security, const QuoteData& claimed) override
    {
        const int running = m_active[size_t(security)].fetch_add(1) + 1;
        int seen = m_maxRunning.load();
        while (running > seen && !m_maxRunning.compare_exchange_weak(seen, running)) {
        }
        m_gate.release(security);
        const long long t0 = benchtiming::nowNs();
        const bool fired =
            CheckAlerts(security, claimed, AlertTable::instance(), m_table, pf::clock().nowSeconds()).has_value();
        const long long ns = benchtiming::nowNs() - t0;
        m_active[size_t(security)].fetch_sub(1);
        if (fired)
            m_fired.fetch_add(1);
        std::lock_guard lock(m_mutex);
        m_costs.push_back(ns);
    }
    int maxRunning() const { return m_maxRunning.load(); }
    int takeQueued() { return m_queued.exchange(0); }
    int takeFired() { return m_fired.exchange(0); }
    std::vector<long long> takeCosts()
    {
        std::lock_guard lock(m_mutex);
        return std::move(m_costs);
    }

private:
    SecurityTable& m_table;
    AlertCheckGate m_gate;
    std::vector<std::atomic<int>> m_active;
    std::atomic<int> m_maxRunning{0};
    std::atomic<int> m_queued{0};
    std::atomic<int> m_fired{0};
    std::mutex m_mutex;
    std::vector<long long> m_costs; // guarded by m_mutex
};

// Quote frames back to back, as the transport delivers them: securities
// drawn evenly, every quote timed today (the alerts look at today's quotes).
std::string record(int64_t today)
{
    std::mt19937 rng(7);
    std::string bytes;
    bytes.reserve(size_t(kQuotes) * 170);
    char msg[512];
    char head[8];
    for (int i = 0; i < kQuotes; ++i) {
        const int s = int(rng() % unsigned(kSecurities));
        const long p = kPriceLow + long(rng() % unsigned(kPriceSpan));
        const int n = std::snprintf(msg, sizeof msg,
                                    "101,%d,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,0,%ld,25,%lld,%ld,%ld,%ld",
                                    2 * (s + 1) - 1, p - 5, 100 + p % 900, p + 5, 200 + p % 700, p, p + 900, p - 900,
                                    p - 12, p - 50, p - 40, p % 500, 10000 + p, 12000 + p, 5000000 + p, 950000000 + p,
                                    static_cast<long long>(today), p - 100000, p + 10000, p - 10000);
        std::snprintf(head, sizeof head, "^0%04d", n);
        bytes += head;
        bytes.append(msg, size_t(n));
        bytes += '$';
    }
    return bytes;
}

// Every alert live again and every alerted security marked, as after the
// user saves them: each run starts from the same state.
void arm(SecurityTable& table)
{
    AlertTable::instance().clear();
    for (int s = 0; s < kSecurities; ++s) {
        if (!alerted(s))
            continue;
        AlertRecord r;
        r.secIndex = s;
        r.type = 2;
        r.quoteField = 4;
        r.criteria = kCriteriaAtOrAbove;
        r.typed = nearAlert(s) ? kNearTypedPrice : kFarTypedPrice;
        r.trigger = r.typed * 100;
        r.recurring = true;
        AlertTable::instance().put(AlertKey(2, table.row(s).displayKey().view(), 0, r.typed, 2), r);
        table.row(s).alert_flag.store(1);
    }
}

// Every security with three alerts the feed's prices (1,000.00 to 1,049.99)
// never meet: two above, one below.
void armEverySecurity(SecurityTable& table)
{
    AlertTable::instance().clear();
    static constexpr struct {
        int criteria;
        double typed;
    } kUnmet[kAlertsEach] = {{kCriteriaAtOrAbove, 10'000}, {kCriteriaAtOrAbove, 20'000}, {kCriteriaBelow, 500}};
    std::vector<AlertTable::Entry> entries;
    entries.reserve(size_t(kSecurities) * kAlertsEach);
    for (int s = 0; s < kSecurities; ++s) {
        for (const auto& u : kUnmet) {
            AlertRecord r;
            r.secIndex = s;
            r.type = 2;
            r.quoteField = 4;
            r.criteria = u.criteria;
            r.typed = u.typed;
            r.trigger = r.typed * 100;
            r.recurring = true;
            entries.emplace_back(AlertKey(2, table.row(s).displayKey().view(), u.criteria, u.typed, 2), r);
        }
        table.row(s).alert_flag.store(1);
    }
    AlertTable::instance().putAll(entries);
}

// The feed's hot loop over the recording, then the wait for the pool's last
// check: the whole process's CPU nanoseconds per quote (the feed thread's
// own in threadNs).
double feed(FeedDispatcher& dispatcher, const std::string& bytes, double* threadNs = nullptr)
{
    const long long process0 = benchtiming::processCpuNs();
    const long long cpu0 = benchtiming::threadCpuNs();
    FeedFrameAssembler assembler(FeedFrameAssembler::Kind::Tcp);
    for (size_t at = 0; at < bytes.size(); at += kReadSize) {
        const size_t n = std::min(kReadSize, bytes.size() - at);
        const FeedDispatcher::Buffer buffer(dispatcher);
        assembler.feed(bytes.data() + at, n, [&](std::string_view m) {
            return dispatcher.Distribute_Feed(m.data(), static_cast<int>(m.size())) != 999;
        });
    }
    if (threadNs)
        *threadNs = double(benchtiming::threadCpuNs() - cpu0) / kQuotes;
    dispatcher.drain();
    return double(benchtiming::processCpuNs() - process0) / kQuotes;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double percentileUs(std::vector<long long> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return double(v[std::min(v.size() - 1, size_t(double(v.size()) * p))]) / 1000;
}

} // namespace

int main()
{
    SecurityRows rows;
    rows.reserve(kSecurities);
    for (int i = 0; i < kSecurities; ++i) {
        SecurityRecord r;
        r.token = i + 1;
        r.wtoken = 2 * (i + 1) - 1;
        r.market_exchange.assign("NN");
        r.inst_type.assign("EQ");
        r.symbol.assign("SYM" + std::to_string(i));
        r.setDisplayKey("SYM" + std::to_string(i) + "~EQ");
        rows.push_back(std::move(r));
    }
    auto table = std::make_shared<SecurityTable>();
    table->build(std::move(rows), SecurityTable::Build::Full, true);
    SecurityTable::publish(table);
    SetLoggedIn(true);

    const int64_t today = pf::clock().nowSeconds();
    const std::string bytes = record(today);

    AlertConsumers consumers(*table);
    NoIndices indices;
    FeedDispatcher dispatcher(consumers, FeedSubscriptions::instance(), indices, FeedDispatcher::Options{});

    // A warm-up pass of each, then on/off pairs, the first of a pair
    // alternating.
    std::vector<double> on, off, onThread, offThread;
    std::vector<int> queuedPerRun, firedPerRun;
    std::vector<long long> queuedCosts;
    for (int round = -1; round < kRounds; ++round) {
        double a = 0, b = 0, aThread = 0, bThread = 0;
        int queued = 0, fired = 0;
        std::vector<long long> costs;
        auto runOn = [&] {
            arm(*table);
            consumers.enabled = true;
            a = feed(dispatcher, bytes, &aThread);
            queued = consumers.takeQueued();
            fired = consumers.takeFired();
            costs = consumers.takeCosts();
        };
        auto runOff = [&] {
            arm(*table);
            consumers.enabled = false;
            b = feed(dispatcher, bytes, &bThread);
            consumers.takeQueued();
        };
        if (round % 2 == 0) {
            runOn();
            runOff();
        } else {
            runOff();
            runOn();
        }
        if (round < 0)
            continue;
        on.push_back(a);
        off.push_back(b);
        onThread.push_back(aThread);
        offThread.push_back(bThread);
        queuedPerRun.push_back(queued);
        firedPerRun.push_back(fired);
        queuedCosts.insert(queuedCosts.end(), costs.begin(), costs.end());
    }

    // Every security with three unmet alerts: armed once (they never fire).
    armEverySecurity(*table);
    std::vector<double> allOn, allOff;
    int allQueued = 0;
    for (int round = -1; round < kRounds; ++round) {
        double a = 0, b = 0;
        if (round % 2 == 0) {
            consumers.enabled = true;
            a = feed(dispatcher, bytes);
            consumers.enabled = false;
            b = feed(dispatcher, bytes);
        } else {
            consumers.enabled = false;
            b = feed(dispatcher, bytes);
            consumers.enabled = true;
            a = feed(dispatcher, bytes);
        }
        allQueued += consumers.takeQueued();
        consumers.takeFired();
        consumers.takeCosts();
        if (round < 0)
            continue;
        allOn.push_back(a);
        allOff.push_back(b);
    }
    dispatcher.stop();

    // One check of a security whose alert does not hold (the common case),
    // run directly; beside it the bare work of a check: a quote copy and the
    // comparison.
    arm(*table);
    std::vector<long long> checkNs, bareNs;
    volatile int holds = 0;
    for (int i = 0; i < 200'000; ++i) {
        int s = (i * kAlertEvery) % kSecurities;
        if (nearAlert(s))
            s += kAlertEvery;
        long long t0 = benchtiming::nowNs();
        CheckAlerts(s, AlertTable::instance(), *table, today);
        checkNs.push_back(benchtiming::nowNs() - t0);
        t0 = benchtiming::nowNs();
        const QuoteData q = table->row(s).quote();
        holds = holds + (q.quote[4] >= kFarTypedPrice * 100 ? 1 : 0);
        bareNs.push_back(benchtiming::nowNs() - t0);
    }

    const int minQueued = *std::min_element(queuedPerRun.begin(), queuedPerRun.end());
    std::printf("bench_alerts: %d securities, %d alerts (%d near the prices), %d quotes a run unpaced, "
                "%d on/off pairs after a warm-up, alternating which goes first\n",
                kSecurities, kSecurities / kAlertEvery, kSecurities / kAlertEvery / kNearEvery, kQuotes, kRounds);
    std::printf("  checks queued per alerts-on run: median %.0f, fewest %d; alerts fired per run: median %.0f\n",
                median(std::vector<double>(queuedPerRun.begin(), queuedPerRun.end())), minQueued,
                median(std::vector<double>(firedPerRun.begin(), firedPerRun.end())));
    std::printf("  queued checks' cost: median %.2f us, p99 %.2f us\n", percentileUs(queuedCosts, 0.5),
                percentileUs(queuedCosts, 0.99));
    std::printf("  a check that fires nothing: median %.2f us, p99 %.2f us; the bare check %.2f us\n",
                percentileUs(checkNs, 0.5), percentileUs(checkNs, 0.99), percentileUs(bareNs, 0.5));
    std::printf("  1,000 alerts: process CPU per quote, each pair (on/off):");
    for (size_t i = 0; i < on.size(); ++i)
        std::printf(" %.0f/%.0f", on[i], off[i]);
    std::printf(" ns\n  1,000 alerts: feed thread CPU per quote, median on %.0f ns, off %.0f ns\n", median(onThread),
                median(offThread));
    std::printf("  every security with %d unmet alerts: process CPU per quote, each pair (on/off):", kAlertsEach);
    for (size_t i = 0; i < allOn.size(); ++i)
        std::printf(" %.0f/%.0f", allOn[i], allOff[i]);
    std::printf(" ns; checks queued %d\n", allQueued);

    benchverdict::Verdict verdict("bench_alerts");
    verdict.ratioAtMost("1,000 alerts on, process CPU per quote", median(on), median(off), kRatioGoal, "ns",
                        "alerts off");
    verdict.require("1,000 alerts: on costs no less than off", median(on) >= median(off),
                    "medians on " + std::to_string(median(on)) + " ns, off " + std::to_string(median(off)) + " ns");
    verdict.ratioAtMost("every quoted security with 3 unmet alerts, process CPU per quote", median(allOn),
                        median(allOff), kAllAlertedGoal, "ns", "alerts off");
    verdict.require("3 unmet alerts each: on costs no less than off", median(allOn) >= median(allOff),
                    "medians on " + std::to_string(median(allOn)) + " ns, off " + std::to_string(median(allOff)) +
                        " ns");
    verdict.require("every alerts-on run queued checks", minQueued > 0,
                    "fewest in a run " + std::to_string(minQueued));
    verdict.require("checks of one security never overlap", consumers.maxRunning() <= 1,
                    "most at once " + std::to_string(consumers.maxRunning()));
    verdict.atMost("check cost, median", percentileUs(checkNs, 0.5), kCheckGoalUs, "us", true);
    return verdict.finish();
}
