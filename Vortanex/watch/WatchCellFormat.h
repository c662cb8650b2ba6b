#pragma once
// The cell rules of the market watch, shared by the row builder (a row shown
// for the first time, CVortanexView::DisplayRow) and the tick display
// (CVortanexView::DisplayFeeds). The two differ on purpose for the 52-week
// columns and for unchanged tick codes; everything else is formatted the same
// way by the one function below. Qt-free: the view turns the results into
// grid cells.
#include "server/SecurityRecord.h"

#include <cstdint>
#include <optional>
#include <string>

struct AppSettings;

// The colours and % change thresholds the market watch paints with
// (0x00BBGGRR values).
struct WatchColours {
    uint32_t normalText = 0;
    uint32_t normalBack = 0xFFFFFF;
    uint32_t upText = 0;
    uint32_t upBack = 0xFFFFFF;
    uint32_t downText = 0;
    uint32_t downBack = 0xFFFFFF;
    uint32_t upperBack = 0xFFFFFF; // row back at or above the upper threshold
    uint32_t lowerBack = 0xFFFFFF; // row back at or below the lower threshold
    double upper = 0;              // % change in the stored unit (hundredths); 0 = off
    double lower = 0;
};
WatchColours WatchColoursFrom(const AppSettings& settings);

// Which colour pair a cell takes.
enum class CellPaint { Keep, Normal, Rising, Falling, Row };

struct WatchCell {
    std::string text;
    CellPaint paint = CellPaint::Keep;
    std::optional<uint32_t> band; // 52-week band: replaces the back colour
};

// The text of a quote-valued kind (not 19 or 20) for a security.
std::string FormatWatchValue(int kind, double value, const SecurityRecord& security);

// A cell of a row built anew. Kinds 19 and 20 raise or lower the stored
// 52-week values against today's high and low (cash securities only), which
// is why the quote is taken by reference: the caller writes it back when
// changed is set.
WatchCell RowCell(int kind, const SecurityRecord& security, QuoteData& quote, bool* changed);
// A cell rewritten by a tick: the stored 52-week values with their bands;
// codes other than 10, 20 and 30 keep the cell's colours.
WatchCell TickCell(int kind, const SecurityRecord& security, const QuoteData& quote);

// The 52-week band of the high (high = true) or low cell: the colour for a
// distance within 7 percent of the last price (paise); none for a last price
// of 0 or a distance outside 0..7.
std::optional<uint32_t> FiftyTwoWeekBand(bool high, double stored, double lastPaise);

// Data icons: the Icon cell from the last price's tick code, the TS cell from
// a type-8 row's status or the security's advisory trend.
int LastPriceIcon(short tickOfLastPrice);
int StatusIcon(short status);
int TrendIcon(int advisoryTrend);
// The text that goes with a status icon ("Only Square-Off", "Active", "").
const char* StatusText(short status);

// The % change highlight of a row. highlight is the row's flag: set on the
// first crossing (firstCrossing reports it).
struct RowHighlight {
    bool applies = false;
    bool firstCrossing = false;
    uint32_t text = 0;
    uint32_t back = 0;
};
RowHighlight PercentChangeHighlight(double percentChange, const WatchColours& colours, short& highlight);
