#include "market/ChartRecords.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();
// Days from 1970-01-01 to 1899-12-30.
constexpr long long kEpochOffset = -25569;

// Days since 1970-01-01 of a proleptic Gregorian date.
long long daysFromCivil(long long y, long long m, long long d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, int& year, int& month, int& day)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yoe + era * 400 + (month <= 2));
}

long long floorDiv(long long a, long long b)
{
    long long q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

const std::vector<double> kEmpty;

} // namespace

double ChartDateOf(int year, int month, int day, int hour, int minute, int second)
{
    // Months roll into years first, so that month 13 or 0 behave like a calendar.
    long long m0 = (long long)month - 1;
    const long long y = year + floorDiv(m0, 12);
    m0 -= floorDiv(m0, 12) * 12;
    const long long days = daysFromCivil(y, m0 + 1, 1) + (long long)day - 1 - kEpochOffset;
    const long long seconds = (long long)hour * 3600 + (long long)minute * 60 + second;
    const long long whole = days + floorDiv(seconds, 86400);
    const long long rest = seconds - floorDiv(seconds, 86400) * 86400;
    return double(whole) + double(rest) / 86400.0;
}

ChartDateFields ChartDateSplit(double chartDate)
{
    ChartDateFields f;
    if (!std::isfinite(chartDate) || std::fabs(chartDate) > 1e8)
        return f;
    const long long total = std::llround(chartDate * 86400.0);
    const long long days = floorDiv(total, 86400);
    const long long secs = total - days * 86400;
    civilFromDays(days + kEpochOffset, f.year, f.month, f.day);
    f.hour = int(secs / 3600);
    f.minute = int(secs / 60 % 60);
    f.second = int(secs % 60);
    return f;
}

std::string ChartDateText(double chartDate)
{
    const ChartDateFields f = ChartDateSplit(chartDate);
    char text[40];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", f.day, f.month, f.year, f.hour, f.minute,
                  f.second);
    return text;
}

int ChartRecords::addColumn()
{
    m_columns.emplace_back(m_dates.size(), kMissing);
    m_live.push_back(true);
    return int(m_columns.size()) - 1;
}

void ChartRecords::removeColumn(int column)
{
    if (!hasColumn(column))
        return;
    m_live[size_t(column)] = false;
    std::vector<double>().swap(m_columns[size_t(column)]);
}

bool ChartRecords::hasColumn(int column) const
{
    return column >= 0 && size_t(column) < m_columns.size() && m_live[size_t(column)];
}

void ChartRecords::clear()
{
    m_dates.clear();
    m_columns.clear();
    m_live.clear();
}

ChartRecords::Put ChartRecords::put(int column, double chartDate, double value)
{
    Put result;
    if (!hasColumn(column) || !std::isfinite(chartDate))
        return result;
    auto& values = m_columns[size_t(column)];
    if (m_dates.empty() || chartDate > m_dates.back() + kSameDate) {
        m_dates.push_back(chartDate);
        for (size_t c = 0; c < m_columns.size(); ++c)
            if (m_live[c])
                m_columns[c].push_back(kMissing);
        values.back() = value;
        result.record = count() - 1;
        result.added = result.appended = true;
        return result;
    }
    if (chartDate >= m_dates.back() - kSameDate) {
        values.back() = value;
        result.record = count() - 1;
        return result;
    }
    const auto it = std::lower_bound(m_dates.begin(), m_dates.end(), chartDate - kSameDate);
    const size_t at = size_t(it - m_dates.begin());
    if (it != m_dates.end() && *it <= chartDate + kSameDate) {
        values[at] = value;
        result.record = int(at);
        return result;
    }
    m_dates.insert(it, chartDate);
    for (size_t c = 0; c < m_columns.size(); ++c)
        if (m_live[c])
            m_columns[c].insert(m_columns[c].begin() + std::ptrdiff_t(at), kMissing);
    values[at] = value;
    result.record = int(at);
    result.added = true;
    return result;
}

double ChartRecords::value(int column, int record) const
{
    if (!hasColumn(column) || record < 0 || record >= count())
        return kMissing;
    return m_columns[size_t(column)][size_t(record)];
}

const std::vector<double>& ChartRecords::column(int column) const
{
    return hasColumn(column) ? m_columns[size_t(column)] : kEmpty;
}

int ChartRecords::find(double chartDate) const
{
    const auto it = std::lower_bound(m_dates.begin(), m_dates.end(), chartDate - kSameDate);
    if (it != m_dates.end() && *it <= chartDate + kSameDate)
        return int(it - m_dates.begin());
    return -1;
}

double ChartRecords::positionOf(double chartDate) const
{
    const int n = count();
    if (n == 0)
        return chartDate;
    if (n == 1)
        return chartDate - m_dates[0];
    if (chartDate <= m_dates.front()) {
        const double step = m_dates[1] - m_dates[0];
        return step > 0 ? (chartDate - m_dates[0]) / step : 0.0;
    }
    if (chartDate >= m_dates.back()) {
        const double step = m_dates[size_t(n - 1)] - m_dates[size_t(n - 2)];
        return double(n - 1) + (step > 0 ? (chartDate - m_dates.back()) / step : 0.0);
    }
    const auto it = std::upper_bound(m_dates.begin(), m_dates.end(), chartDate);
    const size_t hi = size_t(it - m_dates.begin());
    const size_t lo = hi - 1;
    const double span = m_dates[hi] - m_dates[lo];
    return double(lo) + (span > 0 ? (chartDate - m_dates[lo]) / span : 0.0);
}

double ChartRecords::dateAt(double position) const
{
    const int n = count();
    if (n == 0)
        return position;
    if (n == 1)
        return m_dates[0] + position;
    if (position <= 0)
        return m_dates[0] + position * (m_dates[1] - m_dates[0]);
    if (position >= n - 1)
        return m_dates.back() + (position - (n - 1)) * (m_dates[size_t(n - 1)] - m_dates[size_t(n - 2)]);
    const size_t lo = size_t(std::floor(position));
    return m_dates[lo] + (position - double(lo)) * (m_dates[lo + 1] - m_dates[lo]);
}
