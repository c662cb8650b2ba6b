#pragma once
// The market dialog's turnover data without the window: the "mktcaptok"
// request and its reply ('*' records of ',' fields), the records kept by name,
// the grid rows of market turnover (mode 1), indices turnover (mode 2) and an
// index's details (mode 5), the chart figures, the CSV text of a grid and the
// web pages of the security menu. Qt-free; callable on any thread.
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace mt {

struct TurnoverRecord {
    std::string label;
    std::string name; // the map key
    long upCount = 0, downCount = 0, neutralCount = 0, totalCount = 0;
    double upVolume = 0, downVolume = 0, neutralVolume = 0, totalVolume = 0; // crores
    int exchangeId = -1; // modes 2 and 6: 1 NSE, 2 BSE
};
using TurnoverMap = std::map<std::string, TurnoverRecord>;

// "mktcaptok=1" for mode 1, "mktcaptok=2" for every other mode.
std::string TurnoverRequest(int mode);
// The field offset of a mode: 1 in mode 1, 4 otherwise.
int FieldOffset(int mode);

struct TurnoverReply {
    bool ok = false;              // records were read (the map may be unchanged)
    std::string boxText;          // a box to show, empty for none
    std::string boxCaption;
    bool countsAsLoad = false;    // the load count increases (also for a -1 record)
    std::vector<TurnoverRecord> records; // in reply order
};
// A status-200 reply for a mode.
TurnoverReply ParseTurnoverReply(std::string_view reply, int mode);
// Replaces the map entries of the records; returns the names in order.
std::vector<std::string> MergeTurnover(TurnoverMap& map, const std::vector<TurnoverRecord>& records);

struct GridRow {
    std::vector<std::string> cells;
    int image = -1;
};
// Mode 1: "Up", "Down", "Neutral", "Total" of an exchange; empty when the
// map has no such name.
std::vector<GridRow> MarketTurnoverRows(const TurnoverMap& map, const std::string& name);
// Mode 2: the indices of an exchange (1 NSE, 2 BSE) in map order; image 1
// when the down volume is not less than the up volume.
std::vector<GridRow> IndicesTurnoverRows(const TurnoverMap& map, int exchangeId);
// Mode 5: "Volume (in Crores)" and "Stocks" with up, down and neutral.
std::vector<GridRow> IndexDetailRows(const TurnoverRecord& r);

struct Slice {
    std::string name;
    double value = 0;
};
// The pie of an exchange: "UP", "DOWN", "NEUTRAL" without zero slices.
std::vector<Slice> PieSlices(const TurnoverRecord& r);
// -180 when neutral is the largest volume, 180 when down is, else 0.
int PieRotation(const TurnoverRecord& r);

// A grid as CSV: every caption followed by ',' then a line end, every row's
// cells each followed by ','. No rows: an empty text.
std::string GridCsv(const std::vector<std::string>& captions, const std::vector<std::vector<std::string>>& rows);

// Percent-encodes a query value (letters, digits and "-_.~" stay).
std::string PercentEncoded(std::string_view text);
// A value with two decimals, as the lists show them ("-0.00" shows unsigned).
std::string TwoPlaces(double v);
// The company-profile page: "<base>/jsp/EquitySearch.jsp?searchstring=<key>".
std::string CompanyProfileUrl(std::string_view base, std::string_view key);
// The news page: `News_Url` with the symbol in place of "%s" (the default
// when empty); only http and https addresses, else empty.
std::string NewsUrl(std::string_view newsUrl, std::string_view symbol);
// True for an http or https address.
bool IsWebAddress(std::string_view url);

} // namespace mt
