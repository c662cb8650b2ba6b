#include "orders/PositionRecords.h"

bool ReadPosition(int index, PositionRecord& out)
{
    const ClientRiskArrays& r = ActiveClientRiskArrays();
    if (index < 0 || index >= static_cast<int>(r.positions.size()))
        return false;
    out = r.positions[static_cast<size_t>(index)];
    return true;
}

bool ReadHolding(int index, HoldingRecord& out)
{
    const ClientRiskArrays& r = ActiveClientRiskArrays();
    if (index < 0 || index >= static_cast<int>(r.holdings.size()))
        return false;
    const PositionRecord& h = r.holdings[static_cast<size_t>(index)];
    out.sec_index = h.sec_index;
    out.quantity = h.stock_balance;
    out.holding_type = h.product_code;
    return true;
}

ClientRiskRecords& ActiveClientRiskRecords()
{
    static ClientRiskRecords records;
    return records;
}

void PublishActiveRiskRecords()
{
    const ClientRiskArrays& r = ActiveClientRiskArrays();
    std::vector<HoldingRecord> holdings;
    holdings.reserve(r.holdings.size());
    for (const PositionRecord& h : r.holdings)
        holdings.push_back({h.sec_index, h.stock_balance, h.product_code});
    ClientRiskRecords& copy = ActiveClientRiskRecords();
    std::lock_guard lock(copy.mutex);
    copy.positions = r.positions;
    copy.holdings = std::move(holdings);
}
