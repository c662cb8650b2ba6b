// The order checks: price texts, the tick rule and the check chain's messages
// in their order, with the box each one focuses.
#include "orders/OrderFormIds.h"
#include "orders/OrderValidation.h"

#include "app/base/FixedText.h"
#include "app/base/WholeNumber.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

namespace test_order_checks {

namespace {

using namespace orderform;

TEST(WholeNumber, TakesTheWholeTextOrNothingUpToItsBound)
{
    struct Case {
        const char* text;
        long long most;
        std::optional<long long> value;
    };
    const Case cases[] = {
        {"0", INT_MAX, 0},
        {"007", INT_MAX, 7},
        {"2147483646", INT_MAX, 2147483646LL},
        {"2147483647", INT_MAX, 2147483647LL},
        {"2147483648", INT_MAX, std::nullopt},
        {"99999999999999999999999", INT_MAX, std::nullopt},
        {"4999", 5000, 4999},
        {"5000", 5000, 5000},
        {"5001", 5000, std::nullopt},
        {"5", 3, std::nullopt},
        {"", INT_MAX, std::nullopt},
        {"1,000", INT_MAX, std::nullopt},
        {"10.5", INT_MAX, std::nullopt},
        {"2OO", INT_MAX, std::nullopt},
        {"+5", INT_MAX, std::nullopt},
        {"-5", INT_MAX, std::nullopt},
        {" 5", INT_MAX, std::nullopt},
        {"5 ", INT_MAX, std::nullopt},
        {"1e3", INT_MAX, std::nullopt},
        {"\xd9\xa5", INT_MAX, std::nullopt}, // an Arabic-Indic five is not an ASCII digit
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseWholeNumber(c.text, c.most), c.value) << '"' << c.text << "\" up to " << c.most;
}

struct PriceTextCase {
    const char* name;
    const char* text;
    int decimals;
    PriceTextFault fault;
};

class PriceTextTest : public ::testing::TestWithParam<PriceTextCase> {};

TEST_P(PriceTextTest, AcceptsOnlyDigitsAndOneDot)
{
    EXPECT_EQ(CheckPriceText(GetParam().text, GetParam().decimals), GetParam().fault) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PriceTextTest,
    ::testing::Values(PriceTextCase{"MarketZero", "0", 2, PriceTextFault::None},
                      PriceTextCase{"Plain", "1500.05", 2, PriceTextFault::None},
                      PriceTextCase{"Empty", "", 2, PriceTextFault::Empty},
                      PriceTextCase{"DotAlone", ".", 2, PriceTextFault::DotAlone},
                      PriceTextCase{"TwoDots", "12.5.0", 2, PriceTextFault::SecondDot},
                      PriceTextCase{"ThreeDecimals", "12.345", 2, PriceTextFault::TooManyDecimals},
                      PriceTextCase{"FourDecimalsCurrency", "1.2345", 4, PriceTextFault::None},
                      PriceTextCase{"FiveDecimalsCurrency", "1.23456", 4, PriceTextFault::TooManyDecimals},
                      PriceTextCase{"Nan", "nan", 2, PriceTextFault::BadCharacter},
                      PriceTextCase{"Inf", "inf", 2, PriceTextFault::BadCharacter},
                      PriceTextCase{"UpperNan", "NAN", 2, PriceTextFault::BadCharacter},
                      PriceTextCase{"Exponent", "1e3", 2, PriceTextFault::BadCharacter},
                      PriceTextCase{"Hex", "0x1A", 2, PriceTextFault::BadCharacter},
                      PriceTextCase{"Negative", "-5", 2, PriceTextFault::BadCharacter},
                      PriceTextCase{"Blank", "1 5", 2, PriceTextFault::BadCharacter}),
    [](const auto& info) { return std::string(info.param.name); });

OrderSecurity equity(int tick = 500, int lot = 1)
{
    OrderSecurity s;
    s.index = 3;
    s.token = 2885;
    s.wtoken = 5769;
    s.symbol = "RELIANCE";
    s.displayKey = "RELIANCE EQ";
    s.series = "EQ";
    s.exchange = "NN";
    s.marketLot = lot;
    s.tickSize = tick;
    s.ltp = 150000;
    return s;
}

OrderSecurity currencyFuture()
{
    OrderSecurity s = equity(25, 1);
    s.series = "FC";
    s.exchange = "CN";
    s.symbol = "USDINR";
    s.derivative = 1;
    s.currency = 1;
    s.lotUnits = 1000;
    return s;
}

TEST(TickRule, RoundsByPrintingNotTruncating)
{
    EXPECT_EQ(RoundedUnits(4.35 * 100), 435); // 434.99999999999994
    EXPECT_EQ(static_cast<long long>(4.35 * 100), 434);
    EXPECT_TRUE(PriceOnTick(equity(500), 4.35));
    EXPECT_TRUE(PriceOnTick(equity(500), 1500.05));
    EXPECT_FALSE(PriceOnTick(equity(500), 1500.03));
    // Currency, tick 25 in 1/10000 rupee.
    EXPECT_TRUE(PriceOnTick(currencyFuture(), 1.2350));
    EXPECT_FALSE(PriceOnTick(currencyFuture(), 1.2345));
    // Commodity and BSE derivatives count the tick in paise.
    OrderSecurity gold = equity(5);
    gold.exchange = "MC";
    gold.commodity = 1;
    gold.derivative = 1;
    EXPECT_TRUE(PriceOnTick(gold, 4.35));
    EXPECT_FALSE(PriceOnTick(gold, 4.36));
}

TEST(TickRule, NoWholeDivisorIsRefusedNotDivided)
{
    double shown = -1;
    int decimals = 0;
    EXPECT_FALSE(PriceOnTick(equity(0), 10.00, &shown, &decimals));
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(decimals, 2);
    EXPECT_FALSE(PriceOnTick(equity(50), 10.00)); // 50 / 100 is no divisor
    OrderSecurity noTick = currencyFuture();
    noTick.tickSize = 0;
    EXPECT_FALSE(PriceOnTick(noTick, 1.0));
}

// Records what the chain shows.
class RecordingPrompts final : public OrderPrompts {
public:
    void box(Box kind, const std::string& text) override { shown.push_back({kind, text}); }
    bool askYesNo(const std::string& text, const std::string& caption) override
    {
        questions.push_back({caption, text});
        return answer;
    }
    std::vector<std::pair<Box, std::string>> shown;
    std::vector<std::pair<std::string, std::string>> questions;
    bool answer = true;
};

OrderCheckContext context(const OrderSecurity& sec)
{
    OrderCheckContext c;
    c.hasActiveClient = true;
    c.activeClientId = "CID01";
    c.userId = "U1";
    c.security = sec;
    ExchangeSegment normal;
    normal.id = 3;
    CopyFixedText(normal.name, "Normal");
    normal.flag = 'A';
    c.marks = {normal};
    return c;
}

OrderFormInput goodInput()
{
    OrderFormInput in;
    in.mode = 1;
    in.account = "ABC12";
    in.securityIndex = 3;
    in.actionIndex = 0;
    in.exchangeName = "NSE";
    in.orderType = "GFD";
    in.orderMarkName = "Normal";
    in.quantity = 10;
    in.priceText = "1500.05";
    in.triggerText = "0";
    return in;
}

struct ChainCase {
    const char* name;
    void (*change)(OrderFormInput&, OrderCheckContext&);
    const char* message;
    int focus;
};

class CheckChainTest : public ::testing::TestWithParam<ChainCase> {};

TEST_P(CheckChainTest, StopsAtTheFirstFaultWithItsMessageAndFocus)
{
    OrderFormInput in = goodInput();
    OrderCheckContext ctx = context(equity());
    GetParam().change(in, ctx);
    RecordingPrompts prompts;
    const ValidationOutcome out = ValidateOrder(in, ctx, prompts);
    EXPECT_EQ(out.result, -1);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].second, GetParam().message);
    EXPECT_EQ(out.focusId, GetParam().focus);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CheckChainTest,
    ::testing::Values(
        ChainCase{"AmoWithSorFirstEvenWhenLocked",
                  [](OrderFormInput& i, OrderCheckContext& c) { i.amo = i.sor = true; c.terminalLocked = true; },
                  "Cannot Place Smart Order as AMO.", 0},
        ChainCase{"Locked", [](OrderFormInput&, OrderCheckContext& c) { c.terminalLocked = true; },
                  "Terminal is Locked. Pls Unlock to Place Order.", 0},
        ChainCase{"NoClient", [](OrderFormInput&, OrderCheckContext& c) { c.hasActiveClient = false; },
                  "Client not activated..", 0},
        ChainCase{"ShortAccount", [](OrderFormInput& i, OrderCheckContext&) { i.account = "AB1"; },
                  "Please Select proper Client for the Order", kAccount},
        ChainCase{"AccountPunctuation", [](OrderFormInput& i, OrderCheckContext&) { i.account = "AB|12"; },
                  "Please enter proper Client for the Order", kAccount},
        ChainCase{"NoSecurity", [](OrderFormInput& i, OrderCheckContext&) { i.securityIndex = -1; },
                  "Please Select proper Security for the Order", kSecurity},
        ChainCase{"NoExchange", [](OrderFormInput& i, OrderCheckContext&) { i.exchangeName.clear(); },
                  "Please Select proper exchange for the Order", kExchange},
        ChainCase{"NoOrderType", [](OrderFormInput& i, OrderCheckContext&) { i.orderType.clear(); },
                  "Please Select proper Time Restriction for the Order", kOrderType},
        ChainCase{"NoOrderMark", [](OrderFormInput& i, OrderCheckContext&) { i.orderMarkName.clear(); },
                  "Please Select proper Order Mark for the Order", kOrderMark},
        ChainCase{"NoSide", [](OrderFormInput& i, OrderCheckContext&) { i.actionIndex = -1; },
                  "Please Select Buy or Sell for the Order", kAction},
        ChainCase{"ZeroQuantity", [](OrderFormInput& i, OrderCheckContext&) { i.quantity = 0; },
                  "Please enter valid Quantity for the Order", kQuantity},
        ChainCase{"NotLotMultiple",
                  [](OrderFormInput& i, OrderCheckContext& c) { c.security.marketLot = 50; i.quantity = 75; },
                  "Please enter Quantity in mulitple of Market Lot :50", kQuantity},
        ChainCase{"ZeroLotNeverDivides", [](OrderFormInput&, OrderCheckContext& c) { c.security.marketLot = 0; },
                  "Please enter Quantity in mulitple of Market Lot :0", kQuantity},
        ChainCase{"OverQtyLimit", [](OrderFormInput& i, OrderCheckContext&) { i.quantity = 5001; },
                  "Please enter Quantity less than Order Qty Limit :5000", kQuantity},
        ChainCase{"EmptyPrice", [](OrderFormInput& i, OrderCheckContext&) { i.priceText.clear(); },
                  "Please enter Price for the Order", kPrice},
        ChainCase{"NanPrice", [](OrderFormInput& i, OrderCheckContext&) { i.priceText = "nan"; },
                  "Please enter Valid Price for the Order", kPrice},
        ChainCase{"InfPrice", [](OrderFormInput& i, OrderCheckContext&) { i.priceText = "inf"; },
                  "Please enter Valid Price for the Order", kPrice},
        ChainCase{"ExponentPrice", [](OrderFormInput& i, OrderCheckContext&) { i.priceText = "1e3"; },
                  "Please enter Valid Price for the Order", kPrice},
        ChainCase{"DotPrice", [](OrderFormInput& i, OrderCheckContext&) { i.priceText = "."; },
                  "Please enter Valid Price for the Order.", kPrice},
        ChainCase{"TwoDotsPrice", [](OrderFormInput& i, OrderCheckContext&) { i.priceText = "12.5.0"; },
                  "Please enter Valid Price for the Order. Only 1 decimal is allowed.", kPrice},
        ChainCase{"ThreeDecimals", [](OrderFormInput& i, OrderCheckContext&) { i.priceText = "12.345"; },
                  "Please enter Valid Price for the Order. Only 2 decimal position is allowed.", kPrice},
        ChainCase{"OffTick", [](OrderFormInput& i, OrderCheckContext&) { i.priceText = "1500.03"; },
                  "Please enter Price in mulitple of Tick Size :0.05", kPrice},
        ChainCase{"ZeroTickRefused", [](OrderFormInput&, OrderCheckContext& c) { c.security.tickSize = 0; },
                  "Please enter Price in mulitple of Tick Size :0.00", kPrice},
        ChainCase{"CurrencyOffTick",
                  [](OrderFormInput& i, OrderCheckContext& c) {
                      c.security = currencyFuture();
                      i.exchangeName = "NSE-FX";
                      i.priceText = "1.2345";
                  },
                  "Please enter Price in mulitple of Tick Size :0.0025", kPrice},
        ChainCase{"OverValueLimit", [](OrderFormInput& i, OrderCheckContext&) { i.quantity = 1000; },
                  "Please enter Order Value less than Order Value Limit :1000000", kQuantity},
        ChainCase{"MarketOrderValueUsesLtp",
                  [](OrderFormInput& i, OrderCheckContext& c) {
                      i.priceText = "0";
                      i.quantity = 700;
                      c.security.ltp = 200000; // 2000 rupees x 700 = 1.4 million
                  },
                  "Please enter Order Value less than Order Value Limit :1000000", kQuantity},
        ChainCase{"NegativeDisclosed", [](OrderFormInput& i, OrderCheckContext&) { i.disclosed = -1; },
                  "Please enter valid Disclosed Quantity.", kDisclosed},
        ChainCase{"DisclosedOverQty",
                  [](OrderFormInput& i, OrderCheckContext& c) {
                      c.security.marketLot = 5;
                      i.disclosed = 15;
                  },
                  "Please enter Disclosed Quantity less than Order Quantity.", kDisclosed},
        ChainCase{"TriggerNan", [](OrderFormInput& i, OrderCheckContext&) { i.triggerText = "nan"; },
                  "Please enter Valid Trigger Price for the Order", kTrigger},
        ChainCase{"TriggerOffTick", [](OrderFormInput& i, OrderCheckContext&) { i.triggerText = "1490.01"; },
                  "Please enter Trigger Price in mulitple of Tick Size :0.05", kTrigger},
        ChainCase{"SmartOrderInDerivatives",
                  [](OrderFormInput& i, OrderCheckContext& c) {
                      c.security.derivative = 1;
                      i.sor = true;
                  },
                  "Error : Cannot Place Smart Order in FNO Segment.", 0},
        ChainCase{"ModifyAfterATrade",
                  [](OrderFormInput& i, OrderCheckContext& c) {
                      i.mode = 2;
                      i.orderNo = 1000001;
                      i.openQty = 10;
                      c.currentOpenQty = [](double) { return 4; };
                  },
                  "Open Qty has changed due to Trade Confirmation. Pls Re-Modify the Order.", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckChain, FillsTheRecordInPaiseAndTheStoreRecordInRupees)
{
    RecordingPrompts prompts;
    const ValidationOutcome out = ValidateOrder(goodInput(), context(equity()), prompts);
    ASSERT_EQ(out.result, 0);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_TRUE(prompts.questions.empty());
    EXPECT_DOUBLE_EQ(out.data.price, 150005);
    EXPECT_EQ(out.data.side, 'B');
    EXPECT_EQ(out.data.amo, 'N');
    EXPECT_EQ(out.data.order_mark, 3);
    EXPECT_STREQ(out.data.client_id, "CID01");
    EXPECT_DOUBLE_EQ(out.info.price, 1500.05);
    EXPECT_STREQ(out.info.status, "NEWF");
    EXPECT_EQ(out.info.open_qty, 10);
    EXPECT_EQ(out.line, "Placing New Normal Buy Order for Client ABC12, Security RELIANCE EQ|NN, Qty 10, Price "
                        "1500.05 Trigger Price 0");
    // A disclosed quantity equal to the quantity passes; an order of value 0 at market too.
    OrderFormInput in = goodInput();
    in.disclosed = 10;
    in.priceText = "0";
    EXPECT_EQ(ValidateOrder(in, context(equity()), prompts).result, 0);
}

TEST(CheckChain, BeSeriesAlwaysAsksWithTheTradeForTradeNote)
{
    OrderSecurity be = equity();
    be.series = "BE";
    RecordingPrompts prompts;
    prompts.answer = false;
    EXPECT_EQ(ValidateOrder(goodInput(), context(be), prompts).result, -1);
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(prompts.questions[0].first, "Do You want to place order");
    EXPECT_NE(prompts.questions[0].second.find("trade-for-trade group"), std::string::npos);
    EXPECT_EQ(prompts.questions[0].second.rfind("Placing New Order for\n\nClient Code\t\t:\tABC12\n", 0), 0u);
}

TEST(CheckChain, TheConfirmationBoxPutsEveryValueInOneColumn)
{
    RecordingPrompts prompts;
    prompts.answer = false;
    OrderCheckContext ctx = context(equity());
    ctx.confirmOrders = true;
    ValidateOrder(goodInput(), ctx, prompts);
    ASSERT_EQ(prompts.questions.size(), 1u);
    const std::string box = ConfirmationBoxText(prompts.questions[0].second);
    // Labels of any length, with two tabs or three, sit in the first cell and
    // their values in the third; nothing is left to tab stops.
    EXPECT_EQ(box.find('\t'), std::string::npos) << box;
    for (const char* label : {"Client Code", "Security", "Exchange", "Price", "Trigger Price", "Order Mark"})
        EXPECT_NE(box.find(std::string("<tr><td>") + label + "</td><td>&nbsp;:&nbsp;</td><td>"), std::string::npos)
            << label << " in " << box;
    EXPECT_NE(box.find("<td>Client Code</td><td>&nbsp;:&nbsp;</td><td>ABC12</td>"), std::string::npos) << box;
    EXPECT_EQ(box.rfind("<html><table", 0), 0u);
    EXPECT_EQ(ConfirmationBoxText("a<b & c\n\nL\t\t\t:\t1"),
              "<html><table cellspacing=\"0\" cellpadding=\"1\"><tr><td colspan=\"3\">a&lt;b &amp; c</td></tr>"
              "<tr><td colspan=\"3\">&nbsp;</td></tr><tr><td>L</td><td>&nbsp;:&nbsp;</td><td>1</td></tr>"
              "</table></html>");
}

TEST(CheckChain, ModesOtherThanNewDropTheSmartFlag)
{
    OrderFormInput in = goodInput();
    in.mode = 3;
    in.sor = true;
    in.orderNo = 1000001;
    RecordingPrompts prompts;
    const ValidationOutcome out = ValidateOrder(in, context(equity()), prompts);
    ASSERT_EQ(out.result, 0);
    EXPECT_FALSE(out.sorFlag);
    EXPECT_EQ(out.data.sor, 0);
    EXPECT_EQ(out.line.rfind("Canceling Normal Buy Order for Client ABC12, TWXS Order no 1000001,", 0), 0u);
}

} // namespace

} // namespace test_order_checks
