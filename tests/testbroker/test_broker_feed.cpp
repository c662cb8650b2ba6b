// The feed in its four transports: opening requests, frames byte for byte,
// subscriptions, pushes and drops through the control interface.
#include "Lzo.h"
#include "RawClient.h"
#include "TestBroker.h"

#include <pf/clock.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace test_broker_feed {

namespace {

using tbtest::RawClient;

std::string frame(const std::string& message)
{
    char len[8];
    std::snprintf(len, sizeof len, "%04zu", message.size());
    return "^0" + std::string(len) + message + "$";
}

// One stream/TCP frame: '^', flag, 4 digits, payload, '$'.
std::string readFrame(RawClient& c, char* flag = nullptr)
{
    const std::string head = c.read(6);
    if (head.size() != 6 || head[0] != '^')
        return "<bad head '" + head + "'>";
    if (flag)
        *flag = head[1];
    const size_t n = std::stoul(head.substr(2));
    const std::string rest = c.read(n + 1);
    if (rest.size() != n + 1 || rest.back() != '$')
        return "<bad frame>";
    return rest.substr(0, n);
}

bool waitFor(const std::function<bool()>& ok)
{
    for (int i = 0; i < 300; ++i) {
        if (ok())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class BrokerFeed : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_udpFd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::bind(m_udpFd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        socklen_t len = sizeof a;
        ::getsockname(m_udpFd, reinterpret_cast<sockaddr*>(&a), &len);

        tb::BrokerOptions o;
        o.keepAliveMs = 0;
        o.udpPort = ntohs(a.sin_port);
        o.year = 2026;
        o.month = 12;
        o.day = 8;
        o.keyDir = TB_KEYS_DIR;
        m_broker = std::make_unique<tb::TestBroker>(o);
        std::string error;
        ASSERT_TRUE(m_broker->start(&error)) << error;
        m_welcome = frame("250,0,Welcome,127.0.0.1," + std::to_string(m_broker->httpPort()));
    }
    void TearDown() override
    {
        m_broker->stop();
        ::close(m_udpFd);
    }

    // The TCP transport's opening request, sent in one piece; its Content-Length
    // is the token list's length, not the body's.
    void openTcp(RawClient& c, const std::string& tokens)
    {
        ASSERT_TRUE(c.connect(m_broker->feedPort()));
        ASSERT_TRUE(c.send("POST /cgi-bin/Glenvarro/pfeeds.exe HTTP/1.1\r\nUser-Agent: Vortanex\r\nHost: 127.0.0.1\r\n"
                           "Content-Length: " + std::to_string(tokens.size()) + "\r\nConnection: Keep-Alive\r\n"
                           "Cache-Control: no-cache\r\n\r\n200|127.0.0.1|U1|C|0|2|" + tokens + "\r\n"));
        ASSERT_NE(c.readUntil("\r\n\r\n"), "");
    }

    std::unique_ptr<tb::TestBroker> m_broker;
    std::string m_welcome;
    int m_udpFd = -1;
};

TEST_F(BrokerFeed, TcpOpensWithWelcomeAndFollowsSubscriptionFrames)
{
    RawClient c;
    openTcp(c, "2819,3047,");
    EXPECT_EQ(c.read(m_welcome.size()), m_welcome);
    ASSERT_TRUE(waitFor([&] { return m_broker->feedClients().size() == 1; }));
    EXPECT_EQ(m_broker->feedClients()[0].tokens, (std::vector<int>{2819, 3047}));
    EXPECT_EQ(m_broker->feedClients()[0].transport, tb::FeedTransport::Tcp);

    // "%05d%s" frames on the same socket: a new list, depth tokens and a heartbeat.
    const std::string sub = "201|127.0.0.1|127.0.0.1|17002|U1|0|1|4627,";
    const std::string depth = "203|127.0.0.1|127.0.0.1|17002|U1|0|1|2819,";
    const std::string beat = "900|127.0.0.1|host|U1|0";
    ASSERT_TRUE(c.send("00042" + sub + "00042" + depth.substr(0, 10)));
    ASSERT_TRUE(c.send(depth.substr(10) + "00023" + beat));
    ASSERT_TRUE(waitFor([&] {
        const auto clients = m_broker->feedClients();
        return clients.size() == 1 && clients[0].heartbeats == 1;
    }));
    const auto client = m_broker->feedClients()[0];
    EXPECT_EQ(client.tokens, std::vector<int>{4627});
    EXPECT_EQ(client.depthTokens, std::vector<int>{2819});

    // A market step now sends the new token's quote and the depth, nothing for 2819's quote.
    m_broker->marketStep();
    const std::string quote = readFrame(c);
    EXPECT_EQ(quote.substr(0, 9), "101,4627,");
    EXPECT_EQ(std::count(quote.begin(), quote.end(), ','), 22);
    const std::string depthMsg = readFrame(c);
    EXPECT_EQ(depthMsg.substr(0, 9), "104,2819,");
    EXPECT_EQ(std::count(depthMsg.begin(), depthMsg.end(), ','), 34);

    // The subscribed equity walks on its 5-paise tick within its bands.
    for (int i = 0; i < 100; ++i)
        m_broker->marketStep();
    const tb::Quote q = m_broker->quote(4627);
    EXPECT_EQ(q.last % 5, 0);
    EXPECT_GE(q.last, q.lowerBand);
    EXPECT_LE(q.last, q.upperBand);
    EXPECT_EQ(q.bid, q.last - 5);
    EXPECT_EQ(q.ask, q.last + 5);
    EXPECT_GT(q.volume, 0);
}

// The demo's broadcasts are rare by default (one every 20 minutes at the
// 1-s step) and their rate is settable: a broadcast pops up in the terminal.
TEST_F(BrokerFeed, DemoBroadcastsAreRareUnlessSetOtherwise)
{
    const auto broadcastsIn = [](tb::TestBroker& broker, int steps) {
        RawClient c;
        EXPECT_TRUE(c.connect(broker.feedPort()));
        EXPECT_TRUE(c.send("POST /cgi-bin/Glenvarro/pfeeds.exe HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 5\r\n"
                           "\r\n200|127.0.0.1|U1|C|0|2|2819,\r\n"));
        EXPECT_NE(c.readUntil("\r\n\r\n"), "");
        readFrame(c); // the welcome
        EXPECT_TRUE(waitFor([&] { return broker.feedClients().size() == 1; }));
        int broadcasts = 0;
        for (int i = 0; i < steps; ++i) {
            broker.marketStep();
            EXPECT_EQ(readFrame(c).substr(0, 9), "101,2819,");
            if (broker.options().broadcastEveryTicks > 0 && (i + 1) % broker.options().broadcastEveryTicks == 0) {
                const std::string b = readFrame(c);
                broadcasts += b.rfind("120,", 0) == 0 || b.rfind("600|", 0) == 0;
            }
        }
        return broadcasts;
    };
    EXPECT_GE(m_broker->options().broadcastEveryTicks, 600) << "at most a few an hour at the 1-s step";
    EXPECT_EQ(broadcastsIn(*m_broker, 100), 0);

    tb::BrokerOptions o;
    o.keepAliveMs = 0;
    o.keyDir = TB_KEYS_DIR;
    o.broadcastEveryTicks = 3;
    tb::TestBroker often(o);
    std::string error;
    ASSERT_TRUE(often.start(&error)) << error;
    EXPECT_EQ(broadcastsIn(often, 9), 3);
    often.stop();
}

TEST_F(BrokerFeed, PushesAnyMessageCompressedOrPlainAndDrops)
{
    RawClient c;
    openTcp(c, "2819,");
    ASSERT_EQ(c.read(m_welcome.size()), m_welcome);
    ASSERT_TRUE(m_broker->waitForFeedClient("U1", 3000));

    EXPECT_EQ(m_broker->pushFeed("U1", "600|ALL|Markets close at 15:30"), 1);
    EXPECT_EQ(c.read(37), "^00030600|ALL|Markets close at 15:30$");
    EXPECT_EQ(m_broker->pushFeed("U2", "120,not for U1"), 0);

    EXPECT_EQ(m_broker->pushCompressed("U1", {"115,NN,Closed", "150,", "999,Bye"}), 1);
    char flag = 0;
    const std::string block = readFrame(c, &flag);
    EXPECT_EQ(flag, '9');
    const auto inner = tb::lzoDecompress(block, block.size() * 20);
    ASSERT_TRUE(inner);
    EXPECT_EQ(*inner, "^00013115,NN,Closed^00004150,^00007999,Bye");

    EXPECT_EQ(m_broker->dropFeed("U1"), 1);
    EXPECT_TRUE(c.waitClosed());
    EXPECT_TRUE(waitFor([&] { return m_broker->feedClients().empty(); }));
}

TEST_F(BrokerFeed, FaultSwitchesHoldForOneConnection)
{
    tb::FeedFaults f;
    f.rejectSlot = true;
    f.splitFrames = true;
    m_broker->armFeedFaults(f);
    RawClient first;
    openTcp(first, "2819,");
    const std::string rejected = frame("250,-1,Feed server is full. Please try later,127.0.0.1," + std::to_string(m_broker->httpPort()));
    EXPECT_EQ(first.read(rejected.size()), rejected);

    RawClient second;
    openTcp(second, "2819,");
    // The refused connection took no slot.
    EXPECT_EQ(second.read(m_welcome.size()), m_welcome);
}

TEST_F(BrokerFeed, HttpStreamSubscribesThroughTheUpdateEndpoint)
{
    // The first opening meets the proxy, the second gets the stream.
    tb::HttpFault proxy;
    proxy.status = 407;
    m_broker->armFault("/cgi-bin/Glenvarro/pfeeds.exe", proxy);
    const auto refused = tbtest::postText(m_broker->httpPort(), "/cgi-bin/Glenvarro/pfeeds.exe", "200|127.0.0.1|U1|C|L|0||2.3.0.20");
    EXPECT_EQ(refused.status, 407);
    EXPECT_TRUE(m_broker->feedClients().empty());

    RawClient c;
    ASSERT_TRUE(c.connect(m_broker->httpPort()));
    const std::string body = "200|127.0.0.1|U1|C|L|2|2819,51999,|2.3.0.20" + std::string(1, '\0');
    ASSERT_TRUE(c.send("POST /cgi-bin/Glenvarro/pfeeds.exe HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "
                       + std::to_string(body.size()) + "\r\n\r\n" + body));
    EXPECT_EQ(c.readUntil("\r\n\r\n").substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_EQ(c.read(m_welcome.size()), m_welcome);
    ASSERT_TRUE(waitFor([&] { return m_broker->feedClients().size() == 1; }));
    EXPECT_EQ(m_broker->feedClients()[0].transport, tb::FeedTransport::Stream);
    EXPECT_EQ(m_broker->feedClients()[0].tokens, (std::vector<int>{2819, 51999}));

    const auto r = tbtest::postText(m_broker->httpPort(), "/cgi-bin/Glenvarro/upd_feeds.exe",
                                    "201|127.0.0.1|127.0.0.1|17002|U1|0|1|51999,");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(m_broker->feedClients()[0].tokens, std::vector<int>{51999});
    // An index token is answered with 110, ending with its separator.
    m_broker->marketStep();
    const std::string index = readFrame(c);
    EXPECT_EQ(index.substr(0, 10), "110,51999,");
    EXPECT_EQ(index.substr(index.size() - 10), ",NIFTY 50,");
}

TEST_F(BrokerFeed, UdpDatagramsCarryTheExactFrame)
{
    ASSERT_TRUE(m_broker->sendUdp("120,Trading halted in XYZ"));
    pollfd p{m_udpFd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 3000), 1);
    char buf[4096];
    const ssize_t n = ::recv(m_udpFd, buf, sizeof buf, 0);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(std::max<ssize_t>(n, 0))), "|00025,120,Trading halted in XYZ");
}

