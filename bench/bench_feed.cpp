// The live feed as the program runs it: a recorded mix of frames (mostly 101
// quotes, with 104 depth and 110 index updates) cut by the frame assembler
// from reads of the transport's size and routed by a dispatcher with the
// program's own options (quotes, depth and index values on the feed thread,
// batched per read; the handler pool for the slow work), into ten market-watch
// windows' real tick boxes while a "UI thread" drains them every 70 ms.
//
// The machine's limit, timed in the same run over the same bytes: the
// tightest plain loop that does the same work. It cuts each frame with
// memchr, reads every field as the integer it is, and stores what the feed
// stores: a quote's 21 values (as doubles, as the rows keep them), their tick
// codes, the time of the update, the 52-week high and low, and its window's
// mark; a depth update's text for the depth window; an index update's values,
// highs, lows and direction codes in its row. Plain arrays, one thread, no
// atomics, no look-up beyond the watch token's array; a quote's row is
// fetched while the messages before it are handled.
//
// Both are timed in the feed thread's CPU time (the drain runs on its own
// thread; the whole process's CPU is printed beside), in rounds that
// alternate which goes first, medians of the rounds. Over 20,000 and 200,000
// securities with the mixed recording (the goals), and beside them the 104
// and 110 frames alone (figures).
// Goal: the feed as shipped at most 2.0x the tight loop's CPU per message.
// Prints every goal with its limit and verdict; exits non-zero on a miss.
#include "bench_timing.h"
#include "bench_verdict.h"

#include "server/FeedDispatcher.h"
#include "server/FeedFrameAssembler.h"
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/MarketLookups.h"
#include "server/SecurityTable.h"
#include "watch/WatchFeed.h"

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
#include <vector>

namespace {

constexpr int kWindows = 10;
constexpr int kIndices = 10;
constexpr int kMessages = 200'000; // one recording
int g_rounds = 5; // each a run of both, the first alternating
constexpr size_t kReadSize = 4090;
constexpr double kGoal = 2.0;

class DepthWindow : public FeedWindow {
public:
    std::vector<int> feedSecurities() const override { return {}; }
    void quoteUpdated(int) override {}
    void depthUpdated(const std::string& text, bool) override
    {
        m_depth.fetch_add(text.size(), std::memory_order_relaxed);
    }

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
};

// The share of each kind in a recording, in percent.
struct Mix {
    int quotes;
    int depth; // the rest are index values
};
constexpr Mix kMixed{90, 6};
constexpr Mix kDepthOnly{0, 100};
constexpr Mix kIndexOnly{0, 0};

std::string frame(const char* msg, int n)
{
    char head[8];
    std::snprintf(head, sizeof head, "^0%04d", n);
    return head + std::string(msg, static_cast<size_t>(n)) + "$";
}

// A recorded session over this many securities, the securities drawn evenly
// from all of them.
Recording record(int messages, int securities, Mix mix)
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
        int len = 0;
        if (kind < mix.quotes) {
            len = std::snprintf(buf, sizeof buf,
                                "101,%d,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld",
                                w, p - 5, 100 + p % 900, p + 5, 200 + p % 700, p, p + 900, p - 900, p - 12, p - 50,
                                p - 40, p % 500, 10000 + p, 12000 + p, 5000000 + p, 0L, 950000000 + p, 25L,
                                1702000000L + i % 3600, p - 100000, p + 10000, p - 10000);
        } else if (kind < mix.quotes + mix.depth) {
            len = std::snprintf(buf, sizeof buf, "104,%d,%ld", w, p);
            for (int l = 0; l < 10; ++l)
                len += std::snprintf(buf + len, sizeof buf - static_cast<size_t>(len), ",%ld,%d,%d",
                                     p + (l < 5 ? -l : l) * 5, 100 + l, 1 + l);
            len += std::snprintf(buf + len, sizeof buf - static_cast<size_t>(len), ",500000,450000");
        } else {
            len = std::snprintf(buf, sizeof buf, "110,%d,%ld,%ld,%ld,%d,x,", 90001 + 2 * (s % kIndices),
                                2000000 + p, 2000000L, p % 1000, 1702000000 + i);
        }
        r.bytes += frame(buf, len);
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
            r.setDisplayKey("SYM" + std::to_string(i));
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
};

