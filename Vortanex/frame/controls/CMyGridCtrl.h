#pragma once
// The program's grid: a compare rule with numeric columns, the filter-bar
// matching language, column widths scaled to the program font, frozen
// columns that cannot be moved or hidden, data-icon sets and a saved state by
// section name. The market watch and the index view build on it.
#include "ui/grid_view.h"

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// The order-record compare of mode 1 reads three double fields of the active
// client's orders through this reader: (record index, column 3/7/8) -> value,
// nullopt when the index lies outside the store (such rows compare equal).
using OrderFieldReader = std::function<std::optional<double>(int recordIndex, int column)>;

class CMyGridCtrl : public ui::GridView {
    Q_OBJECT
public:
    explicit CMyGridCtrl(QWidget* parent = nullptr);
    ~CMyGridCtrl() override;

    // Stores the section name and loads the saved layout of that name.
    bool LoadGridState(const std::string& section);
    // Saves under the stored section name (nothing without one).
    bool SaveGridState();
    const std::string& StateSection() const { return m_stateSection; }

    void SetFontScaledColumnWidths(bool on);
    bool FontScaledColumnWidths() const { return m_fontScaledWidths; }
    // 0-2 load a built-in icon set, -1 removes it, other values are only stored.
    void SetDataIconSet(int set, int value);
    int DataIconSet() const { return m_dataIconSet; }

    // 0 = program rule, 1 = order-record rule, other = the grid's own rule.
    void SetCompareMode(short mode) { m_compareMode = mode; }
    short CompareMode() const { return m_compareMode; }
    void SetOrderFieldReader(OrderFieldReader reader) { m_orderFields = std::move(reader); }
    short HeaderClickValue() const { return m_headerClickValue; }
    void SetHeaderClickValue(short v) { m_headerClickValue = v; }

    // The rules, usable without a widget.
    // Mode 0: columns 0-3 byte-wise text, 4 and up as numbers; direction applied.
    static int CompareTexts(const QString& a, const QString& b, int column, bool ascending);
    // Filter bar, column 0: true hides the row.
    static bool TextFilterHides(const QString& cellText, const QString& filter);
    // Filter bar, columns 6-9: true hides the row.
    static bool NumberFilterHides(const QVariant& cellValue, const QString& filter);
    // Font-scaled width of a column; nullopt for column 3 (its width stays).
    static std::optional<int> ScaledColumnWidth(int fontHeight, int column, const QString& name,
                                                const std::vector<QString>& cellTexts);

    // Public for the owning views; the header calls them too.
    void OnHeaderColumnClick(int column) { onHeaderColumnClick(column); }
    int CompareItems(int rowA, int rowB, int column) const { return compareRows(rowA, rowB, column); }
    bool IsItemFilteredByFilterBar(int rowId, int column, const QString& filter) const
    {
        return isRowHiddenByFilterBar(rowId, column, filter);
    }
    bool CanHideColumn(int column) const { return canHideColumn(column); }

protected:
    int compareRows(int rowA, int rowB, int column) const override;
    void onHeaderColumnClick(int column) override;
    bool isRowHiddenByFilterBar(int rowId, int column, const QString& filter) const override;
    void applyScaledWidths();

private:
    bool m_fontScaledWidths = true;
    short m_headerClickValue = 0;
    short m_compareMode = 0;
    std::string m_stateSection;
    int m_dataIconSet = -1;
    OrderFieldReader m_orderFields;
};

// The shared rules of the program's grids (also used by the report grid).
namespace GridRules {
// Mode 1: the order-record index a row stands for, -1 when it has none.
int OrderRecordIndex(const ui::GridModel& model, int rowId);
int CompareOrderRecords(const OrderFieldReader& reader, int indexA, int indexB, int column, bool ascending,
                        bool* handled);
bool FilterBarHides(const ui::GridModel& model, int rowId, int column, const QString& filter, bool* handled);
} // namespace GridRules
