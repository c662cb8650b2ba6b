#include "server/MarketLookups.h"

#include "server/CompanionLists.h"
#include "server/SecurityReload.h"
#include "server/SecurityTable.h"
#include "server/ServerAccess.h"

#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "watch/base/TextSplit.h"
#include "watch/base/WatchlistTable.h"
#include "app/base/TextFormat.h"

#include <algorithm>
#include <cstdlib>

namespace market_lookups_detail {
namespace {

std::string trimmed(std::string_view s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return std::string(s);
}

// A number of a reply field; an empty or bad field reads as 0, and values
// beyond int are clamped rather than wrapped.
long long toNumber(std::string_view text)
{
    const std::string s(text);
    char* end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    return end == s.c_str() ? 0 : v;
}

int toInt(std::string_view text)
{
    return static_cast<int>(std::clamp<long long>(toNumber(text), INT32_MIN, INT32_MAX));
}

std::string field(const std::vector<std::string>& f, size_t i)
{
    return i < f.size() ? f[i] : std::string();
}

// The boxes of a failed exchange; false when the exchange failed.
bool transportOk(int status)
{
    if (status == 200)
        return true;
    if (status == 407)
        MsgBoxOk("Proxy Authentication Failed");
    else
        MsgBoxInfo(formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", status));
    return false;
}

std::string sessionId()
{
    return std::string(FixedTextView(pv_user_info.session_id));
}

std::string userId()
{
    return std::string(FixedTextView(pv_user_info.user_id));
}

// The id the index request names: the active client's, else the user's.
std::string activeClientId()
{
    const int i = pv_user_info.client_index < 0 ? 0 : pv_user_info.client_index;
    if (i < static_cast<int>(g_Session.clients.size()) && g_Session.clients[static_cast<size_t>(i)].active)
        return std::string(FixedTextView(g_Session.clients[static_cast<size_t>(i)].user_id));
    return userId();
}

} // namespace
} // namespace market_lookups_detail

using market_lookups_detail::field;
// --- tables ---

MarketStatusTable& MarketStatusTable::instance()
{
    static MarketStatusTable table;
    return table;
}

void MarketStatusTable::reset()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
    m_capacity = kInitialCapacity;
}

void MarketStatusTable::append(std::string_view exch, std::string_view status)
{
    std::lock_guard lock(m_mutex);
    if (static_cast<int>(m_entries.size()) >= m_capacity)
        m_capacity += kGrowth;
    MarketStatusRecord r;
    CopyFixedText(r.exch, exch);
    CopyFixedText(r.status, status);
    m_entries.push_back(r);
}

bool MarketStatusTable::update(std::string_view exch, std::string_view status)
{
    std::lock_guard lock(m_mutex);
    for (MarketStatusRecord& r : m_entries)
        if (FixedTextView(r.exch) == exch) {
            if (FixedTextView(r.status) == status.substr(0, sizeof r.status - 1))
                return false;
            CopyFixedText(r.status, status);
            return true;
        }
    return false;
}

std::vector<MarketStatusRecord> MarketStatusTable::entries() const
{
    std::lock_guard lock(m_mutex);
    return m_entries;
}

int MarketStatusTable::count() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_entries.size());
}

int MarketStatusTable::capacity() const
{
    std::lock_guard lock(m_mutex);
    return m_capacity;
}

IndexTable& IndexTable::instance()
{
    static IndexTable table;
    // The indices bar and the index view reach an index's feed security
    // through its record: after a re-download the record names its row anew.
    static const SecurityReload::Registration reload =
        SecurityReload::instance().add("indices", [](const SecurityTable& before, SecurityTable& after) {
            IndexTable& t = IndexTable::instance();
            for (int n = 0; n < t.count(); ++n)
                t.change(n, [&](IndexRecord& r) {
                    if (r.securityIndex >= 0)
                        r.securityIndex = ReresolveSecurity(before, after, r.securityIndex);
                });
            return SecurityReload::Outcome{};
        });
    return table;
}

void IndexTable::reset()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
    m_capacity = kInitialCapacity;
}

void IndexTable::assign(std::vector<IndexRecord> entries, int capacity)
{
    std::lock_guard lock(m_mutex);
    m_entries.swap(entries);
    m_capacity = capacity;
    for (size_t i = 0; i < m_entries.size(); ++i)
        m_entries[i].number = static_cast<int>(i);
}

std::vector<IndexRecord> IndexTable::entries() const
{
    std::lock_guard lock(m_mutex);
    return m_entries;
}

int IndexTable::count() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_entries.size());
}

