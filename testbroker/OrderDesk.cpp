#include "OrderDesk.h"

#include "pf/clock.h"

#include <cstdio>
#include <cstdlib>

namespace tb {
namespace order_desk_detail {
namespace {

std::vector<std::string> splitBars(const std::string& text)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t bar = text.find('|', start);
        out.push_back(text.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos)
            return out;
        start = bar + 1;
    }
}

std::string at(const std::vector<std::string>& f, size_t i) { return i < f.size() ? f[i] : std::string(); }
int toInt(const std::string& s) { return static_cast<int>(std::strtol(s.c_str(), nullptr, 10)); }
int64_t toInt64(const std::string& s) { return std::strtoll(s.c_str(), nullptr, 10); }

std::string paise(int64_t p)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld.00", static_cast<long long>(p));
    return buf;
}

} // namespace
} // namespace order_desk_detail

OrderDesk::OrderDesk(FeedPush push, LastPrice lastPrice) : m_push(std::move(push)), m_lastPrice(std::move(lastPrice)) {}

void OrderDesk::refuseNext(int times, const std::string& message)
{
    std::lock_guard lock(m_mutex);
    m_refuse = times;
    m_refuseText = message;
}

void OrderDesk::setConfirmations(bool on)
{
    std::lock_guard lock(m_mutex);
    m_confirmations = on;
}

void OrderDesk::setMatching(bool on)
{
    std::lock_guard lock(m_mutex);
    m_matching = on;
}

std::vector<DeskOrder> OrderDesk::orders() const
{
    std::lock_guard lock(m_mutex);
    return m_orders;
}

int OrderDesk::requestCount() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

// The feed's order confirmation: "130," then '|' fields: 1 kind, 2 token,
// 3 exchange, 5 client, 6 side, 7 order number, 9 quantity, 10 price (paise),
// 11 trigger (paise), 13 status (five characters at most), 14 time, 15 exchange order number, 16
// exchange trade number, 21 reason.
std::string OrderDesk::confirmation(const DeskOrder& o, int kind, int qty, const std::string& pricePaise) const
{
    std::vector<std::string> f(22);
    f[0] = std::string(1, '1'); // not = "1": GCC 12 at -O3 misreads that assignment as an overlapping copy
    f[1] = std::to_string(kind);
    f[2] = std::to_string(o.token);
    f[3] = o.exchange;
    f[5] = o.clientCode;
    f[6] = std::string(1, o.side);
    f[7] = std::to_string(o.orderNo);
    f[9] = std::to_string(qty);
    f[10] = pricePaise;
    f[11] = o.triggerPaise;
    f[13] = o.status;
    f[14] = o.time;
    f[15] = "EX" + std::to_string(o.orderNo);
    f[16] = kind == 100 ? "TR" + std::to_string(o.orderNo) : std::string();
    std::string out = "130,";
    for (size_t i = 0; i < f.size(); ++i)
        out += (i ? "|" : "") + f[i];
    return out;
}

