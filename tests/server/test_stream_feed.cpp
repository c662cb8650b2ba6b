// The HTTP stream feed with the program's own request function against the
// test broker, the way the terminal runs it: the login names the feed port,
// message 250 names the server that takes subscriptions and the logout.
#include "ServerFixture.h"

#include "broker_feed_support.h"
#include "broker_test_support.h"
#include "feed_test_support.h"

#include "app/base/FixedText.h"
#include "app/ProgramFeed.h"
#include "app/base/SessionRecord.h"
#include "server/FeedConnection.h"
#include "server/RequestServer.h"
#include "server/RequestServerAccess.h"

#include "pf/clock.h"
#include "ui/ui_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>

namespace {

using namespace feedtest;

class StreamFeed : public servertest::ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        ASSERT_TRUE(broker);
        FeedSubscriptions::instance().reset();
        FeedState::instance().reset();
        g_Config.Feeds_Type = 2;
        // As the login reply has it: the stream is on the feed port.
        CopyFixedText(pv_user_info.feed_update_host, "127.0.0.1");
        pv_user_info.feed_update_port = broker->feedPort();
        SetLoggedIn(true);

        m_table = brokerfeed::publishBrokerEquities(*broker, 3);
        ASSERT_TRUE(m_table) << "the broker has fewer than 3 NSE equities";

        m_dispatcher = std::make_unique<FeedDispatcher>(m_consumers, FeedSubscriptions::instance(), m_indices,
                                                        FeedDispatcher::Options{1, false, {}});
        m_connection = std::make_unique<FeedConnection>(*m_dispatcher, FeedSubscriptions::instance(), m_access,
                                                        m_ui, &RootInternetSession());
        auto& subs = FeedSubscriptions::instance();
        subs.setSubscriptionRequest([this](int which) { m_connection->requestSubscription(which); });
        m_window = std::make_shared<RecordingWindow>(std::vector<int>{0});
        openWindow(subs, m_window, kWindowMarketWatch);
        subs.Update_Feeds_Token();
    }
    void TearDown() override
    {
        FeedSubscriptions::instance().setSubscriptionRequest({});
        if (m_connection)
            stopWithin(std::chrono::seconds(5));
        if (m_dispatcher)
            m_dispatcher->drain();
        m_connection.reset();
        m_dispatcher.reset();
        FeedSubscriptions::instance().reset();
        FeedState::instance().reset();
        SetLoggedIn(false);
        SecurityTable::publish(nullptr);
        ServerFixture::TearDown();
    }
    FeedConnection::Settings settings() const
    {
        FeedConnection::Settings s;
        s.feedsType = 2;
        s.host = pv_user_info.feed_update_host;
        s.port = pv_user_info.feed_update_port;
        s.localAddress = "127.0.0.1";
        s.userId = "U1";
        s.userType = 'C';
        s.build = "2.3.0.20";
        return s;
    }
    // Starts the stream and waits until the broker has given it a slot.
    void connect()
    {
        ASSERT_TRUE(m_connection->start(settings()));
        ASSERT_TRUE(broker->waitForFeedClient("U1", 10000));
        ASSERT_TRUE(eventually([] { return FeedState::instance().slot() >= 0; }));
    }
    // stopAndWait, failing the test when it has not returned within the
    // bound. A stop that hangs is then released by closing the broker's
    // connections, so the test fails instead of hanging.
    bool stopWithin(std::chrono::seconds bound)
    {
        auto done = std::async(std::launch::async, [this] { m_connection->stopAndWait(); });
        if (done.wait_for(bound) == std::future_status::ready)
            return true;
        ADD_FAILURE() << "the feed did not stop within " << bound.count() << " s";
        brokertest::stopLoopbackBroker(broker);
        done.wait();
        return false;
    }
    int wtoken(int security) const { return m_table->row(security).wtoken; }
    std::vector<int> brokerTokens() const
    {
        const auto clients = broker->feedClients();
        return clients.empty() ? std::vector<int>{} : clients[0].tokens;
    }

    RequestServerAccess m_access;
    std::shared_ptr<SecurityTable> m_table;
    RecordingConsumers m_consumers;
    MemoryIndexRows m_indices;
    std::unique_ptr<FeedDispatcher> m_dispatcher;
    std::unique_ptr<FeedConnection> m_connection;
    std::shared_ptr<RecordingWindow> m_window;
    class : public FeedUi {
    } m_ui;
};

