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

    explicit FeedFrameAssembler(Kind kind, Reporter reporter = {});

    // Feeds one chunk. False when the sink asked to stop.
    bool feed(const char* data, size_t size, const Sink& sink);
    bool feed(std::string_view data, const Sink& sink) { return feed(data.data(), data.size(), sink); }

    // Forgets any partial frame (a new connection).
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
    size_t cutStream(const char* data, size_t size, const Sink& sink, bool& stopped);
    size_t cutTcp(const char* data, size_t size, const Sink& sink, bool& stopped);
    size_t cutUdp(const char* data, size_t size, const Sink& sink, bool& stopped);
    bool deliverPacked(const char* payload, size_t size, const Sink& sink);
    void drop(const std::string& line);

    const Kind m_kind;
    Reporter m_reporter;
    std::string m_pending; // bytes of an unfinished frame (and what follows it)
    std::vector<unsigned char> m_unpacked;
    uint64_t m_dropped = 0;
};
