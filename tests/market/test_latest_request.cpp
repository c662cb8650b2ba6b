// The latest request wins: the report dialog's gainers and the market
// dialog's circuit breaker send a new request at once when the user changes
// the exchange or the band while an earlier one is out, and show only the
// reply to the newest; a slow earlier reply (held back by the broker) is
// dropped when it arrives. The market dialog's large lists show every row of
// the newest reply, whichever reply comes back first.
#include "OrderFixture.h"

#include "server/FeedState.h"
#include "server/SecurityTable.h"

#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "frame/controls/CMyListCtrl.h"
#include "market/CHistoryDepth.h"
#include "market/CMarketTurnOver.h"
#include "market/MarketChart.h"
#include "market/MarketResearch.h"
#include "frame/controls/CAnnouNewsReportCtrl.h"
#include "server/ServerAccess.h"

#include "ui/grid_view.h"

#include <gtest/gtest.h>

#include <QPointer>

#include <any>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>

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

// The market-data host's lists: each request is answered only once the test
// lets its reply go, so replies come back in the order the test chooses.
class HeldLists final : public ServerAccess {
public:
    // Lets every request go and waits until no worker is inside.
    ~HeldLists() override
    {
        std::unique_lock lock(m_mutex);
        m_all = true;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_inside == 0; });
    }
    ServerReply downLoadFile(const std::string&, int, const std::string&) override { return {}; }
    ServerReply requestServer(int, int, const std::string& text) override
    {
        std::unique_lock lock(m_mutex);
        ++m_inside;
        m_asked.insert(text);
        m_changed.wait(lock, [&] { return m_all || m_replies.count(text) > 0; });
        const auto it = m_replies.find(text);
        ServerReply r{200, it == m_replies.end() ? std::string() : it->second};
        --m_inside;
        m_changed.notify_all();
        return r;
    }
    bool asked(const std::string& text) const
    {
        std::lock_guard lock(m_mutex);
        return m_asked.count(text) > 0;
    }
    void release(const std::string& text, std::string reply)
    {
        std::lock_guard lock(m_mutex);
        m_replies[text] = std::move(reply);
        m_changed.notify_all();
    }
    void releaseAll()
    {
        std::lock_guard lock(m_mutex);
        m_all = true;
        m_changed.notify_all();
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::set<std::string> m_asked;              // guarded by m_mutex
    std::map<std::string, std::string> m_replies; // guarded by m_mutex
    bool m_all = false;                         // guarded by m_mutex
    int m_inside = 0;                           // guarded by m_mutex
};

std::string scrip(const char* exchange, int i)
{
    char text[32];
    std::snprintf(text, sizeof text, "%s%04d", exchange, i);
    return text;
}

// `rows` levels of names <exchange>0000 on; row i's S1 is i + 0.25.
std::string levelsReply(const char* exchange, int rows)
{
    std::string out = "1002|0|OK|x";
    for (int i = 0; i < rows; ++i)
        out += "^" + scrip(exchange, i) + "|" + std::to_string(i) + "|x|3|1|2|" + std::to_string(i) + ".25|5|6|7|8";
    return out;
}

// Four announcements a scrip over `scrips` scrips.
std::string newsReply(const char* exchange, int scrips)
{
    std::string out = "103|0|OK|x";
    for (int i = 0; i < 4 * scrips; ++i)
        out += "^" + std::to_string(i) + "|" + scrip(exchange, i % scrips) + "|item " + std::to_string(i) +
               "|10-12-2026";
    return out;
}

class LargeLists : public LatestRequest {
protected:
    void TearDown() override
    {
        server->releaseAll();
        for (int mode : {9, 11})
            if (CMarketTurnOver* dlg = CMarketTurnOver::instance(mode)) {
                QPointer<CMarketTurnOver> gone(dlg);
                dlg->finish(2);
                pumpUntil([&] { return gone.isNull(); }, 5000);
            }
        LatestRequest::TearDown();
    }
    // Every reply handled: the busy cursor is gone.
    bool settled(CMarketTurnOver* dlg)
    {
        return pumpUntil([&] { return dlg->cursor().shape() != Qt::BusyCursor; }, 30000);
    }
    std::unique_ptr<HeldLists> server = std::make_unique<HeldLists>();
};

