#pragma once
// The margin query of the order form, without the form: the checks of the
// form's inputs, the choice between answering at once (a plain buy costs its
// value) and asking the risk service (request 405), the reading of its reply
// and the margin formulas. The form reads its inputs on the UI thread, runs
// the query on a worker and shows the outcome on the UI thread.
#include "server/OrderSecurity.h"

#include <string>
#include <string_view>

// The form's inputs as read on the UI thread.
struct MarginInput {
    bool terminalLocked = false;
    std::string clientCode;    // trimmed
    std::string exchangeText;  // the exchange list's text, empty for none
    int quantity = 0;
    std::string priceText;     // trimmed
    int sideIndex = 0;         // 0 buy, 1 sell
    OrderSecurity security;    // invalid when the form has none
    std::string clientId;      // the chosen client's id, else the login's own
    std::string userId;
};

// Where the focus goes after a refusal.
enum class MarginFocus { None, Client, Exchange, Quantity, Price };

// A message for the user: text, caption (empty for the program's own) and
// the message box style.
struct MarginMessage {
    std::string text;
    std::string caption;
    unsigned style = 0;
    bool empty() const { return text.empty(); }
};

// What the checks decided.
struct MarginPlan {
    MarginMessage refusal;      // a check refused the query
    MarginFocus focus = MarginFocus::None;
    bool selectPrice = false;   // the price field's text is selected
    bool cancelForm = false;    // a locked terminal closes the form
    bool ask = false;           // the risk service is asked
    double price = 0;           // rupees, as the formula takes it
    int segmentKind = 0;        // 2 currency, 1 derivatives, 0 other
    MarginMessage answer;       // the local answer of a plain buy
    std::string request;        // "RiskData=405|..." when asked
};

MarginPlan PlanMargin(const MarginInput& in);

// The outcome of the service's reply (status 200).
struct MarginOutcome {
    MarginMessage message;      // what the user sees; empty: nothing
    bool hasMargin = false;
    double margin = 0;
    std::string logLine;        // what the log gets besides
};

MarginOutcome ReadMarginReply(const MarginInput& in, const MarginPlan& plan, std::string_view reply);

// The margin of the order at the reference rate; false (and the refusal in
// `error`) when it cannot be computed: a rate of 0 or less, a price
// denominator of 0 for a lot-based security.
bool ComputeMargin(const MarginInput& in, const MarginPlan& plan, double rate, double& margin, std::string& error);

// The text that shows a computed margin.
std::string MarginText(double margin, int segmentKind);
