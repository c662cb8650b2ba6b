#pragma once
// The grid commands the book and report views share: "Select Columns" opens
// the grid's column chooser, "Expand All" and "Collapse All" act on every
// group row. A view registers them with its own command table.
namespace ui {
class Commands;
class GridView;
} // namespace ui

namespace GridCommands {

constexpr int kSelectColumns = 32940;      // order and trailing books
constexpr int kSelectTradeColumns = 32941; // trade book
constexpr int kExpandAll = 32942;
constexpr int kCollapseAll = 32943;

// Adds the column chooser under selectColumnsId, and Expand All and Collapse
// All; the grid must outlive the command table.
void Register(ui::Commands& commands, ui::GridView& grid, int selectColumnsId);

} // namespace GridCommands
