// The order form's margin query end to end against the test broker: a plain
// buy is answered at once, a future sell asks the broker for its rate, and
// the broker's refusals and false echoes reach the user as boxes.
#include "OrderFixture.h"

#include "TsloDesk.h"
#include "orders/CDlgOrderFormExp.h"
#include "orders/OrderFormIds.h"
#include "server/OrderSecurity.h"
#include "orders/ClientOrderStore.h"
#include "orders/TsloOrder.h"
#include "frame/OrderFormLinks.h"
#include "server/SecurityTable.h"
#include "server/ServerRequests.h"
#include "app/base/ConfigFile.h"
#include "orders/COrderData.h"
#include "orders/TsloOrderBook.h"
#include "orders/CTsloOrderView.h"
#include "frame/controls/CMyReportCtrl.h"
#include "orders/OrderBookToolBar.h"
#include "server/ExtraSubscriptions.h"
#include "testkit/keep_look.h"
#include "testkit/scripted_prompter.h"
#include <QAction>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include "frame/OrderFormOpener.h"
#include "frame/OrderFormService.h"
#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"
#include "app/base/AppSettings.h"
#include "RequestDecoder.h"
#include "app/base/TextFormat.h"

#include "frame/FrameThemes.h"
#include "testkit/contrast.h"
#include "testkit/figures.h"
#include "ui/form_driver.h"
#include "ui/grid_view.h"
#include "ui/rgb.h"
#include "ui/theme_manager.h"

#include <QTreeView>

#include <gtest/gtest.h>

