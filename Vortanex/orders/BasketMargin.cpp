#include "orders/BasketMargin.h"

#include "app/base/FigureText.h"
#include "app/base/LogWriter.h"
#include "app/base/WholeNumber.h"
#include "watch/base/TextSplit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace basket_margin_detail {
namespace {

constexpr const char* kBad = "`~!@#$%^&*()_-=+\\|;:\"'[]{}<,>/? ";

std::string trim(const std::string& s)
{
    const size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

bool isOption(const std::string& series) { return series == "OS" || series == "OC" || series == "OI"; }

std::string formatMoney(const char* fmt, double v)
{
    char text[160];
    std::snprintf(text, sizeof text, fmt, v == 0 ? 0.0 : v);
    return text;
}

} // namespace
} // namespace basket_margin_detail

bool PrepareBasketMargin(const BasketMarginInput& in, const std::function<OrderSecurity(int)>& security,
                         std::vector<BasketMarginLeg>& legs, BasketFailure& stop, std::string& immediate)
{
    legs.clear();
    stop = {};
    immediate.clear();
    const std::string client = basket_margin_detail::trim(in.client);
    if (client.empty() || client.find_first_of(basket_margin_detail::kBad) != std::string::npos) {
        stop.text = "Please Select proper Client to calculate required margin";
        stop.focus = BasketField::Client;
        return false;
    }
    for (int k = 0; k < kBasketLegCount; ++k) {
        const BasketLegRow& row = in.legs[size_t(k)];
        if (in.selector == 6 ? !row.selected : in.selector != k + 1)
            continue;
        stop.leg = k;
        const OrderSecurity sec = row.secIndex >= 0 && security ? security(row.secIndex) : OrderSecurity {};
        if (!sec.valid()) {
            stop.text = "Please select Security for calculating required margin";
            return false;
        }
        const std::string qtyText = basket_margin_detail::trim(row.quantity);
        const long long q = ParseWholeNumber(qtyText).value_or(0);
        if (q < 1) {
            stop.text = "Please enter Quantity to calculate required margin";
            stop.focus = BasketField::Quantity;
            stop.selectText = true;
            return false;
        }
        if (sec.marketLot <= 0 || q % sec.marketLot != 0) {
            char text[128];
            std::snprintf(text, sizeof text, "Please enter Quantity in mulitple of Market Lot :%d", sec.marketLot);
            stop.text = text;
            stop.focus = BasketField::Quantity;
            stop.selectText = true;
            return false;
        }
        const std::string price = basket_margin_detail::trim(row.price);
        bool badPrice = price.empty() || std::count(price.begin(), price.end(), '.') > 1;
        for (char c : price)
            badPrice |= (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || std::strchr(basket_margin_detail::kBad, c) != nullptr;
        if (badPrice) {
            stop.text = "Please enter valid Price to calculate required margin";
            stop.focus = BasketField::Price;
            stop.selectText = true;
            return false;
        }
        if (row.action != "BUY" && row.action != "SELL") {
            stop.text = "Please enter proper action to calculate required margin";
            stop.focus = BasketField::Price;
            return false;
        }
        // The commodity formulas divide by the price denominator: a master
        // row without one cannot be priced.
        if (!CanPrice(sec.contract())) {
            stop.text = "Price denominator of the security is 0. Margin cannot be calculated.";
            return false;
        }
        BasketMarginLeg leg;
        leg.leg = k;
        leg.sec = sec;
        leg.quantity = q;
        leg.sell = row.action == "SELL";
        leg.kind = sec.currency ? 2 : sec.derivative ? 1 : 0;
        double p = std::strtod(price.c_str(), nullptr);
        if (basket_margin_detail::isOption(sec.series) && !sec.currency && !leg.sell) {
            // An option purchase needs its premium only.
            leg.margin = double(q) * p;
            if (in.selector != 6) {
                immediate = basket_margin_detail::formatMoney("Required Margin to place this order is %.2lf", leg.margin);
                return false;
            }
            leg.queryNeeded = false;
        }
        // An option sold is priced at its strike (one without a strike keeps
        // the entered price).
        if (basket_margin_detail::isOption(sec.series) && leg.sell && sec.strike > 0)
            p = sec.strike;
        if (p <= 0)
            p = sec.ltp / 100;
        leg.price = p;
        char text[256];
        std::snprintf(text, sizeof text, "RiskData=%ld|%s|%s|%s|%s|%ld|%ld|%s|%ld", 405L, in.clientId.c_str(),
                      in.userId.c_str(), client.c_str(), client.c_str(), 4L, long(sec.token), sec.exchange.c_str(),
                      long(leg.kind));
        leg.text = text;
        legs.push_back(std::move(leg));
    }
    stop = {};
    return true;
}

double BasketLegMargin(const BasketMarginLeg& leg, double multiple)
{
    // The reference-rate factor f. The master sets none but 1 (and 0 on a row
    // without a watch token, which would price every margin at nothing); the
    // rate the reference-rate update writes later converts cross-currency
    // prices and is not this factor: the order form's margin of the same leg
    // uses none either.
    const double f = 1.0;
    const double value = double(leg.quantity) * leg.price;
    double margin = leg.sec.series == "OC" && !leg.sell ? f * value : f * value / multiple;
    if (leg.sec.commodity) {
        // The leg's worth in the contract's units (PrepareBasketMargin
        // refused a row without a denominator). A "CO" bought needs its
        // premium, a "CO" sold its value at the strike over the rate.
        const bool co = leg.sec.series == "CO";
        const double legValue = LegValue(leg.sec.contract(), leg.quantity, co && leg.sell ? leg.sec.strike : leg.price);
        margin = co && !leg.sell ? legValue : legValue / multiple;
    }
    return margin;
}

BasketMarginStep ReadBasketMarginReply(int status, const std::string& reply, const BasketMarginLeg& leg,
                                       const std::string& client)
{
    BasketMarginStep s;
    if (reply.empty()) {
        s.kind = BasketMarginStep::Stop;
        s.box = "No response received from server";
        return s;
    }
    if (status == 407 || status != 200) {
        char text[128];
        if (status == 407)
            std::snprintf(text, sizeof text, "Proxy Authentication Failed");
        else
            std::snprintf(text, sizeof text, "Internet Connectivity Error [%d]. Pls contact System Administrator",
                          status);
        s.box = text;
        return s;
    }
    std::vector<std::string> f;
    SplitString(reply, '|', f);
    if (f.size() < 4) {
        WriteLog(0, "Incomplete response received [" + reply + "]");
        return s;
    }
    if (f[0] != "455") {
        s.kind = BasketMarginStep::Stop;
        s.box = "Invalid response received from server";
        return s;
    }
    if (f[1] != "0") {
        s.kind = BasketMarginStep::Stop;
        s.box = f[2];
        s.caption = "Error";
        WriteLog(0, f[2]);
        return s;
    }
    if (f.size() < 9)
        return s;
    if (f[3] != client || f[5] != std::to_string(leg.sec.token) || f[6] != leg.sec.exchange
        || f[7] != std::to_string(leg.kind)) {
        WriteLog(0, "Mismatch in data sent and received [" + client + "][" + f[3] + "] [" + std::to_string(leg.sec.token)
                        + "][" + f[5] + "] [" + leg.sec.exchange + "][" + f[6] + "] [" + std::to_string(leg.kind) + "]["
                        + f[7] + "]");
        s.box = "Mismatch in the send received data values";
        s.caption = "Server Error";
        return s;
    }
    const double m = std::strtod(f[8].c_str(), nullptr);
    if (!(m > 0)) {
        s.box = "Zero multiple value received from server";
        return s;
    }
    s.kind = BasketMarginStep::Add;
    s.margin = BasketLegMargin(leg, m);
    s.four = leg.kind == 2;
    return s;
}

std::string BasketMarginText(double total, bool allLegs, bool four)
{
    return (allLegs ? "Total Required Margin to place this basket order is "
                    : "Required Margin to place this individual order is ")
        + securityFigureText(total, four ? 1 : 0);
}
