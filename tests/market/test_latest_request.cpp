// The latest request wins: the report dialog's gainers and the market
// dialog's circuit breaker send a new request at once when the user changes
// the exchange or the band while an earlier one is out, and show only the
// reply to the newest; a slow earlier reply (held back by the broker) is
// dropped when it arrives.
#include "OrderFixture.h"

#include "server/FeedState.h"
#include "server/SecurityTable.h"

#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "frame/controls/CMyListCtrl.h"
#include "market/CHistoryDepth.h"
#include "market/CMarketTurnOver.h"
#include "market/MarketResearch.h"

#include "ui/grid_view.h"

#include <gtest/gtest.h>

#include <any>

namespace {

class LatestRequest : public ordertest::OrderFixture {
protected:
    void TearDown() override
    {
        delete CMarketTurnOver::instance(10);
        SetLoggedIn(false);
        OrderFixture::TearDown();
    }
    int requestsWith(const std::string& part) const
    {
        int n = 0;
        for (const tb::RecordedRequest& r : broker->requests())
            n += r.decoded.text.find(part) != std::string::npos;
        return n;
    }
    void holdNext(const std::string& path) const
    {
        tb::HttpFault f;
        f.delayMs = 1500;
        broker->armFault(path, f);
    }
};

TEST_F(LatestRequest, GainersShowTheExchangeChosenLastWhileTheFirstWasStillOut)
{
    CHistoryDepth dlg(nullptr, 5, 0);
    dlg.prepare();
    holdNext("/qtrade/Glenvarro.exe");
    dlg.setComboIndex(CHistoryDepth::kExchange, 1); // NSE, held back
    dlg.OnSelchangeExch();
    ASSERT_TRUE(broker->waitForKey("WD=113", 5000));
    ASSERT_TRUE(dlg.busy());
    dlg.setComboIndex(CHistoryDepth::kExchange, 2); // then BSE
    dlg.OnSelchangeExch();
    ASSERT_TRUE(pumpUntil([&] { return requestsWith("WD=113|CID01|BN|4") == 1; }, 5000))
        << "the newer exchange is asked at once";
    // Both replies are in once the held one has arrived and been dropped.
    ASSERT_TRUE(pumpUntil([&] { return dlg.replies() == 1 && !dlg.busy(); }, 20000));
    pumpUntil([] { return false; }, 2000);
    EXPECT_EQ(dlg.replies(), 1);
    EXPECT_EQ(requestsWith("WD=113|CID01|NN|4"), 1);
    const auto table = SecurityTable::current();
    const ui::GridModel& m = dlg.list()->model();
    ASSERT_GT(m.rowTotal(), 0);
    for (int id : m.preorder()) {
        const int* security = m.rowDataAs<int>(id);
        ASSERT_NE(security, nullptr);
        EXPECT_EQ(table->row(*security).market_exchange.view(), "BN") << m.text(id, 0).toStdString();
    }
}

TEST_F(LatestRequest, CircuitBreakerShowsTheBandChosenLastWithItsBars)
{
    CopyFixedText(g_Config.Market_Data_Host, "127.0.0.1");
    SetLoggedIn(true);
    CMarketTurnOver* dlg = CMarketTurnOver::Open(10, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return dlg->grid() && dlg->grid()->model().rowTotal() > 0; }, 20000));

    // The lower band is held back; the upper band is chosen again meanwhile.
    holdNext("/zqvdata/mktdata.exe");
    dlg->setComboIndex(CMarketTurnOver::kBand, 1);
    dlg->GetCircuitBreakerDet();
    ASSERT_TRUE(pumpUntil([&] { return requestsWith("data=1001|BSE||1") == 1; }, 5000));
    dlg->setComboIndex(CMarketTurnOver::kBand, 0);
    dlg->GetCircuitBreakerDet();
    ASSERT_TRUE(pumpUntil([&] { return requestsWith("data=1001|BSE||0") == 2; }, 5000));
    pumpUntil([] { return false; }, 3000); // the held reply arrives meanwhile
    const ui::GridModel& m = dlg->grid()->model();
    ASSERT_GT(m.rowTotal(), 0);
    for (int id : m.preorder()) {
        const double change = m.text(id, 1).toDouble();
        EXPECT_GT(change, 0) << "the upper band's rows";
        EXPECT_EQ(dlg->barPercent(id), mt::DataBarPercent(change, true));
    }
}

} // namespace