namespace ordertest {
namespace {

using namespace orderform;

class MarginFormTest : public OrderFixture {
protected:
    int marginRequests() const
    {
        int n = 0;
        for (const tb::RecordedRequest& r : broker->requests())
            if (r.path == "/qtrade/qrms.exe" && r.request.code() == "405")
                ++n;
        return n;
    }
};

TEST_F(MarginFormTest, CashBuyIsAnsweredWithoutARequest)
{
    CDlgOrderFormExp* form = open(1, findSecurity("NN", "EQ"), 'B', 250.50);
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    d.type(kQuantity, "10").type(kPrice, "250.50").click(kMargin);
    EXPECT_TRUE(boxShown("Required Margin to place this order is 2505.00"));
    EXPECT_FALSE(form->IsRequestInProcess());
    EXPECT_EQ(marginRequests(), 0);
}

TEST_F(MarginFormTest, FutureSellAsksTheBrokersRateAndShowsItsFaults)
{
    broker->tsloDesk().setMarginRate("NN", 1, 4);
    const int future = findSecurity("NN", "FS");
    const int lot = OrderSecurityAt(future).marketLot;
    ASSERT_GT(lot, 0);
    CDlgOrderFormExp* form = open(1, future, 'S', 200);
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    d.type(kLots, "2").type(kPrice, "200").click(kMargin);
    EXPECT_TRUE(form->IsRequestInProcess()); // busy while the query runs
    ASSERT_TRUE(waitIdle(form));
    EXPECT_EQ(marginRequests(), 1);
    // Two lots at 200.00 on a rate of 4: a quarter of the value.
    EXPECT_TRUE(boxShown(formatText("Required Margin to place this order is %.2lf", 2 * lot * 200 / 4.0)));


    broker->tsloDesk().falseEchoNextMargin();
    d.click(kMargin);
    ASSERT_TRUE(waitIdle(form));
    EXPECT_TRUE(boxShown("Mismatch in the send received data values"));

    broker->tsloDesk().setMarginRate("NN", 1, 0);
    d.click(kMargin);
    ASSERT_TRUE(waitIdle(form));
    EXPECT_TRUE(boxShown("Zero multiple value received from server"));

    d.type(kLots, "0").click(kMargin);
    EXPECT_TRUE(boxShown("Please enter Quantity to calculate margin"));
    EXPECT_EQ(marginRequests(), 3);
}

TEST_F(MarginFormTest, ACurrencyMarginCountsItsLotUnitsOnceThroughTheFormsFields)
{
    // 2 lots of a currency future (1000 units each) at 88.4525, rate 4: a buy
    // needs 2 x 1000 x 88.4525 = 176,905.0000; a sell divides that by the rate.
    broker->tsloDesk().setMarginRate("CN", 2, 4);
    const int fx = findSecurity("CN", "FC");
    ASSERT_GE(fx, 0);
    ASSERT_EQ(OrderSecurityAt(fx).lotUnits, 1000);
    struct Case {
        char side;
        const char* shown;
    };
    for (const Case& c : {Case{'B', "Required Margin to place this order is 176905.0000"},
                          Case{'S', "Required Margin to place this order is 44226.2500"}}) {
        CDlgOrderFormExp* form = open(1, fx, c.side, 88.4525);
        ASSERT_NE(form, nullptr) << c.side;
        ui::FormDriver d(*form);
        d.type(kLots, "2").type(kPrice, "88.4525");
        ASSERT_EQ(form->text(kQuantity), "2000") << c.side;
        d.click(kMargin);
        ASSERT_TRUE(waitIdle(form)) << c.side;
        EXPECT_TRUE(boxShown(c.shown)) << c.side;
        form->OnCancel();
    }
}

class TsloFormTest : public OrderFixture {
protected:
    // A "TSLO New" buy of 10 with spread 2, placed through the form.
    CDlgOrderFormExp* placeTsloNew()
    {
        const int eq = findSecurity("NN", "EQ");
        const OrderSecurity s = OrderSecurityAt(eq);
        price = s.ltp > 0 ? s.ltp / 100.0 : 100.0;
        CDlgOrderFormExp* form = open(1, eq, 'B', price);
        if (!form)
            return nullptr;
        ui::FormDriver d(*form);
        d.type(kQuantity, "10").type(kPrice, formatText("%.2lf", price)).click(kTrailing);
        EXPECT_TRUE(form->isVisible(kSpread));
        EXPECT_EQ(form->TsloKind(), 3);
        EXPECT_EQ(form->TrailSide(), 'S');
        d.type(kSpread, "2").click(kOk);
        EXPECT_TRUE(waitIdle(form));
        return form;
    }
    bool captionShown(const std::string& caption) const
    {
        for (const testkit::AskRecord& a : prompter.asks())
            if (a.caption == caption)
                return true;
        return false;
    }
    // The client's trailing book as the broker holds it now.
    void downloadBook()
    {
        const std::string client(FixedTextView(ActiveClientEntry()->client_code));
        const TsloReport r = ReadTsloReport(
            broker->tsloDesk().report(tb::splitRequest(BuildTsloReportRequest("X", "U1", client))), client);
        SetTsloBook(client, std::make_shared<const TsloBook>(r.records));
    }
    CDlgOrderFormExp* openFromBook(int mode, int index, char side, int kind)
    {
        OrderFormParams p;
        p.index = index;
        p.side = side;
        p.tslKind = kind;
        OpenOrderForm(p, nullptr, mode);
        CDlgOrderFormExp* form = CDlgOrderFormExp::Instance();
        return form && form->IsInitialised() ? form : nullptr;
    }
    void TearDown() override
    {
        ClearTsloBooks();
        OrderFixture::TearDown();
    }
    double price = 0;
};

TEST_F(TsloFormTest, ANewTsloBuyIsOne121AndShowsSuccess)
{
    SetInfoTextForTest("2.3.0.20 TESTDEVICE");
    CDlgOrderFormExp* form = placeTsloNew();
    ASSERT_NE(form, nullptr);
    const std::vector<std::string> sent = broker->tsloDesk().requests(121);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(orderRequests().size(), 1u);
    EXPECT_NE(sent[0].find("|3|N|"), std::string::npos) << sent[0];
    EXPECT_NE(sent[0].find(formatText("|B|10|%.2lf|0|", price * 100)), std::string::npos) << sent[0];
    EXPECT_NE(sent[0].find("|S|2.0000|0.00|-1.00|-1|1|2.3.0.20 TESTDEVICE|GFD||4|"), std::string::npos) << sent[0];
    EXPECT_TRUE(captionShown("Success"));
    EXPECT_GT(form->TsloResultId(), 0);
    EXPECT_EQ(form->text(kQuantity), "0");
}

TEST_F(TsloFormTest, ABookProfitDisclosedQuantityThatIsNotAWholeNumberIsRefused)
{
    const int eq = findSecurity("NN", "EQ");
    const OrderSecurity s = OrderSecurityAt(eq);
    price = s.ltp > 0 ? s.ltp / 100.0 : 100.0;
    for (const char* typed : {"1.5", "+1", "1,0", "2O"}) {
        CDlgOrderFormExp* form = open(1, eq, 'B', price);
        ASSERT_NE(form, nullptr) << typed;
        ui::FormDriver d(*form);
        d.type(kQuantity, "10").type(kPrice, formatText("%.2lf", price)).click(kTrailing);
        d.type(kSpread, "2").click(kBookProfit).type(kBpPrice, formatText("%.2lf", price)).type(kBpDisclosed, typed);
        d.click(kOk);
        EXPECT_TRUE(d.problems().empty()) << typed;
        EXPECT_FALSE(form->IsRequestInProcess()) << typed;
        ASSERT_FALSE(prompter.asks().empty()) << typed;
        EXPECT_EQ(prompter.asks().back().text, "Please enter Valid Book Profit Disclosed Qty for the Order") << typed;
        EXPECT_EQ(form->focusedId(), kBpDisclosed) << typed;
        form->OnCancel();
    }
    EXPECT_TRUE(broker->tsloDesk().requests(121).empty());
    EXPECT_TRUE(orderRequests().empty());
}

TEST_F(TsloFormTest, TheBookRecordIsModifiedAndCancelled)
{
    ASSERT_NE(placeTsloNew(), nullptr);
    downloadBook();
    const int special = broker->tsloDesk().orders().at(0).specialNo;

    // Leg 2 of the order: the form edits leg 1's record.
    CDlgOrderFormExp* form = openFromBook(2, 1, 'S', 3);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle().toStdString(), "Modify TSLO Order");
    EXPECT_EQ(form->Side(), 'B');
    EXPECT_EQ(form->TrailSide(), 'S');
    EXPECT_TRUE(form->isEnabled(kSpread));
    ui::FormDriver d(*form);
    d.type(kSpread, "3").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    const std::vector<std::string> modified = broker->tsloDesk().requests(122);
    ASSERT_EQ(modified.size(), 1u);
    EXPECT_NE(modified[0].find(formatText("|3|%d|N|10|0|", special)), std::string::npos) << modified[0];
    EXPECT_DOUBLE_EQ(broker->tsloDesk().orders().at(0).spread, 3);

