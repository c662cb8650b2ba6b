// The feed connection against peers made here on loopback: the opening
// request, frames to dispatches, texts to the server, and the thread's life.
#include "feed_test_support.h"

#include "pf/clock.h"
#include "pf/lzo.h"
#include "server/FeedConnection.h"
#include "server/ServerAccess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace test_feed_connection {

namespace {

using namespace feedtest;

std::string frame(std::string_view msg, char flag = '0')
{
    char head[8];
    std::snprintf(head, sizeof head, "^%c%04zu", flag, msg.size());
    return head + std::string(msg) + "$";
}

// The feed server's side of a TCP connection.
class FeedPeer {
public:
    FeedPeer()
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_listen, 4);
        socklen_t len = sizeof a;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~FeedPeer()
    {
        closeClient();
        ::close(m_listen);
    }
    int port() const { return m_port; }
    bool accept()
    {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1)
            return false;
        closeClient();
        m_client = ::accept(m_listen, nullptr, nullptr);
        m_in.clear();
        return m_client >= 0;
    }
    // Reads until `text` has arrived; returns everything up to and including it.
    std::string readUntil(const std::string& text)
    {
        for (int i = 0; i < 1000; ++i) {
            const size_t at = m_in.find(text);
            if (at != std::string::npos) {
                std::string out = m_in.substr(0, at + text.size());
                m_in.erase(0, at + text.size());
                return out;
            }
            if (!readSome())
                break;
        }
        return {};
    }
    std::string readExactly(size_t n)
    {
        for (int i = 0; i < 1000 && m_in.size() < n; ++i)
            if (!readSome())
                break;
        std::string out = m_in.substr(0, n);
        m_in.erase(0, std::min(n, m_in.size()));
        return out;
    }
    // True when the client closed its side (a read gives 0).
    bool clientClosed()
    {
        pollfd p{m_client, POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1)
            return false;
        char c;
        return ::recv(m_client, &c, 1, 0) == 0;
    }
    void send(const std::string& bytes) { ::send(m_client, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    void closeClient()
    {
        if (m_client >= 0)
            ::close(m_client);
        m_client = -1;
    }

private:
    bool readSome()
    {
        pollfd p{m_client, POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1)
            return false;
        char buf[4096];
        const ssize_t n = ::recv(m_client, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        m_in.append(buf, static_cast<size_t>(n));
        return true;
    }
    int m_listen = -1;
    int m_client = -1;
    int m_port = 0;
    std::string m_in;
};

class RecordingUi : public FeedUi {
public:
    void showMessage(const std::string& text, const std::string&) override
    {
        std::lock_guard lock(m_mutex);
        messages.push_back(text);
    }
    void updateConnectStatus(int connected) override
    {
        std::lock_guard lock(m_mutex);
        statuses.push_back(connected);
    }
    std::vector<std::string> shown()
    {
        std::lock_guard lock(m_mutex);
        return messages;
    }
    std::vector<int> connectStatuses()
    {
        std::lock_guard lock(m_mutex);
        return statuses;
    }
    std::mutex m_mutex;
    std::vector<std::string> messages;
    std::vector<int> statuses;
};

class FakeServer : public ServerAccess {
public:
    ServerReply downLoadFile(const std::string&, int, const std::string&) override { return {}; }
    ServerReply requestServer(int encrypt, int code, const std::string& text) override
    {
        std::lock_guard lock(m_mutex);
        requests.push_back(std::to_string(encrypt) + "/" + std::to_string(code) + ":" + text);
        return reply;
    }
    std::vector<std::string> seen()
    {
        std::lock_guard lock(m_mutex);
        return requests;
    }
    std::mutex m_mutex;
    ServerReply reply{200, ""};
    std::vector<std::string> requests;
};

class Connection : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetFeedGlobals();
        m_table = publishTable(10);
        pf::setClock(&m_clock);
        auto w = std::make_shared<RecordingWindow>(std::vector<int>{0, 1});
        m_window = w;
        openWindow(FeedSubscriptions::instance(), w, kWindowMarketWatch);
        FeedSubscriptions::instance().Update_Feeds_Token();
        FeedSubscriptions::instance().setSubscriptionRequest(
            [this](int which) { m_connection.requestSubscription(which); });
    }
    void TearDown() override
    {
        m_connection.stopAndWait();
        m_dispatcher.drain();
        FeedSubscriptions::instance().reset();
        SetLoggedIn(false);
        SecurityTable::publish(nullptr);
        pf::setClock(nullptr);
    }
    FeedConnection::Settings tcpSettings()
    {
        FeedConnection::Settings s;
        s.feedsType = 3;
        s.host = "127.0.0.1";
        s.port = m_peer.port();
        s.localAddress = "10.0.0.5";
        s.userId = "U1";
        s.userType = 'C';
        s.segmentAccess = '4';
        return s;
    }
    // The opening request, as the peer reads it.
    std::string acceptOpening()
    {
        EXPECT_TRUE(m_peer.accept());
        const std::string head = m_peer.readUntil("\r\n\r\n");
        return head + m_peer.readUntil("\r\n");
    }

    pf::ManualClock m_clock{1'700'000'000'000};
    std::shared_ptr<SecurityTable> m_table;
    std::shared_ptr<RecordingWindow> m_window;
    RecordingConsumers m_consumers;
    MemoryIndexRows m_indices;
    FeedDispatcher m_dispatcher{m_consumers, FeedSubscriptions::instance(), m_indices,
                                FeedDispatcher::Options{2, false, {}}};
    FeedPeer m_peer;
    RecordingUi m_ui;
    FakeServer m_server;
    FeedConnection m_connection{m_dispatcher, FeedSubscriptions::instance(), m_server, m_ui, nullptr};
};

