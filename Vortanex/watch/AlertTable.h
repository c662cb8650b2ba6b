#pragma once
// Every price alert of the logged-in user, in one program-wide table ordered
// by the alerts' text keys (byte-wise), with an index by security. The alert
// manager changes it on the UI thread while the alert checks read and fire
// it on the feed's pool, so every access is under the table's one mutex and
// entries are only ever reached by key, never through a kept iterator.
#include "watch/AlertRecord.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class SecurityTable;
struct SecurityRecord;

class AlertTable {
public:
    using Entry = std::pair<std::string, AlertRecord>;

    static AlertTable& instance();

    AlertTable();
    AlertTable(const AlertTable&) = delete;
    AlertTable& operator=(const AlertTable&) = delete;

    // Stores the record under the key, replacing what was there.
    void put(const std::string& key, const AlertRecord& record);
    // The same for many, in their order (a later entry of a key wins), the
    // feed's thresholds published once after all of them rather than after
    // each.
    void putAll(const std::vector<Entry>& entries);
    // False when there was nothing under the key.
    bool erase(const std::string& key);
    void clear();
    std::optional<AlertRecord> find(const std::string& key) const;
    bool contains(const std::string& key) const;

    // Every entry in key order.
    std::vector<Entry> entries() const;
    // The entries of one security, in key order.
    std::vector<Entry> entriesOf(int security) const;
    int countOf(int security) const;
    // The securities that have alerts, each once.
    std::vector<int> securities() const;
    int size() const;

    // The check of one security: the first alert of it in key order that has
    // not fired and whose condition holds the quote fires (marked triggered,
    // tracked time set). At most one fires; its entry as it is after firing.
    // `mark` (the row's alert mark) is cleared with the fire, under the
    // table's lock: a save (put, then the mark set) after the fire always
    // leaves the mark set, one before it is covered by this fire.
    std::optional<Entry> fireFirst(int security, const QuoteData& quote, int64_t now,
                                   std::atomic<uint8_t>* mark = nullptr);

    // Whether any alert of the security that has not fired holds the quote:
    // the feed's cheap test before it queues a check, so that ticks that
    // cannot fire anything cost the feed thread no more than the test.
    // Lock-free; any thread.
    bool mayFire(int security, const QuoteData& quote) const;
    // The same on the row's values as they are, each read alone (the feed,
    // on the quote it has just stored).
    bool mayFire(int security, const SecurityRecord& row) const;
    // Asks the processor to fetch the security's thresholds for a mayFire
    // soon; any thread.
    void prefetchThresholds(int security) const;

    // After the master is downloaded again: every alert finds its security
    // by its watch token; the ones whose security is gone are dropped and
    // returned (their keys), the others get their new index.
    std::vector<std::string> rebind(const SecurityTable& table);

private:
    struct Trigger {
        double trigger = 0;
        int quoteField = 0;
        bool below = false; // the criterion: below, else at or above
        // Set when an alert with this threshold fired after the publication:
        // a check marks one threshold rather than publishing all again
        // (tens of microseconds of the pool's time for every alert fired).
        mutable std::atomic<bool> fired{false};
    };
    // The active alerts' thresholds, security s's at
    // list[first[s], first[s + 1]): found by the index, not hashed. Made
    // whole at each publication; afterwards only the fired marks change.
    struct Triggers {
        std::vector<uint32_t> first;
        std::vector<Trigger> list; // sized once: its elements do not move
    };

    void store(const std::string& key, const AlertRecord& record); // under m_mutex; publishes nothing
    // The thresholds this thread last read, read again after a change.
    const Triggers* triggersSeen() const;
    template <class Value>
    bool anyHolds(int security, Value&& value) const;
    void indexAdd(const std::string& key, int security);  // under m_mutex
    // The active alerts' thresholds by security, published whole after every
    // change but a fire (alerts change rarely; quotes arrive all the time).
    void publishTriggers(); // under m_mutex
    // The alert just fired no longer counts in the feed's test.
    void markFired(const AlertRecord& record); // under m_mutex
    void indexDrop(const std::string& key, int security); // under m_mutex

    mutable std::mutex m_mutex;
    std::map<std::string, AlertRecord> m_alerts;                   // guarded by m_mutex
    std::unordered_map<int, std::set<std::string>> m_bySecurity; // guarded by m_mutex
    std::shared_ptr<const Triggers> m_triggers; // written under m_mutex, read with the atomic functions
    // Changes with every publication, unique among all tables: a thread keeps
    // the thresholds it last read until this moves, so that a quote's test
    // takes no lock and touches no shared count.
    std::atomic<uint64_t> m_triggersVersion;
};

// The user's alerts file, "Data/<user id>_Alerts.dat" below the program folder.
std::filesystem::path AlertsFilePath(const std::filesystem::path& dataFolder, std::string_view userId);

// Writes the table to the file (atomically: a crash mid-write leaves the old
// file), leaving out one-time alerts that have fired. False when the file
// could not be written (logged).
bool WriteAlertDataToFile(const AlertTable& alerts, const SecurityTable& securities,
                          const std::filesystem::path& path);

// Replaces the table by the file's alerts. Each line's security is found by
// its watch token; a line whose security is gone, or that does not read, is
// logged and skipped and the load goes on. The alert mark of every loaded
// security is set and, when `subscribe` is given, it is called with the
// security. A missing file leaves the table as it is. Returns the number of
// alerts loaded, -1 when the file could not be opened.
int ReadAlertDataFromFile(AlertTable& alerts, SecurityTable& securities, const std::filesystem::path& path,
                          const std::function<void(int security)>& subscribe = {});

// The security of a watch token within the rows whose display keys start
// with the symbol's first letter, then anywhere; -1 when none.
int FindAlertSecurity(const SecurityTable& table, int watchToken, std::string_view symbol);
