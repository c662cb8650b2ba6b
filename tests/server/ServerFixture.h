#pragma once
// A headless program folder with the test broker running on loopback and the
// configuration pointing every host at it (port 80 through the session's
// redirect map).
#include "testkit/headless.h"
#include "testkit/ui_guard_trap.h"

#include "TestBroker.h"

#include <memory>
#include <string>

namespace servertest {

class ServerFixture : public testkit::Headless {
protected:
    void SetUp() override;
    void TearDown() override;

    // The requests the broker recorded for a path.
    int requestsTo(const std::string& path) const;
    // Waits (bounded) until the broker has recorded `count` requests for a path.
    bool waitForRequests(const std::string& path, int count) const;
    // The proxy dialog's runs so far.
    int proxyPrompts() const;

    std::unique_ptr<tb::TestBroker> broker;
};

// A proxy dialog script: Cancel, or OK with these credentials.
void scriptProxyCancel(testkit::ScriptedModalHost& host);
void scriptProxyOk(testkit::ScriptedModalHost& host, const std::string& user, const std::string& password,
                   const std::string& domain = {});

std::string packLzo(const std::string& text);

} // namespace servertest
