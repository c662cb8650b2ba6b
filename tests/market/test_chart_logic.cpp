// The chart's Qt-free core: chart dates, the record model that joins values
// of one date across series, and the indicators on a 30-bar fixture whose
// expected values were worked out separately from the definitions.
#include "market/ChartIndicators.h"
#include "market/ChartRecords.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

// --- Chart dates ------------------------------------------------------------

TEST(ChartDate, CountsDaysFromTheEndOf1899WithTheDayFraction)
{
    EXPECT_DOUBLE_EQ(ChartDateOf(1899, 12, 30, 0, 0, 0), 0.0);
    EXPECT_DOUBLE_EQ(ChartDateOf(1900, 1, 1, 0, 0, 0), 2.0);
    EXPECT_DOUBLE_EQ(ChartDateOf(1970, 1, 1, 0, 0, 0), 25569.0);
    EXPECT_DOUBLE_EQ(ChartDateOf(2024, 2, 29, 12, 0, 0), 45351.5);
    EXPECT_DOUBLE_EQ(ChartDateOf(2024, 1, 5, 16, 30, 0), 45296.0 + 16.5 / 24);
    // Out-of-range fields roll over as on a calendar.
    EXPECT_DOUBLE_EQ(ChartDateOf(2023, 13, 1, 0, 0, 0), ChartDateOf(2024, 1, 1, 0, 0, 0));
    EXPECT_DOUBLE_EQ(ChartDateOf(2024, 3, 0, 0, 0, 0), ChartDateOf(2024, 2, 29, 0, 0, 0));
    EXPECT_DOUBLE_EQ(ChartDateOf(2024, 1, 1, 23, 59, 60), ChartDateOf(2024, 1, 2, 0, 0, 0));
}

TEST(ChartDate, TextRoundTripsEverySecondOfADayAndAcrossYears)
{
    // Every second of one trading day, and a spread of dates, come back exact.
    auto roundTrip = [](int y, int mo, int d, int h, int mi, int s) {
        const std::string text = ChartDateText(ChartDateOf(y, mo, d, h, mi, s));
        int yy, mm, dd, hh, nn, ss;
        ASSERT_EQ(std::sscanf(text.c_str(), "%d/%d/%d %d:%d:%d", &dd, &mm, &yy, &hh, &nn, &ss), 6) << text;
        ASSERT_EQ(ChartDateOf(yy, mm, dd, hh, nn, ss), ChartDateOf(y, mo, d, h, mi, s)) << text;
        ASSERT_EQ(hh * 3600 + nn * 60 + ss, h * 3600 + mi * 60 + s) << text;
    };
    for (int t = 9 * 3600; t <= 16 * 3600; ++t)
        roundTrip(2024, 6, 14, t / 3600, t / 60 % 60, t % 60);
    for (int y : {1900, 1999, 2000, 2024, 2100})
        for (int m = 1; m <= 12; ++m)
            roundTrip(y, m, m == 2 ? 28 : 30, 23, 59, 59);
    EXPECT_EQ(ChartDateText(ChartDateOf(2024, 1, 5, 16, 30, 0)), "05/01/2024 16:30:00");
}

TEST(ChartDate, GrowsWithEverySecond)
{
    double previous = ChartDateOf(2024, 12, 31, 23, 59, 0);
    for (int s = 1; s < 180; ++s) {
        const double d = ChartDateOf(2024, 12, 31, 23, 59, s);
        ASSERT_GT(d, previous) << s;
        previous = d;
    }
}

// --- Records ------------------------------------------------------------------

TEST(ChartRecords, ValuesOfOneDateFormOneRecordAcrossSeries)
{
    ChartRecords r;
    const int open = r.addColumn(), high = r.addColumn(), low = r.addColumn(), close = r.addColumn();
    const double day = ChartDateOf(2024, 1, 5, 16, 30, 0);
    EXPECT_TRUE(r.put(open, day, 10).added);
    EXPECT_FALSE(r.put(high, day, 12).added);
    EXPECT_FALSE(r.put(low, day, 9).added);
    EXPECT_FALSE(r.put(close, day, 11).added);
    ASSERT_EQ(r.count(), 1);
    EXPECT_EQ(r.value(open, 0), 10);
    EXPECT_EQ(r.value(close, 0), 11);
    // The same date again changes the value (the forming bar).
    r.put(close, day, 11.5);
    EXPECT_EQ(r.count(), 1);
    EXPECT_EQ(r.value(close, 0), 11.5);
}

