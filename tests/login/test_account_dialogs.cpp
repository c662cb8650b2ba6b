#include "LoginFixture.h"

#include "app/CAuthClientDet.h"
#include "app/CChgPassword.h"
#include "app/CLogin.h"
#include "app/base/FixedText.h"
#include "app/LoginExchange.h"
#include "app/base/Md5.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "frame/controls/CComboQst.h"

#include "ui/modal_host.h"

#include <QThread>

#include <string>
#include <thread>

namespace logintest {
namespace test_account_dialogs {

namespace {

using RecoveryTest = LoginFixture;

std::string digestOf(const std::string& password)
{
    std::string d;
    HashPassword(password, d);
    return d;
}

// Picks a Login Help command with the id (and password) typed and waits for
// the worker.
void runHelp(ui::FormDriver& d, testkit::ScriptedPrompter& prompter, int command, const std::string& id,
             const std::string& password = {})
{
    d.type(CLogin::kUserId, id).type(CLogin::kPassword, password);
    prompter.queueMenuCommand(command);
    d.click(CLogin::kLoginHelp);
    EXPECT_TRUE(waitForHelp(d));
    EXPECT_TRUE(d.form().isEnabled(CLogin::kAccessCode)) << "the inputs come back when the exchange ends";
    EXPECT_TRUE(d.form().isEnabled(1));
}

TEST_F(RecoveryTest, ForgottenPasswordAnswersTheQuestionsOnTheUiThreadAndNeverLogsTheAnswer)
{
    broker->setReply("ReportData=1007",
                     "1007|1|Please answer|U1||2|1|3^1^Your pet's name^T^~5^0^Your city^C^Pune,Agra,Others", 1);
    const std::thread::id uiThread = std::this_thread::get_id();
    bool questionsRan = false;
    modalHost.script("CAuthClientDet", [&](ui::FormDriver& d) {
        questionsRan = true;
        auto& dlg = static_cast<CAuthClientDet&>(d.form());
        EXPECT_EQ(dlg.windowTitle(), "Authentication Questions");
        EXPECT_FALSE(dlg.isVisible(CAuthClientDet::kFirstCheck)) << "a mandatory question's box is hidden";
        EXPECT_TRUE(dlg.checked(CAuthClientDet::kFirstCheck));
        EXPECT_FALSE(dlg.comboOf(1)->isEnabled()) << "optional questions start disabled";
        EXPECT_FALSE(dlg.isVisible(CAuthClientDet::kGenerateOtp));
        d.type(dlg.inputIds(0).front(), "Bruno7").click(1);
        EXPECT_TRUE(waitForAuth(d));
        EXPECT_TRUE(d.form().isFinished());
    });
    runLogin([&](ui::FormDriver& d) {
        runHelp(d, prompter, CLogin::kForgotPassword, "U1");
        d.form().finish(2);
    });
    EXPECT_TRUE(questionsRan);

    const auto asks = prompter.asks();
    ASSERT_GE(asks.size(), 2u);
    EXPECT_EQ(asks[0].text, "Are you sure you want to request for forgot password ?");
    EXPECT_EQ(asks[0].caption, "Confirmation");
    EXPECT_NE(asks[0].thread, uiThread) << "the exchange runs on the help worker";
    EXPECT_TRUE(boxShown("Your answers are verified. The new password is sent to your registered e-mail."));

    const auto forgot = requestsWith("ReportData=1007");
    ASSERT_EQ(forgot.size(), 1u);
    EXPECT_EQ(forgot[0].request.fields, (std::vector<std::string>{"1007", "U1", "4",
                                                                  std::string(pv_user_info.local_address), "1", "1"}));
    const auto answers = requestsWith("ReportData=1110");
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].request.fields,
              (std::vector<std::string>{"1110", "", "U1", "", "4", "1", "3^Bruno7",
                                        std::string(pv_user_info.local_address)}));
    EXPECT_EQ(logText().find("Bruno7"), std::string::npos) << "a security answer reached the log";
}

TEST_F(RecoveryTest, ForgottenPasswordSwitchesModeOnTheServersWordAndRefusesAFullStop)
{
    broker->setReply("ReportData=1007", "1007|100|Use the one-time password instead", 1);
    modalHost.script("CAuthClientDet", [](ui::FormDriver& d) {
        waitForAuth(d);
        d.click(2);
    });
    CLogin* login = nullptr;
    runLogin([&](ui::FormDriver& d) {
        login = &static_cast<CLogin&>(d.form());
        runHelp(d, prompter, CLogin::kForgotPassword, "U1");
        EXPECT_EQ(login->resetMode(), 2);
        runHelp(d, prompter, CLogin::kForgotPassword, "U.1");
        d.form().finish(2);
    });
    const auto forgot = requestsWith("ReportData=1007");
    ASSERT_EQ(forgot.size(), 2u) << "the id with a full stop is refused before any request";
    EXPECT_EQ(forgot[0].request.fields.at(5), "1");
    EXPECT_EQ(forgot[1].request.fields.at(5), "2");
    EXPECT_TRUE(boxShown("Invalid Credential"));
}

TEST_F(RecoveryTest, OtpStatusOpensTheOneTimePasswordFormAndTheDialogCannotCloseMeanwhile)
{
    broker->setReply("ReportData=1007", "1007|102|An OTP will be sent to your registered mobile", 1);
    bool otpFormRan = false;
    modalHost.script("CAuthClientDet", [&](ui::FormDriver& d) {
        otpFormRan = static_cast<CAuthClientDet&>(d.form()).isOtpForm();
        EXPECT_TRUE(waitForAuth(d)) << "the code is sent as the form opens";
        d.click(2);
    });
    const int result = runLogin([&](ui::FormDriver& d) {
        d.type(CLogin::kUserId, "U1");
        prompter.queueMenuCommand(CLogin::kForgotPassword);
        d.click(CLogin::kLoginHelp);
        // The worker needs the UI thread to finish, so it is still busy here.
        EXPECT_FALSE(d.form().isEnabled(1));
        d.form().reject(); // Escape or the close box
        EXPECT_FALSE(d.form().isFinished()) << "the dialog closed under its worker";
        EXPECT_TRUE(waitForHelp(d));
        d.form().finish(2);
    });
    EXPECT_EQ(result, 2);
    EXPECT_TRUE(otpFormRan);
    EXPECT_TRUE(boxShown("An OTP will be sent to your registered mobile "));
    const auto otp = requestsWith("ReportData=1116");
    ASSERT_EQ(otp.size(), 1u);
    EXPECT_EQ(otp[0].request.fields.at(1), "U1");
}

TEST_F(RecoveryTest, SecurityKeyConfirmsTheMobileAndChecksTheTransactionCode)
{
    runLogin([&](ui::FormDriver& d) {
        runHelp(d, prompter, CLogin::kLostSecurityKey, "U1", "Test@123");
        d.form().finish(2);
    });
    const auto key = requestsWith("LoginData=1008");
    ASSERT_EQ(key.size(), 1u);
    EXPECT_EQ(key[0].request.fields, (std::vector<std::string>{"1008", "U1", digestOf("Test@123"), "4", "2", "1"}));
    const auto mobile = requestsWith("LoginData=1009");
    ASSERT_EQ(mobile.size(), 1u);
    EXPECT_EQ(mobile[0].request.fields, (std::vector<std::string>{"1009", "U1", "98XXXXXX21", "4", "2", "1"}));
    EXPECT_TRUE(boxShown("Please confirm your mobile number"));
    EXPECT_TRUE(boxShown("Mobile number confirmed"));
    EXPECT_EQ(logText().find(digestOf("Test@123")), std::string::npos);

    broker->setReply("LoginData=1008", "1099|0|x|98X|U1||confirm", 1);
    runLogin([&](ui::FormDriver& d) {
        runHelp(d, prompter, CLogin::kForgotSecurityKey, "U1", "Test@123");
        d.form().finish(2);
    });
    EXPECT_TRUE(boxShown("Invalid Response received [TSC:1099] ..\nplease try again"));
    EXPECT_EQ(requestsWith("LoginData=1009").size(), 1u);
}

TEST_F(RecoveryTest, AccessCodeGoesThroughItsExchange)
{
    const struct {
        const char* reply; // empty = the broker's own
        const char* box;
        bool emptied;
    } cases[] = {
        {"", "Access code accepted", false},
        {"1061|0|U1|", "You will receive your Access Code on your preferred Email Id and Mobile Number shortly.",
         false},
        {"1061|109|U1|Wrong password", "Invalid Credential", true},
        {"1061|0|U9|Sent", "Invalid Response received [USERID MISMATCH:U1 | Sent] ..\nplease try again", true},
        {"1062|0|U1|Sent", "Invalid Response received [TSC:1062] ..\nplease try again", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box);
        if (*c.reply)
            broker->setReply("LoginData=1011", c.reply, 1);
        runLogin([&](ui::FormDriver& d) {
            d.type(CLogin::kUserId, "U1").type(CLogin::kPassword, "Test@123").click(CLogin::kAccessCode);
            waitForExchange(d);
            EXPECT_EQ(d.form().text(CLogin::kPassword).empty(), c.emptied);
            d.form().finish(2);
        });
        EXPECT_EQ(prompter.asks().back().text, c.box);
    }
    // An expired password opens the change with the reply's user id.
    broker->setReply("LoginData=1011", "1061|110|U1|Your password has expired", 1);
    std::string changeUser;
    modalHost.script("CChgPassword", [&](ui::FormDriver& d) {
        changeUser = d.form().text(CChgPassword::kUserName);
        d.click(2);
    });
    runLogin([&](ui::FormDriver& d) {
        d.type(CLogin::kUserId, "U1").type(CLogin::kPassword, "Test@123").click(CLogin::kAccessCode);
        waitForExchange(d);
        EXPECT_EQ(d.form().focusedId(), CLogin::kPassword);
        d.form().finish(2);
    });
    EXPECT_EQ(changeUser, "U1");
    EXPECT_EQ(prompter.asks().back().text, "Your password has expired");
    EXPECT_EQ(prompter.asks().back().icon, ui::Icon::Warning);

    const auto codes = requestsWith("LoginData=1011");
    ASSERT_EQ(codes.size(), 6u);
    EXPECT_EQ(codes[0].request.fields,
              (std::vector<std::string>{"1011", "U1", digestOf("Test@123"), "4",
                                        std::string(pv_user_info.local_address), "1"}));
    EXPECT_EQ(logText().find(digestOf("Test@123")), std::string::npos);
}

using QuestionsTest = LoginFixture;

TEST_F(QuestionsTest, RowsFollowTheQuestionKinds)
{
    auto set = CAuthClientDet::SetQuestions(3, 3,
                                            "1^1^Birth year^T^~3^1^PAN^G^##-##~4^0^Colour^C^Red,Blue~6^0^Pet^T^"
                                            "~7^0^Note^M^read this");
    ASSERT_TRUE(set);
    CAuthClientDet dlg(std::move(*set), "U1", "U1", 1);
    modalHost.script("CAuthClientDet", [&](ui::FormDriver& d) {
        EXPECT_EQ(dlg.optionalCount(), 3);
        // Five boxes for "##-##", the middle one a read-only blank.
        const std::vector<int>& boxes = dlg.inputIds(1);
        ASSERT_EQ(boxes.size(), 5u);
        EXPECT_TRUE(dlg.controlSpec(boxes[2])->rules.readOnly);
        d.type(boxes[0], "a").type(boxes[1], "b").type(boxes[3], "c").type(boxes[4], "d");
        d.type(dlg.inputIds(0).front(), "19x80"); // digits only for question 1
        EXPECT_EQ(dlg.text(dlg.inputIds(0).front()), "1980");
        // R = 3 with two mandatory rows: a second optional box is one too many.
        d.check(CAuthClientDet::kFirstCheck + 2, true);
        EXPECT_TRUE(dlg.comboOf(2)->isEnabled());
        d.check(CAuthClientDet::kFirstCheck + 3, true);
        EXPECT_EQ(prompter.asks().back().text, "Please choose to answer any 2 questions out of 3 optional questions");
        EXPECT_FALSE(dlg.checked(CAuthClientDet::kFirstCheck + 3));
        EXPECT_FALSE(dlg.isEnabled(dlg.inputIds(3).front()));
        // A checked question needs an answer.
        d.click(1);
        EXPECT_EQ(prompter.asks().back().text, "Colour Cannot be Blank");
        dlg.comboOf(2)->setCurrentIndex(1);
        d.click(1);
        EXPECT_TRUE(waitForAuth(d));
        EXPECT_TRUE(dlg.isFinished());
    });
    EXPECT_EQ(ui::modalHost().run(dlg), 1);
    const auto sent = requestsWith("ReportData=1110");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].request.fields.at(5), "3");
    EXPECT_EQ(sent[0].request.fields.at(6), "1^1980~3^ab cd~4^Blue");
}

