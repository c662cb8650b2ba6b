#pragma once
// The feed's shared state: the program-wide logged-in flag, the running flag,
// the slot and server that message 250 assigns, and the time of the last
// packet. Written and read by the feed thread, the handler pool, the UI thread
// and the timer, so every value is atomic or behind the state's lock.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

// 1 from the end of the start-up to the exit sequence; the feed dispatcher
// ignores every message while it is not 1.
bool IsLoggedIn();
void SetLoggedIn(bool on);

// The server's answer to the opening request (message 250) and the running
// state of the feed.
class FeedState {
public:
    static FeedState& instance();

    // 1 while a feed thread runs.
    int running() const { return m_running.load(); }
    void setRunning(int on) { m_running.store(on); }

    // The slot assigned by message 250; -1 when none (also at every
    // connection end).
    int slot() const { return m_slot.load(); }
    void setSlot(int slot) { m_slot.store(slot); }

    void setServer(const std::string& host, int port);
    std::string serverHost() const;
    int serverPort() const;

    // Epoch seconds of the last packet received (0: none yet).
    int64_t lastPacketTime() const { return m_lastPacket.load(); }
    void stampPacket(int64_t now) { m_lastPacket.store(now); }

    // Epoch seconds of the last heartbeat or subscription sent.
    int64_t lastHeartbeatTime() const { return m_lastHeartbeat.load(); }
    void setLastHeartbeatTime(int64_t t) { m_lastHeartbeat.store(t); }

    // Tests: back to the state of a fresh process.
    void reset();

private:
    std::atomic<int> m_running{0};
    std::atomic<int> m_slot{-1};
    std::atomic<int64_t> m_lastPacket{0};
    std::atomic<int64_t> m_lastHeartbeat{0};
    mutable std::mutex m_mutex;
    std::string m_host; // guarded by m_mutex; FeedServerHost, at most 63 characters
    int m_port = 0;     // guarded by m_mutex; FeedServerPort
};
