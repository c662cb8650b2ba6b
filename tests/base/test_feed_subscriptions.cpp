// The open-window and subscription tables and the texts sent to the feed server.
#include "feed_test_support.h"

#include <gtest/gtest.h>

namespace test_feed_subscriptions {

namespace {

using namespace feedtest;

class Subscriptions : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetFeedGlobals();
        SecurityRows extra;
        SecurityRecord index;
        index.token = 26000;
        index.wtoken = 51999;
        index.market_exchange.assign("NN");
        index.inst_type.assign("IN");
        index.setDisplayKey("NIFTY");
        extra.push_back(std::move(index));
        SecurityRecord bse;
        bse.token = 500209;
        bse.wtoken = 1000418; // seven digits with its comma: eight characters
        bse.market_exchange.assign("BN");
        bse.inst_type.assign("EQ");
        bse.setDisplayKey("INFY-B");
        extra.push_back(std::move(bse));
        m_table = publishTable(10, std::move(extra));
        subs().setSubscriptionRequest([this](int which) { m_requests.push_back(which); });
    }
    void TearDown() override
    {
        SetLoggedIn(false);
        SecurityTable::publish(nullptr);
        FeedSubscriptions::instance().reset();
    }
    FeedSubscriptions& subs() { return FeedSubscriptions::instance(); }
    void feedWithSlot(int slot)
    {
        FeedState::instance().setRunning(1);
        FeedState::instance().setSlot(slot);
        FeedState::instance().setServer("feeds.example", 8001);
    }

    std::shared_ptr<SecurityTable> m_table;
    std::vector<int> m_requests;
};

TEST_F(Subscriptions, WindowTableGrowsByFiveWhenFull)
{
    for (int i = 0; i < 29; ++i)
        EXPECT_EQ(subs().getClientDlg(), i);
    EXPECT_EQ(subs().windowCapacity(), 30);
    EXPECT_EQ(subs().getClientDlg(), 29); // the 30th grows the table, and counts
    EXPECT_EQ(subs().windowCapacity(), 35);
    EXPECT_EQ(subs().windowCount(), 30);
    EXPECT_EQ(subs().getClientDlg(), 30);
    subs().releaseSlot(4);
    EXPECT_EQ(subs().getClientDlg(), 4); // a freed slot is taken first
    EXPECT_EQ(subs().window(4).index, -1);
}

TEST_F(Subscriptions, SharedSecurityHasOneEntryWithBothSlots)
{
    auto a = std::make_shared<RecordingWindow>(std::vector<int>{1, 2});
    auto b = std::make_shared<RecordingWindow>(std::vector<int>{2});
    const int sa = openWindow(subs(), a, kWindowMarketWatch);
    const int sb = openWindow(subs(), b, kWindowMarketWatch);
    auto entries = subs().tokenEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].security, 2);
    EXPECT_EQ(entries[1].windowSlots, (std::vector<int>{sa, sb}));

    EXPECT_EQ(subs().RemoveWatchInfoDlgRef(sa), 0);
    entries = subs().tokenEntries();
    EXPECT_EQ(entries[1].windowSlots, (std::vector<int>{-1, sb}));
    EXPECT_EQ(entries[1].in_use, 1); // kept: the other window still shows it
    EXPECT_EQ(entries[0].windowSlots, (std::vector<int>{-1}));

    // A later window reuses the removed place.
    subs().releaseSlot(sa);
    auto c = std::make_shared<RecordingWindow>(std::vector<int>{2});
    const int sc = openWindow(subs(), c, kWindowMarketWatch);
    EXPECT_EQ(subs().tokenEntries()[1].windowSlots, (std::vector<int>{sc, sb}));
}

TEST_F(Subscriptions, RemoveWithoutKeepAndUnknownActions)
{
    EXPECT_EQ(subs().UpdateWatchToken(1, 3, -1, 0), 0);
    EXPECT_EQ(subs().UpdateWatchToken(2, 3, -1, 0), 0);
    EXPECT_EQ(subs().tokenEntries()[0].in_use, 0);
    EXPECT_EQ(subs().UpdateWatchToken(2, 9, -1, 0), -1);
    EXPECT_EQ(subs().UpdateWatchToken(3, 3, -1, 0), -1);
    EXPECT_EQ(subs().UpdateWatchToken(1, 4, -1, 0), 0); // the free entry is reused
    EXPECT_EQ(subs().tokenEntries()[0].segment, 1);   // NSE cash
}

TEST_F(Subscriptions, EntriesAreFoundBySecurityAndTheLowestFreeOneIsReused)
{
    for (int s : {1, 2, 3, 4, 5})
        EXPECT_EQ(subs().UpdateWatchToken(1, s, -1, 0), s - 1);
    EXPECT_EQ(subs().UpdateWatchToken(1, 3, -1, 0), 2); // already there
    EXPECT_EQ(subs().UpdateWatchToken(2, 4, -1, 0), 3);
    EXPECT_EQ(subs().UpdateWatchToken(2, 2, -1, 0), 1);
    EXPECT_EQ(subs().UpdateWatchToken(1, 4, -1, 0), 3); // a freed security takes its own entry back
    EXPECT_EQ(subs().UpdateWatchToken(1, 7, -1, 0), 1); // a new one the lowest free entry
    EXPECT_EQ(subs().UpdateWatchToken(2, 2, -1, 0), -1); // 2 gave its entry away
    EXPECT_EQ(subs().UpdateWatchToken(1, 8, -1, 0), 5);
    EXPECT_EQ(subs().UpdateWatchToken(2, 7, -1, 0), 1);
    EXPECT_EQ(subs().UpdateWatchToken(2, 7, -1, 1), 1); // kept: still found
}

