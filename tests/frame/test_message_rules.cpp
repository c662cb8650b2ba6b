// The message bar's rules that need no window, the popup text and the
// popup's look and address check.
#include "frame/CMyPopupWindow.h"
#include "frame/MessageFiles.h"
#include "frame/UserPopupText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MessageRows, RowCodeByKindAndSide)
{
    struct Case {
        int kind;
        char side;
        int code;
    };
    const Case cases[] = {
        {1, 'B', 100}, {1, 'S', 200}, {2, '+', 1}, {3, '-', 2}, {3, ' ', 3}, {1, 'x', 3},
        // Research calls take -1 whatever the side.
        {4, '+', -1}, {4, 'B', -1}, {4, ' ', -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MessageRowCode(c.kind, c.side), c.code) << c.kind << " '" << c.side << "'";
}

TEST(MessageRows, AFileLineIsOneLineWhateverTheText)
{
    EXPECT_EQ(MessageFileLine("09:15:00", "Order placed"), "09:15:00|Order placed\n");
    EXPECT_EQ(MessageFileLine("09:15:00", "Order\nplaced\r\nfor ABC12"), "09:15:00|Order placed  for ABC12\n");
    EXPECT_EQ(MessageFileLine("09:15:00", "\n"), "09:15:00| \n");
}

TEST(MessageRows, WrapAtFirstSpaceAfterTheWidth)
{
    const std::string exact(220, 'a');
    EXPECT_EQ(WrapMessageRows(exact).size(), 1u);

    std::string withSpace(300, 'b');
    withSpace[250] = ' ';
    withSpace[100] = ' '; // a space before p + 220 does not end the row
    const auto rows = WrapMessageRows(withSpace);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], withSpace.substr(0, 250));
    EXPECT_EQ(rows[1], withSpace.substr(250)); // the space begins the next row
    EXPECT_EQ(rows[0] + rows[1], withSpace);

    const std::string noSpace = std::string(100, 'c') + " " + std::string(400, 'd');
    EXPECT_EQ(WrapMessageRows(noSpace).size(), 1u);

    // A space exactly at p + 220 ends the row there; three rows in all.
    std::string three(700, 'e');
    three[220] = ' ';
    three[450] = ' ';
    const auto r3 = WrapMessageRows(three);
    ASSERT_EQ(r3.size(), 3u);
    EXPECT_EQ(r3[0].size(), 220u);
    EXPECT_EQ(r3[1].size(), 230u);
    EXPECT_EQ(r3[2].size(), 250u);

    EXPECT_EQ(WrapMessageRows("").size(), 1u);
}

TEST(MessageFilesNames, NameAndLineAreByteExact)
{
    const pf::Paths paths("/opt/vx");
    EXPECT_EQ(MessageFileName(paths, MsgGeneral, "U1", 5, 3, 2024), "/opt/vx/Logs/Vortanex_General_U1_05032024.msg");
    EXPECT_EQ(MessageFileName(paths, MsgTrading, "U1", 25, 12, 2024),
              "/opt/vx/Logs/Vortanex_Trading_U1_25122024.msg");
    EXPECT_EQ(MessageFileName(paths, MsgExchange, "U1", 1, 1, 2025), "/opt/vx/Logs/Vortanex_Exchange_U1_01012025.msg");
    EXPECT_EQ(MessageFileName(paths, MsgResearch, "U1", 1, 1, 2025), "/opt/vx/Logs/Vortanex_Research_U1_01012025.msg");
    EXPECT_EQ(MessageFileName(paths, 9, "U1", 1, 1, 2025), "");
    EXPECT_EQ(MessageFileLine(MessageTimeText(9, 5, 7), "Order placed | ok"), "09:05:07|Order placed | ok\n");
}

