#include "market/ScripDetailsData.h"

#include "app/base/BoundedNumber.h"
#include "app/base/TextFormat.h"
#include "market/MarketDepthRecord.h"
#include "server/ExpiryDates.h"
#include "watch/base/TextSplit.h"

#include <climits>
#include <cstdlib>
#include <map>

namespace scrip_details_data_detail {
namespace {

std::string trimmed(std::string_view s)
{
    const char* ws = " \t\r\n";
    const size_t a = s.find_first_not_of(ws);
    if (a == std::string_view::npos)
        return {};
    const size_t b = s.find_last_not_of(ws);
    return std::string(s.substr(a, b - a + 1));
}

double number(const std::string& s)
{
    return s.empty() ? 0.0 : std::atof(s.c_str());
}

std::string fmt(const char* format, double v)
{
    return formatText(format, v == 0 ? 0.0 : v);
}

// A remark longer than 15 characters shows the first of its wrapped lines.
std::string remark(const std::string& text)
{
    if (text.size() <= 15)
        return text;
    std::vector<std::string> lines;
    WrapTextLines(text, lines);
    return lines.empty() ? text : trimmed(lines.front());
}

struct Cell {
    int row, col;
};

} // namespace
} // namespace scrip_details_data_detail

ScripDetailsRows ScripDetailsLayout(const ScripDetailsKind& kind)
{
    if (kind.commodity)
        return {{"LTP", "", "Weighted Avg", ""},
                {"Open", "", "Close", ""},
                {"High", "", "Low", ""},
                {"Change", "", "% Change", ""},
                {"Last Updated Date", "", "Last Traded Date", ""},
                {"Lifetime High", "", "Lifetime Low", ""},
                {"High Price Range", "", "Low Price Range", ""},
                {"High TER", "", "Low TER", ""},
                {"Open Int. Last", "", "Spot Price", ""},
                {"Open Int. High", "", "Open Int. Low", ""},
                {"Price Unit", "", "Quantity Unit", ""},
                {"Delivery Unit", "", "Delivery Lot", ""},
                {"Tender Start Date", "", "Tender End Date", ""},
                {"Delivery Start Date", "", "Delivery End Date", ""},
                {"Price Tick", "", "Market Lot", ""},
                {"IM Spread Benefit", "", "Bandhani Range", ""},
                {"Price Conv. Factor", "", "", ""},
                {"Single Tran Quantity", "", "Single Tran Value", ""},
                {"Contract Start Date", "", "Contract End Date", ""},
                {"Remarks", "", "", ""}};
    const bool c = kind.currency;
    return {{"LTP", "", "Weighted Avg", ""},
            {"Open", "", "Close", ""},
            {"High", "", "Low", ""},
            {"Change", "", "% Change", ""},
            {"Last Updated Date", "", "Last Traded Date", ""},
            {c ? "Contract Start Date" : "ND Start Date", "", c ? "Contract Last Date" : "ND Last Date", ""},
            {c ? "Lifetime High" : "52 Week High", "", c ? "Lifetime Low" : "52 Week Low", ""},
            {"High Price Range", "", "Low Price Range", ""},
            {"High TER", "", "Low TER", ""},
            {"Open Int. High", "", "Open Int. Low", ""},
            {"Open Int. Last", "", "", ""},
            {"Single Tran Qty", "", "Single Tran Value", ""},
            {"Delivery Unit", "", "Initial Margin Benefit", ""},
            {"Price Unit", "", "Price Qty", ""},
            {"Remarks", "", "ISIN", ""}};
}

std::string ScripDetailsRequest(std::string_view sessionId, int token, std::string_view exchangeCode)
{
    return "WD=112|" + std::string(sessionId) + "|" + std::to_string(token) + "|" + std::string(exchangeCode) + "|4";
}

