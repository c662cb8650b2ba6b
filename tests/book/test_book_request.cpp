// The order book's request text, the dealer's client-code rule, the reading
// of a report reply and of a feed confirmation, without a window.
#include "orders/OrderConfirmation.h"
#include "orders/OrderReportRequest.h"

#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"
#include "orders/ClientOrderStore.h"

#include <gtest/gtest.h>

namespace test_book_request {

namespace {

TEST(OrderReportRequest, TextForClientDealerAndActingDealer)
{
    OrderReportParams client;
    client.account = "CID01";
    client.userId = "U1";
    client.clientCode = "ABC12";
    EXPECT_EQ(BuildOrderReportRequest(client), "ReportData=600|CID01|U1|4|ABC12|0|1|0|0&AClient=N");

    OrderReportParams dealerAll;
    dealerAll.account = "SESS01";
    dealerAll.userId = "D1";
    dealerAll.allClients = true;
    dealerAll.previousOrders = true;
    EXPECT_EQ(BuildOrderReportRequest(dealerAll), "ReportData=600|SESS01|D1|4||1|0|2|0&AClient=N");

    OrderReportParams acting = client;
    acting.actingForClient = true;
    EXPECT_EQ(BuildOrderReportRequest(acting), "ReportData=600|CID01|U1|4|ABC12|0|1|0|0&AClient=Y");
}

TEST(OrderReportRequest, DealerClientCodeMustBeFiveCharactersWithoutPunctuation)
{
    for (const char* good : {"ABC12", "abcde", "12345"})
        EXPECT_TRUE(IsValidDealerClient(good)) << good;
    for (const char* bad : {"", "AB12", "ABC123", "AB-12", "AB 12", "AB_12", "A\"C12", "AB,12", "A`C12", "AB?12"})
        EXPECT_FALSE(IsValidDealerClient(bad)) << bad;
}

TEST(OrderReportRequest, ReplyOutcomes)
{
    struct Case {
        int status;
        std::string reply;
        OrderReportOutcome::Kind kind;
        std::string text;
        int count;
    };
    const Case cases[] = {
        {200, "600|0|OK|2~r1^r2", OrderReportOutcome::Load, "", 2},
        {200, "600|0|OK|0", OrderReportOutcome::Clear, "", 0},
        {200, "600|1205|Session busy|0", OrderReportOutcome::BarMessage, "Session busy", 0},
        {200, "600|7|No orders today|0", OrderReportOutcome::ErrorBox, "No orders today", 0},
        {200, "600|0", OrderReportOutcome::ErrorBox, "No response received from server", 0},
        {200, "~600|0|OK|1", OrderReportOutcome::Unidentified, "Unidentified response received from server", 0},
        {200, "", OrderReportOutcome::ErrorBox, "Unable to download Order Report 2", 0},
        {407, "", OrderReportOutcome::ErrorBox, "Proxy Authentication Failed", 0},
        {500, "", OrderReportOutcome::ErrorBox, "Internet Connectivity Error [500]. Pls contact System Administrator",
            0},
        // The count is bounded by the rows present and must be a number.
        {200, "600|0|OK|20000000~r1", OrderReportOutcome::Load, "", 1},
        {200, "600|0|OK|2147483647~r1^r2", OrderReportOutcome::Load, "", 2},
        {200, "600|0|OK|3~r1", OrderReportOutcome::Load, "", 1},
        {200, "600|0|OK|two~r1^r2", OrderReportOutcome::Unidentified, "Unidentified response received from server", 0},
        {200, "600|0|OK|2x~r1^r2", OrderReportOutcome::Unidentified, "Unidentified response received from server", 0},
        {200, "600|0|OK|99999999999999999999~r1", OrderReportOutcome::Unidentified,
            "Unidentified response received from server", 0},
    };
    for (const Case& c : cases) {
        const OrderReportOutcome o = ReadOrderReportReply(c.status, c.reply, static_cast<long>(c.reply.size()));
        EXPECT_EQ(o.kind, c.kind) << c.reply;
        EXPECT_EQ(o.text, c.text) << c.reply;
        EXPECT_EQ(o.count, c.count) << c.reply;
    }
    EXPECT_EQ(ReadOrderReportReply(200, "600|0|OK|2~r1^r2", 16).rows, (std::vector<std::string> {"r1", "r2"}));
}

TEST(OrderReportRequest, CellTexts)
{
    EXPECT_EQ(OrderMarketName("NN", false), "NSE");
    EXPECT_EQ(OrderMarketName("CB", false), "BSE-CDX");
    EXPECT_EQ(OrderMarketName("CM", false), "");
    EXPECT_EQ(OrderMarketName("CM", true), "MCX-SX");
    EXPECT_EQ(OrderMarketName("NC", true), "");
    EXPECT_EQ(OrderPriceText(82.1234, true), "82.1234");
    EXPECT_EQ(OrderPriceText(1500.05, false), "1500.05");
}

TEST(OrderReportRequest, APlacedOrderReadsAsItsDownloadedRow)
{
    const UserInfoRecord saved = pv_user_info;
    pv_user_info.segments.assign(kMaxSegments, ExchangeSegment{});
    pv_user_info.segments[0].id = 1;
    CopyFixedText(pv_user_info.segments[0].name, "Delivery");
    pv_user_info.segments[1].id = 3;
    CopyFixedText(pv_user_info.segments[1].name, "Normal");
    pv_user_info.segment_count = 2;
    // As the form stores a new order: the side as a letter, the mark by id.
    OrderInfo placed;
    CopyFixedText(placed.buy_sell, "B");
    placed.order_mark = 3;
    placed.price = 812.4;
    CopyFixedText(placed.exchange, "NN");
    // As the report's row gives the same order.
    OrderInfo downloaded = placed;
    CopyFixedText(downloaded.buy_sell, "Buy");
    CopyFixedText(downloaded.mark_name, "Normal");
    for (const OrderInfo& rec : {placed, downloaded}) {
        const OrderRowTexts t = FormatOrderRow(rec, false);
        EXPECT_EQ(t.buySell, "Buy");
        EXPECT_EQ(t.mark, "Normal");
        EXPECT_EQ(t.market, "NSE");
        EXPECT_EQ(t.price, "812.40");
    }
    CopyFixedText(placed.buy_sell, "S");
    EXPECT_EQ(FormatOrderRow(placed, false).buySell, "Sell");
    pv_user_info = saved;
}

TEST(OrderConfirmationRecord, ReadsTheFieldsTheStoreUpdates)
{
    int kind = -1;
    std::string client;
    OrderInfo rec;
    ASSERT_TRUE(ReadConfirmationRecord(
        "1|100|1410|NN||ABC12|B|1002||4|150005|0||OPF|09:20:00|EX1002|TR77||||", kind, client, rec));
    EXPECT_EQ(kind, 100);
    EXPECT_EQ(client, "ABC12");
    EXPECT_EQ(rec.order_no, 1002);
    EXPECT_EQ(rec.open_qty, 4);
    EXPECT_DOUBLE_EQ(rec.price, 1500.05);
    EXPECT_DOUBLE_EQ(rec.trigger, 0);
    EXPECT_EQ(FixedTextView(rec.status), "OPF");
    EXPECT_EQ(FixedTextView(rec.time), "09:20:00");
    EXPECT_EQ(FixedTextView(rec.exch_order_no), "EX1002");

    // Field 12 is not the status: with field 13 empty the status is empty.
    // No exchange order number: "-NA-".
    ASSERT_TRUE(ReadConfirmationRecord("1|3|1410|NN||ABC12|S|1003||0|0|0|CAN", kind, client, rec));
    EXPECT_EQ(FixedTextView(rec.status), "");
    EXPECT_EQ(FixedTextView(rec.exch_order_no), "-NA-");

    // Kinds the store does not know are not read.
    EXPECT_FALSE(ReadConfirmationRecord("1|1|1410|NN||ABC12|B|1002", kind, client, rec));
    EXPECT_FALSE(ReadConfirmationRecord("1|9|1410|NN||ABC12|B|1002", kind, client, rec));
}

// An order book that records what the store tells it.
class FakeBook final : public OrderBookLink {
public:
    bool isOpen() const override { return true; }
    bool isIdle() const override { return idle; }
    std::string clientFilter() const override { return filter; }
    void storeChanged(int code, int, const std::string&) override { codes.push_back(code); }
    bool idle = true;
    std::string filter = "ABC12";
    std::vector<int> codes;
};

class ConfirmationRules : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_Session = SessionValues {};
        g_Session.clients.resize(1);
        CopyFixedText(g_Session.clients[0].client_code, "ABC12");
        pv_user_info = UserInfoRecord {};
        pv_user_info.client_index = 0;
        SetOrderBookLink(&book);
        ClearPendingConfirmations();
        const std::string row
            = "101|CID01|1410|NN|1001|EX1001|Buy|10|1500.00|10|09:15:00|OPN|0.00|0|3|ABC12|0|U1|SBIN-EQ|Normal";
        FillOrderReport(ActiveClientEntry(), 1, 1, {row}, nullptr, "ABC12");
    }
    void TearDown() override
    {
        ClearPendingConfirmations();
        ResetOrderStoreCount(ActiveClientEntry());
        SetOrderBookLink(nullptr);
        g_Session = SessionValues {};
        pv_user_info = UserInfoRecord {};
    }
    OrderInfo stored(double orderNo)
    {
        OrderInfo o;
        EXPECT_TRUE(FindStoredOrder(ActiveClientEntry(), orderNo, o));
        return o;
    }
    void append(double orderNo)
    {
        OrderInfo o;
        o.order_no = orderNo;
        o.total_qty = o.open_qty = 10;
        CopyFixedText(o.status, "NEWF");
        FillOrderReport(ActiveClientEntry(), 2, 0, {}, &o);
    }

