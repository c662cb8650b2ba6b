#include "TradeReport.h"

#include "Universe.h"

#include <cstdio>

namespace tb {
namespace testbroker_trade_report_detail {
namespace {

std::string field(const std::vector<std::string>& f, size_t i) { return i < f.size() ? f[i] : std::string(); }

std::string rupees(int64_t paise)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(paise) / 100.0);
    return text;
}

std::string securityText(const Universe& universe, const std::string& exchange, int token)
{
    if (const Security* s = universe.byToken(exchange, token)) {
        std::string name = s->symbol + "-" + s->inst;
        if (!s->expiry.empty())
            name += "-" + s->expiry;
        return name;
    }
    return std::to_string(token);
}

std::string row(const Universe& universe, int64_t orderNo, int token, const std::string& exchange, char side,
                int qty, int64_t paise, const std::string& time, int mark, const std::string& client)
{
    const std::vector<std::string> f = {
        "611",
        client,
        std::to_string(token),
        exchange,
        std::to_string(orderNo),
        std::to_string(orderNo + 5000000),
        "T" + std::to_string(orderNo),
        side == 'B' ? "Buy" : "Sell",
        std::to_string(qty),
        rupees(paise),
        time,
        std::to_string(mark),
        client,
        "",
        "",
        securityText(universe, exchange, token),
        mark == 1 ? "Delivery" : "Normal",
    };
    std::string out;
    for (size_t i = 0; i < f.size(); ++i)
        out += (i ? "|" : "") + f[i];
    return out;
}

} // namespace
} // namespace testbroker_trade_report_detail

std::string tradeReportBody(const std::vector<DeskOrder>& orders, const Universe& universe,
                            const std::vector<std::string>& fields)
{
    const std::string client = testbroker_trade_report_detail::field(fields, 4);
    const bool previous = testbroker_trade_report_detail::field(fields, 7) == "2";
    std::vector<std::string> rows;
    if (previous) {
        int added = 0;
        for (const Security& s : universe.securities()) {
            if (added < 2 && !s.isIndex() && (s.exchange == "NN" || s.exchange == "MC") && (added == 0 || s.exchange == "MC")) {
                rows.push_back(testbroker_trade_report_detail::row(universe, 900001 + added, s.token, s.exchange, added ? 'S' : 'B', 1,
                                           s.price, "09-Dec-2026 10:00:00", 0, client));
                ++added;
            }
        }
    }
    for (const DeskOrder& o : orders) {
        if (o.status != "TRAD" || o.tradedPaise <= 0 || (!client.empty() && o.clientCode != client))
            continue;
        rows.push_back(testbroker_trade_report_detail::row(universe, o.orderNo, o.token, o.exchange, o.side, o.quantity, o.tradedPaise,
                                   o.tradeTime, o.orderMark, o.clientCode));
    }
    std::string out = "611|0|OK|" + std::to_string(rows.size()) + "~";
    for (size_t i = 0; i < rows.size(); ++i)
        out += (i ? "^" : "") + rows[i];
    return out;
}

} // namespace tb
