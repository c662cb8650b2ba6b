// Grid grouping, the group-by box, merged cells, the column chooser, expand
// and collapse, auto-size and the filter bar's empty text: on a real grid
// widget (offscreen), checked through the model's structure and the view's
// shown rows.
#include "testkit/headless.h"

#include "frame/controls/CMyGridCtrl.h"
#include "frame/controls/CMyReportCtrl.h"
#include "ui/grid_layout_state.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTreeView>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// The trade book's columns; grouped by "Security" (0) then "Order No" (3).
const QStringList kColumns = {"Security", "ME", "Client", "Order No", "Trade No", "Qty/Lot", "Price"};

struct Trade {
    const char* security;
    const char* order;
    const char* trade;
};

class GridGroupsTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        ui::GridLayoutState::setDefaultStore(profile.get());
        grid.model().setColumns(kColumns);
        grid.resize(600, 400);
        grid.show();
    }
    void TearDown() override
    {
        ui::GridLayoutState::setDefaultStore(nullptr);
        Headless::TearDown();
    }

    // A refill as the books do it: empty the grid, add flat rows.
    void fill(const std::vector<Trade>& trades)
    {
        ui::GridModel& m = grid.model();
        m.clearRows();
        for (const Trade& t : trades) {
            const int id = m.addRow();
            m.setText(id, 0, t.security);
            m.setText(id, 3, t.order);
            m.setText(id, 4, t.trade);
        }
        grid.refilter();
    }

    // The shown structure as text: a group row as "[caption]" and an owner's
    // row as its trade number, indented one blank per level.
    std::string shape() const
    {
        const ui::GridModel& m = grid.model();
        std::string out;
        for (int id : grid.shownRows()) {
            int depth = 0;
            bool open = true; // rows under a collapsed group are out of sight
            for (int p = m.parentOf(id); p != ui::GridModel::kRoot; p = m.parentOf(p)) {
                ++depth;
                open = open && grid.isGroupExpanded(p);
            }
            if (!open)
                continue;
            out += std::string(size_t(depth), ' ');
            out += m.isAutoGroup(id) ? "[" + grid.groupCaption(id).toStdString() + "]" : m.text(id, 4).toStdString();
            out += '\n';
        }
        return out;
    }

    CMyReportCtrl grid;
};

const std::vector<Trade> kTrades = {
    {"TCS", "2", "t1"}, {"INFY", "1", "t2"}, {"TCS", "1", "t3"}, {"TCS", "2", "t4"}, {"INFY", "1", "t5"},
};

struct GroupCase {
    const char* name;
    std::vector<int> groups;
    std::string expected;
};

TEST_F(GridGroupsTest, GroupsByOneAndTwoColumnsAndSurvivesARefill)
{
    const std::vector<GroupCase> cases = {
        {"none", {}, "t1\nt2\nt3\nt4\nt5\n"},
        {"security", {0}, "[Security: INFY (2)]\n t2\n t5\n[Security: TCS (3)]\n t1\n t3\n t4\n"},
        {"security then order",
         {0, 3},
         "[Security: INFY (2)]\n [Order No: 1 (2)]\n  t2\n  t5\n[Security: TCS (3)]\n [Order No: 1 (1)]\n  t3\n"
         " [Order No: 2 (2)]\n  t1\n  t4\n"},
        {"order only", {3}, "[Order No: 1 (3)]\n t2\n t3\n t5\n[Order No: 2 (2)]\n t1\n t4\n"},
    };
    fill(kTrades);
    for (const GroupCase& c : cases) {
        SCOPED_TRACE(c.name);
        grid.setGroupColumns(c.groups);
        EXPECT_EQ(grid.groupColumns(), c.groups);
        EXPECT_EQ(shape(), c.expected);
        // A refill keeps the grouping; the new rows land in their groups.
        fill(kTrades);
        EXPECT_EQ(shape(), c.expected);
        EXPECT_EQ(grid.model().ownerTopRows().size(), kTrades.size());
    }
}

