#include "market/OptionPricing.h"

#include "app/base/TextFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

double NormalCdf(double x)
{
    constexpr double p = 0.2316419;
    constexpr double b1 = 0.31938153, b2 = -0.356563782, b3 = 1.781477937, b4 = -1.821255978, b5 = 1.330274429;
    constexpr double twoPi = 6.283185307179586;
    const double t = 1.0 / (1.0 + p * std::fabs(x));
    const double poly = t * (b1 + t * (b2 + t * (b3 + t * (b4 + t * b5))));
    const double n = 1.0 - (1.0 / std::sqrt(twoPi)) * std::exp(-x * x / 2.0) * poly;
    return x < 0 ? 1.0 - n : n;
}

void BlackScholes(char kind, double T, double r, double sigma, double& price, double S, double K)
{
    const double sqrtT = std::sqrt(T);
    if (sigma * sqrtT == 0 && S > 0 && K > 0) {
        // No volatility left: the option is worth what it is in the money
        // against the discounted strike (d1 would be 0/0 at the money).
        const double strike = K * std::exp(-r * T);
        price = kind == 'c' ? std::max(S - strike, 0.0) : std::max(strike - S, 0.0);
        return;
    }
    const double d1 = (std::log(S / K) + (r + sigma * sigma * 0.5) * T) / (sigma * sqrtT);
    const double d2 = d1 - sigma * sqrtT;
    if (kind == 'c')
        price = S * NormalCdf(d1) - K * std::exp(-r * T) * NormalCdf(d2);
    else
        price = K * std::exp(-r * T) * NormalCdf(-d2) - S * NormalCdf(-d1);
}

namespace option_pricing_detail {
namespace {

// Upper-case letters, the blank and 31 punctuation characters: no value can
// be negative or carry a unit.
bool refused(char c)
{
    static const char* const punctuation = "`~!@#$%^&*()_-=+\\|;:'\"[]{}<,>/?";
    return (c >= 'A' && c <= 'Z') || c == ' ' || std::strchr(punctuation, c) != nullptr;
}

std::string trimmed(const std::string& s)
{
    const char* ws = " \t\r\n\v\f";
    const size_t a = s.find_first_not_of(ws);
    if (a == std::string::npos)
        return {};
    return s.substr(a, s.find_last_not_of(ws) - a + 1);
}

bool clean(const std::string& s)
{
    for (char c : s)
        if (refused(c))
            return false;
    return true;
}

double value(const std::string& s)
{
    return std::atof(s.c_str());
}

} // namespace
} // namespace option_pricing_detail

OptionCheck CheckOptionInputs(const OptionInputs& in)
{
    using option_pricing_detail::clean;
    using option_pricing_detail::trimmed;
    OptionCheck c;
    const std::string s = trimmed(in.price), k = trimmed(in.strike), d = trimmed(in.days), r = trimmed(in.rate),
                      v = trimmed(in.volatility);
    if (s.empty() || !clean(s))
        return {false, "Please enter Valid Underline Security LTP", 1032};
    if (k.empty())
        return {false, "Please enter Valid Underline Strike Price", 1052};
    if (!clean(k))
        return {false, "Please enter Valid Strike Price", 1052};
    if (d.empty() || !clean(d))
        return {false, "Please enter Valid Days from Expiry", 1048};
    if (r.empty() || !clean(r))
        return {false, "Please enter Valid Interest Rate", 1049};
    if (v.empty() || !clean(v))
        return {false, "Please enter Valid Volatility", 1050};
    c.ok = true;
    c.S = option_pricing_detail::value(s);
    c.K = option_pricing_detail::value(k);
    c.T = (option_pricing_detail::value(d) + 1) / 365;
    c.r = option_pricing_detail::value(r) / 100;
    c.sigma = option_pricing_detail::value(v) / 100;
    return c;
}

OptionCheck CheckOptionValues(const OptionCheck& read)
{
    if (!(read.S > 0) || !std::isfinite(read.S))
        return {false, "Please enter Valid Underline Security LTP", 1032};
    if (!(read.K > 0) || !std::isfinite(read.K))
        return {false, "Please enter Valid Strike Price", 1052};
    return read;
}

std::string OptionPriceText(double price)
{
    if (!std::isfinite(price))
        return "-";
    return formatText("%0.2lf", price == 0 ? 0.0 : price);
}