TEST_F(Subscriptions, FeedListIsRebuiltAndSentOnlyWhenChanged)
{
    feedWithSlot(3);
    auto w = std::make_shared<RecordingWindow>(std::vector<int>{0, 11, 10});
    openWindow(subs(), w, kWindowMarketWatch);
    subs().Update_Feeds_Token();
    EXPECT_EQ(subs().feedTokenList(), "1,1000418,51999,");
    EXPECT_EQ(subs().indexTokenList(), "51999,");
    EXPECT_EQ(m_requests, (std::vector<int>{1}));
    subs().Update_Feeds_Token();
    EXPECT_EQ(m_requests.size(), 1u); // unchanged: nothing sent
    EXPECT_EQ(subs().indexTokenList(), "51999,");

    // Without a slot the list changes but nothing is asked for.
    FeedState::instance().setSlot(-1);
    w->m_securities = {0};
    subs().Update_Feeds_Token();
    EXPECT_EQ(subs().feedTokenList(), "1,");
    EXPECT_EQ(m_requests.size(), 1u);
}

TEST_F(Subscriptions, FeedListRulesPerFeedTypeAndSkipList)
{
    feedWithSlot(1);
    auto w = std::make_shared<RecordingWindow>(std::vector<int>{0, 10});
    openWindow(subs(), w, kWindowMarketWatch);
    subs().AddChartIndexToken(51999);
    g_Config.Feeds_Type = 5; // segment codes 1..4, 11 and 12 are left out
    subs().Update_Feeds_Token();
    EXPECT_EQ(subs().feedTokenList(), "");
    EXPECT_EQ(subs().indexTokenList(), "");
    g_Config.Feeds_Type = 0; // no feed: nothing at all
    w->m_securities = {1};
    subs().Update_Feeds_Token();
    EXPECT_EQ(subs().feedTokenList(), "");
}

TEST_F(Subscriptions, RebuildDropsStaleWindowLinks)
{
    // An entry reused for another security must not carry the old window.
    auto a = std::make_shared<RecordingWindow>(std::vector<int>{5});
    const int sa = openWindow(subs(), a, kWindowMarketWatch);
    a->m_securities = {};
    subs().releaseSlot(sa);
    auto b = std::make_shared<RecordingWindow>(std::vector<int>{6});
    const int sb = openWindow(subs(), b, kWindowMarketWatch);
    subs().Update_Feeds_Token();
    const auto entries = subs().tokenEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].security, 6);
    EXPECT_EQ(entries[0].windowSlots, (std::vector<int>{sb}));
}

TEST_F(Subscriptions, ExtraSecuritiesAndChartsAreSubscribed)
{
    subs().setExtraSecurities([] { return std::vector<int>{7}; });
    const int chart = subs().getClientDlg();
    subs().setWindow(chart, std::make_shared<RecordingWindow>(std::vector<int>{8}), kWindowIntradayChart, 9);
    subs().Update_Feeds_Token();
    EXPECT_EQ(subs().feedTokenList(), "19,17,15,"); // own security, series, then the extra
}

TEST_F(Subscriptions, TextsAndFramesAreByteExact)
{
    feedWithSlot(4);
    auto w = std::make_shared<RecordingWindow>(std::vector<int>{0, 1, 10});
    openWindow(subs(), w, kWindowMarketWatch);
    subs().Update_Feeds_Token();
    const int depthSlot = subs().getClientDlg();
    subs().setWindow(depthSlot, std::make_shared<RecordingWindow>(), kWindowMarketDepth, 2);
    subs().Update_MDepth_Token(1);
    EXPECT_EQ(m_requests, (std::vector<int>{1, 2}));

    EXPECT_EQ(subs().subscriptionText(1), "201|10.0.0.5|feeds.example|8001|U1|4|4|1,3,51999,51999,");
    EXPECT_EQ(subs().subscriptionText(2), "203|10.0.0.5|feeds.example|8001|U1|4|1|5,");
    EXPECT_EQ(subs().logoutText(), "202|10.0.0.5|feeds.example|8001|U1|4");
    EXPECT_EQ(subs().heartbeatText(), "900|10.0.0.5|feeds.example|U1|4");
    EXPECT_EQ(SubscriptionFrame("202|a"), "00005202|a");
    EXPECT_EQ(SubscriptionFrame(std::string(99999, 'x')).size(), 100004u);
    EXPECT_EQ(SubscriptionFrame(std::string(100000, 'x')), "");
}

TEST_F(Subscriptions, EmptySubscriptionCarriesCountZero)
{
    feedWithSlot(0);
    EXPECT_EQ(subs().subscriptionText(1), "201|10.0.0.5|feeds.example|8001|U1|0|0|");
}

} // namespace

} // namespace test_feed_subscriptions
