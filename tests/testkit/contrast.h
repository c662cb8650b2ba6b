#pragma once
// Readability checks for windows: the contrast ratio of two colours (the
// relative-luminance ratio of the accessibility guidelines, 1 to 21) and the
// colour pair each text cell of a grid is painted with.
#include <QColor>
#include <QString>

#include <string>
#include <vector>

namespace ui {
class GridView;
}

namespace testkit {

// Text that reads in normal sizes needs at least this ratio.
inline constexpr double kMinContrast = 4.5;

double contrastRatio(const QColor& a, const QColor& b);

struct CellColours {
    int rowId = -1;
    int column = -1;
    QString text;
    QColor fore, back;
    double ratio = 0;
};

// Every shown cell with text, unselected, in the colours the grid paints it:
// its own colour, else the grid's colour rule, else the view's palette.
std::vector<CellColours> cellColours(const ui::GridView& grid);

// The cells of cellColours below the ratio, as readable lines for a failure.
std::vector<std::string> unreadableCells(const ui::GridView& grid, double minimum = kMinContrast);

} // namespace testkit

class QWidget;

namespace testkit {

// The shown labels of a window with text below the ratio against the
// window's background, as readable lines.
std::vector<std::string> unreadableLabels(QWidget& window, double minimum = kMinContrast);

} // namespace testkit

namespace testkit {

// The shown labels and push buttons of a window whose text does not fit
// their width at their font (the user would see it cut), and the labels whose
// text, where its alignment puts it, runs into a shown control beside it
// (a label drawn wider than its box, or a box laid over the label's text), as
// readable lines.
std::vector<std::string> clippedTexts(QWidget& window);

// Room a window manager's title bar takes beside the title: the window's
// icon, its three buttons and the margins. The title is measured in the
// application's font made bold, as title bars draw it.
inline constexpr int kTitleBarRoom = 120;

// The window's title when the window is too narrow for it in a title bar.
std::vector<std::string> clippedTitle(QWidget& window);

// The cells of the shown rows of every grid of a window (the first 300) whose
// text does not fit its column with the view's margins, at the cell's own
// font or the grid's, as readable lines naming the grid, the column and the
// text.
std::vector<std::string> clippedCells(QWidget& window);

// Everything above and clippedHeaders: every text of a window the user would
// see cut or run together.
std::vector<std::string> textsThatDoNotFit(QWidget& window);

} // namespace testkit

namespace testkit {

// The header texts of every grid of a window (the window itself when it is
// one) that do not fit their column where the style draws them, with room
// kept for the sort mark any column may show, as readable lines. Hidden
// columns and columns folded to width 0 show no text and are skipped.
std::vector<std::string> clippedHeaders(QWidget& window);

// A text colour on a back colour; an invalid back stands for any back.
struct ColourPair {
    QColor fore, back;
};

// The unreadable cells of every grid of a window, each line naming its grid.
// Cells painted in one of the user's own pairs (the tick colours of the
// settings) are the user's choice: printed, never returned.
std::vector<std::string> unreadableGridCells(QWidget& window, double minimum = kMinContrast,
                                             const std::vector<ColourPair>& usersChoice = {});

} // namespace testkit

namespace testkit {

// The texts of the shown tool buttons, labels and tab bars under `root` as
// they are painted: each is drawn once as it is and once with its text
// transparent, and the strongest contrast between a text pixel and the
// pixel under it must reach the ratio. Catches what the palette alone does
// not tell: a checked button's sunken face, a style sheet's colour on a
// background it does not set. Readable lines for a failure.
std::vector<std::string> unreadablePaintedTexts(QWidget& root, double minimum = kMinContrast);

} // namespace testkit
