#pragma once
// The check of one security's alerts when a quote of it arrives. The feed
// starts at most one pending check per security (the gate), runs the checks
// of one security one after the other, and the check never waits for the
// popup: it marks the alert fired and hands the popup's texts back.
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>

class AlertTable;
class SecurityTable;
struct QuoteData;

// At most one pending check per security: a burst of ticks of one security
// starts one check, and a tick that arrives after the check took its quote
// starts the next.
class AlertCheckGate {
public:
    // True when no check of the security was pending (the caller starts one).
    bool claim(int security);
    // The check has begun: a later tick may claim again.
    void release(int security);
    int pending() const;

private:
    mutable std::mutex m_mutex;
    std::unordered_set<int> m_pending; // guarded by m_mutex
};

// What the popup of a fired alert shows.
struct FiredAlert {
    int security = -1;
    std::string name;
    std::string description;
    std::string trackedText; // "Tracked Time: %I:%M:%S %p"
    std::string key;
    bool recurring = false;
};

// Checks the security's alerts once against its stored quote: the first
// alert in key order that has not fired and whose condition holds fires
// (marked, tracked time now, the security's alert mark cleared, the
// description logged). Returns it; nothing when none fired, and nothing
// while the security's alert mark is cleared (an alert of it fired and none
// was saved since).
std::optional<FiredAlert> CheckAlerts(int security, AlertTable& alerts, SecurityTable& securities, int64_t now);
// The same for a check the feed queued: first against the quote that queued
// it (its crossing fires even when a later tick undid it before the check
// ran), then, when that fires nothing, against the stored quote (the ticks
// that came while the check was pending and so queued none).
std::optional<FiredAlert> CheckAlerts(int security, const QuoteData& claimed, AlertTable& alerts,
                                      SecurityTable& securities, int64_t now);
