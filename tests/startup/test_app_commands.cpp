// The application's window and dialog commands as the running terminal has
// them after a login: the frame's command table runs the market-watch
// commands, the lock refusals, the report checks and the dialogs, and the
// order report keeps the application's own handler that opens the real book.
#include "StartupFixture.h"

#include "app/base/ActivityStamp.h"
#include "app/base/SessionRecord.h"
#include "app/VortanexApp.h"
#include "Lzo.h"
#include "frame/FrameSubscriptions.h"
#include "frame/OrderFormOpener.h"
#include "frame/OrderFormService.h"
#include "market/CEodChartView.h"
#include "frame/controls/CMyListCtrl.h"
#include "market/CHistoryDepth.h"
#include "market/CMDepthView.h"
#include "market/CScripLastTick.h"
#include "market/CScriptDetails.h"
#include "market/ChartSeries.h"
#include "orders/CBasketOrder.h"
#include "orders/CDlgOrderFormExp.h"
#include "server/SecurityReload.h"
#include "watch/AlertTable.h"
#include "watch/CAlertPopUp.h"
#include "frame/WatchOpeners.h"
#include "frame/CBrowserCtrl.h"
#include "frame/CMainFrame.h"
#include "frame/FrameIds.h"
#include "market/MarketHooks.h"
#include "orders/COrderViewEx.h"
#include "frame/WatchOrderCommands.h"
#include "server/SecurityTable.h"
#include "watch/AppWindowCommands.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"
#include "frame/WatchOpeners.h"
#include "watch/base/WatchlistTable.h"

#include "ui/commands.h"
#include "ui/document_area.h"
#include "ui/form_driver.h"
#include "ui/ui_thread.h"

#include <QApplication>
#include <QPointer>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace startuptest {
namespace test_app_commands {

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

TEST_F(AppCommandsTest, EveryCommandOfTheFramesTableRefusesWhileLockedAndSendsNothing)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    ui::Commands& commands = app.mainFrame()->Commands();
    // A watch list is open, so its commands have something to act on.
    ASSERT_TRUE(commands.invoke(ID_FILE_NEW));
    ASSERT_TRUE(pumpUntil([] { return WatchCommands::openCount() == 1; }));

    // Locked the way the user locks it: the lock command.
    ASSERT_TRUE(commands.invoke(ID_FILE_LOCKTERMINAL));
    ASSERT_TRUE(IsTerminalLocked());
    pumpUntil([] { return false; }, 200);
    clock.advanceSeconds(30);
    const int64_t stamp = GetAccessTime();
    const size_t requestsBefore = broker->requests().size();
    const size_t runsBefore = modalHost.runs().size();
    const size_t shellBefore = shell.calls().size();

    int refused = 0;
    for (int id : commands.ids()) {
        if (id == ID_FILE_LOCKTERMINAL || id == ID_APP_EXIT)
            continue;
        const size_t asksBefore = prompter.askCount();
        commands.invoke(id);
        if (prompter.askCount() == asksBefore + 1
            && prompter.asks().back().text.rfind("Terminal is Locked. Pls Unlock to ", 0) == 0)
            ++refused;
        else if (commands.state(id).enabled)
            ADD_FAILURE() << "command " << id << " was not refused with the lock text";
    }
    EXPECT_GT(refused, 100);
    // Whatever a handler would have started on a worker has had its time.
    pumpUntil([] { return false; }, 500);
    EXPECT_EQ(broker->requests().size(), requestsBefore) << "a locked command sent a request";
    EXPECT_EQ(modalHost.runs().size(), runsBefore) << "a locked command opened a dialog";
    EXPECT_EQ(shell.calls().size(), shellBefore) << "a locked command opened a page";
    EXPECT_EQ(GetAccessTime(), stamp) << "a refused command moved the activity time";
    EXPECT_EQ(WatchCommands::openCount(), 1);
    EXPECT_EQ(g_pOrderViewEx, nullptr);
    // The texts of the table's commands are their own.
    EXPECT_TRUE(boxShown("Terminal is Locked. Pls Unlock to View Orders."));
    EXPECT_TRUE(boxShown("Terminal is Locked. Pls Unlock to Download Security."));
    EXPECT_TRUE(boxShown("Terminal is Locked. Pls Unlock to Place Order."));

