// The order form end to end against the test broker: one request per order
// whatever OK is pressed meanwhile, the reply on the Trading list, refusals,
// the buy from a watch row, and modify and cancel from a store record.
#include "OrderFixture.h"
#include "testkit/ui_guard_trap.h"
#include "OrderMaster.h"

#include "app/base/SessionRecord.h"
#include "orders/CDlgOrderFormExp.h"
#include "orders/COrderData.h"
#include "orders/OrderConfirmation.h"
#include "orders/OrderFormIds.h"
#include "orders/OrderMessages.h"
#include "server/SecurityTable.h"
#include "orders/OrderReply.h"
#include "server/OrderSecurity.h"
#include "orders/PositionRecords.h"
#include "app/base/AppSettings.h"
#include "frame/WatchOrderCommands.h"

#include "orders/COrderViewEx.h"
#include "server/OrderSecurity.h"

#include "ui/form_driver.h"
#include "ui/key_filter.h"

#include "Universe.h"

#include <QApplication>
#include <QKeyEvent>

#include <QLineEdit>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace ordertest {
namespace {

using namespace orderform;

class OrderFormTest : public OrderFixture {
protected:
    // An NSE equity with a price on its tick.
    int equity() const { return findSecurity("NN", "EQ"); }
};

// A form opened by a key takes the keyboard from the window that had it (a
// chart's interval box), also when the form was already open behind it.
TEST_F(OrderFormTest, AFormOpenedByAKeyTakesTheKeyboard)
{
    const int sec = findSecurity("NN", "EQ");
    ASSERT_GE(sec, 0);
    QWidget chart;
    auto* interval = new QLineEdit(&chart);
    chart.show();
    for (int round = 0; round < 2; ++round) {
        chart.activateWindow();
        interval->setFocus();
        ASSERT_TRUE(pumpUntil([&] { return QApplication::activeWindow() == &chart; }, 2000)) << round;
        CDlgOrderFormExp* form = open(1, sec, 'B', 100);
        ASSERT_NE(form, nullptr) << round;
        EXPECT_TRUE(pumpUntil([&] { return QApplication::activeWindow() == form; }, 2000)) << round;
        QWidget* keys = QApplication::focusWidget();
        EXPECT_TRUE(keys && keys->window() == form) << round;
    }
}

TEST_F(OrderFormTest, TwoOksDuringADelayedReplySendExactlyOneRequest)
{
    const int sec = equity();
    ASSERT_GE(sec, 0);
    CDlgOrderFormExp* form = open(1, sec, 'B', 1500.05);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle().toStdString(), "New Buy Order Form");
    EXPECT_EQ(form->text(kOk), "New Buy Order");
    EXPECT_EQ(form->text(kAccount), "ABC12");
    EXPECT_EQ(form->text(kPrice), "1500.05");

    tb::HttpFault slow;
    slow.delayMs = 400;
    broker->armFault("/qtrade/qtrade.exe", slow);
    ui::FormDriver d(*form);
    d.type(kQuantity, "10").type(kPrice, "1500.05").click(kOk);
    EXPECT_TRUE(form->IsRequestInProcess());
    // Everything a user can do while it is in flight sends nothing.
    d.click(kOk);
    EXPECT_FALSE(d.problems().empty()); // OK is disabled
    form->OnOk();
    form->keys().feed(ui::Key::Enter);
    open(1, sec, 'S'); // a refill is refused and leaves the form as it is
    EXPECT_TRUE(boxShown("Please wait. Existing Request in Process."));
    EXPECT_EQ(form->Side(), 'B');
    EXPECT_EQ(form->text(kOk), "New Buy Order");

    ASSERT_TRUE(waitIdle(form));
    const auto sent = orderRequests();
    ASSERT_EQ(sent.size(), 1u);
    const std::string text = sent[0].decoded.text;
    const auto table = OrderSecurityAt(sec);
    EXPECT_EQ(text.rfind("NoOfOrders=1&OrderData1=101|CID01|N|00:00:00:00|" + std::to_string(table.token) +
                             "|NN|B|10|150005.00|U1|ABC12|ABC12|00-00-0000|0|0.00|0|GFD|C|3|N||0|4|",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("&AClient=N&OrdReqNo=0"), std::string::npos);
    ASSERT_EQ(broker->orderDesk().orders().size(), 1u);

    // The order line before, the server's text after, on the Trading list.
    const auto lines = barLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].kind, 1);
    EXPECT_EQ(lines[0].side, '+');
    EXPECT_EQ(lines[0].text.rfind("Placing New Normal Buy Order for Client ABC12", 0), 0u);
    EXPECT_TRUE(barHas("Order Placed Successfully. TWXS Order No : 1000001"));
    // The open book got the new order.
    ClientInfo* client = ActiveClientEntry();
    ASSERT_EQ(StoredOrderCount(client), 1);
    OrderInfo stored;
    ASSERT_TRUE(ReadStoredOrder(client, 0, stored));
    EXPECT_EQ(stored.order_no, 1000001);
    EXPECT_STREQ(stored.status, "NEWF");
    EXPECT_DOUBLE_EQ(stored.price, 1500.05);
    // The form is free again for the next order, numbered 1.
    EXPECT_TRUE(form->IsReady());
    d.type(kQuantity, "5").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_EQ(orderRequests().size(), 2u);
    EXPECT_NE(orderRequests()[1].decoded.text.find("&OrdReqNo=1"), std::string::npos);
}

