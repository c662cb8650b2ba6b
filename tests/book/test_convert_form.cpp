// The conversion form against the test broker: the query fills the form,
// a quantity above the convertible one is refused and sends nothing, a second
// opening during a conversion is refused, and the broker's position changes.
#include "OrderFixture.h"
#include "RiskDesk.h"

#include "server/FeedState.h"

#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"
#include "orders/CDlgConvertPosition.h"
#include "orders/OrderReply.h"
#include "server/OrderSecurity.h"
#include "frame/PositionServices.h"
#include "server/RiskArrays.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

class ConvertFormTest : public ordertest::OrderFixture {
protected:
    void SetUp() override
    {
        OrderFixture::SetUp();
        CopyFixedText(pv_user_info.session_id, "SESS01");
        sec = findSecurity("NN", "EQ");
        ASSERT_GE(sec, 0);
        token = OrderSecurityAt(sec).token;
        PositionRecord p;
        p.token = token;
        p.exchange = "NN";
        p.product_code = 5;
        p.net_qty = -5;
        p.sec_index = sec;
        ActiveClientRiskArrays().positions = {p};
        std::vector<std::string> row(tb::RiskDesk::kPositionFields, "0");
        row[0] = std::to_string(token);
        row[1] = "NN";
        row[6] = "-5";
        row[10] = "5";
        broker->riskDesk().editBook("ABC12", [&](tb::RiskBook& b) { b.positions = {row}; });
        InstallConvertPositionForm();
    }
    void TearDown() override
    {
        EXPECT_TRUE(WaitConvertPositionWork(20000));
        pumpUntil([] { return false; }, 50);
        UninstallConvertPositionForm();
        ActiveClientRiskArrays().positions.clear();
        SetLoggedIn(false);
        OrderFixture::TearDown();
    }
    bool open()
    {
        return InstalledConvertPositionService()->ShowConvertPositionForm(nullptr, "ABC12", sec, "NSE", -5, 'S', 0, 1);
    }
    int conversions() const
    {
        int n = 0;
        for (const tb::RecordedRequest& r : broker->requests())
            n += r.decoded.text.find("OrderData1=110|") != std::string::npos;
        return n;
    }
    int sec = -1;
    int token = 0;
};

TEST_F(ConvertFormTest, TheQueryFillsTheFormAndOnlyAConvertibleQuantityIsSent)
{
    ASSERT_TRUE(open());
    ASSERT_TRUE(pumpUntil([] { return g_pDlgConvertPosition && g_pDlgConvertPosition->isVisible(); }, 20000));
    CDlgConvertPosition* dlg = g_pDlgConvertPosition;
    EXPECT_EQ(dlg->convertibleQty(), 5);
    EXPECT_EQ(dlg->quantityEdit()->text().toStdString(), "5");
    EXPECT_EQ(dlg->maxivaneLabel()->text().toStdString(), "5");
    bool queried = false;
    for (const tb::RecordedRequest& r : broker->requests())
        queried |= r.decoded.text.rfind("RiskData=420|SESS01|U1|ABC12|4|1|S~" + std::to_string(token) + "|NN|5|", 0) == 0;
    EXPECT_TRUE(queried);

    dlg->quantityEdit()->setText("6");
    dlg->ConvertPosition();
    EXPECT_TRUE(boxShown("Please enter valid Quantity"));
    EXPECT_EQ(conversions(), 0);
    // Only the whole text is a quantity: none of these is 5.
    for (const char* typed : {"+5", "5.0", "5,0", "5O", ""}) {
        dlg->quantityEdit()->setText(QString::fromUtf8(typed));
        const size_t asked = prompter.askCount();
        dlg->convertButton()->click();
        ASSERT_GT(prompter.askCount(), asked) << typed;
        EXPECT_EQ(prompter.asks().back().text, "Please enter valid Quantity") << typed;
        EXPECT_FALSE(dlg->busy) << typed;
    }
    EXPECT_EQ(conversions(), 0);

    tb::HttpFault slow;
    slow.delayMs = 1000;
    broker->armFault("/qtrade/qtrade.exe", slow);
    dlg->quantityEdit()->setText("5");
    dlg->convertButton()->click();
    ASSERT_TRUE(dlg->busy);
    EXPECT_FALSE(dlg->convertButton()->isEnabled());
    EXPECT_FALSE(open()); // a second opening while the conversion is in flight
    ASSERT_TRUE(pumpUntil([&] { return !dlg->busy; }, 20000));
    EXPECT_EQ(conversions(), 1);
    EXPECT_TRUE(boxShown("Position converted to delivery successfully"));
    EXPECT_EQ(broker->riskDesk().book("ABC12").positions.at(0)[10], "1");

    // The position is no longer intraday: the next query finds nothing to convert.
    ASSERT_TRUE(open());
    ASSERT_TRUE(pumpUntil([] { return WaitConvertPositionWork(0); }, 20000));
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(dlg->convertibleQty(), 0);
    EXPECT_EQ(dlg->quantityEdit()->text().toStdString(), "0");
}

TEST_F(ConvertFormTest, AConversionWhoseReplyFailsSaysTheStateIsUnknownAndConvertsNothingMore)
{
    ASSERT_TRUE(open());
    ASSERT_TRUE(pumpUntil([] { return g_pDlgConvertPosition && g_pDlgConvertPosition->isVisible(); }, 20000));
    CDlgConvertPosition* dlg = g_pDlgConvertPosition;
    ASSERT_TRUE(pumpUntil([&] { return !dlg->busy; }, 20000));
    tb::HttpFault fault;
    fault.status = 500;
    broker->armFault("/qtrade/qtrade.exe", fault);
    dlg->convertButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return !dlg->busy && WaitConvertPositionWork(0); }, 20000));
    EXPECT_EQ(conversions(), 1);
    EXPECT_TRUE(boxShown(OrderStateUnknownText(500)));
    EXPECT_TRUE(barHas("Please check the Order Book before placing it again."));
    for (int press = 0; press < 3; ++press)
        dlg->convertButton()->click();
    ASSERT_TRUE(pumpUntil([] { return WaitConvertPositionWork(0); }, 20000));
    EXPECT_EQ(conversions(), 1);
}

TEST_F(ConvertFormTest, AQueryForANewOpeningKeepsTheFormFromConvertingAndALateQueryNeverFreesItMidConversion)
{
    ASSERT_TRUE(open());
    ASSERT_TRUE(pumpUntil([] { return g_pDlgConvertPosition && g_pDlgConvertPosition->isVisible(); }, 20000));
    CDlgConvertPosition* dlg = g_pDlgConvertPosition;
    ASSERT_TRUE(pumpUntil([] { return WaitConvertPositionWork(0); }, 20000));
    dlg->quantityEdit()->setText("3");
    // The risk window opens the conversion again; its query is slow, and so
    // is any conversion.
    tb::HttpFault slow;
    slow.delayMs = 1500;
    broker->armFault("/qtrade/qrms.exe", slow);
    slow.delayMs = 5000;
    broker->armFault("/qtrade/qtrade.exe", slow);
    ASSERT_TRUE(open());
    for (int press = 0; press < 3; ++press)
        dlg->convertButton()->click();
    // The query's reply refills the form.
    ASSERT_TRUE(pumpUntil([&] { return dlg->quantityEdit()->text() == "5"; }, 20000));
    for (int press = 0; press < 3; ++press)
        dlg->convertButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return !dlg->busy && WaitConvertPositionWork(0); }, 20000));
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(conversions(), 1);
}

} // namespace
