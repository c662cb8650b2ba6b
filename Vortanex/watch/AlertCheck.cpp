#include "watch/AlertCheck.h"

#include "app/base/LogWriter.h"
#include "server/SecurityTable.h"
#include "watch/AlertTable.h"

#include <ctime>

bool AlertCheckGate::claim(int security)
{
    std::lock_guard lock(m_mutex);
    return m_pending.insert(security).second;
}

void AlertCheckGate::release(int security)
{
    std::lock_guard lock(m_mutex);
    m_pending.erase(security);
}

int AlertCheckGate::pending() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_pending.size());
}

namespace {

// claimed: the quote that queued the check, tested before the stored one.
std::optional<FiredAlert> Check(int security, const QuoteData* claimed, AlertTable& alerts,
                                SecurityTable& securities, int64_t now)
{
    if (!securities.valid(security))
        return std::nullopt;
    SecurityRecord& rec = securities.row(security);
    // A check queued by a tick before the previous check fired finds the
    // mark cleared: one crossing fires one alert of the security, the others
    // wait until one of its alerts is saved again. (Checks of a security run
    // one after the other, so the mark read here is the previous check's.)
    if (!rec.alert_flag.load())
        return std::nullopt;
    // A fire clears the mark: no further check of the security starts until
    // one of its alerts is saved again or loaded at the next start. Cleared
    // by the fire itself, under the table's lock, so that an alert the user
    // saves just as this one fires keeps its mark.
    auto fired = claimed ? alerts.fireFirst(security, *claimed, now, &rec.alert_flag) : std::nullopt;
    if (!fired)
        fired = alerts.fireFirst(security, rec.quote(), now, &rec.alert_flag);
    if (!fired)
        return std::nullopt;
    const AlertRecord& r = fired->second;
    WriteLog(r.criteria == kCriteriaBelow ? 1 : 0, r.description);

    const std::time_t t = static_cast<std::time_t>(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    char clock[32];
    std::strftime(clock, sizeof clock, "%I:%M:%S %p", &tm);

    FiredAlert out;
    out.security = security;
    out.name = r.name;
    out.description = r.description;
    out.trackedText = std::string("Tracked Time: ") + clock;
    out.key = fired->first;
    out.recurring = r.recurring;
    return out;
}

} // namespace

std::optional<FiredAlert> CheckAlerts(int security, AlertTable& alerts, SecurityTable& securities, int64_t now)
{
    return Check(security, nullptr, alerts, securities, now);
}

std::optional<FiredAlert> CheckAlerts(int security, const QuoteData& claimed, AlertTable& alerts,
                                      SecurityTable& securities, int64_t now)
{
    return Check(security, &claimed, alerts, securities, now);
}
