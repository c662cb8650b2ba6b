// The order form's price and quantity helpers: the lot size and price text
// of the chosen security, lots typed into a quantity, the quantity and price
// spin steps (a held key's step growing after a while), and the stop-loss
// trigger that follows the price.
#include "orders/CDlgOrderFormExp.h"

#include "app/base/AppSettings.h"
#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "app/base/WholeNumber.h"
#include "orders/OrderFormIds.h"
#include "orders/OrderValidation.h"

#include "pf/clock.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace dlg_order_form_steps_detail {
namespace {

int toInt(const std::string& s) { return static_cast<int>(std::strtol(s.c_str(), nullptr, 10)); }
double toDouble(const std::string& s) { return std::strtod(s.c_str(), nullptr); }

} // namespace
} // namespace dlg_order_form_steps_detail

using namespace orderform;

int CDlgOrderFormExp::lotSize(const OrderSecurity& sec) const
{
    return sec.currency ? sec.lotUnits : sec.marketLot;
}

std::string CDlgOrderFormExp::priceText(double rupees, const OrderSecurity& sec) const
{
    if (rupees <= 0)
        return "0";
    return formatText(sec.currency ? "%0.4lf" : "%0.2lf", rupees);
}

// Typed lots give the quantity the checks read.
void CDlgOrderFormExp::readLots()
{
    const OrderSecurity sec = security();
    if (!sec.valid() || !sec.inLots())
        return;
    // Lots that are not a whole number, or whose quantity is longer than the
    // box's 9 digits (the box would cut it), give no quantity, which OK refuses.
    const std::optional<long long> lots = ParseWholeNumber(text(kLots));
    const long long quantity = lots ? *lots * lotSize(sec) : -1;
    setText(kQuantity, quantity >= 0 && quantity <= 999'999'999 ? std::to_string(quantity) : std::string());
}

void CDlgOrderFormExp::StepQuantity(int direction)
{
    const OrderSecurity sec = security();
    if (!sec.valid())
        return;
    const bool lots = sec.inLots();
    int v = dlg_order_form_steps_detail::toInt(text(lots ? kLots : kQuantity));
    const int limit = g_AppSettings.order_qty_limit > 0 ? g_AppSettings.order_qty_limit : 5000;
    if (direction < 0)
        v = std::max(0, v - m_nQtyStep);
    else if (direction > 0 && v + m_nQtyStep <= limit)
        v += m_nQtyStep;
    if (lots) {
        setText(kLots, std::to_string(v));
        setText(kQuantity, std::to_string(static_cast<long long>(v) * lotSize(sec)));
    } else {
        setText(kQuantity, std::to_string(v));
    }
}

void CDlgOrderFormExp::StepQuantityHeld(int direction)
{
    // A key held down repeats within a fraction of a second; after 3 s of
    // holding the step grows from one unit to the quantity step (the market
    // lot, 1 for a security traded in lots).
    const int64_t now = pf::clock().steadyMillis();
    if (direction != m_nHoldDirection || now - m_nHoldLastMs > 600)
        m_nHoldStartMs = now;
    m_nHoldDirection = direction;
    m_nHoldLastMs = now;
    const int normal = m_nQtyStep;
    m_nQtyStep = now - m_nHoldStartMs > 3000 ? normal : 1;
    StepQuantity(direction);
    m_nQtyStep = normal;
}

double CDlgOrderFormExp::OrderValueLimit()
{
    return g_AppSettings.order_value_limit > 0 ? g_AppSettings.order_value_limit : 1000000;
}

void CDlgOrderFormExp::StepPrice(int direction)
{
    const OrderSecurity sec = security();
    if (!sec.valid() || !isEnabled(kPrice))
        return;
    const double v = dlg_order_form_steps_detail::toDouble(text(kPrice));
    const double next = PriceSpinStep(v, direction, m_dPriceStep, OrderValueLimit());
    if (next == v && direction > 0)
        return; // at the Order Value Limit: the price stays as typed
    setText(kPrice, formatText(sec.currency ? "%.4lf" : "%.2lf", next));
    if (m_nModeCopy == 1)
        UpdateStopLossTrigger();
}

void CDlgOrderFormExp::UpdateStopLossTrigger()
{
    const std::string markName = text(kOrderMark);
    int id = -1;
    const int n = std::min<int>(pv_user_info.segment_count, static_cast<int>(pv_user_info.segments.size()));
    for (int i = 0; i < n; ++i) {
        const ExchangeSegment& m = pv_user_info.segments[static_cast<size_t>(i)];
        if (FixedTextView(m.name) == markName) {
            id = m.id;
            break;
        }
    }
    const double pct = g_AppSettings.stoploss_percent;
    if ((id != 5 && id != 8) || pct <= 0 || m_nModeCopy != 1)
        return;
    const OrderSecurity sec = security();
    if (!sec.valid()) {
        setText(kTrigger, "0");
        return;
    }
    double base = dlg_order_form_steps_detail::toDouble(text(kPrice));
    if (base <= 0)
        base = sec.ltp / 100;
    double trigger = m_cSide == 'B' ? base - base * pct / 10000 : m_cSide == 'S' ? base + base * pct / 10000 : 0;
    if (trigger <= 0 || sec.currency) {
        setText(kTrigger, "0");
        return;
    }
    long long paise = RoundedUnits(trigger * 100);
    // The tick in paise, whichever unit the master gives it in (paise for a
    // BSE derivative and for "NC" and "MC").
    const long long t = RoundedUnits(sec.tickRupees() * 100);
    // Moved up to the next whole tick; without a whole tick in paise the
    // trigger is left as computed.
    if (t >= 1 && paise % t != 0)
        paise += t - paise % t;
    setText(kTrigger, formatText("%.2lf", static_cast<double>(paise) / 100));
}
