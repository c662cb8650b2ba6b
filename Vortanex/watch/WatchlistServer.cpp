#include "watch/WatchlistServer.h"

#include "server/SecurityTable.h"
#include "server/ServerAccess.h"

#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "orders/PositionRecords.h"
#include "watch/base/TextSplit.h"
#include "watch/base/WatchlistTable.h"

#include <algorithm>
#include <charconv>
#include <mutex>

namespace watchlist_server_detail {
namespace {

bool parseInt(std::string_view text, int& out)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end;
}

std::string trimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

WatchRowEntry riskRow(const SecurityRecord& s, int index)
{
    WatchRowEntry r;
    r.token = s.wtoken;
    r.securityIndex = index;
    r.state = 1;
    r.origin = '0';
    return r;
}

} // namespace
} // namespace watchlist_server_detail

WatchSession CurrentWatchSession()
{
    WatchSession s;
    s.sessionId = std::string(FixedTextView(pv_user_info.session_id));
    s.userId = std::string(FixedTextView(pv_user_info.user_id));
    s.clientCode = std::string(FixedTextView(pv_user_info.client_code));
    s.encrypt = pv_user_info.encrypt;
    return s;
}

WatchReply ParseWatchReply(int status, std::string_view body)
{
    WatchReply r;
    r.status = status;
    if (status != 200)
        return r;
    std::vector<std::string> f;
    SplitString(body, '|', f);
    for (std::string& field : f)
        field = watchlist_server_detail::trimmed(field);
    if (f.size() > 1)
        r.hasResult = watchlist_server_detail::parseInt(f[1], r.result);
    if (f.size() > 2)
        r.message = f[2];
    if (f.size() > 4)
        r.hasId = watchlist_server_detail::parseInt(f[4], r.id);
    return r;
}

std::string WatchlistRequestText(const WatchSession& s, int action, int listId, std::string_view name,
                                 std::string_view secondName)
{
    const std::string n(name), second(secondName);
    switch (action) {
    case 1:
        return formatText("WD=101|%s|%s|%s|0|%d", s.sessionId.c_str(), s.userId.c_str(), n.c_str(), 4);
    case 2:
        return formatText("WD=103|%s|%s|%d|%s|%s|%d", s.sessionId.c_str(), s.userId.c_str(), listId, n.c_str(),
                          second.c_str(), 4);
    case 3:
        return formatText("WD=102|%s|%s|%s|%d|%d", s.sessionId.c_str(), s.userId.c_str(), n.c_str(), listId, 4);
    default:
        return {};
    }
}

std::string SaveWatchlistText(const WatchSession& s, std::string_view listName, const std::vector<SaveRow>& rows)
{
    const std::string name(listName);
    const std::string head = formatText("WD=107|%s|%s|%s|%d^", s.sessionId.c_str(), s.userId.c_str(), name.c_str(),
                                        static_cast<int>(rows.size()));
    // Built without a fixed buffer: a hundred rows do not fit the old one.
    std::string body;
    for (const SaveRow& r : rows)
        body += std::to_string(r.exchangeToken) + "|" + r.exchange.substr(0, 9) + "|" + std::to_string(r.state) + "~";
    return head + body + "|" + std::to_string(4);
}

bool RequestFitsEncoding(int encrypt, std::string_view text)
{
    return encrypt != 2 || text.size() <= kRsaRequestLimit;
}

WatchReply ExchangeWatchText(ServerAccess& server, int encrypt, int transCode, const std::string& text)
{
    const ServerReply reply = server.requestServer(encrypt, transCode, text);
    WatchReply r = ParseWatchReply(reply.status, reply.body);
    if (reply.status == 200)
        WriteLog(3, formatText("Response Len <%ld>", static_cast<long>(reply.body.size())));
    return r;
}

std::string RiskRequestText(const WatchSession& s, int code)
{
    return formatText("RiskData=%d|%s|%s|%s|%s|%d&AClient=N", code, s.sessionId.c_str(), s.userId.c_str(),
                      s.clientCode.c_str(), s.clientCode.c_str(), 4);
}

