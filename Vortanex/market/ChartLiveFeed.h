#pragma once
// A chart view as the feed sees it. The feed threads hand over every new
// trade of the chart's security, its compared securities or its index into a
// first-in first-out queue (not coalesced: every trade feeds a bar); the
// view's UI timer drains it. A quote without a new trade (same last trade
// time, quantity and price) adds nothing. Qt-free.
#include "server/FeedSubscriptions.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

struct ChartTrade {
    enum Source { Security, Index };
    Source source = Security;
    int id = -1;          // security index, or the index's feed code
    double price = 0;     // rupees
    double quantity = 0;
    int64_t time = 0;     // epoch seconds
};

class ChartLiveFeed final : public FeedWindow {
public:
    bool isClosing() const override { return m_closing.load(std::memory_order_acquire); }
    std::vector<int> feedSecurities() const override;
    void quoteUpdated(int security) override;
    void indexUpdated(int feedCode) override;

    // UI thread: what the chart shows. Securities: its own and the compared
    // ones; index: the feed code of an index chart (0 none).
    void setSecurities(std::vector<int> securities);
    void setIndex(int feedCode);
    void setClosing();

    // The trades queued since the last take, oldest first.
    std::deque<ChartTrade> take();

    // The trade of a quote or an index row, for the feed side and tests:
    // false when it is the same trade as the one seen before for that id.
    bool noteTrade(const ChartTrade& t);

private:
    std::atomic<bool> m_closing{false};
    mutable std::mutex m_mutex;
    std::vector<int> m_securities;                 // guarded by m_mutex
    int m_index = 0;                               // guarded by m_mutex
    std::deque<ChartTrade> m_queue;                // guarded by m_mutex
    std::map<std::pair<int, int>, ChartTrade> m_seen; // guarded by m_mutex
};

// The open-window table as the chart views use it.
namespace ChartFeedLink {
// Chart windows open (slot types 4, 5 and 6).
int openCharts();
// The slot of an open chart of this security (or index number) and kind; -1.
int findChart(int security, int kind);
// Takes a slot of the chart's type; -1 when none.
int takeSlot(const std::shared_ptr<ChartLiveFeed>& feed, int kind, int security);
// Frees the slot and unsubscribes.
void release(int slot);
} // namespace ChartFeedLink

// The slot type of a chart kind (1 -> 6, 2 -> 4, 3 -> 5).
int ChartSlotType(int kind);
