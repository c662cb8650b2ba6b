#include "market/MarketTurnover.h"

#include "app/base/BoundedNumber.h"
#include "watch/base/TextSplit.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace mt {

namespace {

std::string trimmed(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return std::string(s);
}

// Far above any count of stocks: three of them add up within a long.
constexpr long long kMaxCount = 1000000000000LL;

} // namespace

std::string TwoPlaces(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2lf", v);
    // No "-0.00": a change that rounds to nothing shows unsigned.
    if (buf[0] == '-' && std::string_view(buf + 1).find_first_not_of("0.") == std::string_view::npos)
        return buf + 1;
    return buf;
}

std::string TurnoverRequest(int mode) { return mode == 1 ? "mktcaptok=1" : "mktcaptok=2"; }

int FieldOffset(int mode) { return mode == 1 ? 1 : 4; }

TurnoverReply ParseTurnoverReply(std::string_view reply, int mode)
{
    TurnoverReply out;
    // A text that is neither records nor fields is the server's own message;
    // a single record without '*' (an error record among them) is read.
    if (reply.find('*') == std::string_view::npos && reply.find(',') == std::string_view::npos) {
        out.boxText = std::string(reply);
        out.boxCaption = "Server Message";
        return out;
    }
    const std::vector<std::string> records = SplitFields(reply, '*');
    if (records.empty()) {
        out.boxText = "Unable to get market turnover information";
        out.boxCaption = "Data Error";
        return out;
    }
    const std::vector<std::string> first = SplitFields(records[0], ',');
    if (trimmed(first[0]) == "-1") {
        const auto field = [&first](size_t i) { return i < first.size() ? trimmed(first[i]) : std::string(); };
        out.boxText = "Error : [" + field(1) + "] : " + field(2);
        out.boxCaption = "Vortanex";
        out.countsAsLoad = true;
        return out;
    }
    const size_t b = static_cast<size_t>(FieldOffset(mode));
    // A message with commas is still the server's message: one text, not
    // enough fields for a record.
    if (reply.find('*') == std::string_view::npos && first.size() < b + 8) {
        out.boxText = std::string(reply);
        out.boxCaption = "Server Message";
        return out;
    }
    for (const std::string& text : records) {
        if (trimmed(text).empty())
            continue;
        const std::vector<std::string> f = SplitFields(text, ',');
        if (f.size() < b + 8)
            continue; // too short for the offset
        const auto num = [&f](size_t i) { return std::strtod(trimmed(f[i]).c_str(), nullptr); };
        const auto count = [&f](size_t i) {
            return static_cast<long>(Bounded(std::strtoll(trimmed(f[i]).c_str(), nullptr, 10), -kMaxCount, kMaxCount));
        };
        TurnoverRecord r;
        r.label = trimmed(f[b - 1]);
        r.name = trimmed(f[b]);
        r.upVolume = num(b + 1);
        r.upCount = count(b + 2);
        r.downVolume = num(b + 3);
        r.downCount = count(b + 4);
        r.neutralVolume = num(b + 5);
        r.neutralCount = count(b + 6);
        r.totalVolume = num(b + 7);
        r.totalCount = r.upCount + r.downCount + r.neutralCount;
        if (mode == 2 || mode == 6)
            r.exchangeId = static_cast<int>(Bounded<long>(count(2), INT_MIN, INT_MAX));
        out.records.push_back(std::move(r));
    }
    out.ok = true;
    out.countsAsLoad = true;
    return out;
}

std::vector<std::string> MergeTurnover(TurnoverMap& map, const std::vector<TurnoverRecord>& records)
{
    std::vector<std::string> names;
    for (const TurnoverRecord& r : records) {
        map[r.name] = r;
        names.push_back(r.name);
    }
    return names;
}

std::vector<GridRow> MarketTurnoverRows(const TurnoverMap& map, const std::string& name)
{
    const auto it = map.find(name);
    if (it == map.end())
        return {};
    const TurnoverRecord& r = it->second;
    // Counts go out as whole numbers; volumes as two-place decimals.
    return {{{"Up", TwoPlaces(r.upVolume), std::to_string(r.upCount)}, 0},
            {{"Down", TwoPlaces(r.downVolume), std::to_string(r.downCount)}, 1},
            {{"Neutral", TwoPlaces(r.neutralVolume), std::to_string(r.neutralCount)}, 2},
            {{"Total", TwoPlaces(r.totalVolume), std::to_string(r.totalCount)}, 3}};
}

std::vector<GridRow> IndicesTurnoverRows(const TurnoverMap& map, int exchangeId)
{
    std::vector<GridRow> rows;
    for (const auto& [name, r] : map)
        if (r.exchangeId == exchangeId)
            rows.push_back({{name, TwoPlaces(r.totalVolume)}, r.downVolume >= r.upVolume ? 1 : 0});
    return rows;
}

std::vector<GridRow> IndexDetailRows(const TurnoverRecord& r)
{
    // The counts are shown as decimals here, converted before formatting.
    return {{{"Volume (in Crores)", TwoPlaces(r.upVolume), TwoPlaces(r.downVolume), TwoPlaces(r.neutralVolume)}, 4},
            {{"Stocks", TwoPlaces(static_cast<double>(r.upCount)), TwoPlaces(static_cast<double>(r.downCount)),
              TwoPlaces(static_cast<double>(r.neutralCount))},
             5}};
}

std::vector<Slice> PieSlices(const TurnoverRecord& r)
{
    std::vector<Slice> out;
    if (r.upVolume != 0)
        out.push_back({"UP", r.upVolume});
    if (r.downVolume != 0)
        out.push_back({"DOWN", r.downVolume});
    if (r.neutralVolume != 0)
        out.push_back({"NEUTRAL", r.neutralVolume});
    return out;
}

int PieRotation(const TurnoverRecord& r)
{
    if (r.neutralVolume > r.upVolume && r.neutralVolume > r.downVolume)
        return -180;
    if (r.downVolume > r.upVolume && r.downVolume > r.neutralVolume)
        return 180;
    return 0;
}

std::string GridCsv(const std::vector<std::string>& captions, const std::vector<std::vector<std::string>>& rows)
{
    if (captions.empty() || rows.empty())
        return {};
    std::string out;
    for (const std::string& c : captions)
        out += CsvField(c) + ",";
    out += "\n";
    for (const auto& row : rows) {
        for (const std::string& cell : row)
            out += CsvField(cell) + ",";
        out += "\n";
    }
    return out;
}

std::string PercentEncoded(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool IsWebAddress(std::string_view url)
{
    const auto starts = [url](std::string_view p) {
        if (url.size() <= p.size())
            return false;
        for (size_t i = 0; i < p.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(url[i])) != p[i])
                return false;
        return true;
    };
    return starts("http://") || starts("https://");
}

std::string CompanyProfileUrl(std::string_view base, std::string_view key)
{
    std::string b(base);
    while (!b.empty() && b.back() == '/')
        b.pop_back();
    const std::string url = b + "/jsp/EquitySearch.jsp?searchstring=" + PercentEncoded(key);
    return IsWebAddress(url) ? url : std::string();
}

std::string NewsUrl(std::string_view newsUrl, std::string_view symbol)
{
    std::string pattern = newsUrl.empty() ? std::string("https://news.google.com/search?q=%s") : std::string(newsUrl);
    const size_t at = pattern.find("%s");
    const std::string url =
        at == std::string::npos ? pattern : pattern.substr(0, at) + PercentEncoded(symbol) + pattern.substr(at + 2);
    return IsWebAddress(url) ? url : std::string();
}

} // namespace mt
