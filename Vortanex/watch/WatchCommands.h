#pragma once
// The commands that open market-watch windows and the operations other parts
// call on them: new and open watch list, chains and category lists, the
// watch-list pane's click, opening a list by name with the 10-window limit,
// the pane forwarder and the settings broadcast to the open market watches.
// UI thread only.
#include <functional>
#include <string>

class CVortanexView;
namespace ui {
class Commands;
}

class WatchCommands {
public:
    // What the commands need of other parts; unset members do nothing.
    struct Services {
        // Creates and shows a market-watch document around the view (the
        // main frame's document area by default; tests show it on its own).
        std::function<void(CVortanexView* view)> addDocument;
        // Brings a view's window to the front.
        std::function<void(CVortanexView* view)> activate;
        // The watch-list pane (CToolBoxBarEx::UpdateWatchlist), when it exists.
        std::function<void(int action, int index)> pane;
        // The other windows the settings broadcast reaches (frame fonts, books,
        // risk windows, indices, message bar), given the code.
        std::function<void(int code)> otherWindows;
    };
    static Services& services();

    // 57600 "New Watchlist" and 57601 "Open Watchlist".
    static void OnFileNew();
    static void OnOpenWatchlist();
    // 2 derivative chain, 3 future chain, 4 category list.
    static void OnNewChain(int kind);
    // The settings broadcast: 1 the grid font changed, 2 settings or theme.
    static void MyUpdate(int code);

    // The watch-list pane's click on a list of a page.
    static void OnSelWatchList(int page, int listNumber);
    // Activates the window showing the list (by name or title), else opens a
    // new one from the pending request; at most 10.
    static void OpenWatchlistView(const std::string& listName);
    // Forwards a list change to the pane: 0 changed, 1 closed, 2 added,
    // 3 renamed, 4 removed.
    static void UpdateWatchlist(int action, int index);

    // The number of open market-watch windows.
    static int openCount();
    // Brings a market-watch window to the front.
    static void Activate(CVortanexView* view);
    // Registers 57600 and 57601 in a window's command table.
    static void Register(ui::Commands& commands);

    static constexpr int kMaxWatchWindows = 10;

private:
    static CVortanexView* openNew();
};
