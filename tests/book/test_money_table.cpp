// The money table: one table per money rule, a row per instrument kind, each
// figure worked by hand from the rule and reached through the window's own
// fields against the test broker. The order form and the basket price the
// same leg by different formulas: each row holds both hand values.
#include "OrderFixture.h"

#include "TsloDesk.h"
#include "app/base/FixedText.h"
#include "app/base/AppSettings.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "orders/CBasketOrder.h"
#include "orders/CDlgOrderFormExp.h"
#include "orders/OrderFormIds.h"
#include "server/OrderSecurity.h"
#include "server/SecurityTable.h"

#include "ui/form_driver.h"

#include <QLineEdit>
#include <QComboBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace orderform;

class MoneyTableTest : public ordertest::OrderFixture {
protected:
    void SetUp() override
    {
        OrderFixture::SetUp();
        // The broker's rates (the divisor "r" / "m" of both rules).
        broker->tsloDesk().setMarginRate("NN", 0, 2);
        broker->tsloDesk().setMarginRate("NN", 1, 4);
        broker->tsloDesk().setMarginRate("CN", 2, 4);
        broker->tsloDesk().setMarginRate("MC", 0, 2);
        broker->tsloDesk().setMarginRate("MC", 1, 2);
        InstallBasketForm();
    }
    void TearDown() override
    {
        EXPECT_TRUE(WaitBasketSends(20000));
        pumpUntil([] { return false; }, 50);
        UninstallBasketForm();
        OrderFixture::TearDown();
    }
};

struct MarginRow {
    const char* kind;
    const char* exchange;
    const char* inst;
    const char* symbol;   // nullptr: the first of the kind
    int lotOfTheMaster;   // these three are checked, so the hand values hold
    int unitsOfTheMaster; // units per lot
    int denominatorOfTheMaster;
    double strikeOfTheMaster;
    char side;
    const char* lots;     // the form's Lot box ("" for a quantity box)
    const char* quantity; // the form's (or the basket's) quantity in units
    const char* price;
    const char* formShows;   // the order form's margin box
    const char* basketShows; // the basket leg's margin box
};

// Order form: a buy that is neither an option nor a currency is answered at
// once with its value; otherwise value / r (sell, "OC") or value (buy), the
// currency's units counted once. Basket: every query leg is value / m, but a
// "CO" bought needs its value. A commodity's value counts the contract's
// units: lots x units per lot / price denominator priced quantities; a "CO"
// sold is valued at its strike.
const MarginRow kMarginRows[] = {
    // equity: 10 x 250.50 = 2505.00; basket 2505 / 2 = 1252.50
    {"equity bought", "NN", "EQ", nullptr, 1, 1, 0, 0, 'B', "", "10", "250.50",
     "Required Margin to place this order is 2505.00", "Required Margin to place this individual order is 1252.50"},
    // equity derivative: 2 lots x 475 x 200 = 190000 / 4 = 47500.00, both
    {"equity future sold", "NN", "FS", nullptr, 475, 1, 0, 0, 'S', "2", "950", "200",
     "Required Margin to place this order is 47500.00",
     "Required Margin to place this individual order is 47500.00"},
    // currency: 2 lots x 1000 x 88.4525 = 176905; the form's buy is the value,
    // the basket's is value / 4 = 44226.25
    {"currency bought", "CN", "FC", nullptr, 1, 1000, 0, 0, 'B', "2", "2000", "88.4525",
     "Required Margin to place this order is 176905.0000",
     "Required Margin to place this individual order is 44226.2500"},
    {"currency sold", "CN", "FC", nullptr, 1, 1000, 0, 0, 'S', "2", "2000", "88.4525",
     "Required Margin to place this order is 44226.2500",
     "Required Margin to place this individual order is 44226.2500"},
    // commodity (GOLD: lot 1, 100 units a lot, priced per 10, r = m = 2):
    // 3 lots are 3 x 100 / 10 = 30 priced quantities, worth 30 x 128450 =
    // 3853500; bought on the form 3853500.00 at once; sold 3853500 / 2 =
    // 1926750.00; the basket either way 3853500 / 2 = 1926750.00
    {"commodity bought", "MC", "CF", "GOLD", 1, 100, 10, 0, 'B', "3", "3", "128450",
     "Required Margin to place this order is 3853500.00",
     "Required Margin to place this individual order is 1926750.00"},
    {"commodity sold", "MC", "CF", "GOLD", 1, 100, 10, 0, 'S', "3", "3", "128450",
     "Required Margin to place this order is 1926750.00",
     "Required Margin to place this individual order is 1926750.00"},
    // commodity option (the GOLD 127000 call), 2 lots = 2 x 100 / 10 = 20
    // priced quantities: bought at a premium of 2500, 20 x 2500 = 50000.00 on
    // both; sold, 20 x 127000 / 2 = 1270000.00 on both
    {"commodity option bought", "MC", "CO", "GOLD", 1, 100, 10, 127000, 'B', "2", "2", "2500",
     "Required Margin to place this order is 50000.00",
     "Required Margin to place this individual order is 50000.00"},
    {"commodity option sold", "MC", "CO", "GOLD", 1, 100, 10, 127000, 'S', "2", "2", "2500",
     "Required Margin to place this order is 1270000.00",
     "Required Margin to place this individual order is 1270000.00"},
};

