#pragma once
// A market-watch window as the feed sees it. Feed threads only mark the
// security in the tick box and return; the window's 70 ms timer drains the
// box on the UI thread and rewrites the rows there, so no feed thread ever
// touches the grid or a row that a list switch or a column rebuild is
// replacing. Kept out of the view's header: the feed header names a member
// like a Qt keyword.
#include "server/FeedSubscriptions.h"
#include "ui/tick_box.h"

#include <atomic>
#include <mutex>
#include <vector>

class WatchFeed final : public FeedWindow {
public:
    bool isClosing() const override { return m_closing.load(std::memory_order_acquire); }
    std::vector<int> feedSecurities() const override;
    void quoteUpdated(int security) override;
    void quoteUpdateComing(int security) const override { m_ticks.prefetch(security); }

    // UI thread: the securities of the rows shown, after every change of them.
    void setSecurities(std::vector<int> securities);
    void setClosing();

    ui::TickMarks& ticks() { return m_ticks; }

private:
    std::atomic<bool> m_closing{false};
    mutable std::mutex m_mutex;
    std::vector<int> m_securities; // guarded by m_mutex
    ui::TickMarks m_ticks; // marked by security index, without a lock
};

// The feed-table calls the view makes, kept here so that the view's source
// needs no feed header.
namespace WatchFeedLink {
int takeSlot();
void setWindow(int slot, const std::shared_ptr<WatchFeed>& feed, int type, int index);
void releaseSlot(int slot);
int removeWatchInfoDlgRef(int slot);
void updateFeedsToken();
int windowCount();
// In-use market-watch windows (types 1, 8, 9): slot, type, watch index.
struct OpenWatch {
    int slot = -1;
    int type = 0;
    int index = -1;
};
std::vector<OpenWatch> openWatchWindows();
} // namespace WatchFeedLink