// ---- the tight loop ----

struct alignas(64) TightQuote {
    int64_t lastUpdate = 0;
    double value[kFeedQuoteValues] = {};
    short tick[kFeedQuoteValues] = {};
    double yearHigh = 0;
    double yearLow = 0;
};

struct TightIndex {
    int feedCode = 0;
    int64_t stamp = 0;
    double value[9] = {};
    short tick[9] = {};
};

// What the tight loop stores, laid out plainly.
struct TightState {
    explicit TightState(int securities)
        : quotes(static_cast<size_t>(securities)), rowOfWToken(static_cast<size_t>(2 * securities + 2), -1)
    {
        for (int s = 0; s < securities; ++s)
            rowOfWToken[static_cast<size_t>(2 * (s + 1) - 1)] = s;
        for (auto& m : marks)
            m.assign(static_cast<size_t>(securities) / 64 + 1, 0);
        for (int i = 0; i < kIndices; ++i)
            indices[i].feedCode = 90001 + 2 * i;
    }
    std::vector<TightQuote> quotes;
    std::vector<int> rowOfWToken;
    std::vector<uint64_t> marks[kWindows];
    TightIndex indices[kIndices];
    char depth[1024] = {};
    size_t depthLength = 0;
    uint64_t depthUpdates = 0;
    int64_t newestQuoteTime = 0;
};

// Digits up to the next separator (or end), as a signed integer.
inline const char* readInt(const char* p, const char* end, int64_t& out)
{
    const bool negative = p < end && *p == '-';
    p += negative ? 1 : 0;
    uint64_t v = 0;
    while (p < end && static_cast<unsigned char>(*p - '0') < 10)
        v = v * 10 + static_cast<uint64_t>(*p++ - '0');
    out = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
    return p < end ? p + 1 : p; // past the separator
}

inline short tickOf(double value, double& stored, short tick)
{
    const bool rose = value > stored, fell = value < stored;
    const short same = (tick == kTickSameOnce || tick == kTickSameAgain) ? kTickSameAgain : kTickSameOnce;
    stored = (rose || fell) ? value : stored;
    return rose ? kTickRose : (fell ? kTickFell : same);
}

inline short direction(double now, double before, short code)
{
    return now > before ? 2 : (now < before ? 3 : ((code == 0 || code == 1) ? 0 : 1));
}

// One message's work, its quote's row (if any) looked up already.
inline void tightMessage(const char* m, const char* mEnd, int row, TightState& st, int64_t now)
{
    const int code = (m[0] - '0') * 100 + (m[1] - '0') * 10 + (m[2] - '0');
    const char* f = m + 4;
    if (code == 101) {
        f = static_cast<const char*>(std::memchr(f, ',', static_cast<size_t>(mEnd - f))) + 1; // the token, read before
        TightQuote& q = st.quotes[static_cast<size_t>(row)];
        double values[kFeedQuoteValues];
        for (int k = 0; k < kFeedQuoteValues; ++k) {
            int64_t v = 0;
            f = readInt(f, mEnd, v);
            values[k] = static_cast<double>(v);
        }
        q.lastUpdate = now;
        const double high = values[5] / 100, low = values[6] / 100;
        if (high > 0 && high > q.yearHigh)
            q.yearHigh = high;
        if (low > 0 && low < q.yearLow)
            q.yearLow = low;
        for (int k = 0; k < kFeedQuoteValues; ++k)
            q.tick[k] = tickOf(values[k], q.value[k], q.tick[k]);
        st.newestQuoteTime = std::max(st.newestQuoteTime, static_cast<int64_t>(values[17]));
        st.marks[row % kWindows][static_cast<size_t>(row) / 64] |= uint64_t(1) << (row % 64);
    } else if (code == 104) {
        st.depthLength = std::min<size_t>(static_cast<size_t>(mEnd - f), sizeof st.depth - 1);
        std::memcpy(st.depth, f, st.depthLength);
        ++st.depthUpdates;
    } else if (code == 110) {
        int64_t feedCode = 0, value = 0, prevClose = 0, change = 0, time = 0;
        f = readInt(f, mEnd, feedCode);
        f = readInt(f, mEnd, value);
        f = readInt(f, mEnd, prevClose);
        f = readInt(f, mEnd, change);
        readInt(f, mEnd, time);
        for (TightIndex& r : st.indices) {
            if (r.feedCode != feedCode)
                continue;
            const double v = static_cast<double>(value), prev = static_cast<double>(prevClose);
            const double ch = static_cast<double>(change) / 10;
            if (v > r.value[1]) {
                r.value[1] = v;
                r.tick[1] = 2;
            } else {
                r.tick[1] = 0;
            }
            if (v < r.value[2] || r.value[2] == 0) {
                r.value[2] = v;
                r.tick[2] = 3;
            } else {
                r.tick[2] = 0;
            }
            r.tick[0] = direction(v, r.value[0], r.tick[0]);
            r.value[0] = v;
            r.value[4] = prev;
            r.tick[5] = direction(ch * 100, r.value[5], r.tick[5]);
            r.value[5] = v - prev;
            r.stamp = time;
            const double pct = prev > 0 ? (v - prev) / prev * 100 * 100 : 0;
            r.tick[6] = direction(pct, r.value[6], r.tick[6]);
            r.value[6] = pct;
            break;
        }
    }
}

