#pragma once
// Position conversion against the risk book: the query "RiskData=420|..."
// answers "420|0|||<margin>|||<convertible>" from the client's open position
// of that token, exchange and product (its absolute net quantity); the
// request "NoOfOrders=1&OrderData1=110|..." answers "160|0|<message>||" and
// moves the converted quantity to the delivery product (1).
#include "RequestDecoder.h"
#include "RiskDesk.h"

#include <string>

namespace tb {

std::string conversionQueryReply(const RequestText& request, RiskDesk& desk);
std::string conversionReply(const RequestText& request, RiskDesk& desk);

} // namespace tb
