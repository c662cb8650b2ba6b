// Routing of feed messages: the quote's effect on its row, the windows told,
// the hand-overs, the order kept per key, and nothing while logged out.
#include "feed_test_support.h"

#include "app/base/BufferSlots.h"
#include "server/FeedFrameAssembler.h"
#include "pf/clock.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <map>
#include <random>
#include <fstream>
#include <sstream>
#include <thread>

namespace test_feed_dispatcher {

namespace {

using namespace feedtest;

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetFeedGlobals();
        m_table = publishTable(20);
    }
    void TearDown() override
    {
        SetLoggedIn(false);
        SecurityTable::publish(nullptr);
    }
    int send(const std::string& m) { return m_dispatcher->Distribute_Feed(m.data(), static_cast<int>(m.size())); }
    QuoteData quote(int security) const { return m_table->row(security).quote(); }
    void makeDispatcher(FeedDispatcher::Options options)
    {
        m_dispatcher = std::make_unique<FeedDispatcher>(m_consumers, FeedSubscriptions::instance(), m_indices, options);
    }

    std::shared_ptr<SecurityTable> m_table;
    RecordingConsumers m_consumers;
    MemoryIndexRows m_indices;
    std::unique_ptr<FeedDispatcher> m_dispatcher = std::make_unique<FeedDispatcher>(
        m_consumers, FeedSubscriptions::instance(), m_indices, FeedDispatcher::Options{1, true, {}});
};

TEST_F(Dispatch, NothingIsDispatchedWhileLoggedOut)
{
    auto w = std::make_shared<RecordingWindow>(std::vector<int>{3});
    openWindow(FeedSubscriptions::instance(), w, kWindowMarketWatch);
    SetLoggedIn(false);
    EXPECT_EQ(send(quote101(3, 100)), 0);
    EXPECT_EQ(send("120,market opens"), 0);
    EXPECT_EQ(send("250,-1,notice,h,1"), 0);
    EXPECT_EQ(quote(3).quote[0], 0);
    EXPECT_TRUE(w->quotesSeen().empty());
    EXPECT_TRUE(m_consumers.messages.empty());
    EXPECT_EQ(FeedState::instance().slot(), -1);
}

TEST_F(Dispatch, QuoteTickCodesFollowTheValue)
{
    struct Step {
        double base;
        short tick;
    };
    // From zero: rose; the same value twice: 30 then 40; then fell and rose.
    const Step steps[]
        = {{100, kTickRose}, {100, kTickSameOnce}, {100, kTickSameAgain}, {90, kTickFell}, {95, kTickRose}};
    for (const Step& s : steps) {
        EXPECT_EQ(send(quote101(2, s.base)), 101);
        const QuoteData q = quote(2);
        EXPECT_EQ(q.quote[0], s.base);
        EXPECT_EQ(q.quote[20], s.base + 20);
        EXPECT_EQ(q.tick_code[0], s.tick) << s.base;
        EXPECT_EQ(q.tick_code[20], s.tick);
    }
    EXPECT_GT(quote(2).last_update, 0);
}

TEST_F(Dispatch, QuoteWithTooFewValuesChangesNothingAndExtraValuesAreIgnored)
{
    const auto apply = [&](const std::string& m) {
        return m_dispatcher->UpdateFeeds(m.c_str() + 4, static_cast<int>(m.size() - 4));
    };
    EXPECT_EQ(apply(quote101(1, 50, 20)), -1);
    EXPECT_EQ(quote(1).quote[0], 0);
    EXPECT_EQ(quote(1).last_update, 0);
    // A trailing separator adds no value.
    EXPECT_EQ(apply(quote101(1, 50, 20) + ","), -1);
    EXPECT_EQ(apply(quote101(1, 50, 25)), 1);
    EXPECT_EQ(quote(1).quote[20], 70);
    EXPECT_EQ(quote(1).quote[21], 0);
}

// Each value text is stored as the number the C library reads at its start
// (blanks and a plus skipped, trailing text ignored, 0 when none), whether
// the field ends at a separator or ends the message; a text past the bound
// refuses the quote. The same whether the quote comes alone or within a
// received buffer (where it is parsed from its held copy), among short
// values or long ones.
TEST_F(Dispatch, QuoteValueTextsAndTheNumbersStored)
{
    struct Case {
        const char* text;
        double stored;
        bool refused;
    };
    const Case cases[] = {
        {"123", 123, false},
        {"-45", -45, false},
        {"", 0, false},
        {"-", 0, false},
        {"--5", 0, false},
        {"+7", 7, false},
        {"  8", 8, false},
        {"42 ", 42, false},
        {"12abc", 12, false},
        {"5-", 5, false},
        {"abc", 0, false},
        {"0x1A", 0, false},
        {"3.25", 3.25, false},
        {"-.5", -0.5, false},
        {"1e3", 1000, false},
        {"9", 9, false},
        {"-1234567", -1234567, false},
        {"12345678", 12345678, false},
        {"123456789", 123456789, false},
        {"12345678.5", 12345678.5, false},
        {"1234567a9", 1234567, false},
        {"12\xC3\xA9", 12, false},
        {"00000001234567890", 1234567890, false},
        {"000000000000000042", 42, false},
        {"000000000000000000000042", 42, false},
        {"1234567890123456", 1234567890123456.0, false},
        {"-9000000000000000", -9e15, false},
        {"-0", 0, false},
        {"99999999", 99999999, false},
        {"100000000", 100000000, false},
        {"0000000000000007", 7, false},
        {"1-2", 1, false},
        {"9000000000000001", 0, true},
        {"123456789012345678", 0, true},
        {"99999999999999999999", 0, true},
        {"-99999999999999999999", 0, true},
    };
    struct Way {
        bool buffered;
        const char* other; // every other value's text
        double otherValue;
    };
    for (const Way way : {Way{false, "1", 1}, Way{true, "1", 1}, Way{true, "-1234567890", -1234567890}}) {
    SCOPED_TRACE(std::string(way.buffered ? "within a buffer" : "alone") + ", other values " + way.other);
    // The security's index, or -1 when the quote changed nothing.
    const auto apply = [&](int security, int k, const std::string& value) {
        std::string m = std::to_string(watchToken(security));
        for (int i = 0; i < 21; ++i)
            m.append(",").append(i == k ? value : way.other);
        if (!way.buffered)
            return m_dispatcher->UpdateFeeds(m.data(), static_cast<int>(m.size()));
        const int64_t before = quote(security).last_update;
        m_table->row(security).updateQuote([](QuoteData& q) { q.last_update = 0; });
        {
            const FeedDispatcher::Buffer buffer(*m_dispatcher);
            send("101," + m);
        }
        const QuoteData q = quote(security);
        const bool applied = q.last_update != 0;
        if (!applied)
            m_table->row(security).updateQuote([&](QuoteData& d) { d.last_update = before; });
        // The values around it are read from their own fields.
        EXPECT_EQ(q.quote[k == 20 ? 19 : k + 1], applied ? way.otherValue : q.quote[k == 20 ? 19 : k + 1]);
        return applied ? security : -1;
    };
    for (int k : {3, 20}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string("\"") + c.text + "\" as value " + std::to_string(k));
            // From a stored 99, so that a stored 0 shows too.
            ASSERT_EQ(apply(5, k, "99"), 5);
            // An empty last value is a separator at the very end: one value short.
            const bool refused = c.refused || (k == 20 && *c.text == '\0');
            EXPECT_EQ(apply(5, k, c.text), refused ? -1 : 5);
            EXPECT_EQ(quote(5).quote[k], refused ? 99 : c.stored);
        }
        // Every length of digit run, as the C library reads it, ended by a
        // separator, by the message's end or by a stray character.
        for (int len = 1; len <= 20; ++len) {
            for (const char* tail : {"", "x"}) {
                std::string text = len % 2 ? "-" : "";
                for (int i = 0; i < len; ++i)
                    text += static_cast<char>('0' + (i * 7 + len) % 10);
                text += tail;
                const double expected = std::strtod(text.c_str(), nullptr);
                const bool refused = std::fabs(expected) > 9e15;
                SCOPED_TRACE(text + " as value " + std::to_string(k));
                ASSERT_EQ(apply(5, k, "99"), 5);
                EXPECT_EQ(apply(5, k, text), refused ? -1 : 5);
                EXPECT_EQ(quote(5).quote[k], refused ? 99 : expected);
            }
        }
    }
    }
}

