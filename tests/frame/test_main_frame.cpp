// The main frame headless: command routing and update state, status panes,
// the program-wide messages from many threads, popups and their notes.
#include "frame/CMainFrame.h"

#include "app/base/AppSettings.h"
#include "app/base/LogWriter.h"
#include "frame/DesktopSound.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "frame/CMyPopupWindow.h"
#include "frame/COutputBar.h"
#include "frame/FrameIds.h"
#include "frame/FrameThemes.h"
#include "frame/MainFrameCommands.h"
#include "frame/ProfileButtons.h"
#include "frame/RibbonLayout.h"
#include "frame/MessageFiles.h"
#include "frame/RibbonOptions.h"
#include "frame/controls/MyCBCGPStatusBar.h"

#include "pf/files.h"
#include "testkit/contrast.h"
#include "testkit/headless.h"
#include "testkit/keep_look.h"
#include "ui/caption_bar.h"
#include "ui/command_bar.h"
#include "ui/document_area.h"
#include "ui/form_driver.h"
#include "ui/rgb.h"
#include "ui/status_panes.h"
#include "ui/theme_manager.h"

#include <QAction>
#include <QApplication>
#include <QToolButton>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>
#include <QDockWidget>
#include <QLabel>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

namespace {

std::vector<std::string> readLines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

class MainFrameTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        SetProgramPaths(paths);
        SetDefaultSettings();
        g_AppSettings.message_popup_switch = 1;
        std::strcpy(pv_user_info.user_id, "U77");
        std::strcpy(pv_user_info.user_name, "Asha Rao");
        std::strcpy(pv_user_info.client_code, "C1001");
        services.shell = &shell;
        services.sound = &sound;
        services.profile = profile.get();
        services.saveSettings = [this] { ++saves; };
        services.brokerWebAddress = [] { return std::string("https://broker.example/home"); };
        services.serviceEnabled = [this](long id) { return enabledServices.count(id) > 0; };
        services.feedRunning = [this] { return feedRunning.load(); };
        services.onConnect = [this] { ++connects; };
        services.dayProductEvent = [this](const std::vector<std::string>& f) { dayEvents.push_back(f); };
    }
    void TearDown() override
    {
        frame.reset();
        ClearSessionRecord();
        pv_user_info = UserInfoRecord{};
        Headless::TearDown();
    }
    CMainFrame& make()
    {
        frame = std::make_unique<CMainFrame>(services);
        EXPECT_TRUE(frame->OnCreate());
        return *frame;
    }
    std::string todaysFile(int kind) const
    {
        const pf::LocalTime now = clock.localNow();
        return MessageFileName(paths, kind, "U77", now.day, now.month, now.year);
    }

    CMainFrame::Services services;
    std::unique_ptr<CMainFrame> frame;
    std::set<long> enabledServices;
    std::atomic<bool> feedRunning{false};
    int saves = 0;
    int connects = 0;
    std::vector<std::vector<std::string>> dayEvents;
};

TEST_F(MainFrameTest, RibbonCarriesTheCategoriesAndRoutesCommandsWithTheirState)
{
    CMainFrame& f = make();
    ui::CommandBar& bar = *f.Ribbon();
    EXPECT_EQ(bar.categoryNames(), (QStringList{"Main", "Trading", "Reports", "Market Info..", "Preferences"}));
    EXPECT_EQ(bar.panelNames(bar.findCategory("Main")), (QStringList{"WatchList", "Feeds/BroadCast", "Window"}));
    EXPECT_EQ(bar.textOf(ID_FILE_LOCKTERMINAL), "Lock Terminal");

    // A command that no part handles is disabled and does not run.
    EXPECT_FALSE(bar.trigger(32877));
    int orders = 0;
    f.Commands().add(32877, [&] { ++orders; });
    EXPECT_TRUE(bar.trigger(32877));
    EXPECT_EQ(orders, 1);

    // Connect and Disconnect are radio items that follow the feed.
    bar.refreshStates();
    EXPECT_FALSE(bar.action(ID_CONNECT)->isChecked());
    EXPECT_TRUE(bar.action(ID_DISCONNECT)->isChecked());
    feedRunning = true;
    bar.refreshStates();
    EXPECT_TRUE(bar.action(ID_CONNECT)->isChecked());
    EXPECT_FALSE(bar.action(ID_DISCONNECT)->isChecked());
    EXPECT_TRUE(bar.trigger(ID_CONNECT));
    EXPECT_EQ(connects, 1);

    // Each toggle shows and hides its own pane and is checked while it shows.
    f.show();
    for (int id : {ID_VIEW_WATCHLIST, ID_VIEW_MARKET_STATUS, ID_VIEW_OUTPUT, ID_VIEW_CHARTS}) {
        QDockWidget* dock = f.PaneOf(id);
        ASSERT_NE(dock, nullptr) << id;
        EXPECT_TRUE(f.Commands().state(id).checked) << id;
        EXPECT_TRUE(bar.trigger(id));
        EXPECT_FALSE(dock->isVisibleTo(&f)) << id;
        EXPECT_FALSE(bar.action(id)->isChecked()) << id;
        EXPECT_TRUE(bar.trigger(id));
        EXPECT_TRUE(dock->isVisibleTo(&f)) << id;
    }
    EXPECT_EQ(f.PaneOf(ID_VIEW_CHARTS)->windowTitle(), "Charts");
    EXPECT_EQ(f.PaneOf(ID_VIEW_WATCHLIST)->windowTitle(), "Watchlists");

    // A theme command checks itself, is stored in the profile and saved.
    EXPECT_TRUE(bar.trigger(33344));
    EXPECT_EQ(f.CurrentTheme(), 33344);
    EXPECT_TRUE(f.Commands().state(33344).checked);
    EXPECT_FALSE(f.Commands().state(32835).checked);
    EXPECT_EQ(profile->getInt("Workspace", "ApplicationLook"), 33344);
    EXPECT_EQ(g_AppSettings.theme, 33344);
    EXPECT_EQ(saves, 1);
}

