#include "watch/base/WatchlistTable.h"

#include "app/base/ExchangeNames.h"
#include <cstdio>
#include <cstring>
#include <strings.h>

bool WatchRowCounts(const WatchRowEntry& row)
{
    return row.token > 0 && row.state >= 0;
}

int CountWatchRows(const WatchlistRecord& list)
{
    int n = 0;
    for (const WatchRowEntry& r : list.rows)
        n += WatchRowCounts(r) ? 1 : 0;
    return n;
}

int FindWatchRowSlot(const WatchlistRecord& list, int token)
{
    for (size_t i = 0; i < list.rows.size(); ++i)
        if (list.rows[i].token == 0 || list.rows[i].token == token)
            return static_cast<int>(i);
    return -1;
}

const char* ColumnKindCaption(int kind)
{
    static const char* const kCaptions[kColumnKinds] = {
        "Bid Prc",   "Bid Qty",  "Ask Prc",     "Ask Qty",      "Last Prc",      "High Prc",
        "Low Prc",   "Wt. Avg",  "Close",       "Open",         "% Change",      "Tot Sell",
        "Tot Buy",   "TTQ",      "Opn Int.",    "Tot Trd Val",  "Last Trd Qty",  "Last Trd Time",
        "Net Chg",   "52Week High", "52Week Low", "High Prc Range", "Low Prc Range",
    };
    return kind >= 0 && kind < kColumnKinds ? kCaptions[kind] : "";
}

const char* WatchExchangeName(std::string_view code) { return ExchangeDisplayName(code); }

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
    m_newListCounter = 1;
    m_groupNames = {"My Watchlist"};
}

int WatchlistTable::appendNewList(int type)
{
    std::lock_guard lock(m_mutex);
    WatchlistRecord r;
    r.type = type;
    r.columnCount = m_defaultCount + kFixedWatchColumns;
    r.kinds = m_defaultKinds;
    r.rowCount = 0;
    r.rowCapacity = 10;
    r.inUse = 1;
    r.chainKind = -1;
    r.chainSecurity = -1;
    const int n = static_cast<int>(m_records.size());
    if (n >= m_capacity)
        m_capacity = n + 5;
    m_records.push_back(std::move(r));
    return n;
}

int WatchlistTable::newListCounter() const
{
    std::lock_guard lock(m_mutex);
    return m_newListCounter;
}

void WatchlistTable::raiseNewListCounter()
{
    std::lock_guard lock(m_mutex);
    ++m_newListCounter;
}

std::string WatchlistTable::takeFreeListName()
{
    std::lock_guard lock(m_mutex);
    char name[32];
    for (;;) {
        std::snprintf(name, sizeof name, "Watchlist%d", m_newListCounter);
        bool used = false;
        for (const WatchlistRecord& r : m_records)
            if (strncasecmp(r.name, name, sizeof r.name) == 0) {
                used = true;
                break;
            }
        if (!used)
            break;
        ++m_newListCounter;
    }
    ++m_newListCounter;
    return name;
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