    form = openFromBook(3, 0, 'B', 3);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle().toStdString(), "Cancel TSLO Order");
    ui::FormDriver(*form).click(kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_EQ(broker->tsloDesk().requests(123).size(), 1u);
    EXPECT_EQ(broker->tsloDesk().orders().at(0).legs.at(1).status, "CAN");
}

TEST_F(TsloFormTest, ConfirmationsShowTheTrailingValuesSentAndTheLinesNameTheAction)
{
    g_AppSettings.switches[0] = '1'; // the user asks to confirm orders
    const auto row = [](const char* label, const std::string& value) {
        return "<tr><td>" + std::string(label) + "</td><td>&nbsp;:&nbsp;</td><td>" + value + "</td></tr>";
    };
    const auto lastConfirmation = [this]() -> std::string {
        std::string text;
        for (const testkit::AskRecord& a : prompter.asks())
            if (a.caption == "Do You want to place order")
                text = a.text;
        return text;
    };
    const auto confirmations = [this] {
        int n = 0;
        for (const testkit::AskRecord& a : prompter.asks())
            n += a.caption == "Do You want to place order";
        return n;
    };

    // A buy of 10 trailing a sell 2.00 below its price.
    ASSERT_NE(placeTsloNew(), nullptr);
    ASSERT_EQ(broker->tsloDesk().requests(121).size(), 1u);
    EXPECT_EQ(confirmations(), 1);
    std::string text = lastConfirmation();
    EXPECT_NE(text.find("Placing New Trailing Stoploss Order for"), std::string::npos) << text;
    EXPECT_NE(text.find(row("Buy / Sell", "Buy")), std::string::npos) << text;
    EXPECT_NE(text.find(row("Quantity", "10")), std::string::npos) << text;
    EXPECT_NE(text.find(row("Price", formatText("%.2lf", price))), std::string::npos) << text;
    EXPECT_NE(text.find(row("Trailing Stoploss Spread", "2.00")), std::string::npos) << text;
    EXPECT_NE(text.find(row("Stoploss Trigger Price", formatText("%.2lf", price - 2))), std::string::npos) << text;
    EXPECT_NE(text.find(row("Trailing At", "MKT")), std::string::npos) << text;
    EXPECT_TRUE(barHas("Placing TSLO Order"));

    // The modify shows the new spread and the trigger that follows it.
    downloadBook();
    CDlgOrderFormExp* form = openFromBook(2, 1, 'S', 3);
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    d.type(kSpread, "3").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_EQ(broker->tsloDesk().requests(122).size(), 1u);
    EXPECT_EQ(confirmations(), 2);
    text = lastConfirmation();
    EXPECT_NE(text.find("Modifying Trailing Stoploss Order for"), std::string::npos) << text;
    EXPECT_NE(text.find(row("Trailing Stoploss Spread", "3.00")), std::string::npos) << text;
    EXPECT_NE(text.find(row("Stoploss Trigger Price", formatText("%.2lf", price - 3))), std::string::npos) << text;
    EXPECT_TRUE(barHas("Modifying TSLO Order"));

    // The cancel form has one button that cancels; No sends nothing.
    downloadBook();
    form = openFromBook(3, 0, 'B', 3);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->text(kOk), "Cancel TSLO Order");
    EXPECT_EQ(form->text(kCancel), "&Close");
    prompter.queueAnswer(ui::No);
    ui::FormDriver(*form).click(kOk);
    ASSERT_TRUE(waitIdle(form));
    EXPECT_TRUE(broker->tsloDesk().requests(123).empty());
    EXPECT_EQ(confirmations(), 3);
    EXPECT_NE(lastConfirmation().find("Cancelling Trailing Stoploss Order for"), std::string::npos);
    EXPECT_NE(lastConfirmation().find(row("Trailing Stoploss Spread", "3.00")), std::string::npos) << lastConfirmation();
    ui::FormDriver(*form).click(kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_EQ(broker->tsloDesk().requests(123).size(), 1u);
    EXPECT_TRUE(barHas("Cancelling TSLO Order"));
    // A new order's form reads "Cancel" again on the button that closes it.
    form->OnCancel();
    form = open(1, findSecurity("NN", "EQ"), 'B', price);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->text(kCancel), "&Cancel");
}

class TsloBookTest : public TsloFormTest {
protected:
    CTsloOrderView* openBook()
    {
        CTsloOrderView* view = OpenTsloOrderBook();
        if (view && !pumpUntil([view] { return view->isReady(); }, 20000))
            return nullptr;
        if (view)
            view->WaitForDownload();
        return view;
    }
    void refresh(CTsloOrderView* view)
    {
        view->OnOrderRefresh();
        pumpUntil([view] { return view->isReady(); }, 20000);
        view->WaitForDownload();
    }
    // A "TSLO New" buy of 10 at a spread of 2 (price 0: at market), placed
    // straight at the broker's desk for `client`.
    TsloReply::Kind placeAtDesk(const OrderSecurity& sec, const std::string& client, double price)
    {
        COrderData d;
        CopyFixedText(d.client_code, client);
        CopyFixedText(d.exchange, sec.exchange);
        CopyFixedText(d.validity, "GFD");
        d.trailing_type = 3;
        d.side = 'B';
        d.trailing_side = 'S';
        d.quantity = 10;
        d.price = price;
        d.spread = 2;
        d.bp_price = -1;
        d.bp_disclosed = -1;
        TsloRequestContext c;
        c.userId = "U1";
        const TsloRequest r = BuildTsloRequest(d, sec, c);
        return ParseTsloReply(121, broker->tsloDesk().reply(tb::splitRequest(r.text))).kind;
    }
    void TearDown() override
    {
        if (CTsloOrderView* view = CTsloOrderView::Instance())
            delete view;
        TsloFormTest::TearDown();
    }
};

