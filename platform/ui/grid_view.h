#pragma once
// The grid widget every grid control builds on: a tree view over a GridModel
// through a sorting and filtering proxy that asks this view's compare rule and
// row filter, with a filter bar under the header, frozen leading columns, a
// column chooser on the header's context menu, push-button cells, data icons,
// preview lines, a header of several text lines, a header menu button per
// column, copy to the clipboard and named saved layouts. UI thread only.
//
// Group rows (the model's own and the ones it makes for group columns) are
// drawn across the whole row; a group-by box above the header takes a header
// dragged into it as a new group column and ungroups a column dragged out of
// it. Which groups the user collapsed is kept by their keys, so it survives a
// refill and a regroup.
//
// Filtering runs as one pass over the rows from top to bottom, so a filter
// that depends on the rows above (a group row keeping its detail rows) sees
// them in order; sorting is explicit (a header click or sortRows()), so cell
// updates never reorder rows behind the user's back.
#include "ui/grid_layout_state.h"
#include "ui/grid_model.h"

#include <QIcon>
#include <QList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QLineEdit;
class QSortFilterProxyModel;
class QTreeView;

namespace pf {
class ProfileStore;
}

namespace ui {

namespace detail {
class GridProxy;
class GridTree;
class GridHeader;
class GridDelegate;
class GroupByBox;
class RowHeader;
} // namespace detail

class GridView : public QWidget {
    Q_OBJECT
public:
    explicit GridView(QWidget* parent = nullptr);
    ~GridView() override;

    GridModel& model() { return *m_model; }
    const GridModel& model() const { return *m_model; }
    QTreeView* tree() const;

    // Sorting. The compare rule includes the direction: rows are laid out so
    // that compareRows(a, b) < 0 puts a above b.
    int sortColumn() const { return m_sortColumn; }
    bool sortAscending() const { return m_ascending; }
    void setSortState(int column, bool ascending);
    void sortRows();
    // Simulates a click on a header section (what the header does).
    void clickHeader(int column);

    // Filtering. The row filter answers true to hide a row; the filter bar
    // hides a row when any column's rule does.
    using RowFilter = std::function<bool(int rowId)>;
    void setRowFilter(RowFilter filter);
    void setFilterBarVisible(bool on);
    bool filterBarVisible() const { return m_filterBarOn; }
    void setFilterBarText(int column, const QString& text); // refilters
    QString filterBarText(int column) const;
    // What an empty filter-bar cell shows (for example "<ALL>").
    void setFilterBarEmptyText(const QString& text);
    QString filterBarEmptyText() const { return m_filterEmptyText; }
    void refilter();
    bool isRowShown(int rowId) const; // by the last filter pass (a row under a hidden group is not shown either)
    // The shown rows in the order the view lists them (children after their group row).
    std::vector<int> shownRows() const;

    // Shows the rows of a model filled off the UI thread (GridModel::adoptRows)
    // in place of the grid's own, then runs one filter pass.
    bool takeRows(GridModel& built);

    // Columns.
    void setFrozenColumns(int count);
    int frozenColumns() const { return m_frozen; }
    bool setColumnHidden(int column, bool hidden); // false when the rule refuses
    bool isColumnHidden(int column) const;
    void setColumnWidth(int column, int width);
    int columnWidth(int column) const;
    // The narrowest a column gets: its header's text whole at the header's
    // font, with the sort mark's room. Every width, the owner's, a saved
    // layout's, an auto-size share or the user's drag, is raised to it; a
    // width of 0 (a column folded away) stays.
    int headerTextWidth(int column) const;
    // Each pass over the rows (a fill, a regroup, a filter, rows added) also raises a
    // column to the widest text of the first kMeasuredRows shown rows, at the
    // cell's font, with the cell's margins and, in the first column, the
    // rows' indentation; auto-size shares keep it too. A later drag may
    // narrow a column again down to its header.
    static constexpr int kMeasuredRows = 200;
    bool moveColumn(int column, int toVisual); // false for frozen columns
    int visualIndex(int column) const;
    // The column chooser ("Select Columns"): a check list of the columns that
    // may be hidden (never a frozen one), shown under the header.
    void showColumnChooser();
    std::vector<int> columnChooserColumns() const;
    // Columns share the grid's width in proportion to their set widths, on
    // every resize.
    void setColumnAutoSize(bool on);
    bool columnAutoSize() const { return m_autoSize; }

    // Grouping by columns (outer level first), as the group-by box shows it.
    void setGroupColumns(std::vector<int> columns);
    std::vector<int> groupColumns() const;
    // What a header dropped on the box does (position -1 = last level), and
    // what dragging a column out of the box does.
    void groupByColumn(int column, int position = -1);
    void ungroupColumn(int column);
    void setGroupByBoxVisible(bool on);
    bool groupByBoxVisible() const;
    QWidget* groupByBox() const;
    // "Security: ABC (3)" for a group row the model made, the first cell's
    // text for the owner's group rows.
    QString groupCaption(int rowId) const;
    bool isGroupExpanded(int rowId) const;
    // True while a large grouping's groups are still being opened, slice by
    // slice (expansionSettled() follows the last); false for a few groups,
    // which open at once.
    bool isSettling() const { return m_settling; }
    void setGroupExpanded(int rowId, bool expanded);
    // The area a merged cell covers in the viewport (the cell's own rectangle
    // when its partners are not next to it); invalid when not merged or not shown.
    QRect mergedCellRect(int rowId, int column) const;

