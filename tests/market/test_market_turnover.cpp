// The market dialog's turnover data without the window: the reply grammar
// by field offset, the rows of modes 1, 2 and 5, the pie, the CSV text and
// the web page addresses.
#include "market/MarketTurnover.h"

#include <gtest/gtest.h>

namespace {

const char kExchanges[] = "Exchange,NSE,100.5,10,50.25,5,0,0,150.75*Exchange,BSE,1,1,2,2,3,3,6";

TEST(MarketTurnover, RepliesErrorsAndShortRecords)
{
    EXPECT_EQ(mt::TurnoverRequest(1), "mktcaptok=1");
    EXPECT_EQ(mt::TurnoverRequest(6), "mktcaptok=2");

    const mt::TurnoverReply err = mt::ParseTurnoverReply("-1,55,Service down*", 1);
    EXPECT_FALSE(err.ok);
    EXPECT_TRUE(err.countsAsLoad);
    EXPECT_EQ(err.boxText, "Error : [55] : Service down");
    EXPECT_TRUE(err.records.empty());

    const mt::TurnoverReply text = mt::ParseTurnoverReply("Market closed", 1);
    EXPECT_FALSE(text.ok);
    EXPECT_FALSE(text.countsAsLoad);
    EXPECT_EQ(text.boxText, "Market closed");
    EXPECT_EQ(text.boxCaption, "Server Message");
    // Commas in the message: the whole text, not a record dropped unseen.
    const mt::TurnoverReply commas = mt::ParseTurnoverReply("Market closed, try again after 9:15, thanks", 1);
    EXPECT_FALSE(commas.ok);
    EXPECT_FALSE(commas.countsAsLoad);
    EXPECT_EQ(commas.boxText, "Market closed, try again after 9:15, thanks");
    EXPECT_EQ(commas.boxCaption, "Server Message");
    // A lone error record without '*' still reads as an error.
    EXPECT_EQ(mt::ParseTurnoverReply("-1,7,Bad, request", 2).boxText, "Error : [7] : Bad");

    // Mode 1 reads from field 1; a record too short for the offset is skipped.
    const mt::TurnoverReply r = mt::ParseTurnoverReply(std::string(kExchanges) + "*Exchange,MCX,1,1*", 1);
    ASSERT_EQ(r.records.size(), 2u);
    EXPECT_EQ(r.records[0].name, "NSE");
    EXPECT_EQ(r.records[0].totalCount, 15);
    EXPECT_DOUBLE_EQ(r.records[0].totalVolume, 150.75);
    EXPECT_EQ(r.records[0].exchangeId, -1);

    // Mode 2 from field 4 with the exchange id in field 2.
    const mt::TurnoverReply idx = mt::ParseTurnoverReply("26000,NIFTY,1,Index,NIFTY 50,5,1,5,2,0,0,10", 2);
    ASSERT_EQ(idx.records.size(), 1u);
    EXPECT_EQ(idx.records[0].name, "NIFTY 50");
    EXPECT_EQ(idx.records[0].exchangeId, 1);
}

// Counts beyond any number of stocks (or beyond a long) are bounded when
// read, so their total is a sum that cannot overflow.
TEST(MarketTurnover, CountsFromTheServerAreBounded)
{
    const mt::TurnoverReply r = mt::ParseTurnoverReply(
        "Exchange,NSE,1,9223372036854775807,1,9223372036854775807,1,99999999999999999999,3*"
        "Exchange,BSE,1,-9223372036854775808,1,-5,1,-99999999999999999999,3*",
        1);
    ASSERT_EQ(r.records.size(), 2u);
    EXPECT_EQ(r.records[0].upCount, 1000000000000L);
    EXPECT_EQ(r.records[0].totalCount, 3000000000000L);
    EXPECT_EQ(r.records[1].totalCount, -2000000000005L);
    const mt::TurnoverReply idx = mt::ParseTurnoverReply("1,A,99999999999,Index,NIFTY 50,5,1,5,2,0,0,10", 2);
    ASSERT_EQ(idx.records.size(), 1u);
    EXPECT_EQ(idx.records[0].exchangeId, 2147483647);
}

TEST(MarketTurnover, RowsOfTheModes)
{
    mt::TurnoverMap map;
    mt::MergeTurnover(map, mt::ParseTurnoverReply(kExchanges, 1).records);
    const std::vector<mt::GridRow> rows = mt::MarketTurnoverRows(map, "NSE");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].cells, (std::vector<std::string>{"Up", "100.50", "10"}));
    EXPECT_EQ(rows[3].cells, (std::vector<std::string>{"Total", "150.75", "15"}));
    EXPECT_EQ(rows[3].image, 3);
    EXPECT_TRUE(mt::MarketTurnoverRows(map, "MCX").empty());

    mt::TurnoverMap indices;
    mt::MergeTurnover(indices, mt::ParseTurnoverReply("1,A,1,Index,NIFTY 50,5,1,5,2,0,0,10*"
                                                      "2,B,1,Index,NIFTY BANK,7,1,2,2,0,0,9*"
                                                      "3,C,2,Index,SENSEX,1,1,1,1,0,0,2",
                                                      2)
                                   .records);
    const std::vector<mt::GridRow> nse = mt::IndicesTurnoverRows(indices, 1);
    ASSERT_EQ(nse.size(), 2u);
    EXPECT_EQ(nse[0].cells[0], "NIFTY 50");
    EXPECT_EQ(nse[0].image, 1); // down equal to up
    EXPECT_EQ(nse[1].image, 0);
    EXPECT_EQ(mt::IndicesTurnoverRows(indices, 2).size(), 1u);

    const std::vector<mt::GridRow> details = mt::IndexDetailRows(indices.at("NIFTY 50"));
    EXPECT_EQ(details[1].cells, (std::vector<std::string>{"Stocks", "1.00", "2.00", "0.00"}));
}

TEST(MarketTurnover, PieSlicesAndRotation)
{
    mt::TurnoverRecord r;
    r.upVolume = 5;
    r.neutralVolume = 9;
    const std::vector<mt::Slice> slices = mt::PieSlices(r);
    ASSERT_EQ(slices.size(), 2u); // no slice for the zero down volume
    EXPECT_EQ(slices[1].name, "NEUTRAL");
    EXPECT_EQ(mt::PieRotation(r), -180);
    r.downVolume = 20;
    EXPECT_EQ(mt::PieRotation(r), 180);
    EXPECT_TRUE(mt::PieSlices(mt::TurnoverRecord{}).empty());
}

TEST(MarketTurnover, CsvAndPageAddresses)
{
    EXPECT_EQ(mt::GridCsv({"Category", "Volume"}, {{"Up", "1.00"}, {"Down", "2.00"}}),
              "Category,Volume,\nUp,1.00,\nDown,2.00,\n");
    EXPECT_EQ(mt::GridCsv({"Category"}, {}), "");

    EXPECT_EQ(mt::NewsUrl("", "M&M"), "https://news.google.com/search?q=M%26M");
    EXPECT_EQ(mt::NewsUrl("https://n.example/q?s=%s&x=1", "A B"), "https://n.example/q?s=A%20B&x=1");
    EXPECT_EQ(mt::NewsUrl("file:///etc/%s", "X"), "");
    EXPECT_EQ(mt::CompanyProfileUrl("http://host:80/", "M&M"), "http://host:80/jsp/EquitySearch.jsp?searchstring=M%26M");
    EXPECT_EQ(mt::CompanyProfileUrl("javascript:", "1"), "");
}

} // namespace
