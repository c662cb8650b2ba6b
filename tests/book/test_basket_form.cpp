// The basket form against the test broker: three market-watch rows into one
// 301 request, accepted legs in the order desk and a refused one on the
// Trading list; the form stays busy during a slow send; the order book's
// Basket Cancel sends cancel records; the DDS Units box.
#include "OrderFixture.h"

#include "server/FeedState.h"
#include "server/SecurityTable.h"

#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"
#include "frame/controls/CMyReportCtrl.h"
#include "orders/CBasketOrder.h"
#include "orders/COrderViewEx.h"
#include "orders/CTradeView.h"
#include "orders/OrderBookCommands.h"
#include "frame/OrderFormLinks.h"
#include "orders/OrderReply.h"
#include "server/OrderSecurity.h"
#include "server/ServerRequests.h"
#include "app/base/ConfigFile.h"
#include "frame/PositionServices.h"
#include "watch/CScripSearch.h"
#include "frame/WatchOpeners.h"
#include "app/base/TextFormat.h"

#include "ui/form_driver.h"

#include "ui/grid_ranges.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

class BasketFormTest : public ordertest::OrderFixture {
protected:
    void SetUp() override
    {
        OrderFixture::SetUp();
        CopyFixedText(pv_user_info.session_id, "SESS01");
        for (int i = 0; secs.size() < 3 && i < 5000; ++i) {
            const OrderSecurity s = OrderSecurityAt(i);
            if (s.valid() && s.exchange == "NN" && s.series == "EQ")
                secs.push_back(i);
        }
        ASSERT_EQ(secs.size(), 3u);
        InstallBasketForm();
    }
    void TearDown() override
    {
        EXPECT_TRUE(WaitBasketSends(20000));
        pumpUntil([] { return false; }, 50);
        UninstallBasketForm();
        if (g_pOrderViewEx)
            delete g_pOrderViewEx;
        EXPECT_TRUE(WaitOrderReportDownloads(20000));
        SetLoggedIn(false);
        OrderFixture::TearDown();
    }
    CBasketOrder* openFromWatch()
    {
        std::vector<WatchOpeners::BasketLeg> legs;
        for (int s : secs)
            legs.push_back({s, 0});
        watchOpeners().basket("ABC12", legs);
        CBasketOrder* form = g_pBasketOrder;
        if (!form)
            return nullptr;
        for (int k = 0; k < 3; ++k) {
            form->row(k).quantity->setText("1");
            form->row(k).price->setText("0"); // market orders: they stay open until the market is matched
        }
        return form;
    }
    std::vector<tb::RecordedRequest> baskets() const
    {
        std::vector<tb::RecordedRequest> out;
        for (const tb::RecordedRequest& r : broker->requests())
            if (r.decoded.text.rfind("OrdReqNo=", 0) == 0)
                out.push_back(r);
        return out;
    }
    std::vector<int> secs;
};

