// The chart view's Qt-free core: the two chart texts, the interval and zoom
// maps, the folding of trades into intraday bars and of day bars into
// periods, the window shown after a load and the indicator rules. Run with
// TZ=Asia/Kolkata: bars are stamped at local 09:00 and 16:30.
#include "market/ChartLiveFeed.h"
#include "market/ChartRecords.h"
#include "market/ChartSeries.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace {

int64_t at(int y, int mo, int d, int h, int mi, int s = 0)
{
    return ChartLocalEpoch(y, mo, d, h, mi, s);
}

chartfeed trade(int64_t t, double price, double volume = 1)
{
    chartfeed f;
    f.stamp = double(t);
    f.date = ChartDateOfEpoch(t);
    f.close = price;
    f.volume = volume;
    return f;
}

chartfeed day(int y, int mo, int d, double o, double h, double l, double c, double v = 1)
{
    chartfeed f;
    f.stamp = double(at(y, mo, d, 16, 30));
    f.date = ChartDateOf(y, mo, d, 16, 30, 0);
    f.open = o;
    f.high = h;
    f.low = l;
    f.close = c;
    f.volume = v;
    return f;
}

std::string hhmm(double chartDate)
{
    const ChartDateFields f = ChartDateSplit(chartDate);
    char b[8];
    std::snprintf(b, sizeof b, "%02d:%02d", f.hour, f.minute);
    return b;
}

std::string ymd(double chartDate)
{
    const ChartDateFields f = ChartDateSplit(chartDate);
    char b[16];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d", f.year, f.month, f.day);
    return b;
}

// --- texts -----------------------------------------------------------------

TEST(ChartText, EodRecordsCarryMissingFieldsAndSkipBadOnes)
{
    std::vector<chartfeed> bars;
    const std::string longRecord = "3/2/2024|" + std::string(300, '1') + "~";
    const std::string longField = "4/2/2024|" + std::string(130, '2') + "|1|1|1|1~";
    const std::string text = "xx|1|2|3|4|5~"                        // before the first valid date: skipped
                             "1/2/2024|10.5|11|10|10.75|2500000~"   // the worked record
                             "|12|13||12.5|0~"                      // empty date and low carry over
                             + longRecord + longField +
                             "5/2/2024|20|21|19|20.5|1000000~"
                             "6/2/2024|1|1|1|1|1";                  // after the last '~': ignored
    EXPECT_EQ(ParseEodChartText(text, bars), 3);
    ASSERT_EQ(bars.size(), 3u);
    EXPECT_EQ(ChartDateText(bars[0].date), "01/02/2024 16:30:00");
    EXPECT_EQ(bars[0].stamp, double(at(2024, 2, 1, 16, 30)));
    EXPECT_DOUBLE_EQ(bars[0].open, 10.5);
    EXPECT_DOUBLE_EQ(bars[0].high, 11);
    EXPECT_DOUBLE_EQ(bars[0].low, 10);
    EXPECT_DOUBLE_EQ(bars[0].close, 10.75);
    EXPECT_DOUBLE_EQ(bars[0].volume, 2.5);
    EXPECT_EQ(ChartDateText(bars[1].date), "01/02/2024 16:30:00");
    EXPECT_DOUBLE_EQ(bars[1].open, 12);
    EXPECT_DOUBLE_EQ(bars[1].low, 10);
    EXPECT_DOUBLE_EQ(bars[1].volume, 0);
    EXPECT_EQ(ChartDateText(bars[2].date), "05/02/2024 16:30:00");
    EXPECT_DOUBLE_EQ(bars[2].volume, 1);
}

TEST(ChartText, RecordAndFieldLimitsAtTheirEdges)
{
    const std::string base = "1/2/2024|10|11|10|10.75|0"; // 25 characters
    const auto withLength = [&](size_t length) {
        // Two spare fields of blanks fill the record to the length.
        const size_t rest = length - base.size() - 2;
        return base + "|" + std::string(rest / 2, 'x') + "|" + std::string(rest - rest / 2, 'x') + "~";
    };
    const auto withField = [](size_t width) {
        return "1/2/2024|" + std::string(width - 2, ' ') + "10|11|10|10.75|0~";
    };
    const struct {
        const char* name;
        std::string text;
        int bars;
    } cases[] = {{"record of 254", withLength(254), 1}, {"record of 255", withLength(255), 1},
                 {"record of 256", withLength(256), 0}, {"field of 126", withField(126), 1},
                 {"field of 127", withField(127), 1},   {"field of 128", withField(128), 0}};
    for (const auto& c : cases) {
        std::vector<chartfeed> bars;
        EXPECT_EQ(ParseEodChartText(c.text, bars), c.bars) << c.name;
    }
}

