#include "market/IndexDisplay.h"

#include "app/base/ExchangeNames.h"
#include "app/base/TextFormat.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace index_display_detail {
namespace {

double scaled(double hundredths)
{
    return hundredths == 0 ? 0.0 : hundredths / 100;
}

double unsignedZero(double v)
{
    return v == 0 ? 0.0 : v;
}

} // namespace
} // namespace index_display_detail

std::string IndexExchangeName(std::string_view code) { return ExchangeDisplayName(code); }

std::string IndexValueText(double hundredths, std::string_view code)
{
    const bool four = code == "CN" || code == "CB" || code == "CM";
    return formatText(four ? "%.4lf" : "%.2lf", index_display_detail::unsignedZero(index_display_detail::scaled(hundredths)));
}

int IndexHighlight(double stored, double upper, double lower)
{
    int h = 0;
    if (upper != 0 && stored >= upper)
        h = 1;
    if (lower != 0 && stored <= lower)
        h = 2;
    return h;
}

int IndexDirectionIcon(short tick)
{
    return tick == 2 ? 90 : tick == 3 ? 10 : 45;
}

bool IsCurrencyPairName(std::string_view name)
{
    if (name.substr(0, 6) == "USDINR")
        return true;
    static const char* const pairs[] = {"GBPINR", "JPYINR", "EURINR", "EURUSD", "GBPUSD", "USDJPY"};
    for (const char* p : pairs)
        if (name.substr(0, 6) == p)
            return true;
    return false;
}

std::string IndexButtonText(const IndexRecord& index, bool compact)
{
    const std::string name(index.name, strnlen(index.name, sizeof index.name));
    const double v = index_display_detail::unsignedZero(index_display_detail::scaled(index.values[0]));
    const double c = index_display_detail::unsignedZero(index_display_detail::scaled(index.values[5]));
    const double p = index_display_detail::unsignedZero(index_display_detail::scaled(index.values[6]));
    const bool four = IsCurrencyPairName(name);
    std::string vc, pt;
    if (compact)
        vc = formatText(four ? "%0.4lf(%0.4f)" : "%0.2lf(%0.2f)", v, c);
    else
        vc = formatText(four ? "%0.4lf\n(%0.4f)" : "%0.2lf\n(%0.2f)", v, c);
    pt = formatText(four ? "%0.4lf %%" : "%0.2lf %%", p);
    return name + (compact ? " " : "\n") + vc + (compact ? " " : "\n") + pt;
}

int IndexButtonImage(double previous, double value)
{
    if (value == previous)
        return 252;
    return value < previous ? 253 : 254;
}

std::filesystem::path IndicesFilePath(const std::filesystem::path& dataFolder, std::string_view userId)
{
    return dataFolder / ("Indices_" + std::string(userId) + ".dat");
}

std::string IndicesLine(const std::array<int, 4>& ids)
{
    std::string line;
    for (int id : ids)
        if (id > 0)
            line += std::to_string(id) + "~";
    return line;
}

std::vector<int> ReadIndicesLine(std::string_view line)
{
    std::vector<int> out;
    size_t pos = 0;
    while (pos <= line.size()) {
        const size_t end = std::min(line.find('~', pos), line.size());
        std::string item(line.substr(pos, end - pos));
        while (!item.empty() && (item.back() == ' ' || item.back() == '\r' || item.back() == '\n'))
            item.pop_back();
        if (!item.empty())
            out.push_back(std::atoi(item.c_str()));
        if (end >= line.size())
            break;
        pos = end + 1;
    }
    return out;
}

BarChoice ChooseBarIndices(const std::vector<IndexRecord>& indices, const std::vector<int>& feedWatchTokens,
                           const std::optional<std::vector<int>>& entries)
{
    BarChoice choice;
    auto byBroadcast = [&](int id) {
        for (size_t i = 0; i < indices.size(); ++i)
            if (id > 0 && indices[i].feedCode == id)
                return static_cast<int>(i);
        return -1;
    };
    auto byWatchToken = [&](int token) {
        for (size_t i = 0; i < indices.size() && i < feedWatchTokens.size(); ++i)
            if (token > 0 && feedWatchTokens[i] == token)
                return static_cast<int>(i);
        return -1;
    };
    auto taken = [&](int number) {
        return std::find(choice.indexNumbers.begin(), choice.indexNumbers.end(), number) != choice.indexNumbers.end();
    };
    const std::vector<int> given = entries ? *entries : std::vector<int>{};
    if (given.empty())
        choice.rewrite = true;
    for (size_t place = 0; place < 4; ++place) {
        if (place >= given.size())
            continue;
        int n = byBroadcast(given[place]);
        if (n < 0)
            n = byWatchToken(given[place]);
        if (n >= 0 && !taken(n)) {
            choice.indexNumbers[place] = n;
        } else {
            choice.notFound.push_back(formatText("Index Wtoken [%d] not Found at %d.", given[place],
                                                 static_cast<int>(place)));
        }
    }
    for (size_t place = 0; place < 4; ++place) {
        if (choice.indexNumbers[place] >= 0)
            continue;
        if (place < given.size() || given.empty() || place >= given.size())
            choice.rewrite = true;
        int pick = -1;
        for (int token : kDefaultIndexTokens) {
            int n = byWatchToken(token);
            if (n < 0)
                n = byBroadcast(token);
            if (n >= 0 && !taken(n)) {
                pick = n;
                break;
            }
        }
        for (size_t i = 0; pick < 0 && i < indices.size(); ++i)
            if (!taken(static_cast<int>(i)))
                pick = static_cast<int>(i);
        choice.indexNumbers[place] = pick;
    }
    return choice;
}
