#pragma once
// What order entry reads of one security: a copy of the master row's fixed
// part and its quote at the time of the copy, so that a check never reads a
// row twice and sees two different values.
#include <string>

struct OrderSecurity {
    int index = -1;
    int token = 0;
    int wtoken = 0;      // second token
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
};

// A copy of the published table's row (an invalid record for a bad index).
OrderSecurity OrderSecurityAt(int index);

// The table's look-ups for order entry's Qt side (-1 when not found).
int OrderSearchSymbol(const std::string& symbol, const std::string& exchange, const std::string& series);
int OrderSearchSymbolOrCode(const std::string& text);
