#include "ServerFixture.h"

#include "broker_test_support.h"

#include "server/CProxyDetails.h"

#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"

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
    broker = brokertest::startLoopbackBroker(200);
    ASSERT_TRUE(broker);
    brokertest::pointConfigAt(*broker);
    CopyFixedText(g_Config.Security_Host, "127.0.0.1");
    CopyFixedText(g_Config.Feeds_Host, "127.0.0.1");
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
    brokertest::stopLoopbackBroker(broker);
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
