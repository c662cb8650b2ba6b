// End to end against the test broker: after U1's login the ribbon's "FII
// Activity" opens the special-reports dialog, which lists the broker's FII
// days and draws their net investment.
#include "StartupFixture.h"

#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"
#include "frame/CMainFrame.h"
#include "frame/controls/CMyListCtrl.h"
#include "market/CSpecialReports.h"
#include "market/NetInvestmentChart.h"
#include "SpecialReportDesk.h"

#include "ui/form_driver.h"
#include "ui/ui_thread.h"

namespace {

class SpecialReportsEndToEnd : public startuptest::StartupFixture {};

TEST_F(SpecialReportsEndToEnd, FiiActivityFromTheRibbonShowsRowsAndTheChart)
{
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(startLoggedIn(app, feed));

    int rows = -1, bars = -1;
    std::string status, firstDate;
    modalHost.script("CSpecialReports", [&](ui::FormDriver& d) {
        auto& dlg = static_cast<CSpecialReports&>(d.form());
        dlg.show(); // the fetch starts when the dialog is shown
        if (ui::UiThread::pumpUntil([&] { return dlg.fetchCount() == 1; }, 20000)) {
            rows = dlg.list()->model().rowTotal();
            bars = dlg.chart()->barCount();
            status = dlg.statusText();
            const std::vector<int> ids = dlg.list()->model().preorder();
            if (!ids.empty())
                firstDate = dlg.list()->model().text(ids.front(), 0).toStdString();
        }
        d.form().finish(2);
    });
    ASSERT_TRUE(app.mainFrame()->Commands().invoke(1127));
    EXPECT_EQ(modalHost.runs().back(), "CSpecialReports");
    const std::vector<std::string> days = broker->specialReports().fiiRows();
    EXPECT_EQ(rows, static_cast<int>(days.size()));
    EXPECT_EQ(bars, static_cast<int>(days.size()));
    EXPECT_EQ(status, "FII Activity details successfully downloaded");
    EXPECT_EQ(firstDate, days.front().substr(0, days.front().find('|')));
    const auto sent = broker->waitForKey("ReportData=1002", 1000);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->path, "/qtrade/qnews.exe");

    prompter.answerWhen("Do you want to Quit from this Application", 6);
    app.mainFrame()->close();
    app.ExitInstance();
}

} // namespace
