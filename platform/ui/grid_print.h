#pragma once
// Printing what a window shows: a grid as a table laid out on pages, any
// other widget as a picture of itself. UI thread only.
//
// A grid prints its shown rows in the order the view lists them (a collapsed
// group's rows stay out) and its visible columns (not those folded to no
// width) in the order the header shows them, at the widths the header gives
// them. The printer's page range and copies are honoured (a range counts
// the document's pages from 1; the pages keep their numbers). Every page carries the
// title and the column headers; a group row prints its caption across the
// row. Columns that do not fit the page's width go on further pages, a band
// of columns at a time: the pages run down the rows of the first band, then
// down the rows of the next.
#include <QString>

class QPrinter;
class QWidget;

namespace ui {

class GridView;

// Prints on the printer, which holds the page (size, orientation, margins);
// returns the number of pages printed, 0 when the printer could not start or
// the page range holds no page.
int printGrid(const GridView& grid, const QString& title, QPrinter& printer);
// How many pages printGrid would print on this page, without printing.
int gridPageCount(const GridView& grid, const QString& title, QPrinter& printer);
// Prints the widget as it looks, scaled to fit one page under the title;
// returns the pages printed (one a copy), 0 when the printer could not start
// or the page range holds no page.
int printWidget(QWidget& widget, const QString& title, QPrinter& printer);

} // namespace ui
