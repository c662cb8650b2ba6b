#include "ui/tick_box.h"

#include <gtest/gtest.h>

#include <atomic>
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

// Feed threads mark while the UI thread drains: every key marked is applied
// at least once after its last mark, never twice in one drain, and what a
// marker wrote before its mark is what the drain that takes it reads.
TEST(TickMarks, ConcurrentMarksAreNeverLostAndCarryTheirWrites)
{
    ui::TickMarks marks;
    constexpr int kThreads = 4;
    constexpr int kKeys = 20000; // spans several chunks
    constexpr int kRounds = 20;
    std::vector<std::atomic<int>> written(kKeys);
    std::vector<int> applied(kKeys, -1);
    std::atomic<int> running{kThreads};
    std::vector<std::thread> feeds;
    for (int t = 0; t < kThreads; ++t)
        feeds.emplace_back([&, t] {
            for (int r = 1; r <= kRounds; ++r)
                for (int k = t; k < kKeys; k += kThreads) {
                    written[static_cast<size_t>(k)].store(r, std::memory_order_relaxed);
                    EXPECT_TRUE(marks.put(k));
                }
            running.fetch_sub(1);
        });
    const auto drainOnce = [&] {
        std::vector<char> once(kKeys, 0);
        marks.drain([&](int k) {
            EXPECT_EQ(once[static_cast<size_t>(k)]++, 0) << "key " << k << " twice in one drain";
            const int r = written[static_cast<size_t>(k)].load(std::memory_order_relaxed);
            EXPECT_GE(r, applied[static_cast<size_t>(k)]);
            applied[static_cast<size_t>(k)] = r;
        });
    };
    while (running.load() != 0)
        drainOnce();
    for (auto& f : feeds)
        f.join();
    drainOnce();
    for (int k = 0; k < kKeys; ++k)
        ASSERT_EQ(applied[static_cast<size_t>(k)], kRounds) << "key " << k;
    EXPECT_EQ(marks.pending(), 0u);
}

TEST(TickMarks, AscendingOrderOutOfRangeRefusedAndClear)
{
    ui::TickMarks marks;
    for (int k : {5000, 3, 70, 3, 4'000'000})
        EXPECT_TRUE(marks.put(k));
    EXPECT_FALSE(marks.put(-1));
    EXPECT_FALSE(marks.put(static_cast<int>(ui::TickMarks::kCapacity)));
    // A fetch hint out of range or in a chunk not made yet marks nothing.
    for (int k : {-1, 5000, 9000, static_cast<int>(ui::TickMarks::kCapacity)})
        marks.prefetch(k);
    EXPECT_EQ(marks.pending(), 4u);
    std::vector<int> seen;
    EXPECT_EQ(marks.drain([&](int k) {
        seen.push_back(k);
        if (k == 70)
            marks.put(70); // marked again while applied: the next drain has it
    }),
              4u);
    EXPECT_EQ(seen, (std::vector<int>{3, 70, 5000, 4'000'000}));
    EXPECT_EQ(marks.pending(), 1u);
    marks.clear();
    EXPECT_EQ(marks.drain([](int) { ADD_FAILURE() << "cleared"; }), 0u);
}

} // namespace
