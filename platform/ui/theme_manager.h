#pragma once
// Window looks: a palette and a few style-sheet colours applied to the whole
// application or to one window. The window decides which look a theme id
// gets; this class only applies it. UI thread only.
#include <QColor>
#include <QString>

class QWidget;

namespace ui {

struct ThemeLook {
    QString name;
    bool dark = false;
    QColor window;     // frame and panes
    QColor base;       // lists and edits
    QColor text;
    QColor button;
    QColor highlight;
    QColor accent;     // ribbon tabs, pane captions
    // The frame's own bars (ribbon, status bar, window tabs, pane captions)
    // when they differ from the window colour, as in a look with black bars
    // around light windows; invalid: they take the window colour.
    QColor chrome;
    QString background; // resource of a ribbon background image, empty for none
};

class ThemeManager {
public:
    // Applies look to target and its children (the application when null).
    static void apply(const ThemeLook& look, QWidget* target = nullptr);
    // The style sheet that apply sets, for tests and for windows made later.
    static QString styleSheet(const ThemeLook& look);
    // Black or white, whichever reads better on back (selected rows, ribbon tabs).
    static QColor textOn(const QColor& back);
};

} // namespace ui
