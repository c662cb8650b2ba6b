#pragma once
// What a quantity of a contract is worth in rupees: the one computation that
// the order form's margin, the basket's margin, the order-value check and the
// positions share, so that one leg is never priced two ways.
//
// A commodity's price is quoted for a quantity of its own (GOLD's for 10
// grams) while a lot holds the contract's units (GOLD's 100 grams): a lot is
// worth units per lot / price denominator priced quantities. Every other
// security is priced per unit of the quantity it is counted in.

struct ContractSize {
    bool commodity = false;
    long long unitsPerLot = 1; // a commodity's units per lot (the master's multiplier)
    long long denominator = 1; // a commodity's price is for this many units
};

// The number of priced quantities in `quantity` (a commodity's quantity is
// its lots times its market lot, as the order form's quantity box holds
// it): quantity x units per lot / denominator for a commodity, the quantity
// itself otherwise. A commodity without a denominator (0 or less) cannot be
// priced: 0.
double PricedUnits(const ContractSize& contract, long long quantity);

// PricedUnits x price.
double LegValue(const ContractSize& contract, long long quantity, double price);

// True when the contract can be priced (a commodity needs a denominator).
bool CanPrice(const ContractSize& contract);
