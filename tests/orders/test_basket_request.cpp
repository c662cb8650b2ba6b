// The basket request without its window: the checks in their order, the
// records of the three modes, the placing lines, the alert question and the
// reply's records.
#include "orders/BasketMargin.h"
#include "orders/BasketRequest.h"
#include "orders/ConvertPositionRequest.h"
#include "orders/OrderReply.h"

#include "BasketDesk.h"
#include "ConversionDesk.h"
#include "OrderDesk.h"

#include <gtest/gtest.h>

#include <map>

namespace test_basket_request {

namespace {

OrderSecurity security(int index, const std::string& exch, int tick, int lot = 1)
{
    OrderSecurity s;
    s.index = index;
    s.token = 1000 + index;
    s.scripCode = 5000 + index; // legs send the scrip code, never the token
    s.exchange = exch;
    s.displayKey = "SEC" + std::to_string(index);
    s.tickSize = tick;
    s.marketLot = lot;
    s.lotUnits = 1;
    s.denominator = 1;
    return s;
}

class BasketRequestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        secs[0] = security(0, "NN", 500);          // NSE equity, tick 0.05
        secs[1] = security(1, "BN", 5, 25);        // BSE derivative, tick in paise
        secs[1].derivative = 1;
        secs[2] = security(2, "CN", 25, 1);        // currency, four decimals
        secs[2].currency = 1;
        secs[2].lotUnits = 1000;
        secs[3] = security(3, "NN", 500);
        secs[3].alertFlag1 = secs[3].alertFlag2 = 1;
        secs[3].alertText = "Surveillance";
        secs[4] = security(4, "NN", 50);           // a tick the equity rule cannot use
        ctx.userId = "U1";
        ctx.sessionId = "CID01";
        ctx.environment = "DEV";
        ctx.qtyLimit = 1000;
        ctx.valueLimit = 1000000;
        ctx.security = [this](int i) { return secs.count(i) ? secs[i] : OrderSecurity {}; };
        ctx.markCode = [](const std::string& m) { return m == "Delivery" ? 1 : m == "Normal" ? 0 : -1; };
        ctx.takeRequestNumber = [this] { return next++; };
        form.client = "ABC12";
    }
    BasketLegRow& leg(int k, int sec, const std::string& qty, const std::string& price, const std::string& action = "BUY")
    {
        BasketLegRow& r = form.legs[size_t(k)];
        r.selected = true;
        r.secIndex = sec;
        r.name = secs[sec].displayKey;
        r.action = action;
        r.exchange = secs[sec].exchange == "NN" ? "NSE" : secs[sec].exchange == "BN" ? "BSE" : "NSE-FX";
        r.mark = "Normal";
        r.quantity = qty;
        r.price = price;
        return r;
    }
    std::string failure()
    {
        BasketRequest req;
        BasketFailure f;
        EXPECT_FALSE(BuildBasketRequest(form, ctx, req, f));
        return f.text;
    }
    std::map<int, OrderSecurity> secs;
    BasketContext ctx;
    BasketForm form;
    int next = 41;
};

TEST_F(BasketRequestTest, TickedRowsTwoAndFourMakeRecordsOneAndTwo)
{
    leg(1, 0, "10", "100.05");
    leg(3, 1, "50", "100.05", "SELL").trigger = "";
    BasketRequest req;
    BasketFailure f;
    ASSERT_TRUE(BuildBasketRequest(form, ctx, req, f)) << f.text;
    EXPECT_EQ(req.code, 301);
    EXPECT_EQ(req.requestNumber, 41);
    EXPECT_EQ(next, 42);
    EXPECT_EQ(req.text,
              "OrdReqNo=41&DDSId=0&NoOfOrders=2&TransCode=301&UserId=U1&ClientId=ABC12&ClientGrp=ABC12&SessionId=CID01"
              "&TPassword="
              "&OrderData1=0|N|00:00:00:00|5000|NN|B|10|10005.00|00-00-0000|0|0.00|0|GFD|C|0|N|0|NA|DEV"
              "&OrderData2=1|N|00:00:00:00|5001|BN|S|50|10005.00|00-00-0000|0|0.00|0|GFD|C|0|N|0|NA|DEV"
              "&AClient=N");
    ASSERT_EQ(req.lines.size(), 2u);
    EXPECT_EQ(req.legs, (std::vector<int>{1, 3}));
    EXPECT_EQ(req.lines[0], "Placing Basket Order No :1, Normal BUY Order for Client ABC12, Security SEC0|, Qty 10, "
                            "Price 100.05 Trigger Price 0.00");
    EXPECT_EQ(req.lines[1].rfind("Placing Basket Order No :2, Normal SELL", 0), 0u);
    EXPECT_TRUE(req.alertText.empty());
}

