#include "testkit/headless.h"

#include "ui/ticker.h"

#include <thread>
#include <vector>

namespace {

class TickerTest : public testkit::Headless {};

TEST_F(TickerTest, FireDeliversTicksOfRunningTimersOnly)
{
    ui::Ticker ticker;
    std::vector<int> ticks;
    ticker.onTick = [&](int id) { ticks.push_back(id); };

    ticker.start(1, 70);
    ticker.start(3, 1000);
    EXPECT_TRUE(ticker.running(1));
    EXPECT_TRUE(ticker.fire(1));
    EXPECT_TRUE(ticker.fire(3));
    ticker.stop(1);
    EXPECT_FALSE(ticker.running(1));
    EXPECT_FALSE(ticker.fire(1));
    EXPECT_FALSE(ticker.fire(2));
    ticker.start(3, 100); // restarting keeps one timer under the id
    EXPECT_TRUE(ticker.fire(3));
    EXPECT_EQ(ticks, (std::vector<int>{1, 3, 3}));
}

TEST_F(TickerTest, RealTimerTicksThroughTheEventLoop)
{
    ui::Ticker ticker;
    int ticks = 0;
    ticker.onTick = [&](int id) {
        EXPECT_EQ(id, 7);
        if (++ticks == 2)
            ticker.stop(7); // a handler may stop its own timer
    };
    ticker.start(7, 1);
    EXPECT_TRUE(pumpUntil([&] { return ticks >= 2; }));
    EXPECT_FALSE(ticker.running(7));
}

TEST_F(TickerTest, StartFromAWorkerThreadIsRefused)
{
    // Qt would warn "Timers cannot be started from another thread" (a test
    // failure here); the ticker refuses before Qt sees it.
    ui::Ticker ticker;
    std::thread worker([&] { ticker.start(1, 25000); });
    worker.join();
    EXPECT_FALSE(ticker.running(1));
}

} // namespace
