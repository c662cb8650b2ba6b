// The report dialog's reports without the window: requests, the reply
// grammars of each type, the column sets, market-lot rows and the trailing
// history's rows and checks.
#include "market/HistoryDepthReport.h"
#include "server/SecurityTable.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

SecurityRecord security(const char* symbol, const char* exch, const char* inst, int token, int lot = 1)
{
    SecurityRecord r;
    r.token = token;
    r.symbol.assign(symbol);
    r.setDisplayKey(std::string(symbol) + "-" + inst);
    r.market_exchange.assign(exch);
    r.inst_type.assign(inst);
    r.market_lot = lot;
    return r;
}

std::shared_ptr<SecurityTable> table(SecurityRows rows)
{
    auto t = std::make_shared<SecurityTable>();
    t->build(std::move(rows), SecurityTable::Build::Full, true);
    return t;
}

TEST(HistoryDepthReport, RequestsCarryTheirFieldsAndTheConstantFour)
{
    EXPECT_EQ(hd::OrderHistoryRequest("CID", "U1", "ABC12", 1000001, false),
              "ReportData=505|CID|U1|ABC12|ABC12|4&OrderData=1000001-N");
    EXPECT_EQ(hd::OrderHistoryRequest("CID", "U1", "ABC12", 2e9, true),
              "ReportData=505|CID|U1|ABC12|ABC12|4&OrderData=2000000000-Y");
    EXPECT_EQ(hd::MarketDepthRequest("CID", 22, "NN"), "WD=108|CID|22|NN|4");
    EXPECT_EQ(hd::IndicesRequest("CID"), "WD=111|CID|ALL|4");
    EXPECT_EQ(hd::RankedRequest(hd::kGainerLoser, "CID", "BN"), "WD=113|CID|BN|4");
    EXPECT_EQ(hd::RankedRequest(hd::kActiveScrips, "CID", "NN"), "WD=114|CID|NN|4");
    EXPECT_EQ(hd::TsloHistoryRequest("CID", "U1", "ABC12", 501), "ReportData=650|CID|U1|4|ABC12|501");
    EXPECT_EQ(hd::ReportTransCode(hd::kMarketDepth), 7);
    EXPECT_EQ(hd::ReportTransCode(hd::kMarketLot), 0);
}

TEST(HistoryDepthReport, ExchangeChoicesAndColumnSets)
{
    EXPECT_EQ(hd::ExchangeItems(), (std::vector<std::string>{"Select", "NSE", "BSE", "MCX-CM"}));
    EXPECT_EQ(hd::ExchangeCodeOf("NSE"), "NN");
    EXPECT_EQ(hd::ExchangeCodeOf("NCDEX-CM"), "NC");
    EXPECT_EQ(hd::ExchangeCodeOf("Select"), ""); // requests nothing
    const std::pair<int, size_t> sizes[] = {{1, 13}, {2, 7}, {3, 9}, {4, 5}, {5, 8}, {6, 8}, {7, 19}, {8, 0}};
    for (const auto& [type, n] : sizes)
        EXPECT_EQ(hd::ReportColumns(type).size(), n) << type;
    EXPECT_EQ(hd::ReportColumns(7)[18].heading, "Auto Sqr. Off");
    EXPECT_EQ(hd::ReportColumns(6)[7].width, 150);
}

TEST(HistoryDepthReport, HeaderOnlyAndServerErrors)
{
    for (int type : {1, 2, 3, 5, 6}) {
        const std::string head = type == 1 ? "505|0|OK~" : "1|0|OK^";
        const hd::ReportResult r = hd::ParseReport(type, head, nullptr);
        EXPECT_EQ(r.status, 0) << type;
        EXPECT_TRUE(r.rows.empty()) << type;
        EXPECT_TRUE(r.boxText.empty()) << type;
    }
    const hd::ReportResult e = hd::ParseReport(1, "505|1|Order not found~1|2|3", nullptr);
    EXPECT_EQ(e.status, -1);
    EXPECT_TRUE(e.rows.empty());
    EXPECT_EQ(e.boxText, "Order not found");
    EXPECT_EQ(e.boxCaption, "Order History Report Error");
    EXPECT_EQ(hd::ParseReport(6, "114|3|Down", nullptr).boxCaption, "Top Active Scripts Report Error");
}

