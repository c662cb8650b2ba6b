// The risk replies read as pure functions: headers, capacities, the limits
// slot map, the refusal notes and the request texts.
#include "RiskTestSecurities.h"

#include "positions/RiskReplies.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string positionRowText(int token, const std::string& exchange, int net, const std::string& marginType = "N",
                            int product = 0)
{
    std::vector<std::string> f(39, "0");
    f[0] = std::to_string(token);
    f[1] = exchange;
    f[6] = std::to_string(net);
    f[7] = std::to_string(net * 10000);
    f[10] = std::to_string(product);
    f[25] = "NAME";
    f[28] = "100.00";
    f[29] = "1";
    f[31] = marginType;
    std::string s;
    for (size_t i = 0; i < f.size(); ++i)
        s += (i ? "|" : "") + f[i];
    return s;
}

class RiskReplies : public ::testing::Test {
protected:
    void SetUp() override
    {
        equity = securities.add(101, "NN", risktest::Equity(10500));
        context.securities = &securities;
        context.segment_ids = {0, 1, 2, 4, 5, 7, 12};
    }
    risktest::Securities securities;
    RiskParseContext context;
    int equity = -1;
};

TEST_F(RiskReplies, PositionsKeepTheAnnouncedCountPlusOneAndDropTheRest)
{
    struct Case {
        const char* name;
        int count;
        int rows;
        size_t stored;
    };
    for (const Case& c : {Case{"count 2, 3 rows", 2, 3, 3}, Case{"count 2, 4 rows", 2, 4, 3},
                          Case{"count 0, 2 rows", 0, 2, 0}, Case{"count -5", -5, 1, 0},
                          Case{"huge count, 2 rows", 2000000000, 2, 2}}) {
        std::string reply = "412|0|OK|" + std::to_string(c.count) + "~";
        for (int i = 0; i < c.rows; ++i)
            reply += positionRowText(101, "NN", i + 1) + "^";
        const RiskOutcome out = ParsePositionsReply(kRiskPositions, reply, "ABC12", context);
        EXPECT_EQ(out.positions.size(), c.stored) << c.name;
        EXPECT_TRUE(out.post && out.note == kRiskPositions) << c.name;
        EXPECT_TRUE(out.store_positions) << c.name;
        for (size_t i = 0; i < out.positions.size(); ++i)
            EXPECT_EQ(out.positions[i].record_no, static_cast<int>(i));
    }
    // Counts at and beyond the largest long: room is made for the rows the
    // reply holds, without overflowing when one is added.
    for (const int type : {kRiskPositions, kRiskHoldings})
        for (const char* count : {"9223372036854775807", "9223372036854775806", "99999999999999999999"}) {
            std::string reply = std::to_string(type) + "|0|OK|" + count + "~";
            for (int i = 0; i < 2; ++i)
                reply += positionRowText(101, "NN", i + 1) + "^";
            EXPECT_EQ(ParsePositionsReply(type, reply, "ABC12", context).positions.size(), 2u) << type << " " << count;
        }
}

TEST_F(RiskReplies, PositionRowFieldsScaleAndLookUp)
{
    const std::string reply = "412|0|OK|2~" + positionRowText(101, "NN", 10, "N", 5) + "^"
        + positionRowText(999, "BN", -3, "P", 2) + "^";
    const RiskOutcome out = ParsePositionsReply(kRiskPositions, reply, "ABC12", context);
    ASSERT_EQ(out.positions.size(), 2u);
    const PositionRecord& a = out.positions[0];
    EXPECT_EQ(a.sec_index, equity);
    EXPECT_EQ(a.net_qty, 10);
    EXPECT_DOUBLE_EQ(a.net_value, 1000.0); // paise to rupees
    EXPECT_DOUBLE_EQ(a.avg_price, 100.0);  // already rupees
    EXPECT_EQ(a.side, 'B');
    EXPECT_EQ(a.product_class, 1);
    EXPECT_EQ(a.marking_index, 4); // segment id 5 is the fifth entry
    EXPECT_EQ(a.display_name, "NAME");
    const PositionRecord& b = out.positions[1];
    EXPECT_EQ(b.sec_index, -1); // stored, though not in the table
    EXPECT_EQ(b.side, 'S');
    EXPECT_EQ(b.product_class, 2);
    EXPECT_EQ(b.margin_type, "P");
    EXPECT_EQ(b.grid_row, -1);
    EXPECT_TRUE(out.renew_feed);
    EXPECT_EQ(out.bar_lines.back(), "Positions Downloaded Successfully for Client :ABC12, Total Positions :2");
}

