// Disconnecting, reconnecting and exiting while the broker holds a reply
// back: the UI thread never waits for the server. A 20 ms UI-thread timer
// runs throughout; a wait for the network on the UI thread shows as a gap as
// long as the broker's delay, while the UI thread's own work stays far below
// a second. Results are waited for with generous deadlines.
#include "StartupFixture.h"

// The server headers come before any Qt header: a member of the feed tables
// is named like one of Qt's keyword macros.
#include "server/FeedState.h"
#include "server/OrderSecurity.h"
#include "server/RiskArrays.h"
#include "server/SecurityTable.h"

#include "RiskDesk.h"
#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"
#include "frame/CMainFrame.h"
#include "frame/FrameIds.h"
#include "frame/PositionServices.h"
#include "frame/WatchOpeners.h"
#include "orders/CBasketOrder.h"
#include "orders/CDlgConvertPosition.h"

#include "testkit/ui_heartbeat.h"
#include "ui/commands.h"
#include "ui/ui_thread.h"

#include <QLineEdit>
#include <QPushButton>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace startuptest {
namespace test_closing_e2e {

namespace {

constexpr qint64 kStallBoundMs = 1000;
constexpr int kResultMs = 30000;

class ClosingE2E : public StartupFixture {
protected:
    bool startWithFeed(CVortanexApp& app, ProgramFeed& feed, int feedsType)
    {
        writeConfig(false, feedsType);
        scriptLogin("U1", "Test@123");
        app.setOptions(appOptions(&feed));
        return app.InitInstance();
    }
    // Closes the frame and runs the exit; the time the whole exit took.
    std::chrono::milliseconds timedExit(CVortanexApp& app)
    {
        const auto start = std::chrono::steady_clock::now();
        closeAndExit(app);
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    }
    // The day's Trading list as its message file keeps it.
    std::string tradingList() const
    {
        std::string text;
        for (const auto& e : std::filesystem::recursive_directory_iterator(root))
            if (e.path().filename().string().rfind("Vortanex_Trading_", 0) == 0) {
                std::ifstream in(e.path(), std::ios::binary);
                std::stringstream s;
                s << in.rdbuf();
                text += s.str();
            }
        return text;
    }
    static int securityOf(const std::string& exchange, const std::string& series, int after = -1)
    {
        const auto table = SecurityTable::current();
        for (int i = after + 1; table && i < table->count(); ++i)
            if (OrderSecurityAt(i).exchange == exchange && OrderSecurityAt(i).series == series)
                return i;
        return -1;
    }
};

TEST_F(ClosingE2E, TheStreamFeedsExitDoesNotWaitForTheAnswerToItsLogout)
{
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(startWithFeed(app, feed, 2));
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return FeedState::instance().slot() >= 0; }, kResultMs));
    // The feed server sits on the logout (and whatever else reaches it now).
    tb::HttpFault held;
    held.delayMs = 3000;
    held.times = 20;
    broker->armFault("/cgi-bin/Glenvarro/upd_feeds.exe", held);
    broker->clearRequests();

    testkit::UiHeartbeat beat;
    const auto took = timedExit(app);
    EXPECT_LT(beat.longestGapMs(), kStallBoundMs);
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_TRUE(broker->waitForRequest([](const tb::RecordedRequest& r) { return r.path == "/cgi-bin/Glenvarro/upd_feeds.exe"; },
                                       1000))
        << "the logout was sent";
    EXPECT_FALSE(feed.running());
}

