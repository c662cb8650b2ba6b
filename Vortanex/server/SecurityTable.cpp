#include "server/SecurityTable.h"

#include "app/base/LogWriter.h"
#include "server/ExpiryDates.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

// File-local helpers.
namespace {
namespace detail {

std::mutex g_publishMutex;
std::shared_ptr<SecurityTable> g_current; // guarded by g_publishMutex

void insertExpiry(std::vector<ExpDateCompare>& list, const SecurityRecord& rec)
{
    // The lists hold a handful of dates shared by thousands of contracts:
    // a text already listed needs no conversion.
    for (const ExpDateCompare& e : list)
        if (rec.expiry == e.text)
            return;
    std::string out;
    if (ExpiryTextToDate(rec.expiry.view(), out) != 0)
        return;
    ExpDateCompare e;
    e.date = std::atoi(out.c_str());
    const std::string_view text = rec.expiry.view().substr(0, sizeof e.text - 1);
    std::memcpy(e.text, text.data(), text.size());
    auto it = std::lower_bound(list.begin(), list.end(), e.date,
                               [](const ExpDateCompare& a, int d) { return a.date < d; });
    if (it != list.end() && it->date == e.date)
        return;
    list.insert(it, e);
}

} // namespace detail
} // namespace

void DeriveSecurityFlags(SecurityRecord& rec)
{
    const std::string_view t = rec.inst_type.view();
    const std::string_view x = rec.market_exchange.view();
    if (t == "OS" || t == "OI" || t == "FS" || t == "FI") {
        rec.derivative = 1;
        rec.currency = 0;
    } else if (t == "OC" || t == "FC") {
        rec.derivative = 1;
        rec.currency = 1;
    } else if (t == "IN" && x == "CN") {
        rec.currency = 1;
    } else if (t == "IN" && x == "NN") {
        rec.derivative = 1;
    } else {
        rec.derivative = 0;
        rec.currency = 0;
    }
    if (t == "CO" || t == "CF" || t == "CM" || t == "CI") {
        rec.derivative = 1;
        rec.currency = 0;
        rec.commodity = 1;
    }
}

int DeriveWatchToken(const SecurityRecord& rec)
{
    const std::string_view x = rec.market_exchange.view();
    const int64_t t = rec.token;
    int64_t w = 0;
    if (x == "NN" || x == "CN" || x == "CM" || x == "MC")
        w = 2 * t - 1;
    else if (x == "BN" || x == "CB" || x == "NC")
        w = 2 * t;
    // A token whose watch token would not fit is left without one.
    return w > 0 && w <= INT32_MAX ? static_cast<int>(w) : 0;
}

int SecurityTable::TokenMap::lookup(int token) const
{
    if (token < 0)
        return -1;
    if (token < static_cast<int>(rowByToken.size()))
        return rowByToken[static_cast<size_t>(token)];
    auto it = overflow.find(token);
    return it == overflow.end() ? -1 : it->second;
}

void SecurityTable::TokenMap::set(int token, int row)
{
    if (token < 0)
        return;
    if (token < static_cast<int>(rowByToken.size()))
        rowByToken[static_cast<size_t>(token)] = row;
    else
        overflow[token] = row;
}

int SecurityTable::mapIndex(std::string_view exch)
{
    for (int i = 0; i < 7; ++i)
        if (exch == kMapExchanges[i])
            return i;
    return -1;
}