    SetTerminalLocked(false);
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

// A security download whose new master has a security sorting ahead of every
// other (every row moves one down): each window open on a security either
// shows the same security afterwards (by token and exchange) or has closed,
// every market watch row names its security still, and the alerts file
// written at the exit reads back to the same security. Scrip details and a
// report dialog are modal: the download runs from inside them, as it would
// from a window the user could still reach.
TEST_F(AppCommandsTest, AfterASecurityDownloadEveryOpenWindowKeepsItsSecurityOrHasClosed)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    QWidget* frame = app.mainFrame();
    const auto before = SecurityTable::current();
    ASSERT_TRUE(before);
    const tb::Security* infy = nullptr;
    for (const tb::Security& s : broker->universe().securities())
        if (s.symbol == "INFY" && s.exchange == "NN" && s.inst == "EQ")
            infy = &s;
    ASSERT_TRUE(infy);
    const int held = before->searchToken(infy->token, "NN");
    ASSERT_GE(held, 0);

    // One window of every kind that keeps a security.
    watchOpeners().chart(held, kChartEod);
    watchOpeners().chart(held, kChartIntraday);
    watchOpeners().depth(nullptr, held);
    ASSERT_TRUE(app.mainFrame()->Commands().invoke(1117)); // last trades
    OrderFormParams order;
    order.index = held;
    OpenOrderForm(order, frame, 1);
    watchOpeners().basket("ABC12", {{held, 1598.30}});
    AlertRecord alert;
    alert.secIndex = held;
    alert.type = 2;
    alert.quoteField = 4;
    alert.criteria = kCriteriaAtOrAbove;
    alert.typed = 2000;
    alert.trigger = 200000;
    alert.name = "infy up";
    alert.watchToken = infy->wtoken;
    alert.symbol = infy->symbol;
    AlertTable::instance().put("2~INFY~EQ~>=~2000.00", alert);
    before->row(held).alert_flag.store(1);
    CurrentAlertServices()->showAlertPopUp({held, "infy up", "LTP of INFY", "Tracked Time: 10:15:00 AM",
                                            "2~INFY~EQ~>=~2000.00"});
    ASSERT_TRUE(pumpUntil([] { return CEodChartView::openViews().size() == 2 && CScripLastTick::instance(); }));
    // A market watch, and what every list's rows name now.
    ASSERT_TRUE(app.mainFrame()->Commands().invoke(ID_FILE_NEW));
    ASSERT_TRUE(pumpUntil([] { return WatchCommands::openCount() == 1; }));
    struct HeldRow {
        int list, row, token;
        std::string exchange;
    };
    std::vector<HeldRow> watchRows;
    for (int l = 0; l < WatchlistTable::instance().count(); ++l) {
        const WatchlistRecord r = WatchlistTable::instance().record(l);
        for (size_t i = 0; i < r.rows.size(); ++i)
            if (r.rows[i].token > 0 && before->valid(r.rows[i].securityIndex)) {
                const SecurityRecord& sec = before->row(r.rows[i].securityIndex);
                watchRows.push_back({l, static_cast<int>(i), sec.token, std::string(sec.market_exchange.view())});
            }
    }
    ASSERT_FALSE(watchRows.empty()) << "no market watch row to follow";
    for (const char* holder : {"alerts", "chart", "depth", "last trades", "order form", "basket form", "alert popup",
                               "indices", "advisory calls", "watch rows"}) {
        const auto h = SecurityReload::instance().holders();
        EXPECT_NE(std::find(h.begin(), h.end(), holder), h.end()) << holder << " is not registered";
    }

    // The broker's new master: a security ahead of every other.
    tb::Security fresh;
    fresh.token = 99001;
    fresh.exchange = "NN";
    fresh.symbol = "AAAAFRESH";
    fresh.inst = "EQ";
    fresh.scripCode = 99001;
    fresh.wtoken = 2 * 99001 - 1;
    std::string master = broker->universe().masterText();
    master.insert(master.find('~') + 1, fresh.record() + "~");
    const std::string packed = tb::lzoCompress(master);
    broker->setReply("/security/security.lzo", packed);
    // What the next login's stamp would say of the new full file.
    std::snprintf(g_Session.security_stamp, sizeof g_Session.security_stamp, "0-0-0-%zu", packed.size());

