#include "watch/AlertTable.h"

#include "app/base/LogWriter.h"
#include "app/base/TextFormat.h"
#include "server/SecurityRecord.h"
#include "server/SecurityTable.h"
#include "watch/base/TextSplit.h"

#include "pf/files.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>

// --- the table ---

AlertTable& AlertTable::instance()
{
    static AlertTable table;
    return table;
}

void AlertTable::indexAdd(const std::string& key, int security)
{
    m_bySecurity[security].insert(key);
}

void AlertTable::indexDrop(const std::string& key, int security)
{
    const auto it = m_bySecurity.find(security);
    if (it == m_bySecurity.end())
        return;
    it->second.erase(key);
    if (it->second.empty())
        m_bySecurity.erase(it);
}

void AlertTable::store(const std::string& key, const AlertRecord& record)
{
    const auto it = m_alerts.find(key);
    if (it != m_alerts.end()) {
        indexDrop(key, it->second.secIndex);
        it->second = record;
    } else {
        m_alerts.emplace(key, record);
    }
    indexAdd(key, record.secIndex);
}

void AlertTable::put(const std::string& key, const AlertRecord& record)
{
    std::lock_guard lock(m_mutex);
    store(key, record);
    publishTriggers();
}

void AlertTable::putAll(const std::vector<Entry>& entries)
{
    std::lock_guard lock(m_mutex);
    for (const auto& [key, record] : entries)
        store(key, record);
    publishTriggers();
}

bool AlertTable::erase(const std::string& key)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_alerts.find(key);
    if (it == m_alerts.end())
        return false;
    indexDrop(key, it->second.secIndex);
    m_alerts.erase(it);
    publishTriggers();
    return true;
}

void AlertTable::clear()
{
    std::lock_guard lock(m_mutex);
    m_alerts.clear();
    m_bySecurity.clear();
    publishTriggers();
}

std::optional<AlertRecord> AlertTable::find(const std::string& key) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_alerts.find(key);
    if (it == m_alerts.end())
        return std::nullopt;
    return it->second;
}

bool AlertTable::contains(const std::string& key) const
{
    std::lock_guard lock(m_mutex);
    return m_alerts.count(key) != 0;
}

std::vector<AlertTable::Entry> AlertTable::entries() const
{
    std::lock_guard lock(m_mutex);
    return {m_alerts.begin(), m_alerts.end()};
}

std::vector<AlertTable::Entry> AlertTable::entriesOf(int security) const
{
    std::lock_guard lock(m_mutex);
    std::vector<Entry> out;
    const auto it = m_bySecurity.find(security);
    if (it == m_bySecurity.end())
        return out;
    for (const std::string& key : it->second) // a set: key order
        out.emplace_back(key, m_alerts.at(key));
    return out;
}

int AlertTable::countOf(int security) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_bySecurity.find(security);
    return it == m_bySecurity.end() ? 0 : static_cast<int>(it->second.size());
}

std::vector<int> AlertTable::securities() const
{
    std::lock_guard lock(m_mutex);
    std::vector<int> out;
    out.reserve(m_bySecurity.size());
    for (const auto& [security, keys] : m_bySecurity)
        out.push_back(security);
    std::sort(out.begin(), out.end());
    return out;
}

int AlertTable::size() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_alerts.size());
}

std::optional<AlertTable::Entry> AlertTable::fireFirst(int security, const QuoteData& quote, int64_t now,
                                                      std::atomic<uint8_t>* mark)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_bySecurity.find(security);
    if (it == m_bySecurity.end())
        return std::nullopt;
    for (const std::string& key : it->second) {
        AlertRecord& r = m_alerts.at(key);
        if (r.triggered || !r.conditionHolds(quote))
            continue;
        r.triggered = true;
        r.trackedTime = now;
        markFired(r);
        if (mark)
            mark->store(0);
        return Entry{key, r};
    }
    return std::nullopt;
}

std::vector<std::string> AlertTable::rebind(const SecurityTable& table)
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> gone;
    m_bySecurity.clear();
    for (auto it = m_alerts.begin(); it != m_alerts.end();) {
        const int found = FindAlertSecurity(table, it->second.watchToken, it->second.symbol);
        if (found < 0) {
            gone.push_back(it->first);
            it = m_alerts.erase(it);
            continue;
        }
        it->second.secIndex = found;
        indexAdd(it->first, found);
        ++it;
    }
    publishTriggers();
    return gone;
}

namespace {
// Versions of published thresholds, program-wide (see m_triggersVersion).
std::atomic<uint64_t> g_triggersVersions{0};
} // namespace