TEST_F(StreamFeed, SubscriptionAfterTheStreamStartedReachesTheBroker)
{
    connect();
    EXPECT_EQ(brokerTokens(), std::vector<int>{wtoken(0)});

    // A security added to the window once the stream runs.
    m_window->m_securities = {0, 1};
    FeedSubscriptions::instance().Update_Feeds_Token();
    EXPECT_TRUE(eventually([&] { return brokerTokens() == (std::vector<int>{wtoken(0), wtoken(1)}); }))
        << "the 201 did not reach the broker";
    // It went to the server that message 250 named, not to the stream's port.
    EXPECT_TRUE(waitForRequests("/cgi-bin/Glenvarro/upd_feeds.exe", 1));

    // And its quotes arrive over the stream.
    EXPECT_EQ(broker->pushFeed("U1", broker->quoteMessage(wtoken(1))), 1);
    EXPECT_TRUE(eventually([&] {
        const auto seen = m_window->quotesSeen();
        return std::find(seen.begin(), seen.end(), 1) != seen.end();
    }));
}

TEST_F(StreamFeed, StopEndsARunningStreamPromptly)
{
    connect();
    // A subscription in flight as well as the idle stream read.
    m_window->m_securities = {0, 2};
    FeedSubscriptions::instance().Update_Feeds_Token();
    ASSERT_TRUE(stopWithin(std::chrono::seconds(5)));
    EXPECT_FALSE(m_connection->threadAlive());
    EXPECT_EQ(FeedState::instance().running(), 0);
    // The logout went out over HTTP before the end.
    const auto logout = broker->waitForRequest(
        [](const tb::RecordedRequest& r) {
            return r.path == "/cgi-bin/Glenvarro/upd_feeds.exe" && r.decoded.text.rfind("202|", 0) == 0;
        },
        5000);
    EXPECT_TRUE(logout.has_value());
}

TEST_F(StreamFeed, SubscriptionStuckOnASilentServerDoesNotHoldUpTheStop)
{
    connect();
    // The server takes the next subscription and does not answer it.
    tb::HttpFault silent;
    silent.delayMs = 60000;
    silent.times = 1;
    broker->armFault("/cgi-bin/Glenvarro/upd_feeds.exe", silent);
    m_window->m_securities = {1};
    FeedSubscriptions::instance().Update_Feeds_Token();
    ASSERT_TRUE(broker->waitForRequest(
        [](const tb::RecordedRequest& r) { return r.decoded.text.rfind("201|", 0) == 0; }, 10000));

    ASSERT_TRUE(stopWithin(std::chrono::seconds(5)));
    // The logout still went out after the cancelled subscription.
    EXPECT_TRUE(broker->waitForRequest(
        [](const tb::RecordedRequest& r) { return r.decoded.text.rfind("202|", 0) == 0; }, 5000));
}