TEST(ChartRecords, LaterDatesAppendEarlierOnesInsertInOrder)
{
    ChartRecords r;
    const int a = r.addColumn(), b = r.addColumn();
    const double d1 = ChartDateOf(2024, 1, 1, 0, 0, 0), d2 = d1 + 1, d3 = d1 + 2;
    EXPECT_TRUE(r.put(a, d1, 1).appended);
    EXPECT_TRUE(r.put(a, d3, 3).appended);
    const auto inserted = r.put(b, d2, 20);
    EXPECT_TRUE(inserted.added);
    EXPECT_FALSE(inserted.appended);
    EXPECT_EQ(inserted.record, 1);
    ASSERT_EQ(r.count(), 3);
    EXPECT_EQ(r.date(1), d2);
    EXPECT_EQ(r.value(a, 2), 3);
    EXPECT_TRUE(std::isnan(r.value(a, 1))); // series a has no value on the inserted date
    EXPECT_EQ(r.value(b, 1), 20);
    // A column added later is empty on the existing records; a removed one reads NaN.
    const int c = r.addColumn();
    EXPECT_TRUE(std::isnan(r.value(c, 0)));
    r.removeColumn(a);
    EXPECT_TRUE(std::isnan(r.value(a, 0)));
    EXPECT_FALSE(r.put(a, d1, 5).added);
    EXPECT_EQ(r.count(), 3);
    // Dates within half a second are one record.
    EXPECT_FALSE(r.put(b, d3 + 0.4 / 86400, 7).added);
    EXPECT_EQ(r.value(b, 2), 7);
}

TEST(ChartRecords, AnchorsAndPositionsMapBothWays)
{
    ChartRecords r;
    const int a = r.addColumn();
    const double d0 = ChartDateOf(2024, 1, 1, 16, 30, 0);
    for (int i = 0; i < 5; ++i)
        r.put(a, d0 + i * 2, i); // a record every two days
    EXPECT_DOUBLE_EQ(r.positionOf(d0 + 4), 2.0);
    EXPECT_DOUBLE_EQ(r.positionOf(d0 + 5), 2.5);
    EXPECT_DOUBLE_EQ(r.positionOf(d0 + 10), 5.0); // past the end, at the last spacing
    EXPECT_DOUBLE_EQ(r.positionOf(d0 - 2), -1.0);
    for (double p : {-1.5, 0.0, 1.25, 3.0, 4.0, 6.5})
        EXPECT_NEAR(r.positionOf(r.dateAt(p)), p, 1e-9) << p;
    EXPECT_EQ(r.find(d0 + 6), 3);
    EXPECT_EQ(r.find(d0 + 5), -1);
}

TEST(ChartRecords, TenThousandAppendsStayInOrder)
{
    ChartRecords r;
    std::vector<int> cols;
    for (int c = 0; c < 5; ++c)
        cols.push_back(r.addColumn());
    const double d0 = ChartDateOf(2000, 1, 1, 16, 30, 0);
    for (int i = 0; i < 10000; ++i)
        for (int c : cols)
            r.put(c, d0 + i, i + c);
    ASSERT_EQ(r.count(), 10000);
    for (int i = 1; i < r.count(); ++i)
        ASSERT_LT(r.date(i - 1), r.date(i));
    EXPECT_EQ(r.value(cols[4], 9999), 9999 + 4);
}

// --- Indicators -----------------------------------------------------------------

// Thirty bars: the closes of a common textbook example; open = previous close,
// high and low a little outside, volumes in a fixed cycle.
PriceBars fixture()
{
    const std::vector<double> c = {44.34, 44.09, 44.15, 43.61, 44.33, 44.83, 45.10, 45.42, 45.84, 46.08,
                                   45.89, 46.03, 45.61, 46.28, 46.28, 46.00, 46.03, 46.41, 46.22, 45.64,
                                   46.21, 46.25, 45.71, 46.45, 45.78, 45.35, 44.03, 44.18, 44.22, 44.57};
    PriceBars b;
    for (size_t i = 0; i < c.size(); ++i) {
        const double o = i == 0 ? 44.0 : c[i - 1];
        b.open.push_back(o);
        b.close.push_back(c[i]);
        b.high.push_back(std::max(c[i] + 0.2 + 0.05 * double(i % 4), o));
        b.low.push_back(std::min(c[i] - 0.25 - 0.04 * double(i % 3), o));
        b.volume.push_back(1000 + 37 * double((i * 7) % 11));
    }
    return b;
}

struct Expect {
    int bar;
    std::optional<double> value; // nullopt: no value there
};

struct IndicatorCase {
    const char* name;
    std::function<Values(const PriceBars&)> compute;
    std::vector<Expect> expect;
};

