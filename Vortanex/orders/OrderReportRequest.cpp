#include "orders/OrderReportRequest.h"

#include "app/base/LogWriter.h"
#include "watch/base/TextSplit.h"

#include <cstdio>
#include <cstdlib>

OrderReportRequestBlock g_OrderReportRequest;

namespace detail {
namespace {

constexpr std::string_view kRefusedClientChars = "`~!@#$%^&*()_-=+\\|;:\"'[{]}<,>/? ";

} // namespace
} // namespace detail

bool IsValidDealerClient(std::string_view code)
{
    if (code.size() != 5)
        return false;
    return code.find_first_of(detail::kRefusedClientChars) == std::string_view::npos;
}

std::string BuildOrderReportRequest(const OrderReportParams& p)
{
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "ReportData=%d|", 600);
    std::string out = prefix;
    out += p.account + "|" + p.userId + "|4|" + p.clientCode + "|";
    out += p.allClients ? "1|0|" : "0|1|";
    out += p.previousOrders ? "2|0" : "0|0";
    out += p.actingForClient ? "&AClient=Y" : "&AClient=N";
    return out;
}

OrderReportOutcome ReadOrderReportReply(int status, const std::string& reply, long length)
{
    OrderReportOutcome out;
    out.kind = OrderReportOutcome::ErrorBox;
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
    WriteLog(0, "OrderView Response Len <" + std::to_string(length) + ">");
    if (length <= 0 || reply.empty()) {
        out.text = "Unable to download Order Report 2";
        return out;
    }
    std::vector<std::string> records;
    SplitString(reply, '~', records);
    if (records.empty() || records[0].empty()) {
        WriteLog(0, "Unidentified Response Len <" + std::to_string(length) + "> data : [" + reply + "]");
        out.kind = OrderReportOutcome::Unidentified;
        out.text = "Unidentified response received from server";
        return out;
    }
    std::vector<std::string> header;
    SplitString(records[0], '|', header);
    if (header.size() < 3) {
        out.text = "No response received from server";
        return out;
    }
    const long error = std::strtol(header[1].c_str(), nullptr, 10);
    if (error != 0) {
        out.kind = error == 1205 ? OrderReportOutcome::BarMessage : OrderReportOutcome::ErrorBox;
        out.text = header[2];
        return out;
    }
    out.count = header.size() > 3 ? static_cast<int>(std::strtol(header[3].c_str(), nullptr, 10)) : 0;
    if (out.count < 1) {
        out.kind = OrderReportOutcome::Clear;
        out.count = 0;
        return out;
    }
    out.kind = OrderReportOutcome::Load;
    if (records.size() > 1)
        SplitString(records[1], '^', out.rows);
    return out;
}

std::string OrderMarketName(std::string_view exchange, bool withMcxSx)
{
    if (exchange == "NN")
        return "NSE";
    if (exchange == "BN")
        return "BSE";
    if (exchange == "CN")
        return "NSE-FX";
    if (exchange == "CB")
        return "BSE-CDX";
    if (exchange == "MC")
        return "MCX-CM";
    if (exchange == "CM" && withMcxSx)
        return "MCX-SX";
    return {};
}

std::string OrderPriceText(double price, bool fourDecimals)
{
    char text[64];
    std::snprintf(text, sizeof text, fourDecimals ? "%0.4lf" : "%0.2lf", price);
    return text;
}

bool IsCurrencyExchange(std::string_view exchange) { return exchange == "CN" || exchange == "CB" || exchange == "MC"; }
