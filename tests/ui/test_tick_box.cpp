#include "ui/tick_box.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>
#include <utility>
#include <vector>

namespace {

struct Quote {
    int thread = -1;
    int seq = -1;
};

TEST(TickBox, BurstFromSeveralThreadsAppliesEachKeyOnceWithItsLatestValue)
{
    ui::TickBox<int, Quote> box;
    constexpr int kThreads = 8;
    constexpr int kPuts = 1000;
    constexpr int kKeys = 10;
    std::vector<std::thread> feeds;
    for (int t = 0; t < kThreads; ++t)
        feeds.emplace_back([&box, t] {
            for (int i = 0; i < kPuts; ++i)
                box.put(i % kKeys, Quote{t, i});
        });
    for (auto& f : feeds)
        f.join();

    std::map<int, int> applied;
    std::map<int, Quote> values;
    EXPECT_EQ(box.drain([&](int key, const Quote& q) {
        ++applied[key];
        values[key] = q;
    }),
              size_t(kKeys));
    for (int k = 0; k < kKeys; ++k) {
        EXPECT_EQ(applied[k], 1) << "key " << k;
        // The overall last put of a key is its thread's last put of that key.
        EXPECT_EQ(values[k].seq, kPuts - kKeys + k) << "key " << k;
    }
    EXPECT_EQ(box.drain([](int, const Quote&) { ADD_FAILURE() << "nothing is dirty after a drain"; }), 0u);
}

TEST(TickBox, DrainKeepsFirstPutOrderAndLetsApplyPutAgain)
{
    ui::TickBox<int, int> box;
    box.put(30, 1);
    box.put(10, 1);
    box.put(30, 2); // latest wins, place kept
    box.put(20, 1);
    EXPECT_EQ(box.pending(), 3u);

    std::vector<std::pair<int, int>> seen;
    box.drain([&](int key, int value) {
        seen.emplace_back(key, value);
        if (key == 10)
            box.put(10, 99); // lands in the next drain, not this one
    });
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{30, 2}, {10, 1}, {20, 1}}));

    seen.clear();
    EXPECT_EQ(box.drain([&](int key, int value) { seen.emplace_back(key, value); }), 1u);
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{10, 99}}));
}

} // namespace