namespace {

void recordEvent(DeskOrder& o, const char* action)
{
    DeskEvent e;
    e.action = action;
    e.status = o.status;
    e.quantity = o.quantity;
    e.filled = o.quantity - o.openQty;
    e.pricePaise = o.pricePaise;
    e.triggerPaise = o.triggerPaise;
    const pf::LocalTime t = pf::clock().localNow();
    char when[32];
    std::snprintf(when, sizeof when, "%02d-%02d-%04d %02d:%02d:%02d", t.day, t.month, t.year, t.hour, t.minute,
                  t.second);
    e.time = when;
    o.events.push_back(std::move(e));
    // The confirmations and the books show when it happened.
    std::snprintf(when, sizeof when, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    o.time = when;
    if (o.status == "TRAD" && o.tradeTime.empty()) {
        static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        std::snprintf(when, sizeof when, "%02d-%s-%04d %02d:%02d:%02d", t.day, months[(t.month + 11) % 12], t.year,
                      t.hour, t.minute, t.second);
        o.tradeTime = when;
    }
}

} // namespace

std::string orderHistoryBody(const std::vector<DeskOrder>& orders, const std::string& orderData)
{
    const size_t dash = orderData.find('-');
    const int64_t no = order_desk_detail::toInt64(orderData.substr(0, dash));
    for (const DeskOrder& o : orders) {
        if (o.orderNo != no)
            continue;
        std::vector<std::string> rows;
        for (size_t i = 0; i < o.events.size(); ++i) {
            const DeskEvent& e = o.events[i];
            // Fields 0-14: order no, serial, quantity, price, filled, time,
            // action, status, disclosed, trigger, quantity and time
            // restrictions, (unused), exchange order no, reject reason.
            rows.push_back(std::to_string(o.orderNo) + "|" + std::to_string(i + 1) + "|" + std::to_string(e.quantity)
                           + "|" + e.pricePaise + "|" + std::to_string(e.filled) + "|"
                           + e.time + "|" + e.action + "|" + e.status + "|0|"
                           + (e.triggerPaise.empty() ? std::string("0.00") : e.triggerPaise) + "|" + (o.validity.empty() ? "DAY" : o.validity)
                           + "|" + (o.validity == "IOC" ? "IOC" : "-") + "||" + std::to_string(1100000000 + o.orderNo) + "|"
                           + (e.status == "CAN" ? "Cancelled by user" : "-"));
        }
        std::string body = "505|0|OK~";
        for (size_t i = 0; i < rows.size(); ++i)
            body += (i ? "^" : "") + rows[i];
        return body;
    }
    return "505|1|Order not found";
}

void OrderDesk::tradeLocked(DeskOrder& o, int64_t pricePaise, std::vector<std::string>& pushes)
{
    const int qty = o.openQty;
    o.openQty = 0;
    o.status = "TRAD";
    o.tradedPaise = pricePaise;
    recordEvent(o, "Order Traded");
    pushes.push_back(confirmation(o, 100, qty, order_desk_detail::paise(pricePaise)));
}

std::string OrderDesk::newOrder(int code, const std::vector<std::string>& f, const RequestText& r,
                                const std::string& user, std::vector<std::string>& pushes)
{
    // 101/201: clientid|N|time|token|exch|side|qty|price|userid|cc|cc|date|disc|trigger|0|validity|C|mark|amo...
    // 106/204: clientid|N|time|token|exch|side|qty|price|mark|userid|cc|cc|amo||sor|4|env
    const bool squareOff = code == 106 || code == 204;
    DeskOrder o;
    o.code = code;
    o.clientId = order_desk_detail::at(f, 1);
    o.token = order_desk_detail::toInt(order_desk_detail::at(f, 4));
    o.exchange = order_desk_detail::at(f, 5);
    o.side = order_desk_detail::at(f, 6).empty() ? ' ' : order_desk_detail::at(f, 6)[0];
    o.quantity = o.openQty = order_desk_detail::toInt(order_desk_detail::at(f, 7));
    o.pricePaise = order_desk_detail::at(f, 8);
    if (squareOff) {
        o.orderMark = order_desk_detail::toInt(order_desk_detail::at(f, 9));
        o.userId = order_desk_detail::at(f, 10);
        o.clientCode = order_desk_detail::at(f, 11);
        o.amo = order_desk_detail::at(f, 13).empty() ? 'N' : order_desk_detail::at(f, 13)[0];
        o.triggerPaise = "0.00";
    } else {
        o.userId = order_desk_detail::at(f, 9);
        o.clientCode = order_desk_detail::at(f, 10);
        o.triggerPaise = order_desk_detail::at(f, 14);
        o.validity = order_desk_detail::at(f, 16);
        o.orderMark = order_desk_detail::toInt(order_desk_detail::at(f, 18));
        o.amo = order_desk_detail::at(f, 19).empty() ? 'N' : order_desk_detail::at(f, 19)[0];
    }
    o.environment = f.empty() ? std::string() : f.back();
    const auto it = r.items.find("OrdReqNo");
    o.requestNumber = it == r.items.end() ? -1 : order_desk_detail::toInt(it->second);
    if (o.quantity <= 0 || o.token <= 0)
        return "9999|1|0|0|Invalid order";
    o.orderNo = m_nextOrderNo++;
    m_orders.push_back(o);
    m_users.push_back(user);
    DeskOrder& stored = m_orders.back();
    recordEvent(stored, "Order Placed");
    if (m_confirmations)
        pushes.push_back(confirmation(stored, 0, stored.quantity, stored.pricePaise));
    if (m_matching && std::strtod(stored.pricePaise.c_str(), nullptr) == 0 && m_lastPrice) {
        const int64_t last = m_lastPrice(stored.exchange, stored.token);
        if (last > 0)
            tradeLocked(stored, last, pushes);
    }
    return std::to_string(code) + "|0|" + std::to_string(stored.orderNo) + "|0|Order Placed Successfully. TWXS Order No : "
        + std::to_string(stored.orderNo);
}

std::string OrderDesk::modify(int code, const std::vector<std::string>& f, std::vector<std::string>& pushes)
{
    // clientid|ordno|N|time|token|exch|side|prevqty|prevprice|qty|price|userid|cc|cc|date|disc|trigger|...
    const int64_t no = order_desk_detail::toInt64(order_desk_detail::at(f, 2));
    for (DeskOrder& o : m_orders) {
        if (o.orderNo != no)
            continue;
        if (o.status == "TRAD" || o.status == "CAN")
            return "9999|1|" + std::to_string(no) + "|0|Order is not open";
        const int traded = o.quantity - o.openQty;
        o.openQty = order_desk_detail::toInt(order_desk_detail::at(f, 10));
        o.quantity = o.openQty + traded;
        o.pricePaise = order_desk_detail::at(f, 11);
        o.triggerPaise = order_desk_detail::at(f, 17);
        recordEvent(o, "Order Modified");
        if (m_confirmations)
            pushes.push_back(confirmation(o, 2, o.openQty, o.pricePaise));
        return std::to_string(code) + "|0|" + std::to_string(no) + "|0|Order Modified Successfully";
    }
    return "9999|1|0|0|Order not found";
}

std::string OrderDesk::cancel(int code, const std::vector<std::string>& f, std::vector<std::string>& pushes)
{
    const int64_t no = order_desk_detail::toInt64(order_desk_detail::at(f, 2));
    for (DeskOrder& o : m_orders) {
        if (o.orderNo != no)
            continue;
        if (o.status == "TRAD" || o.status == "CAN")
            return "9999|1|" + std::to_string(no) + "|0|Order is not open";
        o.status = "CAN";
        recordEvent(o, "Order Cancelled");
        if (m_confirmations)
            pushes.push_back(confirmation(o, 3, o.openQty, o.pricePaise));
        return std::to_string(code) + "|0|" + std::to_string(no) + "|0|Order Cancelled Successfully";
    }
    return "9999|1|0|0|Order not found";
}

std::string OrderDesk::reply(const RequestText& request, const std::string& user)
{
    const auto it = request.items.find("OrderData1");
    if (it == request.items.end())
        return {};
    const std::vector<std::string> f = order_desk_detail::splitBars(it->second);
    const int code = order_desk_detail::toInt(order_desk_detail::at(f, 0));
    std::vector<std::string> pushes;
    std::string out;
    {
        std::lock_guard lock(m_mutex);
        ++m_requests;
        if (m_refuse > 0) {
            --m_refuse;
            return "9999|1|0|0|" + m_refuseText;
        }
        switch (code) {
        case 101: case 201: case 106: case 204: out = newOrder(code, f, request, user, pushes); break;
        case 102: case 202: out = modify(code, f, pushes); break;
        case 103: case 203: out = cancel(code, f, pushes); break;
        default: return {};
        }
    }
    for (const std::string& m : pushes)
        if (m_push)
            m_push(user, m);
    return out;
}

void OrderDesk::matchMarket()
{
    std::vector<std::pair<std::string, std::string>> pushes;
    {
        std::lock_guard lock(m_mutex);
        if (!m_matching || !m_lastPrice)
            return;
        for (size_t i = 0; i < m_orders.size(); ++i) {
            DeskOrder& o = m_orders[i];
            if (o.openQty <= 0 || o.status == "CAN" || o.status == "TRAD")
                continue;
            const double limit = std::strtod(o.pricePaise.c_str(), nullptr);
            const int64_t last = m_lastPrice(o.exchange, o.token);
            if (last <= 0)
                continue;
            const bool crossed = limit == 0 || (o.side == 'B' ? last <= limit : last >= limit);
            if (!crossed)
                continue;
            std::vector<std::string> out;
            tradeLocked(o, last, out);
            for (std::string& m : out)
                pushes.emplace_back(m_users[i], std::move(m));
        }
    }
    for (const auto& [user, m] : pushes)
        if (m_push)
            m_push(user, m);
}

} // namespace tb