TEST(ChartText, IntradayHeaderStatusDecides)
{
    std::vector<chartfeed> trades;
    EXPECT_FALSE(ParseIntradayChartText("1|Error~100|5|1700000000~", trades));
    EXPECT_TRUE(trades.empty());
    EXPECT_FALSE(ParseIntradayChartText("", trades));
    EXPECT_TRUE(ParseIntradayChartText("0|OK~", trades));
    EXPECT_TRUE(trades.empty());
    EXPECT_TRUE(ParseIntradayChartText("0|OK~100.5|5|1700000000~101|7|1700000060~102|1|17", trades));
    ASSERT_EQ(trades.size(), 2u);
    EXPECT_DOUBLE_EQ(trades[0].close, 100.5);
    EXPECT_DOUBLE_EQ(trades[0].volume, 5);
    EXPECT_EQ(trades[1].stamp, 1700000060.0);
    EXPECT_NEAR(trades[1].date, ChartDateOfEpoch(1700000060), 1e-9);
}

// --- intervals -------------------------------------------------------------

TEST(ChartIntervals, EntriesStylesBarLengthsAndTheReverseMap)
{
    int interval = 0, style = 501;
    IntervalOfEntry(kChartIntraday, 0, interval, style); // TickByTick
    EXPECT_EQ(style, 502);
    EXPECT_EQ(BarLength(kChartIntraday, interval), 1);
    EXPECT_EQ(interval, 1);
    IntervalOfEntry(kChartIntraday, 1, interval, style); // 1 Minute
    EXPECT_EQ(style, 501);
    EXPECT_EQ(interval, 60);
    EXPECT_EQ(BarLength(kChartIntraday, interval), 60);
    interval = 90;
    EXPECT_EQ(BarLength(kChartIndex, interval), 60); // whole minutes
    IntervalOfEntry(kChartEod, 3, interval, style);
    EXPECT_EQ(interval, 90);
    EXPECT_EQ(BarLength(kChartEod, interval), 90 * 86400);

    const struct {
        int kind, interval, entry;
    } reverse[] = {{kChartIntraday, 60, 1}, {kChartIntraday, 300, 2}, {kChartIndex, 900, 3},
                   {kChartIntraday, 1800, 4}, {kChartIntraday, 1, 0},   {kChartEod, 7, 1},
                   {kChartEod, 30, 2},         {kChartEod, 90, 3},       {kChartEod, 180, 4},
                   {kChartEod, 1, 0},          {kChartSaved, 300, 0}};
    for (const auto& r : reverse)
        EXPECT_EQ(EntryOfInterval(r.kind, r.interval), r.entry) << r.kind << " " << r.interval;
    for (int entry = 0; entry < 5; ++entry) {
        IntervalOfEntry(kChartIntraday, entry, interval, style);
        EXPECT_EQ(EntryOfInterval(kChartIntraday, interval), entry);
    }
    EXPECT_EQ(ZoomSpan(kChartEod, 5), 365);
    EXPECT_EQ(ZoomSpan(kChartIntraday, 4), 60);
    EXPECT_EQ(ZoomSpan(kChartIntraday, 9), -1);
}

// --- intraday folding --------------------------------------------------------

class IntradayFolding : public ::testing::Test {
protected:
    int64_t nine = at(2026, 12, 8, 9, 0);
    std::deque<chartfeed> queue;
};