void SecurityTable::build(SecurityRows rows, Build kind, bool extendedFormat)
{
    m_rows = std::move(rows);
    m_extended = extendedFormat;
    for (auto& b : m_buckets)
        b = Range{};
    for (auto& m : m_tokenMaps)
        m = TokenMap{};
    m_watchMap = TokenMap{};
    m_expFS.clear();
    m_expFI.clear();
    m_expFC.clear();
    m_expCF.clear();

    int prevFirst = -1;
    const int n = count();
    // (map, token, watch token) per row, so the maps are filled without a
    // second walk over the large rows.
    struct Keys {
        int map;
        int token;
        int wtoken;
    };
    std::vector<Keys> keys(static_cast<size_t>(n), Keys{-1, 0, 0});
    for (int i = 0; i < n; ++i) {
        SecurityRecord& rec = m_rows[static_cast<size_t>(i)];
        // One derivation for both builds, so the flags of a row never depend
        // on whether a merge ran.
        DeriveSecurityFlags(rec);

        const std::string_view t = rec.inst_type.view();
        if ((t == "FS" || t == "FI" || t == "FC" || t == "CF") && (kind == Build::Full || rec.status == "ACT")) {
            auto& list = t == "FS" ? m_expFS : t == "FI" ? m_expFI : t == "FC" ? m_expFC : m_expCF;
            detail::insertExpiry(list, rec);
        }

        // Old-layout rows carry no watch token; without one they could not be
        // subscribed, so derive it after a merge as well.
        if (rec.wtoken == 0)
            rec.wtoken = DeriveWatchToken(rec);
        const int mi = mapIndex(rec.market_exchange.view());
        if (!rec.display_name.empty())
            keys[static_cast<size_t>(i)] = Keys{mi, rec.token, rec.wtoken};
        if (mi >= 0 && rec.token >= 0 && rec.token < kMaxArrayToken)
            m_tokenMaps[mi].maxToken = std::max(m_tokenMaps[mi].maxToken, rec.token);
        if (rec.wtoken > 0 && rec.wtoken < kMaxArrayToken)
            m_watchMap.maxToken = std::max(m_watchMap.maxToken, rec.wtoken);

        // Buckets: a new group begins where the first byte changes; a later
        // group of the same byte replaces an earlier one.
        if (rec.display_name.empty())
            continue;
        const unsigned char c = static_cast<unsigned char>(rec.display_name.text[0]);
        if (static_cast<int>(c) != prevFirst) {
            m_buckets[c].first = i;
            prevFirst = c;
        }
        m_buckets[c].last = i + 1;
    }

    for (auto& m : m_tokenMaps)
        if (m.maxToken >= 0)
            m.rowByToken.assign(static_cast<size_t>(m.maxToken) + 10, -1);
    if (m_watchMap.maxToken >= 0)
        m_watchMap.rowByToken.assign(static_cast<size_t>(m_watchMap.maxToken) + 40, -1);
    for (int i = 0; i < n; ++i) {
        const Keys& k = keys[static_cast<size_t>(i)];
        if (k.map >= 0)
            m_tokenMaps[k.map].set(k.token, i);
        if (k.wtoken > 0)
            m_watchMap.set(k.wtoken, i);
    }
}

int SecurityTable::mappedRow(std::string_view exch, int token) const
{
    const int mi = mapIndex(exch);
    return mi < 0 ? -1 : m_tokenMaps[mi].lookup(token);
}

int SecurityTable::searchToken(int token, std::string_view exch) const
{
    if (token < 0)
        return -1;
    const int mi = mapIndex(exch);
    // The maps hold every row of their exchange, so a miss there is final.
    if (mi >= 0 && mi < 5) {
        const int i = m_tokenMaps[mi].lookup(token);
        return valid(i) && row(i).token == token && row(i).market_exchange == exch ? i : -1;
    }
    for (int i = 0; i < count(); ++i)
        if (row(i).token == token && row(i).market_exchange == exch)
            return i;
    return -1;
}

void SecurityTable::prefetchWTokenEntry(int w) const
{
    if (m_extended && w > 0 && static_cast<size_t>(w) < m_watchMap.rowByToken.size())
        __builtin_prefetch(&m_watchMap.rowByToken[static_cast<size_t>(w)]);
}

int SecurityTable::prefetchWToken(int w) const
{
    if (w <= 0 || !m_extended)
        return -1;
    const int i = m_watchMap.lookup(w);
    if (!valid(i))
        return -1;
    const char* row = reinterpret_cast<const char*>(&m_rows[static_cast<size_t>(i)]);
    for (size_t at = 0; at < sizeof(SecurityRecord); at += 64)
        __builtin_prefetch(row + at);
    return i;
}

