#include "market/SpecialReportData.h"

#include "watch/base/TextSplit.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace sr {

namespace special_report_data_detail {
namespace {

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

// A whole decimal integer, else nullopt (no partial reads of "12ab").
std::optional<long> wholeNumber(std::string_view s)
{
    const std::string text(trimmed(s));
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size())
        return std::nullopt;
    return v;
}

std::optional<double> decimal(std::string_view s)
{
    const std::string text(trimmed(s));
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str())
        return std::nullopt;
    return v;
}

} // namespace
} // namespace special_report_data_detail

const std::vector<std::string>& Exchanges()
{
    static const std::vector<std::string> list = {"NSE", "BSE", "NSE-FX", "MCX-CM"};
    return list;
}

std::string ExchangeCode(std::string_view comboText)
{
    if (comboText == "NSE")
        return "NN";
    if (comboText == "BSE")
        return "BN";
    if (comboText == "NSE-FX")
        return "CN";
    if (comboText == "BSE-CDX")
        return "CB";
    if (comboText == "MCX-SX")
        return "CM";
    return {};
}

std::string ReportRequest(int mode, std::string_view clientCode, std::string_view userId,
                          std::string_view exchangeCode)
{
    const std::string who = std::string(clientCode) + "|" + std::string(userId);
    switch (mode) {
    case kBulkDeals:
        return "ReportData=1000|" + who + "|" + std::string(exchangeCode);
    case kFiiActivity:
        return "ReportData=1002|" + who;
    case kMfActivity:
        return "ReportData=1004|" + who;
    default:
        return {};
    }
}

int ReportTransCode(int mode)
{
    switch (mode) {
    case kBulkDeals:
        return 521;
    case kFiiActivity:
        return 522;
    case kMfActivity:
        return 523;
    default:
        return 0;
    }
}

std::vector<Column> Columns(int mode)
{
    if (mode == kBulkDeals)
        return {{"Security Name", false, 150}, {"ME", false, 50},       {"Date", false, 80},
                {"Buy/Sell", false, 80},       {"Client Name", false, 150}, {"Quantity", true, 80},
                {"Price", true, 80}};
    std::vector<Column> cols = {{"Reporting Date", false, 80},
                                {"Type", false, 80},
                                {"Gross Purchase", true, 80},
                                {"Gross Sales", true, 80},
                                {"Net Investment (Rs. Cr)", true, 80},
                                {"Net Investment (USD Millions)", true, 80}};
    if (mode == kMfActivity) {
        const int widths[] = {100, 80, 80, 80, 50, 50};
        for (size_t i = 0; i < cols.size(); ++i)
            cols[i].width = widths[i];
    } else if (mode != kFiiActivity) {
        return {};
    }
    return cols;
}

ModeTexts TextsOf(int mode)
{
    switch (mode) {
    case kBulkDeals:
        return {"Bulk deal report", "Getting Bulk Report details please wait.....",
                "Bulk deal details successfully downloaded", "Exit GetBulkReport"};
    case kFiiActivity:
        return {"FII Activity", "Getting FII Activity details please wait.....",
                "FII Activity details successfully downloaded", "Exit GetFIIActivity"};
    case kMfActivity:
        return {"MF Activity", "Getting MF Activity details please wait...",
                "MF Activity details successfully downloaded", "Exit GetMFActivity"};
    default:
        return {};
    }
}

BulkReport ParseBulkReply(std::string_view reply, std::string_view exchangeCode, const TokenLookup& lookup)
{
    BulkReport out;
    const size_t tilde = reply.find('~');
    if (reply.empty() || tilde == std::string_view::npos) {
        // Only a header (or nothing): no data field to read.
        if (!reply.empty())
            out.logs.push_back({1, "Bulk deal reply without data [" + std::string(reply) + "]"});
        out.status = "No Bulk deal available";
        return out;
    }
    // The data is the field after the header; a further '~' ends it.
    std::string_view data = reply.substr(tilde + 1);
    data = data.substr(0, data.find('~'));
    bool anyRecord = false;
    for (const std::string& record : SplitFields(data, '^')) {
        if (special_report_data_detail::trimmed(record).empty())
            continue;
        anyRecord = true;
        const std::vector<std::string> f = SplitFields(record, '|');
        if (f.size() < 6) {
            out.logs.push_back({1, "Unable to Tokenise Data, [" + record + "]"});
            continue;
        }
        const std::optional<long> token = special_report_data_detail::wholeNumber(f[0]);
        std::optional<SecurityName> security;
        if (token && *token >= 0 && *token <= 0x7fffffff && lookup)
            security = lookup(static_cast<int>(*token), exchangeCode);
        if (!security) {
            out.logs.push_back({1, "Unable to get token  [" + record + "]"});
            continue;
        }
        out.rows.push_back({security->displayKey, security->exchange, f[1], f[2], f[3], f[4], f[5]});
    }
    out.status = anyRecord ? "Bulk deal details successfully downloaded" : "No Bulk deal data available";
    return out;
}

ActivityReport ParseActivityReply(std::string_view reply)
{
    ActivityReport out;
    const size_t tilde = reply.find('~');
    const std::vector<std::string> header = SplitFields(special_report_data_detail::trimmed(reply.substr(0, tilde)), '|');
    if (header.size() > 1) {
        const std::optional<long> status = special_report_data_detail::wholeNumber(header[1]);
        // A status that is not a number is not a success either.
        if (!status || *status != 0) {
            out.refused = true;
            out.refusal = header.size() > 2 ? header[2] : std::string();
            return out;
        }
    }
    if (tilde == std::string_view::npos)
        return out;
    for (const std::string& raw : SplitFields(reply.substr(tilde + 1), '^')) {
        const std::string_view record = special_report_data_detail::trimmed(raw);
        if (record.empty())
            continue;
        std::vector<std::string> f = SplitFields(record, '|');
        f.resize(6); // further fields are ignored, missing ones stay empty
        if (std::optional<double> net = special_report_data_detail::decimal(f[4]))
            out.points.push_back({f[0].substr(0, 2), *net});
        out.rows.push_back(std::move(f));
    }
    return out;
}

std::string HttpErrorText(int status)
{
    if (status == 407)
        return "Proxy Authentication Failed";
    return "Internet Connectivity Error [" + std::to_string(status) + "]. Pls contact System Administrator";
}

std::optional<std::string> ReportCsv(const std::vector<std::string>& titles,
                                     const std::vector<std::vector<std::string>>& rows)
{
    if (titles.empty())
        return std::nullopt;
    std::string out;
    if (rows.empty())
        return out;
    for (const std::string& t : titles)
        out += CsvField(t) + ",";
    out += "\n";
    for (const auto& row : rows) {
        for (const std::string& cell : row)
            out += CsvField(cell) + ",";
        out += "\n";
    }
    return out;
}

} // namespace sr