TEST_F(IntradayFolding, BarsAreStampedAtTheirEndsAndTheCrossingTradeOpensTheNext)
{
    queue = {trade(nine + 10, 100, 2), trade(nine + 100, 105, 3), trade(nine + 200, 98, 1),
             trade(nine + 300, 101, 4), // exactly on the first end: the second bar's
             trade(nine + 400, 102, 1)};
    const IntradayFold f = FoldIntraday(queue, nine, 300, -1);
    ASSERT_EQ(f.bars.size(), 2u);
    EXPECT_EQ(hhmm(f.bars[0].date), "09:05");
    EXPECT_DOUBLE_EQ(f.bars[0].open, 100);
    EXPECT_DOUBLE_EQ(f.bars[0].high, 105);
    EXPECT_DOUBLE_EQ(f.bars[0].low, 98);
    EXPECT_DOUBLE_EQ(f.bars[0].close, 98);
    EXPECT_DOUBLE_EQ(f.bars[0].volume, 6);
    // The queue ends inside the second bar: it is closed at its end.
    EXPECT_EQ(hhmm(f.bars[1].date), "09:10");
    EXPECT_DOUBLE_EQ(f.bars[1].open, 101);
    EXPECT_DOUBLE_EQ(f.bars[1].close, 102);
    EXPECT_DOUBLE_EQ(f.bars[1].volume, 5);
    EXPECT_TRUE(f.lastMatched);
    EXPECT_EQ(f.live.end, nine + 600);
    EXPECT_EQ(f.nextEnd, nine + 900);
    EXPECT_EQ(f.tradesUsed, 5);
}

TEST_F(IntradayFolding, AGapGivesFlatBarsAtTheLastClose)
{
    queue = {trade(nine + 10, 100, 2), trade(nine + 20, 99, 1), trade(nine + 950, 110, 5)};
    const IntradayFold f = FoldIntraday(queue, nine, 300, -1);
    ASSERT_EQ(f.bars.size(), 4u);
    const char* ends[] = {"09:05", "09:10", "09:15", "09:20"};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(hhmm(f.bars[i].date), ends[i]);
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(f.bars[i].open, 99);
        EXPECT_DOUBLE_EQ(f.bars[i].high, 99);
        EXPECT_DOUBLE_EQ(f.bars[i].close, 99);
        EXPECT_DOUBLE_EQ(f.bars[i].volume, 0);
    }
    // The crossing trade is in its own bar only.
    EXPECT_DOUBLE_EQ(f.bars[3].open, 110);
    EXPECT_DOUBLE_EQ(f.bars[3].volume, 5);
    EXPECT_DOUBLE_EQ(f.bars[0].volume, 3);
}

TEST_F(IntradayFolding, TickByTickDrawsTradesWithoutFlatSeconds)
{
    queue = {trade(nine + 1, 100, 1), trade(nine + 1, 101, 1), trade(nine + 600, 102, 1), trade(nine + 601, 103, 1)};
    const IntradayFold f = FoldIntraday(queue, nine, 1, -1);
    ASSERT_EQ(f.bars.size(), 3u);
    EXPECT_DOUBLE_EQ(f.bars[0].close, 101);
    EXPECT_DOUBLE_EQ(f.bars[0].volume, 2);
    EXPECT_EQ(f.bars[1].end, nine + 601);
    EXPECT_EQ(f.bars[2].end, nine + 602);
}

TEST_F(IntradayFolding, TheSpanKeepsOnlyTheLastMinutes)
{
    for (int m = 0; m < 60; ++m)
        queue.push_back(trade(nine + m * 60 + 1, 100 + m));
    // 60 one-minute bars; with a 10-minute span a closed bar stays when its
    // closing trade is at most 10 whole minutes before the last trade.
    const IntradayFold all = FoldIntraday(queue, nine, 60, -1);
    EXPECT_EQ(all.bars.size(), 60u);
    const IntradayFold f = FoldIntraday(queue, nine, 60, 10);
    // Bar 09:48-09:49 is closed by the trade at 09:49:01, ten minutes
    // before the last one at 09:59:01; the bar of the last trade always stays.
    ASSERT_EQ(f.bars.size(), 12u);
    EXPECT_EQ(hhmm(f.bars.front().date), "09:49");
    EXPECT_EQ(hhmm(f.bars.back().date), "10:00");
}

TEST_F(IntradayFolding, ComparedSeriesTakeTheirLastPriceAtOrBeforeEachEnd)
{
    queue = {trade(nine + 10, 100), trade(nine + 310, 101), trade(nine + 610, 102)};
    ComparedTrades a = {trade(nine + 5, 50), trade(nine + 250, 51), trade(nine + 600, 52)};
    ComparedTrades b = {trade(nine + 400, 70)};
    const IntradayFold f = FoldIntraday(queue, nine, 300, -1, {&a, &b});
    ASSERT_EQ(f.bars.size(), 3u);
    EXPECT_DOUBLE_EQ(f.bars[0].compared[0], 51);
    EXPECT_TRUE(std::isnan(f.bars[0].compared[1]));
    EXPECT_DOUBLE_EQ(f.bars[1].compared[0], 52);
    EXPECT_DOUBLE_EQ(f.bars[1].compared[1], 70);
    EXPECT_DOUBLE_EQ(f.bars[2].compared[1], 70);
}

