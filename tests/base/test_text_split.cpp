#include "app/base/ExchangeNames.h"
#include "watch/base/TextSplit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

using Fields = std::vector<std::string>;

TEST(TextSplit, FieldsOfReplyTexts)
{
    struct Case {
        const char* text;
        char sep;
        Fields fields;
    } cases[] = {
        {"a|b|c", '|', {"a", "b", "c"}},
        {"a||b", '|', {"a", "", "b"}},
        {"|a|", '|', {"", "a", ""}},
        {"|", '|', {"", ""}},
        {"a|b|", '|', {"a", "b", ""}},
        // An empty text is one empty field, so "separators + 1" holds for
        // every text and callers need no special case.
        {"", '|', {""}},
        {"  NSE  |  12 ", '|', {"NSE", "12"}},
        {"   ", '|', {""}},
        {" ABC  ", '|', {"ABC"}},
        {" x |", '|', {"x", ""}},
        // Only blanks are trimmed: a line read from a file keeps its line end.
        {"a|b\n", '|', {"a", "b\n"}},
        {"\ta\t| b\r", '|', {"\ta\t", "b\r"}},
        {"a  b", ' ', {"a", "", "b"}},
        {"1*2,3", ',', {"1*2", "3"}},
    };
    for (const auto& c : cases) {
        Fields out;
        EXPECT_EQ(SplitString(c.text, c.sep, out), static_cast<int>(c.fields.size())) << '"' << c.text << '"';
        EXPECT_EQ(out, c.fields) << '"' << c.text << '"';
    }
}

TEST(TextSplit, AppendsToWhatTheArrayHolds)
{
    Fields out = {"0", "1", "2", "3", "4"};
    EXPECT_EQ(SplitString("x|y|z", '|', out), 8);
    EXPECT_EQ(out, (Fields{"0", "1", "2", "3", "4", "x", "y", "z"}));
}

TEST(TextSplit, TrimInPlace)
{
    struct Case {
        const char* text;
        const char* left;
        const char* right;
    } cases[] = {
        {"  ab ", "ab ", "  ab"},
        {"   ", "", ""},
        {"", "", ""},
        {"ab", "ab", "ab"},
        {"\tab\n", "\tab\n", "\tab\n"},
    };
    for (const auto& c : cases) {
        char buffer[16];
        std::strcpy(buffer, c.text);
        TrimLeftSpaces(buffer);
        EXPECT_STREQ(buffer, c.left) << '"' << c.text << '"';
        std::strcpy(buffer, c.text);
        TrimRightSpaces(buffer);
        EXPECT_STREQ(buffer, c.right) << '"' << c.text << '"';

        std::string text = c.text;
        TrimLeftSpaces(text);
        EXPECT_EQ(text, c.left);
        text = c.text;
        TrimRightSpaces(text);
        EXPECT_EQ(text, c.right);
    }
}

// Every exchange code the program names, one it does not, and a window that
// names fewer exchanges than the program does.
TEST(ExchangeNames, EachCodeHasOneNameAndAWindowMayNameFewer)
{
    const std::vector<std::pair<const char*, const char*>> names = {
        {"NN", "NSE"}, {"BN", "BSE"},     {"CN", "NSE-FX"}, {"CB", "BSE-CDX"},
        {"CM", "MCX-SX"}, {"MC", "MCX-CM"}, {"NC", ""},       {"", ""},        {"nn", ""},
    };
    for (const auto& [code, name] : names)
        EXPECT_STREQ(ExchangeDisplayName(code), name) << code;
    EXPECT_STREQ(ExchangeDisplayName("MC", {"NN", "MC"}), "MCX-CM");
    EXPECT_STREQ(ExchangeDisplayName("CB", {"NN", "MC"}), "");
    EXPECT_STREQ(ExchangeDisplayName("XX", {"XX"}), "") << "a window cannot name what the program does not";
}
