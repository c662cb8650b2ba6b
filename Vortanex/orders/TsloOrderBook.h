#pragma once
// The trailing stop-loss book without its window: one record per reply row
// of report 640, the reading of the report, the rules of Modify and Cancel by
// kind, leg and status, the grid's cell texts and the CSV of the book. The
// books of the clients are kept here: a download builds a fresh array on its
// worker and the UI thread swaps it in, so a reader never sees it half made.
#include "watch/base/TextSplit.h" // CsvField

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct TsloOrderInfo {
    char client_code[11] = {};
    char user_id[11] = {};
    int special_order_no = 0;
    int field1 = 0;
    int token = 0;
    char segment[3] = {};
    char exchange[5] = {};
    int sec_index = -1;
    char field5[32] = {};
    char field6[5] = {};
    double field7 = 0;
    double exch_order_no = 0;
    char field11[51] = {};
    char buy_sell[5] = {};
    int order_qty = 0;
    double price = 0;          // rupees
    double trailing_when = 0;
    double spread = 0;
    double trigger = 0;
    int disclosed = -1;        // -1 none
    int traded_qty = 0;
    char status[21] = {};
    char remark[256] = {};
    int leg = 1;
    int kind = 0;
    int field24 = 0;
    char activity_time[32] = {};
    char field26[32] = {};
    short auto_square_off = 2; // 1 yes, 0 no, 2 not applicable
    double slo_price = 0;
    int row_number = 0;

    char side() const { return buy_sell[0]; }
};

using TsloBook = std::vector<TsloOrderInfo>;

class SecurityTable;

// "ReportData=640|<client id>|<user id>|4|<client code>|0".
std::string BuildTsloReportRequest(const std::string& clientId, const std::string& userId,
                                   const std::string& clientCode);

// One reply row (30 '|' fields) into a record; the security index is left -1.
TsloOrderInfo ReadTsloRow(const std::vector<std::string>& fields, int rowNumber);

struct TsloReport {
    bool ok = false;            // a book was read (it may be empty)
    TsloBook records;
    std::string barText;        // the message bar's text (General list)
    std::string boxText;        // a message box, empty for none
    std::string logLine;
};

// A status-200 body. A result of 1205 is a silent, empty book; a header that
// announces more rows than the body holds reads the rows present.
TsloReport ReadTsloReport(std::string_view body, const std::string& clientCode);

// The Modify and Cancel rules; `index` is a record of `book`.
bool TsloCanModify(const TsloBook& book, int index);
bool TsloCanCancel(const TsloBook& book, int index);
// The record the form edits for a book row: leg 2 of a two-leg order edits
// its leg 1 before it; -1 when there is none.
int TsloFormRecord(const TsloBook& book, int index, int action);

// "NSE", "BSE", "NSE-FX", "BSE-CDX", "MCX-SX" and "MCX-CM" by exchange code
// ("NN", "BN", "CN", "CB", "CM", "MC"); empty for others.
std::string TsloExchangeName(std::string_view code);

inline constexpr int kTsloColumns = 19;
// The 19 column headers and the texts of one record's row.
const std::vector<std::string>& TsloColumnHeaders();
std::vector<std::string> TsloRowTexts(const TsloOrderInfo& r, const std::string& securityName, bool fourDecimals);

std::string CsvLine(const std::vector<std::string>& fields);

// The books of the clients by client code. UI thread only.
std::shared_ptr<const TsloBook> TsloBookOf(const std::string& clientCode);
void SetTsloBook(const std::string& clientCode, std::shared_ptr<const TsloBook> book);
void ClearTsloBooks();
// After a re-download: every stored order's security index is found again by
// token and exchange (-1 when the security is gone). Called by the reload
// notice the stored books register with.
void FollowTsloBooks(const SecurityTable& before, const SecurityTable& after);

// The securities of the stored books' orders (any thread). Storing or
// clearing a book registers them with the feed under this source name, so
// their prices arrive while no window shows them.
inline constexpr const char* kTsloSubscriptionSource = "trailing orders";
std::vector<int> TsloBookSecurities();
