// Saved grid layouts: a round trip through the profile store, a layout of
// another column set ignored, damaged blobs refused, and the one layout that
// every multi-line-header grid shares; no width cuts a header's text.
#include "testkit/contrast.h"
#include "testkit/headless.h"

#include "frame/controls/CMultiLineHeaderGridCtrl.h"
#include "frame/controls/CMyGridCtrl.h"
#include "ui/grid_layout_state.h"
#include "ui/grid_view.h"

#include <QApplication>
#include <QHeaderView>
#include <QTreeView>

namespace {

class GridLayoutTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        ui::GridLayoutState::setDefaultStore(profile.get());
    }
    void TearDown() override
    {
        ui::GridLayoutState::setDefaultStore(nullptr);
        Headless::TearDown();
    }
    static QStringList watchColumns() { return {"Symbol", "Series", "Exch", "Expiry", "Bid", "Ask", "LTP"}; }
};

TEST_F(GridLayoutTest, LayoutRoundTripsThroughTheProfileStore)
{
    ui::GridLayoutState saved;
    {
        CMyGridCtrl grid;
        grid.model().setColumns(watchColumns());
        grid.setFrozenColumns(1);
        grid.setColumnWidth(4, 77);
        grid.setColumnWidth(6, 131);
        ASSERT_TRUE(grid.moveColumn(6, 2));
        ASSERT_TRUE(grid.setColumnHidden(5, true));
        grid.clickHeader(4);
        grid.clickHeader(4);
        ASSERT_TRUE(grid.LoadGridState("U1_DefaultGridView") == false) << "nothing saved yet";
        ASSERT_TRUE(grid.SaveGridState());
        saved = grid.captureLayout();
    }
    // A new store object reads the file: the layout went to disk.
    pf::ProfileStore reread(profile->path());
    ui::GridLayoutState::setDefaultStore(&reread);
    CMyGridCtrl again;
    again.model().setColumns(watchColumns());
    again.setFrozenColumns(1);
    ASSERT_TRUE(again.LoadGridState("U1_DefaultGridView"));
    EXPECT_EQ(again.captureLayout(), saved);
    EXPECT_EQ(again.columnWidth(6), 131);
    EXPECT_EQ(again.visualIndex(6), 2);
    EXPECT_TRUE(again.isColumnHidden(5));
    EXPECT_EQ(again.sortColumn(), 4);
    EXPECT_FALSE(again.sortAscending());
    ui::GridLayoutState::setDefaultStore(profile.get());
}

TEST_F(GridLayoutTest, LayoutOfAnotherColumnSetIsIgnored)
{
    {
        CMyGridCtrl old;
        old.model().setColumns(watchColumns());
        old.setColumnWidth(1, 300);
        old.LoadGridState("U1_List");
        ASSERT_TRUE(old.SaveGridState());
    }
    CMyGridCtrl grid;
    QStringList more = watchColumns();
    more << "Volume";
    grid.model().setColumns(more);
    grid.setColumnWidth(1, 80); // wide enough for its header's text
    EXPECT_FALSE(grid.LoadGridState("U1_List"));
    EXPECT_EQ(grid.columnWidth(1), 80) << "nothing of the other layout is applied";

    QStringList renamed = watchColumns();
    renamed[2] = "Exchange";
    CMyGridCtrl other;
    other.model().setColumns(renamed);
    EXPECT_FALSE(other.LoadGridState("U1_List"));
}

TEST_F(GridLayoutTest, DamagedOrForeignBlobsAreRefused)
{
    ui::GridLayoutState s;
    s.names = {"A", "B", "C"};
    s.columns = {{2, 10, false}, {0, 20, true}, {1, 30, false}};
    s.sortColumn = 2;
    s.ascending = false;
    const std::string blob = s.encode();
    ASSERT_EQ(ui::GridLayoutState::decode(blob), s);
    // Every cut of the blob is refused, never read past its end.
    for (size_t n = 0; n < blob.size(); ++n)
        EXPECT_FALSE(ui::GridLayoutState::decode(blob.substr(0, n)).has_value()) << n;
    EXPECT_FALSE(ui::GridLayoutState::decode(blob + "x").has_value());
    std::string otherVersion = blob;
    otherVersion[4] = char(ui::GridLayoutState::kVersion + 1);
    EXPECT_FALSE(ui::GridLayoutState::decode(otherVersion).has_value());
    std::string badVisual = blob;
    badVisual[5 + 4 + 3 * 5] = 9; // first column's visual index beyond the column count
    EXPECT_FALSE(ui::GridLayoutState::decode(badVisual).has_value());

    ASSERT_TRUE(profile->setBlob("Broken", "GridLayout", "VXGL\x01garbage"));
    CMyGridCtrl grid;
    grid.model().setColumns({"A", "B", "C"});
    EXPECT_FALSE(grid.LoadGridState("Broken"));
}

