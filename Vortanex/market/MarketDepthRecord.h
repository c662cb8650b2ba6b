#pragma once
// The depth update of feed code 104 and what the depth window shows of it,
// as pure functions: the feed thread checks the token, the window's timer
// turns the latest record into cell texts. Qt-free.
#include <array>
#include <optional>
#include <string>
#include <string_view>

struct QuoteData;

// What the ladder needs to know of the window's security.
struct DepthSecurityFacts {
    int secondToken = 0;  // the token of the depth subscription
    bool commodity = false; // quantities kept in units, shown in lots
    int marketLot = 0;
    bool currency = false;  // four decimals, quantities as received
};

// One record applied: a cell is nullopt when the record did not carry it
// (the window keeps what it showed); an empty text blanks the cell.
struct MarketDepthLadder {
    bool matched = false; // field 0 is the window's token
    std::optional<double> lastPrice; // rupees
    // Rupees; a level of quantity 0 still carries its price (the baskets use it).
    std::array<std::optional<double>, 5> bidPrice{};
    std::array<std::optional<double>, 5> askPrice{};
    // Rows 0-4 the levels (bid columns 1-3, ask columns 4-6), row 5 the totals
    // in columns 2 and 5; column 0 is the hidden one.
    std::array<std::array<std::optional<std::string>, 7>, 6> cells{};
};

// Field 0 of a record as the feed thread reads it; nullopt when it is no number.
std::optional<int> DepthRecordToken(std::string_view text);

// DisplayMDepth (and DisplayMDepth_Cur for a currency security): one record
// into cell texts. A record for another token matches nothing.
MarketDepthLadder ParseMarketDepthRecord(std::string_view text, const DepthSecurityFacts& facts);

// A quantity as shown: in lots for a commodity (integer division; a market
// lot of 0 or less shows the units as they are).
long long DepthQuantity(long long units, const DepthSecurityFacts& facts);

// The labels beside the ladder, from the security's live quote.
struct DepthLabels {
    std::string open, close, netChange, weightedAverage, totalQuantity, totalValue, openInterest;
    std::string lastTradeQuantity, lastTradeDate, lastTradeTime, lastPrice, percentChange;
};
// localtime: converts epoch seconds to local time (tests fix it).
DepthLabels MakeDepthLabels(const QuoteData& quote, const DepthSecurityFacts& facts);

// The three gauges of the window: today's range, 52-week (cash only) and the
// circuit limits.
struct GaugeScale {
    bool placeholder = false; // a bound at or below 0, or start equal to finish
    double start = 0, finish = 100, step = 100, middle = 50;
    std::string labelFormat; // printf format of the tick labels
    std::string placeholderLabel; // the placeholder's fixed tick label
};
GaugeScale MakeGaugeScale(double start, double finish, bool currency);
// Where the pointer goes for a last price (rupees): nullopt leaves it where it is.
std::optional<double> GaugePointer(const GaugeScale& scale, double lastPrice);

// The display key the six pickers name ("SYM~EQ", "SYM~FI~26DEC26",
// "SYM~OI~26DEC26~24000.00~CE").
std::string PickerDisplayKey(std::string_view symbol, std::string_view type, std::string_view expiry,
                             std::string_view strike, std::string_view optionType);
bool IsFutureType(std::string_view type);
bool IsOptionType(std::string_view type);
// The symbol picker's text without the order keys '+' and '-'.
std::string StripOrderKeys(std::string_view text);

// "%s~%s - Market Depth" with the exchange name; empty for an exchange
// without a name (the caption then stays as it was).
std::string DepthCaption(std::string_view displayKey, std::string_view exchangeCode);
// "NSE", "BSE", "NSE-FX", "BSE-CDX", "MCX-CM"; empty for other codes.
std::string DepthExchangeName(std::string_view exchangeCode);