TEST_F(OrderFormTest, RefusalAndInvalidPricesSendNothingOrShowTheRefusal)
{
    CDlgOrderFormExp* form = open(1, equity(), 'S', 1500.05);
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    for (const char* price : {"nan", "1e3", "inf"}) {
        d.type(kQuantity, "10").type(kPrice, price).click(kOk);
        EXPECT_FALSE(form->IsRequestInProcess());
        EXPECT_EQ(form->focusedId(), kPrice) << price;
    }
    EXPECT_TRUE(orderRequests().empty());
    EXPECT_TRUE(boxShown("Please enter Valid Price for the Order"));
    EXPECT_EQ(PeekOrderRequestNumber(), 0); // refusals take no number

    broker->orderDesk().refuseNext();
    d.type(kQuantity, "10").type(kPrice, "1500.05").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_EQ(orderRequests().size(), 1u);
    EXPECT_TRUE(barHas(kOrderRefusedText));
    EXPECT_EQ(barLines()[0].side, '-');
    EXPECT_EQ(StoredOrderCount(ActiveClientEntry()), 0);
}

TEST_F(OrderFormTest, BuyFromAWatchRowOpensTheFormFilledFromTheSecurity)
{
    const int sec = equity();
    SetQuote(sec, 149990, 150010);
    WatchOrderSource row;
    row.securityIndex = sec;
    OpenOrderFromWatch(row, 'B', nullptr);
    CDlgOrderFormExp* form = CDlgOrderFormExp::Instance();
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(form->IsInitialised());
    EXPECT_EQ(form->SecurityIndex(), sec);
    EXPECT_EQ(form->Side(), 'B');
    EXPECT_EQ(form->text(kSecurity), OrderSecurityAt(sec).displayKey);
    EXPECT_EQ(form->text(kExchange), "NSE");
    EXPECT_EQ(form->text(kOrderMark), "Normal");
    // A companion on BSE was fetched with the quote snapshot first.
    bool snapshot = false;
    for (const auto& r : broker->requests())
        snapshot = snapshot || r.path == "/qtrade/feeds.exe";
    if (form->isVisible(kNseRadio)) {
        EXPECT_TRUE(snapshot);
        EXPECT_TRUE(form->checked(kNseRadio));
    }
    EXPECT_EQ(form->text(kPrice), "1500.10");

    // Without an activated client nothing opens.
    form->OnCancel();
    g_Session.clients[0].active = 0;
    OpenOrderFromWatch(row, 'S', nullptr);
    EXPECT_TRUE(boxShown("Please Activate a Client"));
    EXPECT_FALSE(form->IsInitialised());
}

TEST_F(OrderFormTest, ModifyAndCancelFromAStoreRecordSendTheirRecords)
{
    const int sec = equity();
    CDlgOrderFormExp* form = open(1, sec, 'B', 1500.05);
    ASSERT_NE(form, nullptr);
    ui::FormDriver(*form).type(kQuantity, "10").type(kPrice, "1500.05").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_EQ(StoredOrderCount(ActiveClientEntry()), 1);

    form = open(2, 0, 'B');
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle().toStdString(), "Modify Order Form - TWXS Order No :1000001");
    EXPECT_EQ(form->text(kOk), "Modify Buy Order");
    EXPECT_EQ(form->text(kQuantity), "10");
    EXPECT_FALSE(form->isEnabled(kExchange));
    ui::FormDriver(*form).type(kPrice, "1499.95").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    auto sent = orderRequests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_NE(sent[1].decoded.text.find("OrderData1=102|CID01|1000001|N|00:00:00:00|"), std::string::npos);
    EXPECT_NE(sent[1].decoded.text.find("|B|10|1500.05|10|149995.00|U1|"), std::string::npos)
        << sent[1].decoded.text;
    EXPECT_EQ(broker->orderDesk().orders()[0].pricePaise, "149995.00");
    ASSERT_TRUE(barHas("Order Modified Successfully"));
    EXPECT_EQ(form->text(kQuantity), "10") << "the modified order stays shown, never a quantity of 0";
    EXPECT_EQ(form->text(kPrice), "1499.95");

    // A modify of the quantity: the new quantity stays shown and OK stays
    // off until the form is opened again.
    form = open(2, 0, 'B');
    ASSERT_NE(form, nullptr);
    ui::FormDriver(*form).type(kQuantity, "12").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_EQ(orderRequests().size(), 3u);
    EXPECT_EQ(form->text(kQuantity), "12");
    EXPECT_FALSE(form->isEnabled(kOk));

    form = open(3, 0, 'B');
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->text(kOk), "Cancel Buy Order");
    EXPECT_FALSE(form->isEnabled(kPrice));
    ui::FormDriver(*form).click(kOk);
    ASSERT_TRUE(waitIdle(form));
    sent = orderRequests();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_NE(sent[3].decoded.text.find("OrderData1=103|CID01|1000001|"), std::string::npos);
    EXPECT_EQ(broker->orderDesk().orders()[0].status, "CAN");
    EXPECT_TRUE(barHas("Order Cancelled Successfully"));
}

