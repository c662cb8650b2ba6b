#include "market/HistoryDepthReport.h"

#include "app/base/FigureText.h"
#include "app/base/TextFormat.h"

#include "server/SecurityTable.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace hd {

namespace {

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

// Cuts at sep; the last piece needs no closing separator, so a text ending
// in sep gives no empty piece after it.
std::vector<std::string_view> cut(std::string_view s, char sep)
{
    std::vector<std::string_view> out;
    size_t start = 0;
    while (start < s.size()) {
        const size_t at = s.find(sep, start);
        if (at == std::string_view::npos) {
            out.push_back(s.substr(start));
            break;
        }
        out.push_back(s.substr(start, at - start));
        start = at + 1;
    }
    return out;
}

std::vector<std::string> fieldsOf(std::string_view record)
{
    std::vector<std::string> out;
    record = trimmed(record);
    size_t start = 0;
    for (;;) {
        const size_t bar = record.find('|', start);
        out.emplace_back(trimmed(record.substr(start, bar == std::string_view::npos ? std::string_view::npos
                                                                                     : bar - start)));
        if (bar == std::string_view::npos)
            return out;
        start = bar + 1;
    }
}

const std::string& at(const std::vector<std::string>& f, size_t i)
{
    static const std::string empty;
    return i < f.size() ? f[i] : empty;
}

double number(const std::string& s) { return std::strtod(s.c_str(), nullptr); }
long integer(const std::string& s) { return std::strtol(s.c_str(), nullptr, 10); }

std::string money(double v, const char* format = "%0.2lf")
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    // A value that rounds to zero shows without a sign.
    if (buf[0] == '-' && std::string_view(buf + 1).find_first_not_of("0.") == std::string_view::npos)
        return buf + 1;
    return buf;
}

std::string fixed(std::string_view prefix, std::string_view a, std::string_view b = {})
{
    std::string s(prefix);
    s += a;
    s += b;
    return s;
}

} // namespace

std::vector<Column> ReportColumns(int type)
{
    const Align L = Align::Left, R = Align::Right, C = Align::Centre;
    switch (type) {
    case kOrderHistory:
        return {{"Sr. No", R, 25},          {"Ord Qty/Lot", R, 80},  {"Ord Price", R, 50},    {"Filled Qty/Lot", R, 80},
                {"Activity Time", L, 120},  {"Action", L, 120},      {"Status", L, 50},       {"Disc. Qty/Lot", R, 80},
                {"Trg. Prc", R, 50},        {"Qty Rest.", R, 50},    {"Time Rest.", L, 80},   {"Exch Ord No.", L, 120},
                {"Reject Reason", L, 150}};
    case kMarketDepth:
        return {{"Sr. No", R, 25},      {"Bid Price", R, 80},    {"Bid Orders", R, 80}, {"Bid Qty", R, 80},
                {"Offer Price", R, 80}, {"Offer Orders", R, 80}, {"Offer Qty", R, 80}};
    case kIndices:
        return {{"Name", L, 100},       {"Index Value", R, 80}, {"High", R, 80},        {"Low", R, 80},
                {"Open", R, 80},        {"Close", R, 80},       {"% Change", R, 80},    {"Yearly High", R, 80},
                {"Yearly Low", R, 80}};
    case kMarketLot:
        return {{"Security/Commodity", L, 120}, {"ME", L, 80}, {"Lot Size", R, 80}, {"Qty Unit", L, 120},
                {"Price Unit", L, 120}};
    case kGainerLoser:
        return {{"Security Name", L, 100}, {"Open", R, 80}, {"High", R, 80},     {"Low", R, 80},
                {"LTP", R, 80},            {"Close", R, 80}, {"% Change", R, 80}, {"TTQ", R, 80}};
    case kActiveScrips:
        return {{"Security Name", L, 100}, {"TTQ", R, 80},      {"Traded Value", R, 100}, {"LTP", R, 80},
                {"Close", R, 80},          {"% Change", R, 80}, {"Ex Date", L, 80},       {"Remarks", L, 150}};
    case kTsloHistory:
        return {{"Special Order No.", C, 85}, {"PRNX Order No", L, 120},  {"Special Order Leg", R, 60},
                {"Buy / Sell", L, 70},        {"Order Qty / Lot", R, 60}, {"Order Price", R, 60},
                {"Disc. Qty", R, 60},         {"Trade Qty", R, 60},       {"Book Profit Price", R, 60},
                {"Book Profit Disc. Qty", R, 60}, {"Trailing Price", R, 60}, {"Spread", R, 120},
                {"SLO Price", R, 120},        {"Status", L, 50},          {"Remark", L, 50},
                {"Order Source", R, 50},      {"Activity Time", L, 120},  {"User ID", L, 80},
                {"Auto Sqr. Off", L, 80}};
    default:
        return {};
    }
}

int ReportTransCode(int type)
{
    switch (type) {
    case kOrderHistory: return 505;
    case kMarketDepth: return 7;
    case kIndices: return 9;
    case kGainerLoser: return 20;
    case kActiveScrips: return 21;
    case kTsloHistory: return 650;
    default: return 0;
    }
}

