// The feed and server headers come before any Qt header: a member of the feed
// tables is named like one of Qt's keyword macros.
#include "watch/WatchFeed.h"

#include "server/CompanionLists.h"
#include "server/SecurityTable.h"

#include "watch/WatchCommands.h"

#include "app/base/ActivityStamp.h"
#include "app/base/ConfigFile.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "frame/CMainFrame.h"
#include "frame/FrameIds.h"
#include "watch/CScripSearch.h"
#include "watch/CVortanexView.h"
#include "watch/base/WatchlistTable.h"

#include "ui/commands.h"
#include "ui/document_area.h"

#include <cstdio>
#include <cstring>

namespace watch_commands_detail {
namespace {

// Set while a command creates a window, so a second one started from inside
// it is refused instead of spun on.
bool g_opening = false;

struct OpeningGuard {
    OpeningGuard() { g_opening = true; }
    ~OpeningGuard() { g_opening = false; }
};

bool hasSegment12()
{
    for (int i = 0; i < pv_user_info.segment_count && i < static_cast<int>(pv_user_info.segments.size()); ++i)
        if (pv_user_info.segments[static_cast<size_t>(i)].id == 12)
            return true;
    return false;
}

int windowTypeOf(const CVortanexView* v)
{
    for (const auto& w : WatchFeedLink::openWatchWindows())
        if (w.slot == v->windowSlot())
            return w.type;
    return 0;
}

void activate(CVortanexView* v)
{
    if (WatchCommands::services().activate) {
        WatchCommands::services().activate(v);
        return;
    }
    CMainFrame* frame = g_pMainFrame.load();
    if (frame && frame->Documents() && frame->Documents()->activateDocument(v))
        return;
    v->raise();
    v->activateWindow();
}

} // namespace
} // namespace watch_commands_detail

WatchCommands::Services& WatchCommands::services()
{
    static Services s;
    return s;
}

void WatchCommands::Activate(CVortanexView* view)
{
    if (view)
        watch_commands_detail::activate(view);
}

int WatchCommands::openCount()
{
    return static_cast<int>(CVortanexView::openViews().size());
}

CVortanexView* WatchCommands::openNew()
{
    if (watch_commands_detail::g_opening) {
        WriteLog(0, "A market watch is being opened; the request is refused");
        return nullptr;
    }
    watch_commands_detail::OpeningGuard guard;
    auto* view = new CVortanexView;
    if (services().addDocument) {
        services().addDocument(view);
    } else if (CMainFrame* frame = g_pMainFrame.load(); frame && frame->Documents()) {
        frame->Documents()->addDocument(view, QStringLiteral("Watchlist"));
    } else {
        view->resize(900, 400);
        view->show();
    }
    view->OnInitialUpdate();
    return view;
}

void WatchCommands::OnFileNew()
{
    if (RefuseWhileLocked("Open Watchlist."))
        return;
    SetAccessTime();
    g_WatchOpenRequest.watchIndex = -1;
    g_WatchOpenRequest.openType = 1;
    if (g_Config.Feeds_Type == 1 && openCount() > 0) {
        MsgBoxOk("You can open only one Watchlist");
        return;
    }
    if (openCount() >= kMaxWatchWindows) {
        MsgBoxOk("You are allowed to open only 10 Watchlist.");
        return;
    }
    openNew();
}

void WatchCommands::OnOpenWatchlist()
{
    if (RefuseWhileLocked("Open Watchlist."))
        return;
    SetAccessTime();
    g_WatchOpenRequest.openType = 0;
    WatchlistTable& table = WatchlistTable::instance();
    if (g_WatchOpenRequest.watchIndex < 0) {
        const auto& choose = CVortanexView::services().chooseWatchlist;
        const int chosen = choose ? choose(5) : -1;
        if (chosen < 0 || chosen >= table.count())
            return;
        g_WatchOpenRequest.watchIndex = chosen;
    }
    const int index = g_WatchOpenRequest.watchIndex;
    char line[64];
    std::snprintf(line, sizeof line, "watch open %d", index);
    WriteLog(3, line);
    for (CVortanexView* v : CVortanexView::openViews()) {
        const int type = watch_commands_detail::windowTypeOf(v);
        if ((type == 1 || type == 9) && v->watchIndex() == index) {
            watch_commands_detail::activate(v);
            g_WatchOpenRequest.watchIndex = -1;
            return;
        }
    }
    const WatchlistRecord rec = table.record(index);
    if (std::string_view(rec.name) == "MIS Options" && watch_commands_detail::hasSegment12())
        g_WatchOpenRequest.openType = 8;
    else if (rec.type == 9)
        g_WatchOpenRequest.openType = 9;
    if (g_Config.Feeds_Type == 1 && openCount() > 0) {
        MsgBoxOk("To open existing Watchlist, Right Click on Watchlist and select View Watchlist");
        return;
    }
    if (openCount() >= kMaxWatchWindows) {
        MsgBoxOk("You are allowed to open only 10 Watchlist.");
        return;
    }
    openNew();
}