TEST_F(BasketRequestTest, TheChecksRunInOrderAndOnlyLegFailuresUseARequestNumber)
{
    EXPECT_EQ(failure(), "Please select checkbox for placing the Order");
    EXPECT_EQ(next, 41);
    form.client = "AB 12";
    leg(0, 0, "10", "100.05");
    EXPECT_EQ(failure(), "Please Select proper Client for the Order");
    form.client = "  ABC12 ";

    struct Case {
        const char* qty;
        const char* price;
        const char* trigger;
        const char* disclosed;
        const char* expected; // empty: passes
    };
    const Case cases[] = {
        {"0", "100.05", "", "", "Please enter Quantity for the Order"},
        {"-5", "100.05", "", "", "Please enter Quantity for the Order"},
        {"10", "100.05", "", "-1", "Please enter Disclosed Quantity in mulitple of Market Lot :1"},
        {"10", "", "", "", "Please enter Price for the Order"},
        {"10", "1O0", "", "", "Please enter Valid Price for the Order"},
        {"10", "12.5.0", "", "", "Please enter Valid Price for the Order"},
        {"10", "100.055", "", "", "Please enter Valid Price for the Order. Only 2 decimal position is allowed."},
        {"10", "100.03", "", "", "Please enter Price in mulitple of Tick Size :0.05"},
        {"10", "4.35", "", "", ""},
        {"10", "100.05", "1#", "", "Please enter Valid Trigger Price for the Order"},
        {"10", "100.05", "99.01", "", "Please enter Trigger Price in mulitple of Tick Size :0.05"},
        {"1001", "100.05", "", "", "Please enter Quantity less than Order Qty Limit :1000"},
        {"1000", "1000.05", "", "", "Please enter Order Value less than Order Value Limit :1000000"},
    };
    for (const Case& c : cases) {
        BasketLegRow& r = form.legs[0];
        r.quantity = c.qty;
        r.price = c.price;
        r.trigger = c.trigger;
        r.disclosed = c.disclosed;
        const int before = next;
        BasketRequest req;
        BasketFailure f;
        const bool ok = BuildBasketRequest(form, ctx, req, f);
        EXPECT_EQ(ok, std::string(c.expected).empty()) << c.qty << " " << c.price << " " << f.text;
        EXPECT_EQ(f.text, c.expected) << c.qty << " " << c.price;
        EXPECT_EQ(next, before + 1) << "a leg check uses a request number";
    }

    // A lot multiple, and a three-decimal price on a currency leg passes the
    // decimal test and meets the tick test.
    BasketLegRow& fut = leg(0, 1, "30", "100.05");
    fut.trigger = "";
    EXPECT_EQ(failure(), "Please enter Quantity in mulitple of Market Lot :25");
    BasketLegRow& fx = leg(0, 2, "3000", "83.123");
    fx.lots = "3";
    EXPECT_EQ(failure(), "Please enter Price in mulitple of Tick Size :0.0025");
    fx.price = "83.1225";
    ctx.qtyLimit = 5000;
    BasketRequest req;
    BasketFailure f;
    ASSERT_TRUE(BuildBasketRequest(form, ctx, req, f)) << f.text;
    EXPECT_NE(req.text.find("&OrderData1=0|N|00:00:00:00|5002|CN|B|3|8312.2500|00-00-0000|0|0.0000|"),
              std::string::npos)
        << req.text;
    // A currency leg goes out in lots: a Lot box of 0 (or empty) is refused.
    fx.lots = "0";
    EXPECT_EQ(failure(), "Please enter at least one Lot for the Order");
    fx.lots = "";
    EXPECT_EQ(failure(), "Please enter at least one Lot for the Order");
    // A tick below 100 in the equity rule would divide by zero: refused.
    leg(0, 4, "10", "100.05");
    EXPECT_EQ(failure(), "Please enter Price in mulitple of Tick Size :0.01");
}

