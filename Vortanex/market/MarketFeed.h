#pragma once
// Where the feed's index and last-trade updates meet the market windows.
// The feed's consumers call in from feed threads; each open window has its
// own tick box here, which its UI-thread timer drains. Nothing here touches
// a widget, and a window that is gone simply has no box. Qt-free.
#include "server/MarketLookups.h"
#include "ui/tick_box.h"

#include <cstdint>
#include <memory>

// A last trade as the feed saw it, with the order it arrived in.
struct LastTradeTick {
    double lastPrice = 0; // paise
    double quantity = 0;
    double time = 0;      // epoch seconds
    uint64_t sequence = 0;
};

using IndexTicks = ui::TickBox<int, IndexRecord>;   // keyed by index number
using TradeTicks = ui::TickBox<int, LastTradeTick>; // keyed by security index

namespace MarketFeed {

enum IndexSink { IndicesBar = 0, IndexView = 1, IndicesTracker = 2, IndexSinkCount };

// UI thread: a window registers its box while it wants updates (nullptr removes it).
void setIndexSink(IndexSink which, std::shared_ptr<IndexTicks> box);
void setLastTradesSink(std::shared_ptr<TradeTicks> box);
bool hasLastTradesSink();

// Feed threads: an index row changed (the row as the dispatcher left it).
void indexUpdated(const IndexRecord& row);
// Feed threads: a security's quote was applied; its last trade is read now.
void lastTradesUpdated(int security);

} // namespace MarketFeed