TEST(HistoryDepthReport, OrderHistoryRowsSkipFieldsZeroAndTwelve)
{
    const hd::ReportResult r = hd::ParseReport(
        1, " 505|0|OK ~ 9|1|10|150.00|0|t1|Order Placed|OPN|0|0.00|DAY|-|x|EX1|- ^9|2|10|150.00|10|t2|Order Traded|TRAD|0|0.00|DAY|-|x|EX1|-",
        nullptr);
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.rows[0].cells.size(), 13u);
    EXPECT_EQ(r.rows[0].cells[0], "1");
    EXPECT_EQ(r.rows[0].cells[5], "Order Placed");
    EXPECT_EQ(r.rows[1].cells[10], "-");
    EXPECT_EQ(r.rows[1].cells[11], "EX1");
    EXPECT_EQ(r.rows[1].cells[12], "-");
}

TEST(HistoryDepthReport, DepthTotalsAndNumberedRows)
{
    const hd::ReportResult r =
        hd::ParseReport(2, "108|0|OK|||1500|2300^10.00|1|100|10.05|2|200~9.95|3|300|10.10|4|400", nullptr);
    EXPECT_EQ(r.totalBuy, "1500");
    EXPECT_EQ(r.totalSell, "2300");
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.rows[0].cells[0], "1");
    EXPECT_EQ(r.rows[1].cells[0], "2");
    EXPECT_EQ(r.rows[0].cells[1], "10.00");
    EXPECT_EQ(r.rows[1].cells[6], "400");
}

TEST(HistoryDepthReport, IndicesInPaiseGainersInRupeesUnknownTokensLeftOut)
{
    const hd::ReportResult idx = hd::ParseReport(3, "111|0|OK^NIFTY|1234567|0|-5|1|2|3|4|5", nullptr);
    ASSERT_EQ(idx.rows.size(), 1u);
    EXPECT_EQ(idx.rows[0].cells[1], "12345.67");
    EXPECT_EQ(idx.rows[0].cells[2], "0.00");

    const auto t = table({security("ACC", "NN", "EQ", 22), security("SBIN", "BN", "EQ", 500112)});
    const hd::ReportResult g = hd::ParseReport(
        5, "113|0|OK^22|NN|1234567|2|3|4|5|1.5|900^999|NN|1|1|1|1|1|1|1^500112|BN|1|1|1|1|1|-2|10", t.get());
    ASSERT_EQ(g.rows.size(), 2u); // token 999 is absent
    EXPECT_EQ(g.rows[0].cells[0], "ACC-EQ");
    EXPECT_EQ(g.rows[0].cells[1], "1234567.00");
    EXPECT_EQ(g.rows[0].cells[7], "900");
    EXPECT_EQ(g.rows[1].cells[0], "SBIN-EQ");
    EXPECT_EQ(g.rows[1].securityIndex, 1);

    const hd::ReportResult a = hd::ParseReport(6, "114|0|OK^22|NN|5000|1234567|10|9|-0.001|01-01-2026|Bonus", t.get());
    ASSERT_EQ(a.rows.size(), 1u);
    EXPECT_EQ(a.rows[0].cells[1], "5000");
    EXPECT_EQ(a.rows[0].cells[2], "1234567.00");
    EXPECT_EQ(a.rows[0].cells[5], "0.00"); // no "-0.00"
    EXPECT_EQ(a.rows[0].cells[7], "Bonus");
}

