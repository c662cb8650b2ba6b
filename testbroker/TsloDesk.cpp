#include "TsloDesk.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tb {
namespace tslo_desk_detail {
namespace {

std::vector<std::string> bars(const std::string& text)
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
double toDouble(const std::string& s) { return std::strtod(s.c_str(), nullptr); }

std::string record(const RequestText& r)
{
    const auto it = r.items.find("OrderData1");
    return it == r.items.end() ? std::string() : it->second;
}

// Rupees of a paise value; -1 stays "-1".
std::string rupees(double paise)
{
    if (paise < 0)
        return "-1";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", paise / 100.0);
    return buf;
}

std::string num(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

bool done(const std::string& status) { return status == "TRAD" || status == "CAN"; }

} // namespace
} // namespace tslo_desk_detail

TsloDesk::TsloDesk(LastPrice lastPrice) : m_lastPrice(std::move(lastPrice))
{
    m_rates = {{"NN/0", 4}, {"NN/1", 5}, {"BN/0", 4}, {"BN/1", 5}, {"CN/2", 25}, {"CB/2", 25},
               {"MC/0", 10}, {"MC/1", 10}, {"MC/2", 10}};
}

bool TsloDesk::handles(const RequestText& request)
{
    if (request.keyword != "NoOfOrders")
        return false;
    const int code = tslo_desk_detail::toInt(tslo_desk_detail::at(tslo_desk_detail::bars(tslo_desk_detail::record(request)), 0));
    return code >= 121 && code <= 123;
}

void TsloDesk::refuseNext(const std::string& message)
{
    std::lock_guard lock(m_mutex);
    m_refuse = true;
    m_refuseText = message;
}

void TsloDesk::failReportWith1205(bool on)
{
    std::lock_guard lock(m_mutex);
    m_report1205 = on;
}

void TsloDesk::refuseNextMargin(const std::string& message)
{
    std::lock_guard lock(m_mutex);
    m_refuseMargin = true;
    m_refuseMarginText = message;
}

void TsloDesk::falseEchoNextMargin()
{
    std::lock_guard lock(m_mutex);
    m_falseEcho = true;
}

void TsloDesk::setMarginRate(const std::string& exchange, int kind, double rate)
{
    std::lock_guard lock(m_mutex);
    m_rates[exchange + "/" + std::to_string(kind)] = rate;
}

void TsloDesk::setMatching(bool on)
{
    std::lock_guard lock(m_mutex);
    m_matching = on;
}

std::vector<TsloOrder> TsloDesk::orders() const
{
    std::lock_guard lock(m_mutex);
    return m_orders;
}

std::vector<std::string> TsloDesk::requests(int code) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_requests.find(code);
    return it == m_requests.end() ? std::vector<std::string>() : it->second;
}

