// The frame's side of the subscription: a feed window takes and frees its
// open-window slot, a change of the windows' securities asks for one
// subscription, and the alerts subscribe their securities.
// The table's entries have a member named like Qt's "slots" keyword macro:
// read it before any Qt header defines the macro.
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/SecurityFile.h"
#include "server/SecurityTable.h"
namespace {
std::vector<int> slotsOf(const TokenSubscriptionEntry& e)
{
    return e.windowSlots;
}
} // namespace

#include "frame/CMainFrame.h"
#include "frame/FrameSubscriptions.h"

#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"

#include "testkit/headless.h"
#include "ui/document_area.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>

#include <cstring>
#include <mutex>

namespace {

// Rows: 0 INFY NN 1001 (wtoken 2001), 1 TCS NN 11536 (wtoken 23071), 2 INFY BN 1001 (wtoken 2002).
std::shared_ptr<SecurityTable> sampleTable()
{
    SecurityFileContent c = ParseSecurityText("01012026-0-0~"
                                              "1001,NN,INFY|EQ,500209,1,5,ACT,1,0~"
                                              "11536,NN,TCS|EQ,532540,1,5,ACT,1,0~"
                                              "1001,BN,INFY|A,500209,1,5,ACT,1,0~",
                                              SecurityReading::Full);
    auto t = std::make_shared<SecurityTable>();
    t->build(std::move(c.rows), SecurityTable::Build::Full, c.extended);
    return t;
}

class FakeFeedWindow final : public FeedWindow {
public:
    explicit FakeFeedWindow(std::vector<int> securities) : m_securities(std::move(securities)) {}
    std::vector<int> feedSecurities() const override { return m_securities; }

private:
    std::vector<int> m_securities;
};

// Stands in for the feed connection: records each subscription request with
// the text the connection would send for it.
class RecordingSender {
public:
    void install()
    {
        FeedSubscriptions::instance().setSubscriptionRequest([this](int which) {
            std::lock_guard lock(m_mutex);
            sent.emplace_back(which, FeedSubscriptions::instance().subscriptionText(which));
        });
    }
    std::vector<std::pair<int, std::string>> sent; // guarded by m_mutex (read after the requests)

private:
    std::mutex m_mutex;
};

class FakeAlerts final : public AlertServices {
public:
    std::vector<int> alertSecurities() const override { return {1, -1, 2}; }
    void showAlertPopUp(const AlertPopUpTexts& texts) override { shown.emplace_back(texts.security, texts.name); }
    std::vector<std::pair<int, std::string>> shown;
};

class FrameSubscriptionTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        SetProgramPaths(paths);
        SetDefaultSettings();
        FeedSubscriptions::instance().reset();
        FeedState::instance().reset();
        SecurityTable::publish(sampleTable());
        g_Config.Feeds_Type = 2;
        SetLoggedIn(true);
        std::strcpy(pv_user_info.user_id, "U77");
        std::strcpy(pv_user_info.local_address, "10.0.0.5");
        FeedState::instance().setServer("feed.example", 7000);
        FeedState::instance().setSlot(3);
        FeedState::instance().setRunning(1);
        sender.install();
        CMainFrame::Services services;
        services.saveSettings = [] {};
        frame = std::make_unique<CMainFrame>(services);
        ASSERT_TRUE(frame->OnCreate());
    }
    void TearDown() override
    {
        frame.reset();
        FeedSubscriptions::instance().setSubscriptionRequest({});
        SetAlertServices(nullptr);
        FeedSubscriptions::instance().reset();
        FeedState::instance().reset();
        SecurityTable::publish(nullptr);
        SetLoggedIn(false);
        g_Config = ConfigRecord{};
        pv_user_info = UserInfoRecord{};
        Headless::TearDown();
    }
    void closeDocument(QWidget* view)
    {
        frame->Documents()->activateDocument(view);
        frame->Documents()->closeActive();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    RecordingSender sender;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(FrameSubscriptionTest, AWindowTakesAndFreesItsSlot)
{
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    auto* first = new QLabel("watch 1");
    const int slot = frame->OpenFeedView(first, "My Watchlist", std::make_shared<FakeFeedWindow>(std::vector<int>{0}),
                                         kWindowMarketWatch, 0);
    ASSERT_EQ(slot, 0);
    EXPECT_EQ(subs.window(slot).in_use, 1);
    EXPECT_EQ(subs.window(slot).type, kWindowMarketWatch);
    auto* second = new QLabel("watch 2");
    const int other = frame->OpenFeedView(second, "NIFTY", std::make_shared<FakeFeedWindow>(std::vector<int>{0, 1}),
                                          kWindowMarketWatch, 1);
    EXPECT_EQ(other, 1);

    // One security in two windows: one entry with both slots.
    auto entries = subs.tokenEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].security, 0);
    EXPECT_EQ(slotsOf(entries[0]), (std::vector<int>{0, 1}));

    // Closing the first window frees its slot and unlinks it; the entry stays
    // subscribed for the other window.
    closeDocument(first);
    EXPECT_EQ(subs.window(0).in_use, 0);
    EXPECT_EQ(subs.window(0).window, nullptr);
    entries = subs.tokenEntries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries[0].security, 0);
    EXPECT_EQ(entries[0].in_use, 1);
    for (const auto& e : entries)
        for (int s : slotsOf(e))
            EXPECT_NE(s, 0);

    // The next window reuses the freed slot.
    auto* third = new QLabel("watch 3");
    EXPECT_EQ(frame->OpenFeedView(third, "Bank", std::make_shared<FakeFeedWindow>(std::vector<int>{2}),
                                  kWindowMarketWatch, 2),
              0);
}

