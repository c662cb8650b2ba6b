// The watch-list and market-status task panes over their tables.
#include "server/MarketLookups.h"
#include "watch/base/WatchlistTable.h"

#include "app/base/FixedText.h"
#include "frame/CToolBoxBar.h"

#include <gtest/gtest.h>

namespace {

class TaskPanes : public ::testing::Test {
protected:
    void SetUp() override
    {
        WatchlistTable::instance().reset();
        MarketStatusTable::instance().reset();
    }
    void TearDown() override
    {
        WatchlistTable::instance().reset();
        MarketStatusTable::instance().reset();
    }
    static void addList(const char* name, int group)
    {
        WatchlistRecord r;
        CopyFixedText(r.name, name);
        r.group = group;
        r.inUse = 1;
        WatchlistTable::instance().append(r);
    }
};

TEST_F(TaskPanes, WatchListPagesFollowTheGroupsAndDeletionsMoveLaterButtonsUp)
{
    WatchlistTable::instance().setGroups({"My Watchlist", "Futures", "Indices"});
    addList("Mine 1", 0);
    addList("Future Stock", 1);
    addList("Mine 2", 0);
    addList("Mine 3", 0);
    addList("Unused", 0);
    WatchlistTable::instance().update(4, [](WatchlistRecord& r) { r.inUse = 0; });

    CToolBoxBarEx pane;
    pane.UpdateElements();
    ASSERT_EQ(pane.pageCount(), 3); // two groups and "My Watchlist"
    EXPECT_EQ(pane.buttonCount(0), 3);
    EXPECT_EQ(pane.buttonCount(1), 1);
    EXPECT_EQ(pane.buttonText(0, 2), "Mine 3");
    EXPECT_EQ(WatchlistTable::instance().record(3).paneButton, 2);
    EXPECT_EQ(WatchlistTable::instance().record(1).panePage, 1);

    pane.UpdateWatchlist(0, 2); // select "Mine 2"
    EXPECT_EQ(pane.selectedButton(0), 1);
    pane.UpdateWatchlist(4, 2); // delete it
    EXPECT_EQ(pane.buttonCount(0), 2);
    EXPECT_EQ(pane.selectedButton(0), -1);
    EXPECT_EQ(WatchlistTable::instance().record(3).paneButton, 1);
    // A list of another page keeps its button.
    EXPECT_EQ(WatchlistTable::instance().record(1).paneButton, 0);

    // Add and rename.
    addList("New List", 0);
    pane.UpdateWatchlist(2, 5);
    EXPECT_EQ(pane.buttonText(0, 2), "New List");
    EXPECT_EQ(pane.selectedButton(0), 2);
    WatchlistTable::instance().update(5, [](WatchlistRecord& r) { CopyFixedText(r.name, "Renamed"); });
    pane.UpdateWatchlist(3, 5);
    EXPECT_EQ(pane.buttonText(0, 2), "Renamed");
    pane.UpdateWatchlist(1, 5);
    EXPECT_EQ(pane.selectedButton(0), -1);
}

TEST_F(TaskPanes, MarketStatusRelabelsOnlyAKnownSegmentWhoseStatusChanged)
{
    MarketStatusTable::instance().append("NN", "Open");
    MarketStatusTable::instance().append("MC", "Closed");
    CToolBoxBarMS pane;
    pane.AddElements();
    ASSERT_EQ(pane.buttonCount(), 2);
    EXPECT_EQ(pane.buttonText(0), "NSE - Open");
    EXPECT_EQ(pane.buttonText(1), "MCX-CM - Closed");
    EXPECT_FALSE(pane.UpdateMarketStatus("BN", "Open"));
    EXPECT_FALSE(pane.UpdateMarketStatus("NN", "Open"));
    EXPECT_TRUE(pane.UpdateMarketStatus("NN", "Closed"));
    EXPECT_EQ(pane.buttonText(0), "NSE - Closed");
}

TEST(WatchlistIcons, ByName)
{
    EXPECT_EQ(GetWatchlistIcon("my watchlist").collection, 274);
    EXPECT_EQ(GetWatchlistIcon("My Positions").index, 29);
    EXPECT_EQ(GetWatchlistIcon("Future Index").collection, 268);
    EXPECT_EQ(GetWatchlistIcon("Industry").index, 4);
    EXPECT_EQ(GetWatchlistIcon("NSE-FX", "NSE-FX").index, 11);
    EXPECT_EQ(GetWatchlistIcon("Anything").index, 17);
    EXPECT_EQ(MarketSegmentName("CB"), "BSE-CDX");
    EXPECT_EQ(MarketSegmentName("XX"), "XX");
}

} // namespace
