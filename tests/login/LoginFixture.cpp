#include "LoginFixture.h"

#include "app/AppSettings.h"
#include "app/CLogin.h"
#include "app/ConfigFile.h"
#include "app/FixedText.h"
#include "app/LogWriter.h"
#include "app/LoginExchange.h"
#include "app/ProgramPaths.h"
#include "app/SessionRecord.h"
#include "server/RequestServer.h"

#include "pf/http_session.h"
#include "ui/modal_host.h"
#include "ui/ui_thread.h"

#include <fstream>
#include <sstream>

namespace logintest {

void LoginFixture::SetUp()
{
    Headless::SetUp();
    SetProgramPaths(paths);
    StartLog(paths);
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
    CopyFixedText(g_Config.Watch_Host, "127.0.0.1");
    CopyFixedText(g_Config.Market_Data_Host, "127.0.0.1");
    ClearSessionRecord();
    pv_user_info = UserInfoRecord{};
    g_Session = SessionValues{};
    g_EncryptionDetailsFlag = 0;
    SetDefaultSettings();
    g_ProxyInUse = 0;
    ServiceRecord s;
    for (int id : {1, 2, 3}) {
        s.id = id;
        host.services.push_back(s);
    }
}

void LoginFixture::TearDown()
{
    if (broker)
        broker->stop();
    broker.reset();
    RootInternetSession().setConnectTo({});
    CloseLog();
    g_Config = ConfigRecord{};
    ClearSessionRecord();
    g_EncryptionDetailsFlag = 0;
    Headless::TearDown();
}

std::vector<tb::RecordedRequest> LoginFixture::requestsWith(const std::string& key) const
{
    std::vector<tb::RecordedRequest> out;
    for (const tb::RecordedRequest& r : broker->requests())
        if (r.key() == key)
            out.push_back(r);
    return out;
}

std::string LoginFixture::logText() const
{
    std::ifstream in(CurrentLogPath());
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> LoginFixture::boxTexts() const
{
    std::vector<std::string> out;
    for (const testkit::AskRecord& a : prompter.asks())
        out.push_back(a.text);
    return out;
}

bool LoginFixture::boxShown(const std::string& text) const
{
    for (const std::string& t : boxTexts())
        if (t == text)
            return true;
    return false;
}

int LoginFixture::runLogin(const std::function<void(ui::FormDriver&)>& script)
{
    modalHost.script("CLogin", script);
    CLogin dlg(shell, &host);
    return ui::modalHost().run(dlg);
}

void LoginFixture::typeAndLogin(ui::FormDriver& d, const std::string& id, const std::string& password,
                                const std::string& token)
{
    d.type(CLogin::kUserId, id).type(CLogin::kPassword, password).type(CLogin::kToken, token).click(1);
}

bool waitForHelp(ui::FormDriver& d)
{
    auto& login = static_cast<CLogin&>(d.form());
    return ui::UiThread::pumpUntil([&login] { return !login.isHelpBusy(); }, 30000);
}

} // namespace logintest
