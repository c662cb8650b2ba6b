#include "server/SecurityTable.h"

#include "app/base/LogWriter.h"
#include "server/ExpiryDates.h"

#include "pf/threads.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

// File-local helpers.
namespace {
namespace security_table_detail {

std::mutex g_publishMutex;
std::shared_ptr<SecurityTable> g_current; // guarded by g_publishMutex

// Adds a date unless the list has it already (the first text of a date stays).
void insertExpiryDate(std::vector<ExpDateCompare>& list, const ExpDateCompare& e)
{
    auto it = std::lower_bound(list.begin(), list.end(), e.date,
                               [](const ExpDateCompare& a, int d) { return a.date < d; });
    if (it != list.end() && it->date == e.date)
        return;
    list.insert(it, e);
}

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
    insertExpiryDate(list, e);
}

// Threads worth using for a per-row pass over n rows: one for a small table,
// up to eight for a large one (each with at least 10,000 rows).
size_t partsFor(size_t n)
{
    return n < 20'000 ? 1 : std::min<size_t>(std::min(pf::usableCpus(), 8u), n / 10'000);
}

// Runs f(part) for part 0..parts-1, part 0 on the calling thread; rethrows
// the first failure after all have finished.
template <typename F>
void runParts(size_t parts, F&& f)
{
    std::vector<std::exception_ptr> errors(parts);
    auto guarded = [&](size_t part) {
        try {
            f(part);
        } catch (...) {
            errors[part] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(parts);
    for (size_t part = 1; part < parts; ++part) {
        try {
            threads.emplace_back(guarded, part);
        } catch (const std::system_error&) {
            guarded(part); // no thread to spare: this one does the part
        }
    }
    guarded(0);
    for (auto& t : threads)
        t.join();
    for (const auto& e : errors)
        if (e)
            std::rethrow_exception(e);
}

// The maps' exchanges' codes, in their order.
constexpr std::array<uint16_t, 7> kMapCodes = [] {
    std::array<uint16_t, 7> codes{};
    for (size_t i = 0; i < codes.size(); ++i)
        codes[i] = TwoLetterCode(SecurityTable::kMapExchanges[i]);
    return codes;
}();

} // namespace security_table_detail
} // namespace

