// The live feed as the program runs it: a recorded mix of frames (mostly 101
// quotes, with 104 depth and 110 index updates) cut by the frame assembler
// from reads of the transport's size and routed by a dispatcher with the
// program's own options (quotes, depth and index values on the feed thread,
// batched per read; the handler pool for the slow work), into ten market-watch
// windows' real tick boxes while a "UI thread" drains them every 70 ms. Over
// 2,000, 20,000 and 200,000 securities, each beside the machine's limit: a
// bare frame-cut-and-parse loop over the same bytes, timed in the same run.
// The thread-per-message baseline stays.
// Goals: at 20,000 and 200,000 securities at most 1.5x the bare loop's time
// per quote; the program's feed at least 50x the thread-per-message baseline.
// Prints every goal with its limit and verdict; exits non-zero on a miss.
#include "bench_verdict.h"

#include "server/FeedDispatcher.h"
#include "server/FeedFrameAssembler.h"
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/MarketLookups.h"
#include "server/SecurityTable.h"
#include "watch/WatchFeed.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kWindows = 10;
constexpr int kIndices = 10;
constexpr size_t kReadSize = 4090;

class DepthWindow : public FeedWindow {
public:
    std::vector<int> feedSecurities() const override { return {}; }
    void quoteUpdated(int) override {}
    void depthUpdated(const std::string&, bool) override { m_depth.fetch_add(1, std::memory_order_relaxed); }

private:
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
    std::string bytes; // TCP frames back to back
    int messages = 0;
    int quotes = 0;
};

std::string frame(const std::string& msg)
{
    char head[8];
    std::snprintf(head, sizeof head, "^0%04zu", msg.size());
    return head + msg + "$";
}

// A recorded session over this many securities: 90 % quotes, 6 % depth,
// 4 % index values, the securities drawn evenly from all of them.
Recording record(int messages, int securities)
{
    std::mt19937 rng(42);
    Recording r;
    r.bytes.reserve(static_cast<size_t>(messages) * 160);
    char buf[512];
    for (int i = 0; i < messages; ++i) {
        const int kind = static_cast<int>(rng() % 100);
        const int s = static_cast<int>(rng() % static_cast<unsigned>(securities));
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
        } else {
            std::snprintf(buf, sizeof buf, "110,%d,%ld,%ld,%ld,%d,x,", 90001 + 2 * (s % kIndices), 2000000 + p,
                          2000000L, p % 1000, 1702000000 + i);
        }
        r.bytes += frame(buf);
        ++r.messages;
    }
    return r;
}

