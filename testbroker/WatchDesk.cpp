// The watch desk ("/qtrade/Glenvarro.exe", "WD="): the users' watch lists
// and the server categories, market status, scrip details, market depth,
// indices, gainers and losers, most active, option chains and the options
// watch list, answered from the demo market's quotes.
#include "TestBroker.h"

#include "BrokerText.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

namespace tb {

std::string TestBroker::watchReply(const RecordedRequest& req)
{
    const std::vector<std::string>& f = req.request.fields;
    const std::string code = req.request.code();
    std::lock_guard lock(m_mutex);
    auto& lists = m_lists[code == "104" || code == "100" || code == "101" || code == "102" || code == "103"
                              ? detail::field(f, 2)
                              : std::string()];
    if (code == "115") {
        std::string s = "115|0|OK";
        for (const auto& [e, st] : m_marketStatus)
            s += "^" + e + "|" + st;
        return s;
    }
    if (code == "112") {
        // Scrip details: "WD=112|session|token|exchange|4", one record of
        // fields 0-50 from the security's quote and master.
        const Security* s = m_universe->byToken(detail::field(f, 3), detail::toInt(detail::field(f, 2)));
        if (!s)
            return "112|1|Security not found";
        const Quote q = quoteLocked(s->wtoken);
        const bool commodity = s->exchange == "MC";
        std::vector<std::string> v(51);
        const std::string today = detail::timeStamp("date").substr(0, 10);
        v[0] = detail::paiseText(q.avg);
        v[1] = detail::paiseText(q.high);
        v[2] = detail::paiseText(q.low);
        v[3] = detail::paiseText(q.last);
        v[5] = detail::paiseText(q.open);
        v[6] = detail::paiseText(q.close);
        v[7] = today;
        v[8] = today;
        v[12] = v[13] = "-";
        v[14] = "Normal market trading in this contract until its expiry";
        v[17] = std::to_string(q.openInterest);
        v[18] = std::to_string(q.openInterest + 1000);
        v[19] = std::to_string(q.openInterest > 1000 ? q.openInterest - 1000 : 0);
        v[20] = detail::paiseText(std::llround(s->yearHigh * 100));
        v[21] = detail::paiseText(std::llround(s->yearLow * 100));
        v[22] = detail::paiseText(q.upperBand);
        v[23] = detail::paiseText(q.lowerBand);
        v[25] = detail::paiseText(q.close);
        v[27] = std::to_string(s->lot * 1000);
        v[28] = detail::paiseText(q.last * s->lot * 10);
        v[29] = "0";
        v[30] = v[31] = s->expiry.empty() ? "-" : s->expiry;
        v[32] = commodity ? "1 KGS" : "1";
        v[34] = "INE" + std::to_string(100000 + s->token) + "01";
        v[35] = detail::paiseText(q.upperBand);
        v[36] = detail::paiseText(q.lowerBand);
        if (commodity) {
            v[37] = v[17];
            v[38] = "1 KGS";
            v[39] = std::to_string(s->lot);
            v[40] = v[41] = v[42] = v[43] = s->expiry;
            v[44] = detail::paiseText(s->tick);
            v[45] = std::to_string(s->lot);
            v[46] = v[47] = "0";
            v[48] = "1";
            v[50] = "KGS";
        }
        return "112|0|OK^" + detail::join(v, '|');
    }
    if (code == "108") {
        // Market depth: "WD=108|id|token|exchange|4": the header with the
        // totals, then five levels (bid price, orders, qty, offer price,
        // orders, qty) joined by '~'.
        const Security* s = m_universe->byToken(detail::field(f, 3), detail::toInt(detail::field(f, 2)));
        if (!s)
            return "108|1|Security not found";
        const Quote& q = quoteLocked(s->wtoken);
        const int64_t tick = detail::tickPaise(s);
        std::vector<std::string> rows;
        for (int k = 0; k < 5; ++k)
            rows.push_back(detail::paiseText(std::max<int64_t>(tick, q.last - (k + 1) * tick)) + "|"
                           + std::to_string(1 + k * 2) + "|" + std::to_string(q.bidQty * (k + 1)) + "|"
                           + detail::paiseText(q.last + (k + 1) * tick) + "|" + std::to_string(1 + k * 2) + "|"
                           + std::to_string(q.askQty * (k + 1)));
        return "108|0|OK|||" + std::to_string(q.totalBuy) + "|" + std::to_string(q.totalSell) + "^"
            + detail::join(rows, '~');
    }
    if (code == "113" || code == "114") {
        // Top gainers and losers (113) or most active (114) of an exchange:
        // "token|exch|..." in rupees, ranked by change or by traded volume.
        const std::string exch = detail::field(f, 2);
        std::vector<std::pair<int64_t, std::string>> ranked;
        for (const Security& s : m_universe->securities()) {
            if (s.exchange != exch || s.inst != "EQ")
                continue;
            const Quote& q = quoteLocked(s.wtoken);
            const int64_t change = detail::changeHundredths(q.last, q.close); // hundredths of a percent
            const std::string pct = detail::paiseText(change);
            std::string row = std::to_string(s.token) + "|" + s.exchange + "|";
            if (code == "113")
                row += detail::paiseText(q.open) + "|" + detail::paiseText(q.high) + "|" + detail::paiseText(q.low)
                    + "|" + detail::paiseText(q.last) + "|" + detail::paiseText(q.close) + "|" + pct + "|"
                    + std::to_string(q.volume);
            else
                row += std::to_string(q.volume) + "|" + detail::paiseText(q.volume * q.last) + "|"
                    + detail::paiseText(q.last) + "|" + detail::paiseText(q.close) + "|" + pct + "|-|-";
            ranked.emplace_back(code == "113" ? -std::llabs(change) : -q.volume, row);
        }
        std::stable_sort(ranked.begin(), ranked.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::string out = code + "|0|OK";
        for (const auto& [rank, row] : ranked)
            out += "^" + row;
        return out;
    }
    if (code == "111") {
        std::vector<std::string> rows = {"111|0|OK"};
        for (const Security* s : m_universe->indices()) {
            const Quote q = quoteLocked(s->wtoken);
            rows.push_back(std::to_string(s->token) + "|" + s->name + "|" + s->symbol + "|" + s->exchange + "|"
                           + std::to_string(q.last) + "|" + std::to_string(q.high) + "|" + std::to_string(q.low) + "|"
                           + std::to_string(q.open) + "|" + std::to_string(q.close) + "|"
                           + std::to_string(q.last - q.close) + "|" + std::to_string(std::llround(s->yearHigh * 100))
                           + "|" + std::to_string(std::llround(s->yearLow * 100)) + "|" + std::to_string(s->wtoken));
        }
        return detail::join(rows, '^');
    }
    if (code == "100") {
        std::vector<std::string> rows;
        for (const WatchList& l : lists)
            rows.push_back(std::to_string(l.id) + "|" + l.name);
        return rows.empty() ? "100|0|OK" : "100|0|OK^" + detail::join(rows, '~');
    }
    if (code == "117") {
        // An option chain: "WD=117|session|token|exchange|4".
        std::vector<std::string> rows;
        if (const Security* s = m_universe->byToken(detail::field(f, 3), detail::toInt(detail::field(f, 2))))
            for (const Security* o : m_universe->optionChain(*s, 60))
                rows.push_back(std::to_string(o->token) + "|" + o->exchange);
        return rows.empty() ? "167|0|OK" : "167|0|OK^" + detail::join(rows, '~');
    }
    if (code == "104") {
        const int id = detail::toInt(detail::field(f, 3));
        std::vector<std::string> rows;
        for (const Security* s : m_universe->categoryMembers(id))
            rows.push_back(std::to_string(s->token) + "|" + s->symbol + "|" + s->exchange);
        for (const WatchList& l : lists)
            if (l.id == id)
                for (const auto& [token, exch] : l.rows) {
                    const Security* s = m_universe->byToken(exch, token);
                    rows.push_back(std::to_string(token) + "|" + (s ? s->symbol : std::string("-")) + "|" + exch);
                }
        return rows.empty() ? "154|0|OK" : "154|0|OK^" + detail::join(rows, '~');
    }
    if (code == "101") {
        lists.push_back(WatchList{m_nextListId++, detail::field(f, 3), {}});
        return "101|0|Watch List Added||" + std::to_string(lists.back().id);
    }
    if (code == "103" || code == "102") {
        const int id = detail::toInt(detail::field(f, code == "103" ? 3 : 4));
        for (auto it = lists.begin(); it != lists.end(); ++it)
            if (it->id == id) {
                if (code == "102") {
                    lists.erase(it);
                    return "102|0|Watch List Deleted";
                }
                it->name = detail::field(f, 5);
                return "103|0|Watch List Renamed";
            }
        return code + "|1|Watch List not found";
    }
    if (code == "107") {
        // "WD=107|session|user|name|count^token|exch|state~...~|4"
        const std::string& text = req.decoded.text;
        const size_t caret = text.find('^');
        const std::vector<std::string> head = detail::split(text.substr(3, caret == std::string::npos ? std::string::npos : caret - 3), '|');
        auto& userLists = m_lists[detail::field(head, 2)];
        const std::string name = detail::field(head, 3);
        WatchList* list = nullptr;
        for (WatchList& l : userLists)
            if (l.name == name)
                list = &l;
        if (!list) {
            userLists.push_back(WatchList{m_nextListId++, name, {}});
            list = &userLists.back();
        }
        list->rows.clear();
        if (caret != std::string::npos)
            for (const std::string& row : detail::split(text.substr(caret + 1), '~')) {
                const std::vector<std::string> rf = detail::split(row, '|');
                if (rf.size() < 3 || rf[0].empty())
                    continue;
                // The row carries the market watch's exchange name.
                static const std::map<std::string, std::string> codes = {
                    {"NSE", "NN"}, {"BSE", "BN"}, {"NSE-FX", "CN"}, {"BSE-CDX", "CB"}, {"MCX-SX", "CM"}, {"MCX-CM", "MC"}};
                const auto code = codes.find(rf[1]);
                const std::string exch = code == codes.end() ? rf[1] : code->second;
                list->rows.emplace_back(detail::toInt(rf[0]), exch);
            }
        return "107|0|Watch List Saved||" + std::to_string(list->id);
    }
    if (code == "121") {
        // The options watch list: a few index options.
        std::vector<std::string> rows;
        for (const Security& s : m_universe->securities())
            if (s.inst == "OI" && rows.size() < 4)
                rows.push_back(std::to_string(s.token) + "|" + s.exchange + "|0");
        return rows.empty() ? "121|0|OK" : "121|0|OK^" + detail::join(rows, '~');
    }
    return {};
}

} // namespace tb
