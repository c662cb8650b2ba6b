#include "LoginFixture.h"
#include "stand_in_opener.h"
#include "testkit/ui_guard_trap.h"

#include "app/CChgPassword.h"
#include "app/CLogin.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/LoginExchange.h"
#include "app/UnlockLogin.h"
#include "app/base/Md5.h"
#include "app/base/SessionRecord.h"
#include "testkit/contrast.h"
#include "ui/ui_thread.h"

#include "pf/desktop_shell.h"

#include <QApplication>
#include <QTest>

#include <QTimer>

#include <string>

namespace logintest {
namespace test_login_dialog {

namespace {

using LoginDialogTest = LoginFixture;

std::string digestOf(const std::string& password)
{
    std::string d;
    HashPassword(password, d);
    return d;
}

TEST_F(LoginDialogTest, SuccessfulLoginFillsTheSessionRecordAndSendsTheRequestAsTheServerReadsIt)
{
    CopyFixedText(g_Session.security_stamp, "0-0-0-0");
    const int result = runLogin([](ui::FormDriver& d) { typeAndLogin(d, " U1 ", "Test@123", "AB12"); });
    EXPECT_EQ(result, 1);

    const auto logins = requestsWith("LoginData=3000");
    ASSERT_EQ(logins.size(), 1u);
    const std::vector<std::string>& f = logins[0].request.fields;
    ASSERT_GE(f.size(), 10u);
    EXPECT_EQ(f[1], "U1"); // trimmed
    EXPECT_EQ(f[2], digestOf("Test@123"));
    EXPECT_EQ(f[3], "4");
    EXPECT_EQ(f[4], std::string(FixedTextView(pv_user_info.local_address)));
    EXPECT_EQ(f[5], "242");
    EXPECT_EQ(f[6], "AB12");
    EXPECT_EQ(f[7], "MRT382QJ");
    EXPECT_EQ(f[8], "1");
    EXPECT_EQ(logins[0].request.items.at("SecDate"), "0-0-0-0");
    EXPECT_EQ(requestsWith("ED=19").size(), 1u);

    EXPECT_STREQ(pv_user_info.feed_update_host, "127.0.0.1");
    EXPECT_EQ(pv_user_info.feed_update_port, broker->feedPort());
    EXPECT_STREQ(pv_user_info.session_id, "SESS0001");
    EXPECT_STREQ(pv_user_info.user_id, "U1");
    EXPECT_STREQ(pv_user_info.user_name, "Test User");
    EXPECT_EQ(pv_user_info.user_type, 'C');
    EXPECT_STREQ(pv_user_info.client_code, "ABC12");
    EXPECT_STREQ(pv_user_info.client_code2, "ABC12");
    EXPECT_EQ(pv_user_info.segment_count, 7);
    ASSERT_EQ(pv_user_info.segments.size(), 15u);
    EXPECT_EQ(pv_user_info.segments[6].id, 12);
    EXPECT_STREQ(pv_user_info.segments[6].name, "MIS Options");
    EXPECT_EQ(pv_user_info.segments[6].flag, 'A');
    EXPECT_EQ(g_Session.account_flag, 0);
    EXPECT_EQ(g_Session.client_count, 1);
    EXPECT_EQ(g_Session.clients_in_use, 1);
    // The broker's switches as it sent them: the limits columns and
    // "Additional Margin" on.
    std::string flags(128, '0');
    for (size_t i : {0, 1, 8, 10, 13, 52, 53, 59})
        flags[i] = '1';
    EXPECT_EQ(LoginFlags(), flags);
    EXPECT_EQ(g_Session.category_version, tb::BrokerOptions().categoryVersion);
    EXPECT_NE(std::string(FixedTextView(g_Session.security_stamp)), "0-0-0-0");
    EXPECT_NE(g_Session.last_login[0], '\0');
    EXPECT_EQ(g_Session.login_value24, 1);
    EXPECT_EQ(g_Session.compressed_replies, 0);
    EXPECT_EQ(g_Session.CloseTime, 480);
    EXPECT_STREQ(g_Config.Trade_Host, "127.0.0.1");
    EXPECT_EQ(g_Config.Trade_Port, 80) << "field 28 never survives the login";
    EXPECT_EQ(std::string(g_Config.Redirect_Url), "http://127.0.0.1:" + std::to_string(broker->httpPort()));
    EXPECT_STREQ(g_Config.Gcrn, "CRN001");
    EXPECT_EQ(g_Config.Services_Counter, 1);
    EXPECT_EQ(g_Session.services_version, 3);
    EXPECT_STREQ(g_Config.Market_Data_Host, "127.0.0.1");
    EXPECT_EQ(g_Session.password_days, 30);
    EXPECT_STREQ(g_Session.risk_accepted, "Y");
    EXPECT_STREQ(g_Session.login_message, "Welcome to the Vortanex test broker");

    // The client services (921 names services 1 and 2) and the success tail.
    ASSERT_EQ(requestsWith("ReportData=920").size(), 1u);
    EXPECT_EQ(host.services[0].subscribed, 1);
    EXPECT_EQ(host.services[1].subscribed, 1);
    EXPECT_EQ(host.services[2].subscribed, 0);
    EXPECT_EQ(host.profileUpdates, 1);
    EXPECT_EQ(host.feedbackPopups, 1);
    EXPECT_EQ(host.nomineeNotices, 0);
    EXPECT_EQ(host.riskDisclosures, 0);

    const std::string log = logText();
    ASSERT_NE(log.find("Exit : CLogin::GetClientServicesDet"), std::string::npos) << "the log is read";
    EXPECT_EQ(log.find(digestOf("Test@123")), std::string::npos) << "the password digest reached the log";
    EXPECT_EQ(log.find("Test@123"), std::string::npos);
}

TEST_F(LoginDialogTest, NoticesFollowTheLoginSwitches)
{
    std::string flags(128, '0');
    flags[62] = 'N';
    flags[1] = '1';
    broker->setLoginField(19, flags);
    broker->setLoginField(36, "N");
    broker->setLoginField(9, "V"); // no client services for this user type
    EXPECT_EQ(runLogin([](ui::FormDriver& d) { typeAndLogin(d, "U1", "Test@123"); }), 1);
    EXPECT_EQ(host.nomineeNotices, 1);
    EXPECT_EQ(host.riskDisclosures, 1);
    EXPECT_TRUE(requestsWith("ReportData=920").empty());
}

struct InputCase {
    bool nickName;
    const char* id;
    const char* password;
    const char* token;
    const char* message;
    int focus;
};

TEST_F(LoginDialogTest, InputChecksShowTheirMessageAndFocusTheirEditBeforeAnyRequest)
{
    const InputCase cases[] = {
        {false, "", "Test@123", "", "User Id cannot be blank", CLogin::kUserId},
        {false, "ABCDEFGHIJK", "Test@123", "", "User Id cannot be more than 10 Characters", CLogin::kUserId},
        {false, "U-1", "Test@123", "", "Invalid Credential", CLogin::kUserId},
        {false, "U@1", "Test@123", "", "Invalid Credential", CLogin::kUserId},
        {false, "U 1", "Test@123", "", "Invalid Credential", CLogin::kUserId},
        {false, "U1", "", "", "Password cannot be blank", CLogin::kPassword},
        {false, "U1", "ABCDEFGHIJK", "", "Password cannot be more than 10 Characters", CLogin::kPassword},
        {false, "U1", "Test@123", "123456789", "Token cannot be more than 8 Digits", CLogin::kToken},
        {false, "U1", "Test@123", "12&Sec=1", "Invalid Token / AccessCode", CLogin::kToken},
        {false, "U1", "Test@123", "1|2", "Invalid Token / AccessCode", CLogin::kToken},
        {true, "", "Test@123", "", "Nick Name cannot be blank", CLogin::kUserId},
        {true, "nick|name", "Test@123", "", "Invalid Credential", CLogin::kUserId},
        {true, "nick~name", "Test@123", "", "Invalid Credential", CLogin::kUserId},
        // '@' and '-' are fine in a nick name, so the password check is next.
        {true, "a@b-c", "", "", "Password cannot be blank", CLogin::kPassword},
    };
    const int result = runLogin([&](ui::FormDriver& d) {
        for (const InputCase& c : cases) {
            SCOPED_TRACE(std::string(c.id) + "/" + c.password + "/" + c.token);
            d.click(c.nickName ? CLogin::kNickNameRadio : CLogin::kUserIdRadio);
            EXPECT_EQ(d.form().text(CLogin::kIdLabel), c.nickName ? "Nick Name:" : "User Id :");
            const size_t before = prompter.askCount();
            typeAndLogin(d, c.id, c.password, c.token);
            ASSERT_EQ(prompter.askCount(), before + 1);
            EXPECT_EQ(prompter.asks().back().text, c.message);
            EXPECT_EQ(d.form().focusedId(), c.focus);
            EXPECT_TRUE(d.form().isEnabled(1)) << "Login is enabled again";
        }
        d.form().finish(2);
    });
    EXPECT_EQ(result, 2);
    EXPECT_TRUE(broker->requests().empty()) << "a refused input never reaches the server";
}

// The limits count what the user typed: ten characters of which some take
// two bytes pass; eleven characters are refused before any request.
TEST_F(LoginDialogTest, LengthLimitsCountCharactersNotBytes)
{
    runLogin([](ui::FormDriver& d) {
        typeAndLogin(d, "J\u00fcrgen1234", "P\u00e4ssw\u00f6rd12"); // 10 and 10 characters, 11 and 12 bytes
        if (!d.form().isFinished())
            d.form().finish(2);
    });
    EXPECT_EQ(requestsWith("LoginData=3000").size(), 1u) << ::testing::PrintToString(boxTexts());
    for (const std::string& t : boxTexts())
        EXPECT_EQ(t.find("cannot be more than"), std::string::npos) << t;

    runLogin([](ui::FormDriver& d) {
        typeAndLogin(d, "U1", "P\u00e4ssw\u00f6rd123"); // 11 characters
        typeAndLogin(d, "J\u00fcrgen12345", "Test@123"); // 11 characters
        d.form().finish(2);
    });
    EXPECT_EQ(requestsWith("LoginData=3000").size(), 1u);
    EXPECT_TRUE(boxShown("Password cannot be more than 10 Characters"));
    EXPECT_TRUE(boxShown("User Id cannot be more than 10 Characters"));
}

TEST_F(LoginDialogTest, InvalidCredentialStatusesShowTheFixedTextAndOthersTheServersText)
{
    broker->scriptLogin(109, "Wrong password, 2 tries left");
    broker->scriptLogin(6002, "Session conflict");
    runLogin([](ui::FormDriver& d) {
        typeAndLogin(d, "U1", "Test@123");
        typeAndLogin(d, "U1", "Test@123");
        d.form().finish(2);
    });
    const std::vector<std::string> boxes = boxTexts();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "Invalid Credential");
    EXPECT_EQ(boxes[1], "Invalid Credential");