// A model filled away from the grid (as the books fill theirs on a worker),
// grouped like the grid, not grouped, or grouped otherwise: the grid shows its
// rows as a fill of its own would, a collapsed group stays collapsed, and the
// filled model is left empty. One of another column count is refused.
TEST_F(GridGroupsTest, RowsOfAModelFilledElsewhereShowAsAFillOfTheGridsOwn)
{
    const auto filled = [](const std::vector<int>& groups) {
        auto m = std::make_unique<ui::GridModel>();
        m->setAutoFlush(false);
        m->setColumns(kColumns);
        m->setGroupColumns(groups);
        for (const Trade& t : kTrades) {
            const int id = m->addRow();
            m->setText(id, 0, t.security);
            m->setText(id, 3, t.order);
            m->setText(id, 4, t.trade);
        }
        m->regroup();
        return m;
    };
    const std::string bySecurity = "[Security: INFY (2)]\n t2\n t5\n[Security: TCS (3)]\n t1\n t3\n t4\n";
    grid.setGroupColumns({0});
    for (const std::vector<int>& groups : {std::vector<int>{0}, std::vector<int>{}, std::vector<int>{3, 0}}) {
        SCOPED_TRACE(groups.size());
        auto m = filled(groups);
        EXPECT_TRUE(grid.takeRows(*m));
        EXPECT_EQ(shape(), bySecurity);
        EXPECT_EQ(grid.model().ownerTopRows().size(), kTrades.size());
        EXPECT_EQ(m->rowTotal(), 0);
        EXPECT_TRUE(m->childrenOf(ui::GridModel::kRoot).empty());
    }

    grid.setGroupExpanded(grid.model().childrenOf(ui::GridModel::kRoot)[0], false); // INFY
    auto m = filled({0});
    grid.takeRows(*m);
    EXPECT_EQ(shape(), "[Security: INFY (2)]\n[Security: TCS (3)]\n t1\n t3\n t4\n");

    grid.setGroupColumns({});
    m = filled({0});
    grid.takeRows(*m);
    EXPECT_EQ(shape(), "t1\nt2\nt3\nt4\nt5\n");

    auto narrow = std::make_unique<ui::GridModel>();
    narrow->setColumns({"Security"});
    narrow->addRow();
    EXPECT_FALSE(grid.takeRows(*narrow));
    EXPECT_EQ(shape(), "t1\nt2\nt3\nt4\nt5\n");
    EXPECT_EQ(narrow->rowTotal(), 1);
}

// Thousands of groups open a slice at a time with the event loop running
// between: the grid says it is settling until the last group is open, a
// group the user closed stays closed, and a newer fill arriving meanwhile
// replaces the older one's slices.
TEST_F(GridGroupsTest, ThousandsOfGroupsOpenInSlicesAndANewerFillWins)
{
    grid.setGroupColumns({0, 3});
    int settled = 0;
    QObject::connect(&grid, &ui::GridView::expansionSettled, [&settled] { ++settled; });
    // One trade an order, two orders a security: three groups a security.
    std::vector<std::string> names;
    const auto trades = [&names](int securities, const char* prefix) {
        names.clear();
        for (int s = 0; s < securities; ++s)
            names.push_back(prefix + std::to_string(1000 + s)); // sorts as numbered
        std::vector<Trade> out;
        for (const std::string& n : names)
            for (const char* order : {"1", "2"})
                out.push_back({n.c_str(), order, "t"});
        return out;
    };
    const auto expected = [&names] {
        std::string out;
        for (const std::string& n : names) {
            out += "[Security: " + n + " (2)]\n";
            for (const char* order : {"1", "2"})
                out += std::string(" [Order No: ") + order + " (1)]\n  t\n";
        }
        return out;
    };

    // A small fill opens at once; the user closes its first security.
    fill(trades(3, "A"));
    EXPECT_FALSE(grid.isSettling());
    const int first = grid.model().childrenOf(ui::GridModel::kRoot)[0];
    grid.setGroupExpanded(first, false);

    // Six hundred securities: 1,800 groups.
    fill(trades(600, "A"));
    EXPECT_TRUE(grid.isSettling());
    ASSERT_TRUE(pumpUntil([&] { return !grid.isSettling(); }, 20000));
    EXPECT_EQ(settled, 1);
    std::string want = expected();
    want.erase(want.find(" [Order No: 1"), std::string(" [Order No: 1 (1)]\n  t\n [Order No: 2 (1)]\n  t\n").size());
    EXPECT_EQ(shape(), want) << "the first security stays closed, every other group is open";

    // A newer fill while the older one's groups are still opening.
    grid.expandAll(true);
    fill(trades(700, "B"));
    ASSERT_TRUE(grid.isSettling());
    pumpUntil([] { return false; }, 1); // a slice or so of the older fill
    fill(trades(650, "C"));
    ASSERT_TRUE(pumpUntil([&] { return !grid.isSettling(); }, 20000));
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(shape(), expected());
    EXPECT_EQ(grid.model().ownerTopRows().size(), 1300u);
    EXPECT_GE(settled, 2);
}

