// The live feed from memory: a recorded mix of frames (mostly 101 quotes, with
// 104 depth and 110 index updates) for 2,000 subscribed securities shown in 10
// windows, cut by the frame assembler and routed by the dispatcher; against
// the same work done with a new thread per message.
#include "server/FeedDispatcher.h"
#include "server/FeedFrameAssembler.h"
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/MarketLookups.h"
#include "server/SecurityTable.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kSecurities = 2000;
constexpr int kWindows = 10;
constexpr int kIndices = 10;

// A window's tick box: the feed marks a security, the window's timer would
// drain the marks on the UI thread.
class TickBoxWindow : public FeedWindow {
public:
    explicit TickBoxWindow(std::vector<int> securities)
        : m_securities(std::move(securities)), m_marks(kSecurities)
    {
    }
    std::vector<int> feedSecurities() const override { return m_securities; }
    void quoteUpdated(int security) override
    {
        m_marks[static_cast<size_t>(security)].store(1, std::memory_order_relaxed);
    }
    void depthUpdated(const std::string&, bool) override { m_depth.fetch_add(1, std::memory_order_relaxed); }

private:
    std::vector<int> m_securities;
    std::vector<std::atomic<uint8_t>> m_marks;
    std::atomic<uint64_t> m_depth{0};
};

class Indices : public IndexRows {
public:
    Indices()
    {
        for (int i = 0; i < kIndices; ++i) {
            IndexRecord r;
            r.feedCode = 90001 + 2 * i;
            m_rows.push_back(r);
        }
    }
    bool update(int feedCode, const std::function<void(IndexRecord&)>& change, IndexRecord& after) override
    {
        std::lock_guard lock(m_mutex);
        for (auto& r : m_rows)
            if (r.feedCode == feedCode) {
                change(r);
                after = r;
                return true;
            }
        return false;
    }

private:
    std::mutex m_mutex;
    std::vector<IndexRecord> m_rows;
};

struct Recording {
    std::string bytes;     // TCP frames back to back
    int messages = 0;
    int quotes = 0;
};

std::string frame(const std::string& msg)
{
    char head[8];
    std::snprintf(head, sizeof head, "^0%04zu", msg.size());
    return head + msg + "$";
}

// A recorded session: 90 % quotes, 6 % depth, 4 % index values.
Recording record(int messages)
{
    std::mt19937 rng(42);
    Recording r;
    r.bytes.reserve(static_cast<size_t>(messages) * 160);
    char buf[512];
    for (int i = 0; i < messages; ++i) {
        const int kind = static_cast<int>(rng() % 100);
        const int s = static_cast<int>(rng() % kSecurities);
        const int w = 2 * (s + 1) - 1;
        const long p = 100000 + static_cast<long>(rng() % 5000);
        if (kind < 90) {
            std::snprintf(buf, sizeof buf,
                "101,%d,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld", w, p - 5,
                100 + p % 900, p + 5, 200 + p % 700, p, p + 900, p - 900, p - 12, p - 50, p - 40, p % 500, 10000 + p,
                12000 + p, 5000000 + p, 0L, 950000000 + p, 25L, 1702000000L + i % 3600, p - 100000, p + 10000,
                p - 10000);
            ++r.quotes;
        } else if (kind < 96) {
            int len = std::snprintf(buf, sizeof buf, "104,%d,%ld", w, p);
            for (int l = 0; l < 10; ++l)
                len += std::snprintf(buf + len, sizeof buf - static_cast<size_t>(len), ",%ld,%d,%d",
                                     p + (l < 5 ? -l : l) * 5, 100 + l, 1 + l);
            std::snprintf(buf + len, sizeof buf - static_cast<size_t>(len), ",500000,450000");
            const std::string d = buf;
            r.bytes += frame(d);
            ++r.messages;
            continue;
        } else {
            std::snprintf(buf, sizeof buf, "110,%d,%ld,%ld,%ld,%d,x,", 90001 + 2 * (s % kIndices), 2000000 + p,
                          2000000L, p % 1000, 1702000000 + i);
        }
        r.bytes += frame(buf);
        ++r.messages;
    }
    return r;
}

