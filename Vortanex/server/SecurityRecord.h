#pragma once
// One security of the master: its static part, read from "security.lst", and
// its live quote, written by the feed while windows on other threads read it.
#include "app/base/FixedText.h"
#include "app/base/InternedText.h"

#include "pf/large_memory.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Number of market-watch value columns (ColumnKind ids 0..22) and of quote
// slots in a copy of a quote; the quote message fills the first 21, the only
// ones a row keeps.
constexpr int kQuoteSlots = 23;
constexpr int kFeedQuoteValues = 21;

// Tick-direction codes of the quote message.
constexpr short kTickRose = 10;
constexpr short kTickFell = 20;
constexpr short kTickSameOnce = 30;
constexpr short kTickSameAgain = 40;

// A consistent copy of a row's live part.
struct QuoteData {
    int64_t last_update = 0;           // time of the last quote, epoch seconds
    double quote[kQuoteSlots] = {};    // quote values 0..20 (slots 21, 22 unused); prices in paise
    short tick_code[kQuoteSlots] = {}; // per quote value
    double year_high = 0;              // 52-week high in rupees; the feed raises it for cash scrips
    double year_low = 0;               // 52-week low in rupees
};

// The value a market-watch column kind shows: kinds 0..18 are quote values
// 0..18, kinds 19 and 20 the 52-week high and low, kinds 21 and 22 quote values
// 19 and 20. Unknown kinds give 0.
double ColumnKindValue(const QuoteData& q, int kind);
// The tick code of a column kind; kinds 19 and 20 have none (0).
short ColumnKindTick(const QuoteData& q, int kind);

// The live part of a row. Readers on any thread get a consistent copy without
// blocking the writer: a sequence lock whose payload is held in atomics with
// release stores and acquire loads (so concurrent access is well defined and
// needs no fences), writers serialised on the sequence word itself.
class LiveQuote {
public:
    LiveQuote() = default;
    // Copies are made only while a table is built, never while a feed writes.
    LiveQuote(const LiveQuote& other) { store(other.read()); }
    LiveQuote& operator=(const LiveQuote& other)
    {
        if (this != &other)
            store(other.read());
        return *this;
    }

    QuoteData read() const;
    // One value as ColumnKindValue gives it from a copy, read alone: the
    // value some write stored, without the rest of that write.
    double columnValue(int kind) const
    {
        if (kind >= 0 && kind <= 18)
            return m_quote[static_cast<size_t>(kind)].load(std::memory_order_acquire);
        switch (kind) {
        case 19:
            return m_yearHigh.load(std::memory_order_acquire);
        case 20:
            return m_yearLow.load(std::memory_order_acquire);
        case 21:
        case 22:
            return m_quote[static_cast<size_t>(kind) - 2].load(std::memory_order_acquire);
        default:
            return 0;
        }
    }
    // Replaces the whole live part (loading).
    void store(const QuoteData& data);
    // Read-modify-write under the row's write side: f gets the current values
    // and changes them; readers see either the old or the new row.
    template <typename F>
    void update(F&& f)
    {
        const uint32_t s = lockWrite();
        QuoteData d = readUnlocked();
        f(d);
        writeUnlocked(d);
        m_seq.store(s + 2, std::memory_order_release);
    }

    // The write side as the feed uses it: each value read and changed in
    // place, once, rather than the whole live part copied out and back.
    // Only the writer holding the row's write side has one.
    class Writer {
    public:
        // The writer's own values: no other writer can change them meanwhile.
        double quote(int k) const { return m_q.m_quote[static_cast<size_t>(k)].load(std::memory_order_relaxed); }
        short tick(int k) const { return m_q.m_tick[static_cast<size_t>(k)].load(std::memory_order_relaxed); }
        double yearHigh() const { return m_q.m_yearHigh.load(std::memory_order_relaxed); }
        double yearLow() const { return m_q.m_yearLow.load(std::memory_order_relaxed); }
        // Release stores, as writeUnlocked's.
        void setQuote(int k, double v) { m_q.m_quote[static_cast<size_t>(k)].store(v, std::memory_order_release); }
        void setTick(int k, short t) { m_q.m_tick[static_cast<size_t>(k)].store(t, std::memory_order_release); }
        void setYearHigh(double v) { m_q.m_yearHigh.store(v, std::memory_order_release); }
        void setYearLow(double v) { m_q.m_yearLow.store(v, std::memory_order_release); }
        void setLastUpdate(int64_t t) { m_q.m_lastUpdate.store(t, std::memory_order_release); }

