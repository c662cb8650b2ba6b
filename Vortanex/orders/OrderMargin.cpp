#include "orders/OrderMargin.h"

#include "app/base/FigureText.h"
#include "app/base/MessageBox.h"
#include "app/base/TextFormat.h"
#include "watch/base/TextSplit.h"

#include <cctype>
#include <cstdlib>
#include <vector>

namespace order_margin_detail {
namespace {

bool isOption(const std::string& inst) { return inst == "OS" || inst == "OC" || inst == "OI"; }

// A client code: more than 4 characters, letters, digits and full stops only.
bool clientCodeOk(const std::string& code)
{
    if (code.size() <= 4)
        return false;
    for (char c : code) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isspace(u) || (std::ispunct(u) && c != '.') || !std::isprint(u))
            return false;
    }
    return true;
}

// A price text: digits and full stops only (a sign or a letter is refused).
bool priceTextOk(const std::string& text)
{
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.')
            return false;
    return true;
}

bool exchangeOk(const std::string& name)
{
    for (const char* known : {"NSE", "BSE", "NSE-FX", "BSE-CDX", "MCX-CM"})
        if (name == known)
            return true;
    return false;
}

long toLong(const std::string& s) { return std::strtol(s.c_str(), nullptr, 10); }

MarginMessage plain(std::string text) { return {std::move(text), {}, MsgOk}; }

} // namespace
} // namespace order_margin_detail

std::string MarginText(double margin, int segmentKind)
{
    return "Required Margin to place this order is " + securityFigureText(margin, segmentKind == 2 ? 1 : 0);
}

namespace {
constexpr const char* kNoDenominator = "Price denominator of the security is 0. Margin cannot be calculated.";
} // namespace

MarginPlan PlanMargin(const MarginInput& in)
{
    MarginPlan p;
    const OrderSecurity& sec = in.security;
    if (in.terminalLocked) {
        p.refusal = order_margin_detail::plain("Terminal is Locked. Pls Unlock to calculate margin.");
        p.cancelForm = true;
        return p;
    }
    if (!sec.valid()) {
        p.refusal = {"Please select security to calculate margin", "Validation failed", MsgOk | MsgIconWarning};
        return p;
    }
    if (!order_margin_detail::clientCodeOk(in.clientCode)) {
        p.refusal = order_margin_detail::plain("Please Select proper Client to calculate margin");
        p.focus = MarginFocus::Client;
        return p;
    }
    if (!order_margin_detail::exchangeOk(in.exchangeText)) {
        p.refusal = order_margin_detail::plain("Please Select proper exchange to calculate margin");
        p.focus = MarginFocus::Exchange;
        return p;
    }
    // A negative quantity is no more an order than 0 is.
    if (in.quantity <= 0) {
        p.refusal = order_margin_detail::plain("Please enter Quantity to calculate margin");
        p.focus = MarginFocus::Quantity;
        return p;
    }
    if (!order_margin_detail::priceTextOk(in.priceText)) {
        p.refusal = order_margin_detail::plain("Please enter Price to calculate margin");
        p.focus = MarginFocus::Price;
        p.selectPrice = true;
        return p;
    }
    p.price = std::strtod(in.priceText.c_str(), nullptr);
    if (p.price == 0)
        p.price = sec.ltp / 100.0;
    p.segmentKind = sec.currency ? 2 : (sec.derivative != 0 ? 1 : 0);
    const bool sell = in.sideIndex == 1;
    if (order_margin_detail::isOption(sec.series)) {
        p.ask = true;
    } else if (sell) {
        // A security without a strike (a future, an equity) keeps its price:
        // a strike of 0 would price the margin at nothing.
        if (sec.strike > 0)
            p.price = sec.strike;
        p.ask = true;
    } else if (p.segmentKind == 2) {
        p.ask = true;
    } else {
        // A plain buy needs its value: a commodity's quantity counts its
        // lots, whose worth is the contract's units, not its market lot.
        if (!CanPrice(sec.contract())) {
            p.refusal = order_margin_detail::plain(kNoDenominator);
            return p;
        }
        p.answer = {MarginText(LegValue(sec.contract(), in.quantity, p.price), 0), "Required Margin",
                    MsgOk | MsgIconInformation};
        return p;
    }
    p.request = formatText("RiskData=%ld|%s|%s|%s|%s|%ld|%ld|%s|%ld", 405L, in.clientId.c_str(), in.userId.c_str(),
                           in.clientCode.c_str(), in.clientCode.c_str(), 4L, static_cast<long>(sec.token),
                           sec.exchange.c_str(), static_cast<long>(p.segmentKind));
    return p;
}