    FakeBook book;
};

TEST_F(ConfirmationRules, AppliedOnlyWhenTheBookIsIdleAndShowsTheClient)
{
    const std::string trade = "1|100|1410|NN||ABC12|B|1001||4|150000|0||OPN|09:20:00|EX1001";
    book.idle = false;
    EXPECT_FALSE(ApplyOrderConfirmation("ABC12", trade));
    book.idle = true;
    EXPECT_FALSE(ApplyOrderConfirmation("XYZ99", "1|100|1410|NN||XYZ99|B|1001||4|150000|0||OPN|09:20:00|EX1001"));
    EXPECT_EQ(stored(1001).open_qty, 10);

    EXPECT_TRUE(ApplyOrderConfirmation("ABC12", trade));
    EXPECT_EQ(stored(1001).open_qty, 6);
    EXPECT_EQ(FixedTextView(stored(1001).status), "OPF");
    EXPECT_EQ(book.codes.back(), 3);

    // A book of all clients takes any client's confirmation.
    book.filter.clear();
    EXPECT_TRUE(ApplyOrderConfirmation("ABC12", "1|100|1410|NN||ABC12|B|1001||6|150000|0||OPN|09:21:00|EX1001"));
    EXPECT_EQ(FixedTextView(stored(1001).status), "TRAD");
}

TEST_F(ConfirmationRules, AConfirmationThatOvertakesItsOrderIsAppliedWhenTheOrderIsStored)
{
    EXPECT_TRUE(ApplyOrderConfirmation("ABC12", "1|0|1410|NN||ABC12|B|1005||10|150000|0||OPN|09:20:00|EX1005"));
    append(1005);
    EXPECT_EQ(FixedTextView(stored(1005).status), "NEWF");
    ApplyPendingConfirmations(1005);
    EXPECT_EQ(FixedTextView(stored(1005).status), "OPN");
    EXPECT_EQ(FixedTextView(stored(1005).exch_order_no), "EX1005");
    // Applied once only.
    const size_t told = book.codes.size();
    ApplyPendingConfirmations(1005);
    EXPECT_EQ(book.codes.size(), told);

    // A new download makes waiting confirmations stale.
    EXPECT_TRUE(ApplyOrderConfirmation("ABC12", "1|3|1410|NN||ABC12|B|1006||10|150000|0||CAN|09:20:00|EX1006"));
    ClearPendingConfirmations();
    append(1006);
    ApplyPendingConfirmations(1006);
    EXPECT_EQ(FixedTextView(stored(1006).status), "NEWF");
}

} // namespace

} // namespace test_book_request
