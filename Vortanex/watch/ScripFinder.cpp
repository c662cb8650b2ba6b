#include "watch/ScripFinder.h"

#include "app/base/ExchangeNames.h"
#include "server/ExpiryDates.h"
#include "server/SecurityTable.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <unordered_set>

namespace scrip_finder_detail {
namespace {

bool isOneOf(std::string_view v, std::initializer_list<std::string_view> set)
{
    return std::find(set.begin(), set.end(), v) != set.end();
}

bool isCash(std::string_view t) { return isOneOf(t, {"EQ", "BE"}); }
bool isFuture(std::string_view t) { return isOneOf(t, {"FS", "FI", "FC", "CF", "CI"}); }
bool isOption(std::string_view t) { return isOneOf(t, {"OS", "OI", "OC", "CO"}); }

// The rows to scan for a text: the group of its first character (the
// table's range, empty for a character it does not index), or every row.
SecurityTable::Range rangeOf(const SecurityTable& table, std::string_view text)
{
    if (text.empty())
        return {0, table.count()};
    return table.bucket(static_cast<unsigned char>(text.front()));
}

bool matches(std::string_view filter, std::string_view field) { return filter.empty() || filter == field; }

// A list that takes each value once, in the order met; the set keeps a
// thousand-strike list from being searched once per strike.
struct OnceList {
    std::vector<std::string>& list;
    std::unordered_set<std::string> seen;
    explicit OnceList(std::vector<std::string>& l) : list(l), seen(l.begin(), l.end()) {}
    void add(std::string value)
    {
        if (seen.insert(value).second)
            list.push_back(std::move(value));
    }
};

int64_t expiryDate(std::string_view text)
{
    try {
        return ParseExpiryDate(text);
    } catch (...) {
        return 0;
    }
}

} // namespace
} // namespace scrip_finder_detail

std::string StrikeText(const SecurityRecord& s)
{
    char text[64];
    std::snprintf(text, sizeof text, s.currency == 1 ? "%0.4lf" : "%0.2lf", s.strike);
    return text;
}

std::vector<int> FindScrips(const SecurityTable& table, const ScripQuery& q)
{
    std::vector<int> out;
    int code = 0;
    const bool byCode = !q.code.empty() &&
                        std::from_chars(q.code.data(), q.code.data() + q.code.size(), code).ec == std::errc() &&
                        code != 0;
    if (q.name.empty() && !byCode)
        return out;
    const SecurityTable::Range r = scrip_finder_detail::rangeOf(table, q.name);
    const bool narrowed = q.future || q.option;
    for (int i = r.first; i < r.last; ++i) {
        const SecurityRecord& s = table.row(i);
        const std::string_view t = s.inst_type.view();
        if (t == "IN")
            continue;
        const bool named = !q.name.empty() && s.displayKeyStartsWith(q.name);
        if (!named && !(byCode && s.scrip_code == code))
            continue;
        const bool typeOk = (q.cash && scrip_finder_detail::isCash(t)) || (q.future && scrip_finder_detail::isFuture(t)) ||
                            (q.option && scrip_finder_detail::isOption(t)) ||
                            (q.others && !scrip_finder_detail::isCash(t) && !scrip_finder_detail::isFuture(t) && !scrip_finder_detail::isOption(t) &&
                             t != "CM");
        if (!typeOk)
            continue;
        if (std::find(q.exchanges.begin(), q.exchanges.end(), s.market_exchange.view()) == q.exchanges.end())
            continue;
        if (q.expiry != "ALL" && !(narrowed && s.expiry.view() == q.expiry))
            continue;
        if (q.strike != "ALL" && !(narrowed && StrikeText(s) == q.strike))
            continue;
        out.push_back(i);
    }
    return out;
}