TEST_F(RiskReplies, ShortRowsReadMissingFieldsAsZero)
{
    const RiskOutcome out = ParsePositionsReply(kRiskHoldings, "413|0|OK|1~101|NN|0|0|0|0|0^", "ABC12", context);
    ASSERT_EQ(out.positions.size(), 1u);
    EXPECT_EQ(out.positions[0].prev_stock_qty, 0);
    EXPECT_EQ(out.positions[0].holding_text, "");
    EXPECT_EQ(out.bar_lines.back(), "Stocks Downloaded Successfully for Client :ABC12, Total Holdings :1");
}

TEST_F(RiskReplies, RefusalsPostTheirNotes)
{
    const RiskOutcome session = ParseRiskReply(kRiskPositions, "412|1205|Session expired|0~", "ABC12", "", context);
    EXPECT_TRUE(session.post);
    EXPECT_EQ(session.note, kRiskNoteSession);
    EXPECT_TRUE(session.box.empty());
    EXPECT_TRUE(session.positions.empty());
    EXPECT_TRUE(session.store_positions); // the grid empties

    const RiskOutcome refused = ParseRiskReply(kRiskLimits, "411|7|Client not mapped|0~", "ABC12", "", context);
    EXPECT_EQ(refused.note, kRiskNoteRefused);
    EXPECT_EQ(refused.text, "Client not mapped");
    EXPECT_EQ(refused.bar_lines, std::vector<std::string>{"Client not mapped"});
    EXPECT_TRUE(refused.store_limits);
    EXPECT_EQ(refused.limits, nullptr);

    const RiskOutcome empty = ParseRiskReply(kRiskTodays, "", "ABC12", "", context);
    EXPECT_EQ(empty.note, kRiskNoteFailed);
    EXPECT_EQ(empty.box, "Server Error. Please Try Again...");

    const RiskOutcome proxy = RiskHttpFailure(kRiskHoldings, 407);
    EXPECT_EQ(proxy.box, "Proxy Authentication Failed");
    EXPECT_EQ(RiskHttpFailure(kRiskHoldings, 500).box,
              "Internet Connectivity Error [500]. Pls contact System Administrator");
}

