#include "server/SecurityReload.h"

#include "app/base/LogWriter.h"
#include "server/SecurityTable.h"

#include <algorithm>

SecurityReload& SecurityReload::instance()
{
    static SecurityReload notifier;
    return notifier;
}

SecurityReload::Registration SecurityReload::add(std::string name, Handler handler)
{
    Registration r;
    r.m_token = std::make_shared<int>(0);
    std::lock_guard lock(m_mutex);
    prune();
    m_entries.push_back({std::move(name), r.m_token, std::make_shared<Handler>(std::move(handler))});
    return r;
}

void SecurityReload::prune()
{
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [](const Entry& e) { return e.alive.expired(); }),
                    m_entries.end());
}

std::vector<std::string> SecurityReload::notify(const SecurityTable& before, SecurityTable& after)
{
    std::vector<Entry> entries;
    {
        std::lock_guard lock(m_mutex);
        prune();
        entries = m_entries;
    }
    std::vector<std::string> closed;
    for (const Entry& e : entries) {
        // A holder closed by an earlier one's handler is not told.
        if (e.alive.expired())
            continue;
        try {
            const Outcome o = (*e.handler)(before, after);
            if (o.closed) {
                WriteLog(0, "Security reload closed " + e.name + ": " + o.closed_what);
                closed.push_back(o.closed_what);
            }
        } catch (const std::exception& ex) {
            WriteLog(0, "Exception in security reload of " + e.name + ": " + ex.what());
        } catch (...) {
            WriteLog(0, "Exception in security reload of " + e.name);
        }
    }
    return closed;
}

std::vector<std::string> SecurityReload::holders() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const Entry& e : m_entries)
        if (!e.alive.expired())
            out.push_back(e.name);
    return out;
}

int ReresolveSecurity(const SecurityTable& before, const SecurityTable& after, int index)
{
    if (!before.valid(index))
        return -1;
    const SecurityRecord& rec = before.row(index);
    return after.searchToken(rec.token, rec.market_exchange.view());
}