void ScripExpiriesAndStrikes(const SecurityTable& table, std::string_view symbol, bool withStrikes,
                             std::vector<std::string>& expiries, std::vector<std::string>& strikes)
{
    expiries.clear();
    strikes.clear();
    if (symbol.empty())
        return;
    const SecurityTable::Range r = scrip_finder_detail::rangeOf(table, symbol);
    scrip_finder_detail::OnceList e(expiries), k(strikes);
    for (int i = r.first; i < r.last; ++i) {
        const SecurityRecord& s = table.row(i);
        if (s.symbol.view() != symbol || s.derivative != 1)
            continue;
        if (!s.expiry.empty())
            e.add(std::string(s.expiry.view()));
        if (withStrikes && s.strike > 0)
            k.add(StrikeText(s));
    }
}

bool SearchFilters::allEmpty() const
{
    return symbol.empty() && exchange.empty() && series.empty() && expiry.empty() && strike.empty() &&
           optionType.empty();
}

const char* SearchExchangeName(std::string_view code) { return ExchangeDisplayName(code, {"NN", "BN", "CN", "MC"}); }

std::string SearchExchangeCode(std::string_view name)
{
    for (const char* code : {"NN", "BN", "CN", "MC"})
        if (name == SearchExchangeName(code))
            return code;
    return {};
}

namespace scrip_finder_detail {
namespace {

// The five filters besides the symbol.
bool othersMatch(const SecurityRecord& s, const SearchFilters& f, bool withExpiry = true, bool withStrike = true)
{
    return matches(f.exchange, s.market_exchange.view()) && matches(f.series, s.inst_type.view()) &&
           (!withExpiry || matches(f.expiry, s.expiry.view())) && (!withStrike || f.strike.empty() || f.strike == StrikeText(s)) &&
           matches(f.optionType, s.option_type.view());
}

} // namespace
} // namespace scrip_finder_detail

std::vector<std::string> SearchSymbols(const SecurityTable& table, const SearchFilters& f, bool dropped)
{
    std::vector<std::string> out;
    if (f.allEmpty() || f.symbol.size() == 1)
        return out;
    const SecurityTable::Range r = scrip_finder_detail::rangeOf(table, f.symbol);
    scrip_finder_detail::OnceList once(out);
    for (int i = r.first; i < r.last; ++i) {
        const SecurityRecord& s = table.row(i);
        if (f.symbol.empty()) {
            if (s.inst_type.view() == "IN")
                break;
            if (!scrip_finder_detail::othersMatch(s, f))
                continue;
            once.add(std::string(s.symbol.view()));
            if (!dropped && out.size() > 15)
                break;
        } else if (s.symbol.view().substr(0, f.symbol.size()) == f.symbol && scrip_finder_detail::othersMatch(s, f)) {
            once.add(std::string(s.symbol.view()));
        }
    }
    return out;
}

std::vector<std::string> SearchExchanges(const SecurityTable& table, const SearchFilters& f)
{
    std::vector<std::string> out;
    const SecurityTable::Range r = scrip_finder_detail::rangeOf(table, f.symbol);
    for (int i = r.first; i < r.last; ++i) {
        const std::string_view code = table.row(i).market_exchange.view();
        const std::string name = SearchExchangeName(code);
        if (name.empty() || std::find(out.begin(), out.end(), name) != out.end())
            continue;
        if (code == "BN") {
            out.insert(out.begin(), name);
        } else {
            out.push_back(name);
        }
        if (out.size() == 4)
            break; // every name of the map is listed
    }
    return out;
}

std::vector<std::string> SearchSeries(const SecurityTable& table, const SearchFilters& f)
{
    std::vector<std::string> out;
    const SecurityTable::Range r = scrip_finder_detail::rangeOf(table, f.symbol);
    // The series of the typed symbol when it names any security: the list
    // then offers what that symbol trades in, not its whole letter's.
    bool exact = false;
    for (int i = r.first; i < r.last && !exact && !f.symbol.empty(); ++i)
        exact = table.row(i).symbol.view() == f.symbol;
    for (int i = r.first; i < r.last; ++i) {
        const std::string_view t = table.row(i).inst_type.view();
        if (exact && table.row(i).symbol.view() != f.symbol)
            continue;
        if (t.empty() || t == "CM" || t == "IN" || std::find(out.begin(), out.end(), t) != out.end())
            continue;
        if (t == "EQ")
            out.insert(out.begin(), std::string(t));
        else
            out.emplace_back(t);
    }
    return out;
}

