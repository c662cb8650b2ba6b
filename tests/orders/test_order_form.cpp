// The order form end to end against the test broker: one request per order
// whatever OK is pressed meanwhile, the reply on the Trading list, refusals,
// the buy from a watch row, and modify and cancel from a store record.
#include "OrderFixture.h"
#include "OrderMaster.h"

#include "app/base/SessionRecord.h"
#include "orders/CDlgOrderFormExp.h"
#include "orders/COrderData.h"
#include "orders/OrderFormIds.h"
#include "orders/OrderReply.h"
#include "orders/OrderSecurity.h"
#include "orders/PositionRecords.h"
#include "app/base/AppSettings.h"
#include "orders/WatchOrderCommands.h"

#include "ui/form_driver.h"
#include "ui/key_filter.h"

#include <gtest/gtest.h>

namespace ordertest {
namespace {

using namespace orderform;

class OrderFormTest : public OrderFixture {
protected:
    // An NSE equity with a price on its tick.
    int equity() const { return findSecurity("NN", "EQ"); }
};

TEST_F(OrderFormTest, TwoOksDuringADelayedReplySendExactlyOneRequest)
{
    const int sec = equity();
    ASSERT_GE(sec, 0);
    CDlgOrderFormExp* form = open(1, sec, 'B', 1500.05);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle().toStdString(), "New Buy Order Form");
    EXPECT_EQ(form->text(kOk), "New Buy Order");
    EXPECT_EQ(form->text(kAccount), "ABC12");
    EXPECT_EQ(form->text(kPrice), "1500.05");

    tb::HttpFault slow;
    slow.delayMs = 400;
    broker->armFault("/qtrade/qtrade.exe", slow);
    ui::FormDriver d(*form);
    d.type(kQuantity, "10").type(kPrice, "1500.05").click(kOk);
    EXPECT_TRUE(form->IsRequestInProcess());
    // Everything a user can do while it is in flight sends nothing.
    d.click(kOk);
    EXPECT_FALSE(d.problems().empty()); // OK is disabled
    form->OnOk();
    form->keys().feed(ui::Key::Enter);
    open(1, sec, 'S'); // a refill is refused and leaves the form as it is
    EXPECT_TRUE(boxShown("Please wait. Existing Request in Process."));
    EXPECT_EQ(form->Side(), 'B');
    EXPECT_EQ(form->text(kOk), "New Buy Order");

    ASSERT_TRUE(waitIdle(form));
    const auto sent = orderRequests();
    ASSERT_EQ(sent.size(), 1u);
    const std::string text = sent[0].decoded.text;
    const auto table = OrderSecurityAt(sec);
    EXPECT_EQ(text.rfind("NoOfOrders=1&OrderData1=101|CID01|N|00:00:00:00|" + std::to_string(table.token) +
                             "|NN|B|10|150005.00|U1|ABC12|ABC12|00-00-0000|0|0.00|0|GFD|C|3|N||0|4|",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("&AClient=N&OrdReqNo=0"), std::string::npos);
    ASSERT_EQ(broker->orderDesk().orders().size(), 1u);

    // The order line before, the server's text after, on the Trading list.
    const auto lines = barLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].kind, 1);
    EXPECT_EQ(lines[0].side, '+');
    EXPECT_EQ(lines[0].text.rfind("Placing New Normal Buy Order for Client ABC12", 0), 0u);
    EXPECT_TRUE(barHas("Order Placed Successfully. TWXS Order No : 1000001"));
    // The open book got the new order.
    ClientInfo* client = ActiveClientEntry();
    ASSERT_EQ(StoredOrderCount(client), 1);
    OrderInfo stored;
    ASSERT_TRUE(ReadStoredOrder(client, 0, stored));
    EXPECT_EQ(stored.order_no, 1000001);
    EXPECT_STREQ(stored.status, "NEWF");
    EXPECT_DOUBLE_EQ(stored.price, 1500.05);
    // The form is free again for the next order, numbered 1.
    EXPECT_TRUE(form->IsReady());
    d.type(kQuantity, "5").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_EQ(orderRequests().size(), 2u);
    EXPECT_NE(orderRequests()[1].decoded.text.find("&OrdReqNo=1"), std::string::npos);
}

