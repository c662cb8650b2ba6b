// The market views' records and formats without a window: the depth record
// and its ladder, the gauge scales, the picker keys, the scrip-details reply,
// the option prices and checks, the index formats and the indices file, and
// the feed side's token check and tick boxes.
#include "feed_test_support.h"

#include "market/DepthFeed.h"
#include "market/IndexDisplay.h"
#include "market/MarketDepthRecord.h"
#include "market/MarketFeed.h"
#include "market/OptionPricing.h"
#include "market/ScripDetailsData.h"
#include "server/SecurityRecord.h"
#include "server/SecurityTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// "104,<token>,<ltp>,5 bids,5 asks,<tb>,<ts>" payload (without the code).
std::string depthRecord(int token, const std::vector<long long>& f)
{
    std::string s = std::to_string(token);
    for (long long v : f)
        s += "," + std::to_string(v);
    return s;
}

std::vector<long long> fullLadder(long long qty0)
{
    std::vector<long long> f = {10050};
    for (int k = 0; k < 5; ++k)
        f.insert(f.end(), {10000 - 5 * k, k == 0 ? qty0 : 100 * (k + 1), k + 1});
    for (int k = 0; k < 5; ++k)
        f.insert(f.end(), {10100 + 5 * k, 200 * (k + 1), k + 2});
    f.insert(f.end(), {5000, 7000});
    return f;
}

TEST(DepthRecord, AnotherTokenChangesNothing)
{
    DepthSecurityFacts facts{41, false, 1, false};
    const MarketDepthLadder l = ParseMarketDepthRecord(depthRecord(43, fullLadder(10)), facts);
    EXPECT_FALSE(l.matched);
    EXPECT_FALSE(l.lastPrice);
    for (const auto& row : l.cells)
        for (const auto& c : row)
            EXPECT_FALSE(c);
    EXPECT_FALSE(DepthRecordToken("abc,1,2"));
    EXPECT_EQ(DepthRecordToken(" 41 ,1"), 41);
}

TEST(DepthRecord, ZeroQuantityLevelIsBlankButKeepsItsPrice)
{
    DepthSecurityFacts facts{41, false, 1, false};
    const MarketDepthLadder l = ParseMarketDepthRecord(depthRecord(41, fullLadder(0)), facts);
    ASSERT_TRUE(l.matched);
    EXPECT_DOUBLE_EQ(*l.lastPrice, 100.50);
    EXPECT_EQ(l.cells[0][1], "");
    EXPECT_EQ(l.cells[0][2], "");
    EXPECT_EQ(l.cells[0][3], "");
    EXPECT_DOUBLE_EQ(*l.bidPrice[0], 100.00);
    EXPECT_EQ(l.cells[1][1], "99.95");
    EXPECT_EQ(l.cells[1][2], "200");
    EXPECT_EQ(l.cells[1][3], "2");
    EXPECT_EQ(l.cells[4][4], "101.20");
    EXPECT_EQ(l.cells[4][5], "1000");
    EXPECT_DOUBLE_EQ(*l.askPrice[4], 101.20);
    EXPECT_EQ(l.cells[5][2], "5000");
    EXPECT_EQ(l.cells[5][5], "7000");
}

struct QuantityCase {
    const char* name;
    bool commodity;
    int lot;
    bool currency;
    const char* qty;   // level 1 bid quantity as shown
    const char* price; // level 1 bid price as shown
    const char* totalBuy;
};

class DepthQuantities : public ::testing::TestWithParam<QuantityCase> {};