TEST_F(BasketRequestTest, ModifyAndCancelRecordsAndTheirLimits)
{
    form.mode = kBasketModify;
    BasketLegRow& m = leg(0, 0, "20", "101.50");
    m.orderNo = 1000123;
    m.previousQty = 10;
    m.previousPrice = 100.05;
    BasketRequest req;
    BasketFailure f;
    ASSERT_TRUE(BuildBasketRequest(form, ctx, req, f)) << f.text;
    EXPECT_NE(req.text.find("TransCode=311"), std::string::npos);
    EXPECT_NE(req.text.find("&OrderData1=0|1000123|N|00:00:00:00|5000|NN|B|10|20|10005.00|10150.00|00-00-0000|0|0.00|"),
              std::string::npos)
        << req.text;
    EXPECT_NE(req.lines[0].find("Old Qty 10, New Qty 20, Old Price 100.05, New Price 101.50"), std::string::npos);

    form.mode = kBasketCancel;
    m.legClient = "XYZ99";
    m.quantity = "5000"; // the limits are not tested in cancel mode
    m.price = "20000.00";
    ASSERT_TRUE(BuildBasketRequest(form, ctx, req, f)) << f.text;
    EXPECT_NE(req.text.find("TransCode=321"), std::string::npos);
    EXPECT_NE(req.text.find("&OrderData1=XYZ99|0|1000123|5000|NN|DEV&AClient=N"), std::string::npos) << req.text;
    EXPECT_NE(req.lines[0].find("Placing Cancel Basket Order No :1, Normal BUY Order for Client XYZ99"),
              std::string::npos);
}

TEST_F(BasketRequestTest, AnAlertedSecurityIsAskedOnceAndUnsafeTextsAreRefused)
{
    leg(0, 3, "1", "100.05");
    leg(2, 3, "2", "100.05");
    BasketRequest req;
    BasketFailure f;
    ASSERT_TRUE(BuildBasketRequest(form, ctx, req, f)) << f.text;
    EXPECT_EQ(req.alertText, "Surveillance\nSEC3\n would you like to continue ?\n ");

    form.passwordAsked = true;
    form.password = "ab&TransCode=1";
    EXPECT_FALSE(BuildBasketRequest(form, ctx, req, f));
    EXPECT_EQ(f.focus, BasketField::Password);
    form.password = "secret";
    ASSERT_TRUE(BuildBasketRequest(form, ctx, req, f));
    EXPECT_NE(req.text.find("&TPassword=secret&OrderData1="), std::string::npos);

    // Five long legs do not fit the RSA block: refused, never cut.
    ctx.encryption = 2;
    ctx.environment = std::string(150, 'E');
    for (int k = 0; k < kBasketLegCount; ++k)
        leg(k, 0, "1", "100.05");
    EXPECT_FALSE(BuildBasketRequest(form, ctx, req, f));
    EXPECT_NE(f.text.find("too long"), std::string::npos);
}

TEST(BasketReply, RecordsResultsAndShortRecords)
{
    const auto r = ReadBasketReply("301||1000001|0|Order Placed~9999||0|5|Insufficient margin~301|");
    ASSERT_EQ(r.size(), 3u);
    EXPECT_DOUBLE_EQ(r[0].orderNo, 1000001);
    EXPECT_EQ(BasketResultLine(1, r[0]), "Basket Order :1, Message :Order Placed");
    EXPECT_EQ(r[1].result, 9999);
    EXPECT_EQ(BasketResultLine(3, r[2]), "Basket Order :3, Message :");
    EXPECT_EQ(BasketReplyResult(r), 0);
    EXPECT_EQ(BasketReplyResult(ReadBasketReply("9999||0|0|No")), 9999);

    // An empty record answers no leg: the records after it keep the number
    // of the leg they answer.
    const auto gap = ReadBasketReply("301||1000001|0|First~~301||1000003|0|Third");
    ASSERT_EQ(gap.size(), 2u);
    EXPECT_EQ(BasketResultLine(gap[1].record + 1, gap[1]), "Basket Order :3, Message :Third");
}

} // namespace

