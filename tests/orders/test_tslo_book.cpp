// The trailing stop-loss book: reading report 640, the Modify and Cancel
// rules by kind, leg and status, the row texts and the CSV.
#include "orders/TsloOrderBook.h"

#include "app/base/FixedText.h"
#include "server/ExtraSubscriptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace test_tslo_book {

namespace {

// A reply row of 30 fields.
std::string row(int orderNo, int leg, int kind, const char* status, const char* side = "BUY", int disclosed = 0)
{
    std::string f[30];
    f[0] = std::to_string(orderNo);
    f[2] = "2885";
    f[4] = "NN";
    f[8] = "ABCDE";
    f[9] = "U1";
    f[10] = "1100000123";
    f[12] = side;
    f[13] = "10";
    f[14] = "250.50";
    f[15] = "-1";
    f[16] = "2";
    f[17] = "248.50";
    f[18] = std::to_string(disclosed);
    f[19] = "0";
    f[20] = status;
    f[21] = "ok, placed";
    f[22] = std::to_string(leg);
    f[23] = std::to_string(kind);
    f[25] = "10:15:00";
    f[27] = "0";
    f[29] = "-1";
    std::string out;
    for (int i = 0; i < 30; ++i)
        out += (i ? "|" : "") + f[i];
    return out;
}

TsloOrderInfo rec(int orderNo, int leg, int kind, const char* status)
{
    TsloOrderInfo r;
    r.special_order_no = orderNo;
    r.leg = leg;
    r.kind = kind;
    CopyFixedText(r.status, status);
    return r;
}

TEST(TsloReport, ReadsRowsAndFailures)
{
    const std::string body = "641|0|OK||3~" + row(7, 1, 3, "TRAD") + "^" + row(7, 2, 3, "TRL", "SELL", -1);
    const TsloReport r = ReadTsloReport(body, "ABCDE");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.records.size(), 2u); // three announced, two present
    EXPECT_EQ(r.records[1].leg, 2);
    EXPECT_EQ(r.records[1].side(), 'S');
    EXPECT_EQ(r.records[1].disclosed, -1);
    EXPECT_DOUBLE_EQ(r.records[0].trailing_when, -1);
    EXPECT_EQ(std::string(FixedTextView(r.records[0].remark)), "ok, placed");
    EXPECT_EQ(r.barText, "TSLO Order Report Downloaded Successfully for Client :ABCDE, Total Orders :2");

    const TsloReport silent = ReadTsloReport("641|1205|No data||0", "ABCDE");
    EXPECT_TRUE(silent.ok);
    EXPECT_TRUE(silent.records.empty());
    EXPECT_TRUE(silent.boxText.empty());

    EXPECT_EQ(ReadTsloReport("641|3|Client not mapped||0", "ABCDE").boxText, "Client not mapped");
    EXPECT_EQ(ReadTsloReport("641|0|OK||0", "ABCDE").barText, "No TSLO Orders to be downloaded");
    EXPECT_EQ(ReadTsloReport("", "ABCDE").boxText, "Server Error. Please Try Again...");
    EXPECT_EQ(ReadTsloReport("641||", "ABCDE").boxText, "No response received from server");
    // A header announcing fewer rows than sent reads only those announced.
    EXPECT_EQ(ReadTsloReport("641|0|OK||1~" + row(7, 1, 1, "TRL") + "^" + row(8, 1, 1, "TRL"), "ABCDE")
                  .records.size(),
              1u);
}

