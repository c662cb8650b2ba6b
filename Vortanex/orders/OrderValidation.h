#pragma once
// The check chain that runs when OK is pressed on the order form: it reads
// the form's values, stops at the first fault with its message and the box at
// fault, and on success fills the request record and, for a new order, the
// order's store record. Qt-free: the form hands in its values and a prompter.
#include "app/base/SessionRecord.h"
#include "orders/COrderData.h"
#include "orders/OrderInfo.h"
#include "server/OrderSecurity.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The exchange names of the form and their codes.
std::string_view ExchangeCodeOfName(std::string_view name); // "" when unknown
std::string_view ExchangeNameOfCode(std::string_view code); // "" when unknown

// A price text as the boxes take it: digits and at most one '.'; exponents,
// signs, "nan" and "inf" are not prices.
enum class PriceTextFault {
    None,
    Empty,
    BadCharacter,  // anything but digits and '.'
    DotAlone,      // "."
    TooManyDecimals,
    SecondDot,
};
// maxDecimals: 4 for a currency security, else 2. The decimals are counted up
// to a second '.', so "12.5.0" is a second-dot fault and "12.345" a decimals one.
PriceTextFault CheckPriceText(std::string_view text, int maxDecimals);

// Rounds as the checks do: prints with "%.0lf" and reads the text back, so
// 4.35 x 100 (434.99999999999994) is 435.
long long RoundedUnits(double value);

// The tick check of a positive price in rupees. Returns true when the price is
// on the tick. `shownTick` and `decimals` give the tick as the message shows
// it. A security whose divisor would be below 1 (no tick) is never on it.
bool PriceOnTick(const OrderSecurity& sec, double rupees, double* shownTick = nullptr, int* decimals = nullptr);

// The values of the form at OK.
struct OrderFormInput {
    int mode = 1;            // stored mode (7, 8, 14 and 15 arrive as 1)
    int requestedMode = 1;   // the mode the form was opened with
    short tslKind = 0;
    bool tslExpanded = false;
    bool amo = false;
    bool sor = false;
    bool squareOff = false;
    std::string account;
    int securityIndex = -1;
    int actionIndex = -1;    // 0 BUY, 1 SELL
    std::string exchangeName; // empty = no selection
    std::string orderType;   // empty = no selection
    std::string orderMarkName; // empty = no selection
    int quantity = 0;        // the quantity box (lots x lot size for lot-traded securities)
    int lots = 0;            // the lot box
    std::string priceText;
    std::string triggerText;
    int disclosed = 0;
    // False when a box's text is not a whole number (see ParseWholeNumber):
    // the quantity (or lots) and the disclosed quantity are then refused.
    bool quantityRead = true;
    bool disclosedRead = true;
    int openQty = 0;         // modify/cancel: the order's open quantity at opening
    double orderNo = 0;
    double oldPrice = 0;     // rupees
};

// The rest of the program as the checks see it.
struct OrderCheckContext {
    bool terminalLocked = false;
    bool hasActiveClient = false;
    std::string activeClientId;
    std::string userId;
    int qtyLimit = 5000;
    double valueLimit = 1000000;
    bool confirmOrders = false;
    std::vector<ExchangeSegment> marks; // the order-mark table
    OrderSecurity security;
    // The open quantity the store holds now for an order number; -1 when the
    // order is not in the store (the check is then skipped).
    std::function<int(double orderNo)> currentOpenQty;
};

// How a refusal or a question is shown.
class OrderPrompts {
public:
    enum class Box { Ok, Info, Error };
    virtual ~OrderPrompts() = default;
    virtual void box(Box kind, const std::string& text) = 0;
    virtual bool askYesNo(const std::string& text, const std::string& caption) = 0;
};

struct ValidationOutcome {
    int result = -1;       // 0 send, -1 do not
    std::string message;   // the refusal shown, empty when none
    int focusId = 0;       // box to focus, 0 none
    bool selectText = false;
    bool hideForm = false; // the terminal is locked
    bool selectBuy = false; // the action list goes back to BUY
    char side = 0;
    bool sorFlag = false;
    COrderData data;
    OrderInfo info;        // mode 1 plain orders
    std::string line;      // the order line for the message bar
};

ValidationOutcome ValidateOrder(const OrderFormInput& in, const OrderCheckContext& ctx, OrderPrompts& prompts);

// The confirmation text as the box shows it: each "label<tabs>:<tab>value"
// line one row of a table (label, ':', value), every other line across the
// table. Tab stops differ between fonts, so tabs alone put the values of
// short labels a column further right than the others.
std::string ConfirmationBoxText(std::string_view text);
