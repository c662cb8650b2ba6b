#include "market/DepthFeed.h"

#include "market/MarketDepthRecord.h"

void DepthFeed::depthUpdated(const std::string& text, bool currency)
{
    (void)currency; // the window knows its security's kind
    if (isClosing())
        return;
    const int token = m_token.load(std::memory_order_acquire);
    const std::optional<int> field0 = DepthRecordToken(text);
    if (!field0 || *field0 != token)
        return;
    m_records.put(token, text);
}

void DepthFeed::setToken(int secondToken)
{
    m_token.store(secondToken, std::memory_order_release);
    m_records.clear();
}

void DepthFeed::setClosing()
{
    m_closing.store(true, std::memory_order_release);
    m_records.clear();
}

namespace DepthFeedLink {

int takeSlot(const std::shared_ptr<DepthFeed>& feed, int security)
{
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    const int slot = subs.getClientDlg();
    if (slot >= 0)
        subs.setWindow(slot, feed, kWindowMarketDepth, security);
    return slot;
}

void setSecurity(int slot, const std::shared_ptr<DepthFeed>& feed, int security)
{
    if (slot >= 0)
        FeedSubscriptions::instance().setWindow(slot, feed, kWindowMarketDepth, security);
}

void release(int slot, int security)
{
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    subs.UpdateMdepthToken(2, security);
    if (slot >= 0)
        subs.releaseSlot(slot);
    subs.Update_MDepth_Token(2);
    subs.Update_Feeds_Token();
}

void sendDepthTokens()
{
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    subs.Update_MDepth_Token(1);
    // The day's values come with the security's quote, which no list may
    // be asking for (a window reopened at the start without its list).
    subs.Update_Feeds_Token();
}

} // namespace DepthFeedLink

DepthOpenDecision DecideDepthOpen(int security)
{
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    int open = 0;
    for (int s = 0; s < subs.windowCount(); ++s) {
        const OpenWindowEntry e = subs.window(s);
        if (!e.in_use || e.type != kWindowMarketDepth)
            continue;
        if (e.index == security)
            return {DepthOpenDecision::BringForward, s};
        ++open;
    }
    if (open >= kMaxDepthWindows)
        return {DepthOpenDecision::Refuse, -1};
    return {DepthOpenDecision::Open, -1};
}
