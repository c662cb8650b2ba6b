#pragma once
// The look-ups right after login: the market status of every exchange
// segment, the market indices, the user's watch lists (and, when a list is
// opened, its rows) and the day's research calls. Each is one blocking
// request that fills a program-wide table or hands lines to the message bar.
#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class ServerAccess;
struct CategoryRecord;
struct ServiceRecord;

// One exchange segment's market status.
struct MarketStatusRecord {
    char exch[3] = {};
    char status[12] = {};
};

// Built at login; the feed (code 115) updates it from its threads and the
// market-status pane reads it, so every access takes the lock.
class MarketStatusTable {
public:
    static constexpr int kInitialCapacity = 10;
    static constexpr int kGrowth = 5;
    static MarketStatusTable& instance();

    void reset(); // empty, capacity kInitialCapacity
    void append(std::string_view exch, std::string_view status);
    // The feed's update: true when the segment is known and its status changed.
    bool update(std::string_view exch, std::string_view status);
    std::vector<MarketStatusRecord> entries() const;
    int count() const;
    int capacity() const;

private:
    mutable std::mutex m_mutex;
    std::vector<MarketStatusRecord> m_entries; // guarded by m_mutex
    int m_capacity = kInitialCapacity;         // guarded by m_mutex
};

// One market index. Values are in paise as the server sends them (the
// percent change in hundredths of a percent).
struct IndexRecord {
    int id = 0;
    char name[32] = {};
    char code[12] = {};
    char exchange[3] = {};
    int feedCode = 0;
    int securityIndex = -1;
    std::array<double, 9> values{}; // value, high, low, open, prev close, change, % change, year high, year low
    std::array<short, 9> ticks{};
    int kind = -1;
    short flag = 0; // the index view's highlight, set at the first threshold crossing
    int64_t stamp = 0;
    void* gridRow = nullptr; // the view's row; owned by the view
    int number = -1;         // position in the index table
    int button = -1;         // the indices bar's button showing it (1-4), -1 none
    int gridRowNumber = -1;  // the index view's row, -1 while no view shows it
};

class IndexTable {
public:
    static constexpr int kInitialCapacity = 100;
    static constexpr int kGrowth = 10;
    static IndexTable& instance();

    void reset(); // empty, capacity kInitialCapacity
    // Replaces the entries; the capacity follows the growth rule.
    void assign(std::vector<IndexRecord> entries, int capacity);
    std::vector<IndexRecord> entries() const;
    int count() const;
    int capacity() const;
    // The feed's change of the first row with this feed code, under the
    // lock; false when there is none. `after` gets the changed row.
    bool update(int feedCode, const std::function<void(IndexRecord&)>& change, IndexRecord& after);
    // The window side's change of entry `number` under the lock; false when
    // there is no such entry.
    bool change(int number, const std::function<void(IndexRecord&)>& change);

private:
    mutable std::mutex m_mutex;
    std::vector<IndexRecord> m_entries; // guarded by m_mutex
    int m_capacity = kInitialCapacity;  // guarded by m_mutex
};

// Cuts a look-up reply into records of fields. `laterTilde`: the first record
// ends at '^' and later ones at '~' (100, 104, 117), else '^' throughout.
// `keepEmpty`: empty records and fields are kept (111); otherwise an empty
// record ends the reply and an empty field ends its record. A separator at
// the very start of the text or of a record gives an empty first element,
// which is skipped either way.
std::vector<std::vector<std::string>> ReadLookupReply(std::string_view text, bool laterTilde, bool keepEmpty);

// "WD=115": fills MarketStatusTable. Returns 0.
int GetMarketStatus(ServerAccess& server);
// "WD=111": fills IndexTable. 0 done, -1 server error (shown), 1 exception.
int Get_Indices(ServerAccess& server);
// "WD=100": builds WatchlistTable from the categories and the user's lists.
// Returns the number of lists.
int Get_Watchlist(ServerAccess& server, std::string_view userId, const std::vector<CategoryRecord>& categories);
// "WD=104" (kind <= 0) or "WD=117" (kind > 0): the rows of one list. 0 done,
// 1 failure.
int Get_Watchlist_Details(ServerAccess& server, int index, int kind, std::string_view text);

// How a research call reaches the message bar (kind 4).
using ResearchCallSink = std::function<void(const std::string& text, const std::string& extra)>;
// "ReportData=900": hands the day's calls to `show`. 0, or -1 for a refused
// reply.
int GetMktResearchCalls(ServerAccess& server, const std::vector<ServiceRecord>& services,
                        const ResearchCallSink& show);
