// The market-data site's lists ("/zqvdata/mktdata.exe", "data=<code>|..."):
// announcement news (103), the circuit breaker (1001) and support and
// resistance levels (1002), made from the demo market's equities and their
// current quotes. Every reply starts with a header record; records are joined
// by '^' and fields by '|'.
#include "TestBroker.h"

#include "FeedFrames.h"
#include "RequestDecoder.h"

#include <pf/clock.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>

namespace tb {

namespace {

// Two decimals without a fixed buffer that a huge value could overrun.
std::string fixed2(double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
    return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0.00");
}

std::string rupeesText(double paise) { return fixed2(paise / 100.0); }

std::string fieldOf(const std::vector<std::string>& f, size_t i) { return i < f.size() ? f[i] : std::string(); }

std::string joinedParts(const std::vector<std::string>& parts, char sep)
{
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i)
            out += sep;
        out += parts[i];
    }
    return out;
}

std::string today()
{
    const std::time_t t = static_cast<std::time_t>(pf::clock().nowSeconds());
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900);
    return buf;
}

struct Stock {
    const Security* s = nullptr;
    double last = 0, close = 0, open = 0, high = 0, low = 0; // paise
};

} // namespace

std::string TestBroker::marketDataReply(const RequestText& r)
{
    const std::vector<std::string>& f = r.fields;
    const std::string code = r.code();
    // "NN"/"BN" for news and levels, "NSE"/"BSE" for the circuit breaker.
    const std::string which = fieldOf(f, 1);
    const std::string exchange = which == "NN" || which == "NSE" ? "NN" : "BN";
    std::vector<Stock> stocks;
    {
        std::lock_guard lock(m_mutex);
        for (const Security& s : m_universe->securities()) {
            // Cash equities: series EQ on NSE, group A on BSE.
            if (s.exchange != exchange || s.inst != (exchange == "NN" ? "EQ" : "A"))
                continue;
            const Quote& q = quoteLocked(s.wtoken);
            Stock k;
            k.s = &s;
            const auto or_ = [&s](int64_t v) { return static_cast<double>(v > 0 ? v : s.price); };
            k.last = or_(q.last);
            k.close = or_(q.close);
            k.open = or_(q.open);
            k.high = std::max(or_(q.high), k.last);
            k.low = std::min(or_(q.low), k.last);
            stocks.push_back(k);
        }
    }
    std::vector<std::string> records;
    if (code == "103") {
        records.push_back("103|0|OK|" + which);
        const char* kinds[] = {"Board meeting to consider results", "Outcome of board meeting",
                               "Intimation of record date"};
        int n = 0;
        for (size_t i = 0; i < stocks.size() && i < 6; ++i)
            for (int k = 0; k < 2; ++k)
                records.push_back(std::to_string(++n) + "|" + stocks[i].s->symbol + "|" + stocks[i].s->symbol + ": "
                                  + kinds[(i + static_cast<size_t>(k)) % 3] + "|" + today());
        return joinedParts(records, '^');
    }
    if (code == "1001") {
        // The broker's circuit records: a fixed fifth of the equities is at
        // its upper band today and another fifth at its lower band, each with
        // a band of 5, 10 or 20 % of the previous close (band 0 the upper
        // list, 1 the lower).
        const bool upper = fieldOf(f, 3) != "1";
        records.push_back("1001|0|OK|" + which + "|" + (upper ? "0" : "1"));
        const std::string word = exchange == "NN" ? "NSE" : "BSE";
        for (const Stock& k : stocks) {
            if (k.s->token % 5 != (upper ? 0 : 1))
                continue;
            const int band = k.s->token % 3 == 0 ? 20 : k.s->token % 3 == 1 ? 10 : 5;
            const double close = k.close;
            const double last = close * (1.0 + (upper ? band : -band) / 100.0);
            const std::string change = fixed2((last - close) * 100.0 / close);
            records.push_back(joinedParts({word, std::to_string(k.s->token), k.s->symbol, "EQ", k.s->symbol,
                                      upper ? "U" : "L", std::to_string(band), rupeesText(close),
                                      rupeesText(close * (1.0 + band / 100.0)), rupeesText(close * (1.0 - band / 100.0)),
                                      rupeesText(close), rupeesText(upper ? last : close), rupeesText(upper ? close : last),
                                      rupeesText(last), change},
                                     '|'));
        }
        return joinedParts(records, '^');
    }
    if (code == "1002") {
        // Classic floor pivots of the day's high, low and last price.
        records.push_back("1002|0|OK|" + which);
        for (const Stock& k : stocks) {
            double h = k.high, l = k.low;
            const double c = k.last;
            if (h <= l) {
                // Not traded yet today: yesterday's range of 0.5 to 2.4 %.
                const double r = (k.s->token % 20 + 5) / 1000.0;
                h = c * (1 + r);
                l = c * (1 - r * 0.8);
            }
            const double p = (h + l + c) / 3.0;
            records.push_back(joinedParts({k.s->symbol, std::to_string(k.s->token), exchange, rupeesText(h), rupeesText(l),
                                      rupeesText(c), rupeesText(2 * p - h), rupeesText(p - (h - l)), rupeesText(2 * p - l),
                                      rupeesText(p + (h - l)), rupeesText(p)},
                                     '|'));
        }
        return joinedParts(records, '^');
    }
    return {};
}

} // namespace tb
