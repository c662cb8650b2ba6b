#pragma once
// The order book's command rules that need no window: which menu entries an
// order's status allows, the totals of "Order Summary" and the orders a
// "Basket Cancel" takes. Any thread (they read only what they are given).
#include "orders/OrderInfo.h"
#include "server/OrderSecurity.h"

#include <string>
#include <utility>
#include <vector>

// The context menu of one order.
struct OrderMenuState {
    bool modifyAllowed = false;  // Modify and Cancel enabled (an open, non-DDS order)
    bool finished = false;       // CAN REJ CANM CANS TRAD: Modify and Cancel removed
    bool pending = false;        // NEWF NEWZ CHRF CNRF
    bool historyAllowed = false; // a valid order
    bool hasModifyCancel() const { return !finished; }
    // Place order and Place Gtc order: removed for open and pending orders.
    bool hasPlaceOrder() const { return finished || !(modifyAllowed || pending); }
};
// The order mark of a DDS order: it is never modified from the book.
inline constexpr int kDdsOrderMark = 7;
OrderMenuState OrderMenuStateFor(const OrderInfo& rec);

// "Order Summary" over the rows shown, each with its security.
struct OrderSummary {
    long long buyQty = 0;
    long long sellQty = 0;
    double buyValue = 0;
    double sellValue = 0;
    double buyAvg = 0;
    double sellAvg = 0;
    bool currency = false; // a currency-segment row counted: averages with four decimals
};
OrderSummary SummariseOrders(const std::vector<std::pair<OrderInfo, OrderSecurity>>& rows);
// The box's three lines.
std::string OrderSummaryText(const OrderSummary& summary);

// "Basket Cancel": the open orders of one client among the selected rows
// (shown, non-group rows in display order, `selectedCount` of them).
struct BasketCancelPick {
    std::string error;        // the box's text, empty when the pick holds
    bool destroyForm = false; // orders of two clients: the basket form goes
    std::string client;
    std::vector<OrderInfo> legs; // at most five
};
inline constexpr int kBasketLegs = 5;
BasketCancelPick PickBasketCancel(const std::vector<OrderInfo>& selected, int selectedCount);