TEST_F(OrderFormTest, TheCancelFormSendsOneCancelWhateverIsPressedAfterItsReply)
{
    CDlgOrderFormExp* form = open(1, equity(), 'B', 1500.05);
    ASSERT_NE(form, nullptr);
    ui::FormDriver(*form).type(kQuantity, "10").type(kPrice, "1500.05").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_EQ(StoredOrderCount(ActiveClientEntry()), 1);

    form = open(3, 0, 'B');
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    d.click(kOk);
    ASSERT_TRUE(waitIdle(form));
    EXPECT_TRUE(barHas("Order Cancelled Successfully"));
    // A second OK, Enter, or OK run by any other path after the reply.
    d.click(kOk);
    form->keys().feed(ui::Key::Enter);
    form->OnOk();
    ASSERT_TRUE(waitIdle(form));
    int cancels = 0;
    for (const tb::RecordedRequest& r : orderRequests())
        cancels += r.decoded.text.find("OrderData1=103|") != std::string::npos;
    EXPECT_EQ(cancels, 1);
    EXPECT_FALSE(form->isEnabled(kOk));
    EXPECT_TRUE(form->isEnabled(kCancel)); // the form can still be closed
    EXPECT_FALSE(boxShown("Error processing order. Please Contact Customer Care."));

    // Opened again, the form cancels again (here: an order no longer open, which the server refuses).
    form->OnCancel();
    form = open(3, 0, 'B');
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isEnabled(kOk));
}

TEST_F(OrderFormTest, ClosingTheTerminalWithAnOrderInFlightEndsAndNamesTheOrder)
{
    struct Case {
        const char* name;
        tb::HttpFault fault;
        int uiBusyMs;          // the UI thread does not look at its events this long before the close
        const char* barText;   // what the Trading list says of the order
    };
    auto fault = [](int status, int delayMs) {
        tb::HttpFault f;
        f.status = status;
        f.delayMs = delayMs;
        return f;
    };
    const std::string line = "Placing New Normal Buy Order for Client ABC12";
    const std::string closedText = "Order status unknown (the terminal closed before its reply arrived): " + line;
    const Case cases[] = {
        // The reply would take a minute: the exchange is ended and the order named.
        {"a reply that does not come", fault(0, 60000), 0, closedText.c_str()},
        // The order thread waits on the UI thread for the proxy dialog while the terminal closes.
        {"a proxy prompt waiting for the UI thread", fault(407, 200), 1500, closedText.c_str()},
    };
    // The user cancels the proxy dialog once it shows.
    modalHost.script("CProxyDetails", [](ui::FormDriver& d) { d.click(2); });
    for (const Case& c : cases) {
        if (!CDlgOrderFormExp::Instance())
            InstallOrderEntry(); // the previous case closed it
        SetOrderMessageSink([this](int kind, char side, const std::string& text) {
            std::lock_guard lock(barMutex);
            bar.push_back({kind, side, text});
        });
        CDlgOrderFormExp* form = open(1, equity(), 'B', 1500.05);
        ASSERT_NE(form, nullptr) << c.name;
        broker->armFault("/qtrade/qtrade.exe", c.fault);
        const size_t sent = orderRequests().size();
        ui::FormDriver(*form).type(kQuantity, "10").type(kPrice, "1500.05").click(kOk);
        ASSERT_TRUE(form->IsRequestInProcess()) << c.name;
        ASSERT_TRUE(broker->waitForRequest([](const tb::RecordedRequest& r) { return r.path == "/qtrade/qtrade.exe"; },
                                           20000))
            << c.name;
        std::this_thread::sleep_for(std::chrono::milliseconds(c.uiBusyMs));
        const auto start = std::chrono::steady_clock::now();
        UninstallOrderEntry(); // as the terminal's exit does
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::seconds(20)) << c.name << ": the exit waited for the reply";
        EXPECT_EQ(CDlgOrderFormExp::Instance(), nullptr) << c.name;
        EXPECT_EQ(orderRequests().size(), sent + 1) << c.name;
        bool named = false;
        for (const BarLine& l : barLines())
            named = named || l.text.rfind(c.barText, 0) == 0;
        EXPECT_TRUE(named) << c.name;
    }
}

