// The application's window commands: the lock refusal without a stamp, the
// access and client checks of the books and risk reports, the single-window
// rule, and the font command reaching the open market watches.
#include "feed_test_support.h"

#include "watch/base/WatchlistTable.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/SessionRecord.h"
#include "watch/AppWindowCommands.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"

#include "frame/controls/CMyGridCtrl.h"
#include "testkit/headless.h"

#include <QApplication>
#include <QTreeView>

namespace test_app_window_commands {

namespace {

class AppWindowCommandsTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        feedtest::resetFeedGlobals();
        SetDefaultSettings();
        SetTerminalLocked(false);
        WatchlistTable::instance().reset();
        g_WatchOpenRequest = {};
        AppWindowCommands::services() = {};
        AppWindowCommands::services().viewRights = [this] { return rights; };
        AppWindowCommands::services().setRiskKind = [this](int kind) { riskKind = kind; };
        for (int id : {32877, 33216, 32883, 32865})
            AppWindowCommands::services().windows[id] = {[this, id] { return shown.count(id) > 0; },
                                                        [this, id] {
                                                            ++opened[id];
                                                            shown.insert(id);
                                                            return true;
                                                        }};
        g_Session.clients_in_use = 1;
    }
    void TearDown() override
    {
        for (CVortanexView* v : CVortanexView::openViews())
            delete v;
        AppWindowCommands::services() = {};
        SetTerminalLocked(false);
        g_Session = SessionValues{};
        pv_user_info.user_type = 'C';
        WatchlistTable::instance().reset();
        FeedSubscriptions::instance().reset();
        SecurityTable::publish(nullptr);
        Headless::TearDown();
    }

    bool rights = true;
    int riskKind = 0;
    std::set<int> shown;
    std::map<int, int> opened;
};

TEST_F(AppWindowCommandsTest, ALockedTerminalRefusesWithTheCommandsTextAndNoStamp)
{
    SetAccessTime();
    const int64_t stamp = GetAccessTime();
    clock.advanceSeconds(30);
    SetTerminalLocked(true);
    EXPECT_FALSE(AppWindowCommands::Run(32877));
    EXPECT_EQ(prompter.asks().back().text, "Terminal is Locked. Pls Unlock to View Orders.");
    EXPECT_EQ(GetAccessTime(), stamp);
    EXPECT_TRUE(opened.empty());
    SetTerminalLocked(false);
    EXPECT_TRUE(AppWindowCommands::Run(32877));
    EXPECT_EQ(GetAccessTime(), stamp + 30);
}

TEST_F(AppWindowCommandsTest, BooksAndReportsNeedTheRightAndAClient)
{
    rights = false;
    EXPECT_FALSE(AppWindowCommands::Run(33216));
    EXPECT_EQ(prompter.asks().back().text, "You don't have access to View Open Positions.");
    rights = true;
    g_Session.clients_in_use = 0;
    EXPECT_FALSE(AppWindowCommands::Run(32877));
    EXPECT_EQ(prompter.asks().back().text, "Activate Client for Order Report");
    // Web links open nothing without a client, or for a user who may not trade.
    EXPECT_FALSE(AppWindowCommands::Run(32883));
    g_Session.clients_in_use = 1;
    pv_user_info.user_type = 'V';
    EXPECT_FALSE(AppWindowCommands::Run(32883));
    EXPECT_TRUE(opened.empty());
}

TEST_F(AppWindowCommandsTest, OneWindowPerKindAndTheRiskWindowGetsItsReport)
{
    EXPECT_TRUE(AppWindowCommands::Run(33216));
    EXPECT_EQ(riskKind, 13);
    EXPECT_TRUE(AppWindowCommands::Run(33216));
    EXPECT_EQ(opened[33216], 1); // the second time the open one is activated
    // A command whose window is not installed says so, by the ribbon's name.
    EXPECT_FALSE(AppWindowCommands::Run(32878));
    EXPECT_EQ(prompter.asks().back().text, "Trades is not available in this version.");
    EXPECT_FALSE(AppWindowCommands::Run(32887));
    EXPECT_EQ(prompter.asks().back().text, "Option Calculator is not available in this version.");
}

TEST_F(AppWindowCommandsTest, TheFontCommandReachesTheOpenMarketWatches)
{
    feedtest::publishTable(3000);
    WatchCommands::OnFileNew();
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    prompter.queueFont(std::make_pair(std::string("DejaVu Sans"), 17));
    EXPECT_TRUE(AppWindowCommands::Run(32864));
    EXPECT_STREQ(g_AppSettings.grid_font.face_name, "DejaVu Sans");
    EXPECT_EQ(g_AppSettings.grid_font.height, -17);
    EXPECT_EQ(g_AppSettings.grid_font.quality, 4);
    EXPECT_EQ(CVortanexView::openViews()[0]->grid()->tree()->font().pixelSize(), 17);
    // The settings dialog's OK broadcasts too.
    EXPECT_TRUE(AppWindowCommands::Run(32865));
    EXPECT_EQ(opened[32865], 1);
}

} // namespace

} // namespace test_app_window_commands