// Within a received buffer a quote is parsed from its held copy: over many
// made-up quotes (runs of digits of every length, signs, stray characters,
// empty fields, long and short messages) it stores what the same quote
// stores alone, or is refused as it is.
TEST_F(Dispatch, BufferedQuotesStoreWhatTheSameQuotesStoreAlone)
{
    std::mt19937 rng(7);
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const std::string stray = "+-. ex,";
    for (int round = 0; round < 3000; ++round) {
        std::string values;
        const int fields = 20 + pick(3);
        for (int i = 0; i < fields; ++i) {
            std::string field;
            if (pick(4) == 0)
                field += '-';
            const int digits = pick(6) == 0 ? pick(21) : 1 + pick(9);
            for (int d = 0; d < digits; ++d)
                field += static_cast<char>('0' + pick(10));
            if (pick(12) == 0)
                field.insert(static_cast<size_t>(pick(static_cast<int>(field.size()) + 1)), 1,
                             stray[static_cast<size_t>(pick(static_cast<int>(stray.size())))]);
            values += "," + field;
        }
        if (pick(8) == 0)
            values += ",";
        SCOPED_TRACE(values);
        const std::string alone = std::to_string(watchToken(3)) + values;
        const std::string held = "101," + std::to_string(watchToken(4)) + values;
        for (int s : {3, 4})
            m_table->row(s).updateQuote([](QuoteData& q) { q = QuoteData{}; });
        const bool applied = m_dispatcher->UpdateFeeds(alone.data(), static_cast<int>(alone.size())) == 3;
        {
            const FeedDispatcher::Buffer buffer(*m_dispatcher);
            send(held);
        }
        const QuoteData a = quote(3), b = quote(4);
        EXPECT_EQ(b.last_update != 0, applied);
        for (int k = 0; k < kFeedQuoteValues; ++k) {
            EXPECT_EQ(std::signbit(a.quote[k]), std::signbit(b.quote[k])) << k;
            EXPECT_EQ(a.quote[k], b.quote[k]) << k;
        }
    }
}

// The watch token is read as the values are: blanks and a plus skipped,
// leading zeros and trailing text ignored.
TEST_F(Dispatch, QuoteTokenTexts)
{
    const std::string values = quote101(5, 100).substr(4 + std::to_string(watchToken(5)).size());
    const std::pair<const char*, int> cases[] = {
        {"11", 5}, {"+11", 5}, {" 11", 5}, {"00000000011", 5}, {"11x", 5}, {"x11", -1}, {"-11", -1}, {"", -1}, {"12", -1},
    };
    for (const auto& [token, security] : cases) {
        const std::string m = token + values;
        EXPECT_EQ(m_dispatcher->UpdateFeeds(m.data(), static_cast<int>(m.size())), security) << token;
    }
}

// A value that is no number a feed can mean (inf, nan, 1e300, past double's
// range) refuses its whole message before anything is stored or converted:
// quotes, round-robin quotes and index values alike.
TEST_F(Dispatch, NonFiniteAndOutOfRangeValuesRefuseTheirMessage)
{
    pf::ManualClock clock(1'700'000'000'000);
    pf::setClock(&clock);
    m_consumers.alertsOn = true;
    m_table->row(4).alert_flag = 1;
    IndexRecord index;
    index.feedCode = 7;
    m_indices.rows.push_back(index);
    const auto quoteWith = [](int k, const std::string& value) {
        std::string m = "101," + std::to_string(watchToken(4));
        for (int i = 0; i < 21; ++i)
            m.append(",").append(i == k ? value : "100");
        return m;
    };
    const std::string bad[] = {"1e300", "inf", "-inf", "nan", "1e400", "-9.1e15", "9000000000000001"};
    for (const std::string& v : bad) {
        for (int k : {0, 4, 17}) {
            SCOPED_TRACE(v + " as value " + std::to_string(k));
            EXPECT_EQ(send(quoteWith(k, v)), 101);
            EXPECT_EQ(send("105," + std::to_string(watchToken(4)) + ",1,2,3,4," + (k == 17 ? "5,6," + v : v)), 105);
            EXPECT_EQ(quote(4).last_update, 0);
            EXPECT_EQ(quote(4).quote[0], 0);
            EXPECT_EQ(quote(4).quote[17], 0);
        }
        send("110,7," + v + ",900,0,1,x,");
        send("110,7,1000," + v + ",0,1,x,");
        EXPECT_TRUE(m_consumers.indexRows.empty()) << v;
    }
    m_dispatcher->drain();
    EXPECT_TRUE(m_consumers.alerts.empty());
    // The bound itself, a tiny value and a plain quote still go through.
    EXPECT_EQ(send(quoteWith(17, "9e15")), 101);
    EXPECT_EQ(quote(4).quote[17], 9e15);
    EXPECT_EQ(send(quoteWith(1, "1e-400")), 101);
    EXPECT_EQ(quote(4).quote[1], 0);
    pf::setClock(nullptr);
}

