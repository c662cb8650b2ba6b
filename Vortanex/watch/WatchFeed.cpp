#include "watch/WatchFeed.h"

std::vector<int> WatchFeed::feedSecurities() const
{
    std::lock_guard lock(m_mutex);
    return m_securities;
}

void WatchFeed::quoteUpdated(int security)
{
    if (!isClosing())
        m_ticks.put(security);
}

void WatchFeed::setSecurities(std::vector<int> securities)
{
    std::lock_guard lock(m_mutex);
    m_securities = std::move(securities);
}

void WatchFeed::setClosing()
{
    m_closing.store(true, std::memory_order_release);
    m_ticks.clear();
}

namespace WatchFeedLink {

int takeSlot()
{
    return FeedSubscriptions::instance().getClientDlg();
}

void setWindow(int slot, const std::shared_ptr<WatchFeed>& feed, int type, int index)
{
    if (slot >= 0)
        FeedSubscriptions::instance().setWindow(slot, feed, type, index);
}

void releaseSlot(int slot)
{
    if (slot >= 0)
        FeedSubscriptions::instance().releaseSlot(slot);
}

int removeWatchInfoDlgRef(int slot)
{
    return slot >= 0 ? FeedSubscriptions::instance().RemoveWatchInfoDlgRef(slot) : 0;
}

void updateFeedsToken()
{
    FeedSubscriptions::instance().Update_Feeds_Token();
}

int windowCount()
{
    return FeedSubscriptions::instance().windowCount();
}

std::vector<OpenWatch> openWatchWindows()
{
    std::vector<OpenWatch> out;
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    for (int s = 0; s < subs.windowCount(); ++s) {
        const OpenWindowEntry e = subs.window(s);
        if (e.in_use && (e.type == kWindowMarketWatch || e.type == kWindowMisOptionsWatch ||
                         e.type == kWindowOtherWatch))
            out.push_back({s, e.type, e.index});
    }
    return out;
}

} // namespace WatchFeedLink
