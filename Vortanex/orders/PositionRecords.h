#pragma once
// The active client's positions and holdings as the square-off and holding
// openings of the order form read them: the risk reports' records of the
// active client entry (UI thread only, like the arrays themselves), and a
// copy under a lock for readers on other threads.
#include "server/RiskArrays.h"
#include "server/RiskRecords.h"

#include <mutex>
#include <vector>

// What the order form and the holdings list take from a holding.
struct HoldingRecord {
    int sec_index = -1;
    int quantity = 0;     // the stock balance
    int holding_type = 0; // 4 = MF
};

// Copies of one record of the active client's arrays; false when the index
// is out of range. UI thread.
bool ReadPosition(int index, PositionRecord& out);
bool ReadHolding(int index, HoldingRecord& out);

// A copy of the active client's positions and holdings for readers off the UI
// thread (the watch's "My Positions" and "My Investments" lists). The risk
// window renews it whenever it stores a positions or holdings report.
struct ClientRiskRecords {
    std::mutex mutex;
    std::vector<PositionRecord> positions; // guarded by mutex; margin_type "P" marks a group record
    std::vector<HoldingRecord> holdings;   // guarded by mutex
};
ClientRiskRecords& ActiveClientRiskRecords();
// Renews the copy from the active client's arrays; UI thread.
void PublishActiveRiskRecords();
