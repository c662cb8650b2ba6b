#include "frame/controls/GridCommands.h"

#include "ui/commands.h"
#include "ui/grid_view.h"

namespace GridCommands {

void Register(ui::Commands& commands, ui::GridView& grid, int selectColumnsId)
{
    commands.add(selectColumnsId, [&grid] { grid.showColumnChooser(); });
    commands.add(kExpandAll, [&grid] { grid.expandAll(true); });
    commands.add(kCollapseAll, [&grid] { grid.expandAll(false); });
}

} // namespace GridCommands