TEST_F(RiskReplies, LimitsSlotMap)
{
    std::vector<std::string> f(58, "0");
    f[2] = "ABC12";
    f[3] = "3";
    f[10] = "10";
    f[11] = "1,2,3,4,5,6,7,8,9,10"; // a list of 10 keeps 8
    f[13] = "O";
    f[14] = "14";
    f[33] = "33";
    f[34] = "34";
    f[35] = "35";
    f[36] = "36";
    f[39] = "39";
    f[53] = "5,1,2,3,4";
    f[55] = "55";
    f[56] = "15:15";
    f[57] = "-250.75";
    std::string record;
    for (size_t i = 0; i < f.size(); ++i)
        record += (i ? "|" : "") + f[i];
    const RiskOutcome out = ParseLimitsReply("411|0|OK|5~" + record, "ABC12");
    ASSERT_NE(out.limits, nullptr);
    const LimitsRecord& r = *out.limits;
    EXPECT_EQ(out.note, kRiskLimits);
    EXPECT_EQ(out.count, 5);
    EXPECT_EQ(r.client_code, "ABC12");
    EXPECT_EQ(r.limit_flag, 'O');
    EXPECT_DOUBLE_EQ(r.at(2), 3);
    EXPECT_DOUBLE_EQ(r.at(9), 10);
    for (int i = 0; i < 8; ++i)
        EXPECT_DOUBLE_EQ(r.at(10 + i), i + 1);
    EXPECT_DOUBLE_EQ(r.at(18), 0); // the 9th and 10th elements went nowhere
    EXPECT_DOUBLE_EQ(r.at(26), 14);
    EXPECT_DOUBLE_EQ(r.at(45), 33);
    EXPECT_DOUBLE_EQ(r.at(48), 34);
    EXPECT_DOUBLE_EQ(r.at(47), 35);
    EXPECT_DOUBLE_EQ(r.at(46), 36);
    EXPECT_DOUBLE_EQ(r.at(50), 39);
    EXPECT_DOUBLE_EQ(r.at(90), 5);
    EXPECT_DOUBLE_EQ(r.at(91), 1);
    EXPECT_DOUBLE_EQ(r.at(99), 2);
    EXPECT_DOUBLE_EQ(r.at(92), 3);
    EXPECT_DOUBLE_EQ(r.at(100), 4);
    EXPECT_DOUBLE_EQ(r.at(108), 55);
    EXPECT_TRUE(out.has_mis_texts);
    EXPECT_EQ(out.mis_cutoff_text, "15:15");
    EXPECT_EQ(out.mis_profit_loss_text, "-250.75");
    EXPECT_EQ(out.bar_lines.back(), "[411] Limits Downloaded Successfully for Client :ABC12");
}

TEST_F(RiskReplies, LongListsNeverWritePastTheirSlots)
{
    std::vector<std::string> f(58, "0");
    std::string many;
    for (int i = 0; i < 40; ++i)
        many += (i ? "," : "") + std::to_string(i + 1);
    for (int k : {11, 12, 45, 48, 49, 50, 53})
        f[static_cast<size_t>(k)] = many;
    std::string record;
    for (size_t i = 0; i < f.size(); ++i)
        record += (i ? "|" : "") + f[i];
    const RiskOutcome out = ParseLimitsReply("411|0|OK|12~" + record, "ABC12");
    ASSERT_NE(out.limits, nullptr);
    EXPECT_DOUBLE_EQ(out.limits->at(98), 16);  // the 8th a of field 53
    EXPECT_DOUBLE_EQ(out.limits->at(106), 17); // the 8th b
    EXPECT_DOUBLE_EQ(out.limits->at(107), 0);  // field 54 untouched
    EXPECT_DOUBLE_EQ(out.limits->at(26), 0);   // field 14 untouched by field 12's list
}

TEST_F(RiskReplies, Unbilled)
{
    const std::string row = "RELIANCE EQ|12DEC2026|1000|2|1|500|100|400|0";
    const RiskOutcome three = ParseUnbilledReply("414|0|OK~" + row + "^" + row + "~900.00", "ABC12");
    EXPECT_EQ(three.note, kRiskUnbilled);
    ASSERT_EQ(three.unbilled.size(), 2u);
    EXPECT_EQ(three.unbilled[0].security, "RELIANCE~EQ");
    EXPECT_EQ(three.unbilled[0].source, 1);
    EXPECT_EQ(three.unbilled_total_text, "900.00");
    EXPECT_EQ(three.unbilled_hold_value_text, "");

    const RiskOutcome shortRow = ParseUnbilledReply("414|0|OK~" + row + "^a|b^" + row + "~1~2", "ABC12");
    EXPECT_EQ(shortRow.unbilled.size(), 1u); // the first short row ends the rows
    EXPECT_EQ(shortRow.unbilled_hold_value_text, "2");

    struct Case {
        const char* reply;
        const char* box;
        const char* bar;
    };
    for (const Case& c : {Case{"414", "[NPUP2]", "No unbilled positions for the client"},
                          Case{"414|0|OK~rows", "[NPUP5]",
                               "The response received from server is invalid [NPUP5], Please try again"}}) {
        const RiskOutcome out = ParseUnbilledReply(c.reply, "ABC12");
        EXPECT_EQ(out.note, kRiskNoteFailed) << c.reply;
        EXPECT_NE(out.box.find(c.box), std::string::npos) << c.reply;
        EXPECT_EQ(out.box_caption, "Client Message");
        EXPECT_EQ(out.bar_lines.back(), c.bar) << c.reply;
        EXPECT_FALSE(out.store_unbilled);
    }
}

