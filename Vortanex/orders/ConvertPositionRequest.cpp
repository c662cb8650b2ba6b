#include "orders/ConvertPositionRequest.h"

#include "orders/OrderReply.h"

#include "watch/base/TextSplit.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

std::string BuildConversionQuery(const ConversionQuery& q)
{
    char text[512];
    std::snprintf(text, sizeof text, "RiskData=%d|%s|%s|%s|%d|1|%c~%d|%s|%d|%d|%.2lf|%.2lf|%d|1|%d", 420,
                  q.sessionId.c_str(), q.userId.c_str(), q.clientCode.c_str(), 4, q.side, q.token, q.exchange.c_str(),
                  q.product, q.allowableQty, q.avgPrice, q.netValue, q.quantity, q.field38);
    return text;
}

ConversionQueryResult ReadConversionQuery(const std::string& reply)
{
    ConversionQueryResult r;
    std::vector<std::string> f;
    SplitString(reply, '|', f);
    if (f.size() < 8 || f[1] != "0")
        return r;
    // The quantity's size is what counts, whatever its sign; one beyond an
    // int (the least int among them, whose size has none) is no quantity.
    const long long quantity = std::strtoll(f[7].c_str(), nullptr, 10);
    if (quantity < -INT_MAX || quantity > INT_MAX)
        return r;
    r.ok = true;
    r.margin = std::strtod(f[4].c_str(), nullptr);
    r.convertible = static_cast<int>(quantity < 0 ? -quantity : quantity);
    return r;
}

std::string ConversionExchangeCode(const std::string& name)
{
    if (name == "NSE")
        return "NN";
    if (name == "BSE")
        return "BN";
    if (name == "NSE-FX")
        return "CN";
    if (name == "BSE-CDX")
        return "CB";
    if (name == "MCX-CM")
        return "MC";
    return {};
}

std::string BuildConversionRequest(const ConversionRequest& r)
{
    char text[512];
    std::snprintf(text, sizeof text, "NoOfOrders=%ld&OrderData%ld=110|%s|%s|%s|%s|%d|%s|%c|%ld||%d|%s", 1L, 1L,
                  r.sessionId.c_str(), r.userId.c_str(), r.clientCode.c_str(), r.clientCode.c_str(), r.token,
                  r.exchange.c_str(), r.side, r.quantity, 4, r.infoText.c_str());
    return text;
}

bool ConversionQuantityValid(long quantity, int convertible) { return quantity >= 1 && quantity <= convertible; }

ConversionOutcome ReadConversionReply(int status, const std::string& reply)
{
    ConversionOutcome o;
    if ((status != 200 || reply.empty()) && IsOrderTransCode(110) && RequestWasSent(status)) {
        // The conversion may have been made: say its state is unknown rather
        // than invite sending it again.
        o.text = OrderStateUnknownText(status);
        o.stateUnknown = true;
        return o;
    }
    if (status == 407) {
        o.text = "Proxy Authentication Failed";
        return o;
    }
    if (status != 200) {
        char text[128];
        std::snprintf(text, sizeof text, "Internet Connectivity Error [%d]. Pls contact System Administrator", status);
        o.text = text;
        return o;
    }
    std::vector<std::string> f;
    SplitString(reply, '|', f);
    if (f.size() < 5 || f[0] != "160") {
        o.text = "Invalid response received from server";
        return o;
    }
    o.text = f[2];
    if (f[1] == "0") {
        o.caption = "Success";
    } else {
        o.caption = "Error";
        o.warning = true;
    }
    return o;
}
