// End to end against the test broker's market: an alert saved on a security
// that no window shows is subscribed, a quote that crosses it opens one popup
// with one sound, and the file written at exit keeps only what must come back.
#include "StartupFixture.h"

// The server headers come before any Qt header: a member of the feed tables
// is named like one of Qt's keyword macros.
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/SecurityTable.h"

#include "FeedFrames.h"
#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"
#include "app/base/AppSettings.h"
#include "frame/CMainFrame.h"
#include "watch/AlertStore.h"
#include "watch/AlertTable.h"
#include "watch/CAlertManager.h"

#include "pf/files.h"
#include "ui/ui_thread.h"

#include <memory>

namespace {

class AlertsEndToEnd : public startuptest::StartupFixture {};

TEST_F(AlertsEndToEnd, ACrossingQuoteFiresTheSavedAlertOnceAndTheFileKeepsTheRecurringOne)
{
    writeConfig(false, /*feedsType=*/3);
    scriptLogin("U1", "Test@123");
    ProgramFeed feed;
    CVortanexApp::Options o = appOptions(&feed);
    o.sound = &sound;
    CVortanexApp app;
    app.setOptions(o);
    ASSERT_TRUE(app.InitInstance());
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return FeedState::instance().slot() >= 0; }, 10000));
    ASSERT_TRUE(broker->waitForFeedClient("U1", 5000));
    g_AppSettings.alerts_switch = 1;
    g_AppSettings.switches[1] = '1';

    // SBIN (watch token 2819), with no window open.
    const auto table = SecurityTable::current();
    ASSERT_TRUE(table);
    const int sbin = table->searchWToken(2819);
    ASSERT_GE(sbin, 0);
    tb::Quote q = broker->quote(2819);
    q.lastTime = clock.nowSeconds();
    q.last = 50000;
    broker->pushFeed("U1", tb::message101(2819, q));
    ASSERT_TRUE(ui::UiThread::pumpUntil(
        [&] { return table->row(sbin).quote().quote[4] == 50000; }, 5000));

    // Two alerts: LTP >= 505 once, and LTP >= 510 recurring.
    for (const auto& [value, frequency] : {std::pair<const char*, int>{"505", 0}, {"510", 1}}) {
        CAlertManager dlg(app.mainFrame());
        dlg.setSecurity(sbin);
        dlg.prepare();
        dlg.setComboIndex(CAlertManager::kType, 2);
        dlg.setComboIndex(CAlertManager::kCriteria, 0);
        dlg.setText(CAlertManager::kValue, value);
        dlg.setText(CAlertManager::kName, "sbin up");
        dlg.setComboIndex(CAlertManager::kFrequency, frequency);
        dlg.OnOK();
    }
    const auto saved = AlertTable::instance().entries();
    ASSERT_EQ(saved.size(), 2u);
    const std::string onceKey = saved[0].first, recurringKey = saved[1].first;
    EXPECT_FALSE(saved[0].second.recurring);
    EXPECT_TRUE(saved[1].second.recurring);

    // The broker is asked for SBIN although no window shows it.
    const auto subscribed = [&] {
        for (const tb::FeedClientInfo& c : broker->feedClients())
            for (int t : c.tokens)
                if (t == 2819)
                    return true;
        return false;
    };
    ASSERT_TRUE(ui::UiThread::pumpUntil(subscribed, 5000));

    // The manager stays open while the alert fires.
    auto open = std::make_unique<CAlertManager>(app.mainFrame());
    open->prepare();
    ASSERT_EQ(open->listRows().size(), 2u);

    // A quote crosses both: the first in key order fires, one popup, one
    // sound, and the one-time alert goes.
    q.last = 51500;
    broker->pushFeed("U1", tb::message101(2819, q));
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return modalHost.shown().size() == 1; }, 5000));
    EXPECT_EQ(modalHost.shown()[0], "CAlertPopUp");
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return sound.requests() == 1; }, 5000));
    // Further ticks start nothing: the security's mark is cleared.
    for (int i = 0; i < 5; ++i)
        broker->pushFeed("U1", tb::message101(2819, q));
    ui::UiThread::pumpUntil([] { return false; }, 300);
    EXPECT_EQ(modalHost.shown().size(), 1u);
    EXPECT_FALSE(AlertTable::instance().contains(onceKey));
    EXPECT_TRUE(AlertTable::instance().contains(recurringKey));
    // Its list no longer shows the one-time alert as active.
    const auto rows = open->listRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][7], "ACTIVE");
    EXPECT_EQ(rows[0][8], "YES");
    open.reset();

    prompter.answerWhen("Do you want to Quit from this Application", 6);
    app.mainFrame()->close();
    app.ExitInstance();

    // The file written at exit holds the recurring alert only.
    const std::string file = pf::files::readAll(paths.data() / "U1_Alerts.dat").value_or("");
    EXPECT_EQ(file.rfind(recurringKey + "|", 0), 0u) << file;
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 1) << file;
    g_AppSettings.switches[1] = '0';
}

} // namespace
