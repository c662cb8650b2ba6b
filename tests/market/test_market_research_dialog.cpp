// The market dialog's research modes against the test broker: the scanner
// and cluster over an index's watch list with live quotes, the indices
// tracker on index broadcasts, announcement news, the circuit breaker and
// support and resistance from the market-data host, and the security menu.
#include "OrderFixture.h"
#include "testkit/contrast.h"
#include "testkit/figures.h"
#include "testkit/keep_look.h"

#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "frame/FrameThemes.h"
#include "frame/controls/CAnnouNewsReportCtrl.h"
#include "frame/controls/CMyListCtrl.h"
#include "market/CMarketTurnOver.h"
#include "orders/CDlgOrderFormExp.h"
#include "market/MarketChart.h"
#include "market/MarketFeed.h"
#include "market/MarketHooks.h"
#include "frame/WatchOrderCommands.h"
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/MarketLookups.h"
#include "server/SecurityReload.h"
#include "server/SecurityTable.h"
#include "watch/base/WatchlistTable.h"

#include "ui/grid_ranges.h"
#include "ui/grid_view.h"
#include "ui/rgb.h"
#include "ui/theme_manager.h"

#include <gtest/gtest.h>

#include <cmath>

#include <qcustomplot.h>

#include <QApplication>
#include <map>
#include <QTreeWidget>
#include <QStyleOptionComboBox>
#include <QHeaderView>
#include <QComboBox>
#include <QKeyEvent>
#include <QPointer>
#include <QTreeView>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <thread>