TEST_F(OrderFormTest, ABseCdxOrderIsPlacedModifiedAndCancelledAndAZeroMultiplierCountsOneUnit)
{
    const int cb = findSecurity("CB", "FC");
    ASSERT_GE(cb, 0);
    // A master whose BSE-CDX record carries no units per lot.
    SecurityTable::current()->row(cb).multiplier = 0;
    const OrderSecurity sec = OrderSecurityAt(cb);
    ASSERT_TRUE(sec.currency);
    EXPECT_EQ(sec.lotUnits, 1);

    CDlgOrderFormExp* form = open(1, cb, 'B', 88.4525);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->text(kExchange), "BSE-CDX");
    ui::FormDriver d(*form);
    d.type(kLots, "2").type(kPrice, "88.4525");
    EXPECT_EQ(form->text(kQuantity), "2"); // 2 lots of 1 unit
    d.click(kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_EQ(orderRequests().size(), 1u);
    EXPECT_NE(orderRequests()[0].decoded.text.find("|" + std::to_string(sec.token) + "|CB|B|2|"), std::string::npos)
        << orderRequests()[0].decoded.text;
    ASSERT_EQ(StoredOrderCount(ActiveClientEntry()), 1);

    // From the book's record: modify, then cancel, both on BSE-CDX.
    form = open(2, 0, 'B');
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->text(kExchange), "BSE-CDX");
    ui::FormDriver(*form).type(kPrice, "88.4500").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    form = open(3, 0, 'B');
    ASSERT_NE(form, nullptr);
    ui::FormDriver(*form).click(kOk);
    ASSERT_TRUE(waitIdle(form));
    const auto sent = orderRequests();
    ASSERT_EQ(sent.size(), 3u);
    // A currency order is modified with 202 and cancelled with 203.
    EXPECT_NE(sent[1].decoded.text.find("OrderData1=202|CID01|1000001|"), std::string::npos) << sent[1].decoded.text;
    EXPECT_NE(sent[1].decoded.text.find("|CB|B|2|88.4525|2|8845.0000|"), std::string::npos) << sent[1].decoded.text;
    EXPECT_NE(sent[2].decoded.text.find("OrderData1=203|CID01|1000001|"), std::string::npos) << sent[2].decoded.text;
    EXPECT_FALSE(boxShown("Please Select proper exchange for the Order"));
    EXPECT_TRUE(barHas("Order Cancelled Successfully"));
}

TEST_F(OrderFormTest, APartialFillLeavesTheOrdersPriceSoModifySendsItAsThePreviousPrice)
{
    const int sec = equity();
    CDlgOrderFormExp* form = open(1, sec, 'B', 1500.05);
    ASSERT_NE(form, nullptr);
    ui::FormDriver(*form).type(kQuantity, "10").type(kPrice, "1500.05").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_EQ(StoredOrderCount(ActiveClientEntry()), 1);

    // The exchange fills 4 of the 10 at 1499.00 (a trade confirmation from the feed).
    const std::string token = std::to_string(OrderSecurityAt(sec).token);
    ASSERT_TRUE(ApplyOrderConfirmation(
        "", "1|100|" + token + "|NN||ABC12|B|1000001||4|149900.00|0.00||TRAD|09:15:00|EX1000001|TR1|||||"));
    OrderInfo stored;
    ASSERT_TRUE(ReadStoredOrder(ActiveClientEntry(), 0, stored));
    EXPECT_EQ(stored.open_qty, 6);
    EXPECT_STREQ(stored.status, "OPF");
    EXPECT_DOUBLE_EQ(stored.price, 1500.05);

    form = open(2, 0, 'B');
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->text(kPrice), "1500.05");
    EXPECT_EQ(form->text(kQuantity), "6");
    ui::FormDriver(*form).type(kPrice, "1500.10").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    const auto sent = orderRequests();
    ASSERT_EQ(sent.size(), 2u);
    // Side, open quantity, the order's previous price, the quantity and the new price.
    EXPECT_NE(sent[1].decoded.text.find("|B|6|1500.05|6|150010.00|U1|"), std::string::npos) << sent[1].decoded.text;
}

TEST_F(OrderFormTest, KeysSwitchSidesAndStepQuantity)
{
    CDlgOrderFormExp* form = open(1, equity(), 'B', 1500.05);
    ASSERT_NE(form, nullptr);
    form->keys().feed(static_cast<ui::Key>(static_cast<int>(ui::Key::F1) + 1)); // F2
    EXPECT_EQ(form->Side(), 'S');
    EXPECT_EQ(form->text(kOk), "New Sell Order");
    form->keys().feed(ui::Key::Add);
    EXPECT_EQ(form->Side(), 'B');
    form->focus(kQuantity);
    form->setText(kQuantity, "0");
    form->StepQuantity(-1);
    EXPECT_EQ(form->text(kQuantity), "0");
    form->StepQuantity(1);
    form->StepQuantity(1);
    EXPECT_EQ(form->text(kQuantity), "2");
    form->StepPrice(1);
    EXPECT_EQ(form->text(kPrice), "1500.10");
}

TEST_F(OrderFormTest, StopLossMarkSetsTheTriggerBelowABuyOnTheTick)
{
    g_AppSettings.stoploss_percent = 50; // 0.5 %
    CDlgOrderFormExp* form = open(1, equity(), 'B', 100.00);
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    d.pick(kOrderMark, 2); // "Stoploss", id 5
    ASSERT_EQ(form->text(kOrderMark), "Stoploss");
    d.type(kPrice, "100.00");
    form->StepPrice(1);
    form->StepPrice(-1);
    EXPECT_EQ(form->text(kTrigger), "99.50");
    d.type(kPrice, "99.97"); // 99.47015 -> 9947 paise, up to the 5-paise tick
    form->StepPrice(1);
    form->StepPrice(-1);
    EXPECT_EQ(form->text(kTrigger), "99.50");
    g_AppSettings.stoploss_percent = 0;
}

