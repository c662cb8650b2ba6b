// The list colour modes 1-8 as a table of cases, the blink colours, the
// message-bar list's colours, and the list sort rules on a live list.
#include "testkit/headless.h"

#include "frame/controls/CMyListCtrl.h"

#include <QTreeView>

namespace {

constexpr uint32_t D = ui::kDefaultColour;

ListColourContext context()
{
    ListColourContext c;
    c.normalText = 0x000001;
    c.upText = 0x000002;
    c.downText = 0x000003;
    c.normalBack = 0x000010;
    c.upBack = 0x00FF00;
    c.downBack = 0x0000FF;
    c.gainColour = 0x00AA00;
    c.lossColour = 0x0000AA;
    c.gainThreshold = 2.0;
    c.lossThreshold = -2.0;
    c.systemText = 0x000005;
    c.windowColour = 0xFFFFFE;
    c.oddBack = 0xEEEEEE;
    // Securities 0-9 exist: 0 fell, 1 unchanged, 2 and up rose.
    c.tickDirection = [](int, int security, int) -> std::optional<int> {
        if (security < 0 || security > 9)
            return std::nullopt;
        return security - 1;
    };
    // Segments 0-15.
    c.segmentColours = [](int segment) -> std::optional<std::pair<uint32_t, uint32_t>> {
        if (segment < 0 || segment > 15)
            return std::nullopt;
        return std::pair<uint32_t, uint32_t>{0x100000u + uint32_t(segment), 0x200000u + uint32_t(segment)};
    };
    // Index entries 0-2: down and a loss, up and a gain, unchanged and flat.
    c.indexCell = [](int index, int) -> std::optional<IndexCellState> {
        switch (index) {
        case 0:
            return IndexCellState{2, -5.0};
        case 1:
            return IndexCellState{3, 5.0};
        case 2:
            return IndexCellState{0, 0.0};
        default:
            return std::nullopt;
        }
    };
    return c;
}

ListRowData security(int index)
{
    ListRowData d;
    d.securityIndex = index;
    return d;
}
ListRowData segment(int index, char side = 0)
{
    ListRowData d;
    d.segmentIndex = index;
    d.side = side;
    return d;
}
ListRowData colours(size_t n)
{
    ListRowData d;
    for (size_t i = 0; i < n; ++i)
        d.colours.push_back(0x300000u + uint32_t(i));
    return d;
}
ListRowData indexEntry(int index)
{
    ListRowData d;
    d.indexIndex = index;
    return d;
}
ListRowData code(int value)
{
    ListRowData d;
    d.code = value;
    return d;
}

struct ColourCase {
    const char* name;
    int mode;
    std::optional<ListRowData> data;
    int row;
    int column;
    uint32_t text;
    uint32_t back;
};

class ListColourModes : public ::testing::TestWithParam<ColourCase> {};

TEST_P(ListColourModes, GiveTheTableColours)
{
    const ColourCase& c = GetParam();
    const ListColourContext ctx = context();
    const ListRowData* data = c.data ? &*c.data : nullptr;
    EXPECT_EQ(CMyListCtrl::TextColour(c.mode, data, c.row, c.column, ctx), c.text) << std::hex << "text";
    EXPECT_EQ(CMyListCtrl::BackColour(c.mode, data, c.row, c.column, ctx), c.back) << std::hex << "back";
}

INSTANTIATE_TEST_SUITE_P(
    ListColours, ListColourModes,
    ::testing::Values(ColourCase{"mode1_first_columns_plain", 1, security(2), 0, 3, D, 0x000010},
                      ColourCase{"mode1_fell", 1, security(0), 0, 5, 0x000003, 0x0000FF},
                      ColourCase{"mode1_unchanged", 1, security(1), 0, 5, 0x000001, 0x000010},
                      ColourCase{"mode1_rose", 1, security(2), 0, 5, 0x000002, 0x00FF00},
                      ColourCase{"mode1_security_minus_one", 1, security(-1), 0, 5, D, D},
                      ColourCase{"mode1_no_row_data", 1, std::nullopt, 0, 5, D, D},
                      ColourCase{"mode2_marker_99999_black_on_yellow", 2, segment(99999), 0, 2, 0x000000, 0xA2E7FF},
                      ColourCase{"mode2_marker_88888_system", 2, segment(88888), 0, 2, 0x000005, 0xFFFFFE},
                      ColourCase{"mode2_buy_in_price_column", 2, segment(3, 'B'), 0, 7, 0x000002, 0x00FF00},
                      ColourCase{"mode2_sell_in_qty_column", 2, segment(3, 'S'), 0, 8, 0x000003, 0x0000FF},
                      ColourCase{"mode2_sell_elsewhere", 2, segment(3, 'S'), 0, 2, 0x0000FF, 0x200003},
                      ColourCase{"mode2_segment_colours", 2, segment(3), 0, 1, 0x100003, 0x200003},
                      ColourCase{"mode2_segment_15_last", 2, segment(15), 0, 1, 0x10000F, 0x20000F},
                      ColourCase{"mode2_segment_16_out_of_range", 2, segment(16), 0, 1, D, D},
                      ColourCase{"mode2_segment_minus_one", 2, segment(-1), 0, 1, D, D},
                      ColourCase{"mode3_array", 3, colours(20), 0, 4, 0x300004, 0x30000E},
                      ColourCase{"mode3_column_9", 3, colours(20), 0, 9, 0x300009, 0x300013},
                      ColourCase{"mode3_column_10", 3, colours(20), 0, 10, D, D},
                      ColourCase{"mode3_short_array", 3, colours(5), 0, 4, D, D},
                      ColourCase{"mode4_row0_left", 4, std::nullopt, 0, 3, 0x000002, 0x00FF00},
                      ColourCase{"mode4_row0_right", 4, std::nullopt, 0, 4, 0x000002, 0x0000FF},
                      ColourCase{"mode4_row2_right", 4, std::nullopt, 2, 4, 0x000002, 0x0000FF + 1500},
                      ColourCase{"mode4_row2_left", 4, std::nullopt, 2, 0, 0x000002, 0x00FF00 - 1500},
                      ColourCase{"mode4_clamped_at_black", 4, std::nullopt, 100, 0, 0x000002, 0x000000},
                      ColourCase{"mode4_clamped_at_white", 4, std::nullopt, 30000, 5, 0x000002, 0xFFFFFF},
                      ColourCase{"mode5_first_columns_loss", 5, indexEntry(0), 0, 1, D, 0x0000AA},
                      ColourCase{"mode5_down_state", 5, indexEntry(0), 0, 4, 0x000003, 0x0000FF},
                      ColourCase{"mode5_up_state", 5, indexEntry(1), 0, 4, 0x000002, 0x00FF00},
                      ColourCase{"mode5_first_columns_gain", 5, indexEntry(1), 0, 2, D, 0x00AA00},
                      ColourCase{"mode5_flat", 5, indexEntry(2), 0, 4, 0x000001, D},
                      ColourCase{"mode5_out_of_range", 5, indexEntry(9), 0, 4, D, D},
                      ColourCase{"mode5_minus_one", 5, indexEntry(-1), 0, 4, D, D},
                      ColourCase{"mode6_code1", 6, code(1), 0, 0, 0x003200, 0xEEEEEE},
                      ColourCase{"mode6_code2", 6, code(2), 0, 0, 0x3C0080, 0xEEEEEE},
                      ColourCase{"mode6_code3", 6, code(3), 0, 0, 0x000000, 0xEEEEEE},
                      ColourCase{"mode6_code4", 6, code(4), 0, 0, 0xC80080, 0xEEEEEE},
                      ColourCase{"mode6_code100", 6, code(100), 0, 0, 0x00FF00, 0xEEEEEE},
                      ColourCase{"mode6_code200", 6, code(200), 0, 0, 0x0000FF, 0xEEEEEE},
                      ColourCase{"mode6_other_code", 6, code(5), 0, 0, D, 0xEEEEEE},
                      ColourCase{"mode7_marker_99999", 7, segment(99999), 0, 0, 0x000000, 0xA2E7FF},
                      ColourCase{"mode7_marker_88888", 7, segment(88888), 1, 0, 0x000005, 0xFFFFFE},
                      ColourCase{"mode7_even_row", 7, segment(1), 0, 0, 0x000005, 0x686767},
                      ColourCase{"mode7_odd_row", 7, segment(1), 1, 0, 0x000005, 0x5A5A5A},
                      ColourCase{"mode8_even_row", 8, std::nullopt, 2, 3, 0xFFFFFF, 0x686767},
                      ColourCase{"mode8_odd_row", 8, std::nullopt, 3, 3, 0xFFFFFF, 0x5A5A5A},
                      ColourCase{"mode0_default", 0, security(2), 0, 5, D, D},
                      ColourCase{"mode9_default", 9, security(2), 0, 5, D, D}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ListColours, BlinkColoursFollowTheProgramWideIndex)
{
    ListColourContext ctx = context();
    ctx.blinkOn = true;
    const uint32_t expected[] = {0xFFBBBB, 0xBBBBFF, 0xBBFFBB, 0x80FFFF, 0xFFBBBB, 0xFFBBBB};
    for (int i = 0; i < 6; ++i) {
        ctx.blinkIndex = i;
        EXPECT_EQ(CMyListCtrl::BackColour(6, nullptr, 0, 1, ctx), expected[i]) << i;
    }
    ctx.blinkIndex = 1;
    EXPECT_EQ(CMyListCtrl::BackColour(6, nullptr, 0, 0, ctx), 0xEEEEEEu) << "only column 1 blinks";
    EXPECT_EQ(CMyListCtrl::BackColour(6, nullptr, 1, 1, ctx), 0xEEEEEEu) << "row 1 only with the second flag";
    ctx.blinkTwoRows = true;
    EXPECT_EQ(CMyListCtrl::BackColour(6, nullptr, 1, 1, ctx), 0xBBBBFFu);
    EXPECT_EQ(CMyListCtrl::BackColour(6, nullptr, 2, 1, ctx), 0xEEEEEEu);
    ctx.blinkOn = false;
    EXPECT_EQ(CMyListCtrl::BackColour(6, nullptr, 0, 1, ctx), 0xEEEEEEu);
}

TEST(ListColours, ShiftStaysInsideTwentyFourBits)
{
    EXPECT_EQ(CMyListCtrl::ShiftColour(0x0000FF, 750), 0x0000FFu + 750) << "the carry runs into green, as the rule has it";
    EXPECT_EQ(CMyListCtrl::ShiftColour(0x000100, -750), 0u);
    EXPECT_EQ(CMyListCtrl::ShiftColour(0xFFFFF0, 750), 0xFFFFFFu);
    EXPECT_NE(CMyListCtrl::ShiftColour(0xFFFFFF, 0x7FFFFFFF), ui::kDefaultColour);
}

TEST(ListColours, MessageBarListHighlightsItsMarkedLines)
{
    const ListColourContext ctx = context();
    EXPECT_EQ(CMyNewListCtrl::TextColour(100, ctx), 0xFFFFFFu);
    EXPECT_EQ(CMyNewListCtrl::BackColour(100, ctx), 0xBB6511u);
    EXPECT_EQ(CMyNewListCtrl::TextColour(200, ctx), 0xFFFFFFu);
    EXPECT_EQ(CMyNewListCtrl::BackColour(200, ctx), 0x0000CDu);
    EXPECT_EQ(CMyNewListCtrl::TextColour(-1, ctx), 0x000005u);
    EXPECT_EQ(CMyNewListCtrl::BackColour(0, ctx), 0xFFFFFEu);
}

class ListCtrlTest : public testkit::Headless {};

TEST_F(ListCtrlTest, ColoursFollowTheShownPositionAndCellOverridesWin)
{
    CMyListCtrl list;
    list.model().setColumns({"Time", "Symbol", "Qty", "Price"});
    list.Context() = context();
    list.SetColourMode(8);
    std::vector<int> rows;
    for (const char* key : {"b", "B", "a"}) {
        const int r = list.model().addRow();
        list.model().setText(r, 0, QString::fromUtf8(key));
        list.model().setRowData(r, security(int(rows.size())));
        rows.push_back(r);
    }
    EXPECT_EQ(list.model().effectiveBackColour(rows[0], 0).bgr, 0x686767u);
    EXPECT_EQ(list.model().effectiveBackColour(rows[1], 0).bgr, 0x5A5A5Au);

    // Sort mode 0: a column click does nothing.
    list.OnColumnClick(0);
    EXPECT_EQ(list.sortColumn(), -1);

    // Sort mode 1: column 0 by display keys, byte-wise.
    const std::vector<QByteArray> keys = {"b", "B", "a"};
    ListSortSources sources;
    sources.displayKey = [&](int s) { return s >= 0 && size_t(s) < keys.size() ? keys[size_t(s)] : QByteArray(); };
    list.SetSortSources(sources);
    list.SetSortMode(1);
    list.OnColumnClick(0);
    EXPECT_EQ(list.shownRows(), (std::vector<int>{rows[1], rows[2], rows[0]}));
    EXPECT_EQ(list.model().effectiveBackColour(rows[1], 0).bgr, 0x686767u) << "now on top: the even colour";
    EXPECT_EQ(list.model().effectiveBackColour(rows[0], 0).bgr, 0x686767u);
    EXPECT_EQ(list.model().effectiveBackColour(rows[2], 0).bgr, 0x5A5A5Au);
    list.OnColumnClick(0);
    EXPECT_EQ(list.shownRows(), (std::vector<int>{rows[0], rows[2], rows[1]}));

    // Colour mode 1 ignores clicks on column 3.
    list.SetColourMode(1);
    list.OnColumnClick(3);
    EXPECT_EQ(list.sortColumn(), 0);

    list.SetItemTextWithColours(rows[2], 2, QStringLiteral("10"), 0x123456, 0x654321);
    EXPECT_EQ(list.model().effectiveTextColour(rows[2], 2).bgr, 0x123456u);
    EXPECT_EQ(list.model().effectiveBackColour(rows[2], 2).bgr, 0x654321u);
    EXPECT_EQ(list.model().text(rows[2], 2), QStringLiteral("10"));

    list.ResetSortState(4);
    EXPECT_EQ(list.ColourMode(), 4);
    EXPECT_EQ(list.SortMode(), 0);
}

TEST_F(ListCtrlTest, MessageBarListReadsIntRowData)
{
    CMyNewListCtrl list;
    list.model().setColumns({"Time", "Message"});
    const int marked = list.model().addRow();
    list.model().setRowData(marked, 200);
    const int plain = list.model().addRow();
    list.model().setRowData(plain, -1);
    EXPECT_EQ(list.model().effectiveBackColour(marked, 1).bgr, 0x0000CDu);
    EXPECT_EQ(list.model().effectiveTextColour(marked, 1).bgr, 0xFFFFFFu);
    EXPECT_EQ(list.ColourMode(), 6);
    list.ResetSortState(2);
    EXPECT_EQ(list.ColourMode(), 6);
}

} // namespace
