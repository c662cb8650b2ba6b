// The saved workspace across two runs against the test broker: the windows
// open at the close come back at the next start, in their tab order, before
// the feed connects; a list that is gone meanwhile is skipped.
#include "StartupFixture.h"

#include "app/VortanexApp.h"
#include "app/WorkspaceWiring.h"
#include "frame/CMainFrame.h"
#include "frame/COutputBar.h"
#include "frame/MessageFiles.h"
#include "frame/FrameIds.h"
#include "frame/TerminalLock.h"
#include "frame/Workspace.h"
#include "orders/COrderViewEx.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"
#include "watch/base/WatchlistTable.h"
#include "frame/controls/CMyGridCtrl.h"

#include "pf/profile_store.h"
#include "testkit/ui_heartbeat.h"
#include "ui/commands.h"
#include "ui/document_area.h"
#include "ui/form.h"
#include "ui/ui_thread.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace startuptest {
namespace {

class WorkspaceE2E : public StartupFixture {
protected:
    void TearDown() override
    {
        CVortanexView::services().chooseWatchlist = {};
        StartupFixture::TearDown();
    }
    static int listWithId(int id)
    {
        for (int i = 0; i < WatchlistTable::instance().count(); ++i)
            if (WatchlistTable::instance().record(i).id == id)
                return i;
        return -1;
    }
    // The documents' titles in tab order.
    static std::vector<std::string> titles(CVortanexApp& app)
    {
        std::vector<std::string> out;
        for (QWidget* v : app.mainFrame()->Documents()->documents())
            out.push_back(v->windowTitle().toStdString());
        return out;
    }
};

TEST_F(WorkspaceE2E, WindowsOpenAtTheCloseComeBackAtTheNextStart)
{
    writeConfig();
    std::vector<std::string> before;
    {
        scriptLogin("U1", "Test@123");
        CVortanexApp app;
        app.setOptions(appOptions());
        ASSERT_TRUE(app.InitInstance());
        ui::Commands& commands = app.mainFrame()->Commands();
        // Two of the broker's category lists, the order book, and a new list
        // that is never saved to the server (gone at the next start).
        const int bank = listWithId(-502);
        ASSERT_GE(bank, 0);
        int other = -1;
        for (int i = 0; i < WatchlistTable::instance().count() && other < 0; ++i) {
            const WatchlistRecord r = WatchlistTable::instance().record(i);
            if (i != bank && r.id <= -500 && r.id > -10000)
                other = i;
        }
        ASSERT_GE(other, 0);
        int next = bank;
        CVortanexView::services().chooseWatchlist = [&](int) { return next; };
        ASSERT_TRUE(commands.invoke(ID_FILE_OPEN));
        ASSERT_TRUE(pumpUntil([] { return WatchCommands::openCount() == 1; }));
        ASSERT_TRUE(commands.invoke(ID_REPORTS_ORDERS));
        ASSERT_NE(g_pOrderViewEx, nullptr);
        next = other;
        ASSERT_TRUE(commands.invoke(ID_FILE_OPEN));
        ASSERT_TRUE(pumpUntil([] { return WatchCommands::openCount() == 2; }));
        ASSERT_TRUE(commands.invoke(ID_FILE_NEW));
        ASSERT_TRUE(pumpUntil([] { return WatchCommands::openCount() == 3; }));
        before = titles(app);
        ASSERT_EQ(before.size(), 4u);
        closeAndExit(app);
    }
    ResetRunGlobals();
    {
        scriptLogin("U1", "Test@123");
        CVortanexApp app;
        app.setOptions(appOptions());
        ASSERT_TRUE(app.InitInstance());
        // The unsaved list is skipped; the others are back in their order.
        std::vector<std::string> expected(before.begin(), before.begin() + 3);
        EXPECT_EQ(titles(app), expected);
        EXPECT_NE(g_pOrderViewEx, nullptr);
        std::ifstream in(userLog("U1"));
        std::stringstream log;
        log << in.rdbuf();
        EXPECT_NE(log.str().find("could not be reopened; skipped"), std::string::npos);
        EXPECT_NE(log.str().find("Workspace restored: 3 window(s), 1 skipped"), std::string::npos);
        closeAndExit(app);
    }
}

// Two of the user's own lists, stored at the broker, were open at the close:
// at the next start each asks for its rows ("WD=104", held back two seconds
// by the broker) while its window shows busy, and the UI thread goes on
// beating meanwhile; the rows arrive and the windows come back to life in
// their tab order.
TEST_F(WorkspaceE2E, TwoStoredListsRestoredAtTheStartWaitForTheirRowsWithoutBlocking)
{
    writeConfig();
    broker->setReply("WD=100", "100|0|OK^11|Mine~12|Yours", 1);
    broker->setReply("WD=104", "154|0|OK^1410|SBIN|NN~2314|ITC|NN", 2);
    {
        WorkspaceState state;
        for (const char* name : {"Mine", "Yours"}) {
            WorkspaceDocument d;
            d.kind = "Watchlist";
            d.list = name;
            state.documents.push_back(d);
        }
        pf::ProfileStore stored(paths.config() / "Vortanex.profile.ini");
        ASSERT_TRUE(stored.setText(Workspace::kSection, Workspace::kValue, FormatWorkspace(state)));
    }
    tb::HttpFault hold;
    hold.delayMs = 2000;
    hold.times = 2;
    broker->armKeyFault("WD=104", hold);
    const auto rowsAsked = [this] {
        int n = 0;
        for (const tb::RecordedRequest& r : broker->requests())
            n += r.key() == "WD=104";
        return n;
    };
    // Beats while a restored list's window is busy without its rows.
    int beatsWhileHeld = 0;
    testkit::UiHeartbeat heartbeat([&] {
        for (CVortanexView* v : CVortanexView::openViews())
            if (rowsAsked() > 0 && !v->isEnabled() && v->grid()->model().rowTotal() == 0) {
                ++beatsWhileHeld;
                return;
            }
    });
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(titles(app), (std::vector<std::string>{"Watchlist - Mine", "Watchlist - Yours"}));
    const auto loaded = [] {
        const auto views = CVortanexView::openViews();
        return views.size() == 2u && std::all_of(views.begin(), views.end(), [](CVortanexView* v) {
                   return v->isEnabled() && v->grid()->model().rowTotal() == 2;
               });
    };
    ASSERT_TRUE(pumpUntil(loaded, 30000));
    EXPECT_EQ(rowsAsked(), 2);
    EXPECT_GT(beatsWhileHeld, 0);
    EXPECT_LT(heartbeat.longestGapMs(), 1000);
    closeAndExit(app);
}

// The end of the desktop session saves the workspace too. A close before the
// start-up reopened the windows (the downloads still running) saves nothing,
// so the stored workspace is not wiped by an empty one.
TEST_F(WorkspaceE2E, SessionEndSavesButACloseBeforeTheReopeningDoesNot)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    const int bank = listWithId(-502);
    ASSERT_GE(bank, 0);
    CVortanexView::services().chooseWatchlist = [bank](int) { return bank; };
    ASSERT_TRUE(app.mainFrame()->Commands().invoke(ID_FILE_OPEN));
    ASSERT_TRUE(pumpUntil([] { return WatchCommands::openCount() == 1; }));

