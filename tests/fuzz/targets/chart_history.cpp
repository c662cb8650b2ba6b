// The chart view's downloaded history: the end-of-day text (as downloaded
// and as the day cache keeps it, LZO packed) and the intraday text of one
// trading day, each folded into the bars the chart draws. The first byte
// picks the reader and the interval or bar length.
// Properties: no more bars than the text has records; every bar read is
// dated; the cache's unpacking stays within its bound; folded periods are
// never more than the days they fold, and an intraday fold makes at most a
// day of bars more than it has trades.
#include "../FuzzTarget.h"

#include "market/ChartDownload.h"
#include "market/ChartSeries.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <string>

namespace chart_history {

namespace {

size_t records(std::string_view text)
{
    return size_t(std::count(text.begin(), text.end(), '~')) + 1;
}

} // namespace

FUZZ_TARGET(chart_history)
{
    if (size < 1)
        return;
    const uint8_t pick = data[0];
    const std::string_view text = fuzz::text(data + 1, size - 1);
    switch (pick % 3) {
    case 0: {
        std::vector<chartfeed> days;
        const int added = ParseEodChartText(text, days);
        FUZZ_CHECK(added >= 0 && size_t(added) == days.size());
        FUZZ_CHECK(days.size() <= records(text));
        for (const chartfeed& d : days)
            FUZZ_CHECK(d.date > 0);
        static const int intervals[] = {1, 7, 30, 90, 180};
        const int interval = intervals[(pick / 3) % 5];
        const int span = pick & 0x80 ? -1 : 30;
        const std::vector<ChartBar> bars = FoldEod(days, interval, span);
        FUZZ_CHECK(bars.size() <= days.size());
        break;
    }
    case 1: {
        // A trading day of its own, so the run does not depend on today.
        const ChartDay day{ChartLocalEpoch(2026, 3, 2, 0, 0, 0), ChartLocalEpoch(2026, 3, 3, 0, 0, 0)};
        std::vector<chartfeed> trades;
        ParseIntradayChartText(text, trades, day);
        FUZZ_CHECK(trades.size() <= records(text));
        for (const chartfeed& t : trades)
            FUZZ_CHECK(day.holds(int64_t(t.stamp)));
        std::sort(trades.begin(), trades.end(),
                  [](const chartfeed& a, const chartfeed& b) { return a.stamp < b.stamp; });
        const std::deque<chartfeed> queue(trades.begin(), trades.end());
        static const int64_t lengths[] = {1, 60, 300, 900, 3600};
        const int64_t length = lengths[(pick / 3) % 5];
        const IntradayFold fold = FoldIntraday(queue, day.start, length, pick & 0x80 ? -1 : 60);
        FUZZ_CHECK(fold.tradesUsed >= 0 && size_t(fold.tradesUsed) <= trades.size());
        FUZZ_CHECK(fold.bars.size() <= trades.size() + size_t(86400 / length) + 1);
        break;
    }
    default: {
        std::string unpacked;
        const std::string packed(text);
        if (UnpackChartBody(packed, unpacked)) {
            FUZZ_CHECK(unpacked.size() <= std::min<size_t>(100 * packed.size(), kChartTextLimit));
            std::vector<chartfeed> days;
            ParseEodChartText(unpacked, days);
            FUZZ_CHECK(days.size() <= records(unpacked));
        } else {
            FUZZ_CHECK(unpacked.empty());
        }
        break;
    }
    }
}

} // namespace chart_history