// The first security of a kind (and symbol), checked against the row's facts.
int securityOf(const MarginRow& row)
{
    const auto table = SecurityTable::current();
    for (int i = 0; table && i < table->count(); ++i) {
        const SecurityRecord& r = table->row(i);
        if (r.market_exchange == row.exchange && r.inst_type == row.inst
            && (!row.symbol || r.symbol.view() == row.symbol)) {
            const OrderSecurity s = OrderSecurityAt(i);
            EXPECT_EQ(s.marketLot, row.lotOfTheMaster) << row.kind;
            if (s.currency || s.commodity) {
                EXPECT_EQ(s.lotUnits, row.unitsOfTheMaster) << row.kind;
            }
            EXPECT_EQ(s.denominator, row.denominatorOfTheMaster) << row.kind;
            EXPECT_DOUBLE_EQ(s.strike, row.strikeOfTheMaster) << row.kind;
            return i;
        }
    }
    return -1;
}

TEST_F(MoneyTableTest, TheOrderFormsMarginThroughItsFields)
{
    for (const MarginRow& row : kMarginRows) {
        const int sec = securityOf(row);
        ASSERT_GE(sec, 0) << row.kind;
        CDlgOrderFormExp* form = open(1, sec, row.side, 0);
        ASSERT_NE(form, nullptr) << row.kind;
        ui::FormDriver d(*form);
        if (*row.lots)
            d.type(kLots, row.lots);
        else
            d.type(kQuantity, row.quantity);
        d.type(kPrice, row.price);
        EXPECT_EQ(form->text(kQuantity), row.quantity) << row.kind;
        d.click(kMargin);
        ASSERT_TRUE(waitIdle(form)) << row.kind;
        EXPECT_TRUE(boxShown(row.formShows)) << row.kind << ": " << row.formShows;
        form->OnCancel();
    }
}

// A plain buy's margin is its order value: the form's own value check
// refuses the same leg at a limit one rupee below it and takes it at the
// limit itself.
TEST_F(MoneyTableTest, APlainBuysMarginIsTheOrderValueTheFormChecks)
{
    const struct {
        const char* kind;
        double value;
    } values[] = {{"equity bought", 2505}, {"commodity bought", 3853500}, {"commodity option bought", 50000}};
    const double saved = g_AppSettings.order_value_limit;
    for (const auto& v : values) {
        const MarginRow* row = nullptr;
        for (const MarginRow& r : kMarginRows)
            if (std::string(r.kind) == v.kind)
                row = &r;
        ASSERT_NE(row, nullptr) << v.kind;
        const int sec = securityOf(*row);
        ASSERT_GE(sec, 0) << v.kind;
        for (const double limit : {v.value - 1, v.value}) {
            const size_t before = prompter.askCount();
            g_AppSettings.order_value_limit = limit;
            CDlgOrderFormExp* form = open(1, sec, row->side, 0);
            ASSERT_NE(form, nullptr) << v.kind;
            ui::FormDriver d(*form);
            if (*row->lots)
                d.type(kLots, row->lots);
            else
                d.type(kQuantity, row->quantity);
            d.type(kPrice, row->price);
            d.click(kOk);
            ASSERT_TRUE(waitIdle(form)) << v.kind;
            const std::string refusal = formatText("Please enter Order Value less than Order Value Limit :%.0lf", limit);
            const std::vector<testkit::AskRecord> asks = prompter.asks();
            const bool refused = std::any_of(asks.begin() + long(before), asks.end(),
                                             [&](const testkit::AskRecord& a) { return a.text == refusal; });
            EXPECT_EQ(refused, limit < v.value) << v.kind << " at " << limit;
            form->OnCancel();
        }
    }
    g_AppSettings.order_value_limit = saved;
}

TEST_F(MoneyTableTest, TheBasketsMarginOfTheSameLeg)
{
    ASSERT_TRUE(OpenFrameBasket());
    CBasketOrder* form = g_pBasketOrder;
    ASSERT_NE(form, nullptr);
    for (const MarginRow& row : kMarginRows) {
        const int sec = securityOf(row);
        ASSERT_GE(sec, 0) << row.kind;
        form->SetLegSecurity(1, sec);
        const CBasketOrder::Row& r = form->row(0);
        r.action->setCurrentIndex(row.side == 'B' ? 0 : 1);
        r.lots->setText(QString::fromLatin1(row.lots));
        r.quantity->setText(QString::fromLatin1(row.quantity));
        r.price->setText(QString::fromLatin1(row.price));
        r.margin->click();
        ASSERT_TRUE(pumpUntil([&] { return !form->isSending(); }, 20000)) << row.kind;
        EXPECT_TRUE(boxShown(row.basketShows)) << row.kind << ": " << row.basketShows;
    }
}

} // namespace
