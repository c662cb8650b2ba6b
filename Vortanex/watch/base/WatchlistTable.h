#pragma once
// The program-wide watch lists: one record per list (the server's categories
// and the user's own lists), each with its column kinds and its rows of
// securities, and the group names the watch-list pane files them under. Built
// at login on the UI thread; the market watch changes it later. Records live
// in stable storage (a record is never moved or removed, only marked unused),
// and the table's lock guards every change, so a reader holding a record's
// index never sees freed memory.
#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// The number of value-column kinds a list can show.
inline constexpr int kColumnKinds = 23;
// The fixed columns before the value columns (security, exchange, icon, trend).
inline constexpr int kFixedWatchColumns = 4;

struct WatchRowEntry {
    int token = 0;          // watch token; 0 = free entry
    int securityIndex = -1;
    short state = 0;        // 0 stored, 1 added, -1 removed
    char origin = '1';      // '1' stored on the server, '0' not
    short highlight = 0;
    short status = 0;
    void* gridRow = nullptr; // the view's row; owned by the view
};

struct WatchlistRecord {
    int id = 0;
    int panePage = -1;
    int paneButton = -1;
    char name[75] = {};
    int type = 0;            // 0 user/category list, 1, 2, 3, 8, 9 special lists
    int columnCount = 0;     // fixed columns + visible value columns
    int reload = 0;
    std::array<int32_t, kColumnKinds> kinds{};
    int rowCount = 0;
    int rowCapacity = 0;
    int inUse = 0;
    int group = 0;
    int chainKind = -1;
    int chainSecurity = -1;
    int extra = 0; // the field after the id
    std::vector<WatchRowEntry> rows;
};

// A row counts when it holds a token and is not removed.
bool WatchRowCounts(const WatchRowEntry& row);
// The rows of a list that count (for the 100-row limit, display and subscription).
int CountWatchRows(const WatchlistRecord& list);
// The entry a new row of this token takes: the first free one or the one that
// already held the token; -1 = append.
int FindWatchRowSlot(const WatchlistRecord& list, int token);

// The value columns a list can show.
enum ColumnKind : int {
    kBidPrc = 0, kBidQty, kAskPrc, kAskQty, kLastPrc, kHighPrc, kLowPrc, kWtAvg, kClose, kOpen,
    kPctChange, kTotSell, kTotBuy, kTtq, kOpnInt, kTotTrdVal, kLastTrdQty, kLastTrdTime, kNetChg,
    kWeek52High, kWeek52Low, kHighPrcRange, kLowPrcRange,
};
// The header caption of a kind ("Bid Prc" ... "Low Prc Range"); "" outside 0..22.
const char* ColumnKindCaption(int kind);

// The fixed columns before the value columns.
inline constexpr const char* kFixedColumnCaptions[kFixedWatchColumns] = {"Security", "ME", "Icon", "TS"};
inline constexpr int kFixedColumnWidths[kFixedWatchColumns] = {150, 60, 20, 20};
inline constexpr int kValueColumnWidth = 80;
// The market-watch name of an exchange code ("NN" -> "NSE" ...); "" for others.
const char* WatchExchangeName(std::string_view code);

class WatchlistTable {
public:
    static WatchlistTable& instance();

    // Empties the table for a new build (login or tests).
    void reset();

    // Appends a record (a copy) and returns its index.
    int append(const WatchlistRecord& record);
    int count() const;
    int capacity() const;
    void setCapacity(int capacity);
    int ownLists() const;
    void setOwnLists(int count);

    // A copy of a record (empty record for a bad index).
    WatchlistRecord record(int index) const;
    // Changes a record under the lock; false for a bad index.
    template <class F>
    bool update(int index, F&& change)
    {
        std::lock_guard lock(m_mutex);
        if (index < 0 || index >= static_cast<int>(m_records.size()))
            return false;
        change(m_records[static_cast<size_t>(index)]);
        return true;
    }
    // Puts a new row array in place of a list's rows (swapped under the lock,
    // so readers never see a half-built array).
    bool replaceRows(int index, std::vector<WatchRowEntry> rows, int capacity);

    // Group names: entry 0 is "My Watchlist"; groupCount() is the number of
    // groups after it.
    std::vector<std::string> groupNames() const;
    int groupCount() const;
    void setGroups(std::vector<std::string> names);

    // A list made by a market-watch window: initialised with the default
    // layout, appended (the capacity grows by 5 when full); its index.
    int appendNewList(int type);

    // The counter new lists are named "Watchlist%d" from; starts at 1.
    int newListCounter() const;
    void raiseNewListCounter();
    // The first "Watchlist%d" from the counter that no record carries (case
    // does not matter); the counter then moves past it.
    std::string takeFreeListName();

    // The user's default column layout that new lists take: the number of
    // value columns shown and the 23 kinds in display order.
    void setDefaultLayout(int count, const std::array<int32_t, kColumnKinds>& kinds);
    int defaultColumnCount() const;
    std::array<int32_t, kColumnKinds> defaultKinds() const;

private:
    mutable std::mutex m_mutex;
    std::deque<WatchlistRecord> m_records;  // guarded by m_mutex
    int m_capacity = 0;                     // guarded by m_mutex
    int m_ownLists = 0;                     // guarded by m_mutex
    int m_newListCounter = 1;               // guarded by m_mutex
    std::vector<std::string> m_groupNames{"My Watchlist"}; // guarded by m_mutex
    int m_defaultCount = 11;                                // guarded by m_mutex
    std::array<int32_t, kColumnKinds> m_defaultKinds{0, 1, 2, 3, 4, 10, 7, 5, 6, 8, 9, 11,
                                                     12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22}; // guarded by m_mutex
};
