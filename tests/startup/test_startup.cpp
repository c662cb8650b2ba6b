// The application's start-up and exit against the test broker: a temporary
// program folder, the login through the scripted modal host, the tables of a
// logged-in terminal, the lock and unlock of the terminal, a refused second
// run, and the exit sequence with its banner and crash flag.
#include "StartupFixture.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/ListRecords.h"
#include "app/CDlgRiskDiscloser.h"
#include "app/CLogin.h"
#include "app/CNomineePopup.h"
#include "app/base/LogWriter.h"
#include "frame/OrderFormService.h"
#include "app/ProgramFeed.h"
#include "app/base/SessionRecord.h"
#include "app/VortanexApp.h"
#include "frame/CCaptionBar.h"
#include "frame/CMainFrame.h"
#include "frame/controls/CMyListCtrl.h"
#include "frame/MessageFiles.h"
#include "frame/COutputBar.h"
#include "frame/FeedControl.h"
#include "frame/FrameIds.h"
#include "frame/FrameSubscriptions.h"
#include "frame/MainFrameCommands.h"
#include "frame/RibbonLayout.h"
#include "frame/TerminalLock.h"
#include "frame/controls/CMyReportCtrl.h"
#include "orders/COrderViewEx.h"
#include "frame/OrderFormLinks.h"
#include "server/OrderSecurity.h"
#include "frame/WatchOrderCommands.h"
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/MarketLookups.h"
#include "server/SecurityTable.h"
#include "watch/WatchCommands.h"
#include "watch/base/WatchlistTable.h"

#include "pf/files.h"
#include "pf/profile_store.h"
#include "ui/form_driver.h"
#include "ui/status_panes.h"
#include "ui/ui_thread.h"

#include <QPointer>
#include <QImage>
#include <QPixmap>
#include <QTreeView>

#include <algorithm>
#include <cstring>
#include <fstream>

namespace startuptest {
namespace {

class StartupTest : public StartupFixture {
protected:

    static std::string lastLine(const std::string& text)
    {
        std::string t = text;
        while (!t.empty() && (t.back() == '\n' || t.back() == '\r'))
            t.pop_back();
        const size_t nl = t.rfind('\n');
        return nl == std::string::npos ? t : t.substr(nl + 1);
    }
};

TEST_F(StartupTest, LogsInLoadsTheMarketAndEndsProperly)
{
    // A first start with the files of an older layout loose in the folder.
    writeConfig(/*loose=*/true, /*feedsType=*/3);
    std::ofstream(root / "old.LST") << "x";
    scriptLogin("U1", "Test@123");

    ProgramFeed feed;
    CVortanexApp::Options o = appOptions();
    o.feed = &feed;
    CVortanexApp app;
    app.setOptions(o);
    ASSERT_TRUE(app.InitInstance()) << ::testing::PrintToString(boxTexts());
    EXPECT_EQ(app.loginResult(), 1);
    // A depth window open before the feed gives its slot: the depth
    // subscription goes out once the slot is known.
    const int depthSecurity = SecurityTable::current() ? SecurityTable::current()->searchWToken(2819) : -1;
    ASSERT_GE(depthSecurity, 0);
    const int depthSlot = FeedSubscriptions::instance().getClientDlg();
    ASSERT_GE(depthSlot, 0);
    FeedSubscriptions::instance().setWindow(depthSlot, std::make_shared<FeedWindow>(), kWindowMarketDepth,
                                            depthSecurity);

    // The folders, with the loose files sorted into them first.
    for (const auto& f : {paths.logs(), paths.data(), paths.comp(), paths.config(), paths.docs(), paths.sound()})
        EXPECT_TRUE(std::filesystem::is_directory(f)) << f;
    EXPECT_TRUE(std::filesystem::exists(paths.config() / "Vortanex.ini"));
    EXPECT_FALSE(std::filesystem::exists(root / "Vortanex.ini"));
    EXPECT_TRUE(std::filesystem::exists(paths.comp() / "old.LST"));

    // The default column layout was written for the user.
    EXPECT_EQ(std::filesystem::file_size(paths.data() / "watch_U1.dat"), 96u);

    // The master and the look-ups.
    const auto table = SecurityTable::current();
    ASSERT_TRUE(table);
    EXPECT_GE(table->count(), 293);
    EXPECT_EQ(IndexTable::instance().count(), 5);
    for (const IndexRecord& i : IndexTable::instance().entries())
        EXPECT_GE(i.securityIndex, 0) << i.name;
    EXPECT_GT(WatchlistTable::instance().count(), 0);
    EXPECT_EQ(WatchlistTable::instance().groupNames().front(), "My Watchlist");
    EXPECT_TRUE(IsLoggedIn());
    EXPECT_EQ(g_Session.clients_in_use, 1);
    ASSERT_FALSE(g_Session.clients.empty());
    EXPECT_EQ(g_Session.clients[0].active, 1) << "the user's own account is the active client";
    EXPECT_EQ(pv_user_info.client_index, 0);
    EXPECT_TRUE(TradingAllowed());
    EXPECT_EQ(profileInt("Fail"), 1);

    // The user's log holds the login and the master's load.
    const auto log = userLog("U1");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(CurrentLogPath(), log);
    const std::string text = fileText(log);
    EXPECT_NE(text.find("Security Download Completed"), std::string::npos);
    EXPECT_NE(text.find("Total Exchange ctr :"), std::string::npos);
    EXPECT_TRUE(boxTexts().empty()) << ::testing::PrintToString(boxTexts());

    // The feed: connected (message 250 gave a slot), index broadcasts reach
    // the index table, and a subscribed security gets its quotes.
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return FeedState::instance().slot() >= 0; }, 10000));
    ASSERT_TRUE(broker->waitForFeedClient("U1", 5000));
    EXPECT_EQ(feed.connectionCount(), 1);
    CMainFrame* const shown = app.mainFrame();
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(ui::UiThread::pumpUntil(
        [&] { return shown->StatusPanes()->text(ID_INDICATOR_CONNECT) == "Connected"; }, 5000))
        << "the status bar follows the TCP feed";
    EXPECT_TRUE(ui::UiThread::pumpUntil(
        [&] {
            for (const tb::FeedClientInfo& c : broker->feedClients())
                if (!c.depthTokens.empty())
                    return true;
            return false;
        },
        5000));
    FeedSubscriptions::instance().RemoveWatchInfoDlgRef(depthSlot);
    const IndexRecord index = IndexTable::instance().entries().front();
    IndexRecord changed;
    IndexTable::instance().update(index.feedCode, [](IndexRecord& r) { r.values[0] = -1; }, changed);
    EXPECT_GT(broker->pushFeed("", broker->quoteMessage(index.feedCode)), 0);
    EXPECT_TRUE(ui::UiThread::pumpUntil(
        [&] {
            for (const IndexRecord& r : IndexTable::instance().entries())
                if (r.feedCode == index.feedCode)
                    return r.values[0] > 0;
            return false;
        },
        5000));
    const int wtoken = 2819;
    const int security = table->searchWToken(wtoken);
    ASSERT_GE(security, 0);
    // A security subscribed without a window, as the alerts subscribe theirs.
    FeedSubscriptions::instance().setExtraSecurities([security] { return std::vector<int>{security}; });
    Update_Feeds_Token();
    const auto subscribed = [&] {
        for (const tb::FeedClientInfo& c : broker->feedClients())
            for (int t : c.tokens)
                if (t == wtoken)
                    return true;
        return false;
    };
    ASSERT_TRUE(ui::UiThread::pumpUntil(subscribed, 5000));
    EXPECT_GT(broker->pushFeed("", broker->quoteMessage(wtoken)), 0);
    EXPECT_TRUE(ui::UiThread::pumpUntil([&] { return table->row(security).quote().last_update != 0; }, 5000));

    // A list chosen in the watch-list pane opens in a market watch.
    CMainFrame* frame = app.mainFrame();
    ASSERT_NE(frame, nullptr);
    int list = -1;
    for (int i = 0; i < WatchlistTable::instance().count() && list < 0; ++i)
        if (WatchlistTable::instance().record(i).id == -502) // the broker's "NIFTY BANK" category
            list = i;
    ASSERT_GE(list, 0);
    WatchCommands::OnSelWatchList(WatchlistTable::instance().record(list).panePage, list);
    EXPECT_TRUE(ui::UiThread::pumpUntil([] { return WatchCommands::openCount() == 1; }, 5000));

    // A picture of the logged-in frame for a person to look at.
    frame->resize(1280, 800);
    ui::UiThread::pumpUntil([] { return false; }, 500);
    const QPixmap shot = frame->grab();
    EXPECT_FALSE(shot.isNull());
    const auto png = root / "startup_logged_in_frame.png";
    EXPECT_TRUE(shot.save(QString::fromStdString(png.string()), "PNG")) << png;

    closeAndExit(app);
    EXPECT_EQ(requestsWith("LoginData=1001"), 1);
    EXPECT_EQ(profileInt("Fail"), 0);
    EXPECT_NE(lastLine(fileText(log)).find("Vortanex is shutdown properly"), std::string::npos) << lastLine(fileText(log));
    EXPECT_FALSE(SecurityTable::current());
    EXPECT_EQ(WatchlistTable::instance().count(), 0);
}

