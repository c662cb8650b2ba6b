// The login reply and the password rules without windows.
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/LoginExchange.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace test_login_reply {

namespace {

std::string replyWith(std::vector<std::pair<int, std::string>> fields, int count = 37)
{
    std::vector<std::string> f(static_cast<size_t>(count));
    for (auto& [n, v] : fields)
        f[static_cast<size_t>(n - 1)] = v;
    std::string out;
    for (size_t i = 0; i < f.size(); ++i)
        out += (i ? "|" : "") + f[i];
    return out;
}

class LoginReplyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearSessionRecord();
        pv_user_info = UserInfoRecord{};
        g_Config = ConfigRecord{};
    }
    void TearDown() override
    {
        ClearSessionRecord();
        g_Config = ConfigRecord{};
    }
};

TEST_F(LoginReplyTest, StatusesThatEndAtTheMessageLeaveTheRestUntouched)
{
    CopyFixedText(pv_user_info.session_id, "KEEP");
    for (int status : {109, 6002, 60041, 7, -5}) {
        SCOPED_TRACE(status);
        const login::LoginReply r =
            login::ApplyLoginReply(replyWith({{2, std::to_string(status)}, {3, " text "}, {6, "NEW"}}));
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.message, "text");
        EXPECT_STREQ(pv_user_info.session_id, "KEEP");
        EXPECT_EQ(g_Config.Trade_Port, 80);
    }
    for (int status : {0, 2, 4, 110}) {
        SCOPED_TRACE(status);
        login::ApplyLoginReply(replyWith({{2, std::to_string(status)}, {6, formatText("S%d", status)}}));
        EXPECT_EQ(std::string(pv_user_info.session_id), formatText("S%d", status));
    }
}

TEST_F(LoginReplyTest, FieldsAreCutToTheirWidthsAndOddRepliesDoNotLoop)
{
    const std::string longText(500, 'x');
    login::ApplyLoginReply(replyWith({{2, "0"}, {4, longText}, {6, longText}, {7, longText}, {8, longText},
                                      {10, longText}, {19, longText}, {27, longText}, {30, longText},
                                      {37, longText}}));
    EXPECT_EQ(strlen(pv_user_info.feed_update_host), 63u);
    EXPECT_EQ(strlen(pv_user_info.session_id), 31u);
    EXPECT_EQ(strlen(pv_user_info.user_id), 11u);
    EXPECT_EQ(strlen(pv_user_info.user_name), 63u);
    EXPECT_EQ(strlen(pv_user_info.client_code), 10u);
    EXPECT_EQ(LoginFlags().size(), 128u);
    EXPECT_EQ(strlen(g_Config.Trade_Host), 127u);
    EXPECT_EQ(strlen(g_Config.Gcrn), 20u);
    EXPECT_EQ(strlen(g_Session.login_message), 150u);

    // An empty first field, a reply of separators only, a lone status.
    EXPECT_EQ(login::ApplyLoginReply("|0|ok").status, 0);
    EXPECT_EQ(login::ApplyLoginReply("||||||").status, -1); // an empty status is none
    EXPECT_EQ(login::ApplyLoginReply("3000|").status, -1);
    EXPECT_EQ(login::ApplyLoginReply("3000").status, -1);
    EXPECT_EQ(login::ApplyLoginReply("").fieldCount, 0u);
}

TEST_F(LoginReplyTest, PageStatusesKeepTheTradingHostAndStatusThreeTheStamp)
{
    CopyFixedText(g_Config.Trade_Host, "trade.old");
    CopyFixedText(g_Session.security_stamp, "OLD");
    login::LoginReply r = login::ApplyLoginReply(replyWith({{2, "3"}, {22, "NEW"}, {27, "https://page"}}));
    EXPECT_EQ(r.pageAddress, "https://page");
    EXPECT_STREQ(g_Config.Trade_Host, "trade.old");
    EXPECT_STREQ(g_Session.security_stamp, "OLD");
    r = login::ApplyLoginReply(replyWith({{2, "4"}, {22, "NEW"}, {27, "https://page4"}}));
    EXPECT_EQ(r.pageAddress, "https://page4");
    EXPECT_STREQ(g_Config.Trade_Host, "trade.old");
    EXPECT_STREQ(g_Session.security_stamp, "NEW");
}

TEST_F(LoginReplyTest, SegmentListTakesFifteenWellFormedItems)
{
    std::string list = "x^";
    for (int i = 0; i < 16; ++i)
        list += formatText("%s%d-SEG%d-A", i ? "^" : "", i, i);
    login::ApplyLoginReply(replyWith({{2, "0"}, {14, list}}));
    EXPECT_EQ(pv_user_info.segment_count, 15);
    EXPECT_STREQ(pv_user_info.segments[0].name, "SEG0");
    EXPECT_STREQ(pv_user_info.segments[14].name, "SEG14");
    for (int i : {10, 11, 13, 14})
        EXPECT_EQ(pv_user_info.segments[static_cast<size_t>(i)].row_colour, 0u) << i;
}