TEST_F(IntradayFolding, EmptyQueueAndLateFirstTrade)
{
    EXPECT_TRUE(FoldIntraday(queue, nine, 300, -1).bars.empty());
    queue = {trade(nine + 3600 + 30, 100)};
    const IntradayFold f = FoldIntraday(queue, nine, 300, -1);
    ASSERT_EQ(f.bars.size(), 1u); // no flat bars before the first trade
    EXPECT_EQ(hhmm(f.bars[0].date), "10:05");
}

// --- end-of-day periods ------------------------------------------------------

TEST(EodFolding, EachPeriodIsStampedWithItsOwnLastTradingDay)
{
    // Tue 30 Dec 2025 .. Fri 2 Jan 2026, Mon 5 Jan: a week across a year end.
    // The ended week is drawn at its own last day, never at the Monday that
    // opens the next one (two points of one date would lose last week).
    const std::vector<chartfeed> days = {
        day(2025, 12, 30, 10, 12, 9, 11, 1), day(2025, 12, 31, 11, 15, 10, 14, 2),
        day(2026, 1, 2, 14, 14, 8, 9, 3),    day(2026, 1, 5, 9, 10, 9, 10, 4),
    };
    const std::vector<ChartBar> weeks = FoldEod(days, 7, -1);
    ASSERT_EQ(weeks.size(), 2u);
    EXPECT_EQ(ymd(weeks[0].date), "2026-01-02");
    EXPECT_DOUBLE_EQ(weeks[0].open, 10);
    EXPECT_DOUBLE_EQ(weeks[0].high, 15);
    EXPECT_DOUBLE_EQ(weeks[0].low, 8);
    EXPECT_DOUBLE_EQ(weeks[0].close, 9);
    EXPECT_DOUBLE_EQ(weeks[0].volume, 6);
    EXPECT_EQ(ymd(weeks[1].date), "2026-01-05");
    EXPECT_DOUBLE_EQ(weeks[1].open, 9);

    const std::vector<ChartBar> months = FoldEod(days, 30, -1);
    ASSERT_EQ(months.size(), 2u);
    EXPECT_EQ(ymd(months[0].date), "2025-12-31");
    EXPECT_EQ(ymd(months[1].date), "2026-01-05");
    EXPECT_DOUBLE_EQ(months[0].close, 14);
    EXPECT_DOUBLE_EQ(months[1].open, 14);
    EXPECT_DOUBLE_EQ(months[1].volume, 7);
}

TEST(EodFolding, AWeeklyChartEndingOnAMondayKeepsLastWeek)
{
    // Mon 5 .. Fri 9 Jan 2026, then Mon 12 Jan: a week stamped Fri 9 and the
    // open week stamped Mon 12; every period's date is distinct.
    std::vector<chartfeed> days;
    for (int d = 5; d <= 9; ++d)
        days.push_back(day(2026, 1, d, d, d + 1, d - 1, d, 1));
    days.push_back(day(2026, 1, 12, 20, 21, 19, 20, 1));
    const std::vector<ChartBar> weeks = FoldEod(days, 7, -1);
    ASSERT_EQ(weeks.size(), 2u);
    EXPECT_EQ(ymd(weeks[0].date), "2026-01-09");
    EXPECT_DOUBLE_EQ(weeks[0].open, 5);
    EXPECT_DOUBLE_EQ(weeks[0].high, 10);
    EXPECT_DOUBLE_EQ(weeks[0].low, 4);
    EXPECT_DOUBLE_EQ(weeks[0].close, 9);
    EXPECT_DOUBLE_EQ(weeks[0].volume, 5);
    EXPECT_EQ(ymd(weeks[1].date), "2026-01-12");
    EXPECT_DOUBLE_EQ(weeks[1].close, 20);
    // Quarterly and half-yearly alike: Dec 31 ends the quarter that Jan 2 follows.
    const std::vector<chartfeed> turn = {day(2025, 10, 1, 1, 1, 1, 1), day(2025, 12, 31, 2, 2, 2, 2),
                                         day(2026, 1, 2, 3, 3, 3, 3)};
    const std::vector<ChartBar> quarters = FoldEod(turn, 90, -1);
    ASSERT_EQ(quarters.size(), 2u);
    EXPECT_EQ(ymd(quarters[0].date), "2025-12-31");
    EXPECT_EQ(ymd(quarters[1].date), "2026-01-02");
}

