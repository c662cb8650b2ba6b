// The market dialog's research modes without the window: scanner bands and
// rows, cluster points, tracker slots, the market-data replies, data bars and
// the type-ahead search.
#include "market/MarketResearch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(MarketScanner, BandsAreTheCeilingOfTheChange)
{
    const struct {
        double change;
        int band;
    } cases[] = {{0.4, 1}, {-0.4, 0}, {2.0, 2}, {2.01, 3}, {0.0, 0}, {-1.0, -1}, {-1.5, -1}, {-2.2, -2}};
    for (const auto& c : cases)
        EXPECT_EQ(mt::Band(c.change), c.band) << c.change;
}

// A change from the server beyond any day's (or not a number) falls in the
// last band instead of a cast past what an int holds.
TEST(MarketScanner, ChangesFromOutsideAreBoundedBeforeTheBand)
{
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double change;
        int band;
    } cases[] = {{1e300, 100000}, {-1e300, -100000}, {inf, 100000}, {-inf, -100000},
                 {std::nan(""), 0}, {3e9, 100000},  {99999.5, 100000}};
    for (const auto& c : cases)
        EXPECT_EQ(mt::Band(c.change), c.band) << c.change;
    const std::vector<mt::IndexStock> stocks = {{1, "AAA", 100, 1e300, 99, 101}, {2, "BBB", 50, std::nan(""), 49, 51}};
    const mt::ScannerFill fill = mt::FillScanner(stocks, nullptr);
    EXPECT_EQ(fill.buckets, (mt::BucketMap{{0, 1}, {100000, 1}}));
}

TEST(MarketScanner, FillCountsBandsAndFiltersOneBand)
{
    const std::vector<mt::IndexStock> stocks = {
        {1, "AAA", 100, 0.4, 99.5, 100.5}, {2, "BBB", 50, -0.4, 49, 51},  {3, "CCC", 20, 2.5, 19, 21},
        {4, "DDD", 0, 1.0, 0, 0},          {-1, "EEE", 10, 1.0, 9, 11},   {5, "FFF", 30, 2.9, 29, 31},
        {6, "GGG", 12, -0.0001, 11, 13}};
    const mt::ScannerFill all = mt::FillScanner(stocks, nullptr);
    ASSERT_EQ(all.rows.size(), 5u); // no last price and no security are left out
    EXPECT_EQ(all.rows[0].cells, (std::vector<std::string>{"AAA", "100.00", "0.40", "99.50", "100.50"}));
    EXPECT_EQ(all.rows[4].cells[2], "0.00"); // never "-0.00"
    EXPECT_EQ(all.securities, (std::vector<int>{1, 2, 3, 5, 6}));
    EXPECT_EQ(all.buckets, (mt::BucketMap{{0, 2}, {1, 1}, {3, 2}}));
    const std::vector<mt::Bubble> bubbles = mt::ScannerBubbles(all.buckets);
    ASSERT_EQ(bubbles.size(), 3u);
    EXPECT_EQ(bubbles[2].x, 3);
    EXPECT_EQ(bubbles[2].y, 5);
    EXPECT_EQ(bubbles[2].size, 2);
    EXPECT_EQ(bubbles[2].label, "2");

    const int band = 3;
    const mt::ScannerFill three = mt::FillScanner(stocks, &band);
    ASSERT_EQ(three.rows.size(), 2u);
    EXPECT_EQ(three.rows[0].cells[0], "CCC");
    EXPECT_EQ(three.rows[1].cells[0], "FFF");
    EXPECT_TRUE(three.buckets.empty()); // a filtered fill leaves the bubbles as they were
    EXPECT_EQ(mt::ScannerBandHint(3), "Click to view the list of stock having % Change between [2] and [3]");
    EXPECT_EQ(mt::ScannerBandShowing(0), "Showing scrips having % Change between [-1] and [0]");
}

TEST(MarketScanner, ClusterPointsAndPresetMatch)
{
    double largest = -1;
    const auto points = mt::ClusterPoints({{7, "SBIN-EQ", 812.5, -1.234, 0, 0}, {-1, "X", 9000, 1, 0, 0},
                                           {9, "TCS-EQ", 3999, 0.5, 0, 0}},
                                          largest);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].label, "SBIN-EQ|-1.23 %");
    EXPECT_EQ(points[0].security, 7);
    EXPECT_DOUBLE_EQ(points[1].x, 3999);
    EXPECT_DOUBLE_EQ(largest, 3999);
    const std::vector<std::string> names = {"BANKEX", "CNX Nifty", "CNX Nifty Junior"};
    EXPECT_EQ(mt::FirstStartingWith(names, "CNX Nifty"), 1);
    EXPECT_EQ(mt::FirstStartingWith(names, "NIFTY"), -1);
}

