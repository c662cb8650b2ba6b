#include "LoginFixture.h"

#include "broker_test_support.h"

#include "app/base/AppSettings.h"
#include "app/CAuthClientDet.h"
#include "app/CChgPassword.h"
#include "app/CLogin.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/LoginExchange.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"

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
    broker = brokertest::startLoopbackBroker(200);
    ASSERT_TRUE(broker);
    brokertest::pointConfigAt(*broker);
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
    brokertest::stopLoopbackBroker(broker);
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
    waitForExchange(d);
}

bool waitForAuth(ui::FormDriver& d)
{
    auto& auth = static_cast<CAuthClientDet&>(d.form());
    return ui::UiThread::pumpUntil([&auth] { return !auth.isBusy(); }, 30000);
}

bool waitForChange(ui::FormDriver& d)
{
    auto& change = static_cast<CChgPassword&>(d.form());
    return ui::UiThread::pumpUntil([&change] { return !change.isBusy(); }, 30000);
}

bool waitForExchange(ui::FormDriver& d)
{
    auto& login = static_cast<CLogin&>(d.form());
    return ui::UiThread::pumpUntil([&login] { return !login.isExchangeBusy(); }, 30000);
}

bool waitForHelp(ui::FormDriver& d)
{
    auto& login = static_cast<CLogin&>(d.form());
    return ui::UiThread::pumpUntil([&login] { return !login.isHelpBusy(); }, 30000);
}

} // namespace logintest