// On a 1280 pixels wide frame every ribbon button of every category shows its
// whole text (no "Mar...ver"), and names its command on the mouse.
TEST_F(MainFrameTest, EveryRibbonButtonShowsItsWholeText)
{
    ui::ThemeManager::apply(ThemeLookFor(32835)); // the default theme's style sheet, as the program starts
    CMainFrame& f = make();
    ui::CommandBar& bar = *f.Ribbon();
    f.resize(1280, 720);
    f.show();
    for (const QString& name : bar.categoryNames()) {
        bar.setCurrentCategory(bar.findCategory(name));
        QApplication::processEvents();
        int shown = 0;
        for (QToolButton* b : bar.findChildren<QToolButton*>()) {
            if (!b->isVisible() || b->text().isEmpty() || !b->defaultAction())
                continue;
            ++shown;
            EXPECT_GE(b->width(), b->sizeHint().width()) << name.toStdString() << ": " << b->text().toStdString();
            EXPECT_GE(b->height(), b->sizeHint().height()) << name.toStdString() << ": " << b->text().toStdString();
            EXPECT_FALSE(b->toolTip().isEmpty()) << b->text().toStdString();
        }
        EXPECT_GT(shown, 0) << name.toStdString();
    }
}

TEST_F(MainFrameTest, TabGroupMovesAreEnabledOnlyWhenAllowed)
{
    g_AppSettings.mdi_group_style = 1;
    CMainFrame& f = make();
    ui::DocumentArea& docs = *f.Documents();
    EXPECT_FALSE(f.Commands().state(ID_MDI_NEW_VERT_GROUP).enabled); // nothing open
    auto* a = new QLabel("a");
    auto* b = new QLabel("b");
    docs.addDocument(a, "A");
    docs.addDocument(b, "B");
    EXPECT_TRUE(f.Commands().state(ID_MDI_NEW_VERT_GROUP).enabled);
    EXPECT_FALSE(f.Commands().state(ID_MDI_MOVE_TO_NEXT_GROUP).enabled);
    EXPECT_TRUE(f.Commands().invoke(ID_MDI_NEW_VERT_GROUP));
    EXPECT_EQ(docs.groupCount(), 2);
    EXPECT_EQ(docs.groupOf(b), 1);
    EXPECT_TRUE(f.Commands().state(ID_MDI_MOVE_TO_PREV_GROUP).enabled);
    EXPECT_FALSE(f.Commands().state(ID_MDI_NEW_HORZ_GROUP).enabled); // one direction per split
    EXPECT_TRUE(f.Commands().invoke(ID_MDI_MOVE_TO_PREV_GROUP));
    pumpUntil([&] { return docs.groupCount() == 1; }, 2000);
    EXPECT_EQ(docs.groupCount(), 1);
    EXPECT_EQ(docs.groupOf(b), 0);

    // The tab menu: 207 with only the allowed moves, 205 without groups.
    const ui::MenuSpec some = CMainFrame::MdiTabMenu(true, ui::NewVerticalGroup | ui::NextGroup);
    std::vector<int> ids;
    for (const auto& item : some.items)
        ids.push_back(item.id);
    EXPECT_EQ(ids, (std::vector<int>{32852, 32856, 0, 57602}));
    ids.clear();
    for (const auto& item : CMainFrame::MdiTabMenu(false, 15).items)
        ids.push_back(item.id);
    EXPECT_EQ(ids, (std::vector<int>{57650, 57651, 57652, 0, 57602}));
    prompter.queueMenuCommand(ID_FILE_CLOSE);
    EXPECT_TRUE(f.OnShowMDITabContextMenu(QPoint(10, 10), 0));
    pumpUntil([&] { return docs.documents().size() == 1; }, 2000);
    EXPECT_EQ(docs.documents().size(), 1u);
}

