#pragma once
// The test broker on loopback for suites that run the program's exchanges end
// to end: started with no keep-alive frames, every HTTP session of the program
// routed to it, and the configuration's hosts pointing at it.
#include "TestBroker.h"

#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "server/RequestServer.h"

#include "pf/http_session.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace brokertest {

// A running broker with `securities` securities, the root HTTP session routed
// to it; null (with the test failed) when it could not start.
inline std::unique_ptr<tb::TestBroker> startLoopbackBroker(int securities)
{
    tb::BrokerOptions o;
    o.securities = securities;
    o.keepAliveMs = 0;
    auto broker = std::make_unique<tb::TestBroker>(o);
    std::string error;
    if (!broker->start(&error)) {
        ADD_FAILURE() << "test broker did not start: " << error;
        return nullptr;
    }
    RootInternetSession().setConnectTo({broker->connectToMap()});
    return broker;
}

// Stops the broker (if any) and routes the root HTTP session to real addresses again.
inline void stopLoopbackBroker(std::unique_ptr<tb::TestBroker>& broker)
{
    if (broker)
        broker->stop();
    broker.reset();
    RootInternetSession().setConnectTo({});
}

// A fresh configuration whose trade, watch and market-data hosts are the broker.
inline void pointConfigAt(const tb::TestBroker& broker)
{
    g_Config = ConfigRecord{};
    CopyFixedText(g_Config.Trade_Host, "127.0.0.1");
    g_Config.Trade_Port = broker.httpPort();
    CopyFixedText(g_Config.Watch_Host, "127.0.0.1");
    CopyFixedText(g_Config.Market_Data_Host, "127.0.0.1");
}

} // namespace brokertest
