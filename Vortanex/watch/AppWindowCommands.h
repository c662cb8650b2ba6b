#pragma once
// The application's commands that open the other document windows and
// dialogs (books, risk reports, web links, indices, reports, option
// calculator, password, proxy, font, settings, security download): the lock
// refusal, the access and client checks, the single-window rule and the
// settings broadcast that follows the font and settings dialogs. The windows
// themselves belong to their own parts, which install how they are activated
// and opened; a command whose window is not installed yet tells the user it
// is not available in this version. UI thread only.
#include <functional>
#include <map>
#include <set>

namespace ui {
class Commands;
}

class AppWindowCommands {
public:
    struct Window {
        // Brings the open window up and brings it up to date; false when
        // none is open.
        std::function<bool()> activate;
        // Opens a new window, or runs a modal dialog; true on OK (the
        // settings dialog's OK broadcasts the change).
        std::function<bool()> open;
    };
    struct Services {
        std::map<int, Window> windows;    // by command id
        std::function<bool()> viewRights; // the login's right to the books and reports
        // The risk window's report kind (11 limits ... 15 sell from existing).
        std::function<void(int kind)> setRiskKind;
    };
    static Services& services();

    // Runs command id with its rules; false when the command refused.
    static bool Run(int id);
    // Registers the commands of this class in a window's command table, all
    // but those whose handler another part owns (each id keeps one handler).
    static void Register(ui::Commands& commands, const std::set<int>& handledElsewhere = {});

    // The action after "Terminal is Locked. Pls Unlock to " for a command.
    static const char* LockText(int id);
};
