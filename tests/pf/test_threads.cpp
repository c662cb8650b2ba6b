#include "pf/threads.h"

#include "pf_test_support.h"

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using pftest::LogCapture;

bool hasLine(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(HandlerPool, TasksOfOneKeyRunInOrderOneAtATime)
{
    constexpr int keys = 6;
    constexpr int tasks = 400;
    struct PerKey {
        std::vector<int> seen; // touched only by the key's own tasks
        std::atomic<int> running{0};
        std::atomic<int> overlaps{0};
    };
    std::vector<PerKey> perKey(keys);
    {
        pf::HandlerPool pool(3);
        // One posting thread per key, all at once.
        std::vector<std::thread> posters;
        for (int k = 0; k < keys; ++k) {
            posters.emplace_back([&, k] {
                for (int i = 0; i < tasks; ++i) {
                    pool.post(static_cast<uint64_t>(k), [&perKey, k, i] {
                        PerKey& p = perKey[k];
                        if (p.running.fetch_add(1) != 0)
                            p.overlaps++;
                        p.seen.push_back(i);
                        p.running.fetch_sub(1);
                    });
                }
            });
        }
        for (auto& p : posters)
            p.join();
        pool.drain();
        for (int k = 0; k < keys; ++k) {
            ASSERT_EQ(perKey[k].seen.size(), static_cast<size_t>(tasks)) << k;
            for (int i = 0; i < tasks; ++i)
                ASSERT_EQ(perKey[k].seen[i], i) << "key " << k;
            EXPECT_EQ(perKey[k].overlaps.load(), 0) << k;
        }
    }
}

TEST(HandlerPool, DifferentKeysRunInParallel)
{
    pf::HandlerPool pool(2);
    pf::StartGate firstRunning, secondRan;
    std::atomic<bool> sawSecond{false};
    // Key 0 waits for key 1's task: this finishes only when both run at once.
    pool.post(0, [&] {
        firstRunning.open();
        sawSecond = secondRan.wait(10000);
    });
    pool.post(1, [&] {
        if (firstRunning.wait(10000))
            secondRan.open();
    });
    pool.drain();
    EXPECT_TRUE(sawSecond.load());
}

TEST(HandlerPool, GuardLogsExceptionsAndTheKeyGoesOn)
{
    LogCapture log;
    std::atomic<int> after{0};
    {
        pf::HandlerPool pool(2, false, "FeedHandler");
        pool.post(5, [] { throw std::runtime_error("bad frame"); }, "FeedsThread");
        pool.post(5, [] { throw 7; });
        pool.post(5, [&] { after++; });
        pool.drain();
        EXPECT_EQ(after.load(), 1);
    }
    const auto lines = log.lines();
    EXPECT_TRUE(hasLine(lines, "0 SException in FeedsThread : [bad frame]"));
    EXPECT_TRUE(hasLine(lines, "0 Exception in FeedHandler"));
}

TEST(HandlerPool, DrainWaitsForTasksPostedByTasks)
{
    pf::HandlerPool pool(2);
    std::atomic<int> ran{0};
    for (int i = 0; i < 20; ++i)
        pool.post(static_cast<uint64_t>(i), [&, i] {
            ran++;
            pool.post(static_cast<uint64_t>(i + 1), [&] { ran++; });
        });
    pool.drain();
    EXPECT_EQ(ran.load(), 40);
}

TEST(HandlerPool, StopFinishesQueuedWorkThenRefuses)
{
    std::atomic<int> ran{0};
    pf::StartGate release;
    {
        pf::HandlerPool pool(1);
        pool.post(0, [&] { release.wait(10000); });
        for (int i = 0; i < 50; ++i)
            pool.post(0, [&] { ran++; });
        release.open();
        pool.stop();
        EXPECT_EQ(ran.load(), 50);
        EXPECT_FALSE(pool.post(0, [&] { ran++; }));
    }
    EXPECT_EQ(ran.load(), 50);

    // The destructor does the same.
    {
        pf::HandlerPool pool(2);
        for (int i = 0; i < 50; ++i)
            pool.post(static_cast<uint64_t>(i), [&] { ran++; });
    }
    EXPECT_EQ(ran.load(), 100);
}

// Batched tasks keep their key's order with the others; one posted while
// the lane lingers after a batched task runs without a wake, and one posted
// after the lane went back to sleep wakes it (neither waits for ever).
TEST(HandlerPool, BatchedTasksKeepOrderAndAlwaysRun)
{
    pf::HandlerPool pool(1);
    std::mutex mutex;
    std::vector<std::string> order; // guarded by mutex
    const auto note = [&](const char* what) {
        return [&, what] {
            std::lock_guard lock(mutex);
            order.push_back(what);
        };
    };
    pool.post(0, note("a"));
    pool.postBatched(0, note("b"));
    pool.post(0, note("c"));
    pool.postBatched(0, note("d"));
    pool.drain();
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c", "d"}));

    for (const auto pause : {std::chrono::milliseconds(0), pf::HandlerPool::kBatchWait * 5}) {
        std::this_thread::sleep_for(pause); // 0: lingering after "d"; else asleep again
        pf::StartGate ran;
        pool.postBatched(0, [&] { ran.open(); });
        ASSERT_TRUE(ran.wait(5000)) << "a batched task posted after a pause of " << pause.count()
                                    << " ms never ran";
        pool.drain();
    }
}

TEST(HandlerPool, InlineModeRunsOnTheCallerAndKeepsNestedOrder)
{
    pf::HandlerPool pool(4, true);
    std::vector<std::string> order;
    const auto caller = std::this_thread::get_id();
    pool.post(1, [&] {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        order.push_back("outer start");
        pool.post(1, [&] { order.push_back("nested"); });
        order.push_back("outer end");
    });
    EXPECT_EQ(order, (std::vector<std::string>{"outer start", "outer end", "nested"}));
    pool.drain(); // nothing pending: returns at once
}

namespace {
std::atomic<int> g_hookRuns{0};
void countHook()
{
    g_hookRuns++;
}
} // namespace

TEST(Worker, RunsTheStartHookAndGuardsTheBody)
{
    LogCapture log;
    pf::setThreadStartHook(&countHook);
    const int before = g_hookRuns.load();
    pf::StartGate done;
    ASSERT_TRUE(pf::Worker::start("CheckAlertsThread", [&] {
        done.open();
        throw std::logic_error("no quote");
    }));
    ASSERT_TRUE(done.wait(10000));
    // The guard logs after the body has left; wait for that line.
    for (int i = 0; i < 1000 && !hasLine(log.lines(), "0 SException in CheckAlertsThread : [no quote]"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(hasLine(log.lines(), "0 SException in CheckAlertsThread : [no quote]"));
    EXPECT_EQ(g_hookRuns.load(), before + 1);
    pf::setThreadStartHook(nullptr);
}

TEST(StartGate, OpensOnceForEveryWaiter)
{
    pf::StartGate gate;
    EXPECT_FALSE(gate.wait(0));
    std::atomic<int> through{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            if (gate.wait(-1))
                through++;
        });
    gate.open();
    for (auto& w : waiters)
        w.join();
    EXPECT_EQ(through.load(), 4);
    EXPECT_TRUE(gate.isOpen());
    EXPECT_TRUE(gate.wait(0));
}

TEST(SharedFlag, ExchangesAtomically)
{
    pf::SharedFlag flag;
    EXPECT_EQ(flag.get(), 0);
    EXPECT_FALSE(flag.compareExchange(1, 2));
    EXPECT_TRUE(flag.compareExchange(0, 1));
    EXPECT_EQ(flag.exchange(5), 1);
    flag.set(9);
    EXPECT_EQ(flag.get(), 9);

    // Only one of many threads wins the busy flag.
    pf::SharedFlag busy;
    std::atomic<int> winners{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] {
            if (busy.compareExchange(0, 1))
                winners++;
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(winners.load(), 1);
}

// Work split over threads follows the processors the process is pinned to,
// not the machine's: one, then two of them (when there are two).
TEST(UsableCpus, FollowsTheThreadsAffinity)
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
    std::vector<int> cpus;
    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET(c, &allowed))
            cpus.push_back(c);
    ASSERT_FALSE(cpus.empty());
    EXPECT_EQ(pf::usableCpus(), cpus.size());

    for (size_t pinned : {size_t{1}, size_t{2}}) {
        if (pinned > cpus.size())
            continue;
        unsigned seen = 0;
        // On a thread of its own: the test's thread keeps its affinity.
        std::thread([&] {
            cpu_set_t set;
            CPU_ZERO(&set);
            for (size_t k = 0; k < pinned; ++k)
                CPU_SET(cpus[k], &set);
            if (sched_setaffinity(0, sizeof set, &set) == 0)
                seen = pf::usableCpus();
        }).join();
        EXPECT_EQ(seen, pinned);
    }
}

} // namespace