TEST_F(LargeLists, SupportAndResistanceShowsEveryRowOfTheNewestReply)
{
    // The BSE list is asked at opening, then NSE is chosen while it is out;
    // the stale BSE reply comes back after the NSE rows or before them.
    for (const bool newerFirst : {true, false}) {
        SCOPED_TRACE(newerFirst ? "the stale reply last" : "the stale reply first");
        CMarketTurnOver* dlg = CMarketTurnOver::Open(11, nullptr, {}, nullptr, server.get());
        ASSERT_TRUE(pumpUntil([&] { return server->asked("data=1002|BN||0"); }, 5000));
        dlg->setComboIndex(CMarketTurnOver::kSelector, 1);
        dlg->OnSelectorChange();
        ASSERT_TRUE(pumpUntil([&] { return server->asked("data=1002|NN||0"); }, 5000));
        if (newerFirst) {
            server->release("data=1002|NN||0", levelsReply("NSE", 5000));
            ASSERT_TRUE(pumpUntil([&] { return dlg->grid()->model().rowTotal() == 5000; }, 30000));
            server->release("data=1002|BN||0", levelsReply("BSE", 3000));
        } else {
            server->release("data=1002|BN||0", levelsReply("BSE", 3000));
            server->release("data=1002|NN||0", levelsReply("NSE", 5000));
        }
        ASSERT_TRUE(settled(dlg));
        ui::GridView* grid = dlg->grid();
        const std::vector<int> shown = grid->shownRows();
        ASSERT_EQ(shown.size(), 5000u);
        for (size_t i = 0; i < shown.size(); ++i)
            ASSERT_EQ(grid->model().text(shown[i], 0).toStdString(), scrip("NSE", int(i))) << i;
        EXPECT_TRUE(grid->isEnabled());
        // The first row's levels are drawn.
        EXPECT_EQ(dlg->chart()->title().toStdString(), "Support and Resistance :  NSE0000");
        ASSERT_EQ(dlg->chart()->points().size(), 4u);
        EXPECT_EQ(dlg->chart()->points()[0].y, 0.25);

        QPointer<CMarketTurnOver> gone(dlg);
        dlg->finish(2);
        ASSERT_TRUE(pumpUntil([&] { return gone.isNull(); }, 5000));
        server = std::make_unique<HeldLists>();
    }
}

TEST_F(LargeLists, NewsShowsEveryAnnouncementOfTheNewestReplyUnderClosedGroups)
{
    CMarketTurnOver* dlg = CMarketTurnOver::Open(9, nullptr, {}, nullptr, server.get());
    ASSERT_TRUE(pumpUntil([&] { return server->asked("data=103|BN||0"); }, 5000));
    dlg->setComboIndex(CMarketTurnOver::kSelector, 1);
    dlg->OnSelectorChange();
    ASSERT_TRUE(pumpUntil([&] { return server->asked("data=103|NN||0"); }, 5000));
    // The NSE announcements show; the stale BSE reply comes back after them.
    server->release("data=103|NN||0", newsReply("NSE", 500));
    ASSERT_TRUE(pumpUntil([&] { return dlg->newsGrid()->model().ownerTopRows().size() == 2000; }, 30000));
    server->release("data=103|BN||0", newsReply("BSE", 300));
    ASSERT_TRUE(settled(dlg));
    const ui::GridModel& m = dlg->newsGrid()->model();
    const std::vector<int>& groups = m.childrenOf(ui::GridModel::kRoot);
    ASSERT_EQ(groups.size(), 500u);
    std::set<std::string> keys;
    for (int g : groups) {
        EXPECT_FALSE(dlg->newsGrid()->isGroupExpanded(g));
        const std::vector<int>& items = m.childrenOf(g);
        ASSERT_EQ(items.size(), 4u);
        const std::string key = m.text(items.front(), 0).toStdString();
        EXPECT_EQ(key.rfind("NSE", 0), 0u) << key;
        keys.insert(key);
        for (int id : items) {
            EXPECT_EQ(m.text(id, 0).toStdString(), key);
            EXPECT_EQ(m.preview(id).left(5), "item ");
        }
    }
    EXPECT_EQ(keys.size(), 500u);
}

} // namespace
