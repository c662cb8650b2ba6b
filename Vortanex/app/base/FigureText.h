#pragma once
// The text of a figure in a window, a message or an export: the same rule
// for every price, value and P&L the program shows.
#include <string>

// `decimals` decimals (2, or 4 for a currency), no sign on a value that
// rounds to zero ("0.00", never "-0.00"), and 0 for a value that is not a
// number.
std::string figureText(double value, int decimals);
