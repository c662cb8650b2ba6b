#pragma once
#include <cstdint>
#include <filesystem>

// The live feed as start-up and exit see it; the feed code installs the real
// one. The default does nothing (no feed).
class FeedControl {
public:
    virtual ~FeedControl() = default;
    // CMainFrame::OnConnect: starts the feed thread.
    virtual void connect() {}
    // CMainFrame::OnDisconnect: tells the feed to stop (does not wait).
    virtual void disconnect() {}
    // The exit: stops the feed and joins its threads and handlers; after it
    // returns no feed thread touches the tables.
    virtual void shutdown() {}
    virtual bool running() const { return false; }
    // The feed serves: its server gave it a slot (the polling feed: its
    // polls are answered). running() is set before the thread even starts.
    virtual bool up() const { return false; }
    // A feed socket is open to send the heartbeat on.
    virtual bool socketOpen() const { return false; }
    virtual int64_t lastPacketTime() const { return 0; }
    // The last heartbeat or subscription sent on the feed.
    virtual int64_t lastHeartbeatTime() const { return 0; }
    // The timer's heartbeat (sent on a short-lived worker).
    virtual void heartbeat() {}
    // 75 s without a packet: the feed is told to stop; its own thread closes
    // and frees its connection (the UI thread never frees what it may use).
    virtual void watchdog() {}
    // The broadcast log's folder ("WriteBroadCastLog" of the profile); empty
    // switches it off.
    virtual void setBroadcastLog(const std::filesystem::path& logsDir) { (void)logsDir; }
};