// An index's change and its percentage are worked out of two values within
// the bound, and may be far beyond it (the difference of the two extremes, a
// change over a close of one paisa): they are held at the bound.
TEST_F(Dispatch, IndexChangeAndPercentStayWithinTheBound)
{
    IndexRecord index;
    index.feedCode = 7;
    m_indices.rows.push_back(index);
    send("110,7,9e15,-9e15,0,1,x,");
    ASSERT_EQ(m_consumers.indexRows.size(), 1u);
    EXPECT_EQ(m_consumers.indexRows.back().values[5], 9e15);
    EXPECT_EQ(m_consumers.indexRows.back().values[6], 0) << "no percentage over a close below zero";
    send("110,7,9e15,1,0,2,x,");
    ASSERT_EQ(m_consumers.indexRows.size(), 2u);
    EXPECT_EQ(m_consumers.indexRows.back().values[5], 9e15 - 1);
    EXPECT_EQ(m_consumers.indexRows.back().values[6], 9e15);
    send("110,7,1,9e15,0,3,x,");
    ASSERT_EQ(m_consumers.indexRows.size(), 3u);
    EXPECT_EQ(m_consumers.indexRows.back().values[5], 1 - 9e15);
    EXPECT_DOUBLE_EQ(m_consumers.indexRows.back().values[6], -10000);
}

TEST_F(Dispatch, QuotesGiveTheirTradeTimeForTheStatusBar)
{
    auto w = std::make_shared<RecordingWindow>(std::vector<int>{2});
    openWindow(FeedSubscriptions::instance(), w, kWindowMarketWatch);
    std::string m = "101," + std::to_string(watchToken(2));
    for (int k = 0; k < 21; ++k)
        m.append(",").append(k == 17 ? "1700000123" : "5");
    send(m);
    send("105," + std::to_string(watchToken(2)) + ",1,2,3,4,5,6,1700000456");
    send("105," + std::to_string(watchToken(2)) + ",1,2"); // no time: nothing to show
    EXPECT_EQ(m_consumers.quoteTimes, (std::vector<int64_t>{1700000123, 1700000456}));
}

// A reload published while round-robin quotes arrive: each quote is looked up
// and written in one table, so no other security's row is ever written.
TEST_F(Dispatch, RoundRobinQuoteUsesOneTableForLookUpAndWrite)
{
    // Two tables where watch token 5 names different rows; the other rows
    // must stay untouched whichever table a quote meets.
    auto a = publishTable(20);
    SecurityRows front(1);
    front[0].token = 9000;
    front[0].wtoken = 9001;
    front[0].market_exchange.assign("NN");
    front[0].inst_type.assign("EQ");
    SecurityRows rows;
    rows.push_back(front[0]);
    for (int i = 0; i < 20; ++i)
        rows.push_back(a->row(i));
    auto b = std::make_shared<SecurityTable>();
    b->build(std::move(rows), SecurityTable::Build::Full, true);
    const int inA = a->searchWToken(5), inB = b->searchWToken(5);
    ASSERT_NE(inA, inB);
    std::atomic<bool> done{false};
    std::thread reloads([&] {
        for (int i = 0; !done.load(); ++i)
            SecurityTable::publish(i % 2 ? a : b);
    });
    for (int i = 0; i < 100000; ++i)
        send("105,5," + std::to_string(100 + i % 7));
    done = true;
    reloads.join();
    for (int r = 0; r < a->count(); ++r) {
        if (r != inA) {
            EXPECT_EQ(a->row(r).quote().last_update, 0) << "row " << r << " of the first table";
        }
    }
    for (int r = 0; r < b->count(); ++r) {
        if (r != inB) {
            EXPECT_EQ(b->row(r).quote().last_update, 0) << "row " << r << " of the second table";
        }
    }
}

TEST_F(Dispatch, UnknownWatchTokenTellsNoWindow)
{
    auto w = std::make_shared<RecordingWindow>(std::vector<int>{0});
    openWindow(FeedSubscriptions::instance(), w, kWindowMarketWatch);
    send("101,9998,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21");
    send("101,2,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21"); // even: not an NSE watch token here
    EXPECT_TRUE(w->quotesSeen().empty());
    EXPECT_TRUE(m_consumers.lastTrades.empty());
}

TEST_F(Dispatch, CommodityLotsAndCashYearRange)
{
    SecurityRecord commodity;
    commodity.token = 500;
    commodity.wtoken = 999;
    commodity.market_exchange.assign("MC");
    commodity.inst_type.assign("FS"); // not cash: the year range stays
    commodity.commodity = 1;
    commodity.market_lot = 10;
    commodity.setDisplayKey("GOLD");
    SecurityRows extra;
    extra.push_back(std::move(commodity));
    m_table = publishTable(3, std::move(extra));
    m_table->row(0).storeQuote([] {
        QuoteData q;
        q.year_high = 1.5;
        q.year_low = 1.2;
        return q;
    }());

    std::string m = "101,999";
    for (int k = 0; k < 21; ++k)
        m.append(",").append(std::to_string(k == 1 ? 250 : k == 3 ? 40 : 1000));
    send(m);
    const QuoteData c = m_table->row(3).quote();
    EXPECT_EQ(c.quote[1], 25);
    EXPECT_EQ(c.quote[3], 4);
    EXPECT_EQ(c.quote[0], 1000);
    EXPECT_EQ(c.year_high, 0);

    // Cash: value 5 / 100 above the year high raises it; value 6 / 100 below
    // the year low lowers it.
    std::string cash = "101,1";
    for (int k = 0; k < 21; ++k)
        cash.append(",").append(std::to_string(k == 5 ? 200 : k == 6 ? 100 : 7));
    send(cash);
    EXPECT_EQ(quote(0).year_high, 2.0);
    EXPECT_EQ(quote(0).year_low, 1.0);
}

