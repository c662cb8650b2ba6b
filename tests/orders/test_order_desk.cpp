// The broker's order desk as the terminal meets it: replies the terminal's
// reader understands and confirmations its store applies.
#include "OrderDesk.h"
#include "OrderReport.h"
#include "RequestDecoder.h"
#include "TradeReport.h"
#include "Universe.h"
#include "orders/ClientOrderStore.h"
#include "orders/OrderConfirmation.h"
#include "orders/OrderReply.h"

#include "app/base/SessionRecord.h"

#include <pf/clock.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace test_order_desk {

namespace {

class DeskTest : public ::testing::Test {
protected:
    DeskTest()
        : desk([this](const std::string&, const std::string& m) { pushed.push_back(m); },
               [this](const std::string&, int token) -> int64_t { return last[token]; })
    {
    }
    std::string send(const std::string& record, int number = 0)
    {
        return desk.reply(tb::splitRequest("NoOfOrders=1&OrderData1=" + record + "&AClient=N&OrdReqNo="
                                           + std::to_string(number)),
                          {});
    }
    static std::string newBuy(const char* price)
    {
        return std::string("101|CID01|N|00:00:00:00|2885|NN|B|10|") + price
            + "|U1|ABC12|ABC12|00-00-0000|0|0.00|0|GFD|C|3|N||0|4|VX_1";
    }
    // Applies every pushed confirmation to the store, as the book does.
    void applyPushed()
    {
        for (const std::string& m : pushed) {
            ASSERT_EQ(m.rfind("130,", 0), 0u);
            OrderInfo r;
            int kind = -1;
            std::string clientCode;
            ASSERT_TRUE(ReadConfirmationRecord(m.substr(4), kind, clientCode, r)) << m;
            FillOrderReport(&client, 3, kind, {}, &r);
        }
        pushed.clear();
    }
    tb::OrderDesk desk;
    std::vector<std::string> pushed;
    std::map<int, int64_t> last;
    ClientInfo client;
};

TEST_F(DeskTest, AcceptsRefusesModifiesAndCancels)
{
    PlainOrderReply r = ParsePlainOrderReply(send(newBuy("150005.00")));
    EXPECT_FALSE(r.refused);
    EXPECT_EQ(r.orderNo, 1000001);
    EXPECT_EQ(r.message, "Order Placed Successfully. TWXS Order No : 1000001");
    ASSERT_EQ(desk.orders().size(), 1u);
    EXPECT_EQ(desk.orders()[0].requestNumber, 0);
    EXPECT_EQ(desk.orders()[0].environment, "VX_1");

    desk.refuseNext(1, "Insufficient margin");
    r = ParsePlainOrderReply(send(newBuy("150005.00")));
    EXPECT_TRUE(r.refused);
    EXPECT_EQ(r.message, kOrderRefusedText);
    EXPECT_EQ(desk.orders().size(), 1u);

    r = ParsePlainOrderReply(send("102|CID01|1000001|N|00:00:00:00|2885|NN|B|10|1500.05|8|149995.00|U1|ABC12|ABC12|"
                                  "00-00-0000|0|0.00|0|GFD|C||4|VX_1"));
    EXPECT_EQ(r.orderNo, 1000001);
    EXPECT_EQ(desk.orders()[0].openQty, 8);
    EXPECT_EQ(desk.orders()[0].pricePaise, "149995.00");
    r = ParsePlainOrderReply(send("103|CID01|1000001|2885|NN|U1|ABC12|ABC12||4|VX_1"));
    EXPECT_EQ(r.message, "Order Cancelled Successfully");
    EXPECT_EQ(desk.orders()[0].status, "CAN");
    EXPECT_TRUE(ParsePlainOrderReply(send("103|CID01|1000001|2885|NN|U1|ABC12|ABC12||4|VX_1")).refused);
    EXPECT_TRUE(ParsePlainOrderReply(send("103|CID01|42|2885|NN|U1|ABC12|ABC12||4|VX_1")).refused);
}

TEST_F(DeskTest, ConfirmationsDriveTheStoreStatus)
{
    desk.setConfirmations(true);
    desk.setMatching(true);
    last[2885] = 150000;
    // A limit buy above the market: open, then traded when the market step crosses it.
    PlainOrderReply r = ParsePlainOrderReply(send(newBuy("149000.00")));
    OrderInfo placed;
    placed.order_no = r.orderNo;
    placed.total_qty = placed.open_qty = 10;
    FillOrderReport(&client, 2, 0, {}, &placed);
    applyPushed();
    OrderInfo now;
    ASSERT_TRUE(ReadStoredOrder(&client, 0, now));
    EXPECT_STREQ(now.status, "OPN");
    desk.matchMarket();
    EXPECT_TRUE(pushed.empty()); // 1500.00 has not come down to 1490.00
    last[2885] = 148900;
    desk.matchMarket();
    applyPushed();
    ASSERT_TRUE(ReadStoredOrder(&client, 0, now));
    EXPECT_EQ(now.open_qty, 0);
    EXPECT_STREQ(now.status, "TRAD");
    EXPECT_DOUBLE_EQ(now.price, 1490.0); // the order's own limit: the fill at 1489.00 is the trade's

    // A market order trades at once at the last price.
    r = ParsePlainOrderReply(send(newBuy("0.00")));
    ASSERT_EQ(pushed.size(), 2u);
    EXPECT_NE(pushed[1].find("|100|"), std::string::npos);
    EXPECT_EQ(desk.orders()[1].status, "TRAD");
}

// The desk stamps each event with the time it happens: the confirmation and
// the order book carry the time of the order's last event, the trade book
// the time it traded.
TEST_F(DeskTest, EventsCarryTheTimeTheyHappen)
{
    pf::ManualClock clock(1'765'400'000'000);
    pf::setClock(&clock);
    const struct Restore {
        ~Restore() { pf::setClock(nullptr); }
    } restore;
    const auto hms = [&] {
        const pf::LocalTime t = clock.localNow();
        char text[16];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
        return std::string(text);
    };
    const auto field = [](const std::string& message, size_t n) {
        size_t at = 4; // after "130,"
        for (size_t i = 0; i < n; ++i)
            at = message.find('|', at) + 1;
        return message.substr(at, message.find('|', at) - at);
    };
    desk.setConfirmations(true);
    desk.setMatching(true);
    ASSERT_FALSE(ParsePlainOrderReply(send(newBuy("149000.00"))).refused);
    ASSERT_EQ(pushed.size(), 1u);
    const std::string placed = hms();
    EXPECT_EQ(field(pushed[0], 14), placed);

    clock.advanceSeconds(3725); // 1 h 2 min 5 s later
    ASSERT_FALSE(ParsePlainOrderReply(send("102|CID01|1000001|N|00:00:00:00|2885|NN|B|10|1490.00|10|149100.00|U1|"
                                           "ABC12|ABC12|00-00-0000|0|0.00|0|GFD|C||4|VX_1"))
                     .refused);
    ASSERT_EQ(pushed.size(), 2u);
    const std::string modified = hms();
    EXPECT_NE(modified, placed);
    EXPECT_EQ(field(pushed[1], 14), modified);

    clock.advanceSeconds(61);
    last[2885] = 148000;
    desk.matchMarket();
    ASSERT_EQ(pushed.size(), 3u);
    EXPECT_EQ(field(pushed[2], 14), hms());
    const tb::Universe universe(1, 0, 2026, 12, 10);
    const std::string book = tb::orderReportBody(desk.orders(), universe, {"600", "CID01", "U1", "4", "ABC12"});
    EXPECT_NE(book.find("|" + hms() + "|TRAD|"), std::string::npos) << book;
    const pf::LocalTime t = clock.localNow();
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char traded[40];
    std::snprintf(traded, sizeof traded, "|%02d-%s-%04d %s|", t.day, months[t.month - 1], t.year, hms().c_str());
    const std::string trades = tb::tradeReportBody(desk.orders(), universe, {"610", "CID01", "U1", "4", "ABC12"});
    EXPECT_NE(trades.find(traded), std::string::npos) << trades;
}

} // namespace

} // namespace test_order_desk
