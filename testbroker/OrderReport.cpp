#include "OrderReport.h"

#include "Universe.h"

#include <cstdio>
#include <cstdlib>

namespace tb {
namespace order_report_detail {
namespace {

std::string field(const std::vector<std::string>& f, size_t i) { return i < f.size() ? f[i] : std::string(); }

std::string rupees(const std::string& paise)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", std::strtod(paise.c_str(), nullptr) / 100.0);
    return text;
}

std::string markName(int mark)
{
    switch (mark) {
    case 0:
        return "Normal";
    case 1:
        return "Delivery";
    case 2:
        return "BNST";
    case 4:
        return "MTF";
    case 5:
        return "Stop Loss";
    case 7:
        return "DDS";
    case 12:
        return "MIS Options";
    default:
        return {};
    }
}

} // namespace
} // namespace order_report_detail

std::string orderReportBody(
    const std::vector<DeskOrder>& orders, const Universe& universe, const std::vector<std::string>& fields)
{
    const std::string client = order_report_detail::field(fields, 4);
    const bool oneClient = order_report_detail::field(fields, 6) == "1";
    const bool previous = order_report_detail::field(fields, 7) == "2";
    std::vector<std::string> rows;
    for (const DeskOrder& o : orders) {
        if (oneClient && o.clientCode != client)
            continue;
        std::string name = std::to_string(o.token);
        if (const Security* s = universe.byToken(o.exchange, o.token)) {
            name = s->symbol + "-" + s->inst;
            if (!s->expiry.empty())
                name += "-" + s->expiry;
        }
        std::vector<std::string> f = {
            std::to_string(o.code),
            o.clientId,
            std::to_string(o.token),
            o.exchange,
            std::to_string(o.orderNo),
            "EX" + std::to_string(o.orderNo),
            o.side == 'B' ? "Buy" : "Sell",
            std::to_string(o.quantity),
            order_report_detail::rupees(o.pricePaise),
            std::to_string(o.status == "CAN" ? 0 : o.openQty), // nothing of a cancelled order is open
            o.time,
            o.status,
            order_report_detail::rupees(o.triggerPaise),
            "0",
            std::to_string(o.orderMark),
            o.clientCode,
            "0",
            o.userId,
            name,
            order_report_detail::markName(o.orderMark),
        };
        if (previous)
            f.push_back("1");
        std::string row;
        for (size_t i = 0; i < f.size(); ++i)
            row += (i ? "|" : "") + f[i];
        rows.push_back(row);
    }
    std::string out = "600|0|Order Report|" + std::to_string(rows.size()) + "~";
    for (size_t i = 0; i < rows.size(); ++i)
        out += (i ? "^" : "") + rows[i];
    return out;
}

} // namespace tb
