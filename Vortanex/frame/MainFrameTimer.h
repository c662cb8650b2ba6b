#pragma once
// What one tick of the main frame's 25-second timer decides: the feed
// heartbeat, the feed watchdog, the idle lock and the idle logout, all against
// one "now" read from the clock. The decisions are kept free of windows so
// that the limits can be checked on a manual clock; the frame carries them out.
#include <cstdint>

namespace pf {
class Clock;
}

// The program-wide values the four duties look at, read by the caller at the
// tick.
struct FrameTimerFacts {
    bool loggedIn = false;
    bool feedSocketOpen = false; // a live feed socket to send the heartbeat on
    bool feedRunning = false;
    int64_t lastFeedPacket = 0;  // epoch seconds, 0 = none yet
    int64_t lastActivity = 0;    // epoch seconds of the last user action
    bool locked = false;
    int lockMinutes = 0;         // the settings' "Terminal Lock Time"; below 1 = no idle lock
    int closeMinutes = 0;        // the login's idle limit; below 1 = no idle logout
};

// The duties due at one tick, in the order they are carried out.
struct FrameTimerDecision {
    int64_t now = 0;
    bool heartbeat = false; // start the heartbeat sender
    bool stopFeed = false;  // 75 s without a packet: stop the feed
    bool lock = false;      // lock the terminal
    bool logout = false;    // stop the timer and show "Logged Out"
};

class MainFrameTimer {
public:
    static constexpr int kTimerId = 1;
    static constexpr int kPeriodMs = 25000;
    static constexpr int64_t kHeartbeatSeconds = 30;
    static constexpr int64_t kWatchdogSeconds = 75;

    explicit MainFrameTimer(pf::Clock& clock);

    // One tick of timer `timerId`. Nothing is due for another timer, while no
    // user is logged in, or after the logout (the timer is then dead). A due
    // heartbeat is stamped here.
    FrameTimerDecision tick(int timerId, const FrameTimerFacts& facts);

    // A subscription text sent on the feed counts as a heartbeat.
    void stampHeartbeat(int64_t when) { m_lastHeartbeat = when; }
    int64_t lastHeartbeat() const { return m_lastHeartbeat; }
    bool loggedOut() const { return m_loggedOut; }

private:
    pf::Clock& m_clock;
    int64_t m_lastHeartbeat = 0;
    bool m_loggedOut = false;
};
