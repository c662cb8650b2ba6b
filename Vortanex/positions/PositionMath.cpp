#include "positions/PositionMath.h"

#include "app/base/BoundedNumber.h"
#include "app/base/FigureText.h"

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
    return securityFigureText(value, currency ? 1 : 0);
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

ContractSize ContractOf(const RiskSecurityFacts& s)
{
    return {s.commodity, s.price_multiplier, DivisorOf(s.price_divisor)};
}

double PricedQuantity(const RiskSecurityFacts& s, double lots)
{
    // Lots x market lot units; a commodity's units count by its contract.
    return PricedUnits(ContractOf(s), 1) * lots * DivisorOf(s.lot);
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
        if (A > 0 && L > 0)
            pl = PricedQuantity(s, static_cast<double>(q)) * (L - A);
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
    const double q = PricedQuantity(s, qty);
    if (q == 0 || !std::isfinite(q))
        return 0;
    return cutToFourDecimals(value / q / DivisorOf(multiplier));
}

double TodaysOpenAverage(double value, int qty, const RiskSecurityFacts& s, double multiplier)
{
    // An open quantity is priced as a traded one: its average is a price.
    return TodaysAverage(value, qty, s, multiplier);
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
    const double priced = PricedQuantity(s, r.net_qty);
    const double multiplier = DivisorOf(r.multiplier);
    double pl = 0;
    if ((r.product_code == 5 || r.product_code == 8) && !s.currency) {
        if (r.avg_price > 0)
            pl = (L - r.avg_price) * priced * (s.commodity ? multiplier : 1.0);
    } else if (r.net_qty > 0) {
        pl = (L - TodaysPlBuyAverage(r, s)) * priced * multiplier;
    } else if (r.net_qty < 0) {
        pl = (L - TodaysPlSellAverage(r, s)) * priced * multiplier;
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
