#pragma once
// The ribbon's "Options" sheet: its quick-access page lets the user choose
// the commands of the quick-access row from three lists ("Popular Commands",
// "Commands not in the Ribbon", "All Commands").
#include <string>
#include <vector>

namespace ui {
class CommandBar;
}

enum RibbonOptionsControl : int {
    IDC_QAT_CATEGORY = 1001,
    IDC_QAT_COMMANDS = 1002,
    IDC_QAT_ADD = 1003,
    IDC_QAT_REMOVE = 1004,
    IDC_QAT_CHOSEN = 1005,
};

// The three lists' names, in the order the page offers them.
const std::vector<std::string>& QuickAccessCategoryNames();
// The commands of a list (0 popular, 1 not in the ribbon, 2 all) that the bar carries.
std::vector<int> QuickAccessCategory(const ui::CommandBar& bar, int category);

// Makes ids the bar's quick-access row. A command that has no image of its
// own (a "File" menu item) gets one, so no button of the row is bare text.
void SetQuickAccessCommands(ui::CommandBar& bar, const std::vector<int>& ids);

// Runs the sheet modally (form "CRibbonOptions"); with OK the bar's
// quick-access row becomes the chosen commands. Returns the outcome.
int ShowRibbonOptions(ui::CommandBar& bar);
