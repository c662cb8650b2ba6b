#pragma once
// The in-memory security master with the indexes every subsystem uses to turn
// a token, watch token, symbol, scrip code or display key into a row (the
// security index; -1 = not found).
//
// A table's shape (rows, buckets, maps) is fixed once built: a reload builds a
// new table and publishes it, and the previous one lives on while anyone still
// holds it. Only the rows' live parts change afterwards, through LiveQuote.
#include "server/SecurityRecord.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One date of an expiry list.
struct ExpDateCompare {
    int date = 0;      // yyyymmdd
    char text[10] = {}; // expiry text as in the master
};

// Frees a table's block of token-map pages.
struct SecuritySlotsFree {
    size_t count;
    SecuritySlotsFree(size_t n = 0) : count(n) {}
    void operator()(int* p) const noexcept { pf::memory::LargeAllocator<int>().deallocate(p, count); }
};

class SecurityTable {
public:
    // The exchange codes with a token map, in this order.
    static constexpr const char* kMapExchanges[7] = {"NN", "BN", "CN", "CB", "CM", "NC", "MC"};
    // Tokens above this get a hash entry instead of an array slot, so a stray
    // huge token in the file cannot make a huge allocation.
    static constexpr int kMaxArrayToken = 4'000'000;

    enum class Build { Full, Merge };

    SecurityTable() = default;
    SecurityTable(const SecurityTable&) = delete;
    SecurityTable& operator=(const SecurityTable&) = delete;

    // Takes the rows and builds flags, expiry lists, letter buckets and token
    // maps. Merge builds take expiry dates only from "ACT" rows.
    void build(SecurityRows rows, Build kind, bool extendedFormat);

    int count() const { return static_cast<int>(m_rows.size()); }
    bool valid(int index) const { return index >= 0 && index < count(); }
    SecurityRecord& row(int index) { return m_rows[static_cast<size_t>(index)]; }
    const SecurityRecord& row(int index) const { return m_rows[static_cast<size_t>(index)]; }
    const SecurityRows& rows() const { return m_rows; }
    SecurityRows& rows() { return m_rows; }

    bool extended_security_format() const { return m_extended; }

    // Rows [first, last) of the group of display keys starting with c (the
    // last such group when the file was not grouped); first == last when none.
    struct Range {
        int first = 0;
        int last = 0;
    };
    Range bucket(unsigned char c) const { return m_buckets[c]; }

    const std::vector<ExpDateCompare>& futureStockExpiries() const { return m_expFS; }
    const std::vector<ExpDateCompare>& futureIndexExpiries() const { return m_expFI; }
    const std::vector<ExpDateCompare>& futureCurrencyExpiries() const { return m_expFC; }
    const std::vector<ExpDateCompare>& commodityFutureExpiries() const { return m_expCF; }

    // Look-ups; each returns a row or -1.
    int searchToken(int token, std::string_view exch) const;
    int searchWToken(int wtoken) const;
    // Asks the processor to fetch the row searchWToken(wtoken) will most
    // likely return, without waiting for it (the feed overlaps the fetch
    // with other work). Looks at no row; returns that row, -1 when none.
    int prefetchWToken(int wtoken) const;
    // Fetches only the look-up entry of wtoken (the step before).
    void prefetchWTokenEntry(int wtoken) const;
    int searchSymbol(std::string_view symbol, std::string_view exch, std::string_view series) const;
    int searchScripCode(int code, char letter) const;
    int searchSymbolOrCode(std::string_view text) const;
    int searchScripKey(std::string_view key, std::string_view exch) const;

    // Map entry (for tests of the index build): the row stored for token in
    // the exchange's map, or -1.
    int mappedRow(std::string_view exch, int token) const;
    // Bytes the token maps' slots and page tables take (for the memory
    // figures), without the overflow hashes.
    size_t tokenMapBytes() const;

    // The published table. Readers keep the returned pointer for the duration
    // of their work; a reload publishes a new table without disturbing them.
    static std::shared_ptr<SecurityTable> current();
    static void publish(std::shared_ptr<SecurityTable> table);

private:
    // A token's row in two steps: its page (kPageSlots tokens) in the map's
    // page table, then its slot in the page (-1 when absent). Only pages some
    // token falls in take memory; the others are one shared page of -1s, so
    // a map takes memory in proportion to its tokens, not to its largest one
    // (a master's tokens lie in a few dense runs far apart).
    struct TokenMap {
        static constexpr int kPageBits = 10;
        static constexpr size_t kPageSlots = size_t{1} << kPageBits;
        int** pages = nullptr;                  // a part of m_pageTable
        size_t pageCount = 0;                   // tokens below pageCount * kPageSlots have a page
        int* ownPages = nullptr;                // this map's pages in m_slots, in a row
        size_t ownPageCount = 0;
        std::unordered_map<int, int> overflow;  // tokens >= kMaxArrayToken
        int maxToken = -1;
        // The slot of a token below pageCount * kPageSlots (the look-up's one
        // fetch from the pages), nullptr for others.
        const int* slot(int token) const
        {
            const size_t t = static_cast<size_t>(token);
            return token >= 0 && (t >> kPageBits) < pageCount ? &pages[t >> kPageBits][t & (kPageSlots - 1)]
                                                               : nullptr;
        }
        int lookup(int token) const;
        void set(int token, int row);
    };
    static int mapIndex(std::string_view exch);

    SecurityRows m_rows;
    // Every map's pages of slots in one block, after the shared page of
    // -1s: where they come to a few MiB they fill large pages.
    std::unique_ptr<int[], SecuritySlotsFree> m_slots;
    // Every map's page table.
    std::unique_ptr<int*[]> m_pageTable;
    Range m_buckets[256] = {};
    TokenMap m_tokenMaps[7];
    TokenMap m_watchMap;
    bool m_extended = false;
    std::vector<ExpDateCompare> m_expFS, m_expFI, m_expFC, m_expCF;
};

// Derived flags of a row from its instrument type and exchange code.
void DeriveSecurityFlags(SecurityRecord& rec);
// The watch token of a row without one: 2*token-1 for NN, CN, CM and MC,
// 2*token for BN, CB and NC; other exchange codes keep 0.
int DeriveWatchToken(const SecurityRecord& rec);

// The look-ups over the published table (-1 when none is published).
int Search_Token(int token, std::string_view exch);
int Search_WToken(int wtoken);
int Search_Symbol(std::string_view symbol, std::string_view exch, std::string_view series);
int Search_ScripCode(int code, char letter);
int Search_SymbolOrCode(std::string_view text);
int Search_ScripKey(std::string_view key, std::string_view exch);
bool IsCashScrip(int index);
