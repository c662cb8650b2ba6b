#pragma once
// The active client's positions and holdings as the square-off and holding
// openings of the order form read them. The risk reports fill them from the
// server; until then (and in tests) they are filled directly.
#include <mutex>
#include <string>
#include <vector>

// One open position.
struct PositionRecord {
    int sec_index = -1;
    int token = 0;
    std::string exchange;  // exchange code
    int product = 0;       // order-mark id
    int net_qty = 0;       // signed: > 0 bought, < 0 sold
    double net_value = 0;
    double avg_price = 0;  // rupees
    std::string field31;   // "P" marks a position the holdings and positions lists skip
    int allowable_qty = 0; // field 37
    double field38 = 0;
};

// One position of the day.
struct TodaysPositionRecord {
    int token = 0;
    std::string exchange;
    int product = 0;
    int net_qty = 0;
    double net_value = 0;
    double avg_price = 0;
};

// One holding.
struct HoldingRecord {
    int sec_index = -1;
    int quantity = 0;
    int holding_type = 0; // 4 = MF
};

// The active client's tables. Readers and writers take `mutex`; the order form
// reads one record by its index at opening.
struct ClientRiskRecords {
    std::mutex mutex;
    std::vector<PositionRecord> positions;            // guarded by mutex
    std::vector<TodaysPositionRecord> todaysPositions; // guarded by mutex
    std::vector<HoldingRecord> holdings;              // guarded by mutex
};

ClientRiskRecords& ActiveClientRiskRecords();

// Copies of one record; false when the index is out of range.
bool ReadPosition(int index, PositionRecord& out);
bool ReadHolding(int index, HoldingRecord& out);