// Connection type 2 with the login's fourth segment-access flag '4': the
// stream's own connection carries the subscription, the heartbeat and the
// logout as "%05d%s" frames; with any other flag they go by request.
TEST_F(StreamFeed, SegmentAccessFourSendsTheTextsOnTheStreamConnection)
{
    pf::ManualClock clock{1'700'000'000'000};
    pf::setClock(&clock);
    struct Restore {
        ~Restore() { pf::setClock(nullptr); }
    } restore;
    const auto frames = [this](const char* prefix) {
        int n = 0;
        for (const tb::RecordedRequest& r : broker->requests())
            if (r.channel == "feed-frame" && r.rawBody.rfind(prefix, 0) == 0)
                ++n;
        return n;
    };
    FeedConnection::Settings s = settings();
    s.connectType = 2;
    s.segmentAccess = '4';
    ASSERT_TRUE(m_connection->start(s));
    ASSERT_TRUE(broker->waitForFeedClient("U1", 10000));
    ASSERT_TRUE(eventually([] { return FeedState::instance().slot() >= 0; }));
    ASSERT_TRUE(eventually([this] { return m_connection->hasSocket(); }));

    m_window->m_securities = {0, 1};
    FeedSubscriptions::instance().Update_Feeds_Token();
    EXPECT_TRUE(eventually([&] { return brokerTokens() == (std::vector<int>{wtoken(0), wtoken(1)}); }));
    EXPECT_EQ(frames("201|"), 1);

    clock.advanceMillis(31'000);
    SetLoggedIn(true);
    m_connection->onTimer();
    EXPECT_TRUE(eventually([&] { return frames("900|") == 1; })) << "no heartbeat frame";

    ASSERT_TRUE(stopWithin(std::chrono::seconds(5)));
    // The frame is written before the stop ends; the broker records it on
    // its own reading thread, which a loaded machine may run a little later.
    EXPECT_TRUE(eventually([&] { return frames("202|") == 1; })) << "no logout frame";
    EXPECT_EQ(frames("202|"), 1);
    EXPECT_EQ(requestsTo("/cgi-bin/Glenvarro/upd_feeds.exe"), 0) << "a text went by request as well";
}

// A subscription names the connection's slot: while there is none (the
// connection has just ended, or the server has not given one yet) nothing
// goes on the stream's own connection either.
TEST_F(StreamFeed, SubscriptionFramesWaitForASlot)
{
    const auto frames = [this](const char* prefix) {
        int n = 0;
        for (const tb::RecordedRequest& r : broker->requests())
            if (r.channel == "feed-frame" && r.rawBody.rfind(prefix, 0) == 0)
                ++n;
        return n;
    };
    FeedConnection::Settings s = settings();
    s.connectType = 2;
    s.segmentAccess = '4';
    ASSERT_TRUE(m_connection->start(s));
    ASSERT_TRUE(broker->waitForFeedClient("U1", 10000));
    ASSERT_TRUE(eventually([] { return FeedState::instance().slot() >= 0; }));
    ASSERT_TRUE(eventually([this] { return m_connection->hasSocket(); }));
    const int slot = FeedState::instance().slot();

    // A subscription asked for while the slot was there and sent after it
    // went (the sender thread runs it later).
    FeedState::instance().setSlot(-1);
    m_window->m_securities = {0, 1};
    m_connection->requestSubscription(1);
    // The sender runs its tasks in order: once the quote poll queued after
    // the subscription has reached the broker, the subscription had its turn.
    const size_t before = broker->requests().size();
    m_connection->requestSnapshot("Token=1," + std::to_string(wtoken(0)));
    ASSERT_TRUE(eventually([&] { return broker->requests().size() > before; }));
    FeedState::instance().setSlot(slot);
    m_window->m_securities = {0, 2};
    FeedSubscriptions::instance().Update_Feeds_Token();
    EXPECT_TRUE(eventually([&] { return brokerTokens() == (std::vector<int>{wtoken(0), wtoken(2)}); }));
    EXPECT_EQ(frames("201|"), 1) << "a subscription went out without a slot";
    ASSERT_TRUE(stopWithin(std::chrono::seconds(5)));
}

TEST_F(StreamFeed, OtherSegmentAccessSendsTheTextsByRequest)
{
    FeedConnection::Settings s = settings();
    s.connectType = 2;
    s.segmentAccess = '3';
    ASSERT_TRUE(m_connection->start(s));
    ASSERT_TRUE(broker->waitForFeedClient("U1", 10000));
    ASSERT_TRUE(eventually([] { return FeedState::instance().slot() >= 0; }));
    EXPECT_FALSE(m_connection->hasSocket());
    m_window->m_securities = {0, 1};
    FeedSubscriptions::instance().Update_Feeds_Token();
    EXPECT_TRUE(waitForRequests("/cgi-bin/Glenvarro/upd_feeds.exe", 1));
    for (const tb::RecordedRequest& r : broker->requests())
        EXPECT_NE(r.channel, "feed-frame") << r.rawBody;
}

// The program's own feed: a proxy that wants credentials on the stream gets
// the proxy dialog, shown on the UI thread while the feed thread waits, and
// the stream goes on with what was typed.
TEST_F(StreamFeed, ProgramFeedAsksForProxyCredentialsOnTheUiThread)
{
    CopyFixedText(pv_user_info.user_id, "U1");
    CopyFixedText(pv_user_info.local_address, "127.0.0.1");
    tb::HttpFault refuse;
    refuse.status = 407;
    refuse.times = 1;
    broker->armFault(FeedConnection::kFeedPath, refuse);
    servertest::scriptProxyOk(modalHost, "puser", "ppass");

    ProgramFeed feed;
    feed.connect();
    const bool connected = ui::UiThread::pumpUntil(
        [&] {
            for (const tb::FeedClientInfo& c : broker->feedClients())
                if (c.user == "U1")
                    return true;
            return false;
        },
        10000);
    EXPECT_EQ(proxyPrompts(), 1);
    EXPECT_TRUE(connected) << "the stream did not go on after the dialog";
    feed.shutdown();
}

// A dialog the UI thread never shows (the program is closing) still answers
// the feed thread, as cancelled, instead of leaving it a broken promise.
TEST_F(StreamFeed, ProxyDialogDroppedAtShutDownAnswersCancelled)
{
    std::future<FeedUi::ProxyAnswer> answer = AskFeedProxyCredentials();
    ui::UiThread::discardPending();
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_FALSE(answer.get().ok);
    EXPECT_EQ(proxyPrompts(), 0);
}

} // namespace
