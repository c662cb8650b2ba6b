#pragma once
// One single-order request on its own worker thread: the request is a value
// the thread owns (nothing the next OK can overwrite), the reply is read, the
// outcome goes to the message bar and the boxes, and the form hears of it on
// the UI thread only while it still exists.
#include "orders/OrderInfo.h"
#include "server/ExchangeCancel.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One request of the order form in flight, shared by the form and its thread.
struct OrderFlight {
    ExchangeCancel cancel;             // the form going ends the exchange at once
    std::atomic<bool> closing{false};  // the form goes: the thread shows no box and refreshes nothing
    std::atomic<bool> reported{false}; // the user was told the outcome (the reply, or an unknown state)
    std::atomic<bool> done{false};     // the thread has nothing left to do
};

struct OrderRequestJob {
    int code = 0;          // TransCode
    std::string text;      // the full request text, with AClient and OrdReqNo
    int encrypt = 0;       // the session's encryption type at sending
    bool sor = false;      // smart-routed: the reply carries the route fills
    int mode = 1;          // the form's mode at sending
    short tslKind = 0;
    OrderInfo info;        // the new order's store record (mode 1)
    std::shared_ptr<OrderFlight> flight; // null: nothing can end the exchange early
};

// What the thread hands back to the form, in order, on the UI thread.
struct OrderRequestCallbacks {
    // A plain reply: order number (0 when none) and message.
    std::function<void(double orderNo, const std::string& message)> updateResponse;
    // A route of a smart-routed reply: filled quantity, price in paise, order number.
    std::function<void(int filledQty, double pricePaise, double orderNo)> updateOrderInfo;
    // The request left but its reply failed: the order's state is unknown
    // and the order book is to be downloaded again.
    std::function<void()> stateUnknown;
    // Always last: the form may take the next order.
    std::function<void()> finished;
};

// The thread body. Runs RequestServer on the calling thread; every callback is
// posted to the UI thread.
void OrderRequestThread(const OrderRequestJob& job, const OrderRequestCallbacks& callbacks);
