// The order book's request text, the dealer's client-code rule, the reading
// of a report reply and of a feed confirmation, without a window.
#include "orders/OrderConfirmation.h"
#include "orders/OrderReportRequest.h"

#include "app/FixedText.h"

#include <gtest/gtest.h>

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
        {500, "", OrderReportOutcome::ErrorBox,
         "Internet Connectivity Error [500]. Pls contact System Administrator", 0},
    };
    for (const Case& c : cases) {
        const OrderReportOutcome o = ReadOrderReportReply(c.status, c.reply, static_cast<long>(c.reply.size()));
        EXPECT_EQ(o.kind, c.kind) << c.reply;
        EXPECT_EQ(o.text, c.text) << c.reply;
        EXPECT_EQ(o.count, c.count) << c.reply;
    }
    EXPECT_EQ(ReadOrderReportReply(200, "600|0|OK|2~r1^r2", 16).rows, (std::vector<std::string>{"r1", "r2"}));
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

    // The status one field earlier, no exchange order number: defaults.
    ASSERT_TRUE(ReadConfirmationRecord("1|3|1410|NN||ABC12|S|1003||0|0|0|CAN", kind, client, rec));
    EXPECT_EQ(FixedTextView(rec.status), "CAN");
    EXPECT_EQ(FixedTextView(rec.exch_order_no), "-NA-");

    // Kinds the store does not know are not read.
    EXPECT_FALSE(ReadConfirmationRecord("1|1|1410|NN||ABC12|B|1002", kind, client, rec));
    EXPECT_FALSE(ReadConfirmationRecord("1|9|1410|NN||ABC12|B|1002", kind, client, rec));
}

} // namespace
