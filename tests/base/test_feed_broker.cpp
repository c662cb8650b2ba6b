// The feed end to end against the test broker, per transport: the slot, the
// subscriptions where the transport subscribes, quotes into the record and the
// window, and the end of the feed.
#include "feed_test_support.h"

#include "broker_feed_support.h"

#include "TestBroker.h"
#include "pf/http_call.h"
#include "pf/http_session.h"
#include "server/ExchangeCancel.h"
#include "server/FeedConnection.h"
#include "server/ServerAccess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <ostream>
#include <thread>

namespace test_feed_broker {

namespace {

using namespace feedtest;

// The frame's part: a slot given asks for the depth subscription.
class DepthOnSlot : public RecordingConsumers {
public:
    void feedSlotAssigned() override { FeedSubscriptions::instance().Update_MDepth_Token(1); }
};

enum class Transport { Polling = 1, Stream = 2, Tcp = 3, Udp = 4 };

class BrokerFeed : public ::testing::TestWithParam<Transport> {
protected:
    void SetUp() override
    {
        resetFeedGlobals();
        g_Config.Feeds_Type = static_cast<int>(GetParam());
        tb::BrokerOptions options;
        options.securities = 300;
        options.keepAliveMs = 0;
        options.udpPort = static_cast<uint16_t>(freeUdpPort());
        ASSERT_NE(options.udpPort, 0);
        m_broker = std::make_unique<tb::TestBroker>(options);
        std::string error;
        ASSERT_TRUE(m_broker->start(&error)) << error;
        m_broker->addUser("U1", "pw");

        // The terminal's table: the broker's first equities.
        m_table = brokerfeed::publishBrokerEquities(*m_broker, 4);
        ASSERT_TRUE(m_table) << "the broker has fewer than 4 NSE equities";

        m_server = std::make_unique<brokerfeed::BrokerFeedServer>(m_session, m_broker->httpPort());
        m_dispatcher = std::make_unique<FeedDispatcher>(m_consumers, FeedSubscriptions::instance(), m_indices,
                                                        FeedDispatcher::Options{2, false, {}});
        m_connection = std::make_unique<FeedConnection>(*m_dispatcher, FeedSubscriptions::instance(), *m_server,
                                                        m_ui, &m_session);
        auto& subs = FeedSubscriptions::instance();
        subs.setSubscriptionRequest([this](int which) { m_connection->requestSubscription(which); });
        m_window = std::make_shared<RecordingWindow>(std::vector<int>{0, 1});
        openWindow(subs, m_window, kWindowMarketWatch);
        const int depth = subs.getClientDlg();
        subs.setWindow(depth, std::make_shared<RecordingWindow>(), kWindowMarketDepth, 2);
        subs.Update_Feeds_Token();
    }
    void TearDown() override
    {
        if (m_connection)
            m_connection->stopAndWait();
        if (m_dispatcher)
            m_dispatcher->drain();
        m_connection.reset();
        m_dispatcher.reset();
        if (m_broker)
            m_broker->stop();
        FeedSubscriptions::instance().reset();
        SetLoggedIn(false);
        SecurityTable::publish(nullptr);
    }
    FeedConnection::Settings settings()
    {
        FeedConnection::Settings s;
        s.feedsType = static_cast<int>(GetParam());
        s.host = "127.0.0.1";
        s.port = m_broker->feedPort();
        s.mcastPort = m_broker->options().udpPort;
        s.localAddress = "127.0.0.1";
        s.userId = "U1";
        s.userType = 'C';
        s.segmentAccess = '1';
        s.build = "2.3.0.20";
        s.pollIntervalMs = 20;
        return s;
    }
    int wtoken(int security) { return m_table->row(security).wtoken; }
    bool subscribes() const { return GetParam() == Transport::Tcp || GetParam() == Transport::Stream; }
    std::vector<int> brokerTokens(bool depth)
    {
        const auto clients = m_broker->feedClients();
        return clients.empty() ? std::vector<int>{} : (depth ? clients[0].depthTokens : clients[0].tokens);
    }