TEST_F(TsloBookTest, OneTsloNewGroupOfTwoLegsThatTrailsAfterLegOneTrades)
{
    // A market buy: leg 1 trades at the next market step.
    const OrderSecurity sec = OrderSecurityAt(findSecurity("NN", "EQ"));
    ASSERT_EQ(placeAtDesk(sec, std::string(FixedTextView(ActiveClientEntry()->client_code)), 0),
              TsloReply::Kind::Accepted);
    broker->tsloDesk().setMatching(true);
    CTsloOrderView* view = openBook();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->windowTitle().toStdString().rfind("TSLO Order Report", 0), 0u);
    ASSERT_EQ(view->book().size(), 2u);
    const ui::GridModel& model = view->grid()->model();
    const std::vector<int> top = model.childrenOf(ui::GridModel::kRoot);
    ASSERT_EQ(top.size(), 1u);
    EXPECT_TRUE(model.isGroup(top[0]));
    EXPECT_EQ(model.text(top[0], 0).toStdString(), "TSLO New");
    const std::vector<int> legs = model.childrenOf(top[0]);
    ASSERT_EQ(legs.size(), 2u);
    EXPECT_NE(model.mergeAt(legs[1], 0), nullptr); // the two legs share column 0
    EXPECT_EQ(model.text(legs[0], 12).toStdString(), "OPN");

    broker->marketStep(); // the buy at the last price trades
    refresh(view);
    ASSERT_EQ(view->book().size(), 2u);
    EXPECT_EQ(std::string(view->book()[0].status), "TRAD");
    EXPECT_EQ(std::string(view->book()[1].status), "TRL");

    // Modify from the book opens the form on leg 1 with the trailing leg editable.
    view->selectRecord(1);
    view->OnOrderModify();
    CDlgOrderFormExp* form = CDlgOrderFormExp::Instance();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle().toStdString(), "Modify TSLO Order");
    EXPECT_TRUE(form->isEnabled(kSpread));
    EXPECT_FALSE(form->isEnabled(kPrice)); // leg 1 has traded
    // The trailing leg is modified for the order's whole quantity.
    EXPECT_EQ(form->text(kQuantity), "10");
    ui::FormDriver(*form).type(kSpread, "3").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    EXPECT_FALSE(boxShown("Please enter valid Quantity for the Order"));
    const std::vector<std::string> modified = broker->tsloDesk().requests(122);
    ASSERT_EQ(modified.size(), 1u);
    EXPECT_NE(modified[0].find("|N|10|10|"), std::string::npos) << modified[0];
}

TEST_F(TsloFormTest, ACurrencySpreadShowsFourDecimalsOnTheModifyForm)
{
    const int fx = findSecurity("CN", "FC");
    ASSERT_GE(fx, 0);
    const OrderSecurity sec = OrderSecurityAt(fx);
    COrderData d;
    CopyFixedText(d.client_code, std::string(FixedTextView(ActiveClientEntry()->client_code)));
    CopyFixedText(d.exchange, "CN");
    CopyFixedText(d.validity, "GFD");
    d.trailing_type = 1;
    d.side = 'S';
    d.trailing_side = 'S';
    d.quantity = 2;
    d.spread = 0.0025;
    d.bp_price = -1;
    d.bp_disclosed = -1;
    TsloRequestContext c;
    c.userId = "U1";
    const TsloRequest r = BuildTsloRequest(d, sec, c);
    ASSERT_EQ(ParseTsloReply(121, broker->tsloDesk().reply(tb::splitRequest(r.text))).kind, TsloReply::Kind::Accepted);
    downloadBook();
    ASSERT_FALSE(TsloBookOf("ABC12")->empty());
    CDlgOrderFormExp* form = openFromBook(2, 0, 'S', 1);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->text(kSpread), "0.0025");
}

TEST_F(TsloBookTest, ADealerCancelsTheOrderOfTheClientWhoseBookTheyViewNotTheActiveClients)
{
    // One "TSLO New" buy in the desk for the active client ABC12 and one for XYZ99.
    const OrderSecurity sec = OrderSecurityAt(findSecurity("NN", "EQ"));
    for (const char* client : {"ABC12", "XYZ99"})
        ASSERT_EQ(placeAtDesk(sec, client, 100), TsloReply::Kind::Accepted);
    const auto orders = broker->tsloDesk().orders();
    ASSERT_EQ(orders.size(), 2u);
    ASSERT_EQ(orders[1].clientCode, "XYZ99");
    downloadBook(); // the active client's book is held too
    ASSERT_EQ(TsloBookOf("ABC12")->size(), 2u);

    // A dealer without a chosen client types XYZ99 into the book.
    pv_user_info.user_type = 'D';
    CTsloOrderView* view = openBook();
    ASSERT_NE(view, nullptr);
    view->clientEdit()->setText(QStringLiteral("XYZ99"));
    refresh(view);
    ASSERT_EQ(view->book().size(), 2u);
    ASSERT_EQ(std::string(view->book()[0].client_code), "XYZ99");
    view->selectRecord(0);
    view->OnOrderCancel();
    CDlgOrderFormExp* form = CDlgOrderFormExp::Instance();
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->windowTitle().toStdString(), "Cancel TSLO Order");
    ui::FormDriver(*form).click(kOk);
    ASSERT_TRUE(waitIdle(form));
    const std::vector<std::string> sent = broker->tsloDesk().requests(123);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NE(sent[0].find(formatText("|XYZ99|XYZ99|3|%d|", orders[1].specialNo)), std::string::npos) << sent[0];
    const auto after = broker->tsloDesk().orders();
    EXPECT_EQ(after.at(1).legs.at(0).status, "CAN");
    EXPECT_NE(after.at(0).legs.at(0).status, "CAN");
}

