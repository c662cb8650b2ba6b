#pragma once
// The chart view's data, free of Qt: the downloaded chart texts and their
// parsers, the interval and zoom maps, the folding of trades into intraday
// bars and of day bars into periods, the visible window after a load, and
// the indicators that need open, high and low. All pure functions: the view
// applies their results to its chart control on the UI thread.
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

enum ChartKind : int {
    kChartEod = 1,
    kChartIntraday = 2,
    kChartIndex = 3,
    kChartSaved = 4,
};

// One bar or trade: time stamp (seconds since 1970), chart date, open, high,
// low, close, volume. A trade carries its price as close.
struct chartfeed {
    double stamp = 0;
    double date = 0;
    double open = 0;
    double high = 0;
    double low = 0;
    double close = 0;
    double volume = 0;
};

// Limits of both texts; a longer record or field is skipped and logged.
inline constexpr size_t kChartRecordLimit = 255;
inline constexpr size_t kChartFieldLimit = 127;

// Epoch seconds and chart date of a local date and time.
int64_t ChartLocalEpoch(int year, int month, int day, int hour, int minute, int second);
double ChartDateOfEpoch(int64_t epochSeconds);

// "d/m/y|open|high|low|close|volume~" records: one bar a record stamped at
// 16:30 local time; volume in millions. A field a record lacks, or a date
// that does not scan, carries the previous record's value; records before the
// first valid date are skipped, as is text after the last '~'. Appends to out
// and returns the number of bars added.
int ParseEodChartText(std::string_view text, std::vector<chartfeed>& out);
// "status|...~price|volume|epoch~...": nothing when the header status is not
// 0 (false then). Each trade becomes a bar whose close is its price.
bool ParseIntradayChartText(std::string_view text, std::vector<chartfeed>& out);

// The trading day an intraday chart asks for: from the local midnight of
// `now` to the next. A trade stamped outside it (a stray year, a garbled
// time) is refused: folded, it would make a bar for every interval between.
struct ChartDay {
    int64_t start = 0, end = 0;
    bool holds(int64_t t) const { return t >= start && t < end; }
};
ChartDay ChartDayOf(int64_t now);
// As above, refusing (and logging the count of) trades outside `day`.
bool ParseIntradayChartText(std::string_view text, std::vector<chartfeed>& out, const ChartDay& day);

// --- intervals and zoom --------------------------------------------------

// The interval box's entries and the zoom box's, by chart kind.
std::vector<std::string> IntervalEntries(int kind);
std::vector<std::string> ZoomEntries(int kind);
// An interval box entry: the interval (days for end of day, seconds for
// intraday) and, for intraday, the style (unchanged for end of day and for an
// entry out of range, whose intraday interval is 0).
void IntervalOfEntry(int kind, int entry, int& interval, int& style);
// The reverse map used when a chart opens with a known interval.
int EntryOfInterval(int kind, int interval);
// The bar length in seconds; intraday intervals below a minute become 1
// (tick by tick) and the rest whole minutes.
int64_t BarLength(int kind, int& interval);
// The display span of a zoom entry: days (end of day) or minutes, -1 all.
int ZoomSpan(int kind, int entry);

// --- folding -------------------------------------------------------------

struct ChartBar {
    double date = 0;    // chart date of the bar's end (end of day: the bar's date)
    int64_t end = 0;    // epoch seconds of the bar's end
    double open = 0, high = 0, low = 0, close = 0, volume = 0;
    // One value per compared series; NaN where the series has no price yet.
    std::vector<double> compared;
};

// A compared security's trades (time order).
using ComparedTrades = std::deque<chartfeed>;

struct IntradayFold {
    std::vector<ChartBar> bars;  // the bars to draw, closed at their ends
    // The last bar (drawn with the others, still growing until `end`) and
    // the end of the bar after it; valid when bars is not empty.
    ChartBar live;
    int64_t nextEnd = 0;
    int tradesUsed = 0;
    bool lastMatched = false;    // the queue ended inside a bar
};

// Folds trades into bars of barLength seconds: the first bar starts at
// `start`; every bar is stamped at its end; a trade belongs to the bar whose
// end is after it (a trade on an end opens the next bar); a bar without
// trades is flat at the last close (tick by tick, a bar length of 1, draws
// the trades' seconds only). With span >= 0 (minutes) a closed bar is
// kept only when the trade that closed it is at most span whole minutes
// before the last trade. The bar holding the last trade is always kept.
// A gap of more than a day between trades is jumped, not filled, so a fold
// makes at most a day of bars more than it has trades.
IntradayFold FoldIntraday(const std::deque<chartfeed>& queue, int64_t start, int64_t barLength, int span,
                          const std::vector<const ComparedTrades*>& compared = {});

// Folds day bars into periods of `interval` days (1 daily, 7 weekly, 30
// monthly, 90 quarterly, 180 half-yearly). A period ends at the first bar of
// the next one: weekly on a Monday or more than 7 days after the period's
// first bar, the others when (year x 12 + month) moved by at least 1, 3 or 6.
// Every period's point is stamped with its own last bar's date (a week of
// Mon 5 .. Fri 9 is drawn at Fri 9, the open week from Mon 12 at Mon 12). With span >= 0 a
// point is kept only within span days of the newest bar. Compared values are
// each series' last close at or before the point's date.
std::vector<ChartBar> FoldEod(const std::vector<chartfeed>& days, int interval, int span,
                              const std::vector<const std::vector<chartfeed>*>& compared = {});

// The records made visible after a load: the last 90 (200 for index charts).
struct VisibleWindow {
    int first = 0, last = 0;
};
VisibleWindow InitialWindow(int kind, int recordCount);

// The zoom steps a zoom level replays: +1 per 10 zoom in, -1 per 10 zoom out.
struct ZoomSteps {
    bool reset = false;
    int in = 0, out = 0;
};
ZoomSteps ZoomStepsOf(int level);

// The indicators that need open, high and low, by name.
const std::vector<std::string>& OhlcOnlyIndicators();
// The indicator's name without a trailing " <count>" ("MACD 2" -> "MACD").
std::string IndicatorBaseName(const std::string& key);
bool IsOhlcOnlyIndicator(const std::string& key);
// Whether the chart can take an OHLC-only indicator: a line (502) or
// histogram (503) chart holds closes only, whatever its interval, and an
// indicator added there would vanish at the next redraw.
bool ChartTakesOhlcIndicators(int style, int interval);

// The day cache file name: EChart_<token>_<dd>.<mm><yyyy>.dat.
std::string EodCacheFileName(int token, int year, int month, int day);