TEST_F(Connection, TcpOpeningRequestFramesAndTextsToTheServer)
{
    ASSERT_TRUE(m_connection.start(tcpSettings()));
    EXPECT_EQ(acceptOpening(), "POST /cgi-bin/Glenvarro/pfeeds.exe HTTP/1.1\r\n"
                               "User-Agent: Vortanex\r\nHost: 10.0.0.5\r\n"
                               "Content-Length: 26\r\nConnection: Keep-Alive\r\n"
                               "Cache-Control: no-cache\r\n\r\n"
                               "200|10.0.0.5|U1|C|4|2|1,3,\r\n");

    // The slot, then a frame split across two sends, then a packed frame.
    m_peer.send(frame("250,6,,feedhost,7001"));
    const std::string q = frame(quote101(0, 500));
    m_peer.send(q.substr(0, 10));
    m_peer.send(q.substr(10));
    std::string inner;
    for (int i = 0; i < 3; ++i) {
        const std::string m = quote101(1, 100 + i);
        char head[8];
        std::snprintf(head, sizeof head, "^0%04zu", m.size());
        inner += head + m;
    }
    const auto packed = pf::lzo::compress(reinterpret_cast<const unsigned char*>(inner.data()), inner.size());
    m_peer.send(frame(std::string(packed.begin(), packed.end()), '9'));
    ASSERT_TRUE(eventually([&] { return m_window->quotesSeen().size() == 4; }));
    EXPECT_EQ(m_window->quotesSeen(), (std::vector<int>{0, 1, 1, 1}));
    EXPECT_EQ(m_table->row(0).quote().quote[0], 500);
    EXPECT_EQ(m_table->row(1).quote().quote[0], 102);
    EXPECT_EQ(FeedState::instance().slot(), 6);
    EXPECT_TRUE(m_connection.hasSocket());
    EXPECT_EQ(m_ui.connectStatuses(), (std::vector<int>{1})) << "the status bar shows the open connection";

    // A new subscription goes out framed, byte for byte.
    m_window->m_securities = {2};
    FeedSubscriptions::instance().Update_Feeds_Token();
    const std::string text = "201|10.0.0.5|feedhost|7001|U1|6|1|5,";
    EXPECT_EQ(m_peer.readExactly(5 + text.size()), "00036" + text);

    // The heartbeat 30 s after it.
    m_connection.onTimer();
    m_clock.advanceSeconds(30);
    m_connection.onTimer();
    const std::string beat = "900|10.0.0.5|feedhost|U1|6";
    EXPECT_EQ(m_peer.readExactly(5 + beat.size()), "00026" + beat);

    // The server closes: the feed ends at once, not at the watchdog.
    m_peer.closeClient();
    ASSERT_TRUE(eventually([&] { return !m_connection.threadAlive(); }));
    EXPECT_EQ(FeedState::instance().running(), 0);
    EXPECT_EQ(FeedState::instance().slot(), -1);
    EXPECT_FALSE(m_connection.hasSocket());
    EXPECT_EQ(m_ui.shown(), (std::vector<std::string>{"Feed got Disconnected."}));
    EXPECT_EQ(m_ui.connectStatuses(), (std::vector<int>{1, 0}));
    // No heartbeat after the end.
    m_clock.advanceSeconds(60);
    m_connection.onTimer();
    m_connection.drainSender();
    EXPECT_TRUE(m_server.seen().empty());
}

