#pragma once
// The basket form's checks and request without the window: the form-wide
// checks, the leg checks in their order, the '&'-keyed request with one
// record per ticked leg, the placing lines, the alert question's text, and
// the reading of the per-leg reply. Any thread (it reads only its inputs).
#include "server/OrderSecurity.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

inline constexpr int kBasketLegCount = 5;

// Basket modes.
enum BasketMode { kBasketNew = 0, kBasketModify = 1, kBasketCancel = 2, kBasketSquareOff = 3 };

// The boxes of a leg that a failed check gives the focus to.
enum class BasketField { None, Client, Password, Action, Exchange, Mark, Quantity, Lots, Disclosed, Price, Trigger };

// One leg row as the form shows it, with the leg arrays the opener filled.
struct BasketLegRow {
    bool selected = false;
    int secIndex = -1;
    std::string name;     // the security name box
    std::string action;   // "BUY" / "SELL" / empty
    std::string exchange; // "NSE", "BSE", "NSE-FX", "BSE-CDX", "MCX-CM" / empty
    std::string mark;     // the order-mark text / empty
    std::string quantity; // boxes as typed
    std::string lots;
    std::string price;
    std::string trigger;
    std::string disclosed;
    // Leg arrays: the order a modify or cancel leg refers to.
    double orderNo = 0;
    int previousQty = 0;
    double previousPrice = 0; // rupees
    int squareOffQty = 0;
    std::string legClient;
};

struct BasketForm {
    std::string client; // the client box
    bool amo = false;
    int mode = kBasketNew;
    int ddsId = 0;
    double ddsOrderNo = 0;
    bool passwordAsked = false; // the trading-password box is in use
    std::string password;
    std::array<BasketLegRow, kBasketLegCount> legs;
};

// What the checks need besides the form.
struct BasketContext {
    std::string userId;
    std::string sessionId; // the active client's trading account id
    std::string environment;
    int qtyLimit = 0;      // 0: no limit
    double valueLimit = 0; // rupees; 0: no limit
    int encryption = 0;    // 2: the request must fit the session's RSA block
    // The security of a leg, and the order-mark id of a mark text (-1 none).
    std::function<OrderSecurity(int secIndex)> security;
    std::function<int(const std::string& markText)> markCode;
    // The running request number: returns it and raises it.
    std::function<int()> takeRequestNumber;
};

// A failed check: the text, how it is shown, and where the focus goes.
struct BasketFailure {
    std::string text;
    enum Box { Ok, Info, Plain } box = Ok;
    int leg = -1; // 0..4, -1 form-wide
    BasketField focus = BasketField::None;
    bool selectText = false;
};

struct BasketRequest {
    int requestNumber = -1;
    int code = 301; // sent under 301 whatever the header's TransCode
    std::string text;
    std::vector<std::string> lines; // one placing line per record, in request order
    std::vector<int> legs;          // the row (0..4) of each record
    std::string alertText;          // empty: no question
};

// The longest request the session's RSA encoding carries.
inline constexpr size_t kMaxRsaRequest = 629;

// True with the request built; false with the first failure. A failure of
// the form-wide checks uses no request number; a failure in a leg uses one.
bool BuildBasketRequest(const BasketForm& form, const BasketContext& ctx, BasketRequest& out, BasketFailure& fail);

// The tick test of a price text (steps 13 and 17): 0 when on the tick, else
// the message's tick text ("%0.4lf" / "%0.2lf"). A security whose tick is too
// small for the rule also fails.
bool BasketPriceOnTick(const std::string& text, const OrderSecurity& sec, std::string& tickText);

// One record of the reply.
struct BasketLegResult {
    int status = 0;
    double orderNo = 0;
    int result = 0;
    std::string message;
    int record = 0; // the reply record it came from, from 0: the leg of the request it answers
};
// Empty records answer nothing and are skipped; the rest keep their place.
std::vector<BasketLegResult> ReadBasketReply(const std::string& reply);
// The reply's lines for the message bar, and the last result (9999 for a
// refused leg with no later result).
std::string BasketResultLine(int n, const BasketLegResult& r);
int BasketReplyResult(const std::vector<BasketLegResult>& results);
