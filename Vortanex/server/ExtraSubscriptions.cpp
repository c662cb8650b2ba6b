#include "server/ExtraSubscriptions.h"

#include "server/FeedSubscriptions.h"

#include <algorithm>

ExtraSubscriptions& ExtraSubscriptions::instance()
{
    static ExtraSubscriptions composer;
    return composer;
}

void ExtraSubscriptions::attach(FeedSubscriptions& subscriptions)
{
    subscriptions.setExtraSecurities([this] { return securities(); });
}

void ExtraSubscriptions::setSource(const std::string& name, Source source)
{
    std::lock_guard lock(m_mutex);
    m_sources[name] = std::move(source);
}

void ExtraSubscriptions::removeSource(const std::string& name)
{
    std::lock_guard lock(m_mutex);
    m_sources.erase(name);
}

std::vector<int> ExtraSubscriptions::securities() const
{
    std::vector<Source> sources;
    {
        // The sources run outside the lock: each takes its own.
        std::lock_guard lock(m_mutex);
        for (const auto& [name, source] : m_sources)
            if (source)
                sources.push_back(source);
    }
    std::vector<int> out;
    for (const Source& source : sources)
        for (int s : source())
            if (s >= 0)
                out.push_back(s);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}