void DeriveSecurityFlags(SecurityRecord& rec)
{
    const uint16_t x = TwoLetterCode(rec.market_exchange.view());
    switch (TwoLetterCode(rec.inst_type.view())) {
    case TwoLetterCode("OS"):
    case TwoLetterCode("OI"):
    case TwoLetterCode("FS"):
    case TwoLetterCode("FI"):
        rec.derivative = 1;
        rec.currency = 0;
        break;
    case TwoLetterCode("OC"):
    case TwoLetterCode("FC"):
        rec.derivative = 1;
        rec.currency = 1;
        break;
    case TwoLetterCode("IN"):
        if (x == TwoLetterCode("CN")) {
            rec.currency = 1;
        } else if (x == TwoLetterCode("NN")) {
            rec.derivative = 1;
        } else {
            rec.derivative = 0;
            rec.currency = 0;
        }
        break;
    case TwoLetterCode("CO"):
    case TwoLetterCode("CF"):
    case TwoLetterCode("CM"):
    case TwoLetterCode("CI"):
        rec.derivative = 1;
        rec.currency = 0;
        rec.commodity = 1;
        break;
    default:
        rec.derivative = 0;
        rec.currency = 0;
        break;
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
    const size_t t = static_cast<size_t>(token);
    if ((t >> kPageBits) < pageCount)
        return pages[t >> kPageBits][t & (kPageSlots - 1)];
    auto it = overflow.find(token);
    return it == overflow.end() ? -1 : it->second;
}

void SecurityTable::TokenMap::set(int token, int row)
{
    if (token < 0)
        return;
    const size_t t = static_cast<size_t>(token);
    // The build gave each page some token of the map falls in a page of its own.
    if ((t >> kPageBits) < pageCount)
        pages[t >> kPageBits][t & (kPageSlots - 1)] = row;
    else
        overflow[token] = row;
}

int SecurityTable::mapIndex(std::string_view exch)
{
    const uint16_t code = TwoLetterCode(exch);
    for (size_t i = 0; i < security_table_detail::kMapCodes.size(); ++i)
        if (code == security_table_detail::kMapCodes[i])
            return static_cast<int>(i);
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
    m_slots = {};
    m_pageTable = {};
    m_expFS.clear();
    m_expFI.clear();
    m_expFC.clear();
    m_expCF.clear();

    const int n = count();
    // (map, token, watch token, first byte of the display key) per row, so
    // the maps and buckets are filled without a second walk over the large
    // rows. A row without a display key has map -1 and first -1.
    struct Keys {
        int map;
        int token;
        int wtoken;
        int first;
    };
    // Every entry is written below before it is read: no clearing first.
    // A full master's keys (some 3 MiB) lie on large pages: in small pages
    // they would fault in one by one, at more cost than the pass that fills
    // them. Above 2 MiB they are rounded up to the 4 MiB that is asked for
    // on large pages; a smaller table's come from the heap.
    constexpr size_t kLargeKeys = (size_t{2} << 20) + 1;
    const size_t keyBytes = static_cast<size_t>(n) * sizeof(Keys);
    struct KeysFree {
        size_t bytes;
        void operator()(Keys* p) const noexcept
        {
            if (bytes >= kLargeKeys)
                pf::memory::freeLarge(p, bytes);
            else
                delete[] p;
        }
    };
    const std::unique_ptr<Keys[], KeysFree> keys(
        keyBytes >= kLargeKeys ? static_cast<Keys*>(pf::memory::allocateLarge(keyBytes)) : new Keys[static_cast<size_t>(n)],
        KeysFree{keyBytes});
    // The per-row work is independent: a large table does it on a few
    // threads, in pieces that the threads take in turn (many more pieces
    // than threads, so that a thread the machine keeps waiting holds up one
    // small piece), each piece with its own token maxima and expiry lists,
    // merged after in row order.
    struct Part {
        int maxToken[7] = {-1, -1, -1, -1, -1, -1, -1};
        int maxWatch = -1;
        std::vector<ExpDateCompare> fs, fi, fc, cf;
    };
    // Which pages of each map (0..6, 7 the watch map) some token falls in,
    // marked by the per-row pass.
    constexpr size_t kMaps = 8;
    constexpr size_t kPagesAtMost = ((kMaxArrayToken - 1) >> TokenMap::kPageBits) + 1;
    const std::unique_ptr<std::atomic<uint8_t>[]> pageUsed(new std::atomic<uint8_t>[kMaps * kPagesAtMost]());
    auto markPage = [&pageUsed](size_t map, int token) {
        std::atomic<uint8_t>& used = pageUsed[map * kPagesAtMost + (static_cast<size_t>(token) >> TokenMap::kPageBits)];
        // Most rows find their page marked: reading first leaves the line
        // shared between the threads instead of moving it at every write.
        if (!used.load(std::memory_order_relaxed))
            used.store(1, std::memory_order_relaxed);
    };
    const size_t threads = security_table_detail::partsFor(static_cast<size_t>(n));
    // The threads below fill the keys side by side from the start: mapped
    // first, each large page is cleared once.
    if (keyBytes >= kLargeKeys)
        pf::memory::mapNow(keys.get(), keyBytes, static_cast<unsigned>(threads));
    const size_t pieces = threads == 1 ? 1 : threads * 8;
    std::vector<Part> partState(pieces);
    std::atomic<size_t> nextPiece{0};
    security_table_detail::runParts(threads, [&](size_t) {
        for (size_t piece; (piece = nextPiece.fetch_add(1, std::memory_order_relaxed)) < pieces;) {
            Part& ps = partState[piece];
            const int from = static_cast<int>(static_cast<size_t>(n) * piece / pieces);
            const int to = static_cast<int>(static_cast<size_t>(n) * (piece + 1) / pieces);
            for (int i = from; i < to; ++i) {
                SecurityRecord& rec = m_rows[static_cast<size_t>(i)];
                // One derivation for both builds, so the flags of a row never
                // depend on whether a merge ran.
                DeriveSecurityFlags(rec);

                const uint16_t t = TwoLetterCode(rec.inst_type.view());
                const bool future = t == TwoLetterCode("FS") || t == TwoLetterCode("FI") || t == TwoLetterCode("FC") ||
                                    t == TwoLetterCode("CF");
                if (future && (kind == Build::Full || rec.status == "ACT")) {
                    auto& list = t == TwoLetterCode("FS")   ? ps.fs
                                 : t == TwoLetterCode("FI") ? ps.fi
                                 : t == TwoLetterCode("FC") ? ps.fc
                                                            : ps.cf;
                    security_table_detail::insertExpiry(list, rec);
                }

                // Old-layout rows carry no watch token; without one they could
                // not be subscribed, so derive it after a merge as well.
                if (rec.wtoken == 0)
                    rec.wtoken = DeriveWatchToken(rec);
                const int mi = mapIndex(rec.market_exchange.view());
                keys[static_cast<size_t>(i)] =
                    !rec.hasDisplayKey() ? Keys{-1, 0, 0, -1}
                                         : Keys{mi, rec.token, rec.wtoken, rec.displayKeyFirst()};
                // Only rows with a display key go into the maps (below).
                if (!rec.hasDisplayKey())
                    continue;
                if (mi >= 0 && rec.token >= 0 && rec.token < kMaxArrayToken) {
                    ps.maxToken[mi] = std::max(ps.maxToken[mi], rec.token);
                    markPage(static_cast<size_t>(mi), rec.token);
                }
                if (rec.wtoken > 0 && rec.wtoken < kMaxArrayToken) {
                    ps.maxWatch = std::max(ps.maxWatch, rec.wtoken);
                    markPage(kMaps - 1, rec.wtoken);
                }
            }
        }
    });
    for (const Part& ps : partState) {
        for (int mi = 0; mi < 7; ++mi)
            m_tokenMaps[mi].maxToken = std::max(m_tokenMaps[mi].maxToken, ps.maxToken[mi]);
        m_watchMap.maxToken = std::max(m_watchMap.maxToken, ps.maxWatch);
        for (const ExpDateCompare& e : ps.fs)
            security_table_detail::insertExpiryDate(m_expFS, e);
        for (const ExpDateCompare& e : ps.fi)
            security_table_detail::insertExpiryDate(m_expFI, e);
        for (const ExpDateCompare& e : ps.fc)
            security_table_detail::insertExpiryDate(m_expFC, e);
        for (const ExpDateCompare& e : ps.cf)
            security_table_detail::insertExpiryDate(m_expCF, e);
    }

    // The maps and the buckets are filled from the keys in two passes that
    // share nothing, side by side where the table has threads: one fills the
    // exchanges' token maps (a key names its map), the other the watch map
    // and the buckets. Each pass goes over the keys in row order, so within
    // a map a later row of a token replaces an earlier one.
    // The pages: a map's page table reaches its largest token; the pages a
    // token falls in are carved in a row from one block after the shared
    // page of -1s, the others name that one. Each map's task fills its own.
    TokenMap* maps[kMaps];
    for (size_t m = 0; m + 1 < kMaps; ++m)
        maps[m] = &m_tokenMaps[m];
    maps[kMaps - 1] = &m_watchMap;
    size_t tableEntries = 0;
    size_t usedPages = 0;
    for (size_t m = 0; m < kMaps; ++m) {
        TokenMap& map = *maps[m];
        map.pageCount = map.maxToken >= 0 ? (static_cast<size_t>(map.maxToken) >> TokenMap::kPageBits) + 1 : 0;
        tableEntries += map.pageCount;
        for (size_t p = 0; p < map.pageCount; ++p)
            map.ownPageCount += pageUsed[m * kPagesAtMost + p].load(std::memory_order_relaxed);
        usedPages += map.ownPageCount;
    }
    if (usedPages > 0) {
        const size_t allSlots = (1 + usedPages) * TokenMap::kPageSlots;
        m_slots = std::unique_ptr<int[], SecuritySlotsFree>(pf::memory::LargeAllocator<int>().allocate(allSlots),
                                                            SecuritySlotsFree(allSlots));
        m_pageTable = std::make_unique<int*[]>(tableEntries);
        // Filled by the map tasks at once, each its own pages, side by side.
        pf::memory::mapNow(m_slots.get(), allSlots * sizeof(int), static_cast<unsigned>(threads));
        int* const empty = m_slots.get();
        std::fill_n(empty, TokenMap::kPageSlots, -1);
        int* nextPage = empty + TokenMap::kPageSlots;
        int** nextEntry = m_pageTable.get();
        for (size_t m = 0; m < kMaps; ++m) {
            TokenMap& map = *maps[m];
            map.pages = nextEntry;
            nextEntry += map.pageCount;
            map.ownPages = nextPage;
            for (size_t p = 0; p < map.pageCount; ++p) {
                const bool used = pageUsed[m * kPagesAtMost + p].load(std::memory_order_relaxed);
                map.pages[p] = used ? nextPage : empty;
                nextPage += used ? TokenMap::kPageSlots : 0;
            }
        }
    }
    auto clearPages = [](TokenMap& m) { std::fill_n(m.ownPages, m.ownPageCount * TokenMap::kPageSlots, -1); };
    auto fillTokenMaps = [&] {
        for (TokenMap& m : m_tokenMaps)
            clearPages(m);
        for (int i = 0; i < n; ++i) {
            const Keys& k = keys[static_cast<size_t>(i)];
            if (k.first >= 0 && k.map >= 0)
                m_tokenMaps[k.map].set(k.token, i);
        }
    };
    auto fillWatchMapAndBuckets = [&] {
        clearPages(m_watchMap);
        // Buckets: a new group begins where the first byte changes; a later
        // group of the same byte replaces an earlier one. Rows without a
        // display key are in none.
        int prevFirst = -1;
        for (int i = 0; i < n; ++i) {
            const Keys& k = keys[static_cast<size_t>(i)];
            if (k.first < 0)
                continue;
            if (k.wtoken > 0)
                m_watchMap.set(k.wtoken, i);
            if (k.first != prevFirst) {
                m_buckets[k.first].first = i;
                prevFirst = k.first;
            }
            m_buckets[k.first].last = i + 1;
        }
    };
    security_table_detail::runParts(std::min<size_t>(threads, 2), [&](size_t part) {
        if (threads == 1) {
            fillTokenMaps();
            fillWatchMapAndBuckets();
        } else if (part == 0) {
            fillTokenMaps();
        } else {
            fillWatchMapAndBuckets();
        }
    });
}

int SecurityTable::mappedRow(std::string_view exch, int token) const
{
    const int mi = mapIndex(exch);
    return mi < 0 ? -1 : m_tokenMaps[mi].lookup(token);
}

size_t SecurityTable::tokenMapBytes() const
{
    size_t entries = 0;
    for (const TokenMap& m : m_tokenMaps)
        entries += m.pageCount;
    entries += m_watchMap.pageCount;
    return m_slots.get_deleter().count * sizeof(int) + entries * sizeof(int*);
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
    // The page table is small and stays in the cache: only the slot is fetched.
    if (const int* slot = m_extended && w > 0 ? m_watchMap.slot(w) : nullptr)
        __builtin_prefetch(slot);
}

int SecurityTable::prefetchWToken(int w) const
{
    if (w <= 0 || !m_extended)
        return -1;
    const int i = m_watchMap.lookup(w);
    if (!valid(i))
        return -1;
    // A row's first line holds all that a quote's write reads: the
    // processor can fetch only so many lines at a time, and the feed keeps
    // several quotes' fetches going.
    __builtin_prefetch(&m_rows[static_cast<size_t>(i)]);
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
        if (rec.displayKeyIs(key) && rec.market_exchange == exch)
            return i;
    }
    return -1;
}

std::shared_ptr<SecurityTable> SecurityTable::current()
{
    std::lock_guard lock(security_table_detail::g_publishMutex);
    return security_table_detail::g_current;
}

void SecurityTable::publish(std::shared_ptr<SecurityTable> table)
{
    std::shared_ptr<SecurityTable> old;
    {
        std::lock_guard lock(security_table_detail::g_publishMutex);
        old = std::exchange(security_table_detail::g_current, std::move(table));
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
