// The configuration's TLS keys reach the request function: a broker whose
// certificate is signed by its own authority is trusted only when the
// configuration names that authority, or when checks are switched off.
#include "ServerFixture.h"

#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "server/RequestServer.h"

#include "pf/http_session.h"

#include <string>

namespace {

class TlsConfigTest : public servertest::ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        tb::BrokerOptions o;
        o.tls = true;
        o.keepAliveMs = 0;
        tlsBroker = std::make_unique<tb::TestBroker>(o);
        std::string error;
        ASSERT_TRUE(tlsBroker->start(&error)) << error;
        // The trading host on the secure port, reached on the TLS broker.
        CopyFixedText(g_Config.Trade_Host, "localhost");
        g_Config.Trade_Port = 443;
        RootInternetSession().setConnectTo({"localhost:443:127.0.0.1:" + std::to_string(tlsBroker->httpsPort())});
    }
    void TearDown() override
    {
        g_Config.Tls_CA_File[0] = '\0';
        g_Config.Tls_Verify = 1;
        ApplyConfiguredTls();
        if (tlsBroker)
            tlsBroker->stop();
        ServerFixture::TearDown();
    }

    int logout()
    {
        std::string reply;
        long length = 0;
        return testkit::onWorker([&] { return RequestServer(0, 1001, "LoginData=1001|U1|S1|4", reply, length); });
    }

    std::unique_ptr<tb::TestBroker> tlsBroker;
};

TEST_F(TlsConfigTest, UnknownAuthorityIsRefusedUntilTheConfigurationNamesIt)
{
    struct Case {
        const char* name;
        bool namesAuthority;
        int verify;
        bool reaches;
    } cases[] = {
        {"system authorities only", false, 1, false},
        {"the broker's authority named", true, 1, true},
        {"checks switched off", false, 0, true},
    };
    for (const Case& c : cases) {
        CopyFixedText(g_Config.Tls_CA_File, c.namesAuthority ? tlsBroker->caCertPath() : std::string());
        g_Config.Tls_Verify = c.verify;
        ApplyConfiguredTls();
        EXPECT_EQ(logout() == 200, c.reaches) << c.name;
    }
}

} // namespace