TEST_F(StartupTest, ASecondRunOfTheSameUserIsRefusedAndLeavesTheCrashFlag)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp first;
    first.setOptions(appOptions());
    ASSERT_TRUE(first.InitInstance());
    EXPECT_EQ(profileInt("Fail"), 1);

    CVortanexApp second;
    second.setOptions(appOptions());
    EXPECT_FALSE(second.InitInstance());
    EXPECT_TRUE(boxShown("Vortanex Application already started with User 'U1'."))
        << ::testing::PrintToString(boxTexts());
    second.ExitInstance();
    // The refused run did not set the flag, so it does not clear it.
    EXPECT_EQ(profileInt("Fail"), 1);
    first.ExitInstance();
    EXPECT_EQ(profileInt("Fail"), 0);
}

// The services list is made current at login, before the client's services
// mark it; the list versions are stored where the next start compares them,
// so a second start with the same versions downloads neither list.
TEST_F(StartupTest, TheLoginMarksAFreshServicesListAndASecondStartFetchesNoList)
{
    const auto downloads = [this](const std::string& path) {
        int n = 0;
        for (const tb::RecordedRequest& r : broker->requests())
            n += r.path == path;
        return n;
    };
    writeConfig();
    scriptLogin("U1", "Test@123");
    {
        CVortanexApp first;
        first.setOptions(appOptions());
        ASSERT_TRUE(first.InitInstance());
        EXPECT_EQ(downloads("/security/services.lzo"), 1);
        EXPECT_EQ(downloads("/security/category.lzo"), 1);
        ASSERT_NE(g_Config.services, nullptr);
        int marked = 0;
        for (const ServiceRecord& s : *g_Config.services)
            marked += s.subscribed != 0;
        EXPECT_EQ(marked, 2) << "the client's services reply marks services 1 and 2";
        // No dead button: every command of the ribbon and the menu runs
        // something, its window or the not-available message.
        for (const RibbonCategoryDef& c : RibbonCategories())
            for (const RibbonPanelDef& p : c.panels)
                for (const RibbonItem& item : p.items)
                    EXPECT_TRUE(first.mainFrame()->Commands().has(item.id)) << item.text;
        for (const RibbonItem& item : RibbonMainMenu())
            EXPECT_TRUE(item.id == 0 || first.mainFrame()->Commands().has(item.id)) << item.text;
        const std::string sessionId(FixedTextView(pv_user_info.session_id));
        ASSERT_FALSE(sessionId.empty());
        closeAndExit(first);
        // The session id stays out of the user's log (the watch-list and
        // logout requests carry it).
        const std::string log = fileText(userLog("U1"));
        EXPECT_NE(log.find("|****|"), std::string::npos);
        EXPECT_EQ(log.find(sessionId), std::string::npos);

        // Settings (with the proxy password), the per-user file, the logs and
        // the message files are the user's alone.
        const auto mode = [](const std::filesystem::path& p) {
            return static_cast<unsigned>(std::filesystem::status(p).permissions()) & 0777u;
        };
        for (const auto& f : {paths.data() / "Vortanex.dat", paths.data() / "Vortanex_U1.dat", paths.data() / "U1.bin",
                              paths.config() / "Vortanex.profile.ini"})
            EXPECT_EQ(mode(f), 0600u) << f;
        int messageFiles = 0;
        for (const auto& e : std::filesystem::directory_iterator(paths.logs())) {
            EXPECT_EQ(mode(e.path()), 0600u) << e.path();
            messageFiles += e.path().extension() == ".msg";
        }
        EXPECT_EQ(messageFiles, 4);
        for (const auto& d : {paths.logs(), paths.data(), paths.config()})
            EXPECT_EQ(mode(d), 0700u) << d;
    }
    ResetRunGlobals();
    scriptLogin("U1", "Test@123");
    {
        CVortanexApp second;
        second.setOptions(appOptions());
        ASSERT_TRUE(second.InitInstance());
        EXPECT_EQ(downloads("/security/services.lzo"), 1);
        EXPECT_EQ(downloads("/security/category.lzo"), 1);
        EXPECT_FALSE(second.mainFrame() == nullptr);
        closeAndExit(second);
    }
}