TEST_F(OrderFormTest, RefusalAndInvalidPricesSendNothingOrShowTheRefusal)
{
    CDlgOrderFormExp* form = open(1, equity(), 'S', 1500.05);
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    for (const char* price : {"nan", "1e3", "inf"}) {
        d.type(kQuantity, "10").type(kPrice, price).click(kOk);
        EXPECT_FALSE(form->IsRequestInProcess());
        EXPECT_EQ(form->focusedId(), kPrice) << price;
    }
    EXPECT_TRUE(orderRequests().empty());
    EXPECT_TRUE(boxShown("Please enter Valid Price for the Order"));
    EXPECT_EQ(PeekOrderRequestNumber(), 0); // refusals take no number

    broker->orderDesk().refuseNext();
    d.type(kQuantity, "10").type(kPrice, "1500.05").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_EQ(orderRequests().size(), 1u);
    EXPECT_TRUE(barHas(kOrderRefusedText));
    EXPECT_EQ(barLines()[0].side, '-');
    EXPECT_EQ(StoredOrderCount(ActiveClientEntry()), 0);
}

TEST_F(OrderFormTest, BuyFromAWatchRowOpensTheFormFilledFromTheSecurity)
{
    const int sec = equity();
    SetQuote(sec, 149990, 150010);
    WatchOrderSource row;
    row.securityIndex = sec;
    OpenOrderFromWatch(row, 'B', nullptr);
    CDlgOrderFormExp* form = CDlgOrderFormExp::Instance();
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(form->IsInitialised());
    EXPECT_EQ(form->SecurityIndex(), sec);
    EXPECT_EQ(form->Side(), 'B');
    EXPECT_EQ(form->text(kSecurity), OrderSecurityAt(sec).displayKey);
    EXPECT_EQ(form->text(kExchange), "NSE");
    EXPECT_EQ(form->text(kOrderMark), "Normal");
    // A companion on BSE was fetched with the quote snapshot first.
    bool snapshot = false;
    for (const auto& r : broker->requests())
        snapshot = snapshot || r.path == "/qtrade/feeds.exe";
    if (form->isVisible(kNseRadio)) {
        EXPECT_TRUE(snapshot);
        EXPECT_TRUE(form->checked(kNseRadio));
    }
    EXPECT_EQ(form->text(kPrice), "1500.10");

    // Without an activated client nothing opens.
    form->OnCancel();
    g_Session.clients[0].active = 0;
    OpenOrderFromWatch(row, 'S', nullptr);
    EXPECT_TRUE(boxShown("Please Activate a Client"));
    EXPECT_FALSE(form->IsInitialised());
}

TEST_F(OrderFormTest, ModifyAndCancelFromAStoreRecordSendTheirRecords)
{
    const int sec = equity();
    CDlgOrderFormExp* form = open(1, sec, 'B', 1500.05);
    ASSERT_NE(form, nullptr);
    ui::FormDriver(*form).type(kQuantity, "10").type(kPrice, "1500.05").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_EQ(StoredOrderCount(ActiveClientEntry()), 1);

    form = open(2, 0, 'B');
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle().toStdString(), "Modify Order Form - TWXS Order No :1000001");
    EXPECT_EQ(form->text(kOk), "Modify Buy Order");
    EXPECT_EQ(form->text(kQuantity), "10");
    EXPECT_FALSE(form->isEnabled(kExchange));
    ui::FormDriver(*form).type(kPrice, "1499.95").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    auto sent = orderRequests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_NE(sent[1].decoded.text.find("OrderData1=102|CID01|1000001|N|00:00:00:00|"), std::string::npos);
    EXPECT_NE(sent[1].decoded.text.find("|B|10|1500.05|10|149995.00|U1|"), std::string::npos)
        << sent[1].decoded.text;
    EXPECT_EQ(broker->orderDesk().orders()[0].pricePaise, "149995.00");

    form = open(3, 0, 'B');
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->text(kOk), "Cancel Buy Order");
    EXPECT_FALSE(form->isEnabled(kPrice));
    ui::FormDriver(*form).click(kOk);
    ASSERT_TRUE(waitIdle(form));
    sent = orderRequests();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_NE(sent[2].decoded.text.find("OrderData1=103|CID01|1000001|"), std::string::npos);
    EXPECT_EQ(broker->orderDesk().orders()[0].status, "CAN");
    EXPECT_TRUE(barHas("Order Cancelled Successfully"));
}