TEST_F(GridGroupsTest, RowsComingAndGoingAndKeyChangesRegroupOnTheNextTurn)
{
    fill(kTrades);
    grid.setGroupColumns({0});
    ui::GridModel& m = grid.model();
    const int added = m.addRow();
    m.setText(added, 0, "WIPRO");
    m.setText(added, 4, "t6");
    // The owner's row moves to a new group without any call from the owner.
    ASSERT_TRUE(pumpUntil([&] { return m.isAutoGroup(m.parentOf(added)); }));
    EXPECT_EQ(grid.groupCaption(m.parentOf(added)), "Security: WIPRO (1)");
    // A group key edited in place moves the row; the emptied group goes.
    m.setText(added, 0, "TCS");
    ASSERT_TRUE(pumpUntil([&] { return grid.groupCaption(m.parentOf(added)) == "Security: TCS (4)"; }));
    EXPECT_EQ(shape(), "[Security: INFY (2)]\n t2\n t5\n[Security: TCS (4)]\n t1\n t3\n t4\n t6\n");
    // A group row of the grid's own is neither removable nor a parent for the owner.
    const int group = m.parentOf(added);
    EXPECT_FALSE(m.removeRow(group));
    EXPECT_EQ(m.addRow(group), -1);
    ASSERT_TRUE(m.removeRow(added));
    grid.refilter();
    EXPECT_EQ(shape(), "[Security: INFY (2)]\n t2\n t5\n[Security: TCS (3)]\n t1\n t3\n t4\n");
    // Ungrouped again, the rows are back in the owner's order.
    grid.setGroupColumns({});
    EXPECT_EQ(shape(), "t1\nt2\nt3\nt4\nt5\n");
}

TEST_F(GridGroupsTest, FilterBarHidesGroupsWithNothingShownAndSortingWorksInsideGroups)
{
    fill(kTrades);
    grid.setGroupColumns({0});
    grid.setFilterBarVisible(true);
    grid.setFilterBarText(4, "t1");
    EXPECT_EQ(shape(), "[Security: TCS (3)]\n t1\n");
    grid.setFilterBarText(4, "");
    grid.clickHeader(4);
    grid.clickHeader(4); // descending by trade number, groups keep their order
    EXPECT_EQ(shape(), "[Security: INFY (2)]\n t5\n t2\n[Security: TCS (3)]\n t4\n t3\n t1\n");
}

