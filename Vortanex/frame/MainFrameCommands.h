#pragma once
// The main frame's order commands (F1/F2 and the ribbon's buy and sell
// buttons of each segment group), which open the order form through the
// program's opener once the user may place orders and the current client is
// active. Also the answer of every command whose window is not built yet.
// UI thread.
#include <functional>
#include <string>

namespace ui {
class Commands;
}

class CMainFrame;

struct OrderCommand {
    int id;
    char side;
    short group;   // 1 equity, 2 derivative, 3 currency, 4 commodity
    int product;   // -1 none
};

// The command table: 32868/32869 (F1/F2), 32871/32872, 32874/32875,
// 33380/33381 and 33363/33364 (Shift+F1/F2, product 5).
const OrderCommand* FindOrderCommand(int id);

// Registers the order commands on the frame. `orderRight` answers whether the
// user may place orders at all.
void RegisterOrderCommands(CMainFrame& frame, std::function<bool()> orderRight);

// One order command: the two refusals, then OpenOrderForm. True when the
// form was asked to open.
bool RunOrderCommand(CMainFrame& frame, const OrderCommand& command, bool orderRight);

// The lock check every command of the frame passes before its handler:
// while the terminal is locked a command shows "Terminal is Locked. Pls
// Unlock to " with its action and does nothing else, not even stamp the
// activity time. Only the lock command (which brings the unlock dialog back)
// and the exit pass.
void InstallCommandLock(ui::Commands& commands);
// The action a command names in its lock refusal ("View Orders."); the order
// commands say "Place Order.", a command without one "proceed.".
void SetCommandLockText(int id, std::string action);
std::string CommandLockText(int id);

// The name the user knows a command by: its ribbon or main-menu text
// ("Open..." without the dots); "This command" for an id the ribbon lacks.
std::string CommandName(int id);
// Tells the user "<name> is not available in this version." in a box (and the
// log): a command whose window does not exist yet never does nothing.
void TellNotAvailable(int id);
// Gives every ribbon and main-menu command that has no handler yet one that
// tells it is not available, so its button is not dead. A window installed
// later replaces it with its own handler.
void InstallNotAvailableCommands(ui::Commands& commands);
