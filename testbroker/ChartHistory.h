#pragma once
// The chart histories the broker serves: an end-of-day text of a security's
// sessions up to yesterday and an intraday text of today's trades. Both are
// made from the security's reference price with a walk seeded by its watch
// token, so the same request always gets the same answer.
#include "FeedFrames.h"
#include "Universe.h"

#include <cstdint>
#include <string>

namespace tb {

// "dd/mm/yyyy|open|high|low|close|volume~" for `sessions` weekdays ending the
// day before `now` (local time); the last close is the reference price.
std::string eodChartText(const Security& s, int sessions, int64_t now, uint64_t seed);

// "0|OK~price|volume|epoch~..." with a trade a minute from 09:00 today to
// `now` (before 09:00: the two hours before now). The trades agree with the
// day's figures of the quote: the first at its open, the last at its last
// price, none outside its low and high (all in paise).
std::string intradayChartText(const Security& s, int64_t now, const Quote& day, uint64_t seed);

// The token of "ctoken=<t>|0" or "ctoken=<t>%7C1" and its flag; false when
// the query names none.
bool chartTokenOf(const std::string& query, int& token, int& flag);

} // namespace tb