TEST_F(Dispatch, QuoteReachesSubscribedWindowsByTheirRules)
{
    auto& subs = FeedSubscriptions::instance();
    auto watch = std::make_shared<RecordingWindow>(std::vector<int>{4});
    auto failing = std::make_shared<RecordingWindow>(std::vector<int>{4});
    auto closing = std::make_shared<RecordingWindow>(std::vector<int>{4});
    auto netPosition = std::make_shared<RecordingWindow>(std::vector<int>{4});
    auto other = std::make_shared<RecordingWindow>(std::vector<int>{5});
    failing->throws = true;
    closing->closing = true;
    openWindow(subs, failing, kWindowMarketWatch);
    openWindow(subs, closing, kWindowMarketWatch);
    openWindow(subs, watch, kWindowOtherWatch);
    openWindow(subs, netPosition, kWindowNetPosition);
    openWindow(subs, other, kWindowMarketWatch);

    send(quote101(4, 100)); // value 4 rose: the net position is told
    send(quote101(4, 100)); // unchanged: it is not
    EXPECT_EQ(watch->quotesSeen(), (std::vector<int>{4, 4}));
    EXPECT_EQ(netPosition->quotesSeen(), (std::vector<int>{4}));
    EXPECT_TRUE(closing->quotesSeen().empty());
    EXPECT_TRUE(other->quotesSeen().empty());
    EXPECT_EQ(m_consumers.lastTrades, (std::vector<int>{4, 4}));
}

TEST_F(Dispatch, ClosedWindowIsNoLongerTold)
{
    auto& subs = FeedSubscriptions::instance();
    auto w = std::make_shared<RecordingWindow>(std::vector<int>{6});
    const int slot = openWindow(subs, w, kWindowMarketWatch);
    send(quote101(6, 1));
    subs.RemoveWatchInfoDlgRef(slot);
    subs.releaseSlot(slot);
    send(quote101(6, 2));
    EXPECT_EQ(w->quotesSeen(), (std::vector<int>{6}));
}

TEST_F(Dispatch, AlertCheckOnlyForTodaysTradedTicksOfFlaggedSecurities)
{
    pf::ManualClock clock(1'700'000'000'000);
    pf::setClock(&clock);
    m_consumers.alertsOn = true;
    m_table->row(1).alert_flag = 1;
    const auto tick = [&](int security, long value4, int64_t time17) {
        std::string m = "101," + std::to_string(watchToken(security));
        for (int k = 0; k < 21; ++k)
            m.append(",").append(std::to_string(k == 4 ? value4 : k == 17 ? time17 : 1));
        send(m);
    };
    const int64_t now = clock.nowSeconds();
    tick(1, 100, now);          // checked
    tick(1, 0, now);            // no last price
    tick(1, 100, now - 86400);  // yesterday's trade
    tick(2, 100, now);          // no alert on this security
    m_consumers.alertsOn = false;
    tick(1, 100, now);          // alerts switched off
    m_dispatcher->drain();
    EXPECT_EQ(m_consumers.alerts, (std::vector<int>{1}));
    EXPECT_EQ(m_consumers.alertPrices, (std::vector<double>{100})) << "the check gets the quote that queued it";
    pf::setClock(nullptr);
}

// Within received buffers, as the feed thread hands them over, "today" is
// the local day of the clock: a tick of the day before is never checked,
// not even among ticks of the day, and after midnight the ticks of the day
// that ended are no longer today's.
TEST_F(Dispatch, AlertCheckWithinBuffersKeepsToTheClocksDay)
{
    const auto localNoon = [](int day) {
        std::tm tm{};
        tm.tm_year = 2023 - 1900;
        tm.tm_mon = 10;
        tm.tm_mday = day;
        tm.tm_hour = 12;
        tm.tm_isdst = -1;
        return static_cast<int64_t>(std::mktime(&tm));
    };
    const int64_t noon14 = localNoon(14), noon15 = localNoon(15), noon13 = localNoon(13);
    pf::ManualClock clock(noon14 * 1000);
    pf::setClock(&clock);
    m_consumers.alertsOn = true;
    m_table->row(1).alert_flag = 1;
    m_table->row(2).alert_flag = 1;
    const auto tick = [&](int security, int64_t time17) {
        std::string m = "101," + std::to_string(watchToken(security));
        for (int k = 0; k < 21; ++k)
            m.append(",").append(std::to_string(k == 17 ? time17 : 100));
        send(m);
    };
    {
        const FeedDispatcher::Buffer buffer(*m_dispatcher);
        tick(1, noon14 - 11 * 3600);   // checked: early today
        tick(2, noon13);               // yesterday's
        tick(1, noon14 + 11 * 3600);   // checked: late today
        tick(2, noon14 - 12 * 3600 - 1); // yesterday's last second, between today's
        tick(2, noon15 - 12 * 3600);   // tomorrow's first second
    }
    clock.setMillis(noon15 * 1000);
    {
        const FeedDispatcher::Buffer buffer(*m_dispatcher);
        tick(2, noon14);               // no longer today's
        tick(1, noon15 + 60);          // checked
    }
    m_dispatcher->drain();
    EXPECT_EQ(m_consumers.alerts, (std::vector<int>{1, 1, 1}));
    pf::setClock(nullptr);
}

TEST_F(Dispatch, DepthGoesToEveryDepthWindowInItsVariant)
{
    SecurityRecord fx;
    fx.token = 77;
    fx.wtoken = 153;
    fx.market_exchange.assign("CN");
    fx.inst_type.assign("FC"); // a currency future: the four-decimal depth
    fx.setDisplayKey("USDINR");
    SecurityRows extra;
    extra.push_back(std::move(fx));
    m_table = publishTable(3, std::move(extra));
    auto& subs = FeedSubscriptions::instance();
    auto cash = std::make_shared<RecordingWindow>();
    auto currency = std::make_shared<RecordingWindow>();
    auto closed = std::make_shared<RecordingWindow>();
    closed->closing = true;
    openWindow(subs, cash, kWindowMarketDepth, 0);
    openWindow(subs, currency, kWindowMarketDepth, 3);
    openWindow(subs, closed, kWindowMarketDepth, 1);
    send("104,1,100,99,5,1");
    m_dispatcher->drain();
    EXPECT_EQ(cash->depthSeen(), (std::vector<std::string>{"1,100,99,5,1"}));
    EXPECT_EQ(currency->depthSeen(), (std::vector<std::string>{"1,100,99,5,1/cur"}));
    EXPECT_TRUE(closed->depthSeen().empty());
}

