// The market watch's cell rules (shared by a row built anew and a tick) and
// the watch-list table's naming, slot and counting rules.
#include "watch/WatchCellFormat.h"
#include "watch/base/WatchlistTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <cstring>
#include <optional>

namespace test_watch_cells {

namespace {

SecurityRecord security(bool currency = false, short commodity = 0, int lot = 0, const char* inst = "EQ")
{
    SecurityRecord s;
    s.currency = currency;
    s.commodity = commodity;
    s.market_lot = lot;
    s.inst_type.assign(inst);
    return s;
}

struct ValueCase {
    const char* name;
    int kind;
    double value;
    bool currency;
    short commodity;
    int lot;
    const char* text;
};

class WatchValueText : public ::testing::TestWithParam<ValueCase> {};

TEST_P(WatchValueText, RowAndTickShowTheSameText)
{
    const ValueCase& c = GetParam();
    const SecurityRecord s = security(c.currency, c.commodity, c.lot);
    QuoteData q;
    q.quote[c.kind >= kHighPrcRange ? c.kind - 2 : c.kind] = c.value; // kinds 21, 22 are quote values 19, 20
    EXPECT_EQ(FormatWatchValue(c.kind, c.value, s), c.text);
    EXPECT_EQ(TickCell(c.kind, s, q).text, c.text);
    EXPECT_EQ(RowCell(c.kind, s, q, nullptr).text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, WatchValueText,
    ::testing::Values(ValueCase{"CurrencyBid", kBidPrc, 123456, true, 0, 0, "1234.5600"},
                      ValueCase{"EquityBid", kBidPrc, 123456, false, 0, 0, "1234.56"},
                      ValueCase{"ZeroPriceStaysZero", kLastPrc, 0, false, 0, 0, "0.00"},
                      ValueCase{"PercentChangeAsPrice", kPctChange, -250, false, 0, 0, "-2.50"},
                      ValueCase{"Quantity", kBidQty, 1500, false, 0, 0, "1500"},
                      ValueCase{"TimeZeroIsZero", kLastTrdTime, 0, false, 0, 0, "0"},
                      ValueCase{"CommodityVolumeInLots", kTtq, 1000, false, 1, 10, "100"},
                      ValueCase{"CommodityLotZeroShowsRaw", kTtq, 1000, false, 1, 0, "1000"},
                      ValueCase{"EquityVolume", kTtq, 1000, false, 0, 10, "1000"},
                      ValueCase{"CommodityTradedValue", kTotTrdVal, 123400, false, 1, 0, "1234"},
                      ValueCase{"PriceBand", kLowPrcRange, 99950, false, 0, 0, "999.50"}),
    [](const auto& info) { return std::string(info.param.name); });

// The price and quantity texts are written without printf; printf is the reference.
TEST(WatchCells, FastTextsMatchPrintf)
{
    std::mt19937_64 rng(7);
    const SecurityRecord equity = security(), currency = security(true);
    char ref[64];
    for (int i = 0; i < 20000; ++i) {
        double v = static_cast<double>(static_cast<long long>(rng() % 2000000000001ULL) - 1000000000000LL);
        if (i % 3 == 0)
            v = static_cast<double>(static_cast<int>(rng() % 2001) - 1000);
        if (i % 7 == 0)
            v += 0.5; // not whole: printf itself
        std::snprintf(ref, sizeof ref, "%0.2lf", v != 0 ? v / 100 : 0.0);
        ASSERT_EQ(FormatWatchValue(kLastPrc, v, equity), ref) << v;
        std::snprintf(ref, sizeof ref, "%0.4lf", v != 0 ? v / 100 : 0.0);
        ASSERT_EQ(FormatWatchValue(kBidPrc, v, currency), ref) << v;
        std::snprintf(ref, sizeof ref, "%0.0lf", v);
        ASSERT_EQ(FormatWatchValue(kBidQty, v, equity), ref) << v;
    }
}

TEST(WatchCells, TimeKindShowsTheLocalTime)
{
    const SecurityRecord s = security();
    struct tm t {};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 4;
    t.tm_hour = 9;
    t.tm_min = 15;
    t.tm_sec = 7;
    t.tm_isdst = -1;
    const time_t when = mktime(&t);
    EXPECT_EQ(FormatWatchValue(kLastTrdTime, double(when), s), "04-03-2026 09:15:07");
}

TEST(WatchCells, TickCodesPickTheColours)
{
    const SecurityRecord s = security();
    QuoteData q;
    q.quote[kLastPrc] = 100;
    const std::pair<short, CellPaint> tick[] = {
        {kTickRose, CellPaint::Rising}, {kTickFell, CellPaint::Falling}, {kTickSameOnce, CellPaint::Row},
        {kTickSameAgain, CellPaint::Keep}, {0, CellPaint::Keep}};
    for (const auto& [code, paint] : tick) {
        q.tick_code[kLastPrc] = code;
        EXPECT_EQ(TickCell(kLastPrc, s, q).paint, paint) << code;
    }
    // A new row uses the normal pair where a tick keeps the cell's colours.
    q.tick_code[kLastPrc] = kTickSameAgain;
    EXPECT_EQ(RowCell(kLastPrc, s, q, nullptr).paint, CellPaint::Normal);
    q.tick_code[kLastPrc] = kTickSameOnce;
    EXPECT_EQ(RowCell(kLastPrc, s, q, nullptr).paint, CellPaint::Normal);
}

TEST(WatchCells, FiftyTwoWeekBandsAtTheirBoundaries)
{
    // Last price 100.00 rupees: the distance is the stored value's percent off it.
    const double ltp = 10000;
    struct Case {
        bool high;
        double stored;
        std::optional<uint32_t> band;
    } cases[] = {
        {true, 100, 0x7000},     {true, 102, 0x7000},  {true, 98, 0x7000},     {true, 102.5, 0xA800},
        {true, 105, 0xA800},     {true, 106, 0xD000},  {true, 107, 0xD000},    {true, 107.5, std::nullopt},
        {true, 93, 0xD000},      {false, 98, 0xC0},    {false, 95, 0xEE},      {false, 93, 0x4B4BFF},
        {false, 92.5, std::nullopt}, {false, 101, std::nullopt}, {false, 100, 0xC0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FiftyTwoWeekBand(c.high, c.stored, ltp), c.band) << (c.high ? "high " : "low ") << c.stored;
    EXPECT_EQ(FiftyTwoWeekBand(true, 100, 0), std::nullopt);
    EXPECT_EQ(FiftyTwoWeekBand(false, 100, 0), std::nullopt);
}

TEST(WatchCells, TickShowsStoredFiftyTwoWeekValuesWithBandsRowRaisesThem)
{
    QuoteData q;
    q.quote[kLastPrc] = 10500;
    q.quote[kHighPrc] = 10800; // today's high 108 above the stored 105
    q.quote[kLowPrc] = 9000;   // today's low 90 below the stored 95
    q.year_high = 105;
    q.year_low = 95;
    const SecurityRecord cash = security();
    const WatchCell tick = TickCell(kWeek52High, cash, q);
    EXPECT_EQ(tick.text, "105.00");
    EXPECT_EQ(tick.band, 0x7000u);
    EXPECT_EQ(q.year_high, 105); // a tick never changes them

    QuoteData row = q;
    bool changed = false;
    const WatchCell high = RowCell(kWeek52High, cash, row, &changed);
    EXPECT_EQ(high.text, "108.00");
    EXPECT_EQ(high.paint, CellPaint::Rising);
    const WatchCell low = RowCell(kWeek52Low, cash, row, &changed);
    EXPECT_EQ(low.text, "90.00");
    EXPECT_EQ(low.paint, CellPaint::Rising);
    EXPECT_TRUE(changed);
    EXPECT_FALSE(high.band.has_value());

    // Derivatives show 0 in a new row.
    QuoteData d = q;
    changed = false;
    EXPECT_EQ(RowCell(kWeek52High, security(false, 0, 0, "FS"), d, &changed).text, "0.00");
    EXPECT_FALSE(changed);
    EXPECT_EQ(d.year_high, 105);
}

TEST(WatchCells, PercentChangeHighlight)
{
    WatchColours c;
    c.normalText = 0x111111;
    c.normalBack = 0x222222;
    c.upperBack = 0x00FF00;
    c.lowerBack = 0x0000FF;
    short flag = 0;
    // Both thresholds 0: never.
    for (double pct : {-10000.0, 0.0, 10000.0}) {
        const RowHighlight h = PercentChangeHighlight(pct, c, flag);
        EXPECT_FALSE(h.applies);
        EXPECT_EQ(h.back, 0x222222u);
    }
    EXPECT_EQ(flag, 0);

    c.upper = 500;
    c.lower = -500;
    RowHighlight h = PercentChangeHighlight(500, c, flag); // equal to the upper threshold
    EXPECT_TRUE(h.applies);
    EXPECT_TRUE(h.firstCrossing);
    EXPECT_EQ(h.back, 0x00FF00u);
    EXPECT_EQ(h.text, 0u);
    EXPECT_EQ(flag, 1);
    h = PercentChangeHighlight(600, c, flag);
    EXPECT_TRUE(h.applies);
    EXPECT_FALSE(h.firstCrossing);
    flag = 0; // the row was built again
    EXPECT_TRUE(PercentChangeHighlight(500, c, flag).firstCrossing);
    h = PercentChangeHighlight(-500, c, flag);
    EXPECT_EQ(h.back, 0x0000FFu);
    EXPECT_FALSE(PercentChangeHighlight(499, c, flag).applies);
}

TEST(WatchCells, IconsFromTicksStatusAndTrend)
{
    EXPECT_EQ(LastPriceIcon(kTickRose), 90);
    EXPECT_EQ(LastPriceIcon(kTickFell), 10);
    EXPECT_EQ(LastPriceIcon(kTickSameOnce), 45);
    EXPECT_EQ(StatusIcon(0), 20);
    EXPECT_EQ(StatusIcon(-2), 20);
    EXPECT_EQ(StatusIcon(2), 90);
    EXPECT_EQ(StatusIcon(-10), 0);
    EXPECT_STREQ(StatusText(-2), "Only Square-Off");
    EXPECT_EQ(TrendIcon(1), 90);
    EXPECT_EQ(TrendIcon(2), 10);
    EXPECT_EQ(TrendIcon(3), 45);
}

class WatchTableTest : public ::testing::Test {
protected:
    void SetUp() override { WatchlistTable::instance().reset(); }
    void TearDown() override { WatchlistTable::instance().reset(); }
    static int add(const char* name)
    {
        WatchlistRecord r;
        std::strcpy(r.name, name);
        r.inUse = 1;
        return WatchlistTable::instance().append(r);
    }
};

TEST_F(WatchTableTest, NewListsTakeTheFirstFreeNameAndTheDefaultLayout)
{
    WatchlistTable& t = WatchlistTable::instance();
    add("Watchlist1");
    add("WATCHLIST2");
    add("Watchlist4");
    EXPECT_EQ(t.takeFreeListName(), "Watchlist3");
    EXPECT_EQ(t.newListCounter(), 4);
    EXPECT_EQ(t.takeFreeListName(), "Watchlist5");

    std::array<int32_t, kColumnKinds> kinds{};
    for (int i = 0; i < kColumnKinds; ++i)
        kinds[static_cast<size_t>(i)] = kColumnKinds - 1 - i;
    t.setDefaultLayout(5, kinds);
    const int index = t.appendNewList(1);
    const WatchlistRecord r = t.record(index);
    EXPECT_EQ(r.type, 1);
    EXPECT_EQ(r.columnCount, 9);
    EXPECT_EQ(r.kinds, kinds);
    EXPECT_EQ(r.rowCapacity, 10);
    EXPECT_EQ(r.inUse, 1);
    EXPECT_EQ(r.chainKind, -1);
    EXPECT_GE(t.capacity(), t.count());
    EXPECT_STREQ(ColumnKindCaption(0), "Bid Prc");
    EXPECT_STREQ(ColumnKindCaption(22), "Low Prc Range");
    EXPECT_STREQ(ColumnKindCaption(23), "");
    EXPECT_STREQ(WatchExchangeName("MC"), "MCX-CM");
    EXPECT_STREQ(WatchExchangeName("NC"), "");
}

TEST_F(WatchTableTest, RemovedStoredRowsKeepTheirTokenAndAreReusedOnlyByIt)
{
    WatchlistRecord l;
    l.rows = {{11, 5, -1, '1', 0, 0, nullptr}, {13, 6, 0, '1', 0, 0, nullptr}, {0, -1, -1, '0', 0, 0, nullptr}};
    EXPECT_EQ(CountWatchRows(l), 1);
    EXPECT_EQ(FindWatchRowSlot(l, 11), 0);  // the same security takes its old entry
    EXPECT_EQ(FindWatchRowSlot(l, 99), 2);  // another takes the freed one
    l.rows.pop_back();
    EXPECT_EQ(FindWatchRowSlot(l, 99), -1); // appended
}

} // namespace

} // namespace test_watch_cells
