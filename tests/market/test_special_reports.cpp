// The special reports without the window: the exchange codes and requests,
// the bulk-deal and activity replies (short, unknown and refused records),
// the CSV text read back by a strict reader, and the broker's records read by
// the terminal's parsers.
#include "market/SpecialReportData.h"

#include "SpecialReportDesk.h"
#include "Universe.h"

#include <gtest/gtest.h>

#include <map>

namespace {

TEST(SpecialReportRequests, ExchangeCodesAndRequestTexts)
{
    const std::map<std::string, std::string> codes = {{"NSE", "NN"},    {"BSE", "BN"},    {"NSE-FX", "CN"},
                                                      {"BSE-CDX", "CB"}, {"MCX-SX", "CM"}, {"MCX-CM", ""},
                                                      {"", ""},          {"nse", ""}};
    for (const auto& [text, code] : codes)
        EXPECT_EQ(sr::ExchangeCode(text), code) << text;
    EXPECT_EQ(sr::Exchanges(), (std::vector<std::string>{"NSE", "BSE", "NSE-FX", "MCX-CM"}));

    EXPECT_EQ(sr::ReportRequest(sr::kBulkDeals, "ABC12", "U1", sr::ExchangeCode("MCX-CM")),
              "ReportData=1000|ABC12|U1|");
    EXPECT_EQ(sr::ReportRequest(sr::kBulkDeals, "ABC12", "U1", "NN"), "ReportData=1000|ABC12|U1|NN");
    EXPECT_EQ(sr::ReportRequest(sr::kFiiActivity, "ABC12", "U1", "NN"), "ReportData=1002|ABC12|U1");
    EXPECT_EQ(sr::ReportRequest(sr::kMfActivity, "ABC12", "U1", ""), "ReportData=1004|ABC12|U1");
    EXPECT_EQ(sr::ReportTransCode(sr::kBulkDeals), 521);
    EXPECT_EQ(sr::ReportTransCode(sr::kFiiActivity), 522);
    EXPECT_EQ(sr::ReportTransCode(sr::kMfActivity), 523);
    EXPECT_EQ(sr::ReportTransCode(4), 0);
    EXPECT_EQ(sr::Columns(sr::kBulkDeals).size(), 7u);
    EXPECT_EQ(sr::Columns(sr::kMfActivity).at(5).width, 50);
}

sr::TokenLookup fakeTable()
{
    return [](int token, std::string_view exchange) -> std::optional<sr::SecurityName> {
        if (exchange == "NN" && (token == 2885 || token == 1594))
            return sr::SecurityName{token == 2885 ? "RELIANCE EQ" : "INFY EQ", "NN"};
        return std::nullopt;
    };
}

TEST(SpecialReportReplies, BulkDealsKeepOnlyListedCompleteRecords)
{
    const sr::BulkReport r = sr::ParseBulkReply(
        "1000|0|OK~2885|10/12/2026|BUY|Rao, Mehta & Co|250000|2510.40^777|10/12/2026|SELL|X|1|2^1594|10/12/2026|SELL|"
        "Kestrel|12500^1594|10/12/2026|SELL|Kestrel|12500|1500.00|extra^^",
        "NN", fakeTable());
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.rows[0], (std::vector<std::string>{"RELIANCE EQ", "NN", "10/12/2026", "BUY", "Rao, Mehta & Co",
                                                   "250000", "2510.40"}));
    EXPECT_EQ(r.rows[1][0], "INFY EQ");
    EXPECT_EQ(r.status, "Bulk deal details successfully downloaded");
    ASSERT_EQ(r.logs.size(), 2u);
    EXPECT_EQ(r.logs[0].text, "Unable to get token  [777|10/12/2026|SELL|X|1|2]");
    EXPECT_EQ(r.logs[1].text, "Unable to Tokenise Data, [1594|10/12/2026|SELL|Kestrel|12500]");

    // The same deal looked up in another exchange is not listed there.
    EXPECT_TRUE(sr::ParseBulkReply("1000|0|OK~2885|d|B|c|1|2", "", fakeTable()).rows.empty());

    struct Case {
        const char* name;
        const char* reply;
        const char* status;
    };
    const Case cases[] = {
        {"empty reply", "", "No Bulk deal available"},
        {"header without data", "1000|1|Service down", "No Bulk deal available"},
        {"empty data", "1000|0|OK~", "No Bulk deal data available"},
        {"only separators", "1000|0|OK~^^ ", "No Bulk deal data available"},
        {"garbage token", "1000|0|OK~12ab|d|B|c|1|2", "Bulk deal details successfully downloaded"},
    };
    for (const Case& c : cases) {
        const sr::BulkReport b = sr::ParseBulkReply(c.reply, "NN", fakeTable());
        EXPECT_EQ(b.status, c.status) << c.name;
        EXPECT_TRUE(b.rows.empty()) << c.name;
    }
}

