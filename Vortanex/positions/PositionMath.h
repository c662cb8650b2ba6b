#pragma once
// Every profit-and-loss and average formula of the risk window in one place,
// so that the grid fills, the reply reading and the live updates from the feed
// compute the same numbers. Divisors of 0 count as 1 (a market lot, a price
// divisor or a multiplier of 0 would otherwise divide by zero); averages over
// a quantity of 0 are 0; results are never -0.
#include "app/base/LegValue.h"
#include "server/RiskRecords.h"
#include "positions/RiskReplies.h"

#include <string>

namespace PositionMath {

// x, with -0 turned into 0.
double NoNegativeZero(double x);
// "%0.4lf" for a currency security, "%0.2lf" otherwise; never "-0.00".
std::string FormatPrice(double value, bool currency);
// printf of one double with the given format, never "-0..." for a value that
// rounds to zero.
std::string FormatNumber(const char* format, double value);
// "%d" of a quantity.
std::string FormatQty(long qty);

// The value as a divisor: 0 counts as 1.
int DivisorOf(int value);
double DivisorOf(double value);

// The contract's size as the order form and the margins count it (a price
// divisor of 0 counts as 1).
ContractSize ContractOf(const RiskSecurityFacts& s);
// The priced quantity of a number of lots: lots x market lot, for a
// commodity times its units per lot / price divisor.
double PricedQuantity(const RiskSecurityFacts& s, double lots);

// The quantity of a basket leg made from a position's net quantity: its
// absolute value, times the units per lot for a currency security and the
// market lot for a commodity (their positions count lots, a basket leg counts
// what the basket form divides back into lots). A factor of 0 counts as 1;
// computed in 64 bits.
long long BasketLegQuantity(long long netQty, const RiskSecurityFacts& s);

// The last price in rupees (0 stays 0).
double LastRupees(const RiskSecurityFacts& s);

// True for an option series ("OS", "OI", "OC", "CO").
bool IsOptionSeries(const std::string& series);

// Unrealised profit and loss of an open position at last price L (rupees):
// the same formula for the grid fill and every tick.
double OpenPositionPl(const PositionRecord& p, const RiskSecurityFacts& s, double L);

// The average rate of a traded (or open) quantity of a today's position:
// value ÷ priced quantity ÷ multiplier; cut to four decimals; 0 when the
// quantity is 0.
double TodaysAverage(double value, int qty, const RiskSecurityFacts& s, double multiplier);
// The grid's average column: options show the server's average.
double TodaysBuyAverage(const TodaysPositionRecord& r, const RiskSecurityFacts& s);
double TodaysSellAverage(const TodaysPositionRecord& r, const RiskSecurityFacts& s);
// The averages the profit and loss uses: an option's are the server's; other
// series take the computed average when the traded quantity is not 0, else
// the server's.
double TodaysPlBuyAverage(const TodaysPositionRecord& r, const RiskSecurityFacts& s);
double TodaysPlSellAverage(const TodaysPositionRecord& r, const RiskSecurityFacts& s);
// The average of an open (unfilled) quantity in the grid.
double TodaysOpenAverage(double value, int qty, const RiskSecurityFacts& s, double multiplier);

// Unrealised profit and loss of a today's position whose ltp is set, from its
// net quantity: the same formula when the reply is read and on every tick.
double TodaysPl(const TodaysPositionRecord& r, const RiskSecurityFacts& s);

// A tick for a today's position: ltp, net quantity and value from the traded
// ones, then the profit and loss. Returns the change of unrealised_pl.
double ApplyTodaysTick(TodaysPositionRecord& r, const RiskSecurityFacts& s, double L);

} // namespace PositionMath
