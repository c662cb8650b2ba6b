#pragma once
// Cuts the feed's byte stream into messages. The bytes arrive in chunks of
// any size (a frame may span reads, or a read hold many frames); the state is
// kept between chunks. The assembler never trusts a declared length beyond
// the frame format's own bound, and after a bad frame it looks for the next
// start character instead of giving up or writing past a buffer.
//
// Frames:
// - Stream (HTTP stream): '^', a flag, a 4-digit length n, n payload bytes,
//   '$'. Cut from a '^' to the next '$'; a '^' inside means a '$' was lost,
//   and the frame starts again after it.
// - Tcp: the same frame, taken by its declared length; flag '9' means the
//   payload is LZO1X-packed and holds inner frames '^', a flag, a 4-digit
//   length m and m bytes, each handed on.
// - Udp: '|', a 5-digit length n, one separator, n payload bytes.
//
// Bytes that make no frame are dropped as one run (from the first bad frame
// to the next good one) and the run is logged once, with its byte count and
// the first fault; the lines are rate limited, so a broken feed cannot fill
// the disk with them.
#include "pf/lzo.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class FeedFrameAssembler {
public:
    enum class Kind { Stream, Tcp, Udp };

    // Receives each message; returning false stops the cutting (the rest of
    // the chunk stays pending).
    using Sink = std::function<bool(std::string_view message)>;
    // Receives a line for the log about a frame that was dropped.
    using Reporter = std::function<void(const std::string& line)>;

    // Largest declared lengths of the formats.
    static constexpr size_t kMaxFrameLength = 9999;
    static constexpr size_t kMaxUdpLength = 99999;
    // A packed payload unpacks into at most this many times its size.
    static constexpr size_t kInflateFactor = 20;
    // Stream text pending without a '$' beyond this is given up (up to the
    // last '^', which may begin a good frame).
    static constexpr size_t kMaxStreamPending = 64 * 1024;

    // At most one line about dropped bytes per this many seconds (pf::clock);
    // runs that end in between are added to the next line.
    static constexpr int64_t kDropReportSeconds = 10;

    explicit FeedFrameAssembler(Kind kind, Reporter reporter = {});
    // Logs a run still open (and any held back).
    ~FeedFrameAssembler();
    FeedFrameAssembler(const FeedFrameAssembler&) = delete;
    FeedFrameAssembler& operator=(const FeedFrameAssembler&) = delete;

    // Feeds one chunk. False when the sink asked to stop.
    bool feed(const char* data, size_t size, const Sink& sink);
    bool feed(std::string_view data, const Sink& sink) { return feed(data.data(), data.size(), sink); }

    // Forgets any partial frame (a new connection); logs a run still open.
    void reset();

    Kind kind() const { return m_kind; }
    // Frames dropped as malformed since construction.
    uint64_t droppedFrames() const { return m_dropped; }
    // Bytes held for an unfinished frame.
    size_t pendingBytes() const { return m_pending.size(); }

private:
    // Cuts frames from [data, data+size); returns the bytes consumed.
    // stopped is set when the sink asked to stop.
    size_t cut(const char* data, size_t size, const Sink& sink, bool& stopped);
    // Tcp: how many more bytes the first frame held in m_pending needs to be
    // whole (0 when it is, or when the cut will drop what is held).
    size_t tcpPendingNeed() const;
    size_t cutStream(const char* data, size_t size, const Sink& sink, bool& stopped);
    size_t cutTcp(const char* data, size_t size, const Sink& sink, bool& stopped);
    size_t cutUdp(const char* data, size_t size, const Sink& sink, bool& stopped);
    bool deliverPacked(const char* frame, const char* payload, size_t size, const Sink& sink);
    // A malformed frame at `at` (in the buffer being cut): opens a run, or
    // adds to the open one. `why` is built only for a run's first fault.
    void drop(const char* at, const std::function<std::string()>& why);
    // A good frame at `at`: the open run ends just before it.
    void good(const char* at);
    // Ends the open run at the absolute offset `end` and reports it.
    void endRun(uint64_t end);
    // Writes what is held back when the rate allows (or always, with force).
    void report(bool force);
    uint64_t offsetOf(const char* at) const { return m_bufferBase + static_cast<uint64_t>(at - m_buffer); }

    const Kind m_kind;
    Reporter m_reporter;
    std::string m_pending; // bytes of an unfinished frame (and what follows it)
    pf::lzo::Bytes m_unpacked;
    uint64_t m_dropped = 0;

    // Offsets count every byte fed since construction.
    uint64_t m_consumed = 0;          // bytes cut so far (the pending ones not yet)
    const char* m_buffer = nullptr;   // the buffer being cut ...
    uint64_t m_bufferBase = 0;        // ... and the offset of its first byte
    bool m_runOpen = false;
    uint64_t m_runStart = 0;          // offset of the open run's first byte
    uint64_t m_runFrames = 0;         // malformed frames in the open run
    std::string m_runWhy;             // the open run's first fault
    // Runs ended but not yet written (rate limit).
    uint64_t m_heldRuns = 0;
    uint64_t m_heldBytes = 0;
    uint64_t m_heldFrames = 0;
    std::string m_heldWhy;            // the first held run's first fault
    int64_t m_lastReport = 0;         // pf::clock seconds of the last line
    bool m_reported = false;          // a line was written already
};