namespace {

class MarketResearch : public ordertest::OrderFixture {
protected:
    void SetUp() override
    {
        OrderFixture::SetUp();
        CopyFixedText(g_Config.Market_Data_Host, "127.0.0.1");
        g_Config.Feeds_Type = 1; // the subscription lists are kept only for a feed
        SetLoggedIn(true);
        FeedSubscriptions::instance().reset();
        // The server's category lists, their rows not fetched yet.
        WatchlistTable::instance().reset();
        for (auto [id, name] : {std::pair{-501, "NIFTY 50"}, std::pair{-506, "CNX Nifty"}}) {
            WatchlistRecord r;
            r.id = id;
            std::strncpy(r.name, name, sizeof r.name - 1);
            r.inUse = 1;
            WatchlistTable::instance().append(r);
        }
        // Quotes for the NSE equities, changes cycling through the bands.
        auto table = SecurityTable::current();
        const double changes[] = {0.4, -0.4, 2.0, 2.5, 3.0};
        int n = 0;
        for (int i = 0; i < table->count(); ++i) {
            const SecurityRecord& s = table->row(i);
            if (s.market_exchange.view() != "NN" || s.inst_type.view() != "EQ")
                continue;
            QuoteData q;
            q.quote[0] = 9990;
            q.quote[2] = 10010;
            q.quote[4] = 10000 + 100 * n;
            q.quote[10] = changes[n % 5] * 100;
            table->row(i).storeQuote(q);
            ++n;
        }
        nseEquities = n;
        SetTradingAllowed(true);
    }
    void TearDown() override
    {
        for (int mode : {6, 7, 8, 9, 10, 11})
            delete CMarketTurnOver::instance(mode);
        marketHooks().openPage = nullptr;
        MarketFeed::setIndexSink(MarketFeed::IndicesTracker, nullptr);
        WatchlistTable::instance().reset();
        IndexTable::instance().reset();
        FeedSubscriptions::instance().reset();
        SetLoggedIn(false);
        OrderFixture::TearDown();
    }
    static std::vector<std::string> column(const ui::GridView& grid, int c)
    {
        std::vector<std::string> out;
        for (int id : grid.model().preorder())
            out.push_back(grid.model().text(id, c).toStdString());
        return out;
    }
    size_t requestsWith(const std::string& part) const
    {
        size_t n = 0;
        for (const tb::RecordedRequest& r : broker->requests())
            if (r.decoded.text.find(part) != std::string::npos)
                ++n;
        return n;
    }
    static int securityNamed(const std::string& key)
    {
        auto table = SecurityTable::current();
        for (int i = 0; i < table->count(); ++i)
            if (table->row(i).displayKey().view() == key)
                return i;
        return -1;
    }
    int nseEquities = 0;
};

TEST_F(MarketResearch, ScannerLoadsTheIndexOnceSubscribesAndFiltersByBand)
{
    CMarketTurnOver* dlg = CMarketTurnOver::Open(6, nullptr);
    ASSERT_NE(dlg, nullptr);
    ASSERT_TRUE(broker->waitForKey("mktcaptok=2", 10000));
    // The preset index's list is fetched once, then the rows and bubbles come.
    ASSERT_TRUE(pumpUntil([&] { return dlg->list()->model().rowTotal() == nseEquities; }, 20000));
    EXPECT_EQ(requestsWith("WD=104|"), 1u);
    EXPECT_EQ(dlg->windowTitle().toStdString(), "CNX Nifty Market Scanner");
    EXPECT_EQ(dlg->text(CMarketTurnOver::kRefresh), "Rate Refresh");
    const std::vector<std::string> items = dlg->comboItems(CMarketTurnOver::kSelector);
    ASSERT_GE(dlg->comboIndex(CMarketTurnOver::kSelector), 0);
    EXPECT_EQ(items[static_cast<size_t>(dlg->comboIndex(CMarketTurnOver::kSelector))], "CNX Nifty");
    EXPECT_EQ(dlg->chart()->kind(), MarketChart::Kind::Bubbles);
    // 0.4 -> 1, -0.4 -> 0 (shown "0"), 2.0 -> 2, 2.5 and 3.0 -> 3.
    std::vector<double> bands;
    for (const MarketChart::Point& p : dlg->chart()->points())
        bands.push_back(p.x);
    EXPECT_EQ(bands, (std::vector<double>{0, 1, 2, 3}));
    EXPECT_EQ(dlg->chart()->points().back().label.toStdString(), std::to_string(dlg->buckets().at(3)));

    // Each stock is subscribed once, after a second fill too.
    dlg->OnRefresh();
    const std::vector<int> subscribed = dlg->feedSecurities();
    EXPECT_EQ(static_cast<int>(subscribed.size()), nseEquities);
    EXPECT_EQ(std::set<int>(subscribed.begin(), subscribed.end()).size(), subscribed.size());
    const std::string list = FeedSubscriptions::instance().feedTokenList();
    auto table = SecurityTable::current();
    const std::string first = std::to_string(table->row(subscribed.front()).wtoken) + ",";
    EXPECT_NE(list.find(first), std::string::npos);

    // The bubble of band 3: the mouse names the range, a click lists it.
    const int bubble = 3;
    dlg->OnChartHover(bubble);
    EXPECT_EQ(dlg->text(CMarketTurnOver::kStatus),
              "Click to view the list of stock having % Change between [2] and [3]");
    dlg->OnChartRelease(bubble, Qt::LeftButton);
    EXPECT_EQ(dlg->text(CMarketTurnOver::kStatus), "Showing scrips having % Change between [2] and [3]");
    const std::vector<std::string> changes = column(*dlg->list(), 2);
    ASSERT_EQ(static_cast<long>(changes.size()), dlg->buckets().at(3));
    for (const std::string& c : changes)
        EXPECT_TRUE(c == "2.50" || c == "3.00") << c;
    // "Rate Refresh" lists every stock again, and the status line says so.
    dlg->OnRefresh();
    EXPECT_EQ(dlg->list()->model().rowTotal(), nseEquities);
    EXPECT_EQ(dlg->text(CMarketTurnOver::kStatus), mt::kScannerHint);
    EXPECT_EQ(requestsWith("WD=104|"), 1u);

    // Closing drops the stocks from the subscription.
    QPointer<CMarketTurnOver> gone(dlg);
    dlg->finish(2);
    ASSERT_TRUE(pumpUntil([&] { return gone.isNull(); }, 5000));
    EXPECT_EQ(FeedSubscriptions::instance().feedTokenList().find(first), std::string::npos);
    EXPECT_EQ(CMarketTurnOver::instance(6), nullptr);
}

TEST_F(MarketResearch, AClickedBubbleListsAsManyStocksAsItsCountAndOnlyThoseOfItsBand)
{
    CMarketTurnOver* dlg = CMarketTurnOver::Open(6, nullptr);
    ASSERT_NE(dlg, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return dlg->list()->model().rowTotal() == nseEquities; }, 20000));
    const auto bubbleOf = [&](int band) -> const MarketChart::Point* {
        for (const MarketChart::Point& p : dlg->chart()->points())
            if (std::lround(p.x) == band)
                return &p;
        return nullptr;
    };
    ASSERT_NE(bubbleOf(1), nullptr);
    const int before = bubbleOf(3)->label.toInt();

    // Two stocks of band 1 move into band 3 after the bubbles were drawn.
    auto table = SecurityTable::current();
    int moved = 0;
    for (int i = 0; i < table->count() && moved < 2; ++i) {
        QuoteData q = table->row(i).quote();
        if (table->row(i).market_exchange.view() != "NN" || q.quote[10] != 40)
            continue;
        q.quote[10] = 280; // 2.80 %
        table->row(i).storeQuote(q);
        ++moved;
    }
    ASSERT_EQ(moved, 2);

    int at = -1;
    for (size_t k = 0; k < dlg->chart()->points().size(); ++k)
        if (std::lround(dlg->chart()->points()[k].x) == 3)
            at = static_cast<int>(k);
    ASSERT_GE(at, 0);
    dlg->OnChartRelease(at, Qt::LeftButton);
    const std::vector<std::string> changes = column(*dlg->list(), 2);
    ASSERT_NE(bubbleOf(3), nullptr);
    // The bubble says how many stocks the list shows, and every one is of its band.
    EXPECT_EQ(bubbleOf(3)->label.toInt(), static_cast<int>(changes.size()));
    EXPECT_EQ(static_cast<int>(changes.size()), before + 2);
    for (const std::string& c : changes)
        EXPECT_TRUE(c == "2.50" || c == "2.80" || c == "3.00") << c;
}