TEST_F(BasketFormTest, ThreeWatchRowsGoOutOnceWithTwoAcceptedLegsAndOneRefused)
{
    CBasketOrder* form = openFromWatch();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle().toStdString(), "Basket Order Form");
    EXPECT_TRUE(form->row(2).select->isChecked());
    EXPECT_FALSE(form->row(3).select->isChecked());
    broker->orderDesk().refuseNext(1, "Order rejected by RMS");
    form->okButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return !form->isSending(); }, 20000));
    const auto sent = baskets();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NE(sent[0].decoded.text.find("NoOfOrders=3&TransCode=301"), std::string::npos) << sent[0].decoded.text;
    EXPECT_NE(sent[0].decoded.text.find("&OrderData3="), std::string::npos);
    EXPECT_EQ(broker->orderDesk().orders().size(), 2u);
    EXPECT_TRUE(barHas("Placing Basket Order No :3"));
    EXPECT_TRUE(barHas("Basket Order :1, Message :Order rejected by RMS"));
    EXPECT_TRUE(barHas("Basket Order :2, Message :Order Placed Successfully"));
    EXPECT_TRUE(barHas("Basket Order :3, Message :Order Placed Successfully"));
    EXPECT_TRUE(form->okButton()->isEnabled());

    // The accepted legs are in the order book.
    COrderViewEx* book = OpenOrderBook();
    ASSERT_NE(book, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !book->isBusy() && book->grid()->model().rowTotal() == 2; }, 20000));

    // They fill; the trade book shows them grouped by security and order.
    broker->orderDesk().setMatching(true);
    broker->orderDesk().matchMarket();
    CTradeView* trades = OpenTradeBook();
    ASSERT_NE(trades, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !trades->isBusy(); }, 20000));
    EXPECT_EQ(trades->trades().size(), 2u);
    EXPECT_EQ(trades->grid()->groupColumns(), (std::vector<int>{0, 3}));
    delete trades;
    EXPECT_TRUE(WaitTradeReportDownloads(20000));
}

TEST_F(BasketFormTest, TheOpenBooksTakeTheBasketsOrdersAndTradesWithoutARefresh)
{
    // Both books open and idle before the basket goes: nothing shown yet.
    COrderViewEx* book = OpenOrderBook();
    ASSERT_NE(book, nullptr);
    CTradeView* trades = OpenTradeBook();
    ASSERT_NE(trades, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !book->isBusy() && !trades->isBusy(); }, 20000));
    ASSERT_EQ(book->grid()->model().rowTotal(), 0);
    ASSERT_TRUE(trades->trades().empty());

    // Market orders trade at once: a two-leg basket, buy 5 and sell 10.
    broker->orderDesk().setMatching(true);
    CBasketOrder* form = openFromWatch();
    ASSERT_NE(form, nullptr);
    form->row(0).quantity->setText("5");
    form->row(1).quantity->setText("10");
    form->row(1).action->setCurrentIndex(1);
    form->row(2).select->setChecked(false);
    form->okButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return !form->isSending(); }, 20000));
    ASSERT_EQ(broker->orderDesk().orders().size(), 2u);

    EXPECT_TRUE(pumpUntil([&] { return !book->isBusy() && book->grid()->model().rowTotal() == 2; }, 20000))
        << book->grid()->model().rowTotal();
    EXPECT_TRUE(pumpUntil([&] { return !trades->isBusy() && trades->trades().size() == 2; }, 20000))
        << trades->trades().size();
    int bought = 0, sold = 0;
    for (const TradeInfo& t : trades->trades())
        (t.side == 'B' ? bought : sold) += t.quantity;
    EXPECT_EQ(bought, 5);
    EXPECT_EQ(sold, 10);
    delete trades;
    EXPECT_TRUE(WaitTradeReportDownloads(20000));
}

TEST_F(BasketFormTest, AnEmptySecurityBoxSaysHowToPickTheLegsSecurity)
{
    CBasketOrder* form = openFromWatch();
    ASSERT_NE(form, nullptr);
    const CBasketOrder::Row& empty = form->row(kBasketLegCount - 1);
    EXPECT_TRUE(empty.name->isReadOnly());
    EXPECT_EQ(empty.name->text(), "");
    EXPECT_EQ(empty.name->placeholderText().toStdString(), "Click ... to choose the security");
}