// The next start offers the id of the last successful login, as the server
// spells it, so only the password is left to type; a failed login leaves it.
TEST_F(StartupTest, TheNextStartOffersTheLastLoginsIdAndACancelledLoginKeepsIt)
{
    writeConfig();
    broker->scriptLogin(0);
    broker->setLoginField(7, "U1");
    scriptLogin("u1", "Test@123");
    {
        CVortanexApp first;
        first.setOptions(appOptions());
        ASSERT_TRUE(first.InitInstance());
        closeAndExit(first);
    }
    for (const bool logIn : {false, true}) {
        SCOPED_TRACE(logIn ? "logs in" : "cancelled");
        ResetRunGlobals();
        std::string offered = "(not shown)";
        bool passwordFocused = false;
        modalHost.script("CLogin", [&](ui::FormDriver& d) {
            auto& login = static_cast<CLogin&>(d.form());
            offered = login.text(CLogin::kUserId);
            passwordFocused = login.focusWidget() == login.control(CLogin::kPassword);
            if (!logIn) {
                d.click(2);
                return;
            }
            d.type(CLogin::kPassword, "Test@123").click(1);
            EXPECT_TRUE(ui::UiThread::pumpUntil([&login] { return !login.isExchangeBusy(); }, 30000));
        });
        if (!logIn)
            prompter.answerWhen("Do you want to Quit from this Application", 6);
        CVortanexApp next;
        next.setOptions(appOptions());
        EXPECT_EQ(next.InitInstance(), logIn);
        EXPECT_EQ(offered, "U1");
        EXPECT_TRUE(passwordFocused);
        if (logIn) {
            EXPECT_STREQ(pv_user_info.user_id, "U1");
            closeAndExit(next);
        } else {
            next.ExitInstance();
        }
    }
}