std::vector<RiskSecurity> ParseHoldingsReply(std::string_view body)
{
    std::vector<RiskSecurity> out;
    const size_t tilde = body.find('~');
    if (tilde == std::string_view::npos)
        return out;
    std::string_view rest = body.substr(tilde + 1);
    while (true) {
        const size_t caret = rest.find('^');
        const std::string record = watchlist_server_detail::trimmed(rest.substr(0, caret));
        if (record.empty())
            break;
        std::vector<std::string> f;
        SplitString(record, '|', f);
        if (!f.empty() && f.front().empty())
            f.erase(f.begin());
        RiskSecurity s;
        if (f.size() >= 2 && watchlist_server_detail::parseInt(f[0], s.token)) {
            s.exchange = f[1];
            out.push_back(std::move(s));
        }
        if (caret == std::string_view::npos)
            break;
        rest.remove_prefix(caret + 1);
    }
    return out;
}

std::vector<RiskSecurity> ParsePositionsReply(std::string_view body)
{
    std::vector<RiskSecurity> out;
    std::vector<std::string> items;
    SplitString(body, '~', items);
    if (items.size() < 2)
        return out;
    std::vector<std::string> records;
    SplitString(items[1], '^', records);
    for (const std::string& record : records) {
        if (record.empty())
            break;
        std::vector<std::string> f;
        SplitString(record, '|', f);
        if (f.size() < 32 || f[31] == "P")
            continue;
        RiskSecurity s;
        if (!watchlist_server_detail::parseInt(f[0], s.token))
            continue;
        s.exchange = f[1];
        out.push_back(std::move(s));
    }
    return out;
}

int BuildRiskList(RiskListKind kind, int watchIndex, const SecurityTable& table, ClientRiskRecords& records,
                  ServerAccess& server, const WatchSession& session)
{
    const bool holdings = kind == RiskListKind::Holdings;
    const char* name = holdings ? "Get_Investments" : "Get_Positions";
    std::vector<WatchRowEntry> rows;
    int capacity = 10;
    const auto add = [&](int index) {
        if (!table.valid(index))
            return;
        const int wtoken = table.row(index).wtoken;
        for (const WatchRowEntry& r : rows)
            if (r.token == wtoken) {
                if (!holdings)
                    WriteLog(3, formatTextCapped(511, "Token already in watch %s %d", table.row(index).displayKey().c_str(),
                                                 index));
                return;
            }
        if (static_cast<int>(rows.size()) >= capacity)
            capacity += 10;
        rows.push_back(watchlist_server_detail::riskRow(table.row(index), index));
    };
    try {
        std::vector<int> fromMemory;
        {
            std::lock_guard lock(records.mutex);
            if (holdings) {
                for (const HoldingRecord& h : records.holdings)
                    fromMemory.push_back(h.sec_index);
            } else {
                for (const PositionRecord& p : records.positions)
                    if (p.margin_type != "P")
                        fromMemory.push_back(p.sec_index);
                    else
                        fromMemory.push_back(-2); // present but excluded: the memory path still holds
            }
        }
        if (!fromMemory.empty()) {
            WriteLog(3, holdings ? "Get_Investments :Getting Stock details from memory "
                                 : "Getting position details from memory");
            for (int index : fromMemory)
                add(index);
        } else {
            WriteLog(3, holdings ? "Get_Investments :Getting Stock details from server"
                                 : "Get_Positions :Getting Positions details from server");
            const std::string text = RiskRequestText(session, holdings ? 413 : 412);
            WriteLog(3, text);
            const ServerReply reply = server.requestServer(session.encrypt, holdings ? 413 : 412, text);
            WriteLog(3, formatTextCapped(511, "%s reply [%d] %s", name, reply.status, reply.body.c_str()));
            if (reply.status == 200)
                for (const RiskSecurity& s : holdings ? ParseHoldingsReply(reply.body) : ParsePositionsReply(reply.body))
                    add(table.searchToken(s.token, s.exchange));
        }
    } catch (...) {
        WriteLog(0, std::string("Exception in ") + name);
    }
    const int n = static_cast<int>(rows.size());
    WatchlistTable::instance().replaceRows(watchIndex, std::move(rows), capacity);
    if (holdings)
        WriteLog(3, "Exit Get_Investments");
    return n;
}

int BuildHoldingsList(int watchIndex, ServerAccess& server)
{
    const auto table = SecurityTable::current();
    if (!table)
        return 0;
    return BuildRiskList(RiskListKind::Holdings, watchIndex, *table, ActiveClientRiskRecords(), server,
                         CurrentWatchSession());
}

int BuildPositionsList(int watchIndex, ServerAccess& server)
{
    const auto table = SecurityTable::current();
    if (!table)
        return 0;
    return BuildRiskList(RiskListKind::Positions, watchIndex, *table, ActiveClientRiskRecords(), server,
                         CurrentWatchSession());
}