// Cuts the frames; a quote's row is looked up as its frame is cut and
// fetched while the few messages before it are handled (a row is fetched
// from memory at random over a large master: a loop that waits for each
// one in turn is no limit).
void tightLoop(const Recording& rec, TightState& st, int64_t now)
{
    constexpr int kAhead = 4;
    struct Cut {
        const char* m;
        const char* end;
        int row;
    } ring[kAhead];
    int first = 0, count = 0;
    const char* p = rec.bytes.data();
    const char* const end = p + rec.bytes.size();
    while (p < end) {
        p = static_cast<const char*>(std::memchr(p, '^', static_cast<size_t>(end - p)));
        if (!p || end - p < 7)
            break;
        const int n = (p[2] - '0') * 1000 + (p[3] - '0') * 100 + (p[4] - '0') * 10 + (p[5] - '0');
        const char* m = p + 6;
        p = m + n + 1; // past '$'
        if (n < 4)
            continue;
        int row = -1;
        if (m[0] == '1' && m[1] == '0' && m[2] == '1') {
            int64_t wtoken = 0;
            readInt(m + 4, m + n, wtoken);
            row = st.rowOfWToken[static_cast<size_t>(wtoken)];
            const char* line = reinterpret_cast<const char*>(&st.quotes[static_cast<size_t>(row)]);
            for (size_t b = 0; b < sizeof(TightQuote); b += 64)
                __builtin_prefetch(line + b, 1);
        }
        if (count == kAhead) {
            const Cut& c = ring[first];
            tightMessage(c.m, c.end, c.row, st, now);
            first = (first + 1) % kAhead;
            --count;
        }
        ring[(first + count++) % kAhead] = Cut{m, m + n, row};
    }
    for (; count > 0; --count, first = (first + 1) % kAhead)
        tightMessage(ring[first].m, ring[first].end, ring[first].row, st, now);
}

// ---- the runs ----

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Figures {
    double shippedNs = 0;        // feed thread CPU per message
    double shippedProcessNs = 0; // the whole process's CPU per message (drain included)
    double tightNs = 0;          // the tight loop's CPU per message
};

