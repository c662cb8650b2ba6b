#include "frame/MainFrameTimer.h"

#include "pf/clock.h"

MainFrameTimer::MainFrameTimer(pf::Clock& clock) : m_clock(clock) {}

FrameTimerDecision MainFrameTimer::tick(int timerId, const FrameTimerFacts& facts)
{
    FrameTimerDecision d;
    if (timerId != kTimerId || !facts.loggedIn || m_loggedOut)
        return d;
    d.now = m_clock.nowSeconds();
    const int64_t now = d.now;

    if (facts.feedSocketOpen && now - m_lastHeartbeat >= kHeartbeatSeconds) {
        d.heartbeat = true;
        m_lastHeartbeat = now;
    }
    // Only a running feed has anything to stop; the packet time of a feed
    // that never ran says nothing.
    if (facts.feedRunning && now - facts.lastFeedPacket >= kWatchdogSeconds)
        d.stopFeed = true;

    const int64_t idle = now - facts.lastActivity;
    if (!facts.locked && facts.lockMinutes > 0 && idle > int64_t(facts.lockMinutes) * 60)
        d.lock = true;
    // A limit of 0 (or none in the login reply) would log the user out at
    // the first tick; it means "no idle logout" instead.
    if (facts.closeMinutes > 0 && idle > int64_t(facts.closeMinutes) * 60) {
        d.logout = true;
        m_loggedOut = true;
    }
    return d;
}