int IndexTable::capacity() const
{
    std::lock_guard lock(m_mutex);
    return m_capacity;
}

bool IndexTable::update(int feedCode, const std::function<void(IndexRecord&)>& change, IndexRecord& after)
{
    std::lock_guard lock(m_mutex);
    for (IndexRecord& r : m_entries)
        if (r.feedCode == feedCode) {
            change(r);
            after = r;
            return true;
        }
    return false;
}

bool IndexTable::change(int number, const std::function<void(IndexRecord&)>& change)
{
    std::lock_guard lock(m_mutex);
    if (number < 0 || number >= static_cast<int>(m_entries.size()))
        return false;
    change(m_entries[static_cast<size_t>(number)]);
    return true;
}

// --- reply reading ---

std::vector<std::vector<std::string>> ReadLookupReply(std::string_view text, bool laterTilde, bool keepEmpty)
{
    std::vector<std::string> records;
    size_t pos = 0;
    bool first = true;
    while (pos <= text.size()) {
        const char sep = (laterTilde && !first) ? '~' : '^';
        const size_t end = text.find(sep, pos);
        const size_t stop = end == std::string_view::npos ? text.size() : end;
        records.push_back(market_lookups_detail::trimmed(text.substr(pos, stop - pos)));
        first = false;
        if (end == std::string_view::npos)
            break;
        pos = end + 1;
    }
    std::vector<std::vector<std::string>> out;
    for (size_t r = 0; r < records.size(); ++r) {
        const std::string& rec = records[r];
        if (rec.empty()) {
            if (r == 0 && !text.empty() && text.front() == '^')
                continue; // a separator at the very start
            if (keepEmpty) {
                out.push_back({});
                continue;
            }
            break;
        }
        std::vector<std::string> fields;
        size_t p = 0;
        bool firstField = true;
        while (p <= rec.size()) {
            const size_t e = rec.find('|', p);
            const size_t s = e == std::string::npos ? rec.size() : e;
            std::string f = market_lookups_detail::trimmed(std::string_view(rec).substr(p, s - p));
            const bool leading = firstField && f.empty() && e != std::string::npos;
            firstField = false;
            if (!leading) {
                if (f.empty() && !keepEmpty)
                    break;
                fields.push_back(std::move(f));
            }
            if (e == std::string::npos)
                break;
            p = e + 1;
        }
        out.push_back(std::move(fields));
    }
    return out;
}

// --- look-ups ---

int GetMarketStatus(ServerAccess& server)
{
    MarketStatusTable& table = MarketStatusTable::instance();
    try {
        table.reset();
        const ServerReply reply = server.requestServer(pv_user_info.encrypt, 23,
                                                       formatText("WD=115|%s|ALL|%d", market_lookups_detail::sessionId().c_str(), 4));
        if (!market_lookups_detail::transportOk(reply.status))
            return 0;
        const auto records = ReadLookupReply(reply.body, false, false);
        for (size_t r = 0; r < records.size(); ++r) {
            const auto& f = records[r];
            if (r == 0) {
                if (market_lookups_detail::toInt(field(f, 1)) != 0)
                    WriteLog(0, "Error in GetMarketStatus :" + field(f, 2));
                continue;
            }
            if (f.empty())
                break;
            table.append(field(f, 0), field(f, 1));
        }
        WriteLog(0, formatText("Total Exchange ctr :%d", table.count()));
    } catch (...) {
        WriteLog(0, "Exception in GetMarketStatus");
    }
    return 0;
}