TEST_F(LoginReplyTest, ClientCountTable)
{
    const struct {
        const char* field;
        int count;
        int inUse;
        bool refused;
    } cases[] = {{"0", 1, 1, false}, {"5", 5, 0, false}, {"-1", 0, 0, true}, {"999999999", 0, 0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        const login::LoginReply r = login::ApplyLoginReply(replyWith({{2, "0"}, {18, c.field}}));
        EXPECT_EQ(r.clientTableRefused, c.refused);
        EXPECT_EQ(g_Session.client_count, c.count);
        EXPECT_EQ(g_Session.clients_in_use, c.inUse);
        EXPECT_EQ(static_cast<int>(g_Session.clients.size()), c.count);
    }
}

TEST(LoginRequestTest, LoginRequestNeverGrowsPastTheServersLimit)
{
    const std::string ok = login::BuildLoginRequest("U1", "d==", "10.0.0.1", "", 1, "VX_1_M", "0-0");
    EXPECT_EQ(ok, "LoginData=3000|U1|d==|4|10.0.0.1|242||MRT382QJ|1|VX_1_M&SecDate=0-0");
    EXPECT_TRUE(login::BuildLoginRequest("U1", "d==", "10.0.0.1", "", 1, std::string(2000, 'S'), "0-0").empty());
}

TEST(LoginRequestTest, RecoveryRefusesAFullStopThatTheLoginAccepts)
{
    EXPECT_FALSE(login::CheckLoginInput(1, "U.1", "secret", "").has_value());
    EXPECT_FALSE(login::RecoveryIdentityOk(1, "U.1"));
    EXPECT_FALSE(login::RecoveryIdentityOk(2, "nick.name"));
    EXPECT_TRUE(login::RecoveryIdentityOk(2, "nick@name-1"));
    EXPECT_TRUE(login::RecoveryIdentityOk(1, "U1"));
    EXPECT_TRUE(login::RecoveryIdentityOk(0, "any.thing"));
}

struct PasswordCase {
    const char* oldPassword;
    const char* newPassword;
    const char* confirm;
    int rule; // 0 = accepted
    login::Field focus;
};

TEST(PasswordRulesTest, TheFirstFailingRuleWins)
{
    using F = login::Field;
    const PasswordCase cases[] = {
        {"", "", "", 1, F::OldPassword},
        {"old", "", "", 2, F::NewPassword},
        {"old", "new", "", 3, F::ConfirmPassword},
        {"abc", "abc", "x", 4, F::NewPassword}, // same as old before any length rule
        {"abc", "abc_1234", "abc_1234", 5, F::OldPassword},
        {"abc_123", "ab1_", "ab1_", 6, F::NewPassword},
        {"abc_123", "abc_1234", "ab", 7, F::ConfirmPassword},
        {"abc_123", "abc#1234", "abc#1234", 8, F::NewPassword},
        {"abc_123", "abc_1234", "abc|1234", 9, F::ConfirmPassword},
        {"abc_123", "abc_1234", "abc_1235", 10, F::NewPassword},
        {"abc_123", "U1_abc9", "U1_abc9", 11, F::NewPassword},
        {"abc_123", "abc_defg", "abc_defg", 12, F::NewPassword},
        {"abc_123", "123_4567", "123_4567", 12, F::NewPassword},
        {"abc_123", "abc12345", "abc12345", 13, F::NewPassword},
        {"abc_123", "abc1234\xc3\xa9", "abc1234\xc3\xa9", 13, F::NewPassword},
        {"abc_123", "abc_1234", "abc_1234", 0, F::NewPassword},
        {"abc_123", "abc.1234", "abc.1234", 0, F::NewPassword},
        {"abc_123", "a@b-1234", "a@b-1234", 0, F::NewPassword},
    };
    for (const PasswordCase& c : cases) {
        SCOPED_TRACE(std::string(c.oldPassword) + " / " + c.newPassword + " / " + c.confirm);
        const auto problem = login::CheckNewPassword(c.oldPassword, c.newPassword, c.confirm, "U1_abc9");
        if (c.rule == 0) {
            EXPECT_FALSE(problem.has_value()) << problem->message;
            continue;
        }
        ASSERT_TRUE(problem.has_value());
        EXPECT_EQ(problem->rule, c.rule) << problem->message;
        EXPECT_EQ(problem->focus, c.focus);
    }
    EXPECT_EQ(login::CheckNewPassword("abc_123", "abc12345", "abc12345", "U1")->message,
              "Password should contain atleast 1 special character");
}

TEST(QuestionDataTest, MalformedQuestionsRefuseTheWholeData)
{
    std::vector<login::Question> q;
    EXPECT_TRUE(login::ParseQuestionData("1^1^City^C^A,B~~2^0^Pin^G^##-##", q));
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[1].question_id, 2);
    EXPECT_EQ(q[1].kind, "G");
    EXPECT_EQ(q[1].options, "##-##");
    EXPECT_FALSE(login::ParseQuestionData("1^1^City^C^A~2^0^Pin^G", q));
    EXPECT_TRUE(q.empty());
    EXPECT_EQ(login::JoinAnswers({{1, "Delhi"}, {2, "ab cd"}}), "1^Delhi~2^ab cd");
}

} // namespace

} // namespace test_login_reply