TEST_P(DepthQuantities, ShowAsTheSecurityKeepsThem)
{
    const QuantityCase& c = GetParam();
    DepthSecurityFacts facts{7, c.commodity, c.lot, c.currency};
    std::vector<long long> f = fullLadder(2500);
    f[f.size() - 2] = 2500; // total buy
    const MarketDepthLadder l = ParseMarketDepthRecord(depthRecord(7, f), facts);
    ASSERT_TRUE(l.matched);
    EXPECT_EQ(l.cells[0][2], c.qty);
    EXPECT_EQ(l.cells[0][1], c.price);
    EXPECT_EQ(l.cells[5][2], c.totalBuy);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DepthQuantities,
    ::testing::Values(QuantityCase{"Equity", false, 1, false, "2500", "100.00", "2500"},
                      QuantityCase{"CommodityInLots", true, 100, false, "25", "100.00", "25"},
                      QuantityCase{"CommodityLotZeroShowsUnits", true, 0, false, "2500", "100.00", "2500"},
                      QuantityCase{"CurrencyRawAndFourDecimals", false, 1000, true, "2500", "100.0000", "2500"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DepthRecord, ValuesThatAreNoPriceReadAsNone)
{
    DepthSecurityFacts facts{9, false, 1, false};
    for (const char* value : {"123E3115", "inf", "nan", "-1e300", "9000000000000001"}) {
        const MarketDepthLadder l = ParseMarketDepthRecord(std::string("9,") + value + "," + value + ",10,1", facts);
        ASSERT_TRUE(l.matched) << value;
        EXPECT_EQ(*l.lastPrice, 0) << value;
        EXPECT_EQ(*l.bidPrice[0], 0) << value;
        EXPECT_EQ(l.cells[0][1], "0.00") << value;
    }
}

TEST(DepthRecord, ShortRecordFillsWhatItHas)
{
    DepthSecurityFacts facts{9, false, 1, false};
    // Last price, one whole bid level and half of the second.
    const MarketDepthLadder l = ParseMarketDepthRecord("9,12345,12300,10,1,12295", facts);
    ASSERT_TRUE(l.matched);
    EXPECT_DOUBLE_EQ(*l.lastPrice, 123.45);
    EXPECT_EQ(l.cells[0][1], "123.00");
    EXPECT_FALSE(l.cells[1][1]);
    EXPECT_FALSE(l.bidPrice[1]);
    EXPECT_FALSE(l.cells[5][2]);
    // A currency record shows zero totals as received.
    const MarketDepthLadder cur = ParseMarketDepthRecord(depthRecord(9, [] {
                                                             auto f = fullLadder(1);
                                                             f[f.size() - 1] = 0;
                                                             return f;
                                                         }()),
                                                         DepthSecurityFacts{9, false, 1, true});
    EXPECT_EQ(cur.cells[5][5], "0");
}

TEST(DepthLabelsTest, FromTheLiveQuote)
{
    setenv("TZ", "Asia/Kolkata", 1);
    tzset();
    QuoteData q;
    q.quote[4] = 123450;
    q.quote[9] = 12000;
    q.quote[8] = 11900;
    q.quote[10] = 350;
    q.quote[13] = 2500;
    q.quote[15] = 98765;
    q.quote[17] = 1700000000; // 15-11-2023 03:43:20 in Kolkata
    DepthLabels l = MakeDepthLabels(q, DepthSecurityFacts{1, true, 100, false});
    EXPECT_EQ(l.lastPrice, "1234.50");
    EXPECT_EQ(l.open, "120.00");
    EXPECT_EQ(l.totalQuantity, "25");
    EXPECT_EQ(l.totalValue, "987.65");
    EXPECT_EQ(l.percentChange, "(3.50)");
    EXPECT_EQ(l.lastTradeDate, "15-11-2023");
    EXPECT_EQ(l.lastTradeTime, "03:43:20");
    q.quote[17] = 0;
    l = MakeDepthLabels(q, DepthSecurityFacts{1, false, 0, true});
    EXPECT_EQ(l.lastTradeDate, "00-00-00");
    EXPECT_EQ(l.lastTradeTime, "00:00:00");
    EXPECT_EQ(l.lastPrice, "1234.5000");
}

TEST(DepthGauge, PlaceholderAndPointerRange)
{
    for (auto [start, finish] : {std::pair{0.0, 100.0}, {-5.0, 10.0}, {50.0, 50.0}, {10.0, 0.0}}) {
        const GaugeScale s = MakeGaugeScale(start, finish, false);
        EXPECT_TRUE(s.placeholder) << start << " " << finish;
        EXPECT_EQ(s.start, 0);
        EXPECT_EQ(s.finish, 100);
        EXPECT_EQ(s.placeholderLabel, "  0.00");
        EXPECT_FALSE(GaugePointer(s, 50));
    }
    EXPECT_EQ(MakeGaugeScale(0, 0, true).placeholderLabel, "0.0000");
    const GaugeScale s = MakeGaugeScale(90, 110, true);
    ASSERT_FALSE(s.placeholder);
    EXPECT_EQ(s.step, 20);
    EXPECT_EQ(s.middle, 100);
    EXPECT_EQ(s.labelFormat, "%.4f");
    EXPECT_EQ(GaugePointer(s, 90), 90);
    EXPECT_EQ(GaugePointer(s, 110), 110);
    EXPECT_FALSE(GaugePointer(s, 89.99));
    EXPECT_FALSE(GaugePointer(s, 110.01));
    EXPECT_FALSE(GaugePointer(MakeGaugeScale(-10, 10, false), 0));
}

TEST(DepthPickers, DisplayKeysAndOrderKeys)
{
    EXPECT_EQ(PickerDisplayKey("SYM", "EQ", "26DEC26", "1.00", "CE"), "SYM~EQ");
    EXPECT_EQ(PickerDisplayKey("SYM", "FI", "26DEC26", "", ""), "SYM~FI~26DEC26");
    EXPECT_EQ(PickerDisplayKey("NIFTY", "OI", "26DEC26", "24000.00", "CE"), "NIFTY~OI~26DEC26~24000.00~CE");
    EXPECT_EQ(StripOrderKeys("S+Y-M-"), "SYM");
    EXPECT_EQ(DepthCaption("SYM~EQ", "NN"), "SYM~EQ~NSE - Market Depth");
    EXPECT_EQ(DepthCaption("SYM~EQ", "NC"), "");
}

TEST(DepthFeedSide, KeepsOnlyTheLatestRecordOfItsToken)
{
    DepthFeed feed;
    feed.setToken(41);
    feed.depthUpdated("43,1,2", false);
    feed.depthUpdated("41,100,2", false);
    feed.depthUpdated("41,200,2", false);
    std::vector<std::string> seen;
    feed.records().drain([&](int key, std::string& text) {
        EXPECT_EQ(key, 41);
        seen.push_back(text);
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"41,200,2"}));
    feed.depthUpdated("41,300,2", false);
    feed.setToken(43); // a switch drops what was kept for the old token
    EXPECT_EQ(feed.records().pending(), 0u);
    feed.setClosing();
    feed.depthUpdated("43,1,2", false);
    EXPECT_EQ(feed.records().pending(), 0u);
}

TEST(DepthFeedSide, FeedThreadsAndTheTimerMeetOnlyInTheBox)
{
    DepthFeed feed;
    feed.setToken(5);
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i)
            feed.depthUpdated("5," + std::to_string(i), false);
    });
    std::string last;
    for (int i = 0; i < 200; ++i)
        feed.records().drain([&](int, std::string& t) { last = t; });
    writer.join();
    feed.records().drain([&](int, std::string& t) { last = t; });
    EXPECT_EQ(last, "5,1999");
}