    private:
        friend class LiveQuote;
        explicit Writer(LiveQuote& q) : m_q(q) {}
        LiveQuote& m_q;
    };
    // f(Writer&) under the row's write side; readers see the row either
    // before or after it.
    template <typename F>
    void write(F&& f)
    {
        const uint32_t s = lockWrite();
        Writer w(*this);
        f(w);
        m_seq.store(s + 2, std::memory_order_release);
    }

private:
    uint32_t lockWrite();
    QuoteData readUnlocked() const;
    void writeUnlocked(const QuoteData& d);

    std::atomic<uint32_t> m_seq{0}; // odd while a writer is inside
    std::atomic<int64_t> m_lastUpdate{0};
    // Only the values a quote carries: the slots after them stay 0, and a
    // smaller live part is fewer lines for the feed to fetch per quote.
    std::array<std::atomic<double>, kFeedQuoteValues> m_quote{};
    std::array<std::atomic<short>, kFeedQuoteValues> m_tick{};
    std::atomic<double> m_yearHigh{0};
    std::atomic<double> m_yearLow{0};
};

// Texts and numbers that few securities carry (file fields 11..19) and the
// advisory call, kept out of line so that a row stays small.
struct SecurityExtras {
    std::string price_unit;     // field 11, up to 63 characters
    std::string price_quantity; // field 12, up to 63
    std::string delvuni;        // field 14, up to 20
    std::string aux_text1;      // field 18, up to 100
    std::string aux_text2;      // field 19, up to 50
    std::string description;    // field 17, up to 500
    std::string advisory_text = "-NA-"; // the advisory call's text, up to 50
    std::string advisory_note;  // advisory remark, up to 127
    int denominator = 0;        // field 13
    int aux_int1 = 0;           // field 15
    int aux_int2 = 0;           // field 16

    // Set on extras made in a shared block (SecurityExtrasBlocks); a copy
    // is made on its own, so a copy never carries it.
    struct InBlock {
        bool set = false;
        InBlock() = default;
        InBlock(const InBlock&) noexcept {}
        InBlock& operator=(const InBlock&) noexcept { return *this; }
    } in_block;
};

// Frees a row's extras, made on their own or in a shared block.
struct SecurityExtrasFree {
    void operator()(SecurityExtras* p) const noexcept;
};
using SecurityExtrasPtr = std::unique_ptr<SecurityExtras, SecurityExtrasFree>;

// Extras for the many rows of a large load, made on its parsing threads:
// side by side in blocks on large pages. Made one by one on the heap, a full
// master's thousands of extras took a fresh small page every dozen (on a
// virtual machine some 20 microseconds a page fault, more than the parse of
// the records on it); a block's large page is one fault. A block is freed
// with the last extras in it, wherever the rows holding them go (row
// copies make their own). Each parsing thread makes its extras through a
// Maker of its own, which takes the block's slots a run at a time: taken
// one by one, the threads queued on the block's lock for most of a load's
// extras.
class SecurityExtrasBlocks {
public:
    SecurityExtrasBlocks() = default;
    ~SecurityExtrasBlocks(); // lets go of the block it fills
    SecurityExtrasBlocks(const SecurityExtrasBlocks&) = delete;
    SecurityExtrasBlocks& operator=(const SecurityExtrasBlocks&) = delete;

    // One thread's maker; it must not outlive the blocks it takes from.
    class Maker {
    public:
        explicit Maker(SecurityExtrasBlocks& blocks) : m_blocks(blocks) {}
        ~Maker(); // gives back the slots of its run it did not use
        Maker(const Maker&) = delete;
        Maker& operator=(const Maker&) = delete;

        // Fresh extras, as SecurityExtras() makes them. Throws std::bad_alloc.
        SecurityExtrasPtr make();

    private:
        friend class SecurityExtrasBlocks;
        SecurityExtrasBlocks& m_blocks;
        void* m_block = nullptr; // the block of its run; holds a count of each slot left
        size_t m_next = 0;       // the run's next slot
        size_t m_end = 0;        // one past its last
    };

private:
    // A run of up to `want` slots for `maker`, on mapped pages, each slot
    // holding a count of its block.
    void takeRun(Maker& maker, size_t want);

    std::mutex m_mutex;
    void* m_block = nullptr; // the block being filled; holds one count of it
    size_t m_used = 0;       // its slots given out
    size_t m_mapped = 0;     // its bytes mapped so far
};

// How a row's display key is had: its own text, or made from the row's parts
// (most keys are the symbol, type, expiry, strike and option joined by '~',
// and keeping that text again in every row would cost a master of 200,000
// securities some ten megabytes).
enum class DisplayKeyForm : uint8_t {
    Text,        // the text given (in the text pool)
    Option,      // symbol~type~expiry~strike (2 decimals)~option
    OptionFine,  // the same with the strike to 4 decimals (currency options)
    Future,      // symbol~type~expiry
    SymbolType,  // symbol~type
};