    // Scrip details of INFY, from which the top gainers of NSE are opened,
    // from which the securities are downloaded again.
    std::shared_ptr<SecurityTable> after;
    auto names = [&](int index) {
        return after && after->valid(index) && after->row(index).token == infy->token &&
               after->row(index).market_exchange == "NN";
    };
    bool detailsRan = false, reportRan = false;
    modalHost.script("CHistoryDepth", [&](ui::FormDriver& d) {
        reportRan = true;
        auto& report = static_cast<CHistoryDepth&>(d.form());
        d.pick(CHistoryDepth::kExchange, 1); // NSE
        ASSERT_TRUE(pumpUntil([&] { return report.replies() == 1; }, 20000));
        ui::GridModel& rows = report.list()->model();
        ASSERT_GT(rows.rowTotal(), 10) << "no gainers from the broker";
        std::vector<std::pair<int, int>> tokens; // row id, token of its security
        for (int id : rows.preorder()) {
            const int* sec = rows.rowDataAs<int>(id);
            ASSERT_TRUE(sec && before->valid(*sec));
            ASSERT_EQ(rows.text(id, 0).toStdString(), std::string(before->row(*sec).displayKey().view()));
            tokens.emplace_back(id, before->row(*sec).token);
        }
        prompter.queueAnswer(6);
        ASSERT_TRUE(app.mainFrame()->Commands().invoke(32862));
        after = SecurityTable::current();
        for (const auto& [id, token] : tokens) {
            const int* sec = rows.rowDataAs<int>(id);
            ASSERT_TRUE(sec && after->valid(*sec));
            EXPECT_EQ(after->row(*sec).token, token) << rows.text(id, 0).toStdString();
            EXPECT_EQ(after->row(*sec).market_exchange.view(), "NN");
        }
        EXPECT_FALSE(report.isFinished());
        report.finish(ui::Cancel); // its close box
    });
    modalHost.script("CScriptDetails", [&](ui::FormDriver& d) {
        detailsRan = true;
        auto& details = static_cast<CScriptDetails&>(d.form());
        ASSERT_TRUE(pumpUntil([&] { return details.loaded(); }, 20000));
        ASSERT_TRUE(app.mainFrame()->Commands().invoke(32884));
        EXPECT_TRUE(reportRan);
        EXPECT_TRUE(names(details.securityIndex())) << "scrip details";
        EXPECT_FALSE(details.isFinished());
        d.click(2);
    });
    watchOpeners().details(held);
    ASSERT_TRUE(detailsRan);
    ASSERT_TRUE(after);
    ASSERT_NE(after, before);
    const int now = after->searchToken(infy->token, "NN");
    ASSERT_GE(now, 0);
    ASSERT_NE(now, held) << "the new security did not sort ahead";
    ASSERT_EQ(after->row(held).token, before->row(held - 1).token) << "rows did not move";
    pumpUntil([] { return false; }, 300);

    // Every market watch row names the security it named before.
    for (const HeldRow& h : watchRows) {
        const WatchlistRecord r = WatchlistTable::instance().record(h.list);
        ASSERT_LT(static_cast<size_t>(h.row), r.rows.size());
        const int index = r.rows[static_cast<size_t>(h.row)].securityIndex;
        ASSERT_TRUE(after->valid(index)) << r.name << " row " << h.row;
        EXPECT_EQ(after->row(index).token, h.token) << r.name << " row " << h.row;
        EXPECT_EQ(after->row(index).market_exchange.view(), h.exchange) << r.name << " row " << h.row;
    }

    // Every window still open names INFY on NSE by its index now.
    for (CEodChartView* v : CEodChartView::openViews())
        EXPECT_TRUE(names(v->security())) << v->caption();
    for (QWidget* w : QApplication::allWidgets()) {
        if (!w->isVisible())
            continue;
        if (auto* d = qobject_cast<CMDepthView*>(w)) {
            EXPECT_TRUE(names(d->security())) << "depth";
        }
        if (auto* p = qobject_cast<CAlertPopUp*>(w)) {
            EXPECT_TRUE(names(p->security())) << "alert popup";
        }
    }
    if (CDlgOrderFormExp* form = CDlgOrderFormExp::Instance(); form && form->isVisible()) {
        EXPECT_TRUE(names(form->SecurityIndex())) << "order form";
    }
    if (g_pBasketOrder && g_pBasketOrder->isVisible()) {
        EXPECT_TRUE(names(g_pBasketOrder->legs[0].secIndex)) << "basket leg";
    }
    const auto kept = AlertTable::instance().find("2~INFY~EQ~>=~2000.00");
    ASSERT_TRUE(kept);
    EXPECT_TRUE(names(kept->secIndex));
    EXPECT_EQ(after->row(now).alert_flag.load(), 1);
    EXPECT_EQ(after->row(held).alert_flag.load(), 0);

    // The file written at the exit holds INFY's watch token and symbol.
    const std::filesystem::path alerts = paths.data() / "U1_Alerts.dat";
    closeAndExit(app);
    const std::string file = fileText(alerts);
    EXPECT_NE(file.find("|" + std::to_string(infy->wtoken) + "|INFY"), std::string::npos) << file;
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 1) << file;
}

} // namespace
} // namespace startuptest

} // namespace test_app_commands
