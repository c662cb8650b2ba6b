#include "orders/OrderBookRules.h"

#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace detail {
namespace {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, fmt);
    const int n = std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return n < 0 ? std::string() : std::string(buffer, std::min<size_t>(size_t(n), sizeof buffer - 1));
}

// No "-0.00" in a box.
double clean(double v) { return v == 0 ? 0.0 : v; }

bool lotPricedExchange(std::string_view exch) { return exch == "MC" || exch == "NC"; }

} // namespace
} // namespace detail

OrderMenuState OrderMenuStateFor(const OrderInfo& rec)
{
    OrderMenuState state;
    const std::string_view status = FixedTextView(rec.status);
    if (IsOpenOrderStatus(status))
        state.modifyAllowed = true;
    else if (IsFinishedOrderStatus(status))
        state.finished = true;
    else if (IsPendingOrderStatus(status))
        state.pending = true;
    else
        WriteLog(0, "Order status found invalid [" + std::string(status) + "] when user right clicked");
    if (rec.order_mark == kDdsOrderMark)
        state.modifyAllowed = false;
    state.historyAllowed = true;
    return state;
}

OrderSummary SummariseOrders(const std::vector<std::pair<OrderInfo, OrderSecurity>>& rows)
{
    OrderSummary s;
    const OrderSecurity* last = nullptr;
    bool lastLotPriced = false;
    for (const auto& [rec, sec] : rows) {
        const long long q = rec.total_qty;
        const double p = rec.price;
        const bool buy = rec.buy_sell[0] == 'B';
        long long qty = q;
        double value = 0;
        const std::string_view exch = FixedTextView(rec.exchange);
        const bool lotPriced = detail::lotPricedExchange(exch);
        if (sec.currency) {
            s.currency = true;
            qty = sec.lotUnits > 0 ? q * sec.lotUnits : q;
            value = double(qty) * p;
        } else if (lotPriced) {
            WriteLog(0, buy ? "Buy order summary" : "Sell order summary");
            WriteLog(0, detail::format("quantity = [%lld] * market lot = [%d] * multiplier = [%d]/ denominator = "
                                       "[%d],order price =[%.2lf]",
                                       q, sec.marketLot, sec.lotUnits, sec.denominator, p));
            if (sec.denominator == 0)
                WriteLog(0, "Order summary: denominator 0, order " + std::to_string(rec.order_no)
                                + " counts its quantity only");
            else
                value = p * (double(q) * sec.marketLot * sec.lotUnits / sec.denominator);
        } else {
            value = double(q) * p;
        }
        if (buy) {
            s.buyQty += qty;
            s.buyValue += value;
        } else {
            s.sellQty += qty;
            s.sellValue += value;
        }
        last = &sec;
        lastLotPriced = lotPriced;
    }
    auto average = [&](double value, long long qty) {
        if (qty < 1)
            return 0.0;
        if (lastLotPriced && last) {
            if (last->denominator == 0)
                return 0.0;
            const double units = double(qty) * last->marketLot * last->lotUnits / last->denominator;
            return units == 0 ? 0.0 : value / units;
        }
        return value / double(qty);
    };
    s.buyAvg = average(s.buyValue, s.buyQty);
    s.sellAvg = average(s.sellValue, s.sellQty);
    return s;
}

std::string OrderSummaryText(const OrderSummary& s)
{
    std::string text = detail::format(" %15s : %13lld %15s : %13lld\n", "Buy Qty", s.buyQty, "Sell Qty", s.sellQty);
    text += detail::format(" %15s : %10.2lf %15s : %10.2lf\n", "Buy Value", detail::clean(s.buyValue), "Sell Value",
                           detail::clean(s.sellValue));
    text += detail::format(s.currency ? " %15s : %10.4lf %15s : %10.4lf\n" : " %15s : %10.2lf %15s : %10.2lf\n",
                           "Buy Avg", detail::clean(s.buyAvg), "Sell Avg", detail::clean(s.sellAvg));
    return text;
}

BasketCancelPick PickBasketCancel(const std::vector<OrderInfo>& selected, int selectedCount)
{
    BasketCancelPick pick;
    if (selectedCount <= 0) {
        pick.error = "Please select at least one open order for Cancellation.";
        return pick;
    }
    if (selectedCount > kBasketLegs) {
        pick.error = "You can select max of 5 orders only.";
        return pick;
    }
    for (const OrderInfo& rec : selected) {
        const std::string_view status = FixedTextView(rec.status);
        if ((rec.order_mark == 5 || rec.order_mark == 8) && status == "SLO")
            continue;
        if (rec.order_mark == kDdsOrderMark || !IsOpenOrderStatus(status))
            continue;
        const std::string client(FixedTextView(rec.client_code));
        if (pick.legs.empty()) {
            pick.client = client;
        } else if (client != pick.client) {
            pick.error = "You cannot Cancel orders for multiple clients.";
            pick.destroyForm = true;
            pick.legs.clear();
            return pick;
        }
        if (int(pick.legs.size()) < kBasketLegs)
            pick.legs.push_back(rec);
    }
    return pick;
}
