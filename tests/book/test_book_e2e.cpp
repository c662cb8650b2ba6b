// End to end: with the feed connected to the broker, an order placed through
// the order form appears in the open order book, is confirmed, and moves to
// traded when the broker's demo market fills it.
#include "OrderFixture.h"
#include "broker_feed_support.h"

#include "server/FeedConnection.h"
#include "server/FeedDispatcher.h"
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/ServerAccess.h"

#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"
#include "frame/controls/CMyReportCtrl.h"
#include "orders/CDlgOrderFormExp.h"
#include "orders/COrderViewEx.h"
#include "orders/ClientOrderStore.h"
#include "orders/OrderConfirmation.h"
#include "orders/OrderFormIds.h"
#include "server/OrderSecurity.h"

#include "pf/http_call.h"
#include "pf/http_session.h"
#include "ui/form_driver.h"

#include <gtest/gtest.h>

namespace test_book_e2e {

namespace {

// The program's feed consumer as far as the book needs it.
class BookConsumers final : public FeedConsumers {
public:
    void orderConfirmationPayload(const std::string& client, const std::string& payload) override
    {
        ApplyOrderConfirmation(client, payload);
    }
};

class NoIndexRows final : public IndexRows {
public:
    bool update(int, const std::function<void(IndexRecord&)>&, IndexRecord&) override { return false; }
};

class OrderBookEndToEnd : public ordertest::OrderFixture {
protected:
    void SetUp() override
    {
        OrderFixture::SetUp();
        FeedSubscriptions::instance().reset();
        FeedState::instance().reset();
        SetLoggedIn(true);
        m_server = std::make_unique<brokerfeed::BrokerFeedServer>(m_session, broker->httpPort());
        m_dispatcher = std::make_unique<FeedDispatcher>(
            m_consumers, FeedSubscriptions::instance(), m_indices, FeedDispatcher::Options {2, false, {}});
        m_connection = std::make_unique<FeedConnection>(
            *m_dispatcher, FeedSubscriptions::instance(), *m_server, m_ui, &m_session);
    }
    void TearDown() override
    {
        if (g_pOrderViewEx)
            delete g_pOrderViewEx;
        EXPECT_TRUE(WaitOrderReportDownloads(20000));
        if (m_connection)
            m_connection->stopAndWait();
        if (m_dispatcher)
            m_dispatcher->drain();
        m_connection.reset();
        m_dispatcher.reset();
        FeedSubscriptions::instance().reset();
        FeedState::instance().reset();
        SetLoggedIn(false);
        OrderFixture::TearDown();
    }
    FeedConnection::Settings feedSettings() const
    {
        FeedConnection::Settings s;
        s.feedsType = 3;
        s.host = "127.0.0.1";
        s.port = broker->feedPort();
        s.localAddress = "127.0.0.1";
        s.userId = "U1";
        s.userType = 'C';
        s.segmentAccess = '1';
        s.build = "2.3.0.20";
        return s;
    }

    pf::HttpSession m_session;
    std::unique_ptr<brokerfeed::BrokerFeedServer> m_server;
    BookConsumers m_consumers;
    NoIndexRows m_indices;
    std::unique_ptr<FeedDispatcher> m_dispatcher;
    std::unique_ptr<FeedConnection> m_connection;
    class : public FeedUi {
    } m_ui;
};

TEST_F(OrderBookEndToEnd, PlacedOrderAppearsAndMovesToTraded)
{
    ASSERT_TRUE(m_connection->start(feedSettings()));
    ASSERT_TRUE(broker->waitForFeedClient("U1", 10000));
    broker->orderDesk().setConfirmations(true);

    const int sec = findSecurity("NN", "EQ");
    ASSERT_GE(sec, 0);
    const OrderSecurity s = OrderSecurityAt(sec);
    // A limit the demo market's last price has crossed: a buy above it or a
    // sell below it, so the next market step fills it.
    const int64_t last = broker->quote(s.wtoken).last;
    ASSERT_GT(last, 0);
    const double limit = 1500.05;
    const char side = last <= static_cast<int64_t>(limit * 100) ? 'B' : 'S';

    COrderViewEx* book = OpenOrderBook();
    ASSERT_NE(book, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !book->isBusy(); }, 20000));
    EXPECT_EQ(book->grid()->model().rowTotal(), 0);

