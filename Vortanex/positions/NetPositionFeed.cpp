#include "positions/NetPositionFeed.h"

#include "server/SecurityTable.h"

#include <algorithm>

std::vector<int> NetPositionFeed::feedSecurities() const
{
    std::lock_guard lock(m_mutex);
    return m_securities;
}

void NetPositionFeed::quoteUpdated(int security)
{
    if (isClosing())
        return;
    // The direction of this move, read now: by the time the window's timer
    // applies it, a later quote that left the price alone may have replaced
    // the security's tick code.
    char tick = 0;
    const auto table = SecurityTable::current();
    if (table && table->valid(security))
        tick = static_cast<char>(table->row(security).quote().tick_code[4]);
    m_ticks.put(security, tick);
    // A close between the check above and the put has emptied the box
    // already: empty it again, so a closed window never holds a tick. Both
    // sides are sequentially consistent, so one of them sees the other.
    if (m_closing.load(std::memory_order_seq_cst))
        m_ticks.clear();
}

void NetPositionFeed::setSecurities(std::vector<int> securities)
{
    std::sort(securities.begin(), securities.end());
    securities.erase(std::unique(securities.begin(), securities.end()), securities.end());
    securities.erase(std::remove(securities.begin(), securities.end(), -1), securities.end());
    {
        std::lock_guard lock(m_mutex);
        if (securities == m_securities)
            return;
        m_securities = std::move(securities);
    }
    NetPositionFeedLink::updateFeedsToken();
}

void NetPositionFeed::setClosing()
{
    m_closing.store(true, std::memory_order_seq_cst);
    m_ticks.clear();
}

namespace NetPositionFeedLink {

void updateFeedsToken()
{
    Update_Feeds_Token();
}

namespace {
std::mutex g_openMutex;
std::shared_ptr<NetPositionFeed> g_open; // guarded by g_openMutex
} // namespace

void setOpenFeed(std::shared_ptr<NetPositionFeed> feed)
{
    std::lock_guard lock(g_openMutex);
    g_open = std::move(feed);
}

std::shared_ptr<NetPositionFeed> openFeed()
{
    std::lock_guard lock(g_openMutex);
    return g_open;
}

void indexPrice(int security)
{
    if (auto feed = openFeed())
        feed->quoteUpdated(security);
}

} // namespace NetPositionFeedLink