// The user typed the id in another case than the server's: the user's own
// files are found, read, kept under their one name and never overwritten
// with the shared defaults; the message bar takes the user's font.
TEST_F(StartupTest, AnIdTypedInAnotherCaseFindsAndKeepsTheUsersOwnFiles)
{
    writeConfig();
    std::filesystem::create_directories(paths.data());
    SetDefaultSettings();
    AppSettings own = g_AppSettings;
    own.lock_minutes = 7;
    own.order_qty_limit = 4321;
    std::memset(own.grid_font.face_name, 0, sizeof own.grid_font.face_name);
    std::strcpy(own.grid_font.face_name, "DejaVu Serif");
    own.grid_font.height = -17;
    ASSERT_TRUE(pf::files::writeAtomic(paths.data() / "Vortanex_U1.dat", SettingsToFileImage(own)));
    ASSERT_TRUE(pf::files::writeAtomic(paths.data() / "U1.bin", "Services_Counter 1\n"));
    SetDefaultSettings();

    broker->scriptLogin(0);
    broker->setLoginField(7, "U1");
    scriptLogin("u1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    EXPECT_STREQ(pv_user_info.user_id, "U1");
    EXPECT_EQ(g_AppSettings.lock_minutes, 7);
    EXPECT_EQ(g_AppSettings.order_qty_limit, 4321);
    const QFont barFont = app.mainFrame()->OutputBar()->List(MsgTrading)->tree()->font();
    EXPECT_EQ(barFont.family().toStdString(), "DejaVu Serif");
    EXPECT_EQ(barFont.pixelSize(), 17);
    closeAndExit(app);

    AppSettings kept;
    const auto image = pf::files::readAll(paths.data() / "Vortanex_U1.dat");
    ASSERT_TRUE(image && SettingsFromFileImage(*image, kept));
    EXPECT_EQ(kept.lock_minutes, 7);
    EXPECT_EQ(kept.order_qty_limit, 4321);
    EXPECT_STREQ(kept.grid_font.face_name, "DejaVu Serif");
    for (const auto& e : std::filesystem::directory_iterator(paths.data())) {
        const std::string name = e.path().filename().string();
        EXPECT_NE(name, "Vortanex_u1.dat");
        EXPECT_NE(name, "u1.bin");
    }
    EXPECT_TRUE(std::filesystem::exists(paths.data() / "U1.bin"));
}

TEST_F(StartupTest, AKilledRunMakesTheNextStartOfferTheCrashReport)
{
    writeConfig();
    {
        pf::ProfileStore store(paths.config() / "Vortanex.profile.ini");
        store.setInt("Settings", "Fail", 1);
        store.setInt("Settings", "Fail Count", 4);
    }
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    const std::string report = app.pendingErrorText();
    EXPECT_EQ(report.rfind("LoginData=3010|U1~127.0.0.1~", 0), 0u) << report;
    EXPECT_NE(report.find("~4~"), std::string::npos) << report;
    // The log tail carries no line ends and no key separators.
    EXPECT_EQ(report.find('\n'), std::string::npos);
    EXPECT_EQ(report.find('&'), std::string::npos);
    ASSERT_NE(app.captionBar(), nullptr);
    EXPECT_EQ(app.captionBar()->text().toStdString(), CCaptionBar::kCrashText);
    // A report the server does not take keeps the offer and shows no success.
    tb::HttpFault fault;
    fault.status = 500;
    broker->armFault("/qtrade/qlogin.exe", fault);
    // The report goes without making the window wait; its answer follows.
    app.captionBar()->OnReportError();
    ASSERT_TRUE(pumpUntil(
        [&] { return boxShown("Internet Connectivity Error [500]. Pls contact System Administrator"); }));
    EXPECT_FALSE(boxShown("Your Error is being reported successfully."));
    EXPECT_FALSE(app.pendingErrorText().empty());
    ASSERT_NE(app.captionBar(), nullptr);
    app.captionBar()->OnReportError();
    ASSERT_TRUE(pumpUntil([&] { return boxShown("Your Error is being reported successfully."); }));
    EXPECT_TRUE(app.pendingErrorText().empty());
    EXPECT_GE(requestsWith("LoginData=3010"), 1);
    closeAndExit(app);
}

TEST_F(StartupTest, ACancelledLoginEndsTheRunWithTheBanner)
{
    writeConfig();
    scriptLogin("", "");
    prompter.answerWhen("Do you want to Quit from this Application", 6);
    CVortanexApp app;
    app.setOptions(appOptions());
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.loginResult(), 2);
    const auto log = CurrentLogPath();
    app.ExitInstance();
    EXPECT_EQ(requestsWith("LoginData=1001"), 1);
    // The run never set the crash flag.
    EXPECT_EQ(profileInt("Fail"), -100);
    EXPECT_NE(lastLine(fileText(log)).find("Vortanex is shutdown properly"), std::string::npos);
}

// The program commits every log line, and the profile's broadcast-log switch
// reaches the feed with the log folder.
TEST_F(StartupTest, TheProgramCommitsEachLogLineAndHandsTheBroadcastLogSwitchToTheFeed)
{
    struct RecordingFeed final : FeedControl {
        void setBroadcastLog(const std::filesystem::path& logsDir) override { folders.push_back(logsDir); }
        std::vector<std::filesystem::path> folders;
    };
    for (const int on : {1, 0}) {
        SCOPED_TRACE(on);
        pf::ProfileStore(paths.config() / "Vortanex.profile.ini").setInt("Settings", "WriteBroadCastLog", on);
        writeConfig();
        scriptLogin("", "");
        prompter.answerWhen("Do you want to Quit from this Application", 6);
        RecordingFeed feed;
        CVortanexApp::Options o = appOptions(&feed);
        o.logSyncPerLine = CVortanexApp::Options().logSyncPerLine;
        CVortanexApp app;
        app.setOptions(o);
        EXPECT_FALSE(app.InitInstance());
        EXPECT_TRUE(LogSyncPerLine());
        app.ExitInstance();
        SetLogSyncPerLine(false);
        ASSERT_EQ(feed.folders.size(), 1u);
        EXPECT_EQ(feed.folders[0], on ? paths.logs() : std::filesystem::path());
    }
}

TEST_F(StartupTest, StatusSixtyThousandFortyOneStartsTheLauncherWhenItIsThere)
{
    writeConfig();
    broker->scriptLogin(60041, "A newer version is available");
    scriptLogin("U1", "Test@123");
    {
        CVortanexApp app;
        app.setOptions(appOptions());
        EXPECT_FALSE(app.InitInstance());
        app.ExitInstance();
    }
    EXPECT_TRUE(boxShown("Unable to open Brenlowix")) << ::testing::PrintToString(boxTexts());
    EXPECT_TRUE(shell.calls().empty());

    std::ofstream(root / "Brenlowix.exe") << "#!/bin/sh\n";
    broker->scriptLogin(60041, "A newer version is available");
    CVortanexApp again;
    again.setOptions(appOptions());
    EXPECT_FALSE(again.InitInstance());
    again.ExitInstance();
    ASSERT_EQ(shell.calls().size(), 1u);
    EXPECT_EQ(shell.calls()[0].kind, pf::RecordingShell::Kind::Program);
    EXPECT_EQ(shell.calls()[0].target, (root / "Brenlowix.exe").string());
    EXPECT_TRUE(shell.calls()[0].args.empty());
}