TEST_F(Dispatch, RoundRobinQuoteWritesItsSevenValues)
{
    EXPECT_EQ(send("105,5,10,20,30,40,50,60,70,80"), 105);
    QuoteData q = quote(2);
    EXPECT_EQ(q.quote[0], 10);
    EXPECT_EQ(q.quote[4], 50);
    EXPECT_EQ(q.quote[14], 60);
    EXPECT_EQ(q.quote[17], 70);
    EXPECT_EQ(q.tick_code[0], 1);
    send("105,5,5,20");
    q = quote(2);
    EXPECT_EQ(q.tick_code[0], -1);
    EXPECT_EQ(q.tick_code[1], 0);
}

TEST_F(Dispatch, ServerInfoSetsSlotAndStopsWithoutOne)
{
    FeedState::instance().setRunning(1);
    send("250,7,,feed.example,9100");
    EXPECT_EQ(FeedState::instance().slot(), 7);
    EXPECT_EQ(FeedState::instance().serverHost(), "feed.example");
    EXPECT_EQ(FeedState::instance().serverPort(), 9100);
    EXPECT_EQ(FeedState::instance().running(), 1);
    EXPECT_EQ(m_consumers.slotsAssigned, 1);

    send("250,-1,No slot free,feed.example,9100");
    EXPECT_EQ(FeedState::instance().running(), 0);
    EXPECT_EQ(m_consumers.notices, (std::vector<std::string>{"No slot free"}));
}

TEST_F(Dispatch, MessagesForTheBarAndTheUser)
{
    send("120,Exchange text");
    send("600,U2|hello other");
    send("600,ALL|hello all");
    send("600,U1|x|hello me");
    send("999,bad user");
    ASSERT_EQ(m_consumers.messages.size(), 3u);
    EXPECT_EQ(m_consumers.messages[0].kind, 2);
    EXPECT_EQ(m_consumers.messages[0].text, "Exchange text");
    EXPECT_FALSE(m_consumers.messages[0].popup);
    EXPECT_EQ(m_consumers.messages[1].kind, 3);
    EXPECT_EQ(m_consumers.messages[1].text, "hello all");
    EXPECT_TRUE(m_consumers.messages[1].popup);
    EXPECT_EQ(m_consumers.messages[2].text, "hello me");
}

TEST_F(Dispatch, ShortMessageIsDropped)
{
    EXPECT_EQ(send("10"), 0);
    EXPECT_EQ(send(""), 0);
    EXPECT_EQ(send("120,"), 120);
}

TEST_F(Dispatch, InformationDisplaysAndTheirUserTypeRule)
{
    send("141,a");
    send("145,b");
    send("155,c");
    send("160,d");
    pv_user_info.user_type = 'V';
    send("145,e");
    send("155,f");
    m_dispatcher->drain();
    EXPECT_EQ(m_consumers.displays, (std::vector<std::string>{"141:a", "145:b", "155:c", "160:d"}));
}

TEST_F(Dispatch, MarketStatusAndResearchCall)
{
    send("115,NNxx,Open  now");
    send("115,no comma");
    send("140,0|B|2|3|4| Buy SYM0 | 77");
    m_dispatcher->drain();
    EXPECT_EQ(m_consumers.statuses, (std::vector<std::string>{"NN/Open "}));
    ASSERT_EQ(m_consumers.messages.size(), 1u);
    EXPECT_EQ(m_consumers.messages[0].kind, 4);
    EXPECT_EQ(m_consumers.messages[0].side, 'B');
    EXPECT_EQ(m_consumers.messages[0].text, "Buy SYM0");
    EXPECT_EQ(m_consumers.messages[0].eventId, 77);
    EXPECT_EQ(BufferSlots().inUseCount(), 0);
}

TEST_F(Dispatch, ResearchCallWithoutAFreeSlotIsDropped)
{
    std::vector<int> taken;
    for (int i = 0; i < kBufferSlotCount; ++i)
        taken.push_back(GetFreeBufferSlot());
    send("140,0|B|2|3|4|text|1");
    m_dispatcher->drain();
    EXPECT_TRUE(m_consumers.messages.empty());
    for (int s : taken)
        ReleaseBufferSlot(s);
}

struct ConfirmationCase {
    const char* name;
    std::string payload;
    std::string text; // empty: nothing shown
};

