#pragma once
// What order entry reads of one security: a copy of the master row's fixed
// part and its quote at the time of the copy, so that a check never reads a
// row twice and sees two different values.
#include "app/base/LegValue.h"

#include <string>

struct OrderSecurity {
    int index = -1;
    int token = 0;
    int wtoken = 0;      // second token
    int scripCode = 0;   // the exchange's scrip code (not the token)
    std::string symbol;
    std::string displayKey;
    std::string series;  // instrument / series code ("EQ", "BE", "FS", ...)
    std::string exchange; // "NN", "BN", "CN", "CB", "MC", ...
    int derivative = 0;  // F&O flag (also the segment value)
    int currency = 0;    // four decimals, quantities in lots
    int commodity = 0;   // quantities in lots, tick in paise
    int marketLot = 0;
    int tickSize = 0;    // 1/10000 rupee; paise for a BSE derivative and for "NC" and "MC"
    int lotUnits = 1;    // units per lot (the master's multiplier)
    int denominator = 1; // price denominator
    double strike = 0;   // strike price of an option (0 for others)
    double bid = 0;      // paise
    double ask = 0;
    double ltp = 0;
    int alertFlag1 = 0;
    int alertFlag2 = 0;
    std::string alertText;
    std::string priceUnit;
    std::string priceQuantity;

    bool valid() const { return index >= 0; }
    // Entered in lots: derivative, currency or commodity.
    bool inLots() const { return derivative || currency || commodity; }
    bool bseDerivative() const { return exchange == "BN" && derivative == 1; }
    // The tick in rupees, for the price step (0 without a tick).
    double tickRupees() const;
    // What its quantities are worth (units per lot and denominator).
    ContractSize contract() const { return {commodity != 0, lotUnits, denominator}; }
};

// A copy of the published table's row (an invalid record for a bad index).
OrderSecurity OrderSecurityAt(int index);

// The table's look-ups for order entry; each returns a row or -1.

// The row of a security by what identifies it across reloads of the master:
// its exchange token and exchange code.
int OrderSearchToken(int token, const std::string& exchange);

// The exchanges a typed symbol is looked for on, in this order, after the
// form's own exchange: the order of the form's exchange list.
inline constexpr const char* kOrderExchangeOrder[] = {"NN", "BN", "CN", "MC"};

// A symbol on one exchange: the row of that series when given and present,
// else the symbol's cash row (an equity, not a derivative, currency,
// commodity or index), else, unless cashOnly, its first row there.
int OrderFindOnExchange(const std::string& symbol, const std::string& exchange, const std::string& series,
                        bool cashOnly);
// The same instrument on another exchange, by the order form's rule: an
// equity's series differs between the exchanges, so its cash row stands for
// it there; a security entered in lots needs its own series. -1 when none.
int OrderTwinOnExchange(const OrderSecurity& sec, const std::string& exchange);
// A symbol or scrip code typed into the order form: on the given exchange
// (the form's choice; empty for none) first, then on the exchanges of
// kOrderExchangeOrder, then anywhere.
int OrderResolveTyped(const std::string& text, const std::string& exchange);
