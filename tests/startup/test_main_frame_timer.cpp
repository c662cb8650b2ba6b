// The four duties of the main frame's timer against a manual clock.
#include "frame/MainFrameTimer.h"

#include "pf/clock.h"

#include <gtest/gtest.h>

#include <ostream>

namespace test_main_frame_timer {

namespace {

constexpr int64_t kStart = 1'700'000'000;

struct TimerCase {
    const char* name;
    int64_t sinceActivity; // seconds idle at the tick
    int64_t sincePacket;   // seconds since the last feed packet
    bool locked;
    int lockMinutes;
    int closeMinutes;
    bool heartbeat;
    bool stopFeed;
    bool lock;
    bool logout;
};

void PrintTo(const TimerCase& c, std::ostream* os)
{
    *os << c.name;
}

class MainFrameTimerTable : public ::testing::TestWithParam<TimerCase> {};

TEST_P(MainFrameTimerTable, DecidesTheDutiesOfOneTick)
{
    const TimerCase& c = GetParam();
    pf::ManualClock clock(kStart * 1000);
    MainFrameTimer timer(clock);
    // The last heartbeat went out 30 s before the tick.
    timer.stampHeartbeat(kStart - 30);
    FrameTimerFacts f;
    f.loggedIn = true;
    f.feedSocketOpen = true;
    f.feedRunning = true;
    f.lastFeedPacket = kStart - c.sincePacket;
    f.lastActivity = kStart - c.sinceActivity;
    f.locked = c.locked;
    f.lockMinutes = c.lockMinutes;
    f.closeMinutes = c.closeMinutes;
    const FrameTimerDecision d = timer.tick(MainFrameTimer::kTimerId, f);
    EXPECT_EQ(d.now, kStart);
    EXPECT_EQ(d.heartbeat, c.heartbeat);
    EXPECT_EQ(d.stopFeed, c.stopFeed);
    EXPECT_EQ(d.lock, c.lock);
    EXPECT_EQ(d.logout, c.logout);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, MainFrameTimerTable,
    ::testing::Values(
        // name, idle, packet, locked, lock, close -> heartbeat, stop, lock, logout
        TimerCase{"Quiet", 10, 10, false, 30, 180, true, false, false, false},
        TimerCase{"WatchdogJustBefore", 10, 74, false, 30, 180, true, false, false, false},
        TimerCase{"WatchdogAtExactly75", 10, 75, false, 30, 180, true, true, false, false},
        TimerCase{"LockAtExactlyTheLimitWaits", 30 * 60, 1, false, 30, 180, true, false, false, false},
        TimerCase{"LockOneSecondPast", 30 * 60 + 1, 1, false, 30, 180, true, false, true, false},
        TimerCase{"ThirtyOneMinutesLocks", 31 * 60, 1, false, 30, 180, true, false, true, false},
        TimerCase{"AlreadyLockedStaysQuiet", 31 * 60, 1, true, 30, 180, true, false, false, false},
        TimerCase{"LogoutAtExactlyTheLimitWaits", 180 * 60, 1, true, 30, 180, true, false, false, false},
        TimerCase{"LogoutWhileLocked", 181 * 60, 1, true, 30, 180, true, false, false, true},
        TimerCase{"LockAndLogoutInOneTick", 181 * 60, 1, false, 30, 180, true, false, true, true},
        TimerCase{"CloseTimeZeroNeverLogsOut", 100000, 1, true, 30, 0, true, false, false, false},
        TimerCase{"NegativeCloseTimeNeverLogsOut", 100000, 1, true, 30, -5, true, false, false, false}),
    [](const ::testing::TestParamInfo<TimerCase>& info) { return std::string(info.param.name); });

TEST(MainFrameTimer, HeartbeatsAreAtLeastThirtySecondsApart)
{
    pf::ManualClock clock(kStart * 1000);
    MainFrameTimer timer(clock);
    FrameTimerFacts f;
    f.loggedIn = true;
    f.feedSocketOpen = true;
    f.lastActivity = kStart;
    f.lockMinutes = 30;
    EXPECT_TRUE(timer.tick(1, f).heartbeat);
    EXPECT_EQ(timer.lastHeartbeat(), kStart);
    clock.advanceSeconds(25);
    f.lastActivity = clock.nowSeconds();
    EXPECT_FALSE(timer.tick(1, f).heartbeat);
    clock.advanceSeconds(5); // 30 s after the first
    EXPECT_TRUE(timer.tick(1, f).heartbeat);
    // A subscription sent on the feed counts as a heartbeat.
    clock.advanceSeconds(20);
    timer.stampHeartbeat(clock.nowSeconds());
    clock.advanceSeconds(25);
    EXPECT_FALSE(timer.tick(1, f).heartbeat);
    // Without a socket there is nothing to send on.
    clock.advanceSeconds(60);
    f.feedSocketOpen = false;
    EXPECT_FALSE(timer.tick(1, f).heartbeat);
}

TEST(MainFrameTimer, NothingIsDueForOtherTimersBeforeLoginOrAfterTheLogout)
{
    pf::ManualClock clock(kStart * 1000);
    MainFrameTimer timer(clock);
    FrameTimerFacts f;
    f.feedSocketOpen = true;
    f.feedRunning = true;
    f.lockMinutes = 1;
    f.closeMinutes = 2;
    f.lastActivity = kStart - 3600;
    FrameTimerDecision d = timer.tick(1, f); // not logged in
    EXPECT_FALSE(d.heartbeat || d.stopFeed || d.lock || d.logout);
    f.loggedIn = true;
    d = timer.tick(2, f); // another timer
    EXPECT_FALSE(d.heartbeat || d.stopFeed || d.lock || d.logout);
    d = timer.tick(1, f);
    EXPECT_TRUE(d.logout);
    EXPECT_TRUE(timer.loggedOut());
    // The timer is dead after the logout: no second box.
    clock.advanceSeconds(25);
    d = timer.tick(1, f);
    EXPECT_FALSE(d.heartbeat || d.stopFeed || d.lock || d.logout);
}

TEST(MainFrameTimer, WatchdogLeavesAFeedThatDoesNotRunAlone)
{
    pf::ManualClock clock(kStart * 1000);
    MainFrameTimer timer(clock);
    FrameTimerFacts f;
    f.loggedIn = true;
    f.lastActivity = kStart;
    f.lockMinutes = 30;
    f.lastFeedPacket = 0;
    EXPECT_FALSE(timer.tick(1, f).stopFeed);
    f.feedRunning = true;
    EXPECT_TRUE(timer.tick(1, f).stopFeed);
}

} // namespace

} // namespace test_main_frame_timer
