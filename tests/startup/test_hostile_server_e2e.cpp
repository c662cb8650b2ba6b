// A faulty or hostile broker cannot reach past its reply: a session opened
// over TLS stays on TLS after the login, and hosts and addresses of the login
// reply cannot write keys of their own into the per-user file.
#include "StartupFixture.h"

#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/CLogin.h"
#include "app/VortanexApp.h"
#include "ui/form_driver.h"
#include "ui/ui_thread.h"
#include "server/RequestServer.h"

#include "pf/http_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>

namespace startuptest {
namespace test_hostile_server_e2e {

namespace {

class HostileServerE2E : public StartupFixture {
protected:
    // The broker again, this time also listening for TLS.
    void restartWithTls()
    {
        broker->stop();
        tb::BrokerOptions o;
        o.securities = 400;
        o.keepAliveMs = 0;
        o.tls = true;
        broker = std::make_unique<tb::TestBroker>(o);
        std::string error;
        ASSERT_TRUE(broker->start(&error)) << error;
        RootInternetSession().setConnectTo(pf::HttpSession::parseConnectTo(broker->connectToMap()));
    }
};

TEST_F(HostileServerE2E, ASessionOpenedOverTlsSendsEveryLaterRequestOverTls)
{
    restartWithTls();
    const std::string port = std::to_string(broker->httpPort());
    std::ofstream(paths.config() / "Vortanex.ini")
        << "Trade_Host 127.0.0.1\nTrade_Port 443\nTls_CA_File " << broker->caCertPath()
        << "\nWatch_Host 127.0.0.1\nSecurity_Host 127.0.0.1\nFeeds_Host 127.0.0.1\nFeed_Port " << broker->feedPort()
        << "\nMarket_Data_Host 127.0.0.1\nRedirect_Url https://127.0.0.1\nLog_Level 3\nFeeds_Type 3\n";
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance()) << ::testing::PrintToString(boxTexts()) << fileText(CurrentLogPath());
    EXPECT_EQ(g_Config.Trade_Port, 443);
    closeAndExit(app);