// The broker's side: each leg becomes the desk's order, a refused one 9999.
namespace {

TEST(BasketDesk, LegsBecomeDeskOrdersAndCancelLegsCancelThem)
{
    tb::OrderDesk desk([](const std::string&, const std::string&) {}, [](const std::string&, int) { return 0LL; });
    // Legs name their security by scrip code; the desk's orders by token.
    const tb::ScripTokens tokenOf = [](const std::string&, int scripCode) {
        return scripCode > 7000000 ? scripCode - 7000000 : 0;
    };
    const std::string head
        = "OrdReqNo=7&DDSId=0&NoOfOrders=3&TransCode=301&UserId=U1&ClientId=ABC12&ClientGrp=ABC12&SessionId=CID01"
          "&TPassword=";
    std::string reply = tb::basketReply(
        tb::splitRequest(head + "&OrderData1=0|N|00:00:00:00|7001000|NN|B|10|10005.00|00-00-0000|0|0.00|0|GFD|C|0|N|0|NA|D"
                         + "&OrderData2=0|N|00:00:00:00|0|NN|S|5|10005.00|00-00-0000|0|0.00|0|GFD|C|0|N|0|NA|D"
                         + "&OrderData3=1|N|00:00:00:00|7001001|BN|S|50|10005.00|00-00-0000|0|0.00|0|GFD|C|0|N|0|NA|D"
                         + "&AClient=N"),
        desk, "U1", tokenOf);
    const auto legs = ReadBasketReply(reply);
    ASSERT_EQ(legs.size(), 3u) << reply;
    EXPECT_EQ(legs[0].status, 101);
    EXPECT_EQ(legs[1].status, 9999);
    EXPECT_EQ(legs[2].status, 201);
    const auto orders = desk.orders();
    ASSERT_EQ(orders.size(), 2u);
    EXPECT_EQ(orders[0].clientCode, "ABC12");
    EXPECT_EQ(orders[0].quantity, 10);
    EXPECT_EQ(orders[0].requestNumber, 7);
    EXPECT_EQ(orders[0].token, 1000);

    reply = tb::basketReply(tb::splitRequest("OrdReqNo=8&DDSId=0&NoOfOrders=1&TransCode=321&UserId=U1&ClientId=ABC12"
                                             "&ClientGrp=ABC12&SessionId=CID01&TPassword=&OrderData1=ABC12|0|"
                                             + std::to_string(orders[0].orderNo) + "|7001000|NN|D&AClient=N"),
                            desk, "U1", tokenOf);
    EXPECT_EQ(ReadBasketReply(reply).at(0).status, 103) << reply;
    EXPECT_EQ(desk.orders()[0].status, "CAN");
}

} // namespace

