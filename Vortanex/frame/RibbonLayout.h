#pragma once
// The ribbon's fixed layout: the main "File" menu, the categories with their
// panels and the commands of each, with the texts the user sees. The frame
// builds its command bar from this table; run-time categories (web links,
// offers) are added later by their owners.
#include <vector>

namespace ui {
class CommandBar;
}

enum class RibbonItemKind { Large, Small, Check, Radio };

struct RibbonItem {
    int id;
    const char* text;
    RibbonItemKind kind = RibbonItemKind::Large;
};

struct RibbonPanelDef {
    const char* name;
    std::vector<RibbonItem> items;
};

struct RibbonCategoryDef {
    const char* name;
    std::vector<RibbonPanelDef> panels;
};

// The main menu's items (id 0 = separator); the themes form a sub-list.
const std::vector<RibbonItem>& RibbonMainMenu();
const std::vector<RibbonCategoryDef>& RibbonCategories();

// Fills bar with the main menu (with the themes) and the categories.
void BuildRibbon(ui::CommandBar& bar);
