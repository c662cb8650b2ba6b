#include "server/SecurityFile.h"

#include "app/base/LogWriter.h"
#include "app/base/TextFormat.h"
#include "pf/files.h"
#include "pf/large_memory.h"
#include "pf/threads.h"

#include <algorithm>
#include <atomic>
#include <barrier>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// File-local helpers.
namespace {
namespace security_file_detail {

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

inline std::string_view trim(const char* b, const char* e)
{
    while (b < e && isBlank(*b))
        ++b;
    while (e > b && isBlank(e[-1]))
        --e;
    return std::string_view(b, static_cast<size_t>(e - b));
}

// Integer as atoi reads it: optional sign, digits, anything after ignored;
// a value beyond int gives 0.
int toInt32(std::string_view s)
{
    size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        neg = s[i++] == '-';
    int64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > int64_t{INT32_MAX} + 1)
            return 0;
    }
    v = neg ? -v : v;
    return v > INT32_MAX || v < INT32_MIN ? 0 : static_cast<int>(v);
}

double toReal(std::string_view s)
{
    if (!s.empty() && s[0] == '+')
        s.remove_prefix(1);
    // Fast path for plain "digits[.digits]" of up to 15 digits: both the
    // digits as an integer and the power of ten are exact doubles, so one
    // division rounds exactly as the general conversion does.
    {
        int64_t mant = 0;
        int digits = 0;
        int frac = -1;
        size_t i = 0;
        for (; i < s.size() && digits <= 15; ++i) {
            const char c = s[i];
            if (c >= '0' && c <= '9') {
                mant = mant * 10 + (c - '0');
                ++digits;
                if (frac >= 0)
                    ++frac;
            } else if (c == '.' && frac < 0) {
                frac = 0;
            } else {
                break;
            }
        }
        if (i == s.size() && digits > 0 && digits <= 15) {
            static constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                                1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
            return frac > 0 ? static_cast<double>(mant) / kPow10[frac] : static_cast<double>(mant);
        }
    }
    double v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    // "inf" and "nan" are no prices.
    return r.ec == std::errc() && std::isfinite(v) ? v : 0;
}

// The display key. An option's is "%s~%s~%s~%0.2lf~%s" ("%0.4lf" for "OC")
// and a commodity future's "%s~%s~%s" of the row's parts: the row makes it
// when it is read. Any other is field 2 with '~' for '|', kept as the parts'
// form when they make exactly that text again.
void buildDisplayKey(SecurityRecord& rec, std::string_view field2, SecurityReading reading)
{
    const uint16_t t = TwoLetterCode(rec.inst_type.view());
    if (t == TwoLetterCode("OS") || t == TwoLetterCode("OI") || t == TwoLetterCode("CO") || t == TwoLetterCode("OC")) {
        rec.setDisplayKeyForm(t == TwoLetterCode("OC") ? DisplayKeyForm::OptionFine : DisplayKeyForm::Option);
    } else if (t == TwoLetterCode("CF") || (t == TwoLetterCode("CM") && reading == SecurityReading::Incremental)) {
        rec.setDisplayKeyForm(DisplayKeyForm::Future);
    } else {
        char key[64];
        const std::string_view f = field2.substr(0, 49);
        for (size_t i = 0; i < f.size(); ++i)
            key[i] = f[i] == '|' ? '~' : f[i];
        // Most such keys are still the parts joined (a stock future's
        // "SYM~FS~30DEC26"): the form the number of parts suggests.
        const size_t bars = static_cast<size_t>(std::count(f.begin(), f.end(), '|'));
        const DisplayKeyForm form = bars == 1   ? DisplayKeyForm::SymbolType
                                    : bars == 2 ? DisplayKeyForm::Future
                                    : bars == 4 ? (t == TwoLetterCode("OC") || t == TwoLetterCode("FC")
                                                       ? DisplayKeyForm::OptionFine
                                                       : DisplayKeyForm::Option)
                                                : DisplayKeyForm::Text;
        rec.adoptDisplayKey(std::string_view(key, f.size()), form);
    }
}