TEST_F(GridGroupsTest, DraggingAHeaderIntoTheBoxGroupsAndAChipOutUngroups)
{
    fill(kTrades);
    grid.setGroupByBoxVisible(true);
    QApplication::processEvents();
    QHeaderView* header = grid.tree()->header();
    QWidget* box = grid.groupByBox();
    ASSERT_TRUE(box->isVisible());
    const QPoint press(header->sectionViewportPosition(3) + 10, header->height() / 2);
    const auto send = [](QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(local), QPointF(w->mapToGlobal(local)), button, held, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    };
    // Press on "Order No", pull it up into the box, let go there.
    send(header->viewport(), QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    const QPoint inBox = header->viewport()->mapFromGlobal(box->mapToGlobal(QPoint(box->width() / 2, box->height() / 2)));
    send(header->viewport(), QEvent::MouseMove, inBox, Qt::NoButton, Qt::LeftButton);
    send(header->viewport(), QEvent::MouseButtonRelease, inBox, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(grid.groupColumns(), std::vector<int>{3});
    EXPECT_EQ(grid.sortColumn(), -1) << "the drag is not a sorting click";
    EXPECT_EQ(grid.visualIndex(3), 3) << "nor a column move";
    // A second level goes where it is dropped: in front of the first.
    grid.groupByColumn(0, 0);
    EXPECT_EQ(grid.groupColumns(), (std::vector<int>{0, 3}));
    // Drag the "Security" box out of the strip: ungrouped.
    const QPoint chip(12, box->height() / 2);
    send(box, QEvent::MouseButtonPress, chip, Qt::LeftButton, Qt::LeftButton);
    send(box, QEvent::MouseButtonRelease, QPoint(12, box->height() + 60), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(grid.groupColumns(), std::vector<int>{3});
    EXPECT_EQ(shape(), "[Order No: 1 (3)]\n t2\n t3\n t5\n[Order No: 2 (2)]\n t1\n t4\n");
}

TEST_F(GridGroupsTest, SavedLayoutKeepsGroupsAndCollapsedGroupsSurviveARefill)
{
    fill(kTrades);
    grid.setGroupColumns({0, 3});
    ASSERT_TRUE(grid.saveLayout("U1_TradeReportGrid"));
    {
        CMyReportCtrl again;
        again.model().setColumns(kColumns);
        ASSERT_TRUE(again.loadLayout("U1_TradeReportGrid"));
        EXPECT_EQ(again.groupColumns(), (std::vector<int>{0, 3}));
    }
    // A layout of the former version (no groups) still loads.
    ui::GridLayoutState old = grid.captureLayout();
    std::string blob = old.encode();
    old.groupColumns.clear();
    std::string v1 = old.encode();
    v1[4] = 1;
    v1.resize(v1.size() - 4); // the former blob ends after the sort state
    const auto decoded = ui::GridLayoutState::decode(v1);
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded->groupColumns.empty());
    std::string badGroup = blob;
    badGroup[badGroup.size() - 4] = 99; // a group column past the column count
    EXPECT_FALSE(ui::GridLayoutState::decode(badGroup));

    // Collapse one group; a refill and a regroup keep it collapsed.
    ui::GridModel& m = grid.model();
    const auto groupOf = [&](const char* security) {
        for (int id : m.childrenOf(ui::GridModel::kRoot))
            if (m.text(id, 0) == security)
                return id;
        return -1;
    };
    grid.setGroupExpanded(groupOf("TCS"), false);
    EXPECT_EQ(shape(), "[Security: INFY (2)]\n [Order No: 1 (2)]\n  t2\n  t5\n[Security: TCS (3)]\n");
    EXPECT_FALSE(grid.tree()->isExpanded(grid.tree()->model()->index(1, 0))); // the shown TCS group
    fill(kTrades);
    EXPECT_FALSE(grid.isGroupExpanded(groupOf("TCS")));
    EXPECT_TRUE(grid.isGroupExpanded(groupOf("INFY")));
    // Expand All / Collapse All act on every group.
    grid.expandAll(false);
    fill(kTrades);
    EXPECT_FALSE(grid.isGroupExpanded(groupOf("INFY")));
    grid.expandAll(true);
    fill(kTrades);
    EXPECT_TRUE(grid.isGroupExpanded(groupOf("TCS")));
}

TEST_F(GridGroupsTest, TwoLegsShareOneMergedCellAndRangesAcrossColumns)
{
    ui::GridModel& m = grid.model();
    fill({{"TCS", "7", "a"}, {"TCS", "7", "c"}, {"INFY", "8", "b"}}); // two legs and a single order
    const int leg1 = m.idAt(0), leg2 = m.idAt(1), single = m.idAt(2);
    ASSERT_TRUE(m.mergeCells(leg1, leg2, 0, 0));
    EXPECT_FALSE(m.mergeCells(leg2, single, 0, 0)) << "a merged cell cannot join a second range";
    EXPECT_FALSE(m.mergeCells(single, leg1, 1, 1)) << "rows must run top to bottom";
    ASSERT_TRUE(m.mergeCells(single, single, 0, 2));
    grid.refilter();
    QApplication::processEvents();
    const QRect a = grid.mergedCellRect(leg1, 0);
    ASSERT_TRUE(a.isValid());
    EXPECT_EQ(a, grid.mergedCellRect(leg2, 0)) << "both legs show one cell";
    EXPECT_EQ(a.height(), 2 * grid.tree()->visualRect(grid.tree()->model()->index(0, 0)).height());
    EXPECT_FALSE(grid.mergedCellRect(leg1, 1).isValid());
    const QRect wide = grid.mergedCellRect(single, 1);
    // Across the three columns, from where the row's first cell starts (after
    // the tree's indentation, where text would be clipped away).
    EXPECT_EQ(wide.left(), grid.tree()->visualRect(grid.tree()->model()->index(2, 0)).left());
    EXPECT_EQ(wide.right() + 1, grid.columnWidth(0) + grid.columnWidth(1) + grid.columnWidth(2));
    // Sorted apart (a, b, c), each leg shows its own cell; a removed row ends its range.
    grid.clickHeader(4);
    ASSERT_EQ(grid.shownRows(), (std::vector<int>{leg1, single, leg2}));
    EXPECT_NE(grid.mergedCellRect(leg1, 0), grid.mergedCellRect(leg2, 0));
    ASSERT_TRUE(m.removeRow(leg2));
    EXPECT_EQ(m.mergeAt(leg1, 0), nullptr);
    ASSERT_TRUE(m.mergeCells(leg1, leg1, 0, 1)) << "the cell is free again";
}

TEST_F(GridGroupsTest, SelectColumnsHidesAndShowsButNeverOffersAFrozenColumn)
{
    fill(kTrades);
    grid.setFrozenColumns(2);
    prompter.queueMenuCommand(5 + 1); // "Qty/Lot"
    grid.showColumnChooser();
    ASSERT_EQ(prompter.menus().size(), 1u);
    std::vector<std::string> offered;
    const std::vector<ui::MenuSpec> menus = prompter.menus();
    for (const ui::MenuItem& item : menus[0].items)
        offered.push_back(item.text);
    EXPECT_EQ(offered, (std::vector<std::string>{"Client", "Order No", "Trade No", "Qty/Lot", "Price"}));
    EXPECT_TRUE(grid.isColumnHidden(5));
    prompter.queueMenuCommand(5 + 1);
    grid.showColumnChooser();
    EXPECT_FALSE(grid.isColumnHidden(5));
    EXPECT_FALSE(prompter.menus()[1].items[3].checked) << "offered as hidden the second time";
    // A frozen column's id, should a menu answer it, changes nothing.
    prompter.queueMenuCommand(0 + 1);
    grid.showColumnChooser();
    EXPECT_FALSE(grid.isColumnHidden(0));
    // Expand All / Collapse All.
    grid.setGroupColumns({0});
    grid.expandAll(false);
    EXPECT_FALSE(grid.isGroupExpanded(grid.model().idAt(0)));
    grid.expandAll(true);
    EXPECT_TRUE(grid.isGroupExpanded(grid.model().idAt(0)));
}

TEST_F(GridGroupsTest, AutoSizeSharesTheWidthAndEmptyFilterCellsShowAll)
{
    ui::GridModel& m = grid.model();
    m.setColumns({"Event", "Terms & Conditions", "Acceptance"});
    grid.setColumnWidth(0, 120);
    grid.setColumnWidth(1, 35);
    grid.setColumnWidth(2, 60);
    grid.setColumnAutoSize(true);
    const auto total = [&] { return grid.columnWidth(0) + grid.columnWidth(1) + grid.columnWidth(2); };
    EXPECT_EQ(total(), grid.tree()->viewport()->width());
    // "Acceptance" needs more than its 60 pixels: its share starts from its header's width.
    const int acceptance = std::max(60, grid.headerTextWidth(2));
    EXPECT_NEAR(double(grid.columnWidth(0)) / grid.columnWidth(2), 120.0 / acceptance, 0.1);
    grid.resize(900, 400);
    QApplication::processEvents();
    EXPECT_EQ(total(), grid.tree()->viewport()->width());

    grid.setFilterBarEmptyText("<ALL>");
    grid.setFilterBarVisible(true);
    const QList<QLineEdit*> edits = grid.tree()->findChildren<QLineEdit*>();
    ASSERT_EQ(edits.size(), 3);
    for (QLineEdit* e : edits)
        EXPECT_EQ(e->placeholderText(), "<ALL>");
}

} // namespace
