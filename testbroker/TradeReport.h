#pragma once
// The trade report (ReportData=610) from the order desk's traded orders:
// "611|0|OK|<count>~row^row...", one '|'-separated row per trade with the
// fields the terminal's trade book reads (2 token, 3 exchange, 4 order no,
// 5 trade no, 6 exchange trade no, 7 Buy/Sell, 8 quantity, 9 price, 10 time,
// 11 order mark, 12 client code, 15 security text, 16 delivery mark text).
// "Previous Trades" (field 7 = 2) adds two older trades of the fixture.
#include "OrderDesk.h"

#include <string>
#include <vector>

namespace tb {

class Universe;

std::string tradeReportBody(const std::vector<DeskOrder>& orders, const Universe& universe,
                            const std::vector<std::string>& fields);

} // namespace tb