std::string todaysRowText(int token, const std::string& exchange, int bq, double bPaise, int sq, double sPaise,
                          int product = 0, int fields = 36)
{
    std::vector<std::string> f(static_cast<size_t>(fields), "0");
    f[0] = std::to_string(token);
    f[1] = exchange;
    if (fields > 3)
        f[3] = std::to_string(bq);
    if (fields > 4)
        f[4] = std::to_string(bPaise);
    if (fields > 5)
        f[5] = std::to_string(sq);
    if (fields > 6)
        f[6] = std::to_string(sPaise);
    if (fields > 7)
        f[7] = std::to_string(bq - sq);
    if (fields > 8)
        f[8] = std::to_string(bPaise - sPaise);
    if (fields > 16)
        f[16] = std::to_string(product);
    if (fields > 21)
        f[21] = "1";
    std::string s;
    for (size_t i = 0; i < f.size(); ++i)
        s += (i ? "|" : "") + f[i];
    return s;
}

TEST_F(RiskReplies, TodaysRows)
{
    // Unknown token skipped; the next row takes its record.
    const std::string reply = "415|0|OK|3|U1|ABC12~" + todaysRowText(555, "NN", 1, 100, 0, 0) + "^"
        + todaysRowText(101, "NN", 10, 100000, 0, 0) + "^";
    const RiskOutcome out = ParseTodaysReply(reply, "ABC12", context);
    EXPECT_EQ(out.note, kRiskTodays);
    ASSERT_EQ(out.todays.size(), 1u);
    const TodaysPositionRecord& r = out.todays[0];
    EXPECT_EQ(r.record_no, 0);
    EXPECT_EQ(r.sec_index, equity);
    EXPECT_DOUBLE_EQ(r.ltp, 105.0);
    EXPECT_DOUBLE_EQ(r.unrealised_pl, 50.0); // (105 - 100) x 10
    EXPECT_EQ(r.grid_row, -1);
    EXPECT_EQ(out.bar_lines.back(), "Todays positions downloaded for [ABC12]");
    EXPECT_TRUE(out.renew_feed);

    // Without the final '^' the last row stays; a row of fewer than 9 fields ends the rows.
    const std::string noCaret = "415|0|OK|2|U1|ABC12~" + todaysRowText(101, "NN", 1, 100, 0, 0) + "^"
        + todaysRowText(101, "NN", 2, 100, 0, 0);
    EXPECT_EQ(ParseTodaysReply(noCaret, "ABC12", context).todays.size(), 2u);
    const std::string cut = "415|0|OK|2|U1|ABC12~" + todaysRowText(101, "NN", 1, 100, 0, 0, 0, 12) + "^"
        + todaysRowText(101, "NN", 2, 100, 0, 0, 0, 5) + "^" + todaysRowText(101, "NN", 3, 100, 0, 0) + "^";
    const RiskOutcome cutOut = ParseTodaysReply(cut, "ABC12", context);
    ASSERT_EQ(cutOut.todays.size(), 1u);
    EXPECT_EQ(cutOut.todays[0].buy_traded_qty, 1);
    EXPECT_DOUBLE_EQ(cutOut.todays[0].buy_avg, 0); // a missing field reads as 0

    const RiskOutcome none = ParseTodaysReply("415|0|OK|0|U1|ABC12~", "ABC12", context);
    EXPECT_TRUE(none.store_todays);
    EXPECT_TRUE(none.todays.empty());
    EXPECT_EQ(ParseTodaysReply("415", "ABC12", context).box,
              "The response received from server is invalid [NPTP2], Please try again");
}