// Position conversion: the query and request texts, the replies, and the
// broker's conversion desk.
namespace {

TEST(ConvertPosition, QueryRequestAndReplies)
{
    ConversionQuery q;
    q.sessionId = "SESS01";
    q.userId = "U1";
    q.clientCode = "ABC12";
    q.side = 'S';
    q.token = 1594;
    q.exchange = "NN";
    q.product = 5;
    q.allowableQty = 7;
    q.avgPrice = 101.5;
    q.netValue = -507.5;
    q.quantity = -5;
    q.field38 = 2;
    EXPECT_EQ(BuildConversionQuery(q), "RiskData=420|SESS01|U1|ABC12|4|1|S~1594|NN|5|7|101.50|-507.50|-5|1|2");

    EXPECT_TRUE(ReadConversionQuery("420|0|||1500.25|||-5").ok);
    EXPECT_EQ(ReadConversionQuery("420|0|||1500.25|||-5").convertible, 5);
    EXPECT_DOUBLE_EQ(ReadConversionQuery("420|0|||1500.25|||-5").margin, 1500.25);
    EXPECT_FALSE(ReadConversionQuery("420|0|||1500.25").ok); // short: failed
    EXPECT_FALSE(ReadConversionQuery("420|1|||1500.25|||5").ok);
    // A quantity whose size is no int is no answer: never a negative
    // convertible quantity that no conversion could meet.
    EXPECT_EQ(ReadConversionQuery("420|0|||1.0|||-2147483647").convertible, 2147483647);
    for (const char* quantity : {"-2147483648", "2147483648", "-99999999999999999999"}) {
        const ConversionQueryResult r = ReadConversionQuery(std::string("420|0|||1.0|||") + quantity);
        EXPECT_FALSE(r.ok) << quantity;
        EXPECT_EQ(r.convertible, 0) << quantity;
    }

    EXPECT_EQ(ConversionExchangeCode("MCX-CM"), "MC");
    EXPECT_EQ(ConversionExchangeCode("BSE-CDX"), "CB");
    EXPECT_FALSE(ConversionQuantityValid(6, 5));
    EXPECT_FALSE(ConversionQuantityValid(0, 5));
    EXPECT_FALSE(ConversionQuantityValid(-1, 5));
    EXPECT_TRUE(ConversionQuantityValid(5, 5));

    ConversionRequest r;
    r.sessionId = "SESS01";
    r.userId = "U1";
    r.clientCode = "ABC12";
    r.token = 1594;
    r.exchange = "MC";
    r.side = 'S';
    r.quantity = 5;
    r.infoText = "INFO";
    EXPECT_EQ(BuildConversionRequest(r), "NoOfOrders=1&OrderData1=110|SESS01|U1|ABC12|ABC12|1594|MC|S|5||4|INFO");

    struct Case {
        int status;
        const char* reply;
        std::string text;
        const char* caption;
        bool unknown;
    };
    // A reply that failed after the request left leaves the conversion's
    // state unknown; one that never left is a plain connection error.
    const Case cases[] = {
        {200, "160|0|Converted||", "Converted", "Success", false},
        {200, "160|3|Not allowed||", "Not allowed", "Error", false},
        {200, "160|0|Converted", "Invalid response received from server", "", false},
        {200, "161|0|x||", "Invalid response received from server", "", false},
        {200, "", OrderStateUnknownText(200), "", true},
        {407, "", OrderStateUnknownText(407), "", true},
        {500, "", OrderStateUnknownText(500), "", true},
        {-1, "", "Internet Connectivity Error [-1]. Pls contact System Administrator", "", false},
    };
    for (const Case& c : cases) {
        const ConversionOutcome o = ReadConversionReply(c.status, c.reply);
        EXPECT_EQ(o.text, c.text) << c.status << " " << c.reply;
        EXPECT_EQ(o.caption, c.caption) << c.reply;
        EXPECT_EQ(o.stateUnknown, c.unknown) << c.status << " " << c.reply;
    }
}

TEST(ConvertPosition, TheBrokerAnswersFromTheRiskBook)
{
    tb::Universe universe(1, 0, 2026, 12, 10);
    tb::RiskDesk desk(universe, [] { return std::vector<tb::DeskOrder> {}; });
    std::vector<std::string> row(tb::RiskDesk::kPositionFields, "0");
    row[0] = "777";
    row[1] = "MC";
    row[6] = "-3";
    row[10] = "5";
    desk.editBook("XYZ99", [&](tb::RiskBook& b) { b.positions = {row}; });
    EXPECT_EQ(tb::conversionQueryReply(tb::splitRequest("RiskData=420|S|U1|XYZ99|4|1|B~777|MC|5|0|0.00|0.00|-3|1|0"),
                                       desk),
              "420|0|||250000.00|||3");
    EXPECT_EQ(ReadConversionQuery(tb::conversionQueryReply(
                                      tb::splitRequest("RiskData=420|S|U1|XYZ99|4|1|B~778|MC|5|0|0.00|0.00|-3|1|0"), desk))
                  .ok,
              false);
    const std::string over = tb::conversionReply(
        tb::splitRequest("NoOfOrders=1&OrderData1=110|S|U1|XYZ99|XYZ99|777|MC|B|4||4|I"), desk);
    EXPECT_EQ(ReadConversionReply(200, over).caption, "Error");
    const std::string ok = tb::conversionReply(
        tb::splitRequest("NoOfOrders=1&OrderData1=110|S|U1|XYZ99|XYZ99|777|MC|B|3||4|I"), desk);
    EXPECT_EQ(ReadConversionReply(200, ok).caption, "Success");
    EXPECT_EQ(desk.book("XYZ99").positions.at(0)[10], "1");
}

} // namespace

