// The order book's "Place order" again on an NSE equity that also trades on
// BSE in the same series: the other exchange's quote ("action=L") is fetched
// on a worker while the book shows busy, and the form opens when it is in.
// The broker holds the quote back two seconds; a UI-thread timer looks at the
// book meanwhile.
#include "OrderFixture.h"

#include "server/FeedState.h"
#include "server/SecurityTable.h"
#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"
#include "frame/controls/CMyReportCtrl.h"
#include "orders/CDlgOrderFormExp.h"
#include "orders/COrderViewEx.h"
#include "orders/OrderBookCommands.h"
#include "orders/OrderBookRules.h"
#include "testkit/ui_heartbeat.h"
#include "ui/grid_ranges.h"
#include "ui/prompter.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace test_book_freeze {

namespace {

class OrderBookFreeze : public ordertest::OrderFixture {
protected:
    void TearDown() override
    {
        CDlgOrderFormExp::DestroyInstance();
        if (g_pOrderViewEx)
            delete g_pOrderViewEx;
        EXPECT_TRUE(WaitOrderReportDownloads(20000));
        pumpUntil([] { return false; }, 50);
        SetLoggedIn(false);
        OrderFixture::TearDown();
    }
};

TEST_F(OrderBookFreeze, PlaceAgainFetchesTheTwinsQuoteWhileTheBookShowsBusy)
{
    CopyFixedText(pv_user_info.session_id, "SESS01");
    // ITC on NSE (token 2314) has a BSE twin in series "EQ" (token 602314).
    const std::string row = "101|CID01|2314|NN|1001|EX1001|Buy|10|428.65|10|09:15:00|TRAD|0.00|0|3|ABC12|0|U1|ITC-EQ|Normal";
    broker->setReply("ReportData=600", "600|0|OK|1~" + row);
    COrderViewEx* view = OpenOrderBook();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !view->isBusy() && view->grid()->model().rowTotal() == 1; }, 20000));
    ui::setCurrentRow(*view->grid(), view->rowOfRecord(0));

    broker->clearRequests();
    tb::HttpFault hold;
    hold.delayMs = 2000;
    broker->armFault("/qtrade/feeds.exe", hold);
    int beatsWhileHeld = 0;
    bool busyWhileHeld = false;
    testkit::UiHeartbeat heartbeat([&] {
        if (broker->requests().size() == 1 && CDlgOrderFormExp::Instance() == nullptr) {
            ++beatsWhileHeld;
            busyWhileHeld = !view->isEnabled();
        }
    });
    prompter.queueMenuCommand(kCmdPlaceOrder);
    view->commands()->OnContextMenu(10, 10);
    EXPECT_EQ(CDlgOrderFormExp::Instance(), nullptr); // the form waits for the quote
    ASSERT_TRUE(pumpUntil([] { return CDlgOrderFormExp::Instance() != nullptr; }, 15000));
    EXPECT_GT(beatsWhileHeld, 0);
    EXPECT_TRUE(busyWhileHeld);
    EXPECT_TRUE(view->isEnabled());
    const auto quote = broker->waitForKey("action=L", 1000);
    ASSERT_TRUE(quote);
    EXPECT_NE(quote->decoded.text.find("token=1204628"), std::string::npos) << quote->decoded.text;
}

} // namespace

} // namespace test_book_freeze