// --- scrip details ---

std::string reply(const std::map<int, std::string>& fields, int count = 51)
{
    std::string rec;
    for (int i = 0; i < count; ++i) {
        if (i)
            rec += "|";
        const auto it = fields.find(i);
        if (it != fields.end())
            rec += it->second;
    }
    return "112|0|OK^" + rec;
}

TEST(ScripDetails, LayoutsAndRequest)
{
    EXPECT_EQ(ScripDetailsLayout({true, false}).size(), 20u);
    const auto other = ScripDetailsLayout({false, false});
    ASSERT_EQ(other.size(), 15u);
    EXPECT_EQ(other[5][0], "ND Start Date");
    EXPECT_EQ(ScripDetailsLayout({false, true})[6][2], "Lifetime Low");
    EXPECT_EQ(ScripDetailsRequest("SESS0001", 1410, "NN"), "WD=112|SESS0001|1410|NN|4");
    EXPECT_EQ(ScripDetailsName("SYM~EQ", "BN"), "SYM~EQ~BSE");
    EXPECT_EQ(ScripDetailsName("SYM~EQ", "NC"), "SYM~EQ~NC");
}

TEST(ScripDetails, StatusNotZeroShowsItsTextAndNoValues)
{
    auto rows = ScripDetailsLayout({false, false});
    const ScripDetailsResult r = ApplyScripDetailsReply("112|1|Security not found^1|2|3", {false, false}, rows);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.message, "Security not found");
    for (const auto& row : rows) {
        EXPECT_EQ(row[1], "");
        EXPECT_EQ(row[3], "");
    }
    EXPECT_TRUE(ApplyScripDetailsReply("  ", {false, false}, rows).empty);
}