    // As at start-up before the reopening step.
    InstallWorkspace(*app.mainFrame());
    SaveAppWorkspace(*app.mainFrame(), app.profile());
    EXPECT_FALSE(app.profile().contains(Workspace::kSection, Workspace::kValue));
    RestoreAppWorkspace(*app.mainFrame(), app.profile());

    const std::filesystem::path profilePath = app.profile().path();
    app.terminalLock()->OnEndSession(true);
    app.ExitInstance();
    const std::string saved = pf::ProfileStore(profilePath).getText(Workspace::kSection, Workspace::kValue);
    EXPECT_NE(saved.find("|Watchlist|"), std::string::npos) << saved;
}

// A profile saved by an older version whose pane layout is damaged (it made
// QMainWindow::restoreState write out of bounds, so every start crashed right
// after login): the terminal starts, the windows come back, the panes do
// not, and the message bar says so.
TEST_F(WorkspaceE2E, ADamagedSavedLayoutIsRefusedAndTheUserIsTold)
{
    writeConfig();
    {
        pf::ProfileStore stored(paths.config() / "Vortanex.profile.ini");
        ASSERT_TRUE(stored.setText(Workspace::kSection, Workspace::kValue,
                                   "Vortanex workspace 1\nstacking=0\ndoc=0|0|0|0|0|0|Orders|\n"
                                   "docks=AAAA/wAAAAH9AAAAAQAQAAAAAAAAAAAAAPwCAAAAAA==\nend\n"));
    }
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    EXPECT_NE(g_pOrderViewEx, nullptr);
    COutputBar& bar = *app.mainFrame()->OutputBar();
    const auto told = [&bar] {
        for (int row = 0; row < bar.RowCount(MsgGeneral); ++row)
            if (bar.RowText(MsgGeneral, row, 1).contains("pane layout could not be checked"))
                return true;
        return false;
    };
    EXPECT_TRUE(pumpUntil(told, 10000));
    closeAndExit(app);
    // The close saved a record whose layout carries its length and checksum.
    const std::string saved =
        pf::ProfileStore(paths.config() / "Vortanex.profile.ini").getText(Workspace::kSection, Workspace::kValue);
    EXPECT_EQ(saved.rfind("Vortanex workspace 2\n", 0), 0u) << saved;
}

} // namespace
} // namespace startuptest
