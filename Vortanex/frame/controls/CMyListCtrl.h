#pragma once
// The program's list views: the program font, alternating row colours and
// each cell's text and back colour chosen by a colour mode (1-8) from the
// row's data and the tick colours of the settings; optional security sort.
#include "ui/list_table.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

struct AppSettings;

// The row data of a list row, set by the owning view; each mode reads its own
// fields. Indices are checked against their tables before any use.
struct ListRowData {
    static constexpr int kBlackRow = 99999;  // modes 2 and 7: black on light yellow
    static constexpr int kSystemRow = 88888; // modes 2 and 7: system colours
    int securityIndex = -1;                  // mode 1 and the security sort
    int segmentIndex = -1;                   // modes 2 and 7 (segment, or a marker above)
    char side = 0;                           // mode 2: 'B' or 'S'
    std::vector<uint32_t> colours;           // mode 3: 10 text colours then 10 back colours
    int indexIndex = -1;                     // mode 5: entry of the index table
    int code = 0;                            // mode 6
};

// One index-table cell as mode 5 reads it.
struct IndexCellState {
    int state = 0;             // 2 = down, 3 = up
    double seventhValue = 0.0; // the entry's seventh value (net change %)
};

// The colours and outside tables the colour modes read.
struct ListColourContext {
    uint32_t normalText = 0x000000, upText = 0xFF0000, downText = 0x0000FF;
    uint32_t normalBack = 0xFFFFFF, upBack = 0xFF8000, downBack = 0x0000FF;
    uint32_t gainColour = 0x00FF00, lossColour = 0x0000FF;
    double gainThreshold = 0.0, lossThreshold = 0.0;
    uint32_t systemText = 0x000000;
    uint32_t windowColour = 0xFFFFFF;
    uint32_t evenBack = 0xFFFFFF;
    uint32_t oddBack = 0xF0F0F0;
    int watchIndex = 0;
    bool blinkOn = false;      // first blink flag of mode 6
    bool blinkTwoRows = false; // second blink flag
    int blinkIndex = 0;        // program-wide blink index

    // Mode 1: tick direction (<0 down, 0 none, >0 up) of the quote value that
    // column c of the watch list shows; nullopt when the indices are out of range.
    std::function<std::optional<int>(int watchIndex, int securityIndex, int column)> tickDirection;
    // Mode 2: the segment's text and back colour; nullopt out of range.
    std::function<std::optional<std::pair<uint32_t, uint32_t>>(int segmentIndex)> segmentColours;
    // Mode 5: the index entry's cell; nullopt out of range.
    std::function<std::optional<IndexCellState>(int indexIndex, int column)> indexCell;

    // The tick, gain and loss colours of the settings.
    void TakeSettings(const AppSettings& s);
};

// What the security sort reads; each nullopt/empty when out of range.
struct ListSortSources {
    std::function<QByteArray(int securityIndex)> displayKey;
    std::function<QByteArray(int securityIndex)> exchangeCode;
    std::function<std::optional<double>(int watchIndex, int securityIndex, int column)> quoteValue;
};

class CMyListCtrl : public ui::ListTable {
    Q_OBJECT
public:
    explicit CMyListCtrl(QWidget* parent = nullptr);

    // The colour rules, usable without a widget: 0xFF000000 = the list's default.
    static uint32_t TextColour(int mode, const ListRowData* data, int row, int column, const ListColourContext& ctx);
    static uint32_t BackColour(int mode, const ListRowData* data, int row, int column, const ListColourContext& ctx);
    // Mode 4's back colour shift: base + delta in 24 bits (clamped, never the
    // default sentinel or a negative value).
    static uint32_t ShiftColour(uint32_t base, long long delta);

    void ApplyFont();
    virtual void ResetSortState(int mode);
    // Sets the cell's own text and back colour, then its text.
    virtual void SetItemTextWithColours(int rowId, int column, const QString& text, uint32_t textColour,
                                        uint32_t backColour);

    int ColourMode() const { return m_colourMode; }
    void SetColourMode(int mode);
    int SortMode() const { return m_sortMode; }
    void SetSortMode(int mode) { m_sortMode = mode; }
    void SetWatchIndex(int index);
    ListColourContext& Context() { return m_ctx; }
    void ContextChanged();
    void SetSortSources(ListSortSources sources) { m_sortSources = std::move(sources); }

    // The column click (reflected header click).
    void OnColumnClick(int column) { clickHeader(column); }
    int CompareItems(int rowA, int rowB, int column) const { return compareRows(rowA, rowB, column); }

protected:
    // The colour a cell shows by this list's rules (0xFF000000 = default).
    virtual uint32_t CellColour(int rowId, int position, int column, bool back) const;
    void onHeaderColumnClick(int column) override;
    int compareRows(int rowA, int rowB, int column) const override;

    int m_colourMode = 0;
    int m_sortMode = 0;
    ListColourContext m_ctx;
    ListSortSources m_sortSources;
};

// The message bar's lists: row data 100 and 200 mark highlighted lines.
class CMyNewListCtrl : public CMyListCtrl {
    Q_OBJECT
public:
    explicit CMyNewListCtrl(QWidget* parent = nullptr);
    static uint32_t TextColour(int rowData, const ListColourContext& ctx);
    static uint32_t BackColour(int rowData, const ListColourContext& ctx);
    void ResetSortState(int mode) override;

protected:
    uint32_t CellColour(int rowId, int position, int column, bool back) const override;
};