int SecurityTable::searchWToken(int w) const
{
    if (w <= 0)
        return -1;
    if (m_extended) {
        // An unknown watch token must not resolve to row 0: its quote would
        // be written into another security.
        const int i = m_watchMap.lookup(w);
        return valid(i) && row(i).wtoken == w ? i : -1;
    }
    auto viaMap = [&](int mi, int t) {
        const int i = m_tokenMaps[mi].lookup(t);
        return valid(i) && row(i).token == t && row(i).market_exchange == kMapExchanges[mi] ? i : -1;
    };
    if (w % 2 == 1) {
        const int t = w / 2 + 1; // (w + 1) / 2 without overflow
        int i = viaMap(0, t);
        if (i < 0)
            i = viaMap(2, t);
        if (i >= 0)
            return i;
    } else {
        const int i = viaMap(1, w / 2);
        if (i >= 0)
            return i;
    }
    for (int i = 0; i < count(); ++i)
        if (row(i).wtoken == w)
            return i;
    return -1;
}

int SecurityTable::searchSymbol(std::string_view symbol, std::string_view exch, std::string_view series) const
{
    if (symbol.empty())
        return -1;
    const Range r = bucket(static_cast<unsigned char>(symbol[0]));
    for (int i = r.first; i < r.last; ++i) {
        const SecurityRecord& rec = row(i);
        if (rec.symbol == symbol && rec.market_exchange == exch && rec.inst_type == series)
            return i;
    }
    return -1;
}

int SecurityTable::searchScripCode(int code, char letter) const
{
    Range r{0, count()};
    if (letter != '-')
        r = bucket(static_cast<unsigned char>(letter));
    for (int i = r.first; i < r.last; ++i)
        if (row(i).scrip_code == code)
            return i;
    return -1;
}

int SecurityTable::searchSymbolOrCode(std::string_view text) const
{
    const int code = std::atoi(std::string(text.substr(0, 31)).c_str());
    for (int i = 0; i < count(); ++i) {
        const SecurityRecord& rec = row(i);
        if (rec.symbol == text || (code != 0 && rec.scrip_code == code))
            return i;
    }
    return -1;
}

int SecurityTable::searchScripKey(std::string_view key, std::string_view exch) const
{
    if (key.empty())
        return -1;
    const Range r = bucket(static_cast<unsigned char>(key[0]));
    for (int i = r.first; i < r.last; ++i) {
        const SecurityRecord& rec = row(i);
        if (rec.display_name == key && rec.market_exchange == exch)
            return i;
    }
    return -1;
}

std::shared_ptr<SecurityTable> SecurityTable::current()
{
    std::lock_guard lock(detail::g_publishMutex);
    return detail::g_current;
}

void SecurityTable::publish(std::shared_ptr<SecurityTable> table)
{
    std::shared_ptr<SecurityTable> old;
    {
        std::lock_guard lock(detail::g_publishMutex);
        old = std::exchange(detail::g_current, std::move(table));
    }
    // The old table is released outside the lock (or by its last reader).
}

int Search_Token(int token, std::string_view exch)
{
    auto t = SecurityTable::current();
    return t ? t->searchToken(token, exch) : -1;
}

int Search_WToken(int wtoken)
{
    auto t = SecurityTable::current();
    return t ? t->searchWToken(wtoken) : -1;
}

int Search_Symbol(std::string_view symbol, std::string_view exch, std::string_view series)
{
    auto t = SecurityTable::current();
    return t ? t->searchSymbol(symbol, exch, series) : -1;
}

int Search_ScripCode(int code, char letter)
{
    auto t = SecurityTable::current();
    return t ? t->searchScripCode(code, letter) : -1;
}

int Search_SymbolOrCode(std::string_view text)
{
    auto t = SecurityTable::current();
    return t ? t->searchSymbolOrCode(text) : -1;
}

int Search_ScripKey(std::string_view key, std::string_view exch)
{
    auto t = SecurityTable::current();
    return t ? t->searchScripKey(key, exch) : -1;
}

bool IsCashScrip(int index)
{
    auto t = SecurityTable::current();
    return t && t->valid(index) && IsCashScrip(t->row(index));
}
