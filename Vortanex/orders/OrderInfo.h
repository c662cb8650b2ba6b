#pragma once
// One order as the order book shows it and the client's order store keeps it:
// a fixed-size plain record, copied whole.
#include <cstdint>
#include <string_view>

struct OrderInfo {
    char client_code[11] = {};
    char user_id[12] = {};
    double order_no = 0;       // the system's order number (whole); the key of confirmations
    int32_t token = 0;         // exchange token
    int32_t sec_index = -1;    // security table row, -1 when the token is unknown
    char exchange[3] = {};     // "NN", "BN", "CN", "CB", "CM", "MC", "NC"
    char buy_sell[5] = {};     // first letter 'B' = buy
    int32_t total_qty = 0;
    double price = 0;          // rupees; 0 = market
    int32_t open_qty = 0;
    char time[32] = {};
    char status[6] = {};
    char exch_order_no[20] = {};
    double trigger = 0;        // rupees
    int32_t disclosed = 0;
    int32_t order_mark = 0;
    int16_t extra = 0;
    int32_t store_index = 0;   // set by the order form for a new order
    int32_t mark_index = 0;    // position in the order-mark table, 0 when none matches
    int32_t grid_row = -1;     // the book's row, -1 until made
    char side = 0;
    char mark_name[24] = {};
    char security_name[50] = {};
    int16_t sor = 0;
    int32_t contract_valid = -1;
};

// The status groups the book acts on.
bool IsOpenOrderStatus(std::string_view status);     // AMO OPN OPF SLO
bool IsPendingOrderStatus(std::string_view status);  // NEWF NEWZ CHRF CNRF
bool IsFinishedOrderStatus(std::string_view status); // CAN REJ CANM CANS TRAD
