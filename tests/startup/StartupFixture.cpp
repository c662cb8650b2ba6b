#include "StartupFixture.h"

#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/RequestServer.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/CLogin.h"
#include "app/ProgramFeed.h"
#include "frame/CMainFrame.h"
#include "ui/ui_thread.h"
#include "app/base/ConfigFile.h"
#include "app/base/LogWriter.h"
#include "app/LoginExchange.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "frame/WatchOrderCommands.h"

#include "pf/http_session.h"
#include "pf/profile_store.h"
#include "ui/form_driver.h"

#include <fstream>
#include <sstream>

namespace startuptest {

void ResetRunGlobals()
{
    g_Config = ConfigRecord{};
    ClearSessionRecord();
    pv_user_info = UserInfoRecord{};
    g_Session = SessionValues{};
    g_EncryptionDetailsFlag = 0;
    SetDefaultSettings();
    g_ProxyInUse = 0;
    SetLoggedIn(false);
    SetTerminalLocked(false);
    FeedState::instance().reset();
    FeedSubscriptions::instance().reset();
    SetTradingAllowed(true);
    SetLogSyncPerLine(false);
}

void StartupFixture::SetUp()
{
    Headless::SetUp();
    ResetRunGlobals();
    tb::BrokerOptions o;
    o.securities = 400;
    o.keepAliveMs = 0;
    broker = std::make_unique<tb::TestBroker>(o);
    std::string error;
    ASSERT_TRUE(broker->start(&error)) << error;
    RootInternetSession().setConnectTo({broker->connectToMap()});
}

void StartupFixture::TearDown()
{
    if (broker)
        broker->stop();
    broker.reset();
    RootInternetSession().setConnectTo({});
    CloseLog();
    ResetRunGlobals();
    Headless::TearDown();
}

void StartupFixture::writeConfig(bool loose, int feedsType) const
{
    const std::string port = std::to_string(broker->httpPort());
    const auto file = loose ? root / "Vortanex.ini" : paths.config() / "Vortanex.ini";
    std::ofstream out(file);
    out << "Trade_Host 127.0.0.1\nTrade_Port " << port << "\nWatch_Host 127.0.0.1\nSecurity_Host 127.0.0.1\n"
        << "Feeds_Host 127.0.0.1\nFeed_Port " << broker->feedPort() << "\nMarket_Data_Host 127.0.0.1\n"
        << "Redirect_Url http://127.0.0.1:" << port << "\nLog_Level 3\nFeeds_Type " << feedsType << "\n";
}

void StartupFixture::scriptLogin(const std::string& id, const std::string& password)
{
    modalHost.script("CLogin", [id, password](ui::FormDriver& d) {
        if (id.empty()) {
            d.click(2);
            return;
        }
        d.type(CLogin::kUserId, id).type(CLogin::kPassword, password).click(1);
        // The login runs off the UI thread; its reply comes back here.
        auto& login = static_cast<CLogin&>(d.form());
        EXPECT_TRUE(ui::UiThread::pumpUntil([&login] { return !login.isExchangeBusy(); }, 30000));
    });
}

CVortanexApp::Options StartupFixture::appOptions(FeedControl* feed)
{
    CVortanexApp::Options o;
    o.paths = paths;
    o.shell = &shell;
    o.lockFolder = root / "locks";
    o.showMaximized = false;
    o.feed = feed;
    o.logSyncPerLine = false;
    return o;
}

bool StartupFixture::startLoggedIn(CVortanexApp& app, ProgramFeed& feed)
{
    writeConfig(false, /*feedsType=*/3);
    scriptLogin("U1", "Test@123");
    app.setOptions(appOptions(&feed));
    return app.InitInstance();
}

void StartupFixture::closeAndExit(CVortanexApp& app)
{
    if (CMainFrame* frame = app.mainFrame()) {
        prompter.answerWhen("Do you want to Quit from this Application", 6);
        EXPECT_TRUE(frame->close());
    }
    app.ExitInstance();
}

int StartupFixture::profileInt(const std::string& key) const
{
    const pf::ProfileStore store(paths.config() / "Vortanex.profile.ini");
    return store.getInt("Settings", key, -100);
}

std::string StartupFixture::fileText(const std::filesystem::path& path) const
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> StartupFixture::boxTexts() const
{
    std::vector<std::string> out;
    for (const testkit::AskRecord& a : prompter.asks())
        out.push_back(a.text);
    return out;
}

bool StartupFixture::boxShown(const std::string& text) const
{
    for (const std::string& t : boxTexts())
        if (t == text)
            return true;
    return false;
}

int StartupFixture::requestsWith(const std::string& key) const
{
    int n = 0;
    for (const tb::RecordedRequest& r : broker->requests())
        if (r.key() == key)
            ++n;
    return n;
}

std::filesystem::path StartupFixture::userLog(const std::string& user) const
{
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(paths.logs(), ec)) {
        const std::string name = e.path().filename().string();
        if (name.find(user) != std::string::npos && e.path().extension() == ".log")
            return e.path();
    }
    return {};
}

} // namespace startuptest