TEST(SpecialReportReplies, ActivityRowsChartPointsAndRefusals)
{
    const sr::ActivityReport r = sr::ParseActivityReply(
        " 1002|0|OK ~ 09-Dec-2026|Equity|9200.35|9400.30|-199.95|-24.03 ^10-Dec-2026|Debt|100|50|50|6.01|x|y^"
        "11-Dec-2026|Equity|1^12-Dec-2026|Equity|1|2|n/a|4^\n");
    EXPECT_FALSE(r.refused);
    ASSERT_EQ(r.rows.size(), 4u);
    for (const auto& row : r.rows)
        EXPECT_EQ(row.size(), 6u);
    EXPECT_EQ(r.rows[0][0], "09-Dec-2026");
    EXPECT_EQ(r.rows[0][5], "-24.03"); // trimmed at both ends of the record
    EXPECT_EQ(r.rows[1][5], "6.01");   // further fields ignored
    EXPECT_EQ(r.rows[2][2], "1");
    EXPECT_EQ(r.rows[2][3], "");       // a short record leaves its cells empty
    ASSERT_EQ(r.points.size(), 2u);    // only records with a net investment
    EXPECT_EQ(r.points[0].label, "09");
    EXPECT_DOUBLE_EQ(r.points[0].value, -199.95);
    EXPECT_EQ(r.points[1].label, "10");

    const sr::ActivityReport refused = sr::ParseActivityReply("1002|1|FII data not available~09-Dec|E|1|2|3|4");
    EXPECT_TRUE(refused.refused);
    EXPECT_EQ(refused.refusal, "FII data not available");
    EXPECT_TRUE(refused.rows.empty());
    EXPECT_TRUE(sr::ParseActivityReply("1004|x").refused); // a status that is no number
    const sr::ActivityReport empty = sr::ParseActivityReply("1002|0|OK~");
    EXPECT_FALSE(empty.refused);
    EXPECT_TRUE(empty.rows.empty());
    EXPECT_TRUE(sr::ParseActivityReply("").rows.empty());

    EXPECT_EQ(sr::HttpErrorText(500), "Internet Connectivity Error [500]. Pls contact System Administrator");
    EXPECT_EQ(sr::HttpErrorText(407), "Proxy Authentication Failed");
}

// A strict reader of the saved lines: quoted cells with doubled quotes, each
// cell ended by ',' (the layout keeps a ',' after the last cell).
std::vector<std::vector<std::string>> readCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> lines(1);
    std::string cell;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            lines.back().push_back(cell);
            cell.clear();
        } else if (c == '\n') {
            EXPECT_TRUE(cell.empty()) << "a line must end with ','";
            lines.emplace_back();
        } else {
            cell += c;
        }
    }
    lines.pop_back();
    return lines;
}

TEST(SpecialReportCsv, LayoutQuotingAndEmptyLists)
{
    EXPECT_FALSE(sr::ReportCsv({}, {{"a"}}).has_value());
    EXPECT_EQ(sr::ReportCsv({"Reporting Date", "Type"}, {}), std::string());
    EXPECT_EQ(sr::ReportCsv({"A", "B"}, {{"1", "2"}}), std::string("A,B,\n1,2,\n"));

    const std::vector<std::string> titles = {"Client Name", "Quantity"};
    const std::vector<std::vector<std::string>> rows = {
        {"Rao, Mehta & Co", "250000"}, {"The \"Alpha\" Fund", "1"}, {"Two\nlines", ""}, {"plain", "2"}};
    const std::optional<std::string> text = sr::ReportCsv(titles, rows);
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("\"Rao, Mehta & Co\",250000,\n"), std::string::npos);
    std::vector<std::vector<std::string>> back = readCsv(*text);
    ASSERT_EQ(back.size(), 5u);
    EXPECT_EQ(back[0], titles);
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(back[i + 1], rows[i]);
}

TEST(SpecialReportBroker, TheBrokersRecordsReadAsReports)
{
    const tb::Universe universe(1, 300, 2026, 12, 10);
    tb::SpecialReportDesk desk(universe);
    const auto request = [](const std::string& text) { return tb::splitRequest(text); };

    const sr::ActivityReport fii = sr::ParseActivityReply(desk.reply(request("ReportData=1002|ABC12|U1")));
    ASSERT_EQ(fii.rows.size(), 8u);
    EXPECT_EQ(fii.points.size(), 8u);
    for (const auto& row : fii.rows)
        for (const std::string& cell : row)
            EXPECT_FALSE(cell.empty());
    EXPECT_EQ(sr::ParseActivityReply(desk.reply(request("ReportData=1004|ABC12|U1"))).rows.size(), 8u);

    // Every listed deal is found in the exchange it was asked for; the
    // unlisted one is not.
    const sr::TokenLookup lookup = [&](int token, std::string_view exchange) -> std::optional<sr::SecurityName> {
        if (const tb::Security* s = universe.byToken(std::string(exchange), token))
            return sr::SecurityName{s->symbol, s->exchange};
        return std::nullopt;
    };
    for (const char* exchange : {"NN", "BN", "CN"}) {
        const sr::BulkReport bulk =
            sr::ParseBulkReply(desk.reply(request(std::string("ReportData=1000|ABC12|U1|") + exchange)), exchange, lookup);
        EXPECT_EQ(bulk.rows.size(), 6u) << exchange;
        EXPECT_EQ(bulk.logs.size(), std::string(exchange) == "NN" ? 1u : 0u) << exchange;
    }
    EXPECT_EQ(sr::ParseBulkReply(desk.reply(request("ReportData=1000|ABC12|U1|")), "", lookup).status,
              "No Bulk deal data available");

    // A refusal is used up by one request.
    desk.refuseNext("1002", "FII data not available");
    const sr::ActivityReport refused = sr::ParseActivityReply(desk.reply(request("ReportData=1002|ABC12|U1")));
    EXPECT_TRUE(refused.refused);
    EXPECT_EQ(refused.refusal, "FII data not available");
    EXPECT_FALSE(sr::ParseActivityReply(desk.reply(request("ReportData=1002|ABC12|U1"))).refused);
}

} // namespace
