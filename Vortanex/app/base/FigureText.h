#pragma once
// The text of a figure in a window, a message or an export: the same rule
// for every price, value and P&L the program shows.
#include <string>
#include <string_view>

// `decimals` decimals (2, or 4 for a currency), no sign on a value that
// rounds to zero ("0.00", never "-0.00"), and 0 for a value that is not a
// number.
std::string figureText(double value, int decimals);

// The decimals of a security's prices, values and P&L: four for the currency
// segments (NSE-FX, BSE-CDX, MCX-CM), two for every other. The security's own
// currency flag decides (1 or 0); a figure whose security is not known
// (-1) goes by its exchange code: "CN", "CB" and "MC" are the currency
// segments.
int figureDecimals(int currencyFlag, std::string_view exchange = {});

// figureText with the decimals of figureDecimals.
std::string securityFigureText(double value, int currencyFlag, std::string_view exchange = {});
