#pragma once
// The visual themes of the frame by their command ids: the ribbon's list
// (id and text), which look family and variant each id selects, whether a
// ribbon background image goes with it, and the palette our theme manager
// applies. IsDarkTheme tells windows that choose their own colours.
#include "ui/theme_manager.h"

#include <string>
#include <vector>

struct ThemeEntry {
    int id;
    const char* text;
};

// The themes on the ribbon, in the ribbon's order.
const std::vector<ThemeEntry>& RibbonThemes();

enum class ThemeFamily { Older, Glass, Slate, Flat, Modern };

struct ThemeChoice {
    ThemeFamily family = ThemeFamily::Older;
    int variant = 0;      // the family's theme number
    int background = 0;   // bitmap of the ribbon background, 0 for none
    bool known = false;   // false for ids outside the theme commands
};

// The look an id selects (the pure mapping, for tests and for SetApplicationLook).
ThemeChoice ThemeChoiceFor(int themeId);
// The palette of an id; an unknown id gets the default theme's.
ui::ThemeLook ThemeLookFor(int themeId);
// True for a theme command id (32833-32849, 33310-33312, 33337-33350).
bool IsThemeCommand(int id);

bool IsDarkThemeId(int themeId);
// The theme of the settings record is a dark one (32835, 32849, 33311, 33350).
bool IsDarkTheme();
