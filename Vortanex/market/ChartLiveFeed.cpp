#include "server/MarketLookups.h"
#include "server/SecurityTable.h"

#include "market/ChartLiveFeed.h"

#include "market/ChartSeries.h"

#include <algorithm>

std::vector<int> ChartLiveFeed::feedSecurities() const
{
    std::lock_guard lock(m_mutex);
    return m_securities;
}

bool ChartLiveFeed::noteTrade(const ChartTrade& t)
{
    std::lock_guard lock(m_mutex);
    auto& seen = m_seen[{int(t.source), t.id}];
    if (seen.time == t.time && seen.quantity == t.quantity && seen.price == t.price && seen.id == t.id)
        return false;
    seen = t;
    if (t.time <= 0)
        return false;
    m_queue.push_back(t);
    return true;
}

void ChartLiveFeed::quoteUpdated(int security)
{
    if (isClosing())
        return;
    {
        std::lock_guard lock(m_mutex);
        if (std::find(m_securities.begin(), m_securities.end(), security) == m_securities.end())
            return;
    }
    const auto table = SecurityTable::current();
    if (!table || !table->valid(security))
        return;
    const QuoteData q = table->row(security).quote();
    ChartTrade t;
    t.source = ChartTrade::Security;
    t.id = security;
    t.price = q.quote[4] / 100.0;
    t.quantity = q.quote[16];
    t.time = int64_t(q.quote[17]);
    noteTrade(t);
}

void ChartLiveFeed::indexUpdated(int feedCode)
{
    if (isClosing())
        return;
    {
        std::lock_guard lock(m_mutex);
        if (m_index == 0 || feedCode != m_index)
            return;
    }
    for (const IndexRecord& r : IndexTable::instance().entries()) {
        if (r.feedCode != feedCode)
            continue;
        ChartTrade t;
        t.source = ChartTrade::Index;
        t.id = feedCode;
        t.price = r.values[0] / 100.0;
        t.time = r.stamp;
        noteTrade(t);
        return;
    }
}

void ChartLiveFeed::setSecurities(std::vector<int> securities)
{
    std::lock_guard lock(m_mutex);
    m_securities = std::move(securities);
}

void ChartLiveFeed::setIndex(int feedCode)
{
    std::lock_guard lock(m_mutex);
    m_index = feedCode;
}

void ChartLiveFeed::setClosing()
{
    m_closing.store(true, std::memory_order_release);
    std::lock_guard lock(m_mutex);
    m_queue.clear();
}

std::deque<ChartTrade> ChartLiveFeed::take()
{
    std::lock_guard lock(m_mutex);
    std::deque<ChartTrade> out;
    out.swap(m_queue);
    return out;
}

int ChartSlotType(int kind)
{
    switch (kind) {
    case kChartEod: return kWindowEodChart;
    case kChartIntraday: return kWindowIntradayChart;
    case kChartIndex: return kWindowIndexChart;
    default: return 0;
    }
}

namespace ChartFeedLink {

int openCharts()
{
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    int open = 0;
    for (int s = 0; s < subs.windowCount(); ++s) {
        const OpenWindowEntry e = subs.window(s);
        if (e.in_use && (e.type == kWindowEodChart || e.type == kWindowIntradayChart || e.type == kWindowIndexChart))
            ++open;
    }
    return open;
}

int findChart(int security, int kind)
{
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    const int type = ChartSlotType(kind);
    for (int s = 0; s < subs.windowCount(); ++s) {
        const OpenWindowEntry e = subs.window(s);
        if (e.in_use && e.type == type && e.index == security)
            return s;
    }
    return -1;
}

int takeSlot(const std::shared_ptr<ChartLiveFeed>& feed, int kind, int security)
{
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    const int slot = subs.getClientDlg();
    if (slot >= 0)
        subs.setWindow(slot, feed, ChartSlotType(kind), security);
    return slot;
}

void release(int slot)
{
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    if (slot < 0)
        return;
    subs.RemoveWatchInfoDlgRef(slot);
    subs.releaseSlot(slot);
    subs.Update_Feeds_Token();
}

} // namespace ChartFeedLink