TEST_F(QuestionsTest, RefusesAnswersThatWouldForgeFieldsAndDataTheDialogCannotHold)
{
    auto set = CAuthClientDet::SetQuestions(1, 1, "3^1^Pet^T^");
    ASSERT_TRUE(set);
    CAuthClientDet dlg(std::move(*set), "U1", "U1", 1);
    modalHost.script("CAuthClientDet", [&](ui::FormDriver& d) {
        d.type(dlg.inputIds(0).front(), "cat|4|x").click(1);
        EXPECT_FALSE(dlg.isFinished());
        EXPECT_EQ(prompter.asks().back().text, "Pet Cannot contain | ~ ^ &");
        d.click(2);
    });
    ui::modalHost().run(dlg);
    EXPECT_TRUE(requestsWith("ReportData=1110").empty());

    std::string sixteen;
    for (int i = 1; i <= 16; ++i)
        sixteen += formatText("%s%d^0^Question %d^T^", i > 1 ? "~" : "", i, i);
    const size_t before = prompter.askCount();
    EXPECT_FALSE(CAuthClientDet::SetQuestions(16, 3, sixteen));
    EXPECT_FALSE(CAuthClientDet::SetQuestions(1, 1, "1^1^City^C"));
    EXPECT_EQ(prompter.askCount(), before + 2);
    EXPECT_NE(logText().find("16 questions received, the dialog holds 15"), std::string::npos);
}