// GOLD's tick is 1 rupee: a buy at 128450 with a 0.5 % stop loss triggers at
// 128450 - 642.25 = 127807.75, moved up to the tick: 127808.00, which the
// form's own check then takes.
TEST_F(OrderFormTest, StopLossTriggerOfACommodityIsOnItsTick)
{
    g_AppSettings.stoploss_percent = 50;
    // One lot is worth 10 x 128450 = 1284500.
    const double savedLimit = g_AppSettings.order_value_limit;
    g_AppSettings.order_value_limit = 2000000;
    int gold = -1;
    for (int i = findSecurity("MC", "CF"); i >= 0 && gold < 0 && OrderSecurityAt(i).valid(); ++i)
        if (OrderSecurityAt(i).symbol == "GOLD" && OrderSecurityAt(i).series == "CF")
            gold = i;
    ASSERT_GE(gold, 0);
    ASSERT_DOUBLE_EQ(OrderSecurityAt(gold).tickRupees(), 1.0);
    CDlgOrderFormExp* form = open(1, gold, 'B', 128450);
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    d.type(kLots, "1");
    d.pick(kOrderMark, 2); // "Stoploss", id 5
    ASSERT_EQ(form->text(kOrderMark), "Stoploss");
    d.type(kPrice, "128450");
    form->StepPrice(1);
    form->StepPrice(-1);
    EXPECT_EQ(form->text(kTrigger), "127808.00");
    d.click(kOk);
    ASSERT_TRUE(waitIdle(form));
    EXPECT_FALSE(boxShown("Please enter Trigger Price in mulitple of Tick Size :1.00"));
    EXPECT_EQ(orderRequests().size(), 1u);
    g_AppSettings.stoploss_percent = 0;
    g_AppSettings.order_value_limit = savedLimit;
}

TEST_F(OrderFormTest, SquareOffOfAPositionLocksTheSideAndSendsTheSquareOffRecord)
{
    const int sec = equity();
    {
        PositionRecord p;
        p.sec_index = sec;
        p.net_qty = -25;
        p.product_code = 5;
        ActiveClientRiskArrays().positions = {p};
    }
    CDlgOrderFormExp* form = open(7, 0, 'B', 1500.05);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->Mode(), 1);
    EXPECT_EQ(form->RequestedMode(), 7);
    EXPECT_TRUE(form->SideLocked());
    EXPECT_EQ(form->text(kOk), "Square-Off Order");
    EXPECT_EQ(form->text(kQuantity), "25");
    form->keys().feed(static_cast<ui::Key>(static_cast<int>(ui::Key::F1) + 1)); // F2: ignored
    EXPECT_EQ(form->Side(), 'B');
    ui::FormDriver(*form).type(kPrice, "1500.05").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    const auto sent = orderRequests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NE(sent[0].decoded.text.find("OrderData1=106|CID01|N|00:00:00:00|"), std::string::npos)
        << sent[0].decoded.text;
    EXPECT_NE(sent[0].decoded.text.find("|NN|B|25|150005.00|5|U1|ABC12|ABC12|N||0|4|"), std::string::npos);
    ActiveClientRiskArrays().positions.clear();
}

// A user at the keyboard: the form shown and active, every key a press and a
// release delivered through the application to the control with the focus.
class KeyboardOrderTest : public OrderFormTest {
protected:
    void showActive(CDlgOrderFormExp* form)
    {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(pumpUntil([form] { return QApplication::activeWindow() == form; }));
    }
    void key(CDlgOrderFormExp* form, Qt::Key k, const QString& text = {})
    {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : form;
        QKeyEvent down(QEvent::KeyPress, k, Qt::NoModifier, text);
        down.setTimestamp(++m_time);
        QApplication::sendEvent(target, &down);
        QKeyEvent up(QEvent::KeyRelease, k, Qt::NoModifier, text);
        up.setTimestamp(++m_time);
        QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : form, &up);
        QApplication::processEvents();
    }
    void type(CDlgOrderFormExp* form, const std::string& text)
    {
        for (char c : text) {
            const Qt::Key k = c >= 'A' && c <= 'Z' ? Qt::Key(Qt::Key_A + (c - 'A'))
                : c >= '0' && c <= '9'           ? Qt::Key(Qt::Key_0 + (c - '0'))
                                                 : Qt::Key_Period;
            key(form, k, QString(QChar(c)));
        }
    }
    int nseSbin() const { return OrderFindOnExchange("SBIN", "NN", "EQ", true); }
    ulong m_time = 1000;
};

