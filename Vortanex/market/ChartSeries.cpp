#include "market/ChartSeries.h"

#include "market/ChartRecords.h"

#include "app/base/LogWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// Splits text into '~'-ended records (text after the last '~' is dropped)
// and calls f with each record's '|' fields; records or fields over the
// limits are skipped with one log line each.
template <class F>
void forEachRecord(std::string_view text, const char* what, F&& f)
{
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t tilde = text.find('~', pos);
        if (tilde == std::string_view::npos)
            break;
        const std::string_view record = text.substr(pos, tilde - pos);
        pos = tilde + 1;
        if (record.size() > kChartRecordLimit) {
            WriteLog(1, std::string(what) + ": record of " + std::to_string(record.size()) + " characters skipped");
            continue;
        }
        std::vector<std::string_view> fields;
        size_t start = 0;
        bool tooLong = false;
        while (true) {
            const size_t bar = record.find('|', start);
            const std::string_view field = record.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start);
            if (field.size() > kChartFieldLimit)
                tooLong = true;
            fields.push_back(field);
            if (bar == std::string_view::npos)
                break;
            start = bar + 1;
        }
        if (tooLong) {
            WriteLog(1, std::string(what) + ": record with a field over " + std::to_string(kChartFieldLimit) +
                            " characters skipped");
            continue;
        }
        if (!f(fields))
            return;
    }
}