TEST_F(MainFrameTest, StatusPanesShowTheSessionAndTheFeedState)
{
    CMainFrame& f = make();
    ui::StatusPanes& panes = *f.StatusPanes();
    EXPECT_EQ(panes.paneIds(), (std::vector<int>{0, 33320, 33318, 32821, 32822, 32818, 32819, 32820}));
    EXPECT_EQ(panes.width(33320), 0);
    EXPECT_EQ(panes.width(33318), 0);
    EXPECT_EQ(panes.width(32821), 200);
    EXPECT_EQ(panes.width(32822), 150);
    EXPECT_EQ(panes.width(32818), 100);
    EXPECT_EQ(panes.width(32819), 100);
    EXPECT_EQ(panes.width(32820), 80);
    EXPECT_EQ(panes.text(32821), "Asha Rao");
    EXPECT_EQ(panes.text(32818), "C1001");
    EXPECT_EQ(panes.text(32819), "Feeds Date Time");
    EXPECT_EQ(panes.text(32820), "Disconnected");
    EXPECT_TRUE(panes.hasIcon(32820));

    const std::pair<const char*, const char*> crns[] = {
        {"", "ZQV CRN: In Process"}, {"0", "ZQV CRN: In Process"}, {"000", "ZQV CRN: In Process"},
        {"12345", "ZQV CRN: 12345"}};
    for (const auto& [crn, text] : crns) {
        f.UpdateUserPanes(crn);
        EXPECT_EQ(panes.text(32822).toStdString(), text) << crn;
    }

    // The feed thread reports; the pane changes on the UI thread.
    std::thread([&] { f.UpdateConnectStatus(true); }).join();
    ASSERT_TRUE(pumpUntil([&] { return panes.text(32820) == "Connected"; }));
    EXPECT_EQ(panes.toolTip(32820), "Feeds Broadcast is Connected");
    f.UpdateConnectStatus(false);
    ASSERT_TRUE(pumpUntil([&] { return panes.text(32820) == "Disconnected"; }));
    EXPECT_EQ(panes.toolTip(32820), "Feeds Broadcast is Disconnected");

    // Only a newer quote time replaces the shown one.
    f.ShowQuoteTime(1'700'000'100);
    f.ShowQuoteTime(1'700'000'000);
    ASSERT_TRUE(pumpUntil([&] { return panes.text(32819) != "Feeds Date Time"; }));
    const QString shown = panes.text(32819);
    EXPECT_EQ(shown.size(), 19) << shown.toStdString();
    f.ShowQuoteTime(1'699'999'000);
    QCoreApplication::processEvents();
    EXPECT_EQ(panes.text(32819), shown);
}

TEST_F(MainFrameTest, LateWorkForAClosedFrameIsDropped)
{
    CMainFrame& f = make();
    std::thread([&f] {
        f.UpdateConnectStatus(true);
        f.ShowQuoteTime(1'700'000'500);
        f.SetUserMessage(MsgTrading, 'B', "queued before the frame closed", {}, 0, 0);
        f.SetUserMessage(MsgGeneral, ' ', "with a popup", {}, 1, 0);
    }).join();
    frame.reset(); // the queued work finds no frame and does nothing
    QCoreApplication::processEvents();
    EXPECT_EQ(g_pMainFrame.load(), nullptr);
}

TEST_F(MainFrameTest, MessagesFromEightThreadsReachFileAndListWhole)
{
    CMainFrame& f = make();
    f.UpdateShortcutElements(); // opens the day's files
    constexpr int kThreads = 8;
    constexpr int kEach = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&f, t] {
            for (int i = 0; i < kEach; ++i) {
                // Long enough for two rows in the list; one line in the file.
                const std::string text = "T" + std::to_string(t) + " M" + std::to_string(i) + " " +
                                         std::string(230, 'x') + " tail";
                f.SetUserMessage(MsgGeneral, i % 2 ? 'B' : 'S', text);
            }
        });
    for (auto& th : threads)
        th.join();
    COutputBar& bar = *f.OutputBar();
    ASSERT_TRUE(pumpUntil([&] { return bar.RowCount(MsgGeneral) == kThreads * kEach * 2; }, 20000));

    const std::vector<std::string> lines = readLines(todaysFile(MsgGeneral));
    ASSERT_EQ(lines.size(), size_t(kThreads * kEach));
    std::set<std::string> seen;
    for (const std::string& line : lines) {
        ASSERT_EQ(line.size(), 9 + line.substr(9).size());
        ASSERT_EQ(line[8], '|') << line;
        ASSERT_TRUE(line.ends_with(" tail")) << line;
        seen.insert(line.substr(9));
    }
    EXPECT_EQ(seen.size(), size_t(kThreads * kEach));
    // Each message's two rows stay together: time then " ".
    for (int p = 0; p < bar.RowCount(MsgGeneral); p += 2) {
        ASSERT_NE(bar.RowText(MsgGeneral, p, 0), " ");
        ASSERT_EQ(bar.RowText(MsgGeneral, p + 1, 0), " ");
        ASSERT_TRUE(bar.RowText(MsgGeneral, p + 1, 1).endsWith(" tail"));
    }
    EXPECT_TRUE(readLines(todaysFile(MsgTrading)).empty());
}

// A long session's list keeps the newest rows, up to its bound; a message
// with line breaks stays one line of its file.
TEST_F(MainFrameTest, MessageListsKeepTheNewestRowsAndFilesOneLinePerMessage)
{
    CMainFrame& f = make();
    f.UpdateShortcutElements();
    COutputBar& bar = *f.OutputBar();
    // 100 rows a message: words as wide as the list wraps.
    std::string hundredRows;
    for (int w = 0; w < 100; ++w)
        hundredRows += (w ? " " : "") + std::string(size_t(kMessageWrapWidth), 'w');
    constexpr int kMessages = COutputBar::kMaxMessageRows / 100 + 3;
    for (int m = 0; m < kMessages; ++m)
        f.SetUserMessage(MsgGeneral, ' ', "M" + std::to_string(m) + " " + hundredRows);
    f.SetUserMessage(MsgGeneral, ' ', "last\r\nline");
    ASSERT_TRUE(pumpUntil([&] { return bar.RowText(MsgGeneral, 0, 1).startsWith("last"); }, 20000));
    EXPECT_EQ(bar.RowCount(MsgGeneral), COutputBar::kMaxMessageRows);
    const std::vector<std::string> lines = readLines(todaysFile(MsgGeneral));
    ASSERT_EQ(lines.size(), size_t(kMessages + 1));
    EXPECT_TRUE(lines.back().ends_with("|last  line")) << lines.back();
}

TEST_F(MainFrameTest, MessageRowsNewestOnTopWithTheirCodes)
{
    CMainFrame& f = make();
    f.UpdateShortcutElements();
    f.SetUserMessage(MsgTrading, 'B', "first");
    f.SetUserMessage(MsgTrading, 'S', "second");
    f.SetUserMessage(MsgResearch, '+', "call", "extra");
    COutputBar& bar = *f.OutputBar();
    ASSERT_TRUE(pumpUntil([&] { return bar.RowCount(MsgResearch) == 1; }));
    EXPECT_EQ(bar.RowCount(MsgTrading), 2);
    EXPECT_EQ(bar.RowText(MsgTrading, 0, 1), "second");
    EXPECT_EQ(bar.RowCode(MsgTrading, 0), 200);
    EXPECT_EQ(bar.RowCode(MsgTrading, 1), 100);
    EXPECT_EQ(bar.RowCode(MsgResearch, 0), -1);
    EXPECT_EQ(bar.ActiveKind(), MsgTrading) << "a research call does not hide the trading lines";
    clock.advanceSeconds(0);
    const pf::LocalTime now = clock.localNow();
    const std::vector<std::string> lines = readLines(todaysFile(MsgTrading));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], MessageTimeText(now.hour, now.minute, now.second) + "|first");
    // With extra text the research call plays no sound.
    EXPECT_EQ(sound.requests(), 0);
    f.SetUserMessage(MsgResearch, ' ', "sounding call");
    EXPECT_EQ(sound.requests(), 1);
}

