// The money table: one table per money rule, a row per instrument kind, each
// figure worked by hand from the rule and reached through the window's own
// fields against the test broker. The order form and the basket price the
// same leg by different formulas: each row holds both hand values.
#include "OrderFixture.h"

#include "TsloDesk.h"
#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"
#include "orders/CBasketOrder.h"
#include "orders/CDlgOrderFormExp.h"
#include "orders/OrderFormIds.h"
#include "orders/OrderSecurity.h"

#include "ui/form_driver.h"

#include <QLineEdit>
#include <QComboBox>
#include <QPushButton>

#include <gtest/gtest.h>

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
    int lotOfTheMaster; // checked, so the hand values hold
    char side;
    const char* lots;     // the form's Lot box ("" for a quantity box)
    const char* quantity; // the form's (or the basket's) quantity in units
    const char* price;
    const char* formShows;   // the order form's margin box
    const char* basketShows; // the basket leg's margin box
};

// Order form: a cash buy is quantity x price; otherwise value / r (sell,
// "OC") or value (buy), the currency's units counted once; a commodity buy is
// lot x value, a commodity sell divides by the price denominator (none in
// this master: refused). Basket: every query leg is value / m; the commodity
// rule divides by the denominator too.
const MarginRow kMarginRows[] = {
    // equity: 10 x 250.50 = 2505.00; basket 2505 / 2 = 1252.50
    {"equity bought", "NN", "EQ", 1, 'B', "", "10", "250.50", "Required Margin to place this order is 2505.00",
     "Required Margin to place this individual order is 1252.50"},
    // equity derivative: 2 lots x 475 x 200 = 190000 / 4 = 47500.00, both
    {"equity future sold", "NN", "FS", 475, 'S', "2", "950", "200", "Required Margin to place this order is 47500.00",
     "Required Margin to place this individual order is 47500.00"},
    // currency: 2 lots x 1000 x 88.4525 = 176905; the form's buy is the value,
    // the basket's is value / 4 = 44226.25
    {"currency bought", "CN", "FC", 1, 'B', "2", "2000", "88.4525",
     "Required Margin to place this order is 176905.0000",
     "Required Margin to place this individual order is 44226.2500"},
    {"currency sold", "CN", "FC", 1, 'S', "2", "2000", "88.4525", "Required Margin to place this order is 44226.2500",
     "Required Margin to place this individual order is 44226.2500"},
    // commodity: 3 lots (of 1) x 128450 = 385350.00 bought; sold, and in the
    // basket, the price denominator is needed and this master has none
    {"commodity bought", "MC", "CF", 1, 'B', "3", "3", "128450",
     "Required Margin to place this order is 385350.00",
     "Price denominator of the security is 0. Margin cannot be calculated."},
    {"commodity sold", "MC", "CF", 1, 'S', "3", "3", "128450",
     "Price denominator of the security is 0. Margin cannot be calculated.",
     "Price denominator of the security is 0. Margin cannot be calculated."},
};

TEST_F(MoneyTableTest, TheOrderFormsMarginThroughItsFields)
{
    for (const MarginRow& row : kMarginRows) {
        const int sec = findSecurity(row.exchange, row.inst);
        ASSERT_GE(sec, 0) << row.kind;
        ASSERT_EQ(OrderSecurityAt(sec).marketLot, row.lotOfTheMaster) << row.kind;
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

TEST_F(MoneyTableTest, TheBasketsMarginOfTheSameLeg)
{
    ASSERT_TRUE(OpenFrameBasket());
    CBasketOrder* form = g_pBasketOrder;
    ASSERT_NE(form, nullptr);
    for (const MarginRow& row : kMarginRows) {
        const int sec = findSecurity(row.exchange, row.inst);
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