TEST(UserPopupText, PlainFieldsReadAsTheDocumentedFormat)
{
    UserPopupFields f;
    ASSERT_TRUE(ParseUserPopupText("4|B|Buy INFY|tgt 1500|https://broker.example/r|2", f));
    EXPECT_EQ(f.kind, 4);
    EXPECT_EQ(f.side, 'B');
    EXPECT_EQ(f.text, "Buy INFY");
    EXPECT_EQ(f.extra, "tgt 1500");
    EXPECT_EQ(f.address, "https://broker.example/r");
    EXPECT_EQ(f.eventId, 2);
    EXPECT_EQ(f.linkText, "https://broker.example/r");

    // Empty extra keeps the later positions.
    ASSERT_TRUE(ParseUserPopupText("3| |Notice||http://a.example|0", f));
    EXPECT_EQ(f.extra, "");
    EXPECT_EQ(f.address, "http://a.example");

    // Seven fields: field 6 is the title, field 4 is shown.
    ASSERT_TRUE(ParseUserPopupText("3| |Offer||http://a.example|7|Festive offer", f));
    EXPECT_EQ(f.title, "Festive offer");
    EXPECT_EQ(f.linkText, "http://a.example");
    // Eight fields, the last empty: field 4 is shown.
    ASSERT_TRUE(ParseUserPopupText("3| |Offer||http://a.example|7|T|", f));
    EXPECT_EQ(f.linkText, "http://a.example");
    ASSERT_TRUE(ParseUserPopupText("3| |Offer||http://a.example|7|T|Terms && Conditions", f));
    EXPECT_EQ(f.linkText, "Terms && Conditions");

    EXPECT_FALSE(ParseUserPopupText("3| |too few|x", f));
}

TEST(UserPopupText, BarsInsideTheTextCannotMoveTheAddress)
{
    UserPopupFields in;
    in.kind = 4;
    in.side = 'S';
    in.text = "Sell|javascript:evil()|x";
    in.extra = "a\\b|c";
    in.address = "https://broker.example/";
    in.eventId = -1;
    const std::string text = FormatUserPopupText(in);
    UserPopupFields out;
    ASSERT_TRUE(ParseUserPopupText(text, out));
    EXPECT_EQ(out.text, in.text);
    EXPECT_EQ(out.extra, in.extra);
    EXPECT_EQ(out.address, in.address);
    EXPECT_EQ(out.eventId, -1);
    EXPECT_EQ(out.fieldCount, 6);
    // Without bars or backslashes the text is the plain documented one.
    UserPopupFields plain;
    plain.kind = 3;
    plain.text = "Hello";
    plain.address = "http://x.example";
    EXPECT_EQ(FormatUserPopupText(plain), "3| |Hello||http://x.example|0");
}

TEST(PopupLook, CaptionAndColoursByEventId)
{
    struct Case {
        long id;
        const char* caption;
        bool colours;
        uint32_t first;
    };
    const uint32_t offer = 247 | (165 << 8) | (65 << 16);
    const Case cases[] = {
        {1, "You have a new Fundamental Research Alert.", true, 210 | (229 << 8) | (249u << 16)},
        {2, "You have a new Technical Research Alert.", true, 210 | (241 << 8) | (158u << 16)},
        {3, "You have a new Derivative Research Alert.", true, 237 | (215 << 8) | (182u << 16)},
        {5, "Morrowpick.", true, offer},
        {6, "Feedback", true, offer},
        {7, "My title", true, offer},
        {8, "Brackenfolds", true, offer},
        {0, "You have a new Alert.", true, offer},
        {-1, "You have a new Alert.", true, offer},
        {4, "", false, 0},
        {99, "", false, 0},
    };
    for (const Case& c : cases) {
        const PopupLook look = PopupLookFor(c.id, "My title");
        EXPECT_EQ(look.caption, c.caption) << c.id;
        EXPECT_EQ(look.hasColours, c.colours) << c.id;
        if (c.colours) {
            EXPECT_EQ(look.colours[0], c.first) << c.id;
        }
    }
    const PopupLook tech = PopupLookFor(2, "");
    EXPECT_EQ(tech.colours[2], 225u | (247u << 8) | (189u << 16));
    EXPECT_EQ(PopupAutoCloseMs(-1), 2000);
    EXPECT_EQ(PopupAutoCloseMs(0), 15000);
    EXPECT_EQ(PopupAutoCloseMs(7), 15000);
    EXPECT_EQ(PopupPosition(QRect(0, 0, 800, 600)), QPoint(500, 390));
}

TEST(PopupAddress, OnlyHttpAndHttpsOpen)
{
    const std::pair<const char*, bool> cases[] = {
        {"http://broker.example/page?a=1", true},
        {"HTTPS://broker.example", true},
        {"https://", false},
        {"https:///etc/passwd", false},
        {"file:///etc/passwd", false},
        {"javascript:alert(1)", false},
        {"ftp://broker.example", false},
        {"/usr/bin/xterm", false},
        {"http://broker.example/a b", false},
        {"http://broker.example/\n--arg", false},
        {"", false},
    };
    for (const auto& [address, ok] : cases)
        EXPECT_EQ(IsOpenableAddress(address), ok) << address;
}

} // namespace
