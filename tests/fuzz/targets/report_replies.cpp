// The report dialog's replies (order history, market depth, indices watch,
// top gainers and losers, active scrips, trailing order history), the
// special reports' replies (bulk deals, institutional and fund activity)
// with the list written as CSV, and the depth window's feed record. The
// first byte picks the reader; the second carries the facts of the
// security or order the reply is read for.
// Properties: no more rows than the reply has records; every row has the
// cells of its columns; a row is only built from a security the table has;
// nothing is shown of a reply the server refused.
#include "../FuzzTarget.h"

#include "market/HistoryDepthReport.h"
#include "market/MarketDepthRecord.h"
#include "market/SpecialReportData.h"
#include "server/SecurityTable.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

namespace report_replies {

namespace {

size_t pieces(std::string_view text, char separator)
{
    return size_t(std::count(text.begin(), text.end(), separator)) + 1;
}

const SecurityTable& table()
{
    static const std::shared_ptr<SecurityTable> built = [] {
        SecurityRows rows;
        for (int i = 0; i < 6; ++i) {
            SecurityRecord r;
            r.token = 100 + i;
            r.wtoken = 2 * i + 1;
            r.market_exchange.assign(i % 2 ? "BN" : "NN");
            r.inst_type.assign("EQ");
            r.symbol.assign("SYM" + std::to_string(i));
            r.setDisplayKey("SYM" + std::to_string(i) + "-EQ");
            rows.push_back(std::move(r));
        }
        auto t = std::make_shared<SecurityTable>();
        t->build(std::move(rows), SecurityTable::Build::Full, true);
        return t;
    }();
    return *built;
}

} // namespace

FUZZ_TARGET(report_replies)
{
    if (size < 2)
        return;
    const uint8_t facts = data[1];
    const std::string_view reply = fuzz::text(data + 2, size - 2);
    const int pick = data[0] % 9;
    if (pick < 5) {
        static const int types[] = {hd::kOrderHistory, hd::kMarketDepth, hd::kIndices, hd::kGainerLoser,
                                    hd::kActiveScrips};
        const int type = types[pick];
        const hd::ReportResult r = hd::ParseReport(type, reply, &table());
        const size_t columns = hd::ReportColumns(type).size();
        FUZZ_CHECK(r.rows.size() <= pieces(reply, type == hd::kMarketDepth ? '~' : '^'));
        FUZZ_CHECK(r.status == 0 || r.rows.empty());
        for (const hd::ReportRow& row : r.rows) {
            FUZZ_CHECK(row.cells.size() == columns);
            if (type == hd::kGainerLoser || type == hd::kActiveScrips)
                FUZZ_CHECK(row.securityIndex >= 0 && row.securityIndex < table().count());
        }
        return;
    }
    switch (pick) {
    case 5: {
        hd::TsloContext order;
        order.kind = 1 + facts % 5;
        order.specialNo = 7;
        order.clientCode = "ABC12";
        order.securityKey = "SYM0-EQ";
        order.currency = facts & 8;
        const hd::ReportResult r = hd::ParseTsloHistory(reply, order);
        FUZZ_CHECK(r.rows.size() <= 2 * (pieces(reply, '~') + pieces(reply, '^')));
        FUZZ_CHECK(r.status == 0 || r.rows.empty());
        for (const hd::ReportRow& row : r.rows)
            FUZZ_CHECK(row.cells.size() == hd::ReportColumns(hd::kTsloHistory).size());
        break;
    }
    case 6: {
        const sr::TokenLookup lookup = [](int token, std::string_view exchange) -> std::optional<sr::SecurityName> {
            const int index = table().searchToken(token, std::string(exchange));
            if (index < 0)
                return std::nullopt;
            return sr::SecurityName{std::string(table().row(index).displayKey().view()), std::string(exchange)};
        };
        const sr::BulkReport r = sr::ParseBulkReply(reply, facts & 1 ? "BN" : "NN", lookup);
        FUZZ_CHECK(r.rows.size() <= pieces(reply, '^'));
        for (const auto& row : r.rows)
            FUZZ_CHECK(row.size() == 7);
        std::vector<std::string> titles;
        for (const sr::Column& c : sr::Columns(sr::kBulkDeals))
            titles.push_back(c.title);
        sr::ReportCsv(titles, r.rows);
        break;
    }
    case 7: {
        const sr::ActivityReport r = sr::ParseActivityReply(reply);
        FUZZ_CHECK(r.rows.size() <= pieces(reply, '^'));
        FUZZ_CHECK(r.points.size() <= r.rows.size());
        FUZZ_CHECK(!r.refused || r.rows.empty());
        for (const auto& row : r.rows)
            FUZZ_CHECK(row.size() == 6);
        for (const sr::ChartPoint& p : r.points)
            FUZZ_CHECK(p.label.size() <= 2);
        std::vector<std::string> titles;
        for (const sr::Column& c : sr::Columns(facts & 1 ? sr::kFiiActivity : sr::kMfActivity))
            titles.push_back(c.title);
        const std::optional<std::string> csv = sr::ReportCsv(titles, r.rows);
        FUZZ_CHECK(csv.has_value());
        break;
    }
    default: {
        DepthSecurityFacts depth;
        depth.secondToken = 1234;
        depth.commodity = facts & 1;
        depth.currency = facts & 2;
        depth.marketLot = facts & 4 ? 0 : facts >> 3;
        const std::optional<int> token = DepthRecordToken(reply);
        const MarketDepthLadder ladder = ParseMarketDepthRecord(reply, depth);
        FUZZ_CHECK(!ladder.matched || token == 1234);
        if (ladder.lastPrice)
            FUZZ_CHECK(std::isfinite(*ladder.lastPrice));
        break;
    }
    }
}

} // namespace report_replies