class IndicatorTable : public ::testing::TestWithParam<IndicatorCase> {};

TEST_P(IndicatorTable, MatchesTheWorkedValues)
{
    const IndicatorCase& c = GetParam();
    const Values v = c.compute(fixture());
    ASSERT_EQ(v.size(), 30u);
    for (const Expect& e : c.expect) {
        if (!e.value) {
            EXPECT_TRUE(std::isnan(v[size_t(e.bar)])) << "bar " << e.bar << " has " << v[size_t(e.bar)];
        } else {
            EXPECT_NEAR(v[size_t(e.bar)], *e.value, 1e-6) << "bar " << e.bar;
        }
    }
    // Before the first value nothing, after it a number on every bar.
    bool started = false;
    for (double x : v) {
        if (started) {
            EXPECT_FALSE(std::isnan(x));
        }
        started = started || !std::isnan(x);
    }
}

using namespace indicators;

Values macdPart(const PriceBars& b, int part)
{
    Values line, signal, hist;
    Macd(b.close, 12, 26, 9, line, signal, hist);
    return part == 0 ? line : part == 1 ? signal : hist;
}

Values stochPart(const PriceBars& b, int part)
{
    Values k, d;
    Stochastic(b, 14, 3, k, d);
    return part == 0 ? k : d;
}

// Line `line` of the study the chart offers as `type`.
Values study(const PriceBars& b, int type, size_t line)
{
    const std::vector<IndicatorLine> lines = ComputeIndicator(type, b);
    return line < lines.size() ? lines[line].values : Values(size_t(b.size()), std::nan(""));
}