// Fills symbol, instrument type, expiry, strike and option type from field 2.
void splitSecurityText(SecurityRecord& rec, std::string_view field2)
{
    int part = 0;
    size_t start = 0;
    while (part < 5) {
        // The parts are a few characters long: a plain loop, not a search call.
        size_t bar = start;
        while (bar < field2.size() && field2[bar] != '|')
            ++bar;
        const std::string_view p = field2.substr(start, bar - start);
        if (bar == field2.size())
            bar = std::string_view::npos;
        if (p.empty())
            break; // an empty part ends the split
        switch (part) {
        case 0: rec.symbol.assign(p); break;
        case 1: rec.inst_type.assign(p); break;
        case 2: rec.expiry.assign(p); break;
        case 3:
            rec.strike = toReal(p);
            break;
        case 4: rec.option_type.assign(p); break;
        }
        ++part;
        if (bar == std::string_view::npos)
            break;
        start = bar + 1;
    }
}

// A text field cut to its width and then trimmed: a blank that the cut left
// at the end would be trimmed when the written record is read again, so the
// record would not read back to itself.
template <size_t N>
void assignCut(FixedText<N>& field, std::string_view text)
{
    const std::string_view cut = text.substr(0, std::min(text.size(), N - 1));
    field.assign(trim(cut.data(), cut.data() + cut.size()));
}

void parseHeader(std::string_view rec, SecurityFileHeader& header)
{
    const std::string_view h = rec.substr(0, 31);
    header.raw = std::string(h);
    const size_t d1 = h.find('-');
    header.date = std::string(h.substr(0, std::min<size_t>(d1, 10)));
    if (d1 != std::string_view::npos) {
        const std::string_view rest = h.substr(d1 + 1);
        const size_t d2 = rest.find('-');
        header.number = toInt32(rest.substr(0, d2));
        if (d2 != std::string_view::npos) {
            const std::string_view cnt = rest.substr(d2 + 1);
            header.count = toInt32(cnt.substr(0, cnt.find('-')));
        }
    }
    if (header.count < 1)
        header.count = 100;
}

} // namespace security_file_detail
} // namespace

SecurityRecord ParseSecurityRecord(std::string_view record, SecurityReading reading, bool& extended)
{
    SecurityRecord rec;
    ParseSecurityRecord(record, reading, extended, rec);
    return rec;
}

void ParseSecurityRecord(std::string_view record, SecurityReading reading, bool& extended, SecurityRecord& rec,
                         SecurityExtrasBlocks::Maker* extras)
{
    using namespace security_file_detail;
    // Up to 20 fields, trimmed; a field past the last one reads as empty.
    // (Plain pointer pairs: an array of 20 views would be cleared for every
    // record.)
    struct Field {
        const char* p;
        size_t n;
    };
    Field raw[20];
    int n = 0;
    if (!record.empty() && record[0] == ',')
        record.remove_prefix(1);
    const char* const p = record.data();
    const size_t len = record.size();
    auto put = [&](size_t from, size_t to) {
        const std::string_view t = trim(p + from, p + to);
        raw[n++] = Field{t.data(), t.size()};
    };
    // Field k ends at comma k+1 or at the end; the 20th takes no more.
    size_t start = 0;
    size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: the commas of a block come out as bits.
    const __m128i comma = _mm_set1_epi8(',');
    for (; i + 16 <= len && n < 20; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, comma)));
        while (mask != 0 && n < 20) {
            const size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
            put(start, at);
            start = at + 1;
            mask &= mask - 1;
        }
    }
#endif
    for (; i < len && n < 20; ++i) {
        if (p[i] == ',') {
            put(start, i);
            start = i + 1;
        }
    }
    if (n < 20)
        put(start, len);
    auto f = [&raw, n](int k) { return k < n ? std::string_view(raw[k].p, raw[k].n) : std::string_view(); };

    rec.token = toInt32(f(0));
    assignCut(rec.market_exchange, f(1));
    rec.advisory_kind = 0;
    splitSecurityText(rec, f(2));
    buildDisplayKey(rec, f(2), reading);
    rec.scrip_code = toInt32(f(3));
    rec.market_lot = toInt32(f(4));
    rec.tick_size = toInt32(f(5));
    assignCut(rec.status, f(6));

    const bool unitsExchange = UnitsPerLotExchange(rec.market_exchange.view());
    if (n > 9) {
        extended = true;
        if (unitsExchange)
            rec.multiplier = toInt32(f(7));
        rec.year_high = toReal(f(8));
        rec.year_low = toReal(f(9));
    } else {
        if (unitsExchange)
            rec.multiplier = toInt32(f(7));
        else
            rec.year_high = toReal(f(7));
        rec.year_low = toReal(f(8));
    }
    if (n > 10) {
        rec.wtoken = toInt32(f(10));
        rec.ref_rate.store(1.0, std::memory_order_relaxed);
    }
    if (n > 11) {
        const int denominator = n > 13 ? toInt32(f(13)) : 0;
        const int aux1 = n > 15 ? toInt32(f(15)) : 0;
        const int aux2 = n > 16 ? toInt32(f(16)) : 0;
        bool any = denominator != 0 || aux1 != 0 || aux2 != 0;
        for (int k : {11, 12, 14, 17, 18, 19})
            any = any || !f(k).empty();
        if (any) {
            SecurityExtras& x = rec.extrasForWrite(extras);
            x.denominator = denominator;
            x.aux_int1 = aux1;
            x.aux_int2 = aux2;
            x.price_unit = f(11).substr(0, 63);
            x.price_quantity = f(12).substr(0, 63);
            x.delvuni = f(14).substr(0, 20);
            x.description = f(17).substr(0, 500);
            x.aux_text1 = f(18).substr(0, 100);
            x.aux_text2 = f(19).substr(0, 50);
        }
    }
}

