#pragma once
// The broker's order desk: the single-order transactions (new 101/201,
// modify 102/202, cancel 103/203, square-off 106/204) answered from the
// request record alone, a store of the orders it accepted (for the order book
// later), and the 130 confirmations it pushes on the feed after an accepted
// order. Refusals and the demo matching rule are switches a test sets.
#include "RequestDecoder.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tb {

// One event in an order's life, as the order-history report lists it.
struct DeskEvent {
    std::string action;     // "Order Placed", "Order Modified", "Order Traded", "Order Cancelled"
    std::string status;     // the order's status after the event
    int quantity = 0;       // the order quantity after the event
    int filled = 0;         // the quantity traded so far
    std::string pricePaise; // the order price after the event (as sent)
    std::string triggerPaise;
    std::string time;       // "dd-mm-yyyy hh:mm:ss"
};

struct DeskOrder {
    int64_t orderNo = 0;
    int code = 0;          // the code that placed it
    std::string clientId;
    std::string clientCode;
    std::string userId;
    int token = 0;
    std::string exchange;
    char side = 'B';
    int quantity = 0;
    int openQty = 0;       // untraded; a cancelled order keeps it but reports 0 open
    std::string pricePaise;   // as sent ("150005.00")
    std::string triggerPaise;
    std::string validity;
    int orderMark = 0;
    char amo = 'N';
    std::string status = "OPN"; // OPN, OPF, TRAD, CAN
    std::string environment;  // the client-environment field
    int requestNumber = -1;   // OrdReqNo
    int64_t tradedPaise = 0;  // the price it traded at; 0 until it trades
    // When its last event happened ("hh:mm:ss"), and when it traded
    // ("dd-Mon-yyyy hh:mm:ss"), by the broker's clock.
    std::string time;
    std::string tradeTime;
    std::vector<DeskEvent> events; // oldest first
};

// The order-history reply to "ReportData=505|...&OrderData=<no>-<Y|N>":
// "505|0|OK~" then one row per event joined by '^', or status 1 for an
// order the desk does not hold.
std::string orderHistoryBody(const std::vector<DeskOrder>& orders, const std::string& orderData);

class OrderDesk {
public:
    // Pushes one feed message ("130,...") to the user's connections.
    using FeedPush = std::function<void(const std::string& user, const std::string& message)>;
    // The last price in paise of a security by exchange and token (0 unknown).
    using LastPrice = std::function<int64_t(const std::string& exchange, int token)>;

    OrderDesk(FeedPush push, LastPrice lastPrice);

    // The reply body to "NoOfOrders=1&OrderData1=<code>|...", empty when the
    // code is not one of the desk's (the caller then answers 404).
    std::string reply(const RequestText& request, const std::string& user);

    // The next `times` new, modify or cancel requests are refused with 9999.
    void refuseNext(int times = 1, const std::string& message = "Order rejected by RMS");
    // Pushes confirmations after accepted orders (on by default).
    void setConfirmations(bool on);
    // Market orders trade at once at the last price, limit orders when the
    // market crosses them (matchMarket); on with --demo.
    void setMatching(bool on);
    // One market step: trades the open limit orders the last price has crossed.
    void matchMarket();

    std::vector<DeskOrder> orders() const;
    int requestCount() const;

private:
    std::string newOrder(int code, const std::vector<std::string>& f, const RequestText& r, const std::string& user,
                         std::vector<std::string>& pushes);
    std::string modify(int code, const std::vector<std::string>& f, std::vector<std::string>& pushes);
    std::string cancel(int code, const std::vector<std::string>& f, std::vector<std::string>& pushes);
    std::string confirmation(const DeskOrder& o, int kind, int qty, const std::string& pricePaise) const;
    void tradeLocked(DeskOrder& o, int64_t pricePaise, std::vector<std::string>& pushes);

    FeedPush m_push;
    LastPrice m_lastPrice;
    mutable std::mutex m_mutex;
    std::vector<DeskOrder> m_orders;  // guarded by m_mutex
    std::vector<std::string> m_users; // guarded by m_mutex; per order, who placed it
    int64_t m_nextOrderNo = 1000001;  // guarded by m_mutex
    int m_refuse = 0;                 // guarded by m_mutex
    std::string m_refuseText;         // guarded by m_mutex
    bool m_confirmations = true;      // guarded by m_mutex
    bool m_matching = false;          // guarded by m_mutex
    int m_requests = 0;               // guarded by m_mutex
};

} // namespace tb