TEST(ScripDetails, ChangeAndPercentByKind)
{
    auto rows = ScripDetailsLayout({false, false});
    ApplyScripDetailsReply(reply({{3, "105"}, {6, "100"}, {0, "102.5"}}), {false, false}, rows);
    EXPECT_EQ(rows[3][1], "5.00");
    EXPECT_EQ(rows[3][3], "5.00");
    EXPECT_EQ(rows[0][1], "105"); // as the server sends it
    auto cur = ScripDetailsLayout({false, true});
    ApplyScripDetailsReply(reply({{3, "105"}, {6, "100"}, {25, "83.1"}}), {false, true}, cur);
    EXPECT_EQ(cur[3][1], "5.0000");
    EXPECT_EQ(cur[3][3], "5.0000");
    EXPECT_EQ(cur[0][1], "105.0000");
    EXPECT_EQ(cur[10][2], "Spot Price");
    EXPECT_EQ(cur[10][3], "83.1000");
    auto zero = ScripDetailsLayout({false, false});
    ApplyScripDetailsReply(reply({{3, "0"}, {6, "100"}}), {false, false}, zero);
    EXPECT_EQ(zero[3][1], "0.00");
    EXPECT_EQ(zero[3][3], "0.00");
}

TEST(ScripDetails, CommodityFieldsTickAndRemark)
{
    auto rows = ScripDetailsLayout({true, false});
    ApplyScripDetailsReply(reply({{17, "1200"}, {37, "1300"}, {45, "100"}, {44, "1"},
                                  {14, "Delivery at the exchange's warehouses only"}}),
                           {true, false}, rows);
    EXPECT_EQ(rows[8][1], "1300");
    EXPECT_EQ(rows[14][3], "100");
    EXPECT_EQ(rows[14][1], "1.00");
    EXPECT_EQ(rows[19][1], "Delivery at the");
    EXPECT_EQ(ScripDetailsTick(500, {false, false}), "0.05");
    EXPECT_EQ(ScripDetailsTick(500, {true, false}), "5.00");
    EXPECT_EQ(ScripDetailsTick(25, {false, true}), "0.0025");
    // Field 45 beyond an int shows the int's bound, never a garbage cell.
    for (const auto& [sent, shown] : {std::pair{"1e20", "2147483647"}, std::pair{"-9e15", "-2147483648"}}) {
        auto beyond = ScripDetailsLayout({true, false});
        ApplyScripDetailsReply(reply({{45, sent}}), {true, false}, beyond);
        EXPECT_EQ(beyond[14][3], shown) << sent;
    }
}

// --- option calculator ---

TEST(OptionCalculator, PricesOfTheWorkedExample)
{
    const OptionCheck c = CheckOptionInputs({"100", "100", "29", "10", "20"});
    ASSERT_TRUE(c.ok);
    EXPECT_DOUBLE_EQ(c.T, 30.0 / 365);
    double call = 0, put = 0;
    BlackScholes('c', c.T, c.r, c.sigma, call, c.S, c.K);
    BlackScholes('p', c.T, c.r, c.sigma, put, c.S, c.K);
    EXPECT_EQ(OptionPriceText(call), "2.71");
    EXPECT_EQ(OptionPriceText(put), "1.89");
    EXPECT_DOUBLE_EQ(CheckOptionInputs({"1", "1", "0", "1", "1"}).T, 1.0 / 365);
    // The distribution function against the exact one.
    for (double x : {-3.0, -1.0, -0.1, 0.0, 0.5, 2.0})
        EXPECT_NEAR(NormalCdf(x), 0.5 * std::erfc(-x / std::sqrt(2.0)), 1e-6) << x;
}

