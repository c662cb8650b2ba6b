#include "orders/PositionRecords.h"

ClientRiskRecords& ActiveClientRiskRecords()
{
    static ClientRiskRecords records;
    return records;
}

bool ReadPosition(int index, PositionRecord& out)
{
    ClientRiskRecords& r = ActiveClientRiskRecords();
    std::lock_guard lock(r.mutex);
    if (index < 0 || index >= static_cast<int>(r.positions.size()))
        return false;
    out = r.positions[static_cast<size_t>(index)];
    return true;
}

bool ReadHolding(int index, HoldingRecord& out)
{
    ClientRiskRecords& r = ActiveClientRiskRecords();
    std::lock_guard lock(r.mutex);
    if (index < 0 || index >= static_cast<int>(r.holdings.size()))
        return false;
    out = r.holdings[static_cast<size_t>(index)];
    return true;
}