ScripDetailsResult ApplyScripDetailsReply(std::string_view reply, const ScripDetailsKind& kind, ScripDetailsRows& rows)
{
    using scrip_details_data_detail::Cell;
    ScripDetailsResult result;
    const std::string text = scrip_details_data_detail::trimmed(reply);
    if (text.empty()) {
        result.empty = true;
        return result;
    }
    std::vector<std::string> records;
    SplitString(text, '^', records);
    auto put = [&rows](Cell c, const std::string& v) {
        if (c.row >= 0 && static_cast<size_t>(c.row) < rows.size() && c.col >= 0 && c.col < 4)
            rows[static_cast<size_t>(c.row)][static_cast<size_t>(c.col)] = v;
    };
    // Fields written as the server sends them; the kept ones are formatted below.
    static const std::multimap<int, Cell> commodityCells = {
        {0, {0, 3}},  {1, {2, 1}},   {2, {2, 3}},   {3, {0, 1}},   {5, {1, 1}},   {6, {1, 3}},
        {7, {4, 1}},  {8, {4, 3}},   {14, {19, 1}}, {27, {17, 1}}, {28, {17, 3}}, {30, {18, 1}},
        {31, {18, 3}}, {32, {10, 1}}, {17, {8, 1}}, {37, {8, 1}},  {18, {12, 1}}, {40, {12, 1}},
        {19, {12, 3}}, {41, {12, 3}}, {38, {11, 1}}, {39, {11, 3}}, {42, {13, 1}}, {43, {13, 3}},
        {46, {15, 1}}, {47, {15, 3}}, {48, {16, 1}}, {50, {10, 3}}};
    static const std::multimap<int, Cell> otherCells = {
        {0, {0, 3}},   {1, {2, 1}},   {2, {2, 3}},   {3, {0, 1}},   {5, {1, 1}},  {6, {1, 3}},
        {7, {4, 1}},   {8, {4, 3}},   {12, {5, 1}},  {13, {5, 3}},  {14, {14, 1}}, {17, {10, 1}},
        {18, {9, 1}},  {19, {9, 3}},  {27, {11, 1}}, {28, {11, 3}}, {29, {12, 3}}, {32, {12, 1}},
        {32, {13, 1}}, {34, {14, 3}}};
    std::map<int, std::string> kept;
    for (size_t r = 0; r < records.size(); ++r) {
        const std::string rec = scrip_details_data_detail::trimmed(records[r]);
        if (rec.empty())
            break;
        std::vector<std::string> f;
        SplitString(rec, '|', f);
        for (std::string& v : f)
            v = scrip_details_data_detail::trimmed(v);
        if (r == 0) {
            result.status = f.size() > 1 && !f[1].empty() ? std::atoi(f[1].c_str()) : 0;
            if (result.status != 0) {
                result.message = f.size() > 2 ? f[2] : std::string();
                return result;
            }
            continue;
        }
        const auto& cells = kind.commodity ? commodityCells : otherCells;
        for (size_t i = 0; i < f.size(); ++i) {
            const int field = static_cast<int>(i);
            std::string value = f[i];
            if (field == 14)
                value = scrip_details_data_detail::remark(value);
            if (!kind.commodity && kind.currency && (field == 30 || field == 31))
                put({5, field == 30 ? 1 : 3}, value);
            const auto range = cells.equal_range(field);
            for (auto it = range.first; it != range.second; ++it)
                put(it->second, value);
            kept[field] = f[i];
        }
    }
    auto k = [&kept](int field) {
        const auto it = kept.find(field);
        return it == kept.end() ? 0.0 : scrip_details_data_detail::number(it->second);
    };
    const double last = k(3), close = k(6);
    double change = 0, pct = 0;
    if (last > 0 && close > 0) {
        change = last - close;
        pct = change * 100 / close;
    }
    using scrip_details_data_detail::fmt;
    if (kind.commodity) {
        const char* f2 = "%0.2lf";
        put({3, 1}, fmt(f2, change));
        put({3, 3}, fmt(f2, pct));
        put({5, 1}, fmt(f2, k(20)));
        put({5, 3}, fmt(f2, k(21)));
        put({6, 1}, fmt(f2, k(22)));
        put({6, 3}, fmt(f2, k(23)));
        put({7, 1}, fmt(f2, k(35)));
        put({7, 3}, fmt(f2, k(36)));
        put({8, 3}, fmt(f2, k(25)));
        put({14, 1}, fmt(f2, k(44)));
        put({14, 3}, formatText("%lld", BoundedWhole(k(45), INT_MIN, INT_MAX)));
        return result;
    }
    const char* f = kind.currency ? "%0.4lf" : "%0.2lf";
    if (kind.currency) {
        put({0, 1}, fmt(f, last));
        put({0, 3}, fmt(f, k(0)));
        put({1, 1}, fmt(f, k(5)));
        put({1, 3}, fmt(f, close));
        put({2, 1}, fmt(f, k(1)));
        put({2, 3}, fmt(f, k(2)));
        put({10, 2}, "Spot Price");
        put({10, 3}, fmt(f, k(25)));
    }
    put({3, 1}, fmt(f, change));
    put({3, 3}, fmt(f, pct));
    put({6, 1}, fmt(f, k(20)));
    put({6, 3}, fmt(f, k(21)));
    put({7, 1}, fmt(f, k(22)));
    put({7, 3}, fmt(f, k(23)));
    put({8, 1}, fmt(f, k(35)));
    put({8, 3}, fmt(f, k(36)));
    return result;
}

std::string ScripDetailsTick(int tick, const ScripDetailsKind& kind)
{
    if (kind.currency)
        return formatText("%0.4lf", tick / 10000.0);
    if (kind.commodity)
        return formatText("%0.2lf", tick / 100.0);
    return formatText("%0.2lf", tick / 10000.0);
}

std::string ScripDetailsName(std::string_view displayKey, std::string_view exchangeCode)
{
    std::string name = DepthExchangeName(exchangeCode);
    if (name.empty())
        name = std::string(exchangeCode);
    return std::string(displayKey) + "~" + name;
}