// The stocks the scanner subscribes at open have no quote until the feed
// sends their first: the list and the bubbles take them in when it does,
// and the bubbles always count the stocks listed.
TEST_F(MarketResearch, ScannerAtOpenCountsTheStocksItListsAndTakesInTheirFirstQuotes)
{
    // The stocks whose change is 2.0 (band 2) have had no quote yet.
    auto table = SecurityTable::current();
    std::vector<int> unquoted;
    long perBand[4] = {0, 0, 0, 0};
    int n = 0;
    for (int i = 0; i < table->count(); ++i) {
        const SecurityRecord& s = table->row(i);
        if (s.market_exchange.view() != "NN" || s.inst_type.view() != "EQ")
            continue;
        // Changes 0.4, -0.4, 2.0, 2.5, 3.0 fall in bands 1, 0, 2, 3, 3.
        const int band[] = {1, 0, 2, 3, 3};
        ++perBand[band[n % 5]];
        if (n % 5 == 2) {
            table->row(i).storeQuote(QuoteData{});
            unquoted.push_back(i);
        }
        ++n;
    }
    ASSERT_GT(perBand[2], 0);
    const long listedAtOpen = nseEquities - perBand[2];

    CMarketTurnOver* dlg = CMarketTurnOver::Open(6, nullptr);
    ASSERT_NE(dlg, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return dlg->list()->model().rowTotal() == listedAtOpen; }, 20000));
    const auto bubbleTotal = [&] {
        long total = 0;
        for (const MarketChart::Point& p : dlg->chart()->points())
            total += p.label.toLong();
        return total;
    };
    EXPECT_EQ(bubbleTotal(), listedAtOpen);
    EXPECT_EQ(dlg->buckets(), (mt::BucketMap{{0, perBand[0]}, {1, perBand[1]}, {3, perBand[3]}}));

    // Their first quotes come from the feed's thread.
    std::thread feed([&] {
        for (int i : unquoted) {
            QuoteData q;
            q.quote[0] = 9990;
            q.quote[2] = 10010;
            q.quote[4] = 10000;
            q.quote[10] = 200;
            table->row(i).storeQuote(q);
        }
    });
    feed.join();
    ASSERT_TRUE(pumpUntil([&] { return dlg->list()->model().rowTotal() == nseEquities; }, 10000))
        << "the scanner never listed the stocks whose first quote came after it opened";
    EXPECT_EQ(bubbleTotal(), nseEquities);
    EXPECT_EQ(dlg->buckets(), (mt::BucketMap{{0, perBand[0]}, {1, perBand[1]}, {2, perBand[2]}, {3, perBand[3]}}));
    EXPECT_EQ(dlg->text(CMarketTurnOver::kStatus), mt::kScannerHint);
}

// A security download whose master has a new security ahead of all: the
// scanner's subscription and rows and the cluster's points name the same
// stocks by their new places.
TEST_F(MarketResearch, ScannerAndClusterFollowASecurityReDownload)
{
    CMarketTurnOver* scanner = CMarketTurnOver::Open(6, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return scanner->list()->model().rowTotal() == nseEquities; }, 20000));
    CMarketTurnOver* cluster = CMarketTurnOver::Open(8, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return static_cast<int>(cluster->chart()->points().size()) == nseEquities; }, 20000));
    const auto before = SecurityTable::current();
    const auto tokensOf = [](const SecurityTable& t, const std::vector<int>& securities) {
        std::vector<std::pair<int, std::string>> out;
        for (int s : securities)
            out.emplace_back(t.valid(s) ? t.row(s).token : -1,
                             t.valid(s) ? std::string(t.row(s).market_exchange.view()) : std::string());
        return out;
    };
    const auto pointTags = [](const CMarketTurnOver& d) {
        std::vector<int> out;
        for (const MarketChart::Point& p : d.chart()->points())
            out.push_back(p.tag);
        return out;
    };
    const auto subscribed = tokensOf(*before, scanner->feedSecurities());
    const auto plotted = tokensOf(*before, pointTags(*cluster));
    ASSERT_EQ(static_cast<int>(subscribed.size()), nseEquities);

    SecurityRecord fresh;
    fresh.symbol.assign("AAAAFRESH");
    fresh.setDisplayKey("AAAAFRESH~EQ");
    fresh.market_exchange.assign("NN");
    fresh.token = 99001;
    fresh.wtoken = 2 * 99001 - 1;
    SecurityRows master;
    master.push_back(fresh);
    for (int i = 0; i < before->count(); ++i)
        master.push_back(before->row(i));
    auto after = std::make_shared<SecurityTable>();
    after->build(std::move(master), SecurityTable::Build::Full, false);
    SecurityTable::publish(after);
    SecurityReload::instance().notify(*before, *after);

    EXPECT_EQ(tokensOf(*after, scanner->feedSecurities()), subscribed);
    EXPECT_EQ(tokensOf(*after, pointTags(*cluster)), plotted);
    SecurityTable::publish(before);
}