TEST(TsloBookRules, ModifyAndCancelByKindLegAndStatus)
{
    struct Case {
        TsloBook book;
        int index;
        bool modify;
        bool cancel;
    };
    const Case cases[] = {
        {{rec(1, 1, 1, "TRL")}, 0, true, true},
        {{rec(1, 1, 2, "WTRL")}, 0, true, true},
        {{rec(1, 1, 1, "OPN")}, 0, false, true},
        {{rec(1, 1, 1, "TRAD")}, 0, false, false},
        {{rec(1, 1, 2, "CANS")}, 0, false, false},
        {{rec(1, 1, 3, "OPN"), rec(1, 2, 3, "OPN")}, 0, true, true},
        {{rec(1, 1, 3, "OPN"), rec(1, 2, 3, "OPN")}, 1, false, true},
        {{rec(1, 1, 3, "TRAD"), rec(1, 2, 3, "TRL")}, 0, true, true},
        {{rec(1, 1, 3, "TRAD"), rec(1, 2, 3, "TRAD")}, 0, false, false},
        {{rec(1, 1, 4, "TRAD"), rec(1, 2, 4, "OPN")}, 0, false, true},
        {{rec(1, 1, 4, "TRAD"), rec(1, 2, 4, "ACTIVE")}, 1, true, true},
        {{rec(1, 1, 3, "CAN"), rec(1, 2, 3, "CAN")}, 1, false, false},
        {{rec(1, 1, 3, "TRAD"), rec(2, 2, 3, "TRL")}, 0, false, false}, // leg 2 of another order
        {{rec(1, 1, 3, "OPN")}, 5, false, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        EXPECT_EQ(TsloCanModify(c.book, c.index), c.modify) << "case " << n;
        EXPECT_EQ(TsloCanCancel(c.book, c.index), c.cancel) << "case " << n;
        ++n;
    }
}

TEST(TsloBookRules, LegTwoEditsLegOneWithinBounds)
{
    const TsloBook book = {rec(1, 1, 4, "TRAD"), rec(1, 2, 4, "TRL"), rec(2, 1, 1, "TRL")};
    EXPECT_EQ(TsloFormRecord(book, 1, 2), 0);
    EXPECT_EQ(TsloFormRecord(book, 1, 3), 0);
    EXPECT_EQ(TsloFormRecord(book, 2, 2), 2);
    const TsloBook orphan = {rec(1, 2, 3, "TRL")};
    EXPECT_EQ(TsloFormRecord(orphan, 0, 2), -1);
    EXPECT_EQ(TsloFormRecord(orphan, 3, 2), -1);
    EXPECT_EQ(TsloExchangeName("MC"), "MCX-CM");
    EXPECT_EQ(TsloExchangeName("CM"), "MCX-SX");
}

TEST(TsloBookRows, TextsAndCsv)
{
    const TsloReport r = ReadTsloReport("641|0|OK||1~" + row(7, 1, 1, "TRL", "BUY", -1), "ABCDE");
    ASSERT_EQ(r.records.size(), 1u);
    const std::vector<std::string> t = TsloRowTexts(r.records[0], "SBIN", false);
    ASSERT_EQ(t.size(), static_cast<size_t>(kTsloColumns));
    EXPECT_EQ(t[2], "NSE");
    EXPECT_EQ(t[3], "1100000123");
    EXPECT_EQ(t[6], "250.50");
    EXPECT_EQ(t[7], "-");
    EXPECT_EQ(t[11], "10");
    EXPECT_EQ(t[16], "-");
    EXPECT_EQ(t[18], "-");
    EXPECT_EQ(TsloRowTexts(r.records[0], "X", true)[6], "250.5000");
    EXPECT_EQ(CsvLine({"a", "b,c", "say \"hi\"", "x\ny"}), "a,\"b,c\",\"say \"\"hi\"\"\",\"x\ny\"\n");
}

TEST(TsloBookRows, ServerQuantitiesAndCountsAtTheIntLimits)
{
    // Order and traded quantities at the two ends of an int: the trailing
    // quantity is their true difference; a count at the top of an int is
    // logged as it is and reads the rows present.
    std::string fields = row(7, 1, 1, "TRL");
    std::vector<std::string> f;
    for (size_t at = 0;;) {
        const size_t bar = fields.find('|', at);
        f.push_back(fields.substr(at, bar == std::string::npos ? bar : bar - at));
        if (bar == std::string::npos)
            break;
        at = bar + 1;
    }
    f[13] = "-2147483648";
    f[19] = "2147483647";
    std::string edited;
    for (size_t i = 0; i < f.size(); ++i)
        edited += (i ? "|" : "") + f[i];
    const TsloReport r = ReadTsloReport("641|0|OK||2147483647~" + edited, "ABCDE");
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(r.logLine, "TSLO Orders Ctr <2147483747>");
    const std::vector<std::string> t = TsloRowTexts(r.records[0], "SBIN", false);
    EXPECT_EQ(t[5], "-2147483648");
    EXPECT_EQ(t[10], "2147483647");
    EXPECT_EQ(t[11], "-4294967295");
}

TEST(TsloBookRows, StoredBooksKeepTheirSecuritiesSubscribed)
{
    ClearTsloBooks();
    EXPECT_TRUE(TsloBookSecurities().empty());
    auto first = std::make_shared<TsloBook>(3);
    (*first)[0].sec_index = 7;
    (*first)[1].sec_index = 3;
    (*first)[2].sec_index = -1; // a security not in the master
    auto second = std::make_shared<TsloBook>(2);
    (*second)[0].sec_index = 7;
    (*second)[1].sec_index = 11;
    SetTsloBook("ABCDE", first);
    SetTsloBook("XYZ12", second);
    EXPECT_EQ(TsloBookSecurities(), (std::vector<int>{3, 7, 11}));
    // The feed's composer sees them with no window open.
    const std::vector<int> extra = ExtraSubscriptions::instance().securities();
    for (int s : {3, 7, 11})
        EXPECT_NE(std::find(extra.begin(), extra.end(), s), extra.end()) << s;
    // A new download replaces the client's book; clearing drops them all.
    SetTsloBook("XYZ12", std::make_shared<TsloBook>());
    EXPECT_EQ(TsloBookSecurities(), (std::vector<int>{3, 7}));
    ClearTsloBooks();
    EXPECT_TRUE(TsloBookSecurities().empty());
    EXPECT_TRUE(ExtraSubscriptions::instance().securities().empty());
}

} // namespace

} // namespace test_tslo_book