TEST_F(StartupTest, TheLoginsNoticesRunUntilTheNomineeDetailsArrive)
{
    writeConfig();
    std::string flags(70, '0');
    flags[1] = '1';  // the risk disclosure is due
    flags[62] = 'N'; // the nominee details are missing
    broker->setLoginField(19, flags);
    broker->setLoginField(36, "N");
    scriptLogin("U1", "Test@123");
    CNomineePopup::ResetNomineeState();
    int nomineeClicks = 0;
    modalHost.script("CNomineePopup", [&](ui::FormDriver& d) {
        auto& popup = static_cast<CNomineePopup&>(d.form());
        popup.reject(); // Escape does not close it
        EXPECT_FALSE(popup.isFinished());
        d.click(CNomineePopup::kUpdate);
        ++nomineeClicks;
        EXPECT_EQ(CNomineePopup::NomineeState(), 1);
        EXPECT_FALSE(popup.isEnabled(CNomineePopup::kUpdate));
        popup.OnTimer(CNomineePopup::kReenableTimer);
        EXPECT_EQ(popup.text(CNomineePopup::kUpdate), "Click here");
        // Still missing: the page opens again at once (the check runs off
        // the UI thread).
        d.click(CNomineePopup::kUpdate);
        EXPECT_TRUE(ui::UiThread::pumpUntil([&popup] { return !popup.isBusy(); }, 30000));
        ++nomineeClicks;
        EXPECT_FALSE(popup.isFinished());
        EXPECT_EQ(popup.pageOpenings(), 2);
        std::string filled = flags;
        filled[62] = 'Y';
        broker->setLoginField(19, filled);
        popup.OnTimer(CNomineePopup::kReenableTimer);
        d.click(CNomineePopup::kUpdate);
        EXPECT_TRUE(ui::UiThread::pumpUntil([&popup] { return !popup.isBusy(); }, 30000));
        ++nomineeClicks;
    });
    modalHost.script("CDlgRiskDiscloser", [](ui::FormDriver& d) {
        d.form().reject();
        EXPECT_FALSE(d.form().isFinished());
        d.click(1);
    });
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(nomineeClicks, 3);
    EXPECT_EQ(CNomineePopup::NomineeState(), 2);
    EXPECT_EQ(LoginFlagAt(62), 'Y');
    EXPECT_EQ(requestsWith("LoginData=3015"), 2);
    int pages = 0;
    for (const pf::RecordingShell::Call& c : shell.calls())
        if (c.target.find("/qtrade/qlogin.exe?LoginData=1002|U1|") != std::string::npos
            && c.target.find("|408") != std::string::npos)
            ++pages;
    EXPECT_EQ(pages, 2);
    const auto& runs = modalHost.runs();
    EXPECT_NE(std::find(runs.begin(), runs.end(), "CDlgRiskDiscloser"), runs.end());
    closeAndExit(app);
    CNomineePopup::ResetNomineeState();
}

// Records what the order commands ask of order entry.
class RecordingOrderForms final : public OrderFormService {
public:
    bool getInstance(int formType, QWidget*, const OrderFormParams& params) override
    {
        types.push_back(formType);
        opened.push_back(params);
        return true;
    }
    void showForm() override {}
    std::vector<int> types;
    std::vector<OrderFormParams> opened;
};

TEST_F(StartupTest, OrderCommandsCheckTheRightAndTheClientFirst)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    RecordingOrderForms forms;
    SetOrderFormService(&forms);
    EXPECT_TRUE(app.orderRight());

    EXPECT_TRUE(app.mainFrame()->Commands().invoke(33364)); // Shift+F2
    ASSERT_EQ(forms.opened.size(), 1u);
    EXPECT_EQ(forms.types[0], 1);
    EXPECT_EQ(forms.opened[0].side, 'S');
    EXPECT_EQ(forms.opened[0].scripType, 1);
    EXPECT_EQ(forms.opened[0].orderMark, 5);
    EXPECT_EQ(forms.opened[0].index, -1);

    ASSERT_NE(FindOrderCommand(32874), nullptr);
    EXPECT_FALSE(RunOrderCommand(*app.mainFrame(), *FindOrderCommand(32874), false));
    EXPECT_TRUE(boxShown("You don't have access to place Order"));
    g_Session.clients[0].active = 0;
    app.mainFrame()->Commands().invoke(32868);
    EXPECT_TRUE(boxShown("Please Activate a Client"));
    EXPECT_EQ(forms.opened.size(), 1u);
    SetOrderFormService(nullptr);
    closeAndExit(app);
}

// One row of the order report as the broker sends it.
std::string reportRow(int token, int orderNo, char side, int qty, const std::string& price, const std::string& status)
{
    return "101|CID01|" + std::to_string(token) + "|NN|" + std::to_string(orderNo) + "|EX" + std::to_string(orderNo)
        + "|" + (side == 'B' ? "Buy" : "Sell") + "|" + std::to_string(qty) + "|" + price + "|" + std::to_string(qty)
        + "|09:15:00|" + status + "|0.00|0|3|ABC12|0|U1|SEC-EQ|Normal";
}