// Every list of the market dialog shows its figures with two decimals (no
// currency among them), never a raw double or "-0.00".
TEST_F(MarketResearch, EveryListShowsItsFiguresWithTheInstrumentsDecimals)
{
    for (int mode : {1, 2, 6, 10, 11}) {
        QPointer<CMarketTurnOver> dlg = CMarketTurnOver::Open(mode, nullptr);
        ASSERT_FALSE(dlg.isNull()) << mode;
        // The circuit breaker and the levels show a grid of their own.
        const auto shown = [&]() -> ui::GridView* { return dlg->grid() ? dlg->grid() : dlg->list(); };
        ASSERT_TRUE(pumpUntil([&] { return !dlg->busy() && shown()->model().rowTotal() > 0; }, 20000)) << mode;
        EXPECT_EQ(testkit::wrongDecimals(*shown()), std::vector<std::string>{}) << "mode " << mode;
        dlg->finish(2);
        ASSERT_TRUE(pumpUntil([&] { return dlg.isNull(); }, 5000)) << mode;
    }
}

// In every theme each list of the market dialog opens readable, labels and
// rows (the settings' rising and falling pairs are the user's choice,
// reported only), with every column at least as wide as its header's text.
TEST_F(MarketResearch, EveryListReadsInEveryThemeAndEveryHeaderFits)
{
    const auto colour = [](uint32_t bgr) { return ui::toQColor(ui::rgbOf(bgr)); };
    const AppSettings& s = g_AppSettings;
    const std::vector<testkit::ColourPair> users = {
        {colour(s.normal_text_colour), colour(s.normal_back_colour)},
        {colour(s.up_text_colour), colour(s.up_back_colour)},
        {colour(s.down_text_colour), colour(s.down_back_colour)},
    };
    const testkit::KeepLook keep([theme = g_AppSettings.theme] { g_AppSettings.theme = theme; });
    for (const ThemeEntry& t : RibbonThemes()) {
        g_AppSettings.theme = t.id;
        ui::ThemeManager::apply(ThemeLookFor(t.id)); // the whole program takes it, as the frame does
        for (int mode : {1, 2, 6, 10, 11}) {
            QPointer<CMarketTurnOver> dlg = CMarketTurnOver::Open(mode, nullptr);
            ASSERT_FALSE(dlg.isNull()) << mode;
            const auto shown = [&]() -> ui::GridView* { return dlg->grid() ? dlg->grid() : dlg->list(); };
            ASSERT_TRUE(pumpUntil([&] { return !dlg->busy() && shown()->model().rowTotal() > 0; }, 20000)) << mode;
            EXPECT_EQ(testkit::unreadableLabels(*dlg), std::vector<std::string>{}) << t.text << " mode " << mode;
            EXPECT_EQ(testkit::unreadableGridCells(*dlg, testkit::kMinContrast, users), std::vector<std::string>{})
                << t.text << " mode " << mode;
            EXPECT_EQ(testkit::clippedHeaders(*dlg), std::vector<std::string>{}) << t.text << " mode " << mode;
            dlg->finish(2);
            ASSERT_TRUE(pumpUntil([&] { return dlg.isNull(); }, 5000)) << mode;
        }
    }
}

TEST_F(MarketResearch, IndicesTurnoverOpensOneScannerAndOneClusterForItsRow)
{
    CMarketTurnOver* turnover = CMarketTurnOver::Open(2, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return turnover->loadCount() == 1; }, 20000));
    const auto selectRow = [&](const std::string& name) {
        for (int id : turnover->list()->model().preorder())
            if (turnover->list()->model().text(id, 0).toStdString() == name)
                turnover->list()->selectRow(id);
    };
    // An index without a watch list of its name.
    selectRow("NIFTY IT");
    prompter.queueMenuCommand(CMarketTurnOver::kMarketScanner);
    turnover->OnListRightClick();
    EXPECT_TRUE(boxShown("Index Details not available"));
    EXPECT_EQ(CMarketTurnOver::instance(6), nullptr);

    selectRow("NIFTY 50");
    prompter.queueMenuCommand(CMarketTurnOver::kMarketScanner);
    turnover->OnListRightClick();
    CMarketTurnOver* scanner = CMarketTurnOver::instance(6);
    ASSERT_NE(scanner, nullptr);
    EXPECT_EQ(requestsWith("mktcaptok=2"), 1u); // the scanner took the dialog's indices
    ASSERT_TRUE(pumpUntil([&] { return scanner->list()->model().rowTotal() == nseEquities; }, 20000));
    prompter.queueMenuCommand(CMarketTurnOver::kMarketScanner);
    turnover->OnListRightClick();
    EXPECT_TRUE(boxShown("Only one Market scanner window can be opened at a time from here"));

    // The cluster: every stock a point; a left click names it, a right click
    // opens its security menu.
    prompter.queueMenuCommand(CMarketTurnOver::kMarketCluster);
    turnover->OnListRightClick();
    CMarketTurnOver* cluster = CMarketTurnOver::instance(8);
    ASSERT_NE(cluster, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return static_cast<int>(cluster->chart()->points().size()) == nseEquities; }, 5000));
    EXPECT_EQ(cluster->chart()->kind(), MarketChart::Kind::Cluster);
    EXPECT_EQ(cluster->windowTitle().toStdString(), "NIFTY 50 Market Cluster");
    const MarketChart::Point p = cluster->chart()->points().front();
    auto table = SecurityTable::current();
    const std::string key(table->row(p.tag).displayKey().view());
    EXPECT_EQ(p.label.toStdString().substr(0, key.size() + 1), key + "|");
    const size_t menusBefore = prompter.menus().size();
    cluster->OnChartRelease(0, Qt::LeftButton);
    EXPECT_EQ(cluster->text(CMarketTurnOver::kStatus), "Right click to get details for " + key);
    EXPECT_EQ(prompter.menus().size(), menusBefore);
    prompter.queueMenuCommand(0);
    cluster->OnChartRelease(0, Qt::RightButton);
    ASSERT_EQ(prompter.menus().size(), menusBefore + 1);
    EXPECT_EQ(prompter.menus().back().items.front().text, "Buy " + key);
    EXPECT_EQ(cluster->selectedSecurity(), p.tag);
    turnover->finish(2);
}

