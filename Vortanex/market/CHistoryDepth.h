#pragma once
// The report dialog: one of seven reports fixed when it is built (1 order
// history, 2 market depth, 3 indices watch, 4 market lot information,
// 5 top gainers and losers, 6 active scrips, 7 trailing stop-loss order
// history). Types 1-6 fill a list, type 7 a grid with merged leg headers.
// Every request runs on a worker while the dialog shows it is busy; a reply
// that comes back after the dialog closed, or answers a request older than
// the newest, is dropped. Modal.
#include "market/HistoryDepthReport.h"
#include "orders/TsloOrderBook.h"

#include "server/SecurityReload.h"

#include "pf/latest_request.h"
#include "ui/form.h"

#include <memory>
#include <string>

class CMyListCtrl;
class CResizer;
class ServerAccess;
class QResizeEvent;

namespace ui {
class GridView;
}

class CHistoryDepth final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 116;
    enum ControlId : int {
        kRefresh = 1082,
        kList = 1047,
        kExchange = 1046,
        kSecurityLabel = 1151,
        kSecurity = 1019,
        kFirstLabel = 1080,
        kFirstEdit = 1024,
        kSecondLabel = 1081,
        kSecondEdit = 1027,
        kTsloSecurityLabel = 1437,
        kTsloSecurity = 1438,
        kTsloKindLabel = 1444,
        kTsloKind = 1439,
        kTsloNumberLabel = 1440,
        kTsloNumber = 1441,
        kTsloClientLabel = 1442,
        kTsloClient = 1443,
        kGrid = 1445,
    };
    static constexpr int kDerivativeChain = 33002;

    // `value`: type 1 the order's index in the active client's order store,
    // type 2 a security index, type 7 the record's index in the active
    // client's trailing book (or give the record with setTsloOrder), else 0.
    CHistoryDepth(QWidget* parent, int type, int value);
    ~CHistoryDepth() override;

    // Where requests go (null: the program's request function). It must
    // outlive the dialog.
    void setServer(ServerAccess* server) { m_server = server; }
    // Type 7: the trailing record the history is of.
    void setTsloOrder(const TsloOrderInfo& order);

    int type() const { return m_type; }
    CMyListCtrl* list() const { return m_list; }
    ui::GridView* grid() const { return m_grid; }
    // A request is on its way.
    bool busy() const { return m_busy; }
    // The number of replies applied so far (tests wait on it).
    int replies() const { return m_replies; }

    // Sets the title, labels and columns of the type and loads types 1, 2, 3
    // and 7 (the rows arrive later).
    void SetMessage(int type, int value);
    // Button 1082 and F5 in the list: empties and reloads (type 4 keeps its rows).
    void OnRefresh();
    // Combo 1046: maps the chosen exchange and loads types 5 and 6.
    void OnSelchangeExch();
    // "Derivative &Chain" on the first selected row of a type-4 list.
    void OnPopupDerivative();
    // Applies a reply of a type as the request function gave it; the
    // loader's result: 0, or -1 when the server reported an error.
    int ApplyReply(int type, int httpStatus, const std::string& reply);

protected:
    void onInit() override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void request(int type, const std::string& text);
    void loadType();
    void fillList(const hd::ReportResult& result);
    void fillGrid(const hd::ReportResult& result);
    void placeList();
    void OnRclickList1(const QPoint& pos);
    SecurityReload::Outcome followReload(const SecurityTable& before, const SecurityTable& after);

    int m_type = 0;
    int m_value = 0;
    int m_security = -1;
    std::string m_exchange; // types 5 and 6; empty until chosen
    bool m_haveTslo = false;
    TsloOrderInfo m_tslo;
    ServerAccess* m_server = nullptr;
    CMyListCtrl* m_list = nullptr;
    ui::GridView* m_grid = nullptr;
    std::unique_ptr<CResizer> m_resizer;
    bool m_busy = false;
    pf::LatestRequest m_latest; // a reply shows only if it answers the newest request
    int m_replies = 0;
    struct Alive;
    std::shared_ptr<Alive> m_alive;
    SecurityReload::Registration m_reload; // its report's security and rows after a re-download
};

// Builds the dialog of a type with its value, runs it modally and destroys it.
void OpenHistoryDepth(QWidget* parent, int type, int value);
// The openers: commands 32881 (type 4), 32884 (type 5) and 32885 (type 6)
// with the main window as parent, and the order books' "Order &History"
// (type 1 from the order book, type 7 from the trailing book).
void InstallReportDialogs(QWidget* mainWindow);
