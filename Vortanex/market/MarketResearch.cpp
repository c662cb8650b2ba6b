#include "market/MarketResearch.h"

#include "app/base/BoundedNumber.h"
#include "watch/base/TextSplit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace mt {

namespace {

double number(const std::string& s) { return std::strtod(s.c_str(), nullptr); }

// Far beyond any day's percent change: a larger one (or infinity) falls in
// the last band rather than past what an int holds.
constexpr long long kMaxBand = 100000;

} // namespace

int Band(double change)
{
    const double c = std::ceil(change);
    return c == 0 ? 0 : static_cast<int>(BoundedWhole(c, -kMaxBand, kMaxBand));
}

ScannerFill FillScanner(const std::vector<IndexStock>& stocks, const int* filterBand)
{
    ScannerFill out;
    for (const IndexStock& s : stocks) {
        if (s.security < 0)
            continue;
        if (filterBand && Band(s.change) != *filterBand)
            continue;
        if (s.last == 0)
            continue;
        GridRow row;
        row.cells = {s.key, TwoPlaces(s.last), TwoPlaces(s.change), TwoPlaces(s.bid), TwoPlaces(s.ask)};
        out.rows.push_back(std::move(row));
        out.securities.push_back(s.security);
        if (!filterBand)
            ++out.buckets[Band(s.change)];
    }
    return out;
}

std::vector<Bubble> ScannerBubbles(const BucketMap& buckets)
{
    std::vector<Bubble> out;
    for (const auto& [band, count] : buckets) {
        Bubble b;
        b.x = band;
        b.y = 5;
        b.size = static_cast<double>(count);
        b.label = std::to_string(count);
        out.push_back(std::move(b));
    }
    return out;
}

std::string ScannerBandHint(int band)
{
    return "Click to view the list of stock having % Change between [" + std::to_string(band - 1) + "] and ["
        + std::to_string(band) + "]";
}

std::string ScannerBandShowing(int band)
{
    return "Showing scrips having % Change between [" + std::to_string(band - 1) + "] and [" + std::to_string(band)
        + "]";
}

std::vector<ClusterPoint> ClusterPoints(const std::vector<IndexStock>& stocks, double& largest)
{
    std::vector<ClusterPoint> out;
    largest = 0;
    for (const IndexStock& s : stocks) {
        if (s.security < 0)
            continue;
        ClusterPoint p;
        p.x = s.last;
        p.y = s.change;
        p.security = s.security;
        p.label = s.key + "|" + TwoPlaces(s.change) + " %";
        largest = std::max(largest, s.last);
        out.push_back(std::move(p));
    }
    return out;
}

int FirstStartingWith(const std::vector<std::string>& names, std::string_view prefix)
{
    for (size_t i = 0; i < names.size(); ++i)
        if (std::string_view(names[i]).substr(0, prefix.size()) == prefix)
            return static_cast<int>(i);
    return -1;
}

std::vector<int> DefaultTrackerSlots(int indexCount)
{
    std::vector<int> slots(kTrackerSlots, -1);
    for (int i = 0; i < kTrackerSlots && i < indexCount; ++i)
        slots[static_cast<size_t>(i)] = i;
    return slots;
}

std::vector<double> TrackerValues(const std::vector<int>& slots, const std::vector<double>& changeByIndex)
{
    std::vector<double> out{0.0};
    for (int index : slots)
        out.push_back(index >= 0 && static_cast<size_t>(index) < changeByIndex.size()
                          ? changeByIndex[static_cast<size_t>(index)]
                          : 0.0);
    return out;
}

std::vector<int> TrackerPointsOf(const std::vector<int>& slots, int index)
{
    std::vector<int> out;
    for (size_t i = 0; i < slots.size(); ++i)
        if (index >= 0 && slots[i] == index)
            out.push_back(static_cast<int>(i) + 1);
    return out;
}

std::string ExchangeCode(std::string_view exchange) { return exchange == "NSE" ? "NN" : "BN"; }

std::string NewsRequest(std::string_view exchange) { return "data=103|" + ExchangeCode(exchange) + "||0"; }

std::string CircuitRequest(std::string_view exchange, bool upper)
{
    return "data=1001|" + std::string(exchange == "NSE" ? "NSE" : "BSE") + "||" + (upper ? "0" : "1");
}

std::string LevelsRequest(std::string_view exchange) { return "data=1002|" + ExchangeCode(exchange) + "||0"; }

std::vector<std::vector<std::string>> ReadMarketDataReply(std::string_view reply, size_t minFields, int* skipped)
{
    std::vector<std::vector<std::string>> out;
    if (skipped)
        *skipped = 0;
    const std::vector<std::string> records = SplitFields(reply, '^');
    for (size_t i = 1; i < records.size(); ++i) {
        // A reply may end in a separator, or carry a blank line at its end.
        if (records[i].find_first_not_of(" \r\n") == std::string::npos)
            continue;
        std::vector<std::string> fields = SplitFields(records[i], '|');
        if (fields.size() < minFields) {
            if (skipped)
                ++*skipped;
            continue;
        }
        out.push_back(std::move(fields));
    }
    return out;
}

std::vector<NewsItem> ParseNews(std::string_view reply, int* skipped)
{
    std::vector<NewsItem> out;
    for (const auto& f : ReadMarketDataReply(reply, 4, skipped))
        out.push_back({f[1], f[2], f[3]});
    return out;
}

std::vector<CircuitRow> ParseCircuit(std::string_view reply, int* skipped)
{
    std::vector<CircuitRow> out;
    for (const auto& f : ReadMarketDataReply(reply, 15, skipped)) {
        CircuitRow row;
        row.change = number(f[14]);
        row.cells = {f[4], TwoPlaces(row.change), f[6], f[7], f[8], f[9], f[10], f[11], f[12], f[13]};
        out.push_back(std::move(row));
    }
    return out;
}

int DataBarPercent(double change, bool upper)
{
    const double p = upper ? change : -change;
    // A change of 20 or more fills the bar; the bound comes before the cast.
    const long long whole = BoundedWhole(p, 0, 20);
    return static_cast<int>(whole * 100 / 20);
}

std::vector<LevelsRow> ParseLevels(std::string_view reply, int* skipped)
{
    std::vector<LevelsRow> out;
    for (const auto& f : ReadMarketDataReply(reply, 11, skipped)) {
        LevelsRow row;
        row.cells = {f[0], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10]};
        row.s1 = number(f[6]);
        row.s2 = number(f[7]);
        row.r1 = number(f[8]);
        row.r2 = number(f[9]);
        out.push_back(std::move(row));
    }
    return out;
}

std::string LevelsTitle(std::string_view name) { return "Support and Resistance :  " + std::string(name); }

const std::string& TypeAhead::press(char key, int64_t nowSeconds)
{
    if (!m_text.empty() && nowSeconds - m_started <= 1) {
        m_text += key;
    } else {
        m_text.assign(1, key);
        m_started = nowSeconds;
    }
    return m_text;
}

int FindByPrefix(const std::vector<std::string>& names, std::string_view text)
{
    if (text.empty())
        return -1;
    return FirstStartingWith(names, text);
}

} // namespace mt
