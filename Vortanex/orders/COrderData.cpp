#include "orders/COrderData.h"

#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"

#include <atomic>
#include <cstdio>

namespace order_data_detail {
namespace {

std::atomic<int> g_nOrdReqNo{0};

std::string num(const char* format, double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

class Record {
public:
    explicit Record(int code) { m_text = std::to_string(code); }
    Record& add(std::string_view field)
    {
        m_text += '|';
        m_text += field;
        return *this;
    }
    Record& add(int v) { return add(std::to_string(v)); }
    Record& add(char c) { return add(std::string_view(&c, 1)); }
    const std::string& text() const { return m_text; }

private:
    std::string m_text;
};

int chooseCode(const COrderData& d, const OrderSecurity& sec, int mode)
{
    const int base = sec.derivative == 1 ? 200 : 100;
    switch (mode) {
    case 1: {
        const bool squareOffRecord =
            d.square_off && (d.order_mark == 5 || d.order_mark == 8 || (d.order_mark == 12 && d.trigger == 0));
        if (squareOffRecord)
            return sec.derivative == 1 ? 204 : 106;
        return base + 1;
    }
    case 2: return base + 2;
    case 3: return base + 3;
    default: return 0;
    }
}

} // namespace
} // namespace order_data_detail

std::string OrderEnvironmentText(std::string_view deviceId)
{
    std::string out;
    for (char c : deviceId)
        if (c != '|' && c != '&' && c != '=')
            out += c;
    return out;
}

OrderRequest BuildOrderRequest(const COrderData& d, const OrderSecurity& sec, const OrderRequestContext& ctx)
{
    OrderRequest out;
    const int code = order_data_detail::chooseCode(d, sec, ctx.mode);
    if (code == 0 || !sec.valid())
        return out;
    const bool fno = code >= 200;
    const char* priceFormat = fno && sec.currency ? "%0.4lf" : "%0.2lf";
    auto price = [priceFormat](double v) { return order_data_detail::num(priceFormat, v); };
    const int token = ctx.userType == 'G' ? sec.wtoken : sec.token;
    const std::string_view clientId = FixedTextView(d.client_id);
    const std::string_view client = FixedTextView(d.client_code);
    const std::string_view exch = FixedTextView(d.exchange);
    const std::string_view validity = FixedTextView(d.validity);
    const std::string orderNo = order_data_detail::num("%.0lf", d.order_no);
    const std::string sor = std::to_string(static_cast<long>(d.sor));

    if (code == 101 && ctx.mode == 1) {
        char line[64];
        std::snprintf(line, sizeof line, "Trigger price = %.2lf", d.trigger);
        WriteLog(0, line);
    }

    order_data_detail::Record r(code);
    switch (code) {
    case 101:
    case 201:
        r.add(clientId).add("N").add("00:00:00:00").add(token).add(exch).add(d.side).add(d.quantity)
            .add(price(d.price)).add(ctx.userId).add(client).add(client).add("00-00-0000").add(d.disclosed)
            .add(price(d.trigger)).add("0").add(validity).add("C").add(d.order_mark).add(d.amo);
        if (code == 201)
            r.add("0").add("").add("");
        else
            r.add("");
        r.add(sor);
        break;
    case 106:
    case 204:
        r.add(clientId).add("N").add("00:00:00:00").add(token).add(exch).add(d.side).add(d.quantity)
            .add(price(d.price)).add(d.order_mark).add(ctx.userId).add(client).add(client).add(d.amo).add("")
            .add(sor);
        break;
    case 102:
    case 202:
        r.add(clientId).add(orderNo).add("N").add("00:00:00:00").add(token).add(exch).add(d.side).add(d.prev_qty)
            .add(price(d.prev_price)).add(d.quantity).add(price(d.price)).add(ctx.userId).add(client).add(client)
            .add("00-00-0000").add(d.disclosed).add(price(d.trigger)).add("0").add(validity).add("C");
        if (code == 202)
            r.add("0");
        r.add("");
        break;
    default: // 103, 203
        r.add(clientId).add(orderNo).add(token).add(exch).add(ctx.userId).add(client).add(client).add("");
        break;
    }
    r.add("4").add(OrderEnvironmentText(ctx.environment));
    out.code = code;
    out.text = "NoOfOrders=1&OrderData1=" + r.text();
    return out;
}

int TakeOrderRequestNumber() { return order_data_detail::g_nOrdReqNo.fetch_add(1); }
int PeekOrderRequestNumber() { return order_data_detail::g_nOrdReqNo.load(); }
void ResetOrderRequestNumber() { order_data_detail::g_nOrdReqNo.store(0); }