std::string OrderHistoryRequest(std::string_view clientId, std::string_view userId, std::string_view clientCode,
                                double orderNo, bool derivative)
{
    char tail[64];
    std::snprintf(tail, sizeof tail, "|4&OrderData=%.0lf-%c", orderNo, derivative ? 'Y' : 'N');
    std::string s = "ReportData=505|";
    s.append(clientId).append("|").append(userId).append("|").append(clientCode).append("|").append(clientCode);
    return s + tail;
}

std::string MarketDepthRequest(std::string_view clientId, int token, std::string_view exchange)
{
    return fixed("WD=108|", clientId, "|") + std::to_string(token) + "|" + std::string(exchange) + "|4";
}

std::string IndicesRequest(std::string_view clientId) { return fixed("WD=111|", clientId, "|ALL|4"); }

std::string RankedRequest(int type, std::string_view clientId, std::string_view exchange)
{
    return fixed(type == kGainerLoser ? "WD=113|" : "WD=114|", clientId, "|") + std::string(exchange) + "|4";
}

std::string TsloHistoryRequest(std::string_view clientId, std::string_view userId, std::string_view clientCode,
                               int specialNo)
{
    std::string s = "ReportData=650|";
    s.append(clientId).append("|").append(userId).append("|4|").append(clientCode).append("|");
    return s + std::to_string(specialNo);
}

std::vector<std::string> ExchangeItems() { return {"Select", "NSE", "BSE", "MCX-CM"}; }

std::string ExchangeCodeOf(std::string_view text)
{
    if (text == "NSE")
        return "NN";
    if (text == "BSE")
        return "BN";
    if (text == "NCDEX-CM")
        return "NC";
    if (text == "MCX-CM")
        return "MC";
    return {};
}

std::string ErrorCaption(int type)
{
    switch (type) {
    case kOrderHistory: return "Order History Report Error";
    case kMarketDepth: return "Market Depth Report Error";
    case kIndices: return "Indices Report Error";
    case kGainerLoser: return "Top Gainer Loser Report Error";
    case kActiveScrips: return "Top Active Scripts Report Error";
    default: return "Server Message";
    }
}

std::string EmptyReplyCaption(int type)
{
    switch (type) {
    case kMarketDepth: return "Market Depth Report";
    case kIndices: return "Indices Report";
    case kGainerLoser: return "Top Gainer/Loser Report";
    case kActiveScrips: return "Top Active Scripts Report";
    default: return {};
    }
}

std::string TsloKindText(int kind)
{
    switch (kind) {
    case 1: return "TSLO Existing";
    case 2: return "Bracket Order Existing";
    case 3: return "TSLO New";
    case 4: return "Bracket Order New";
    case 5: return "Morrowpick Order";
    default: return {};
    }
}

ReportResult ParseReport(int type, std::string_view reply, const SecurityTable* table, int depthDecimals)
{
    ReportResult out;
    const char headSep = type == kOrderHistory ? '~' : '^';
    const char rowSep = type == kMarketDepth ? '~' : '^';
    const size_t end = reply.find(headSep);
    const std::vector<std::string> head = fieldsOf(reply.substr(0, end));
    if (integer(at(head, 1)) != 0) {
        out.status = -1;
        out.boxText = at(head, 2);
        out.boxCaption = ErrorCaption(type);
        return out;
    }
    if (type == kMarketDepth) {
        out.totalBuy = at(head, 5);
        out.totalSell = at(head, 6);
    }
    if (end == std::string_view::npos)
        return out;
    int record = 0;
    for (std::string_view text : cut(reply.substr(end + 1), rowSep)) {
        text = trimmed(text);
        if (text.empty())
            continue;
        ++record;
        const std::vector<std::string> f = fieldsOf(text);
        ReportRow row;
        switch (type) {
        case kOrderHistory:
            for (size_t i = 1; i <= 11; ++i)
                row.cells.push_back(at(f, i));
            row.cells.push_back(at(f, 13));
            row.cells.push_back(at(f, 14));
            break;
        case kMarketDepth:
            row.cells.push_back(std::to_string(record));
            for (size_t i = 0; i <= 5; ++i) {
                // The broker writes its prices in rupees with two decimals,
                // whatever the security's.
                const bool price = (i == 0 || i == 3) && !at(f, i).empty();
                row.cells.push_back(price ? figureText(number(at(f, i)), depthDecimals) : at(f, i));
            }
            break;
        case kIndices:
            row.cells.push_back(at(f, 0));
            // Index values come in paise.
            for (size_t i = 1; i <= 8; ++i)
                row.cells.push_back(money(number(at(f, i)) / 100.0));
            break;
        case kGainerLoser:
        case kActiveScrips: {
            // The exchange code is at most four characters; a longer field is
            // cut, never copied past its end.
            const std::string exch = at(f, 1).substr(0, 4);
            const int index = table ? table->searchToken(static_cast<int>(integer(at(f, 0))), exch) : -1;
            if (index < 0)
                continue; // a row is never built from a security the table lacks
            row.cells.push_back(std::string(table->row(index).displayKey().view()));
            row.securityIndex = index;
            if (type == kGainerLoser) {
                for (size_t i = 2; i <= 6; ++i)
                    row.cells.push_back(money(number(at(f, i))));
                row.cells.push_back(at(f, 7));
                row.cells.push_back(at(f, 8));
            } else {
                row.cells.push_back(at(f, 2));
                for (size_t i = 3; i <= 6; ++i)
                    row.cells.push_back(money(number(at(f, i))));
                row.cells.push_back(at(f, 7));
                row.cells.push_back(at(f, 8));
            }
            break;
        }
        default:
            return out;
        }
        out.rows.push_back(std::move(row));
    }
    return out;
}