TEST_F(Connection, TcpMessage999EndsTheFeed)
{
    ASSERT_TRUE(m_connection.start(tcpSettings()));
    acceptOpening();
    m_peer.send(frame("999,Invalid user") + frame(quote101(0, 1)));
    ASSERT_TRUE(eventually([&] { return !m_connection.threadAlive(); }));
    EXPECT_TRUE(m_window->quotesSeen().empty());
    EXPECT_TRUE(m_peer.clientClosed());
}

TEST_F(Connection, ConnectWhileRunningStartsNothingAndReconnectLeavesOneThread)
{
    ASSERT_TRUE(m_connection.start(tcpSettings()));
    acceptOpening();
    EXPECT_FALSE(m_connection.start(tcpSettings()));

    m_connection.stop();
    ASSERT_TRUE(m_connection.start(tcpSettings())); // joins the first thread
    EXPECT_TRUE(m_peer.clientClosed());             // the first connection is gone
    acceptOpening();
    EXPECT_EQ(m_connection.connectionCount(), 2);
    EXPECT_TRUE(m_connection.threadAlive());
    m_peer.send(frame(quote101(0, 9)));
    ASSERT_TRUE(eventually([&] { return m_window->quotesSeen().size() == 1; }));
}

TEST_F(Connection, WatchdogEndsASilentFeed)
{
    ASSERT_TRUE(m_connection.start(tcpSettings()));
    acceptOpening();
    m_clock.advanceSeconds(74);
    m_connection.onTimer();
    EXPECT_TRUE(m_connection.threadAlive());
    m_clock.advanceSeconds(1);
    m_connection.onTimer();
    ASSERT_TRUE(eventually([&] { return !m_connection.threadAlive(); }));
    EXPECT_TRUE(m_peer.clientClosed());
}

TEST_F(Connection, UnreachableServerIsReported)
{
    FeedConnection::Settings s = tcpSettings();
    {
        FeedPeer gone;
        s.port = gone.port(); // nobody listens there once it is closed
    }
    ASSERT_TRUE(m_connection.start(s));
    ASSERT_TRUE(eventually([&] { return !m_connection.threadAlive(); }));
    EXPECT_EQ(m_ui.shown(), (std::vector<std::string>{"Unable to connect to Feeds."}));
    EXPECT_TRUE(m_ui.connectStatuses().empty()) << "never connected, never shown as connected";
}

