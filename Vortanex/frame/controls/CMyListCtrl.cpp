#include "frame/controls/CMyListCtrl.h"

#include "app/base/AppSettings.h"

#include <QFont>
#include <QTreeView>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kDefault = ui::kDefaultColour;
constexpr uint32_t kLightYellow = 0xA2E7FF;
constexpr uint32_t kDarkEven = 0x686767;
constexpr uint32_t kDarkOdd = 0x5A5A5A;
constexpr uint32_t kBlinkColours[4] = {0xFFBBBB, 0xBBBBFF, 0xBBFFBB, 0x80FFFF};

int compareSign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

} // namespace

void ListColourContext::TakeSettings(const AppSettings& s)
{
    normalText = s.normal_text_colour;
    upText = s.up_text_colour;
    downText = s.down_text_colour;
    normalBack = s.normal_back_colour;
    upBack = s.up_back_colour;
    downBack = s.down_back_colour;
    gainColour = s.gain_colour;
    lossColour = s.loss_colour;
    gainThreshold = s.gain_threshold;
    lossThreshold = s.loss_threshold;
}

CMyListCtrl::CMyListCtrl(QWidget* parent) : ui::ListTable(parent)
{
    m_ctx.TakeSettings(g_AppSettings);
    ApplyFont();
    ContextChanged();
}

uint32_t CMyListCtrl::ShiftColour(uint32_t base, long long delta)
{
    // The colour is shifted as one number, so a carry runs into the next
    // channel; it is kept inside 24 bits so it never becomes a negative value
    // or the "default" sentinel.
    const long long v = (long long)(base & 0xFFFFFF) + delta;
    return uint32_t(std::clamp(v, 0LL, 0xFFFFFFLL));
}

uint32_t CMyListCtrl::TextColour(int mode, const ListRowData* data, int /*row*/, int column,
                                 const ListColourContext& ctx)
{
    switch (mode) {
    case 1: {
        if (column <= 3 || !data || !ctx.tickDirection)
            return kDefault;
        const std::optional<int> tick = ctx.tickDirection(ctx.watchIndex, data->securityIndex, column);
        if (!tick)
            return kDefault;
        return *tick < 0 ? ctx.downText : (*tick > 0 ? ctx.upText : ctx.normalText);
    }
    case 2: {
        if (!data)
            return kDefault;
        if (data->segmentIndex == ListRowData::kBlackRow)
            return 0x000000;
        if (data->segmentIndex == ListRowData::kSystemRow)
            return ctx.systemText;
        if (column == 7 || column == 8) {
            if (data->side == 'B')
                return ctx.upText;
            if (data->side == 'S')
                return ctx.downText;
        } else {
            if (data->side == 'B')
                return ctx.upBack;
            if (data->side == 'S')
                return ctx.downBack;
        }
        if (ctx.segmentColours)
            if (const auto seg = ctx.segmentColours(data->segmentIndex))
                return seg->first;
        return kDefault;
    }
    case 3:
        if (data && column >= 0 && column <= 9 && data->colours.size() >= 20)
            return data->colours[size_t(column)];
        return kDefault;
    case 4:
        return ctx.upText;
    case 5: {
        if (column < 3 || !data || !ctx.indexCell)
            return kDefault;
        const std::optional<IndexCellState> cell = ctx.indexCell(data->indexIndex, column);
        if (!cell)
            return kDefault;
        return cell->state == 2 ? ctx.downText : (cell->state == 3 ? ctx.upText : ctx.normalText);
    }
    case 6:
        if (!data)
            return kDefault;
        switch (data->code) {
        case 1:
            return 0x003200;
        case 2:
            return 0x3C0080;
        case 3:
            return 0x000000;
        case 4:
            return 0xC80080;
        case 100:
            return ctx.upBack;
        case 200:
            return ctx.downBack;
        default:
            return kDefault;
        }
    case 7:
        return data && data->segmentIndex == ListRowData::kBlackRow ? 0x000000 : ctx.systemText;
    case 8:
        // The dark theme's grey rows: the system's black text reads at 3.7:1
        // on them, white at 5.6:1 and more.
        return 0xFFFFFF;
    default:
        return kDefault;
    }
}

