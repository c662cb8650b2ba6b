#pragma once
// The basket request on "/qtrade/qbasket.exe" (code 301): a '&'-keyed header
// (OrdReqNo, DDSId, NoOfOrders, TransCode 301/311/321/331, UserId, ClientId,
// ClientGrp, SessionId, TPassword) and one OrderData<n> record per leg. Each
// leg goes to the order desk as the single order it stands for (a new leg as
// 101/201, a modify leg as 102/202, a cancel leg as 103/203), so accepted legs
// become desk orders with their confirmations, order report and trades. The
// reply is one '~' record per leg: "<status>||<order no>|<result>|<message>".
// A leg names its security by scrip code; the single order it becomes names
// it by token (tokenOf gives 0 for an unknown scrip code).
#include "OrderDesk.h"
#include "RequestDecoder.h"

#include <functional>
#include <string>

namespace tb {

using ScripTokens = std::function<int(const std::string& exchange, int scripCode)>;
std::string basketReply(const RequestText& request, OrderDesk& desk, const std::string& user,
                        const ScripTokens& tokenOf);

} // namespace tb