TEST_F(Dispatch, ConfirmationTexts)
{
    // token 3 of NN is security 2 ("SYM2-EQ").
    const ConfirmationCase cases[] = {
        {"new order", "x|0|3|NN|x|C1|Buy|1234|x|10|12345|0|x|x|10:00:01|EX9|TR1",
         "Clt C1 : Buy Normal Order Confirmation for SYM2-EQ 10@123.45, Tri. Price :0.00, TWXS Order No :1234, "
         "Ex Order No :EX9, Time :10:00:01"},
        {"rejected with reason", "x|4|3|NN|x|C1|Sell|5|x|1|100|90|x|x|t||||||| no margin ",
         "Clt C1 : Sell StopLoss Order Rejected for SYM2-EQ 1@1.00, Tri. Price :0.90, TWXS Order No :5, "
         "Ex Order No :-NA-, Time :t, Reason :no margin"},
        {"trade shows the trade number", "x|100|3|NN|x|C1|Buy|6|x|2|200|0|x|x|t|EX1|TR7",
         "Clt C1 : Buy Normal Trade Confirm for SYM2-EQ 2@2.00, Tri. Price :0.00, TWXS Order No :6, "
         "Ex Trade No :TR7, Time :t"},
        {"unknown security", "x|0|9999|NN|x|C1|Buy|6|x|2|200|0|x|x|t", ""},
        {"unknown kind", "x|1|3|NN|x|C1|Buy|6|x|2|200|0|x|x|t", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(m_dispatcher->ConfirmationText(c.payload), c.text) << c.name;
}

TEST_F(Dispatch, ConfirmationGoesToTheBarAndTheOrderStore)
{
    AllocateClientTable(0);
    pv_user_info.client_index = 0;
    send("130,x|0|3|NN|x|C1|Buy|1|x|1|100|0|x|x|t");
    send("130,x|0|9999|NN|x|C1|Buy|1|x|1|100|0|x|x|t");
    m_dispatcher->drain();
    ASSERT_EQ(m_consumers.messages.size(), 1u);
    EXPECT_EQ(m_consumers.messages[0].kind, 1);
    EXPECT_EQ(m_consumers.messages[0].side, 'B');
    EXPECT_EQ(m_consumers.confirmations.size(), 1u);
    pv_user_info.client_index = -1;
}

// --- index broadcast ---

class IndexBroadcast : public Dispatch {
protected:
    void SetUp() override
    {
        Dispatch::SetUp();
        IndexRecord r;
        r.feedCode = 7; // also the watch token of security 3
        m_indices.rows.push_back(r);
    }
    const IndexRecord& row() { return m_indices.rows[0]; }
};

TEST_F(IndexBroadcast, FirstValueSetsHighAndLow)
{
    send("110,7,1000,900,50,1234,x,");
    EXPECT_EQ(row().values[0], 1000);
    EXPECT_EQ(row().values[1], 1000);
    EXPECT_EQ(row().ticks[1], 2);
    EXPECT_EQ(row().values[2], 1000);
    EXPECT_EQ(row().ticks[2], 3);
    EXPECT_EQ(row().values[4], 900);
    EXPECT_EQ(row().values[5], 100);
    EXPECT_EQ(row().stamp, 1234);
    EXPECT_NEAR(row().values[6], 100.0 / 900 * 100 * 100, 1e-9);
    ASSERT_EQ(m_consumers.indexRows.size(), 1u);
}

TEST_F(IndexBroadcast, SameValueCodesGoUpThenSettle)
{
    send("110,7,1000,900,0,1,x,");
    EXPECT_EQ(row().ticks[0], 2);
    send("110,7,1000,900,0,2,x,");
    EXPECT_EQ(row().ticks[0], 1);
    send("110,7,1000,900,0,3,x,");
    EXPECT_EQ(row().ticks[0], 0);
    send("110,7,990,900,0,4,x,");
    EXPECT_EQ(row().ticks[0], 3);
}

TEST_F(IndexBroadcast, ZeroPreviousCloseUnknownCodeAndMissingSeparator)
{
    send("110,7,1000,0,0,1,x,");
    EXPECT_EQ(row().values[6], 0);
    send("110,8,5,5,5,5,x,");
    EXPECT_EQ(m_consumers.indexRows.size(), 1u);
    // Without the trailing separator the last field keeps its last digit.
    send("110,7,1000,0,0,123");
    EXPECT_EQ(row().stamp, 123);
}

TEST_F(IndexBroadcast, NetPositionGetsTheIndexAsLastPrice)
{
    m_consumers.netPosition = true;
    send("110,7,1500,900,0,1,x,");
    EXPECT_EQ(quote(3).quote[4], 1500);
    EXPECT_EQ(m_consumers.netPositionPrices, (std::vector<int>{3}));
}

TEST_F(IndexBroadcast, IndexChartsAreTold)
{
    auto chart = std::make_shared<RecordingWindow>();
    openWindow(FeedSubscriptions::instance(), chart, kWindowIndexChart);
    send("110,7,1000,900,0,1,x,");
    EXPECT_EQ(chart->indices, (std::vector<int>{7}));
}

// --- order under concurrency ---

TEST_F(Dispatch, OrderIsKeptPerKeyOnAPoolOfThreads)
{
    makeDispatcher(FeedDispatcher::Options{4, false, {}});
    AllocateClientTable(0);
    pv_user_info.client_index = 0;
    auto depth = std::make_shared<RecordingWindow>();
    openWindow(FeedSubscriptions::instance(), depth, kWindowMarketDepth, 0);
    IndexRecord r;
    r.feedCode = 7;
    m_indices.rows.push_back(r);

    constexpr int kRounds = 300;
    for (int i = 0; i < kRounds; ++i) {
        for (int s = 0; s < 5; ++s)
            send("104," + std::to_string(watchToken(s)) + "," + std::to_string(i));
        send("130,x|0|3|NN|x|C1|Buy|" + std::to_string(i) + "|x|1|100|0|x|x|t");
        send("110,7," + std::to_string(1000 + i) + ",900,0," + std::to_string(i) + ",x,");
    }
    m_dispatcher->drain();

    // Depth: per security in sending order.
    std::map<std::string, int> last;
    for (const std::string& d : depth->depthSeen()) {
        const auto comma = d.rfind(',');
        const std::string key = d.substr(0, comma);
        const int seq = std::stoi(d.substr(comma + 1));
        const auto it = last.find(key);
        EXPECT_TRUE(it == last.end() || it->second + 1 == seq) << d;
        last[key] = seq;
    }
    EXPECT_EQ(depth->depthSeen().size(), 5u * kRounds);
    // Confirmations: strictly in arrival order.
    ASSERT_EQ(m_consumers.confirmations.size(), static_cast<size_t>(kRounds));
    for (int i = 0; i < kRounds; ++i)
        EXPECT_NE(m_consumers.confirmations[static_cast<size_t>(i)].find("TWXS Order No :" + std::to_string(i) + ","),
                  std::string::npos);
    // Index: the last value applied is the last one sent.
    EXPECT_EQ(m_indices.rows[0].values[0], 1000 + kRounds - 1);
    EXPECT_EQ(m_indices.rows[0].stamp, kRounds - 1);
    pv_user_info.client_index = -1;
}

// The program's own configuration (the default options: quotes on the feed
// thread, confirmations on a pool of threads), fed as the connection feeds it:
// frames cut from received buffers. Each window sees every quote of its
// security in sending order with the value that quote carried, and the
// confirmations reach the order store in sending order.
TEST_F(Dispatch, InterleavedQuotesAndConfirmationsKeepBothOrdersAsTheProgramRuns)
{
    makeDispatcher(FeedDispatcher::Options{});
    AllocateClientTable(0);
    pv_user_info.client_index = 0;
    // Reads the row when told: the value must be the quote just applied.
    class SeeingWindow : public FeedWindow {
    public:
        SeeingWindow(const SecurityTable& table, std::vector<int> securities)
            : m_table(table), m_securities(std::move(securities))
        {
        }
        std::vector<int> feedSecurities() const override { return m_securities; }
        void quoteUpdated(int security) override
        {
            seen[security].push_back(static_cast<long>(m_table.row(security).quote().quote[0]));
        }
        std::map<int, std::vector<long>> seen; // feed thread only

    private:
        const SecurityTable& m_table;
        std::vector<int> m_securities;
    };
    auto w = std::make_shared<SeeingWindow>(*m_table, std::vector<int>{0, 1, 2, 3});
    openWindow(FeedSubscriptions::instance(), w, kWindowMarketWatch);

    constexpr int kRounds = 400;
    std::string bytes;
    const auto frame = [&](const std::string& m) {
        char head[8];
        std::snprintf(head, sizeof head, "^0%04zu", m.size());
        bytes += head + m + "$";
    };
    for (int i = 0; i < kRounds; ++i) {
        for (int s = 0; s < 4; ++s)
            frame(quote101(s, 1000 + i));
        frame("130,x|0|3|NN|x|C1|Buy|" + std::to_string(i) + "|x|1|100|0|x|x|t");
    }
    FeedFrameAssembler assembler(FeedFrameAssembler::Kind::Tcp);
    for (size_t at = 0; at < bytes.size(); at += 997) { // reads that cut frames anywhere
        const FeedDispatcher::Buffer buffer(*m_dispatcher);
        assembler.feed(bytes.data() + at, std::min<size_t>(997, bytes.size() - at), [&](std::string_view m) {
            return m_dispatcher->Distribute_Feed(m.data(), static_cast<int>(m.size())) != 999;
        });
    }
    m_dispatcher->drain();

    std::vector<long> expected;
    for (int i = 0; i < kRounds; ++i)
        expected.push_back(1000 + i);
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(w->seen[s], expected) << "security " << s;
    ASSERT_EQ(m_consumers.confirmations.size(), static_cast<size_t>(kRounds));
    for (int i = 0; i < kRounds; ++i)
        EXPECT_NE(m_consumers.confirmations[static_cast<size_t>(i)].find("TWXS Order No :" + std::to_string(i) + ","),
                  std::string::npos)
            << i;
    // The status bar's quote time: once per received buffer, the newest.
    const std::vector<int64_t> times = m_consumers.quoteTimes;
    ASSERT_FALSE(times.empty());
    EXPECT_LE(times.size(), bytes.size() / 997 + 1);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    EXPECT_EQ(times.back(), 1000 + kRounds - 1 + 17);
    pv_user_info.client_index = -1;
}

// Within a received buffer a quote's row is written while the next message
// is looked at: whatever comes next (depth, an index, the buffer's end)
// still finds the quote applied, and an unknown watch token applies nothing.
TEST_F(Dispatch, ABufferedQuoteIsAppliedBeforeTheNextMessageAndAtTheBuffersEnd)
{
    class DepthSeeingWindow : public FeedWindow {
    public:
        explicit DepthSeeingWindow(const SecurityTable& table) : m_table(table) {}
        std::vector<int> feedSecurities() const override { return {}; }
        void quoteUpdated(int) override {}
        void depthUpdated(const std::string&, bool) override
        {
            seen.push_back(static_cast<long>(m_table.row(3).quote().quote[0]));
        }
        std::vector<long> seen;

    private:
        const SecurityTable& m_table;
    };
    auto depth = std::make_shared<DepthSeeingWindow>(*m_table);
    auto& subs = FeedSubscriptions::instance();
    subs.setWindow(subs.getClientDlg(), depth, kWindowMarketDepth, 3);
    const std::string depthMessage = "104," + std::to_string(watchToken(3)) + ",100";
    {
        const FeedDispatcher::Buffer buffer(*m_dispatcher);
        EXPECT_EQ(send(quote101(3, 100)), 101);
        EXPECT_EQ(send(depthMessage), 104);
        EXPECT_EQ(send("101,999999,1,2,3"), 101); // no such security
        EXPECT_EQ(send(quote101(3, 200)), 101);
        EXPECT_EQ(send(depthMessage), 104);
        EXPECT_EQ(send(quote101(3, 300)), 101);
        EXPECT_EQ(send(quote101(3, 400)), 101);
        EXPECT_EQ(send(quote101(3, 500)), 101);
        EXPECT_EQ(send(depthMessage), 104);
        EXPECT_EQ(send(quote101(3, 600)), 101);
        EXPECT_EQ(send(quote101(3, 700)), 101);
    }
    EXPECT_EQ(depth->seen, (std::vector<long>{100, 200, 500}));
    EXPECT_EQ(quote(3).quote[0], 700) << "the buffer's last quotes are applied at its end, in order";
    EXPECT_EQ(m_consumers.lastTrades, (std::vector<int>(7, 3)));
}

// Within a buffer the market watches are told of its quotes together: still
// each quote once and in order, all of them before the next other message is
// handled and by the buffer's end, however many there are; a window that
// fails or closes meanwhile keeps no other from its marks.
TEST_F(Dispatch, WatchesHearOfABuffersQuotesBeforeTheNextMessageAndByItsEnd)
{
    class CountingDepth : public FeedWindow {
    public:
        explicit CountingDepth(RecordingWindow& watch) : m_watch(watch) {}
        void depthUpdated(const std::string&, bool) override { toldBefore.push_back(m_watch.quotesSeen().size()); }
        std::vector<size_t> toldBefore;

    private:
        RecordingWindow& m_watch;
    };
    auto& subs = FeedSubscriptions::instance();
    auto watch = std::make_shared<RecordingWindow>(std::vector<int>{3, 4});
    auto failing = std::make_shared<RecordingWindow>(std::vector<int>{3, 4});
    failing->throws = true;
    auto closing = std::make_shared<RecordingWindow>(std::vector<int>{4});
    openWindow(subs, watch, kWindowMarketWatch);
    openWindow(subs, failing, kWindowMarketWatch);
    openWindow(subs, closing, kWindowOtherWatch);
    auto depth = std::make_shared<CountingDepth>(*watch);
    subs.setWindow(subs.getClientDlg(), depth, kWindowMarketDepth, 3);
    const std::string depthMessage = "104," + std::to_string(watchToken(3)) + ",100";
    std::vector<int> expected;
    size_t toldBeforeClosing = 0;
    {
        const FeedDispatcher::Buffer buffer(*m_dispatcher);
        for (int s : {3, 4, 3}) {
            send(quote101(s, 100));
            expected.push_back(s);
        }
        send(depthMessage);
        for (int i = 0; i < 150; ++i) { // more than are kept waiting at once
            send(quote101(3 + i % 2, 200 + i));
            expected.push_back(3 + i % 2);
        }
        send(depthMessage);
        for (int s : {4, 3, 4}) {
            send(quote101(s, 1));
            expected.push_back(s);
        }
        toldBeforeClosing = closing->quotesSeen().size();
        closing->closing = true;
    }
    EXPECT_EQ(depth->toldBefore, (std::vector<size_t>{3, 153}));
    EXPECT_EQ(watch->quotesSeen(), expected);
    EXPECT_LT(toldBeforeClosing, 78u) << "some of its 78 quotes were still waiting";
    EXPECT_EQ(closing->quotesSeen().size(), toldBeforeClosing) << "a closing window hears nothing more";
}

TEST_F(Dispatch, QuotesWhileWindowsComeAndGoOnAnotherThread)
{
    // The UI thread opens and closes windows while the feed thread ticks:
    // no window is told after its slot was released (checked by TSan for the
    // tables' consistency, and by the counts here).
    auto& subs = FeedSubscriptions::instance();
    std::atomic<bool> done{false};
    std::thread ui([&] {
        for (int i = 0; i < 200; ++i) {
            auto w = std::make_shared<RecordingWindow>(std::vector<int>{i % 10});
            const int slot = openWindow(subs, w, kWindowMarketWatch);
            subs.RemoveWatchInfoDlgRef(slot);
            w->closing = true;
            subs.releaseSlot(slot);
        }
        done = true;
    });
    int sent = 0;
    while (!done.load() || sent < 10) {
        send(quote101(sent % 10, sent));
        ++sent;
        if (sent > 1'000'000)
            break;
    }
    ui.join();
    EXPECT_EQ(m_consumers.lastTrades.size(), static_cast<size_t>(sent));
}

// The polling thread applies its quotes while the feed thread applies its
// own: each quote's tick and trade time stay with it (a polled unchanged
// quote never borrows the feed's rising tick), checked by the counts here and
// by TSan for the dispatcher's members.
TEST_F(Dispatch, PolledQuotesAndFeedQuotesKeepTheirOwnTicksAndTimes)
{
    auto& subs = FeedSubscriptions::instance();
    auto netPosition = std::make_shared<RecordingWindow>(std::vector<int>{1, 2});
    openWindow(subs, netPosition, kWindowNetPosition);
    constexpr int kQuotes = 2000;
    std::thread poll([&] {
        const std::string m = quote101(2, 500); // the same quote: value 4 rises once, then stays
        for (int i = 0; i < kQuotes; ++i)
            EXPECT_EQ(m_dispatcher->UpdateFeedsAndNotify(m.c_str() + 4, static_cast<int>(m.size() - 4)), 2);
    });
    for (int i = 0; i < kQuotes; ++i)
        send(quote101(1, i % 2 ? 90 : 100)); // value 4 falls and rises with every quote
    poll.join();

    const std::vector<int> seen = netPosition->quotesSeen();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), kQuotes);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 2), 1) << "a polled quote took the feed's tick";
    std::lock_guard lock(m_consumers.m_mutex);
    EXPECT_EQ(std::count(m_consumers.quoteTimes.begin(), m_consumers.quoteTimes.end(), 517), kQuotes)
        << "a polled quote took the feed's trade time";
    EXPECT_EQ(m_consumers.quoteTimes.size(), 2u * kQuotes);
}

