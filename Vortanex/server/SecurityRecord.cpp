#include "server/SecurityRecord.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <new>
#include <thread>

namespace {
// A writer's section is a few dozen stores, but its thread can be preempted
// inside it: after a short spin, give the processor away instead of burning it.
void backOff(int& spins)
{
    if (++spins > 64)
        std::this_thread::yield();
}
} // namespace

double ColumnKindValue(const QuoteData& q, int kind)
{
    if (kind >= 0 && kind <= 18)
        return q.quote[kind];
    switch (kind) {
    case 19:
        return q.year_high;
    case 20:
        return q.year_low;
    case 21:
        return q.quote[19];
    case 22:
        return q.quote[20];
    default:
        return 0;
    }
}

short ColumnKindTick(const QuoteData& q, int kind)
{
    if (kind >= 0 && kind <= 18)
        return q.tick_code[kind];
    if (kind == 21 || kind == 22)
        return q.tick_code[kind - 2];
    return 0;
}

QuoteData LiveQuote::read() const
{
    for (int spins = 0;; backOff(spins)) {
        const uint32_t s1 = m_seq.load(std::memory_order_acquire);
        if (s1 & 1u)
            continue; // a writer is inside
        // Acquire loads of the payload keep the second sequence load after
        // them: a value of a newer write implies a newer sequence number.
        QuoteData d = readUnlocked();
        if (m_seq.load(std::memory_order_relaxed) == s1)
            return d;
    }
}

void LiveQuote::store(const QuoteData& data)
{
    const uint32_t s = lockWrite();
    writeUnlocked(data);
    m_seq.store(s + 2, std::memory_order_release);
}

uint32_t LiveQuote::lockWrite()
{
    uint32_t s = m_seq.load(std::memory_order_relaxed);
    for (int spins = 0;; backOff(spins)) {
        if (!(s & 1u) && m_seq.compare_exchange_weak(s, s + 1, std::memory_order_acquire, std::memory_order_relaxed))
            break;
        if (s & 1u)
            s = m_seq.load(std::memory_order_relaxed);
    }
    return s;
}

QuoteData LiveQuote::readUnlocked() const
{
    QuoteData d;
    d.last_update = m_lastUpdate.load(std::memory_order_acquire);
    for (int i = 0; i < kFeedQuoteValues; ++i) {
        d.quote[i] = m_quote[i].load(std::memory_order_acquire);
        d.tick_code[i] = m_tick[i].load(std::memory_order_acquire);
    }
    d.year_high = m_yearHigh.load(std::memory_order_acquire);
    d.year_low = m_yearLow.load(std::memory_order_acquire);
    return d;
}

void LiveQuote::writeUnlocked(const QuoteData& d)
{
    // Release stores: a reader that sees one of these values also sees the
    // odd sequence number stored before it.
    m_lastUpdate.store(d.last_update, std::memory_order_release);
    for (int i = 0; i < kFeedQuoteValues; ++i) {
        m_quote[i].store(d.quote[i], std::memory_order_release);
        m_tick[i].store(d.tick_code[i], std::memory_order_release);
    }
    m_yearHigh.store(d.year_high, std::memory_order_release);
    m_yearLow.store(d.year_low, std::memory_order_release);
}

