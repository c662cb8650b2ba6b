#include "orders/OrderReply.h"

#include "app/base/SmallUtilities.h"
#include "watch/base/TextSplit.h"

#include "pf/http_call.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace order_reply_detail {
namespace {

std::string_view trimWhite(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

long toLong(std::string_view s) { return std::strtol(std::string(s).c_str(), nullptr, 10); }
double toDouble(std::string_view s) { return std::strtod(std::string(s).c_str(), nullptr); }

} // namespace
} // namespace order_reply_detail

PlainOrderReply ParsePlainOrderReply(std::string_view reply)
{
    PlainOrderReply out;
    size_t pos = !reply.empty() && reply.front() == '|' ? 1 : 0;
    for (int index = 0; pos <= reply.size(); ++index) {
        const size_t bar = reply.find('|', pos);
        const std::string_view field =
            order_reply_detail::trimWhite(reply.substr(pos, bar == std::string_view::npos ? std::string_view::npos : bar - pos));
        if (field.empty())
            break;
        if (index == 0) {
            out.orderReply = ReplyStatus(field) != -1;
            if (!out.orderReply)
                break;
        }
        if (index == 0 && order_reply_detail::toLong(field) == 9999) {
            out.refused = true;
            out.message = kOrderRefusedText;
            break;
        }
        if (index == 2)
            out.orderNo = order_reply_detail::toDouble(field);
        else if (index == 4)
            out.message = std::string(field);
        if (bar == std::string_view::npos)
            break;
        pos = bar + 1;
    }
    return out;
}

SmartOrderReply ParseSmartOrderReply(std::string_view reply)
{
    SmartOrderReply out;
    std::vector<std::string> f;
    SplitString(reply, '|', f);
    auto field = [&f](size_t i) { return i < f.size() ? f[i] : std::string(); };
    out.orderReply = ReplyStatus(field(0)) != -1;
    if (!out.orderReply)
        return out;
    if (order_reply_detail::toLong(field(0)) == 9999) {
        out.refused = true;
        out.text = kOrderRefusedText;
        return out;
    }
    out.text = field(4);
    if (order_reply_detail::toLong(field(3)) != 0)
        return out;
    out.accepted = true;
    std::vector<std::string> routes;
    SplitString(field(10), '^', routes);
    out.fills.push_back({order_reply_detail::toDouble(field(2)), static_cast<int>(order_reply_detail::toLong(field(7))),
                         order_reply_detail::toDouble(field(8))});
    if (!routes.empty() && order_reply_detail::toLong(routes[0]) != 0) {
        const double second = routes.size() > 1 ? order_reply_detail::toDouble(routes[1]) : 0;
        out.text += "\n" + field(12);
        out.fills.push_back({second, static_cast<int>(order_reply_detail::toLong(field(14))), order_reply_detail::toDouble(field(15))});
    }
    const long remaining = order_reply_detail::toLong(field(9));
    if (remaining != 0)
        out.text += "\nRemaining Order Qty : " + field(9);
    return out;
}

bool IsOrderTransCode(int code)
{
    switch (code) {
    case 101: case 102: case 103: case 106:
    case 110:
    case 121: case 122: case 123:
    case 201: case 202: case 203: case 204:
    case 301:
        return true;
    default:
        return false;
    }
}

bool RequestWasSent(int status)
{
    switch (status) {
    case -1:
    case pf::HttpCall::ErrBadUrl:
    case pf::HttpCall::ErrNameNotResolved:
    case pf::HttpCall::ErrCannotConnect:
    case pf::HttpCall::ErrSecureChannel:
    case pf::HttpCall::ErrSecureFailure:
        return false;
    default:
        return true;
    }
}

std::string OrderStateUnknownText(int status, bool notOrderReply)
{
    char reason[96];
    if (status == 200 && notOrderReply)
        std::snprintf(reason, sizeof reason, "the reply was not an order reply");
    else if (status == 200)
        std::snprintf(reason, sizeof reason, "empty reply");
    else if (status == 407)
        std::snprintf(reason, sizeof reason, "Proxy Authentication Failed");
    else if (status >= 12000)
        std::snprintf(reason, sizeof reason, "%s [%d]", pf::HttpCall::errorMessage(status), status);
    else
        std::snprintf(reason, sizeof reason, "Internet Connectivity Error [%d]", status);
    return std::string("Order status unknown (") + reason
        + "): the order was sent but its reply did not arrive. Please check the Order Book before placing it again.";
}