TEST_F(ClosingE2E, ConnectAfterDisconnectWhileAPollIsOutKeepsTheUiBeating)
{
    // Every poll of the polling feed is held back two seconds.
    tb::HttpFault held;
    held.delayMs = 2000;
    held.times = 50;
    broker->armFault("/cgi-bin/feeds", held);
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(startWithFeed(app, feed, 1));
    const auto isPoll = [](const tb::RecordedRequest& r) { return r.path == "/cgi-bin/feeds"; };
    ASSERT_TRUE(broker->waitForRequest(isPoll, kResultMs));
    ASSERT_EQ(feed.connectionCount(), 1);

    testkit::UiHeartbeat beat;
    broker->clearRequests();
    ui::Commands& commands = app.mainFrame()->Commands();
    ASSERT_TRUE(commands.invoke(ID_DISCONNECT));
    ASSERT_TRUE(commands.invoke(ID_CONNECT));
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return feed.connectionCount() == 2; }, kResultMs));
    EXPECT_TRUE(broker->waitForRequest(isPoll, kResultMs)) << "the new feed polls";
    ui::UiThread::pumpUntil([] { return false; }, 200);
    EXPECT_LT(beat.longestGapMs(), kStallBoundMs);
    closeAndExit(app);
}

TEST_F(ClosingE2E, ExitWithABasketAndAConversionInFlightNamesThemAsOfUnknownState)
{
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(startLoggedIn(app, feed));
    const int first = securityOf("NN", "EQ");
    const int second = securityOf("NN", "EQ", first);
    ASSERT_GE(second, 0);

    // A conversion of a short intraday position of 5, with its form open.
    const int token = OrderSecurityAt(first).token;
    PositionRecord p;
    p.token = token;
    p.exchange = "NN";
    p.product_code = 5;
    p.net_qty = -5;
    p.sec_index = first;
    ActiveClientRiskArrays().positions = {p};
    std::vector<std::string> row(tb::RiskDesk::kPositionFields, "0");
    row[0] = std::to_string(token);
    row[1] = "NN";
    row[6] = "-5";
    row[10] = "5";
    broker->riskDesk().editBook("ABC12", [&](tb::RiskBook& b) { b.positions = {row}; });
    ASSERT_TRUE(InstalledConvertPositionService()->ShowConvertPositionForm(nullptr, "ABC12", first, "NSE", -5, 'S', 0, 1));
    ASSERT_TRUE(ui::UiThread::pumpUntil(
        [] { return g_pDlgConvertPosition && g_pDlgConvertPosition->isVisible() && WaitConvertPositionWork(0); },
        kResultMs));

    // A basket of two legs.
    ASSERT_TRUE(watchOpeners().basket);
    watchOpeners().basket("ABC12", {{first, 0}, {second, 0}});
    CBasketOrder* basket = g_pBasketOrder;
    ASSERT_NE(basket, nullptr);
    for (int k = 0; k < 2; ++k) {
        basket->row(k).quantity->setText("1");
        basket->row(k).price->setText("0");
    }

    // The broker sits on both; the user sends them and exits at once.
    tb::HttpFault held;
    held.delayMs = 4000;
    broker->armFault("/qtrade/qbasket.exe", held);
    broker->armFault("/qtrade/qtrade.exe", held);
    broker->clearRequests();
    basket->okButton()->click();
    g_pDlgConvertPosition->convertButton()->click();
    ASSERT_TRUE(broker->waitForRequest([](const tb::RecordedRequest& r) { return r.path == "/qtrade/qbasket.exe"; },
                                       kResultMs));
    ASSERT_TRUE(broker->waitForRequest([](const tb::RecordedRequest& r) { return r.path == "/qtrade/qtrade.exe"; },
                                       kResultMs));

    testkit::UiHeartbeat beat;
    const auto took = timedExit(app);
    EXPECT_LT(beat.longestGapMs(), kStallBoundMs);
    EXPECT_LT(took, std::chrono::seconds(5));
    const std::string trading = tradingList();
    EXPECT_NE(trading.find("Basket order status unknown (the terminal closed before its reply arrived): "),
              std::string::npos)
        << trading;
    EXPECT_NE(trading.find("Position conversion status unknown (the terminal closed before its reply arrived): "
                           "Client ABC12, "),
              std::string::npos)
        << trading;
    ActiveClientRiskArrays().positions.clear();
}

} // namespace
} // namespace startuptest

} // namespace test_closing_e2e
