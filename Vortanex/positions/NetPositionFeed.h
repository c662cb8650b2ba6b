#pragma once
// The risk window as the feed sees it: the securities of the shown positions
// and today's positions, and a tick box that feed threads fill and the
// window's 100 ms timer drains on the UI thread. Kept out of the window's
// header: the feed header names a member like a Qt keyword.
#include "server/FeedSubscriptions.h"
#include "ui/tick_box.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class NetPositionFeed final : public FeedWindow {
public:
    bool isClosing() const override { return m_closing.load(std::memory_order_acquire); }
    std::vector<int> feedSecurities() const override;
    // Called by the feed for tick codes 10 and 20 only: the box keeps the
    // code of the move for the window's timer.
    void quoteUpdated(int security) override;

    // UI thread: the securities after every stored report; renews the
    // subscription when they changed.
    void setSecurities(std::vector<int> securities);
    void setClosing();
    ui::TickBox<int, char>& ticks() { return m_ticks; }

private:
    std::atomic<bool> m_closing{false};
    mutable std::mutex m_mutex;
    std::vector<int> m_securities; // guarded by m_mutex
    ui::TickBox<int, char> m_ticks;
};

// The feed calls of the window, so that its source needs no feed header.
namespace NetPositionFeedLink {
void updateFeedsToken();
// The open window's feed (null when none); any thread. The window sets it
// when it opens and clears it when it closes.
void setOpenFeed(std::shared_ptr<NetPositionFeed> feed);
std::shared_ptr<NetPositionFeed> openFeed();
// The dispatcher's hook for index broadcasts: the security whose last price
// an index value set; the open window takes it like a tick.
void indexPrice(int security);
} // namespace NetPositionFeedLink