// Broadcasts, exchange lines and research calls leave the tab the user
// reads; only the user's own trading lines bring the Trading tab forward.
TEST_F(MainFrameTest, OnlyTradingLinesSwitchTheMessageTab)
{
    CMainFrame& f = make();
    COutputBar& bar = *f.OutputBar();
    auto* tabs = bar.findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    tabs->setCurrentIndex(MsgGeneral - 1); // the user looks at the general lines
    for (int kind : {MsgExchange, MsgGeneral, MsgResearch}) {
        f.SetUserMessage(kind, ' ', "line of kind " + std::to_string(kind), "extra");
        ASSERT_TRUE(pumpUntil([&] { return bar.RowCount(kind) == 1; }));
        EXPECT_EQ(bar.ActiveKind(), MsgGeneral) << kind;
    }
    tabs->setCurrentIndex(MsgExchange - 1);
    f.SetUserMessage(MsgTrading, 'B', "Order placed");
    ASSERT_TRUE(pumpUntil([&] { return bar.RowCount(MsgTrading) == 1; }));
    EXPECT_EQ(bar.ActiveKind(), MsgTrading);
}

// A button whose window does not exist yet says so by the name the user
// clicked; a command with a handler keeps it, and a window installed later
// replaces the message.
TEST_F(MainFrameTest, CommandsWithoutAWindowSayTheyAreNotAvailable)
{
    CMainFrame& f = make();
    int news = 0;
    f.Commands().add(ID_FILE_NEW, [&news] { ++news; });
    InstallNotAvailableCommands(f.Commands());
    for (const RibbonCategoryDef& c : RibbonCategories())
        for (const RibbonPanelDef& p : c.panels)
            for (const RibbonItem& item : p.items)
                EXPECT_TRUE(f.Commands().has(item.id)) << item.text;
    struct Case {
        int id;
        const char* text;
    } cases[] = {
        {ID_PROFILE, "Profile is not available in this version."},
        {ID_FILE_OPEN, "Open Watchlist is not available in this version."},
        {ID_SCRIP_SEARCH, "Scrip Search is not available in this version."},
        {1127, "FII Activity is not available in this version."},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(f.Commands().invoke(c.id)) << c.id;
        ASSERT_FALSE(prompter.asks().empty());
        EXPECT_EQ(prompter.asks().back().text, c.text);
    }
    const size_t boxes = prompter.asks().size();
    EXPECT_TRUE(f.Commands().invoke(ID_FILE_NEW));
    EXPECT_EQ(news, 1);
    f.Commands().add(ID_PROFILE, [&news] { ++news; });
    EXPECT_TRUE(f.Commands().invoke(ID_PROFILE));
    EXPECT_EQ(news, 2);
    EXPECT_EQ(prompter.asks().size(), boxes);
}

TEST_F(MainFrameTest, AfterMidnightMessagesGoToTheFileOfTheDayTheFilesWereOpened)
{
    CMainFrame& f = make();
    f.UpdateShortcutElements();
    const std::string opened = todaysFile(MsgExchange);
    clock.advanceSeconds(24 * 3600);
    ASSERT_NE(todaysFile(MsgExchange), opened);
    f.SetUserMessage(MsgExchange, ' ', "NSE: pre-open session started");
    const std::vector<std::string> lines = readLines(opened);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].ends_with("|NSE: pre-open session started"));
    EXPECT_FALSE(std::filesystem::exists(todaysFile(MsgExchange)));
}

// A burst of broadcasts opens a few popups; every message still reaches the bar.
TEST_F(MainFrameTest, ABurstOfBroadcastsOpensOnlyAFewPopups)
{
    CMainFrame& f = make();
    f.UpdateShortcutElements();
    g_AppSettings.message_popup_switch = 1;
    f.show();
    COutputBar& bar = *f.OutputBar();
    for (int i = 0; i < 20; ++i)
        f.SetUserMessage(MsgGeneral, ' ', "Notice " + std::to_string(i), {}, 1, 0);
    ASSERT_TRUE(pumpUntil([&] { return bar.RowCount(MsgGeneral) == 20; }));
    ASSERT_TRUE(pumpUntil([&] { return f.OpenPopups().size() == 3; }));
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(f.OpenPopups().size(), 3u);
    // One closed makes room for the next.
    f.OpenPopups().front()->close();
    f.SetUserMessage(MsgGeneral, ' ', "After", {}, 1, 0);
    ASSERT_TRUE(pumpUntil([&] {
        for (const CMyPopupWindow* p : f.OpenPopups())
            if (p->spec().text == "After")
                return true;
        return false;
    }));
    EXPECT_EQ(f.OpenPopups().size(), 3u);
}

