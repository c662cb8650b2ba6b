#pragma once
// Position conversion without its window: the query of the convertible
// quantity (code 420), the conversion request (code 110) and the reading of
// both replies. Any thread.
#include <string>

struct ConversionQuery {
    std::string sessionId;
    std::string userId;
    std::string clientCode;
    char side = 'B';
    int token = 0;
    std::string exchange; // exchange code
    int product = 0;
    int allowableQty = 0; // field 37 of the position
    double avgPrice = 0;
    double netValue = 0;
    int quantity = 0;     // the opener's
    int field38 = 0;
};
std::string BuildConversionQuery(const ConversionQuery& q);

struct ConversionQueryResult {
    bool ok = false; // field 1 "0" with fields 4 and 7 present
    double margin = 0;
    int convertible = 0; // absolute
};
// A short reply is a failed query.
ConversionQueryResult ReadConversionQuery(const std::string& reply);

// The code of an exchange name ("MCX-CM" is "MC"); empty for an unknown one.
std::string ConversionExchangeCode(const std::string& name);

struct ConversionRequest {
    std::string sessionId;
    std::string userId;
    std::string clientCode;
    int token = 0;
    std::string exchange; // exchange code
    char side = 'B';
    long quantity = 0;
    std::string infoText;
};
std::string BuildConversionRequest(const ConversionRequest& r);

// A quantity the conversion takes: 1 up to the convertible quantity.
bool ConversionQuantityValid(long quantity, int convertible);

// What the user is shown after the request.
struct ConversionOutcome {
    std::string text;
    std::string caption; // "Success", "Error" or empty (the product's)
    bool warning = false;
    // The request left but its reply failed or was empty: whether the
    // position was converted is unknown.
    bool stateUnknown = false;
};
ConversionOutcome ReadConversionReply(int status, const std::string& reply);
