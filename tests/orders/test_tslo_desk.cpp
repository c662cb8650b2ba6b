// The broker's trailing stop-loss desk and margin rates as the terminal meets
// them: requests made by the terminal's builders, replies read by its readers.
#include "RequestDecoder.h"
#include "TsloDesk.h"
#include "orders/OrderMargin.h"
#include "orders/TsloOrder.h"
#include "orders/TsloOrderBook.h"

#include "app/base/FixedText.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace test_tslo_desk {

namespace {

class TsloDeskTest : public ::testing::Test {
protected:
    TsloDeskTest() : desk([this](const std::string&, int token) -> int64_t { return last[token]; })
    {
        sec.index = 1;
        sec.token = 2885;
        sec.exchange = "NN";
        sec.series = "EQ";
        sec.marketLot = 1;
        CopyFixedText(order.client_id, "CID01");
        CopyFixedText(order.client_code, "ABC12");
        CopyFixedText(order.exchange, "NN");
        CopyFixedText(order.validity, "GFD");
        order.trailing_type = 3;
        order.side = 'B';
        order.trailing_side = 'S';
        order.quantity = 10;
        order.price = 10000;
        order.trigger = 9800;
        order.spread = 2;
        order.bp_price = -1;
        order.bp_disclosed = -1;
        desk.setMatching(true);
    }
    TsloReply send(int mode)
    {
        TsloRequestContext c;
        c.mode = mode;
        c.userId = "U1";
        c.infoText = "2.3.0.20 DEV";
        const TsloRequest r = BuildTsloRequest(order, sec, c);
        return ParseTsloReply(r.code, desk.reply(tb::splitRequest(r.text)));
    }
    TsloBook book()
    {
        const TsloReport r =
            ReadTsloReport(desk.report(tb::splitRequest(BuildTsloReportRequest("CID01", "U1", "ABC12"))), "ABC12");
        EXPECT_TRUE(r.ok);
        return r.records;
    }
    tb::TsloDesk desk;
    std::map<int, int64_t> last;
    OrderSecurity sec;
    COrderData order;
};

TEST_F(TsloDeskTest, NewOrderTradesThenTrailsAndIsModifiedAndCancelled)
{
    const TsloReply placed = send(1);
    ASSERT_EQ(placed.kind, TsloReply::Kind::Accepted);
    EXPECT_GT(placed.trailingId, 0);
    EXPECT_NE(placed.message.find('\n'), std::string::npos);
    ASSERT_EQ(desk.requests(121).size(), 1u);

    TsloBook b = book();
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0].kind, 3);
    EXPECT_EQ(b[1].leg, 2);
    EXPECT_EQ(b[1].special_order_no, b[0].special_order_no);
    EXPECT_EQ(std::string(b[0].status), "OPN");
    EXPECT_TRUE(TsloCanModify(b, 0));

    last[2885] = 9990; // crosses the buy limit
    desk.matchMarket();
    b = book();
    EXPECT_EQ(std::string(b[0].status), "TRAD");
    EXPECT_EQ(std::string(b[1].status), "TRL");
    EXPECT_DOUBLE_EQ(b[1].trigger, 97.90);
    EXPECT_TRUE(TsloCanModify(b, 0)); // leg 1 traded, leg 2 trails

    last[2885] = 10500; // the trigger follows the market up
    desk.matchMarket();
    EXPECT_DOUBLE_EQ(book()[1].trigger, 103.00);

    order.trailing_order_no = placed.trailingId;
    order.spread = 3;
    order.trigger = -1;
    order.trailing_when = -1;
    ASSERT_EQ(send(2).kind, TsloReply::Kind::Accepted);
    EXPECT_DOUBLE_EQ(desk.orders()[0].spread, 3);
    ASSERT_EQ(send(3).kind, TsloReply::Kind::Accepted);
    b = book();
    EXPECT_EQ(std::string(b[1].status), "CAN");
    EXPECT_FALSE(TsloCanCancel(b, 1));
    EXPECT_EQ(send(3).kind, TsloReply::Kind::Refused); // nothing left to cancel
}

TEST_F(TsloDeskTest, StopAndBookProfitTrade)
{
    order.trailing_type = 4;
    order.bp_price = 10400;
    const TsloReply placed = send(1);
    ASSERT_EQ(placed.kind, TsloReply::Kind::Accepted);
    last[2885] = 10000;
    desk.matchMarket();
    last[2885] = 10450; // above the book-profit price
    desk.matchMarket();
    TsloBook b = book();
    EXPECT_EQ(std::string(b[1].status), "TRAD");
    EXPECT_DOUBLE_EQ(b[1].slo_price, 104.00);

    order.trailing_type = 3;
    order.bp_price = -1;
    send(1);
    last[2885] = 9000;  // leg 1 trades, the stop starts at 88.00
    desk.matchMarket();
    last[2885] = 8700;  // and is crossed
    desk.matchMarket();
    b = book();
    ASSERT_EQ(b.size(), 4u);
    EXPECT_EQ(std::string(b[3].status), "TRAD");
}

TEST_F(TsloDeskTest, RefusalsAndTheSilentReport)
{
    desk.refuseNext("Insufficient margin");
    const TsloReply r = send(1);
    EXPECT_EQ(r.kind, TsloReply::Kind::Refused);
    EXPECT_EQ(r.message, "Insufficient margin");
    desk.failReportWith1205(true);
    const TsloReport rep =
        ReadTsloReport(desk.report(tb::splitRequest(BuildTsloReportRequest("CID01", "U1", "ABC12"))), "ABC12");
    EXPECT_TRUE(rep.ok);
    EXPECT_TRUE(rep.records.empty());
    EXPECT_TRUE(rep.boxText.empty());
}

TEST_F(TsloDeskTest, MarginRatesEchoAndRefusal)
{
    OrderSecurity fut = sec;
    fut.series = "FS";
    fut.derivative = 1;
    MarginInput in;
    in.clientCode = "ABC12";
    in.exchangeText = "NSE";
    in.quantity = 50;
    in.priceText = "200";
    in.sideIndex = 1;
    in.security = fut;
    in.clientId = "CID01";
    in.userId = "U1";
    const MarginPlan p = PlanMargin(in);
    ASSERT_TRUE(p.ask);
    desk.setMarginRate("NN", 1, 4);
    MarginOutcome o = ReadMarginReply(in, p, desk.margin(tb::splitRequest(p.request)));
    EXPECT_EQ(o.message.text, "Required Margin to place this order is 2500.00");

    desk.falseEchoNextMargin();
    o = ReadMarginReply(in, p, desk.margin(tb::splitRequest(p.request)));
    EXPECT_EQ(o.message.text, "Mismatch in the send received data values");

    desk.refuseNextMargin("Client not allowed");
    o = ReadMarginReply(in, p, desk.margin(tb::splitRequest(p.request)));
    EXPECT_EQ(o.message.text, "Client not allowed");
    EXPECT_EQ(o.message.caption, "Error");
}

} // namespace

} // namespace test_tslo_desk
