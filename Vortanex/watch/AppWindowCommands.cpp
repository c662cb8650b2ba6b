// The feed and server headers come before any Qt header: a member of the feed
// tables is named like one of Qt's keyword macros.
#include "watch/WatchFeed.h"

#include "server/SecurityReload.h"
#include "server/SecurityTable.h"

#include "watch/AppWindowCommands.h"

#include "frame/MainFrameCommands.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"
#include "watch/base/WatchlistTable.h"

#include "ui/commands.h"
#include "ui/prompter.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace app_window_commands_detail {
namespace {

struct CommandText {
    int id;
    const char* lock;     // after "Terminal is Locked. Pls Unlock to "
    const char* noAccess; // without the view right
    const char* noClient; // with an empty client table
    int riskKind;
};

// Commands the table gives no lock text get one of their own: every command
// refuses while the terminal is locked.
const CommandText kCommands[] = {
    {57606, "Print Setup.", nullptr, nullptr, 0},
    {57664, "View About.", nullptr, nullptr, 0},
    {32877, "View Orders.", "You don't have access to view Order Report", "Activate Client for Order Report", 0},
    {32878, "View Trades.", "You don't have access to view Trade Report", "Activate Client for Trade Report", 0},
    {33314, "View TSLO Orders.", "You don't have access to view TSLO Order Report",
     "Activate Client for TSLO Order Report", 0},
    {33214, "View Limits.", "You don't have access to View Limits.", "Activate Client for View Limits.", 11},
    {33215, "Todays Positions.", "You don't have access to View Todays Positions.",
     "Activate Client for View Todays Positions.", 12},
    {33216, "Open Positions.", "You don't have access to View Open Positions.",
     "Activate Client for View Open Positions.", 13},
    {33217, "Unbilled Positions.", "You don't have access to View Unbilled Positions.",
     "Activate Client for View Unbilled Positions.", 14},
    {33218, "Sell From Existing Positions.", "You don't have access to View Sell From Existing Positions.",
     "Activate Client for View Sell From Existing Positions.", 15},
    {32883, "View WebLinks.", nullptr, nullptr, 0},
    {32886, "View Indices.", nullptr, nullptr, 0},
    {32881, "View Market Lot Info.", nullptr, nullptr, 0},
    {32884, "View Top Gainers Losers.", nullptr, nullptr, 0},
    {32885, "View Top Active Scripts.", nullptr, nullptr, 0},
    {32887, "Open Option Calculator.", nullptr, nullptr, 0},
    {32860, "Change Password.", nullptr, nullptr, 0},
    {32863, "Change Proxy Settings.", nullptr, nullptr, 0},
    {32864, "Change Font Settings.", nullptr, nullptr, 0},
    {32865, "Change Settings.", nullptr, nullptr, 0},
    {32862, "Download Security.", nullptr, nullptr, 0},
};

const CommandText* find(int id)
{
    for (const CommandText& c : kCommands)
        if (c.id == id)
            return &c;
    return nullptr;
}

bool noClients()
{
    return g_Session.clients_in_use <= 0;
}

// Set while a command creates a window; a command started from inside it is
// refused instead of waited for.
bool g_opening = false;

bool openWindow(int id)
{
    const auto& windows = AppWindowCommands::services().windows;
    const auto it = windows.find(id);
    if (it == windows.end() || !it->second.open) {
        TellNotAvailable(id);
        return false;
    }
    if (it->second.activate && it->second.activate())
        return true;
    if (g_opening) {
        WriteLog(0, "A window is being opened; command " + std::to_string(id) + " is refused");
        return false;
    }
    g_opening = true;
    bool ok = false;
    try {
        ok = it->second.open();
    } catch (...) {
        WriteLog(0, "Exception while opening the window of command " + std::to_string(id));
    }
    g_opening = false;
    return ok;
}

void fontSetting()
{
    LogFontRecord& lf = g_AppSettings.grid_font;
    const std::string family(lf.face_name, strnlen(lf.face_name, sizeof lf.face_name));
    const auto chosen = ui::prompter().pickFont(family, lf.height < 0 ? -lf.height : lf.height);
    if (!chosen)
        return;
    std::memset(lf.face_name, 0, sizeof lf.face_name);
    std::memcpy(lf.face_name, chosen->first.data(), std::min(chosen->first.size(), sizeof lf.face_name - 1));
    lf.height = -std::abs(chosen->second);
    lf.quality = 4;
    SaveSettings();
    WatchCommands::MyUpdate(1);
}

// After a fresh master, told by the security reload notice with the other
// holders: every row of every list takes its security's new index, found by
// its watch token (-1 when the security is gone), and a derivative or future
// chain's underlying security is found again by token and exchange.
SecurityReload::Outcome reresolveWatchRows(const SecurityTable& before, const SecurityTable& after)
{
    WatchlistTable& lists = WatchlistTable::instance();
    for (int i = 0; i < lists.count(); ++i)
        lists.update(i, [&](WatchlistRecord& r) {
            for (WatchRowEntry& row : r.rows)
                if (row.token > 0)
                    row.securityIndex = after.searchWToken(row.token);
            // Chain kind 1 names an index of the index table, not a security.
            if ((r.chainKind == 2 || r.chainKind == 3) && r.chainSecurity >= 0)
                r.chainSecurity = ReresolveSecurity(before, after, r.chainSecurity);
        });
    return {};
}

void followSecurityReload()
{
    static const SecurityReload::Registration reload =
        SecurityReload::instance().add("watch rows", reresolveWatchRows);
}

void downloadSecurity()
{
    if (MsgBoxStyle("All the windows will be closed. Do you want to Download Security File.", 4 | 0x20) != 6)
        return;
    try {
        for (CVortanexView* v : CVortanexView::openViews())
            v->Close_Window();
        // The other windows close through their own installation.
        const auto& windows = AppWindowCommands::services().windows;
        if (const auto it = windows.find(32862); it != windows.end() && it->second.open) {
            it->second.open();
            WriteLog(0, "Completed Security Download");
        } else {
            TellNotAvailable(32862);
            return;
        }
        WatchCommands::OnFileNew();
    } catch (...) {
        WriteLog(0, "Exception in OnDownloadSecurity");
    }
}

} // namespace
} // namespace app_window_commands_detail