TEST_F(StartupTest, TheOrderCommandOpensTheBookThatFollowsTheFeedAndTheSettings)
{
    writeConfig(/*loose=*/false, /*feedsType=*/3);
    scriptLogin("U1", "Test@123");
    ProgramFeed feed;
    CVortanexApp::Options o = appOptions();
    o.feed = &feed;
    CVortanexApp app;
    app.setOptions(o);
    ASSERT_TRUE(app.InitInstance());
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return FeedState::instance().slot() >= 0; }, 10000));

    const auto table = SecurityTable::current();
    ASSERT_TRUE(table);
    const int security = table->searchWToken(2819);
    ASSERT_GE(security, 0);
    const int token = OrderSecurityAt(security).token;
    broker->setReply("ReportData=600", "600|0|OK|2~" + reportRow(token, 1001, 'B', 10, "1500.05", "OPN") + "^"
                                           + reportRow(token, 1002, 'S', 10, "1510.00", "OPN"));

    // F3 / the ribbon's "Orders".
    EXPECT_TRUE(app.mainFrame()->Commands().invoke(ID_REPORTS_ORDERS));
    COrderViewEx* book = g_pOrderViewEx;
    ASSERT_NE(book, nullptr);
    const auto loaded = [&] { return !book->isBusy() && book->grid()->model().rowTotal() == 2; };
    ASSERT_TRUE(ui::UiThread::pumpUntil(loaded, 20000));
    const auto status = [&](int record) { return book->grid()->model().text(book->rowOfRecord(record), 10); };

    // A confirmation from the feed server reaches the open book through the program's feed.
    EXPECT_GT(broker->pushFeed("", "130,1|100|" + std::to_string(token)
                                       + "|NN||ABC12|S|1002||4|151000|0||OPN|09:20:00|EX1002|TR1||||"),
              0);
    EXPECT_TRUE(ui::UiThread::pumpUntil([&] { return status(1) == "OPF"; }, 5000)) << status(1).toStdString();
    EXPECT_EQ(status(0).toStdString(), "OPN");

    // The order form's Shift+F3 brings the same book up filtered to its security.
    CurrentOrderFormLinks().openOrderBook(security);
    EXPECT_EQ(g_pOrderViewEx, book);
    EXPECT_EQ(book->securityFilter(), security);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return !book->isBusy(); }, 20000));

    // A font change reaches the open book.
    g_AppSettings.grid_font.height = -23;
    app.MyUpdate(1);
    const auto* tree = book->grid()->findChild<QTreeView*>();
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->font().pixelSize(), 23);

    closeAndExit(app);
    EXPECT_EQ(g_pOrderViewEx, nullptr);
}

TEST_F(StartupTest, TheExitWaitsForARunningOrderReportDownload)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    tb::HttpFault slow;
    slow.delayMs = 700;
    broker->armFault("/qtrade/qreport.exe", slow);
    ASSERT_TRUE(app.OnOrderReport());
    ASSERT_NE(g_pOrderViewEx, nullptr);
    ASSERT_TRUE(g_pOrderViewEx->isBusy());
    // The download writes into the client table, which the exit frees.
    app.ExitInstance();
    EXPECT_TRUE(WaitOrderReportDownloads(0)) << "the exit returned while the download still ran";
    EXPECT_EQ(requestsWith("ReportData=600"), 1);
}

// A download whose server does not answer (for longer than any bounded wait
// of the exit) is cancelled and joined before the client table goes.
TEST_F(StartupTest, TheExitCancelsAnOrderReportDownloadTheServerDoesNotAnswer)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    tb::HttpFault silent;
    silent.delayMs = 10 * 60 * 1000;
    broker->armFault("/qtrade/qreport.exe", silent);
    ASSERT_TRUE(app.OnOrderReport());
    ASSERT_TRUE(broker->waitForKey("ReportData=600", 10000));
    app.ExitInstance();
    EXPECT_TRUE(WaitOrderReportDownloads(0)) << "the exit returned while the download still ran";
    EXPECT_TRUE(g_Session.clients.empty());
    EXPECT_NE(fileText(userLog("U1")).find("Order report download cancelled"), std::string::npos);
}

TEST_F(StartupTest, ReportRightsOfTheLoginGateTheOrderBookAndTrading)
{
    writeConfig();
    std::string flags(70, '0');
    flags[12] = '3'; // no reports
    broker->setLoginField(19, flags);
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    EXPECT_FALSE(app.viewRights());
    EXPECT_FALSE(TradingAllowed()) << "the market watch's buy and sell are off as well";
    EXPECT_TRUE(app.orderRight()) << "only a view-only user loses the order commands";

    SetTerminalLocked(true);
    EXPECT_FALSE(app.OnOrderReport());
    EXPECT_TRUE(boxShown("Terminal is Locked. Pls Unlock to View Orders."));
    EXPECT_FALSE(boxShown("You don't have access to view Order Report")) << "the lock is refused first";
    SetTerminalLocked(false);

    app.mainFrame()->Commands().invoke(ID_REPORTS_ORDERS);
    EXPECT_TRUE(boxShown("You don't have access to view Order Report"));
    app.mainFrame()->Commands().invoke(33214);
    EXPECT_TRUE(boxShown("You don't have access to View Limits."));
    CurrentOrderFormLinks().openOrderBook(0);
    EXPECT_EQ(g_pOrderViewEx, nullptr);
    EXPECT_EQ(requestsWith("ReportData=600"), 0);
    app.ExitInstance();
}