AlertTable::AlertTable() : m_triggersVersion(g_triggersVersions.fetch_add(1) + 1) {}

void AlertTable::publishTriggers()
{
    auto triggers = std::make_shared<Triggers>();
    int last = -1;
    for (const auto& [key, r] : m_alerts)
        if (!r.triggered)
            last = std::max(last, r.secIndex);
    // Counted per security, then placed: the map is in key order, not by security.
    triggers->first.assign(static_cast<size_t>(last + 2), 0);
    for (const auto& [key, r] : m_alerts)
        if (!r.triggered && r.secIndex >= 0)
            ++triggers->first[static_cast<size_t>(r.secIndex) + 1];
    for (size_t i = 1; i < triggers->first.size(); ++i)
        triggers->first[i] += triggers->first[i - 1];
    triggers->list = std::vector<Trigger>(triggers->first.empty() ? 0 : triggers->first.back());
    std::vector<uint32_t> next(triggers->first.begin(), triggers->first.end());
    for (const auto& [key, r] : m_alerts) {
        if (r.triggered || r.secIndex < 0)
            continue;
        Trigger& t = triggers->list[next[static_cast<size_t>(r.secIndex)]++];
        t.trigger = r.trigger;
        t.quoteField = r.quoteField;
        t.below = r.criteria == kCriteriaBelow;
    }
    std::atomic_store(&m_triggers, std::shared_ptr<const Triggers>(std::move(triggers)));
    m_triggersVersion.store(g_triggersVersions.fetch_add(1) + 1, std::memory_order_release);
}

void AlertTable::markFired(const AlertRecord& record)
{
    // The security's unmarked thresholds are those of its alerts that have
    // not fired (each fire since the publication marked one of its own), so
    // marking any unmarked one equal to the fired alert's keeps them so.
    const Triggers* triggers = m_triggers.get(); // written only under m_mutex, which is held
    if (!triggers || record.secIndex < 0 || static_cast<size_t>(record.secIndex) + 1 >= triggers->first.size())
        return;
    const uint32_t end = triggers->first[static_cast<size_t>(record.secIndex) + 1];
    for (uint32_t i = triggers->first[static_cast<size_t>(record.secIndex)]; i < end; ++i) {
        const Trigger& t = triggers->list[i];
        if (t.quoteField == record.quoteField && t.below == (record.criteria == kCriteriaBelow) &&
            t.trigger == record.trigger && !t.fired.load(std::memory_order_relaxed)) {
            t.fired.store(true, std::memory_order_release);
            return;
        }
    }
}

const AlertTable::Triggers* AlertTable::triggersSeen() const
{
    thread_local struct {
        uint64_t version = 0;
        std::shared_ptr<const Triggers> triggers;
    } seen;
    const uint64_t version = m_triggersVersion.load(std::memory_order_acquire);
    if (seen.version != version) {
        seen.triggers = std::atomic_load(&m_triggers);
        seen.version = version;
    }
    return seen.triggers.get();
}

template <class Value>
bool AlertTable::anyHolds(int security, Value&& valueOf) const
{
    const Triggers* triggers = triggersSeen();
    if (!triggers || security < 0 || static_cast<size_t>(security) + 1 >= triggers->first.size())
        return false;
    const uint32_t end = triggers->first[static_cast<size_t>(security) + 1];
    for (uint32_t i = triggers->first[static_cast<size_t>(security)]; i < end; ++i) {
        const Trigger& t = triggers->list[i];
        if (t.fired.load(std::memory_order_relaxed))
            continue; // fired since the publication
        const double value = valueOf(t.quoteField);
        if (std::isnan(value))
            continue;
        if (t.below ? value < t.trigger : value >= t.trigger)
            return true;
    }
    return false;
}

void AlertTable::prefetchThresholds(int security) const
{
    const Triggers* triggers = triggersSeen();
    if (!triggers || security < 0 || static_cast<size_t>(security) + 1 >= triggers->first.size())
        return;
    // Reading the offset waits for its line; nothing here waits for the
    // list's.
    const uint32_t first = triggers->first[static_cast<size_t>(security)];
    if (first < triggers->list.size())
        __builtin_prefetch(&triggers->list[first]);
}

bool AlertTable::mayFire(int security, const QuoteData& quote) const
{
    return anyHolds(security, [&](int kind) { return ColumnKindValue(quote, kind); });
}