Figures measure(Setup& s, const Recording& rec)
{
    FeedDispatcher dispatcher(s.consumers, FeedSubscriptions::instance(), s.indices, FeedDispatcher::Options{});
    // The windows' timers: every 70 ms each tick box is drained.
    std::atomic<bool> stop{false};
    std::thread ui([&] {
        while (!stop.load()) {
            for (const auto& w : s.windows)
                w->ticks().drain([](int) {});
            std::this_thread::sleep_for(std::chrono::milliseconds(70));
        }
    });
    TightState tight(s.count);
    const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    auto shipped = [&](double& processNs) {
        const long long p0 = benchtiming::processCpuNs();
        const long long t0 = benchtiming::threadCpuNs();
        FeedFrameAssembler assembler(FeedFrameAssembler::Kind::Tcp);
        for (size_t at = 0; at < rec.bytes.size(); at += kReadSize) {
            const size_t n = std::min(kReadSize, rec.bytes.size() - at);
            const FeedDispatcher::Buffer buffer(dispatcher);
            assembler.feed(rec.bytes.data() + at, n, [&](std::string_view m) {
                return dispatcher.Distribute_Feed(m.data(), static_cast<int>(m.size())) != 999;
            });
        }
        dispatcher.drain();
        const double ns = double(benchtiming::threadCpuNs() - t0) / rec.messages;
        processNs = double(benchtiming::processCpuNs() - p0) / rec.messages;
        return ns;
    };
    auto bare = [&] {
        const long long t0 = benchtiming::threadCpuNs();
        tightLoop(rec, tight, now);
        return double(benchtiming::threadCpuNs() - t0) / rec.messages;
    };
    // A warm-up of each: every quoted row's live part made, pages touched.
    double ignored = 0;
    shipped(ignored);
    bare();
    std::vector<double> a, ap, b;
    for (int round = 0; round < g_rounds; ++round) {
        double processNs = 0;
        if (round % 2 == 0) {
            a.push_back(shipped(processNs));
            b.push_back(bare());
        } else {
            b.push_back(bare());
            a.push_back(shipped(processNs));
        }
        ap.push_back(processNs);
    }
    stop = true;
    ui.join();
    // Keep the tight loop's stores alive.
    uint64_t sum = tight.depthUpdates + static_cast<uint64_t>(tight.newestQuoteTime);
    for (const auto& m : tight.marks)
        for (uint64_t w : m)
            sum += w;
    if (sum == 42)
        std::printf(" ");
    return Figures{median(a), median(ap), median(b)};
}

} // namespace

// Arguments (for profiling one case): the securities, then the rounds.
int main(int argc, char** argv)
{
    std::vector<int> sizes{20'000, 200'000};
    if (argc > 1)
        sizes = {std::max(1, std::atoi(argv[1]))};
    if (argc > 2)
        g_rounds = std::max(1, std::atoi(argv[2]));
    benchverdict::Verdict verdict("bench_feed");
    std::printf("bench_feed: %d messages a recording, %d rounds (feed and tight loop alternating first), "
                "medians; CPU ns per message\n",
                kMessages, g_rounds);
    for (const int securities : sizes) {
        Setup s(securities);
        struct Case {
            const char* name;
            Mix mix;
            bool goal;
        };
        for (const Case& c : {Case{"90% quotes, 6% depth, 4% index", kMixed, true},
                              Case{"depth (104) only", kDepthOnly, false},
                              Case{"index values (110) only", kIndexOnly, false}}) {
            const Recording rec = record(kMessages, securities, c.mix);
            const Figures f = measure(s, rec);
            const std::string what =
                "feed as shipped, " + std::to_string(securities) + " securities, " + c.name + ", feed thread CPU";
            std::printf("  %-64s feed %.0f ns (process %.0f ns), tight loop %.0f ns\n",
                        (std::to_string(securities) + " securities, " + c.name).c_str(), f.shippedNs,
                        f.shippedProcessNs, f.tightNs);
            if (c.goal) {
                verdict.ratioAtMost(what, f.shippedNs, f.tightNs, kGoal, "ns/msg", "tight loop, same bytes");
                verdict.figure("feed as shipped, " + std::to_string(securities) +
                                   " securities, mixed, whole process CPU (drain included)",
                               f.shippedProcessNs, f.tightNs, "ns/msg", "tight loop");
            } else {
                verdict.figure(what, f.shippedNs, f.tightNs, "ns/msg", "tight loop, same bytes");
            }
        }
    }
    return verdict.finish();
}
