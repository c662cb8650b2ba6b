// The feed's frame assembler in its three transports. The first byte picks
// the transport and seeds the chunking; the rest is the byte stream, fed
// once whole and once cut into chunks of varying size.
// Properties: the messages do not depend on how the stream was cut; no
// message is longer than its format allows; what comes out is bounded by
// what went in (a packed frame unpacks into at most kInflateFactor times
// its payload).
#include "../FuzzTarget.h"

#include "server/FeedFrameAssembler.h"

#include <string>
#include <vector>

namespace feed_frames {

namespace {

std::vector<std::string> cutAll(FeedFrameAssembler::Kind kind, std::string_view bytes, unsigned seed)
{
    std::vector<std::string> out;
    FeedFrameAssembler assembler(kind);
    const auto sink = [&out](std::string_view m) {
        out.emplace_back(m);
        return true;
    };
    if (seed == 0) {
        assembler.feed(bytes, sink);
        return out;
    }
    unsigned state = seed;
    size_t at = 0;
    while (at < bytes.size()) {
        state = state * 1103515245u + 12345u;
        const size_t step = 1 + (state >> 16) % 37;
        const size_t n = step < bytes.size() - at ? step : bytes.size() - at;
        assembler.feed(bytes.substr(at, n), sink);
        at += n;
    }
    return out;
}

} // namespace

FUZZ_TARGET(feed_frames)
{
    if (size < 1)
        return;
    using Kind = FeedFrameAssembler::Kind;
    const Kind kinds[] = {Kind::Stream, Kind::Tcp, Kind::Udp};
    const Kind kind = kinds[data[0] % 3];
    const std::string_view bytes = fuzz::text(data + 1, size - 1);

    const std::vector<std::string> whole = cutAll(kind, bytes, 0);
    size_t total = 0;
    for (const std::string& m : whole) {
        FUZZ_CHECK(m.size() <= (kind == Kind::Udp ? FeedFrameAssembler::kMaxUdpLength
                                                  : FeedFrameAssembler::kMaxFrameLength));
        total += m.size();
    }
    FUZZ_CHECK(total <= bytes.size() * (kind == Kind::Tcp ? FeedFrameAssembler::kInflateFactor : 1));
    FUZZ_CHECK(cutAll(kind, bytes, 1u + data[0]) == whole);
}

} // namespace feed_frames
