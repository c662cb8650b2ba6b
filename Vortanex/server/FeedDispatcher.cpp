#include "server/FeedDispatcher.h"

#include "app/base/BufferSlots.h"
#include "app/base/LogWriter.h"
#include "app/base/SessionRecord.h"
#include "pf/append_file.h"
#include "pf/clock.h"
#include "server/FeedState.h"
#include "server/MarketLookups.h"
#include "server/SecurityTable.h"
#include "app/base/TextFormat.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstdio>
#include <limits>
#include <cstring>
#include <utility>
#include <vector>

namespace feed_dispatcher_detail {

// Handler families of the pool: a key is the family in the high word and the
// security or nothing in the low word, so confirmations are handled one at a
// time in arrival order and one security's alert checks never overlap.
enum Family : uint64_t {
    kConfirmation = 3,
    kMarketStatus = 4,
    kResearch = 5,
    kInformation = 6,
    kAlerts = 7,
};

uint64_t poolKey(Family family, int id)
{
    return (static_cast<uint64_t>(family) << 32) | static_cast<uint32_t>(id);
}

std::atomic<FeedDispatcher*> g_dispatcher{nullptr};

// A number at the start of a field as the C library's conversion reads it
// (leading blanks skipped, trailing text ignored, 0 when none).
double toDouble(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    if (i < s.size() && s[i] == '+')
        ++i;
    // Most values are whole paise or quantities: a plain run of digits is
    // converted directly (exactly as the general parser would round it).
    const char* p = s.data() + i;
    const char* const end = s.data() + s.size();
    const bool negative = p < end && *p == '-';
    const char* q = negative ? p + 1 : p;
    const char* const digits = q;
    uint64_t whole = 0;
    while (q < end && *q >= '0' && *q <= '9' && q - digits < 18)
        whole = whole * 10 + static_cast<uint64_t>(*q++ - '0');
    if (q == end && q > digits)
        return negative ? -static_cast<double>(whole) : static_cast<double>(whole);
    double v = 0;
    const auto r = std::from_chars(p, end, v);
    if (r.ec == std::errc::result_out_of_range) {
        // Past double's range: an overflow is no number at all, an underflow is 0.
        const std::string_view rest(p, static_cast<size_t>(end - p));
        const size_t e = rest.find_first_of("eE");
        v = e != std::string_view::npos && e + 1 < rest.size() && rest[e + 1] == '-'
                ? 0.0
                : std::numeric_limits<double>::infinity();
    }
    return v;
}

// A feed value that can be stored and later converted to an integer:
// finite and within the bound. inf, nan and 1e300 are refused (nan compares
// false with everything, inf is past the bound).
inline bool usableFeedValue(double v)
{
    return std::fabs(v) <= FeedDispatcher::kMaxFeedValue;
}

// usableFeedValue of every one of n values, two at a time (a quote's values
// are tested on every quote; the compiler tested them one by one).
inline bool allUsableFeedValues(const double* v, int n)
{
    int k = 0;
#if defined(__SSE2__)
    const __m128d bound = _mm_set1_pd(FeedDispatcher::kMaxFeedValue);
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFLL));
    int unusable = 0;
    for (; k + 2 <= n; k += 2) // not (|x| <= bound): nan is unusable too
        unusable |= _mm_movemask_pd(_mm_cmpnle_pd(_mm_and_pd(_mm_loadu_pd(v + k), magnitude), bound));
    if (unusable != 0)
        return false;
#endif
    bool usable = true;
    for (; k < n; ++k)
        usable &= usableFeedValue(v[k]);
    return usable;
}

// The values of a quote, from p (just after its token's separator) to end:
// up to max fields, each converted as toDouble converts it; returns how many.
// Fields are cut as splitFields cuts them: an empty field counts, a
// separator at the very end adds none. Nearly every field is a plain run of
// up to 18 digits, perhaps negative, ended by a separator: it is converted
// while its digits are read, one at a time (the field lengths of a feed's
// quotes repeat, so the processor predicts where each run ends and reads
// on, which eight-at-a-time conversion measured slower), with no separate
// search for the separator; any other field goes to toDouble whole.
int parseQuoteValues(const char* p, const char* const end, double* values, int max)
{
    int count = 0;
    while (count < max && p < end) {
        const char* q = p;
        const bool negative = *q == '-';
        q += negative ? 1 : 0;
        const char* const digits = q;
        uint64_t whole = 0;
        while (q < end && static_cast<unsigned char>(*q - '0') < 10)
            whole = whole * 10 + static_cast<uint64_t>(*q++ - '0');
        if (q > digits && q - digits <= 18 && (q == end || *q == ',')) {
            values[count++] = negative ? -static_cast<double>(whole) : static_cast<double>(whole);
        } else {
            q = static_cast<const char*>(std::memchr(p, ',', static_cast<size_t>(end - p)));
            if (!q)
                q = end;
            values[count++] = toDouble(std::string_view(p, static_cast<size_t>(q - p)));
        }
        if (q == end)
            break;
        p = q + 1;
    }
    return count;
}

// The same, for a quote whose text is followed by kQuotePadding readable
// bytes (a held quote's copy). The text is looked at sixteen bytes at a time
// for its separators, digits and minus signs; when it holds nothing else
// (each minus sign starting a field), every field is a plain run of digits
// and is converted eight digits at a time, its ends known from the
// separators' mask: no field waits for the one before it to find its end,
// so the processor works on several at once. Any other text is parsed by
// parseQuoteValues, and the values are always the ones it gives.
constexpr size_t kQuotePadding = 16;
// The longest such text: a held quote's room.
constexpr size_t kPaddedQuoteBytes = 512;