// The legs' first column shows the record's special order number (the one
// the placing message named) on its band, painted where the user sees it,
// and every text of the book reads on its background in every theme, each
// column at least as wide as its header's text.
TEST_F(TsloBookTest, TheSpecialOrderNumberShowsAndEveryLegReadsInEveryTheme)
{
    ASSERT_NE(placeTsloNew(), nullptr);
    const int special = broker->tsloDesk().orders().at(0).specialNo;
    CTsloOrderView* view = openBook();
    ASSERT_NE(view, nullptr);
    view->resize(1200, 300);
    view->show();
    const ui::GridModel& model = view->grid()->model();
    const std::vector<int> groups = model.childrenOf(ui::GridModel::kRoot);
    ASSERT_EQ(groups.size(), 1u);
    const std::vector<int> legs = model.childrenOf(groups[0]);
    ASSERT_EQ(legs.size(), 2u);
    EXPECT_EQ(model.text(legs[0], 0).toStdString(), std::to_string(special));

    // Painted: the number's pixels stand out from the band in its cell.
    QTreeView* tree = view->grid()->tree();
    ASSERT_TRUE(pumpUntil([&] { return tree->isVisible(); }));
    const QImage image = tree->viewport()->grab().toImage();
    const QRect cell = view->grid()->mergedCellRect(legs[0], 0);
    ASSERT_TRUE(cell.isValid());
    const QColor band = ui::toQColor(model.effectiveBackColour(legs[0], 0));
    const QColor base = tree->palette().color(QPalette::Base); // the indentation left of the cell
    int ink = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = std::max(0, cell.left()); x <= cell.right() && x < image.width(); ++x)
            if (image.pixelColor(x, y) != base && testkit::contrastRatio(image.pixelColor(x, y), band) > 3)
                ++ink;
    EXPECT_GT(ink, 10) << "the special order number is painted";

    const testkit::KeepLook keep([theme = g_AppSettings.theme] { g_AppSettings.theme = theme; });
    for (const ThemeEntry& t : RibbonThemes()) {
        g_AppSettings.theme = t.id;
        ui::ThemeManager::apply(ThemeLookFor(t.id)); // the whole program takes it, as the frame does
        refresh(view);
        EXPECT_EQ(testkit::unreadableCells(*view->grid()), std::vector<std::string>{}) << t.text;
        EXPECT_EQ(testkit::unreadableLabels(*view), std::vector<std::string>{}) << t.text;
        EXPECT_EQ(testkit::clippedHeaders(*view), std::vector<std::string>{}) << t.text;
    }
}

// Every price and spread of the book and its CSV with the instrument's
// decimals: four for the currency pair's legs, two for the share's.
TEST_F(TsloBookTest, EveryFigureHasItsInstrumentsDecimalsOnTheGridAndInTheCsv)
{
    const std::string client(FixedTextView(ActiveClientEntry()->client_code));
    const int fx = findSecurity("CN", "FC");
    ASSERT_GE(fx, 0);
    ASSERT_EQ(placeAtDesk(OrderSecurityAt(findSecurity("NN", "EQ")), client, 822.5), TsloReply::Kind::Accepted);
    ASSERT_EQ(placeAtDesk(OrderSecurityAt(fx), client, 83.1225), TsloReply::Kind::Accepted);
    CTsloOrderView* view = openBook();
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->book().size(), 4u);
    EXPECT_EQ(testkit::wrongDecimals(*view->grid()), std::vector<std::string>{});

    const std::filesystem::path file = std::filesystem::temp_directory_path() / "vx_tslo_figures.csv";
    prompter.queueSavePath(file.string());
    ASSERT_TRUE(view->OnSaveAsCsv());
    std::ifstream in(file);
    std::string line;
    int fxLines = 0, shareLines = 0;
    std::getline(in, line); // the header
    while (std::getline(in, line)) {
        const bool currency = line.find("USDINR") != std::string::npos || line.find("EURINR") != std::string::npos;
        (currency ? fxLines : shareLines) += 1;
        // A field that is a figure with a decimal point: the number of decimals.
        std::stringstream fields(line);
        std::string field;
        while (std::getline(fields, field, ',')) {
            if (!field.empty() && field.front() == '"')
                field = field.substr(1, field.size() - 2);
            const size_t dot = field.find('.');
            if (dot == std::string::npos || field.find_first_not_of("-0123456789.") != std::string::npos)
                continue;
            EXPECT_EQ(field.size() - dot - 1, currency ? 4u : 2u) << line;
        }
    }
    EXPECT_EQ(fxLines, 2);
    EXPECT_EQ(shareLines, 2);
    std::filesystem::remove(file);
}

TEST_F(TsloBookTest, A1205IsAnEmptyBookWithoutABoxAndTheCsvIsQuoted)
{
    ASSERT_NE(placeTsloNew(), nullptr);
    const size_t boxes = prompter.askCount();
    broker->tsloDesk().failReportWith1205(true);
    CTsloOrderView* view = openBook();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->book().empty());
    EXPECT_EQ(prompter.askCount(), boxes);

    broker->tsloDesk().failReportWith1205(false);
    refresh(view);
    ASSERT_EQ(view->book().size(), 2u);
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "vx_tslo_book.csv";
    prompter.queueSavePath(file.string());
    ASSERT_TRUE(view->OnSaveAsCsv());
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    const std::string csv = text.str();
    EXPECT_EQ(csv.rfind("Special Order No.,Security,ME,", 0), 0u);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3); // header and two legs, no group row
    std::filesystem::remove(file);

    view->OnOrderHistory(); // nothing selected
    EXPECT_TRUE(boxShown("Please Activate a Client"));
    view->selectRecord(0);
    view->OnOrderHistory();
    EXPECT_TRUE(boxShown("Order History is not available in this version."));
}

TEST_F(TsloFormTest, SmartRoutingIsRefusedOutsideGfdAndExpandingNeedsNormalGfd)
{
    CDlgOrderFormExp* form = open(1, findSecurity("NN", "EQ"), 'B', 100);
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    const std::vector<std::string> types = form->comboItems(kOrderType);
    const auto ioc = std::find(types.begin(), types.end(), "IOC");
    ASSERT_NE(ioc, types.end());
    form->setComboIndex(kOrderType, static_cast<int>(ioc - types.begin()));
    d.click(kSor);
    EXPECT_TRUE(boxShown("Cannot Place Smart Order as IOC"));
    EXPECT_FALSE(form->checked(kSor));

    d.click(kTrailing);
    EXPECT_TRUE(boxShown("Cannot place IOC as TSLO Order."));
    EXPECT_FALSE(form->checked(kTrailing));
    EXPECT_FALSE(form->isVisible(kSpread));
}

