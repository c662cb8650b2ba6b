#include "BasketDesk.h"

#include <cstdlib>
#include <vector>

namespace tb {
namespace basket_desk_detail {
namespace {

std::vector<std::string> bars(const std::string& text)
{
    std::vector<std::string> out(1);
    for (char c : text) {
        if (c == '|')
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

std::string at(const std::vector<std::string>& f, size_t i) { return i < f.size() ? f[i] : std::string(); }

std::string item(const RequestText& r, const std::string& key)
{
    const auto it = r.items.find(key);
    return it == r.items.end() ? std::string() : it->second;
}

std::string join(const std::vector<std::string>& f)
{
    std::string out;
    for (size_t i = 0; i < f.size(); ++i)
        out += (i ? "|" : "") + f[i];
    return out;
}

// The single order of one leg, as the desk reads it.
std::string singleRecord(int transCode, const std::vector<std::string>& f, const RequestText& r)
{
    const std::string user = item(r, "UserId");
    const std::string client = item(r, "ClientId");
    const std::string account = item(r, "SessionId");
    if (transCode == 321) {
        // client|segment|order no|scrip|exch|env
        const std::string code = at(f, 1) == "0" ? "103" : "203";
        return join({code, account, at(f, 2), "N", "00:00:00:00", at(f, 3), at(f, 4), "", "", "", "", user, at(f, 0),
                     at(f, 0), "", "", "", at(f, 5)});
    }
    if (transCode == 311) {
        // seg|ordno|N|time|scrip|exch|side|prevqty|qty|prevprice|price|date|disc|trigger|0|GFD|C|mark|amo|0|NA|env
        const std::string code = at(f, 0) == "0" ? "102" : "202";
        return join({code, account, at(f, 1), "N", at(f, 3), at(f, 4), at(f, 5), at(f, 6), at(f, 7), at(f, 9),
                     at(f, 8), at(f, 10), user, client, client, at(f, 11), at(f, 12), at(f, 13), "0", at(f, 15),
                     at(f, 16), at(f, 17), at(f, 18), at(f, 21)});
    }
    // seg|N|time|scrip|exch|side|qty|price|date|disc|trigger|0|GFD|C|mark|amo|0|NA|env
    const std::string code = at(f, 0) == "0" ? "101" : "201";
    return join({code, account, "N", at(f, 2), at(f, 3), at(f, 4), at(f, 5), at(f, 6), at(f, 7), user, client, client,
                 at(f, 8), at(f, 9), at(f, 10), "0", at(f, 12), "C", at(f, 14), at(f, 15), at(f, 18)});
}

} // namespace
} // namespace basket_desk_detail

std::string basketReply(const RequestText& request, OrderDesk& desk, const std::string& user,
                        const ScripTokens& tokenOf)
{
    const int transCode = std::atoi(basket_desk_detail::item(request, "TransCode").c_str());
    const int count = std::atoi(basket_desk_detail::item(request, "NoOfOrders").c_str());
    std::string out;
    for (int n = 1; n <= count && n <= 5; ++n) {
        const std::string leg = basket_desk_detail::item(request, "OrderData" + std::to_string(n));
        std::string single;
        if (!leg.empty()) {
            RequestText one;
            one.keyword = "NoOfOrders";
            one.fields = {"1"};
            one.items["NoOfOrders"] = "1";
            std::vector<std::string> f = basket_desk_detail::bars(leg);
            // The scrip code's field: 4 in a modify leg, 3 in the others.
            const size_t scrip = transCode == 311 ? 4 : 3;
            const std::string exch = basket_desk_detail::at(f, scrip + 1);
            if (scrip < f.size())
                f[scrip] = std::to_string(tokenOf ? tokenOf(exch, std::atoi(f[scrip].c_str())) : 0);
            one.items["OrderData1"] = basket_desk_detail::singleRecord(transCode, f, request);
            one.items["OrdReqNo"] = basket_desk_detail::item(request, "OrdReqNo");
            single = desk.reply(one, user);
        }
        const std::vector<std::string> f = basket_desk_detail::bars(single.empty() ? "9999|1|0|0|Invalid basket leg" : single);
        if (n > 1)
            out += "~";
        out += basket_desk_detail::at(f, 0) + "||" + basket_desk_detail::at(f, 2) + "|" + basket_desk_detail::at(f, 3) + "|" + basket_desk_detail::at(f, 4);
    }
    return out;
}

} // namespace tb