// The value of `len` (1..8) digits at s (checked already). Reads 8 bytes.
inline uint64_t eightDigits(const char* s, size_t len)
{
    uint64_t x;
    std::memcpy(&x, s, sizeof x);
    // The run's characters to the top bytes, zero bytes (leading zeros)
    // below them; the bytes after the run are shifted out.
    x <<= (8 - len) * 8;
    x &= 0x0F0F0F0F0F0F0F0FULL;
    x = (x * 2561) >> 8;                                         // pairs of digits
    x = ((x & 0x00FF00FF00FF00FFULL) * 6553601) >> 16;           // fours
    x = ((x & 0x0000FFFF0000FFFFULL) * 42949672960001ULL) >> 32; // eight
    return x & 0xFFFFFFFFULL;
}

int parsePaddedQuoteValues(const char* p, const char* const end, double* values, int max)
{
#if defined(__SSE2__)
    if constexpr (std::endian::native == std::endian::little) {
        const size_t n = static_cast<size_t>(end - p);
        if (n == 0 || n > kPaddedQuoteBytes)
            return parseQuoteValues(p, end, values, max);
        constexpr size_t kWords = kPaddedQuoteBytes / 64;
        // Bit i of a mask: byte i is a separator, a minus sign, a digit.
        uint64_t commas[kWords] = {}, minus[kWords] = {}, digits[kWords] = {};
        const __m128i comma = _mm_set1_epi8(','), dash = _mm_set1_epi8('-');
        // Digits moved to -128..-119, below every other byte so moved.
        const __m128i shift = _mm_set1_epi8(0x50), digitTop = _mm_set1_epi8(-118);
        for (size_t i = 0; i < n; i += 16) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const auto bits = [](__m128i m) {
                return static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(m)));
            };
            commas[i / 64] |= bits(_mm_cmpeq_epi8(x, comma)) << (i % 64);
            minus[i / 64] |= bits(_mm_cmpeq_epi8(x, dash)) << (i % 64);
            digits[i / 64] |= bits(_mm_cmplt_epi8(_mm_add_epi8(x, shift), digitTop)) << (i % 64);
        }
        const size_t words = (n + 63) / 64;
        uint64_t other = 0, carry = 1; // a field starts at byte 0
        for (size_t w = 0; w < words; ++w) {
            const uint64_t valid = w + 1 < words || n % 64 == 0 ? ~uint64_t(0) : (uint64_t(1) << (n % 64)) - 1;
            commas[w] &= valid;
            const uint64_t starts = (commas[w] << 1) | carry;
            carry = commas[w] >> 63;
            other |= valid & ~(commas[w] | digits[w] | (minus[w] & starts));
        }
        if (other != 0)
            return parseQuoteValues(p, end, values, max);
        int count = 0;
        size_t start = 0;
        // [from, to): digits, perhaps after a minus sign.
        const auto field = [&](size_t from, size_t to) {
            const bool negative = to > from && p[from] == '-';
            const size_t first = from + (negative ? 1 : 0);
            const size_t len = to - first;
            if (len == 0 || len > 16) {
                values[count++] = toDouble(std::string_view(p + from, to - from));
                return;
            }
            const uint64_t whole = len <= 8 ? eightDigits(p + first, len)
                                            : eightDigits(p + first, len - 8) * 100000000ULL +
                                                  eightDigits(p + first + len - 8, 8);
            values[count++] = negative ? -static_cast<double>(whole) : static_cast<double>(whole);
        };
        for (size_t w = 0; w < words && count < max; ++w) {
            for (uint64_t bits = commas[w]; bits && count < max; bits &= bits - 1) {
                const size_t at = w * 64 + static_cast<size_t>(std::countr_zero(bits));
                field(start, at);
                start = at + 1;
            }
        }
        // The last field, unless the text ends with a separator.
        if (count < max && start < n)
            field(start, n);
        return count;
    }
#endif
    return parseQuoteValues(p, end, values, max);
}

long toLong(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    if (i < s.size() && s[i] == '+')
        ++i;
    long v = 0;
    std::from_chars(s.data() + i, s.data() + s.size(), v);
    return v;
}

// A message's three-digit code as toLong reads it.
inline long messageCode(const char* m)
{
    const unsigned a = static_cast<unsigned char>(m[0] - '0'), b = static_cast<unsigned char>(m[1] - '0'),
                   c = static_cast<unsigned char>(m[2] - '0');
    if (a < 10 && b < 10 && c < 10)
        return static_cast<long>(a * 100 + b * 10 + c);
    return toLong(std::string_view(m, 3));
}

// Where a quote's token ends: its first separator, npos when none. Tokens
// are a few digits: a plain scan, no library call.
size_t tokenEnd(std::string_view s)
{
    for (size_t i = 0; i < s.size(); ++i)
        if (s[i] == ',')
            return i;
    return std::string_view::npos;
}