TEST_F(TsloFormTest, UpAtTheQuantityLimitLeavesTheQuantity)
{
    CDlgOrderFormExp* form = open(1, findSecurity("NN", "EQ"), 'B', 100);
    ASSERT_NE(form, nullptr);
    const int limit = g_AppSettings.order_qty_limit > 0 ? g_AppSettings.order_qty_limit : 5000;
    form->setText(kQuantity, std::to_string(limit));
    form->focus(kQuantity);
    form->StepQuantityHeld(1);
    EXPECT_EQ(form->text(kQuantity), std::to_string(limit));
    form->StepQuantityHeld(-1);
    EXPECT_EQ(form->text(kQuantity), std::to_string(limit - 1));
}

TEST_F(TsloFormTest, EstimatedChargesOpensTheLinkWithTheTypedClientEncoded)
{
    RecordingLinks links;
    InstallChargesLink(links);
    CDlgOrderFormExp* form = open(1, findSecurity("NN", "EQ"), 'B', 100);
    ASSERT_NE(form, nullptr);
    form->setText(kAccount, "AB&C1");
    ui::FormDriver(*form).click(kCharges);
    SetOrderFormLinks(nullptr);
    g_WebLinkTable.links.clear();
    ASSERT_EQ(links.opened.size(), 1u);
    EXPECT_EQ(links.opened[0].rfind("http://127.0.0.1:9/qtrade/qlogin.exe?LoginData=1002|", 0), 0u) << links.opened[0];
    EXPECT_NE(links.opened[0].find("|104&ClientUserId=AB%26C1"), std::string::npos) << links.opened[0];
}

TEST_F(TsloFormTest, TheBseRadioTakesTheTwinsBestAskForABuy)
{
    const int eq = findSecurity("NN", "EQ");
    const OrderSecurity own = OrderSecurityAt(eq);
    const int twin = OrderFindOnExchange(own.symbol, "BN", "", true);
    if (twin < 0)
        GTEST_SKIP() << "no BSE twin in the master";
    OrderFormParams p;
    p.index = eq;
    p.side = 'B';
    p.price = own.ltp / 100;
    p.companionIndex = twin;
    OpenOrderForm(p, nullptr, 1);
    CDlgOrderFormExp* form = CDlgOrderFormExp::Instance();
    ASSERT_TRUE(form && form->IsInitialised());
    form->OnRadioExchange(false);
    EXPECT_EQ(form->text(kExchange), "BSE");
    EXPECT_EQ(form->text(kPrice), formatText("%.2lf", OrderSecurityAt(twin).ask / 100));
    form->OnRadioExchange(true);
    EXPECT_EQ(form->text(kExchange), "NSE");
    EXPECT_EQ(form->text(kPrice), formatText("%.2lf", OrderSecurityAt(eq).ask / 100));
}

TEST_F(TsloFormTest, TheOrderMarkRelabelsTheTriggerAndOffersBothExchangesOnlyForANormalCashOrder)
{
    // The broker's mark ids: Normal is 0, Stop Loss 5.
    pv_user_info.segments[0].id = 0;
    const int eq = findSecurity("NN", "EQ");
    const OrderSecurity own = OrderSecurityAt(eq);
    const int twin = OrderTwinOnExchange(own, "BN");
    ASSERT_GE(twin, 0);
    CDlgOrderFormExp* form = open(1, eq, 'B', 100);
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    auto pickMark = [&](const std::string& name) {
        const std::vector<std::string> marks = form->comboItems(kOrderMark);
        const auto at = std::find(marks.begin(), marks.end(), name);
        ASSERT_NE(at, marks.end()) << name;
        d.pick(kOrderMark, static_cast<int>(at - marks.begin()));
    };
    pickMark("Stoploss");
    EXPECT_EQ(form->text(kTriggerLabel), "Stoploss Trig (Sell)"); // a buy's stop loss sells
    EXPECT_FALSE(form->isVisible(kNseRadio));
    EXPECT_FALSE(form->isVisible(kBseRadio));
    pickMark("Normal");
    EXPECT_EQ(form->text(kTriggerLabel), "Trigger Price");
    EXPECT_TRUE(form->isVisible(kNseRadio));
    EXPECT_TRUE(form->isVisible(kBseRadio));
    EXPECT_TRUE(form->checked(kNseRadio));
    EXPECT_EQ(form->text(kNsePrice), formatText("%.2lf", own.ltp / 100));
    EXPECT_EQ(form->text(kBsePrice), formatText("%.2lf", OrderSecurityAt(twin).ltp / 100));
    d.pick(kAction, 1); // SELL
    pickMark("Stoploss");
    EXPECT_EQ(form->text(kTriggerLabel), "Stoploss Trig (Buy)");
    form->OnCancel();

    // A future has no twin to offer, Normal or not.
    form = open(1, findSecurity("NN", "FS"), 'B', 100);
    ASSERT_NE(form, nullptr);
    ui::FormDriver f(*form);
    {
        const std::vector<std::string> marks = form->comboItems(kOrderMark);
        f.pick(kOrderMark, static_cast<int>(std::find(marks.begin(), marks.end(), "Normal") - marks.begin()));
    }
    EXPECT_FALSE(form->isVisible(kNseRadio));
    form->OnCancel();

    // A currency stop loss names no side.
    form = open(1, findSecurity("CN", "FC"), 'B', 88);
    ASSERT_NE(form, nullptr);
    ui::FormDriver c(*form);
    {
        const std::vector<std::string> marks = form->comboItems(kOrderMark);
        c.pick(kOrderMark, static_cast<int>(std::find(marks.begin(), marks.end(), "Stoploss") - marks.begin()));
    }
    EXPECT_EQ(form->text(kTriggerLabel), "Stoploss Trigger");
}