TEST_F(BasketFormTest, AReplyThatFailsAfterTheBasketLeftSaysTheStateIsUnknownRefreshesTheBookAndNeverSendsAgain)
{
    COrderViewEx* book = OpenOrderBook();
    ASSERT_NE(book, nullptr);
    auto reports = [this] {
        int n = 0;
        for (const auto& r : broker->requests())
            n += r.decoded.text.rfind("ReportData=600|", 0) == 0 ? 1 : 0;
        return n;
    };
    ASSERT_TRUE(pumpUntil([&] { return !book->isBusy() && reports() == 1; }, 20000));
    struct Case {
        const char* name;
        int status;
        bool empty;
        long cut;
    };
    const Case cases[] = {
        {"500", 500, false, -1},
        {"200 with an empty body", 0, true, -1},
        {"a reply cut short", 0, false, 5},
    };
    int expectedReports = 1;
    for (const Case& c : cases) {
        CBasketOrder* form = openFromWatch();
        ASSERT_NE(form, nullptr) << c.name;
        const size_t before = baskets().size();
        const size_t asked = prompter.askCount();
        tb::HttpFault fault;
        fault.status = c.status;
        fault.emptyBody = c.empty;
        fault.cutAfter = c.cut;
        broker->armFault("/qtrade/qbasket.exe", fault);
        form->okButton()->click();
        ASSERT_TRUE(pumpUntil([&] { return !form->isSending(); }, 20000)) << c.name;
        // The broker took the legs; only the reply was lost.
        EXPECT_EQ(baskets().size(), before + 1) << c.name;
        bool unknown = false;
        const auto asks = prompter.asks();
        for (size_t i = asked; i < asks.size(); ++i)
            unknown = unknown || asks[i].text.rfind("Order status unknown (", 0) == 0;
        EXPECT_TRUE(unknown) << c.name;
        EXPECT_TRUE(barHas("Please check the Order Book before placing it again.")) << c.name;
        ++expectedReports;
        EXPECT_TRUE(pumpUntil([&] { return !book->isBusy() && reports() == expectedReports; }, 20000)) << c.name;
        // However often OK is pressed, the same legs do not go out again.
        for (int press = 0; press < 3; ++press) {
            form->okButton()->click();
            pumpUntil([&] { return !form->isSending(); }, 20000);
        }
        EXPECT_EQ(baskets().size(), before + 1) << c.name;
        for (int k = 0; k < kBasketLegCount; ++k)
            EXPECT_FALSE(form->row(k).select->isChecked()) << c.name << " leg " << k;
    }
    EXPECT_TRUE(boxShown(OrderStateUnknownText(500)));
    EXPECT_TRUE(boxShown(OrderStateUnknownText(200)));
    EXPECT_FALSE(boxShown("Internet Connectivity Error [500]. Pls contact System Administrator"));
}

TEST_F(BasketFormTest, ACurrencyLegPickedWithTheSearchGoesOutAsOneLotAndALegOfNoLotIsRefused)
{
    const int fx = findSecurity("CN", "FC");
    ASSERT_GE(fx, 0);
    // The search hands the pair's future to leg 1, as its Enter does, and closes.
    modalHost.script("CScripSearch", [fx](ui::FormDriver& d) {
        g_pBasketOrder->SetLegSecurity(1, fx);
        static_cast<CScripSearch&>(d.form()).OnCancel();
    });
    ASSERT_TRUE(OpenFrameBasket());
    CBasketOrder* form = g_pBasketOrder;
    ASSERT_NE(form, nullptr);
    form->row(0).search->click();
    const OrderSecurity sec = OrderSecurityAt(form->legs[0].secIndex);
    ASSERT_TRUE(sec.valid());
    ASSERT_EQ(sec.exchange, "CN");
    ASSERT_EQ(sec.lotUnits, 1000);
    EXPECT_EQ(form->row(0).lots->text().toStdString(), "1");
    EXPECT_EQ(form->row(0).quantity->text().toStdString(), "1000");
    form->row(0).price->setText("0");
    form->okButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return !form->isSending(); }, 20000));
    auto sent = baskets();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NE(sent[0].decoded.text.find(formatText("|%d|CN|B|1|", sec.scripCode)), std::string::npos)
        << sent[0].decoded.text;

    // Lots far beyond what an int holds once multiplied by the units.
    form->row(0).lots->setText("3000000");
    emit form->row(0).lots->textEdited(QStringLiteral("3000000"));
    EXPECT_EQ(form->row(0).quantity->text().toStdString(), "3000000000");

    // A Lot box of 0 is refused, whatever the quantity says.
    form->row(0).lots->setText("0");
    form->okButton()->click();
    EXPECT_TRUE(boxShown("Please enter at least one Lot for the Order"));
    EXPECT_EQ(baskets().size(), 1u);
}