int Get_Indices(ServerAccess& server)
{
    IndexTable& table = IndexTable::instance();
    try {
        WriteLog(3, "Entry Get_Indices");
        table.reset();
        const std::string request = formatText("WD=111|%s|ALL|%d", market_lookups_detail::activeClientId().c_str(), 4);
        WriteLog(0, request);
        const ServerReply reply = server.requestServer(pv_user_info.encrypt, 9, request);
        if (reply.status != 200 || reply.body.empty())
            return 0;
        const auto records = ReadLookupReply(reply.body, false, true);
        if (!records.empty() && market_lookups_detail::toInt(field(records[0], 1)) != 0) {
            MsgBoxInfo(field(records[0], 2));
            return -1;
        }
        // Entries grow in steps of 10 past the first 100; every entry is
        // value-initialised, so the views never meet a stray row pointer.
        std::vector<IndexRecord> entries;
        int capacity = IndexTable::kInitialCapacity;
        for (size_t r = 1; r < records.size(); ++r) {
            try {
                const auto& f = records[r];
                IndexRecord e;
                e.id = market_lookups_detail::toInt(field(f, 0));
                CopyFixedText(e.name, field(f, 1));
                CopyFixedText(e.code, field(f, 2));
                CopyFixedText(e.exchange, field(f, 3));
                static constexpr int kValueOf[8] = {0, 1, 2, 3, 4, 5, 7, 8};
                for (size_t i = 0; i < 8; ++i)
                    e.values[static_cast<size_t>(kValueOf[i])] = static_cast<double>(market_lookups_detail::toNumber(field(f, 4 + i)));
                e.values[6] = 0;
                e.feedCode = market_lookups_detail::toInt(field(f, 12));
                entries.push_back(e);
                if (static_cast<int>(entries.size()) >= capacity)
                    capacity += IndexTable::kGrowth;
            } catch (...) {
                WriteLog(0, "Exception in Get_Indices");
            }
        }
        const auto securities = SecurityTable::current();
        for (IndexRecord& e : entries) {
            e.kind = -1;
            e.securityIndex = securities ? securities->searchToken(e.id, FixedTextView(e.exchange)) : -1;
            if (e.securityIndex >= 0)
                CopyFixedText(e.name, securities->row(e.securityIndex).symbol.view());
        }
        table.assign(std::move(entries), capacity);
        WriteLog(3, "Exit Get_Indices");
        return 0;
    } catch (...) {
        WriteLog(0, "Exception in Get_Indices");
        return 1;
    }
}

int Get_Watchlist(ServerAccess& server, std::string_view userId, const std::vector<CategoryRecord>& categories)
{
    WatchlistTable& table = WatchlistTable::instance();
    try {
        WriteLog(3, "Entry Get_Watchlist");
        WriteLog(0, userId);
        table.reset();
        std::vector<std::string> groups{"My Watchlist"};
        for (const CategoryRecord& c : categories) {
            // A group is one page however its lists lie in the category file
            // (a broker's file, or one cached from an older list, need not
            // keep a group's lists together); pages in order of first use.
            const std::string group(c.group.view());
            auto page = std::find(groups.begin(), groups.end(), group);
            if (page == groups.end())
                page = groups.insert(groups.end(), group);
            WatchlistRecord rec;
            rec.id = c.id;
            CopyFixedText(rec.name, c.name.view());
            rec.group = static_cast<int>(page - groups.begin());
            rec.chainKind = -1;
            rec.chainSecurity = -1;
            WriteLog(0, FixedTextView(rec.name));
            table.append(rec);
        }
        table.setGroups(groups);
        int capacity = static_cast<int>(categories.size());
        table.setCapacity(capacity);

        const std::string request =
            formatText("WD=100|%s|%s|%d", market_lookups_detail::sessionId().c_str(), std::string(userId).c_str(), 4);
        WriteLog(0, request);
        const ServerReply reply = server.requestServer(pv_user_info.encrypt, 2, request);
        WriteLog(0, reply.body);
        int own = 0;
        if (market_lookups_detail::transportOk(reply.status)) {
            const auto records = ReadLookupReply(reply.body, true, false);
            for (size_t r = 0; r < records.size(); ++r) {
                const auto& f = records[r];
                if (r == 0) {
                    if (market_lookups_detail::toInt(field(f, 1)) != 0)
                        WriteLog(0, "Error in Get_Watchlist :" + field(f, 2));
                    continue;
                }
                if (f.size() < 2)
                    continue; // no name: nothing to append
                if (table.count() >= capacity)
                    capacity += 5;
                WatchlistRecord rec;
                rec.id = market_lookups_detail::toInt(f[0]);
                CopyFixedText(rec.name, f[1]);
                rec.group = 0;
                table.append(rec);
                ++own;
            }
        }
        table.setOwnLists(own);
        table.setCapacity(capacity + 20);

        const int defaultCount = table.defaultColumnCount();
        const auto kinds = table.defaultKinds();
        for (int i = 0; i < table.count(); ++i)
            table.update(i, [&](WatchlistRecord& r) {
                r.columnCount = defaultCount + kFixedWatchColumns;
                r.reload = 0;
                r.rows.clear();
                r.rowCount = 0;
                r.rowCapacity = 10;
                r.inUse = 1;
                r.extra = 0;
                r.type = 0;
                r.kinds = kinds;
            });
        WriteLog(3, formatText("Exit Get_Watchlist :Total %d", table.count()));
        return table.count();
    } catch (...) {
        WriteLog(0, "Exception in Get_Watchlist");
        return table.count();
    }
}