TEST_F(Connection, UdpFramesAcrossDatagramsAnd999EndsTheSocket)
{
    const int port = freeUdpPort();
    ASSERT_NE(port, 0);
    FeedConnection::Settings s;
    s.feedsType = 4;
    s.mcastPort = port;
    ASSERT_TRUE(m_connection.start(s));

    const int out = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(port));
    const std::string m = quote101(0, 42);
    char head[8];
    std::snprintf(head, sizeof head, "|%05zu", m.size());
    const std::string udp = head + std::string(",") + m;
    // The port is bound by the feed thread: repeat the first part until the
    // quote arrives (datagrams sent before the bind are lost).
    ASSERT_TRUE(eventually([&] {
        ::sendto(out, udp.data(), 9, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        ::sendto(out, udp.data() + 9, udp.size() - 9, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        return !m_window->quotesSeen().empty();
    }));
    EXPECT_EQ(m_table->row(0).quote().quote[0], 42);
    EXPECT_EQ(m_ui.connectStatuses(), (std::vector<int>{1}));
    const std::string bye = "|00007,999,bye";
    ::sendto(out, bye.data(), bye.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ASSERT_TRUE(eventually([&] { return !m_connection.threadAlive(); }));
    EXPECT_EQ(m_ui.connectStatuses(), (std::vector<int>{1, 0}));
    ::close(out);
}

TEST_F(Connection, PollingAppliesRecordsAndCountsAsAPacket)
{
    m_server.reply = {200, "h0*h1*h2*h3*" + quote101(0, 77).substr(4) + "* " + quote101(1, 88).substr(4) + " *"};
    FeedConnection::Settings s;
    s.feedsType = 1;
    s.pollIntervalMs = 10;
    ASSERT_TRUE(m_connection.start(s));
    ASSERT_TRUE(eventually([&] { return m_window->quotesSeen().size() >= 2; }));
    m_connection.stop();
    ASSERT_TRUE(eventually([&] { return !m_connection.threadAlive(); }));
    EXPECT_EQ(m_table->row(0).quote().quote[0], 77);
    EXPECT_EQ(m_table->row(1).quote().quote[0], 88);
    EXPECT_EQ(m_server.seen().front(), "0/13:Token=2,1,3,");
    EXPECT_EQ(FeedState::instance().lastPacketTime(), m_clock.nowSeconds());
}

TEST_F(Connection, PollingErrorsAreShownOnceWhileTheyRepeat)
{
    m_server.reply = {500, ""};
    FeedConnection::Settings s;
    s.feedsType = 1;
    s.pollIntervalMs = 5;
    ASSERT_TRUE(m_connection.start(s));
    ASSERT_TRUE(eventually([&] { return m_server.seen().size() >= 5; }));
    m_connection.stopAndWait();
    const auto shown = m_ui.shown();
    EXPECT_EQ(std::count(shown.begin(), shown.end(),
                         "Internet Connectivity Error [500]. Pls contact System Administrator"),
              1);
}

// "Feed got Disconnected." is for a feed lost unexpectedly: a Disconnect the
// user asked for says nothing on any transport, the watchdog's end does.
TEST_F(Connection, OnlyAnUnaskedEndPopsTheDisconnectedBox)
{
    const int udpPort = freeUdpPort();
    ASSERT_NE(udpPort, 0);
    for (int type : {1, 3, 4}) {
        SCOPED_TRACE("Feeds_Type " + std::to_string(type));
        FeedConnection::Settings s = tcpSettings();
        s.feedsType = type;
        s.mcastPort = udpPort;
        s.pollIntervalMs = 10;
        ASSERT_TRUE(m_connection.start(s));
        if (type == 3)
            acceptOpening();
        if (type == 1) {
            ASSERT_TRUE(eventually([&] { return !m_server.seen().empty(); }));
        }
        m_connection.stop();
        ASSERT_TRUE(eventually([&] { return !m_connection.threadAlive(); }));
        EXPECT_TRUE(m_ui.shown().empty()) << ::testing::PrintToString(m_ui.shown());
    }
    ASSERT_TRUE(m_connection.start(tcpSettings()));
    acceptOpening();
    m_clock.advanceSeconds(FeedConnection::kWatchdogSeconds);
    m_connection.onTimer();
    ASSERT_TRUE(eventually([&] { return !m_connection.threadAlive(); }));
    EXPECT_EQ(m_ui.shown(), (std::vector<std::string>{"Feed got Disconnected."}));
}

// The market watch's snapshot with no feed running: applied to the rows and
// the windows told; one in flight at the exit is ended, not waited for.
TEST_F(Connection, SnapshotWithoutAFeedAppliesItsQuotes)
{
    m_server.reply = {200, "h0*h1*h2*h3*" + quote101(1, 66).substr(4) + "*"};
    m_connection.requestSnapshot("Token=1,3,");
    m_connection.drainSender();
    EXPECT_EQ(m_server.seen(), (std::vector<std::string>{"0/13:Token=1,3,"}));
    EXPECT_EQ(m_table->row(1).quote().quote[0], 66);
    EXPECT_EQ(m_window->quotesSeen(), (std::vector<int>{1}));
    m_connection.stopAndWait();
    m_connection.requestSnapshot("Token=1,3,");
    m_connection.drainSender();
    EXPECT_EQ(m_server.seen().size(), 1u) << "no snapshot after the exit";
}

TEST_F(Connection, StreamLogoutGoesByHttpWithoutASocket)
{
    // The stream's logout when it has no socket of its own: code 11.
    FeedState::instance().setSlot(3);
    FeedState::instance().setServer("fh", 80);
    FeedConnection::Settings s;
    s.feedsType = 2; // no HTTP session: the thread ends at once
    ASSERT_TRUE(m_connection.start(s));
    FeedState::instance().setRunning(1);
    FeedState::instance().setSlot(3);
    m_connection.stop();
    m_connection.drainSender();
    const auto seen = m_server.seen();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), "0/11:202|10.0.0.5|fh|80|U1|3");
}

