#include "server/SecurityRequests.h"

#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/TextFormat.h"
#include "server/SecurityTable.h"
#include "server/ServerAccess.h"
#include "watch/base/TextSplit.h"

#include "ui/prompter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <mutex>

// File-local helpers.
namespace {
namespace security_requests_detail {

std::mutex g_refRateMutex;

// A line that carries file or server text is cut to this many characters, so one
// oversized field cannot flood the log or a request.
constexpr std::size_t kLineLimit = 599;

int toInt(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    if (!s.empty() && s[0] == '+')
        s.remove_prefix(1);
    int v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() ? v : 0;
}

void transportMessage(int status)
{
    if (status == 407)
        MsgBoxOk("Proxy Authentication Failed");
    else
        MsgBoxInfo(formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", status));
}

} // namespace security_requests_detail
} // namespace

int GetCrossCurrencyRefRate(ServerAccess& server, const RequestSession& session)
{
    long total = 0;
    try {
        WriteLog(3, "Entry GetCrossCurrencyRefRate");
        const std::string req = formatTextCapped(security_requests_detail::kLineLimit, "ReportData=930|%s|%s|%ld",
                                                 session.session_id.c_str(), session.user_id.c_str(), 4L);
        const ServerReply reply = server.requestServer(session.encrypt, 900, req);
        if (reply.status != 200) {
            security_requests_detail::transportMessage(reply.status);
        } else {
            WriteLog(3, reply.body);
            std::vector<std::string> parts;
            SplitString(reply.body, '~', parts);
            if (parts.size() == 2) {
                std::vector<std::string> head;
                SplitString(parts[0], '|', head);
                if (head.empty() || head[0] != "931") {
                    WriteLog(0, formatTextCapped(security_requests_detail::kLineLimit, "Invalid response[%s]", reply.body.c_str()));
                    return -1;
                }
                const int status = head.size() > 1 ? security_requests_detail::toInt(head[1]) : 0;
                if (status != 0) {
                    if (head.size() > 2 && !head[2].empty())
                        WriteLog(0, formatTextCapped(security_requests_detail::kLineLimit, "Error message response[%d - %s]", status,
                                                     head[2].c_str()));
                    else
                        WriteLog(
                            0, formatTextCapped(security_requests_detail::kLineLimit, "Error message response[%s]", reply.body.c_str()));
                    return -1;
                }
                total = head.size() > 3 ? security_requests_detail::toInt(head[3]) : 0;
                UpdateRbiRefRate(static_cast<int>(total), parts[1]);
            }
        }
    } catch (const std::exception&) {
        WriteLog(0, "Exception in GetCrossCurrencyRefRate");
    }
    WriteLog(3, formatText("Exit GetCrossCurrencyRefRate : Total %ld", total));
    return 0;
}

int UpdateRbiRefRate(int count, std::string_view text)
{
    auto t = SecurityTable::current();
    return t ? UpdateRbiRefRate(*t, count, text) : 0;
}

int UpdateRbiRefRate(SecurityTable& table, int count, std::string_view text)
{
    std::lock_guard lock(security_requests_detail::g_refRateMutex);
    try {
        std::vector<std::string> recs;
        SplitString(text, '^', recs);
        // The header's count may exceed the records present.
        const int n = std::min(count, static_cast<int>(recs.size()));
        for (int i = 0; i < n; ++i) {
            const std::string& r = recs[static_cast<size_t>(i)];
            const size_t bar = r.find('|');
            if (bar == std::string::npos)
                continue;
            const int w = security_requests_detail::toInt(std::string_view(r).substr(0, bar));
            const double rate = std::atof(r.c_str() + bar + 1);
            const int index = table.searchWToken(w);
            if (index < 0 || !(rate > 0) || !std::isfinite(rate))
                continue;
            const double value = rate / 100;
            SecurityRecord& found = table.row(index);
            found.ref_rate.store(value);

            std::string_view stem = found.symbol.view();
            const size_t dash = stem.find('-');
            if (dash != std::string_view::npos && dash > 0)
                stem = stem.substr(0, dash);
            if (stem.empty())
                continue;
            const SecurityTable::Range b = table.bucket(static_cast<unsigned char>(stem[0]));
            for (int j = b.first; j < b.last; ++j) {
                SecurityRecord& rec = table.row(j);
                if (rec.symbol == stem && rec.market_exchange == found.market_exchange.view() &&
                    rec.ref_rate.load() != value)
                    rec.ref_rate.store(value);
            }
        }
    } catch (const std::exception&) {
        WriteLog(0, "Exception in UpdateRbiRefRate.");
    }
    return 0;
}

int GetDerivaneWatch(ServerAccess& server, const RequestSession& session, const SecurityTable& table,
                     std::string_view listName, std::vector<DerivaneWatchRow>& rows)
{
    try {
        WriteLog(3, formatTextCapped(security_requests_detail::kLineLimit, "Entry GetDerivaneWatch for %s : Total : %d, Type : %d",
                                     std::string(listName).c_str(), static_cast<int>(rows.capacity()), -1));
        WriteLog(0, "Getting Maxivane Options Watch Data from server");
        std::vector<DerivaneWatchRow> fresh;
        fresh.reserve(200);
        const std::string req = formatTextCapped(security_requests_detail::kLineLimit, "WD=121|%s|%s|%d|%d", session.session_id.c_str(),
                                                 session.user_id.c_str(), -1, 4);
        const ServerReply reply = server.requestServer(session.encrypt, 25, req);
        WriteLog(0, reply.body);
        if (reply.status == 200) {
            std::string_view body = reply.body;
            size_t pos = 0;
            bool header = true;
            while (pos < body.size()) {
                const size_t end = body.find(header ? '^' : '~', pos);
                std::string_view rec =
                    body.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
                pos = end == std::string_view::npos ? body.size() : end + 1;
                while (!rec.empty() && rec.front() == ' ')
                    rec.remove_prefix(1);
                while (!rec.empty() && rec.back() == ' ')
                    rec.remove_suffix(1);
                if (rec.empty())
                    break;
                if (header) {
                    header = false;
                    continue;
                }
                std::vector<std::string> f;
                SplitString(rec, '|', f);
                f.resize(std::max<size_t>(f.size(), 3));
                const int index = table.searchToken(security_requests_detail::toInt(f[0]), f[1].substr(0, 2));
                if (index < 0)
                    continue;
                if (std::any_of(fresh.begin(), fresh.end(),
                                [&](const DerivaneWatchRow& r) { return r.securityIndex == index; }))
                    continue;
                DerivaneWatchRow& row = fresh.emplace_back();
                row.token = table.row(index).wtoken;
                row.securityIndex = index;
                row.state = 1;
                row.origin = '0';
                row.status = static_cast<short>(security_requests_detail::toInt(f[2]));
            }
        }
        rows = std::move(fresh);
    } catch (const std::exception&) {
        WriteLog(0, "Exception in GetDerivaneWatch");
    }
    WriteLog(3, "Exit GetDerivaneWatch");
    return 0;
}
