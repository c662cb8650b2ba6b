#pragma once
// The trailing stop-loss book: one document window with the active client's
// trailing and bracket orders (report 640), grouped by kind with the legs of
// one order sharing their first cell. The download runs on a worker that
// builds a fresh book; the UI thread swaps it in and alone fills the grid.
// Modify and cancel open the order form on a record; the order history goes
// through an opener hook. UI thread only.
#include "orders/TsloOrderBook.h"

#include <QPointer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class CMyReportCtrl;
class ExchangeCancel;
class QLineEdit;
class QPushButton;

class OrderBookToolBar;

class CTsloOrderView : public QWidget {
    Q_OBJECT
public:
    explicit CTsloOrderView(QWidget* parent = nullptr);
    ~CTsloOrderView() override;

    // The open book (one at a time), null when none.
    static CTsloOrderView* Instance();

    void OnInitialUpdate();
    void OnOrderRefresh();              // 33009, Refresh, F5
    void OnOrderModify();               // 33011, F2
    void OnOrderCancel();               // 33013, F1
    void OnOrderHistory();              // 33017
    bool OnSaveAsCsv();                 // 33021
    void SetSecIndex();                 // takes the pending security index
    void ResetSecIndex();
    bool CloseOrderForm();              // saves the layout
    void EnableControls(bool on);

    CMyReportCtrl* grid() const { return m_grid; }
    // Toolbar 214 in the band over the grid; the order book's commands this
    // book has no handler for are not on it.
    OrderBookToolBar* toolBar() const { return m_toolBar; }
    // Runs a command of menu 214 (toolbar, routing) when it may run now.
    void runCommand(int commandId);
    bool commandEnabled(int commandId) const;
    QLineEdit* clientEdit() const { return m_client; }
    bool isBusy() const { return m_busy; }
    bool isReady() const { return m_ready; }
    // The book shown now and the record of a grid row (-1 for a group row).
    const TsloBook& book() const { return *m_book; }
    int recordOfRow(int rowId) const;
    // The record the commands act on: the selected row's, -1 when none.
    int selectedRecord() const;
    void selectRecord(int record);
    // Waits for a running download to end, serving the UI thread (tests).
    void WaitForDownload();
    // The program closes the book (a new security file): no question.
    void markClosing() { m_closing = true; }

protected:
    // Asks before a close that would drop a download under way.
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void populate();
    void setTitle();
    void finishDownload(const TsloReport& report, const std::string& clientCode);
    bool modifyAllowed(int record) const;
    void openForm(int mode);

    CMyReportCtrl* m_grid = nullptr;
    OrderBookToolBar* m_toolBar = nullptr;
    QLineEdit* m_client = nullptr;
    QPushButton* m_refresh = nullptr;
    std::shared_ptr<const TsloBook> m_book;
    std::string m_clientCode;
    int m_secIndex = -1;
    bool m_ready = true;
    bool m_busy = false;
    bool m_closing = false;
    std::thread m_worker;
    // The download's exchange, which a close ends at once, and its end.
    std::shared_ptr<ExchangeCancel> m_cancel;
    std::shared_ptr<std::atomic<bool>> m_workerEnded = std::make_shared<std::atomic<bool>>(true);
};

// Installs the book as command 33314 (F7) and as the order form's F7.
void InstallTsloOrderBook();
// Opens the book, or brings the open one up (the single-view rule).
CTsloOrderView* OpenTsloOrderBook();
// The security master was downloaded again: the book closes.
void CloseTsloOrderBook();
