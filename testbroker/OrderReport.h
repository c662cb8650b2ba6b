#pragma once
// The order report (ReportData=600) from the orders the order desk accepted:
// "600|0|<message>|<count>~row^row...", one '|'-separated row per order with
// the fields the terminal's order book reads (2 token ... 19 mark name, and
// 20 contract valid when previous orders are asked for).
#include "OrderDesk.h"

#include <string>
#include <vector>

namespace tb {

class Universe;

// fields: the request's '|' fields after "ReportData=" (0 = "600", 1 account,
// 2 user, 3 "4", 4 client code, 5 all clients, 6 one client, 7 previous).
std::string orderReportBody(
    const std::vector<DeskOrder>& orders, const Universe& universe, const std::vector<std::string>& fields);

} // namespace tb
