#include "server/IndexTableRows.h"

#include "server/MarketLookups.h"

IndexTableRows::IndexTableRows(IndexTable& table) : m_table(table)
{
}

bool IndexTableRows::update(int feedCode, const std::function<void(IndexRecord&)>& change, IndexRecord& after)
{
    std::lock_guard lock(m_mutex);
    std::vector<IndexRecord> rows = m_table.entries();
    for (IndexRecord& r : rows) {
        if (r.feedCode != feedCode)
            continue;
        change(r);
        after = r;
        m_table.assign(std::move(rows), m_table.capacity());
        return true;
    }
    return false;
}