TEST(IntradayBound, TradesOutsideTheChartsDayAreRefusedAndLongGapsJumped)
{
    const int64_t ten = ChartLocalEpoch(2026, 12, 8, 10, 0, 0);
    const ChartDay day = ChartDayOf(ten);
    EXPECT_EQ(day.start, ChartLocalEpoch(2026, 12, 8, 0, 0, 0));
    EXPECT_EQ(day.end, ChartLocalEpoch(2026, 12, 9, 0, 0, 0));
    // A 1970 trade, a year-old one, the day's two, the next day's first
    // second and one in year 5138.
    const std::string text = "0|OK~1|1|1~2|1|" + std::to_string(ten - 365 * 86400) + "~3|1|" + std::to_string(ten) +
                             "~4|1|" + std::to_string(day.end - 1) + "~5|1|" + std::to_string(day.end) +
                             "~6|1|99999999999~";
    std::vector<chartfeed> trades;
    ASSERT_TRUE(ParseIntradayChartText(text, trades, day));
    ASSERT_EQ(trades.size(), 2u);
    EXPECT_DOUBLE_EQ(trades[0].close, 3);
    EXPECT_DOUBLE_EQ(trades[1].close, 4);

    // Folded without the day's bound (a queue the view never makes), a
    // year between two trades is jumped: two bars, not 525,601.
    const std::deque<chartfeed> queue = {trade(ten - 365 * 86400, 1), trade(ten, 2)};
    const IntradayFold f = FoldIntraday(queue, ten - 365 * 86400, 60, -1);
    ASSERT_EQ(f.bars.size(), 2u);
    EXPECT_DOUBLE_EQ(f.bars[0].close, 1);
    EXPECT_EQ(f.bars[1].end, ten + 60);
}

TEST(EodFolding, MonthDeltasUseAtLeastSoASkippedMonthStillBreaks)
{
    // Nov, Dec, then Feb (January missing), then May, then Aug.
    const std::vector<chartfeed> days = {day(2025, 11, 3, 1, 1, 1, 1), day(2025, 12, 1, 2, 2, 2, 2),
                                         day(2026, 2, 2, 3, 3, 3, 3),  day(2026, 5, 4, 4, 4, 4, 4),
                                         day(2026, 8, 3, 5, 5, 5, 5)};
    const struct {
        int interval;
        std::vector<double> closes;
    } cases[] = {{30, {1, 2, 3, 4, 5}}, {90, {2, 3, 4, 5}}, {180, {3, 5}}};
    for (const auto& c : cases) {
        const std::vector<ChartBar> got = FoldEod(days, c.interval, -1);
        std::vector<double> closes;
        for (const auto& b : got)
            closes.push_back(b.close);
        EXPECT_EQ(closes, c.closes) << c.interval;
    }
    // Weekly: more than 7 days apart breaks even without a Monday.
    const std::vector<chartfeed> gaps = {day(2026, 1, 6, 1, 1, 1, 1), day(2026, 1, 14, 2, 2, 2, 2)};
    EXPECT_EQ(FoldEod(gaps, 7, -1).size(), 2u);
}

TEST(EodFolding, DailySpanAndComparedValuesByDate)
{
    std::vector<chartfeed> days;
    for (int d = 1; d <= 20; ++d)
        days.push_back(day(2026, 3, d, d, d, d, d));
    EXPECT_EQ(FoldEod(days, 1, -1).size(), 20u);
    EXPECT_EQ(FoldEod(days, 1, 7).size(), 8u); // 13..20
    const std::vector<chartfeed> other = {day(2026, 3, 2, 0, 0, 0, 500), day(2026, 3, 10, 0, 0, 0, 600)};
    const std::vector<ChartBar> got = FoldEod(days, 1, -1, {&other});
    EXPECT_TRUE(std::isnan(got[0].compared[0]));
    EXPECT_DOUBLE_EQ(got[1].compared[0], 500);
    EXPECT_DOUBLE_EQ(got[8].compared[0], 500);
    EXPECT_DOUBLE_EQ(got[9].compared[0], 600);
}