TEST_F(MarketResearch, SecurityMenuItemsAndPages)
{
    CMarketTurnOver dlg(6);
    const int mm = securityNamed("M&M EQ NN");
    ASSERT_GE(mm, 0);
    const auto texts = [&] {
        std::vector<std::string> out;
        const std::vector<ui::MenuSpec> menus = prompter.menus();
        for (const ui::MenuItem& i : menus.back().items)
            out.push_back(i.text);
        return out;
    };
    prompter.queueMenuCommand(0);
    dlg.ShowScripMenu(mm);
    EXPECT_EQ(texts(), (std::vector<std::string>{"Buy M&M EQ NN", "Sell M&M EQ NN", "Scrip details", "Market Depth",
                                                 "M&M EQ NN &Eod Chart", "M&M EQ NN &Intraday Chart", "Google news",
                                                 "Company profile"}));
    // Sell opens the order form on the security.
    dlg.RunScripCommand(CMarketTurnOver::kSell);
    CDlgOrderFormExp* form = CDlgOrderFormExp::Instance();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->Side(), 'S');
    waitIdle(form);
    form->finish(2);
    pumpUntil([] { return CDlgOrderFormExp::Instance() == nullptr; }, 2000);

    SetTradingAllowed(false);
    prompter.queueMenuCommand(0);
    dlg.ShowScripMenu(mm);
    EXPECT_EQ(texts().front(), "Scrip details");
    // Buy is refused with trading off even when asked for directly.
    dlg.RunScripCommand(CMarketTurnOver::kBuy);

    std::vector<std::string> pages;
    marketHooks().openPage = [&](const std::string& address) { pages.push_back(address); };
    dlg.RunScripCommand(CMarketTurnOver::kNews);
    CopyFixedText(g_Config.Redirect_Url, "http://127.0.0.1");
    dlg.RunScripCommand(CMarketTurnOver::kCompanyProfile);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0], "https://news.google.com/search?q=M%26M");
    EXPECT_EQ(pages[1].rfind("http://127.0.0.1/jsp/EquitySearch.jsp?searchstring=", 0), 0u);
}

TEST_F(MarketResearch, TrackerFollowsBroadcastsInEverySlotOfTheIndex)
{
    std::vector<IndexRecord> indices(3);
    const char* names[] = {"NIFTY 50", "NIFTY BANK", "SENSEX"};
    for (int i = 0; i < 3; ++i) {
        std::strncpy(indices[static_cast<size_t>(i)].name, names[i], sizeof indices[0].name - 1);
        indices[static_cast<size_t>(i)].number = i;
        indices[static_cast<size_t>(i)].values[6] = 100.0 * (i + 1);
    }
    IndexTable::instance().assign(indices, 100);
    CMarketTurnOver* dlg = CMarketTurnOver::Open(7, nullptr);
    ASSERT_NE(dlg, nullptr);
    // Fewer than ten indices leave the later slots empty.
    EXPECT_EQ(dlg->trackerSlots(), (std::vector<int>{0, 1, 2, -1, -1, -1, -1, -1, -1, -1}));
    EXPECT_EQ(dlg->chart()->kind(), MarketChart::Kind::Area);
    EXPECT_EQ(dlg->chart()->areaValues(), (std::vector<double>{0, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0}));
    dlg->OnTrackerSlotChange(5, "NIFTY BANK");
    EXPECT_EQ(dlg->chart()->areaValues()[6], 2);

    // One broadcast of NIFTY BANK moves both of its points.
    IndexRecord tick = indices[1];
    tick.values[6] = -125;
    MarketFeed::indexUpdated(tick);
    ASSERT_TRUE(pumpUntil([&] { return dlg->chart()->areaValues()[2] == -1.25; }, 5000));
    EXPECT_EQ(dlg->chart()->areaValues()[6], -1.25);
    EXPECT_EQ(dlg->chart()->areaValues()[1], 1);
    dlg->finish(2);
}

