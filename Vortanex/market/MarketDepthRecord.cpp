#include "market/MarketDepthRecord.h"

#include "app/base/ExchangeNames.h"
#include "app/base/FigureText.h"
#include "app/base/TextFormat.h"
#include "server/FeedDispatcher.h"
#include "server/SecurityRecord.h"
#include "watch/base/TextSplit.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace market_depth_record_detail {
namespace {

bool readLong(const std::string& text, long long& out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    out = std::strtoll(text.c_str(), &end, 10);
    return end && *end == '\0' && errno == 0;
}

// A value that is no price (inf, nan, or beyond what the feed carries)
// reads as none: it would reach the ladder and the baskets that price from it.
double readDouble(const std::string& text)
{
    const double v = text.empty() ? 0.0 : std::atof(text.c_str());
    return std::isfinite(v) && std::fabs(v) <= FeedDispatcher::kMaxFeedValue ? v : 0.0;
}

double rupees(double paise)
{
    return paise == 0 ? 0.0 : paise / 100;
}

// No "-0.00" anywhere.
double unsignedZero(double v)
{
    return v == 0 ? 0.0 : v;
}

} // namespace
} // namespace market_depth_record_detail

std::optional<int> DepthRecordToken(std::string_view text)
{
    const size_t comma = text.find(',');
    std::string first(text.substr(0, comma));
    while (!first.empty() && first.front() == ' ')
        first.erase(first.begin());
    while (!first.empty() && first.back() == ' ')
        first.pop_back();
    long long v = 0;
    if (!market_depth_record_detail::readLong(first, v) || v < INT32_MIN || v > INT32_MAX)
        return std::nullopt;
    return static_cast<int>(v);
}

long long DepthQuantity(long long units, const DepthSecurityFacts& facts)
{
    if (facts.commodity && facts.marketLot > 0)
        return units / facts.marketLot;
    return units;
}

MarketDepthLadder ParseMarketDepthRecord(std::string_view text, const DepthSecurityFacts& facts)
{
    MarketDepthLadder out;
    const std::optional<int> token = DepthRecordToken(text);
    if (!token || *token != facts.secondToken)
        return out;
    out.matched = true;
    std::vector<std::string> f;
    SplitString(text, ',', f);
    const size_t n = f.size();
    const int decimals = facts.currency ? 4 : 2;
    if (n > 1)
        out.lastPrice = market_depth_record_detail::rupees(market_depth_record_detail::readDouble(f[1]));
    // Levels 0-4 bid, 5-9 ask; a level the record does not hold whole is left as it was.
    for (int level = 0; level < 10; ++level) {
        const size_t at = 2 + static_cast<size_t>(level) * 3;
        if (at + 2 >= n)
            break;
        const double price = market_depth_record_detail::rupees(market_depth_record_detail::readDouble(f[at]));
        long long qty = 0;
        const bool qtyNumber = market_depth_record_detail::readLong(f[at + 1], qty);
        const bool bid = level < 5;
        const size_t row = static_cast<size_t>(bid ? level : level - 5);
        const size_t col = bid ? 1 : 4;
        (bid ? out.bidPrice : out.askPrice)[row] = price;
        auto& cells = out.cells[row];
        if (!qtyNumber || qty == 0) {
            cells[col] = std::string();
            cells[col + 1] = std::string();
            cells[col + 2] = std::string();
            continue;
        }
        cells[col] = figureText(price, decimals);
        if (facts.currency)
            cells[col + 1] = f[at + 1];
        else
            cells[col + 1] = formatText("%lld", DepthQuantity(qty, facts));
        cells[col + 2] = f[at + 2];
    }
    for (size_t k = 0; k < 2; ++k) {
        const size_t at = 32 + k;
        if (at >= n)
            break;
        const size_t col = k == 0 ? 2 : 5;
        if (facts.currency) {
            out.cells[5][col] = f[at];
            continue;
        }
        long long qty = 0;
        if (market_depth_record_detail::readLong(f[at], qty) && qty != 0)
            out.cells[5][col] = formatText("%lld", DepthQuantity(qty, facts));
        else
            out.cells[5][col] = std::string();
    }
    return out;
}

