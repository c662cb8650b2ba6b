#include "watch/WatchlistTable.h"

bool WatchRowCounts(const WatchRowEntry& row)
{
    return row.token > 0 && row.state >= 0;
}

WatchlistTable& WatchlistTable::instance()
{
    static WatchlistTable table;
    return table;
}

void WatchlistTable::reset()
{
    std::lock_guard lock(m_mutex);
    m_records.clear();
    m_capacity = 0;
    m_ownLists = 0;
    m_groupNames = {"My Watchlist"};
}

int WatchlistTable::append(const WatchlistRecord& record)
{
    std::lock_guard lock(m_mutex);
    m_records.push_back(record);
    const int n = static_cast<int>(m_records.size());
    if (m_capacity < n)
        m_capacity = n;
    return n - 1;
}

int WatchlistTable::count() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_records.size());
}

int WatchlistTable::capacity() const
{
    std::lock_guard lock(m_mutex);
    return m_capacity;
}

void WatchlistTable::setCapacity(int capacity)
{
    std::lock_guard lock(m_mutex);
    m_capacity = capacity;
}

int WatchlistTable::ownLists() const
{
    std::lock_guard lock(m_mutex);
    return m_ownLists;
}

void WatchlistTable::setOwnLists(int count)
{
    std::lock_guard lock(m_mutex);
    m_ownLists = count;
}

WatchlistRecord WatchlistTable::record(int index) const
{
    std::lock_guard lock(m_mutex);
    if (index < 0 || index >= static_cast<int>(m_records.size()))
        return {};
    return m_records[static_cast<size_t>(index)];
}

bool WatchlistTable::replaceRows(int index, std::vector<WatchRowEntry> rows, int capacity)
{
    std::lock_guard lock(m_mutex);
    if (index < 0 || index >= static_cast<int>(m_records.size()))
        return false;
    WatchlistRecord& r = m_records[static_cast<size_t>(index)];
    r.rows.swap(rows);
    r.rowCount = static_cast<int>(r.rows.size());
    r.rowCapacity = capacity;
    return true;
}

std::vector<std::string> WatchlistTable::groupNames() const
{
    std::lock_guard lock(m_mutex);
    return m_groupNames;
}

int WatchlistTable::groupCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_groupNames.size()) - 1;
}

void WatchlistTable::setGroups(std::vector<std::string> names)
{
    std::lock_guard lock(m_mutex);
    if (names.empty())
        names.push_back("My Watchlist");
    m_groupNames = std::move(names);
}

void WatchlistTable::setDefaultLayout(int count, const std::array<int32_t, kColumnKinds>& kinds)
{
    std::lock_guard lock(m_mutex);
    m_defaultCount = count;
    m_defaultKinds = kinds;
}

int WatchlistTable::defaultColumnCount() const
{
    std::lock_guard lock(m_mutex);
    return m_defaultCount;
}

std::array<int32_t, kColumnKinds> WatchlistTable::defaultKinds() const
{
    std::lock_guard lock(m_mutex);
    return m_defaultKinds;
}