TEST_F(QuestionsTest, OneTimePasswordFormSendsAndResendsTheCode)
{
    CopyFixedText(pv_user_info.local_address, "10.1.2.3");
    modalHost.script("CAuthClientDet", [&](ui::FormDriver& d) {
        auto& dlg = static_cast<CAuthClientDet&>(d.form());
        EXPECT_TRUE(waitForAuth(d)) << "the code is sent as the form opens";
        EXPECT_TRUE(dlg.isOtpForm());
        EXPECT_EQ(dlg.text(CAuthClientDet::kOtpLabel), "OTP has been send successfully on your registered mobile no.");
        EXPECT_EQ(dlg.controlSpec(dlg.inputIds(0).front())->kind, ui::ControlKind::Password);
        d.click(CAuthClientDet::kGenerateOtp);
        EXPECT_TRUE(waitForAuth(d));
        EXPECT_TRUE(dlg.isEnabled(1));
        d.type(dlg.inputIds(0).front(), "482913").click(1);
        EXPECT_TRUE(waitForAuth(d));
    });
    CAuthClientDet::RunOtpForm("nick@1", 2);
    const auto sent = requestsWith("ReportData=1116");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].request.fields, (std::vector<std::string>{"1116", "nick@1", "4", "10.1.2.3", "2"}));
    EXPECT_EQ(requestsWith("ReportData=1114").size(), 1u);
    ASSERT_EQ(requestsWith("ReportData=1110").size(), 1u);
    EXPECT_EQ(requestsWith("ReportData=1110")[0].request.fields.at(6), "9^482913");
    EXPECT_EQ(logText().find("482913"), std::string::npos);
}