const char* AppWindowCommands::LockText(int id)
{
    const app_window_commands_detail::CommandText* c = app_window_commands_detail::find(id);
    return c ? c->lock : "";
}

bool AppWindowCommands::Run(int id)
{
    const app_window_commands_detail::CommandText* c = app_window_commands_detail::find(id);
    if (!c)
        return false;
    if (RefuseWhileLocked(c->lock))
        return false;
    SetAccessTime();
    if (c->noAccess) {
        if (!services().viewRights || !services().viewRights()) {
            MsgBoxOk(c->noAccess);
            return false;
        }
        if (app_window_commands_detail::noClients()) {
            MsgBoxOk(c->noClient);
            return false;
        }
    }
    if (id == 32883 && (pv_user_info.user_type == 'V' || app_window_commands_detail::noClients()))
        return false;
    if (c->riskKind && services().setRiskKind)
        services().setRiskKind(c->riskKind);
    switch (id) {
    case 32864:
        app_window_commands_detail::fontSetting();
        return true;
    case 32865:
        if (app_window_commands_detail::openWindow(id))
            WatchCommands::MyUpdate(2);
        return true;
    case 32862:
        app_window_commands_detail::downloadSecurity();
        return true;
    default:
        return app_window_commands_detail::openWindow(id);
    }
}

void AppWindowCommands::Register(ui::Commands& commands, const std::set<int>& handledElsewhere)
{
    app_window_commands_detail::followSecurityReload();
    for (const app_window_commands_detail::CommandText& c : app_window_commands_detail::kCommands) {
        const int id = c.id;
        SetCommandLockText(id, c.lock);
        if (handledElsewhere.count(id))
            continue;
        commands.add(id, [id] { Run(id); });
    }
}
