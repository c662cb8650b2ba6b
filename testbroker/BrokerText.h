#pragma once
// The text helpers the broker's request handlers share: '|' and ',' fields,
// prices in paise as rupee text, the clock's stamps.
#include "Universe.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tb::detail {

inline constexpr char kFeedPath[] = "/cgi-bin/Glenvarro/pfeeds.exe";

std::vector<std::string> split(const std::string& s, char sep);
std::string join(const std::vector<std::string>& parts, char sep);
int toInt(const std::string& s, int fallback = 0);
// The distinct positive tokens of a ',' list.
std::vector<int> tokenList(const std::string& s);
std::string field(const std::vector<std::string>& f, size_t i);
// Price step in paise: equity and currency ticks are in 1/10000 rupee,
// commodity ticks already in paise.
int64_t tickPaise(const Security* s);
// The login switches: the limits columns (0, 1, 8, 10, 13, 52, 53) and
// "Additional Margin" (59) on, trading (12) left to the user type.
std::string defaultLoginFlags();
// A query's %XX escapes decoded ('+' stays: the terminal encodes blanks as %20).
std::string percentDecoded(const std::string& text);
// "%d.%02d" rupees of an amount in paise; a negative amount keeps its sign
// in front ("-0.08", "-1.50").
std::string paiseText(int64_t paise);
// The change of a price against the close in hundredths of a percent, to the
// nearest hundredth, halves away from 0: the one rule of the feed and the
// reports. 0 without a close.
int64_t changeHundredths(int64_t last, int64_t close);
// "date": dd/mm/yyyy hh:mm:ss; anything else: hh:mm:ss.
std::string timeStamp(const char* fmt);
// A short 8 kHz mono beep for "/alert.wav".
std::string alertWav();

} // namespace tb::detail