// The tracker's x axis numbers its ten points "1" to "10" after a first
// point without a label, as the property list numbers the slots; each
// slot's index name reads whole in the list, long names too.
TEST_F(MarketResearch, TrackerAxisNumbersTheSlotsAndTheListShowsTheirNamesWhole)
{
    const char* names[] = {"NIFTY 50",         "NIFTY BANK",          "NIFTY FINANCIAL SERVICES", "SENSEX",
                           "NIFTY MIDCAP SELECT", "NIFTY IT",          "NIFTY PHARMA",            "NIFTY AUTO",
                           "NIFTY NEXT 50",    "NIFTY COMMODITIES"};
    std::vector<IndexRecord> indices(10);
    for (int i = 0; i < 10; ++i) {
        std::strncpy(indices[static_cast<size_t>(i)].name, names[i], sizeof indices[0].name - 1);
        indices[static_cast<size_t>(i)].number = i;
    }
    IndexTable::instance().assign(indices, 100);
    CMarketTurnOver* dlg = CMarketTurnOver::Open(7, nullptr);
    ASSERT_NE(dlg, nullptr);
    dlg->show();
    QApplication::processEvents();

    auto ticker = qSharedPointerDynamicCast<QCPAxisTickerText>(dlg->chart()->plot()->xAxis->ticker());
    ASSERT_TRUE(ticker);
    std::map<double, QString> expected{{0.0, QString()}};
    for (int i = 1; i <= 10; ++i)
        expected[i] = QString::number(i);
    const std::map<double, QString> ticks = ticker->ticks().toStdMap();
    EXPECT_EQ(ticks, expected);

    auto* props = dlg->findChild<QTreeWidget*>("TrackerProperties");
    ASSERT_NE(props, nullptr);
    QTreeWidgetItem* group = props->topLevelItem(0);
    ASSERT_EQ(group->childCount(), 10);
    const int shownRight = props->viewport()->width();
    for (int i = 0; i < 10; ++i) {
        QTreeWidgetItem* slot = group->child(i);
        EXPECT_EQ(slot->text(0), QString::number(i + 1));
        auto* combo = qobject_cast<QComboBox*>(props->itemWidget(slot, 1));
        ASSERT_NE(combo, nullptr);
        EXPECT_EQ(combo->currentText().toStdString(), names[i]);
        QStyleOptionComboBox opt;
        opt.initFrom(combo);
        opt.rect = QRect(0, 0, props->header()->sectionSize(1), combo->height());
        const int room = combo->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo).width();
        EXPECT_GE(room, combo->fontMetrics().horizontalAdvance(combo->currentText())) << names[i];
        EXPECT_LE(props->header()->sectionViewportPosition(1) + props->header()->sectionSize(1), shownRight)
            << "the names' column runs past the list";
    }
    // The chart keeps its place beside the list.
    EXPECT_GT(dlg->chart()->mapTo(dlg, QPoint(0, 0)).x(), props->geometry().right());
    dlg->finish(2);
}

TEST_F(MarketResearch, CircuitBreakerRowsBarsBandsAndErrors)
{
    CMarketTurnOver* dlg = CMarketTurnOver::Open(10, nullptr);
    ASSERT_TRUE(broker->waitForKey("data=1001", 10000));
    const auto sent = broker->waitForRequest([](const tb::RecordedRequest& r) {
        return r.decoded.text == "data=1001|BSE||0";
    }, 1000);
    EXPECT_TRUE(sent.has_value());
    ASSERT_TRUE(pumpUntil([&] { return dlg->grid() && dlg->grid()->model().rowTotal() > 0; }, 20000));
    EXPECT_EQ(dlg->windowTitle().toStdString(), "Circuit Breaker");
    EXPECT_EQ(dlg->grid()->model().columnName(1).toStdString(), "% Change");
    for (int id : dlg->grid()->model().preorder()) {
        const double change = dlg->grid()->model().text(id, 1).toDouble();
        EXPECT_GT(change, 0);
        EXPECT_EQ(dlg->barPercent(id), mt::DataBarPercent(change, true));
    }

    // The lower band: negative changes, bars of their size.
    dlg->setComboIndex(CMarketTurnOver::kBand, 1);
    dlg->GetCircuitBreakerDet(); // what a change of the band combo runs
    ASSERT_TRUE(broker->waitForKey("data=1001", 1000));
    ASSERT_TRUE(pumpUntil([&] {
        const auto& m = dlg->grid()->model();
        return m.rowTotal() > 0 && m.text(m.preorder().front(), 1).toDouble() < 0;
    }, 20000));
    EXPECT_EQ(requestsWith("data=1001|BSE||1"), 1u);

    // A header-only reply and a failed exchange leave the grid empty.
    broker->setReply("data=1001", "1001|0|OK", 1);
    dlg->GetCircuitBreakerDet();
    ASSERT_TRUE(pumpUntil([&] { return requestsWith("data=1001|") == 3; }, 10000));
    pumpUntil([] { return false; }, 300);
    EXPECT_EQ(dlg->grid()->model().rowTotal(), 0);
    broker->armFault("/zqvdata/mktdata.exe", tb::HttpFault{500});
    dlg->GetCircuitBreakerDet();
    ASSERT_TRUE(pumpUntil([&] { return boxShown("Internet Connectivity Error [500]. Pls contact System Administrator"); }, 10000));
    EXPECT_EQ(dlg->grid()->model().rowTotal(), 0);

    // Escape closes it.
    QPointer<CMarketTurnOver> gone(dlg);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dlg, &escape);
    ASSERT_TRUE(pumpUntil([&] { return gone.isNull(); }, 5000));
}

