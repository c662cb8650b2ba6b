// The header-menu value filter: the values it offers, its button and tooltip,
// and the row callback that keeps a matched group's detail rows and the
// " Grand Total" row.
#include "testkit/headless.h"

#include "frame/controls/CButtonItem.h"
#include "frame/controls/CFilterGridCtrl.h"

#include <QSignalSpy>

namespace {

class FilterGridTest : public testkit::Headless {
protected:
    // Holdings grouped by client: a group row with the client's name, then
    // detail rows with an empty name, then the total.
    void fill(CFilterGridCtrl& grid)
    {
        grid.model().setColumns({"Client", "Scrip", "Depository", "Qty"});
        const auto add = [&](const char* name, int key, const char* dep, const char* names) {
            const int r = grid.model().addRow();
            grid.model().setText(r, 0, QString::fromUtf8(name));
            grid.model().setText(r, 2, QString::fromUtf8(dep));
            grid.model().setRowData(r, FilterRowData{key, QString::fromUtf8(names)});
            return r;
        };
        hdfc = add("HDFC", 1, "NSDL", "NSDL,CDSL");
        hdfc1 = add("", 1, "", "NSDL");
        hdfc2 = add("", 1, "", "CDSL");
        infy = add("INFY", 2, "CDSL", "CDSL");
        infy1 = add("", 2, "", "CDSL");
        always = add("", FilterRowData::kAlwaysShown, "", "");
        total = add(" Grand Total", 0, "", "");
    }
    int hdfc = -1, hdfc1 = -1, hdfc2 = -1, infy = -1, infy1 = -1, always = -1, total = -1;
};

FilterColumnInfo valueFilter(int column, QStringList checked)
{
    FilterColumnInfo f;
    f.column = column;
    f.allValues = false;
    f.checkedValues = std::move(checked);
    return f;
}

TEST_F(FilterGridTest, CheckedGroupKeepsItsDetailRowsAndTheGrandTotal)
{
    CFilterGridCtrl grid;
    fill(grid);
    grid.EnableValueFilter();
    grid.ApplyFilter(valueFilter(0, {"HDFC"}));
    EXPECT_EQ(grid.shownRows(), (std::vector<int>{hdfc, hdfc1, hdfc2, total}));

    grid.ApplyFilter(valueFilter(0, {"INFY"}));
    EXPECT_EQ(grid.shownRows(), (std::vector<int>{infy, infy1, total}));

    grid.ApplyFilter(valueFilter(0, {"NOBODY"}));
    EXPECT_EQ(grid.shownRows(), (std::vector<int>{total})) << "the total survives every value filter";

    FilterColumnInfo text;
    text.column = 0;
    text.allValues = false;
    text.text = QStringLiteral("HD");
    grid.ApplyFilter(text);
    EXPECT_EQ(grid.shownRows(), (std::vector<int>{hdfc})) << "no checked values: the text filter decides";

    grid.ApplyFilter(FilterColumnInfo{});
    EXPECT_EQ(grid.shownRows().size(), 7u);
}

TEST_F(FilterGridTest, EachGridRemembersItsOwnGroupAndNothingSurvivesRemovedRows)
{
    CFilterGridCtrl first, second;
    fill(first);
    fill(second);
    first.EnableValueFilter();
    second.EnableValueFilter();
    first.ApplyFilter(valueFilter(0, {"INFY"}));
    second.ApplyFilter(valueFilter(0, {"HDFC"}));
    first.refilter(); // after the other grid's pass: its own memory only
    EXPECT_EQ(first.shownRows(), (std::vector<int>{infy, infy1, total}));

    // The group row goes away: its details are judged alone, never by a stale row.
    second.model().removeRow(hdfc);
    second.refilter();
    EXPECT_EQ(second.shownRows(), (std::vector<int>{total}));
}

TEST_F(FilterGridTest, SecondColumnMatchesByValueOrByTheRowsNameList)
{
    CFilterGridCtrl grid;
    fill(grid);
    grid.EnableValueFilter();
    grid.ApplyFilter(valueFilter(2, {"NSDL"}));
    EXPECT_EQ(grid.shownRows(), (std::vector<int>{hdfc, hdfc1, always}));
    grid.ApplyFilter(valueFilter(2, {"CDSL"}));
    EXPECT_EQ(grid.shownRows(), (std::vector<int>{hdfc2, infy, infy1, always}));

    // Rows without data: an empty cell has no names to match.
    ui::GridModel model;
    model.setColumns({"a", "b", "c"});
    const int bare = model.addRow();
    FilterPass pass;
    EXPECT_TRUE(FilterGridRowCallback(model, bare, valueFilter(2, {"X"}), pass));
    EXPECT_FALSE(FilterGridRowCallback(model, bare, valueFilter(1, {"X"}), pass)) << "other columns: shown";
    EXPECT_FALSE(FilterGridRowCallback(model, bare, valueFilter(7, {"X"}), pass)) << "no such cell: shown";
}

TEST_F(FilterGridTest, HeaderMenuOffersDistinctValuesWithoutEmptyAndGrandTotal)
{
    CFilterGridCtrl grid;
    fill(grid);
    EXPECT_EQ(grid.HeaderMenuValues(0), (QStringList{"HDFC", "INFY"}));
    EXPECT_EQ(grid.HeaderMenuValues(2), (QStringList{"CDSL", "NSDL"}));

    EXPECT_EQ(grid.GetHeaderMenuButtonImageIndex(1, true), -1) << "buttons only on columns 0 and 2";
    EXPECT_EQ(grid.GetHeaderMenuButtonImageIndex(0, true), 0);
    EXPECT_EQ(grid.GetHeaderMenuButtonTooltip(2), QStringLiteral("Filter by Depository"));

    // Choosing a value in the menu unticks it from "all"; the button shows the filter.
    grid.EnableValueFilter();
    prompter.queueMenuCommand(3); // 1 = (Select All), 2 = HDFC, 3 = INFY
    grid.OnHeaderMenuButtonClick(0);
    ASSERT_EQ(prompter.menus().size(), 1u);
    const ui::MenuSpec menu = prompter.menus()[0];
    ASSERT_EQ(menu.items.size(), 3u);
    EXPECT_EQ(menu.items[1].text, "HDFC");
    EXPECT_EQ(grid.MenuColumn(), 0);
    EXPECT_FALSE(grid.AppliedFilter().allValues);
    EXPECT_EQ(grid.AppliedFilter().checkedValues, QStringList{"HDFC"});
    EXPECT_EQ(grid.shownRows(), (std::vector<int>{hdfc, hdfc1, hdfc2, total}));
    EXPECT_EQ(grid.GetHeaderMenuButtonImageIndex(0, false), 3);
    grid.clickHeader(0);
    EXPECT_EQ(grid.GetHeaderMenuButtonImageIndex(0, true), 4);
    grid.clickHeader(0);
    EXPECT_EQ(grid.GetHeaderMenuButtonImageIndex(0, true), 5);

    // The next menu starts from the applied filter; "(Select All)" clears it.
    prompter.queueMenuCommand(1);
    grid.OnHeaderMenuButtonClick(0);
    EXPECT_FALSE(prompter.menus()[1].items[2].checked);
    EXPECT_TRUE(grid.AppliedFilter().allValues);
    EXPECT_EQ(grid.shownRows().size(), 7u);

    // A cancelled menu changes nothing; column 1 has no menu.
    grid.OnHeaderMenuButtonClick(2);
    grid.OnHeaderMenuButtonClick(1);
    EXPECT_EQ(prompter.menus().size(), 3u);
    EXPECT_TRUE(grid.AppliedFilter().allValues);
}

TEST_F(FilterGridTest, AcceptButtonCellKeepsTheLowSixteenBitsOfItsCommand)
{
    CFilterGridCtrl grid;
    grid.model().setColumns({"Event", "Action"});
    const int row = grid.model().addRow();
    const CButtonItem button(1, 0x12345);
    button.Place(grid.model(), row);
    EXPECT_EQ(grid.model().text(row, 1), QStringLiteral("Accept"));
    EXPECT_TRUE(button.IsPushButton());
    QSignalSpy toParent(&grid, &ui::GridView::commandToParent);
    grid.pressButton(row, 1, false);
    ASSERT_EQ(toParent.count(), 1);
    EXPECT_EQ(toParent.at(0).at(0).toInt(), 0x2345);
}

} // namespace