TEST_F(StartupTest, WebLinksOfKindOOpenAtLoginAndLinksRefuseWhileLocked)
{
    writeConfig();
    // Three links: an auto-open one with the client code, a plain one, one off the range.
    broker->setReply("LoginData=1010",
                     "1010|0|OK|2~News|1|501|Market News|Research|1|12O|Tip^Charts|2|502|Charts|Tools|2|10W|Tip", 1);
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    const std::string base = "http://127.0.0.1:" + std::to_string(broker->httpPort()) + "/qtrade/qlogin.exe?";
    ASSERT_EQ(shell.calls().size(), 1u);
    EXPECT_EQ(shell.calls()[0].target, base + "LoginData=1002|U1|" + std::string(pv_user_info.session_id)
                                            + "|501&ClientUserId=ABC12");

    app.mainFrame()->Commands().invoke(CVortanexApp::kFirstWebLinkCommand + 1);
    ASSERT_EQ(shell.calls().size(), 2u);
    EXPECT_EQ(shell.calls()[1].target,
              base + "LoginData=1002|U1|" + std::string(pv_user_info.session_id) + "|502&ClientUserId=");
    // A command past the table does nothing.
    app.OnCommandWebLink(CVortanexApp::kFirstWebLinkCommand + 2);
    EXPECT_EQ(shell.calls().size(), 2u);
    // Without request encryption a client code with '&', '=' and '#' stays
    // one value: it adds no parameter and no fragment.
    ASSERT_EQ(pv_user_info.encrypt, 0);
    const size_t current = size_t(std::max(0, pv_user_info.client_index));
    ASSERT_LT(current, g_Session.clients.size());
    CopyFixedText(g_Session.clients[current].client_code, "AB&x=1#C");
    app.OnCommandWebLink(CVortanexApp::kFirstWebLinkCommand);
    ASSERT_EQ(shell.calls().size(), 3u);
    EXPECT_EQ(shell.calls()[2].target, base + "LoginData=1002|U1|" + std::string(pv_user_info.session_id)
                                            + "|501&ClientUserId=AB%26x%3D1%23C");

    app.mainFrame()->Commands().invoke(ID_FILE_LOCKTERMINAL);
    app.OnCommandWebLink(CVortanexApp::kFirstWebLinkCommand);
    EXPECT_TRUE(boxShown("Terminal is Locked. Pls Unlock to proceed."));
    EXPECT_EQ(shell.calls().size(), 3u);
    app.ExitInstance();
}

TEST_F(StartupTest, NoConfigurationEndsTheRunAndTheExitIsSafe)
{
    CVortanexApp app;
    app.setOptions(appOptions());
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(boxShown("Unable to Read Configuration File."));
    EXPECT_EQ(app.mainFrame(), nullptr);
    app.ExitInstance();
    // An exit without any start at all.
    CVortanexApp never;
    never.ExitInstance();
}

TEST_F(StartupTest, IdleLockAndUnlockThenThreeWrongPasswordsEndTheSession)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    TerminalLock* lock = app.terminalLock();
    ASSERT_NE(lock, nullptr);
    g_AppSettings.lock_minutes = 30;
    g_Session.CloseTime = 180;

    clock.advanceSeconds(30 * 60);
    lock->OnTimer(1);
    EXPECT_FALSE(lock->locked());
    clock.advanceSeconds(25);
    lock->OnTimer(1);
    ASSERT_TRUE(lock->locked());
    ASSERT_NE(lock->unlockDialog(), nullptr);
    EXPECT_TRUE(IsTerminalLocked());
    EXPECT_TRUE(qobject_cast<CLogin*>(lock->unlockDialog())->unlockMode());

    // The right password unlocks.
    {
        ui::FormDriver d(*lock->unlockDialog());
        d.type(CLogin::kPassword, "Test@123").click(1);
        QPointer<CLogin> unlock = qobject_cast<CLogin*>(&d.form());
        EXPECT_TRUE(ui::UiThread::pumpUntil([unlock] { return !unlock || !unlock->isExchangeBusy(); }, 30000));
    }
    EXPECT_FALSE(lock->locked());
    EXPECT_EQ(lock->unlockDialog(), nullptr);
    EXPECT_FALSE(IsTerminalLocked());
    EXPECT_EQ(requestsWith("LoginData=1006"), 1);

    // Locked by command; three wrong passwords post the exit.
    app.mainFrame()->Commands().invoke(ID_FILE_LOCKTERMINAL);
    ASSERT_NE(lock->unlockDialog(), nullptr);
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(lock->unlockDialog(), nullptr) << i;
        ui::FormDriver d(*lock->unlockDialog());
        d.type(CLogin::kPassword, "Wrong@123").click(1);
        QPointer<CLogin> unlock = qobject_cast<CLogin*>(&d.form());
        EXPECT_TRUE(ui::UiThread::pumpUntil([unlock] { return !unlock || !unlock->isExchangeBusy(); }, 30000));
    }
    EXPECT_EQ(requestsWith("LoginData=1006"), 4);
    EXPECT_TRUE(boxShown("Invalid Password"));
    // The posted exit closes the frame without the quit question.
    ui::UiThread::pumpUntil([&] { return !app.mainFrame()->isVisible(); }, 5000);
    EXPECT_FALSE(app.mainFrame()->isVisible());
    EXPECT_FALSE(boxShown("Do you want to Quit from this Application"));
    app.ExitInstance();
}

