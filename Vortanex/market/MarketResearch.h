#pragma once
// The market dialog's research modes without the window: the scanner's
// whole-percent bands and its rows, the cluster's points, the tracker's
// points, the market-data requests and replies of the announcement news, the
// circuit breaker and the support and resistance levels ('^' records of '|'
// fields after a header record), the circuit breaker's data bars and the
// type-ahead search of the support-and-resistance grid. Qt-free; callable on
// any thread.
#include "market/MarketTurnover.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace mt {

// ---- market scanner (mode 6) and market cluster (mode 8) ----

// The band of a percent change: the smallest whole number not below it, so
// band n holds the changes above n - 1 up to n (-0.4 falls in band 0).
int Band(double change);
using BucketMap = std::map<int, long>;

// One stock of an index as the scanner and the cluster read it (rupees).
struct IndexStock {
    int security = -1; // index in the security table; < 0: the row has none
    std::string key;   // display key
    double last = 0, change = 0, bid = 0, ask = 0;
};

struct ScannerFill {
    std::vector<GridRow> rows; // "Name", "LTP", "% Change", "Bid Prc", "Ask Prc"
    std::vector<int> securities; // the security of each row
    BucketMap buckets;         // counted only without the filter
};
// The scanner's list: stocks without a security or without a last price are
// left out; with `filterBand` set only the stocks of that band are listed
// (and nothing is counted).
ScannerFill FillScanner(const std::vector<IndexStock>& stocks, const int* filterBand);

struct Bubble {
    double x = 0, y = 5, size = 0;
    std::string label;
};
// One bubble per band in ascending order: label and size the count, all on
// the line y = 5.
std::vector<Bubble> ScannerBubbles(const BucketMap& buckets);

// The scanner's status lines.
inline constexpr const char* kScannerHint =
    "Click to view the list of stock having % Change between the range selected on the chart";
std::string ScannerBandHint(int band);    // hovering a bubble
std::string ScannerBandShowing(int band); // after a click

struct ClusterPoint {
    double x = 0; // last price
    double y = 0; // percent change
    int security = -1;
    std::string label; // "<key>|<change> %"
};
// Every stock with a security, in order; `largest` gets the largest last price.
std::vector<ClusterPoint> ClusterPoints(const std::vector<IndexStock>& stocks, double& largest);
inline constexpr const char* kClusterHint =
    "Scroll Mouse to Zoom In, Right click on the data points to perform actions on the scrip";

// The first entry of `names` that begins with `prefix`; -1 when none.
int FirstStartingWith(const std::vector<std::string>& names, std::string_view prefix);

// ---- indices tracker (mode 7) ----

inline constexpr int kTrackerSlots = 10;
// The tracker's slots at the start: indices 0 to 9 of the table, -1 for a
// slot beyond the table's end.
std::vector<int> DefaultTrackerSlots(int indexCount);
// The points of the area: a first point 0, then one per slot (0 for an empty
// slot), labelled "" then "1" to "10".
std::vector<double> TrackerValues(const std::vector<int>& slots, const std::vector<double>& changeByIndex);
// The points (1-based, after the first) of the slots holding this index.
std::vector<int> TrackerPointsOf(const std::vector<int>& slots, int index);

// ---- market-data lists (modes 9, 10, 11) ----

// "NN" for "NSE", "BN" otherwise.
std::string ExchangeCode(std::string_view exchange);
std::string NewsRequest(std::string_view exchange);                // "data=103|NN||0"
std::string CircuitRequest(std::string_view exchange, bool upper); // "data=1001|BSE||0"
std::string LevelsRequest(std::string_view exchange);              // "data=1002|BN||0"

// The records of a reply after its header record, each cut at '|'. Records
// shorter than `minFields` are skipped and counted in `skipped`.
std::vector<std::vector<std::string>> ReadMarketDataReply(std::string_view reply, size_t minFields,
                                                          int* skipped = nullptr);

struct NewsItem {
    std::string key, text, date;
};
std::vector<NewsItem> ParseNews(std::string_view reply, int* skipped = nullptr);

struct CircuitRow {
    std::vector<std::string> cells; // the ten columns in grid order
    double change = 0;
};
inline const std::vector<std::string> kCircuitColumns = {"Name",       "% Change",    "Circuit Limit",
                                                         "Prev.Close", "Upper Range", "Lower Range",
                                                         "Open Prc",   "High Prc",    "Low Prc",
                                                         "LTP"};
std::vector<CircuitRow> ParseCircuit(std::string_view reply, int* skipped = nullptr);
// The data bar of a change, 0 to 100: the whole part of the change (negated
// for the lower band) times 100 over 20.
int DataBarPercent(double change, bool upper);

struct LevelsRow {
    std::vector<std::string> cells; // "Name", "High", "Low", "Close", "S1", "S2", "R1", "R2", "Pivot"
    double s1 = 0, s2 = 0, r1 = 0, r2 = 0;
};
inline const std::vector<std::string> kLevelsColumns = {"Name", "High", "Low", "Close", "S1",
                                                        "S2",   "R1",   "R2",  "Pivot"};
std::vector<LevelsRow> ParseLevels(std::string_view reply, int* skipped = nullptr);
std::string LevelsTitle(std::string_view name); // "Support and Resistance :  <name>"

// Type-ahead over a grid's names: keys within one second of the search's
// start extend it, a later key starts a new search.
class TypeAhead {
public:
    // The search text after the key pressed at `nowSeconds`.
    const std::string& press(char key, int64_t nowSeconds);
    const std::string& text() const { return m_text; }

private:
    std::string m_text;
    int64_t m_started = 0;
};
// The first name beginning with the text (case-sensitive); -1 when none.
int FindByPrefix(const std::vector<std::string>& names, std::string_view text);

} // namespace mt
