// The client order store: the load, the append and the update by order
// number, and its use from several threads at once.
#include "orders/ClientOrderStore.h"
#include "orders/OrderConfirmation.h"
#include "orders/OrderMessages.h"

#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"

#include <gtest/gtest.h>

#include <climits>
#include <mutex>
#include <thread>
#include <vector>

namespace test_order_store {

namespace {

class RecordingBook final : public OrderBookLink {
public:
    bool isOpen() const override { return open; }
    void storeChanged(int code, int index, const std::string&) override
    {
        std::lock_guard lock(mutex);
        notes.emplace_back(code, index);
    }
    bool open = true;
    std::mutex mutex;
    std::vector<std::pair<int, int>> notes; // guarded by mutex
};

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetOrderBookLink(&book);
        SetOrderMessageSink([this](int kind, char, const std::string& text) {
            std::lock_guard lock(book.mutex);
            lines.emplace_back(kind, text);
        });
    }
    void TearDown() override
    {
        SetOrderBookLink(nullptr);
        SetOrderMessageSink({});
        g_nPrevOrdersFlag = 0;
    }
    static OrderInfo order(double no, int total, int open, const char* status)
    {
        OrderInfo o;
        o.order_no = no;
        o.total_qty = total;
        o.open_qty = open;
        CopyFixedText(o.status, status);
        return o;
    }
    ClientInfo client;
    RecordingBook book;
    std::vector<std::pair<int, std::string>> lines;
};

struct ConfirmCase {
    const char* name;
    int total, open;          // before
    int kind, qty;            // the confirmation
    const char* confStatus;
    int wantTotal, wantOpen;
    const char* wantStatus;
    double wantPrice;         // the order's own 100.00, or the confirmation's 101.50
};

class ConfirmationTest : public StoreTest, public ::testing::WithParamInterface<ConfirmCase> {};

