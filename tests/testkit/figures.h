#pragma once
// Checks of the figures a grid shows: a money cell has its instrument's
// decimals (two, four for a currency), a total two unless every row it adds
// is a currency, and never a raw double or "-0.00".
#include <string>
#include <vector>

namespace ui {
class GridView;
}

namespace testkit {

// The money cells of the grid that show other decimals than their
// instrument's, as readable lines. A money column is one where some cell
// shows a decimal point; columns whose header names a rate, a multiplier or
// a percentage are left out (they have decimals of their own). A row is a
// currency's when one of its cells names a currency exchange; a row whose
// first cell says "Total" adds the rows around it.
std::vector<std::string> wrongDecimals(const ui::GridView& grid);
// The same for a grid of one security (its depth, its history): every money
// cell wants `decimals`.
std::vector<std::string> wrongDecimals(const ui::GridView& grid, int decimals);

} // namespace testkit