    // A row header of that width left of the rows (0, the default: none): a
    // section beside every shown row, the current row marked with an arrow,
    // selected rows drawn pressed; a click selects the row, Shift extends
    // from the current row, Ctrl toggles.
    void setRowHeaderWidth(int width);
    int rowHeaderWidth() const { return m_rowHeaderWidth; }
    QWidget* rowHeader() const; // null when the grid has none
    // The row beside y in the row header's coordinates (-1: none), and a
    // click there (what the mouse does).
    int rowHeaderRowAt(int y) const;
    void clickRowHeader(int y, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    // Look.
    void setHeaderLineCount(int lines);
    int headerLineCount() const { return m_headerLines; }
    void setDataIcons(const QList<QIcon>& icons);
    void setPreviewShown(bool on);
    bool previewShown() const { return m_previewShown; }
    void setDefaultColours(Rgb text, Rgb back);
    // "Expand All" / "Collapse All": every group row.
    void expandAll(bool expand);
    void setGridFont(const QFont& font);

    // Layout by name in a profile store (the default store when none is given).
    GridLayoutState captureLayout() const;
    bool applyLayout(const GridLayoutState& state);
    bool saveLayout(const std::string& name, pf::ProfileStore* store = nullptr) const;
    bool loadLayout(const std::string& name, pf::ProfileStore* store = nullptr);

    // Copies the selected rows (shown columns in view order, tab-separated) to
    // the clipboard; returns the text.
    QString copySelection(bool withHeader = false);
    void selectRow(int rowId, bool add = false);

    // Pressing a button cell: a click (byKey false) or Space/Enter (byKey true).
    void pressButton(int rowId, int column, bool byKey);

signals:
    // A push-button cell was pressed: by a click the command goes to the
    // grid's parent, by Space/Enter to the grid itself.
    void commandToParent(int commandId, int rowId);
    void commandToGrid(int commandId, int rowId);
    void headerClicked(int column);
    // The last slice of a sliced expansion is done (see isSettling()).
    void expansionSettled();

protected:
    // The direction-aware compare rule: < 0 when a goes above b. The default
    // compares numbers as numbers and other texts as text.
    virtual int compareRows(int rowA, int rowB, int column) const;
    // Records a header click; the default flips the direction on the same
    // column and sorts a new column ascending.
    virtual void onHeaderColumnClick(int column);
    // The filter-bar rule for one column (true hides); the default hides rows
    // whose text does not contain the filter, regardless of case.
    virtual bool isRowHiddenByFilterBar(int rowId, int column, const QString& filter) const;
    // Called before each filter pass, so a filter that remembers rows above
    // starts fresh.
    virtual void beginFilterPass() {}
    virtual bool canHideColumn(int column) const;
    virtual bool canMoveColumn(int column) const;
    // Header menu buttons: image index (-1 = no button) and the click.
    virtual int headerMenuButtonImage(int column) const;
    virtual QString headerMenuButtonTooltip(int column) const;
    virtual void onHeaderMenuButtonClick(int column);

    int m_sortColumn = -1;
    bool m_ascending = true;

private:
    friend class detail::GridProxy;
    friend class detail::GridTree;
    friend class detail::GridHeader;
    friend class detail::GridDelegate;
    friend class detail::GroupByBox;
    friend class detail::RowHeader;

    bool hiddenByFilterBar(int rowId) const;
    void layoutFilterBar();
    void onSectionMoved(int logical, int oldVisual, int newVisual);
    void showColumnChooser(const QPoint& pos);
    void pickColumns(const QPoint& pos, bool listFrozen);
    void onRegrouped();
    void restoreExpansion();
    void collapseUserClosed(const std::vector<int>& groups); // of these, the ones the user closed
    void expandSlice(uint64_t generation);
    void nextExpandSlice();
    void settleExpansion();
    QString groupKey(int rowId) const;
    void applyAutoSize();
    void fitHeaderTexts(); // raises every column below its header's text
    void fitCellTexts();   // raises every column below its shown cells' texts
    int cellNeed(int column) const;
    void captureAutoSizeBase();
    // The preview line under a row: its text when shown, and its height,
    // which every column adds to the row's own line.
    QString shownPreview(const QModelIndex& index) const;
    int previewLineHeight() const;

    GridModel* m_model;
    detail::GridProxy* m_proxy;
    detail::GridTree* m_tree;
    detail::GridHeader* m_header;
    detail::GridDelegate* m_delegate;
    QWidget* m_filterBar;
    std::vector<QLineEdit*> m_filterEdits;
    std::vector<QString> m_filterTexts;
    bool m_filterBarOn = false;
    RowFilter m_rowFilter;
    std::vector<char> m_hidden; // by row id, from the last pass
    int m_frozen = 0;
    int m_headerLines = 1;
    bool m_revertingMove = false;
    QList<QIcon> m_icons;
    bool m_previewShown = false;
    QString m_filterEmptyText;
    detail::GroupByBox* m_groupBox = nullptr;
    detail::RowHeader* m_rowHeader = nullptr;
    int m_rowHeaderWidth = 0;
    std::set<QString> m_collapsed; // keys of the groups the user collapsed
    bool m_restoringExpansion = false;
    // Groups beyond this many are opened in slices of this many nanoseconds.
    static constexpr size_t kGroupsOpenedAtOnce = 500;
    static constexpr qint64 kExpandSliceNs = 8'000'000;
    std::vector<int> m_toExpand; // the groups of a sliced expansion, top down
    size_t m_expandAt = 0;
    uint64_t m_expandGeneration = 0;
    bool m_settling = false;
    bool m_refiltering = false;
    bool m_suppressHeaderClick = false; // a header drag that ended in the group-by box
    bool m_autoSize = false;
    bool m_applyingAutoSize = false;
    bool m_fittingHeaders = false;
    std::vector<int> m_cellNeed; // by column: the widest shown cell measured at the last fill
    bool m_cellFitPending = false;
    std::vector<int> m_autoSizeBase; // the widths the shares are taken from
};

} // namespace ui