// A quote's watch token as toLong reads its field, the field ending at end
// (a separator's position or npos). Nearly every token is a short plain run
// of digits, read directly.
int quoteToken(std::string_view s, size_t end)
{
    const size_t n = std::min(end, s.size());
    if (n > 0 && n <= 9) {
        int v = 0;
        size_t i = 0;
        for (; i < n && static_cast<unsigned char>(s[i] - '0') < 10; ++i)
            v = v * 10 + (s[i] - '0');
        if (i == n)
            return v;
    }
    return static_cast<int>(toLong(s.substr(0, end)));
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

// Fields between separators; a separator at the very end ends the last field
// and adds no empty one.
std::vector<std::string_view> splitFields(std::string_view text, char sep)
{
    std::vector<std::string_view> out;
    size_t start = 0;
    while (start < text.size()) {
        const size_t at = text.find(sep, start);
        if (at == std::string_view::npos) {
            out.push_back(text.substr(start));
            break;
        }
        out.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    return out;
}

// The quote-message tick codes: 10 rose, 20 fell, 30 then 40 unchanged.
// Without branches: a quote's 21 values rise and fall at random, so branches
// on their direction are mispredicted about half the time.
inline void applyTick(double value, double& stored, short& tick)
{
    const bool rose = value > stored;
    const bool fell = value < stored;
    const short same = (tick == kTickSameOnce || tick == kTickSameAgain) ? kTickSameAgain : kTickSameOnce;
    tick = rose ? kTickRose : (fell ? kTickFell : same);
    stored = (rose || fell) ? value : stored; // an equal value keeps the stored one (0 and -0)
}

// The direction codes of the index rows: 2 up, 3 down, equal gives 0 when the
// code was 0 or 1, else 1.
short indexDirection(double now, double before, short code)
{
    if (now > before)
        return 2;
    if (now < before)
        return 3;
    return (code == 0 || code == 1) ? 0 : 1;
}

bool sameLocalDay(int64_t epochSeconds, int64_t nowMillis)
{
    const pf::LocalTime a = pf::Clock::local(epochSeconds * 1000);
    const pf::LocalTime b = pf::Clock::local(nowMillis);
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

} // namespace feed_dispatcher_detail

FeedDispatcher::FeedDispatcher(FeedConsumers& consumers, FeedSubscriptions& subscriptions, IndexRows& indices,
                               Options options)
    : m_consumers(consumers),
      m_subscriptions(subscriptions),
      m_indices(indices),
      m_options(std::move(options)),
      m_pool(m_options.poolThreads, m_options.inlineForTests, "FeedHandlers")
{
    setBroadcastLogFolder(m_options.logsDir);
}

void FeedDispatcher::setBroadcastLogFolder(std::filesystem::path folder)
{
    std::lock_guard lock(m_broadcastMutex);
    m_broadcastOn.store(!folder.empty());
    m_broadcastFolder = std::move(folder);
}

FeedDispatcher::~FeedDispatcher()
{
    FeedDispatcher* self = this;
    feed_dispatcher_detail::g_dispatcher.compare_exchange_strong(self, nullptr);
    m_pool.stop();
}

void FeedDispatcher::beginBuffer()
{
    m_inBuffer = true;
    m_bufferTable = SecurityTable::current();
    m_bufferQuoteTime = 0;
    m_bufferNow = pf::clock().nowSeconds();
    if (m_bufferNow < m_dayFrom || m_bufferNow > m_dayTo)
        m_dayFrom = m_dayTo = m_bufferNow; // a new day (or the first buffer)
}

bool FeedDispatcher::sameDayAsBuffer(int64_t epochSeconds)
{
    if (epochSeconds >= m_dayFrom && epochSeconds <= m_dayTo)
        return true;
    if (!feed_dispatcher_detail::sameLocalDay(epochSeconds, m_bufferNow * 1000))
        return false;
    m_dayFrom = std::min(m_dayFrom, epochSeconds);
    m_dayTo = std::max(m_dayTo, epochSeconds);
    return true;
}

void FeedDispatcher::endBuffer()
{
    applyHeldQuote();
    tellMarkedWindows();
    m_inBuffer = false;
    m_bufferTable.reset();
    const int64_t newest = std::exchange(m_bufferQuoteTime, 0);
    if (newest > 0) {
        try {
            m_consumers.quoteTimeUpdated(newest);
        } catch (...) {
            WriteLog(0, "Exception in UpdateTokensThread");
        }
    }
}

void FeedDispatcher::drain()
{
    m_pool.drain();
}

bool FeedDispatcher::idle() const
{
    return m_pool.idle();
}

void FeedDispatcher::stop()
{
    m_pool.stop();
}

const FeedFanOut& FeedDispatcher::fanOut()
{
    const uint64_t v = m_subscriptions.version();
    if (!m_fanOut || v != m_fanOutVersion) {
        tellMarkedWindows(); // before the windows they name may go
        m_fanOutVersion = v;
        m_fanOut = m_subscriptions.fanOut();
    }
    return *m_fanOut;
}

int FeedDispatcher::Distribute_Feed(const char* message, int length)
{
    if (!IsLoggedIn())
        return 0;
    // A message without its code and separator has no payload to hand on.
    if (!message || length < 4)
        return 0;
    try {
        if (m_broadcastOn.load(std::memory_order_relaxed))
            writeBroadcastLog(message, length);
        const long code = feed_dispatcher_detail::messageCode(message);
        const char* data = message + 4;
        const int n = length - 4;
        const std::string_view payload(data, static_cast<size_t>(n));
        if ((code == 101 || code == 104 || code == 110) && m_inBuffer && n < kHeldQuoteBytes) {
            holdMessage(static_cast<int>(code), data, n, m_bufferTable.get());
            return static_cast<int>(code);
        }
        // Whatever comes next comes after the quote that waits, and after
        // the windows heard of it.
        applyHeldQuote();
        tellMarkedWindows();
        switch (code) {
        case 101:
        case 105: {
            // Quotes, depth and index values are cheap: handled here, in
            // arrival order, against the table the buffer started with.
            std::shared_ptr<SecurityTable> hold;
            SecurityTable* table = m_inBuffer ? m_bufferTable.get() : (hold = SecurityTable::current()).get();
            QuoteMark mark;
            const int index =
                code == 101 ? updateFeeds(data, n, table, true, mark) : updateRoundRobin(data, n, table, mark);
            if (index >= 0)
                FeedsThread(index, mark, m_inBuffer, fanOut());
            break;
        }
        case 104:
            m_depthText.assign(payload.substr(0, 1023));
            MDepthThread(m_depthText);
            break;
        case 110:
            IndexDistribute(payload.substr(0, 511));
            break;
        case 115:
            m_pool.post(feed_dispatcher_detail::poolKey(feed_dispatcher_detail::kMarketStatus, 0),
                        [this, text = std::string(payload)] { MarketStatusThread(text); }, "MarketStatusThread");
            break;
        case 120:
            m_consumers.setUserMessage(2, ' ', std::string(payload.substr(0, 511)), false, 0);
            break;
        case 130:
            if (n == 0) {
                WriteLog(0, "Error confirmation message not received completely in thread");
                break;
            }
            m_pool.post(feed_dispatcher_detail::poolKey(feed_dispatcher_detail::kConfirmation, 0),
                        [this, text = std::string(payload.substr(0, 5999))] { ConfirmationThreadX(text); },
                        "ConfirmationThread");
            break;
        case 140: {
            const int slot = GetFreeBufferSlot();
            if (slot < 0) {
                WriteLog(0, "Error : unable to get thread index for ResearchThread");
                return static_cast<int>(code);
            }
            BufferSlots().at(slot).buffer.assign(payload);
            if (!m_pool.post(feed_dispatcher_detail::poolKey(feed_dispatcher_detail::kResearch, 0), [this, slot] { ResearchThread(slot); },
                             "ResearchThread"))
                ReleaseBufferSlot(slot); // the pool has stopped: the slot must not stay taken
            break;
        }
        case 145:
        case 155:
            if (pv_user_info.user_type == 'V')
                break;
            [[fallthrough]];
        case 141:
        case 160:
            if (code == 160)
                WriteLog(0, std::string(payload));
            m_pool.post(feed_dispatcher_detail::poolKey(feed_dispatcher_detail::kInformation, static_cast<int>(code)),
                        [this, code, text = std::string(payload)] {
                            m_consumers.informationDisplay(static_cast<int>(code), text);
                        },
                        "InformationDisplay");
            break;
        case 250:
            UpdateServerInfo(payload);
            if (FeedState::instance().slot() < 0)
                FeedState::instance().setRunning(0);
            else
                m_consumers.feedSlotAssigned();
            break;
        case 600: {
            const auto fields = feed_dispatcher_detail::splitFields(payload, '|');
            if (fields.empty())
                break;
            const std::string_view to = feed_dispatcher_detail::trimmed(fields.front().substr(0, 23));
            if (to == "ALL" || to == std::string_view(pv_user_info.user_id))
                m_consumers.setUserMessage(3, ' ', std::string(fields.back().substr(0, 511)), true, 0);
            break;
        }
        case 999:
            WriteLog(0, "Error :<" + std::string(payload) + ">");
            break;
        default:
            break; // 150 and unknown codes
        }
        return static_cast<int>(code);
    } catch (const std::exception& e) {
        WriteLog(0, std::string("SException in Distribute_Feed : [") + e.what() + "]");
    } catch (...) {
        WriteLog(0, "Exception in Distribute_Feed");
    }
    return 0;
}

void FeedDispatcher::writeBroadcastLog(const char* message, int length)
{
    m_broadcastLog.append(message, static_cast<size_t>(length));
    m_broadcastLog += '\n';
    if (++m_broadcastCount <= 99)
        return;
    const pf::LocalTime t = pf::clock().localNow();
    char name[64];
    std::snprintf(name, sizeof name, "BroadCastLog_%02d%02d%04d_%02d.log", t.day, t.month, t.year, t.hour);
    std::filesystem::path folder;
    {
        std::lock_guard lock(m_broadcastMutex);
        folder = m_broadcastFolder;
    }
    pf::AppendFile file;
    if (!folder.empty() && file.open(folder / name))
        file.appendLine(m_broadcastLog);
    m_broadcastLog.clear();
    m_broadcastCount = 0;
}

void FeedDispatcher::holdMessage(int code, const char* data, int length, SecurityTable* table)
{
    int wtoken = 0;
    size_t tokenEnd = 0;
    if (code == 101) {
        const std::string_view s(data, static_cast<size_t>(length));
        tokenEnd = feed_dispatcher_detail::tokenEnd(s);
        wtoken = feed_dispatcher_detail::quoteToken(s, tokenEnd);
        if (table)
            table->prefetchWTokenEntry(wtoken);
    }
    const FeedFanOut* f = m_fanOut.get();
    // A message's age is how many came after it, this one included: only
    // the quotes at the two ages that take a step are looked at.
    auto heldOfAge = [&](int age) -> HeldQuote* {
        if (!table || m_heldCount < age)
            return nullptr;
        HeldQuote& h = m_held[heldSlot(m_heldFirst + m_heldCount - age)];
        return h.code == 101 ? &h : nullptr;
    };
    if (HeldQuote* h = heldOfAge(kRowAge)) {
        // Its entry came in meanwhile: fetch its row and windows' entry.
        h->row = table->prefetchWToken(h->wtoken);
        if (h->row >= 0 && f && static_cast<size_t>(h->row) < f->firstTarget.size())
            __builtin_prefetch(&f->firstTarget[static_cast<size_t>(h->row)]);
    }
    if (HeldQuote* h = heldOfAge(kLiveAge); h && table->valid(h->row)) {
        // Its row came in: fetch the live part it names, its windows,
        // and the thresholds its alerts will be tested against.
        const SecurityRecord& rec = table->row(h->row);
        rec.prefetchQuote();
        if (rec.alert_flag.load(std::memory_order_relaxed) && m_consumers.alertsEnabled())
            m_consumers.prefetchAlertCheck(h->row);
        if (f && static_cast<size_t>(h->row) < f->firstTarget.size()) {
            const size_t first = f->firstTarget[static_cast<size_t>(h->row)];
            if (first < f->targets.size())
                __builtin_prefetch(&f->targets[first]);
        }
    }
    if (m_heldCount == kHeldQuotes)
        applyOldestHeld();
    HeldQuote& h = m_held[heldSlot(m_heldFirst + m_heldCount)];
    std::memcpy(h.text, data, static_cast<size_t>(length));
    h.code = code;
    h.length = length;
    h.wtoken = wtoken;
    h.row = -1;
    h.tokenEnd = tokenEnd;
    ++m_heldCount;
}

void FeedDispatcher::applyHeldQuote()
{
    while (m_heldCount > 0)
        applyOldestHeld();
}

void FeedDispatcher::applyOldestHeld()
{
    const HeldQuote& h = m_held[m_heldFirst];
    m_heldFirst = heldSlot(m_heldFirst + 1);
    --m_heldCount;
    if (h.code != 101) {
        // Depth or index values, after the windows heard of the quotes before.
        tellMarkedWindows();
        try {
            if (h.code == 104) {
                m_depthText.assign(h.text, static_cast<size_t>(h.length));
                MDepthThread(m_depthText);
            } else
                IndexDistribute(std::string_view(h.text, static_cast<size_t>(h.length)));
        } catch (const std::exception& e) {
            WriteLog(0, std::string("SException in Distribute_Feed : [") + e.what() + "]");
        } catch (...) {
            WriteLog(0, "Exception in Distribute_Feed");
        }
        return;
    }
    SecurityTable* table = m_bufferTable.get();
    // The row its entry named when the row was fetched is the look-up's
    // answer when that row carries the token, as the look-up would check.
    const int known = !table                                              ? -1
                      : table->valid(h.row) && table->row(h.row).wtoken == h.wtoken ? h.row
                                                                                    : table->searchWToken(h.wtoken);
    if (known < 0)
        return; // an unknown watch token: nothing to apply
    QuoteMark mark;
    static_assert(kHeldQuotePadding >= static_cast<int>(feed_dispatcher_detail::kQuotePadding) &&
                  kHeldQuoteBytes <= static_cast<int>(feed_dispatcher_detail::kPaddedQuoteBytes));
    const int index = updateFeeds(h.text, h.length, table, true, mark, known, true, h.tokenEnd);
    if (index >= 0)
        FeedsThread(index, mark, true, fanOut());
}

int FeedDispatcher::UpdateFeeds(const char* text, int length)
{
    const auto table = SecurityTable::current();
    QuoteMark mark;
    return updateFeeds(text, length, table.get(), false, mark);
}

int FeedDispatcher::updateFeeds(const char* text, int length, SecurityTable* table, bool onFeedThread,
                                QuoteMark& mark, int knownIndex, bool padded, size_t tokenEnd)
{
    try {
        const std::string_view s(text, static_cast<size_t>(length));
        // The token, then the values; fields are cut in place, no allocation.
        // The look-up and the write use the same table: a reload published
        // in between must not send the quote to another table's row.
        const size_t pos = tokenEnd != kTokenEndUnknown ? tokenEnd : feed_dispatcher_detail::tokenEnd(s);
        const int index = knownIndex >= 0 ? knownIndex
                          : table         ? table->searchWToken(feed_dispatcher_detail::quoteToken(s, pos))
                                          : -1;
        if (!table || !table->valid(index))
            return -1;
        SecurityRecord& rec = table->row(index);
        // The row's live part and its windows are fetched while the values
        // are parsed.
        rec.prefetchQuote();
        if (onFeedThread && m_fanOut && static_cast<size_t>(index) < m_fanOut->firstTarget.size()) {
            // A held quote's entry was fetched a message ago: its windows'
            // list can be fetched now.
            const size_t first = m_fanOut->firstTarget[static_cast<size_t>(index)];
            if (knownIndex >= 0 && first < m_fanOut->targets.size())
                __builtin_prefetch(&m_fanOut->targets[first]);
            else
                __builtin_prefetch(&m_fanOut->firstTarget[static_cast<size_t>(index)]);
        }
        double values[kFeedQuoteValues];
        int count = 0;
        if (pos != std::string_view::npos) {
            const char* const first = text + pos + 1;
            count = padded ? feed_dispatcher_detail::parsePaddedQuoteValues(first, text + length, values, kFeedQuoteValues)
                           : feed_dispatcher_detail::parseQuoteValues(first, text + length, values, kFeedQuoteValues);
        }
        // A value that is no price, quantity or time refuses the whole quote
        // before anything is stored or converted.
        if (count < kFeedQuoteValues || !feed_dispatcher_detail::allUsableFeedValues(values, count)) {
            WriteLog(0, "Invalid Feeds data [" + std::string(s.substr(0, 511)) + "] index [" +
                            std::to_string(index) + "]");
            return -1;
        }
        if (rec.commodity && rec.market_lot != 0) {
            if (values[1] != 0)
                values[1] /= rec.market_lot;
            if (values[3] != 0)
                values[3] /= rec.market_lot;
        }
        const bool cash = IsCashScrip(rec);
        // A received buffer is handled within a moment: its quotes share the
        // time it began.
        const int64_t now = onFeedThread && m_inBuffer ? m_bufferNow : pf::clock().nowSeconds();
        rec.writeQuote([&](LiveQuote::Writer& q) {
            q.setLastUpdate(now);
            const double high = values[5] / 100, low = values[6] / 100;
            if (cash && high > 0 && high > q.yearHigh())
                q.setYearHigh(high);
            if (cash && low > 0 && low < q.yearLow())
                q.setYearLow(low);
            for (int k = 0; k < kFeedQuoteValues; ++k) {
                double stored = q.quote(k);
                short tick = q.tick(k);
                feed_dispatcher_detail::applyTick(values[k], stored, tick);
                q.setQuote(k, stored);
                q.setTick(k, tick);
            }
            mark.tick4 = q.tick(4);
        });
        mark.quoteTime = static_cast<int64_t>(values[17]);
        if (rec.alert_flag.load() && values[4] != 0 && m_consumers.alertsEnabled() &&
            (onFeedThread && m_inBuffer ? sameDayAsBuffer(static_cast<int64_t>(values[17]))
                                        : feed_dispatcher_detail::sameLocalDay(static_cast<int64_t>(values[17]), pf::clock().nowMillis())) &&
            m_consumers.claimAlertCheck(index, rec))
            m_pool.postBatched(
                feed_dispatcher_detail::poolKey(feed_dispatcher_detail::kAlerts, index),
                [this, index, claimed = rec.quote()] { m_consumers.checkAlerts(index, claimed); }, "CheckAlertsThread");
        return index;
    } catch (...) {
        WriteLog(0, "Exception in UpdateFeeds");
        return -1;
    }
}

int FeedDispatcher::UpdateFeedsAndNotify(const char* text, int length)
{
    if (!IsLoggedIn())
        return -1;
    // The polling feed and the market watch's snapshots both come here, from
    // their own threads: one at a time, as quotes from one feed thread would.
    // Nothing here touches the feed thread's own members: the quote's marks
    // are this call's, and the windows come from a snapshot of the fan-out.
    std::lock_guard lock(m_pollMutex);
    QuoteMark mark;
    const int index = updateFeeds(text, length, SecurityTable::current().get(), false, mark);
    if (index < 0)
        return index;
    const std::shared_ptr<const FeedFanOut> snapshot = m_subscriptions.fanOut();
    const FeedFanOut& f = *snapshot;
    FeedsThread(index, mark, false, f);
    // Every open market watch and the net-position window hear of a polled
    // quote, as the polling feed has no subscriptions to go by (with no feed
    // at all none are kept); those told above are not told twice.
    const auto subscribed = f.windowsOf(index);
    for (const FeedFanOut::Target& t : f.pollWindows) {
        bool told = false;
        for (const FeedFanOut::Target& s : subscribed)
            told = told || s.slot == t.slot;
        try {
            if (!told && !t.window->isClosing())
                t.window->quoteUpdated(index);
        } catch (...) {
            WriteLog(0, "Exception in GetLiveFeeds: DlgNo [" + std::to_string(t.slot) + "]");
        }
    }
    return index;
}

int FeedDispatcher::UpdateRoundRobin(const char* text, int length)
{
    const auto table = SecurityTable::current();
    QuoteMark mark;
    return updateRoundRobin(text, length, table.get(), mark);
}

int FeedDispatcher::updateRoundRobin(const char* text, int length, SecurityTable* table, QuoteMark& mark)
{
    try {
        const auto fields = feed_dispatcher_detail::splitFields(std::string_view(text, static_cast<size_t>(length)), ',');
        if (fields.empty())
            return -1;
        const int index = table ? table->searchWToken(static_cast<int>(feed_dispatcher_detail::toLong(fields[0]))) : -1;
        if (!table || !table->valid(index))
            return -1;
        static constexpr int kTargets[7] = {0, 1, 2, 3, 4, 14, 17};
        double values[7] = {};
        const size_t count = std::min<size_t>(fields.size() - 1, 7);
        for (size_t j = 0; j < count; ++j) {
            values[j] = feed_dispatcher_detail::toDouble(fields[j + 1]);
            if (!feed_dispatcher_detail::usableFeedValue(values[j])) {
                WriteLog(0, "Invalid Feeds data [" + std::string(text, static_cast<size_t>(std::min(length, 511))) +
                                "] index [" + std::to_string(index) + "]");
                return -1;
            }
        }
        const int64_t now = pf::clock().nowSeconds();
        table->row(index).updateQuote([&](QuoteData& q) {
            q.last_update = now;
            for (size_t j = 0; j < count; ++j) {
                const double v = values[j];
                double& stored = q.quote[kTargets[j]];
                short& tick = q.tick_code[kTargets[j]];
                tick = v > stored ? 1 : (v < stored ? -1 : 0);
                stored = v;
            }
            mark.tick4 = q.tick_code[4];
        });
        mark.quoteTime = count == 7 ? static_cast<int64_t>(values[6]) : 0;
        return index;
    } catch (...) {
        WriteLog(0, "Exception in UpdateRoundRobin");
        return -1;
    }
}

void FeedDispatcher::FeedsThread(int security, const QuoteMark& mark, bool inBuffer, const FeedFanOut& f)
{
    const short tickOfValue4 = mark.tick4;
    // The status bar shows the newest quote time the feed has given; within
    // a received buffer only the newest is handed on, when the buffer ends.
    if (inBuffer)
        m_bufferQuoteTime = std::max(m_bufferQuoteTime, mark.quoteTime);
    else if (mark.quoteTime > 0) {
        try {
            m_consumers.quoteTimeUpdated(mark.quoteTime);
        } catch (...) {
            WriteLog(0, "Exception in UpdateTokensThread");
        }
    }
    {
        // The feed thread within a buffer tells the market watches later.
        const bool later = inBuffer && m_inBuffer && &f == m_fanOut.get();
        for (const FeedFanOut::Target& t : f.windowsOf(security)) {
            // One window's failure does not keep the others from their tick.
            try {
                if (t.window->isClosing())
                    continue;
                switch (t.type) {
                case kWindowMarketWatch:
                case kWindowMisOptionsWatch:
                case kWindowOtherWatch:
                    if (later) {
                        if (m_markCount == kPendingMarks)
                            tellMarkedWindows();
                        t.window->quoteUpdateComing(security);
                        m_marks[m_markCount++] = PendingMark{t.window.get(), security, t.slot};
                    } else {
                        t.window->quoteUpdated(security);
                    }
                    break;
                case kWindowNetPosition:
                    if (tickOfValue4 == kTickRose || tickOfValue4 == kTickFell)
                        t.window->quoteUpdated(security);
                    break;
                case kWindowIntradayChart:
                    t.window->quoteUpdated(security);
                    break;
                default:
                    break;
                }
            } catch (...) {
                const char* which = t.type == kWindowNetPosition     ? "NP"
                                    : t.type == kWindowIntradayChart ? "EC"
                                                                     : "WL";
                WriteLog(0, std::string("Exception in FeedsThread(") + which + "): DlgNo [" + std::to_string(t.slot) +
                                "]");
            }
        }
    }
    try {
        m_consumers.lastTradesUpdated(security);
    } catch (...) {
        WriteLog(0, "Exception in FeedsThread");
    }
}

void FeedDispatcher::tellMarkedWindows()
{
    const int count = std::exchange(m_markCount, 0);
    for (int i = 0; i < count; ++i) {
        const PendingMark& m = m_marks[i];
        try {
            if (!m.window->isClosing())
                m.window->quoteUpdated(m.security);
        } catch (...) {
            WriteLog(0, "Exception in FeedsThread(WL): DlgNo [" + std::to_string(m.slot) + "]");
        }
    }
}

void FeedDispatcher::MDepthThread(const std::string& text)
{
    std::shared_ptr<SecurityTable> hold;
    const SecurityTable* table = m_inBuffer ? m_bufferTable.get() : (hold = SecurityTable::current()).get();
    for (const FeedFanOut::Target& t : fanOut().depthWindows) {
        try {
            if (t.window->isClosing())
                continue;
            const bool currency = table && table->valid(t.index) && table->row(t.index).currency != 0;
            t.window->depthUpdated(text, currency);
        } catch (...) {
            WriteLog(0, "Exception in MDepthThread");
        }
    }
}

void FeedDispatcher::MarketStatusThread(const std::string& text)
{
    WriteLog(0, "MarketStatusThread : " + text);
    const size_t comma = text.find(',');
    if (comma == std::string::npos)
        return;
    const std::string segment = text.substr(0, std::min<size_t>(comma, 2));
    const size_t end = text.find(',', comma + 1);
    std::string status = text.substr(comma + 1, end == std::string::npos ? std::string::npos : end - comma - 1);
    status.resize(std::min<size_t>(status.size(), 5));
    m_consumers.marketStatus(segment, status);
}

void FeedDispatcher::ResearchThread(int slot)
{
    if (slot < 0 || slot > 999) {
        WriteLog(0, "ResearchThread index out of bound ");
        return;
    }
    std::string text = BufferSlots().at(slot).buffer.substr(0, 4999);
    ReleaseBufferSlot(slot);
    WriteLog(0, text);
    const auto fields = feed_dispatcher_detail::splitFields(text, '|');
    auto field = [&](size_t i) { return i < fields.size() ? feed_dispatcher_detail::trimmed(fields[i]) : std::string_view(); };
    if (field(5).empty())
        return;
    const char side = field(1).empty() ? ' ' : field(1).front();
    m_consumers.setUserMessage(4, side, std::string(field(5)), true, static_cast<int>(feed_dispatcher_detail::toLong(field(6))));
}

std::string FeedDispatcher::ConfirmationText(std::string_view text, std::string* clientCode) const
{
    const auto fields = feed_dispatcher_detail::splitFields(text, '|');
    auto field = [&](size_t i) {
        return std::string(i < fields.size() ? feed_dispatcher_detail::trimmed(fields[i]) : std::string_view());
    };
    const long kind = feed_dispatcher_detail::toLong(field(1));
    const int token = static_cast<int>(feed_dispatcher_detail::toLong(field(2)));
    const std::string exch = field(3);
    const std::string client = field(5);
    const std::string buySell = field(6);
    const double orderNo = feed_dispatcher_detail::toDouble(field(7));
    long qty = feed_dispatcher_detail::toLong(field(9));
    double price = feed_dispatcher_detail::toDouble(field(10));
    double trigger = feed_dispatcher_detail::toDouble(field(11));
    if (price != 0)
        price /= 100;
    if (trigger != 0)
        trigger /= 100;
    const std::string time = field(14);
    const std::string exOrder = field(15).empty() ? "-NA-" : field(15);
    const std::string exTrade = field(16).empty() ? "-NA-" : field(16);
    const std::string reason = field(21);

    auto table = SecurityTable::current();
    const int index = table ? table->searchToken(token, exch) : -1;
    if (index < 0)
        return {};
    const SecurityRecord& rec = table->row(index);
    const char* priceFormat = rec.currency ? "%0.4lf" : "%0.2lf";
    const std::string priceText = formatText(priceFormat, price);
    const std::string triggerText = formatText(priceFormat, trigger);
    if (rec.commodity && rec.market_lot != 0)
        qty /= rec.market_lot;
    const char* orderType = trigger > 0 ? "StopLoss" : "Normal";
    if (clientCode)
        *clientCode = client;

    const char* what = nullptr;
    bool withReason = false;
    switch (kind) {
    case 0: what = "Order Confirmation"; break;
    case 2: what = "Order Modify Confirmation"; break;
    case 3: what = "Order Cancel Confirmation"; break;
    case 4: what = "Order Rejected"; withReason = true; break;
    case 5: what = "Order Cancel Rejected"; withReason = true; break;
    case 6: what = "Order Modify Rejected"; withReason = true; break;
    case 7: what = "Order Triggered"; break;
    case 8: what = "Order Frozen"; break;
    case 100: what = "Trade Confirm"; break;
    default: return {};
    }
    std::string out = formatText("Clt %s : %s %s %s for %s %ld@%s, Tri. Price :%s, TWXS Order No :%.0lf, ",
                                 client.c_str(), buySell.c_str(), orderType, what, rec.displayKey().c_str(), qty,
                                 priceText.c_str(), triggerText.c_str(), orderNo);
    out += kind == 100 ? "Ex Trade No :" + exTrade : "Ex Order No :" + exOrder;
    out += ", Time :" + time;
    if (withReason)
        out += ", Reason :" + reason;
    return out;
}

void FeedDispatcher::ConfirmationThreadX(const std::string& text)
{
    if (!IsLoggedIn())
        return;
    WriteLog(3, "Entry : ConfirmationThreadX");
    std::string client;
    const std::string message = ConfirmationText(text, &client);
    if (message.empty())
        return;
    WriteLog(0, message);
    const auto fields = feed_dispatcher_detail::splitFields(text, '|');
    const std::string side = fields.size() > 6 ? std::string(feed_dispatcher_detail::trimmed(fields[6])) : std::string();
    m_consumers.setUserMessage(1, side.empty() ? '-' : side.front(), message, false, 0);
    const int ci = pv_user_info.client_index;
    if (ci >= 0 && ci < static_cast<int>(g_Session.clients.size())) {
        m_consumers.orderConfirmation(client, message);
        m_consumers.orderConfirmationPayload(client, text);
    } else
        WriteLog(0, "Unable to update order confirmation for message [" + text +
                        "] reason [client ref structure returned NULL value]");
}

void FeedDispatcher::UpdateServerInfo(std::string_view text)
{
    const auto fields = feed_dispatcher_detail::splitFields(text, ',');
    auto field = [&](size_t i) {
        return std::string(i < fields.size() ? fields[i].substr(0, 127) : std::string_view());
    };
    FeedState& fs = FeedState::instance();
    const int slot = static_cast<int>(feed_dispatcher_detail::toLong(field(0)));
    const std::string host = field(2).substr(0, 63);
    const int port = static_cast<int>(feed_dispatcher_detail::toLong(field(3)));
    fs.setServer(host, port);
    fs.setSlot(slot);
    WriteLog(0, "Slot <" + std::to_string(slot) + ">, Feed Host <" + host + ">, Feed Port <" + std::to_string(port) +
                    ">");
    if (slot < 0)
        m_consumers.serverNotice(field(1));
}

void FeedDispatcher::IndexDistribute(std::string_view text)
{
    if (!IsLoggedIn())
        return;
    try {
        // The payload normally ends with a separator; only then is its last
        // character not part of the last field.
        if (!text.empty() && text.back() == ',')
            text.remove_suffix(1);
        // The first five fields, cut as splitFields cuts them, in place.
        std::string_view fields[5];
        size_t fieldCount = 0;
        for (std::string_view rest = text.substr(0, 511); !rest.empty() && fieldCount < 5;) {
            const size_t at = rest.find(',');
            fields[fieldCount++] = rest.substr(0, at);
            rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + 1);
        }
        auto field = [&](size_t i) { return i < fieldCount ? fields[i].substr(0, 63) : std::string_view(); };
        const int feedCode = static_cast<int>(feed_dispatcher_detail::toLong(field(0)));
        if (feedCode <= 0)
            return;
        const double value = feed_dispatcher_detail::toDouble(field(1));
        const double prevClose = feed_dispatcher_detail::toDouble(field(2));
        double change = feed_dispatcher_detail::toDouble(field(3));
        if (!feed_dispatcher_detail::usableFeedValue(value) || !feed_dispatcher_detail::usableFeedValue(prevClose) ||
            !feed_dispatcher_detail::usableFeedValue(change)) {
            WriteLog(0, "Invalid index data [" + std::string(text.substr(0, 511)) + "]");
            return;
        }
        if (change != 0)
            change /= 10;
        const int64_t time = static_cast<int64_t>(static_cast<int>(feed_dispatcher_detail::toLong(field(4))));

        IndexRecord row;
        const bool found = m_indices.update(
            feedCode,
            [&](IndexRecord& r) {
                auto& v = r.values;
                auto& t = r.ticks;
                if (value > v[1]) {
                    v[1] = value;
                    t[1] = 2;
                } else if (t[1] != 0) {
                    t[1] = 0;
                }
                if (value < v[2] || v[2] == 0) {
                    v[2] = value;
                    t[2] = 3;
                } else if (t[2] != 0) {
                    t[2] = 0;
                }
                t[0] = feed_dispatcher_detail::indexDirection(value, v[0], t[0]);
                v[0] = value;
                v[4] = prevClose;
                t[5] = feed_dispatcher_detail::indexDirection(change * 100, v[5], t[5]);
                // What is worked out of two values in bounds (their
                // difference, the change over a tiny close) may be beyond
                // them: it is held at the bound, as every stored value is.
                const auto bounded = [](double x) {
                    return std::clamp(x, -FeedDispatcher::kMaxFeedValue, FeedDispatcher::kMaxFeedValue);
                };
                v[5] = bounded(value - prevClose);
                r.stamp = time;
                const double pct = prevClose > 0 ? bounded((value - prevClose) / prevClose * 100 * 100) : 0;
                t[6] = feed_dispatcher_detail::indexDirection(pct, v[6], t[6]);
                v[6] = pct;
            },
            row);
        if (!found)
            return;
        m_consumers.indexUpdated(row);
        if (m_consumers.netPositionOpen()) {
            auto table = SecurityTable::current();
            const int security = table ? table->searchWToken(feedCode) : -1;
            if (table && table->valid(security)) {
                table->row(security).updateQuote([&](QuoteData& q) {
                    q.quote[4] = row.values[0];
                    q.quote[5] = row.values[1];
                    q.quote[6] = row.values[2];
                });
                m_consumers.netPositionPrice(security);
            }
        }
        auto f = m_subscriptions.fanOut();
        for (const FeedFanOut::Target& t : f->indexCharts) {
            try {
                if (!t.window->isClosing())
                    t.window->indexUpdated(feedCode);
            } catch (...) {
                WriteLog(0, "Exception in IndexDistribute : Err 0, Data " + std::string(text));
            }
        }
    } catch (const std::exception& e) {
        WriteLog(0, std::string("SException in IndexDistribute : [") + e.what() + "] line no 0");
    }
}

void InstallFeedDispatcher(FeedDispatcher* dispatcher)
{
    feed_dispatcher_detail::g_dispatcher.store(dispatcher);
}

int Distribute_Feed(const char* message, int length)
{
    FeedDispatcher* d = feed_dispatcher_detail::g_dispatcher.load();
    return d ? d->Distribute_Feed(message, length) : 0;
}