TEST(OptionCalculator, ChecksInOrder)
{
    struct Case {
        OptionInputs in;
        const char* message;
        int focus;
    };
    const Case cases[] = {
        {{"", "100", "1", "1", "1"}, "Please enter Valid Underline Security LTP", 1032},
        {{"100", "  ", "1", "1", "1"}, "Please enter Valid Underline Strike Price", 1052},
        {{"100", "10 0", "1", "1", "1"}, "Please enter Valid Strike Price", 1052},
        {{"100", "100", "A", "1", "1"}, "Please enter Valid Days from Expiry", 1048},
        {{"100", "100", "1", "1%", "1"}, "Please enter Valid Interest Rate", 1049},
        {{"100", "100", "1", "1", "-20"}, "Please enter Valid Volatility", 1050},
    };
    for (const Case& c : cases) {
        const OptionCheck r = CheckOptionInputs(c.in);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.message, c.message);
        EXPECT_EQ(r.focus, c.focus);
    }
    const OptionCheck ok = CheckOptionInputs({"abc", "100", "1", "1", "20.5"});
    ASSERT_TRUE(ok.ok);
    EXPECT_EQ(ok.S, 0);
    EXPECT_DOUBLE_EQ(ok.sigma, 0.205);
}

TEST(OptionCalculator, NoFiniteValueShowsADash)
{
    for (const OptionInputs& in : {OptionInputs{"abc", "100", "29", "10", "20"},
                                   OptionInputs{"100", "0", "29", "10", "20"}}) {
        const OptionCheck c = CheckOptionInputs(in);
        ASSERT_TRUE(c.ok);
        double price = 0;
        BlackScholes('c', c.T, c.r, c.sigma, price, c.S, c.K);
        const std::string shown = OptionPriceText(price);
        EXPECT_TRUE(shown == "-" || std::isfinite(std::atof(shown.c_str()))) << shown;
        EXPECT_EQ(shown.find("nan"), std::string::npos);
        EXPECT_EQ(shown.find("inf"), std::string::npos);
    }
}

TEST(OptionCalculator, WithoutVolatilityTheValueIsWhatIsInTheMoney)
{
    // 29 days (T = 30/365): the strike discounted at the rate, the option
    // worth what the price is beyond it, never less than 0.
    const struct {
        const char* name;
        OptionInputs in;
        char kind;
        const char* shown;
    } cases[] = {
        {"at the money, no rate", {"100", "100", "29", "0", "0"}, 'c', "0.00"},
        {"at the money, no rate, put", {"100", "100", "29", "0", "0"}, 'p', "0.00"},
        {"at the money, 10%: 100 - 100e^(-0.1x30/365)", {"100", "100", "29", "10", "0"}, 'c', "0.82"},
        {"put out of the money", {"100", "100", "29", "10", "0"}, 'p', "0.00"},
        {"put in the money: 100e^(-0.1x30/365) - 90", {"90", "100", "29", "10", "0"}, 'p', "9.18"},
    };
    for (const auto& c : cases) {
        const OptionCheck check = CheckOptionInputs(c.in);
        ASSERT_TRUE(check.ok) << c.name;
        double price = -1;
        BlackScholes(c.kind, check.T, check.r, check.sigma, price, check.S, check.K);
        EXPECT_EQ(OptionPriceText(price), c.shown) << c.name;
    }
}

// --- indices ---

IndexRecord index(const char* name, const char* exch, int feedCode, double value = 0)
{
    IndexRecord r;
    std::strncpy(r.name, name, sizeof r.name - 1);
    std::strncpy(r.exchange, exch, sizeof r.exchange - 1);
    r.feedCode = feedCode;
    r.values[0] = value;
    return r;
}