bool AlertTable::mayFire(int security, const SecurityRecord& row) const
{
    return anyHolds(security, [&](int kind) { return row.columnValue(kind); });
}

// --- the file ---

std::filesystem::path AlertsFilePath(const std::filesystem::path& dataFolder, std::string_view userId)
{
    return dataFolder / (std::string(userId) + "_Alerts.dat");
}

int FindAlertSecurity(const SecurityTable& table, int watchToken, std::string_view symbol)
{
    if (symbol.empty())
        return -1;
    const SecurityTable::Range range = table.bucket(static_cast<unsigned char>(symbol.front()));
    for (int i = range.first; i < range.last; ++i)
        if (table.row(i).wtoken == watchToken)
            return i;
    // A master not grouped by letter still has the security somewhere.
    return table.searchWToken(watchToken);
}

bool WriteAlertDataToFile(const AlertTable& alerts, const SecurityTable& securities,
                          const std::filesystem::path& path)
{
    WriteLog(1, "Saving alert data to file " + path.string());
    try {
        std::string text;
        for (const auto& [key, r] : alerts.entries()) {
            if (!r.recurring && r.triggered)
                continue; // a one-time alert that fired is done with
            const bool known = securities.valid(r.secIndex);
            const std::string exch = known ? std::string(securities.row(r.secIndex).market_exchange.view()) : "";
            const int wtoken = known ? securities.row(r.secIndex).wtoken : r.watchToken;
            const std::string symbol = known ? std::string(securities.row(r.secIndex).symbol.view()) : r.symbol;
            text += AlertFileText(key);
            text += exch == "CN" ? r.FormatLine4() : r.FormatLine();
            text += std::to_string(wtoken);
            text += '|';
            text += AlertFileText(symbol);
            text += '\n';
        }
        if (!pf::files::writeAtomic(path, text)) {
            WriteLog(1, "Error Saving alerts");
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        WriteLog(1, std::string("Exception in WriteAlertDataToFile ") + e.what());
    } catch (...) {
        WriteLog(1, "Exception in WriteAlertDataToFile");
    }
    return false;
}

int ReadAlertDataFromFile(AlertTable& alerts, SecurityTable& securities, const std::filesystem::path& path,
                          const std::function<void(int security)>& subscribe)
{
    WriteLog(1, "Getting alert data from file");
    WriteLog(1, path.string());
    const std::optional<std::string> text = pf::files::readAll(path);
    if (!text) {
        WriteLog(1, "Error getting alerts");
        return -1;
    }
    alerts.clear();
    // Stored together at the end: the feed's thresholds are then published
    // once, not once a line (a file of thousands of alerts loads in a blink).
    std::vector<AlertTable::Entry> entries;
    std::vector<int> found;
    size_t pos = 0;
    std::vector<std::string> f;
    // Lines of any length; a line that does not read is skipped, never the
    // end of the load, since the table is written back at exit.
    while (pos < text->size()) {
        size_t end = text->find('\n', pos);
        if (end == std::string::npos)
            end = text->size();
        std::string_view line(text->data() + pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        f.clear();
        SplitString(line, '|', f);
        AlertRecord r;
        if (f.size() < 25 || !r.ParseFields(f)) {
            WriteLog(1, "Exception while getting alert from file");
            continue;
        }
        // The symbol runs to the line end.
        std::string symbol = f[24];
        for (size_t i = 25; i < f.size(); ++i)
            symbol += "|" + f[i];
        long token = 0;
        const std::string& tokenText = f[23];
        const bool tokenRead = !tokenText.empty() && std::all_of(tokenText.begin(), tokenText.end(), [](char c) {
            return (c >= '0' && c <= '9') || c == '-';
        }) && tokenText.size() < 12;
        if (tokenRead)
            token = std::strtol(tokenText.c_str(), nullptr, 10);
        const int security = tokenRead ? FindAlertSecurity(securities, static_cast<int>(token), symbol) : -1;
        if (security < 0) {
            WriteLog(1, formatTextCapped(600, "error : Token Not Found for %s", symbol.c_str()));
            continue;
        }
        r.secIndex = security;
        r.watchToken = static_cast<int>(token);
        r.symbol = symbol;
        entries.emplace_back(f[0], std::move(r));
        found.push_back(security);
    }
    alerts.putAll(entries); // a later line of the same key wins
    // Marked once its thresholds are there.
    for (const int security : found) {
        securities.row(security).alert_flag.store(1);
        if (subscribe)
            subscribe(security);
    }
    WriteLog(1, "got alert data from file");
    return static_cast<int>(found.size());
}
