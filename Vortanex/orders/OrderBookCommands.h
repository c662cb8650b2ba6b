#pragma once
// The order book's commands on its selected orders: the context menu by the
// order's status, the keys, Modify, Cancel, Place order again, Order History,
// Save as CSV, Order Summary, the SOR and GTC pages and Basket Cancel. One
// object per book, owned by the book's window. UI thread only.
#include <QObject>

#include <functional>
#include <string>
#include <vector>

class COrderViewEx;
class OrderBookToolBar;
class QWidget;
struct OrderInfo;

namespace ui {
class GridView;
struct MenuSpec;
}

// Command ids of menu 214.
enum OrderBookCommandId {
    kCmdOrderRefresh = 33009,
    kCmdSelectColumns = 32940,
    kCmdExpandAll = 32942,
    kCmdCollapseAll = 32943,
    kCmdOrderModify = 33011,
    kCmdOrderCancel = 33013,
    kCmdBasketCancel = 33001,
    kCmdPlaceOrder = 33377,
    kCmdPlaceGtcOrder = 33306,
    kCmdMfMark = 33015,
    kCmdOrderHistory = 33017,
    kCmdCopy = 33019,
    kCmdSaveAsCsv = 33021,
    kCmdOrderSummary = 32895,
    kCmdSor = 32954,
};

class OrderBookCommands : public QObject {
    Q_OBJECT
public:
    // Hooks the keys and the context menu to the book's grid.
    explicit OrderBookCommands(COrderViewEx* view);
    ~OrderBookCommands() override; // takes its toolbar with it

    // The menu for the current row (also sets the two flags); empty items
    // when no menu is shown.
    ui::MenuSpec contextMenu();
    // Shows the menu at a global point and runs the chosen command.
    void OnContextMenu(int x, int y);
    void run(int commandId);

    void OnOrderModify();
    void OnOrderCancel();
    void OnOrderPlaceorder();
    void OnHistory();
    void OnSaveAsCsv();
    void OnOrderSummary();
    void OnMenuSor();
    void OnPlaceGTCOrder();
    void OnBasketCancel();

    bool modifyAllowed() const { return m_modifyAllowed; }
    bool historyAllowed() const { return m_historyAllowed; }

    // Toolbar 214 over the grid; the book places it.
    OrderBookToolBar* toolBar() const { return m_toolBar; }
    // Whether a toolbar button may run now: nothing while the book is busy;
    // Modify and Cancel by the current order's status and DDS mark, Order
    // History on a valid order, M&F Mark never (this book has no handler).
    bool commandEnabled(int commandId) const;
    // The book's state changed (busy, current row): the buttons follow.
    void refreshToolBar();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The current row's record; false (nothing to act on) when there is no
    // current non-group row or its index is outside the store.
    bool currentOrder(OrderInfo& out, int* storeIndex = nullptr) const;
    bool clientActive() const;
    void openPage(const std::string& request, bool rsaAllowed, const std::string& title);

    COrderViewEx* m_view;
    OrderBookToolBar* m_toolBar = nullptr;
    bool m_modifyAllowed = false;
    bool m_historyAllowed = false;
};

// The GTC page's entry of an order: "token,exch,B/S,price,symbol,qty" with
// the symbol up to its first '~' percent-encoded; the quantity is the total
// for a traded order, else the open one.
struct OrderSecurity;
std::string GtcOrderEntry(const OrderInfo& rec, const OrderSecurity& sec);

// The grid as CSV: every column's caption, then the shown non-group rows in
// display order with the cells as shown. False when the file cannot be written.
bool WriteGridCsv(const ui::GridView& grid, const std::string& path);