std::string TsloDesk::reply(const RequestText& request)
{
    const std::string text = tslo_desk_detail::record(request);
    const std::vector<std::string> f = tslo_desk_detail::bars(text);
    const int code = tslo_desk_detail::toInt(tslo_desk_detail::at(f, 0));
    const std::string head = std::to_string(code + 50) + "|";
    std::lock_guard lock(m_mutex);
    m_requests[code].push_back(text);
    if (m_refuse) {
        m_refuse = false;
        return head + "1|" + m_refuseText + "|||0";
    }
    if (code == 121) {
        if (f.size() < 25)
            return head + "1|Invalid TSLO order request|||0";
        TsloOrder o;
        o.specialNo = m_nextSpecialNo++;
        o.clientId = f[1];
        o.userId = f[2];
        o.clientCode = f[3];
        o.kind = tslo_desk_detail::toInt(f[5]);
        o.token = tslo_desk_detail::toInt(f[7]);
        o.exchange = f[8];
        o.side = f[9].empty() ? 'B' : f[9][0];
        o.quantity = tslo_desk_detail::toInt(f[10]);
        const double price = tslo_desk_detail::toDouble(f[11]);
        o.disclosed = tslo_desk_detail::toInt(f[12]);
        o.triggerPaise = tslo_desk_detail::toDouble(f[13]);
        o.trailSide = f[14].empty() ? (o.side == 'B' ? 'S' : 'B') : f[14][0];
        o.spread = tslo_desk_detail::toDouble(f[15]);
        o.trailWhenPaise = tslo_desk_detail::toDouble(f[16]);
        o.bookProfitPaise = tslo_desk_detail::toDouble(f[17]);
        o.bookProfitDisclosed = tslo_desk_detail::toInt(f[18]);
        o.info = f[20];
        o.orderType = f[21];
        o.autoSquareOff = tslo_desk_detail::toInt(f[24]);
        if (o.kind < 1 || o.kind > 5 || o.quantity <= 0 || o.token == 0)
            return head + "1|Invalid TSLO order details|||0";
        if (o.kind != 5 && o.spread <= 0)
            return head + "1|TSLO spread must be above zero|||0";
        o.exchangeOrderNo = m_nextExchangeNo++;
        const std::string waiting = o.trailWhenPaise > 0 ? "WTRL" : "TRL";
        if (o.kind <= 2) {
            o.legs.push_back({1, o.trailSide, o.quantity, 0, 0, waiting, -1});
        } else {
            o.legs.push_back({1, o.side, o.quantity, 0, price, "OPN", -1});
            o.legs.push_back({2, o.trailSide, o.quantity, 0, -1, "ACTIVE", -1});
        }
        const int id = o.specialNo;
        m_orders.push_back(std::move(o));
        return head + "0|TSLO order placed. Special order no " + std::to_string(id) + ".|||" + std::to_string(id);
    }
    const int specialNo = tslo_desk_detail::toInt(tslo_desk_detail::at(f, 6));
    auto it = std::find_if(m_orders.begin(), m_orders.end(), [&](const TsloOrder& o) {
        return o.specialNo == specialNo && o.clientCode == tslo_desk_detail::at(f, 3);
    });
    if (it == m_orders.end())
        return head + "1|TSLO order not found|||0";
    TsloOrder& o = *it;
    const bool allDone = std::all_of(o.legs.begin(), o.legs.end(), [](const TsloLeg& l) { return tslo_desk_detail::done(l.status); });
    if (allDone)
        return head + "1|TSLO order is already complete|||0";
    if (code == 123) {
        for (TsloLeg& l : o.legs)
            if (!tslo_desk_detail::done(l.status))
                l.status = "CAN";
        return head + "0|TSLO order cancelled.|||" + std::to_string(o.specialNo);
    }
    // 122: every field not sent as -1 is taken.
    if (f.size() < 23)
        return head + "1|Invalid TSLO modify request|||0";
    const int qty = tslo_desk_detail::toInt(f[8]);
    const double price = tslo_desk_detail::toDouble(f[10]);
    if (qty > 0 && o.legs[0].status == "OPN") {
        o.quantity = qty;
        for (TsloLeg& l : o.legs)
            l.quantity = qty;
    }
    if (price >= 0 && o.legs[0].status == "OPN")
        o.legs[0].pricePaise = price;
    if (tslo_desk_detail::toInt(f[11]) >= 0)
        o.disclosed = tslo_desk_detail::toInt(f[11]);
    if (tslo_desk_detail::toDouble(f[12]) >= 0)
        o.triggerPaise = tslo_desk_detail::toDouble(f[12]);
    if (tslo_desk_detail::toDouble(f[13]) > 0)
        o.spread = tslo_desk_detail::toDouble(f[13]);
    if (tslo_desk_detail::toDouble(f[14]) >= 0)
        o.trailWhenPaise = tslo_desk_detail::toDouble(f[14]);
    if (tslo_desk_detail::toDouble(f[15]) >= 0)
        o.bookProfitPaise = tslo_desk_detail::toDouble(f[15]);
    o.autoSquareOff = tslo_desk_detail::toInt(f[22]);
    return head + "0|TSLO order modified.|||" + std::to_string(o.specialNo);
}

