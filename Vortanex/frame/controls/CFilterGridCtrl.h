#pragma once
// A grid with a value filter per column chosen from a header menu (columns 0
// and 2). The menu never offers empty values or the " Grand Total" row, and a
// matched group row keeps the detail rows that follow it. Used by the
// holdings grid of the risk report.
#include "ui/grid_view.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

// One column's value filter: the applied one and the one the header menu edits.
struct FilterColumnInfo {
    int column = -1;       // -1 = no filter
    QString text;          // text filter, used when no value is checked
    bool allValues = true; // true = every value passes
    QStringList checkedValues;
    std::vector<int> numbers;
};

// The row data the owning view sets on the rows of a filter grid.
struct FilterRowData {
    static constexpr int kAlwaysShown = -1111;
    int groupKey = 0;
    QString names; // ','-separated names of the row
};

// What one filter pass remembers of the rows above: the group key of the last
// row whose column-0 text was among the checked values. A value, so it can
// never dangle when rows go away.
struct FilterPass {
    bool hasGroup = false;
    int groupKey = 0;
};

inline const QString kGrandTotalRow = QStringLiteral(" Grand Total");

// true = the row is hidden. Rows must be passed from top to bottom. The first
// form reads the row's FilterRowData from the model, the second is given it
// (null: the row has none).
bool FilterGridRowCallback(const ui::GridModel& model, int rowId, const FilterColumnInfo& filter, FilterPass& pass);
bool FilterGridRowCallback(const ui::GridModel& model, int rowId, const FilterRowData* data,
                           const FilterColumnInfo& filter, FilterPass& pass);

class CFilterGridCtrl : public ui::GridView {
    Q_OBJECT
public:
    explicit CFilterGridCtrl(QWidget* parent = nullptr);

    // The command the header menu posts when its owner takes the filter over.
    static constexpr int kApplyFilterCommand = 336;

    // Installs FilterGridRowCallback with this grid's applied filter.
    void EnableValueFilter();
    // Where the filter finds a row's group key and names when the owner keeps
    // its own row data (unset: the row's FilterRowData).
    using RowKeyReader = std::function<std::optional<FilterRowData>(int rowId)>;
    void SetRowKeyReader(RowKeyReader reader) { m_keyReader = std::move(reader); }
    // On: the header menu only fills the working filter and emits
    // filterCommand(kApplyFilterCommand); the owner applies it. Off (the
    // default): the grid applies the menu's choice itself.
    void SetFilterTakenOverByOwner(bool on) { m_ownerApplies = on; }
    void ApplyFilter(const FilterColumnInfo& filter);
    const FilterColumnInfo& AppliedFilter() const { return m_filter; }
    const FilterColumnInfo& WorkingFilter() const { return m_working; }
    int MenuColumn() const { return m_menuColumn; }

    // The values the header menu of a column offers: distinct, sorted, without
    // empty texts and " Grand Total".
    QStringList HeaderMenuValues(int column) const;

    int GetHeaderMenuButtonImageIndex(int column, bool sortMark) const;
    QString GetHeaderMenuButtonTooltip(int column) const { return headerMenuButtonTooltip(column); }
    void OnHeaderMenuButtonClick(int column) { onHeaderMenuButtonClick(column); }

signals:
    void filterCommand(int commandId);

protected:
    int headerMenuButtonImage(int column) const override { return GetHeaderMenuButtonImageIndex(column, true); }
    QString headerMenuButtonTooltip(int column) const override;
    void onHeaderMenuButtonClick(int column) override;
    void beginFilterPass() override { m_pass = FilterPass{}; }

private:
    FilterColumnInfo m_filter;
    FilterColumnInfo m_working;
    int m_menuColumn = -1;
    FilterPass m_pass;
    RowKeyReader m_keyReader;
    bool m_ownerApplies = false;
};
