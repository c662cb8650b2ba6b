#include "watch/AlertRecord.h"

#include "app/base/TextFormat.h"
#include "server/SecurityRecord.h"

#include "pf/clock.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ctime>

const AlertType kAlertTypes[kAlertTypeCount] = {
    {"Bid Price", 0, 100}, {"Ask Price", 2, 100}, {"LTP", 4, 100},       {"% Change", 10, 100},
    {"Total Sell", 11, 1}, {"Total Buy", 12, 1},  {"TTQ", 13, 1},        {"NetChange", 18, 100},
};

namespace {

bool readLong(const std::string& text, long& out)
{
    const char* first = text.data();
    const char* last = first + text.size();
    const auto r = std::from_chars(first, last, out);
    return r.ec == std::errc() && r.ptr == last;
}

bool readDouble(const std::string& text, double& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(out);
}

// Six fields from `first` as a local time; 0 fields empty leaves `out`. False
// when a field does not read or is out of range.
bool readTime(const std::vector<std::string>& f, size_t first, int64_t& out)
{
    for (size_t i = first; i < first + 6; ++i)
        if (f[i].empty())
            return true; // a time is taken only when all six fields are there
    long v[6];
    for (size_t i = 0; i < 6; ++i)
        if (!readLong(f[first + i], v[i]))
            return false;
    if (v[0] < 1900 || v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31 || v[3] < 0 || v[3] > 23 || v[4] < 0 ||
        v[4] > 59 || v[5] < 0 || v[5] > 59)
        return false;
    std::tm tm{};
    tm.tm_year = static_cast<int>(v[0] - 1900);
    tm.tm_mon = static_cast<int>(v[1] - 1);
    tm.tm_mday = static_cast<int>(v[2]);
    tm.tm_hour = static_cast<int>(v[3]);
    tm.tm_min = static_cast<int>(v[4]);
    tm.tm_sec = static_cast<int>(v[5]);
    tm.tm_isdst = -1;
    out = static_cast<int64_t>(std::mktime(&tm));
    return true;
}

std::string formatPart(const AlertRecord& r, int typedDecimals)
{
    return formatText("|%d|%d|%d|%.4lf|%d|%d|%s|%s|%s|%d|%.*lf|%s|", r.secIndex, r.quoteField, r.criteria, r.trigger,
                      r.recurring ? 1 : 0, 0, AlertFileText(r.name).c_str(), AlertTimeFields(r.setTime).c_str(),
                      AlertTimeFields(r.trackedTime).c_str(), r.type, typedDecimals, r.typed,
                      AlertFileText(r.description).c_str());
}

} // namespace

const char* AlertCriteriaText(int criteria)
{
    return criteria == kCriteriaBelow ? "<" : ">=";
}

int AlertValueDecimals(int type, std::string_view exchange)
{
    if (type >= 4 && type <= 6)
        return 0;
    return exchange == "CN" ? 4 : 2;
}

AlertRecord::AlertRecord() : setTime(pf::clock().nowSeconds()) {}

std::string AlertRecord::FormatLine() const
{
    return formatPart(*this, 2);
}

std::string AlertRecord::FormatLine4() const
{
    return formatPart(*this, 4);
}

bool AlertRecord::ParseFields(const std::vector<std::string>& f)
{
    if (f.size() < 23)
        return false;
    long v = 0;
    if (!f[1].empty()) {
        if (!readLong(f[1], v))
            return false;
        secIndex = static_cast<int>(v);
    }
    if (!f[20].empty()) {
        if (!readLong(f[20], v) || v < 0 || v >= kAlertTypeCount)
            return false;
        type = static_cast<int>(v);
    }
    if (!f[2].empty()) {
        if (!readLong(f[2], v))
            return false;
        quoteField = static_cast<int>(v);
    }
    // The quote field indexes the quote values: it must be the type's own.
    if (quoteField != kAlertTypes[type].quoteField)
        return false;
    // An alert without its criteria could never fire and would be written
    // back as -1, then dropped at the next start: refused here instead.
    if (f[3].empty() || !readLong(f[3], v) || (v != kCriteriaAtOrAbove && v != kCriteriaBelow))
        return false;
    criteria = static_cast<int>(v);
    if (!f[4].empty() && !readDouble(f[4], trigger))
        return false;
    if (!f[5].empty()) {
        if (!readLong(f[5], v))
            return false;
        recurring = v != 0;
    }
    if (!f[6].empty())
        triggered = false;
    name = f[7];
    if (!readTime(f, 8, setTime) || !readTime(f, 14, trackedTime))
        return false;
    if (!f[21].empty() && !readDouble(f[21], typed))
        return false;
    description = f[22];
    return true;
}

bool AlertRecord::conditionHolds(const QuoteData& quote) const
{
    const double value = ColumnKindValue(quote, quoteField);
    if (std::isnan(value) || std::isnan(trigger))
        return false;
    return criteria == kCriteriaBelow ? value < trigger : value >= trigger;
}

std::string AlertKey(int type, std::string_view displayKey, int criteria, double typed, int decimals)
{
    return formatText("%d~%.*s~%s~%.*lf", type, static_cast<int>(displayKey.size()), displayKey.data(),
                      AlertCriteriaText(criteria), decimals, typed);
}

std::string AlertDescription(int type, std::string_view displayKey, std::string_view exchangeName, int criteria,
                             double typed, int decimals)
{
    const char* typeName = type >= 0 && type < kAlertTypeCount ? kAlertTypes[type].name : "";
    return AlertFileText(formatText("%s of %.*s [%.*s] %s %.*lf", typeName, static_cast<int>(displayKey.size()),
                                    displayKey.data(), static_cast<int>(exchangeName.size()), exchangeName.data(),
                                    AlertCriteriaText(criteria), decimals, typed));
}

std::string AlertFileText(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c == '|' || c == '\r' || c == '\n')
            c = ' ';
    return out;
}

std::string AlertTimeFields(int64_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[64];
    std::strftime(text, sizeof text, "%Y|%m|%d|%H|%M|%S", &tm);
    return text;
}