TEST_F(KeyboardOrderTest, TypedSymbolTabPriceAndOneEnterPlaceOneNseOrder)
{
    const int sbin = nseSbin();
    ASSERT_GE(sbin, 0);
    CDlgOrderFormExp* form = open(1, -1, 'B');
    ASSERT_NE(form, nullptr);
    showActive(form);
    ASSERT_EQ(form->focusedId(), kSecurity);
    type(form, "SBIN");
    key(form, Qt::Key_Tab);
    // The typed symbol is the NSE equity, kept through the form's own writes.
    EXPECT_EQ(form->SecurityIndex(), sbin);
    EXPECT_EQ(form->text(kSecurity), OrderSecurityAt(sbin).displayKey);
    EXPECT_EQ(form->text(kExchange), "NSE");
    EXPECT_EQ(form->text(kQuantity), "1");
    ASSERT_EQ(form->focusedId(), kPrice);
    type(form, "812.40");
    key(form, Qt::Key_Return);
    ASSERT_TRUE(waitIdle(form));
    EXPECT_FALSE(boxShown("Please Select proper Security for the Order"));
    const auto sent = orderRequests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NE(sent[0].decoded.text.find("|" + std::to_string(OrderSecurityAt(sbin).token) + "|NN|B|1|81240.00|"),
              std::string::npos)
        << sent[0].decoded.text;
    ASSERT_EQ(broker->orderDesk().orders().size(), 1u);

    // Up steps the quantity on every press, Enter places the next order at once.
    form->focus(kQuantity);
    form->setText(kQuantity, "3");
    for (int i = 0; i < 3; ++i)
        key(form, Qt::Key_Up);
    EXPECT_EQ(form->text(kQuantity), "6");
    key(form, Qt::Key_Return);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_EQ(orderRequests().size(), 2u);
    EXPECT_NE(orderRequests()[1].decoded.text.find("|NN|B|6|81240.00|"), std::string::npos);
}

TEST_F(OrderFormTest, TypedSymbolResolvesOnTheFormsExchangeAndFollowsAnExchangeSwitch)
{
    struct Case {
        const char* exchange; // the list's choice before typing
        int listIndex;
        const char* code;     // where "SBIN" is taken from
    };
    const Case cases[] = {{"NSE", 0, "NN"}, {"BSE", 1, "BN"}};
    for (const Case& c : cases) {
        CDlgOrderFormExp* form = open(1, -1, 'B');
        ASSERT_NE(form, nullptr);
        ui::FormDriver d(*form);
        d.pick(kExchange, c.listIndex);
        d.type(kSecurity, "SBIN");
        form->OnKillfocusSec();
        const OrderSecurity sec = OrderSecurityAt(form->SecurityIndex());
        ASSERT_TRUE(sec.valid()) << c.exchange;
        EXPECT_EQ(sec.symbol, "SBIN") << c.exchange;
        EXPECT_EQ(sec.exchange, c.code) << c.exchange;
        EXPECT_EQ(form->text(kExchange), c.exchange);
        EXPECT_FALSE(boxShown("Please Select proper Security for the Order")) << c.exchange;
        form->OnCancel();
    }
    // Switching the exchange takes the same symbol there.
    CDlgOrderFormExp* form = open(1, -1, 'B');
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    d.type(kSecurity, "SBIN");
    form->OnKillfocusSec();
    ASSERT_EQ(OrderSecurityAt(form->SecurityIndex()).exchange, "NN");
    d.pick(kExchange, 1);
    EXPECT_EQ(OrderSecurityAt(form->SecurityIndex()).exchange, "BN");
    EXPECT_EQ(OrderSecurityAt(form->SecurityIndex()).symbol, "SBIN");
    EXPECT_EQ(form->text(kSecurity), OrderSecurityAt(form->SecurityIndex()).displayKey);
}

TEST_F(OrderFormTest, AMasterReloadUnderAnOpenFormSendsTheOldTokenOrNothing)
{
    const int sec = equity();
    const OrderSecurity chosen = OrderSecurityAt(sec);
    CDlgOrderFormExp* form = open(1, sec, 'B', 1500.05);
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    d.type(kQuantity, "10").type(kPrice, "1500.05");
    // A reload that shifts every row: the old row now holds another security.
    PublishBrokerMasterWithout(broker->universe(), [&](const tb::Security& s) {
        return s.token == broker->universe().securities().front().token
            && s.exchange == broker->universe().securities().front().exchange;
    });
    ASSERT_NE(OrderSecurityAt(sec).token, chosen.token);
    d.click(kOk);
    ASSERT_TRUE(waitIdle(form));
    auto sent = orderRequests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NE(sent[0].decoded.text.find("|" + std::to_string(chosen.token) + "|NN|B|10|150005.00|"), std::string::npos)
        << sent[0].decoded.text;

    // A reload that lost the security: refused, nothing sent.
    PublishBrokerMasterWithout(broker->universe(), [&](const tb::Security& s) {
        return s.token == chosen.token && s.exchange == chosen.exchange;
    });
    d.type(kQuantity, "10").type(kPrice, "1500.05").click(kOk);
    EXPECT_FALSE(form->IsRequestInProcess());
    EXPECT_TRUE(boxShown("Please Select proper Security for the Order"));
    EXPECT_EQ(orderRequests().size(), 1u);
}

