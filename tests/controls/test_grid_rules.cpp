// The program grid's rules: the filter-bar language, the compare modes, the
// header click cycle, the font-scaled width rule and frozen columns.
#include "testkit/headless.h"

#include "app/base/AppSettings.h"
#include "frame/controls/CAnnouNewsReportCtrl.h"
#include "frame/controls/CMyGridCtrl.h"
#include "frame/controls/CMyReportCtrl.h"

#include <QHeaderView>
#include <QTreeView>

#include <map>

namespace {

// ---- Filter bar, column 0 ----

struct TextCase {
    const char* name;
    const char* filter;
    const char* cell;
    bool hidden;
};

class TextFilter : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextFilter, Matches)
{
    const TextCase& c = GetParam();
    EXPECT_EQ(CMyGridCtrl::TextFilterHides(QString::fromUtf8(c.cell), QString::fromUtf8(c.filter)), c.hidden)
        << "filter '" << c.filter << "' on '" << c.cell << "'";
}

INSTANTIATE_TEST_SUITE_P(
    GridRules, TextFilter,
    ::testing::Values(
        TextCase{"plain_match", "infy", "INFY-EQ", false}, TextCase{"plain_miss", "tcs", "INFY-EQ", true},
        TextCase{"empty_filter_shows", "", "INFY", false}, TextCase{"either_first", "infy or tcs", "INFY", false},
        TextCase{"either_second", "infy or tcs", "TCS", false}, TextCase{"either_none", "infy or tcs", "SBIN", true},
        TextCase{"pieces_trimmed", "  sbin   or  tcs  ", "SBIN", false},
        TextCase{"trailing_or_hides_non_match", "infy or", "TCS", true},
        TextCase{"trailing_or_keeps_match", "infy or ", "INFY", false},
        TextCase{"or_inside_word_splits", "ford", "F", false},       // "f" | "d"
        TextCase{"or_inside_word_second_piece", "ford", "D", false}, // last piece "d"
        TextCase{"or_inside_word_no_whole_match", "ford", "FORD", false},
        TextCase{"or_inside_word_neither", "ford", "XYZ", true}, TextCase{"only_or_hides_all", "or", "ANYTHING", true},
        TextCase{"empty_first_piece_ignored", "or tcs", "INFY", true},
        TextCase{"case_folded_both_ways", "InFy", "infy", false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Filter bar, columns 6-9 ----

struct NumberCase {
    const char* name;
    const char* filter;
    QVariant value;
    bool hidden;
};

class NumberFilter : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberFilter, Matches)
{
    const NumberCase& c = GetParam();
    EXPECT_EQ(CMyGridCtrl::NumberFilterHides(c.value, QString::fromUtf8(c.filter)), c.hidden) << c.filter;
}

INSTANTIATE_TEST_SUITE_P(GridRules, NumberFilter,
                         ::testing::Values(NumberCase{"le50_below", "<=50", QVariant(49), false},
                                           NumberCase{"le50_equal_is_not_inclusive", "<=50", QVariant(50), true},
                                           NumberCase{"le50_above", "<=50", QVariant(51), true},
                                           NumberCase{"gt_above", ">100", QVariant(101), false},
                                           NumberCase{"gt_equal", ">100", QVariant(100), true},
                                           NumberCase{"ge_is_strict_too", ">=100", QVariant(100), true},
                                           NumberCase{"equals_sign", "=7", QVariant(7), false},
                                           NumberCase{"bare_number_equal", "7", QVariant(7), false},
                                           NumberCase{"bare_number_other", "7", QVariant(8), true},
                                           NumberCase{"blanks_in_front", "  < 10", QVariant(3), false},
                                           NumberCase{"only_operators_shows", "<=", QVariant(123), false},
                                           NumberCase{"empty_shows", "", QVariant(5), false},
                                           NumberCase{"unsigned_kind", "<5", QVariant(4u), false},
                                           NumberCase{"negative_number", "<-5", QVariant(-6), false},
                                           NumberCase{"text_kind_counts_as_zero", "<1", QVariant(QStringLiteral("500")),
                                                      false},
                                           NumberCase{"double_kind_counts_as_zero", "=0", QVariant(99.5), false},
                                           NumberCase{"no_value_counts_as_zero", ">0", QVariant(), true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The rules on a live grid ----

class GridRulesTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        saved = g_AppSettings;
    }
    void TearDown() override
    {
        g_AppSettings = saved;
        Headless::TearDown();
    }
    static QStringList tenColumns()
    {
        return {"Symbol", "Series", "Exch", "Expiry", "Bid", "Ask", "Qty", "Price", "Orders", "Lots"};
    }
    AppSettings saved{};
};

TEST_F(GridRulesTest, FilterBarOfModeOneCombinesColumnsAndSkipsAGrandTotalRowOnlyByItsText)
{
    CMyGridCtrl grid;
    grid.model().setColumns(tenColumns());
    grid.SetCompareMode(1);
    std::map<QString, int> id;
    const std::pair<const char*, int> rows[] = {
        {"INFY", 40}, {"TCS", 50}, {"SBIN", 10}, {"HDFC", 49}, {" Grand Total", 149}};
    for (const auto& [sym, price] : rows) {
        const int r = grid.model().addRow();
        grid.model().setText(r, 0, QString::fromUtf8(sym));
        grid.model().setValue(r, 7, QVariant(price));
        id[QString::fromUtf8(sym)] = r;
    }
    grid.setFilterBarVisible(true);
    grid.setFilterBarText(0, QStringLiteral("infy or tcs or total"));
    EXPECT_EQ(grid.shownRows(), (std::vector<int>{id["INFY"], id["TCS"], id[" Grand Total"]}));
    grid.setFilterBarText(7, QStringLiteral("<=50"));
    EXPECT_EQ(grid.shownRows(), (std::vector<int>{id["INFY"]}));
    grid.setFilterBarText(0, {});
    EXPECT_EQ(grid.shownRows(), (std::vector<int>{id["INFY"], id["SBIN"], id["HDFC"]}));
    // A row added while filtered is judged by the filter bar at once.
    const int late = grid.model().addRow();
    grid.model().setValue(late, 7, QVariant(99));
    grid.refilter();
    EXPECT_FALSE(grid.isRowShown(late));
}

TEST_F(GridRulesTest, ModeZeroComparesTextsByteWiseAndNumbersAsNumbers)
{
    EXPECT_LT(CMyGridCtrl::CompareTexts("B", "a", 0, true), 0) << "case-sensitive: upper case first";
    EXPECT_GT(CMyGridCtrl::CompareTexts("B", "a", 3, false), 0) << "descending negates";
    EXPECT_LT(CMyGridCtrl::CompareTexts("10", "9", 2, true), 0) << "columns 0-3 are text";
    EXPECT_LT(CMyGridCtrl::CompareTexts("9", "10", 4, true), 0) << "columns 4 and up are numbers";
    EXPECT_EQ(CMyGridCtrl::CompareTexts("1.50", "1.5", 5, true), 0);
    EXPECT_LT(CMyGridCtrl::CompareTexts("-3", "abc", 6, true), 0) << "a text that is no number reads as 0";
    EXPECT_GT(CMyGridCtrl::CompareTexts("12abc", " 11", 6, true), 0) << "the leading number counts";
}

TEST_F(GridRulesTest, HeaderClicksCycleAscendingDescendingAscending)
{
    CMyGridCtrl grid;
    grid.model().setColumns(tenColumns());
    std::vector<int> ids;
    for (const char* price : {"20.5", "3", "100"}) {
        const int r = grid.model().addRow();
        grid.model().setText(r, 4, QString::fromUtf8(price));
        ids.push_back(r);
    }
    grid.SetHeaderClickValue(5);
    grid.clickHeader(4);
    EXPECT_EQ(grid.HeaderClickValue(), 0) << "a header click clears the click value";
    EXPECT_EQ(grid.shownRows(), (std::vector<int>{ids[1], ids[0], ids[2]}));
    grid.clickHeader(4);
    EXPECT_EQ(grid.shownRows(), (std::vector<int>{ids[2], ids[0], ids[1]}));
    grid.clickHeader(4);
    EXPECT_EQ(grid.shownRows(), (std::vector<int>{ids[1], ids[0], ids[2]}));
    EXPECT_TRUE(grid.sortAscending());
    // Another column starts ascending again.
    grid.clickHeader(4);
    grid.clickHeader(0);
    EXPECT_EQ(grid.sortColumn(), 0);
    EXPECT_TRUE(grid.sortAscending());
}

TEST_F(GridRulesTest, OrderRecordCompareNeverReadsOutsideTheStore)
{
    const std::vector<std::array<double, 3>> store = {{1, 10, 100}, {2, 5, 300}};
    int reads = 0;
    const OrderFieldReader reader = [&](int index, int column) -> std::optional<double> {
        ++reads;
        if (index < 0 || size_t(index) >= store.size())
            return std::nullopt;
        return store[size_t(index)][column == 3 ? 0 : (column == 7 ? 1 : 2)];
    };
    for (int variant = 0; variant < 2; ++variant) {
        std::unique_ptr<ui::GridView> owner;
        std::function<int(int, int, int)> compare;
        std::function<void(bool)> direction;
        ui::GridModel* model = nullptr;
        if (variant == 0) {
            auto* g = new CMyGridCtrl;
            g->SetCompareMode(1);
            g->SetOrderFieldReader(reader);
            compare = [g](int a, int b, int c) { return g->CompareItems(a, b, c); };
            model = &g->model();
            owner.reset(g);
        } else {
            auto* g = new CMyReportCtrl;
            g->SetMode(1);
            g->SetOrderFieldReader(reader);
            compare = [g](int a, int b, int c) { return g->CompareItems(a, b, c); };
            model = &g->model();
            owner.reset(g);
        }
        model->setColumns(tenColumns());
        const int r0 = model->addRow(), r1 = model->addRow(), far = model->addRow(), none = model->addRow();
        model->setRowData(r0, 0);
        model->setRowData(r1, 1);
        model->setRowData(far, 7); // beyond the store
        owner->setSortState(7, true);
        EXPECT_GT(compare(r0, r1, 7), 0) << variant;
        EXPECT_LT(compare(r0, r1, 8), 0) << variant;
        EXPECT_EQ(compare(r0, far, 7), 0) << variant;
        EXPECT_EQ(compare(none, r1, 3), 0) << variant << ": a row without an index compares equal";
        owner->setSortState(7, false);
        EXPECT_LT(compare(r0, r1, 7), 0) << variant << ": descending negates";
    }
    EXPECT_GT(reads, 0);
}

TEST_F(GridRulesTest, WidthRuleScalesWithTheProgramFont)
{
    // F = 13 for a font height of -12.
    EXPECT_EQ(CMyGridCtrl::ScaledColumnWidth(-12, 1, "Ser", {"ABCDEF"}), 66);
    EXPECT_EQ(CMyGridCtrl::ScaledColumnWidth(-12, 2, "Exchange", {"N"}), 23);
    EXPECT_EQ(CMyGridCtrl::ScaledColumnWidth(-12, 2, "Exchange", {}), 8 * 8) << "no row: the header estimate";
    EXPECT_EQ(CMyGridCtrl::ScaledColumnWidth(-12, 3, "Expiry", {"X"}), std::nullopt) << "column 3 keeps its width";
    // Header estimates: m = F-3 for columns 0-3 with short names, F-6 for long names, else F-5.
    EXPECT_EQ(CMyGridCtrl::ScaledColumnWidth(-12, 0, "Symbol", {}), 6 * 10);
    EXPECT_EQ(CMyGridCtrl::ScaledColumnWidth(-12, 5, "Bid Prc", {}), 7 * 8);
    EXPECT_EQ(CMyGridCtrl::ScaledColumnWidth(-12, 5, "Last Traded", {}), 11 * 7);
    EXPECT_EQ(CMyGridCtrl::ScaledColumnWidth(-3, 5, "Bid Prc", {}), 0) << "a negative estimate is 0";
    // Row texts: column 0 at 15/16 characters, columns 4+ at 5/6 and 10/11.
    EXPECT_EQ(CMyGridCtrl::ScaledColumnWidth(-12, 0, "S", {QString(15, 'x')}), 15 * 9);
    EXPECT_EQ(CMyGridCtrl::ScaledColumnWidth(-12, 0, "S", {QString(16, 'x')}), 16 * 8);
    EXPECT_EQ(CMyGridCtrl::ScaledColumnWidth(-12, 6, "Q", {QString(5, '9')}), 5 * 10);
    EXPECT_EQ(CMyGridCtrl::ScaledColumnWidth(-12, 6, "Q", {QString(6, '9')}), 6 * 8);
    EXPECT_EQ(CMyGridCtrl::ScaledColumnWidth(-12, 6, "Q", {QString(10, '9')}), 10 * 8);
    EXPECT_EQ(CMyGridCtrl::ScaledColumnWidth(-12, 6, "Q", {QString(11, '9')}), 11 * 7);
    EXPECT_EQ(CMyGridCtrl::ScaledColumnWidth(-12, 6, "Q", {"1", QString(11, '9'), "22"}), 77) << "the widest row";

    g_AppSettings.grid_font.height = -12;
    CMyGridCtrl grid;
    grid.model().setColumns(tenColumns());
    grid.setColumnWidth(3, 123);
    const int r = grid.model().addRow();
    grid.model().setText(r, 1, QStringLiteral("ABCDEF"));
    grid.SetFontScaledColumnWidths(true);
    EXPECT_EQ(grid.columnWidth(1), 66);
    // The rule's 23 pixels would cut the header's text: the column takes the header's width.
    EXPECT_GT(grid.headerTextWidth(2), 23);
    EXPECT_EQ(grid.columnWidth(2), grid.headerTextWidth(2));
    EXPECT_EQ(grid.columnWidth(3), 123);
}

TEST_F(GridRulesTest, FrozenColumnsCannotBeHiddenOrMoved)
{
    CMyGridCtrl grid;
    grid.model().setColumns(tenColumns());
    grid.setFrozenColumns(2);
    EXPECT_FALSE(grid.CanHideColumn(1));
    EXPECT_FALSE(grid.setColumnHidden(1, true));
    EXPECT_FALSE(grid.isColumnHidden(1));
    EXPECT_TRUE(grid.setColumnHidden(5, true));
    EXPECT_FALSE(grid.moveColumn(0, 4)) << "a frozen column stays in front";
    EXPECT_EQ(grid.visualIndex(0), 0);
    EXPECT_FALSE(grid.moveColumn(6, 1)) << "nothing moves in front of a frozen column";
    EXPECT_EQ(grid.visualIndex(6), 6);
    EXPECT_TRUE(grid.moveColumn(6, 2));

    // The column chooser offers frozen columns disabled.
    prompter.queueMenuCommand(1);
    QMetaObject::invokeMethod(grid.tree()->header(), "customContextMenuRequested", Q_ARG(QPoint, QPoint(1, 1)));
    ASSERT_EQ(prompter.menus().size(), 1u);
    EXPECT_FALSE(prompter.menus()[0].items[0].enabled);
    EXPECT_FALSE(grid.isColumnHidden(0));
    prompter.queueMenuCommand(5);
    QMetaObject::invokeMethod(grid.tree()->header(), "customContextMenuRequested", Q_ARG(QPoint, QPoint(1, 1)));
    EXPECT_TRUE(grid.isColumnHidden(4));
}

TEST_F(GridRulesTest, NewsReportHidesTheColumnItGroupsBy)
{
    CAnnouNewsReportCtrl report;
    report.model().setColumns({"Date", "Exchange", "Subject"});
    report.SetGroupColumn(1);
    EXPECT_TRUE(report.isColumnHidden(1));
    report.SetGroupColumn(0);
    EXPECT_FALSE(report.isColumnHidden(1));
    EXPECT_TRUE(report.isColumnHidden(0));
    report.SetGroupColumn(-1);
    EXPECT_FALSE(report.isColumnHidden(0));
}

} // namespace