std::string TsloDesk::report(const RequestText& request)
{
    const std::string client = tslo_desk_detail::at(request.fields, 4);
    std::lock_guard lock(m_mutex);
    if (m_report1205)
        return "641|1205|||0";
    std::vector<std::string> rows;
    for (const TsloOrder& o : m_orders) {
        if (o.clientCode != client)
            continue;
        for (const TsloLeg& l : o.legs) {
            const bool trailing = o.kind <= 2 || l.leg == 2;
            std::vector<std::string> f(30);
            f[0] = std::to_string(o.specialNo);
            f[1] = "0";
            f[2] = std::to_string(o.token);
            f[3] = o.exchange == "CN" || o.exchange == "CB" ? "CD" : "EQ";
            f[4] = o.exchange;
            f[7] = "0";
            f[8] = o.clientCode;
            f[9] = o.userId;
            f[10] = std::to_string(o.exchangeOrderNo + (l.leg == 2 ? 500000000 : 0));
            f[12] = l.side == 'B' ? "BUY" : "SELL";
            f[13] = std::to_string(l.quantity);
            // A trailing leg shows its book-profit price (-1 without one).
            f[14] = trailing ? tslo_desk_detail::rupees(o.bookProfitPaise) : tslo_desk_detail::rupees(l.pricePaise);
            f[15] = tslo_desk_detail::rupees(o.trailWhenPaise);
            {
                // A currency spread has four decimals: the book keeps them.
                char spread[32];
                std::snprintf(spread, sizeof spread, "%.4f", o.spread);
                f[16] = spread;
            }
            f[17] = tslo_desk_detail::rupees(o.triggerPaise);
            f[18] = std::to_string(o.disclosed);
            f[19] = std::to_string(l.traded);
            f[20] = l.status;
            f[21] = l.status == "TRAD" ? "Traded" : l.status == "CAN" ? "Cancelled by user" : "Pending";
            f[22] = std::to_string(l.leg);
            f[23] = std::to_string(o.kind);
            f[24] = "0";
            f[25] = o.time;
            f[27] = std::to_string(o.autoSquareOff);
            f[29] = tslo_desk_detail::rupees(l.tradedPaise);
            std::string line;
            for (size_t i = 0; i < f.size(); ++i)
                line += (i ? "|" : "") + f[i];
            rows.push_back(std::move(line));
        }
    }
    std::string body = "641|0|OK||" + std::to_string(rows.size()) + "~";
    for (size_t i = 0; i < rows.size(); ++i)
        body += (i ? "^" : "") + rows[i];
    return body;
}

std::string TsloDesk::margin(const RequestText& request)
{
    const std::vector<std::string>& f = request.fields;
    const std::string client = tslo_desk_detail::at(f, 3);
    std::string token = tslo_desk_detail::at(f, 6);
    const std::string exchange = tslo_desk_detail::at(f, 7);
    const int kind = tslo_desk_detail::toInt(tslo_desk_detail::at(f, 8));
    std::lock_guard lock(m_mutex);
    if (m_refuseMargin) {
        m_refuseMargin = false;
        return "455|1|" + m_refuseMarginText + "|" + client;
    }
    if (m_falseEcho) {
        m_falseEcho = false;
        token = std::to_string(tslo_desk_detail::toInt(token) + 1);
    }
    const auto it = m_rates.find(exchange + "/" + std::to_string(kind));
    const double rate = it == m_rates.end() ? 5.0 : it->second;
    return "455|0|OK|" + client + "||" + token + "|" + exchange + "|" + std::to_string(kind) + "|"
           + tslo_desk_detail::num(rate);
}

void TsloDesk::stepLocked(TsloOrder& o, int64_t last)
{
    const double spreadPaise = o.spread * 100;
    for (TsloLeg& l : o.legs) {
        if (tslo_desk_detail::done(l.status))
            continue;
        if (l.leg == 1 && o.kind >= 3) {
            // The order leg trades like a plain order.
            const bool crossed = l.pricePaise <= 0 || (l.side == 'B' ? last <= l.pricePaise : last >= l.pricePaise);
            if (l.status != "OPN" || !crossed)
                return; // leg 2 waits for leg 1
            l.status = "TRAD";
            l.traded = l.quantity;
            l.tradedPaise = static_cast<double>(last);
            TsloLeg& second = o.legs[1];
            second.status = o.trailWhenPaise > 0 ? "WTRL" : "TRL";
            o.triggerPaise = -1;
            continue;
        }
        if (l.status == "WTRL") {
            const bool reached = o.trailSide == 'S' ? last >= o.trailWhenPaise : last <= o.trailWhenPaise;
            if (!reached)
                continue;
            l.status = "TRL";
        }
        if (l.status != "TRL")
            continue;
        const bool sellStop = o.trailSide == 'S';
        const double follow = sellStop ? last - spreadPaise : last + spreadPaise;
        if (o.triggerPaise <= 0)
            o.triggerPaise = follow;
        else
            o.triggerPaise = sellStop ? std::max(o.triggerPaise, follow) : std::min(o.triggerPaise, follow);
        const bool bookProfit =
            o.bookProfitPaise > 0 && (sellStop ? last >= o.bookProfitPaise : last <= o.bookProfitPaise);
        const bool stopped = sellStop ? last <= o.triggerPaise : last >= o.triggerPaise;
        if (bookProfit || stopped) {
            l.status = "TRAD";
            l.traded = l.quantity;
            l.tradedPaise = bookProfit ? o.bookProfitPaise : static_cast<double>(last);
        }
    }
}

void TsloDesk::matchMarket()
{
    std::lock_guard lock(m_mutex);
    if (!m_matching || !m_lastPrice)
        return;
    for (TsloOrder& o : m_orders) {
        const int64_t last = m_lastPrice(o.exchange, o.token);
        if (last > 0)
            stepLocked(o, last);
    }
}

} // namespace tb
