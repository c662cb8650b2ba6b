#pragma once
// The order about to be sent, as validation fills it from the form, and the
// builder of its OrderData request record for a new order, a modification, a
// cancellation or a square-off.
#include "server/OrderSecurity.h"

#include <string>

struct COrderData {
    char client_code[11] = {};
    char client_id[32] = {};
    int sec_index = -1;
    char exchange[5] = {};
    char side = ' ';
    char trailing_side = ' ';
    int quantity = 0;
    int first_leg_traded = 0;
    double price = 0;   // paise; 0 = market
    double trigger = 0; // paise
    int disclosed = 0;
    char validity[5] = {};
    int order_mark = 0;
    short square_off = 0;
    char amo = ' ';     // 'Y' / 'N'
    short sor = 0;
    short trailing_type = 0;
    double spread = 0;
    double trailing_when = 0;
    int bp_disclosed = 0;
    double bp_price = 0;
    double order_no = 0;
    int prev_qty = 0;
    double prev_price = 0; // rupees, as the order's record holds it
    int trailing_result_id = 0;
    int trailing_order_no = 0;
    short auto_square_off = 0;
    std::string description;

    // Texts empty, numbers 0, side and after-market flag a space.
    void Reset() { *this = COrderData{}; }
};

// One built request.
struct OrderRequest {
    int code = 0;      // the TransCode, 0 = nothing to send
    std::string text;  // "NoOfOrders=1&OrderData1=<code>|..."
};

// What the builder needs besides the record.
struct OrderRequestContext {
    int mode = 1;               // 1 new, 2 modify, 3 cancel; others build nothing
    char userType = 0;          // 'G' sends the second token
    std::string userId;
    std::string environment;    // the client-environment text (the device id)
};

// The request for the record; code 0 when the mode sends nothing.
OrderRequest BuildOrderRequest(const COrderData& d, const OrderSecurity& sec, const OrderRequestContext& ctx);

// The environment text as it may stand in a record: '|', '&' and '=' would
// split the record or the request, so they are dropped.
std::string OrderEnvironmentText(std::string_view deviceId);

// The running request number shared by single orders and baskets: returns
// the current number and raises it. UI thread.
int TakeOrderRequestNumber();
int PeekOrderRequestNumber();
void ResetOrderRequestNumber(); // tests

// The longest request text the server takes.
inline constexpr size_t kMaxOrderRequestText = 1023;