const IndicatorCase kCases[] = {
    {"Sma10", [](const PriceBars& b) { return Sma(b.close, 10); },
     {{8, std::nullopt}, {9, 44.779}, {17, 46.045}, {29, 45.275}}},
    {"Ema10", [](const PriceBars& b) { return Ema(b.close, 10); },
     {{8, std::nullopt}, {9, 44.779}, {18, 45.9215579789}, {29, 44.9994608906}}},
    {"Rsi14", [](const PriceBars& b) { return Rsi(b.close, 14); },
     {{13, std::nullopt}, {14, 70.4641350211}, {20, 62.88071831}, {29, 45.4994972387}}},
    {"MacdLine", [](const PriceBars& b) { return macdPart(b, 0); },
     {{24, std::nullopt}, {25, 0.3066888481}, {29, -0.115903612}}},
    // Thirty bars hold only five MACD values: too few for the nine-bar signal.
    {"MacdSignalNeedsMoreBars", [](const PriceBars& b) { return macdPart(b, 1); }, {{29, std::nullopt}}},
    {"MacdHistogramNeedsMoreBars", [](const PriceBars& b) { return macdPart(b, 2); }, {{29, std::nullopt}}},
    // The fast stochastic: %K is the raw 14-bar position of the close, %D
    // its 3-bar mean (the slow one would smooth %K first).
    {"StochasticK14", [](const PriceBars& b) { return stochPart(b, 0); },
     {{12, std::nullopt}, {13, 92.1135646688}, {20, 71.1538461538}, {29, 28.064516129}}},
    {"StochasticD3", [](const PriceBars& b) { return stochPart(b, 1); },
     {{14, std::nullopt}, {15, 88.2614573741}, {29, 20.1075268817}}},
    {"WilliamsR14", [](const PriceBars& b) { return WilliamsR(b, 14); },
     {{12, std::nullopt}, {13, -7.8864353312}, {29, -71.935483871}}},
    {"TrueRange", [](const PriceBars& b) { return TrueRange(b); }, {{0, 0.54}, {1, 0.54}, {26, 1.65}, {29, 0.6}}},
    // The first trend is up when bar 1 closes at or above bar 0, and the SAR
    // starts at bar 1 from the two bars' extreme (texts differ on the start).
    {"ParabolicSar", [](const PriceBars& b) { return ParabolicSar(b, 0.02, 0.2); },
     {{0, std::nullopt}, {1, 44.54}, {2, 44.54}, {10, 44.2412457421}, {20, 46.6338}, {29, 46.4118927872}}},
    {"MoneyFlowIndex14", [](const PriceBars& b) { return MoneyFlowIndex(b, 14); },
     {{13, std::nullopt}, {14, 70.2613117137}, {22, 52.0548873144}, {29, 37.7466791598}}},
    // The studies as the chart offers them (ComputeIndicator's periods), each
    // computed by hand from its rule on the same thirty bars.
    {"WeightedMovingAverage10", [](const PriceBars& b) { return study(b, 2, 0); },
     {{8, std::nullopt}, {9, 45.1356363636}, {17, 46.1063636364}, {29, 44.8721818182}}},
    // Bollinger: the 20-bar mean and two population standard deviations.
    {"BollingerMid20", [](const PriceBars& b) { return study(b, 3, 0); },
     {{18, std::nullopt}, {19, 45.409}, {29, 45.657}}},
    {"BollingerUpper20", [](const PriceBars& b) { return study(b, 3, 1); },
     {{18, std::nullopt}, {19, 47.1153282217}, {29, 47.1792759277}}},
    {"BollingerLower20", [](const PriceBars& b) { return study(b, 3, 2); },
     {{18, std::nullopt}, {19, 43.7026717783}, {29, 44.1347240723}}},
    {"Momentum10", [](const PriceBars& b) { return study(b, 5, 0); },
     {{9, std::nullopt}, {10, 1.55}, {29, -1.07}}},
    {"RateOfChange10", [](const PriceBars& b) { return study(b, 6, 0); },
     {{9, std::nullopt}, {10, 3.4957149301}, {29, -2.3444347064}}},
    // OBV starts at 0 on the first bar (some texts start at the first bar's
    // volume): the line's level is arbitrary, only its moves carry meaning,
    // and 0 keeps a chart's OBV independent of which bar happens to be first.
    {"OnBalanceVolume", [](const PriceBars& b) { return study(b, 7, 0); },
     {{0, 0}, {1, -1259}, {2, -148}, {14, 5333}, {29, 6888}}},
    // CCI: typical price against its 20-bar mean, over 0.015 x the mean deviation.
    {"CommodityChannelIndex20", [](const PriceBars& b) { return study(b, 12, 0); },
     {{18, std::nullopt}, {19, 30.3070544317}, {29, -133.5135982444}}},
    // Aroon looks at the last 25 bars and the current one (26 bars, so a
    // high 25 bars back counts 0); of equal highs or lows the latest counts.
    {"AroonUp25", [](const PriceBars& b) { return study(b, 14, 0); },
     {{24, std::nullopt}, {25, 92}, {29, 76}}},
    {"AroonDown25", [](const PriceBars& b) { return study(b, 14, 1); },
     {{24, std::nullopt}, {25, 12}, {29, 0}}},
    {"AroonOscillator25", [](const PriceBars& b) { return study(b, 15, 0); },
     {{24, std::nullopt}, {25, 80}, {29, 76}}},
    {"TypicalPrice", [](const PriceBars& b) { return study(b, 17, 0); },
     {{0, 44.2933333333}, {29, 44.5366666667}}},
    {"MedianPrice", [](const PriceBars& b) { return study(b, 18, 0); }, {{0, 44.27}, {29, 44.52}}},
    {"WeightedClose", [](const PriceBars& b) { return study(b, 19, 0); }, {{0, 44.305}, {29, 44.545}}},
    {"HighMinusLow", [](const PriceBars& b) { return study(b, 20, 0); }, {{0, 0.54}, {29, 0.6}}},
    {"ChaikinMoneyFlow20", [](const PriceBars& b) { return study(b, 22, 0); },
     {{18, std::nullopt}, {19, 0.0514408902}, {29, -0.0190439694}}},
};

INSTANTIATE_TEST_SUITE_P(Fixture30, IndicatorTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Indicators, MacdHistogramIsLineMinusSignalOnALongSeries)
{
    // 60 bars: the fixture twice, so the signal line starts at bar 33.
    PriceBars b = fixture();
    PriceBars twice = b;
    for (auto* v : {&twice.open, &twice.high, &twice.low, &twice.close, &twice.volume})
        v->insert(v->end(), v->begin(), v->end());
    Values line, signal, hist;
    Macd(twice.close, 12, 26, 9, line, signal, hist);
    EXPECT_TRUE(std::isnan(signal[32]));
    ASSERT_FALSE(std::isnan(signal[33]));
    double seed = 0;
    for (int i = 25; i <= 33; ++i)
        seed += line[size_t(i)];
    EXPECT_NEAR(signal[33], seed / 9, 1e-12);
    for (int i = 33; i < 60; ++i)
        EXPECT_NEAR(hist[size_t(i)], line[size_t(i)] - signal[size_t(i)], 1e-12);
    // By hand: both averages and the signal seeded with the plain mean of
    // their first 12, 26 and 9 values (texts differ on the seed; the mean is
    // the common one and needs no value before the first bar).
    const struct {
        int bar;
        double line, signal, histogram;
    } byHand[] = {{33, -0.3321359674, -0.0788373896, -0.2532985777},
                  {45, 0.2835168323, 0.1433095367, 0.1402072956},
                  {59, -0.2268876578, 0.0078847574, -0.2347724152}};
    for (const auto& e : byHand) {
        EXPECT_NEAR(line[size_t(e.bar)], e.line, 1e-9) << e.bar;
        EXPECT_NEAR(signal[size_t(e.bar)], e.signal, 1e-9) << e.bar;
        EXPECT_NEAR(hist[size_t(e.bar)], e.histogram, 1e-9) << e.bar;
    }
    // The offered "MACD Histogram" study draws the same values as bars.
    const std::vector<IndicatorLine> offered = ComputeIndicator(9, twice);
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_TRUE(offered[0].bars);
    EXPECT_NEAR(offered[0].values[59], -0.2347724152, 1e-9);
}

