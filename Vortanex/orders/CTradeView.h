#pragma once
// The trade book: one document window that downloads the active client's
// trades (report 610) on a worker into a fresh array, swaps it in on the UI
// thread and shows it in an 11-column grid grouped by security and order.
// UI thread only, except where a function says otherwise.
#include "orders/TradeReport.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class CMyReportCtrl;
class ExchangeCancel;
class QCheckBox;
class QLineEdit;
class QPushButton;
namespace ui {
class GridModel;
}

class CTradeView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kColumns = 11;

    explicit CTradeView(QWidget* parent = nullptr);
    ~CTradeView() override;

    // Builds the grid, then downloads (refresh false: the grid only, for a
    // caller that hands it trades itself).
    void OnInitialUpdate(bool refresh = true);
    void OnTradeRefresh();           // command 33026, Refresh, F5
    // New trades the user did not ask for (a basket's legs, a fill on the
    // feed): the book downloads again, after the download that runs now.
    void FollowNewTrades();
    void SetSecIndex(int securityIndex); // the filter (-1 none), then a refresh
    void ResetSecIndex();            // F8
    // The filter of a view not opened yet (no refresh).
    void SetSecIndexQuiet(int securityIndex) { m_secFilter = securityIndex; }
    void OnSaveAsCsv();              // 33032
    void OnTradeSummary();           // 32896, Shift+T
    void MyUpdate(int kind);

    CMyReportCtrl* grid() const { return m_grid; }
    QCheckBox* previousTradesBox() const { return m_previous; }
    QPushButton* refreshButton() const { return m_refresh; }
    // A download or the filling of the grid after it runs.
    bool isBusy() const { return m_busy; }
    int securityFilter() const { return m_secFilter; }
    const std::vector<TradeInfo>& trades() const { return *m_trades; }

    // The worker's result, on the UI thread.
    void takeResult(TradeReportOutcome outcome);
    // The program closes the book (a new security file): no question.
    void markClosing() { m_closing = true; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void download(); // the refresh without the user's stamp
    void OnPopulate();
    void showRows(ui::GridModel& built);
    void populated();
    void shown(); // the filling's rows are all in the grid
    void setTitle();
    std::string gridStateName() const;

    CMyReportCtrl* m_grid = nullptr;
    QLineEdit* m_client = nullptr;
    QCheckBox* m_previous = nullptr;
    QPushButton* m_refresh = nullptr;
    int m_secFilter = -1;
    bool m_busy = false;      // a download, or the grid's filling after it, runs
    bool m_followPending = false; // new trades came while a download ran
    bool m_downloading = false; // the report is asked and its reply not taken yet
    bool m_closing = false;     // a close is under way: no question, no late reply
    std::shared_ptr<ExchangeCancel> m_download; // the download's exchange, ended by a close
    int m_populateGen = 0;    // a newer filling or refresh ends an older filling
    bool m_awaitingSettle = false; // the grid still opens the groups of the filling shown
    // Replaced whole by each download: what the grid and the summary read is
    // never freed under them.
    std::shared_ptr<const std::vector<TradeInfo>> m_trades;
};

// The open trade book, or null. UI thread only.
extern CTradeView* g_pTradeView;

// The trade-book command: refuses while the terminal is locked, without the
// login's view rights or without an active client; activates the open book (with the filter) or opens one in
// the frame's document area. securityIndex -1: all securities.
CTradeView* OpenTradeBook(int securityIndex = -1);

// Waits until every trade download has ended (exit, tests). Any thread.
bool WaitTradeReportDownloads(int timeoutMs);