// A decimal number filling the whole field (blanks around allowed).
bool number(std::string_view field, double& out)
{
    const std::string s(field);
    const char* b = s.c_str();
    while (*b == ' ')
        ++b;
    if (!*b)
        return false;
    char* e = nullptr;
    const double v = std::strtod(b, &e);
    while (e && *e == ' ')
        ++e;
    if (e == b || (e && *e) || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

bool validDate(int d, int m, int y)
{
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return y >= 1900 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= days[m - 1];
}

std::tm localOf(int64_t epoch)
{
    const time_t t = time_t(epoch);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

int monthKey(int64_t epoch)
{
    const std::tm tm = localOf(epoch);
    return (tm.tm_year + 1900) * 12 + tm.tm_mon;
}

bool isMonday(int64_t epoch)
{
    return localOf(epoch).tm_wday == 1;
}

// The close of the series' last bar at or before date; NaN when none.
double lastCloseAtOrBefore(const std::vector<chartfeed>& bars, double date)
{
    const auto it = std::upper_bound(bars.begin(), bars.end(), date + ChartRecords::kSameDate,
                                     [](double d, const chartfeed& f) { return d < f.date; });
    if (it == bars.begin())
        return kNoValue;
    return std::prev(it)->close;
}

} // namespace

int64_t ChartLocalEpoch(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return int64_t(mktime(&tm));
}

double ChartDateOfEpoch(int64_t epochSeconds)
{
    const std::tm tm = localOf(epochSeconds);
    return ChartDateOf(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

int ParseEodChartText(std::string_view text, std::vector<chartfeed>& out)
{
    int day = 0, month = 0, year = 2003;
    double values[5] = {0, 0, 0, 0, 0};
    bool dated = false;
    int added = 0;
    forEachRecord(text, "EodChartText", [&](const std::vector<std::string_view>& f) {
        if (!f.empty()) {
            int d = 0, m = 0, y = 0;
            char tail = 0;
            const std::string date(f[0]);
            if (std::sscanf(date.c_str(), "%d/%d/%d%c", &d, &m, &y, &tail) == 3 && validDate(d, m, y)) {
                day = d;
                month = m;
                year = y;
                dated = true;
            }
        }
        for (size_t i = 1; i < f.size() && i <= 5; ++i) {
            double v = 0;
            if (number(f[i], v))
                values[i - 1] = (i == 5 && v != 0) ? v / 1000000.0 : v;
        }
        if (!dated)
            return true; // nothing to place the bar on yet
        chartfeed bar;
        bar.stamp = double(ChartLocalEpoch(year, month, day, 16, 30, 0));
        bar.date = ChartDateOf(year, month, day, 16, 30, 0);
        bar.open = values[0];
        bar.high = values[1];
        bar.low = values[2];
        bar.close = values[3];
        bar.volume = values[4];
        out.push_back(bar);
        ++added;
        return true;
    });
    return added;
}

bool ParseIntradayChartText(std::string_view text, std::vector<chartfeed>& out)
{
    bool header = true;
    bool ok = true;
    double price = 0, volume = 0;
    int64_t time = 0;
    forEachRecord(text, "IntradayChartText", [&](const std::vector<std::string_view>& f) {
        if (header) {
            header = false;
            double status = 0;
            if (f.empty() || !number(f[0], status) || status != 0) {
                WriteLog(1, "Intraday chart text: header status " + std::string(f.empty() ? "" : f[0]));
                ok = false;
                return false;
            }
            return true;
        }
        double v = 0;
        if (f.size() > 0 && number(f[0], v))
            price = v;
        if (f.size() > 1 && number(f[1], v))
            volume = v;
        if (f.size() > 2 && number(f[2], v) && v > 0 && v < 1e11)
            time = int64_t(v);
        if (time <= 0)
            return true;
        chartfeed trade;
        trade.stamp = double(time);
        trade.date = ChartDateOfEpoch(time);
        trade.close = price;
        trade.volume = volume;
        out.push_back(trade);
        return true;
    });
    return ok && !header;
}

ChartDay ChartDayOf(int64_t now)
{
    const std::tm tm = localOf(now);
    ChartDay day;
    day.start = ChartLocalEpoch(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, 0, 0, 0);
    day.end = ChartLocalEpoch(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday + 1, 0, 0, 0);
    return day;
}

bool ParseIntradayChartText(std::string_view text, std::vector<chartfeed>& out, const ChartDay& day)
{
    std::vector<chartfeed> all;
    const bool ok = ParseIntradayChartText(text, all);
    size_t refused = 0;
    for (const chartfeed& t : all) {
        if (day.holds(int64_t(t.stamp)))
            out.push_back(t);
        else
            ++refused;
    }
    if (refused > 0)
        WriteLog(0, "Intraday chart text: " + std::to_string(refused) + " trade(s) outside the day refused");
    return ok;
}

// --- intervals and zoom ------------------------------------------------------

std::vector<std::string> IntervalEntries(int kind)
{
    if (kind == kChartEod)
        return {"Daily", "Weekly", "Monthly", "Quarterly", "Half Yearly"};
    return {"TickByTick", "1 Minute", "5 Minute", "15 Minute", "30 Minute"};
}

std::vector<std::string> ZoomEntries(int kind)
{
    if (kind == kChartEod)
        return {"Reset", "Weekly", "Monthly", "Quarterly", "Half Yearly", "Yearly"};
    return {"Intraday", "10 Minute", "20 Minute", "30 Minute", "60 Minute"};
}

void IntervalOfEntry(int kind, int entry, int& interval, int& style)
{
    if (kind == kChartEod) {
        static const int days[] = {1, 7, 30, 90, 180};
        if (entry >= 0 && entry < 5)
            interval = days[entry];
        return;
    }
    static const int seconds[] = {0, 60, 300, 900, 1800};
    if (entry >= 0 && entry < 5) {
        interval = seconds[entry];
        style = entry == 0 ? 502 : 501;
    } else {
        interval = 0;
    }
}

int EntryOfInterval(int kind, int interval)
{
    if (kind == kChartEod) {
        switch (interval) {
        case 7: return 1;
        case 30: return 2;
        case 90: return 3;
        case 180: return 4;
        default: return 0;
        }
    }
    if (kind == kChartIntraday || kind == kChartIndex) {
        switch (interval) {
        case 60: return 1;
        case 300: return 2;
        case 900: return 3;
        case 1800: return 4;
        default: return 0;
        }
    }
    return 0;
}

int64_t BarLength(int kind, int& interval)
{
    if (kind == kChartEod)
        return int64_t(std::max(interval, 1)) * 86400;
    if (interval < 60) {
        interval = 1;
        return 1;
    }
    return int64_t(interval / 60) * 60;
}

int ZoomSpan(int kind, int entry)
{
    if (kind == kChartEod) {
        static const int days[] = {-1, 7, 30, 90, 180, 365};
        return entry >= 0 && entry < 6 ? days[entry] : -1;
    }
    static const int minutes[] = {-1, 10, 20, 30, 60};
    return entry >= 0 && entry < 5 ? minutes[entry] : -1;
}

// --- folding ---------------------------------------------------------------

IntradayFold FoldIntraday(const std::deque<chartfeed>& queue, int64_t start, int64_t barLength, int span,
                          const std::vector<const ComparedTrades*>& compared)
{
    IntradayFold fold;
    if (queue.empty())
        return fold;
    barLength = std::max<int64_t>(barLength, 1);
    const int64_t lastTime = int64_t(queue.back().stamp);
    std::vector<size_t> cursor(compared.size(), 0);
    std::vector<double> comparedLast(compared.size(), kNoValue);

    int64_t end = start + barLength;
    // A first trade after the first bar's end starts at its own bar: no
    // flat bars before the first trade.
    const int64_t first = int64_t(queue.front().stamp);
    if (first >= end)
        end += ((first - end) / barLength + 1) * barLength;

    ChartBar bar;
    bool traded = false;
    double lastClose = queue.front().close;
    auto take = [&](const chartfeed& t) {
        if (!traded) {
            bar.open = bar.high = bar.low = bar.close = t.close;
            bar.volume = t.volume;
            traded = true;
        } else {
            bar.close = t.close;
            bar.high = std::max(bar.high, t.close);
            bar.low = std::min(bar.low, t.close);
            bar.volume += t.volume;
        }
        lastClose = t.close;
    };
    auto stamp = [&]() {
        if (!traded) {
            bar.open = bar.high = bar.low = bar.close = lastClose;
            bar.volume = 0;
        }
        bar.end = end;
        bar.date = ChartDateOfEpoch(end);
        bar.compared.assign(compared.size(), kNoValue);
        for (size_t s = 0; s < compared.size(); ++s) {
            const ComparedTrades& trades = *compared[s];
            while (cursor[s] < trades.size() && int64_t(trades[cursor[s]].stamp) <= end)
                comparedLast[s] = trades[cursor[s]++].close;
            bar.compared[s] = comparedLast[s];
        }
    };

    take(queue.front());
    for (size_t i = 1; i < queue.size(); ++i) {
        const chartfeed& t = queue[i];
        // More than a day without trades is jumped: the bar before the gap
        // closes and the trade's own bar follows it.
        if (int64_t(t.stamp) - end > 86400) {
            stamp();
            if (span < 0 || (lastTime - int64_t(t.stamp)) / 60 <= span)
                fold.bars.push_back(bar);
            bar = ChartBar{};
            traded = false;
            end += ((int64_t(t.stamp) - end) / barLength + 1) * barLength;
        }
        while (int64_t(t.stamp) >= end) {
            stamp();
            if (span < 0 || (lastTime - int64_t(t.stamp)) / 60 <= span)
                fold.bars.push_back(bar);
            bar = ChartBar{};
            traded = false;
            end += barLength;
            // Tick by tick draws the trades themselves: no flat seconds.
            if (barLength == 1 && int64_t(t.stamp) >= end)
                end = int64_t(t.stamp) + 1;
        }
        take(t);
    }
    stamp();
    fold.bars.push_back(bar);
    fold.live = bar;
    fold.nextEnd = end + barLength;
    fold.tradesUsed = int(queue.size());
    fold.lastMatched = true;
    return fold;
}

std::vector<ChartBar> FoldEod(const std::vector<chartfeed>& days, int interval, int span,
                              const std::vector<const std::vector<chartfeed>*>& compared)
{
    std::vector<ChartBar> out;
    if (days.empty())
        return out;
    const double newest = days.back().date;
    auto keep = [&](double date) { return span < 0 || newest - date <= double(span) + ChartRecords::kSameDate; };
    auto point = [&](const ChartBar& running, double date) {
        if (!keep(date))
            return;
        ChartBar p = running;
        p.date = date;
        p.compared.assign(compared.size(), kNoValue);
        for (size_t s = 0; s < compared.size(); ++s)
            p.compared[s] = lastCloseAtOrBefore(*compared[s], date);
        out.push_back(std::move(p));
    };
    if (interval <= 1) {
        for (const chartfeed& d : days) {
            ChartBar b;
            b.end = int64_t(d.stamp);
            b.open = d.open;
            b.high = d.high;
            b.low = d.low;
            b.close = d.close;
            b.volume = d.volume;
            point(b, d.date);
        }
        return out;
    }
    ChartBar running;
    int64_t periodStart = 0;
    double lastDate = 0; // the running period's last trading day
    auto startPeriod = [&](const chartfeed& d) {
        lastDate = d.date;
        running = ChartBar{};
        running.open = d.open;
        running.high = d.high;
        running.low = d.low;
        running.close = d.close;
        running.volume = d.volume;
        running.end = int64_t(d.stamp);
        periodStart = int64_t(d.stamp);
    };
    auto breaks = [&](const chartfeed& d) {
        const int64_t at = int64_t(d.stamp);
        switch (interval) {
        case 7: return isMonday(at) || at - periodStart > 7 * 86400;
        case 30: return monthKey(at) - monthKey(periodStart) >= 1;
        case 90: return monthKey(at) - monthKey(periodStart) >= 3;
        case 180: return monthKey(at) - monthKey(periodStart) >= 6;
        default: return at - periodStart > int64_t(interval) * 86400;
        }
    };
    startPeriod(days.front());
    for (size_t i = 1; i < days.size(); ++i) {
        const chartfeed& d = days[i];
        if (breaks(d)) {
            // Stamped with its own last day: the breaking day's date is the
            // open period's, and two points of one date would lose one.
            point(running, lastDate);
            startPeriod(d);
            continue;
        }
        lastDate = d.date;
        running.high = std::max(running.high, d.high);
        running.low = std::min(running.low, d.low);
        running.close = d.close;
        running.volume += d.volume;
        running.end = int64_t(d.stamp);
    }
    point(running, lastDate);
    return out;
}

VisibleWindow InitialWindow(int kind, int recordCount)
{
    if (recordCount <= 0)
        return {};
    const int shown = kind == kChartIndex ? 200 : 90;
    return {std::max(1, recordCount - shown), recordCount};
}

ZoomSteps ZoomStepsOf(int level)
{
    ZoomSteps z;
    if (level == -1)
        return z;
    if (level == 0)
        z.reset = true;
    else if (level > 0)
        z.in = level / 10;
    else
        z.out = -level / 10;
    return z;
}

const std::vector<std::string>& OhlcOnlyIndicators()
{
    static const std::vector<std::string> names = {
        "Williams %R", "Williams Accumulation Distribution", "Ultimate Oscillator", "True Range",
        "Parabolic SAR", "MACD", "Ease Of Movement", "Directional Movement System", "Chaikin Volatility",
        "Aroon", "Aroon Oscillator", "Commodity Channel Index", "Chaikin Money Flow", "Weighted Close",
        "Typical Price", "Median Price", "High Minus Low", "Fractal Chaos Bands", "High/Low Bands",
        "Swing Index", "Accumulative Swing Index", "Mass Index", "Money Flow Index", "Stochastic Oscillator",
        "Stochastic Momentum Index", "Fractal Chaos Oscillator", "Prime Number Oscillator",
        "Prime Number Bands", "MACD Histogram"};
    return names;
}

std::string IndicatorBaseName(const std::string& key)
{
    const size_t blank = key.rfind(' ');
    if (blank == std::string::npos || blank + 1 >= key.size())
        return key;
    for (size_t i = blank + 1; i < key.size(); ++i)
        if (key[i] < '0' || key[i] > '9')
            return key;
    return key.substr(0, blank);
}

bool IsOhlcOnlyIndicator(const std::string& key)
{
    const auto& names = OhlcOnlyIndicators();
    const std::string base = IndicatorBaseName(key);
    return std::find(names.begin(), names.end(), base) != names.end() ||
           std::find(names.begin(), names.end(), key) != names.end();
}

bool ChartTakesOhlcIndicators(int style, int interval)
{
    (void)interval;
    return style != 502 && style != 503;
}

std::string EodCacheFileName(int token, int year, int month, int day)
{
    char name[96];
    std::snprintf(name, sizeof name, "EChart_%d_%02d.%02d%d.dat", token, day, month, year);
    return name;
}
