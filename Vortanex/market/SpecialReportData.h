#pragma once
// The special reports without the window: bulk deals of an exchange, the
// foreign institutional investors' activity (FII) and the mutual funds'
// activity (MF). The requests, the exchange codes of the combo, the columns,
// the replies read into rows and chart points, and the list as CSV text.
// Qt-free; callable on any thread (the look-up given to the bulk parse must
// be too).
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sr {

enum Mode : int { kBulkDeals = 1, kFiiActivity = 2, kMfActivity = 3 };

// The combo's fixed exchange list, in order.
const std::vector<std::string>& Exchanges();
// The bulk-deal request's exchange code of a combo text; empty for any text
// without one ("MCX-CM" among them) and for no selection.
std::string ExchangeCode(std::string_view comboText);

// "ReportData=1000|client|user|exchange" (521), "ReportData=1002|client|user"
// (522), "ReportData=1004|client|user" (523); the exchange is used by bulk
// deals only. Empty text and code 0 for another mode.
std::string ReportRequest(int mode, std::string_view clientCode, std::string_view userId,
                          std::string_view exchangeCode);
int ReportTransCode(int mode);

struct Column {
    std::string title;
    bool right = false;
    int width = 80;
};
std::vector<Column> Columns(int mode);

// The window's texts of a mode: its title, the status while fetching and
// after a successful fetch, and the exit log line.
struct ModeTexts {
    std::string title;
    std::string fetching;
    std::string done;
    std::string exitLog;
};
ModeTexts TextsOf(int mode);

// Where a logged line goes and at which level.
struct LogLine {
    int level = 1;
    std::string text;
};

// A security as the bulk-deal rows name it.
struct SecurityName {
    std::string displayKey;
    std::string exchange;
};
// Looks an exchange token up in an exchange; empty when it is not listed.
using TokenLookup = std::function<std::optional<SecurityName>(int token, std::string_view exchange)>;

struct BulkReport {
    std::vector<std::vector<std::string>> rows; // 7 cells each
    std::string status;                          // the status line after the parse
    std::vector<LogLine> logs;
};
// A status-200 bulk-deal reply: header '~' data, '^' records of token, date,
// buy/sell, client name, quantity and price. A record whose token is not
// listed, or that is short of fields, adds no row (and is logged).
BulkReport ParseBulkReply(std::string_view reply, std::string_view exchangeCode, const TokenLookup& lookup);

struct ChartPoint {
    std::string label; // the first two characters of the reporting date
    double value = 0;  // net investment in crores
};
struct ActivityReport {
    bool refused = false;  // the header's status was not 0
    std::string refusal;   // the header's text then
    std::vector<std::vector<std::string>> rows; // 6 cells each
    std::vector<ChartPoint> points;
};
// A status-200 FII or MF reply: the header up to the first '~' (status in
// field 1, text in field 2), then '^' records of six '|' fields, each record
// trimmed. Missing fields leave their cells empty; a record without a net
// investment (field 4) adds no chart point.
ActivityReport ParseActivityReply(std::string_view reply);

// The box and status text of a failed exchange (any status but 200).
std::string HttpErrorText(int status);

// The list as the saved file holds it: a line of the titles, then one line
// per row, every cell followed by ','; a cell holding ',', '"' or a line end
// is quoted with its quotes doubled. No columns: nothing to write (nullopt);
// columns without rows: an empty text.
std::optional<std::string> ReportCsv(const std::vector<std::string>& titles,
                                     const std::vector<std::vector<std::string>>& rows);

} // namespace sr
