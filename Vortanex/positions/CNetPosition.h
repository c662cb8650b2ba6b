#pragma once
// The one risk report window: five tabs (limits, today's positions, open
// positions, unbilled positions, holdings) of the active client, fetched with
// "RiskData=" on a worker, stored into the client entry on the UI thread,
// kept live from the feed through the window's tick box and 100 ms timer, and
// the commands that start orders, baskets and conversions from them.
// UI thread only, except where a function says otherwise.
#include "positions/RiskReportThread.h"
#include "server/RiskRecords.h"
#include "server/SecurityReload.h"
#include "ui/mailbox.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class NetPositionFeed;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;
struct RiskSecurityFacts;
namespace pf {
class Shell;
}
namespace ui {
class GridHeaderItems;
class GridView;
}

// The data of one holdings grid row.
struct HoldingRowData {
    int holding_index = 0;
    int grid_row = -1;
    bool total_flag = false;
    int token = 0; // -1111 on the grand total row
    std::string delivery_marks;
};
inline constexpr int kGrandTotalToken = -1111;

// The holding a holdings row shows: null for the grand total, a row without
// data or one whose holding is no longer in `holdings`.
inline const PositionRecord* HoldingOfRow(const HoldingRowData* d, const std::vector<PositionRecord>& holdings)
{
    if (!d || d->token == kGrandTotalToken || d->holding_index < 0
        || d->holding_index >= static_cast<int>(holdings.size()))
        return nullptr;
    return &holdings[static_cast<size_t>(d->holding_index)];
}

// The open grid's total row carries this as its row data.
struct OpenTotalMarker {};

class CNetPosition : public QWidget, public ui::NoteReceiver {
    Q_OBJECT
public:
    // Data indexes of the reports.
    enum Report { Limits = 0, Open = 1, Holdings = 2, Unbilled = 3, Todays = 4 };

    explicit CNetPosition(QWidget* parent = nullptr);
    ~CNetPosition() override;

    // The open window, or null.
    static CNetPosition* Instance();
    // The shell that opens the additional-margin page (the application's).
    static void SetShell(pf::Shell* shell);

    std::shared_ptr<NetPositionFeed> feed() const { return m_feed; }

    // windowType 11..15 names the tab to show first.
    void OnInitialUpdate(int windowType);
    void OnRefresh();
    void OnSelchangeTab1(int tab);
    // Caption number 0..4; std::invalid_argument outside.
    void SelectReportTab(int captionNumber);
    void OnRiskRefresh(int dataIndex);
    bool Get_Data(int type);
    void OnTimer();
    // A tick the feed box held: its tick-direction code as the feed gave it,
    // not the security's current one (a later quote that left the price
    // alone would hide the move).
    void UpdateLTP(int security, int tick);
    void SetTodaysPositionLTP(int security);
    void MyUpdate(int kind);
    void Close_Window();
    void SaveGridState();
    void FreeAllVariables();
    void GetMisDataFromLimit();
    void OnAdditionalMargin();

    // Grid fills.
    void OnDisplayCompleteLimitsGrid();
    void OnDisplayPositions(int shownReport);
    int OnDisplaySellFromExisting();
    void FillUnbilledPositionGrid();
    void FillTodaysPositionGrid();
    void EnableControls(bool enable);

    // Commands.
    void OnPositionSquareoff();
    void OnPositionPlaceOrder();
    void OnMenuTodaysposPlaceOrder();
    void OnPositionBasketOrder();
    void OnTodaysPositionBasketOrder();
    void OnPositionConverttodelivery();
    // Marks the selected holdings to margin funding (kind 0) or delivery (1).
    void ShowPledgeUnpledge(int kind);
    // 336: the holdings grid's filter menu was closed; its choice becomes the
    // applied filter.
    void OnApplyFilter1();
    void OnExpandAll();
    void OnCollapseAll();
    void OnShowColumnChooser();
    void OnSaveAsCsv();
    // Writes the shown grid (open, holdings or today's) to path; false and
    // "Unable to Save File" when the file cannot be written.
    bool SaveShownGridCsv(const std::string& path);
    void Select_Row_ByChar(char ch);
    void OnContextMenu(const QPoint& globalPos);
    // The popup's items for the shown report and selection (empty: no menu).
    struct MenuEntry {
        std::string text;
        bool enabled = true;
        std::function<void()> run;
    };
    std::vector<MenuEntry> contextMenuEntries();