TEST_F(BasketFormTest, ACommodityLegShowsItsUnitsAndWhatItsPriceIsFor)
{
    // The broker's GOLD: 100 units a lot, priced for 10 GRMS, denominator 10.
    int gold = -1;
    for (const tb::Security& s : broker->universe().securities())
        if (s.exchange == "MC" && s.symbol == "GOLD" && s.inst == "CF") {
            gold = OrderSearchToken(s.token, "MC");
            break;
        }
    ASSERT_GE(gold, 0);
    const int fx = findSecurity("CN", "FC");
    ASSERT_GE(fx, 0);
    int pick = gold;
    modalHost.script("CScripSearch", [&pick](ui::FormDriver& d) {
        g_pBasketOrder->SetLegSecurity(1, pick);
        static_cast<CScripSearch&>(d.form()).OnCancel();
    });
    ASSERT_TRUE(OpenFrameBasket());
    CBasketOrder* form = g_pBasketOrder;
    ASSERT_NE(form, nullptr);
    const CBasketOrder::Row& r = form->row(0);
    r.search->click();
    ASSERT_EQ(form->legs[0].secIndex, gold);
    // One lot: 100 x 1 x 1 / 10 units.
    EXPECT_EQ(r.units->text().toStdString(), "Units:10");
    EXPECT_EQ(r.priceFor->text().toStdString(), "Price for:10 GRMS");

    // Three lots typed: the quantity is 3 market lots, the units 100 x 1 x 3 / 10.
    r.lots->setText("3");
    emit r.lots->textEdited(QStringLiteral("3"));
    EXPECT_EQ(r.quantity->text().toStdString(), "3");
    EXPECT_EQ(r.units->text().toStdString(), "Units:30");

    // A currency leg has no such texts.
    pick = fx;
    r.search->click();
    EXPECT_TRUE(r.units->text().isEmpty());
    EXPECT_TRUE(r.priceFor->text().isEmpty());
}

// The second leg's "..." opens the search below that leg (never over the
// first leg's fields), and the security chosen there fills the second leg
// with its last price; the first leg is left as it was.
TEST_F(BasketFormTest, TheSecondLegsSearchFillsTheSecondLegWithItsLastPrice)
{
    const int eq = secs[1];
    const auto table = SecurityTable::current();
    ASSERT_TRUE(table);
    table->row(eq).updateQuote([](QuoteData& q) { q.quote[4] = 123456; }); // the last price, in paise
    const OrderSecurity sec = OrderSecurityAt(eq);
    ASSERT_TRUE(OpenFrameBasket());
    CBasketOrder* form = g_pBasketOrder;
    ASSERT_NE(form, nullptr);
    int searchTop = -1;
    modalHost.script("CScripSearch", [&](ui::FormDriver& d) {
        auto& search = static_cast<CScripSearch&>(d.form());
        searchTop = search.geometry().top();
        // The search hands the security to its leg, as its Enter does, and closes.
        g_pBasketOrder->SetLegSecurity(2, eq);
        search.OnCancel();
    });
    form->row(1).search->click();
    const QWidget* firstLeg = form->row(0).price;
    const int firstLegBottom = firstLeg->mapToGlobal(QPoint(0, firstLeg->height())).y();
    EXPECT_GE(searchTop, firstLegBottom);
    EXPECT_EQ(form->legs[1].secIndex, eq);
    EXPECT_EQ(form->row(1).name->text().toStdString(), sec.displayKey);
    EXPECT_EQ(form->row(1).price->text().toStdString(), "1234.56");
    EXPECT_TRUE(form->row(0).name->text().isEmpty());
    EXPECT_TRUE(form->row(0).price->text().isEmpty());
}