// The basket's margin: legs taking part, the option purchase, the echo check.
namespace {

TEST(BasketMargin, LegsOptionPurchaseAndEchoCheck)
{
    std::map<int, OrderSecurity> secs;
    secs[0] = security(0, "NN", 5, 25);
    secs[0].derivative = 1;
    secs[0].series = "OC";
    secs[1] = security(1, "NN", 5, 25);
    secs[1].derivative = 1;
    secs[1].series = "FS";
    auto lookup = [&](int i) { return secs.count(i) ? secs[i] : OrderSecurity {}; };
    BasketMarginInput in;
    in.client = "ABC12";
    in.clientId = "CID01";
    in.userId = "U1";
    auto& opt = in.legs[0];
    opt = {};
    opt.selected = true;
    opt.secIndex = 0;
    opt.action = "BUY";
    opt.quantity = "50";
    opt.price = "12.50";
    auto& fut = in.legs[2];
    fut.selected = true;
    fut.secIndex = 1;
    fut.action = "SELL";
    fut.quantity = "25";
    fut.price = "1000";
    std::vector<BasketMarginLeg> legs;
    BasketFailure stop;
    std::string immediate;
    ASSERT_TRUE(PrepareBasketMargin(in, lookup, legs, stop, immediate)) << stop.text;
    ASSERT_EQ(legs.size(), 2u);
    EXPECT_FALSE(legs[0].queryNeeded);
    EXPECT_DOUBLE_EQ(legs[0].margin, 625.0);
    EXPECT_EQ(legs[1].text, "RiskData=405|CID01|U1|ABC12|ABC12|4|1001|NN|1");

    // The future's reply: value / multiple; a wrong echoed token adds nothing.
    BasketMarginStep s = ReadBasketMarginReply(200, "455|0|OK|ABC12||1001|NN|1|5", legs[1], "ABC12");
    EXPECT_EQ(s.kind, BasketMarginStep::Add);
    EXPECT_DOUBLE_EQ(s.margin, 25 * 1000.0 / 5);
    s = ReadBasketMarginReply(200, "455|0|OK|ABC12||1002|NN|1|5", legs[1], "ABC12");
    EXPECT_EQ(s.kind, BasketMarginStep::Skip);
    EXPECT_EQ(s.box, "Mismatch in the send received data values");
    EXPECT_EQ(ReadBasketMarginReply(200, "455|1|No margin|ABC12", legs[1], "ABC12").kind, BasketMarginStep::Stop);
    EXPECT_EQ(ReadBasketMarginReply(200, "", legs[1], "ABC12").box, "No response received from server");
    EXPECT_EQ(BasketMarginText(625 + 5000, true, false), "Total Required Margin to place this basket order is 5625.00");

    // One leg alone: the option purchase is shown at once; a lot multiple stops.
    in.selector = 1;
    EXPECT_FALSE(PrepareBasketMargin(in, lookup, legs, stop, immediate));
    EXPECT_EQ(immediate, "Required Margin to place this order is 625.00");
    in.selector = 3;
    fut.quantity = "30";
    EXPECT_FALSE(PrepareBasketMargin(in, lookup, legs, stop, immediate));
    EXPECT_EQ(stop.text, "Please enter Quantity in mulitple of Market Lot :25");
}

TEST(BasketMargin, SoldOptionsArePricedAtTheirStrikeAndAZeroDenominatorIsRefused)
{
    std::map<int, OrderSecurity> secs;
    secs[0] = security(0, "MC", 100, 1); // a commodity option
    secs[0].commodity = 1;
    secs[0].series = "CO";
    secs[0].strike = 5000;
    secs[0].lotUnits = 100;
    secs[0].denominator = 10;
    secs[1] = security(1, "NN", 5, 25); // a stock option
    secs[1].derivative = 1;
    secs[1].series = "OS";
    secs[1].strike = 800;
    auto lookup = [&](int i) { return secs.count(i) ? secs[i] : OrderSecurity {}; };
    BasketMarginInput in;
    in.client = "ABC12";
    auto& co = in.legs[0];
    co.selected = true;
    co.secIndex = 0;
    co.action = "SELL";
    co.quantity = "2";
    co.price = "120";
    auto& os = in.legs[1];
    os.selected = true;
    os.secIndex = 1;
    os.action = "SELL";
    os.quantity = "50";
    os.price = "12.50";
    std::vector<BasketMarginLeg> legs;
    BasketFailure stop;
    std::string immediate;
    ASSERT_TRUE(PrepareBasketMargin(in, lookup, legs, stop, immediate)) << stop.text;
    ASSERT_EQ(legs.size(), 2u);
    // "CO" sold: 2 x strike 5000 x 100 units / denominator 10 / multiple 4 = 25000.
    BasketMarginStep s = ReadBasketMarginReply(200, "455|0|OK|ABC12||1000|MC|0|4", legs[0], "ABC12");
    ASSERT_EQ(s.kind, BasketMarginStep::Add);
    EXPECT_DOUBLE_EQ(s.margin, 25000.0);
    // "OS" sold: 50 x strike 800 / multiple 5 = 8000.
    s = ReadBasketMarginReply(200, "455|0|OK|ABC12||1001|NN|1|5", legs[1], "ABC12");
    ASSERT_EQ(s.kind, BasketMarginStep::Add);
    EXPECT_DOUBLE_EQ(s.margin, 8000.0);

    // A commodity without a price denominator cannot be priced: the leg is refused.
    secs[0].denominator = 0;
    EXPECT_FALSE(PrepareBasketMargin(in, lookup, legs, stop, immediate));
    EXPECT_EQ(stop.text, "Price denominator of the security is 0. Margin cannot be calculated.");
    EXPECT_EQ(stop.leg, 0);
}

} // namespace

} // namespace test_basket_request
