// Logged in to the test broker with the program's feed: the broker's advisory
// call reaches the ribbon and opens the research-call order form, its
// "Closed" removes it; the broker's day event reaches "Days Events", its
// Accept goes to the broker as 1013 and the broker's answer pops up.
#include "StartupFixture.h"

#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"
#include "frame/CDlgPopupDaysEvent.h"
#include "frame/CMainFrame.h"
#include "frame/CMyPopupWindow.h"
#include "frame/InformationDisplays.h"
#include "orders/CDlgOrderFormExp.h"
#include "server/FeedState.h"
#include "server/SecurityTable.h"
#include "ui/command_bar.h"
#include "ui/ui_thread.h"

#include <QAction>

namespace startuptest {
namespace test_information_e2e {

namespace {

class InformationE2E : public StartupFixture { };

TEST_F(InformationE2E, AdvisoryCallAndDayEventFromTheBroker)
{
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(startLoggedIn(app, feed));
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return FeedState::instance().slot() >= 0; }, 10000));
    ASSERT_TRUE(broker->waitForFeedClient("U1", 5000));
    InformationDisplays* displays = InformationDisplays::Instance();
    ASSERT_NE(displays, nullptr);
    ui::CommandBar& bar = *app.mainFrame()->Ribbon();
    tb::InformationDesk& desk = broker->informationDesk();
    const tb::Security& sec = desk.advisorySecurity();

    // The call: "Nifty Morrowpick" with the call's sub-button.
    ASSERT_EQ(broker->pushFeed("U1", desk.advisoryCall(41, false)), 1);
    ASSERT_TRUE(pumpUntil(
        [&] { return bar.action(kAdvisoryFirstCommand) != nullptr && displays->Calls().Count() == 1; }, 10000));
    EXPECT_EQ(bar.textOf(kAdvisoryMainButton), "Nifty Morrowpick");
    const auto table = SecurityTable::current();
    const int index = Search_ScripCode(sec.scripCode, sec.symbol[0]);
    ASSERT_GE(index, 0);
    EXPECT_EQ(bar.action(kAdvisoryFirstCommand)->text().toStdString(),
              "BUY : " + std::string(table->row(index).displayKey().view()));

    // Its sub-button opens the research-call order form for that security.
    ASSERT_TRUE(bar.trigger(kAdvisoryFirstCommand));
    ASSERT_TRUE(
        pumpUntil([] { return CDlgOrderFormExp::Instance() && CDlgOrderFormExp::Instance()->IsInitialised(); }, 10000))
        << ::testing::PrintToString(boxTexts());
    EXPECT_EQ(CDlgOrderFormExp::Instance()->TsloKind(), 5);
    EXPECT_EQ(CDlgOrderFormExp::Instance()->SecurityIndex(), index);
    CDlgOrderFormExp::Instance()->close();

    // "Closed" removes the panel.
    ASSERT_EQ(broker->pushFeed("U1", desk.advisoryCall(41, true)), 1);
    ASSERT_TRUE(pumpUntil([&] { return displays->Calls().Count() == 0; }, 10000));
    EXPECT_FALSE(bar.panelNames(displays->RibbonCategory()).contains(QString()));

    // The day event, its Accept and the broker's answer.
    ASSERT_EQ(broker->pushFeed("U1", desk.dayEvent(tb::InformationDesk::kDemoProductId)), 1);
    ASSERT_TRUE(pumpUntil(
        [&] {
            QAction* a = bar.action(InformationDisplays::kDaysEventsButton);
            return a && a->text() == "Days Events (1)";
        },
        10000));
    std::unique_ptr<CDlgPopupDaysEvent> popup(displays->Popup());
    ASSERT_TRUE(popup->ClickAccept(kDayEventFirstCommand));
    ASSERT_TRUE(broker->waitForKey("LoginData=1013", 10000).has_value());
    ASSERT_TRUE(pumpUntil(
        [&] {
            for (const CMyPopupWindow* p : app.mainFrame()->OpenPopups())
                if (p->spec().text == tb::InformationDesk::kAcceptText)
                    return true;
            return false;
        },
        10000));
    EXPECT_EQ(desk.acceptedIds(), std::vector<int>{tb::InformationDesk::kDemoProductId});
    popup.reset();
    app.ExitInstance();
}

} // namespace
} // namespace startuptest

} // namespace test_information_e2e
