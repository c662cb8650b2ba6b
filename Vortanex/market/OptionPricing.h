#pragma once
// The option calculator's arithmetic and input checks: European call and put
// prices by Black-Scholes with the normal distribution of Abramowitz and
// Stegun 26.2.17. Pure functions, Qt-free.
#include <optional>
#include <string>
#include <string_view>

// N(x).
double NormalCdf(double x);

// kind 'c' call, 'p' put; T in years, r and sigma as fractions. The price is
// written to `price` (it may be NaN or infinite for degenerate inputs).
void BlackScholes(char kind, double T, double r, double sigma, double& price, double S, double K);

// The five typed texts in the order they are checked.
struct OptionInputs {
    std::string price, strike, days, rate, volatility;
};
struct OptionCheck {
    bool ok = false;
    std::string message; // the box's text when not ok
    int focus = 0;       // the edit that gets the focus
    double S = 0, K = 0, T = 0, r = 0, sigma = 0;
};
// Validation in order, then the formula's inputs (T = (days + 1) / 365).
OptionCheck CheckOptionInputs(const OptionInputs& in);

// After the checks: a price or a strike that reads as 0 or less (a text of
// lower-case letters reads as 0) prices nothing; the box that holds it is
// named, as the checks name theirs. ok when both are above 0.
OptionCheck CheckOptionValues(const OptionCheck& read);

// The result edit's text: "%0.2lf", or "-" when the price is not finite.
std::string OptionPriceText(double price);
