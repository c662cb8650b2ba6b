#pragma once
// The trade book's download without its window: the request of report 610,
// the reading of its reply into a fresh array of trades (on the worker; the
// window swaps it in), and the cell texts of one trade.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One trade as the trade book keeps it.
struct TradeInfo {
    std::string client_code;   // field 12
    double order_no = 0;       // 4
    double trade_no = 0;       // 5
    int token = 0;             // 2
    int sec_index = -1;        // by token and exchange
    std::string exchange;      // 3
    std::string buy_sell;      // 7
    int quantity = 0;          // 8
    double price = 0;          // 9, rupees
    std::string time;          // 10
    std::string exch_trade_no; // 6
    int order_mark = 0;        // 11
    std::string mark_name;     // 16
    std::string security;      // 15, '-' shown as '~'
    int row = 0;               // position in the reply, from 0
    char side = 0;             // first letter of the buy/sell text
};

struct TradeReportParams {
    std::string clientId;
    std::string userId;
    std::string clientCode;
    bool previousTrades = false;
};
// "ReportData=610|<client id>|<user>|4|<client code>|0|1|<0 or 2>|0&AClient=N".
std::string BuildTradeReportRequest(const TradeReportParams& p);

// Records over this many characters, or fields over kTradeFieldMax, are not
// of the report's format and are refused.
inline constexpr size_t kTradeRecordMax = 511;
inline constexpr size_t kTradeFieldMax = 127;

struct TradeReportOutcome {
    enum Kind {
        Load,     // trades (possibly none) and the bar's text
        Silent,   // server code 1205: nothing shown, no trades
        ErrorBox, // text in an information box, no trades
    };
    Kind kind = Load;
    std::string text; // the box's or the message bar's text
    std::vector<TradeInfo> trades;
};
// status and reply as RequestServer returned them; `client` names the client
// in the bar's text. `securityOf(token, exchange)` gives the security index.
TradeReportOutcome ReadTradeReportReply(int status, const std::string& reply, const std::string& client,
                                        int (*securityOf)(int token, const std::string& exchange));

// The grid's price text: four decimals for "CN", two otherwise.
std::string TradePriceText(const TradeInfo& trade);
