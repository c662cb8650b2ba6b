#include "market/MarketFeed.h"

#include "server/SecurityTable.h"

#include <array>
#include <atomic>
#include <mutex>

namespace market_feed_detail {
namespace {

std::mutex g_sinkMutex;
std::array<std::shared_ptr<IndexTicks>, MarketFeed::IndexSinkCount> g_indexSinks; // guarded by g_sinkMutex
std::shared_ptr<TradeTicks> g_tradeSink;                                          // guarded by g_sinkMutex
// Set with g_tradeSink: every quote asks, and without a last-trades window
// open the answer must cost the feed thread no lock.
std::atomic<bool> g_hasTradeSink{false};
std::atomic<uint64_t> g_tradeSequence{0};

} // namespace
} // namespace market_feed_detail

namespace MarketFeed {

void setIndexSink(IndexSink which, std::shared_ptr<IndexTicks> box)
{
    if (which < 0 || which >= IndexSinkCount)
        return;
    std::lock_guard lock(market_feed_detail::g_sinkMutex);
    market_feed_detail::g_indexSinks[static_cast<size_t>(which)] = std::move(box);
}

void setLastTradesSink(std::shared_ptr<TradeTicks> box)
{
    std::lock_guard lock(market_feed_detail::g_sinkMutex);
    market_feed_detail::g_tradeSink = std::move(box);
    market_feed_detail::g_hasTradeSink.store(market_feed_detail::g_tradeSink != nullptr, std::memory_order_release);
}

bool hasLastTradesSink()
{
    return market_feed_detail::g_hasTradeSink.load(std::memory_order_acquire);
}

void indexUpdated(const IndexRecord& row)
{
    if (row.number < 0)
        return;
    std::array<std::shared_ptr<IndexTicks>, IndexSinkCount> sinks;
    {
        std::lock_guard lock(market_feed_detail::g_sinkMutex);
        sinks = market_feed_detail::g_indexSinks;
    }
    for (const auto& box : sinks)
        if (box)
            box->put(row.number, row);
}

void lastTradesUpdated(int security)
{
    if (!hasLastTradesSink())
        return;
    std::shared_ptr<TradeTicks> box;
    {
        std::lock_guard lock(market_feed_detail::g_sinkMutex);
        box = market_feed_detail::g_tradeSink;
    }
    if (!box)
        return;
    const auto table = SecurityTable::current();
    if (!table || !table->valid(security))
        return;
    const QuoteData q = table->row(security).quote();
    LastTradeTick t;
    t.lastPrice = q.quote[4];
    t.quantity = q.quote[16];
    t.time = q.quote[17];
    t.sequence = market_feed_detail::g_tradeSequence.fetch_add(1, std::memory_order_relaxed) + 1;
    box->put(security, t);
}

} // namespace MarketFeed