TEST(RiskRequests, ClientCodeRule)
{
    for (const char* ok : {"ABC12", "dlf01", "X1Y2Z"})
        EXPECT_TRUE(IsProperRiskClientCode(ok)) << ok;
    for (const char* bad : {"ABC1", "AB C1", "AB-12", "ABC123", "", "AB|12", "AB&12", "AB~12", "AB^12", "A_B12"})
        EXPECT_FALSE(IsProperRiskClientCode(bad)) << bad;

    RiskClient c;
    ASSERT_TRUE(ChooseRiskClient(0, 'C', "ABC12", "0091", "", "SESS", c));
    EXPECT_EQ(RiskRequestText(412, c, "U1"), "RiskData=412|0091|U1|ABC12|ABC12|4&AClient=N");
    // The MIS "Get" sends the login's session id where the reports send the client's id.
    EXPECT_EQ(MisRequestText(c, "U1", "SESS"), "RiskData=411|SESS|U1|ABC12|ABC12&AClient=N");

    for (const char* typed : {"ABC1", "AB C1", "AB-12"})
        EXPECT_FALSE(ChooseRiskClient(0, 'D', "", "", typed, "SESS", c)) << typed;
    ASSERT_TRUE(ChooseRiskClient(0, 'D', "", "", "  DLF01 ", "SESS01", c));
    EXPECT_EQ(RiskRequestText(411, c, "D1"), "RiskData=411|SESS01|D1|DLF01|DLF01|4&AClient=N");
    ASSERT_TRUE(ChooseRiskClient(3, 'A', "XYZ99", "0042", "ignored", "SESS01", c));
    EXPECT_EQ(RiskRequestText(415, c, "A1"), "RiskData=415|0042|A1|XYZ99|XYZ99|4&AClient=Y");
    EXPECT_EQ(RiskDownloadingLine(415, "ABC12"), "Downloading Todays  positions for Client :ABC12");
}

TEST(RiskRequests, TabsAndTypes)
{
    const std::vector<int> dataIndexOfTab = {0, 4, 1, 3, 2};
    for (size_t tab = 0; tab < 5; ++tab) {
        const int index = DataIndexOfCaption(RiskTabCaptions()[tab]);
        EXPECT_EQ(index, dataIndexOfTab[tab]);
        EXPECT_EQ(DataIndexOfRiskType(RiskTypeOfDataIndex(index)), index);
    }
    EXPECT_EQ(RiskTypeOfDataIndex(4), kRiskTodays);
    EXPECT_EQ(RiskTypeOfDataIndex(5), -1);
}

TEST(Pledge, RequestAndReply)
{
    RiskClient c{"ABC12", "0091", false};
    EXPECT_EQ(PledgeRequestText(c, "U1", 0, {{1594, "NN", 10}, {2885, "BN", 5}}),
              "RiskData=419|0091|U1|ABC12|0|4|2~1594|NN|10^2885|BN|5~");

    const std::vector<std::pair<int, std::string>> names = {{1594, "INFY"}, {2885, "TCS"}};
    const PledgeResult ok = ParsePledgeReply(200, "419|0|OK~1594|Done^7777|Done too^2885|Fine", names);
    EXPECT_EQ(ok.note, 0);
    EXPECT_EQ(ok.text, "1 INFY-Done\n2 INFY-Done too\n3 TCS-Fine\n"); // an unknown token repeats the name

    EXPECT_EQ(ParsePledgeReply(200, "419|1|Rejected~", names).text, "Rejected");
    const PledgeResult bad = ParsePledgeReply(200, "garbage", names);
    EXPECT_EQ(bad.note, -1);
    EXPECT_EQ(bad.text, "Invalid Response Received For Pledge/Unpledge");
    EXPECT_EQ(ParsePledgeReply(200, "", names).text,
              "Server Error. Please Check Sell From Existing Report for Confirmation");
    EXPECT_EQ(ParsePledgeReply(407, "", names).text, "Proxy Authentication Failed");
}

} // namespace