// Without a feed no window subscribes: the snapshot's quotes reach every
// market watch (the MIS Options and segment lists among them) and the net
// position window, and no other window.
TEST_F(Dispatch, SnapshotQuotesWithoutAFeedReachEveryKindOfMarketWatch)
{
    auto& subs = FeedSubscriptions::instance();
    struct Kind {
        const char* name;
        int type;
        bool told;
    };
    const Kind kinds[] = {
        {"market watch", kWindowMarketWatch, true},     {"MIS Options list", kWindowMisOptionsWatch, true},
        {"segment list", kWindowOtherWatch, true},      {"net position", kWindowNetPosition, true},
        {"market depth", kWindowMarketDepth, false},    {"intraday chart", kWindowIntradayChart, false},
    };
    std::vector<std::shared_ptr<RecordingWindow>> windows;
    for (const Kind& k : kinds) {
        windows.push_back(std::make_shared<RecordingWindow>(std::vector<int>{}));
        openWindow(subs, windows.back(), k.type);
    }
    const std::string m = quote101(2, 500);
    ASSERT_EQ(m_dispatcher->UpdateFeedsAndNotify(m.c_str() + 4, static_cast<int>(m.size() - 4)), 2);
    for (size_t i = 0; i < windows.size(); ++i)
        EXPECT_EQ(windows[i]->quotesSeen(), kinds[i].told ? std::vector<int>{2} : std::vector<int>{}) << kinds[i].name;
}

TEST_F(Dispatch, BroadcastLogIsWrittenEveryHundredMessages)
{
    TempDir dir;
    pf::ManualClock clock(1'700'000'000'000);
    pf::setClock(&clock);
    makeDispatcher(FeedDispatcher::Options{1, true, dir.path()});
    for (int i = 0; i < 99; ++i)
        send("999,m" + std::to_string(i));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    send("999,m99");
    const pf::LocalTime t = pf::Clock::local(clock.nowMillis());
    char name[64];
    std::snprintf(name, sizeof name, "BroadCastLog_%02d%02d%04d_%02d.log", t.day, t.month, t.year, t.hour);
    std::ifstream in(dir.path() / name);
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    EXPECT_EQ(text.substr(0, 14), "999,m0\n999,m1\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 100);
    pf::setClock(nullptr);

    SetLoggedIn(false);
    send("999,not logged");
    SetLoggedIn(true);
}

} // namespace

} // namespace test_feed_dispatcher
