#pragma once
// The basket form's margin query without the window: the checks of the legs
// taking part, query 405 per leg (an option purchase is computed locally),
// the reading of each reply with its echo check, the leg formulas and the
// result text. Any thread (it reads only its inputs).
#include "orders/BasketRequest.h"

#include <functional>
#include <string>
#include <vector>

// One leg of a margin calculation.
struct BasketMarginLeg {
    int leg = 0; // 0..4
    OrderSecurity sec;
    double price = 0; // rupees
    long quantity = 0;
    bool sell = false;
    int kind = 0; // 2 currency, 1 F&O, 0 other
    bool queryNeeded = true;
    double margin = 0; // an option purchase's premium
    std::string text;  // the leg's query
};

struct BasketMarginInput {
    int selector = 6; // 1..5 one leg, 6 every ticked leg
    std::string client; // the client box
    std::string clientId;
    std::string userId;
    std::array<BasketLegRow, kBasketLegCount> legs;
};

// The legs to query, or the first stop: `stop.text` set (a check failed), or
// `immediate` set (a single option purchase, its margin shown at once).
bool PrepareBasketMargin(const BasketMarginInput& in, const std::function<OrderSecurity(int)>& security,
                         std::vector<BasketMarginLeg>& legs, BasketFailure& stop, std::string& immediate);

// What one reply does to the calculation.
struct BasketMarginStep {
    enum Kind { Add, Skip, Stop } kind = Skip;
    double margin = 0;
    bool four = false; // a currency leg: the total in four decimals
    std::string box;     // a box to show, empty for none
    std::string caption; // empty: the product's
};
BasketMarginStep ReadBasketMarginReply(int status, const std::string& reply, const BasketMarginLeg& leg,
                                       const std::string& client);
// The margin of a leg from the reply's multiple.
double BasketLegMargin(const BasketMarginLeg& leg, double multiple);
std::string BasketMarginText(double total, bool allLegs, bool four);