    pf::HttpSession m_session;
    std::unique_ptr<tb::TestBroker> m_broker;
    std::shared_ptr<SecurityTable> m_table;
    std::unique_ptr<brokerfeed::BrokerFeedServer> m_server;
    DepthOnSlot m_consumers;
    MemoryIndexRows m_indices;
    std::unique_ptr<FeedDispatcher> m_dispatcher;
    std::unique_ptr<FeedConnection> m_connection;
    std::shared_ptr<RecordingWindow> m_window;
    class : public FeedUi {
    } m_ui;
};

TEST_P(BrokerFeed, SlotSubscriptionsQuotesAndEnd)
{
    ASSERT_TRUE(m_connection->start(settings()));
    if (subscribes()) {
        ASSERT_TRUE(m_broker->waitForFeedClient("U1", 10000));
        ASSERT_TRUE(eventually([&] { return FeedState::instance().slot() >= 0; }));
        // The opening request carried the windows' securities (the depth
        // window's quote too); the 250 then brought the depth subscription.
        EXPECT_EQ(brokerTokens(false), (std::vector<int>{wtoken(0), wtoken(1), wtoken(2)}));
        ASSERT_TRUE(eventually([&] { return brokerTokens(true) == std::vector<int>{wtoken(2)}; }));
        // A changed list is subscribed again.
        m_window->m_securities = {3};
        FeedSubscriptions::instance().Update_Feeds_Token();
        ASSERT_TRUE(eventually([&] { return brokerTokens(false) == std::vector<int>{wtoken(3), wtoken(2)}; }));
        m_window->m_securities = {0, 1};
        FeedSubscriptions::instance().Update_Feeds_Token();
        ASSERT_TRUE(eventually([&] { return brokerTokens(false).size() == 3; }));
    }

    // A quote reaches the record and the window.
    const int w = wtoken(0);
    const std::string quote = m_broker->quoteMessage(w);
    switch (GetParam()) {
    case Transport::Tcp:
    case Transport::Stream:
        EXPECT_EQ(m_broker->pushFeed("U1", quote), 1);
        break;
    case Transport::Udp:
        // The feed thread binds the port when it starts: repeat until heard.
        ASSERT_TRUE(eventually([&] {
            m_broker->sendUdp(quote);
            return !m_window->quotesSeen().empty();
        }));
        break;
    case Transport::Polling:
        break; // the poll brings it
    }
    ASSERT_TRUE(eventually([&] { return !m_window->quotesSeen().empty(); }));
    EXPECT_EQ(m_window->quotesSeen().front(), 0);
    EXPECT_EQ(m_table->row(0).quote().quote[4], static_cast<double>(m_broker->quote(w).last));
    EXPECT_GT(FeedState::instance().lastPacketTime(), 0);

    if (GetParam() == Transport::Tcp) {
        // Three messages in one packed frame are three dispatches.
        const size_t before = m_window->quotesSeen().size();
        EXPECT_EQ(m_broker->pushCompressed("U1", {quote, m_broker->quoteMessage(wtoken(1)), quote}), 1);
        ASSERT_TRUE(eventually([&] { return m_window->quotesSeen().size() == before + 3; }));
    }

    // The end: 999 where the server sends it, else a disconnect.
    switch (GetParam()) {
    case Transport::Tcp:
    case Transport::Stream:
        m_broker->pushFeed("U1", "999,Session ended");
        break;
    case Transport::Udp:
        m_broker->sendUdp("999,Session ended");
        break;
    case Transport::Polling:
        m_connection->stop();
        break;
    }
    ASSERT_TRUE(eventually([&] { return !m_connection->threadAlive(); }));
    EXPECT_EQ(FeedState::instance().running(), 0);
}

INSTANTIATE_TEST_SUITE_P(PerTransport, BrokerFeed,
                         ::testing::Values(Transport::Tcp, Transport::Stream, Transport::Udp, Transport::Polling),
                         [](const auto& info) {
                             switch (info.param) {
                             case Transport::Tcp: return std::string("Tcp");
                             case Transport::Stream: return std::string("Stream");
                             case Transport::Udp: return std::string("Udp");
                             case Transport::Polling: return std::string("Polling");
                             }
                             return std::string("Unknown");
                         });

// The stream subscribes over HTTP.
class BrokerFeedStream : public BrokerFeed {};

TEST_P(BrokerFeedStream, StopEndsASubscriptionTheServerDoesNotAnswer)
{
    ASSERT_TRUE(m_connection->start(settings()));
    ASSERT_TRUE(m_broker->waitForFeedClient("U1", 10000));
    ASSERT_TRUE(eventually([&] { return FeedState::instance().slot() >= 0; }));
    // The depth subscription that the slot brings is through first.
    ASSERT_TRUE(eventually([&] { return brokerTokens(true) == std::vector<int>{wtoken(2)}; }));
    tb::HttpFault silent;
    silent.delayMs = 60000;
    silent.times = 1;
    m_broker->armFault("/cgi-bin/Glenvarro/upd_feeds.exe", silent);
    m_window->m_securities = {3};
    FeedSubscriptions::instance().Update_Feeds_Token();
    ASSERT_TRUE(m_broker->waitForRequest(
        [](const tb::RecordedRequest& r) { return r.decoded.text.rfind("201|", 0) == 0; }, 10000));

    // Bounded: a stop that hangs fails here, and closing the broker then
    // ends the exchange it hangs on.
    auto done = std::async(std::launch::async, [this] { m_connection->stopAndWait(); });
    if (done.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "the feed did not stop within 5 s";
        m_broker->stop();
    }
    done.wait();
    EXPECT_FALSE(m_connection->threadAlive());
}

INSTANTIATE_TEST_SUITE_P(Http, BrokerFeedStream, ::testing::Values(Transport::Stream),
                         [](const auto&) { return std::string("Stream"); });

// The feed socket's own peer stops reading: the subscriptions written on it
// fill the socket's buffers until a write stalls part-way through a frame.
// The connection is dropped rather than left with half a frame on it or the
// sender waiting on it for good; the stream connects again by itself (the
// socket's feed ends and is connected again), and the new connection's
// opening carries every subscribed token.
class BrokerFeedStall : public BrokerFeed {};

TEST_P(BrokerFeedStall, AStalledSubscriptionWriteDropsTheConnection)
{
    // Every security of the broker's market, so a subscription frame is a
    // few kilobytes.
    SecurityRows rows;
    for (const tb::Security& sec : m_broker->universe().securities()) {
        if (sec.wtoken <= 0)
            continue;
        SecurityRecord r;
        r.token = sec.token;
        r.wtoken = sec.wtoken;
        r.market_exchange.assign(sec.exchange);
        r.inst_type.assign(sec.inst);
        r.symbol.assign(sec.symbol);
        rows.push_back(std::move(r));
    }
    ASSERT_GT(rows.size(), 200u);
    m_table = std::make_shared<SecurityTable>();
    m_table->build(std::move(rows), SecurityTable::Build::Full, true);
    SecurityTable::publish(m_table);

    tb::FeedFaults faults;
    faults.stopReading = true;
    m_broker->armFeedFaults(faults);
    FeedConnection::Settings s = settings();
    s.autoConnect = true;
    if (GetParam() == Transport::Stream) {
        // The texts go on the stream's own connection.
        s.connectType = 2;
        s.segmentAccess = '4';
    }
    ASSERT_TRUE(m_connection->start(s));
    ASSERT_TRUE(m_broker->waitForFeedClient("U1", 10000));
    ASSERT_TRUE(eventually([] { return FeedState::instance().slot() >= 0; }));
    const int stalled = m_broker->feedClients().at(0).id;

    std::vector<int> securities;
    std::vector<int> wanted;
    for (int i = 0; i < m_table->count(); ++i) {
        securities.push_back(i);
        wanted.push_back(m_table->row(i).wtoken);
    }
    std::sort(wanted.begin(), wanted.end());
    m_window->m_securities = securities;
    FeedSubscriptions::instance().Update_Feeds_Token();
    // Far more than the socket's buffers hold while nobody reads.
    for (int i = 0; i < 6000; ++i)
        m_connection->requestSubscription(1);

    const auto reconnectedWithEveryToken = [&] {
        for (const tb::FeedClientInfo& c : m_broker->feedClients()) {
            std::vector<int> tokens = c.tokens;
            std::sort(tokens.begin(), tokens.end());
            if (c.id != stalled && tokens == wanted)
                return true;
        }
        return false;
    };
    const auto waitFor = [](const auto& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!done() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return done();
    };
    if (GetParam() == Transport::Tcp) {
        // The socket's feed ends with its connection; the program's connect
        // (here: start) opens the next one.
        ASSERT_TRUE(waitFor([this] { return !m_connection->threadAlive(); }))
            << "the feed stayed on the stalled connection";
        ASSERT_TRUE(m_connection->start(s));
    }
    EXPECT_TRUE(waitFor(reconnectedWithEveryToken)) << "the feed stayed on the stalled connection";

    // Bounded: a stop that hangs fails here, and closing the broker then
    // ends the write it hangs on.
    auto done = std::async(std::launch::async, [this] { m_connection->stopAndWait(); });
    if (done.wait_for(std::chrono::seconds(15)) != std::future_status::ready) {
        ADD_FAILURE() << "the feed did not stop within 15 s";
        m_broker->stop();
    }
    done.wait();
}

INSTANTIATE_TEST_SUITE_P(Subscribing, BrokerFeedStall, ::testing::Values(Transport::Tcp, Transport::Stream),
                         [](const auto& info) {
                             return std::string(info.param == Transport::Tcp ? "Tcp" : "Stream");
                         });

TEST(BrokerFeedTcp, SplitFramesAndReconnectLeaveOneFeed)
{
    // Frames written in two parts by the server, and a disconnect then a
    // reconnect: one feed thread and one client at the broker.
    resetFeedGlobals();
    tb::BrokerOptions options;
    options.securities = 300;
    options.keepAliveMs = 0;
    tb::TestBroker broker(options);
    ASSERT_TRUE(broker.start());
    broker.addUser("U1", "pw");
    const tb::Security* sec = nullptr;
    for (const auto& s : broker.universe().securities())
        if (s.inst == "EQ" && s.exchange == "NN") {
            sec = &s;
            break;
        }
    ASSERT_NE(sec, nullptr);
    SecurityRecord r;
    r.token = sec->token;
    r.wtoken = sec->wtoken;
    r.market_exchange.assign("NN");
    r.inst_type.assign("EQ");
    r.setDisplayKey("X-EQ");
    SecurityRows rows;
    rows.push_back(std::move(r));
    auto table = std::make_shared<SecurityTable>();
    table->build(std::move(rows), SecurityTable::Build::Full, true);
    SecurityTable::publish(table);

    pf::HttpSession session;
    brokerfeed::BrokerFeedServer server(session, broker.httpPort());
    RecordingConsumers consumers;
    MemoryIndexRows indices;
    FeedDispatcher dispatcher(consumers, FeedSubscriptions::instance(), indices, FeedDispatcher::Options{1, true, {}});
    class : public FeedUi {
    } ui;
    FeedConnection connection(dispatcher, FeedSubscriptions::instance(), server, ui, nullptr);
    FeedConnection::Settings s;
    s.feedsType = 3;
    s.host = "127.0.0.1";
    s.port = broker.feedPort();
    s.userId = "U1";

    broker.armFeedFaults(tb::FeedFaults{false, false, true});
    ASSERT_TRUE(connection.start(s));
    ASSERT_TRUE(broker.waitForFeedClient("U1", 10000));
    ASSERT_TRUE(eventually([&] { return FeedState::instance().slot() >= 0; }));
    broker.pushFeed("U1", broker.quoteMessage(sec->wtoken));
    ASSERT_TRUE(eventually([&] { return table->row(0).quote().last_update > 0; }));

    const int firstClient = broker.feedClients().at(0).id;
    connection.stop();
    ASSERT_TRUE(connection.start(s));
    // The broker sees the first connection go and the second one come.
    ASSERT_TRUE(eventually([&] {
        const auto clients = broker.feedClients();
        return clients.size() == 1 && clients[0].id != firstClient && clients[0].slot >= 0;
    }));
    EXPECT_EQ(connection.connectionCount(), 2);
    connection.stopAndWait();
    EXPECT_FALSE(connection.threadAlive());
    broker.stop();
    SecurityTable::publish(nullptr);
    SetLoggedIn(false);
}

} // namespace

namespace {

// A UI whose proxy dialog answers with OK, or never (the user walks away).
class ProxyUi : public FeedUi {
public:
    explicit ProxyUi(bool answers) : m_answers(answers) {}
    std::future<ProxyAnswer> askProxyCredentials() override
    {
        ++prompts;
        if (!m_answers)
            return m_never.get_future();
        std::promise<ProxyAnswer> p;
        p.set_value({true, "puser", "ppass"});
        return p.get_future();
    }
    std::atomic<int> prompts{0};

private:
    bool m_answers;
    std::promise<ProxyAnswer> m_never;
};

struct StreamProxyCase {
    const char* name;
    bool proxyOn;
    int refusals;       // 407s the broker gives
    bool answers;       // the dialog is answered
    int prompts;        // dialogs shown
    bool connects;
};

void PrintTo(const StreamProxyCase& c, std::ostream* os)
{
    *os << c.name;
}

class StreamProxy : public ::testing::TestWithParam<StreamProxyCase> {};

TEST_P(StreamProxy, ContinuesThenPrompts)
{
    const StreamProxyCase& c = GetParam();
    resetFeedGlobals();
    g_Config.Feeds_Type = 2;
    tb::BrokerOptions options;
    options.securities = 300;
    options.keepAliveMs = 0;
    tb::TestBroker broker(options);
    ASSERT_TRUE(broker.start());
    broker.addUser("U1", "pw");
    tb::HttpFault refuse;
    refuse.status = 407;
    refuse.times = c.refusals;
    broker.armFault(FeedConnection::kFeedPath, refuse);

    pf::HttpSession session;
    brokerfeed::BrokerFeedServer server(session, broker.httpPort());
    RecordingConsumers consumers;
    MemoryIndexRows indices;
    FeedDispatcher dispatcher(consumers, FeedSubscriptions::instance(), indices, FeedDispatcher::Options{1, true, {}});
    ProxyUi ui(c.answers);
    FeedConnection connection(dispatcher, FeedSubscriptions::instance(), server, ui, &session);
    FeedConnection::Settings s;
    s.feedsType = 2;
    s.host = "127.0.0.1";
    s.port = broker.feedPort();
    s.userId = "U1";
    s.proxyOn = c.proxyOn;
    ASSERT_TRUE(connection.start(s));
    if (c.connects) {
        ASSERT_TRUE(broker.waitForFeedClient("U1", 10000));
    } else if (!c.answers) {
        ASSERT_TRUE(eventually([&] { return ui.prompts.load() == 1; }));
        connection.stop(); // ends the wait for the dialog
    }
    ASSERT_TRUE(eventually([&] { return !c.connects || FeedState::instance().slot() >= 0; }));
    connection.stopAndWait();
    EXPECT_EQ(ui.prompts.load(), c.prompts);
    FeedSubscriptions::instance().reset();
    SetLoggedIn(false);
}

INSTANTIATE_TEST_SUITE_P(Cases, StreamProxy,
                         ::testing::Values(StreamProxyCase{"ProxyOnTwoContinuations", true, 2, true, 0, true},
                                           StreamProxyCase{"ProxyOnThenDialog", true, 3, true, 1, true},
                                           StreamProxyCase{"ProxyOffDialogAtOnce", false, 1, true, 1, true},
                                           StreamProxyCase{"UnansweredDialogEndsOnStop", false, 1, false, 1, false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

} // namespace test_feed_broker