// The program's tables as the benchmark needs them: 2,000 securities, each in
// one of 10 watch windows, and one depth window.
struct Setup {
    Setup()
    {
        SecurityRows rows;
        for (int i = 0; i < kSecurities; ++i) {
            SecurityRecord r;
            r.token = i + 1;
            r.wtoken = 2 * (i + 1) - 1;
            r.market_exchange.assign("NN");
            r.inst_type.assign("EQ");
            r.display_name.assign("SYM" + std::to_string(i));
            rows.push_back(std::move(r));
        }
        auto table = std::make_shared<SecurityTable>();
        table->build(std::move(rows), SecurityTable::Build::Full, true);
        SecurityTable::publish(table);
        SetLoggedIn(true);
        auto& subs = FeedSubscriptions::instance();
        subs.reset();
        for (int w = 0; w < kWindows; ++w) {
            std::vector<int> shown;
            for (int s = w; s < kSecurities; s += kWindows)
                shown.push_back(s);
            auto window = std::make_shared<TickBoxWindow>(shown);
            const int slot = subs.getClientDlg();
            subs.setWindow(slot, window, kWindowMarketWatch, w);
            for (int s : shown)
                subs.UpdateWatchToken(1, s, slot, 0);
        }
        const int depthSlot = subs.getClientDlg();
        subs.setWindow(depthSlot, std::make_shared<TickBoxWindow>(std::vector<int>{}), kWindowMarketDepth, 0);
    }
    FeedConsumers consumers;
    Indices indices;
};

Setup& setup()
{
    static Setup s;
    return s;
}

void runFeed(benchmark::State& state, int poolThreads, bool inlinePool)
{
    Setup& s = setup();
    static const Recording rec = record(200'000);
    FeedDispatcher dispatcher(s.consumers, FeedSubscriptions::instance(), s.indices,
                              FeedDispatcher::Options{poolThreads, inlinePool, {}});
    for (auto _ : state) {
        FeedFrameAssembler assembler(FeedFrameAssembler::Kind::Tcp);
        // Reads of the transport's size.
        for (size_t at = 0; at < rec.bytes.size(); at += 4090) {
            const size_t n = std::min<size_t>(4090, rec.bytes.size() - at);
            assembler.feed(rec.bytes.data() + at, n, [&](std::string_view m) {
                return dispatcher.Distribute_Feed(m.data(), static_cast<int>(m.size())) != 999;
            });
        }
        dispatcher.drain();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * rec.messages);
    state.counters["quotes/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * rec.quotes, benchmark::Counter::kIsRate);
}

// The feed thread with the keyed handler pool taking depth and index work.
void BM_FeedDispatch(benchmark::State& state)
{
    runFeed(state, 4, false);
}
BENCHMARK(BM_FeedDispatch)->Unit(benchmark::kMillisecond)->UseRealTime();

// Everything on one core: the pool runs its tasks on the feed thread.
void BM_FeedDispatchOneCore(benchmark::State& state)
{
    runFeed(state, 1, true);
}
BENCHMARK(BM_FeedDispatchOneCore)->Unit(benchmark::kMillisecond)->UseRealTime();

// The baseline: the quote is applied on the feed thread, then a new thread per
// message tells the windows (or handles the depth or index update).
void BM_ThreadPerMessage(benchmark::State& state)
{
    Setup& s = setup();
    static const Recording rec = record(10'000);
    FeedDispatcher dispatcher(
        s.consumers, FeedSubscriptions::instance(), s.indices, FeedDispatcher::Options{1, true, {}});
    std::atomic<int> live{0};
    auto spawn = [&](auto fn) {
        live.fetch_add(1);
        std::thread([fn, &live] {
            fn();
            live.fetch_sub(1);
        }).detach();
    };
    for (auto _ : state) {
        FeedFrameAssembler assembler(FeedFrameAssembler::Kind::Tcp);
        for (size_t at = 0; at < rec.bytes.size(); at += 4090) {
            const size_t n = std::min<size_t>(4090, rec.bytes.size() - at);
            assembler.feed(rec.bytes.data() + at, n, [&](std::string_view m) {
                const std::string_view data = m.substr(4);
                if (m.substr(0, 3) == "101") {
                    const int index = dispatcher.UpdateFeeds(data.data(), static_cast<int>(data.size()));
                    if (index >= 0)
                        spawn([index] {
                            auto f = FeedSubscriptions::instance().fanOut();
                            const auto it = f->bySecurity.find(index);
                            if (it != f->bySecurity.end())
                                for (const auto& t : it->second)
                                    t.window->quoteUpdated(index);
                        });
                } else if (m.substr(0, 3) == "104") {
                    spawn([text = std::string(data)] {
                        auto f = FeedSubscriptions::instance().fanOut();
                        for (const auto& t : f->depthWindows)
                            t.window->depthUpdated(text, false);
                    });
                } else {
                    spawn([&dispatcher, text = std::string(data)] { dispatcher.IndexDistribute(text); });
                }
                return true;
            });
        }
        while (live.load() != 0)
            std::this_thread::yield();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * rec.messages);
    state.counters["quotes/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * rec.quotes, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ThreadPerMessage)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
