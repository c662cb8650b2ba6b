#pragma once
// Selections of a grid as ranges of consecutive shown rows, and the text of a
// row's cells joined by ';' (the grid's copy of a cell range). Kept beside
// GridView rather than in it: they only read the view's selection and model.
#include <QString>

#include <vector>

namespace ui {

class GridView;

struct RowRange {
    int firstRowId = -1;
    int lastRowId = -1;
    int firstPosition = 0; // in the shown order, top to bottom
    int lastPosition = 0;
};

// The selected rows as ranges of consecutive shown rows, top to bottom.
std::vector<RowRange> selectedRanges(const GridView& view);
// The selection's count as the risk commands count it: the number of ranges
// plus the first range's last position minus its first (two ranges of two
// rows count 3).
int selectionCount(const std::vector<RowRange>& ranges);
// The selected row ids in the shown order.
std::vector<int> selectedRowIds(const GridView& view);
// The row's cells firstColumn..lastColumn joined by ';'.
QString rowRangeText(const GridView& view, int rowId, int firstColumn, int lastColumn);
// The row under the keyboard's current index, -1 when none.
int currentRowId(const GridView& view);
// Makes the row current and the only selected one.
void setCurrentRow(GridView& view, int rowId);

} // namespace ui