DepthLabels MakeDepthLabels(const QuoteData& q, const DepthSecurityFacts& facts)
{
    using market_depth_record_detail::unsignedZero;
    DepthLabels l;
    // A change that rounds to nothing shows no sign.
    const int decimals = facts.currency ? 4 : 2;
    l.open = figureText(q.quote[9] / 100, decimals);
    l.close = figureText(q.quote[8] / 100, decimals);
    l.netChange = figureText(q.quote[18] / 100, decimals);
    l.weightedAverage = figureText(q.quote[7] / 100, decimals);
    double ttq = q.quote[13];
    double ttv = q.quote[15];
    if (!facts.currency && facts.commodity) {
        if (facts.marketLot > 0)
            ttq /= facts.marketLot;
        ttv /= 100;
    }
    l.totalQuantity = formatText("%.lf", unsignedZero(ttq));
    l.totalValue = figureText(ttv, 2);
    l.openInterest = formatText("%.lf", unsignedZero(q.quote[14]));
    l.lastTradeQuantity = formatText("%.lf", unsignedZero(q.quote[16]));
    const double when = q.quote[17];
    if (when == 0 || !std::isfinite(when)) {
        l.lastTradeDate = "00-00-00";
        l.lastTradeTime = "00:00:00";
    } else {
        const time_t t = static_cast<time_t>(when);
        struct tm tmv {};
        localtime_r(&t, &tmv);
        l.lastTradeDate = formatText("%02d-%02d-%d", tmv.tm_mday, tmv.tm_mon + 1, tmv.tm_year + 1900);
        l.lastTradeTime = formatText("%02d:%02d:%02d", tmv.tm_hour, tmv.tm_min, tmv.tm_sec);
    }
    l.lastPrice = figureText(q.quote[4] / 100, decimals);
    l.percentChange = "(" + figureText(q.quote[10] / 100, 2) + ")";
    return l;
}

GaugeScale MakeGaugeScale(double start, double finish, bool currency)
{
    GaugeScale g;
    if (start > 0 && finish > 0 && start != finish) {
        g.start = start;
        g.finish = finish;
        g.step = finish - start;
        g.middle = start + (finish - start) / 2;
        g.labelFormat = currency ? "%.4f" : "%.2f";
        return g;
    }
    g.placeholder = true;
    g.placeholderLabel = currency ? "0.0000" : "  0.00";
    return g;
}

std::optional<double> GaugePointer(const GaugeScale& scale, double lastPrice)
{
    if (scale.placeholder || !(lastPrice > 0))
        return std::nullopt;
    const double lo = std::min(scale.start, scale.finish);
    const double hi = std::max(scale.start, scale.finish);
    if (lastPrice < lo || lastPrice > hi)
        return std::nullopt;
    return lastPrice;
}

bool IsFutureType(std::string_view t)
{
    return t == "FS" || t == "FI" || t == "FC" || t == "CF" || t == "CI";
}

bool IsOptionType(std::string_view t)
{
    return t == "OS" || t == "OI" || t == "OC" || t == "CO";
}

std::string PickerDisplayKey(std::string_view symbol, std::string_view type, std::string_view expiry,
                             std::string_view strike, std::string_view optionType)
{
    std::string key = std::string(symbol) + "~" + std::string(type);
    if (IsFutureType(type))
        key += "~" + std::string(expiry);
    else if (IsOptionType(type))
        key += "~" + std::string(expiry) + "~" + std::string(strike) + "~" + std::string(optionType);
    return key;
}

std::string StripOrderKeys(std::string_view text)
{
    std::string out;
    for (char c : text)
        if (c != '+' && c != '-')
            out += c;
    return out;
}

std::string DepthExchangeName(std::string_view code) { return ExchangeDisplayName(code, {"NN", "BN", "CN", "CB", "MC"}); }

std::string DepthCaption(std::string_view displayKey, std::string_view exchangeCode)
{
    const std::string name = DepthExchangeName(exchangeCode);
    if (name.empty())
        return {};
    return std::string(displayKey) + "~" + name + " - Market Depth";
}
