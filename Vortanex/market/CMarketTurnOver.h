#pragma once
// The market dialog. Turnover modes: market turnover (mode 1, an exchange's
// up, down and neutral stocks with a pie), indices turnover (mode 2, the
// indices of an exchange with stacked bars) and an index's turnover details
// (mode 5, modal, a pyramid). Research modes: the market scanner (6, an
// index's stocks and bubbles of their whole-percent bands), the indices
// tracker (7, ten chosen indices live), the market cluster (8, an index's
// stocks by change against price), announcement news (9), the circuit
// breaker (10) and support and resistance (11). Every mode but 5 is
// modeless, one dialog a mode, freed on close with its slot cleared. Every
// server request runs on a worker; its reply comes back by value to a live
// dialog only. Refresh stays unusable for 30 seconds after each turnover load.
//
// The research modes live in MarketResearchModes.cpp (6, 7, 8) and
// MarketListModes.cpp (9, 10, 11); the security menu in MarketScripMenu.cpp.
#include "market/MarketResearch.h"
#include "market/MarketTurnover.h"
#include "server/SecurityReload.h"

#include <functional>

#include "pf/latest_request.h"
#include "ui/form.h"

#include <QPoint>

#include <memory>
#include <optional>
#include <utility>
#include <string>
#include <vector>

class CAnnouNewsReportCtrl;
class CMyListCtrl;
class MarketChart;
class QComboBox;
class QTreeWidget;
class ServerAccess;
struct IndexRecord;

namespace ui {
class Commands;
class GridModel;
class GridView;
class Ticker;
}

