#pragma once
// The market-watch window: one grid showing one watch list of the
// WatchlistTable with four fixed columns and the list's value columns, fed
// live by the feed. Quotes reach it through its tick box (WatchFeed); its
// 70 ms timer drains the box and rewrites the rows on the UI thread, so list
// switches, column rebuilds and row insertions never race a tick. UI thread
// only.
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class CMyGridCtrl;
class ServerAccess;
class WatchFeed;
struct WatchlistRecord;
namespace ui {
class Ticker;
struct MenuSpec;
}

// The program-wide opening request of the next market-watch window, set by
// whoever opens one and read once by its OnInitialUpdate.
struct WatchOpenRequest {
    int watchIndex = -1; // -1 = ask the user
    int openType = 0;    // 0 existing, 1 new user list, 2 derivative chain, 3 future chain, 8, 9
    short chainKind = -1;
    int chainBase = -1;
};
extern WatchOpenRequest g_WatchOpenRequest;

class CVortanexView : public QWidget {
    Q_OBJECT
public:
    // What the view needs of other parts; the program sets it once, tests
    // replace parts of it.
    struct Services {
        ServerAccess* server = nullptr; // null: the program's request function
        // The watch-list dialog choosing a list (action 4 view, 5 open): the
        // chosen index, -1 on Cancel. Unset: no list is chosen.
        std::function<int(int action)> chooseWatchlist;
        // The watch-list pane (CMainFrame::UpdateWatchlist).
        std::function<void(int action, int index)> updateWatchlistPane;
        // Polling feeds: one "Token=..." text for the feed to answer.
        std::function<void(const std::string& text)> getLiveFeeds;
        // The holdings and positions lists: fill the rows of the list at
        // index from the server while `busy` (the asking view) shows busy.
        std::function<void(int index, QWidget* busy)> getInvestments;
        std::function<void(int index, QWidget* busy)> getPositions;
        // The security table is addressed by watch token directly.
        bool directWatchTokens = false;
    };
    static Services& services();

    explicit CVortanexView(QWidget* parent = nullptr);
    ~CVortanexView() override;

    // The open market-watch views, oldest first.
    static std::vector<CVortanexView*> openViews();
    // Quotes put into a market watch's cells since the program started (UI
    // thread); they reach the screen with the grid's next paint. Start-up
    // holds what would take the UI thread until the first ones are in.
    static uint64_t quotesShown();

    void OnInitialUpdate();
    void SelectWatchlist(int watchIndex, int force);
    // Shows the list's rows: in `order` (positions in the row array) when
    // given, the positions it leaves out after them; else in array order.
    void DisplayScrips(const std::vector<int>& order = {});
    int DisplayRow(int position, int ordinal);
    void OnAddscrip(int batchSize, int ordinal, int securityIndex, int status);
    void OnUpdateColumns();
    void MyUpdate(int kind);
    void FreeAllVariables();
    void Close_Window();
    // Rewrites the row of a ticked security; 1 when a row was handled.
    int DisplayFeeds(int securityIndex);
    // The 70 ms timer: applies the ticks that arrived, then redraws.
    void OnTimer();

    // Row builders of SelectWatchlist.
    void Get_Default();
    void Get_Future(const std::string& instrumentCode);
    void Get_Derivative(std::string& title);
    void Get_Tokens();

    // Grid-layout commands 32935, 32936, 32966, 32967, 32968.
    void OnGridCommand(int commandId);

    // 32972 and 32974: the order form for the current row's security (an
    // empty form without a current row).
    void OnPopupBuy();
    void OnPopupSell();
    // The grid's right-click menu at a point in global pixels.
    void OnContextMenu(const QPoint& globalPos);
    // The buy and sell keys of the grid: 'B' for numeric '+', F1 and '=',
    // 'S' for numeric '-', F2 and '-', else 0. Shifted keys are not theirs.
    static char OrderKeySide(int qtKey, Qt::KeyboardModifiers modifiers);

