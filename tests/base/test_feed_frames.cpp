// Cutting the feed's byte stream into messages, per transport.
#include "server/FeedFrameAssembler.h"

#include "pf/clock.h"
#include "pf/lzo.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace test_feed_frames {

namespace {

using Kind = FeedFrameAssembler::Kind;

std::string frame(std::string_view msg, char flag = '0')
{
    char head[8];
    std::snprintf(head, sizeof head, "^%c%04zu", flag, msg.size());
    return head + std::string(msg) + "$";
}

std::string udpFrame(std::string_view msg)
{
    char head[8];
    std::snprintf(head, sizeof head, "|%05zu", msg.size());
    return head + std::string(",") + std::string(msg);
}

// '^' '9' length, the packed inner frames, '$'.
std::string packedFrame(const std::vector<std::string>& msgs)
{
    std::string inner;
    for (const auto& m : msgs) {
        char head[8];
        std::snprintf(head, sizeof head, "^0%04zu", m.size());
        inner += head + m;
    }
    const auto packed = pf::lzo::compress(reinterpret_cast<const unsigned char*>(inner.data()), inner.size());
    return frame(std::string(packed.begin(), packed.end()), '9');
}

struct FrameCase {
    const char* name;
    Kind kind;
    std::vector<std::string> reads;     // the chunks as they arrive
    std::vector<std::string> messages;  // what must come out, in order
    uint64_t dropped = 0;               // frames reported as malformed
    size_t pendingAfter = 0;            // bytes held at the end
};

std::vector<FrameCase> frameCases()
{
    const std::string q = "101,7,100,200";
    const std::string big(9999, 'x');
    const std::string bigUdp(99999, 'u');
    return {
        {"TcpWhole", Kind::Tcp, {frame(q)}, {q}},
        {"TcpSplitAcrossTwoReads", Kind::Tcp, {frame(q).substr(0, 3), frame(q).substr(3)}, {q}},
        {"TcpSplitInsidePayload", Kind::Tcp, {frame(q).substr(0, 9), frame(q).substr(9) + frame("999,x")},
            {q, "999,x"}},
        {"TcpGarbageBeforeFirstFrameDropped", Kind::Tcp, {"zz$$12" + frame(q)}, {q}},
        {"TcpUnfinishedFrameWaits", Kind::Tcp, {frame(q).substr(0, 8)}, {}, 0, 8},
        {"TcpBadTrailerResynchronises", Kind::Tcp, {"^00005abcdeX" + frame(q)}, {q}, 1},
        {"TcpLostEndFoundInsideTakenBytes", Kind::Tcp, {"^00030ab" + frame(q) + std::string(30, '-')}, {q}, 1},
        {"TcpLostEndFoundInTheNextRead", Kind::Tcp,
            {"^00030ab", frame(q) + std::string(30, '-') + frame(q).substr(0, 4)}, {q}, 1, 4},
        {"TcpBadLengthDigits", Kind::Tcp, {"^0x12a" + frame(q)}, {q}, 1},
        {"TcpLongestLength", Kind::Tcp, {frame(big).substr(0, 5000), frame(big).substr(5000)}, {big}},
        {"TcpPackedFrameGivesEachInner", Kind::Tcp, {packedFrame({"101,1,2", "104,3,4", "110,5,6,"})},
            {"101,1,2", "104,3,4", "110,5,6,"}},
        {"TcpCorruptPackedFrameDropped", Kind::Tcp, {frame("not-lzo-data", '9') + frame(q)}, {q}, 1},
        {"StreamWhole", Kind::Stream, {"^x0005hello$"}, {"hello"}},
        {"StreamSplitAcrossTwoReads", Kind::Stream, {"^x00", "05hello$^"}, {"hello"}, 0, 1},
        {"StreamLostEndResynchronises", Kind::Stream, {"^a001", "^b0003abc$"}, {"abc"}, 1},
        {"StreamWrongLengthDropped", Kind::Stream, {"^a0004abc$" + frame(q)}, {q}, 1},
        {"StreamFlagNotInspected", Kind::Stream, {frame(q, '9')}, {q}},
        {"StreamUnfinishedFrameWaits", Kind::Stream, {"^a0005ab"}, {}, 0, 8},
        {"UdpWhole", Kind::Udp, {udpFrame(q)}, {q}},
        {"UdpSplitAcrossDatagrams", Kind::Udp, {udpFrame(q).substr(0, 4), udpFrame(q).substr(4)}, {q}},
        {"UdpFiveDigitLength", Kind::Udp, {udpFrame(bigUdp)}, {bigUdp}},
        {"UdpPayloadMayHoldBars", Kind::Udp, {udpFrame("130|a|b") + udpFrame(q)}, {"130|a|b", q}},
        {"UdpBadLengthResynchronises", Kind::Udp, {"|0a000," + udpFrame(q)}, {q}, 1},
        {"UdpUnfinishedFrameWaits", Kind::Udp, {"|00010,abc"}, {}, 0, 10},
    };
}

// ctest shows the row's name, not its bytes.
void PrintTo(const FrameCase& c, std::ostream* os)
{
    *os << c.name;
}

class FeedFrames : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FeedFrames, CutsMessages)
{
    const FrameCase& c = GetParam();
    std::vector<std::string> logged;
    FeedFrameAssembler assembler(c.kind, [&](const std::string& line) { logged.push_back(line); });
    std::vector<std::string> got;
    for (const auto& r : c.reads)
        EXPECT_TRUE(assembler.feed(r, [&](std::string_view m) {
            got.emplace_back(m);
            return true;
        }));
    EXPECT_EQ(got, c.messages);
    EXPECT_EQ(assembler.droppedFrames(), c.dropped);
    EXPECT_EQ(logged.size(), c.dropped);
    EXPECT_EQ(assembler.pendingBytes(), c.pendingAfter);
}