TEST(IndexFormats, ValuesHighlightsAndIcons)
{
    EXPECT_EQ(IndexValueText(0, "NN"), "0.00");
    for (const char* four : {"CN", "CB", "CM"})
        EXPECT_EQ(IndexValueText(0, four), "0.0000");
    EXPECT_EQ(IndexValueText(2412345, "NN"), "24123.45");
    EXPECT_EQ(IndexExchangeName("CM"), "MCX-SX");
    EXPECT_EQ(IndexHighlight(500, 0, 0), 0);
    EXPECT_EQ(IndexHighlight(500, 400, 0), 1);
    EXPECT_EQ(IndexHighlight(-500, 400, -400), 2);
    EXPECT_EQ(IndexHighlight(100, 50, 200), 2); // the lower test runs second and wins
    EXPECT_EQ(IndexDirectionIcon(2), 90);
    EXPECT_EQ(IndexDirectionIcon(3), 10);
    EXPECT_EQ(IndexDirectionIcon(1), 45);
}

TEST(IndexFormats, ButtonTexts)
{
    IndexRecord r = index("NIFTY 50", "NN", 51999, 2412345);
    r.values[5] = 12345;
    r.values[6] = 51;
    EXPECT_EQ(IndexButtonText(r, true), "NIFTY 50 24123.45(123.45) 0.51 %");
    EXPECT_EQ(IndexButtonText(r, false), "NIFTY 50\n24123.45\n(123.45)\n0.51 %");
    IndexRecord usd = index("USDINR-NSE-FX", "CN", 7, 8312);
    EXPECT_EQ(IndexButtonText(usd, true), "USDINR-NSE-FX 83.1200(0.0000) 0.0000 %");
    EXPECT_EQ(IndexButtonImage(5, 5), 252);
    EXPECT_EQ(IndexButtonImage(5, 4), 253);
    EXPECT_EQ(IndexButtonImage(5, 6), 254);
}

TEST(IndicesFile, LineRoundTripAndChoice)
{
    EXPECT_EQ(IndicesLine({5, 7, -1, 0}), "5~7~");
    EXPECT_EQ(ReadIndicesLine("5~7~"), (std::vector<int>{5, 7}));
    EXPECT_EQ(ReadIndicesLine("11~12~13~14~\n"), (std::vector<int>{11, 12, 13, 14}));
    const std::vector<IndexRecord> table = {index("A", "NN", 3), index("B", "NN", 5), index("C", "BN", 7),
                                            index("D", "NN", 9), index("E", "NN", 11)};
    const std::vector<int> watch = {0, 0, 0, 11721, 0};
    // A short line keeps its two choices; the rest take defaults and the file is rewritten.
    BarChoice c = ChooseBarIndices(table, watch, ReadIndicesLine("5~7~"));
    EXPECT_EQ(c.indexNumbers, (std::array<int, 4>{1, 2, 3, 0}));
    EXPECT_TRUE(c.rewrite);
    // An older file's watch token is accepted; an unknown entry is replaced and logged.
    c = ChooseBarIndices(table, watch, std::vector<int>{11721, 99, 3, 11});
    EXPECT_EQ(c.indexNumbers, (std::array<int, 4>{3, 1, 0, 4}));
    EXPECT_TRUE(c.rewrite);
    ASSERT_EQ(c.notFound.size(), 1u);
    EXPECT_EQ(c.notFound[0], "Index Wtoken [99] not Found at 1.");
    c = ChooseBarIndices(table, watch, std::vector<int>{3, 5, 7, 9});
    EXPECT_EQ(c.indexNumbers, (std::array<int, 4>{0, 1, 2, 3}));
    EXPECT_FALSE(c.rewrite);
    c = ChooseBarIndices(table, watch, std::nullopt);
    EXPECT_EQ(c.indexNumbers, (std::array<int, 4>{3, 0, 1, 2}));
    EXPECT_TRUE(c.rewrite);
}

// --- the feed's tick boxes for the index and last-trade windows ---