TEST(ChartLiveFeedQueue, OnlyNewTradesAreQueuedInOrder)
{
    ChartLiveFeed feed;
    EXPECT_TRUE(feed.noteTrade({ChartTrade::Security, 3, 100, 5, 1000}));
    EXPECT_FALSE(feed.noteTrade({ChartTrade::Security, 3, 100, 5, 1000})); // a quote without a trade
    EXPECT_TRUE(feed.noteTrade({ChartTrade::Security, 3, 100, 5, 1001}));
    EXPECT_TRUE(feed.noteTrade({ChartTrade::Security, 4, 100, 5, 1001}));
    EXPECT_TRUE(feed.noteTrade({ChartTrade::Index, 3, 100, 0, 1001}));
    const auto taken = feed.take();
    ASSERT_EQ(taken.size(), 4u);
    EXPECT_EQ(taken[1].time, 1001);
    EXPECT_TRUE(feed.take().empty());
    feed.setClosing();
    feed.quoteUpdated(3);
    EXPECT_TRUE(feed.take().empty());
}

TEST(ChartLiveFeedQueue, FeedThreadsQueueWhileTheViewTakes)
{
    ChartLiveFeed feed;
    constexpr int kThreads = 4, kTrades = 2000;
    std::vector<std::thread> threads;
    for (int id = 0; id < kThreads; ++id)
        threads.emplace_back([&feed, id] {
            for (int i = 1; i <= kTrades; ++i)
                feed.noteTrade({ChartTrade::Security, id, 100.0 + i % 3, 1, 1000 + i});
        });
    size_t taken = 0;
    std::vector<int64_t> last(kThreads, 0);
    bool ordered = true;
    while (taken < size_t(kThreads * kTrades)) {
        for (const ChartTrade& t : feed.take()) {
            ordered = ordered && t.time > last[size_t(t.id)];
            last[size_t(t.id)] = t.time;
            ++taken;
        }
        std::this_thread::yield();
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(taken, size_t(kThreads * kTrades));
    EXPECT_TRUE(ordered); // first in, first out per security
}

// --- windows, zoom, indicators ----------------------------------------------

TEST(ChartView, VisibleWindowZoomStepsAndOhlcRules)
{
    const struct {
        int kind, count, first, last;
    } windows[] = {{kChartEod, 60, 1, 60}, {kChartEod, 500, 410, 500}, {kChartIntraday, 90, 1, 90},
                   {kChartIndex, 500, 300, 500}, {kChartEod, 0, 0, 0}};
    for (const auto& w : windows) {
        const VisibleWindow v = InitialWindow(w.kind, w.count);
        EXPECT_EQ(v.first, w.first) << w.count;
        EXPECT_EQ(v.last, w.last) << w.count;
    }
    EXPECT_EQ(ZoomStepsOf(20).in, 2);
    EXPECT_EQ(ZoomStepsOf(-10).out, 1);
    EXPECT_TRUE(ZoomStepsOf(0).reset);
    const ZoomSteps none = ZoomStepsOf(-1);
    EXPECT_FALSE(none.reset);
    EXPECT_EQ(none.in + none.out, 0);

    EXPECT_EQ(OhlcOnlyIndicators().size(), 29u);
    EXPECT_TRUE(IsOhlcOnlyIndicator("MACD"));
    EXPECT_TRUE(IsOhlcOnlyIndicator("MACD 2"));
    EXPECT_FALSE(IsOhlcOnlyIndicator("Simple Moving Average"));
    EXPECT_FALSE(IsOhlcOnlyIndicator("ACD")); // no substring match
    EXPECT_EQ(IndicatorBaseName("MACD 12"), "MACD");
    EXPECT_FALSE(ChartTakesOhlcIndicators(503, 0));
    EXPECT_FALSE(ChartTakesOhlcIndicators(502, 1));
    EXPECT_FALSE(ChartTakesOhlcIndicators(502, 60));
    EXPECT_TRUE(ChartTakesOhlcIndicators(501, 300));
    EXPECT_EQ(EodCacheFileName(1234, 2026, 12, 8), "EChart_1234_08.122026.dat");
}

} // namespace
