// The application's window and dialog commands as the running terminal has
// them after a login: the frame's command table runs the market-watch
// commands, the lock refusals, the report checks and the dialogs, and the
// order report keeps the application's own handler that opens the real book.
#include "StartupFixture.h"

#include "app/base/ActivityStamp.h"
#include "app/base/SessionRecord.h"
#include "app/VortanexApp.h"
#include "frame/CBrowserCtrl.h"
#include "frame/CMainFrame.h"
#include "frame/FrameIds.h"
#include "market/MarketHooks.h"
#include "orders/COrderViewEx.h"
#include "orders/WatchOrderCommands.h"
#include "server/SecurityTable.h"
#include "watch/AppWindowCommands.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"
#include "watch/WatchOpeners.h"
#include "watch/base/WatchlistTable.h"

#include "ui/commands.h"
#include "ui/document_area.h"
#include "ui/form_driver.h"
#include "ui/ui_thread.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

namespace startuptest {
namespace {

class AppCommandsTest : public StartupFixture {
protected:
    void TearDown() override
    {
        CVortanexView::services().chooseWatchlist = {};
        StartupFixture::TearDown();
    }


    bool ran(const std::string& form) const
    {
        const auto& runs = modalHost.runs();
        return std::find(runs.begin(), runs.end(), form) != runs.end();
    }
};

TEST_F(AppCommandsTest, TheFramesCommandsOpenWatchListsRefuseWhileLockedAndOpenTheRealOrderBook)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    ui::Commands& commands = app.mainFrame()->Commands();
    const auto log = userLog("U1");
    ASSERT_FALSE(log.empty());

    // Every application command has a handler in the frame's table.
    for (int id : {ID_FILE_NEW, ID_FILE_OPEN, 57606, ID_APP_ABOUT, ID_REPORTS_ORDERS, 32878, 33314, 33214, 33215, 33216,
                   33217, 33218, 32883, 32886, 32881, 32884, 32885, 32887, 32860, 32863, 32864, 32865, 32862})
        EXPECT_TRUE(commands.has(id)) << id;

    // New and existing watch lists; an open list is brought up, not opened twice.
    ASSERT_TRUE(commands.invoke(ID_FILE_NEW));
    EXPECT_TRUE(pumpUntil([] { return WatchCommands::openCount() == 1; }));
    int list = -1;
    for (int i = 0; i < WatchlistTable::instance().count() && list < 0; ++i)
        if (WatchlistTable::instance().record(i).id == -502) // the broker's "NIFTY BANK" category
            list = i;
    ASSERT_GE(list, 0);
    int chooserAction = 0;
    CVortanexView::services().chooseWatchlist = [&](int action) {
        chooserAction = action;
        return list;
    };
    ASSERT_TRUE(commands.invoke(ID_FILE_OPEN));
    EXPECT_EQ(chooserAction, 5);
    EXPECT_TRUE(pumpUntil([] { return WatchCommands::openCount() == 2; }));
    ASSERT_TRUE(commands.invoke(ID_FILE_OPEN));
    EXPECT_EQ(WatchCommands::openCount(), 2);

    // A locked terminal refuses with the command's text and leaves the activity stamp.
    struct Locked {
        int id;
        const char* text;
    };
    const Locked locked[] = {
        {ID_REPORTS_ORDERS, "View Orders."}, {32878, "View Trades."},      {33214, "View Limits."},
        {32860, "Change Password."},         {32862, "Download Security."},
    };
    SetTerminalLocked(true);
    clock.advanceSeconds(30);
    const int64_t stamp = GetAccessTime();
    const size_t runsBefore = modalHost.runs().size();
    for (const Locked& l : locked) {
        commands.invoke(l.id);
        EXPECT_TRUE(boxShown(std::string("Terminal is Locked. Pls Unlock to ") + l.text)) << l.id;
    }
    EXPECT_EQ(GetAccessTime(), stamp);
    EXPECT_EQ(modalHost.runs().size(), runsBefore) << "a locked command opened a dialog";
    EXPECT_EQ(g_pOrderViewEx, nullptr);
    SetTerminalLocked(false);

    // The order report is the application's: it opens the real book.
    ASSERT_TRUE(commands.invoke(ID_REPORTS_ORDERS));
    ASSERT_NE(g_pOrderViewEx, nullptr);
    ASSERT_TRUE(pumpUntil([] { return !g_pOrderViewEx->isBusy(); }, 20000));
    EXPECT_EQ(requestsWith("ReportData=600"), 1);