TEST(MarketFeedBoxes, IndexAndTradeUpdatesReachRegisteredBoxesOnly)
{
    auto bar = std::make_shared<IndexTicks>();
    MarketFeed::setIndexSink(MarketFeed::IndicesBar, bar);
    IndexRecord r = index("A", "NN", 3, 100);
    r.number = 2;
    MarketFeed::indexUpdated(r);
    r.values[0] = 200;
    MarketFeed::indexUpdated(r);
    double seen = 0;
    EXPECT_EQ(bar->drain([&](int n, IndexRecord& v) {
        EXPECT_EQ(n, 2);
        seen = v.values[0];
    }),
              1u);
    EXPECT_EQ(seen, 200);
    MarketFeed::setIndexSink(MarketFeed::IndicesBar, nullptr);
    MarketFeed::indexUpdated(r);
    EXPECT_EQ(bar->pending(), 0u);

    SecurityRows rows(2);
    for (int i = 0; i < 2; ++i) {
        rows[static_cast<size_t>(i)].token = i + 1;
        rows[static_cast<size_t>(i)].market_exchange.assign("NN");
        rows[static_cast<size_t>(i)].symbol.assign("S" + std::to_string(i));
    }
    auto table = std::make_shared<SecurityTable>();
    table->build(std::move(rows), SecurityTable::Build::Full, true);
    SecurityTable::publish(table);
    table->row(1).updateQuote([](QuoteData& q) {
        q.quote[4] = 123450;
        q.quote[16] = 10;
        q.quote[17] = 1700000000;
    });
    MarketFeed::lastTradesUpdated(1); // no window: nothing kept
    auto trades = std::make_shared<TradeTicks>();
    MarketFeed::setLastTradesSink(trades);
    MarketFeed::lastTradesUpdated(1);
    MarketFeed::lastTradesUpdated(0);
    MarketFeed::lastTradesUpdated(7); // not a security
    std::vector<std::pair<int, LastTradeTick>> got;
    trades->drain([&](int s, LastTradeTick& t) { got.emplace_back(s, t); });
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].first, 1);
    EXPECT_EQ(got[0].second.lastPrice, 123450);
    EXPECT_EQ(got[0].second.quantity, 10);
    EXPECT_LT(got[0].second.sequence, got[1].second.sequence);
    MarketFeed::setLastTradesSink(nullptr);
    SecurityTable::publish(nullptr);
}

// --- the index lists of the subscription ---

TEST(IndexSubscription, ListsOfTheIndexViewsAndCharts)
{
    feedtest::resetFeedGlobals();
    std::vector<int> sent;
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    subs.setSubscriptionRequest([&](int which) { sent.push_back(which); });
    subs.SetIndexTokenList("51999,0,", 2);
    UpdateTokensThread(1); // no feed yet: nothing is sent
    EXPECT_TRUE(sent.empty());
    FeedState::instance().setRunning(1);
    FeedState::instance().setSlot(3);
    FeedState::instance().setServer("feeds.example", 8001);
    UpdateTokensThread(1);
    UpdateTokensThread(2);
    UpdateTokensThread(7);
    EXPECT_EQ(sent, (std::vector<int>{1, 2}));
    const std::string text = subs.subscriptionText(1);
    EXPECT_EQ(text.substr(text.size() - std::string("|2|51999,0,").size()), "|2|51999,0,");
    // Chart indices: listed once, removed whole (never the tail of a longer token).
    subs.AddChartIndexToken(11);
    subs.AddChartIndexToken(111);
    subs.AddChartIndexToken(11);
    EXPECT_EQ(subs.chartIndexTokenList(), "11,111,");
    subs.RemoveChartIndexToken(11);
    EXPECT_EQ(subs.chartIndexTokenList(), "111,");
    EXPECT_EQ(subs.chartIndexTokenCount(), 1);
    subs.RemoveChartIndexToken(1);
    EXPECT_EQ(subs.chartIndexTokenList(), "111,");
    subs.reset();
    FeedState::instance().reset();
    SetLoggedIn(false);
}

} // namespace