TEST_P(ConfirmationTest, UpdatesQuantitiesAndStatus)
{
    const ConfirmCase& c = GetParam();
    OrderInfo o = order(1000001, c.total, c.open, "OPN");
    o.price = 100;
    o.trigger = 99;
    FillOrderReport(&client, 2, 0, {}, &o);
    OrderInfo conf = order(1000001, 0, c.qty, c.confStatus);
    conf.price = 101.5;
    conf.trigger = 99.5;
    CopyFixedText(conf.exch_order_no, "EX1");
    FillOrderReport(&client, 3, c.kind, {}, &conf);
    OrderInfo now;
    ASSERT_TRUE(ReadStoredOrder(&client, 0, now));
    EXPECT_EQ(now.total_qty, c.wantTotal);
    EXPECT_EQ(now.open_qty, c.wantOpen);
    EXPECT_STREQ(now.status, c.wantStatus);
    EXPECT_EQ(now.price, c.wantPrice);
    EXPECT_EQ(now.trigger, c.wantPrice == 100 ? 99 : 99.5);
    EXPECT_STREQ(now.exch_order_no, "EX1");
    EXPECT_EQ(book.notes.back(), std::make_pair(3, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConfirmationTest,
    ::testing::Values(ConfirmCase{"TradeAboveOpen", 50, 50, kConfirmTrade, 80, "OPN", 50, 0, "TRAD", 100},
                      ConfirmCase{"PartialTrade", 50, 50, kConfirmTrade, 20, "OPN", 50, 30, "OPF", 100},
                      ConfirmCase{"ModifyAfterTrade", 50, 40, kConfirmModify, 30, "OPN", 40, 30, "OPF", 101.5},
                      ConfirmCase{"ModifyUntouched", 50, 50, kConfirmModify, 30, "OPN", 30, 30, "OPN", 101.5},
                      ConfirmCase{"CancelAlwaysCan", 50, 0, kConfirmCancel, 0, "CAN", 50, 0, "CAN", 101.5},
                      ConfirmCase{"CancelLeavesNothingOpen", 50, 30, kConfirmCancel, 30, "CAN", 50, 0, "CAN", 101.5},
                      ConfirmCase{"RejectUntraded", 50, 50, kConfirmRejected, 50, "REJ", 50, 50, "REJ", 101.5},
                      ConfirmCase{"RejectWithOpenZero", 50, 0, kConfirmRejected, 0, "REJ", 50, 0, "TRAD", 101.5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StoreTest, OnlyTheFirstOfTwoEqualOrderNumbersIsUpdated)
{
    OrderInfo a = order(7, 10, 10, "OPN");
    FillOrderReport(&client, 2, 0, {}, &a);
    FillOrderReport(&client, 2, 0, {}, &a);
    OrderInfo cancel = order(7, 0, 0, "CAN");
    FillOrderReport(&client, 3, kConfirmCancel, {}, &cancel);
    const auto all = OrderStoreSnapshot(&client);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_STREQ(all[0].status, "CAN");
    EXPECT_STREQ(all[1].status, "OPN");
    // An unknown order number changes nothing and tells the book nothing.
    const size_t notes = book.notes.size();
    OrderInfo unknown = order(8, 0, 1, "OPN");
    FillOrderReport(&client, 3, kConfirmTrade, {}, &unknown);
    EXPECT_EQ(book.notes.size(), notes);
}

TEST_F(StoreTest, LoadStopsAtAnEmptyRowAndReportsWhatItTook)
{
    const std::string row = "0|1|2885|NN|1000001|EX1|B|10|1500.05|10|09:15|OPN|0|0|3|ABC12|0|U1|RELI-ANCE|Normal";
    FillOrderReport(&client, 1, 3, {row, "", row}, nullptr, "ABC12");
    ASSERT_EQ(StoredOrderCount(&client), 1);
    OrderInfo o;
    ASSERT_TRUE(ReadStoredOrder(&client, 0, o));
    EXPECT_EQ(o.order_no, 1000001);
    EXPECT_STREQ(o.security_name, "RELI~ANCE");
    EXPECT_EQ(o.contract_valid, -1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::make_pair(3, std::string("Order Report Downloaded Successfully for Client :ABC12, "
                                                      "Total Orders :1")));
    EXPECT_EQ(book.notes.back(), std::make_pair(1, 0));
    // Previous orders asked for: rows without field 20 stop the load at once.
    g_nPrevOrdersFlag = 2;
    FillOrderReport(&client, 1, 1, {row}, nullptr, "ABC12");
    EXPECT_EQ(StoredOrderCount(&client), 0);
}

TEST_F(StoreTest, AnnouncedCountsDoNotDecideTheAllocation)
{
    const std::string row = "0|1|2885|NN|1000001|EX1|B|10|1500.05|10|09:15|OPN|0|0|3|ABC12|0|U1|RELIANCE|Normal";
    for (const int announced : {20000000, 2147483647}) {
        FillOrderReport(&client, 1, announced, {row}, nullptr, "ABC12");
        EXPECT_EQ(StoredOrderCount(&client), 1) << announced;
        ClientOrderStore* store = OrderStoreOf(&client);
        std::lock_guard lock(g_csOrderStore);
        EXPECT_LE(store->records.size(), 101u) << announced;
    }
}

TEST_F(StoreTest, QuantitiesOutsideThirtyTwoBitsAreRefused)
{
    struct Case {
        const char* name;
        int total, open; // the stored order
        int kind, quantity;
    };
    const Case cases[] = {
        {"modify of an order with everything traded", INT32_MAX, 0, kConfirmModify, 10},
        {"modify of an order with a negative open quantity", 10, INT32_MIN, kConfirmModify, 10},
        {"trade of a negative quantity", 10, INT32_MAX - 1, kConfirmTrade, -10},
    };
    for (const Case& c : cases) {
        ResetOrderStoreCount(&client);
        OrderInfo o = order(7, c.total, c.open, "OPN");
        FillOrderReport(&client, 2, 0, {}, &o);
        const size_t notes = book.notes.size();
        OrderInfo conf = order(7, 0, c.quantity, "OPN");
        FillOrderReport(&client, 3, c.kind, {}, &conf);
        OrderInfo now;
        ASSERT_TRUE(ReadStoredOrder(&client, 0, now)) << c.name;
        EXPECT_EQ(now.total_qty, c.total) << c.name;
        EXPECT_EQ(now.open_qty, c.open) << c.name;
        EXPECT_STREQ(now.status, "OPN") << c.name;
        EXPECT_EQ(book.notes.size(), notes) << c.name;
    }
    // A report row whose quantity does not fit ends the load there.
    const std::string big = "0|1|2885|NN|1000001|EX1|B|4294967306|1500.05|10|09:15|OPN|0|0|3|ABC12|0|U1|X|Normal";
    FillOrderReport(&client, 1, 1, {big}, nullptr, "ABC12");
    EXPECT_EQ(StoredOrderCount(&client), 0);
}

TEST_F(StoreTest, AppendBeyondCapacityKeepsEveryRecord)
{
    for (int i = 0; i < 250; ++i) {
        OrderInfo o = order(i + 1, 1, 1, "NEWF");
        FillOrderReport(&client, 2, 0, {}, &o);
    }
    const auto all = OrderStoreSnapshot(&client);
    ASSERT_EQ(all.size(), 250u);
    for (int i = 0; i < 250; ++i)
        ASSERT_EQ(all[static_cast<size_t>(i)].order_no, i + 1);
    EXPECT_EQ(book.notes.back(), std::make_pair(2, 249));
}

TEST_F(StoreTest, WritersAndReadersOnSeveralThreads)
{
    // Orders placed, confirmed, reloaded and read at the same time never tear.
    constexpr int kThreads = 4;
    constexpr int kPerThread = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([this, t] {
            for (int i = 0; i < kPerThread; ++i) {
                OrderInfo o = order(t * 1000 + i, 10, 10, "NEWF");
                FillOrderReport(&client, 2, 0, {}, &o);
                OrderInfo trade = order(t * 1000 + i, 0, 10, "OPN");
                FillOrderReport(&client, 3, kConfirmTrade, {}, &trade);
            }
        });
    threads.emplace_back([this] {
        for (int i = 0; i < 200; ++i) {
            for (const OrderInfo& o : OrderStoreSnapshot(&client))
                ASSERT_TRUE(o.open_qty == 0 || o.open_qty == 10);
        }
    });
    for (auto& th : threads)
        th.join();
    const auto all = OrderStoreSnapshot(&client);
    ASSERT_EQ(all.size(), static_cast<size_t>(kThreads * kPerThread));
    for (const OrderInfo& o : all) {
        EXPECT_EQ(o.open_qty, 0);
        EXPECT_STREQ(o.status, "TRAD");
    }
}

} // namespace

namespace {

TEST(ConfirmationRecord, ReadsTheFeedFields)
{
    OrderInfo r;
    int kind = -1;
    std::string client;
    ASSERT_TRUE(ReadConfirmationRecord(
        "1|100|2885|NN||ABC12|B|1000001||10|150005.00|0.00||TRAD|09:15:00|EX1000001|TR1000001|||||", kind, client, r));
    EXPECT_EQ(kind, kConfirmTrade);
    EXPECT_EQ(r.order_no, 1000001);
    EXPECT_EQ(r.open_qty, 10);
    EXPECT_DOUBLE_EQ(r.price, 1500.05);
    EXPECT_STREQ(r.status, "TRAD");
    EXPECT_STREQ(r.exch_order_no, "EX1000001");
    EXPECT_STREQ(r.client_code, "ABC12");
    EXPECT_EQ(client, "ABC12");
    // Refused: a kind the store does not know, no order number, a quantity
    // that is no 32-bit number (it would wrap into a wrong open quantity).
    for (const char* payload : {"1|9|2885|NN||ABC12|B|1000001", "1|0|2885|NN||ABC12|B|",
                                "1|100|2885|NN||ABC12|B|1000001||4294967306|150005|0||TRAD",
                                "1|100|2885|NN||ABC12|B|1000001||10x|150005|0||TRAD"})
        EXPECT_FALSE(ReadConfirmationRecord(payload, kind, client, r)) << payload;
}

} // namespace

} // namespace test_order_store