TEST_F(BrokerFeed, PollingRepliesOneQuoteRecordPerToken)
{
    const auto r = tbtest::postText(m_broker->httpPort(), "/cgi-bin/feeds", "Token=2,2819,3047,");
    ASSERT_EQ(r.status, 200);
    std::vector<std::string> records;
    size_t p = 0;
    while (true) {
        const size_t q = r.body.find('*', p);
        records.push_back(r.body.substr(p, q == std::string::npos ? q : q - p));
        if (q == std::string::npos)
            break;
        p = q + 1;
    }
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records[4].substr(0, 5), "2819,");
    EXPECT_EQ(std::count(records[4].begin(), records[4].end(), ','), 21);
    EXPECT_EQ(records[5].substr(0, 5), "3047,");
}

TEST(FeedKeepAlive, EveryConnectionGetsTheIgnoredCode150)
{
    tb::BrokerOptions o;
    o.keepAliveMs = 100;
    o.keyDir = TB_KEYS_DIR;
    tb::TestBroker broker(o);
    ASSERT_TRUE(broker.start());
    RawClient c;
    ASSERT_TRUE(c.connect(broker.feedPort()));
    ASSERT_TRUE(c.send("POST /cgi-bin/Glenvarro/pfeeds.exe HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n"
                       "200|127.0.0.1|U1|C|0|0|\r\n"));
    ASSERT_NE(c.readUntil("\r\n\r\n"), "");
    EXPECT_EQ(readFrame(c).substr(0, 6), "250,0,");
    EXPECT_EQ(c.read(11), "^00004150,$");
}

TEST(DemoMarket, SeededWalkIsRepeatableAndIndicesStayWithinBands)
{
    tb::BrokerOptions o;
    o.keepAliveMs = 0;
    o.year = 2026;
    o.month = 12;
    o.day = 8;
    pf::ManualClock clock(1765186200000);
    pf::setClock(&clock);
    tb::TestBroker a(o), b(o);
    const tb::Quote start = a.quote(2819);
    for (int i = 0; i < 200; ++i) {
        a.marketStep();
        b.marketStep();
    }
    // Indices always move; a token nobody subscribed does not.
    EXPECT_EQ(a.quote(51999).last, b.quote(51999).last);
    EXPECT_NE(a.quote(51999).last, a.quote(51999).close);
    EXPECT_EQ(a.quote(2819).last, start.last);
    const tb::Quote q = a.quote(51999);
    EXPECT_GE(q.last, q.lowerBand);
    EXPECT_LE(q.last, q.upperBand);
    EXPECT_EQ(a.quoteMessage(51999), b.quoteMessage(51999));
    pf::setClock(nullptr);
}

} // namespace

} // namespace test_broker_feed