SecurityRowsAhead::SecurityRowsAhead() = default;
SecurityRowsAhead::SecurityRowsAhead(SecurityRowsAhead&&) noexcept = default;
SecurityRowsAhead::~SecurityRowsAhead() = default; // the mapping ends first

SecurityRowsAhead& SecurityRowsAhead::operator=(SecurityRowsAhead&& other) noexcept
{
    if (this != &other) {
        m_mapping.reset(); // before the memory it maps is given up
        m_rows = std::move(other.m_rows);
        m_mapping = std::move(other.m_mapping);
    }
    return *this;
}

SecurityRowsAhead::SecurityRowsAhead(std::string_view head)
{
    // Below this the rows fault in quickly enough on the parsing threads.
    constexpr int kWorthIt = 20'000;
    // A header may claim anything: no more room than a real master needs.
    constexpr int kMost = 1'000'000;
    const size_t tilde = head.find('~');
    if (tilde == std::string_view::npos)
        return;
    SecurityFileHeader header;
    security_file_detail::parseHeader(security_file_detail::trim(head.data(), head.data() + tilde), header);
    if (header.count < kWorthIt || header.count > kMost)
        return;
    try {
        m_rows.reserve(static_cast<size_t>(header.count));
        m_mapping = std::make_unique<pf::memory::MapAhead>(
            m_rows.data(), m_rows.capacity() * sizeof(SecurityRecord), pf::memory::mapAheadThreads());
    } catch (const std::exception&) {
        m_rows = SecurityRows(); // no room: the rows fault in as usual
    }
}

SecurityRows SecurityRowsAhead::take()
{
    m_mapping.reset();
    return std::move(m_rows);
}

bool SecurityTextLooksWhole(std::string_view text)
{
    using namespace security_file_detail;
    const size_t headEnd = text.find('~');
    const size_t last = text.find_last_not_of(" \t\r\n");
    if (headEnd == std::string_view::npos || last == std::string_view::npos || text[last] != '~')
        return false;
    // The header's own count, when it gives one: "date-number-count".
    const std::string_view head = trim(text.data(), text.data() + headEnd).substr(0, 31);
    int declared = 0;
    if (const size_t d1 = head.find('-'); d1 != std::string_view::npos)
        if (const size_t d2 = head.find('-', d1 + 1); d2 != std::string_view::npos) {
            const std::string_view count = head.substr(d2 + 1);
            declared = toInt32(count.substr(0, count.find('-')));
        }
    if (declared < 1)
        return true;
    // The records up to the first empty one, as the reader takes them.
    int records = 0;
    for (size_t at = headEnd + 1; at < text.size() && records < declared;) {
        size_t end = text.find('~', at);
        if (end == std::string_view::npos)
            end = text.size();
        if (trim(text.data() + at, text.data() + end).empty())
            break;
        ++records;
        at = end + 1;
    }
    return records >= declared;
}

SecurityFileContent ParseSecurityText(std::string_view text, SecurityReading reading)
{
    return ParseSecurityText(text, reading, SecurityRows());
}