    int afterLogin = 0;
    bool loggedIn = false;
    for (const tb::RecordedRequest& r : broker->requests()) {
        if (r.path.rfind("/qtrade/", 0) != 0)
            continue;
        EXPECT_EQ(r.channel, "https") << r.key() << " went in clear";
        afterLogin += loggedIn;
        loggedIn = loggedIn || r.key() == "LoginData=3000";
    }
    EXPECT_TRUE(loggedIn);
    EXPECT_GT(afterLogin, 0);
    EXPECT_EQ(requestsWith("LoginData=1001"), 1) << "the logout";
}

TEST_F(HostileServerE2E, ReplyHostsWithBlanksNeverReachTheNextSession)
{
    // Each injection names keys of the per-user file: a session reading them
    // would take its feed, list and master hosts and its feed port from the
    // reply. The CRN's field holds 20 characters, so its injection is short.
    const std::string keys = "\nFeeds_Host 10.66.0.1\nFeed_Port 9\nWatch_Host 10.66.0.1 Security_Host\t10.66.0.1";
    struct Case {
        int field;
        std::string value;
    } cases[] = {
        {29, "http://127.0.0.1" + keys},
        {30, "C\nFeed_Port 9"},
        {33, "127.0.0.1" + keys},
    };
    // How often a key is a token of the per-user file, as its reader splits it.
    const auto keyTokens = [](const std::string& text, const std::string& key) {
        std::istringstream in(text);
        int n = 0;
        for (std::string token; in >> token;)
            n += token == key;
        return n;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        ResetRunGlobals();
        std::filesystem::remove(paths.data() / "U1.bin");
        writeConfig();
        broker->setLoginField(c.field, c.value);
        scriptLogin("U1", "Test@123");
        {
            CVortanexApp first;
            first.setOptions(appOptions());
            ASSERT_TRUE(first.InitInstance()) << ::testing::PrintToString(boxTexts());
            // The refused value leaves the configured one in use.
            EXPECT_EQ(FixedTextView(g_Config.Redirect_Url), "http://127.0.0.1:" + std::to_string(broker->httpPort()));
            // (The configuration file carries no market-data host: refused,
            // the field stays empty.)
            EXPECT_EQ(FixedTextView(g_Config.Market_Data_Host), c.field == 33 ? "" : "127.0.0.1");
            EXPECT_EQ(FixedTextView(g_Config.Gcrn).find(' '), std::string_view::npos);
            closeAndExit(first);
        }
        const std::string written = fileText(paths.data() / "U1.bin");
        for (const char* key : {"Feeds_Host", "Feed_Port", "Watch_Host", "Security_Host"})
            EXPECT_EQ(keyTokens(written, key), 1) << key << " in\n" << written;

        broker->setLoginField(c.field, {}, true);
        ResetRunGlobals();
        scriptLogin("U1", "Test@123");
        CVortanexApp next;
        next.setOptions(appOptions());
        ASSERT_TRUE(next.InitInstance()) << ::testing::PrintToString(boxTexts());
        EXPECT_EQ(FixedTextView(g_Config.Feeds_Host), "127.0.0.1");
        EXPECT_EQ(g_Config.Feed_Port, broker->feedPort());
        EXPECT_EQ(FixedTextView(g_Config.Watch_Host), "127.0.0.1");
        EXPECT_EQ(FixedTextView(g_Config.Security_Host), "127.0.0.1");
        closeAndExit(next);
    }
}

// The login reply's user id names the user's files: an id that is no plain
// file name refuses the login, and nothing is written outside the folder.
TEST_F(HostileServerE2E, AReturnedUserIdThatIsNoPlainNameRefusesTheLogin)
{
    const auto outside = root.parent_path();
    prompter.answerWhen("Do you want to Quit from this Application", 6);
    long refusals = 0;
    for (const char* id : {"../../vxm", "..", "x/vxm"}) {
        SCOPED_TRACE(id);
        ResetRunGlobals();
        writeConfig();
        broker->setLoginField(7, id);
        modalHost.script("CLogin", [](ui::FormDriver& d) {
            d.type(CLogin::kUserId, "U1").type(CLogin::kPassword, "Test@123").click(1);
            auto& login = static_cast<CLogin&>(d.form());
            EXPECT_TRUE(ui::UiThread::pumpUntil([&login] { return !login.isExchangeBusy(); }, 30000));
            if (!d.form().isFinished())
                d.form().finish(2);
        });
        CVortanexApp app;
        app.setOptions(appOptions());
        const bool started = app.InitInstance();
        EXPECT_FALSE(started);
        const std::vector<std::string> boxes = boxTexts();
        EXPECT_EQ(std::count(boxes.begin(), boxes.end(), "Invalid user id received. Pls contact System Administrator"),
                  ++refusals)
            << ::testing::PrintToString(boxes);
        if (started)
            closeAndExit(app);
        else
            app.ExitInstance();
        for (const auto& folder : {outside, outside.parent_path(), paths.data().parent_path()})
            for (const char* name : {"vxm_Alerts.dat", "vxm.bin", "Vortanex_vxm.dat"})
                EXPECT_FALSE(std::filesystem::exists(folder / name)) << folder / name;
    }
    broker->setLoginField(7, {}, true);
}

// Without a runtime folder, a lock folder in the shared temporary folder that
// is not the user's own private one is not used: the start goes on with a
// folder under the home folder, or says why it cannot.
TEST_F(HostileServerE2E, ALockFolderOthersCanWriteIsNotUsed)
{
    const auto keep = [](const char* name) {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto put = [](const char* name, const std::optional<std::string>& v) {
        if (v)
            ::setenv(name, v->c_str(), 1);
        else
            ::unsetenv(name);
    };
    const auto runtime = keep("XDG_RUNTIME_DIR");
    const auto tmp = keep("TMPDIR");
    const auto home = keep("HOME");
    const auto shared = root / "tmp" / ("Vortanex-" + std::to_string(::getuid()));
    std::filesystem::create_directories(shared);
    std::filesystem::permissions(shared, std::filesystem::perms::all);
    std::filesystem::create_directories(root / "home");
    ::unsetenv("XDG_RUNTIME_DIR");
    ::setenv("TMPDIR", (root / "tmp").c_str(), 1);
    ::setenv("HOME", (root / "home").c_str(), 1);
    writeConfig();
    for (const bool homeFit : {true, false}) {
        SCOPED_TRACE(homeFit);
        ResetRunGlobals();
        if (!homeFit) {
            std::filesystem::create_directories(root / "home" / ".vortanex-locks");
            std::filesystem::permissions(root / "home" / ".vortanex-locks", std::filesystem::perms::all);
        }
        scriptLogin("U1", "Test@123");
        CVortanexApp app;
        CVortanexApp::Options o = appOptions();
        o.lockFolder.clear();
        app.setOptions(o);
        const bool started = app.InitInstance();
        EXPECT_EQ(started, homeFit) << ::testing::PrintToString(boxTexts());
        EXPECT_TRUE(std::filesystem::is_empty(shared)) << "the lock went into the shared folder";
        if (homeFit)
            EXPECT_FALSE(std::filesystem::is_empty(root / "home" / ".vortanex-locks"));
        else
            EXPECT_TRUE(boxShown("Vortanex cannot start: no private folder for its lock could be made (the "
                                 "temporary folder's one belongs to another user or lets others in, and none "
                                 "could be made in the home folder)."))
                << ::testing::PrintToString(boxTexts());
        if (started)
            closeAndExit(app);
        else
            app.ExitInstance();
    }
    put("XDG_RUNTIME_DIR", runtime);
    put("TMPDIR", tmp);
    put("HOME", home);
}

} // namespace
} // namespace startuptest

} // namespace test_hostile_server_e2e
