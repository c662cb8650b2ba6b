#pragma once
// One feed connection as the broker keeps it (the feed and the demo market
// both write to it).
#include "Connection.h"
#include "TestBroker.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tb {

struct TestBroker::FeedClient {
    int id = 0;
    FeedTransport transport = FeedTransport::Tcp;
    std::string user;
    int slot = -1;
    std::vector<int> tokens;      // guarded by TestBroker::m_mutex
    std::vector<int> depthTokens; // guarded by TestBroker::m_mutex
    int heartbeats = 0;           // guarded by TestBroker::m_mutex
    int64_t demoTicks = 0;        // guarded by TestBroker::m_mutex; demo steps since the slot was given
    bool splitFrames = false;
    std::shared_ptr<Connection> connection;
    std::mutex sendMutex; // keeps a frame written in two parts whole against other senders
};

} // namespace tb
