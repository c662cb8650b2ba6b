#pragma once
// The broker's trailing stop-loss desk and margin rates: the trailing and
// bracket orders of requests 121 (new), 122 (modify) and 123 (cancel), their
// book (report 640) and the margin query 405 answered with the reference
// rate of the security's exchange segment. With matching on (--demo) leg 1
// trades like a plain order, then leg 2 trails the last price by the spread
// and trades when the market crosses its trigger or its book-profit price.
#include "RequestDecoder.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace tb {

struct TsloLeg {
    int leg = 1;
    char side = 'B';
    int quantity = 0;
    int traded = 0;
    double pricePaise = 0;     // leg 1: the order's price; 0 market
    std::string status;        // OPN, ACTIVE, WTRL, TRL, TRAD, CAN
    double tradedPaise = -1;   // the price it traded at
};

struct TsloOrder {
    int specialNo = 0;
    int kind = 0;
    std::string clientId;
    std::string userId;
    std::string clientCode;
    int token = 0;
    std::string exchange;
    char side = 'B';
    char trailSide = 'S';
    int quantity = 0;
    int disclosed = -1;
    double spread = 0;         // rupees
    double triggerPaise = -1;
    double trailWhenPaise = -1;
    double bookProfitPaise = -1;
    int bookProfitDisclosed = -1;
    int autoSquareOff = 0;
    std::string orderType;
    std::string info;
    int64_t exchangeOrderNo = 0;
    std::string time = "09:15:00";
    std::vector<TsloLeg> legs;
};

class TsloDesk {
public:
    // The last price in paise of a security by exchange and token (0 unknown).
    using LastPrice = std::function<int64_t(const std::string& exchange, int token)>;
    explicit TsloDesk(LastPrice lastPrice);

    // True for "NoOfOrders=1&OrderData1=121|..." to 123.
    static bool handles(const RequestText& request);
    // The reply to a 121, 122 or 123.
    std::string reply(const RequestText& request);
    // The reply to "ReportData=640|...".
    std::string report(const RequestText& request);
    // The reply to "RiskData=405|...".
    std::string margin(const RequestText& request);

    // Switches for tests.
    void refuseNext(const std::string& message = "Order rejected by RMS");
    void failReportWith1205(bool on);
    void refuseNextMargin(const std::string& message = "Margin service unavailable");
    void falseEchoNextMargin();
    // The reference rate of an exchange segment (kind 0 other, 1 derivatives, 2 currency).
    void setMarginRate(const std::string& exchange, int kind, double rate);

    void setMatching(bool on);
    // One market step: trades, trails and triggers by the last prices.
    void matchMarket();

    std::vector<TsloOrder> orders() const;
    // The request texts received, by code (121, 122, 123).
    std::vector<std::string> requests(int code) const;

private:
    void stepLocked(TsloOrder& o, int64_t last);

    LastPrice m_lastPrice;
    mutable std::mutex m_mutex;
    std::vector<TsloOrder> m_orders;                    // guarded by m_mutex
    std::map<int, std::vector<std::string>> m_requests; // guarded by m_mutex
    std::map<std::string, double> m_rates;              // guarded by m_mutex; "NN/1" -> rate
    int m_nextSpecialNo = 501;                          // guarded by m_mutex
    int64_t m_nextExchangeNo = 1300000001;              // guarded by m_mutex
    bool m_refuse = false;                              // guarded by m_mutex
    std::string m_refuseText;                           // guarded by m_mutex
    bool m_report1205 = false;                          // guarded by m_mutex
    bool m_refuseMargin = false;                        // guarded by m_mutex
    std::string m_refuseMarginText;                     // guarded by m_mutex
    bool m_falseEcho = false;                           // guarded by m_mutex
    bool m_matching = false;                            // guarded by m_mutex
};

} // namespace tb