// A display key, made for its reader: at most 49 characters.
class DisplayKey {
public:
    std::string_view view() const { return std::string_view(m_text, m_size); }
    const char* c_str() const { return m_text; }
    bool empty() const { return m_size == 0; }
    bool operator==(std::string_view s) const { return view() == s; }

private:
    friend struct SecurityRecord;
    char m_text[50] = {};
    unsigned char m_size = 0;
};

// A row is two cache lines, the first holding everything a quote's write
// reads (the look-up's check, the lot, the kind, the alert flag and the live
// part's pointer): a master holds hundreds of thousands of rows, all built at
// every load, and the feed touches rows at random. Its texts that repeat
// (the symbol) are pooled, and its display key is made from its parts.
struct alignas(64) SecurityRecord {
private:
    // Made by the first quote: most of a master's securities never get one
    // in a session, and a row without it stays small and quick to load.
    std::atomic<LiveQuote*> m_live{nullptr}; // owned

public:
    int wtoken = 0; // watch token
    int token = 0;  // exchange token
    int market_lot = 0;
    int multiplier = 0;
    int derivative = 0;
    int currency = 0;
    short commodity = 0;
    // Set and cleared by the alerts from several threads.
    std::atomic<uint8_t> alert_flag{0};
    uint8_t advisory_kind = 0; // 0 none, 1 Bullish, 2 Bearish, 3 Other
    FixedText<3> inst_type;
    FixedText<3> market_exchange;
    FixedText<3> option_type;
    FixedText<5> status;
    FixedText<10> expiry;
    int tick_size = 0;

    double strike = 0;
    double year_high = 0; // 52-week high in rupees as loaded; the feed's raised value is in the quote
    double year_low = 0;  // 52-week low in rupees as loaded
    // Reference rate: written by the rate update on its own thread while
    // display code reads it.
    std::atomic<double> ref_rate{0};
    SecurityExtrasPtr extras; // null when no extra text is set
    int scrip_code = 0;

private:
    DisplayKeyForm m_displayForm = DisplayKeyForm::Text;

public:
    InternedText<32> symbol;

private:
    InternedText<50> m_displayText; // the key when its form is Text

public:

    SecurityRecord() = default;
    SecurityRecord(const SecurityRecord& o);
    SecurityRecord& operator=(const SecurityRecord& o);
    SecurityRecord(SecurityRecord&&) noexcept;
    SecurityRecord& operator=(SecurityRecord&&) noexcept;
    ~SecurityRecord();

    // The display key (empty for a row that has none).
    DisplayKey displayKey() const;
    bool hasDisplayKey() const { return m_displayForm != DisplayKeyForm::Text || !m_displayText.empty(); }
    // Its first character (0 when there is none), without making it.
    unsigned char displayKeyFirst() const
    {
        if (m_displayForm == DisplayKeyForm::Text)
            return static_cast<unsigned char>(m_displayText.c_str()[0]);
        return symbol.empty() ? '~' : static_cast<unsigned char>(symbol.c_str()[0]);
    }
    // Comparisons that skip making the key for rows of another symbol (the
    // look-ups scan thousands of rows).
    bool displayKeyIs(std::string_view key) const;
    bool displayKeyStartsWith(std::string_view prefix) const;
    // The key as a text of its own, cut to 49 characters.
    void setDisplayKey(std::string_view key);
    // The key the row's parts make in `form` (not Text).
    void setDisplayKeyForm(DisplayKeyForm form)
    {
        m_displayForm = form;
        m_displayText = {};
    }
    // `key` as the loader made it, kept as `form` when the row's parts make
    // exactly that text again, else as its own text.
    void adoptDisplayKey(std::string_view key, DisplayKeyForm form);
    // This row's key becomes `other`'s (a copy of its static part).
    void copyDisplayKey(const SecurityRecord& other)
    {
        m_displayForm = other.m_displayForm;
        m_displayText = other.m_displayText;
    }

    // The row's extras, made when it has none: by `maker` when given (a
    // large load's rows), else on their own.
    SecurityExtras& extrasForWrite(SecurityExtrasBlocks::Maker* maker = nullptr);
    // The advisory call's text ("-NA-" when there is none).
    std::string_view advisoryText() const { return extras ? std::string_view(extras->advisory_text) : "-NA-"; }
    void setAdvisoryText(std::string_view text) { extrasForWrite().advisory_text.assign(text.substr(0, 50)); }
    // File fields 13, 15 and 16 (0 when the file has none).
    int denominator() const { return extras ? extras->denominator : 0; }
    int auxInt1() const { return extras ? extras->aux_int1 : 0; }
    int auxInt2() const { return extras ? extras->aux_int2 : 0; }