TEST_F(FrameSubscriptionTest, SubscriptionIsSentOncePerChangeByteExact)
{
    auto* a = new QLabel("a");
    frame->OpenFeedView(a, "A", std::make_shared<FakeFeedWindow>(std::vector<int>{0}), kWindowMarketWatch, 0);
    ASSERT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(sender.sent[0].first, 1);
    EXPECT_EQ(sender.sent[0].second, "201|10.0.0.5|feed.example|7000|U77|3|1|2001,");
    EXPECT_EQ(SubscriptionFrame(sender.sent[0].second), "00044201|10.0.0.5|feed.example|7000|U77|3|1|2001,");

    // The same security in a second window: the list is unchanged, nothing is sent.
    auto* b = new QLabel("b");
    frame->OpenFeedView(b, "B", std::make_shared<FakeFeedWindow>(std::vector<int>{0}), kWindowMarketWatch, 1);
    EXPECT_EQ(sender.sent.size(), 1u);
    closeDocument(b);
    EXPECT_EQ(sender.sent.size(), 1u);

    // The last window goes: an empty subscription.
    closeDocument(a);
    ASSERT_EQ(sender.sent.size(), 2u);
    EXPECT_EQ(sender.sent[1].second, "201|10.0.0.5|feed.example|7000|U77|3|0|");
}

TEST_F(FrameSubscriptionTest, AlertsSubscribeTheirSecuritiesWithoutAWindow)
{
    auto alerts = std::make_shared<FakeAlerts>();
    SetAlertServices(alerts);
    EXPECT_EQ(AlertTokenSecurities(), (std::vector<int>{1, 2}));
    EXPECT_EQ(AddAlertTokens(), 2);
    const auto entries = FeedSubscriptions::instance().tokenEntries();
    ASSERT_EQ(entries.size(), 2u);
    for (const auto& e : entries)
        EXPECT_TRUE(slotsOf(e).empty());

    // The popup runs on the UI thread and maximises the frame first.
    std::thread([] { ShowAlertPopUp(2, "INFY", "LTP above 1500", "Tracked Time: 10:00:00 AM", "2~INFY~>=~1500.00"); })
        .join();
    ASSERT_TRUE(pumpUntil([&] { return alerts->shown.size() == 1; }));
    EXPECT_EQ(alerts->shown[0], (std::pair<int, std::string>{2, "INFY"}));
    EXPECT_TRUE(frame->isMaximized());
}

} // namespace