bool ComputeMargin(const MarginInput& in, const MarginPlan& plan, double rate, double& margin, std::string& error)
{
    const OrderSecurity& sec = in.security;
    if (rate <= 0) {
        error = "Zero multiple value received from server";
        return false;
    }
    const bool sell = in.sideIndex == 1;
    if (sec.commodity) {
        // The rule divides by the price denominator: a master row without
        // one cannot be priced.
        if (!CanPrice(sec.contract())) {
            error = kNoDenominator;
            return false;
        }
        // A "CO" sold is priced at its strike; a future bought needs its
        // whole value, everything else its value at the rate.
        const bool co = sec.series == "CO";
        const double value = LegValue(sec.contract(), in.quantity, co && sell ? sec.strike : plan.price);
        margin = !co && !sell ? value : value / rate;
        return true;
    }
    // The form's quantity of a currency security already holds its lots x
    // units per lot: the units are not multiplied in a second time.
    const double multiplier = sec.currency || sec.lotUnits <= 0 ? 1.0 : sec.lotUnits;
    const double value = in.quantity * plan.price;
    margin = sec.series == "OC" || sell ? value / rate * multiplier : value * multiplier;
    return true;
}

MarginOutcome ReadMarginReply(const MarginInput& in, const MarginPlan& plan, std::string_view reply)
{
    MarginOutcome out;
    if (reply.empty()) {
        out.message = order_margin_detail::plain("No response received from server");
        return out;
    }
    std::vector<std::string> f;
    SplitString(reply, '|', f);
    if (f.size() < 4) {
        out.logLine = "Incomplete response received [" + std::string(reply) + "]";
        return out;
    }
    if (order_margin_detail::toLong(f[0]) != 455) {
        out.message = order_margin_detail::plain("Invalid response received from server");
        return out;
    }
    if (order_margin_detail::toLong(f[1]) != 0) {
        out.message = {f[2], "Error", MsgOk | MsgIconWarning};
        out.logLine = f[2];
        return out;
    }
    if (f.size() <= 8) {
        // Accepted, but without the rate nothing can be shown.
        out.logLine = "Incomplete response [" + std::string(reply) + "]";
        return out;
    }
    const OrderSecurity& sec = in.security;
    if (f[3] != in.clientCode || order_margin_detail::toLong(f[5]) != sec.token || f[6] != sec.exchange
        || order_margin_detail::toLong(f[7]) != plan.segmentKind || f[5].empty() || f[7].empty()) {
        out.message = {"Mismatch in the send received data values", "Server Error", MsgOk | MsgIconWarning};
        return out;
    }
    const double rate = std::strtod(f[8].c_str(), nullptr);
    std::string error;
    double margin = 0;
    if (!ComputeMargin(in, plan, rate, margin, error)) {
        out.message = order_margin_detail::plain(error);
        return out;
    }
    out.logLine = formatText("Qty %d, Price %lf, Multiple %lf, RBI Ref Rate %lf, Segment : %d,denominator = [%d],"
                             "Multiple = [%d]",
                             in.quantity, plan.price, static_cast<double>(sec.lotUnits), rate, plan.segmentKind,
                             sec.denominator, sec.lotUnits);
    out.hasMargin = true;
    out.margin = margin;
    out.message = {MarginText(margin, plan.segmentKind), "Required Margin", MsgOk | MsgIconInformation};
    return out;
}