    // A consistent copy of the live part, on any thread. Before the first
    // quote: zero values with the loaded 52-week high and low.
    QuoteData quote() const;
    // ColumnKindValue(quote(), kind), the one value read alone (a test that
    // needs a few values of the quote just stored, not a consistent copy).
    double columnValue(int kind) const
    {
        if (const LiveQuote* p = m_live.load(std::memory_order_acquire))
            return p->columnValue(kind);
        return kind == 19 ? year_high : kind == 20 ? year_low : 0;
    }
    // Read-modify-write of the live part (the feed); readers see the row
    // either before or after it.
    template <typename F>
    void updateQuote(F&& f)
    {
        liveForWrite().update(std::forward<F>(f));
    }
    void storeQuote(const QuoteData& data) { liveForWrite().store(data); }
    // The same, changing values in place (the feed's write of a quote).
    template <typename F>
    void writeQuote(F&& f)
    {
        liveForWrite().write(std::forward<F>(f));
    }
    // Asks the processor to fetch the live part for a write soon (the feed
    // does this before parsing a quote's values, so the fetch overlaps them).
    void prefetchQuote() const
    {
        if (const LiveQuote* p = m_live.load(std::memory_order_relaxed)) {
            // Every line the part touches, its last byte's included: it is
            // not aligned to a line (an aligned allocation would cost a
            // hundred bytes more a quoted security).
            const uintptr_t first = reinterpret_cast<uintptr_t>(p) & ~uintptr_t{63};
            const uintptr_t last = reinterpret_cast<uintptr_t>(p) + sizeof(LiveQuote) - 1;
            for (uintptr_t line = first; line <= last; line += 64)
                __builtin_prefetch(reinterpret_cast<const void*>(line), 1);
        }
    }

private:
    LiveQuote& liveForWrite();
    // The key the row's parts make in `form`, cut to 49 characters.
    DisplayKey madeKey(DisplayKeyForm form) const;
};

// Rows are allocated by the hundred thousand at every load: a member added or
// moved carelessly must not push a row past its two lines.
static_assert(sizeof(SecurityRecord) <= 128, "a row outgrew its two cache lines");
static_assert(sizeof(LiveQuote) <= 256, "a row's live part outgrew its four cache lines' size");

// Set on a thread while it sizes a vector of rows whose rows other threads
// construct (see RowAllocator).
inline thread_local bool t_rowConstructionDeferred = false;

// Allocates table rows. A load that fills hundreds of thousands of rows on
// several threads sizes the vector with construction deferred
// (DeferRowConstruction) and lets each thread construct the rows it fills:
// the rows' fresh pages are then first touched on all those threads at once,
// and no row is written twice. Every other resize constructs as usual.
// A large table's rows lie on whole large pages (pf::memory::LargeAllocator).
template <class T>
struct RowAllocator : pf::memory::LargeAllocator<T> {
    template <class U>
    struct rebind {
        using other = RowAllocator<U>;
    };
    RowAllocator() = default;
    template <class U>
    RowAllocator(const RowAllocator<U>&) noexcept
    {
    }
    template <class U, class... A>
    void construct(U* p, A&&... a)
    {
        if constexpr (sizeof...(A) == 0) {
            if (t_rowConstructionDeferred)
                return;
        }
        ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
    }
};

// While it lives, default-constructing resizes of rows on this thread leave
// the new rows unconstructed: the caller must construct every one of them
// (placement new) before the vector is used or destroyed, even on failure.
// The vector must have its room reserved, so the resize cannot throw.
class DeferRowConstruction {
public:
    DeferRowConstruction() { t_rowConstructionDeferred = true; }
    ~DeferRowConstruction() { t_rowConstructionDeferred = false; }
    DeferRowConstruction(const DeferRowConstruction&) = delete;
    DeferRowConstruction& operator=(const DeferRowConstruction&) = delete;
};

// The rows of a table, in file (or merge) order.
using SecurityRows = std::vector<SecurityRecord, RowAllocator<SecurityRecord>>;

// A two-letter code (an exchange, an instrument type) as one number, 0 for
// any other text: a load checks its rows' codes hundreds of thousands of
// times, and a number compares in one instruction where a text took a call.
constexpr uint16_t TwoLetterCode(std::string_view s)
{
    return s.size() == 2 ? static_cast<uint16_t>(static_cast<unsigned char>(s[0]) << 8 | static_cast<unsigned char>(s[1]))
                         : uint16_t{0};
}

// True unless the instrument type is a financial future or option ("FS", "FI",
// "FC", "OS", "OI", "OC"); commodity codes count as cash.
bool IsCashScrip(const SecurityRecord& rec);
// The exchanges whose master records carry the units per lot (the currency
// exchanges CN and CB, the commodity exchanges CM, NC and MC).
bool UnitsPerLotExchange(std::string_view exchange);