uint32_t CMyListCtrl::BackColour(int mode, const ListRowData* data, int row, int column, const ListColourContext& ctx)
{
    switch (mode) {
    case 1: {
        if (column <= 3)
            return ctx.normalBack;
        if (!data || !ctx.tickDirection)
            return kDefault;
        const std::optional<int> tick = ctx.tickDirection(ctx.watchIndex, data->securityIndex, column);
        if (!tick)
            return kDefault;
        return *tick < 0 ? ctx.downBack : (*tick > 0 ? ctx.upBack : ctx.normalBack);
    }
    case 2: {
        if (!data)
            return kDefault;
        if (data->segmentIndex == ListRowData::kBlackRow)
            return kLightYellow;
        if (data->segmentIndex == ListRowData::kSystemRow)
            return ctx.windowColour;
        if ((column == 7 || column == 8) && (data->side == 'B' || data->side == 'S'))
            return data->side == 'B' ? ctx.upBack : ctx.downBack;
        if (ctx.segmentColours)
            if (const auto seg = ctx.segmentColours(data->segmentIndex))
                return seg->second;
        return kDefault;
    }
    case 3:
        if (data && column >= 0 && column <= 9 && data->colours.size() >= 20)
            return data->colours[size_t(column) + 10];
        return kDefault;
    case 4:
        if (column > 3)
            return ShiftColour(ctx.downBack, 750LL * row);
        return ShiftColour(ctx.upBack, -750LL * row);
    case 5: {
        if (!data || !ctx.indexCell)
            return kDefault;
        const std::optional<IndexCellState> cell = ctx.indexCell(data->indexIndex, column);
        if (!cell)
            return kDefault;
        uint32_t c = kDefault;
        if (cell->seventhValue <= ctx.lossThreshold)
            c = ctx.lossColour;
        else if (cell->seventhValue >= ctx.gainThreshold)
            c = ctx.gainColour;
        if (column >= 3) {
            if (cell->state == 2)
                c = ctx.downBack;
            else if (cell->state == 3)
                c = ctx.upBack;
        }
        return c;
    }
    case 6: {
        const bool blinkRow = row == 0 || (row == 1 && ctx.blinkTwoRows);
        if (ctx.blinkOn && column == 1 && blinkRow) {
            const int i = (ctx.blinkIndex >= 0 && ctx.blinkIndex < 4) ? ctx.blinkIndex : 0;
            return kBlinkColours[i];
        }
        return ctx.oddBack;
    }
    case 7:
        if (data && data->segmentIndex == ListRowData::kBlackRow)
            return kLightYellow;
        if (data && data->segmentIndex == ListRowData::kSystemRow)
            return ctx.windowColour;
        return row % 2 == 0 ? kDarkEven : kDarkOdd;
    case 8:
        return row % 2 == 0 ? kDarkEven : kDarkOdd;
    default:
        return kDefault;
    }
}

void CMyListCtrl::ApplyFont()
{
    const LogFontRecord& lf = g_AppSettings.grid_font;
    QFont font(QString::fromLatin1(lf.face_name, qsizetype(strnlen(lf.face_name, sizeof lf.face_name))));
    if (lf.height != 0)
        font.setPixelSize(std::abs(lf.height));
    font.setWeight(lf.weight >= 600 ? QFont::Bold : QFont::Normal);
    font.setItalic(lf.italic != 0);
    setGridFont(font);
    if (m_colourMode == 7) {
        m_ctx.evenBack = kDarkEven;
        m_ctx.oddBack = kDarkOdd;
    } else {
        m_ctx.evenBack = 0xFFFFFF;
        m_ctx.oddBack = 0xF0F0F0;
    }
    ContextChanged();
}