TEST_F(TsloFormTest, LeavingThePriceWithoutASpreadGoesToTheSpread)
{
    CDlgOrderFormExp* form = open(1, findSecurity("NN", "EQ"), 'B', 100);
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    d.type(kQuantity, "10").type(kPrice, "100.00").click(kTrailing);
    ASSERT_TRUE(form->isVisible(kSpread));
    auto tabOutOfThePrice = [&] {
        form->focus(kPrice);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(form->control(kPrice), &out);
    };
    tabOutOfThePrice();
    EXPECT_TRUE(pumpUntil([form] { return form->focusedId() == kSpread; }, 2000)) << form->focusedId();

    // With a spread the trigger follows the price and the focus goes on.
    d.type(kSpread, "2");
    form->setText(kPrice, "101.00");
    tabOutOfThePrice();
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(form->focusedId(), kPrice);
    EXPECT_EQ(form->text(kTslTrigger), "99.00");
}

TEST_F(TsloFormTest, AResearchCallOpensAMorrowpickOrderWithItsTriggerAndTarget)
{
    const int eq = findSecurity("NN", "EQ");
    const auto table = SecurityTable::current();
    ASSERT_TRUE(table && table->valid(eq));
    const OrderSecurity sec = OrderSecurityAt(eq);
    std::vector<std::string> call(30);
    call[2] = std::to_string(table->row(eq).scrip_code);
    call[4] = "BUY";
    call[19] = sec.symbol;
    call[25] = "110.50"; // target
    call[26] = "95.25";  // stop-loss trigger
    call[28] = "1";
    const int code = table->row(eq).scrip_code;
    SetScripCodeLookup([eq, code](int scripCode, char) { return scripCode == code ? eq : -1; });
    ShowMorrowpickOrderForm(nullptr, call);
    SetScripCodeLookup(nullptr);
    pumpUntil([] { return CDlgOrderFormExp::Instance() && CDlgOrderFormExp::Instance()->IsInitialised(); }, 5000);
    CDlgOrderFormExp* form = CDlgOrderFormExp::Instance();
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->TsloKind(), 5);
    EXPECT_EQ(form->windowTitle().toStdString(), "New Buy Order Form : Morrowpick");
    EXPECT_EQ(form->text(kTrailLabel), "Morrowpick (Sell)");
    EXPECT_FALSE(form->isVisible(kSpread));
    EXPECT_EQ(form->text(kTslTrigger), "95.25");
    EXPECT_EQ(form->text(kBpPrice), "110.50");
    ui::FormDriver d(*form);
    d.type(kQuantity, "5").type(kPrice, "100.00").click(kOk);
    ASSERT_TRUE(waitIdle(form));
    const std::vector<std::string> sent = broker->tsloDesk().requests(121);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NE(sent[0].find("|5|N|"), std::string::npos) << sent[0];
    EXPECT_NE(sent[0].find("|B|5|10000.00|0|9525.00|S|-1.0000|-1.00|11050.00|"), std::string::npos) << sent[0];
}

TEST_F(TsloFormTest, TabFromTheAccountGoesToTheQuantityOfAChosenSecurity)
{
    CDlgOrderFormExp* form = open(1, findSecurity("NN", "EQ"), 'B', 100);
    ASSERT_NE(form, nullptr);
    form->focus(kAccount);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(form->control(kAccount), &out);
    pumpUntil([form] { return form->focusedId() == kQuantity; }, 2000);
    EXPECT_EQ(form->focusedId(), kQuantity);
}

// Up or Down pressed in a box of the form, as the keyboard sends it.
void pressIn(CDlgOrderFormExp* form, int id, Qt::Key k)
{
    form->focus(id);
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : form->control(id);
    QKeyEvent down(QEvent::KeyPress, k, Qt::NoModifier);
    QApplication::sendEvent(target, &down);
}

TEST_F(TsloFormTest, TypingAtTheTriggerBoxLeavesTheSpread)
{
    CDlgOrderFormExp* form = open(1, findSecurity("NN", "EQ"), 'B', 100);
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    d.type(kQuantity, "10").type(kPrice, "100.00").click(kTrailing);
    ASSERT_TRUE(form->isVisible(kSpread));
    d.type(kSpread, "2");
    // A buy trails on the sell side: the order price less the spread.
    EXPECT_EQ(form->text(kTslTrigger), "98.00");

    // The user clicks the trigger box and types there.
    QWidget* box = form->control(kTslTrigger);
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box, Qt::LeftButton);
    QWidget* keysGoTo = form->focusWidget();
    ASSERT_NE(keysGoTo, nullptr);
    QTest::keyClicks(keysGoTo, QStringLiteral("50"));
    EXPECT_EQ(form->text(kSpread), "2");
    EXPECT_EQ(form->text(kTslTrigger), "98.00");
}

