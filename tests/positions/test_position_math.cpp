// The profit-and-loss and average formulas shared by the grid fills, the
// reply reading and the live updates.
#include "positions/PositionMath.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

namespace {

using namespace PositionMath;

RiskSecurityFacts equity(double lastPaise)
{
    RiskSecurityFacts s;
    s.lot = 1;
    s.last_paise = lastPaise;
    s.series = "EQ";
    return s;
}

PositionRecord position(int q, double netValue, double avg, int product = 0)
{
    PositionRecord p;
    p.net_qty = q;
    p.net_value = netValue;
    p.avg_price = avg;
    p.product_code = product;
    p.multiplier = 1;
    return p;
}

TEST(PositionMath, OpenPositionTable)
{
    RiskSecurityFacts currency = equity(0);
    currency.currency = true;
    currency.price_multiplier = 1000;
    RiskSecurityFacts commodity = equity(0);
    commodity.commodity = true;
    commodity.price_multiplier = 1;
    commodity.price_divisor = 10;
    RiskSecurityFacts noDivisor = commodity;
    noDivisor.price_divisor = 0;
    noDivisor.price_multiplier = 30;

    struct Case {
        const char* name;
        PositionRecord p;
        RiskSecurityFacts s;
        double L;
        double expected;
    };
    const Case cases[] = {
        {"long, net value set", position(10, 1000, 0), equity(0), 105, 50},
        {"long, net value 0 uses the average", position(10, 0, 98), equity(0), 105, 70},
        {"short, negative net value", position(-10, -1000, 100), equity(0), 95, 50},
        {"short, net value 0", position(-10, 0, 100), equity(0), 95, -950},
        {"no last price", position(10, 1000, 100), equity(0), 0, 0},
        {"flat", position(0, 0, 100), equity(0), 105, 0},
        {"Maxivane uses the price multiplier 0 as 1", position(4, 0, 100, 5), equity(0), 101, 4},
        {"Maxivane without an average", position(4, 0, 0, 5), equity(0), 101, 0},
        {"currency at the fill's factor", position(2, 0, 80), currency, 82.5, 5000},
        // 1 lot of 1 unit priced per 10 is a tenth of a priced quantity: 0.1 x 20
        {"commodity lot below its priced quantity", position(1, 0, 100), commodity, 120, 2},
        {"commodity divisor 0 counts as 1", position(2, 0, 100), noDivisor, 110, 600},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(OpenPositionPl(c.p, c.s, c.L), c.expected) << c.name;
    EXPECT_EQ(FormatPrice(OpenPositionPl(cases[8].p, currency, 82.5), true), "5000.0000");

    // The master's sizes times the server's quantity beyond 64 bits: 2^30 x
    // 2^30 x 2^20 units, a tenth of them whole lots, one rupee each.
    RiskSecurityFacts large = commodity;
    large.price_multiplier = 1 << 30;
    large.lot = 1 << 30;
    EXPECT_DOUBLE_EQ(OpenPositionPl(position(1 << 20, 0, 100), large, 101), 120892581961462917470617.0);
}

TEST(PositionMath, NoNegativeZeroAnywhere)
{
    EXPECT_EQ(FormatPrice(-0.0, false), "0.00");
    EXPECT_EQ(FormatPrice(-0.001, false), "0.00");
    EXPECT_EQ(FormatPrice(-0.00001, true), "0.0000");
    EXPECT_EQ(FormatPrice(-0.01, false), "-0.01");
    EXPECT_EQ(FormatPrice(std::nan(""), false), "0.00");
    EXPECT_FALSE(std::signbit(OpenPositionPl(position(-10, -950, 95), equity(0), 95)));
}

TEST(PositionMath, TodaysAverages)
{
    RiskSecurityFacts commodity = equity(0);
    commodity.commodity = true;
    commodity.lot = 10;
    commodity.price_multiplier = 5;
    commodity.price_divisor = 100;
    // 5 lots of 10 x 5 units priced per 100 are 2.5 priced quantities: both
    // averages are 1000 / 2.5 = 400, a price.
    EXPECT_DOUBLE_EQ(TodaysOpenAverage(1000, 5, commodity, 1), 400);
    EXPECT_DOUBLE_EQ(TodaysAverage(1000, 5, commodity, 1), 400);
    EXPECT_DOUBLE_EQ(TodaysAverage(1000, 0, commodity, 1), 0);

    TodaysPositionRecord r;
    r.buy_traded_qty = 3;
    r.buy_traded_value = 100;
    r.buy_avg = 50;
    r.multiplier = 0; // counts as 1
    EXPECT_DOUBLE_EQ(TodaysBuyAverage(r, equity(0)), 33.3333);
    RiskSecurityFacts option = equity(0);
    option.series = "OI";
    EXPECT_DOUBLE_EQ(TodaysBuyAverage(r, option), 50);
    EXPECT_DOUBLE_EQ(TodaysSellAverage(r, equity(0)), 0); // nothing sold
}

TEST(PositionMath, TodaysPlAndTicks)
{
    TodaysPositionRecord r;
    r.buy_traded_qty = 10;
    r.buy_traded_value = 1000;
    r.buy_avg = 90;
    r.multiplier = 1;
    r.net_qty = 10;
    r.ltp = 105;
    r.unrealised_pl = TodaysPl(r, equity(10500));
    EXPECT_DOUBLE_EQ(r.unrealised_pl, 50);

    RiskSecurityFacts option = equity(0);
    option.series = "OI";
    EXPECT_DOUBLE_EQ(TodaysPl(r, option), 150); // the server's average for an option

    // A tick recomputes the net from the trades and reports the change.
    r.sell_traded_qty = 4;
    r.sell_traded_value = 440;
    EXPECT_DOUBLE_EQ(ApplyTodaysTick(r, equity(0), 110), 60 - 50);
    EXPECT_EQ(r.net_qty, 6);
    EXPECT_DOUBLE_EQ(r.net_value, 560);
    EXPECT_DOUBLE_EQ(r.ltp, 110);

    // Products 5 and 8 keep the average the reply carried.
    TodaysPositionRecord m;
    m.product_code = 5;
    m.avg_price = 100;
    m.net_qty = -2;
    m.ltp = 90;
    m.multiplier = 1;
    EXPECT_DOUBLE_EQ(TodaysPl(m, equity(0)), 20);

    TodaysPositionRecord flat = r;
    flat.buy_traded_qty = flat.sell_traded_qty = 3;
    ApplyTodaysTick(flat, equity(0), 120);
    EXPECT_DOUBLE_EQ(flat.unrealised_pl, 0);
    EXPECT_FALSE(std::signbit(flat.unrealised_pl));
}

// Traded quantities come from the server as any int: their difference stays
// within an int instead of overflowing.
TEST(PositionMath, TodaysTickOnTradedQuantitiesAtTheEdges)
{
    const struct {
        int buy, sell, net;
    } cases[] = {{INT_MAX, -1, INT_MAX}, {INT_MIN, 1, INT_MIN}, {INT_MAX, INT_MIN, INT_MAX},
                 {INT_MIN, INT_MAX, INT_MIN}, {-5, INT_MIN, INT_MAX - 4}, {0, INT_MIN, INT_MAX}, {INT_MAX, INT_MAX, 0}};
    for (const auto& c : cases) {
        TodaysPositionRecord r;
        r.buy_traded_qty = c.buy;
        r.sell_traded_qty = c.sell;
        r.multiplier = 1;
        ApplyTodaysTick(r, equity(0), 100);
        EXPECT_EQ(r.net_qty, c.net) << c.buy << " " << c.sell;
    }
}

} // namespace