TEST_F(OrderFormTest, AFailedReplyAfterSendingSaysTheStateIsUnknownAndRefreshesTheBook)
{
    COrderViewEx* view = OpenOrderBook();
    ASSERT_NE(view, nullptr);
    auto reports = [this] {
        int n = 0;
        for (const auto& r : broker->requests())
            n += r.decoded.text.rfind("ReportData=600|", 0) == 0 ? 1 : 0;
        return n;
    };
    ASSERT_TRUE(pumpUntil([&] { return !view->isBusy() && reports() == 1; }, 20000));
    struct Case {
        const char* name;
        tb::HttpFault fault;
        const char* body = nullptr; // a 200 with this body instead of the order reply
        bool sor = false;
    };
    auto fault = [](int status, bool empty, long cut) {
        tb::HttpFault f;
        f.status = status;
        f.emptyBody = empty;
        f.cutAfter = cut;
        return f;
    };
    const Case cases[] = {
        {"200 with an empty body", fault(0, true, -1)},
        {"407", fault(407, false, -1)},
        {"500", fault(500, false, -1)},
        {"a reply cut short", fault(0, false, 5)},
        {"a gateway's error page", {}, "<html><body>Bad Gateway | please retry</body></html>"},
        {"a plain text", {}, "Service Unavailable"},
        {"an error page to a smart order", {}, "<html>502|Bad Gateway|x|0|y</html>", true},
    };
    // The user cancels the proxy dialog that the 407 brings up.
    modalHost.script("CProxyDetails", [](ui::FormDriver& d) { d.click(2); });
    const int sec = equity();
    int expectedReports = 1;
    for (const Case& c : cases) {
        CDlgOrderFormExp* form = open(1, sec, 'B', 1500.05);
        ASSERT_NE(form, nullptr) << c.name;
        const size_t before = orderRequests().size();
        const size_t asked = prompter.askCount();
        if (c.body)
            broker->setReply("NoOfOrders=1", c.body, 1);
        else
            broker->armFault("/qtrade/qtrade.exe", c.fault);
        ui::FormDriver d(*form);
        d.type(kQuantity, "10").type(kPrice, "1500.05");
        if (c.sor)
            d.click(kSor);
        d.click(kOk);
        ASSERT_TRUE(waitIdle(form)) << c.name;
        EXPECT_EQ(orderRequests().size(), before + 1) << c.name << ": one request, never a second";
        bool unknown = false;
        const auto asks = prompter.asks();
        for (size_t i = asked; i < asks.size(); ++i)
            unknown = unknown || asks[i].text.rfind("Order status unknown (", 0) == 0;
        EXPECT_TRUE(unknown) << c.name;
        EXPECT_TRUE(barHas("Please check the Order Book before placing it again.")) << c.name;
        EXPECT_FALSE(boxShown("Server Error. Please Check Order Report for Order Confirmation.")) << c.name;
        ++expectedReports;
        EXPECT_TRUE(pumpUntil([&] { return !view->isBusy() && reports() == expectedReports; }, 20000)) << c.name;
        form->OnCancel();
    }
    EXPECT_TRUE(boxShown(OrderStateUnknownText(500)));
    EXPECT_TRUE(boxShown(OrderStateUnknownText(407)));
    EXPECT_TRUE(boxShown(OrderStateUnknownText(200)));
    EXPECT_TRUE(boxShown(OrderStateUnknownText(200, true)));
    EXPECT_FALSE(barHas("Bad Gateway"));
    delete view;
    EXPECT_TRUE(WaitOrderReportDownloads(20000));
}

