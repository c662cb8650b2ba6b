#include "RiskDesk.h"

#include "BrokerText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <tuple>

namespace tb {

namespace {

long toLong(const std::string& s)
{
    return std::strtol(s.c_str(), nullptr, 10);
}

std::string num(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

std::string num(long long v)
{
    return std::to_string(v);
}

const Security* first(const Universe& u, const std::string& exchange, const std::string& inst, size_t skip = 0,
                      const std::string& symbol = {})
{
    for (const Security& s : u.securities())
        if (s.exchange == exchange && s.inst == inst && (symbol.empty() || s.symbol == symbol) && skip-- == 0)
            return &s;
    return nullptr;
}

// A 412 row of 39 fields: quantities and values (paise) of one position.
std::vector<std::string> positionRow(const Security& s, int product, long buyQty, long long buyPaise, long sellQty,
                                     long long sellPaise, const std::string& marginType, double multiplier,
                                     const std::string& displayName = {})
{
    std::vector<std::string> f(RiskDesk::kPositionFields);
    const long net = buyQty - sellQty;
    const long long netPaise = buyPaise - sellPaise;
    f[0] = num(static_cast<long long>(s.token));
    f[1] = s.exchange;
    f[2] = "0";
    f[3] = "0";
    f[4] = "0";
    f[5] = "0";
    f[6] = num(static_cast<long long>(net));
    f[7] = num(static_cast<long long>(netPaise));
    f[8] = "0";
    f[9] = "0";
    f[10] = num(static_cast<long long>(product));
    f[11] = "0";
    for (int i = 12; i <= 24; ++i)
        f[static_cast<size_t>(i)] = "0";
    f[17] = "1";
    f[25] = displayName.empty() ? s.symbol : displayName;
    f[26] = f[27] = "";
    const long qty = buyQty > 0 && sellQty == 0 ? buyQty : (sellQty > 0 && buyQty == 0 ? sellQty : 0);
    const long long paise = buyQty > 0 && sellQty == 0 ? buyPaise : sellPaise;
    const double avg = qty != 0 ? static_cast<double>(paise) / 100.0 / static_cast<double>(qty)
                                    / (multiplier > 0 ? multiplier : 1.0) / (s.lot > 0 ? s.lot : 1)
                                : 0.0;
    f[28] = num(avg);
    f[29] = num(multiplier);
    f[30] = num(static_cast<long long>(std::llabs(netPaise) / 5));
    f[31] = marginType;
    f[32] = f[33] = f[34] = f[35] = "0";
    f[36] = "0";
    f[37] = "0";
    f[38] = "0";
    return f;
}

// A 413 row of 29 fields.
std::vector<std::string> holdingRow(const Security& s, int type, long prev, long hold, const std::string& avgCost)
{
    std::vector<std::string> f(RiskDesk::kHoldingFields, "0");
    f[0] = num(static_cast<long long>(s.token));
    f[1] = s.exchange;
    f[8] = num(static_cast<long long>(prev));
    f[9] = num(static_cast<long long>(prev * s.price));
    f[10] = num(static_cast<long long>(type));
    f[12] = "20"; // haircut %
    f[13] = num(static_cast<long long>(hold));
    f[15] = "0";
    f[16] = num(static_cast<long long>(s.price));
    for (int i = 17; i <= 27; ++i)
        f[static_cast<size_t>(i)] = "";
    f[28] = avgCost;
    return f;
}

// A 415 row of 36 fields.
std::vector<std::string> todaysRow(const Security& s, int product, long bq, long long bPaise, long sq, long long sPaise,
                                   long boq, long long boPaise, long soq, long long soPaise, double multiplier,
                                   long long buyAvgPaise = 0, long long sellAvgPaise = 0)
{
    std::vector<std::string> f(RiskDesk::kTodaysFields, "0");
    f[0] = num(static_cast<long long>(s.token));
    f[1] = s.exchange;
    f[2] = "";
    f[3] = num(static_cast<long long>(bq));
    f[4] = num(bPaise);
    f[5] = num(static_cast<long long>(sq));
    f[6] = num(sPaise);
    f[7] = num(static_cast<long long>(bq - sq));
    f[8] = num(bPaise - sPaise);
    f[9] = num(static_cast<long long>(boq));
    f[10] = num(boPaise);
    f[11] = num(static_cast<long long>(soq));
    f[12] = num(soPaise);
    f[16] = num(static_cast<long long>(product));
    f[17] = f[18] = f[19] = "";
    f[21] = num(multiplier);
    f[34] = num(buyAvgPaise);
    f[35] = num(sellAvgPaise);
    return f;
}

} // namespace

RiskDesk::RiskDesk(const Universe& universe, Orders orders) : m_universe(universe), m_orders(std::move(orders)) {}

RiskBook RiskDesk::seeded() const
{
    RiskBook b;
    const Universe& u = m_universe;
    b.limits.assign(58, "0");
    b.limits[0] = "";
    b.limits[1] = "";
    b.limits[2] = "ABC12";
    b.limits[3] = "500000";
    b.limits[4] = "350000";
    b.limits[5] = "200000";
    b.limits[6] = "150000";
    b.limits[7] = "80000";
    b.limits[8] = "60000";
    b.limits[9] = "40000";
    b.limits[10] = "30000";
    b.limits[11] = "1000,2000,3000,4000,5000";
    b.limits[12] = "500,1500,2500,3500,4500";
    b.limits[13] = "N";
    b.limits[14] = "750000"; // total margin
    b.limits[15] = "120000"; // margin utilised
    b.limits[16] = "400000"; // cash balance
    b.limits[17] = "150000"; // stock margin
    b.limits[30] = "90000";  // funding total
    b.limits[31] = "25000";  // funding utilised
    b.limits[39] = "-1";     // debtors: none
    b.limits[42] = "400000";
    b.limits[45] = "10,20,30,40,50";
    b.limits[47] = "120000";
    b.limits[48] = "100000,0,50000,25000,10000";
    b.limits[49] = "0,0,0,0,0";
    b.limits[50] = "0,0,0,0,0";
    b.limits[51] = "60000";
    b.limits[52] = "15000";
    b.limits[53] = "630000,1,2,3,4,5,6,7,8";
    b.limits[54] = "65000";
    b.limits[56] = "15:15:00";
    b.limits[57] = "1250.50";

    const Security* eq1 = first(u, "NN", "EQ", 0);
    const Security* eq2 = first(u, "NN", "EQ", 1);
    const Security* eq3 = first(u, "NN", "EQ", 2);
    const Security* fut1 = first(u, "NN", "FI", 0);
    const Security* fut2 = first(u, "NN", "FI", 1);
    const Security* usd = first(u, "CN", "FC", 0, "USDINR");
    const Security* mcx = first(u, "MC", "CF", 0);
    if (eq1)
        b.positions.push_back(positionRow(*eq1, 0, 10, 10 * eq1->price, 0, 0, "N", 1));
    if (eq2)
        b.positions.push_back(positionRow(*eq2, 5, 0, 0, 5, 5 * eq2->price, "N", 1));
    if (eq3)
        b.positions.push_back(positionRow(*eq3, 12, 20, 20 * eq3->price, 0, 0, "N", 1));
    if (fut1 && fut2) {
        b.positions.push_back(positionRow(*fut1, 0, 0, 0, 0, 0, "P", 1, "NIFTY CALENDAR SPREAD"));
        b.positions.push_back(positionRow(*fut1, 0, fut1->lot, fut1->lot * fut1->price, 0, 0, "S", 1));
        b.positions.push_back(positionRow(*fut2, 0, 0, 0, fut2->lot, fut2->lot * fut2->price, "R", 1));
    }
    if (usd)
        b.positions.push_back(positionRow(*usd, 0, 2, 2 * usd->price, 0, 0, "N", 1));
    if (mcx)
        b.positions.push_back(positionRow(*mcx, 0, 1, mcx->price, 0, 0, "N", 1));

    const Security* h1 = first(u, "NN", "EQ", 3);
    const Security* h2 = first(u, "BN", "A", 4);
    const Security* h3nn = first(u, "NN", "EQ", 5);
    const Security* h3bn = h3nn ? first(u, "BN", "A", 0, h3nn->symbol) : nullptr;
    if (h1) {
        b.holdings.push_back(holdingRow(*h1, 1, 100, 0, num(static_cast<double>(h1->price) / 100 * 0.9)));
        b.holdings.push_back(holdingRow(*h1, 4, 40, 0, num(static_cast<double>(h1->price) / 100 * 0.95)));
    }
    if (h2)
        b.holdings.push_back(holdingRow(*h2, 1, 60, 0, num(static_cast<double>(h2->price) / 100 * 1.1)));
    if (h3nn && h3bn) {
        b.holdings.push_back(holdingRow(*h3nn, 9, 30, 0, "NA"));
        b.holdings.push_back(holdingRow(*h3bn, 9, 30, 0, "NA"));
    }

    for (int i = 0; i < 3; ++i) {
        const Security* s = first(u, "NN", "EQ", static_cast<size_t>(6 + i));
        if (!s)
            continue;
        std::string name = s->symbol + " EQ";
        b.unbilled.push_back({name, "12DEC2026", num(100.0 * (i + 1) * 1000), "1", "1", num(100.0 * (i + 1) * 1000),
                              "0", num(100.0 * (i + 1) * 1000), "0"});
    }
    b.unbilledTotal = "600000.00";
    b.unbilledHoldValue = "0.00";

    const Security* opt = first(u, "NN", "OI", 0);
    if (opt)
        b.todays.push_back(todaysRow(*opt, 0, opt->lot, opt->lot * opt->price, 0, 0, 0, 0, 0, 0, 1, opt->price, 0));
    if (eq1) // bought and sold out: no row, but it counts in the sums
        b.todays.push_back(todaysRow(*eq1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1));
    return b;
}

RiskBook& RiskDesk::bookLocked(const std::string& client)
{
    auto it = m_books.find(client);
    if (it == m_books.end()) {
        RiskBook b;
        if (client == "ABC12")
            b = seeded();
        else
            b.limits.assign(58, "0");
        it = m_books.emplace(client, std::move(b)).first;
    }
    return it->second;
}

void RiskDesk::editBook(const std::string& client, const std::function<void(RiskBook&)>& edit)
{
    std::lock_guard lock(m_mutex);
    edit(bookLocked(client));
}

RiskBook RiskDesk::book(const std::string& client)
{
    std::lock_guard lock(m_mutex);
    return bookLocked(client);
}

void RiskDesk::refuseNext(int type, int status, const std::string& text)
{
    std::lock_guard lock(m_mutex);
    m_refusals[type] = {status, text};
}

namespace {

struct Fill {
    long buyQty = 0;
    long long buyPaise = 0;
    long sellQty = 0;
    long long sellPaise = 0;
    long buyOpen = 0;
    long long buyOpenPaise = 0;
    long sellOpen = 0;
    long long sellOpenPaise = 0;
};

long long paiseOf(const std::string& text)
{
    return std::llround(std::strtod(text.c_str(), nullptr));
}

} // namespace

std::vector<std::vector<std::string>> RiskDesk::positionsWithFills(const RiskBook& b, const std::string& client) const
{
    std::vector<std::vector<std::string>> rows = b.positions;
    std::map<std::tuple<std::string, int, int>, Fill> fills;
    for (const DeskOrder& o : m_orders()) {
        const int traded = o.quantity - o.openQty;
        if (o.clientCode != client || traded <= 0)
            continue;
        Fill& f = fills[{o.exchange, o.token, o.orderMark}];
        const long long paise = (o.tradedPaise ? o.tradedPaise : paiseOf(o.pricePaise)) * traded;
        if (o.side == 'B') {
            f.buyQty += traded;
            f.buyPaise += paise;
        } else {
            f.sellQty += traded;
            f.sellPaise += paise;
        }
    }
    for (const auto& [key, f] : fills) {
        const auto& [exchange, token, mark] = key;
        const Security* s = m_universe.byToken(exchange, token);
        if (!s)
            continue;
        bool merged = false;
        for (std::vector<std::string>& row : rows) {
            if (toLong(row[0]) != token || row[1] != exchange || toLong(row[10]) != mark || row[31] == "P")
                continue;
            row[6] = num(static_cast<long long>(toLong(row[6]) + f.buyQty - f.sellQty));
            row[7] = num(static_cast<long long>(std::llround(std::strtod(row[7].c_str(), nullptr)) + f.buyPaise
                                                - f.sellPaise));
            merged = true;
            break;
        }
        if (!merged)
            rows.push_back(positionRow(*s, mark, f.buyQty, f.buyPaise, f.sellQty, f.sellPaise, "N",
                                       s->multiplier > 0 && s->exchange != "MC" ? s->multiplier : 1));
    }
    return rows;
}

std::vector<std::vector<std::string>> RiskDesk::todaysWithOrders(const RiskBook& b, const std::string& client) const
{
    std::vector<std::vector<std::string>> rows = b.todays;
    std::map<std::tuple<std::string, int, int>, Fill> fills;
    for (const DeskOrder& o : m_orders()) {
        if (o.clientCode != client || o.status == "CAN")
            continue;
        Fill& f = fills[{o.exchange, o.token, o.orderMark}];
        const int traded = o.quantity - o.openQty;
        const long long price = o.tradedPaise ? o.tradedPaise : paiseOf(o.pricePaise);
        if (o.side == 'B') {
            f.buyQty += traded;
            f.buyPaise += price * traded;
            f.buyOpen += o.openQty;
            f.buyOpenPaise += paiseOf(o.pricePaise) * o.openQty;
        } else {
            f.sellQty += traded;
            f.sellPaise += price * traded;
            f.sellOpen += o.openQty;
            f.sellOpenPaise += paiseOf(o.pricePaise) * o.openQty;
        }
    }
    for (const auto& [key, f] : fills) {
        const auto& [exchange, token, mark] = key;
        const Security* s = m_universe.byToken(exchange, token);
        if (!s)
            continue;
        const double multiplier = s->multiplier > 0 && s->exchange != "MC" ? s->multiplier : 1;
        const long lot = s->lot > 0 ? s->lot : 1;
        // The traded prices' averages, and the profit of the quantity bought
        // and sold back today: a closed position keeps both.
        const long long buyAvg = f.buyQty > 0 ? std::llround(static_cast<double>(f.buyPaise) / f.buyQty) : 0;
        const long long sellAvg = f.sellQty > 0 ? std::llround(static_cast<double>(f.sellPaise) / f.sellQty) : 0;
        const long long closed = std::min(f.buyQty, f.sellQty);
        std::vector<std::string> row =
            todaysRow(*s, mark, f.buyQty, f.buyPaise * static_cast<long long>(multiplier) * lot, f.sellQty,
                      f.sellPaise * static_cast<long long>(multiplier) * lot, f.buyOpen, f.buyOpenPaise, f.sellOpen,
                      f.sellOpenPaise, multiplier, buyAvg, sellAvg);
        if (closed > 0)
            row[13] = num(closed * (sellAvg - buyAvg) * static_cast<long long>(multiplier) * lot);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string RiskDesk::pledge(const std::string& itemValue, RiskBook& b)
{
    // "419|id|user|client|kind|4|n~tok|ex|qty^tok|ex|qty~"
    const std::vector<std::string> parts = detail::split(itemValue, '~');
    std::vector<std::string> answers;
    for (const std::string& item : detail::split(detail::field(parts, 1), '^')) {
        if (item.empty())
            continue;
        const std::vector<std::string> f = detail::split(item, '|');
        const long token = toLong(detail::field(f, 0));
        const std::string exchange = detail::field(f, 1);
        const long qty = toLong(detail::field(f, 2));
        std::string text = "Holding not found";
        for (std::vector<std::string>& h : b.holdings) {
            const long type = toLong(h[10]);
            if (toLong(h[0]) != token || h[1] != exchange || (type != 1 && type != 9))
                continue;
            const long balance = toLong(h[8]) - toLong(h[13]) - toLong(h[4]) - toLong(h[6]);
            if (qty < 1 || qty > balance) {
                text = "Quantity exceeds the stock balance";
                break;
            }
            h[10] = type == 1 ? "9" : "1";
            text = type == 1 ? "Marked to margin funding" : "Marked to delivery";
            break;
        }
        answers.push_back(std::to_string(token) + "|" + text);
    }
    return "419|0|OK~" + detail::join(answers, '^');
}

std::string RiskDesk::reply(const RequestText& r)
{
    const int type = static_cast<int>(toLong(r.code()));
    const std::string client = detail::field(r.fields, 3);
    std::lock_guard lock(m_mutex);
    const auto refusal = m_refusals.find(type);
    if (refusal != m_refusals.end()) {
        const auto [status, text] = refusal->second;
        m_refusals.erase(refusal);
        return std::to_string(type) + "|" + std::to_string(status) + "|" + text + "|0~";
    }
    RiskBook& b = bookLocked(client);
    switch (type) {
    case 411: {
        std::vector<std::string> limits = b.limits;
        limits.resize(58, "0");
        limits[2] = client;
        // The MIS fetch (no final field 4) answers the same record: its
        // fields 56 and 57 are what it reads.
        return "411|0|OK|" + std::to_string(b.segments) + "~" + detail::join(limits, '|');
    }
    case 412:
    case 413: {
        const auto rows = type == 412 ? positionsWithFills(b, client) : b.holdings;
        std::vector<std::string> lines;
        for (const auto& row : rows)
            lines.push_back(detail::join(row, '|'));
        return std::to_string(type) + "|0|OK|" + std::to_string(rows.size()) + "~" + detail::join(lines, '^') + "^";
    }
    case 414: {
        std::vector<std::string> lines;
        for (const auto& row : b.unbilled)
            lines.push_back(detail::join(row, '|'));
        return "414|0|OK~" + detail::join(lines, '^') + "~" + b.unbilledTotal + "~" + b.unbilledHoldValue;
    }
    case 415: {
        const auto rows = todaysWithOrders(b, client);
        std::string body = "415|0|OK|" + std::to_string(rows.size()) + "|" + detail::field(r.fields, 2) + "|" + client + "~";
        for (const auto& row : rows)
            body += detail::join(row, '|') + "^";
        return body;
    }
    case 419: {
        const auto it = r.items.find("RiskData");
        return pledge(it == r.items.end() ? std::string() : it->second, b);
    }
    default: break;
    }
    return {};
}

} // namespace tb