    // A risk report passes its kind on (the window opens on that tab).
    ASSERT_TRUE(commands.invoke(33216));
    EXPECT_EQ(app.riskReportKind(), 13);

    // The dialogs run modally.
    modalHost.script("CAboutDlg", [](ui::FormDriver& d) { d.click(1); });
    modalHost.script("CChgPassword", [](ui::FormDriver& d) { d.click(2); });
    ASSERT_TRUE(commands.invoke(ID_APP_ABOUT));
    ASSERT_TRUE(commands.invoke(32860));
    EXPECT_TRUE(ran("CAboutDlg"));
    EXPECT_TRUE(ran("CChgPassword"));

    // The order book is installed: it never says it is not available.
    EXPECT_FALSE(boxShown("Orders is not available in this version."));
    closeAndExit(app);
}

// Every command of the ribbon and the main menu has its window in the
// running program: none is left to say it is not available (the start-up logs
// each one it has to fill that way). The windows' openers are installed too,
// and a broker page of a window opens in a browser window of the program.
TEST_F(AppCommandsTest, EveryRibbonCommandAndOpenerHasItsWindow)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    std::vector<std::string> missing;
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(paths.logs(), ec)) {
        std::ifstream in(e.path());
        for (std::string line; std::getline(in, line);)
            if (line.find("Not in this version: ") != std::string::npos)
                missing.push_back(line.substr(line.find("Not in this version: ")));
    }
    EXPECT_TRUE(missing.empty()) << missing.size() << " command(s), the first: " << missing.front();

    // The commands that open a window through the application's table have
    // their window installed (the order book's command and the font dialog
    // are not in it: the application and the table run them themselves).
    const auto& windows = AppWindowCommands::services().windows;
    for (const int id : {57606, 57664, 32878, 33314, 33214, 33215, 33216, 33217, 33218, 32883, 32886, 32881, 32884,
                         32885, 32887, 32860, 32863, 32865, 32862}) {
        ASSERT_NE(std::string(AppWindowCommands::LockText(id)), "") << id << " is not in the table";
        const auto it = windows.find(id);
        EXPECT_TRUE(it != windows.end() && it->second.open) << id;
    }

    const WatchOpeners& o = watchOpeners();
    EXPECT_TRUE(o.depth && o.details && o.chart && o.alert && o.basket && o.book && o.browser && o.exportToExcel);
    EXPECT_TRUE(marketHooks().openIndexChart && marketHooks().openIndexChain);
    ASSERT_TRUE(o.browser);
    const std::string page = "http://127.0.0.1:" + std::to_string(broker->httpPort()) + "/qtrade/qlogin.exe?x=1";
    o.browser(page, "GTC Order");
    CBrowserCtrl* shown = nullptr;
    for (CBrowserCtrl* b : app.mainFrame()->findChildren<CBrowserCtrl*>())
        if (b->Title() == "GTC Order")
            shown = b;
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(app.mainFrame()->Documents()->activeDocument(), shown);
    EXPECT_FALSE(boxShown("Browser is not available in this version."));
    closeAndExit(app);
}

TEST_F(AppCommandsTest, AFreshSecurityDownloadClosesTheWindowsReloadsTheMasterAndOpensANewWatchList)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    ui::Commands& commands = app.mainFrame()->Commands();
    ASSERT_TRUE(commands.invoke(ID_FILE_NEW));
    ASSERT_TRUE(commands.invoke(ID_REPORTS_ORDERS));
    ASSERT_NE(g_pOrderViewEx, nullptr);
    ASSERT_TRUE(pumpUntil([] { return !g_pOrderViewEx->isBusy(); }, 20000));
    const auto before = SecurityTable::current();
    ASSERT_TRUE(before);

    prompter.queueAnswer(7); // No: nothing happens
    ASSERT_TRUE(commands.invoke(32862));
    EXPECT_TRUE(boxShown("All the windows will be closed. Do you want to Download Security File."));
    EXPECT_EQ(SecurityTable::current(), before);
    EXPECT_NE(g_pOrderViewEx, nullptr);

    prompter.queueAnswer(6);
    ASSERT_TRUE(commands.invoke(32862));
    EXPECT_EQ(g_pOrderViewEx, nullptr);
    EXPECT_NE(SecurityTable::current(), before);
    EXPECT_TRUE(SecurityTable::current());
    EXPECT_TRUE(pumpUntil([] { return WatchCommands::openCount() == 1; }));
    EXPECT_NE(fileText(userLog("U1")).find("Completed Security Download"), std::string::npos);
    closeAndExit(app);
}

} // namespace
} // namespace startuptest
