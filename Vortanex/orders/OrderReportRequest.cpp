#include "orders/OrderReportRequest.h"

#include "app/base/FigureText.h"
#include "app/base/TextFormat.h"

#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/SessionRecord.h"
#include "orders/OrderInfo.h"
#include "watch/base/TextSplit.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

OrderReportRequestBlock g_OrderReportRequest;

namespace order_report_request_detail {
namespace {

constexpr std::string_view kRefusedClientChars = "`~!@#$%^&*()_-=+\\|;:\"'[{]}<,>/? ";

// A count field: an optional sign and digits, blanks around them; an empty
// field is no orders.
bool readCount(const std::string& text, long long& out)
{
    if (text.find_first_not_of(" \t") == std::string::npos) {
        out = 0;
        return true;
    }
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || errno == ERANGE)
        return false;
    while (*end == ' ' || *end == '\t')
        ++end;
    if (*end != '\0')
        return false;
    out = v;
    return true;
}

} // namespace
} // namespace order_report_request_detail

bool IsValidDealerClient(std::string_view code)
{
    if (code.size() != 5)
        return false;
    return code.find_first_of(order_report_request_detail::kRefusedClientChars) == std::string_view::npos;
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
    // The count must be a number: a header whose count is not one is not a
    // report the book can trust.
    long long count = 0;
    if (header.size() > 3 && !order_report_request_detail::readCount(header[3], count)) {
        WriteLog(0, "Unidentified Response Len <" + std::to_string(length) + "> count : [" + header[3] + "]");
        out.kind = OrderReportOutcome::Unidentified;
        out.text = "Unidentified response received from server";
        return out;
    }
    out.count = static_cast<int>(std::clamp<long long>(count, 0, INT32_MAX));
    if (out.count < 1) {
        out.kind = OrderReportOutcome::Clear;
        out.count = 0;
        return out;
    }
    out.kind = OrderReportOutcome::Load;
    if (records.size() > 1)
        SplitString(records[1], '^', out.rows);
    // What the store takes is bounded by the rows the reply carries.
    out.count = static_cast<int>(std::min<size_t>(static_cast<size_t>(out.count), out.rows.size()));
    if (out.count < 1)
        out.kind = OrderReportOutcome::Clear;
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
    return figureText(price, fourDecimals ? 4 : 2);
}

bool IsCurrencyExchange(std::string_view exchange) { return figureDecimals(-1, exchange) == 4; }

OrderRowTexts FormatOrderRow(const OrderInfo& record, bool fourDecimals)
{
    OrderRowTexts t;
    t.market = OrderMarketName(FixedTextView(record.exchange), true);
    char number[64];
    std::snprintf(number, sizeof number, "%0.lf", record.order_no);
    t.orderNo = number;
    const std::string_view side = FixedTextView(record.buy_sell);
    if (side == "B")
        t.buySell = "Buy";
    else if (side == "S")
        t.buySell = "Sell";
    else
        t.buySell = std::string(side);
    t.price = OrderPriceText(record.price, fourDecimals);
    t.trigger = OrderPriceText(record.trigger, fourDecimals);
    t.mark = std::string(FixedTextView(record.mark_name));
    if (t.mark.empty()) {
        // A placed order knows its mark by id: the name is the mark table's.
        const int n = std::min<int>(pv_user_info.segment_count, static_cast<int>(pv_user_info.segments.size()));
        for (int i = 0; i < n; ++i)
            if (pv_user_info.segments[static_cast<size_t>(i)].id == record.order_mark) {
                t.mark = std::string(FixedTextView(pv_user_info.segments[static_cast<size_t>(i)].name));
                break;
            }
    }
    return t;
}
