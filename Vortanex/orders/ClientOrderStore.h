#pragma once
// The orders of one trading client as the order book shows them, and the one
// function that writes them: FillOrderReport (full load, append of a placed
// order, update by order number from a confirmation).
//
// Every access takes g_csOrderStore, readers included, and readers get copies:
// a load that grows the array can never pull it from under a reader. The book
// is told about a change after the lock is released, by a note it handles on
// its own thread, so a writer never waits for the book while holding the lock.
#include "app/base/SessionRecord.h" // ClientInfo, ActiveClientEntry
#include "orders/OrderInfo.h"

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>


// The most orders one client's store holds (a day's orders are far fewer);
// a load or an append beyond it is refused, never a huge allocation.
inline constexpr int kMaxStoredOrders = 200000;

// Serialises every access to every client's store.
extern std::mutex g_csOrderStore;

// 2 when the order report was asked for previous orders (rows then carry the
// contract-valid field 20).
extern std::atomic<int> g_nPrevOrdersFlag;

struct ClientOrderStore {
    std::vector<OrderInfo> records; // capacity records; guarded by g_csOrderStore
    int count = 0;                  // valid records; guarded by g_csOrderStore
    int capacity = 0;               // guarded by g_csOrderStore
};

// What the store needs of the order book window (WM_ORDER_REPORT_UPDATE).
// Calls come from the writer's thread after the store's lock is released; an
// implementation hands them to the UI thread and returns.
class OrderBookLink {
public:
    virtual ~OrderBookLink() = default;
    virtual bool isOpen() const = 0;
    // Not downloading: confirmations are applied only then.
    virtual bool isIdle() const { return true; }
    // The client the book shows; empty = all clients.
    virtual std::string clientFilter() const { return {}; }
    // wParam 0 clear/idle, 1 rebuild/idle, 2 row added at index, 3 row changed
    // at index, 4 error text.
    virtual void storeChanged(int code, int index, const std::string& text) = 0;
};
// nullptr: no book is open. The link must outlive its installation.
void SetOrderBookLink(OrderBookLink* link);
OrderBookLink* CurrentOrderBookLink();

// The store of a client entry, made on first use; it lives until the program
// ends, so a record of an old session never dangles. Null for a null entry.
ClientOrderStore* OrderStoreOf(ClientInfo* client);

// Confirmation kinds of mode 3.
enum ConfirmationKind {
    kConfirmOrder = 0,
    kConfirmModify = 2,
    kConfirmCancel = 3,
    kConfirmRejected = 4,
    kConfirmCancelRejected = 5,
    kConfirmModifyRejected = 6,
    kConfirmTriggered = 7,
    kConfirmFrozen = 8,
    kConfirmTrade = 100,
};

// mode 1: load `number` announced rows (one '|'-separated row each);
// `reportClient` names the client in the message-bar line.
// mode 2: append `record` (number and rows unused).
// mode 3: update the first record with record->order_no; number = the kind.
void FillOrderReport(ClientInfo* client, int mode, int number, const std::vector<std::string>& rows,
                     const OrderInfo* record, std::string_view reportClient = {});

// Readers (any thread): copies taken under the lock.
std::vector<OrderInfo> OrderStoreSnapshot(ClientInfo* client);
bool ReadStoredOrder(ClientInfo* client, int index, OrderInfo& out);
// The first record with that order number; false when none.
bool FindStoredOrder(ClientInfo* client, double orderNo, OrderInfo& out);
int StoredOrderCount(ClientInfo* client);
// The book's download start and its close: count 0, block kept.
void ResetOrderStoreCount(ClientInfo* client);
