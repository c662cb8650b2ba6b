#pragma once
// Securities the feed must carry with no window showing them: the price
// alerts', the advisory calls', the trailing orders'. Each source registers
// under its own name; the subscription's rebuild takes the union of all of
// them, each security once, through FeedSubscriptions::setExtraSecurities.
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class FeedSubscriptions;

class ExtraSubscriptions {
public:
    using Source = std::function<std::vector<int>()>;

    static ExtraSubscriptions& instance();

    // Installs the composer into the subscriptions (once, at start-up).
    void attach(FeedSubscriptions& subscriptions);

    // Adds or replaces a source; a source with no securities may stay.
    void setSource(const std::string& name, Source source);
    void removeSource(const std::string& name);

    // The union of every source's securities, sorted, without -1.
    std::vector<int> securities() const;

private:
    mutable std::mutex m_mutex;
    std::map<std::string, Source> m_sources; // guarded by m_mutex
};