TEST_F(StartupTest, UnlockCountsOnlyTheServersRefusalsAsWrongPasswords)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    TerminalLock* lock = app.terminalLock();
    app.mainFrame()->Commands().invoke(ID_FILE_LOCKTERMINAL);
    const auto unlockWith = [&](const std::string& password) {
        ASSERT_NE(lock->unlockDialog(), nullptr);
        ui::FormDriver d(*lock->unlockDialog());
        d.type(CLogin::kPassword, password).click(1);
        QPointer<CLogin> unlock = qobject_cast<CLogin*>(&d.form());
        EXPECT_TRUE(ui::UiThread::pumpUntil([unlock] { return !unlock || !unlock->isExchangeBusy(); }, 30000));
    };

    // Three slow network failures say nothing about the password.
    tb::HttpFault down;
    down.status = 500;
    down.delayMs = 200;
    down.times = 3;
    broker->armKeyFault("LoginData=1006", down);
    for (int i = 0; i < 3; ++i)
        unlockWith("Test@123");
    EXPECT_EQ(requestsWith("LoginData=1006"), 3);
    int errors = 0;
    for (const std::string& text : boxTexts())
        errors += text == "Internet connection Error please try again";
    EXPECT_EQ(errors, 3);
    ASSERT_NE(lock->unlockDialog(), nullptr);
    EXPECT_TRUE(app.mainFrame()->isVisible());

    // Two refusals by the server still leave the third try.
    unlockWith("Wrong@123");
    unlockWith("Wrong@123");
    ASSERT_NE(lock->unlockDialog(), nullptr);
    unlockWith("Test@123");
    EXPECT_FALSE(lock->locked());
    EXPECT_EQ(lock->unlockDialog(), nullptr);
    ui::UiThread::pumpUntil([] { return false; }, 100);
    EXPECT_TRUE(app.mainFrame()->isVisible());
    closeAndExit(app);
}

TEST_F(StartupTest, NoToTheQuitQuestionKeepsTheSessionAndLockedClosesDoNotAsk)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    prompter.queueAnswer(7); // No
    EXPECT_FALSE(app.mainFrame()->close());
    EXPECT_TRUE(app.mainFrame()->isVisible());
    EXPECT_TRUE(IsLoggedIn());
    EXPECT_EQ(prompter.askCount(), 1u);

    // Locked: the close goes through without a question.
    app.mainFrame()->Commands().invoke(ID_FILE_LOCKTERMINAL);
    ASSERT_TRUE(app.terminalLock()->locked());
    EXPECT_TRUE(app.mainFrame()->close());
    EXPECT_EQ(prompter.askCount(), 1u);
    EXPECT_FALSE(IsLoggedIn());
    EXPECT_EQ(app.terminalLock()->unlockDialog(), nullptr);
    app.ExitInstance();
    EXPECT_EQ(profileInt("Fail"), 0);
}

TEST_F(StartupTest, TheEndOfTheDesktopSessionExitsWithoutAQuestion)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(profileInt("Fail"), 1);
    app.terminalLock()->OnEndSession(true);
    EXPECT_EQ(profileInt("Fail"), 0);
    EXPECT_FALSE(IsLoggedIn());
    EXPECT_FALSE(app.mainFrame()->isVisible());
    EXPECT_EQ(prompter.askCount(), 0u);
    app.ExitInstance();
}

TEST_F(StartupTest, IdleLogoutAsksOnceAndExitDoesNotStartTheLauncher)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    g_AppSettings.lock_minutes = 30;
    g_Session.CloseTime = 180;
    prompter.answerWhen("you have been logged out", 2);
    clock.advanceSeconds(181 * 60);
    app.terminalLock()->OnTimer(1);
    // Locked first, then the box in the same tick.
    EXPECT_TRUE(app.terminalLock()->locked());
    EXPECT_TRUE(boxShown("As you have not done any activity here since 180 Minutes, we think you were not using "
                         "your computer. For safety of your account, you have been logged out."));
    ui::UiThread::pumpUntil([&] { return !app.mainFrame()->isVisible(); }, 5000);
    EXPECT_FALSE(app.mainFrame()->isVisible());
    EXPECT_FALSE(boxShown("Do you want to Quit from this Application"));
    for (const pf::RecordingShell::Call& c : shell.calls())
        EXPECT_NE(c.kind, pf::RecordingShell::Kind::Program) << c.target;
    app.ExitInstance();
}

// Counts the alerts file's reads and writes; installed for one test.
class RecordingAlerts final : public AlertServices {
public:
    std::vector<int> alertSecurities() const override { return {}; }
    void showAlertPopUp(const AlertPopUpTexts&) override {}
    void ReadAlertDataFromFile() override { ++reads; }
    void WriteAlertDataToFile() override { ++writes; }
    int reads = 0;
    int writes = 0;
};

struct InstalledAlerts {
    InstalledAlerts() { SetAlertServices(alerts); }
    ~InstalledAlerts() { SetAlertServices(nullptr); }
    std::shared_ptr<RecordingAlerts> alerts = std::make_shared<RecordingAlerts>();
};

TEST_F(StartupTest, TheAlertsFileIsReadAtTheEndOfStartUpAndWrittenOnceWhenTheFrameCloses)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    InstalledAlerts installed;
    RecordingAlerts& alerts = *installed.alerts;
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(alerts.reads, 1);
    EXPECT_EQ(alerts.writes, 0);

    // A declined quit keeps the session and writes nothing.
    prompter.queueAnswer(7);
    EXPECT_FALSE(app.mainFrame()->close());
    EXPECT_EQ(alerts.writes, 0);

    closeAndExit(app);
    EXPECT_EQ(alerts.reads, 1);
    EXPECT_EQ(alerts.writes, 1);
}

TEST_F(StartupTest, AFrameClosedBeforeTheAlertsWereLoadedLeavesTheirFileAlone)
{
    // A cancelled login: the frame stands, but the user's alerts were never
    // read, so an empty table must not be written over their file.
    writeConfig();
    scriptLogin("", "");
    prompter.answerWhen("Do you want to Quit from this Application", 6);
    InstalledAlerts installed;
    CVortanexApp app;
    app.setOptions(appOptions());
    EXPECT_FALSE(app.InitInstance());
    ASSERT_NE(app.mainFrame(), nullptr);
    app.mainFrame()->close();
    app.ExitInstance();
    EXPECT_EQ(installed.alerts->reads, 0);
    EXPECT_EQ(installed.alerts->writes, 0);
}

} // namespace
} // namespace startuptest
