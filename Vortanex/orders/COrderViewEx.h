#pragma once
// The order book: one document window that downloads the order report of the
// active client (or a dealer's clients) into the client's order store on a
// worker, shows the store in a 15-column grid and follows later changes of
// the store (new orders, feed confirmations) through its OrderBook notes.
// UI thread only, except where a function says otherwise.
#include "ui/mailbox.h"

#include <QWidget>

#include <atomic>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class CMyReportCtrl;
class OrderBookCommands;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct OrderInfo;
namespace ui {
class GridModel;
}

// A security filter the next opening (or SetSecIndex) takes; -1 = none. The
// market watch and the depth window set it before they open the book.
extern std::atomic<int> g_nPendingSecIndex;

// Held by the note handler and the single-row builders; UI thread only.
extern std::recursive_mutex g_csOrderReportUpdate;
extern std::recursive_mutex g_csOrderGridInsert;
extern std::recursive_mutex g_csOrderGridUpdate;

class COrderViewEx : public QWidget, public ui::NoteReceiver {
    Q_OBJECT
public:
    static constexpr int kColumns = 15;

    explicit COrderViewEx(QWidget* parent = nullptr);
    ~COrderViewEx() override;

    void OnInitialUpdate();
    void OnOrderRefresh(); // command 33009, button "Refresh", F5
    // Orders the store did not take one by one (a basket's legs): the book
    // downloads again, after the download that runs now.
    void FollowNewOrders();
    void SetSecIndex();    // takes g_nPendingSecIndex as the filter and refreshes
    void ResetSecIndex();  // F3: all securities again
    void MyUpdate(int code);
    // The window closes: empties the store, unhooks the book, saves the layout.
    bool CloseOrderForm();
    void EnableControls(bool enable);

    CMyReportCtrl* grid() const { return m_grid; }
    // The commands on the selected orders (menu, keys); null before OnInitialUpdate.
    OrderBookCommands* commands() const { return m_commands; }
    QLineEdit* clientEdit() const { return m_client; }
    QCheckBox* previousOrdersBox() const { return m_previous; }
    QPushButton* refreshButton() const { return m_refresh; }
    int securityFilter() const { return m_secFilter; }
    bool isBusy() const { return m_busy; }
    bool isReady() const { return m_ready; }
    const std::string& shownClient() const { return m_shownClient; }
    // The grid row that shows a store record, -1 when none.
    int rowOfRecord(int recordIndex) const;
    // The width a column's caption takes in the header's font (tests).
    int headerWidthNeeded(int column) const;

protected:
    void onNote(const ui::Note& note) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh(bool byUser); // byUser: refused while locked, stamps the activity time
    void OnUpdateOrderReport(intptr_t wParam, intptr_t lParam, const std::string& text);
    void FillOrderRptGrid();
    void InsertorderRptGrid(int index);
    void updateorderRptGrid(int index);
    void fillRow(int rowId, const OrderInfo& rec, bool fromTable);
    void showRows(ui::GridModel& built, std::unordered_map<int, int> rowOf);
    void clearRows();
    void idleTail();
    void setTitle();
    void layoutGrid();
    void applyColours();
    void fitHeaders();
    std::string gridStateName() const;

    CMyReportCtrl* m_grid = nullptr;
    OrderBookCommands* m_commands = nullptr;
    QLineEdit* m_client = nullptr;
    QCheckBox* m_previous = nullptr;
    QPushButton* m_refresh = nullptr;
    QLabel* m_note = nullptr;
    int m_secFilter = -1;
    std::string m_shownClient;
    bool m_busy = false;
    bool m_ready = false;
    bool m_closed = false;
    bool m_followPending = false; // new orders came while a download ran
    std::unordered_map<int, int> m_rowOf; // store index -> grid row id
    int m_fillGen = 0;      // a newer fill or a clear ends an older fill
    bool m_filling = false; // a fill's rows are being made on a worker
    std::vector<std::pair<int, int>> m_deferred; // (2 insert | 3 update, store index) during a fill
};

// The open book, or null. UI thread only.
extern COrderViewEx* g_pOrderViewEx;

// The application's order-report command: refuses while the terminal is
// locked or without an active client; opens the book in the frame's document
// area, or activates the open one and passes it g_nPendingSecIndex.
COrderViewEx* OpenOrderBook();
// The same for one security (-1 none): the order form's Shift+F3, the market
// watch and the depth window.
COrderViewEx* OpenOrderBookFor(int securityIndex);

// Ends the exchanges of the running order report downloads at once; they
// then end without writing into the client table (the exit, before it frees
// the table). Any thread.
void CancelOrderReportDownloads();
// Waits until every order report download has ended (exit, tests); false
// when some still run after timeoutMs. Any thread (the download never waits
// for the UI thread).
bool WaitOrderReportDownloads(int timeoutMs);
