#pragma once
// The market dialog in its turnover modes: market turnover (mode 1, an
// exchange's up, down and neutral stocks with a pie), indices turnover
// (mode 2, the indices of an exchange with stacked bars) and an index's
// turnover details (mode 5, modal, a pyramid). Modes 1 and 2 are modeless,
// one dialog each, freed on close with their slot cleared. The turnover
// request runs on a worker; its reply comes back by value to a live dialog
// only. Refresh stays unusable for 30 seconds after each load.
#include "market/MarketTurnover.h"

#include "ui/form.h"

#include <memory>
#include <string>
#include <vector>

class CMyListCtrl;
class MarketChart;
class ServerAccess;

namespace ui {
class Commands;
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
    };
    enum CommandId : int {
        kTurnoverDetails = 32931,
        kMarketScanner = 32932,
        kMarketCluster = 32944,
        kSaveGrid = 32933,
        kSaveChart = 32934,
    };
    static constexpr int kRefreshHoldMs = 30000;

    explicit CMarketTurnOver(int mode, QWidget* parent = nullptr);
    ~CMarketTurnOver() override;

    // Where the request goes (null: the program's request function). It must
    // outlive the dialog.
    void setServer(ServerAccess* server) { m_server = server; }
    // Mode 5: the index and its record.
    void setDetails(const mt::TurnoverRecord& record);

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

    // The dialog open in a mode's slot, or null.
    static CMarketTurnOver* instance(int mode);
    // Opens a modeless dialog of mode 1 or 2 unless one is open.
    static CMarketTurnOver* Open(int mode, QWidget* parent);

protected:
    void onInit() override;
    void closeEvent(QCloseEvent* event) override;
    // Escape leaves the dialog open in every mode.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void drawChart();
    void fillRows(const std::vector<mt::GridRow>& rows);

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
};

// Commands 1256 (market turnover) and 1268 (indices turnover).
void InstallMarketDialogs(ui::Commands& commands, QWidget* mainWindow);
