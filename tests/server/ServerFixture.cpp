#include "ServerFixture.h"

#include "server/CProxyDetails.h"
#include "server/RequestServer.h"

#include "app/AppSettings.h"
#include "app/ConfigFile.h"
#include "app/FixedText.h"
#include "app/ProgramPaths.h"
#include "app/SessionRecord.h"

#include "pf/http_session.h"
#include "pf/lzo.h"
#include "ui/form.h"
#include "ui/form_driver.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace servertest {

void ServerFixture::SetUp()
{
    Headless::SetUp();
    SetProgramPaths(paths);
    tb::BrokerOptions o;
    o.securities = 200;
    o.keepAliveMs = 0;
    broker = std::make_unique<tb::TestBroker>(o);
    std::string error;
    ASSERT_TRUE(broker->start(&error)) << error;
    RootInternetSession().setConnectTo({broker->connectToMap()});

    g_Config = ConfigRecord{};
    CopyFixedText(g_Config.Trade_Host, "127.0.0.1");
    g_Config.Trade_Port = broker->httpPort();
    CopyFixedText(g_Config.Security_Host, "127.0.0.1");
    CopyFixedText(g_Config.Watch_Host, "127.0.0.1");
    CopyFixedText(g_Config.Feeds_Host, "127.0.0.1");
    CopyFixedText(g_Config.Market_Data_Host, "127.0.0.1");
    ClearSessionRecord();
    pv_user_info = UserInfoRecord{};
    CopyFixedText(pv_user_info.user_id, "U1");
    CopyFixedText(pv_user_info.session_id, "S1");
    CopyFixedText(pv_user_info.local_address, "127.0.0.1");
    CopyFixedText(pv_user_info.feed_update_host, "127.0.0.1");
    pv_user_info.feed_update_port = broker->httpPort();
    pv_user_info.id_kind = 1;
    SetDefaultSettings();
    g_ProxyInUse = 0;
}

void ServerFixture::TearDown()
{
    if (broker)
        broker->stop();
    broker.reset();
    RootInternetSession().setConnectTo({});
    Headless::TearDown();
}

int ServerFixture::requestsTo(const std::string& path) const
{
    const auto all = broker->requests();
    return static_cast<int>(std::count_if(all.begin(), all.end(), [&](const auto& r) { return r.path == path; }));
}

bool ServerFixture::waitForRequests(const std::string& path, int count) const
{
    for (int i = 0; i < 1000; ++i) {
        if (requestsTo(path) >= count)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

int ServerFixture::proxyPrompts() const
{
    const auto& runs = modalHost.runs();
    return static_cast<int>(std::count(runs.begin(), runs.end(), "CProxyDetails"));
}

void scriptProxyCancel(testkit::ScriptedModalHost& host)
{
    host.script("CProxyDetails", [](ui::FormDriver& d) { d.click(2); });
}

void scriptProxyOk(testkit::ScriptedModalHost& host, const std::string& user, const std::string& password,
                   const std::string& domain)
{
    host.script("CProxyDetails", [=](ui::FormDriver& d) {
        d.type(CProxyDetails::kUserName, user).type(CProxyDetails::kPassword, password);
        d.type(CProxyDetails::kDomain, domain).click(1);
    });
}

std::string packLzo(const std::string& text)
{
    const auto packed = pf::lzo::compress(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    return std::string(packed.begin(), packed.end());
}

} // namespace servertest