TEST_F(BasketFormTest, ALegQuantityThatIsNotAWholeNumberIsRefusedAndNoBasketGoesOut)
{
    CBasketOrder* form = openFromWatch();
    ASSERT_NE(form, nullptr);
    for (const char* typed : {"+1", "1,000", "1.5", "2OO", "-1", "99999999999999999999"}) {
        form->row(1).quantity->setText(QString::fromUtf8(typed));
        const size_t asked = prompter.askCount();
        form->okButton()->click();
        EXPECT_FALSE(form->isSending()) << typed;
        ASSERT_GT(prompter.askCount(), asked) << typed;
        EXPECT_EQ(prompter.asks().back().text, "Please enter Quantity for the Order") << typed;
    }
    EXPECT_TRUE(baskets().empty());
}

TEST_F(BasketFormTest, ALegMovedFromNseToBseTakesTheBseEquityOfTheSameSymbol)
{
    CBasketOrder* form = openFromWatch();
    ASSERT_NE(form, nullptr);
    const OrderSecurity nse = OrderSecurityAt(form->legs[0].secIndex);
    ASSERT_EQ(nse.series, "EQ");
    form->row(0).exchange->setCurrentIndex(1); // "BSE"
    emit form->row(0).exchange->activated(1);
    const OrderSecurity bse = OrderSecurityAt(form->legs[0].secIndex);
    EXPECT_EQ(bse.exchange, "BN");
    EXPECT_EQ(bse.symbol, nse.symbol);
    EXPECT_EQ(bse.series, "A"); // the BSE twin's own series
    EXPECT_EQ(form->row(0).name->text().toStdString(), bse.displayKey);
    EXPECT_FALSE(boxShown("Security " + nse.symbol + " is not present in BSE exchange"));
}

