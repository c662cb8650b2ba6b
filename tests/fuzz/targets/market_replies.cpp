// The market dialog's replies: turnover (modes 1 and 2, '*' records of ','
// fields) and the market-data lists (news, circuit breaker, levels: '^'
// records of '|' fields), with the scanner's bands and the data bars of what
// they read. The first byte picks the reader.
// Properties: no more records or rows than the reply has; every band and
// data bar within its bounds.
#include "../FuzzTarget.h"

#include "market/MarketResearch.h"
#include "market/MarketTurnover.h"

#include <algorithm>

namespace market_replies {

namespace {

size_t pieces(std::string_view text, char separator)
{
    return size_t(std::count(text.begin(), text.end(), separator)) + 1;
}

} // namespace

FUZZ_TARGET(market_replies)
{
    if (size < 1)
        return;
    const std::string_view reply = fuzz::text(data + 1, size - 1);
    switch (data[0] % 4) {
    case 0:
    case 1: {
        const int mode = data[0] % 4 == 0 ? 1 : 2;
        const mt::TurnoverReply r = mt::ParseTurnoverReply(reply, mode);
        FUZZ_CHECK(r.records.size() <= pieces(reply, '*'));
        mt::TurnoverMap map;
        mt::MergeTurnover(map, r.records);
        for (const mt::TurnoverRecord& record : r.records) {
            FUZZ_CHECK(mt::MarketTurnoverRows(map, record.name).size() == 4);
            mt::IndexDetailRows(record);
            mt::PieSlices(record);
        }
        mt::IndicesTurnoverRows(map, 1);
        break;
    }
    case 2: {
        int skipped = 0;
        const std::vector<mt::CircuitRow> rows = mt::ParseCircuit(reply, &skipped);
        FUZZ_CHECK(rows.size() + size_t(skipped) <= pieces(reply, '^'));
        std::vector<mt::IndexStock> stocks;
        for (const mt::CircuitRow& row : rows) {
            for (const bool upper : {true, false}) {
                const int bar = mt::DataBarPercent(row.change, upper);
                FUZZ_CHECK(bar >= 0 && bar <= 100);
            }
            const int band = mt::Band(row.change);
            FUZZ_CHECK(band >= -100000 && band <= 100000);
            stocks.push_back({1, row.cells[0], 1, row.change, 0, 0});
        }
        const mt::ScannerFill fill = mt::FillScanner(stocks, nullptr);
        FUZZ_CHECK(fill.rows.size() == stocks.size());
        mt::ScannerBubbles(fill.buckets);
        break;
    }
    default: {
        const std::vector<mt::NewsItem> news = mt::ParseNews(reply);
        FUZZ_CHECK(news.size() <= pieces(reply, '^'));
        const std::vector<mt::LevelsRow> levels = mt::ParseLevels(reply);
        FUZZ_CHECK(levels.size() <= pieces(reply, '^'));
        for (const mt::LevelsRow& row : levels)
            FUZZ_CHECK(row.cells.size() == mt::kLevelsColumns.size());
        break;
    }
    }
}

} // namespace market_replies