std::vector<std::string> SearchExpiries(const SecurityTable& table, const SearchFilters& f)
{
    std::vector<std::pair<int64_t, std::string>> dated;
    const bool narrowed = !f.symbol.empty() || !f.exchange.empty() || !f.series.empty() || !f.strike.empty() ||
                          !f.optionType.empty();
    const SecurityTable::Range r = scrip_finder_detail::rangeOf(table, f.symbol);
    for (int i = r.first; i < r.last; ++i) {
        const SecurityRecord& s = table.row(i);
        if (s.expiry.empty())
            continue;
        if (narrowed && (!(f.symbol.empty() || s.symbol.view() == f.symbol) || !scrip_finder_detail::othersMatch(s, f, false)))
            continue;
        const std::string e(s.expiry.view());
        if (std::any_of(dated.begin(), dated.end(), [&](const auto& d) { return d.second == e; }))
            continue;
        const int64_t date = scrip_finder_detail::expiryDate(e);
        const auto at = std::upper_bound(dated.begin(), dated.end(), date,
                                         [](int64_t d, const auto& item) { return d < item.first; });
        dated.insert(at, {date, e});
    }
    std::vector<std::string> out;
    for (auto& d : dated)
        out.push_back(std::move(d.second));
    return out;
}

std::vector<std::string> SearchStrikes(const SecurityTable& table, const SearchFilters& f)
{
    std::vector<std::string> out;
    const bool narrowed = !f.symbol.empty() || !f.exchange.empty() || !f.series.empty() || !f.expiry.empty() ||
                          !f.optionType.empty();
    const SecurityTable::Range r = scrip_finder_detail::rangeOf(table, f.symbol);
    scrip_finder_detail::OnceList once(out);
    for (int i = r.first; i < r.last; ++i) {
        const SecurityRecord& s = table.row(i);
        if (s.strike <= 0)
            continue;
        if (narrowed &&
            (!(f.symbol.empty() || s.symbol.view() == f.symbol) || !scrip_finder_detail::othersMatch(s, f, true, false)))
            continue;
        once.add(StrikeText(s));
    }
    return out;
}

std::vector<std::string> SearchOptionTypes(std::string_view series)
{
    if (scrip_finder_detail::isOption(series))
        return {"CE", "PE"};
    return {};
}

std::string SearchMissingField(const SearchFilters& f)
{
    if (f.symbol.empty())
        return "Please enter the Symbol";
    if (f.exchange.empty())
        return "Please select the Exchange";
    if (f.series.empty())
        return "Please select the Series";
    const bool future = scrip_finder_detail::isFuture(f.series), option = scrip_finder_detail::isOption(f.series);
    if ((future || option) && f.expiry.empty())
        return "Please select the Expiry";
    if (option && f.strike.empty())
        return "Please select the Strike";
    if (option && f.optionType.empty())
        return "Please select the Option Type";
    return {};
}

std::string SearchDisplayKey(const SearchFilters& f)
{
    const std::string_view t = f.series;
    if (t == "IN")
        return {};
    if (scrip_finder_detail::isFuture(t))
        return f.symbol + "~" + f.series + "~" + f.expiry;
    if (scrip_finder_detail::isOption(t))
        return f.symbol + "~" + f.series + "~" + f.expiry + "~" + f.strike + "~" + f.optionType;
    return f.symbol + "~" + f.series;
}

int SearchChoice(const SecurityTable& table, const SearchFilters& f)
{
    const std::string key = SearchDisplayKey(f);
    if (key.empty())
        return -1;
    const SecurityTable::Range r = scrip_finder_detail::rangeOf(table, f.symbol);
    for (int i = r.first; i < r.last; ++i) {
        const SecurityRecord& s = table.row(i);
        if (s.displayKeyIs(key) && s.market_exchange.view() == f.exchange)
            return i;
    }
    return -1;
}