TEST_F(BasketFormTest, ASlowSendKeepsTheFormOpenAndSendsOnce)
{
    CBasketOrder* form = openFromWatch();
    ASSERT_NE(form, nullptr);
    tb::HttpFault slow;
    slow.delayMs = 1500;
    broker->armFault("/qtrade/qbasket.exe", slow);
    form->okButton()->click();
    ASSERT_TRUE(form->isSending());
    EXPECT_FALSE(form->okButton()->isEnabled());
    form->OnOK();        // a second press while sending
    QKeyEvent ctrlShiftM(QEvent::KeyPress, Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
    QApplication::sendEvent(form, &ctrlShiftM); // a margin query while sending
    EXPECT_FALSE(form->okButton()->isEnabled());
    EXPECT_FALSE(form->allMarginButton()->isEnabled());
    form->reject();      // Cancel
    form->close();       // the window's close
    EXPECT_EQ(g_pBasketOrder, form);
    // Another basket from the watch while this one is sent: refused, and the user told.
    const std::string firstLeg = form->row(0).name->text().toStdString();
    watchOpeners().basket("ABC12", {{secs[2], 0}});
    EXPECT_TRUE(boxShown("The Basket Order Form is still sending the previous basket. Please try again when it is done."));
    EXPECT_EQ(form->row(0).name->text().toStdString(), firstLeg);
    EXPECT_TRUE(form->row(1).select->isChecked());
    ASSERT_TRUE(pumpUntil([&] { return !form->isSending(); }, 20000));
    EXPECT_EQ(baskets().size(), 1u);
    EXPECT_TRUE(form->okButton()->isEnabled());
    int margins = 0;
    for (const tb::RecordedRequest& r : broker->requests())
        margins += r.decoded.text.rfind("RiskData=405", 0) == 0;
    EXPECT_EQ(margins, 0);

    // Once idle, Ctrl+Shift+M asks the margin of the three legs.
    QApplication::sendEvent(form, &ctrlShiftM);
    ASSERT_TRUE(pumpUntil([&] { return !form->isSending(); }, 20000));
    margins = 0;
    for (const tb::RecordedRequest& r : broker->requests())
        margins += r.decoded.text.rfind("RiskData=405", 0) == 0;
    EXPECT_EQ(margins, 3);
    bool shown = false;
    for (const testkit::AskRecord& a : prompter.asks())
        shown |= a.caption == "Required Margin"
            && a.text.rfind("Total Required Margin to place this basket order is ", 0) == 0;
    EXPECT_TRUE(shown);
}

TEST_F(BasketFormTest, BasketCancelFromTheBookSendsCancelRecordsAndDdsUnitsMultiply)
{
    // Two open orders in the desk, then in the book.
    CBasketOrder* form = openFromWatch();
    ASSERT_NE(form, nullptr);
    form->row(2).select->setChecked(false);
    form->okButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return !form->isSending(); }, 20000));
    const auto orders = broker->orderDesk().orders();
    ASSERT_EQ(orders.size(), 2u);
    COrderViewEx* book = OpenOrderBook();
    ASSERT_NE(book, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !book->isBusy() && book->grid()->model().rowTotal() == 2; }, 20000));
    ui::setCurrentRow(*book->grid(), book->rowOfRecord(0));
    book->grid()->selectRow(book->rowOfRecord(1), true);
    book->commands()->run(kCmdBasketCancel);
    ASSERT_EQ(g_pBasketOrder, form);
    EXPECT_EQ(form->windowTitle().toStdString(), "Basket Cancel Order Form");
    EXPECT_EQ(form->okButton()->text().toStdString(), "Cancel Order(s)");
    broker->clearRequests();
    form->okButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return !form->isSending(); }, 20000));
    const auto sent = baskets();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NE(sent[0].decoded.text.find("TransCode=321"), std::string::npos);
    EXPECT_NE(sent[0].decoded.text.find("&OrderData1=ABC12|0|" + std::to_string(orders[0].orderNo) + "|"),
              std::string::npos)
        << sent[0].decoded.text;
    for (const tb::DeskOrder& o : broker->orderDesk().orders())
        EXPECT_EQ(o.status, "CAN");

    // DDS Units 3 on given quantities 50 and 75.
    form->ResetBasketData();
    form->givenLegs = 2;
    form->legs[0].quantity = 50;
    form->legs[1].quantity = 75;
    form->row(4).quantity->setText("9");
    form->ddsUnitsEdit()->setText("3");
    form->OnKillfocusDdsUnits();
    EXPECT_EQ(form->row(0).quantity->text().toStdString(), "150");
    EXPECT_EQ(form->row(1).quantity->text().toStdString(), "225");
    EXPECT_EQ(form->row(4).quantity->text().toStdString(), "9");
    form->ddsUnitsEdit()->setText("0");
    form->OnKillfocusDdsUnits();
    EXPECT_TRUE(boxShown("Please Select proper number for DDS units."));
    EXPECT_EQ(form->row(0).quantity->text().toStdString(), "150");
}