TEST(Indicators, TooFewBarsGiveNoValueAndFlatRangesNoGarbage)
{
    PriceBars few;
    for (int i = 0; i < 5; ++i) {
        few.open.push_back(10);
        few.high.push_back(10);
        few.low.push_back(10);
        few.close.push_back(10);
        few.volume.push_back(0);
    }
    for (size_t type = 0; type < IndicatorNames().size(); ++type)
        for (const auto& line : ComputeIndicator(int(type), few)) {
            ASSERT_EQ(line.values.size(), 5u) << IndicatorNames()[type];
            for (double v : line.values)
                EXPECT_TRUE(std::isnan(v) || std::isfinite(v)) << IndicatorNames()[type];
        }
    EXPECT_TRUE(std::isnan(Rsi(few.close, 14)[4]));
    EXPECT_TRUE(std::isnan(MoneyFlowIndex(few, 14)[4]));
    // A flat market: the oscillators sit in the middle instead of dividing by zero.
    EXPECT_EQ(WilliamsR(few, 3)[4], -50);
    Values k, d;
    Stochastic(few, 3, 3, k, d);
    EXPECT_EQ(k[4], 50);
    EXPECT_EQ(d[4], 50);
    EXPECT_EQ(Cci(few, 3)[4], 0);
    EXPECT_EQ(ChaikinMoneyFlow(few, 3)[4], 0); // no volume
    EXPECT_EQ(Rsi(few.close, 3)[4], 50);
    // Without volumes the volume indicators give nothing.
    PriceBars noVolume = fixture();
    noVolume.volume.clear();
    for (double v : MoneyFlowIndex(noVolume, 14))
        EXPECT_TRUE(std::isnan(v));
    for (double v : OnBalanceVolume(noVolume.close, noVolume.volume))
        EXPECT_TRUE(std::isnan(v));
}

TEST(Indicators, OfferedNamesAndEveryTypeComputes)
{
    const auto& names = IndicatorNames();
    ASSERT_EQ(names.size(), 23u);
    EXPECT_EQ(names.front(), "Simple Moving Average");
    EXPECT_EQ(names[8], "MACD");
    EXPECT_EQ(names[9], "MACD Histogram");
    EXPECT_EQ(names.back(), "Chaikin Money Flow");
    const PriceBars b = fixture();
    for (size_t t = 0; t < names.size(); ++t) {
        const auto lines = ComputeIndicator(int(t), b);
        ASSERT_FALSE(lines.empty()) << names[t];
        for (const auto& l : lines)
            EXPECT_EQ(l.values.size(), 30u) << names[t];
    }
    EXPECT_TRUE(ComputeIndicator(-1, b).empty());
    EXPECT_TRUE(ComputeIndicator(int(names.size()), b).empty());
}

TEST(Indicators, DarvasBoxesFrameAConsolidationAndEndOnTheBreakout)
{
    // Rise to 20, four bars under it, a floor at 15 held for three bars, then
    // a close above 20 by more than 1%.
    PriceBars b;
    const double highs[] = {12, 16, 20, 19, 18, 19, 18, 18.5, 19, 22, 23};
    const double lows[] = {10, 14, 17, 16, 15, 16, 16.5, 16, 17, 20, 21};
    const double closes[] = {11, 15, 19, 17, 16, 18, 17, 18, 18, 21.5, 22};
    for (int i = 0; i < 11; ++i) {
        b.open.push_back(closes[i]);
        b.high.push_back(highs[i]);
        b.low.push_back(lows[i]);
        b.close.push_back(closes[i]);
    }
    const auto boxes = Darvas(b, 0.01);
    ASSERT_GE(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, 2);
    EXPECT_EQ(boxes[0].top, 20);
    EXPECT_EQ(boxes[0].bottom, 15);
    EXPECT_EQ(boxes[0].last, 9);
}

} // namespace
