#pragma once
// The report dialog's reports without the window: the request of each report
// type, the reply grammars, the column sets and the rows they give. Types:
// 1 order history, 2 market depth, 3 indices watch, 4 market lot information
// (from the security table), 5 top gainers and losers, 6 active scrips,
// 7 trailing stop-loss order history. Qt-free; callable on any thread with
// the table it is given.
#include <string>
#include <string_view>
#include <vector>

class SecurityTable;

namespace hd {

enum ReportType { kOrderHistory = 1, kMarketDepth, kIndices, kMarketLot, kGainerLoser, kActiveScrips, kTsloHistory };

enum class Align { Left, Right, Centre };

struct Column {
    std::string heading;
    Align align = Align::Left;
    int width = 0; // the width the list ends up with
};

// The columns of a report type (19 for type 7); empty for an unknown type.
std::vector<Column> ReportColumns(int type);

// The transaction code of a type's request (0 for type 4 and unknown types).
int ReportTransCode(int type);

// Requests; every one carries the constant 4 where the server expects it.
std::string OrderHistoryRequest(std::string_view clientId, std::string_view userId, std::string_view clientCode,
                                double orderNo, bool derivative);
std::string MarketDepthRequest(std::string_view clientId, int token, std::string_view exchange);
std::string IndicesRequest(std::string_view clientId);
// Types 5 and 6.
std::string RankedRequest(int type, std::string_view clientId, std::string_view exchange);
std::string TsloHistoryRequest(std::string_view clientId, std::string_view userId, std::string_view clientCode,
                               int specialNo);

// The exchange combo's items and the code of a chosen text ("" for "Select"
// and unknown texts, which request nothing).
std::vector<std::string> ExchangeItems();
std::string ExchangeCodeOf(std::string_view text);

struct ReportRow {
    std::vector<std::string> cells; // one per column
    int securityIndex = -1;         // type 4: the row's security
    bool legHeader = false;         // type 7: "Leg2 Order Data", merged over columns 0-14
};

struct ReportResult {
    int status = 0; // 0 loaded, -1 the server reported an error (rows empty)
    std::vector<ReportRow> rows;
    std::string boxText;    // an information box to show; empty for none
    std::string boxCaption;
    // Type 2: the header's total buy and sell quantities.
    std::string totalBuy, totalSell;
    // Type 7: the edits filled from the first row of a record.
    bool headerFilled = false;
    std::string clientCode, specialNo, kindText, securityKey;
};

// What the type-7 parse needs of the order it reports.
struct TsloContext {
    int kind = 0;        // 1-5
    int specialNo = 0;
    std::string clientCode;
    std::string securityKey; // display key of the order's security
    bool currency = false;   // prices with four decimals
};

// A status-200 reply of types 1, 2, 3, 5 and 6. Types 5 and 6 resolve each
// row's token and exchange in `table`; a row of an unknown security is left
// out. A null table resolves nothing. The depth's prices (type 2) show
// `depthDecimals` decimals, its security's: four for a currency.
ReportResult ParseReport(int type, std::string_view reply, const SecurityTable* table, int depthDecimals = 2);
// A status-200 reply of type 7.
ReportResult ParseTsloHistory(std::string_view reply, const TsloContext& order);
// Type 4: one row per run of derivative contracts of one symbol.
std::vector<ReportRow> MarketLotRows(const SecurityTable& table);

// The texts of the report (by type).
std::string ErrorCaption(int type);       // server-reported error boxes
std::string EmptyReplyCaption(int type);  // "" for types 1 and 7: an empty reply shows nothing
std::string TsloKindText(int kind);       // "" outside 1-5

} // namespace hd