TEST_F(BasketFormTest, TheTradingPasswordIsAskedOfGUsersOnlyCheckedSentAndShownAgain)
{
    const char type = pv_user_info.user_type;
    const int flag = g_Session.account_flag;
    ClearBasketTradingPassword();
    CBasketOrder* form = openFromWatch();
    ASSERT_NE(form, nullptr);
    EXPECT_FALSE(form->asksPassword());
    EXPECT_TRUE(form->passwordEdit()->isHidden());
    pv_user_info.user_type = 'G';
    g_Session.account_flag = 1; // the login set the flag: not asked
    form = openFromWatch();
    EXPECT_FALSE(form->asksPassword());

    g_Session.account_flag = 0;
    form = openFromWatch();
    ASSERT_TRUE(form->asksPassword());
    EXPECT_FALSE(form->passwordEdit()->isHidden());
    EXPECT_TRUE(form->passwordEdit()->text().isEmpty());
    struct Case {
        const char* typed;
        const char* refusal;
    };
    const Case refused[] = {
        {"   ", "Please enter Trading Password"},
        {"ab&c", "The Trading Password cannot be sent: it may not hold & = % | ~ ^ or exceed 11 characters"},
        {"a=b", "The Trading Password cannot be sent: it may not hold & = % | ~ ^ or exceed 11 characters"},
    };
    for (const Case& c : refused) {
        form->passwordEdit()->setText(QString::fromLatin1(c.typed));
        form->okButton()->click();
        EXPECT_TRUE(boxShown(c.refusal)) << c.typed;
        EXPECT_TRUE(form->okButton()->isEnabled());
    }
    EXPECT_TRUE(baskets().empty());
    EXPECT_EQ(BasketTradingPassword(), "");

    // A good one goes out trimmed as TPassword and is offered again next time.
    form->passwordEdit()->setText(QStringLiteral(" tp123 "));
    form->okButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return !form->isSending(); }, 20000));
    const auto sent = baskets();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NE(sent[0].decoded.text.find("&TPassword=tp123&OrderData1="), std::string::npos) << sent[0].decoded.text;
    EXPECT_EQ(BasketTradingPassword(), "tp123");
    form = openFromWatch();
    EXPECT_EQ(form->passwordEdit()->text().toStdString(), "tp123");

    pv_user_info.user_type = type;
    g_Session.account_flag = flag;
    ClearBasketTradingPassword();
}

TEST_F(BasketFormTest, EstimatedChargesOpensThePageOfTheClientInTheBox)
{
    ordertest::RecordingLinks links;
    ordertest::InstallChargesLink(links);
    CBasketOrder* form = openFromWatch();
    ASSERT_NE(form, nullptr);
    emit form->chargesLink()->linkActivated(QStringLiteral("charges"));
    // Without the link in the table nothing opens.
    g_WebLinkTable.links.clear();
    emit form->chargesLink()->linkActivated(QStringLiteral("charges"));
    SetOrderFormLinks(nullptr);
    ASSERT_EQ(links.opened.size(), 1u);
    EXPECT_EQ(links.opened[0].rfind("http://127.0.0.1:9/qtrade/qlogin.exe?LoginData=1002|U1|", 0), 0u)
        << links.opened[0];
    EXPECT_NE(links.opened[0].find("|104&ClientUserId=ABC12"), std::string::npos) << links.opened[0];
}

TEST_F(BasketFormTest, TheFrameCommandsRefuseAViewOnlyUserAndAnInactiveClient)
{
    const char type = pv_user_info.user_type;
    pv_user_info.user_type = 'V';
    EXPECT_FALSE(OpenFrameBasket());
    EXPECT_TRUE(boxShown("You don't have access to place Basket Order"));
    EXPECT_EQ(g_pBasketOrder, nullptr);
    pv_user_info.user_type = type;

    ClientInfo* active = ActiveClientEntry();
    ASSERT_NE(active, nullptr);
    active->active = 0;
    EXPECT_FALSE(OpenFrameBasket());
    EXPECT_TRUE(boxShown("Please Activate a Client"));
    EXPECT_EQ(g_pBasketOrder, nullptr);
    active->active = 1;

    // Allowed: an empty basket for the active client.
    ASSERT_TRUE(OpenFrameBasket());
    ASSERT_NE(g_pBasketOrder, nullptr);
    EXPECT_EQ(g_pBasketOrder->clientEdit()->text().toStdString(), "ABC12");
    for (int k = 0; k < kBasketLegCount; ++k)
        EXPECT_FALSE(g_pBasketOrder->row(k).select->isChecked());
}

} // namespace
