// The margin query's checks, routes, reply and formulas; the trailing
// stop-loss requests byte by byte, their replies and the panel's rules.
#include "orders/OrderMargin.h"
#include "orders/TsloOrder.h"
#include "orders/OrderFormRules.h"

#include "app/base/FixedText.h"
#include "app/base/MessageBox.h"

#include <gtest/gtest.h>

#include <string>

namespace test_tslo_margin {

namespace {

OrderSecurity cash()
{
    OrderSecurity s;
    s.index = 3;
    s.token = 2885;
    s.wtoken = 5769;
    s.exchange = "NN";
    s.series = "EQ";
    s.marketLot = 1;
    s.ltp = 15000;
    return s;
}

MarginInput marginInput(OrderSecurity sec, int qty, std::string price, int side)
{
    MarginInput in;
    in.clientCode = "ABCDE";
    in.exchangeText = "NSE";
    in.quantity = qty;
    in.priceText = std::move(price);
    in.sideIndex = side;
    in.security = std::move(sec);
    in.clientId = "C1";
    in.userId = "U1";
    return in;
}

TEST(MarginQuery, PlainBuyIsAnsweredAtOnceAndAnEmptyPriceUsesTheLastPrice)
{
    MarginPlan p = PlanMargin(marginInput(cash(), 10, "250.50", 0));
    EXPECT_FALSE(p.ask);
    EXPECT_TRUE(p.request.empty());
    EXPECT_EQ(p.answer.text, "Required Margin to place this order is 2505.00");
    EXPECT_EQ(p.answer.caption, "Required Margin");

    p = PlanMargin(marginInput(cash(), 2, "", 0));
    EXPECT_EQ(p.answer.text, "Required Margin to place this order is 300.00");
}

TEST(MarginQuery, ChecksRefuseInOrder)
{
    struct Case {
        const char* name;
        MarginInput in;
        const char* text;
        MarginFocus focus;
    };
    MarginInput locked = marginInput(cash(), 10, "1", 0);
    locked.terminalLocked = true;
    MarginInput noSec = marginInput(OrderSecurity{}, 10, "1", 0);
    MarginInput shortClient = marginInput(cash(), 10, "1", 0);
    shortClient.clientCode = "ABCD";
    MarginInput spacedClient = marginInput(cash(), 10, "1", 0);
    spacedClient.clientCode = "AB CDE";
    MarginInput noExch = marginInput(cash(), 10, "1", 0);
    noExch.exchangeText = "";
    const Case cases[] = {
        {"locked", locked, "Terminal is Locked. Pls Unlock to calculate margin.", MarginFocus::None},
        {"no security", noSec, "Please select security to calculate margin", MarginFocus::None},
        {"short client", shortClient, "Please Select proper Client to calculate margin", MarginFocus::Client},
        {"spaced client", spacedClient, "Please Select proper Client to calculate margin", MarginFocus::Client},
        {"no exchange", noExch, "Please Select proper exchange to calculate margin", MarginFocus::Exchange},
        {"zero qty", marginInput(cash(), 0, "1", 0), "Please enter Quantity to calculate margin", MarginFocus::Quantity},
        {"negative qty", marginInput(cash(), -5, "1", 0), "Please enter Quantity to calculate margin",
         MarginFocus::Quantity},
        {"letters", marginInput(cash(), 5, "1a", 0), "Please enter Price to calculate margin", MarginFocus::Price},
        {"sign", marginInput(cash(), 5, "-1", 0), "Please enter Price to calculate margin", MarginFocus::Price},
    };
    for (const Case& c : cases) {
        const MarginPlan p = PlanMargin(c.in);
        EXPECT_EQ(p.refusal.text, c.text) << c.name;
        EXPECT_EQ(p.focus, c.focus) << c.name;
        EXPECT_FALSE(p.ask) << c.name;
    }
    EXPECT_TRUE(PlanMargin(locked).cancelForm);
    EXPECT_EQ(PlanMargin(noSec).refusal.caption, "Validation failed");
}

TEST(MarginQuery, OptionAndCurrencyBuysAsk)
{
    OrderSecurity opt = cash();
    opt.series = "OC";
    opt.derivative = 1;
    opt.token = 500;
    const MarginInput in = marginInput(opt, 10, "100", 0);
    const MarginPlan p = PlanMargin(in);
    ASSERT_TRUE(p.ask);
    EXPECT_EQ(p.request, "RiskData=405|C1|U1|ABCDE|ABCDE|4|500|NN|1");
    MarginOutcome o = ReadMarginReply(in, p, "455|0|OK|ABCDE||500|NN|1|2.0");
    EXPECT_TRUE(o.hasMargin);
    EXPECT_EQ(o.message.text, "Required Margin to place this order is 500.00"); // 10 x 100 / 2
    EXPECT_EQ(o.message.caption, "Required Margin");

    OrderSecurity fx = cash();
    fx.exchange = "CN";
    fx.currency = 1;
    fx.derivative = 1;
    fx.series = "FC";
    fx.token = 77;
    fx.lotUnits = 1000;
    MarginInput fin = marginInput(fx, 2000, "83.2500", 0); // 2 lots: the form's quantity holds the units
    fin.exchangeText = "NSE-FX";
    const MarginPlan fp = PlanMargin(fin);
    ASSERT_TRUE(fp.ask);
    EXPECT_EQ(fp.request, "RiskData=405|C1|U1|ABCDE|ABCDE|4|77|CN|2");
    o = ReadMarginReply(fin, fp, "455|0|OK|ABCDE||77|CN|2|83.25");
    EXPECT_EQ(o.message.text, "Required Margin to place this order is 166500.0000"); // 2 x 83.25 x 1000
}

TEST(MarginQuery, SellUsesTheStrikeOnlyWhenThereIsOne)
{
    OrderSecurity fut = cash();
    fut.series = "FS";
    fut.derivative = 1;
    MarginInput in = marginInput(fut, 50, "200", 1);
    MarginPlan p = PlanMargin(in);
    ASSERT_TRUE(p.ask);
    EXPECT_DOUBLE_EQ(p.price, 200);
    const MarginOutcome o = ReadMarginReply(in, p, "455|0|OK|ABCDE||2885|NN|1|5");
    EXPECT_EQ(o.message.text, "Required Margin to place this order is 2000.00"); // 50 x 200 / 5

    fut.strike = 180;
    p = PlanMargin(marginInput(fut, 50, "200", 1));
    EXPECT_DOUBLE_EQ(p.price, 180);
}

TEST(MarginQuery, ReplyFaults)
{
    OrderSecurity opt = cash();
    opt.series = "OS";
    opt.derivative = 1;
    const MarginInput in = marginInput(opt, 10, "100", 1);
    const MarginPlan p = PlanMargin(in);
    struct Case {
        const char* reply;
        const char* text;
        const char* caption;
    };
    const Case cases[] = {
        {"", "No response received from server", ""},
        {"455|0|OK", "", ""}, // fewer than 4 fields: nothing shown
        {"455|0|OK|ABCDE|", "", ""}, // no rate: nothing shown
        {"456|0|OK|ABCDE||2885|NN|1|2", "Invalid response received from server", ""},
        {"455|1|Client blocked|ABCDE", "Client blocked", "Error"},
        {"455|0|OK|ABCDE||9999|NN|1|2", "Mismatch in the send received data values", "Server Error"},
        {"455|0|OK|ZZZZZ||2885|NN|1|2", "Mismatch in the send received data values", "Server Error"},
        {"455|0|OK|ABCDE||2885|NN|1|0", "Zero multiple value received from server", ""},
        {"455|0|OK|ABCDE||2885|NN|1|-3", "Zero multiple value received from server", ""},
    };
    for (const Case& c : cases) {
        const MarginOutcome o = ReadMarginReply(in, p, c.reply);
        EXPECT_EQ(o.message.text, c.text) << c.reply;
        EXPECT_EQ(o.message.caption, c.caption) << c.reply;
        EXPECT_FALSE(o.hasMargin) << c.reply;
    }
}

TEST(MarginQuery, LotBasedFormulasAndAZeroDenominator)
{
    OrderSecurity com = cash();
    com.exchange = "MC";
    com.series = "CO";
    com.commodity = 1;
    com.marketLot = 10;
    com.lotUnits = 100;
    com.denominator = 100;
    com.strike = 50;
    // A "CO" sold: 4 lots (quantity 40) of 100 units priced per 100 are 40
    // priced units, valued at the strike over the rate: 40 x 50 / 2.
    MarginInput in = marginInput(com, 40, "60", 1);
    MarginPlan p = PlanMargin(in);
    double m = 0;
    std::string err;
    ASSERT_TRUE(ComputeMargin(in, p, 2, m, err));
    EXPECT_DOUBLE_EQ(m, 1000.0);

    com.denominator = 0;
    in = marginInput(com, 40, "60", 1);
    p = PlanMargin(in);
    EXPECT_FALSE(ComputeMargin(in, p, 2, m, err));
    EXPECT_FALSE(err.empty());
    const MarginOutcome o = ReadMarginReply(in, p, "455|0|OK|ABCDE||2885|MC|0|2");
    EXPECT_FALSE(o.hasMargin);
    EXPECT_EQ(o.message.text, err);
}

// ---- trailing stop-loss requests -------------------------------------------

COrderData tsloOrder(short kind)
{
    COrderData d;
    CopyFixedText(d.client_id, "C1");
    CopyFixedText(d.client_code, "ABCDE");
    CopyFixedText(d.exchange, "NN");
    CopyFixedText(d.validity, "GFD");
    d.trailing_type = kind;
    d.side = 'B';
    d.trailing_side = 'S';
    d.quantity = 10;
    d.price = 25050;
    d.disclosed = 0;
    d.trigger = 24850;
    d.spread = 2;
    d.trailing_when = 0;
    d.bp_price = -1;
    d.bp_disclosed = -1;
    d.trailing_order_no = 77;
    return d;
}

TsloRequestContext tsloContext(int mode)
{
    TsloRequestContext c;
    c.mode = mode;
    c.userId = "U1";
    c.infoText = "2.3.0.20 DEV1";
    return c;
}

TEST(TsloRequest, GoldenTexts)
{
    const OrderSecurity sec = cash();
    EXPECT_EQ(BuildTsloRequest(tsloOrder(3), sec, tsloContext(1)).text,
              "NoOfOrders=1&OrderData1=121|C1|U1|ABCDE|ABCDE|3|N|2885|NN|B|10|25050.00|0|24850.00|S|2.0000|0.00|"
              "-1.00|-1|1|2.3.0.20 DEV1|GFD||4|0");
    COrderData bp = tsloOrder(4);
    bp.bp_price = 26000;
    bp.bp_disclosed = 0;
    bp.auto_square_off = 1;
    EXPECT_EQ(BuildTsloRequest(bp, sec, tsloContext(1)).text,
              "NoOfOrders=1&OrderData1=121|C1|U1|ABCDE|ABCDE|4|N|2885|NN|B|10|25050.00|0|24850.00|S|2.0000|0.00|"
              "26000.00|0|1|2.3.0.20 DEV1|GFD||4|1");
    // A modification whose trailing fields are locked sends them as -1.
    COrderData mod = tsloOrder(3);
    mod.spread = -1;
    mod.trigger = -1;
    mod.trailing_when = -1;
    mod.first_leg_traded = 4;
    const TsloRequest r = BuildTsloRequest(mod, sec, tsloContext(2));
    EXPECT_EQ(r.code, 122);
    EXPECT_EQ(r.text, "NoOfOrders=1&OrderData1=122|C1|U1|ABCDE|ABCDE|3|77|N|10|4|25050.00|0|-1.00|-1.0000|-1.00|"
                      "-1.00|-1|1|2.3.0.20 DEV1|GFD||4|0");
    EXPECT_EQ(BuildTsloRequest(tsloOrder(3), sec, tsloContext(3)).text,
              "NoOfOrders=1&OrderData1=123|C1|U1|ABCDE|ABCDE|3|77|2.3.0.20 DEV1||4");
    // No client-environment text, no request number.
    EXPECT_EQ(r.text.find("OrdReqNo"), std::string::npos);
    EXPECT_EQ(BuildTsloRequest(tsloOrder(0), sec, tsloContext(1)).code, 0);
    EXPECT_EQ(BuildTsloRequest(tsloOrder(3), sec, tsloContext(4)).code, 0);
}

TEST(TsloRequest, InfoTextHoldsNoSeparators)
{
    SetInfoTextForTest("");
    const std::string info = GetInfoText();
    EXPECT_EQ(info.find_first_of("|&="), std::string::npos);
}

TEST(TsloReply, Table)
{
    struct Case {
        int code;
        const char* reply;
        TsloReply::Kind kind;
        const char* message;
        int id;
    };
    const Case cases[] = {
        {122, "171|0|Modified.|||5", TsloReply::Kind::Invalid, "Invalid response received from server", 0},
        {121, "171|0|Order placed. Trailing starts on fill.|||42", TsloReply::Kind::Accepted,
         "Order placed\n Trailing starts on fill\n", 42},
        {121, "171|0|Order placed", TsloReply::Kind::Incomplete, "", 0},
        {121, "", TsloReply::Kind::Incomplete, "", 0},
        {121, "171|1|Insufficient funds|", TsloReply::Kind::Refused, "Insufficient funds", 0},
        {123, "173|0|Cancelled|", TsloReply::Kind::Accepted, "Cancelled", 0},
    };
    for (const Case& c : cases) {
        const TsloReply r = ParseTsloReply(c.code, c.reply);
        EXPECT_EQ(r.kind, c.kind) << c.reply;
        EXPECT_EQ(r.message, c.message) << c.reply;
        EXPECT_EQ(r.trailingId, c.id) << c.reply;
    }
    EXPECT_TRUE(ParseTsloReply(123, "173|0|Cancelled|").idMissing);
}

TEST(TsloPanel, KindsSidesAndTrigger)
{
    EXPECT_EQ(TsloKindOnExpand(0, 1), 3);
    EXPECT_EQ(TsloTrailSideOnExpand('B', 1), 'S');
    EXPECT_EQ(TsloTrailSideOnExpand('S', 1), 'B');
    for (int mode : {7, 8, 14}) {
        EXPECT_EQ(TsloKindOnExpand(0, mode), 1);
        EXPECT_EQ(TsloTrailSideOnExpand('B', mode), 'B');
    }
    EXPECT_EQ(TsloKindOnExpand(5, 1), 5);
    EXPECT_EQ(TsloKindWithBookProfit(3, true), 4);
    EXPECT_EQ(TsloKindWithBookProfit(1, true), 2);
    EXPECT_EQ(TsloKindWithBookProfit(4, false), 3);
    EXPECT_EQ(TsloKindForValidation(0, true, 1), 4);
    EXPECT_EQ(TsloKindForValidation(0, true, 2), 2);
    EXPECT_EQ(TsloKindForValidation(0, false, 7), 1);

    EXPECT_DOUBLE_EQ(TsloSpinStep(0.03, -1, 0.05), 0.0);
    EXPECT_DOUBLE_EQ(TsloSpinStep(0.10, 1, 0.05), 0.15);
    EXPECT_DOUBLE_EQ(TsloSpinStep(1.00, 1, 0), 1.01);

    // The trailing side decides the direction (a buy order trails with side 'S').
    EXPECT_DOUBLE_EQ(TsloTrailingTrigger('B', 2, 100, 90), 102.0);
    EXPECT_DOUBLE_EQ(TsloTrailingTrigger('S', 2, 100, 90), 98.0);
    EXPECT_DOUBLE_EQ(TsloTrailingTrigger('S', 2, 0, 90), 88.0);
    EXPECT_LT(TsloTrailingTrigger('S', 0, 100, 90), 0);
    EXPECT_DOUBLE_EQ(TsloTriggerBase(true, true, 120, 3, 100, 95), 95);
    EXPECT_DOUBLE_EQ(TsloTriggerBase(false, true, 120, 3, 100, 95), 120);
    EXPECT_DOUBLE_EQ(TsloTriggerBase(false, false, 0, 3, 100, 95), 100);
    EXPECT_DOUBLE_EQ(TsloTriggerBase(false, false, 0, 1, 100, 95), 95);
}

TEST(TsloPanel, ChecksOfTheTrailingFields)
{
    auto input = [] {
        TsloPanelInput in;
        in.kind = 3;
        in.spreadText = "2";
        in.ltpPaise = 10000; // 100.00
        return in;
    };
    TsloPanelOutcome o = CheckTsloPanel(input());
    EXPECT_TRUE(o.message.empty());
    EXPECT_DOUBLE_EQ(o.spread, 2);
    EXPECT_DOUBLE_EQ(o.trailingWhen, 0); // "Market"
    EXPECT_DOUBLE_EQ(o.bpPrice, -1);
    EXPECT_EQ(o.kind, 3);

    struct Case {
        const char* name;
        TsloPanelInput in;
        const char* message;
        int focus;
    };
    TsloPanelInput badSpread = input();
    badSpread.spreadText = "2a";
    TsloPanelInput zeroSpread = input();
    zeroSpread.spreadText = "";
    TsloPanelInput wideSpread = input();
    wideSpread.spreadText = "100";
    TsloPanelInput whenZero = input();
    whenZero.market = false;
    whenZero.whenText = "0";
    TsloPanelInput whenFar = input();
    whenFar.market = false;
    whenFar.whenText = "200.01";
    TsloPanelInput bpEmpty = input();
    bpEmpty.bookProfit = true;
    TsloPanelInput bpFar = input();
    bpFar.bookProfit = true;
    bpFar.bpPriceText = "250";
    const Case cases[] = {
        {"bad spread", badSpread, "Please enter Valid Spread for the Order", tslopanel::kSpread},
        {"no spread", zeroSpread, "TSLO Spread cannot be Blank or Zero [0.000000].", tslopanel::kSpread},
        {"wide spread", wideSpread, "TSLO Spread is out of range.", tslopanel::kSpread},
        {"when zero", whenZero, "Trailing When cannot be Blank or Zero.", tslopanel::kWhenPrice},
        {"when far", whenFar, "Trailing When is out of range.", tslopanel::kWhenPrice},
        {"bp empty", bpEmpty, "Book Profit Price cannot be Blank or Zero.", tslopanel::kBpPrice},
        {"bp far", bpFar, "Book Profit Price is out of range.", tslopanel::kBpPrice},
    };
    for (const Case& c : cases) {
        const TsloPanelOutcome r = CheckTsloPanel(c.in);
        EXPECT_EQ(r.message, c.message) << c.name;
        EXPECT_EQ(r.focusId, c.focus) << c.name;
    }

    TsloPanelInput bp = input();
    bp.kind = 0;
    bp.bookProfit = true;
    bp.bpPriceText = "104.50";
    bp.market = false;
    bp.whenText = "101.25";
    o = CheckTsloPanel(bp);
    ASSERT_TRUE(o.message.empty()) << o.message;
    EXPECT_EQ(o.kind, 4);
    EXPECT_DOUBLE_EQ(o.bpPrice, 10450);
    EXPECT_DOUBLE_EQ(o.trailingWhen, 10125);
    EXPECT_EQ(o.bpDisclosed, -1);
}

TEST(OrderFormRules, SmartRoutingBrowserAndChargesAddress)
{
    bool info = false;
    EXPECT_EQ(SorRefusal("IOC", "Normal", false, &info), "Cannot Place Smart Order as IOC");
    EXPECT_TRUE(info);
    EXPECT_EQ(SorRefusal("GFD", "Delivery", false), "Cannot Place Smart Order as Delivery");
    EXPECT_EQ(SorRefusal("GFD", "Normal", true, &info), "Cannot Place Smart Order as AMO.");
    EXPECT_FALSE(info);
    EXPECT_EQ(SorRefusal("GFD", "Normal", false), "");

    EXPECT_EQ(BrowserCommandWithArgument("firefox"), "firefox %1");
    EXPECT_EQ(BrowserCommandWithArgument("xdg-open %1"), "xdg-open %1");

    EXPECT_EQ(EstimatedChargesText("U1", "C1", 104, "AB&C=1"), "LoginData=1002|U1|C1|104&ClientUserId=AB%26C%3D1");
    EXPECT_EQ(EstimatedChargesAddress("https://web.example", "q"), "https://web.example/qtrade/qlogin.exe?q");
    EXPECT_EQ(EstimatedChargesAddress("file:///etc", "q"), "");
}

TEST(OrderFormRules, PriceSpinsStopAtZeroAndAtTheValueLimit)
{
    struct Case {
        double value;
        int direction;
        double step, limit, expected;
    };
    const Case cases[] = {
        {100.00, 1, 0.05, 1000000, 100.05}, {0.03, -1, 0.05, 1000000, 0.00},  {4.30, 1, 0.05, 0, 4.35},
        {999.95, 1, 0.05, 1000, 1000.00},   {1000.00, 1, 0.05, 1000, 1000.00}, {999.99, 1, 0.05, 1000, 999.99},
        {1000.00, -1, 0.05, 1000, 999.95},  {5.00, 1, 0, 1000, 5.01},           {2.0, 1, 1.0, 1000, 3.0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(PriceSpinStep(c.value, c.direction, c.step, c.limit), c.expected)
            << c.value << " " << c.direction << " " << c.step << " " << c.limit;
}

TEST(OrderFormRules, AHeldKeyAcceleratesAfterThreeSeconds)
{
    HeldKeyTracker hold;
    int64_t t = 10000;
    EXPECT_FALSE(hold.press(1, t));
    for (int i = 0; i < 30; ++i) // repeats every 100 ms for 3 s
        EXPECT_FALSE(hold.press(1, t += 100)) << i;
    EXPECT_TRUE(hold.press(1, t += 100));
    // Turning round, or letting go for more than 600 ms, starts a new hold.
    EXPECT_FALSE(hold.press(-1, t += 100));
    EXPECT_FALSE(hold.press(-1, t += 3100));
    EXPECT_FALSE(hold.press(-1, t += 700));
}

} // namespace

} // namespace test_tslo_margin