TEST_F(MainFrameTest, ServiceGateAndPopupSetting)
{
    CMainFrame& f = make();
    f.UpdateShortcutElements();
    COutputBar& bar = *f.OutputBar();
    // Event 7 without an enabled service: nothing shown, written or posted.
    f.SetUserMessage(MsgGeneral, ' ', "hidden offer", {}, 1, 7);
    // Kind 3 with a popup asked for but the setting off: row and line, no popup.
    g_AppSettings.message_popup_switch = 0;
    f.SetUserMessage(MsgGeneral, ' ', "quiet notice", {}, 1, 0);
    ASSERT_TRUE(pumpUntil([&] { return bar.RowCount(MsgGeneral) == 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(bar.RowText(MsgGeneral, 0, 1), "quiet notice");
    EXPECT_TRUE(f.OpenPopups().empty());
    EXPECT_EQ(readLines(todaysFile(MsgGeneral)).size(), 1u);

    // Enabled, with the setting on: the note reaches the frame and a popup shows.
    enabledServices.insert(7);
    g_AppSettings.message_popup_switch = 1;
    f.show();
    f.SetUserMessage(MsgGeneral, ' ', "Festive|offer", {}, 1, 7);
    ASSERT_TRUE(pumpUntil([&] { return f.OpenPopups().size() == 1; }));
    CMyPopupWindow* popup = f.OpenPopups().front();
    EXPECT_EQ(popup->spec().text, "Festive|offer");
    EXPECT_EQ(popup->Address(), "https://broker.example/home");
    EXPECT_EQ(popup->autoCloseMs(), 15000);
    EXPECT_TRUE(popup->closeTimerRunning());
    EXPECT_EQ(bar.RowCount(MsgGeneral), 2);
}

TEST_F(MainFrameTest, PopupOpensItsAddressOnlyWhenHttp)
{
    CMainFrame& f = make();
    f.show();
    f.ShowPopupMessage("Research call", "https://broker.example/call?id=9", 1, "", "Read more");
    f.ShowPopupMessage("Bad link", "file:///etc/passwd", -1, "", "Click");
    ASSERT_EQ(f.OpenPopups().size(), 2u);
    CMyPopupWindow* good = f.OpenPopups()[0];
    CMyPopupWindow* bad = f.OpenPopups()[1];
    EXPECT_EQ(good->windowTitle(), "You have a new Fundamental Research Alert.");
    EXPECT_EQ(good->pos(), PopupPosition(QGuiApplication::primaryScreen()->geometry()));
    EXPECT_EQ(bad->autoCloseMs(), 2000);
    EXPECT_DOUBLE_EQ(good->spec().opacity, 244.0 / 255.0);

    // A click opens the address, not the link text.
    EXPECT_TRUE(good->OnClickLinkButton());
    EXPECT_FALSE(bad->OnClickLinkButton());
    const auto calls = shell.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].target, "https://broker.example/call?id=9");
    EXPECT_EQ(calls[0].mode, pf::ShowMode::Normal);
    bad->click();
    EXPECT_EQ(shell.calls().size(), 1u);
    ASSERT_TRUE(pumpUntil([&] { return f.OpenPopups().size() == 1; }));
}

TEST_F(MainFrameTest, DayEventNoteIsSplitAndHandedOver)
{
    CMainFrame& f = make();
    ui::mailbox::post(f.ref(), ui::Note{ui::NoteId::DayEvent, 0, 0, "155|E1|Bonus||x"});
    ASSERT_TRUE(pumpUntil([&] { return dayEvents.size() == 1; }));
    EXPECT_EQ(dayEvents[0], (std::vector<std::string>{"155", "E1", "Bonus", "", "x"}));
    services.dayProductEvent = nullptr;
    frame.reset();
    services.dayProductEvent = [](const std::vector<std::string>&) { throw std::runtime_error("bad"); };
    CMainFrame& g = make();
    EXPECT_EQ(g.OnDayProductEvent("1|2"), -1);
}

TEST_F(MainFrameTest, NotesToAClosedViewAreDropped)
{
    CMainFrame& f = make();
    struct View : QLabel, ui::NoteReceiver {
        explicit View(int* count) : QLabel("view"), m_count(count) {}
        ~View() override { detachNotes(); }
        void onNote(const ui::Note&) override { ++*m_count; }
        int* m_count;
    };
    int received = 0;
    auto* view = new View(&received);
    f.Documents()->addDocument(view, "Order Book");
    const ui::WindowRef ref = view->ref();
    ui::mailbox::post(ref, ui::Note{ui::NoteId::OrderBook, 1, 0, {}});
    ASSERT_TRUE(pumpUntil([&] { return received == 1; }));
    // A worker posts, the user closes the window before the note arrives.
    std::thread([ref] { ui::mailbox::post(ref, ui::Note{ui::NoteId::OrderBook, 4, 0, "late error"}); }).join();
    f.Documents()->closeActive();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(pumpUntil([&] { return !ref.isAlive(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(received, 1);
    EXPECT_FALSE(ui::mailbox::send(ref, ui::Note{ui::NoteId::OrderBook, 0, 0, {}}));
}

TEST_F(MainFrameTest, OptionsSheetChoosesTheQuickAccessCommands)
{
    CMainFrame& f = make();
    ui::CommandBar& bar = *f.Ribbon();
    const std::vector<int> popular = QuickAccessCategory(bar, 0);
    EXPECT_EQ(popular, (std::vector<int>{57600, 57601, 32877, 32878, 33314})); // 32879 is not on this ribbon
    const std::vector<int> notInRibbon = QuickAccessCategory(bar, 1);
    EXPECT_NE(std::find(notInRibbon.begin(), notInRibbon.end(), ID_FILE_PRINT), notInRibbon.end());
    EXPECT_EQ(std::find(notInRibbon.begin(), notInRibbon.end(), ID_FILE_NEW), notInRibbon.end());
    EXPECT_GT(QuickAccessCategory(bar, 2).size(), 60u);

    modalHost.script("CRibbonOptions", [](ui::FormDriver& d) {
        d.pick(IDC_QAT_COMMANDS, 2).click(IDC_QAT_ADD);
        d.pick(IDC_QAT_COMMANDS, 0).click(IDC_QAT_ADD).click(IDC_QAT_ADD); // once only
        d.pick(IDC_QAT_CATEGORY, 1).pick(IDC_QAT_COMMANDS, 0).click(IDC_QAT_ADD);
        d.pick(IDC_QAT_CHOSEN, 1).click(IDC_QAT_REMOVE);
        d.click(1);
    });
    EXPECT_TRUE(bar.trigger(ID_RIBBON_OPTIONS));
    EXPECT_EQ(bar.quickAccessCommands(), (std::vector<int>{32877, notInRibbon[0]}));

    modalHost.script("CRibbonOptions", [](ui::FormDriver& d) {
        d.pick(IDC_QAT_CHOSEN, 0).click(IDC_QAT_REMOVE).click(2);
    });
    EXPECT_TRUE(bar.trigger(ID_RIBBON_OPTIONS));
    EXPECT_EQ(bar.quickAccessCommands().size(), 2u); // cancelled
}

// Every button of the quick-access row has an image: a "File" menu command
// without one gets one, a ribbon command keeps its own.
TEST_F(MainFrameTest, QuickAccessRowButtonsAllHaveImages)
{
    CMainFrame& f = make();
    ui::CommandBar& bar = *f.Ribbon();
    ASSERT_NE(bar.action(ID_FILE_PRINT), nullptr);
    ASSERT_TRUE(bar.action(ID_FILE_PRINT)->icon().isNull());
    const QIcon orders = bar.action(32877)->icon();
    ASSERT_FALSE(orders.isNull());
    SetQuickAccessCommands(bar, {32877, ID_FILE_PRINT});
    EXPECT_EQ(bar.quickAccessCommands(), (std::vector<int>{32877, ID_FILE_PRINT}));
    EXPECT_FALSE(bar.action(ID_FILE_PRINT)->icon().isNull());
    EXPECT_EQ(bar.action(32877)->icon().cacheKey(), orders.cacheKey());
}

TEST_F(MainFrameTest, ShortcutStepFailuresAreLoggedWithTheirNumber)
{
    StartLog(paths);
    std::vector<int> steps;
    services.shortcutStep = [&](int step) {
        steps.push_back(step);
        if (step == 6)
            throw std::runtime_error("study tree");
    };
    CMainFrame& f = make();
    f.UpdateShortcutElements();
    EXPECT_EQ(steps, (std::vector<int>{1, 4, 5, 6}));
    const std::filesystem::path log = CurrentLogPath();
    CloseLog();
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("Exception in UpdateShortcutElements [6]"), std::string::npos) << text.str();
    // The message files were opened before the failing step.
    EXPECT_TRUE(f.OutputBar()->Files().isOpen(MsgResearch));
}

// The alert sound's player runs but cannot play (no sound server): the user
// gets the bell, and the log says why.
TEST_F(MainFrameTest, AnAlertSoundThePlayerCannotPlayIsLoggedAndRingsTheBell)
{
    const std::filesystem::path bin = paths.root() / "bin";
    std::filesystem::create_directories(bin);
    {
        std::ofstream player(bin / "paplay");
        player << "#!/bin/sh\nexit 1\n";
    }
    std::filesystem::permissions(bin / "paplay", std::filesystem::perms::owner_all);
    std::filesystem::create_directories(paths.sound());
    std::ofstream(paths.sound() / "alert.wav") << "RIFF";
    const QByteArray kept = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin.string()));
    StartLog(paths);
    SetLogSyncPerLine(true);
    const std::filesystem::path log = CurrentLogPath();
    const auto logged = [&log] {
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    {
        DesktopSound sound(paths);
        sound.request(pf::Sound::AlertFile);
        EXPECT_TRUE(pumpUntil(
            [&] { return logged().find("The alert sound could not be played") != std::string::npos; }, 10000))
            << logged();
    }
    qputenv("PATH", kept);
    SetLogSyncPerLine(false);
    CloseLog();
}

TEST_F(MainFrameTest, AMessageBeforeTheBarExistsIsDropped)
{
    frame = std::make_unique<CMainFrame>(services);
    EXPECT_EQ(frame->SetUserMessage(MsgGeneral, ' ', "too early", {}, 1, 0), 0);
    EXPECT_TRUE(frame->OnCreate());
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->OutputBar()->RowCount(MsgGeneral), 0);
    EXPECT_TRUE(frame->OpenPopups().empty());
}

TEST_F(MainFrameTest, ThemeChangeIsBroadcastToTheOpenWindows)
{
    struct Host : SettingsHost {
        void broadcastSettings(int code) override { codes.push_back(code); }
        std::vector<int> codes;
    } host;
    SetSettingsHost(&host);
    int refreshed = 0;
    services.refreshCreatedDialogs = [&] { ++refreshed; };
    CMainFrame& f = make();
    const int atCreate = refreshed;
    f.OnApplicationLook(33310);
    SetSettingsHost(nullptr);
    EXPECT_EQ(host.codes, (std::vector<int>{2}));
    EXPECT_EQ(refreshed, atCreate + 1);
    EXPECT_EQ(f.RibbonBackground(), 0);
    f.OnApplicationLook(32835);
    EXPECT_EQ(f.RibbonBackground(), 33352);
    // The stored theme is applied when the next frame is made.
    frame.reset();
    CMainFrame& g = make();
    EXPECT_EQ(g.CurrentTheme(), 32835);
}

TEST_F(MainFrameTest, CaptionBarShowsLinksAndRoutesItsButton)
{
    CMainFrame& f = make();
    int reports = 0;
    f.Commands().add(ID_REPORT_ERROR, [&] { ++reports; });
    ui::CaptionBar* bar = f.CaptionBarOf(33316);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(f.CaptionBarOf(33316), bar);
    EXPECT_EQ(f.CaptionBarOf(33332, false), nullptr);

    bar->setText("Double brokerage back <this week> \a[ T && C ]\a");
    EXPECT_EQ(bar->shownText(), "Double brokerage back <this week> [ T & C ]");
    const auto parts = ui::CaptionBar::parseText(bar->text());
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_FALSE(parts[0].link);
    EXPECT_TRUE(parts[1].link);
    QString link;
    bar->onLink = [&](const QString& l) { link = l; };
    EXPECT_TRUE(bar->clickLink(0));
    EXPECT_EQ(link, "[ T & C ]");
    EXPECT_FALSE(bar->clickLink(1));

    bar->setButton(ID_REPORT_ERROR, "Report Error", "Click to report the error.");
    bar->clickButton();
    EXPECT_EQ(reports, 1);
    bar->removeButton();
    bar->clickButton();
    EXPECT_EQ(reports, 1);

    // The close box asks; a refusal keeps the bar.
    bool allow = false;
    bar->onCloseRequested = [&] { return allow; };
    bar->requestClose();
    EXPECT_EQ(f.CaptionBarOf(33316, false), bar);
    allow = true;
    bar->requestClose();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(f.CaptionBarOf(33316, false), nullptr);
}

TEST(FrameKeys, AcceleratorsRunTheirCommands)
{
    auto commandOf = [](QKeySequence keys) {
        for (const auto& [k, id] : CMainFrame::Accelerators())
            if (k == keys)
                return id;
        return 0;
    };
    EXPECT_EQ(commandOf(QKeySequence(Qt::Key_F1)), 32868); // a new buy order, not the help
    EXPECT_EQ(commandOf(QKeySequence(Qt::SHIFT | Qt::Key_F2)), 33364);
    EXPECT_EQ(commandOf(QKeySequence(Qt::Key_F12)), ID_HELP_FILE);
    EXPECT_EQ(commandOf(QKeySequence(Qt::CTRL | Qt::Key_T)), ID_FILE_LOCKTERMINAL);
    EXPECT_EQ(commandOf(QKeySequence(Qt::CTRL | Qt::Key_S)), ID_SCRIP_SEARCH);
    EXPECT_EQ(commandOf(QKeySequence(Qt::Key_F3)), 32877);
    // The one exit command: the login, the unlock and the logout post this number too.
    EXPECT_EQ(commandOf(QKeySequence(Qt::Key_F11)), 57665);
    EXPECT_EQ(CMainFrame::Accelerators().size(), 16u);
}

// Every theme's colour pairs read: window and list text on their
// backgrounds, button text, selected text on the selection colour and the
// ribbon's tab text on the accent, with a ratio of at least 4.5. The tick
// colours are the user's choice in the settings: reported, never failed.
TEST_F(MainFrameTest, EveryThemesColourPairsRead)
{
    QWidget probe;
    for (const ThemeEntry& t : RibbonThemes()) {
        const ui::ThemeLook look = ThemeLookFor(t.id);
        ui::ThemeManager::apply(look, &probe);
        const QPalette p = probe.palette();
        const struct {
            const char* name;
            QColor fore, back;
        } pairs[] = {
            {"window text", p.color(QPalette::WindowText), p.color(QPalette::Window)},
            {"list text", p.color(QPalette::Text), p.color(QPalette::Base)},
            {"alternate rows", p.color(QPalette::Text), p.color(QPalette::AlternateBase)},
            {"button text", p.color(QPalette::ButtonText), p.color(QPalette::Button)},
            {"selected text", p.color(QPalette::HighlightedText), p.color(QPalette::Highlight)},
            {"tips", p.color(QPalette::ToolTipText), p.color(QPalette::ToolTipBase)},
            {"ribbon tab", ui::ThemeManager::textOn(look.accent), look.accent},
        };
        for (const auto& pair : pairs)
            EXPECT_GE(testkit::contrastRatio(pair.fore, pair.back), testkit::kMinContrast)
                << t.text << ": " << pair.name << " " << pair.fore.name().toStdString() << " on "
                << pair.back.name().toStdString();
    }
    SetDefaultSettings();
    const struct {
        const char* name;
        uint32_t fore, back;
    } ticks[] = {
        {"unchanged", g_AppSettings.normal_text_colour, g_AppSettings.normal_back_colour},
        {"up", g_AppSettings.up_text_colour, g_AppSettings.up_back_colour},
        {"down", g_AppSettings.down_text_colour, g_AppSettings.down_back_colour},
    };
    for (const auto& tick : ticks) {
        const double ratio =
            testkit::contrastRatio(ui::toQColor(ui::rgbOf(tick.fore)), ui::toQColor(ui::rgbOf(tick.back)));
        RecordProperty(std::string("tick_") + tick.name, QString::number(ratio, 'f', 2).toStdString());
        std::printf("tick colours %s: %.2f:1 (the user's choice, reported only)\n", tick.name, ratio);
    }
}

// The Black theme puts black bars around its light windows: the ribbon and
// the status bar are dark, and their texts read on them. The windows keep
// the light window colour.
TEST_F(MainFrameTest, TheBlackThemesBarsAreBlackAndTheirTextsRead)
{
    const testkit::KeepLook keep;
    CMainFrame& f = make();
    f.resize(1280, 720);
    f.show();
    f.SetApplicationLook(32839);
    QApplication::processEvents();
    // The share of dark pixels in a bar's picture, and its commonest colour.
    const auto look = [](QWidget* w) {
        const QImage shot = w->grab().toImage();
        long dark = 0, all = 0;
        std::map<QRgb, long> counts;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x, ++all) {
                dark += shot.pixelColor(x, y).lightness() < 90;
                ++counts[shot.pixel(x, y)];
            }
        const auto most = std::max_element(counts.begin(), counts.end(),
                                           [](const auto& a, const auto& b) { return a.second < b.second; });
        return std::pair{all ? double(dark) / double(all) : 0.0, QColor(most->first)};
    };
    const auto [ribbonDark, ribbonBack] = look(f.Ribbon());
    const auto [statusDark, statusBack] = look(f.StatusBar());
    EXPECT_GT(ribbonDark, 0.6) << ribbonBack.name().toStdString();
    EXPECT_GT(statusDark, 0.6) << statusBack.name().toStdString();
    EXPECT_GT(QApplication::palette().color(QPalette::Window).lightness(), 150);

    const QColor bar = ribbonBack;
    int texts = 0;
    for (QToolButton* b : f.Ribbon()->findChildren<QToolButton*>()) {
        if (!b->isVisible() || b->text().isEmpty())
            continue;
        ++texts;
        const QColor fore = b->palette().color(QPalette::ButtonText);
        EXPECT_GE(testkit::contrastRatio(fore, bar), testkit::kMinContrast)
            << b->text().toStdString() << " " << fore.name().toStdString();
    }
    for (QLabel* l : f.StatusBar()->findChildren<QLabel*>()) {
        if (!l->isVisible() || l->text().isEmpty())
            continue;
        ++texts;
        const QColor fore = l->palette().color(l->foregroundRole());
        EXPECT_GE(testkit::contrastRatio(fore, statusBack), testkit::kMinContrast)
            << l->text().toStdString() << " " << fore.name().toStdString();
    }
    EXPECT_GT(texts, 10);
}

// In every theme the ribbon reads as it is painted: its tabs, its panels'
// titles, its buttons (checked ones too: Connect's radio, the pane
// switches) and the links right of the tabs. The Main category holds every
// kind of button; the other categories are looked at in the themes whose
// bars have a colour of their own, and in the default one.
TEST_F(MainFrameTest, EveryThemesRibbonTextsReadAsPainted)
{
    const testkit::KeepLook keep;
    CMainFrame& f = make();
    ProfileButtons::Of(f);
    f.Ribbon()->addTabRowButton(33269, QStringLiteral("Useful Links"), {{33219, QStringLiteral("Research")}});
    f.resize(1600, 900);
    f.show();
    auto* tabs = f.Ribbon()->findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    for (const ThemeEntry& t : RibbonThemes()) {
        f.SetApplicationLook(t.id);
        const bool everyPage = t.id == kDefaultTheme || ThemeLookFor(t.id).chrome.isValid();
        for (int page = 0; page < (everyPage ? tabs->count() : 1); ++page) {
            tabs->setCurrentIndex(page);
            QApplication::processEvents();
            EXPECT_EQ(testkit::unreadablePaintedTexts(*f.Ribbon()), std::vector<std::string>{})
                << t.text << ", " << tabs->tabText(page).toStdString();
        }
    }
}

TEST(FrameThemes, IdsSelectTheirLooks)
{
    const ThemeChoice smoke = ThemeChoiceFor(33310);
    EXPECT_EQ(smoke.variant, 16);
    EXPECT_EQ(smoke.background, 0);
    EXPECT_EQ(ThemeChoiceFor(32835).background, 33352);
    EXPECT_EQ(ThemeChoiceFor(32838).variant, 5);
    EXPECT_EQ(ThemeChoiceFor(32841).variant, 8);
    EXPECT_EQ(ThemeChoiceFor(32849).variant, 9);
    EXPECT_EQ(ThemeChoiceFor(33311).variant, 23);
    EXPECT_EQ(ThemeChoiceFor(33312).variant, 18);
    EXPECT_EQ(ThemeChoiceFor(32834).family, ThemeFamily::Older);
    EXPECT_FALSE(ThemeChoiceFor(40000).known);
    EXPECT_EQ(RibbonThemes().size(), 23u);
    for (const ThemeEntry& t : RibbonThemes())
        EXPECT_TRUE(ThemeChoiceFor(t.id).known) << t.id;
    for (int id : {32835, 32849, 33311, 33350})
        EXPECT_TRUE(IsDarkThemeId(id)) << id;
    EXPECT_FALSE(IsDarkThemeId(32838));
    g_AppSettings.theme = 32835;
    EXPECT_TRUE(IsDarkTheme());
    EXPECT_TRUE(ThemeLookFor(32835).dark);
}

} // namespace
