#pragma once
// The live feed of the program: the dispatcher with its consumers (the main
// frame's message bar and status panes, the market-status and index tables)
// and the feed connection, behind the start-up's FeedControl. UI thread for
// its own calls; the consumers are called from the feed's threads.
#include "app/VortanexApp.h"
#include "server/FeedConnection.h"

#include <future>
#include <memory>

class ProgramFeed final : public FeedControl {
public:
    ProgramFeed();
    ~ProgramFeed() override;
    ProgramFeed(const ProgramFeed&) = delete;
    ProgramFeed& operator=(const ProgramFeed&) = delete;

    void connect() override;
    void disconnect() override;
    void shutdown() override;
    bool running() const override;
    bool up() const override;
    bool socketOpen() const override;
    int64_t lastPacketTime() const override;
    int64_t lastHeartbeatTime() const override;
    void heartbeat() override;
    void watchdog() override;
    void setBroadcastLog(const std::filesystem::path& logsDir) override;

    // Connections made so far (tests).
    int connectionCount() const;

private:
    struct Parts;
    std::unique_ptr<Parts> m_parts;
};

// The stream feed's proxy dialog: shown on the UI thread (one at a time with
// the request function's), answered through the future; not OK when cancelled
// or when the program is shutting down. Any thread.
std::future<FeedUi::ProxyAnswer> AskFeedProxyCredentials();