SecurityFileContent ParseSecurityText(std::string_view text, SecurityReading reading, SecurityRows room)
{
    using namespace security_file_detail;
    SecurityFileContent out;
    out.opened = true;
    room.clear();
    out.rows = std::move(room);
    if (text.empty())
        return out;

    // The header is the first record; the records follow it up to the first
    // empty one.
    const char* const end = text.data() + text.size();
    const char* const headEnd = static_cast<const char*>(std::memchr(text.data(), '~', text.size()));
    const std::string_view head = trim(text.data(), headEnd ? headEnd : end);
    if (head.empty())
        return out;
    parseHeader(head, out.header);
    if (!headEnd)
        return out;
    const char* const body = headEnd + 1;
    const size_t bytes = static_cast<size_t>(end - body);

    // Records are independent: a large master is cut and parsed on a few
    // threads. The text is cut into pieces (a piece begins after a '~') that
    // the threads take in turn, many more pieces than threads, so that a
    // thread the machine keeps waiting holds up one small piece, not a share
    // the others wait for. The threads first count each piece's records,
    // then, once all are counted and the rows are sized, construct and fill
    // the rows of each piece: the rows' fresh pages are first touched on all
    // threads at once and each row is written once.
    constexpr size_t kBytesPerPart = size_t{640} << 10; // some 10,000 records
    constexpr size_t kPiecesPerThread = 8;
    const size_t threadCount =
        bytes < 2 * kBytesPerPart ? 1 : std::min<size_t>(std::min(pf::usableCpus(), 8u), bytes / kBytesPerPart);
    const size_t pieces = threadCount == 1 ? 1 : threadCount * kPiecesPerThread;
    std::vector<const char*> starts(pieces + 1, end);
    starts[0] = body;
    for (size_t k = 1; k < pieces; ++k) {
        const char* from = std::max(body + bytes * k / pieces, starts[k - 1]);
        const char* t = static_cast<const char*>(std::memchr(from, '~', static_cast<size_t>(end - from)));
        starts[k] = t ? t + 1 : end;
    }

    // A record of a piece: the next one from p, trimmed; `next` is where the
    // one after it begins (end after the last).
    auto nextRecord = [end](const char* p, const char*& next) {
        const char* t = static_cast<const char*>(std::memchr(p, '~', static_cast<size_t>(end - p)));
        next = t ? t + 1 : end;
        return trim(p, t ? t : end);
    };
    struct Part {
        size_t records = 0;   // counted first, parsed in place after
        bool stopped = false; // an empty record ended the text here
        size_t first = 0;     // its first row
        bool extended = false;
        std::exception_ptr error;
    };
    std::vector<Part> part(pieces);
    // A large master's extras are made side by side, on large pages, each
    // thread's by a maker of its own.
    SecurityExtrasBlocks blocks;
    // The first phase only counts: the parse walks the piece again (it is in
    // the processor's cache by then) rather than every record's place being
    // stored in fresh memory in between.
    auto cut = [&](size_t k) {
        Part& pk = part[k];
        for (const char* p = starts[k]; p < starts[k + 1];) {
            const char* next = nullptr;
            if (nextRecord(p, next).empty()) {
                pk.stopped = true;
                break;
            }
            ++pk.records;
            p = next;
        }
    };
    // Between the phases, on one thread: the pieces before the first empty
    // record give the rows, sized without constructing them.
    size_t used = 0; // pieces whose records become rows
    auto size = [&]() noexcept {
        size_t n = 0;
        for (used = 0; used < pieces;) {
            part[used].first = n;
            n += part[used].records;
            if (part[used++].stopped)
                break;
        }
        // Room made for a header that claimed far more rows than came is
        // not kept for the table's life.
        if (out.rows.capacity() > n + n / 4 + 1024)
            out.rows = SecurityRows();
        try {
            out.rows.reserve(n);
            const DeferRowConstruction deferred;
            out.rows.resize(n);
        } catch (...) {
            part[0].error = std::current_exception();
            used = 0;
        }
    };
    auto parse = [&](size_t k, SecurityExtrasBlocks::Maker* extras) {
        if (k >= used)
            return;
        Part& pk = part[k];
        const size_t n = pk.records;
        size_t i = 0;
        try {
            for (const char* p = starts[k]; i < n; ++i) {
                SecurityRecord* row = &out.rows[pk.first + i];
                ::new (static_cast<void*>(row)) SecurityRecord();
                const char* next = nullptr;
                ParseSecurityRecord(nextRecord(p, next), reading, pk.extended, *row, extras);
                p = next;
            }
        } catch (...) {
            // The vector destroys every row: the rest of the piece must exist.
            for (++i; i < n; ++i)
                ::new (static_cast<void*>(&out.rows[pk.first + i])) SecurityRecord();
            pk.error = std::current_exception();
        }
    };

    if (pieces == 1) {
        cut(0);
        size();
        parse(0, nullptr);
    } else {
        // Every piece is taken once in each phase, by whichever thread asks
        // first.
        std::atomic<size_t> nextCut{0};
        std::atomic<size_t> nextParse{0};
        auto cutPieces = [&] {
            for (size_t k; (k = nextCut.fetch_add(1, std::memory_order_relaxed)) < pieces;)
                cut(k);
        };
        auto parsePieces = [&] {
            SecurityExtrasBlocks::Maker extras(blocks);
            for (size_t k; (k = nextParse.fetch_add(1, std::memory_order_relaxed)) < pieces;)
                parse(k, &extras);
        };
        std::barrier cutDone(static_cast<std::ptrdiff_t>(threadCount), size);
        std::vector<std::thread> threads;
        threads.reserve(threadCount);
        size_t started = 1;
        try {
            for (; started < threadCount; ++started)
                threads.emplace_back([&] {
                    cutPieces();
                    cutDone.arrive_and_wait();
                    parsePieces();
                });
        } catch (const std::system_error&) {
            // No thread to spare: the threads there are take every piece.
            for (size_t k = started; k < threadCount; ++k)
                cutDone.arrive_and_drop();
        }
        cutPieces();
        cutDone.arrive_and_wait();
        parsePieces();
        for (auto& t : threads)
            t.join();
    }
    for (const Part& pk : part)
        if (pk.error)
            std::rethrow_exception(pk.error);
    out.extended = std::any_of(part.begin(), part.end(), [](const Part& pk) { return pk.extended; });
    return out;
}