ReportResult ParseTsloHistory(std::string_view reply, const TsloContext& order)
{
    ReportResult out;
    const std::vector<std::string_view> records = cut(reply, '~');
    const auto fail = [&out](std::string text, std::string caption) {
        out.status = -1;
        out.rows.clear();
        out.boxText = std::move(text);
        out.boxCaption = std::move(caption);
        return out;
    };
    const std::vector<std::string> head = fieldsOf(records.empty() ? std::string_view() : records[0]);
    if (head.size() < 4)
        return fail("Invalid response received.", "Vortanex");
    if (integer(head[1]) != 0)
        return fail(head[2], "Server Message");
    if (integer(head[3]) != order.specialNo)
        return fail("Incorrect Special Order Indicator received.", "Vortanex");
    if (records.size() < 2 || trimmed(records[1]).empty())
        return fail("Blank response received from Server.", "Vortanex");

    const char* priceFormat = order.currency ? "%.4lf" : "%.2lf";
    const auto price = [priceFormat](const std::string& s) {
        const double v = number(s);
        return v == -1 ? std::string("-") : money(v, priceFormat);
    };
    const auto count = [](const std::string& s) {
        const long v = integer(s);
        return v == -1 ? std::string("-") : std::to_string(v);
    };
    long lastLeg = -1;
    for (size_t r = 1; r < records.size(); ++r) {
        bool firstOfRecord = true;
        for (std::string_view text : cut(records[r], '^')) {
            const std::vector<std::string> f = fieldsOf(text);
            if (f.size() < 19)
                continue;
            if (firstOfRecord) {
                out.headerFilled = true;
                out.clientCode = order.clientCode;
                out.specialNo = std::to_string(order.specialNo);
                out.kindText = TsloKindText(order.kind);
                out.securityKey = order.securityKey;
            }
            const long leg = integer(f[2]);
            const bool newLeg = leg != lastLeg;
            lastLeg = leg;
            if (newLeg && leg != 1 && !firstOfRecord && order.kind >= 3 && order.kind <= 5) {
                ReportRow header;
                header.cells.assign(19, std::string());
                header.cells[0] = "Leg2 Order Data";
                header.legHeader = true;
                out.rows.push_back(std::move(header));
            }
            firstOfRecord = false;
            ReportRow row;
            row.cells.push_back(std::to_string(integer(f[0])));
            row.cells.push_back(money(number(f[1]), "%0.lf"));
            row.cells.push_back(std::to_string(leg));
            row.cells.push_back(f[3].substr(0, 1));
            row.cells.push_back(std::to_string(integer(f[4])));
            row.cells.push_back(price(f[5]));
            row.cells.push_back(count(f[6]));
            row.cells.push_back(count(f[7]));
            row.cells.push_back(price(f[8]));
            row.cells.push_back(count(f[9]));
            row.cells.push_back(price(f[10]));
            row.cells.push_back(price(f[11]));
            row.cells.push_back(price(f[12]));
            for (size_t i = 13; i <= 17; ++i)
                row.cells.push_back(f[i]);
            row.cells.push_back(order.kind == 5 ? (integer(f[18]) == 1 ? "Yes" : "No") : "-");
            out.rows.push_back(std::move(row));
        }
    }
    return out;
}

std::vector<ReportRow> MarketLotRows(const SecurityTable& table)
{
    std::vector<ReportRow> rows;
    std::string lastSymbol;
    for (int i = 0; i < table.count(); ++i) {
        const SecurityRecord& s = table.row(i);
        if (!s.derivative)
            continue;
        const std::string symbol(s.symbol.view());
        if (!rows.empty() && symbol == lastSymbol)
            continue;
        lastSymbol = symbol;
        const std::string_view exch = s.market_exchange.view();
        ReportRow row;
        row.securityIndex = i;
        row.cells = {symbol, exch == "NN" ? "NSE" : exch == "BN" ? "BSE" : exch == "MC" ? "MCX-CM" : "",
                     std::to_string(s.market_lot), "", ""};
        if ((exch == "NC" || exch == "MC") && s.extras) {
            row.cells[3] = s.extras->price_quantity;
            row.cells[4] = s.extras->price_unit;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace hd
