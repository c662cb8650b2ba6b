// Every form's send on a locked terminal: forms opened before the lock, the
// terminal locked, and each send pressed. Nothing may reach the broker, each
// press says the terminal is locked, and none moves the activity time.
#include "OrderFixture.h"
#include "RiskDesk.h"

#include "server/FeedState.h"

#include "app/base/ActivityStamp.h"
#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"
#include "orders/CBasketOrder.h"
#include "orders/CDlgConvertPosition.h"
#include "orders/CDlgOrderFormExp.h"
#include "orders/OrderFormIds.h"
#include "server/OrderSecurity.h"
#include "frame/PositionServices.h"
#include "server/RiskArrays.h"
#include "frame/WatchOpeners.h"

#include "ui/form_driver.h"

#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace orderform;

class LockedFormsTest : public ordertest::OrderFixture {
protected:
    void SetUp() override
    {
        OrderFixture::SetUp();
        CopyFixedText(pv_user_info.session_id, "SESS01");
        sec = findSecurity("NN", "EQ");
        ASSERT_GE(sec, 0);
        PositionRecord p;
        p.token = OrderSecurityAt(sec).token;
        p.exchange = "NN";
        p.product_code = 5;
        p.net_qty = -5;
        p.sec_index = sec;
        ActiveClientRiskArrays().positions = {p};
        std::vector<std::string> row(tb::RiskDesk::kPositionFields, "0");
        row[0] = std::to_string(p.token);
        row[1] = "NN";
        row[6] = "-5";
        row[10] = "5";
        broker->riskDesk().editBook("ABC12", [&](tb::RiskBook& b) { b.positions = {row}; });
        InstallConvertPositionForm();
        InstallBasketForm();
    }
    void TearDown() override
    {
        SetTerminalLocked(false);
        EXPECT_TRUE(WaitConvertPositionWork(20000));
        EXPECT_TRUE(WaitBasketSends(20000));
        pumpUntil([] { return false; }, 50);
        UninstallBasketForm();
        UninstallConvertPositionForm();
        ActiveClientRiskArrays().positions.clear();
        SetLoggedIn(false);
        OrderFixture::TearDown();
    }
    bool openConversion()
    {
        return InstalledConvertPositionService()->ShowConvertPositionForm(nullptr, "ABC12", sec, "NSE", -5, 'S', 0, 1);
    }
    int sec = -1;
};

TEST_F(LockedFormsTest, EveryFormsSendOnALockedTerminalSendsNothing)
{
    CDlgOrderFormExp* form = nullptr;
    CDlgConvertPosition* conversion = nullptr;
    CBasketOrder* basket = nullptr;
    // Each form is opened and filled while the terminal is unlocked (a
    // refused order or basket form closes itself, so it is opened again).
    auto fillOrderForm = [&](bool trailing) {
        form = open(1, sec, 'B', 1500.05);
        ASSERT_NE(form, nullptr);
        ui::FormDriver(*form).type(kQuantity, "10").type(kPrice, "1500.05");
        if (trailing)
            ui::FormDriver(*form).check(kTrailing, true);
    };
    auto fillConversion = [&] {
        if (!conversion) {
            ASSERT_TRUE(openConversion());
            ASSERT_TRUE(pumpUntil([] { return g_pDlgConvertPosition && g_pDlgConvertPosition->isVisible(); }, 20000));
            ASSERT_TRUE(WaitConvertPositionWork(20000));
            conversion = g_pDlgConvertPosition;
        }
        conversion->quantityEdit()->setText("5");
    };
    auto fillBasket = [&] {
        basket = g_pBasketOrder; // a refused send closes the form
        if (!basket) {
            watchOpeners().basket("ABC12", {{sec, 0}});
            basket = g_pBasketOrder;
            ASSERT_NE(basket, nullptr);
        }
        basket->row(0).quantity->setText("1");
        basket->row(0).price->setText("0");
    };

    struct Send {
        const char* name;
        std::function<void()> fill;
        std::function<void()> press;
        const char* action;
    };
    const Send sends[] = {
        {"order form OK", [&] { fillOrderForm(false); }, [&] { ui::FormDriver(*form).click(kOk); }, "Place Order."},
        {"order form margin", [&] { fillOrderForm(false); }, [&] { ui::FormDriver(*form).click(kMargin); },
         "calculate margin."},
        {"trailing order OK", [&] { fillOrderForm(true); }, [&] { ui::FormDriver(*form).click(kOk); }, "Place Order."},
        {"conversion", fillConversion, [&] { conversion->convertButton()->click(); }, "proceed."},
        {"conversion query", [] {}, [&] { openConversion(); }, "proceed."},
        {"basket place", fillBasket, [&] { basket->okButton()->click(); }, "Place Order."},
        {"basket margin", fillBasket, [&] { basket->allMarginButton()->click(); }, "calculate margin."},
    };
    for (const Send& s : sends) {
        SetTerminalLocked(false);
        s.fill();
        ASSERT_FALSE(HasFatalFailure()) << s.name;
        SetTerminalLocked(true);
        clock.advanceSeconds(30);
        const int64_t stamp = GetAccessTime();
        broker->clearRequests();
        const size_t asks = prompter.askCount();
        s.press();
        pumpUntil([] { return false; }, 300);
        ASSERT_GT(prompter.askCount(), asks) << s.name << " said nothing";
        EXPECT_EQ(prompter.asks()[asks].text, std::string("Terminal is Locked. Pls Unlock to ") + s.action) << s.name;
        for (const tb::RecordedRequest& r : broker->requests())
            ADD_FAILURE() << s.name << " sent while locked: " << r.decoded.text;
        EXPECT_EQ(GetAccessTime(), stamp) << s.name << " moved the activity time";
    }
}

} // namespace
