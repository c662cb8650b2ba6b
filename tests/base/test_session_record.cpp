#include "app/base/SessionRecord.h"

#include "config_test_support.h"

#include <string>

namespace {

using SessionRecordTest = ProgramFolderTest;

TEST_F(SessionRecordTest, SegmentListFillsByPositionAndKeepsAtMostFifteen)
{
    std::string list = " 1-NSE-Y ^nodash^2-BSE^";
    for (int i = 3; i <= 17; ++i)
        list += std::to_string(i) + "-SEG" + std::to_string(i) + "-A^";
    list += "99-" + std::string(40, 'n') + "-Z";

    EXPECT_EQ(ParseSegmentList(list), kMaxSegments);
    ASSERT_EQ(pv_user_info.segments.size(), 15u);
    EXPECT_EQ(pv_user_info.segment_count, 15);
    const auto& s = pv_user_info.segments;
    EXPECT_EQ(s[0].id, 1);
    EXPECT_STREQ(s[0].name, "NSE");
    EXPECT_EQ(s[0].flag, 'Y');
    EXPECT_EQ(s[1].id, 2) << "an item without a '-' is skipped";
    EXPECT_STREQ(s[1].name, "BSE");
    EXPECT_EQ(s[1].flag, 0);
    EXPECT_EQ(s[14].id, 15);
    const uint32_t colours[15] = {0xFFFFFF, 0xDCFFDC, 0xFFF0FF, 0xD2FFFF, 0x96C8EB, 0xE1FFB4, 0xDCFFDC, 0x96C8C8,
                                  0xFFCCCC, 0xEEEED1, 0,        0,        0xEEEED1, 0,        0};
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(s[i].row_colour, colours[i]) << i;
        EXPECT_EQ(s[i].text_colour, 0u) << i;
    }
    EXPECT_NE(logText().find("Segment list holds 18 segments, more than the 15 the terminal keeps; 3 dropped"),
              std::string::npos);

    EXPECT_EQ(ParseSegmentList("7-" + std::string(40, 'x') + "-N"), 1);
    EXPECT_EQ(std::string(pv_user_info.segments[0].name), std::string(29, 'x'));
    EXPECT_EQ(pv_user_info.segments[1].id, 0) << "a new parse starts from a zeroed table";
}

TEST_F(SessionRecordTest, ClientTableIsSizedByTheReplyWithinItsBound)
{
    ASSERT_TRUE(AllocateClientTable(0));
    EXPECT_EQ(g_Session.client_count, 1);
    EXPECT_EQ(g_Session.clients.size(), 1u);
    EXPECT_EQ(g_Session.clients_in_use, 1);

    ASSERT_TRUE(AllocateClientTable(3));
    EXPECT_EQ(g_Session.clients.size(), 3u);
    EXPECT_EQ(g_Session.clients_in_use, 0);

    CopyFixedText(pv_user_info.user_id, "U1");
    CopyFixedText(pv_user_info.client_code, "C1");
    CopyFixedText(pv_user_info.session_id, "S1");
    pv_user_info.user_type = 'P';
    FillOwnClientEntry();
    EXPECT_EQ(g_Session.clients_in_use, 0) << "type 'P' keeps the table as the reply gave it";
    EXPECT_EQ(g_Session.clients[0].active, 0);
    EXPECT_EQ(pv_user_info.client_index, -1);
    pv_user_info.user_type = 'C';
    FillOwnClientEntry();
    EXPECT_EQ(g_Session.clients_in_use, 1);
    EXPECT_STREQ(g_Session.clients[0].client_code, "C1");
    EXPECT_STREQ(g_Session.clients[0].session_id, "S1");
    EXPECT_STREQ(g_Session.clients[0].user_id, "U1");
    EXPECT_EQ(g_Session.clients[0].active, 1) << "the own account is active at once";
    EXPECT_EQ(pv_user_info.client_index, 0) << "and is the current client";

    for (int bad : {-1, kMaxClients + 1}) {
        EXPECT_FALSE(AllocateClientTable(bad)) << bad;
        EXPECT_TRUE(g_Session.clients.empty());
        EXPECT_EQ(g_Session.client_count, 0);
    }
    EXPECT_NE(logText().find("Client count 100001 of the login reply is outside 0 to 100000"), std::string::npos);
}

TEST_F(SessionRecordTest, LoginFlagsAreBoundedAndChangeInPlace)
{
    std::string flags(62, '0');
    flags[1] = '1';
    flags += 'N';
    SetLoginFlags(flags);
    EXPECT_EQ(LoginFlagAt(1), '1');
    EXPECT_EQ(LoginFlagAt(62), 'N');
    EXPECT_EQ(LoginFlagAt(63), '\0');
    EXPECT_EQ(LoginFlagAt(-1), '\0');
    EXPECT_EQ(LoginFlagAt(500), '\0');
    SetLoginFlagAt(62, 'Y');
    SetLoginFlagAt(80, 'Y'); // beyond the text: ignored
    EXPECT_EQ(LoginFlags().size(), 63u);
    EXPECT_EQ(LoginFlagAt(62), 'Y');

    SetLoginFlags(std::string(200, '1'));
    EXPECT_EQ(LoginFlags().size(), 128u);
    ClearSessionRecord();
    EXPECT_EQ(LoginFlags(), "");
    EXPECT_EQ(pv_user_info.client_index, -1);
}

} // namespace
