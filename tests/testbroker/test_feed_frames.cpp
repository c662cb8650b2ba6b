// Frame and message bytes against texts written by hand from the wire formats.
#include "FeedFrames.h"
#include "Lzo.h"

#include <gtest/gtest.h>

namespace test_feed_frames {

namespace {

struct FrameCase {
    const char* name;
    std::string actual;
    std::string expected;
};

class FrameBytes : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameBytes, MatchTheWireLayout)
{
    EXPECT_EQ(GetParam().actual, GetParam().expected);
}

tb::Quote exampleQuote()
{
    tb::Quote q;
    q.bid = 24550; q.bidQty = 100; q.ask = 24560; q.askQty = 250; q.last = 24555; q.high = 24800; q.low = 24300;
    q.avg = 24510; q.close = 24400; q.open = 24450; q.changePct = 64; q.totalSell = 120000; q.totalBuy = 95000;
    q.volume = 1500000; q.openInterest = 0; q.value = 36765000000; q.lastQty = 25; q.lastTime = 1765186200;
    q.netChange = 155; q.upperBand = 26840; q.lowerBand = 21960;
    return q;
}

std::string exampleDepth()
{
    const tb::DepthLevel bids[5] = {{24550, 100, 3}, {24545, 200, 5}, {24540, 150, 2}, {24535, 300, 6}, {24530, 500, 9}};
    const tb::DepthLevel asks[5] = {{24560, 250, 4}, {24565, 100, 1}, {24570, 400, 7}, {24575, 50, 1}, {24580, 600, 8}};
    return tb::message104(2819, 24555, bids, asks, 95000, 120000);
}

INSTANTIATE_TEST_SUITE_P(
    Feed, FrameBytes,
    ::testing::Values(
        FrameCase{"StreamWelcome", tb::streamFrame(tb::message250(0, "Welcome", "127.0.0.1", 17002)),
                  "^00029250,0,Welcome,127.0.0.1,17002$"},
        FrameCase{"StreamKeepAlive", tb::streamFrame("150,"), "^00004150,$"},
        FrameCase{"StreamFlagKept", tb::streamFrame("999,End", '3'), "^30007999,End$"},
        FrameCase{"UdpFrame", tb::udpFrame("999,Bye"), "|00007,999,Bye"},
        FrameCase{"ClientHeartbeat", tb::clientFrame("900|127.0.0.1|h|U1|0"), "00020900|127.0.0.1|h|U1|0"},
        FrameCase{"Tick101", tb::message101(2819, exampleQuote()),
                  "101,2819,24550,100,24560,250,24555,24800,24300,24510,24400,24450,64,120000,95000,1500000,0,"
                  "36765000000,25,1765186200,155,26840,21960"},
        FrameCase{"Light105", tb::message105(2819, exampleQuote()), "105,2819,24550,100,24560,250,24555,0,1765186200"},
        FrameCase{"Depth104", exampleDepth(),
                  "104,2819,24555,24550,100,3,24545,200,5,24540,150,2,24535,300,6,24530,500,9,24560,250,4,24565,100,"
                  "1,24570,400,7,24575,50,1,24580,600,8,95000,120000"},
        FrameCase{"Index110EndsWithSeparator", tb::message110(51999, 2627735, 2610010, 17725, 1765186200, "NIFTY"),
                  "110,51999,2627735,2610010,17725,1765186200,NIFTY,"}),
    [](const ::testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

TEST(FeedFrames, LengthFieldLimits)
{
    EXPECT_EQ(tb::streamFrame(std::string(9999, 'x')).size(), 9999u + 7);
    EXPECT_EQ(tb::streamFrame(std::string(10000, 'x')), "");
    EXPECT_EQ(tb::udpFrame(std::string(99999, 'x')).size(), 99999u + 7);
    EXPECT_EQ(tb::udpFrame(std::string(100000, 'x')), "");
}

TEST(FeedFrames, CompressedFrameHoldsInnerFramesWithoutTrailers)
{
    const std::string frame = tb::compressedFrame({"150,", "120,Hello", "600|ALL|Markets close at 15:30"});
    ASSERT_GE(frame.size(), 8u);
    EXPECT_EQ(frame.substr(0, 2), "^9");
    EXPECT_EQ(frame.back(), '$');
    const size_t declared = std::stoul(frame.substr(2, 4));
    ASSERT_EQ(declared, frame.size() - 7);
    // The terminal's room is 20 times the compressed length.
    const auto inner = tb::lzoDecompress(frame.substr(6, declared), declared * 20);
    ASSERT_TRUE(inner.has_value());
    EXPECT_EQ(*inner, "^00004150,^00009120,Hello^00030600|ALL|Markets close at 15:30");
}

} // namespace

} // namespace test_feed_frames