using ChangePasswordTest = LoginFixture;

TEST_F(ChangePasswordTest, TradingIsOfferedOnlyWhenTheAccountAllowsIt)
{
    for (int accountFlag : {0, 1}) {
        g_Session.account_flag = accountFlag;
        CChgPassword dlg("U1");
        modalHost.script("CChgPassword", [&](ui::FormDriver& d) {
            const std::vector<std::string> expected = accountFlag == 0
                ? std::vector<std::string>{"WEBSITE", "TRADING"}
                : std::vector<std::string>{"WEBSITE"};
            EXPECT_EQ(d.form().comboItems(CChgPassword::kType), expected);
            d.click(2);
        });
        ui::modalHost().run(dlg);
    }
    CChgPassword::SetTradingFlag(false);
    g_Session.account_flag = 0;
    CChgPassword dlg("U1");
    modalHost.script("CChgPassword", [&](ui::FormDriver& d) {
        EXPECT_EQ(d.form().comboItems(CChgPassword::kType), std::vector<std::string>{"WEBSITE"});
        d.click(2);
    });
    ui::modalHost().run(dlg);
    CChgPassword::SetTradingFlag(true);
}

// The change request runs off the UI thread; Cancel while it runs ends the
// request and keeps the dialog, whose late reply then changes nothing.
TEST_F(ChangePasswordTest, CancelWhileTheRequestRunsKeepsTheDialog)
{
    tb::HttpFault slow;
    slow.delayMs = 60 * 1000;
    broker->armFault("/qtrade/qlogin.exe", slow);
    CChgPassword dlg("U1");
    modalHost.script("CChgPassword", [&](ui::FormDriver& d) {
        d.type(CChgPassword::kOldPassword, "Test@123")
            .type(CChgPassword::kNewPassword, "New@1234")
            .type(CChgPassword::kConfirmPassword, "New@1234")
            .click(1);
        auto& change = static_cast<CChgPassword&>(d.form());
        ASSERT_TRUE(change.isBusy());
        EXPECT_FALSE(change.isEnabled(1));
        ASSERT_TRUE(broker->waitForKey("LoginData=1005", 10000));
        d.click(2);
        EXPECT_FALSE(change.isBusy());
        EXPECT_FALSE(d.form().isFinished());
        EXPECT_TRUE(change.isEnabled(1));
        d.click(2);
    });
    EXPECT_EQ(ui::modalHost().run(dlg), 2);
    EXPECT_TRUE(prompter.asks().empty()) << prompter.asks().front().text;
}