TEST(IndicesTracker, SlotsValuesAndBroadcastPoints)
{
    EXPECT_EQ(mt::DefaultTrackerSlots(12), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    // Fewer than ten indices leave the later slots empty.
    EXPECT_EQ(mt::DefaultTrackerSlots(3), (std::vector<int>{0, 1, 2, -1, -1, -1, -1, -1, -1, -1}));
    std::vector<int> slots = mt::DefaultTrackerSlots(3);
    slots[5] = 1; // the same index in two slots
    const auto values = mt::TrackerValues(slots, {0.5, -1.25, 2});
    ASSERT_EQ(values.size(), 11u);
    EXPECT_EQ(values[0], 0);
    EXPECT_EQ(values[2], -1.25);
    EXPECT_EQ(values[6], -1.25);
    EXPECT_EQ(values[10], 0);
    EXPECT_EQ(mt::TrackerPointsOf(slots, 1), (std::vector<int>{2, 6}));
    EXPECT_TRUE(mt::TrackerPointsOf(slots, -1).empty());
}

TEST(MarketDataLists, RequestsAndHeaderOnlyReplies)
{
    EXPECT_EQ(mt::NewsRequest("NSE"), "data=103|NN||0");
    EXPECT_EQ(mt::NewsRequest("BSE"), "data=103|BN||0");
    EXPECT_EQ(mt::CircuitRequest("BSE", true), "data=1001|BSE||0");
    EXPECT_EQ(mt::CircuitRequest("NSE", false), "data=1001|NSE||1");
    EXPECT_EQ(mt::LevelsRequest("BSE"), "data=1002|BN||0");
    for (const char* reply : {"", "hdr|1|2|3", "hdr^", "hdr^\r\n"}) {
        EXPECT_TRUE(mt::ParseNews(reply).empty()) << reply;
        EXPECT_TRUE(mt::ParseCircuit(reply).empty()) << reply;
        EXPECT_TRUE(mt::ParseLevels(reply).empty()) << reply;
    }
}

TEST(MarketDataLists, RecordsShortRecordsAndFields)
{
    int skipped = 0;
    const auto news = mt::ParseNews("h|h|h|h^x|INFY|Board meeting|10-12-2026^x|INFY^x|TCS|Results|09-12-2026", &skipped);
    ASSERT_EQ(news.size(), 2u);
    EXPECT_EQ(skipped, 1);
    EXPECT_EQ(news[0].key, "INFY");
    EXPECT_EQ(news[0].text, "Board meeting");
    EXPECT_EQ(news[1].date, "09-12-2026");

    const std::string circuit = "HEADER^BSE|500112|SBIN|EQ|STATE BANK|U|20|700|840|560|701|840|700|840|20.00"
                                "^BSE|1|X|EQ|SHORT|U|20|700|840|560|701|840|700|840";
    const auto rows = mt::ParseCircuit(circuit, &skipped);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(skipped, 1);
    EXPECT_EQ(rows[0].cells, (std::vector<std::string>{"STATE BANK", "20.00", "20", "700", "840", "560", "701", "840",
                                                       "700", "840"}));
    EXPECT_EQ(rows[0].cells.size(), mt::kCircuitColumns.size());

    const auto levels = mt::ParseLevels("H^RELIANCE|2885|NN|1410.5|1390|1400|1388.3|1376.7|1410.5|1420.7|1400.17"
                                        "^SHORT|1|NN|1|2|3|4|5|6|7",
                                        &skipped);
    ASSERT_EQ(levels.size(), 1u);
    EXPECT_EQ(skipped, 1);
    EXPECT_EQ(levels[0].cells, (std::vector<std::string>{"RELIANCE", "1410.5", "1390", "1400", "1388.3", "1376.7",
                                                         "1410.5", "1420.7", "1400.17"}));
    EXPECT_DOUBLE_EQ(levels[0].r2, 1420.7);
    EXPECT_EQ(mt::LevelsTitle("RELIANCE"), "Support and Resistance :  RELIANCE");
}

TEST(MarketDataLists, DataBars)
{
    const struct {
        double change;
        bool upper;
        int percent;
    } cases[] = {{-12.7, false, 60}, {20.0, true, 100}, {19.99, true, 95}, {25, true, 100},
                 {4.9, true, 20},    {-3, true, 0},     {3, false, 0},     {0, true, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(mt::DataBarPercent(c.change, c.upper), c.percent) << c.change << " " << c.upper;
    // Changes the server sends beyond what a long holds, or not a number.
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double change;
        bool upper;
        int percent;
    } outside[] = {{1e300, true, 100}, {-1e300, false, 100}, {1e300, false, 0}, {-1e300, true, 0},
                   {inf, true, 100},   {-inf, false, 100},   {std::nan(""), true, 0}, {1e17, true, 100}};
    for (const auto& c : outside)
        EXPECT_EQ(mt::DataBarPercent(c.change, c.upper), c.percent) << c.change << " " << c.upper;
}

TEST(MarketDataLists, TypeAheadWithinOneSecond)
{
    const std::vector<std::string> names = {"ACC", "EICHERMOT", "RECLTD", "RELIANCE", "re-lower"};
    mt::TypeAhead search;
    EXPECT_EQ(search.press('R', 100), "R");
    EXPECT_EQ(mt::FindByPrefix(names, search.text()), 2);
    EXPECT_EQ(search.press('E', 101), "RE");
    EXPECT_EQ(mt::FindByPrefix(names, search.text()), 2);
    EXPECT_EQ(search.press('L', 101), "REL");
    EXPECT_EQ(mt::FindByPrefix(names, search.text()), 3);
    EXPECT_EQ(search.press('E', 103), "E"); // two seconds on: a new search
    EXPECT_EQ(mt::FindByPrefix(names, search.text()), 1);
    EXPECT_EQ(search.press('Z', 105), "Z");
    EXPECT_EQ(mt::FindByPrefix(names, search.text()), -1);
}

} // namespace