int Get_Watchlist_Details(ServerAccess& server, int index, int kind, std::string_view text)
{
    try {
        WatchlistTable& table = WatchlistTable::instance();
        const WatchlistRecord list = table.record(index);
        std::string request;
        int expected = 0;
        if (kind <= 0) {
            request =
                formatText("WD=104|%s|%s|%d|%d", market_lookups_detail::sessionId().c_str(), market_lookups_detail::userId().c_str(), list.id, 4);
            expected = 154;
        } else {
            request = formatText("WD=117|%s|%d|%s|%d", market_lookups_detail::sessionId().c_str(), kind, std::string(text).c_str(), 4);
            expected = 167;
        }
        WriteLog(3, "Entry Get_Watchlist_Details for Url :" + request);
        const ServerReply reply = server.requestServer(pv_user_info.encrypt, 6, request);
        if (!market_lookups_detail::transportOk(reply.status))
            return 1;
        WriteLog(0, reply.body);
        if (reply.body.empty())
            return 0;
        const auto records = ReadLookupReply(reply.body, true, false);
        std::vector<WatchRowEntry> rows;
        int capacity = 10;
        std::string exch;
        const auto securities = SecurityTable::current();
        for (size_t r = 0; r < records.size(); ++r) {
            const auto& f = records[r];
            if (r == 0) {
                const int code = market_lookups_detail::toInt(field(f, 0));
                if (code != expected)
                    WriteLog(0, formatText("Invalid Code Ret :%d instead of %d", code, expected));
                if (market_lookups_detail::toInt(field(f, 1)) != 0 && !field(f, 2).empty())
                    MsgBoxInfo(field(f, 2));
                continue;
            }
            if (static_cast<int>(rows.size()) >= capacity)
                capacity += 10;
            const int token = market_lookups_detail::toInt(field(f, 0));
            if (kind > 0 && f.size() > 1)
                exch = f[1];
            if (f.size() > 2)
                exch = f[2];
            const int found = securities ? securities->searchToken(token, exch) : -1;
            if (found < 0)
                continue;
            WatchRowEntry row;
            row.token = securities->row(found).wtoken;
            row.securityIndex = found;
            row.state = 0;
            row.origin = '1';
            rows.push_back(row);
        }
        const int count = static_cast<int>(rows.size());
        if (list.id >= 0)
            capacity += 30;
        table.replaceRows(index, std::move(rows), capacity);
        WriteLog(3, formatText("Exit Get_Watchlist_Details for Url: Total Tokens <%d>", count));
        return 0;
    } catch (...) {
        WriteLog(0, "Exception in Get_Watchlist_Details");
        return 1;
    }
}

int GetMktResearchCalls(ServerAccess& server, const std::vector<ServiceRecord>& services,
                        const ResearchCallSink& show)
{
    try {
        WriteLog(3, "Entry GetMktResearchCalls");
        const ServerReply reply = server.requestServer(
            pv_user_info.encrypt, 900,
            formatText("ReportData=900|%s|%s|%ld", market_lookups_detail::sessionId().c_str(), market_lookups_detail::userId().c_str(), 1L));
        if (!market_lookups_detail::transportOk(reply.status))
            return 0;
        std::vector<std::string> f;
        SplitString(reply.body, '|', f);
        if (market_lookups_detail::toInt(field(f, 0)) != 901) {
            WriteLog(0, "Invalid response[" + reply.body + "]");
            return -1;
        }
        const int status = market_lookups_detail::toInt(field(f, 1));
        if (status != 0) {
            if (!field(f, 2).empty())
                WriteLog(0, formatText("Error message response[%d - %s]", status, field(f, 2).c_str()));
            else
                WriteLog(0, "Error message response[" + reply.body + "]");
            return -1;
        }
        for (size_t i = 4; i + 1 < f.size(); ++i) {
            std::vector<std::string> parts;
            SplitString(f[i], '~', parts);
            if (parts.size() >= 3) {
                if (parts[1].empty())
                    continue;
                bool shown = market_lookups_detail::toInt(parts[1]) == 0;
                if (!shown) {
                    const int id = market_lookups_detail::toInt(parts[1]);
                    for (const ServiceRecord& s : services)
                        if (s.id == id) {
                            shown = s.subscribed != 0;
                            break;
                        }
                }
                if (shown && show)
                    show(parts[0], parts[2]);
            } else if (parts.size() == 2) {
                if (show)
                    show(parts[0], parts[1]);
            }
        }
        WriteLog(3, formatText("Exit GetMktResearchCalls : Total %ld", 0L));
        return 0;
    } catch (...) {
        WriteLog(0, "Exception in GetMktResearchCalls");
        return 0;
    }
}