// The program's tables for one size: every security shown in one of ten
// market-watch windows (the real feed side of the window, with its tick
// box), and one depth window.
struct Setup {
    explicit Setup(int securities) : count(securities)
    {
        SecurityRows rows;
        rows.reserve(static_cast<size_t>(securities));
        for (int i = 0; i < securities; ++i) {
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
            for (int s = w; s < securities; s += kWindows)
                shown.push_back(s);
            auto window = std::make_shared<WatchFeed>();
            window->setSecurities(shown);
            const int slot = subs.getClientDlg();
            subs.setWindow(slot, window, kWindowMarketWatch, w);
            for (int s : shown)
                subs.UpdateWatchToken(1, s, slot, 0);
            windows.push_back(window);
        }
        const int depthSlot = subs.getClientDlg();
        subs.setWindow(depthSlot, std::make_shared<DepthWindow>(), kWindowMarketDepth, 0);
        recording = record(200'000, securities);
    }
    ~Setup()
    {
        FeedSubscriptions::instance().reset();
        SecurityTable::publish(nullptr);
    }
    int count;
    FeedConsumers consumers;
    Indices indices;
    std::vector<std::shared_ptr<WatchFeed>> windows;
    Recording recording;
};

// The machine's limit for these bytes: cut the frames, read the code, and
// convert every field of a quote, with nothing done with the values but a sum.
double bareParse(const Recording& rec)
{
    double sum = 0;
    FeedFrameAssembler assembler(FeedFrameAssembler::Kind::Tcp);
    for (size_t at = 0; at < rec.bytes.size(); at += kReadSize) {
        const size_t n = std::min(kReadSize, rec.bytes.size() - at);
        assembler.feed(rec.bytes.data() + at, n, [&](std::string_view m) {
            if (m.size() < 4)
                return true;
            int code = 0;
            std::from_chars(m.data(), m.data() + 3, code);
            if (code == 101) {
                const char* p = m.data() + 4;
                const char* const end = m.data() + m.size();
                while (p < end) {
                    const char* comma = static_cast<const char*>(memchr(p, ',', static_cast<size_t>(end - p)));
                    if (!comma)
                        comma = end;
                    double v = 0;
                    std::from_chars(p, comma, v);
                    sum += v;
                    p = comma + 1;
                }
            }
            return true;
        });
    }
    return sum;
}

double g_shippedQuotesPerSecond = 0; // the 2,000-security figure, for the baseline's ratio
benchverdict::Verdict g_verdict("bench_feed");

// The feed as shipped, for state.range(0) securities.
void BM_FeedAsShipped(benchmark::State& state)
{
    Setup s(static_cast<int>(state.range(0)));
    const Recording& rec = s.recording;
    FeedDispatcher dispatcher(s.consumers, FeedSubscriptions::instance(), s.indices, FeedDispatcher::Options{});
    // The windows' timers: every 70 ms each tick box is drained.
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> drained{0};
    std::thread ui([&] {
        while (!stop.load()) {
            for (const auto& w : s.windows)
                drained += w->ticks().drain([](int) {});
            std::this_thread::sleep_for(std::chrono::milliseconds(70));
        }
    });
    double shipped = 0, bare = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        FeedFrameAssembler assembler(FeedFrameAssembler::Kind::Tcp);
        for (size_t at = 0; at < rec.bytes.size(); at += kReadSize) {
            const size_t n = std::min(kReadSize, rec.bytes.size() - at);
            const FeedDispatcher::Buffer buffer(dispatcher);
            assembler.feed(rec.bytes.data() + at, n, [&](std::string_view m) {
                return dispatcher.Distribute_Feed(m.data(), static_cast<int>(m.size())) != 999;
            });
        }
        dispatcher.drain();
        const auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(bareParse(rec));
        const auto t2 = std::chrono::steady_clock::now();
        const double d = std::chrono::duration<double>(t1 - t0).count();
        shipped += d;
        bare += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(d);
    }
    stop = true;
    ui.join();
    const double iterations = static_cast<double>(state.iterations());
    const double quotesPerSecond = iterations * rec.quotes / shipped;
    const double limitPerSecond = iterations * rec.quotes / bare;
    if (state.range(0) == 2000)
        g_shippedQuotesPerSecond = quotesPerSecond;
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * rec.messages);
    state.counters["quotes/s"] = quotesPerSecond;
    state.counters["limit_quotes/s"] = limitPerSecond;
    state.counters["time_x_limit"] = shipped / bare;
    if (state.range(0) != 2000)
        g_verdict.ratioAtMost("feed as shipped, " + std::to_string(state.range(0)) + " securities, time per quote",
                              1e9 / quotesPerSecond, 1e9 / limitPerSecond, 1.5, "ns",
                              "bare frame-cut-and-parse, same bytes");
}
BENCHMARK(BM_FeedAsShipped)->Arg(2000)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond)->UseManualTime();

// The baseline: the quote is applied on the feed thread, then a new thread per
// message tells the windows (or handles the depth or index update).
void BM_ThreadPerMessage(benchmark::State& state)
{
    Setup s(2000);
    const Recording rec = record(10'000, 2000);
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
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        FeedFrameAssembler assembler(FeedFrameAssembler::Kind::Tcp);
        for (size_t at = 0; at < rec.bytes.size(); at += kReadSize) {
            const size_t n = std::min(kReadSize, rec.bytes.size() - at);
            assembler.feed(rec.bytes.data() + at, n, [&](std::string_view m) {
                const std::string_view data = m.substr(4);
                if (m.substr(0, 3) == "101") {
                    const int index = dispatcher.UpdateFeeds(data.data(), static_cast<int>(data.size()));
                    if (index >= 0)
                        spawn([index] {
                            auto f = FeedSubscriptions::instance().fanOut();
                            for (const auto& t : f->windowsOf(index))
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
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double quotesPerSecond = static_cast<double>(state.iterations()) * rec.quotes / seconds;
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * rec.messages);
    state.counters["quotes/s"] = quotesPerSecond;
    // How many times faster the feed as shipped is (over the same 2,000).
    if (g_shippedQuotesPerSecond > 0) {
        state.counters["shipped_x_this"] = g_shippedQuotesPerSecond / quotesPerSecond;
        g_verdict.ratioAtLeast("feed as shipped, 2,000 securities, time per quote", 1e9 / g_shippedQuotesPerSecond,
                               1e9 / quotesPerSecond, 50, "ns", "a thread per message");
    }
}
BENCHMARK(BM_ThreadPerMessage)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return g_verdict.finish();
}
