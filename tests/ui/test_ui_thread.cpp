#include "testkit/headless.h"

#include "ui/ui_thread.h"

#include "pf/log.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

class UiThreadTest : public testkit::Headless {};

TEST_F(UiThreadTest, CallFromWorkerReturnsTheUiThreadsAnswer)
{
    const std::thread::id uiThread = std::this_thread::get_id();
    std::atomic<bool> done{false};
    int answer = 0;
    std::thread::id ranOn;
    std::string text;
    std::thread worker([&] {
        answer = ui::UiThread::call([&] {
            ranOn = std::this_thread::get_id();
            return ui::UiThread::isCurrent() ? 42 : -1;
        });
        text = ui::UiThread::call([] { return std::string("from the UI thread"); });
        done = true;
    });
    EXPECT_TRUE(pumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(ranOn, uiThread);
    EXPECT_EQ(text, "from the UI thread");
}

TEST_F(UiThreadTest, CallOnTheUiThreadRunsInline)
{
    // A queued blocking call to the own thread would deadlock; it must not queue.
    int ran = 0;
    EXPECT_EQ(ui::UiThread::call([&] { return ++ran; }), 1);
    ui::UiThread::call([&] { ++ran; });
    EXPECT_EQ(ran, 2);
}

TEST_F(UiThreadTest, PostedWorkRunsOnTheUiThreadInOrder)
{
    std::vector<int> order;
    std::atomic<bool> allOnUi{true};
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i)
            ui::UiThread::post([&, i] {
                allOnUi = allOnUi && ui::UiThread::isCurrent();
                order.push_back(i);
            });
    });
    worker.join();
    EXPECT_TRUE(order.empty()) << "posted work must wait for the UI thread's event loop";
    EXPECT_TRUE(pumpUntil([&] { return order.size() == 100; }));
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[static_cast<size_t>(i)], i);
    EXPECT_TRUE(allOnUi);
}

TEST_F(UiThreadTest, DroppedWorkReleasesABlockedCaller)
{
    // Work dropped unrun (as at shutdown) must wake its caller with the
    // default answer instead of leaving the worker blocked for ever.
    std::atomic<bool> done{false};
    bool ran = true;
    int answer = -1;
    std::thread worker([&] {
        ran = ui::UiThread::runBlocking([] {});
        answer = ui::UiThread::call([] { return 7; });
        done = true;
    });
    for (int i = 0; i < 5000 && !done; ++i) {
        ui::UiThread::discardPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(done.load());
    worker.join();
    EXPECT_FALSE(ran);
    EXPECT_EQ(answer, 0);
}

TEST_F(UiThreadTest, RequireCurrentRefusesWorkerThreadsAndLogs)
{
    std::mutex mutex;
    std::vector<std::string> lines;
    pf::setLogSink([&](int, std::string_view text) {
        std::lock_guard lock(mutex);
        lines.emplace_back(text);
    });
    EXPECT_TRUE(ui::UiThread::requireCurrent("onUi"));
    bool offUi = true;
    std::thread worker([&] { offUi = ui::UiThread::requireCurrent("Window::refresh"); });
    worker.join();
    pf::setLogSink({});
    EXPECT_FALSE(offUi);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Window::refresh"), std::string::npos);
}

TEST_F(UiThreadTest, PumpUntilGivesUpWhenThePredicateNeverHolds)
{
    EXPECT_FALSE(pumpUntil([] { return false; }, 20));
}

} // namespace