TEST_F(GridLayoutTest, MultiLineGridsShareOneLayoutAcrossInstances)
{
    const QStringList columns = {"Event\nDate", "Scrip\nName", "Record\nDate", "Action"};
    {
        CMultiLineHeaderGridCtrl first(2);
        first.model().setColumns(columns);
        first.OnCreate();
        first.setColumnWidth(1, 211);
        first.moveColumn(3, 0);
        EXPECT_GT(first.tree()->header()->sizeHint().height(), 0);
    }
    CMultiLineHeaderGridCtrl second(2);
    second.model().setColumns(columns);
    second.OnCreate();
    EXPECT_EQ(second.columnWidth(1), 211);
    EXPECT_EQ(second.visualIndex(3), 0);
    EXPECT_EQ(second.headerLineCount(), 2);

    // Two header lines make the header twice as high as one.
    CMultiLineHeaderGridCtrl single(1);
    single.model().setColumns({"A"});
    CMultiLineHeaderGridCtrl twice(2);
    twice.model().setColumns({"A"});
    EXPECT_NEAR(twice.tree()->header()->sizeHint().height(), 2 * single.tree()->header()->sizeHint().height(), 4);
}

} // namespace

namespace {

// A column is never narrower than its header's text, whatever gives it its
// width: the owner, a saved layout, an auto-size share, the user's drag or a
// larger font. Wider widths stay as set; 0 folds a column away and stays.
TEST_F(GridLayoutTest, NoWidthCutsAHeadersText)
{
    ui::GridView grid;
    grid.model().setColumns({"Gross Purchase", "Reporting Date", "Buy Traded\nQty/Lot", "Qty"});
    grid.setHeaderLineCount(2);
    grid.resize(600, 200);
    grid.show();
    QHeaderView* header = grid.tree()->header();
    EXPECT_EQ(testkit::clippedHeaders(grid), std::vector<std::string>{}) << "new columns";

    grid.setColumnWidth(0, 20);
    grid.setColumnWidth(2, 30);
    grid.setColumnWidth(3, 150);
    grid.setColumnWidth(1, 0);
    EXPECT_EQ(testkit::clippedHeaders(grid), std::vector<std::string>{}) << "the owner's widths";
    EXPECT_GT(grid.columnWidth(0), header->fontMetrics().horizontalAdvance("Gross Purchase"));
    EXPECT_EQ(grid.columnWidth(3), 150);
    EXPECT_EQ(grid.columnWidth(1), 0);

    ui::GridLayoutState narrow = grid.captureLayout();
    for (ui::GridLayoutState::Column& c : narrow.columns)
        c.width = 12;
    ASSERT_TRUE(grid.applyLayout(narrow));
    EXPECT_EQ(testkit::clippedHeaders(grid), std::vector<std::string>{}) << "a saved layout";

    header->resizeSection(0, 8); // the user's drag
    EXPECT_EQ(testkit::clippedHeaders(grid), std::vector<std::string>{}) << "a drag";

    QFont large = grid.tree()->font();
    large.setPointSizeF(large.pointSizeF() * 2);
    grid.setGridFont(large);
    QApplication::processEvents();
    EXPECT_EQ(testkit::clippedHeaders(grid), std::vector<std::string>{}) << "a larger font";

    grid.resize(120, 200); // shares of 120 pixels would cut every header
    grid.setColumnAutoSize(true);
    QApplication::processEvents();
    EXPECT_EQ(testkit::clippedHeaders(grid), std::vector<std::string>{}) << "auto-size";
}

} // namespace