TEST_F(OrderFormTest, ASmartRoutedOrderShowsItsRoutesInTheConfirmationBoxAndStoresEachFill)
{
    // The server routed the order in two parts and left 4 unfilled.
    broker->setReply("NoOfOrders=1",
                     "101|0|1000001|0|Route one filled|x|x|6|150005|4|1^1000002|0|Route two filled|x|3|150010", 1);
    CDlgOrderFormExp* form = open(1, equity(), 'B', 1500.05);
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    d.type(kQuantity, "13").type(kPrice, "1500.05").click(kSor).click(kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_EQ(orderRequests().size(), 1u);
    EXPECT_NE(orderRequests()[0].decoded.text.find("|N||1|4|"), std::string::npos) << "the SOR flag is sent";
    bool shown = false;
    for (const testkit::AskRecord& a : prompter.asks())
        shown = shown
            || (a.caption == "Confirmation" && a.text == "Route one filled\nRoute two filled\nRemaining Order Qty : 4");
    EXPECT_TRUE(shown);
    EXPECT_TRUE(barHas("Route one filled\nRoute two filled"));
    ASSERT_TRUE(pumpUntil([] { return StoredOrderCount(ActiveClientEntry()) == 2; }));
    const auto stored = OrderStoreSnapshot(ActiveClientEntry());
    EXPECT_EQ(stored[0].order_no, 1000001);
    EXPECT_EQ(stored[0].total_qty, 6);
    EXPECT_DOUBLE_EQ(stored[0].price, 1500.05);
    EXPECT_EQ(stored[1].order_no, 1000002);
    EXPECT_EQ(stored[1].open_qty, 3);
    EXPECT_DOUBLE_EQ(stored[1].price, 1500.10);
    for (const OrderInfo& o : stored) {
        EXPECT_STREQ(o.mark_name, "SOR");
        EXPECT_STREQ(o.status, "NEWF");
    }
}

TEST_F(OrderFormTest, NumbersThatAreNotWholeAreRefusedWithTheBoxsMessageAndNothingIsSent)
{
    const int equitySec = equity();
    const int future = findSecurity("NN", "FS");
    ASSERT_GE(future, 0);
    ASSERT_TRUE(OrderSecurityAt(future).inLots());
    const char* const quantityMessage = "Please enter valid Quantity for the Order";
    const char* const disclosedMessage = "Please enter valid Disclosed Quantity.";
    const char* const marginMessage = "Please enter Quantity to calculate margin";
    struct Case {
        const char* name;
        bool lots;        // a future, typed in lots; else an equity typed in shares
        int box;          // the box typed into
        const char* text;
        int button;       // OK or the margin button
        const char* message;
        int focused;      // the box the refusal focuses
    };
    const Case cases[] = {
        {"thousands separator", false, kQuantity, "1,000", kOk, quantityMessage, kQuantity},
        {"fraction of a share", false, kQuantity, "10.5", kOk, quantityMessage, kQuantity},
        {"letters for zeros", false, kQuantity, "2OO", kOk, quantityMessage, kQuantity},
        {"plus sign", false, kQuantity, "+10", kOk, quantityMessage, kQuantity},
        {"minus sign", false, kQuantity, "-10", kOk, quantityMessage, kQuantity},
        {"leading blank", false, kQuantity, " 10", kOk, quantityMessage, kQuantity},
        {"empty quantity", false, kQuantity, "", kOk, quantityMessage, kQuantity},
        {"fraction of a lot", true, kLots, "1.5", kOk, quantityMessage, kLots},
        {"lots with a separator", true, kLots, "1,0", kOk, quantityMessage, kLots},
        {"lots with a sign", true, kLots, "+1", kOk, quantityMessage, kLots},
        {"empty lots", true, kLots, "", kOk, quantityMessage, kLots},
        {"lots beyond any quantity", true, kLots, "999999999", kOk, quantityMessage, kLots},
        {"fraction disclosed", false, kDisclosed, "5.5", kOk, disclosedMessage, kDisclosed},
        {"signed disclosed", false, kDisclosed, "+5", kOk, disclosedMessage, kDisclosed},
        {"margin of a separated quantity", false, kQuantity, "1,000", kMargin, marginMessage, kQuantity},
        {"margin of a fraction of a lot", true, kLots, "1.5", kMargin, marginMessage, kQuantity},
    };
    for (const Case& c : cases) {
        CDlgOrderFormExp* form = open(1, c.lots ? future : equitySec, 'B', c.lots ? 200 : 1500.05);
        ASSERT_NE(form, nullptr) << c.name;
        ui::FormDriver d(*form);
        // Everything else is a good order: only the box of the case is at fault.
        if (c.lots)
            d.type(kLots, "2").type(kPrice, "200");
        else
            d.type(kQuantity, "10").type(kPrice, "1500.05").type(kDisclosed, "0");
        d.type(c.box, c.text).click(c.button);
        EXPECT_TRUE(d.problems().empty()) << c.name;
        EXPECT_FALSE(form->IsRequestInProcess()) << c.name;
        ASSERT_FALSE(prompter.asks().empty()) << c.name;
        EXPECT_EQ(prompter.asks().back().text, c.message) << c.name;
        if (c.button == kOk) {
            EXPECT_EQ(form->focusedId(), c.focused) << c.name;
        }
        EXPECT_TRUE(broker->requests().empty()) << c.name << ": nothing goes to the server";
        form->OnCancel();
    }
    EXPECT_EQ(PeekOrderRequestNumber(), 0);
}

TEST(QuoteSnapshot, ReadsBidAskAndLastFromTheSecondItem)
{
    double bid = -1, ask = -1, ltp = -1;
    ASSERT_TRUE(ParseQuoteSnapshot("x*a,100,b,200,c,300", bid, ask, ltp));
    EXPECT_EQ(bid, 100);
    EXPECT_EQ(ask, 200);
    EXPECT_EQ(ltp, 300);
    ASSERT_TRUE(ParseQuoteSnapshot("x*a,z,b,200,c,300", bid, ask, ltp));
    EXPECT_EQ(bid, 0); // not a number
    for (const char* reply : {"", "no star", "x*", "x*a,1,b,2,c"})
        EXPECT_FALSE(ParseQuoteSnapshot(reply, bid, ask, ltp)) << reply;
}

TEST_F(OrderFormTest, SetFeedDataStoresTheSnapshotOnlyFromAGoodReply)
{
    const int sec = equity();
    const int wtoken = OrderSecurityAt(sec).wtoken;
    const tb::Quote q = broker->quote(wtoken);
    tb::HttpFault fault;
    fault.status = 500;
    broker->armFault("/qtrade/feeds.exe", fault);
    testkit::onWorker([&] { SetFeedData(sec); });
    EXPECT_EQ(OrderSecurityAt(sec).ask, 0);
    testkit::onWorker([&] { SetFeedData(sec); });
    const OrderSecurity now = OrderSecurityAt(sec);
    EXPECT_EQ(now.bid, static_cast<double>(q.bid));
    EXPECT_EQ(now.ask, static_cast<double>(q.ask));
    EXPECT_EQ(now.ltp, static_cast<double>(q.last));
    EXPECT_GT(now.ask, 0);
}

} // namespace
} // namespace ordertest
