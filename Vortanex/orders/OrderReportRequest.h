#pragma once
// The order book's download without its window: the request text of report
// 600, the dealer's client-code rule, the reading of the reply into what the
// book does next, and the cell texts the three grid builders share.
#include <string>
#include <string_view>
#include <vector>

struct OrderInfo;

// The request block of the order book's download. Written on the UI thread
// by the refresh; the worker gets its own copy, so no lock is needed.
struct OrderReportRequestBlock {
    int code = 0;
    std::string client; // the report's client code, possibly empty (a dealer's all-clients report)
    std::string text;
    long length = 0;
};
extern OrderReportRequestBlock g_OrderReportRequest;

// A dealer's typed client code: exactly 5 characters, none of them blank or
// one of the 32 punctuation characters.
bool IsValidDealerClient(std::string_view code);

struct OrderReportParams {
    std::string account; // the client id, or the session id on the dealer path
    std::string userId;
    std::string clientCode; // empty for a dealer's all-clients report
    bool allClients = false;
    bool previousOrders = false;
    bool actingForClient = false; // "&AClient=Y"
};
// "ReportData=600|account|user|4|client|all|one|prev|0&AClient=Y/N".
std::string BuildOrderReportRequest(const OrderReportParams& p);

// What the book does with one download's outcome.
struct OrderReportOutcome {
    enum Kind {
        Clear,        // empty grid, idle again, no message
        Load,         // rows for the store (count announced)
        BarMessage,   // empty grid, text on the message bar (server code 1205)
        ErrorBox,     // empty grid, text in an information box
        Unidentified, // empty header record: the OK box, then an empty grid
    };
    Kind kind = Clear;
    std::string text;
    int count = 0;
    std::vector<std::string> rows;
};
// status and reply as RequestServer returned them.
OrderReportOutcome ReadOrderReportReply(int status, const std::string& reply, long length);

// "NSE", "BSE", "NSE-FX", "BSE-CDX", "MCX-CM" and, when asked, "MCX-SX" for
// "CM"; empty for other codes.
std::string OrderMarketName(std::string_view exchange, bool withMcxSx);
// "%0.4lf" or "%0.2lf".
std::string OrderPriceText(double price, bool fourDecimals);
// Currency-segment exchange codes show prices with four decimals.
bool IsCurrencyExchange(std::string_view exchange);

// The texts of one order book row, made the same way for a downloaded order
// and for one the form has just placed (whose record carries the side as a
// letter and its mark by id only), so that a live row reads as it will after
// the next refresh.
struct OrderRowTexts {
    std::string market;      // "ME"
    std::string orderNo;     // "%0.lf"
    std::string buySell;     // "Buy" / "Sell", or the server's own text
    std::string price;
    std::string trigger;
    std::string mark;        // "Delv. Mark"
};
// fourDecimals: the price format of the row's security.
OrderRowTexts FormatOrderRow(const OrderInfo& record, bool fourDecimals);
