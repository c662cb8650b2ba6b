#pragma once
// Reading the server's reply to a single order: the plain reply and the
// reply of a smart-routed order with up to two routes.
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kOrderRefusedText = "Error processing order. Please Contact Customer Care.";

struct PlainOrderReply {
    // Field 0 is a number (the result code): without it the body is no order
    // reply (a gateway's error page) and the order's state is unknown.
    bool orderReply = false;
    bool refused = false;  // field 0 was 9999
    double orderNo = 0;    // field 2; 0 when the reply carried none
    std::string message;   // field 4, or the refusal text
};

// Fields are read up to the first empty one; a '|' at the very start is
// skipped; each field is trimmed of white space.
PlainOrderReply ParsePlainOrderReply(std::string_view reply);

struct SmartRouteFill {
    double orderNo = 0;
    int filledQty = 0;
    double pricePaise = 0;
};

struct SmartOrderReply {
    bool orderReply = false;         // as for the plain reply
    bool refused = false;
    bool accepted = false;           // status field 3 is 0
    std::string text;                // what the "Confirmation" box and the message bar show
    std::vector<SmartRouteFill> fills; // one or two routes when accepted
};

// Missing fields count as empty (0).
SmartOrderReply ParseSmartOrderReply(std::string_view reply);

// The codes of requests that place, modify or cancel an order, a basket
// (301) or a position conversion (110) included: a failure
// after such a request left cannot say whether the order was taken.
bool IsOrderTransCode(int code);
// False for the failures of an exchange that ended before the request was
// sent (no connection, no name, no secure channel, nothing made).
bool RequestWasSent(int status);
// The message of an order request whose reply failed after it was sent
// (status 200 with an empty body, 407, any other status, a cut reply):
// the order's state is unknown and the book must be checked before placing
// the order again. `notOrderReply`: a 200 whose body is no order reply.
std::string OrderStateUnknownText(int status, bool notOrderReply = false);