TEST_F(ChangePasswordTest, ChecksFocusTheirEditAndTheTradingRequestStaysOutOfTheLog)
{
    broker->addUser("T1", "Old_1234");
    CChgPassword dlg("T1");
    modalHost.script("CChgPassword", [&](ui::FormDriver& d) {
        d.type(CChgPassword::kOldPassword, "Old_1234").click(1);
        EXPECT_EQ(prompter.asks().back().text, "New Password Field cannot be Blank");
        EXPECT_EQ(prompter.asks().back().caption, "Vortanex");
        EXPECT_EQ(d.form().focusedId(), CChgPassword::kNewPassword);
        d.type(CChgPassword::kNewPassword, "New_5678").type(CChgPassword::kConfirmPassword, "New_5679").click(1);
        EXPECT_EQ(prompter.asks().back().text, "New Password & Confirm are not identical");
        EXPECT_TRUE(d.form().isEnabled(1));
        d.pick(CChgPassword::kType, 1).type(CChgPassword::kConfirmPassword, "New_5678").click(1);
        waitForChange(d);
        EXPECT_TRUE(d.form().isFinished());
    });
    EXPECT_EQ(ui::modalHost().run(dlg), 1);
    const auto sent = requestsWith("LoginData=1004");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].request.fields.at(2), "Old_1234");
    EXPECT_EQ(sent[0].request.fields.at(3), "New_5678");
    EXPECT_EQ(prompter.asks().back().caption, "Change Password");
    const std::string log = logText();
    EXPECT_EQ(log.find("Old_1234"), std::string::npos);
    EXPECT_EQ(log.find("New_5678"), std::string::npos);
    EXPECT_EQ(log.find("LoginData=1004"), std::string::npos);
}

} // namespace

} // namespace test_account_dialogs
} // namespace logintest