// requestSubscription on each transport: the framed text on the TCP socket;
// the bare text by HTTP (code 11) for the stream, which has no socket of its
// own; nothing on the other transports, while the feed is stopped, on the
// stream without a slot, or for an unknown request. A request the running
// feed takes puts off the heartbeat.
TEST_F(Connection, SubscriptionRequestsGoOutOnTheTransportInUse)
{
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    FeedState& fs = FeedState::instance();
    const int udpPort = freeUdpPort();
    ASSERT_NE(udpPort, 0);
    auto useTransport = [&](int type) {
        m_connection.stopAndWait();
        FeedConnection::Settings s = tcpSettings();
        s.feedsType = type;
        s.mcastPort = udpPort;
        s.pollIntervalMs = 60000;
        ASSERT_TRUE(m_connection.start(s));
        if (type == 3)
            acceptOpening();
        if (type == 2) { // no HTTP session: the thread ends at once
            ASSERT_TRUE(eventually([&] { return !m_connection.threadAlive(); }));
        }
    };
    useTransport(3);
    fs.setServer("feedhost", 7001);
    fs.setSlot(6);
    openWindow(subs, std::make_shared<RecordingWindow>(), kWindowMarketDepth, 4);
    subs.Update_MDepth_Token(0);
    // Sent after each TCP case: what the case sent, and nothing else, comes before it.
    const std::string marker = "00036203|10.0.0.5|feedhost|7001|U1|6|1|9,";

    // One 201 per change of the list: a rebuild that changes nothing sends none.
    // The depth window's security (token 9) is listed after the watch's rows.
    m_window->m_securities = {0, 1, 2};
    subs.Update_Feeds_Token();
    subs.Update_Feeds_Token();
    m_connection.requestSubscription(2);
    m_connection.drainSender();
    const std::string three = "00042201|10.0.0.5|feedhost|7001|U1|6|4|1,3,5,9,";
    EXPECT_EQ(m_peer.readExactly(three.size() + marker.size()), three + marker);
    m_window->m_securities = {0, 1};
    subs.Update_Feeds_Token();
    m_connection.drainSender();
    const std::string two = "00040201|10.0.0.5|feedhost|7001|U1|6|3|1,3,9,";
    EXPECT_EQ(m_peer.readExactly(two.size()), two);

    struct Case {
        const char* name;
        int feedsType;
        bool running;
        int slot;
        int which;
        std::string onSocket; // what the TCP peer receives
        std::string byHttp;   // what goes to the request function as code 11
    };
    const Case cases[] = {
        {"tcp feeds", 3, true, 6, 1, two, ""},
        {"tcp depth", 3, true, 6, 2, marker, ""},
        {"tcp stopped", 3, false, 6, 1, "", ""},
        {"tcp unknown 0", 3, true, 6, 0, "", ""},
        {"tcp unknown 3", 3, true, 6, 3, "", ""},
        {"stream feeds", 2, true, 3, 1, "", "0/11:201|10.0.0.5|feedhost|7001|U1|3|3|1,3,9,"},
        {"stream depth", 2, true, 3, 2, "", "0/11:203|10.0.0.5|feedhost|7001|U1|3|1|9,"},
        {"stream without slot", 2, true, -1, 1, "", ""},
        {"stream stopped", 2, false, 3, 1, "", ""},
        {"stream unknown", 2, true, 3, 7, "", ""},
        {"polling", 1, true, 3, 1, "", ""},
        {"udp", 4, true, 3, 1, "", ""},
    };
    int transport = 3;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.feedsType != transport) {
            useTransport(c.feedsType);
            transport = c.feedsType;
        }
        fs.setSlot(c.slot);
        fs.setRunning(c.running ? 1 : 0);
        fs.setLastHeartbeatTime(0);
        const size_t before = m_server.seen().size();
        m_connection.requestSubscription(c.which);
        m_connection.drainSender();
        const bool taken = c.running && (c.which == 1 || c.which == 2);
        EXPECT_EQ(fs.lastHeartbeatTime(), taken ? m_clock.nowSeconds() : 0);
        std::vector<std::string> http;
        const auto seen = m_server.seen();
        for (size_t i = before; i < seen.size(); ++i)
            if (seen[i].rfind("0/11:", 0) == 0)
                http.push_back(seen[i]);
        EXPECT_EQ(http, c.byHttp.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.byHttp});
        if (c.feedsType == 3) {
            if (taken)
                m_connection.onTimer(); // no heartbeat right after a subscription
            fs.setRunning(1);
            fs.setSlot(6);
            m_connection.requestSubscription(2);
            m_connection.drainSender();
            EXPECT_EQ(m_peer.readExactly(c.onSocket.size() + marker.size()), c.onSocket + marker);
        }
    }
}

} // namespace

} // namespace test_feed_connection