INSTANTIATE_TEST_SUITE_P(PerTransport, FeedFrames, ::testing::ValuesIn(frameCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FeedFramesLimits, TcpBadTrailerLogsTheLengthAndData)
{
    std::vector<std::string> logged;
    FeedFrameAssembler assembler(Kind::Tcp, [&](const std::string& line) { logged.push_back(line); });
    assembler.feed(std::string_view("^00003abcX"), [](std::string_view) { return true; });
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0], "Feed bytes dropped, Len <10>, Frames <1>: Invalid Len <3>, Data <^00003abcX>");
}

// A broken feed: every run of bad bytes is one line with its byte count, and
// the lines are rate limited whatever the transport sends.
TEST(FeedFramesLimits, DroppedRunsAreLoggedOnceWithTheirSizeAndRateLimited)
{
    pf::ManualClock clock(1'700'000'000'000);
    pf::setClock(&clock);
    struct Case {
        const char* name;
        Kind kind;
        std::string junk; // sent in 4090-byte reads
        std::string good; // a frame after it
    };
    const std::string q = "101,7,100,200";
    const Case cases[] = {
        {"tcp carets", Kind::Tcp, std::string(70000, '^'), frame(q)},
        {"tcp bad trailers", Kind::Tcp, [] {
             std::string s;
             for (int i = 0; i < 5000; ++i)
                 s += "^00003abcX";
             return s;
         }(), frame(q)},
        {"stream frames without end", Kind::Stream, [] {
             std::string s;
             for (int i = 0; i < 5000; ++i)
                 s += "^a0004abc$";
             return s;
         }(), frame(q)},
        {"udp bad lengths", Kind::Udp, [] {
             std::string s;
             for (int i = 0; i < 10000; ++i)
                 s += "|0a000,";
             return s;
         }(), udpFrame(q)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> logged;
        std::vector<std::string> got;
        const auto sink = [&](std::string_view m) {
            got.emplace_back(m);
            return true;
        };
        {
            FeedFrameAssembler assembler(c.kind, [&](const std::string& line) { logged.push_back(line); });
            for (size_t at = 0; at < c.junk.size(); at += 4090)
                assembler.feed(std::string_view(c.junk).substr(at, 4090), sink);
            assembler.feed(c.good, sink);
            EXPECT_EQ(got, (std::vector<std::string>{q}));
            // The run's first read wrote a line; the rest waits for the time.
            ASSERT_EQ(logged.size(), 1u);
            clock.advanceSeconds(FeedFrameAssembler::kDropReportSeconds);
            assembler.feed(c.junk.substr(0, 100) + c.good, sink);
            ASSERT_EQ(logged.size(), 2u);
        }
        EXPECT_EQ(logged.size(), 2u) << "nothing was left to write at the end";
        // Every junk byte is counted once over the lines.
        uint64_t bytes = 0;
        for (const std::string& line : logged) {
            const size_t at = line.find("Len <");
            ASSERT_NE(at, std::string::npos) << line;
            bytes += std::stoull(line.substr(at + 5));
        }
        EXPECT_EQ(bytes, c.junk.size() + 100);
        EXPECT_EQ(logged[0].rfind("Feed bytes dropped, Len <", 0), 0u) << logged[0];
    }
    pf::setClock(nullptr);
}

TEST(FeedFramesLimits, ByteByByteMatchesWholeChunk)
{
    // The same stream fed a byte at a time gives the same messages.
    std::string all;
    std::vector<std::string> want;
    for (int i = 0; i < 50; ++i) {
        want.push_back("101," + std::to_string(i) + std::string(static_cast<size_t>(i), 'v'));
        all += (i % 7 == 3 ? "junk" : "") + frame(want.back());
    }
    for (Kind kind : {Kind::Tcp, Kind::Stream}) {
        FeedFrameAssembler assembler(kind, [](const std::string&) {});
        std::vector<std::string> got;
        for (char ch : all)
            assembler.feed(&ch, 1, [&](std::string_view m) {
                got.emplace_back(m);
                return true;
            });
        EXPECT_EQ(got, want);
    }
}

TEST(FeedFramesLimits, SinkStopKeepsTheRestPending)
{
    FeedFrameAssembler assembler(Kind::Tcp);
    std::vector<std::string> got;
    const auto sink = [&](std::string_view m) {
        got.emplace_back(m);
        return m.substr(0, 3) != "999";
    };
    EXPECT_FALSE(assembler.feed(frame("999,bye") + frame("101,1"), sink));
    EXPECT_EQ(got, (std::vector<std::string>{"999,bye"}));
    EXPECT_TRUE(assembler.feed(std::string_view(), sink));
    EXPECT_EQ(got.back(), "101,1");
}

TEST(FeedFramesLimits, StreamTextWithoutEndIsCapped)
{
    FeedFrameAssembler assembler(Kind::Stream, [](const std::string&) {});
    const auto sink = [](std::string_view) { return true; };
    assembler.feed("^a0005" + std::string(FeedFrameAssembler::kMaxStreamPending, 'z'), sink);
    EXPECT_EQ(assembler.pendingBytes(), 0u);
    EXPECT_EQ(assembler.droppedFrames(), 1u);
    std::string got;
    assembler.feed(std::string_view("^a0002ok$"), [&](std::string_view m) {
        got = m;
        return true;
    });
    EXPECT_EQ(got, "ok");
}

} // namespace

} // namespace test_feed_frames