    CDlgOrderFormExp* form = open(1, sec, side, limit);
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    d.type(orderform::kQuantity, "10").type(orderform::kPrice, "1500.05").click(orderform::kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_EQ(broker->orderDesk().orders().size(), 1u);
    const double orderNo = static_cast<double>(broker->orderDesk().orders()[0].orderNo);

    // The new order's row, confirmed by the exchange: the broker pushes the
    // confirmation before it answers the order, so the confirmation waits
    // for the order to be stored.
    auto rowStatus = [&]() -> std::string {
        const int row = book->rowOfRecord(0);
        return row < 0 ? std::string() : book->grid()->model().text(row, 10).toStdString();
    };
    ASSERT_TRUE(pumpUntil([&] { return rowStatus() == "OPN"; }, 10000)) << rowStatus();
    const int row = book->rowOfRecord(0);
    char number[32];
    std::snprintf(number, sizeof number, "%0.lf", orderNo);
    EXPECT_EQ(book->grid()->model().text(row, 3).toStdString(), number);
    EXPECT_EQ(book->grid()->model().value(row, 9).toInt(), 10);

    // The demo market fills it.
    broker->orderDesk().setMatching(true);
    broker->orderDesk().matchMarket();
    ASSERT_TRUE(pumpUntil([&] { return rowStatus() == "TRAD"; }, 10000)) << rowStatus();
    EXPECT_EQ(book->grid()->model().value(row, 9).toInt(), 0);

    // A refresh reads the same from the broker's order report.
    book->OnOrderRefresh();
    ASSERT_TRUE(pumpUntil([&] { return !book->isBusy() && book->grid()->model().rowTotal() == 1; }, 20000));
    EXPECT_EQ(rowStatus(), "TRAD");
}

TEST_F(OrderBookEndToEnd, CancelledOrderShowsNothingOpen)
{
    ASSERT_TRUE(m_connection->start(feedSettings()));
    ASSERT_TRUE(broker->waitForFeedClient("U1", 10000));
    broker->orderDesk().setConfirmations(true);
    const int sec = findSecurity("NN", "EQ");
    ASSERT_GE(sec, 0);

    COrderViewEx* book = OpenOrderBook();
    ASSERT_NE(book, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !book->isBusy(); }, 20000));
    auto cell = [&](int column) {
        const int row = book->rowOfRecord(0);
        return row < 0 ? QString() : book->grid()->model().text(row, column);
    };

    CDlgOrderFormExp* form = open(1, sec, 'B', 1500.05);
    ASSERT_NE(form, nullptr);
    ui::FormDriver(*form).type(orderform::kQuantity, "10").type(orderform::kPrice, "1500.05").click(orderform::kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_TRUE(pumpUntil([&] { return cell(10) == "OPN"; }, 10000)) << cell(10).toStdString();
    EXPECT_EQ(cell(9).toStdString(), "10");

    // Cancelled from the book: the confirmation leaves nothing open.
    form = open(3, 0, 'B');
    ASSERT_NE(form, nullptr);
    ui::FormDriver(*form).click(orderform::kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_TRUE(pumpUntil([&] { return cell(10) == "CAN"; }, 10000)) << cell(10).toStdString();
    EXPECT_EQ(cell(9).toStdString(), "0");
    EXPECT_EQ(cell(6).toStdString(), "10");

    // The broker's order report says the same.
    book->OnOrderRefresh();
    ASSERT_TRUE(pumpUntil([&] { return !book->isBusy() && book->grid()->model().rowTotal() == 1; }, 20000));
    EXPECT_EQ(cell(10).toStdString(), "CAN");
    EXPECT_EQ(cell(9).toStdString(), "0");
    EXPECT_EQ(cell(6).toStdString(), "10");
}

} // namespace

} // namespace test_book_e2e
