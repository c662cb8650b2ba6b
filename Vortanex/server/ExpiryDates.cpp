#include "server/ExpiryDates.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

int MonthNumber(std::string_view text)
{
    static constexpr std::string_view kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                     "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    for (int i = 0; i < 12; ++i)
        if (text == kMonths[i])
            return i + 1;
    return 0;
}

int ExpiryTextToDate(std::string_view text, std::string& out)
{
    if (text.empty())
        return 1;
    // The scan needs a terminated copy; expiry texts are short.
    const std::string copy(text.substr(0, 63));
    int day = 0;
    int year = 0;
    char month[4] = {};
    // A malformed text must not leave a made-up date in the expiry lists.
    if (std::sscanf(copy.c_str(), "%2d%3s%2d", &day, month, &year) != 3)
        return 2;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", year + 2000, MonthNumber(month), day);
    out = buf;
    return 0;
}

int64_t ParseExpiryDate(std::string_view text)
{
    auto part = [&](size_t pos, size_t n) {
        return pos < text.size() ? std::string(text.substr(pos, n)) : std::string();
    };
    const int day = std::atoi(part(0, 2).c_str());
    const int month = MonthNumber(part(2, 3));
    const int year = std::atoi(part(5, 2).c_str()) + 2000;
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > 31)
        throw ExpiryDateError(ExpiryDateError::Fail, "invalid expiry date");
    std::tm tm{};
    tm.tm_mday = day;
    tm.tm_mon = month - 1;
    tm.tm_year = year - 1900;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1))
        throw ExpiryDateError(ExpiryDateError::InvalidArg, "expiry date not representable");
    return static_cast<int64_t>(t);
}

void WrapTextLines(std::string_view text, std::vector<std::string>& lines)
{
    std::vector<std::string_view> words;
    size_t start = 0;
    for (;;) {
        const size_t blank = text.find(' ', start);
        if (blank == std::string_view::npos) {
            words.push_back(text.substr(start));
            break;
        }
        words.push_back(text.substr(start, blank - start));
        start = blank + 1;
    }
    if (words.size() < 2 || text.size() <= 15) {
        lines.emplace_back(text);
        return;
    }
    std::string line;
    for (std::string_view w : words) {
        line += w;
        if (line.size() < 15) {
            line += ' ';
        } else {
            lines.push_back(line);
            line.clear();
        }
    }
    if (!line.empty())
        lines.push_back(line);
}