void CMyListCtrl::ContextChanged()
{
    setRowBackColours(ui::Rgb{m_ctx.evenBack}, ui::Rgb{m_ctx.oddBack});
    setColourRule([this](int rowId, int position, int column, bool back) {
        return ui::Rgb{CellColour(rowId, position, column, back)};
    });
}

uint32_t CMyListCtrl::CellColour(int rowId, int position, int column, bool back) const
{
    const ListRowData* data = model().rowDataAs<ListRowData>(rowId);
    return back ? BackColour(m_colourMode, data, position, column, m_ctx)
                : TextColour(m_colourMode, data, position, column, m_ctx);
}

void CMyListCtrl::SetColourMode(int mode)
{
    m_colourMode = mode;
    model().touchAll();
}

void CMyListCtrl::SetWatchIndex(int index)
{
    m_ctx.watchIndex = index;
    model().touchAll();
}

void CMyListCtrl::ResetSortState(int mode)
{
    m_colourMode = mode;
    m_ctx.watchIndex = 0;
    m_sortMode = 0;
    model().touchAll();
}

void CMyListCtrl::SetItemTextWithColours(int rowId, int column, const QString& text, uint32_t textColour,
                                         uint32_t backColour)
{
    model().setTextColour(rowId, column, ui::Rgb{textColour});
    model().setBackColour(rowId, column, ui::Rgb{backColour});
    model().setText(rowId, column, text);
}

void CMyListCtrl::onHeaderColumnClick(int column)
{
    if (m_sortMode == 0)
        return;
    if (m_colourMode == 1 && column == 3)
        return;
    ui::ListTable::onHeaderColumnClick(column);
}

int CMyListCtrl::compareRows(int rowA, int rowB, int column) const
{
    if (m_sortMode != 1)
        return 0; // other sort modes leave the order as it is
    const ListRowData* a = model().rowDataAs<ListRowData>(rowA);
    const ListRowData* b = model().rowDataAs<ListRowData>(rowB);
    if (!a || !b)
        return 0;
    int r = 0;
    if (column == 0 || column == 1) {
        const auto& key = column == 0 ? m_sortSources.displayKey : m_sortSources.exchangeCode;
        if (!key)
            return 0;
        r = compareSign(key(a->securityIndex).compare(key(b->securityIndex)));
    } else {
        if (!m_sortSources.quoteValue)
            return 0;
        const std::optional<double> x = m_sortSources.quoteValue(m_ctx.watchIndex, a->securityIndex, column);
        const std::optional<double> y = m_sortSources.quoteValue(m_ctx.watchIndex, b->securityIndex, column);
        if (!x || !y)
            return 0;
        r = *x < *y ? -1 : (*x > *y ? 1 : 0);
    }
    return m_ascending ? r : -r;
}

CMyNewListCtrl::CMyNewListCtrl(QWidget* parent) : CMyListCtrl(parent) { m_colourMode = 6; }

uint32_t CMyNewListCtrl::CellColour(int rowId, int, int, bool back) const
{
    const int* code = model().rowDataAs<int>(rowId);
    const int value = code ? *code : -1;
    return back ? BackColour(value, m_ctx) : TextColour(value, m_ctx);
}

uint32_t CMyNewListCtrl::TextColour(int rowData, const ListColourContext& ctx)
{
    return rowData == 100 || rowData == 200 ? 0xFFFFFF : ctx.systemText;
}

uint32_t CMyNewListCtrl::BackColour(int rowData, const ListColourContext& ctx)
{
    if (rowData == 100)
        return 0xBB6511;
    if (rowData == 200)
        return 0x0000CD;
    return ctx.windowColour;
}

void CMyNewListCtrl::ResetSortState(int /*mode*/)
{
    // This list keeps its own colours; a reset returns it to mode 6.
    m_colourMode = 6;
    m_ctx.watchIndex = 0;
    m_sortMode = 0;
    model().touchAll();
}