    // State for the commands and tests.
    int shownReport() const { return m_shownReport; }
    bool isBusy() const { return m_busy; }
    double openPlTotal() const { return m_openPlTotal; }
    double todaysPlTotal() const { return m_todaysPlTotal; }
    int openRowCount() const { return m_openRowCount; }
    int limitsSegmentCount() const { return m_limitsSegmentCount; }
    ui::GridView* grid(int dataIndex) const;
    // The header items band over a grid (limits, open, today's), else null.
    ui::GridHeaderItems* headerItems(int dataIndex) const
    {
        return dataIndex >= 0 && dataIndex < 5 ? m_headerItems[dataIndex] : nullptr;
    }
    QTabWidget* tabs() const { return m_tabs; }
    QLineEdit* clientEdit() const { return m_client; }
    QPushButton* refreshButton() const { return m_refresh; }
    QWidget* control(int id) const;
    int openTotalRow() const { return m_openTotalRow; }
    int todaysTotalRow() const { return m_todaysTotalRow; }
    std::string gridStateName(int dataIndex) const;

protected:
    void onNote(const ui::Note& note) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Its rows name securities of the table they were read with: after a
    // re-download the window closes (the download command closes it first).
    SecurityReload::Registration m_reload;
    void OnUpdateNetPositionReport(intptr_t wParam, intptr_t lParam, const std::string& text);
    void store(RiskOutcome& outcome);
    void createGrids();
    void layoutBand();
    void emptyShownGrid();
    void setMisBandVisible(bool visible);
    void updateOpenGridLtp(int security, const RiskSecurityFacts& s, int tick);
    void renewFeedSecurities();
    int currentRowId(int dataIndex) const;
    int selectedRangeCount(int dataIndex) const;
    int otherExchangeIndex(int secIndex) const;
    double priceBySide(int secIndex, char side, bool testZero) const;
    const std::string& clientText() const;

    QLineEdit* m_client = nullptr;
    QPushButton* m_refresh = nullptr;
    QLabel* m_misCutoffLabel = nullptr;   // 1558
    QLabel* m_misCutoff = nullptr;        // 1559
    QLabel* m_misPlLabel = nullptr;       // 1560
    QLabel* m_misPl = nullptr;            // 1316
    QPushButton* m_mis1561 = nullptr;     // 1561
    QPushButton* m_get = nullptr;         // 1562
    QPushButton* m_additional = nullptr;  // 1563
    QTabWidget* m_tabs = nullptr;
    ui::GridView* m_grids[5] = {};
    QWidget* m_pages[5] = {};                 // a grid with its header items band, when it has one
    ui::GridHeaderItems* m_headerItems[5] = {};
    QTimer* m_timer = nullptr;
    std::shared_ptr<NetPositionFeed> m_feed;
    std::shared_ptr<RiskHandover> m_handover;

    double m_openPlTotal = 0;
    double m_todaysPlTotal = 0;
    double m_openGridSum = 0;
    int m_shownReport = 0;
    bool m_busy = false;
    bool m_redrawPending = false;
    bool m_tabReady = false;
    bool m_squareOffAllowed = false;
    bool m_orderAllowed = false;
    bool m_pledge0Allowed = false;
    bool m_pledge1Allowed = false;
    bool m_convertAllowed = false;
    int m_limitsSegmentCount = 0;
    int m_openRowCount = -1;
    int m_openTotalRow = -1;
    int m_todaysTotalRow = -1;
    // Every row of the grid is a currency: its totals take four decimals.
    bool m_openAllCurrency = false;
    bool m_todaysAllCurrency = false;
    // Per security, the open grid's rows (grid order) and the today's
    // records with a row: built by the fills, so a
    // tick touches only its own rows.
    std::unordered_map<int, std::vector<int>> m_openRunBySecurity;
    std::unordered_map<int, std::vector<int>> m_todaysBySecurity;
    mutable std::string m_clientText;
    std::string m_typeAhead;
    long long m_typeAheadStart = 0;
};