TEST_F(OrderFormTest, KeysSwitchSidesAndStepQuantity)
{
    CDlgOrderFormExp* form = open(1, equity(), 'B', 1500.05);
    ASSERT_NE(form, nullptr);
    form->keys().feed(static_cast<ui::Key>(static_cast<int>(ui::Key::F1) + 1)); // F2
    EXPECT_EQ(form->Side(), 'S');
    EXPECT_EQ(form->text(kOk), "New Sell Order");
    form->keys().feed(ui::Key::Add);
    EXPECT_EQ(form->Side(), 'B');
    form->focus(kQuantity);
    form->setText(kQuantity, "0");
    form->StepQuantity(-1);
    EXPECT_EQ(form->text(kQuantity), "0");
    form->StepQuantity(1);
    form->StepQuantity(1);
    EXPECT_EQ(form->text(kQuantity), "2");
    form->StepPrice(1);
    EXPECT_EQ(form->text(kPrice), "1500.10");
}

TEST_F(OrderFormTest, StopLossMarkSetsTheTriggerBelowABuyOnTheTick)
{
    g_AppSettings.stoploss_percent = 50; // 0.5 %
    CDlgOrderFormExp* form = open(1, equity(), 'B', 100.00);
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    d.pick(kOrderMark, 2); // "Stoploss", id 5
    ASSERT_EQ(form->text(kOrderMark), "Stoploss");
    d.type(kPrice, "100.00");
    form->StepPrice(1);
    form->StepPrice(-1);
    EXPECT_EQ(form->text(kTrigger), "99.50");
    d.type(kPrice, "99.97"); // 99.47015 -> 9947 paise, up to the 5-paise tick
    form->StepPrice(1);
    form->StepPrice(-1);
    EXPECT_EQ(form->text(kTrigger), "99.50");
    g_AppSettings.stoploss_percent = 0;
}

TEST_F(OrderFormTest, SquareOffOfAPositionLocksTheSideAndSendsTheSquareOffRecord)
{
    const int sec = equity();
    {
        ClientRiskRecords& risk = ActiveClientRiskRecords();
        std::lock_guard lock(risk.mutex);
        PositionRecord p;
        p.sec_index = sec;
        p.net_qty = -25;
        p.product = 5;
        risk.positions = {p};
    }
    CDlgOrderFormExp* form = open(7, 0, 'B', 1500.05);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->Mode(), 1);
    EXPECT_EQ(form->RequestedMode(), 7);
    EXPECT_TRUE(form->SideLocked());
    EXPECT_EQ(form->text(kOk), "Square-Off Order");
    EXPECT_EQ(form->text(kQuantity), "25");
    form->keys().feed(static_cast<ui::Key>(static_cast<int>(ui::Key::F1) + 1)); // F2: ignored
    EXPECT_EQ(form->Side(), 'B');
    ui::FormDriver(*form).type(kPrice, "1500.05").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    const auto sent = orderRequests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NE(sent[0].decoded.text.find("OrderData1=106|CID01|N|00:00:00:00|"), std::string::npos)
        << sent[0].decoded.text;
    EXPECT_NE(sent[0].decoded.text.find("|NN|B|25|150005.00|5|U1|ABC12|ABC12|N||0|4|"), std::string::npos);
    ActiveClientRiskRecords().positions.clear();
}

TEST(QuoteSnapshot, ReadsBidAskAndLastFromTheSecondItem)
{
    double bid = -1, ask = -1, ltp = -1;
    ASSERT_TRUE(ParseQuoteSnapshot("x*a,100,b,200,c,300", bid, ask, ltp));
    EXPECT_EQ(bid, 100);
    EXPECT_EQ(ask, 200);
    EXPECT_EQ(ltp, 300);
    ASSERT_TRUE(ParseQuoteSnapshot("x*a,z,b,200,c,300", bid, ask, ltp));
    EXPECT_EQ(bid, 0); // not a number
    for (const char* reply : {"", "no star", "x*", "x*a,1,b,2,c"})
        EXPECT_FALSE(ParseQuoteSnapshot(reply, bid, ask, ltp)) << reply;
}

TEST_F(OrderFormTest, SetFeedDataStoresTheSnapshotOnlyFromAGoodReply)
{
    const int sec = equity();
    const int wtoken = OrderSecurityAt(sec).wtoken;
    const tb::Quote q = broker->quote(wtoken);
    tb::HttpFault fault;
    fault.status = 500;
    broker->armFault("/qtrade/feeds.exe", fault);
    SetFeedData(sec);
    EXPECT_EQ(OrderSecurityAt(sec).ask, 0);
    SetFeedData(sec);
    const OrderSecurity now = OrderSecurityAt(sec);
    EXPECT_EQ(now.bid, static_cast<double>(q.bid));
    EXPECT_EQ(now.ask, static_cast<double>(q.ask));
    EXPECT_EQ(now.ltp, static_cast<double>(q.last));
    EXPECT_GT(now.ask, 0);
}

} // namespace
} // namespace ordertest