TEST(HistoryDepthReport, MarketLotRowsOnePerSymbolRun)
{
    SecurityRows rows = {security("NIFTY", "NN", "FI", 1, 50), security("NIFTY", "NN", "FI", 2, 50),
                         security("NIFTY", "NN", "FI", 3, 50), security("ACC", "NN", "EQ", 4),
                         security("GOLD", "MC", "FS", 5, 100), security("X", "CN", "FC", 6, 1000)};
    rows[4].extrasForWrite().price_quantity = "1 KGS";
    rows[4].extrasForWrite().price_unit = "10 GRMS";
    rows[0].extrasForWrite().price_unit = "never shown";
    const auto t = table(std::move(rows));
    const std::vector<hd::ReportRow> lots = hd::MarketLotRows(*t);
    ASSERT_EQ(lots.size(), 3u);
    EXPECT_EQ(lots[0].cells, (std::vector<std::string>{"NIFTY", "NSE", "50", "", ""}));
    EXPECT_EQ(lots[0].securityIndex, 0);
    EXPECT_EQ(lots[1].cells, (std::vector<std::string>{"GOLD", "MCX-CM", "100", "1 KGS", "10 GRMS"}));
    EXPECT_EQ(lots[2].cells[1], ""); // an exchange the list does not name
}

std::string tsloRow(int leg, const char* price = "100.5", const char* disc = "-1", const char* autoSq = "1")
{
    return "501|1300000001|" + std::to_string(leg) + "|BUY|10|" + price + "|" + disc
        + "|0|-1|-1|2.5|1|99|OPN|ok|WEB|10:00:00|U1|" + autoSq;
}

TEST(HistoryDepthReport, TsloRowsCellsAndLegHeaders)
{
    hd::TsloContext ctx;
    ctx.kind = 5;
    ctx.specialNo = 501;
    ctx.clientCode = "ABC12";
    ctx.securityKey = "ACC-EQ";
    const std::string shortRow = "501|1|1|B|10|1|1|1|1|1|1|1|1|S|R|O|T|U"; // 18 fields
    const std::string reply = "650|0|OK|501~" + tsloRow(1, "-1") + "^" + shortRow + "^" + tsloRow(2) + "^" + tsloRow(2);
    const hd::ReportResult r = hd::ParseTsloHistory(reply, ctx);
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.rows.size(), 4u); // leg 1, the leg-2 header, two leg-2 rows; the short row skipped
    EXPECT_EQ(r.rows[0].cells[5], "-");
    EXPECT_EQ(r.rows[0].cells[6], "-");
    EXPECT_EQ(r.rows[0].cells[1], "1300000001");
    EXPECT_EQ(r.rows[0].cells[3], "B");
    EXPECT_EQ(r.rows[0].cells[18], "Yes");
    EXPECT_TRUE(r.rows[1].legHeader);
    EXPECT_EQ(r.rows[1].cells[0], "Leg2 Order Data");
    EXPECT_EQ(r.rows[2].cells[5], "100.50");
    EXPECT_FALSE(r.rows[3].legHeader);
    EXPECT_TRUE(r.headerFilled);
    EXPECT_EQ(r.kindText, "Morrowpick Order");
    EXPECT_EQ(r.specialNo, "501");

    ctx.kind = 1; // an existing TSLO: no leg headers, no auto square-off
    ctx.currency = true;
    const hd::ReportResult e = hd::ParseTsloHistory("650|0|OK|501~" + tsloRow(1) + "^" + tsloRow(2), ctx);
    ASSERT_EQ(e.rows.size(), 2u);
    EXPECT_EQ(e.rows[1].cells[18], "-");
    EXPECT_EQ(e.rows[1].cells[5], "100.5000");
}

TEST(HistoryDepthReport, TsloHeaderChecks)
{
    hd::TsloContext ctx;
    ctx.kind = 3;
    ctx.specialNo = 501;
    const struct {
        const char* reply;
        const char* text;
        const char* caption;
    } cases[] = {
        {"650|0|OK", "Invalid response received.", "Vortanex"},
        {"650|1|No such order|501~", "No such order", "Server Message"},
        {"650|0|OK|502~x", "Incorrect Special Order Indicator received.", "Vortanex"},
        {"650|0|OK|501~", "Blank response received from Server.", "Vortanex"},
    };
    for (const auto& c : cases) {
        const hd::ReportResult r = hd::ParseTsloHistory(c.reply, ctx);
        EXPECT_EQ(r.status, -1) << c.reply;
        EXPECT_EQ(r.boxText, c.text) << c.reply;
        EXPECT_EQ(r.boxCaption, c.caption) << c.reply;
        EXPECT_TRUE(r.rows.empty());
    }
}

} // namespace