std::string FormatSecurityRecord(const SecurityRecord& rec, bool extendedFormat)
{
    std::string field2(rec.displayKey().view());
    for (char& c : field2)
        if (c == '~')
            c = '|';
    const QuoteData live = rec.quote();
    // No fixed buffer: a record cut short would lose its '~' and run into the
    // next one when the file is read again. A 52-week value that is no number
    // (never a price) is written as 0.
    const double high = std::isfinite(live.year_high) ? live.year_high : 0.0;
    const double low = std::isfinite(live.year_low) ? live.year_low : 0.0;
    if (extendedFormat)
        return formatText("%d,%s,%s,%d,%d,%d,%s,%ld,%.2lf,%.2lf,%ld~", rec.token, rec.market_exchange.c_str(),
                          field2.c_str(), rec.scrip_code, rec.market_lot, rec.tick_size, rec.status.c_str(),
                          static_cast<long>(rec.multiplier), high, low, static_cast<long>(rec.wtoken));
    // The old layout's eighth field is what the reader takes it for: the
    // units per lot on the exchanges that carry them, else the 52-week high.
    if (UnitsPerLotExchange(rec.market_exchange.view()))
        return formatText("%d,%s,%s,%d,%d,%d,%s,%d,%.2lf~", rec.token, rec.market_exchange.c_str(), field2.c_str(),
                          rec.scrip_code, rec.market_lot, rec.tick_size, rec.status.c_str(), rec.multiplier, low);
    return formatText("%d,%s,%s,%d,%d,%d,%s,%.2lf,%.2lf~", rec.token, rec.market_exchange.c_str(), field2.c_str(),
                      rec.scrip_code, rec.market_lot, rec.tick_size, rec.status.c_str(), high, low);
}

SecurityFileContent LoadSecurity(const std::string& fileName, SecurityReading reading)
{
    if (reading != SecurityReading::Full) {
        const auto text = pf::files::readAll(fileName);
        return text ? ParseSecurityText(*text, reading) : SecurityFileContent{};
    }
    // The rows' room is mapped while the file is read.
    SecurityRowsAhead ahead(pf::files::readHead(fileName, kSecurityHeadBytes));
    const auto text = pf::files::readAll(fileName);
    if (!text)
        return {};
    return LoadSecurityText(*text, ahead.take());
}

SecurityFileContent LoadSecurityText(std::string_view text, SecurityRows room)
{
    SecurityFileContent c = ParseSecurityText(text, SecurityReading::Full, std::move(room));
    {
        char buf[160];
        std::snprintf(buf, sizeof buf, "Securities File Date :<%s>,<%s,%d,%d>", c.header.raw.c_str(),
                      c.header.date.c_str(), c.header.number, c.header.count);
        WriteLog(0, buf);
    }
    return c;
}