    broker->scriptLogin(7, "Account Locked by RMS");
    runLogin([](ui::FormDriver& d) {
        typeAndLogin(d, "U1", "Test@123");
        d.form().finish(2);
    });
    EXPECT_EQ(prompter.asks().back().text, "Account Locked by RMS");
    EXPECT_EQ(prompter.asks().back().icon, ui::Icon::Information);
}

// A reply whose status field is missing, empty or not a number is no
// success: not for the login, the unlock or the password change.
TEST_F(LoginDialogTest, RepliesWithoutANumericStatusNeverPass)
{
    struct Case {
        const char* name;
        const char* login;
        const char* unlock;
        const char* change;
    };
    const Case cases[] = {
        {"code only", "3000", "1006|", "1005"},
        {"empty status", "3000|", "1006||Session expired", "1005||Session expired"},
        {"error page", "<html>502 Bad|Gateway</html>", "<html>502 Bad|Gateway</html>", "<html>502 Bad|Gateway</html>"},
        {"status with text after it", "3000|0x|Welcome", "1006|0 OK|", "1005|0k|Changed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        broker->setReply("LoginData=3000", c.login);
        const int result = runLogin([](ui::FormDriver& d) {
            typeAndLogin(d, "U1", "Test@123");
            if (!d.form().isFinished())
                d.form().finish(2);
        });
        EXPECT_NE(result, 1);
        EXPECT_EQ(host.profileUpdates, 0) << "the success tail ran";
        EXPECT_FALSE(boxTexts().empty()) << "the refusal said nothing";
        broker->setReply("LoginData=3000", "", 0);

        broker->setReply("LoginData=1006", c.unlock);
        EXPECT_NE(testkit::onWorker([&] { return UnlockTerminal("U1", digestOf("Test@123"), ""); }), 1);
        broker->setReply("LoginData=1006", "", 0);

        broker->setReply("LoginData=1005", c.change);
        CChgPassword change("U1");
        modalHost.script("CChgPassword", [](ui::FormDriver& d) {
            d.type(CChgPassword::kOldPassword, "Test@123")
                .type(CChgPassword::kNewPassword, "New@1234")
                .type(CChgPassword::kConfirmPassword, "New@1234")
                .click(1);
            waitForChange(d);
            if (!d.form().isFinished())
                d.form().finish(2);
        });
        EXPECT_EQ(ui::modalHost().run(change), 2) << "the dialog closed as if the password had changed";
        broker->setReply("LoginData=1005", "", 0);
    }
}

TEST_F(LoginDialogTest, ThreeFailuresEndTheDialogWithCancelAndNoQuitQuestion)
{
    CLogin* seen = nullptr;
    const int result = runLogin([&](ui::FormDriver& d) {
        seen = &static_cast<CLogin&>(d.form());
        typeAndLogin(d, "U1", "wrong1", "1234");
        // A failed attempt empties password and token and keeps the id.
        EXPECT_EQ(d.form().text(CLogin::kUserId), "U1");
        EXPECT_EQ(d.form().text(CLogin::kPassword), "");
        EXPECT_EQ(d.form().text(CLogin::kToken), "");
        EXPECT_EQ(g_EncryptionDetailsFlag.load(), 0) << "the next attempt asks for the encryption details again";
        EXPECT_FALSE(d.form().isFinished());
        typeAndLogin(d, "U1", "wrong2");
        EXPECT_FALSE(d.form().isFinished());
        typeAndLogin(d, "U1", "wrong3");
        EXPECT_TRUE(d.form().isFinished());
    });
    EXPECT_EQ(result, 2);
    for (const std::string& t : boxTexts())
        EXPECT_NE(t, "Do you want to Quit from this Application");
    EXPECT_EQ(requestsWith("ED=19").size(), 3u);
    EXPECT_EQ(requestsWith("LoginData=3000").size(), 3u);
}

// Every label and button shows its whole text at the default font.
TEST_F(LoginDialogTest, NoTextIsCut)
{
    CLogin dlg(shell, &host);
    dlg.prepare();
    EXPECT_EQ(testkit::clippedTexts(dlg), std::vector<std::string>{});
}

TEST_F(LoginDialogTest, LauncherStatusEndsTheDialogWithCancelAndKeepsTheStatus)
{
    broker->scriptLogin(60041);
    CLogin dlg(shell, &host);
    modalHost.script("CLogin", [](ui::FormDriver& d) { typeAndLogin(d, "U1", "Test@123"); });
    EXPECT_EQ(ui::modalHost().run(dlg), 2);
    EXPECT_EQ(dlg.lastStatus(), 60041);
    for (const std::string& t : boxTexts())
        EXPECT_NE(t, "Do you want to Quit from this Application");
}

TEST_F(LoginDialogTest, ExpiredPasswordOpensTheChangeAndTheNewPasswordLogsIn)
{
    broker->scriptLogin(110, "Your password has expired. Please change your password.");
    modalHost.script("CChgPassword", [](ui::FormDriver& d) {
        EXPECT_EQ(d.form().text(CChgPassword::kUserName), "U1");
        d.type(CChgPassword::kOldPassword, "Test@123")
            .type(CChgPassword::kNewPassword, "New@1234")
            .type(CChgPassword::kConfirmPassword, "New@1234")
            .click(1);
        waitForChange(d);
        EXPECT_TRUE(d.form().isFinished());
    });
    const int result = runLogin([](ui::FormDriver& d) {
        typeAndLogin(d, "U1", "Test@123");
        EXPECT_FALSE(d.form().isFinished());
        typeAndLogin(d, "U1", "New@1234");
    });
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(boxShown("Your password has expired. Please change your password."));
    EXPECT_TRUE(boxShown("Password changed successfully"));
    ASSERT_EQ(requestsWith("LoginData=1005").size(), 1u);
    EXPECT_EQ(requestsWith("LoginData=1005")[0].request.fields[3], digestOf("New@1234"));
    EXPECT_STREQ(pv_user_info.session_id, "SESS0002");
    const std::string log = logText();
    for (const char* secret : {"Test@123", "New@1234"}) {
        EXPECT_EQ(log.find(secret), std::string::npos) << secret;
        EXPECT_EQ(log.find(digestOf(secret)), std::string::npos) << secret;
    }
}

TEST_F(LoginDialogTest, BrowserPageStatusOpensThePageAndKeepsTheDialogAndTheSessionUsable)
{
    CopyFixedText(g_Session.security_stamp, "OLD-STAMP");
    broker->scriptLogin(3);
    const int result = runLogin([&](ui::FormDriver& d) {
        typeAndLogin(d, "U1", "Test@123");
        EXPECT_FALSE(d.form().isFinished());
        EXPECT_STREQ(g_Session.security_stamp, "OLD-STAMP");
        EXPECT_STREQ(g_Config.Trade_Host, "127.0.0.1");
        EXPECT_EQ(d.form().text(CLogin::kPassword), "");
        EXPECT_EQ(static_cast<CLogin&>(d.form()).attempts(), 0);
        typeAndLogin(d, "U1", "Test@123"); // the next attempt still reaches the server
    });
    EXPECT_EQ(result, 1);
    const auto calls = shell.calls();
    ASSERT_EQ(calls.size(), 1u);
    const std::string web = "http://127.0.0.1:" + std::to_string(broker->httpPort());
    EXPECT_EQ(calls[0].target,
              web + "/qtrade/qlogin.exe?LoginData=1002|U1|SESS0001|" + web + "/qtrade/qlogin.exe&ClientUserId=ABC12");
}

// The page of status 3 carries the session id: the desktop's opener gets a
// private page that forwards to it, never the id in its arguments.
TEST_F(LoginDialogTest, BrowserPageStatusKeepsTheSessionIdOutOfTheOpenersArguments)
{
    opener::StandInOpener standIn;
    pf::DesktopShell desktop;
    broker->scriptLogin(3);
    modalHost.script("CLogin", [](ui::FormDriver& d) {
        typeAndLogin(d, "U1", "Test@123");
        d.form().finish(2);
    });
    CLogin dlg(desktop, &host);
    EXPECT_EQ(ui::modalHost().run(dlg), 2);
    const std::vector<std::string> calls = standIn.calls(1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].find("SESS0001"), std::string::npos) << calls[0];
    EXPECT_EQ(standIn.pageMode(0), "600");
    const std::string web = "http://127.0.0.1:" + std::to_string(broker->httpPort());
    EXPECT_EQ(standIn.page(0),
              pf::forwardingPage(web + "/qtrade/qlogin.exe?LoginData=1002|U1|SESS0001|" + web
                                 + "/qtrade/qlogin.exe&ClientUserId=ABC12"));
}

// Server text that the log keeps stays on its own line: a line break in it
// cannot forge a line of the program's own.
TEST_F(LoginDialogTest, ALineBreakInServerTextCannotForgeALogLine)
{
    broker->setLoginField(37, "Welcome\r\nForged - Vortanex is shutdown properly\x1b[2J");
    EXPECT_EQ(runLogin([](ui::FormDriver& d) { typeAndLogin(d, "U1", "Test@123"); }), 1);
    const std::string log = logText();
    EXPECT_NE(log.find("Welcome  Forged - Vortanex is shutdown properly [2J"), std::string::npos) << log;
    EXPECT_EQ(log.find("\nForged"), std::string::npos);
    EXPECT_EQ(log.find('\r'), std::string::npos);
    EXPECT_EQ(log.find('\x1b'), std::string::npos);
}

// With an encrypted session the page's request is Base64, whose '+', '/'
// and '=' would be read back wrongly in a query: they travel encoded.
TEST_F(LoginDialogTest, BrowserPageStatusOfAnEncryptedSessionEncodesTheRequestInTheAddress)
{
    broker->setEncryption(1);
    broker->scriptLogin(4);
    runLogin([&](ui::FormDriver& d) {
        typeAndLogin(d, "U1", "Test@123");
        if (!d.form().isFinished())
            d.form().finish(2);
    });
    const auto calls = shell.calls();
    ASSERT_EQ(calls.size(), 1u);
    const std::string web = "http://127.0.0.1:" + std::to_string(broker->httpPort());
    const std::string head = web + "/qtrade/qlogin.exe?";
    ASSERT_EQ(calls[0].target.rfind(head, 0), 0u) << calls[0].target;
    const std::string query = calls[0].target.substr(head.size());
    EXPECT_EQ(query.find_first_of("+/="), std::string::npos) << query;
    const QByteArray base64 = QByteArray::fromPercentEncoding(QByteArray::fromStdString(query));
    EXPECT_EQ(QByteArray::fromBase64(base64).toStdString(),
              "LoginData=1002|U1|SESS0001|" + web + "/qtrade/qlogin.exe&ClientUserId=ABC12");
}

TEST_F(LoginDialogTest, RepeatStatusIsBoundedAndThenFails)
{
    broker->scriptLogin(2);
    EXPECT_EQ(runLogin([](ui::FormDriver& d) { typeAndLogin(d, "U1", "Test@123"); }), 1);
    EXPECT_EQ(requestsWith("LoginData=3000").size(), 2u);
    EXPECT_EQ(requestsWith("ED=19").size(), 1u) << "a repeat asks no new encryption details";

    broker->clearRequests();
    g_EncryptionDetailsFlag = 0;
    for (int i = 0; i < 10; ++i)
        broker->scriptLogin(2);
    CLogin* login = nullptr;
    runLogin([&](ui::FormDriver& d) {
        login = &static_cast<CLogin&>(d.form());
        typeAndLogin(d, "U1", "Test@123");
        EXPECT_FALSE(d.form().isFinished());
        EXPECT_EQ(login->attempts(), 1);
        d.form().finish(2);
    });
    EXPECT_EQ(requestsWith("LoginData=3000").size(), 1u + login::kMaxLoginRepeats);
    EXPECT_TRUE(boxShown("Login could not be completed. Please try again."));
}

TEST_F(LoginDialogTest, HttpFailuresShowTheirMessages)
{
    struct Case {
        tb::HttpFault fault;
        const char* text;
        const char* caption;
    };
    tb::HttpFault e500;
    e500.status = 500;
    tb::HttpFault empty;
    empty.emptyBody = true;
    const Case cases[] = {
        {e500, "Internet Connectivity Error [500]. Pls contact System Administrator", "Internet Error"},
        {empty, "Unknown Internet Error", "Vortanex"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        g_EncryptionDetailsFlag = 1; // only the login itself meets the fault
        broker->armFault("/qtrade/qlogin.exe", c.fault);
        runLogin([](ui::FormDriver& d) {
            typeAndLogin(d, "U1", "Test@123");
            d.form().finish(2);
        });
        ASSERT_FALSE(prompter.asks().empty());
        EXPECT_EQ(prompter.asks().back().text, c.text);
        EXPECT_EQ(prompter.asks().back().caption, c.caption);
    }
}

TEST_F(LoginDialogTest, ClientCountOfTheReplySizesTheTableOrRefusesTheLogin)
{
    broker->setLoginField(18, "5");
    EXPECT_EQ(runLogin([](ui::FormDriver& d) { typeAndLogin(d, "U1", "Test@123"); }), 1);
    EXPECT_EQ(g_Session.client_count, 5);
    EXPECT_EQ(g_Session.clients_in_use, 0);

    broker->setLoginField(18, "-1");
    g_EncryptionDetailsFlag = 0;
    const int result = runLogin([](ui::FormDriver& d) {
        typeAndLogin(d, "U1", "Test@123");
        EXPECT_FALSE(d.form().isFinished());
        d.form().finish(2);
    });
    EXPECT_EQ(result, 2);
    EXPECT_TRUE(g_Session.clients.empty());
    EXPECT_TRUE(boxShown("Invalid client details received. Pls contact System Administrator"));
}

// A user who types as soon as the dialog shows types the id (the password in
// the unlock mode, whose id is given): real key presses to whatever has the
// focus.
TEST_F(LoginDialogTest, TypingAtOnceGoesIntoTheIdOrIntoThePasswordWhenTheIdIsGiven)
{
    CopyFixedText(pv_user_info.user_id, "U1");
    for (const bool unlock : {false, true}) {
        SCOPED_TRACE(unlock ? "unlock" : "login");
        CLogin login(shell, &host, nullptr);
        login.setUnlockMode(unlock);
        login.prepare();
        login.show();
        login.activateWindow();
        ASSERT_TRUE(pumpUntil([&] { return QApplication::focusWidget() != nullptr; }));
        QTest::keyClicks(nullptr, QStringLiteral("Ab1"));
        if (unlock) {
            EXPECT_EQ(login.text(CLogin::kUserId), "U1");
            EXPECT_EQ(login.text(CLogin::kPassword), "Ab1");
        } else {
            EXPECT_EQ(login.text(CLogin::kUserId), "Ab1");
            EXPECT_EQ(login.text(CLogin::kPassword), "");
        }
        login.hide();
    }
}

// A server that takes its time: the exchange runs off the UI thread, which
// goes on serving events while the dialog shows the progress; Cancel
// abandons the exchange at once and the late reply changes nothing; the next
// try logs in. Table: the encryption-details step and the login itself.
TEST_F(LoginDialogTest, SlowLoginShowsProgressAndCancelAbandonsIt)
{
    struct Case {
        const char* name;
        const char* path;
    };
    const Case cases[] = {{"encryption details", "/qtrade/qencdet.exe"}, {"login", "/qtrade/qlogin.exe"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        pv_user_info = UserInfoRecord{};
        tb::HttpFault slow;
        slow.delayMs = 60 * 1000;
        broker->armFault(c.path, slow);
        const int result = runLogin([&](ui::FormDriver& d) {
            d.type(CLogin::kUserId, "U1").type(CLogin::kPassword, "Test@123").click(1);
            auto& login = static_cast<CLogin&>(d.form());
            ASSERT_TRUE(login.isExchangeBusy());
            // The UI thread is free: a timer posted now fires while the server waits.
            bool served = false;
            QTimer::singleShot(0, [&served] { served = true; });
            ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return served; }, 5000));
            ASSERT_TRUE(broker->waitForRequest(
                [&](const tb::RecordedRequest& r) { return r.path == c.path; }, 10000));
            EXPECT_TRUE(login.isVisible(CLogin::kProgress));
            EXPECT_EQ(login.text(CLogin::kProgress).rfind("Logging in", 0), 0u) << login.text(CLogin::kProgress);
            EXPECT_EQ(login.text(2), "Cancel");
            EXPECT_FALSE(login.isEnabled(1));
            EXPECT_FALSE(login.isEnabled(CLogin::kUserId));

            d.click(2); // Cancel: the exchange is abandoned, the dialog stays
            EXPECT_FALSE(login.isExchangeBusy());
            EXPECT_FALSE(d.form().isFinished());
            EXPECT_FALSE(login.isVisible(CLogin::kProgress));
            EXPECT_EQ(login.text(2), "Exit");
            EXPECT_TRUE(login.isEnabled(1));
            EXPECT_EQ(login.text(CLogin::kUserId), "U1") << "nothing typed is lost";
            EXPECT_STREQ(pv_user_info.session_id, "");

            typeAndLogin(d, "U1", "Test@123"); // the next try goes through
        });
        EXPECT_EQ(result, 1);
        EXPECT_STRNE(pv_user_info.session_id, "");
        EXPECT_TRUE(prompter.asks().empty()) << prompter.asks().front().text;
        broker->clearRequests();
        g_EncryptionDetailsFlag = 0;
    }
}

TEST_F(LoginDialogTest, ExitAsksBeforeQuitting)
{
    prompter.queueAnswer(7); // No
    const int result = runLogin([](ui::FormDriver& d) {
        d.click(2);
        EXPECT_FALSE(d.form().isFinished());
        d.click(2); // Yes (the first button)
    });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(prompter.asks().at(0).text, "Do you want to Quit from this Application");
    EXPECT_EQ(prompter.asks().at(0).buttons, ui::Buttons::YesNo);
}

} // namespace

} // namespace test_login_dialog
} // namespace logintest