class CMarketTurnOver final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 235;
    enum ControlId : int {
        kSelector = 1247,
        kList = 1009,
        kSelectorLabel = 1270,
        kStatus = 1343,
        kChart = 1258,
        kNote = 1260,
        kRefresh = 1262,
        kSave = 1279,
        kBand = 1401,
    };
    enum CommandId : int {
        kTurnoverDetails = 32931,
        kMarketScanner = 32932,
        kMarketCluster = 32944,
        kSaveGrid = 32933,
        kSaveChart = 32934,
        // The security menu.
        kBuy = 32972,
        kSell = 32974,
        kScripDetails = 32978,
        kMarketDepth = 32979,
        kEodChart = 32991,
        kIntradayChart = 32990,
        kNews = 32929,
        kCompanyProfile = 32928,
    };
    static constexpr const char* kInitialIndex = "CNX Nifty";
    static constexpr int kRefreshHoldMs = 30000;
    // How long the scanner keeps looking for the first quotes of the stocks
    // it has just subscribed.
    static constexpr int kFirstQuotesMs = 30000;

    explicit CMarketTurnOver(int mode, QWidget* parent = nullptr);
    ~CMarketTurnOver() override;

    // Where the request goes (null: the program's request function). It must
    // outlive the dialog.
    void setServer(ServerAccess* server) { m_server = server; }
    // Mode 5: the index and its record.
    void setDetails(const mt::TurnoverRecord& record);
    // Modes 6 and 8: the index shown first, and the indices when the opener
    // has them (from an indices-turnover dialog).
    void setInitialSelection(const std::string& name) { m_initial = name; }
    void setTurnoverMap(const mt::TurnoverMap& map) { m_map = map; }

    int mode() const { return m_mode; }
    CMyListCtrl* list() const { return m_list; }
    MarketChart* chart() const { return m_chart; }
    const mt::TurnoverMap& turnoverMap() const { return m_map; }
    int loadCount() const { return m_loads; }
    bool busy() const { return m_busy; }

    // Starts a load on the worker (modes 1 and 2).
    void GetMarketTurnOverData();
    // Applies a reply as the request function gave it (UI thread).
    void ApplyTurnover(int httpStatus, const std::string& reply);
    void DisplayTurnoverData(const std::string& name);
    void OnSelectorChange();
    void OnRefresh();
    // Refresh's hold timer: enables Refresh once 30 s of the program clock
    // have passed since the last load.
    void CheckRefreshHold();
    // Mode 2's menu on the selected index (returns the chosen command).
    int OnListRightClick();
    void OnTurnoverDetails();
    // The Save menu's result with the chosen path; false when nothing was
    // written.
    bool SaveTo(int command, const std::string& path);
    void OnSave();

    // ---- market scanner (6) and market cluster (8) ----
    // Mode 2's "Market Scanner" and "Market Cluster" on the selected index.
    CMarketTurnOver* OpenMarketScanner() { return openResearch(6); }
    CMarketTurnOver* OpenMarketCluster() { return openResearch(8); }
    void InitMarketScanner();
    void DrawScannerBubbleChart();
    void InitMarketCluster();
    // The scanner's and the cluster's top row (index picker, "Rate Refresh",
    // Save), status line and size; the picker lists the index map's names
    // with the initial index (else the last) selected, named in the title.
    void initIndexPicker(const char* titleSuffix);
    void DrawMarketCluster();
    // The chart's notices: the mouse on a point (-1 off every point), and a
    // button released on one.
    void OnChartHover(int point);
    void OnChartRelease(int point, Qt::MouseButton button);
    const mt::BucketMap& buckets() const { return m_buckets; }
    // The securities the scanner or cluster subscribes (its index's stocks).
    std::vector<int> feedSecurities() const;
    // The watch-list rows are being fetched.
    bool loadingList() const { return m_listLoading; }

    // ---- indices tracker (7) ----
    void InitIndicesTracker();
    void DrawIndicesTracker();
    // The property list changed slot `slot` (0-9) to the index of this name.
    void OnTrackerSlotChange(int slot, const std::string& indexName);
    // An index broadcast (UI thread; the feed's tick box is drained here).
    void UpdateIndicesTracker(const IndexRecord& index);
    const std::vector<int>& trackerSlots() const { return m_trackerSlots; }
    QTreeWidget* propertyList() const { return m_props; }

    // ---- news (9), circuit breaker (10), support and resistance (11) ----
    void GetAnnouncementNewsDet(const std::string& exchange);
    void GetCircuitBreakerDet();
    void GetSupportResistanceDet(const std::string& exchange);
    void DrawSupportResistanceChart(double s1, double s2, double r1, double r2, const std::string& name);
    // Type-ahead in the support-and-resistance grid; the row selected or -1.
    int Select_Row_ByChar(char key);
    // Draws the levels of the grid's selected row.
    void ShowSelectedLevels();
    CAnnouNewsReportCtrl* newsGrid() const { return m_news; }
    // The circuit breaker's data bar of a row, 0 to 100.
    int barPercent(int rowId) const;
    bool levelsClicked() const { return m_levelsClicked; }
    ui::GridView* grid() const { return m_grid; }

    // ---- the security menu ----
    // Shows the menu for a security at the cursor and runs the choice;
    // returns the command (0 for none).
    int ShowScripMenu(int security);
    void RunScripCommand(int command);
    int selectedSecurity() const { return m_security; }

    // The dialog open in a mode's slot, or null.
    static CMarketTurnOver* instance(int mode);
    // Opens a modeless dialog of a mode (not 5) unless one is open; modes 6
    // and 8 with their first index and the indices when the opener has them.
    static CMarketTurnOver* Open(int mode, QWidget* parent, const std::string& initial = {},
                                 const mt::TurnoverMap* map = nullptr, ServerAccess* server = nullptr);

