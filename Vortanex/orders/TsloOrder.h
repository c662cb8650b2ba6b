#pragma once
// Trailing stop-loss and bracket orders without the form: the request texts
// 121 (new), 122 (modify) and 123 (cancel), the reading of their replies
// (171, 172, 173) and the trailing panel's rules (the kind a panel takes, the
// trailing trigger, the spin step of spread and book profit).
#include "orders/COrderData.h"
#include "server/OrderSecurity.h"

#include <string>
#include <string_view>

// The trailing kinds; also the kind of a book record.
enum TsloKind : short {
    kTsloExisting = 1,
    kBracketExisting = 2,
    kTsloNew = 3,
    kBracketNew = 4,
    kMorrowpick = 5,
};

// "TSLO Existing", ... for kinds 1 to 5; empty for others.
std::string TsloKindText(int kind);

// The program's information text that trailing, conversion and feedback
// requests carry: the build text and the device id joined by a blank, with
// '|', '&' and '=' left out. Made once; a test may set it.
std::string GetInfoText();
void SetInfoTextForTest(const std::string& text);

struct TsloRequestContext {
    int mode = 1;             // 1 new (121), 2 modify (122), 3 cancel (123); others build nothing
    char userType = 0;        // 'G' sends the second token
    std::string userId;
    std::string infoText;     // GetInfoText()
};

struct TsloRequest {
    int code = 0;             // 0 = nothing to send
    std::string text;         // "NoOfOrders=1&OrderData1=<code>|..."
};

// Prices, trigger, trailing-when and book-profit price are paise "%.2lf",
// the spread rupees "%.4lf"; values that do not apply are -1 in the field's
// own format. Nothing for a kind outside 1 to 5.
TsloRequest BuildTsloRequest(const COrderData& d, const OrderSecurity& sec, const TsloRequestContext& ctx);

struct TsloReply {
    enum class Kind {
        Incomplete, // fewer than 4 fields: the quantities are reset, nothing else is known
        Invalid,    // field 0 is not the request code + 50
        Refused,    // field 1 non-zero; message holds field 2
        Accepted,   // field 1 zero; message with each '.' turned into a line feed
    };
    Kind kind = Kind::Incomplete;
    std::string message;
    int trailingId = 0;        // field 5 of an accepted reply; 0 when missing
    bool idMissing = false;    // accepted without field 5
};

TsloReply ParseTsloReply(int requestCode, std::string_view reply);

// The panel's kind on expanding: a kind of 0 becomes 1; a new order (mode 1)
// takes 3 unless it is 5; square-off modes (7, 8, 14) take 1.
int TsloKindOnExpand(int kind, int mode);
// The trailing side on expanding: the opposite of the order's side for a new
// order, the order's own side in square-off modes and for a book order.
char TsloTrailSideOnExpand(char orderSide, int mode);
// Book profit set turns 1 into 2 and 3 into 4; cleared turns them back.
int TsloKindWithBookProfit(int kind, bool bookProfit);
// The kind the validation settles on when the panel left it 0.
int TsloKindForValidation(int kind, bool bookProfit, int mode);

// The trailing trigger: base + spread for trailing side 'B', base - spread
// for 'S'; a base of 0 is the last price. Negative when there is no spread.
double TsloTrailingTrigger(char trailSide, double spread, double basePrice, double lastPrice);
// The base price of the trigger: the last price when the leg already trails,
// the "When Price Reaches" price when chosen, else 0 for kinds 1 and 2 and
// the order price for kinds 3 and 4.
double TsloTriggerBase(bool legTrails, bool whenPriceReaches, double whenPrice, int kind, double orderPrice,
                       double lastPrice);

// One spin step of the spread or the book-profit price: by the tick (0.01
// when the tick is 0), never below 0.
double TsloSpinStep(double value, int direction, double tickRupees);

// The panel's values at OK.
struct TsloPanelInput {
    int mode = 1;
    int kind = 0;
    bool spreadEnabled = true;
    std::string spreadText;
    bool trailAtEnabled = true;
    bool market = true;          // "Market" rather than "When Price Reaches"
    std::string whenText;
    bool bookProfit = false;
    std::string bpDisclosedText;
    std::string bpPriceText;
    std::string triggerText;     // kind 5: the panel's trigger
    double ltpPaise = 0;
};

// What the panel's checks found: a refusal, or the trailing values of the
// request (spread in rupees, the rest in paise; -1 where they do not apply).
struct TsloPanelOutcome {
    std::string message;         // empty: accepted
    bool infoBox = false;
    int focusId = 0;
    int kind = 0;
    double spread = -1;
    double trailingWhen = -1;
    double bpPrice = -1;
    int bpDisclosed = -1;
    double trigger = -1;         // kind 5 only
};

// The control ids the checks name.
namespace tslopanel {
inline constexpr int kSpread = 1414;
inline constexpr int kTrigger = 1416;
inline constexpr int kWhenPrice = 1420;
inline constexpr int kBpDisclosed = 1422;
inline constexpr int kBpPrice = 1423;
} // namespace tslopanel

// Without a last price the ranges are not checked: they are relative to it.
TsloPanelOutcome CheckTsloPanel(const TsloPanelInput& in);
