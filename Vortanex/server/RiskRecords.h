#pragma once
// The records of the five risk reports (limits, open positions, holdings,
// unbilled and today's positions) as the replies fill them and the risk
// window, the live profit and loss, the order form and the watch lists read
// them. Plain values: a reply builds new arrays on a worker, and the UI thread
// swaps them into the client entry whole (ClientRiskArrays).
#include <memory>
#include <string>
#include <vector>

// The limits of one client. The numbers keep their slot numbers 2..108, as
// the limits grid names them; slots 0 and 1 stay 0.
struct LimitsRecord {
    static constexpr int kFirstSlot = 2;
    static constexpr int kLastSlot = 108;
    static constexpr int kListCapacity = 8; // elements kept of a ','-separated list field

    std::string client_code; // reply field 2
    char limit_flag = 0;     // first character of reply field 13
    double value[kLastSlot + 1] = {};

    // The slot's number, 0 outside 2..108.
    double at(int slot) const { return slot >= kFirstSlot && slot <= kLastSlot ? value[slot] : 0.0; }
};

// One open position of a 412 reply or one holding of a 413 reply.
struct PositionRecord {
    int token = 0;
    std::string exchange;
    int sec_index = -1;
    int buy_open_qty = 0;
    double buy_open_value = 0;
    int sell_open_qty = 0;
    double sell_open_value = 0;
    int net_qty = 0;
    double net_value = 0;
    int prev_stock_qty = 0;
    double prev_stock_value = 0;
    int stock_balance = 0;  // holdings: computed by the holdings grid
    double avg_cost_pl = 0; // holdings: computed by the holdings grid
    double actual_pl = 0;
    double premium = 0;
    double number_19 = 0;
    double unrealised_pl = 0; // open positions: the grid fill and the live updates
    double stock_value_price = 0;
    double bnst_credit = 0;
    double number_14 = 0;
    double multiple = 0;
    int int_18 = 0;
    int haircut = 0;
    int product_code = 0; // a holding's holding type
    int hold_stock = 0;
    int int_21 = 0;
    int product_class = 1;
    double avg_price = 0;     // 412: rupees
    std::string holding_text; // 413: the average cost price as the server wrote it
    double multiplier = 0;
    double utilization = 0;
    std::string margin_type;
    double number_32 = 0;
    double number_33 = 0;
    double number_34 = 0;
    double number_35 = 0;
    double spread_benefit = 0;
    int int_37 = 0;
    std::string display_name;
    int int_38 = 0;
    int record_no = 0;
    int marking_index = 0;
    char side = ' ';
    int grid_row = -1; // the open grid's row that shows it; -1 when it has none
};

// One of today's positions (415 reply).
struct TodaysPositionRecord {
    int token = 0;
    std::string exchange;
    int sec_index = -1;
    int buy_open_qty = 0;
    double buy_open_value = 0;
    int sell_open_qty = 0;
    double sell_open_value = 0;
    int buy_traded_qty = 0;
    double buy_traded_value = 0;
    int sell_traded_qty = 0;
    double sell_traded_value = 0;
    int net_qty = 0;
    double net_value = 0;
    int int_15 = 0;
    double todays_premium = 0;
    double realised_pl = 0;
    double unrealised_pl = 0;
    double ltp = 0;
    int product_code = 0;
    double avg_price = 0;
    double multiplier = 0;
    double amount_22 = 0;
    double number_24 = 0;
    double number_25 = 0;
    double number_26 = 0;
    double number_27 = 0;
    double amount_28 = 0;
    int int_29 = 0;
    int int_30 = 0;
    double amount_31 = 0;
    double buy_avg = 0;
    double sell_avg = 0;
    int record_no = 0;
    int grid_row = -1; // set only for a record that has a row in the today's grid
    char side = ' ';
};

// One unbilled position (414 reply).
struct UnbilledPositionRecord {
    std::string security; // blanks replaced by '~'
    std::string payin_date;
    double value = 0;
    double multiple = 0;
    long source = 0;
    double margin_utilised = 0;
    double bnst_credit = 0;
    double total = 0;
    double bnst_hold_value = 0;
};

// The report arrays of one client entry. Changed on the UI thread only: a
// reply's new array replaces the old one whole, so a reader on the UI thread
// never sees a half-filled array.
struct ClientRiskArrays {
    std::shared_ptr<LimitsRecord> limits; // null until a limits reply
    std::vector<PositionRecord> positions;
    std::vector<PositionRecord> holdings;
    std::vector<TodaysPositionRecord> todays_positions;
    std::vector<UnbilledPositionRecord> unbilled_positions;
};
