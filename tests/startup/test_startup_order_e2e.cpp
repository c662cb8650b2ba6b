// The order of the start-up against the test broker: the web page that the
// login opens by itself (a link of kind 'O' in the program's browser) takes
// the UI thread while the page engine starts, so it must not stand between
// the login and the feed. A market watch left open at the last close comes
// back at the start; the page's browser takes the UI thread for a while when
// it is made, as the engine's first page does. When the page is made, the
// feed must be up and the watch must already show its first quotes.
#include "StartupFixture.h"

// The server headers come before any Qt header: a member of the feed tables
// is named like one of Qt's keyword macros.
#include "server/FeedState.h"
#include "server/SecurityTable.h"

#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"
#include "frame/CBrowserCtrl.h"
#include "frame/CMainFrame.h"
#include "frame/FrameIds.h"
#include "frame/controls/CMyGridCtrl.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"
#include "watch/base/WatchlistTable.h"

#include "ui/browser_view.h"
#include "ui/commands.h"
#include "ui/document_area.h"
#include "ui/recording_browser_view.h"
#include "ui/ui_thread.h"

#include <QHostAddress>
#include <QTcpServer>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

namespace startuptest {
namespace {

class StartupOrderE2E : public StartupFixture {
protected:
    void TearDown() override
    {
        stopPusher();
        ui::setBrowserFactory({});
        CVortanexView::services().chooseWatchlist = {};
        StartupFixture::TearDown();
    }

    // The broker answers every token a feed client subscribes with one quote,
    // as a server sends the current quote of a fresh subscription.
    void startPusher()
    {
        m_pusher = std::thread([this] {
            std::set<int> pushed;
            while (!m_stop.load()) {
                for (const tb::FeedClientInfo& c : broker->feedClients())
                    for (int token : c.tokens)
                        if (pushed.insert(token).second)
                            broker->pushFeed("", broker->quoteMessage(token));
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    void stopPusher()
    {
        m_stop.store(true);
        if (m_pusher.joinable())
            m_pusher.join();
    }

    // A market watch shows a quote: a row's last price above zero. The
    // default layout puts the value kinds in id order, so the last price is
    // the fifth value column.
    static bool aWatchShowsAQuote()
    {
        for (CVortanexView* v : CVortanexView::openViews()) {
            const ui::GridModel& m = v->grid()->model();
            for (int i = 0; i < 10; ++i) {
                const int row = v->gridRowOf(i);
                if (row >= 0 && m.text(row, kFixedWatchColumns + kLastPrc).toDouble() > 0)
                    return true;
            }
        }
        return false;
    }

    std::thread m_pusher;
    std::atomic<bool> m_stop{false};
};

TEST_F(StartupOrderE2E, TheLoginsWebPageOpensAfterTheFeedIsUpAndTheFirstQuotesAreShown)
{
    writeConfig(false, /*feedsType=*/3);
    // A first run leaves the broker's "NIFTY BANK" list open at its close.
    {
        scriptLogin("U1", "Test@123");
        CVortanexApp app;
        app.setOptions(appOptions());
        ASSERT_TRUE(app.InitInstance());
        int list = -1;
        for (int i = 0; i < WatchlistTable::instance().count() && list < 0; ++i)
            if (WatchlistTable::instance().record(i).id == -502)
                list = i;
        ASSERT_GE(list, 0);
        CVortanexView::services().chooseWatchlist = [list](int) { return list; };
        ASSERT_TRUE(app.mainFrame()->Commands().invoke(ID_FILE_OPEN));
        ASSERT_TRUE(pumpUntil([] { return WatchCommands::openCount() == 1; }));
        closeAndExit(app);
    }
    ResetRunGlobals();

    // The next start: the login's page is an embedded link of kind 'O'.
    broker->setWebLinks({"Calls|2|103|Evening Call|Research|3|00OS|Evening calls"});
    struct AtPage {
        int made = 0;
        int slot = -1;
        bool quoteShown = false;
    } at;
    ui::setBrowserFactory([&at](QWidget* parent, pf::Shell&) -> std::unique_ptr<ui::BrowserView> {
        if (at.made++ == 0) {
            at.slot = FeedState::instance().slot();
            at.quoteShown = aWatchShowsAQuote();
        }
        // The page engine's start holds the UI thread.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        return std::make_unique<ui::RecordingBrowserView>(parent);
    });
    startPusher();
    scriptLogin("U1", "Test@123");
    ProgramFeed feed;
    CVortanexApp app;
    app.setOptions(appOptions(&feed));
    ASSERT_TRUE(app.InitInstance());
    ASSERT_EQ(CVortanexView::openViews().size(), 1u) << "the watch came back before the feed";
    EXPECT_EQ(at.made, 0) << "no step of the start-up waits for the page";

    ASSERT_TRUE(pumpUntil([&at] { return at.made > 0; }, 20000)) << "the page opens after the start-up";
    EXPECT_GE(at.slot, 0) << "the feed was up before the page";
    EXPECT_TRUE(at.quoteShown) << "the first quotes were on screen before the page took the UI thread";
    EXPECT_TRUE(aWatchShowsAQuote());
    // The page itself opened, once, in the program's browser window.
    EXPECT_TRUE(pumpUntil([&app] {
        for (QWidget* w : app.mainFrame()->Documents()->documents())
            if (auto* b = qobject_cast<CBrowserCtrl*>(w); b && b->Title() == "Evening Call")
                return true;
        return false;
    }));
    EXPECT_EQ(at.made, 1);
    stopPusher();
    closeAndExit(app);
}

// A feed that never comes up does not lose the page: it opens once the feed
// has had long enough.
TEST_F(StartupOrderE2E, WithTheFeedDownTheLoginsWebPageStillOpens)
{
    // A feed port that nothing listens on.
    int closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.serverPort();
    }
    writeConfig(false, /*feedsType=*/3);
    // The login names the feed's port (field 5).
    broker->setLoginField(5, std::to_string(closedPort));
    broker->setWebLinks({"Calls|2|103|Evening Call|Research|3|00OS|Evening calls"});
    int made = 0;
    ui::setBrowserFactory([&made](QWidget* parent, pf::Shell&) -> std::unique_ptr<ui::BrowserView> {
        ++made;
        return std::make_unique<ui::RecordingBrowserView>(parent);
    });
    scriptLogin("U1", "Test@123");
    ProgramFeed feed;
    CVortanexApp app;
    app.setOptions(appOptions(&feed));
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(made, 0);
    ASSERT_TRUE(pumpUntil([&made] { return made > 0; }, 30000)) << "the page opens without the feed";
    EXPECT_LT(FeedState::instance().slot(), 0) << "the feed never came up";
    EXPECT_EQ(made, 1);
    closeAndExit(app);
}

} // namespace
} // namespace startuptest
