#include "ChartHistory.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>

namespace tb {
namespace {

std::string price(double rupees)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", rupees);
    return buf;
}

std::tm local(int64_t t)
{
    const time_t tt = time_t(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return tm;
}

} // namespace

std::string eodChartText(const Security& s, int sessions, int64_t now, uint64_t seed)
{
    sessions = std::clamp(sessions, 0, 20000);
    // The session days, newest first, then walked backwards from the
    // reference price so that the newest close is that price.
    std::vector<std::tm> days;
    int64_t t = now;
    while (int(days.size()) < sessions) {
        t -= 86400;
        const std::tm tm = local(t);
        if (tm.tm_wday != 0 && tm.tm_wday != 6)
            days.push_back(tm);
    }
    std::mt19937_64 rng(seed ^ (uint64_t(s.wtoken) * 0x9e3779b97f4a7c15ULL));
    std::uniform_real_distribution<double> step(-0.02, 0.02);
    std::vector<std::string> records(days.size());
    double close = std::max(1.0, double(s.price) / 100.0);
    for (size_t i = 0; i < days.size(); ++i) {
        const double open = close * (1 + step(rng) / 2);
        const double high = std::max(open, close) * (1 + std::abs(step(rng)) / 2);
        const double low = std::min(open, close) * (1 - std::abs(step(rng)) / 2);
        const long volume = long(100000 + rng() % 20000000);
        char date[40];
        std::snprintf(date, sizeof date, "%02d/%02d/%04d", days[i].tm_mday, days[i].tm_mon + 1, days[i].tm_year + 1900);
        records[i] = std::string(date) + "|" + price(open) + "|" + price(high) + "|" + price(low) + "|" + price(close) +
                     "|" + std::to_string(volume) + "~";
        close = std::max(1.0, open * (1 + step(rng)));
    }
    std::string text;
    for (auto it = records.rbegin(); it != records.rend(); ++it)
        text += *it;
    return text;
}

std::string intradayChartText(const Security& s, int64_t now, const Quote& day, uint64_t seed)
{
    std::tm open = local(now);
    open.tm_hour = 9;
    open.tm_min = 0;
    open.tm_sec = 0;
    open.tm_isdst = -1;
    int64_t from = int64_t(mktime(&open));
    if (from >= now)
        from = now - 2 * 3600;
    std::vector<int64_t> times;
    for (int64_t t = from; t < now && times.size() < 30000; t += 60)
        times.push_back(t);
    std::mt19937_64 rng(seed ^ (uint64_t(s.wtoken) * 0x2545f4914f6cdd1dULL) ^ uint64_t(from));
    std::uniform_real_distribution<double> step(-0.002, 0.002);
    // A walk from the open to the last price (a bridge: the walk less its
    // own drift), kept inside the day's low and high.
    const double last = std::max(1.0, double(day.last > 0 ? day.last : s.price) / 100.0);
    const double first = day.open > 0 ? double(day.open) / 100.0 : last;
    const double low = std::min({first, last, day.low > 0 ? double(day.low) / 100.0 : first});
    const double high = std::max({first, last, day.high > 0 ? double(day.high) / 100.0 : first});
    std::vector<double> walk(times.size());
    double w = 0;
    for (size_t i = 0; i < walk.size(); ++i) {
        walk[i] = w;
        w += first * step(rng);
    }
    std::vector<double> prices(times.size());
    const size_t n = prices.size();
    for (size_t i = 0; i < n; ++i) {
        const double at = n > 1 ? double(i) / double(n - 1) : 1.0;
        const double p = first + (last - first) * at + walk[i] - at * (n ? walk[n - 1] : 0.0);
        prices[i] = std::clamp(p, low, high);
    }
    if (n > 0) {
        prices[0] = first;
        prices[n - 1] = last;
    }
    std::string text = "0|OK~";
    const int lot = std::max(1, s.lot);
    for (size_t i = 0; i < times.size(); ++i)
        text += price(prices[i]) + "|" + std::to_string(lot * int(1 + rng() % 20)) + "|" + std::to_string(times[i]) + "~";
    return text;
}

bool chartTokenOf(const std::string& query, int& token, int& flag)
{
    const size_t at = query.find("ctoken=");
    if (at == std::string::npos)
        return false;
    std::string rest = query.substr(at + 7);
    const size_t amp = rest.find('&');
    if (amp != std::string::npos)
        rest.resize(amp);
    size_t sep = rest.find('|');
    size_t skip = 1;
    if (sep == std::string::npos) {
        sep = rest.find("%7C");
        if (sep == std::string::npos)
            sep = rest.find("%7c");
        skip = 3;
    }
    if (sep == std::string::npos || sep == 0)
        return false;
    try {
        token = std::stoi(rest.substr(0, sep));
        flag = std::stoi(rest.substr(sep + skip));
    } catch (...) {
        return false;
    }
    return true;
}

} // namespace tb
