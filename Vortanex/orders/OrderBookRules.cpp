#include "orders/OrderBookRules.h"

#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace order_book_rules_detail {
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
} // namespace order_book_rules_detail

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
    // The priced quantities behind each side's value: every row counts with
    // its own contract, so an average is a price whatever the rows mix.
    double buyUnits = 0, sellUnits = 0;
    for (const auto& [rec, sec] : rows) {
        const long long q = rec.total_qty;
        const double p = rec.price;
        const bool buy = rec.buy_sell[0] == 'B';
        long long qty = q;
        double units = 0;
        const std::string_view exch = FixedTextView(rec.exchange);
        if (sec.currency) {
            s.currency = true;
            qty = sec.lotUnits > 0 ? q * sec.lotUnits : q;
            units = double(qty);
        } else if (order_book_rules_detail::lotPricedExchange(exch)) {
            WriteLog(0, buy ? "Buy order summary" : "Sell order summary");
            WriteLog(0, order_book_rules_detail::format("quantity = [%lld] * market lot = [%d] * multiplier = [%d]/ denominator = "
                                       "[%d],order price =[%.2lf]",
                                       q, sec.marketLot, sec.lotUnits, sec.denominator, p));
            const ContractSize contract {true, sec.lotUnits, sec.denominator};
            if (!CanPrice(contract))
                WriteLog(0, "Order summary: denominator 0, order " + std::to_string(rec.order_no)
                                + " counts its quantity only");
            else
                units = PricedUnits(contract, q * sec.marketLot);
        } else {
            units = double(q);
        }
        const double value = units * p;
        if (buy) {
            s.buyQty += qty;
            s.buyValue += value;
            buyUnits += units;
        } else {
            s.sellQty += qty;
            s.sellValue += value;
            sellUnits += units;
        }
    }
    auto average = [](double value, long long qty, double units) {
        if (qty < 1 || units <= 0)
            return 0.0;
        return value / units;
    };
    s.buyAvg = average(s.buyValue, s.buyQty, buyUnits);
    s.sellAvg = average(s.sellValue, s.sellQty, sellUnits);
    return s;
}

std::string OrderSummaryText(const OrderSummary& s)
{
    std::string text = order_book_rules_detail::format(" %15s : %13lld %15s : %13lld\n", "Buy Qty", s.buyQty, "Sell Qty", s.sellQty);
    text += order_book_rules_detail::format(" %15s : %10.2lf %15s : %10.2lf\n", "Buy Value", order_book_rules_detail::clean(s.buyValue), "Sell Value",
                           order_book_rules_detail::clean(s.sellValue));
    text += order_book_rules_detail::format(s.currency ? " %15s : %10.4lf %15s : %10.4lf\n" : " %15s : %10.2lf %15s : %10.2lf\n",
                           "Buy Avg", order_book_rules_detail::clean(s.buyAvg), "Sell Avg", order_book_rules_detail::clean(s.sellAvg));
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
