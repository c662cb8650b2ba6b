#pragma once
// Sizing rules that keep a window's texts whole: the width a title needs in
// a window manager's title bar, and the pixels of the dialog units a control
// table is written in, taken from the font the dialog shows. UI thread only.
#include <QString>

class QFont;
class QHeaderView;
class QTreeView;
class QWidget;

namespace ui {

// Room a title bar takes beside its title: the window's icon, its three
// buttons and the margins.
inline constexpr int kTitleBarRoom = 120;

// The width a window needs for its title in a title bar (the application's
// font, bold as title bars draw it, with the bar's room); 0 for no title.
int titleBarWidth(const QString& title);

// Raises the window's minimum width to its title's need.
void keepTitleWhole(QWidget& window);

// Raises every shown section of a plain list's header (one that is not a
// GridView, which keeps its own rule) to the width its text needs where the
// style draws it.
void fitHeaderSections(QHeaderView& header);

// Sets a plain list's column to the width of its widest text (Qt measures at
// most its first thousand rows), never below `least` pixels.
void widenColumnToContents(QTreeView& view, int column, int least);

// Dialog units to pixels for a font: four units across its average
// character, eight down its line. The templates were drawn for a font whose
// average character is 6 pixels wide and 13 high; a wider or taller font
// gets wider or taller units, never smaller ones, so its texts stay whole.
struct DialogUnits {
    double x = 6;  // the average character's width: 4 units across
    double y = 13; // the line's height: 8 units down
};
DialogUnits dialogUnitsFor(const QFont& font);

} // namespace ui