    // --- the row menu and its commands (CVortanexViewCommands.cpp) ---
    // The popup menu for the current selection (menu 213 as the selection
    // makes it), and a command of it or of the grid's keys by id.
    ui::MenuSpec BuildContextMenu();
    void OnCommand(int commandId);
    // A grid key: true when it was a command's (and is swallowed).
    bool HandleGridKey(int qtKey, Qt::KeyboardModifiers modifiers, const QString& text);
    // Keys the view takes before the frame's accelerators.
    static bool ClaimsGridKey(int qtKey, Qt::KeyboardModifiers modifiers);
    void OnPopupMarketDepth();
    void OnPopupScripDetails();
    void OnEodChart();
    void OnIntraDayChart();
    void OnSetAlert();
    void OnPopupDerivative();
    void OnPopupFuture();
    void OnPopupWatchlistAddwatchlist();
    void OnPopupWatchlistViewwatchlist();
    void OnPopupWatchlistRemovewatchlist();
    void OnPopupWatchlistRenamewatchlist();
    void OnPopupBasketOrder();
    void OnMenuCompanyProfile();
    void OnMenuGoogleNews();
    // Watch-list editing.
    void OnPopupAddscrip();
    void OnPopupRemovescript();
    void OnMenuCutScrip();
    void OnMenuPasteScrip();
    void OnPopupWatchlistSavewatchlist();
    void OnPopupSelectcolumn();
    void OnSaveAsCsv();
    void Select_Row_ByChar(char c);
    // Books, leveraged orders and web pages.
    void OnOrderReport();
    void OnTradeReport();
    void OnPopupMaxivaneBuy();
    void OnPopupMaxivaneSell();
    void OnPopupPellbrook();
    void OnPlaceGTCOrder();
    // The list was renamed in the table: title and layout key follow.
    void ListRenamed();
    const std::vector<int>& cutList() const { return m_cutList; }
    // Grid row ids from top to bottom as shown, all or the selected ones.
    std::vector<int> rowsInGridOrder(bool selectedOnly) const;
    // The row array's positions in the order the grid shows them (an
    // inserted row sits under the row it was inserted at, not at the end).
    std::vector<int> positionsInGridOrder() const;
    // The security of a grid row, -1 when it has none.
    int rowSecurity(int rowId) const;

    // State for the commands and tests.
    CMyGridCtrl* grid() const { return m_grid; }
    int watchIndex() const { return m_watchIndex; }
    int windowSlot() const { return m_windowSlot; }
    int listSource() const { return m_listSource; }
    // Whether securities may be added to the shown list: only the user's own
    // lists take them, whichever way they come (Insert, the menu, a paste,
    // the scrip search). RefuseAddition says why when not.
    bool TakesAdditions() const;
    static void RefuseAddition();
    bool displayFlag() const { return m_displayFlag; }
    int redrawCounter() const { return m_redrawCounter; }
    const std::string& gridStateKey() const { return m_gridStateKey; }
    QString title() const { return windowTitle(); }
    void setPasting(bool on) { m_pasting = on; }
    // The view's cells in the spreadsheet take ticks (set by the link).
    bool excelCellsLive() const { return m_excelCellsLive; }
    void setExcelCellsLive(bool on) { m_excelCellsLive = on; }
    std::shared_ptr<WatchFeed> feed() const { return m_feed; }
    // The grid row id showing a list position, -1 when none.
    int gridRowOf(int position) const;
    // The list as the view last read it from the table.
    const WatchlistRecord& list() const { return *m_list; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    // The grid's keys and right clicks; the buy and sell keys are claimed
    // before the main frame's accelerators see them.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The watch-list dialog in one of its actions (1 add, 2 rename, 3 remove,
    // 4 view) for the list menu's commands.
    void runWatchAction(int action, const char* command);
    // A row command on the selected (when selectedFirst) or current row's
    // security; exceptions are logged under the command's name.
    void runOnSecurity(const char* command, bool selectedFirst, const std::function<void(int)>& open);
    void rebuildColumns();
    void reloadList();
    void applyGridLook();
    void paintCell(int rowId, int column, int paint, unsigned rowText, unsigned rowBack);
    void forgetGridRows();

    void publishSecurities();
    void closeView();
    void orderFromRow(char side);
    // The security of the grid's current row, -1 when there is none.
    int currentRowSecurity() const;

    CMyGridCtrl* m_grid = nullptr;
    ui::Ticker* m_ticker = nullptr;
    std::shared_ptr<WatchFeed> m_feed;
    std::unique_ptr<WatchlistRecord> m_list; // the table's record as last read
    std::vector<int> m_gridRows;             // list position -> grid row id (-1 = none)
    // What a row's value cells show, by list position.
    struct ShownRow {
        bool valid = false;
        unsigned rowText = 0, rowBack = 0;
        std::array<double, 23> value{};
        std::array<short, 23> tick{};
    };
    std::vector<ShownRow> m_shown;
    // The first row of each token, so a tick finds its row without a scan.
    // Checked on use and rebuilt when it no longer matches the list (at most
    // once per drain for a token it does not hold).
    std::unordered_map<int, int> m_rowOfToken;
    bool m_rowIndexFresh = false;
    int rowOfToken(int token);
    int m_watchIndex = -1;
    int m_windowSlot = -1;
    int m_listSource = 0;
    bool m_displayFlag = false;
    int m_selectedSecurity = -1;
    int m_insertAfter = -1; // grid row id; -1 = append
    int m_redrawCounter = 0;
    std::string m_gridStateKey;
    std::string m_misOptionsName;
    bool m_pasting = false;
    bool m_excelCellsLive = false;
    bool m_freed = false;
    std::vector<int> m_cutList; // securities cut, waiting for a paste
    bool m_menuOnOneRow = false;
};