// File-local helpers.
namespace {
namespace security_record_detail {

void copyStatic(SecurityRecord& to, const SecurityRecord& from)
{
    to.token = from.token;
    to.wtoken = from.wtoken;
    to.symbol = from.symbol;
    to.copyDisplayKey(from);
    to.inst_type = from.inst_type;
    to.market_exchange = from.market_exchange;
    to.expiry = from.expiry;
    to.strike = from.strike;
    to.option_type = from.option_type;
    to.tick_size = from.tick_size;
    to.market_lot = from.market_lot;
    to.scrip_code = from.scrip_code;
    to.status = from.status;
    to.derivative = from.derivative;
    to.currency = from.currency;
    to.multiplier = from.multiplier;
    to.commodity = from.commodity;
    to.advisory_kind = from.advisory_kind;
    to.year_high = from.year_high;
    to.year_low = from.year_low;
    to.ref_rate.store(from.ref_rate.load(std::memory_order_relaxed), std::memory_order_relaxed);
    to.alert_flag.store(from.alert_flag.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

LiveQuote* cloneLive(const std::atomic<LiveQuote*>& from)
{
    const LiveQuote* p = from.load(std::memory_order_acquire);
    return p ? new LiveQuote(*p) : nullptr;
}

} // namespace security_record_detail
} // namespace

SecurityRecord::SecurityRecord(const SecurityRecord& o)
    : extras(o.extras ? SecurityExtrasPtr(new SecurityExtras(*o.extras)) : nullptr)
{
    // After the extras: nothing may throw once the row owns its live part.
    m_live.store(security_record_detail::cloneLive(o.m_live), std::memory_order_relaxed);
    security_record_detail::copyStatic(*this, o);
}

SecurityRecord& SecurityRecord::operator=(const SecurityRecord& o)
{
    if (this != &o) {
        security_record_detail::copyStatic(*this, o);
        extras = o.extras ? SecurityExtrasPtr(new SecurityExtras(*o.extras)) : nullptr;
        delete m_live.exchange(security_record_detail::cloneLive(o.m_live), std::memory_order_acq_rel);
    }
    return *this;
}

SecurityRecord::SecurityRecord(SecurityRecord&& o) noexcept
    : m_live(o.m_live.exchange(nullptr, std::memory_order_acq_rel))
    , extras(std::move(o.extras))
{
    security_record_detail::copyStatic(*this, o);
}

SecurityRecord& SecurityRecord::operator=(SecurityRecord&& o) noexcept
{
    if (this != &o) {
        security_record_detail::copyStatic(*this, o);
        extras = std::move(o.extras);
        delete m_live.exchange(o.m_live.exchange(nullptr, std::memory_order_acq_rel), std::memory_order_acq_rel);
    }
    return *this;
}

SecurityRecord::~SecurityRecord()
{
    delete m_live.load(std::memory_order_acquire);
}

QuoteData SecurityRecord::quote() const
{
    if (const LiveQuote* p = m_live.load(std::memory_order_acquire))
        return p->read();
    QuoteData d;
    d.year_high = year_high;
    d.year_low = year_low;
    return d;
}

LiveQuote& SecurityRecord::liveForWrite()
{
    LiveQuote* p = m_live.load(std::memory_order_acquire);
    if (p)
        return *p;
    auto fresh = std::make_unique<LiveQuote>();
    QuoteData init;
    init.year_high = year_high;
    init.year_low = year_low;
    fresh->store(init);
    // Two writers may race to make it; the loser's copy is dropped.
    if (m_live.compare_exchange_strong(p, fresh.get(), std::memory_order_acq_rel, std::memory_order_acquire))
        return *fresh.release();
    return *p;
}

namespace {
namespace display_key_detail {

// The longest key made before the cut to a key's 49 characters: a symbol of
// 31, a type of 2, an expiry of 9, a strike of 64, an option type of 2 and
// the four '~' between them.
constexpr size_t kMadeRoom = 113;

// The key `form` makes of the row's parts, uncut; its length.
size_t make(const SecurityRecord& rec, DisplayKeyForm form, char (&out)[kMadeRoom])
{
    char* k = out;
    auto put = [&k](std::string_view v) {
        std::memcpy(k, v.data(), v.size());
        k += v.size();
    };
    put(rec.symbol.view());
    *k++ = '~';
    put(rec.inst_type.view());
    if (form == DisplayKeyForm::SymbolType)
        return static_cast<size_t>(k - out);
    *k++ = '~';
    put(rec.expiry.view());
    if (form == DisplayKeyForm::Future)
        return static_cast<size_t>(k - out);
    *k++ = '~';
    // Fixed precision: to_chars rounds exactly as printf's "%0.2lf" does. A
    // strike too large for 64 characters is left out.
    const int decimals = form == DisplayKeyForm::OptionFine ? 4 : 2;
    const auto r = std::to_chars(k, k + 64, rec.strike, std::chars_format::fixed, decimals);
    if (r.ec == std::errc())
        k = r.ptr;
    *k++ = '~';
    put(rec.option_type.view());
    return static_cast<size_t>(k - out);
}

} // namespace display_key_detail
} // namespace

DisplayKey SecurityRecord::madeKey(DisplayKeyForm form) const
{
    DisplayKey key;
    char made[display_key_detail::kMadeRoom];
    const size_t n = std::min<size_t>(display_key_detail::make(*this, form, made), sizeof key.m_text - 1);
    std::memcpy(key.m_text, made, n);
    key.m_text[n] = '\0';
    key.m_size = static_cast<unsigned char>(n);
    return key;
}

DisplayKey SecurityRecord::displayKey() const
{
    if (m_displayForm != DisplayKeyForm::Text)
        return madeKey(m_displayForm);
    DisplayKey key;
    const std::string_view t = m_displayText.view();
    std::memcpy(key.m_text, t.data(), t.size());
    key.m_size = static_cast<unsigned char>(t.size());
    return key;
}

bool SecurityRecord::displayKeyIs(std::string_view key) const
{
    if (m_displayForm == DisplayKeyForm::Text)
        return m_displayText.view() == key;
    // A made key starts with the symbol and '~'.
    const std::string_view s = symbol.view();
    if (key.size() <= s.size() || key[s.size()] != '~' || key.substr(0, s.size()) != s)
        return false;
    return displayKey().view() == key;
}

bool SecurityRecord::displayKeyStartsWith(std::string_view prefix) const
{
    if (m_displayForm == DisplayKeyForm::Text)
        return m_displayText.view().substr(0, prefix.size()) == prefix;
    const std::string_view s = symbol.view();
    if (prefix.size() <= s.size())
        return s.substr(0, prefix.size()) == prefix;
    return displayKey().view().substr(0, prefix.size()) == prefix;
}

void SecurityRecord::setDisplayKey(std::string_view key)
{
    m_displayForm = DisplayKeyForm::Text;
    m_displayText.assign(key);
}

void SecurityRecord::adoptDisplayKey(std::string_view key, DisplayKeyForm form)
{
    if (form != DisplayKeyForm::Text && madeKey(form).view() == key.substr(0, 49)) {
        setDisplayKeyForm(form);
        return;
    }
    setDisplayKey(key);
}

SecurityExtras& SecurityRecord::extrasForWrite(SecurityExtrasBlocks::Maker* maker)
{
    if (!extras)
        extras = maker ? maker->make() : SecurityExtrasPtr(new SecurityExtras());
    return *extras;
}

namespace {
namespace extrasBlock {

// A block: the count of its holds (each extras made in it, each slot a
// maker's run keeps for one, and the blocks while they fill it), then slots
// of a pointer to the block followed by the extras. Four MiB, the least that
// is asked for on large pages.
constexpr size_t kBytes = pf::memory::kLargeBlock;
struct alignas(64) Head {
    std::atomic<size_t> holds{1};
};
constexpr size_t roundUp(size_t n, size_t to)
{
    return (n + to - 1) / to * to;
}
constexpr size_t kExtrasAt = roundUp(sizeof(Head*), alignof(SecurityExtras)); // within a slot
constexpr size_t kStride = roundUp(kExtrasAt + sizeof(SecurityExtras), alignof(Head*));
constexpr size_t kFirst = roundUp(sizeof(Head), std::max(alignof(Head*), alignof(SecurityExtras)));
constexpr size_t kSlots = (kBytes - kFirst) / kStride;
static_assert(kSlots > 1000, "an extras block holds too few");

Head*& blockOf(SecurityExtras* x)
{
    return *reinterpret_cast<Head**>(reinterpret_cast<char*>(x) - kExtrasAt);
}

// Lets go of `n` counts of a block; the last one frees it.
void release(Head* h, size_t n = 1) noexcept
{
    if (n > 0 && h->holds.fetch_sub(n, std::memory_order_acq_rel) == n) {
        h->~Head();
        pf::memory::freeLarge(h, kBytes);
    }
}

} // namespace extrasBlock
} // namespace

void SecurityExtrasFree::operator()(SecurityExtras* p) const noexcept
{
    if (!p->in_block.set) {
        delete p;
        return;
    }
    extrasBlock::Head* block = extrasBlock::blockOf(p);
    p->~SecurityExtras();
    extrasBlock::release(block);
}

SecurityExtrasBlocks::~SecurityExtrasBlocks()
{
    if (m_block)
        extrasBlock::release(static_cast<extrasBlock::Head*>(m_block));
}

void SecurityExtrasBlocks::takeRun(Maker& maker, size_t want)
{
    using namespace extrasBlock;
    const std::lock_guard lock(m_mutex);
    if (!m_block || m_used == kSlots) {
        void* fresh = pf::memory::allocateLarge(kBytes);
        if (m_block)
            release(static_cast<Head*>(m_block));
        m_block = ::new (fresh) Head();
        m_used = 0;
        m_mapped = 0;
    }
    const size_t n = std::min(want, kSlots - m_used);
    static_cast<Head*>(m_block)->holds.fetch_add(n, std::memory_order_relaxed);
    maker.m_block = m_block;
    maker.m_next = m_used;
    maker.m_end = m_used + n;
    m_used += n;
    // The block's large pages are mapped here, under the lock, one at a time
    // as the runs reach them: the parsing threads all make extras at once,
    // and a fresh page first touched by each of them would be cleared once
    // for every thread that got there together. A block a load fills no
    // further than its first page keeps its second unmapped.
    const size_t runEnd = kFirst + m_used * kStride;
    if (runEnd > m_mapped) {
        const size_t to = std::min(kBytes, roundUp(runEnd, pf::memory::kLargePage));
        pf::memory::mapNow(static_cast<char*>(m_block) + m_mapped, to - m_mapped);
        m_mapped = to;
    }
}

SecurityExtrasBlocks::Maker::~Maker()
{
    if (m_block)
        extrasBlock::release(static_cast<extrasBlock::Head*>(m_block), m_end - m_next);
}

SecurityExtrasPtr SecurityExtrasBlocks::Maker::make()
{
    using namespace extrasBlock;
    // A run of some sixteen KiB: few trips to the lock, and little left
    // unused at a load's end by each thread.
    constexpr size_t kRun = (size_t{16} << 10) / kStride;
    if (m_next == m_end) {
        m_block = nullptr; // each slot of the run went to its extras, with its count
        m_blocks.takeRun(*this, kRun);
    }
    Head* const block = static_cast<Head*>(m_block);
    char* const at = reinterpret_cast<char*>(block) + kFirst + m_next++ * kStride;
    ::new (static_cast<void*>(at)) Head*(block);
    SecurityExtras* x = ::new (static_cast<void*>(at + kExtrasAt)) SecurityExtras();
    x->in_block.set = true;
    return SecurityExtrasPtr(x);
}

bool UnitsPerLotExchange(std::string_view exchange)
{
    switch (TwoLetterCode(exchange)) {
    case TwoLetterCode("CN"):
    case TwoLetterCode("CB"):
    case TwoLetterCode("CM"):
    case TwoLetterCode("NC"):
    case TwoLetterCode("MC"):
        return true;
    default:
        return false;
    }
}

bool IsCashScrip(const SecurityRecord& rec)
{
    static constexpr std::string_view kDerivatives[] = {"FS", "FI", "FC", "OS", "OI", "OC"};
    for (std::string_view d : kDerivatives)
        if (rec.inst_type == d)
            return false;
    return true;
}

