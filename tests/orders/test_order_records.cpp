// The OrderData records byte by byte for every code, and the reading of the
// server's replies.
#include "orders/COrderData.h"
#include "orders/OrderReply.h"

#include "app/base/FixedText.h"

#include <gtest/gtest.h>

#include <string>

namespace test_order_records {

namespace {

OrderSecurity cash()
{
    OrderSecurity s;
    s.index = 1;
    s.token = 2885;
    s.wtoken = 5769;
    s.exchange = "NN";
    s.marketLot = 1;
    s.tickSize = 500;
    return s;
}

OrderSecurity currencyFno()
{
    OrderSecurity s = cash();
    s.token = 1234;
    s.exchange = "CN";
    s.derivative = 1;
    s.currency = 1;
    return s;
}

COrderData order()
{
    COrderData d;
    CopyFixedText(d.client_code, "ABC12");
    CopyFixedText(d.client_id, "CID01");
    CopyFixedText(d.exchange, "NN");
    CopyFixedText(d.validity, "GFD");
    d.side = 'B';
    d.quantity = 10;
    d.price = 150005;
    d.trigger = 0;
    d.disclosed = 0;
    d.order_mark = 3;
    d.amo = 'N';
    d.sor = 0;
    d.order_no = 1000001;
    d.prev_qty = 10;
    d.prev_price = 1500.05;
    return d;
}

OrderRequestContext ctx(int mode, char userType = 'C')
{
    OrderRequestContext c;
    c.mode = mode;
    c.userType = userType;
    c.userId = "U1";
    c.environment = "VX_SN1_Maker";
    return c;
}

constexpr const char* kHead = "NoOfOrders=1&OrderData1=";

TEST(OrderRecord, GoldenTextPerCode)
{
    COrderData d = order();
    EXPECT_EQ(BuildOrderRequest(d, cash(), ctx(1)).text,
              std::string(kHead) + "101|CID01|N|00:00:00:00|2885|NN|B|10|150005.00|U1|ABC12|ABC12|00-00-0000|0|0.00|0|"
                                   "GFD|C|3|N||0|4|VX_SN1_Maker");
    OrderSecurity fno = cash();
    fno.derivative = 1;
    EXPECT_EQ(BuildOrderRequest(d, fno, ctx(1)).text,
              std::string(kHead) + "201|CID01|N|00:00:00:00|2885|NN|B|10|150005.00|U1|ABC12|ABC12|00-00-0000|0|0.00|0|"
                                   "GFD|C|3|N|0|||0|4|VX_SN1_Maker");
    EXPECT_EQ(BuildOrderRequest(d, cash(), ctx(2)).text,
              std::string(kHead) + "102|CID01|1000001|N|00:00:00:00|2885|NN|B|10|1500.05|10|150005.00|U1|ABC12|ABC12|"
                                   "00-00-0000|0|0.00|0|GFD|C||4|VX_SN1_Maker");
    EXPECT_EQ(BuildOrderRequest(d, fno, ctx(2)).text,
              std::string(kHead) + "202|CID01|1000001|N|00:00:00:00|2885|NN|B|10|1500.05|10|150005.00|U1|ABC12|ABC12|"
                                   "00-00-0000|0|0.00|0|GFD|C|0||4|VX_SN1_Maker");
    EXPECT_EQ(BuildOrderRequest(d, cash(), ctx(3)).text,
              std::string(kHead) + "103|CID01|1000001|2885|NN|U1|ABC12|ABC12||4|VX_SN1_Maker");
    EXPECT_EQ(BuildOrderRequest(d, fno, ctx(3)).text,
              std::string(kHead) + "203|CID01|1000001|2885|NN|U1|ABC12|ABC12||4|VX_SN1_Maker");
    d.square_off = 1;
    d.order_mark = 5;
    d.side = 'S';
    EXPECT_EQ(BuildOrderRequest(d, cash(), ctx(1)).text,
              std::string(kHead) + "106|CID01|N|00:00:00:00|2885|NN|S|10|150005.00|5|U1|ABC12|ABC12|N||0|4|VX_SN1_Maker");
    EXPECT_EQ(BuildOrderRequest(d, fno, ctx(1)).text,
              std::string(kHead) + "204|CID01|N|00:00:00:00|2885|NN|S|10|150005.00|5|U1|ABC12|ABC12|N||0|4|VX_SN1_Maker");
}

TEST(OrderRecord, CodeChoice)
{
    COrderData d = order();
    EXPECT_EQ(BuildOrderRequest(d, cash(), ctx(4)).code, 0); // the mark modes send nothing
    d.order_mark = 5;
    EXPECT_EQ(BuildOrderRequest(d, cash(), ctx(1)).code, 101); // mark 5 without square-off
    d.square_off = 1;
    d.order_mark = 12;
    EXPECT_EQ(BuildOrderRequest(d, cash(), ctx(1)).code, 106);
    d.trigger = 5;
    EXPECT_EQ(BuildOrderRequest(d, cash(), ctx(1)).code, 101); // mark 12 with a trigger
    d.order_mark = 8;
    EXPECT_EQ(BuildOrderRequest(d, currencyFno(), ctx(1)).code, 204);
}

TEST(OrderRecord, CurrencyDerivativesWriteFourDecimalsCashNever)
{
    COrderData d = order();
    d.price = 8312.25;
    d.trigger = 8300;
    d.prev_price = 83.1225;
    const std::string fno = BuildOrderRequest(d, currencyFno(), ctx(2)).text;
    EXPECT_NE(fno.find("|83.1225|10|8312.2500|"), std::string::npos) << fno;
    EXPECT_NE(fno.find("|8300.0000|"), std::string::npos) << fno;
    OrderSecurity currencyCash = currencyFno();
    currencyCash.derivative = 0;
    const std::string plain = BuildOrderRequest(d, currencyCash, ctx(2)).text;
    EXPECT_NE(plain.find("|83.12|10|8312.25|"), std::string::npos) << plain;
}

TEST(OrderRecord, UserTypeGSendsTheSecondTokenAndTheEnvironmentIsCleaned)
{
    OrderRequestContext c = ctx(3, 'G');
    c.environment = "VX_a|b&c=d";
    EXPECT_EQ(BuildOrderRequest(order(), cash(), c).text,
              std::string(kHead) + "103|CID01|1000001|5769|NN|U1|ABC12|ABC12||4|VX_abcd");
}

TEST(OrderRequestNumber, StartsAtZeroAndGrowsByOne)
{
    ResetOrderRequestNumber();
    EXPECT_EQ(TakeOrderRequestNumber(), 0);
    EXPECT_EQ(TakeOrderRequestNumber(), 1);
    EXPECT_EQ(PeekOrderRequestNumber(), 2);
    ResetOrderRequestNumber();
}

struct ReplyCase {
    const char* name;
    const char* reply;
    bool orderReply;
    bool refused;
    double orderNo;
    const char* message;
};

class PlainReplyTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(PlainReplyTest, ReadsUpToTheFirstEmptyField)
{
    const PlainOrderReply r = ParsePlainOrderReply(GetParam().reply);
    EXPECT_EQ(r.orderReply, GetParam().orderReply);
    EXPECT_EQ(r.refused, GetParam().refused);
    EXPECT_EQ(r.orderNo, GetParam().orderNo);
    EXPECT_EQ(r.message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlainReplyTest,
    ::testing::Values(ReplyCase{"Accepted", "0|x|12345|1|Placed", true, false, 12345, "Placed"},
                      ReplyCase{"EmptySecondFieldStops", "0||12345|0|Placed", true, false, 0, ""},
                      ReplyCase{"LeadingBarSkipped", "|0|x|12345|1|Placed", true, false, 12345, "Placed"},
                      ReplyCase{"Trimmed", " 0 | x | 777 | 1 |  Done  |extra", true, false, 777, "Done"},
                      ReplyCase{"Refused", "9999|1|0|0|RMS", true, true, 0, kOrderRefusedText},
                      ReplyCase{"Empty", "", false, false, 0, ""},
                      ReplyCase{"Short", "0|x", true, false, 0, ""},
                      ReplyCase{"ErrorPage", "<html>Bad Gateway</html>", false, false, 0, ""},
                      ReplyCase{"ErrorPageWithBars", "<html>502|x|12345|0|Bad Gateway</html>", false, false, 0, ""},
                      ReplyCase{"NumberThenText", "502 Bad Gateway|x|12345|0|Bad", false, false, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SmartReply, OneOrTwoRoutesAndTheRemainder)
{
    SmartOrderReply r = ParseSmartOrderReply("0|x|111|0|Route one|a|b|5|150000|3|1^222|z|Route two|q|2|150100");
    ASSERT_TRUE(r.accepted);
    ASSERT_EQ(r.fills.size(), 2u);
    EXPECT_EQ(r.fills[0].orderNo, 111);
    EXPECT_EQ(r.fills[0].filledQty, 5);
    EXPECT_EQ(r.fills[1].orderNo, 222);
    EXPECT_EQ(r.fills[1].pricePaise, 150100);
    EXPECT_EQ(r.text, "Route one\nRoute two\nRemaining Order Qty : 3");

    r = ParseSmartOrderReply("0|x|111|1|Not routed");
    EXPECT_FALSE(r.accepted);
    EXPECT_TRUE(r.fills.empty());
    EXPECT_EQ(r.text, "Not routed");

    // A body whose first field is no number is no order reply.
    r = ParseSmartOrderReply("<html>502|x|111|0|Bad Gateway|a|b|5|150000|0</html>");
    EXPECT_FALSE(r.orderReply);
    EXPECT_FALSE(r.accepted);
    EXPECT_TRUE(r.fills.empty());

    // Short replies read missing fields as empty.
    r = ParseSmartOrderReply("0|x|111|0|Only five");
    ASSERT_EQ(r.fills.size(), 1u);
    EXPECT_EQ(r.fills[0].filledQty, 0);
    EXPECT_EQ(r.text, "Only five");
}

} // namespace

} // namespace test_order_records
