#include "orders/TradeReport.h"

#include "app/base/FigureText.h"
#include "app/base/LogWriter.h"
#include "server/OrderSecurity.h"
#include "watch/base/TextSplit.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace trade_report_detail {
namespace {

std::string field(const std::vector<std::string>& f, size_t i) { return i < f.size() ? f[i] : std::string(); }

bool readWhole(const std::string& text, long long& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    out = std::strtoll(text.c_str(), &end, 10);
    return end && *end == '\0';
}

} // namespace
} // namespace trade_report_detail

std::string BuildTradeReportRequest(const TradeReportParams& p)
{
    char text[256];
    std::snprintf(text, sizeof text, "ReportData=%d|%s|%s|%d|%s|%d|%d|%d|0", 610, p.clientId.c_str(), p.userId.c_str(),
                  4, p.clientCode.c_str(), 0, 1, p.previousTrades ? 2 : 0);
    return std::string(text) + "&AClient=N";
}

TradeReportOutcome ReadTradeReportReply(int status, const std::string& reply, const std::string& client,
                                        int (*securityOf)(int token, const std::string& exchange))
{
    TradeReportOutcome out;
    out.kind = TradeReportOutcome::ErrorBox;
    if (status == 407) {
        out.text = "Proxy Authentication Failed";
        return out;
    }
    if (status != 200) {
        char text[128];
        std::snprintf(text, sizeof text, "Internet Connectivity Error [%d]. Pls contact System Administrator", status);
        out.text = text;
        return out;
    }
    WriteLog(0, "TradeView Response Len <" + std::to_string(reply.size()) + ">");
    if (reply.empty()) {
        out.text = "Server Error. Please Try Again...";
        return out;
    }
    const size_t tilde = reply.find('~');
    const std::string head = reply.substr(0, tilde);
    std::vector<std::string> header;
    SplitString(head, '|', header);
    const std::string error = trade_report_detail::field(header, 1);
    long long code = 0;
    if (!trade_report_detail::readWhole(error, code) || header.size() < 3) {
        out.text = "Unable to download Trade Report. Please Try Again...";
        WriteLog(0, "Trade report header not understood: [" + head.substr(0, 200) + "]");
        return out;
    }
    if (code != 0) {
        WriteLog(3, "Trade report error: " + trade_report_detail::field(header, 2));
        out.kind = code == 1205 ? TradeReportOutcome::Silent : TradeReportOutcome::ErrorBox;
        out.text = trade_report_detail::field(header, 2);
        return out;
    }
    long long count = 0;
    if (!trade_report_detail::readWhole(trade_report_detail::field(header, 3), count) || count < 0) {
        out.text = "Unable to download Trade Report. Please Try Again...";
        return out;
    }
    WriteLog(0, "Trades Ctr <" + std::to_string(count) + ">");
    std::vector<std::string> records;
    if (tilde != std::string::npos)
        SplitString(std::string_view(reply).substr(tilde + 1), '^', records);
    const size_t most = static_cast<size_t>(std::min<long long>(count, 1000000)) + 10;
    if (records.size() > most) {
        WriteLog(0, "Trade report: " + std::to_string(records.size()) + " records for " + std::to_string(count)
                        + " announced, the rest refused");
        records.resize(most);
    }
    out.kind = TradeReportOutcome::Load;
    out.trades.reserve(records.size());
    std::vector<std::string> f;
    for (const std::string& rec : records) {
        if (rec.empty())
            continue;
        if (rec.size() > kTradeRecordMax) {
            WriteLog(0, "Trade record over " + std::to_string(kTradeRecordMax) + " characters refused");
            continue;
        }
        f.clear();
        SplitString(rec, '|', f);
        if (std::any_of(f.begin(), f.end(), [](const std::string& s) { return s.size() > kTradeFieldMax; })) {
            WriteLog(0, "Trade record with a field over " + std::to_string(kTradeFieldMax) + " characters refused");
            continue;
        }
        TradeInfo t;
        t.token = std::atoi(trade_report_detail::field(f, 2).c_str());
        t.exchange = trade_report_detail::field(f, 3).substr(0, 2);
        t.order_no = std::strtod(trade_report_detail::field(f, 4).c_str(), nullptr);
        t.trade_no = std::strtod(trade_report_detail::field(f, 5).c_str(), nullptr);
        t.exch_trade_no = trade_report_detail::field(f, 6);
        t.buy_sell = trade_report_detail::field(f, 7).substr(0, 4);
        t.side = t.buy_sell.empty() ? 0 : t.buy_sell[0];
        t.quantity = std::atoi(trade_report_detail::field(f, 8).c_str());
        t.price = std::strtod(trade_report_detail::field(f, 9).c_str(), nullptr);
        t.time = trade_report_detail::field(f, 10);
        t.order_mark = std::atoi(trade_report_detail::field(f, 11).c_str());
        t.client_code = trade_report_detail::field(f, 12).substr(0, 10);
        t.security = trade_report_detail::field(f, 15);
        std::replace(t.security.begin(), t.security.end(), '-', '~');
        t.mark_name = trade_report_detail::field(f, 16);
        t.sec_index = securityOf ? securityOf(t.token, t.exchange) : -1;
        t.row = static_cast<int>(out.trades.size());
        out.trades.push_back(std::move(t));
    }
    char text[160];
    std::snprintf(text, sizeof text, "Trade Report Downloaded Successfully for Client :%s, Total Trades :%d",
                  client.c_str(), static_cast<int>(out.trades.size()));
    out.text = text;
    return out;
}

std::string TradePriceText(const TradeInfo& trade)
{
    // The security's own flag when it is known, its exchange otherwise.
    int currency = -1;
    if (trade.sec_index >= 0) {
        const OrderSecurity sec = OrderSecurityAt(trade.sec_index);
        if (sec.valid())
            currency = sec.currency;
    }
    return securityFigureText(trade.price, currency, trade.exchange);
}