TEST_F(TsloFormTest, PriceSpinsStopAtTheValueLimitAndAHeldSpreadStepsByARupee)
{
    const double saved = g_AppSettings.order_value_limit;
    g_AppSettings.order_value_limit = 1000;
    const int eq = findSecurity("NN", "EQ");
    const double tick = OrderSecurityAt(eq).tickRupees();
    ASSERT_GT(tick, 0);
    CDlgOrderFormExp* form = open(1, eq, 'B', 100);
    ASSERT_NE(form, nullptr);
    form->setText(kPrice, "1000.00");
    pressIn(form, kPrice, Qt::Key_Up);
    EXPECT_EQ(form->text(kPrice), "1000.00");
    pressIn(form, kPrice, Qt::Key_Down);
    EXPECT_EQ(form->text(kPrice), formatText("%.2lf", 1000 - tick));

    ui::FormDriver(*form).type(kQuantity, "10").click(kTrailing);
    ASSERT_TRUE(form->isVisible(kSpread));
    form->setText(kSpread, "2.00");
    // Held: a press every 100 ms steps by the tick for 3 s, then by 1.00.
    pressIn(form, kSpread, Qt::Key_Up);
    for (int i = 0; i < 30; ++i) {
        clock.advanceMillis(100);
        pressIn(form, kSpread, Qt::Key_Up);
    }
    EXPECT_EQ(form->text(kSpread), formatText("%.2lf", 2 + 31 * tick));
    clock.advanceMillis(100);
    pressIn(form, kSpread, Qt::Key_Up);
    EXPECT_EQ(form->text(kSpread), formatText("%.2lf", 3 + 31 * tick));
    // Let go, then one press: the tick again; the top is the value limit.
    clock.advanceMillis(1000);
    pressIn(form, kSpread, Qt::Key_Down);
    EXPECT_EQ(form->text(kSpread), formatText("%.2lf", 3 + 30 * tick));
    form->setText(kSpread, "1000.00");
    pressIn(form, kSpread, Qt::Key_Up);
    EXPECT_EQ(form->text(kSpread), "1000.00");
    g_AppSettings.order_value_limit = saved;
}

TEST_F(TsloFormTest, AResearchCallShowsItsLotAndTheTermsLink)
{
    RecordingLinks links;
    SetOrderFormLinks(&links);
    WebLinkRecord link;
    link.WebId = 107;
    CopyFixedText(link.Name, "Terms and Conditions");
    g_WebLinkTable.links = {link};
    CopyFixedText(g_Config.Redirect_Url, "http://127.0.0.1:9");
    const auto table = SecurityTable::current();
    ASSERT_TRUE(table);
    struct Case {
        int index;
        std::string lotText;
    };
    const int eq = findSecurity("NN", "EQ");
    const int fx = findSecurity("CN", "FC");
    ASSERT_GE(fx, 0);
    const Case cases[] = {
        {eq, formatText("Market Lot : %d", std::max(1, OrderSecurityAt(eq).marketLot))},
        {fx, formatText("Lot (1 Lot = %d units)", OrderSecurityAt(fx).lotUnits)},
    };
    for (const Case& c : cases) {
        std::vector<std::string> call(30);
        const int code = table->row(c.index).scrip_code;
        call[2] = std::to_string(code);
        call[4] = "BUY";
        call[19] = OrderSecurityAt(c.index).symbol;
        call[25] = "110.50";
        call[26] = "95.25";
        call[28] = "1";
        const int index = c.index;
        SetScripCodeLookup([index, code](int scripCode, char) { return scripCode == code ? index : -1; });
        ShowMorrowpickOrderForm(nullptr, call);
        SetScripCodeLookup(nullptr);
        pumpUntil([] { return CDlgOrderFormExp::Instance() && CDlgOrderFormExp::Instance()->IsInitialised(); }, 5000);
        CDlgOrderFormExp* form = CDlgOrderFormExp::Instance();
        ASSERT_NE(form, nullptr) << c.lotText;
        ASSERT_EQ(form->TsloKind(), 5);
        EXPECT_TRUE(form->isVisible(kCallLotLabel));
        EXPECT_EQ(form->text(kCallLotLabel), c.lotText);
        ASSERT_TRUE(form->isVisible(kTermsLink));
        EXPECT_EQ(form->control(kTermsLink)->toolTip().toStdString(), "View Terms and Conditions");
        EXPECT_EQ(form->control(kAutoSquareOff)->toolTip().toStdString(),
                  "Auto Square off will be triggered only if first leg of the order is completely executed.");
        ui::FormDriver(*form).click(kTermsLink);
        CDlgOrderFormExp::DestroyInstance();
    }
    ASSERT_EQ(links.opened.size(), 2u);
    EXPECT_NE(links.opened[0].find("|107&ClientUserId=ABC12"), std::string::npos) << links.opened[0];

    // A plain order has neither.
    CDlgOrderFormExp* form = open(1, eq, 'B', 100);
    ASSERT_NE(form, nullptr);
    ui::FormDriver(*form).type(kQuantity, "10").click(kTrailing);
    EXPECT_TRUE(form->isVisible(kSpread));
    EXPECT_FALSE(form->isVisible(kCallLotLabel));
    EXPECT_FALSE(form->isVisible(kTermsLink));
    SetOrderFormLinks(nullptr);
    g_WebLinkTable.links.clear();
}

TEST_F(TsloBookTest, TheToolbarRunsTheBooksCommandsAndItsOrdersStaySubscribed)
{
    ASSERT_NE(placeTsloNew(), nullptr);
    CTsloOrderView* view = openBook();
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->book().size(), 2u);
    OrderBookToolBar* bar = view->toolBar();
    ASSERT_NE(bar, nullptr);
    std::vector<int> shown;
    for (QAction* a : bar->actions())
        if (a->isVisible())
            shown.push_back(a->data().toInt());
    EXPECT_EQ(shown, (std::vector<int>{33009, 32940, 32942, 32943, 33011, 33013, 33017, 33019, 33021}));
    EXPECT_FALSE(bar->button(33011)->isEnabled()); // nothing selected
    view->selectRecord(0);
    EXPECT_TRUE(bar->button(33011)->isEnabled());
    EXPECT_TRUE(bar->button(33017)->isEnabled());
    bar->button(33011)->trigger();
    ASSERT_NE(CDlgOrderFormExp::Instance(), nullptr);
    EXPECT_EQ(CDlgOrderFormExp::Instance()->windowTitle().toStdString(), "Modify TSLO Order");

    // Its security is in the feed's lists with no window showing it.
    const int sec = view->book()[0].sec_index;
    ASSERT_GE(sec, 0);
    const std::vector<int> extra = ExtraSubscriptions::instance().securities();
    EXPECT_NE(std::find(extra.begin(), extra.end(), sec), extra.end());
}

} // namespace
} // namespace ordertest
