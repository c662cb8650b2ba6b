#pragma once
// The application's commands that open the other document windows and
// dialogs (books, risk reports, web links, indices, reports, option
// calculator, password, proxy, font, settings, security download): the lock
// refusal, the access and client checks, the single-window rule and the
// settings broadcast that follows the font and settings dialogs. The windows
// themselves belong to their own parts, which install how they are activated
// and opened; a command whose window is not installed yet tells the user it
// is not available in this version. UI thread only.
#include "frame/WindowOpeners.h"

#include <set>

namespace ui {
class Commands;
}

class AppWindowCommands {
public:
    // The windows are installed in the frame's registry, where every window
    // folder reaches them.
    using Window = AppWindowServices::Window;
    using Services = AppWindowServices;
    static Services& services() { return appWindowServices(); }

    // Runs command id with its rules; false when the command refused.
    static bool Run(int id);
    // Registers the commands of this class in a window's command table, all
    // but those whose handler another part owns (each id keeps one handler).
    static void Register(ui::Commands& commands, const std::set<int>& handledElsewhere = {});

    // The action after "Terminal is Locked. Pls Unlock to " for a command.
    static const char* LockText(int id);
};