void WatchCommands::OnNewChain(int kind)
{
    SetAccessTime();
    try {
        if (kind == 2) {
            for (CVortanexView* v : CVortanexView::openViews())
                if (v->list().type == 2) {
                    MsgBoxOk("You are allowed to open only one Derivative Chain");
                    watch_commands_detail::activate(v);
                    return;
                }
            g_WatchOpenRequest.openType = 2;
            g_WatchOpenRequest.watchIndex = -1;
            openNew();
        } else if (kind == 3) {
            g_WatchOpenRequest.openType = 3;
            g_WatchOpenRequest.watchIndex = -1;
            if (g_Config.Feeds_Type == 1) {
                if (openCount() > 0)
                    MsgBoxOk("You can open only one Watchlist");
                else
                    openNew();
                return;
            }
            std::string symbol;
            if (auto t = SecurityTable::current(); t && t->valid(g_WatchOpenRequest.chainBase))
                symbol = std::string(t->row(g_WatchOpenRequest.chainBase).symbol.view());
            OpenWatchlistView("Future Chain-" + symbol);
        } else if (kind == 4) {
            const WatchlistRecord rec = WatchlistTable::instance().record(g_WatchOpenRequest.watchIndex);
            const std::string group = CategoryGroup(rec.id);
            if (group == "Future Stock") {
                for (CVortanexView* v : CVortanexView::openViews())
                    if (v->listSource() == 3 && CategoryGroup(v->list().id) == "Future Stock") {
                        MsgBoxOk("You are allowed to open only one Future Stock Chain");
                        watch_commands_detail::activate(v);
                        g_WatchOpenRequest.watchIndex = -1;
                        return;
                    }
            }
            g_WatchOpenRequest.openType = 0;
            if (group == "MIS Options" && watch_commands_detail::hasSegment12()) {
                for (CVortanexView* v : CVortanexView::openViews())
                    if (watch_commands_detail::windowTypeOf(v) == 8) {
                        MsgBoxOk("You are allowed to open only one " + group + " Watchlist");
                        watch_commands_detail::activate(v);
                        g_WatchOpenRequest.watchIndex = -1;
                        return;
                    }
                g_WatchOpenRequest.openType = 8;
            }
            if (openCount() < kMaxWatchWindows)
                openNew();
            else
                MsgBoxOk("You are allowed to open only 10 Watchlist.");
        }
    } catch (...) {
        WriteLog(0, "Exception in OnNewChain");
    }
}

void WatchCommands::MyUpdate(int code)
{
    try {
        if (CMainFrame* frame = g_pMainFrame.load())
            frame->RefreshFont(code);
        for (CVortanexView* v : CVortanexView::openViews()) {
            const int type = watch_commands_detail::windowTypeOf(v);
            if (type == 1 && code != 8)
                v->MyUpdate(code);
            else if (type == 8)
                v->MyUpdate(8);
            else if (type == 9)
                v->MyUpdate(9);
        }
        if (CScripSearch* search = CScripSearch::modeless())
            search->MyUpdate();
        if (services().otherWindows)
            services().otherWindows(code);
    } catch (...) {
        WriteLog(0, "Exception in CVortanexApp::MyUpdate");
    }
}

void WatchCommands::OnSelWatchList(int page, int listNumber)
{
    try {
        char line[96];
        std::snprintf(line, sizeof line, "OnSelWatchList :Pageno %d, Watch no %d", page, listNumber);
        WriteLog(3, line);
        WatchlistTable& table = WatchlistTable::instance();
        if (listNumber < 0 || listNumber >= table.count())
            return;
        for (CVortanexView* v : CVortanexView::openViews()) {
            const int type = watch_commands_detail::windowTypeOf(v);
            if ((type == 1 || type == 8 || type == 9) &&
                (v->watchIndex() == listNumber || (listNumber == 4 && type == 8))) {
                watch_commands_detail::activate(v);
                return;
            }
        }
        g_WatchOpenRequest.watchIndex = listNumber;
        if (table.record(listNumber).id <= -10000)
            OnNewChain(4);
        else
            OnOpenWatchlist();
    } catch (...) {
        WriteLog(0, "Exception in OnSelWatchList");
    }
}

void WatchCommands::OpenWatchlistView(const std::string& listName)
{
    // Every open window is looked at: the list may be shown by the tenth.
    for (CVortanexView* v : CVortanexView::openViews())
        if (listName == v->list().name || QString::fromStdString(listName) == v->title()) {
            watch_commands_detail::activate(v);
            return;
        }
    if (openCount() >= kMaxWatchWindows) {
        MsgBoxOk("You are allowed to open only 10 Watchlist.");
        return;
    }
    openNew();
}

void WatchCommands::UpdateWatchlist(int action, int index)
{
    try {
        if (services().pane)
            services().pane(action, index);
    } catch (...) {
        WriteLog(0, "Exception in UpdateWatchlist(MF)");
    }
}

void WatchCommands::Register(ui::Commands& commands)
{
    commands.add(ID_FILE_NEW, [] { OnFileNew(); });
    // Ribbon 1163 and Ctrl+S: the one modeless scrip search.
    commands.add(ID_SCRIP_SEARCH, [] { CScripSearch::OpenModeless(); });
    commands.add(ID_FILE_OPEN, [] {
        g_WatchOpenRequest.watchIndex = -1;
        OnOpenWatchlist();
    });
}