protected:
    void onInit() override;
    void closeEvent(QCloseEvent* event) override;
    // Escape closes the dialog in every mode, as its close box does.
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void drawChart();
    void fillRows(const std::vector<mt::GridRow>& rows);
    // A list reply made into a grid's rows on the worker that fetched it.
    struct ListFill;
    // Runs a request on a worker, where `build` makes a reply of status 200
    // into rows of `like`'s columns and groups; `done` gets the status and the
    // rows on the UI thread while the dialog lives, for the newest request only.
    void fetch(int transCode, const std::string& request, const ui::GridModel& like,
               std::function<void(ListFill&, const std::string& reply)> build,
               std::function<void(CMarketTurnOver&, int status, ListFill&)> done);
    // The common answer to a failed exchange; true when the reply is usable.
    bool replyUsable(int status);
    CMarketTurnOver* openResearch(int mode);
    void researchSetup();
    void DisplayScanner(const std::string& name);
    // A scanner fill left out stocks that had no quote yet (their feed was
    // just asked for): it fills again when one of them gets its first quote.
    void awaitFirstQuotes(std::vector<int> securities);
    void checkFirstQuotes();
    // After a security re-download: the scanner's and cluster's securities
    // (rows, subscription, points, the menu's) found again by token and exchange.
    SecurityReload::Outcome followReload(const SecurityTable& before, const SecurityTable& after);
    // The stocks of the index's watch list; false (with the user told) when
    // the list is missing; starts fetching a list without rows.
    bool indexStocks(const std::string& name, std::vector<mt::IndexStock>& stocks);
    void subscribe(const std::vector<int>& securities);
    void releaseFeed();
    void OnScannerRowRightClick();
    void InitAnnouncementNews();
    void InitCircuitBreaker();
    void InitSupportResistance();
    void layoutListGrid();
    void drainIndexTicks();
    void showBusy(bool on);
    bool writeGridCsv(const std::string& path);

    int m_mode = 1;
    mt::TurnoverMap m_map;
    mt::TurnoverRecord m_details;
    std::string m_selected; // the current selector text
    int m_loads = 0;
    bool m_busy = false;
    long long m_refreshAt = 0; // program-clock millis when Refresh may be used again
    ServerAccess* m_server = nullptr;
    CMyListCtrl* m_list = nullptr;
    MarketChart* m_chart = nullptr;
    ui::Ticker* m_ticker = nullptr;
    struct Alive;
    std::shared_ptr<Alive> m_alive;

    // Research modes.
    std::string m_initial;          // the index shown first (modes 6, 8)
    mt::BucketMap m_buckets;
    bool m_bucketFilter = false;    // for one fill
    int m_band = 0;                 // the band hovered or clicked
    std::vector<int> m_rowSecurities; // the scanner's rows
    static constexpr int kFirstQuotesTimer = 3; // 1 Refresh's hold, 2 the tracker's ticks
    std::vector<int> m_awaitingQuotes; // the scanner's stocks without a quote at the last fill
    long long m_awaitUntil = 0;        // program-clock millis when it stops looking for them
    int m_security = -1;            // the security of the menu
    bool m_listLoading = false;
    std::vector<int> m_trackerSlots;
    QTreeWidget* m_props = nullptr;
    std::vector<QComboBox*> m_slotCombos;
    CAnnouNewsReportCtrl* m_news = nullptr;
    ui::GridView* m_grid = nullptr;
    mt::TypeAhead m_typeAhead;
    bool m_levelsClicked = false; // a click has asked for the levels chart
    bool m_circuitUpper = true;    // the band the circuit grid shows
    int m_requests = 0;            // requests in flight
    pf::LatestRequest m_latest;    // a list reply shows only if it answers the newest fetch
    struct Feed;
    std::shared_ptr<Feed> m_feed; // the scanner's or cluster's subscription
    SecurityReload::Registration m_reload;
    struct IndexBox;
    std::shared_ptr<IndexBox> m_indexBox; // the tracker's index broadcasts
};

// Commands 1256, 1268, 1274, 1277, 1290, 1403, 1404 and 1405.
void InstallMarketDialogs(ui::Commands& commands, QWidget* mainWindow);

// The Save menu of a report window at `at` (the grid as CSV or text, the chart
// as BMP or PNG; withGrid false leaves the grid out) and the file the user
// names, starting in the program folder under the window's title. The chosen
// command (32933 grid, 32934 chart) and the path; nothing when declined.
std::optional<std::pair<int, std::string>> PickReportSave(const QWidget& window, QPoint at, bool withGrid,
                                                          const char* gridFilter);
