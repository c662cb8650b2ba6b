#include "positions/PositionMath.h"

#include "app/base/BoundedNumber.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace PositionMath {

double NoNegativeZero(double x)
{
    return x == 0.0 ? 0.0 : x;
}

std::string FormatNumber(const char* format, double value)
{
    if (!std::isfinite(value))
        value = 0;
    char buf[64];
    std::snprintf(buf, sizeof buf, format, NoNegativeZero(value));
    // A value that rounds to zero at the shown decimals prints "-0.00".
    if (buf[0] == '-') {
        bool zero = true;
        for (const char* p = buf + 1; *p; ++p)
            if (*p >= '1' && *p <= '9')
                zero = false;
        if (zero)
            std::memmove(buf, buf + 1, std::strlen(buf));
    }
    return buf;
}

std::string FormatPrice(double value, bool currency)
{
    return FormatNumber(currency ? "%0.4lf" : "%0.2lf", value);
}

std::string FormatQty(long qty)
{
    return std::to_string(qty);
}

int DivisorOf(int value)
{
    return value == 0 ? 1 : value;
}

double DivisorOf(double value)
{
    return value == 0.0 || !std::isfinite(value) ? 1.0 : value;
}

long CommodityQuotient(const RiskSecurityFacts& s)
{
    if (!s.commodity)
        return 1;
    return static_cast<long>(s.price_multiplier) / DivisorOf(s.price_divisor);
}

long long BasketLegQuantity(long long netQty, const RiskSecurityFacts& s)
{
    const long long qty = netQty < 0 ? -netQty : netQty;
    if (s.currency)
        return qty * DivisorOf(s.price_multiplier);
    if (s.commodity)
        return qty * DivisorOf(s.lot);
    return qty;
}

double LastRupees(const RiskSecurityFacts& s)
{
    return s.last_paise == 0 ? 0.0 : s.last_paise / 100.0;
}

bool IsOptionSeries(const std::string& series)
{
    return series == "OS" || series == "OI" || series == "OC" || series == "CO";
}

double OpenPositionPl(const PositionRecord& p, const RiskSecurityFacts& s, double L)
{
    const double A = p.avg_price;
    const long q = p.net_qty;
    const double V = p.net_value;
    double pl = 0;
    if (s.currency) {
        if (q != 0 && A > 0 && L > 0)
            pl = (L - A) * static_cast<double>(q) * DivisorOf(s.price_multiplier) * DivisorOf(p.multiplier);
    } else if (s.commodity) {
        if (A > 0 && L > 0) {
            // Whole lots only: the quotient is truncated toward zero. The
            // master's sizes times the server's quantity may not fit 64 bits.
            const __int128 units = static_cast<__int128>(s.price_multiplier) * s.lot * q;
            const __int128 quotient = units / DivisorOf(s.price_divisor);
            pl = static_cast<double>(quotient) * (L - A);
        }
    } else if (q != 0) {
        if (p.product_code == 5 || p.product_code == 8) {
            if (A > 0 && L > 0)
                pl = (L - A) * static_cast<double>(q) * DivisorOf(s.price_multiplier);
        } else if (L > 0) {
            if ((q > 0 && V == 0) || (q < 0 && V < 0))
                pl = (L - A) * static_cast<double>(q);
            else
                pl = static_cast<double>(q) * L - V;
        }
    }
    return NoNegativeZero(pl);
}

namespace {

double cutToFourDecimals(double x)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4lf", std::isfinite(x) ? x : 0.0);
    return NoNegativeZero(std::strtod(buf, nullptr));
}

} // namespace

double TodaysAverage(double value, int qty, const RiskSecurityFacts& s, double multiplier)
{
    if (qty == 0)
        return 0;
    const long q = static_cast<long>(qty) * CommodityQuotient(s);
    if (q == 0)
        return 0;
    const double lot = DivisorOf(s.lot);
    return cutToFourDecimals(value / static_cast<double>(q) / lot / DivisorOf(multiplier));
}

double TodaysOpenAverage(double value, int qty, const RiskSecurityFacts& s, double multiplier)
{
    if (qty == 0)
        return 0;
    long q = qty;
    if (s.commodity)
        q = static_cast<long>(static_cast<long long>(qty) * s.lot / DivisorOf(s.price_divisor));
    if (q == 0)
        return 0;
    return cutToFourDecimals(value / static_cast<double>(q) / DivisorOf(s.lot) / DivisorOf(multiplier));
}

double TodaysBuyAverage(const TodaysPositionRecord& r, const RiskSecurityFacts& s)
{
    if (IsOptionSeries(s.series))
        return r.buy_avg;
    return TodaysAverage(r.buy_traded_value, r.buy_traded_qty, s, r.multiplier);
}

double TodaysSellAverage(const TodaysPositionRecord& r, const RiskSecurityFacts& s)
{
    if (IsOptionSeries(s.series))
        return r.sell_avg;
    return TodaysAverage(r.sell_traded_value, r.sell_traded_qty, s, r.multiplier);
}

double TodaysPlBuyAverage(const TodaysPositionRecord& r, const RiskSecurityFacts& s)
{
    if (IsOptionSeries(s.series) || r.buy_traded_qty == 0)
        return r.buy_avg;
    return TodaysAverage(r.buy_traded_value, r.buy_traded_qty, s, r.multiplier);
}

double TodaysPlSellAverage(const TodaysPositionRecord& r, const RiskSecurityFacts& s)
{
    if (IsOptionSeries(s.series) || r.sell_traded_qty == 0)
        return r.sell_avg;
    return TodaysAverage(r.sell_traded_value, r.sell_traded_qty, s, r.multiplier);
}

double TodaysPl(const TodaysPositionRecord& r, const RiskSecurityFacts& s)
{
    const double L = r.ltp;
    const double lot = DivisorOf(s.lot);
    const double net = r.net_qty;
    const double quotient = static_cast<double>(CommodityQuotient(s));
    const double multiplier = DivisorOf(r.multiplier);
    double pl = 0;
    if ((r.product_code == 5 || r.product_code == 8) && !s.currency) {
        if (r.avg_price > 0) {
            pl = (L - r.avg_price) * net * lot;
            if (s.commodity)
                pl *= quotient * multiplier;
        }
    } else if (r.net_qty > 0) {
        pl = (L - TodaysPlBuyAverage(r, s)) * net * lot * multiplier * quotient;
    } else if (r.net_qty < 0) {
        pl = (L - TodaysPlSellAverage(r, s)) * net * lot * multiplier * quotient;
    }
    return NoNegativeZero(std::isfinite(pl) ? pl : 0.0);
}

double ApplyTodaysTick(TodaysPositionRecord& r, const RiskSecurityFacts& s, double L)
{
    r.ltp = L;
    // The traded quantities are the server's: their difference stays an int.
    r.net_qty = BoundedIntSum(r.buy_traded_qty, -static_cast<long long>(r.sell_traded_qty));
    r.net_value = NoNegativeZero(r.buy_traded_value - r.sell_traded_value);
    const double old = r.unrealised_pl;
    r.unrealised_pl = TodaysPl(r, s);
    return r.unrealised_pl - old;
}

} // namespace PositionMath
