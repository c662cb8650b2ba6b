#include "watch/WatchCellFormat.h"

#include "app/base/AppSettings.h"
#include "app/base/FigureText.h"
#include "watch/base/WatchlistTable.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <string_view>

namespace watch_cell_format_detail {
namespace {

std::string printf1(const char* format, double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

// "%0.Nlf" of v / 100 (N = 2 or 4) and "%0.0lf" of v, written without
// printf for the usual whole-paise values: a busy market formats hundreds
// of thousands of cells a second. v / 100 of a whole number prints the same
// digits as the integer arithmetic below. Other values take printf.
bool wholeValue(double v)
{
    return v == std::floor(v) && std::fabs(v) < 1e15;
}

std::string fixedPaise(double v, int decimals)
{
    if (!wholeValue(v))
        return figureText(v / 100, decimals);
    long long p = static_cast<long long>(v);
    const bool negative = p < 0;
    if (negative)
        p = -p;
    char buf[40];
    char* end = buf + sizeof buf;
    char* c = end;
    for (int i = decimals; i > 2; --i)
        *--c = '0';
    *--c = static_cast<char>('0' + p % 10);
    *--c = static_cast<char>('0' + (p / 10) % 10);
    *--c = '.';
    long long whole = p / 100;
    do {
        *--c = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    if (negative)
        *--c = '-';
    return std::string(c, end);
}

std::string wholeNumber(double v)
{
    if (!wholeValue(v))
        return figureText(v, 0);
    return std::to_string(static_cast<long long>(v));
}

bool isPriceKind(int kind)
{
    return kind == 0 || kind == 2 || (kind >= 4 && kind <= 10) || kind == 18 || kind == 21 || kind == 22;
}

CellPaint paintOfTick(short tick, bool keepOthers)
{
    switch (tick) {
    case kTickRose:
        return CellPaint::Rising;
    case kTickFell:
        return CellPaint::Falling;
    case kTickSameOnce:
        return keepOthers ? CellPaint::Row : CellPaint::Normal;
    default:
        return keepOthers ? CellPaint::Keep : CellPaint::Normal;
    }
}

// The derivative codes whose 52-week cells a new row shows as 0.
bool derivativeCode(std::string_view code)
{
    for (const char* c : {"OC", "FC", "OI", "FI", "OS", "FS", "CF", "CO"})
        if (code == c)
            return true;
    return false;
}

} // namespace
} // namespace watch_cell_format_detail

WatchColours WatchColoursFrom(const AppSettings& s)
{
    WatchColours c;
    c.normalText = s.normal_text_colour;
    c.normalBack = s.normal_back_colour;
    c.upText = s.up_text_colour;
    c.upBack = s.up_back_colour;
    c.downText = s.down_text_colour;
    c.downBack = s.down_back_colour;
    c.upperBack = s.gain_colour;
    c.lowerBack = s.loss_colour;
    c.upper = s.gain_threshold;
    c.lower = s.loss_threshold;
    return c;
}

std::string FormatWatchValue(int kind, double v, const SecurityRecord& s)
{
    if (watch_cell_format_detail::isPriceKind(kind))
        return watch_cell_format_detail::fixedPaise(v, s.currency ? 4 : 2);
    switch (kind) {
    case kLastTrdTime: {
        if (!(v > 0))
            return "0";
        const time_t t = static_cast<time_t>(v);
        struct tm tmv {};
        localtime_r(&t, &tmv);
        char buf[40];
        std::snprintf(buf, sizeof buf, "%02d-%02d-%d %02d:%02d:%02d", tmv.tm_mday, tmv.tm_mon + 1,
                      tmv.tm_year + 1900, tmv.tm_hour, tmv.tm_min, tmv.tm_sec);
        return buf;
    }
    case 13:
        // A market lot of 0 would print "inf": the raw quantity is shown instead.
        return watch_cell_format_detail::wholeNumber(s.commodity && s.market_lot > 0 ? v / s.market_lot : v);
    case 15:
        return watch_cell_format_detail::wholeNumber(s.commodity ? v / 100 : v);
    default:
        return watch_cell_format_detail::wholeNumber(v);
    }
}

WatchCell RowCell(int kind, const SecurityRecord& s, QuoteData& q, bool* changed)
{
    WatchCell cell;
    if (kind == 19 || kind == 20) {
        // A derivative keeps no 52-week range: the number 0, shown as the
        // column's other figures are.
        if (watch_cell_format_detail::derivativeCode(s.inst_type.view()))
            return WatchCell{figureText(0, s.currency ? 4 : 2), CellPaint::Normal, std::nullopt};
        const double todayHigh = q.quote[kHighPrc] / 100;
        const double todayLow = q.quote[kLowPrc] / 100;
        cell.paint = CellPaint::Normal;
        if (kind == 19) {
            if (todayHigh > q.year_high) {
                q.year_high = todayHigh;
                cell.paint = CellPaint::Rising;
                if (changed)
                    *changed = true;
            }
            cell.text = watch_cell_format_detail::printf1("%0.2lf", q.year_high);
        } else {
            if (q.year_low > todayLow && todayLow > 0) {
                q.year_low = todayLow;
                cell.paint = CellPaint::Rising;
                if (changed)
                    *changed = true;
            }
            if (q.year_low > 0)
                cell.text = watch_cell_format_detail::printf1("%0.2lf", q.year_low);
        }
        return cell;
    }
    cell.text = FormatWatchValue(kind, ColumnKindValue(q, kind), s);
    cell.paint = watch_cell_format_detail::paintOfTick(ColumnKindTick(q, kind), false);
    return cell;
}

WatchCell TickCell(int kind, const SecurityRecord& s, const QuoteData& q)
{
    WatchCell cell;
    if (kind == 19 || kind == 20) {
        const double stored = kind == 19 ? q.year_high : q.year_low;
        cell.text = figureText(stored, s.currency ? 4 : 2);
        cell.band = FiftyTwoWeekBand(kind == 19, stored, q.quote[kLastPrc]);
        return cell;
    }
    cell.text = FormatWatchValue(kind, ColumnKindValue(q, kind), s);
    cell.paint = watch_cell_format_detail::paintOfTick(ColumnKindTick(q, kind), true);
    return cell;
}

std::optional<uint32_t> FiftyTwoWeekBand(bool high, double stored, double lastPaise)
{
    if (lastPaise == 0)
        return std::nullopt; // an infinite distance: no band
    // stored / (last / 100) * 100, written so that whole values stay exact.
    const double ratio = stored * 10000.0 / lastPaise;
    const double d = high ? std::fabs(100 - ratio) : 100 - ratio;
    if (!(d >= 0) || d > 7)
        return std::nullopt;
    static const uint32_t kHigh[3] = {0x7000, 0xA800, 0xD000};
    static const uint32_t kLow[3] = {0xC0, 0xEE, 0x4B4BFF};
    const int band = d <= 2 ? 0 : d <= 5 ? 1 : 2;
    return high ? kHigh[band] : kLow[band];
}

int LastPriceIcon(short tick)
{
    return tick == kTickRose ? 90 : tick == kTickFell ? 10 : 45;
}

int StatusIcon(short status)
{
    if (status == 0 || status == -2)
        return 20;
    if (status == 1 || status == 2)
        return 90;
    return 0;
}

const char* StatusText(short status)
{
    if (status == 0 || status == -2)
        return "Only Square-Off";
    if (status == 1 || status == 2)
        return "Active";
    return "";
}

int TrendIcon(int trend)
{
    return trend == 1 ? 90 : trend == 2 ? 10 : 45;
}

RowHighlight PercentChangeHighlight(double pct, const WatchColours& c, short& highlight)
{
    RowHighlight h;
    h.text = c.normalText;
    h.back = c.normalBack;
    auto cross = [&](uint32_t back) {
        h.applies = true;
        h.back = back;
        h.text = 0;
        if (highlight == 0) {
            highlight = 1;
            h.firstCrossing = true;
        }
    };
    if (c.upper != 0 && pct >= c.upper)
        cross(c.upperBack);
    if (c.lower != 0 && pct <= c.lower)
        cross(c.lowerBack);
    return h;
}