TEST_F(MarketResearch, NewsGroupsByKeyCollapsed)
{
    CMarketTurnOver* dlg = CMarketTurnOver::Open(9, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return dlg->newsGrid() && dlg->newsGrid()->model().rowTotal() > 0; }, 20000));
    EXPECT_EQ(requestsWith("data=103|BN||0"), 1u);
    CAnnouNewsReportCtrl* grid = dlg->newsGrid();
    // Twelve announcements under six collapsed groups.
    const std::vector<int> top = grid->model().childrenOf(ui::GridModel::kRoot);
    ASSERT_EQ(top.size(), 6u);
    for (int g : top) {
        EXPECT_TRUE(grid->model().isGroup(g));
        EXPECT_FALSE(grid->isGroupExpanded(g));
        ASSERT_EQ(grid->model().childrenOf(g).size(), 2u);
        const int row = grid->model().childrenOf(g).front();
        EXPECT_FALSE(grid->model().preview(row).isEmpty());
        // The text is the preview line under the row, not a second copy in a cell.
        EXPECT_TRUE(grid->model().text(row, 2).isEmpty());
    }
    EXPECT_TRUE(grid->previewShown());
    EXPECT_TRUE(grid->isColumnHidden(0));

    // A click on a group row opens it, a second closes it; a double click
    // leaves it open.
    QTreeView* tree = grid->tree();
    dlg->show();
    const auto clickAt = [tree](const QPoint& at, bool twice) {
        QWidget* vp = tree->viewport();
        const QPointF p(at), g(vp->mapToGlobal(at));
        QMouseEvent press(QEvent::MouseButtonPress, p, g, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, p, g, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &press);
        QApplication::sendEvent(vp, &release);
        if (twice) {
            QMouseEvent dbl(QEvent::MouseButtonDblClick, p, g, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(vp, &dbl);
            QApplication::sendEvent(vp, &release);
        }
    };
    const int group = top.front();
    const QModelIndex first = tree->model()->index(0, 1);
    ASSERT_TRUE(first.isValid());
    const QPoint at = tree->visualRect(first).center();
    clickAt(at, false);
    EXPECT_TRUE(grid->isGroupExpanded(group)) << "a click left the group closed";
    clickAt(at, false);
    EXPECT_FALSE(grid->isGroupExpanded(group));
    clickAt(at, true);
    EXPECT_TRUE(grid->isGroupExpanded(group)) << "a double click left the group closed";

    broker->setReply("data=103", "103|0|OK", 1);
    dlg->setComboIndex(CMarketTurnOver::kSelector, 1); // NSE
    dlg->OnSelectorChange();
    ASSERT_TRUE(pumpUntil([&] { return requestsWith("data=103|NN||0") == 1; }, 10000));
    pumpUntil([] { return false; }, 300);
    EXPECT_EQ(grid->model().rowTotal(), 0);
}

