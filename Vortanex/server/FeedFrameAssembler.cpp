#include "server/FeedFrameAssembler.h"

#include "app/base/LogWriter.h"
#include "pf/clock.h"
#include "pf/lzo.h"

#include <algorithm>
#include <cstring>

namespace feed_frame_assembler_detail {

const char* findByte(const char* from, const char* end, char c)
{
    if (from >= end)
        return nullptr;
    return static_cast<const char*>(std::memchr(from, c, static_cast<size_t>(end - from)));
}

// The decimal value of exactly `count` digits at p, or -1 when one is not a digit.
long digitsValue(const char* p, int count)
{
    long v = 0;
    for (int i = 0; i < count; ++i) {
        const char c = p[i];
        if (c < '0' || c > '9')
            return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

// The same for the four digits of a frame's length, read on every frame:
// the four are tested at once, without a call or a branch per digit.
inline long fourDigitsValue(const char* p)
{
    const unsigned d0 = static_cast<unsigned char>(p[0] - '0'), d1 = static_cast<unsigned char>(p[1] - '0'),
                   d2 = static_cast<unsigned char>(p[2] - '0'), d3 = static_cast<unsigned char>(p[3] - '0');
    if ((d0 < 10) & (d1 < 10) & (d2 < 10) & (d3 < 10))
        return static_cast<long>(d0 * 1000 + d1 * 100 + d2 * 10 + d3);
    return -1;
}

// A frame's text for a log line: printable, and short.
std::string shown(const char* p, size_t n)
{
    constexpr size_t kMaxShown = 128;
    std::string s;
    const size_t take = n < kMaxShown ? n : kMaxShown;
    s.reserve(take);
    for (size_t i = 0; i < take; ++i) {
        const unsigned char c = static_cast<unsigned char>(p[i]);
        s.push_back(c >= 32 && c < 127 ? static_cast<char>(c) : '.');
    }
    if (take < n)
        s += "...";
    return s;
}

} // namespace feed_frame_assembler_detail

FeedFrameAssembler::FeedFrameAssembler(Kind kind, Reporter reporter)
    : m_kind(kind), m_reporter(std::move(reporter))
{
}

FeedFrameAssembler::~FeedFrameAssembler()
{
    try {
        if (m_runOpen)
            endRun(m_consumed);
        report(true);
    } catch (...) {
        // A log line that cannot be written is no reason to fail a teardown.
    }
}

void FeedFrameAssembler::reset()
{
    if (m_runOpen)
        endRun(m_consumed);
    report(true);
    m_consumed += m_pending.size();
    m_pending.clear();
}

void FeedFrameAssembler::drop(const char* at, const std::function<std::string()>& why)
{
    ++m_dropped;
    if (!m_runOpen) {
        m_runOpen = true;
        m_runStart = offsetOf(at);
        m_runFrames = 0;
        m_runWhy = why();
    }
    ++m_runFrames;
}

void FeedFrameAssembler::good(const char* at)
{
    if (m_runOpen)
        endRun(offsetOf(at));
}

void FeedFrameAssembler::endRun(uint64_t end)
{
    m_runOpen = false;
    const uint64_t bytes = end > m_runStart ? end - m_runStart : 0;
    if (bytes == 0 && m_runFrames == 0)
        return; // a continued run that had nothing more
    if (m_heldRuns == 0)
        m_heldWhy = m_runWhy;
    ++m_heldRuns;
    m_heldBytes += bytes;
    m_heldFrames += m_runFrames;
    m_runFrames = 0;
    report(false);
}

void FeedFrameAssembler::report(bool force)
{
    if (m_heldRuns == 0)
        return;
    const int64_t now = pf::clock().nowSeconds();
    if (!force && m_reported && now - m_lastReport < kDropReportSeconds)
        return;
    std::string line = "Feed bytes dropped, Len <" + std::to_string(m_heldBytes) + ">, Frames <" +
                       std::to_string(m_heldFrames) + ">";
    if (m_heldRuns > 1)
        line += ", Runs <" + std::to_string(m_heldRuns) + ">";
    line += ": " + m_heldWhy;
    m_heldRuns = m_heldBytes = m_heldFrames = 0;
    m_heldWhy.clear();
    m_reported = true;
    m_lastReport = now;
    if (m_reporter)
        m_reporter(line);
    else
        WriteLog(0, line);
}

bool FeedFrameAssembler::feed(const char* data, size_t size, const Sink& sink)
{
    bool stopped = false;
    m_bufferBase = m_consumed;
    if (m_pending.empty()) {
        // The common case: whole frames in one read, cut straight from it.
        m_buffer = data;
        const size_t used = cut(data, size, sink, stopped);
        m_consumed += used;
        m_pending.assign(data + used, size - used);
    } else if (m_kind == Kind::Tcp) {
        // A frame begun in an earlier read: only the bytes that complete it
        // are joined to it, and the rest of the read is cut where it lies
        // (nearly every read ends inside a frame, so joining the whole read
        // would copy every byte of the feed once more).
        size_t at = 0;
        for (;;) {
            const size_t take = std::min(size - at, tcpPendingNeed());
            m_pending.append(data + at, take);
            at += take;
            m_bufferBase = m_consumed;
            m_buffer = m_pending.data();
            const size_t used = cut(m_pending.data(), m_pending.size(), sink, stopped);
            m_consumed += used;
            m_pending.erase(0, used);
            if (stopped || (take == 0 && used == 0)) {
                // The rest of the read waits with what is left (a stop), or
                // is joined whole, as for the other transports.
                m_pending.append(data + at, size - at);
                if (!stopped) {
                    m_bufferBase = m_consumed;
                    m_buffer = m_pending.data();
                    const size_t more = cut(m_pending.data(), m_pending.size(), sink, stopped);
                    m_consumed += more;
                    m_pending.erase(0, more);
                }
                at = size;
                break;
            }
            if (m_pending.empty() || at == size)
                break;
        }
        if (m_pending.empty() && at < size) {
            m_bufferBase = m_consumed;
            m_buffer = data + at;
            const size_t used = cut(data + at, size - at, sink, stopped);
            m_consumed += used;
            m_pending.assign(data + at + used, size - at - used);
        }
    } else {
        m_pending.append(data, size);
        m_buffer = m_pending.data();
        const size_t used = cut(m_pending.data(), m_pending.size(), sink, stopped);
        m_consumed += used;
        m_pending.erase(0, used);
    }
    m_buffer = nullptr;
    // A run that goes on over many reads (a feed sending only garbage) is
    // written as far as it has come whenever a line is due, and goes on.
    if (m_runOpen && (!m_reported || pf::clock().nowSeconds() - m_lastReport >= kDropReportSeconds)) {
        const std::string why = m_runWhy;
        endRun(m_consumed);
        m_runOpen = true;
        m_runStart = m_consumed;
        m_runFrames = 0;
        m_runWhy = why;
    }
    report(false);
    return !stopped;
}

size_t FeedFrameAssembler::tcpPendingNeed() const
{
    const char* const begin = m_pending.data();
    const char* const end = begin + m_pending.size();
    const char* a = feed_frame_assembler_detail::findByte(begin, end, '^');
    if (!a)
        return 0; // nothing that starts a frame: the cut takes it all
    const size_t avail = static_cast<size_t>(end - a);
    if (avail < 6)
        return 6 - avail; // its length first
    const long n = feed_frame_assembler_detail::fourDigitsValue(a + 2);
    if (n < 0)
        return 0; // the cut drops it and looks further
    const size_t frameLen = 6 + static_cast<size_t>(n) + 1;
    return frameLen > avail ? frameLen - avail : 0;
}

size_t FeedFrameAssembler::cut(const char* data, size_t size, const Sink& sink, bool& stopped)
{
    switch (m_kind) {
    case Kind::Stream:
        return cutStream(data, size, sink, stopped);
    case Kind::Tcp:
        return cutTcp(data, size, sink, stopped);
    case Kind::Udp:
        return cutUdp(data, size, sink, stopped);
    }
    return size;
}

size_t FeedFrameAssembler::cutStream(const char* data, size_t size, const Sink& sink, bool& stopped)
{
    const char* const end = data + size;
    const char* p = data;
    for (;;) {
        const char* a = feed_frame_assembler_detail::findByte(p, end, '^');
        if (!a)
            return size;
        const char* d = feed_frame_assembler_detail::findByte(a + 1, end, '$');
        if (!d) {
            if (static_cast<size_t>(end - a) <= kMaxStreamPending)
                return static_cast<size_t>(a - data);
            // No '$' for too long: give up the text, keeping a last '^' that
            // may start a good frame.
            const char* last = a;
            for (const char* q = a + 1; q < end; ++q)
                if (*q == '^')
                    last = q;
            drop(a, [&] { return "Stream text without end dropped, Len <" + std::to_string(end - a) + ">"; });
            if (last != a && static_cast<size_t>(end - last) <= kMaxStreamPending)
                return static_cast<size_t>(last - data);
            return size;
        }
        // A '^' inside the body means the '$' of an earlier frame was lost:
        // the frame starts after the last one.
        const char* body = a + 1;
        for (const char* q = d - 1; q > a; --q) {
            if (*q == '^') {
                drop(a, [&] {
                    return "Frame without end skipped, Data <" + feed_frame_assembler_detail::shown(a, static_cast<size_t>(q - a)) + ">";
                });
                body = q + 1;
                break;
            }
        }
        const size_t bodyLen = static_cast<size_t>(d - body);
        const long n = bodyLen >= 5 ? feed_frame_assembler_detail::fourDigitsValue(body + 1) : -1;
        if (n >= 0 && bodyLen - 5 == static_cast<size_t>(n)) {
            good(body - 1);
            if (!sink(std::string_view(body + 5, static_cast<size_t>(n)))) {
                stopped = true;
                return static_cast<size_t>(d + 1 - data);
            }
        } else {
            drop(body - 1,
                 [&] { return "Invalid Len <" + std::to_string(n) + ">, Data <" + feed_frame_assembler_detail::shown(body, bodyLen) + ">"; });
        }
        p = d + 1;
    }
}

size_t FeedFrameAssembler::cutTcp(const char* data, size_t size, const Sink& sink, bool& stopped)
{
    const char* const end = data + size;
    const char* p = data;
    for (;;) {
        const char* a = feed_frame_assembler_detail::findByte(p, end, '^');
        if (!a)
            return size;
        const size_t avail = static_cast<size_t>(end - a);
        if (avail < 6)
            return static_cast<size_t>(a - data);
        const long n = feed_frame_assembler_detail::fourDigitsValue(a + 2);
        if (n < 0) {
            drop(a, [&] { return "Invalid Len <-1>, Data <" + feed_frame_assembler_detail::shown(a, 6) + ">"; });
            p = a + 1;
            continue;
        }
        const size_t frameLen = 6 + static_cast<size_t>(n) + 1;
        if (avail < frameLen)
            return static_cast<size_t>(a - data);
        if (a[frameLen - 1] != '$') {
            // Resynchronise at the next '^' after this one, which may lie
            // inside the bytes just taken as this frame.
            drop(a, [&] { return "Invalid Len <" + std::to_string(n) + ">, Data <" + feed_frame_assembler_detail::shown(a, frameLen) + ">"; });
            p = a + 1;
            continue;
        }
        const char* payload = a + 6;
        if (a[1] != '9')
            good(a);
        const bool go = a[1] == '9' ? deliverPacked(a, payload, static_cast<size_t>(n), sink)
                                    : sink(std::string_view(payload, static_cast<size_t>(n)));
        p = a + frameLen;
        if (!go) {
            stopped = true;
            return static_cast<size_t>(p - data);
        }
    }
}

bool FeedFrameAssembler::deliverPacked(const char* frame, const char* payload, size_t size, const Sink& sink)
{
    int code = 0;
    if (!pf::lzo::inflate(reinterpret_cast<const unsigned char*>(payload), size, m_unpacked, size * kInflateFactor,
                          &code)) {
        drop(frame, [&] {
            return "Unable to decompress feed frame, Len <" + std::to_string(size) + ">, Err <" +
                   std::to_string(code) + ">";
        });
        return true;
    }
    good(frame);
    // Inner frames one after another, each checked against the unpacked end.
    const char* const begin = reinterpret_cast<const char*>(m_unpacked.data());
    const char* const end = begin + m_unpacked.size();
    const char* p = begin;
    for (;;) {
        const char* a = feed_frame_assembler_detail::findByte(p, end, '^');
        if (!a)
            return true;
        const long m = end - a >= 6 ? feed_frame_assembler_detail::fourDigitsValue(a + 2) : -1;
        if (m < 0 || static_cast<size_t>(end - a) < 6 + static_cast<size_t>(m)) {
            drop(frame, [&] {
                return "Invalid inner Len <" + std::to_string(m) + ">, Data <" +
                       feed_frame_assembler_detail::shown(a, static_cast<size_t>(end - a)) + ">";
            });
            if (m < 0) {
                p = a + 1;
                continue;
            }
            return true;
        }
        if (!sink(std::string_view(a + 6, static_cast<size_t>(m))))
            return false;
        p = a + 6 + m;
    }
}

size_t FeedFrameAssembler::cutUdp(const char* data, size_t size, const Sink& sink, bool& stopped)
{
    const char* const end = data + size;
    const char* p = data;
    for (;;) {
        const char* a = feed_frame_assembler_detail::findByte(p, end, '|');
        if (!a)
            return size;
        const size_t avail = static_cast<size_t>(end - a);
        if (avail < 7)
            return static_cast<size_t>(a - data);
        const long n = feed_frame_assembler_detail::digitsValue(a + 1, 5);
        if (n < 0) {
            drop(a, [&] { return "Invalid Len <-1>, Data <" + feed_frame_assembler_detail::shown(a, 7) + ">"; });
            p = a + 1;
            continue;
        }
        const size_t frameLen = 7 + static_cast<size_t>(n);
        if (avail < frameLen)
            return static_cast<size_t>(a - data);
        good(a);
        p = a + frameLen;
        if (!sink(std::string_view(a + 7, static_cast<size_t>(n)))) {
            stopped = true;
            return static_cast<size_t>(p - data);
        }
    }
}