TEST_F(MarketResearch, SupportAndResistanceChartTypeAheadAndSave)
{
    CMarketTurnOver* dlg = CMarketTurnOver::Open(11, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return dlg->grid() && dlg->grid()->model().rowTotal() > 0; }, 20000));
    EXPECT_EQ(requestsWith("data=1002|BN||0"), 1u);
    ui::GridView* grid = dlg->grid();
    const std::vector<std::string> names = column(*grid, 0);
    // The first row's levels are drawn: S1, S2 green, R1, R2 red.
    EXPECT_EQ(dlg->chart()->kind(), MarketChart::Kind::Levels);
    EXPECT_EQ(dlg->chart()->title().toStdString(), "Support and Resistance :  " + names.front());
    ASSERT_EQ(dlg->chart()->points().size(), 4u);
    EXPECT_EQ(dlg->chart()->points()[0].y, grid->model().text(grid->model().preorder().front(), 4).toDouble());
    EXPECT_EQ(dlg->chart()->points()[0].colour, dlg->chart()->points()[1].colour);
    EXPECT_NE(dlg->chart()->points()[1].colour, dlg->chart()->points()[2].colour);

    // "A" then "X" within a second: the first name starting "AX", not the
    // first starting "A"; "B" two seconds later: the first starting "B".
    const auto firstWith = [&](const std::string& prefix) {
        for (const std::string& n : names)
            if (n.rfind(prefix, 0) == 0)
                return n;
        return std::string();
    };
    ASSERT_FALSE(firstWith("AX").empty());
    ASSERT_FALSE(firstWith("B").empty());
    ASSERT_NE(firstWith("A"), firstWith("AX"));
    const auto selectedName = [&] {
        const std::vector<int> rows = ui::selectedRowIds(*grid);
        return rows.empty() ? std::string() : grid->model().text(rows.front(), 0).toStdString();
    };
    grid->tree()->setFocus();
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "A");
    QApplication::sendEvent(grid->tree(), &a);
    EXPECT_EQ(selectedName(), firstWith("A"));
    clock.advanceMillis(600);
    QKeyEvent x(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "X");
    QApplication::sendEvent(grid->tree(), &x);
    EXPECT_EQ(selectedName(), firstWith("AX"));
    ASSERT_TRUE(pumpUntil([&] {
        return dlg->chart()->title().toStdString() == "Support and Resistance :  " + firstWith("AX");
    }, 2000));
    clock.advanceSeconds(2);
    QKeyEvent b(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, "B");
    QApplication::sendEvent(grid->tree(), &b);
    EXPECT_EQ(selectedName(), firstWith("B"));

    // The grid saves as CSV, every line ending in ','.
    const std::filesystem::path csv = root / "levels.csv";
    ASSERT_TRUE(dlg->SaveTo(CMarketTurnOver::kSaveGrid, csv.string()));
    std::ifstream in(csv);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "Name,High,Low,Close,S1,S2,R1,R2,Pivot,");

    // A header-only reply: an empty grid and a cleared chart.
    broker->setReply("data=1002", "1002|0|OK", 1);
    dlg->OnRefresh();
    ASSERT_TRUE(pumpUntil([&] { return grid->model().rowTotal() == 0 && grid->isEnabled(); }, 10000));
    EXPECT_EQ(dlg->chart()->kind(), MarketChart::Kind::None);
}

TEST(MarketChartPoints, HitTestFindsThePointUnderTheMouse)
{
    MarketChart chart;
    chart.resize(400, 300);
    chart.show();
    chart.setBubbles("% Change", {{-1, 5, 2, "2", {}, -1}, {1, 5, 8, "8", {}, -1}, {4, 5, 1, "1", {}, -1}});
    chart.plot()->replot();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(chart.pointAt(chart.pixelOf(i)), i);
    EXPECT_EQ(chart.pointAt(QPointF(1, 1)), -1);
    int hovered = -2;
    QObject::connect(&chart, &MarketChart::pointHovered, [&](int p) { hovered = p; });
    QMouseEvent move(QEvent::MouseMove, chart.pixelOf(1), chart.plot()->mapToGlobal(chart.pixelOf(1).toPoint()),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(chart.plot(), &move);
    EXPECT_EQ(hovered, 1);
}

// The cluster's labels never cover one another and never run past the
// plot's edges, at the window's size and after a zoom; where stocks crowd,
// the largest moves keep their labels.
TEST(MarketChartPoints, ClusterLabelsNeverOverlapNorLeaveThePlot)
{
    MarketChart chart;
    chart.resize(345, 265);
    chart.show();
    std::vector<MarketChart::Point> points;
    for (int i = 0; i < 20; ++i) // crowded near the middle
        points.push_back({1000.0 + i * 8, 0.05 * i, 0, QString("STOCK%1~EQ|%2 %").arg(i).arg(0.05 * i, 0, 'f', 2), {}, i});
    points.push_back({2990, 4.5, 0, "HIGHEST~EQ|4.50 %", {}, 20}); // the top right corner
    points.push_back({10, -3.0, 0, "LOWEST~EQ|-3.00 %", {}, 21});  // the bottom left corner
    chart.setCluster(points, 2990);
    const auto check = [&chart](const char* when, bool extremesInView) {
        chart.plot()->replot();
        const QRectF plot = chart.plotArea();
        const std::vector<QRectF> areas = chart.clusterLabelAreas();
        ASSERT_EQ(areas.size(), 22u) << when;
        if (extremesInView) {
            EXPECT_FALSE(areas[20].isEmpty()) << when << ": the largest rise keeps its label";
            EXPECT_FALSE(areas[21].isEmpty()) << when << ": the largest fall keeps its label";
        }
        for (size_t i = 0; i < areas.size(); ++i) {
            if (areas[i].isEmpty())
                continue;
            EXPECT_TRUE(plot.contains(areas[i])) << when << ": label " << i << " leaves the plot";
            for (size_t j = i + 1; j < areas.size(); ++j)
                EXPECT_FALSE(areas[i].intersects(areas[j])) << when << ": labels " << i << " and " << j;
        }
    };
    check("at the window's size", true);
    chart.plot()->xAxis->scaleRange(0.5, 1080); // on the crowd: the corners leave the view
    check("zoomed in", false);
}

} // namespace
