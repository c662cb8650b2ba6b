#include "server/SecurityTable.h"

#include "master_test_support.h"

#include <gtest/gtest.h>

#include <thread>

using namespace testsupport;

namespace {

// Rows: 0 AAA NN 5, 1 ACC BN 5, 2 INFY NN 1001, 3 INFY BN 1001, 4 INFY CN 77,
// 5 GOLD MC 9, 6 zinc NN 12 (lower-case key), 7 }odd NN 13, 8 high byte NN 14,
// 9 TOP NN 400000 (largest NN token).
const char* kRecords = "5,NN,AAA|EQ,111,1,5,ACT,1,0~"
                       "5,BN,ACC|A,222,1,5,ACT,1,0~"
                       "1001,NN,INFY|EQ,500209,1,5,ACT,1,0~"
                       "1001,BN,INFY|A,500209,1,5,ACT,1,0~"
                       "77,CN,INFY|FC|29DEC26,0,1,5,ACT,1,0~"
                       "9,MC,GOLD|CF|05FEB27,0,1,5,ACT,1,0~"
                       "12,NN,zinc|EQ,0,1,5,ACT,1,0~"
                       "13,NN,}odd|EQ,0,1,5,ACT,1,0~"
                       "14,NN,\xC3\xA9t|EQ,0,1,5,ACT,1,0~"
                       "400000,NN,TOP|EQ,0,1,5,ACT,1,0~";

} // namespace

TEST(SecurityLookups, TableOfCases)
{
    auto t = tableFrom(kRecords);
    ASSERT_EQ(t->count(), 10);
    struct Case {
        const char* name;
        int got;
        int expected;
    } cases[] = {
        {"NN token", t->searchToken(1001, "NN"), 2},
        {"BN token", t->searchToken(1001, "BN"), 3},
        {"largest NN token", t->searchToken(400000, "NN"), 9},
        {"unknown token below the map length", t->searchToken(6, "NN"), -1},
        {"token beyond the map", t->searchToken(400050, "NN"), -1},
        {"negative token", t->searchToken(-1, "NN"), -1},
        {"MC scans", t->searchToken(9, "MC"), 5},
        {"wrong exchange", t->searchToken(9, "NC"), -1},
        {"odd wtoken is NN", t->searchWToken(2001), t->searchToken(1001, "NN")},
        {"even wtoken is BN", t->searchWToken(2002), t->searchToken(1001, "BN")},
        {"odd wtoken falls back to CN", t->searchWToken(153), 4},
        {"MC wtoken by scan", t->searchWToken(17), 5},
        {"unknown wtoken", t->searchWToken(999999), -1},
        {"negative wtoken", t->searchWToken(-3), -1},
        {"zero wtoken", t->searchWToken(0), -1},
        {"symbol NN", t->searchSymbol("INFY", "NN", "EQ"), 2},
        {"symbol BN", t->searchSymbol("INFY", "BN", "A"), 3},
        {"symbol wrong series", t->searchSymbol("INFY", "BN", "EQ"), -1},
        {"symbol starting with z", t->searchSymbol("zinc", "NN", "EQ"), 6},
        {"key starting with }", t->searchScripKey("}odd~EQ", "NN"), 7},
        {"key with a high first byte", t->searchScripKey("\xC3\xA9t~EQ", "NN"), 8},
        {"key of a missing letter", t->searchScripKey("Qxx", "NN"), -1},
        {"display key", t->searchScripKey("INFY~FC~29DEC26", "CN"), 4},
        {"scrip code in its letter", t->searchScripCode(222, 'A'), 1},
        {"scrip code not in the letter", t->searchScripCode(500209, 'A'), -1},
        {"scrip code anywhere with -", t->searchScripCode(500209, '-'), 2},
        {"symbol or code by symbol", t->searchSymbolOrCode("GOLD"), 5},
        {"symbol or code by code", t->searchSymbolOrCode("222"), 1},
        {"0 matches no zero code", t->searchSymbolOrCode("0"), -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.got, c.expected) << c.name;
}

TEST(SecurityLookups, KeyStartingWithTheRecordSeparator)
{
    // '~' cannot come from the file, but a key built from parts can begin
    // with it; its bucket lies beyond any fixed 100-entry table.
    SecurityRows rows(2);
    rows[0].setDisplayKey("~x");
    rows[0].symbol.assign("~x");
    rows[0].market_exchange.assign("NN");
    rows[0].token = 1;
    rows[1].setDisplayKey("A");
    rows[1].market_exchange.assign("NN");
    rows[1].token = 2;
    SecurityTable t;
    t.build(std::move(rows), SecurityTable::Build::Full, false);
    EXPECT_EQ(t.searchScripKey("~x", "NN"), 0);
    EXPECT_EQ(t.searchSymbol("~x", "NN", ""), 0);
    EXPECT_EQ(t.searchScripKey("A", "NN"), 1);
}

TEST(SecurityLookups, MapEntryNamingAnotherTokenIsRejected)
{
    // Row 0 has token 5; a map slot of an absent token must not give row 0,
    // and a wrong entry is not rescued by a later matching row.
    auto t = tableFrom("5,NN,A|EQ,0,1,5,ACT,1,0~7,NN,B|EQ,0,1,5,ACT,1,0~7,NN,C|EQ,0,1,5,ACT,1,0~");
    EXPECT_EQ(t->mappedRow("NN", 3), -1);
    EXPECT_EQ(t->searchToken(3, "NN"), -1);
    EXPECT_EQ(t->searchToken(7, "NN"), 2); // the map keeps the last row of a token
}

TEST(SecurityLookups, OneMapWatchTokenChecksTheRow)
{
    // Extended file: the watch-token map alone answers; an unknown or stray
    // token gives -1, never row 0.
    auto t = tableFrom("5,NN,A|EQ,0,1,5,ACT,1,0,0,9~6,BN,B|A,0,1,5,ACT,1,0,0,12~");
    ASSERT_TRUE(t->extended_security_format());
    EXPECT_EQ(t->searchWToken(9), 0);
    EXPECT_EQ(t->searchWToken(12), 1);
    EXPECT_EQ(t->searchWToken(10), -1);
    EXPECT_EQ(t->searchWToken(11), -1);
    EXPECT_EQ(t->searchWToken(1 << 30), -1);
}

TEST(SecurityLookups, HugeTokensDoNotSizeTheMaps)
{
    auto t = tableFrom("2000000000,NN,BIG|EQ,0,1,5,ACT,1,0~-4,NN,NEG|EQ,0,1,5,ACT,1,0~1,BN,ONE|A,0,1,5,ACT,1,0~");
    EXPECT_EQ(t->searchToken(2000000000, "NN"), 0);
    EXPECT_EQ(t->searchToken(-4, "NN"), -1);
    EXPECT_EQ(t->searchWToken(2), 2);
}

TEST(SecurityLookups, TokenMapsInPages)
{
    // The maps keep a page of slots only where tokens fall (pages of 1,024
    // tokens): tokens either side of a page edge, one alone in its page,
    // absent pages before and between, the largest array token and the
    // hashed ones above it, a later row of a token replacing an earlier one.
    // An absent page reads -1 at every offset, here at the offsets of
    // 5000 (904) and 3,999,999 (255) in pages 2 and 3.
    auto t = tableFrom("1023,NN,A0|EQ,0,1,5,ACT,1,0,0,1023~"              // 0
                       "1024,NN,A1|EQ,0,1,5,ACT,1,0,0,1024~"              // 1, replaced by 8
                       "2047,NN,A2|EQ,0,1,5,ACT,1,0,0,2047~"              // 2
                       "5000,NN,A3|EQ,0,1,5,ACT,1,0,0,5000~"              // 3, alone in page 4
                       "3999999,NN,A4|EQ,0,1,5,ACT,1,0,0,3999999~"        // 4, the largest array token
                       "4000000,NN,A5|EQ,0,1,5,ACT,1,0,0,4000000~"        // 5, hashed, replaced by 9
                       "2000000000,NN,A6|EQ,0,1,5,ACT,1,0,0,2000000000~"  // 6, hashed
                       "3000,BN,B0|A,0,1,5,ACT,1,0,0,6000~"               // 7
                       "1024,NN,A7|EQ,0,1,5,ACT,1,0,0,1024~"              // 8
                       "4000000,NN,A8|EQ,0,1,5,ACT,1,0,0,4000000~");      // 9
    ASSERT_TRUE(t->extended_security_format());
    struct Case {
        const char* exch;
        int token;
        int row;
    } cases[] = {
        {"NN", 1022, -1},       {"NN", 1023, 0},        {"NN", 1024, 8},       {"NN", 1025, -1},
        {"NN", 2047, 2},        {"NN", 2048, -1},       {"NN", 2952, -1},      {"NN", 3327, -1},
        {"NN", 4095, -1},       {"NN", 4096, -1},       {"NN", 4999, -1},      {"NN", 5000, 3},
        {"NN", 5001, -1},       {"NN", 5119, -1},       {"NN", 3000, -1},      {"NN", 3999998, -1},
        {"NN", 3999999, 4},     {"NN", 4000000, 9},     {"NN", 4000001, -1},   {"NN", 2000000000, 6},
        {"NN", 0, -1},          {"NN", -1024, -1},      {"BN", 3000, 7},       {"BN", 2952, -1},
        {"BN", 1023, -1},       {"BN", 5000, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(t->mappedRow(c.exch, c.token), c.row) << c.exch << " " << c.token;
        EXPECT_EQ(t->searchToken(c.token, c.exch), c.row) << c.exch << " " << c.token;
    }
    // The watch map, with the same tokens as watch tokens (BN's as 6000).
    struct WatchCase {
        int wtoken;
        int row;
    } watch[] = {
        {1022, -1}, {1023, 0},    {1024, 8},        {1025, -1},    {2047, 2},       {2048, -1},
        {2952, -1}, {3327, -1},   {4999, -1},       {5000, 3},     {5001, -1},      {6000, 7},
        {3000, -1}, {3999999, 4}, {4000000, 9},     {4000001, -1}, {2000000000, 6}, {-1024, -1},
    };
    for (const WatchCase& c : watch) {
        t->prefetchWTokenEntry(c.wtoken); // touches only the slot's page or none
        EXPECT_EQ(t->prefetchWToken(c.wtoken), c.row) << c.wtoken;
        EXPECT_EQ(t->searchWToken(c.wtoken), c.row) << c.wtoken;
    }
}

TEST(SecurityLookups, PublishedTableServesTheFreeFunctions)
{
    SecurityTable::publish(nullptr);
    EXPECT_EQ(Search_Token(1001, "NN"), -1);
    auto t = tableFrom(kRecords);
    SecurityTable::publish(t);
    EXPECT_EQ(Search_Token(1001, "NN"), 2);
    EXPECT_EQ(Search_WToken(2002), 3);
    EXPECT_EQ(Search_Symbol("AAA", "NN", "EQ"), 0);
    EXPECT_EQ(Search_ScripCode(111, '-'), 0);
    EXPECT_EQ(Search_SymbolOrCode("TOP"), 9);
    EXPECT_EQ(Search_ScripKey("ACC~A", "BN"), 1);
    EXPECT_TRUE(IsCashScrip(0));
    EXPECT_FALSE(IsCashScrip(4));
    EXPECT_FALSE(IsCashScrip(-1));
    SecurityTable::publish(nullptr);
}

TEST(SecurityIndexBuild, WatchTokensFlagsAndExpiryLists)
{
    auto t = tableFrom("1001,NN,A|EQ,0,1,5,ACT,1,0~1001,BN,B|A,0,1,5,ACT,1,0~"
                       "3,CN,USDINR|FC|29DEC26,0,1,5,ACT,1,0~4,CN,USDINR|FC|29DEC26,0,1,5,ACT,1,0~"
                       "5,NN,X|FS|30DEC26,0,1,5,ACT,1,0~6,NN,X|FS|25NOV26,0,1,5,SUSP,1,0~"
                       "7,NN,X|FS|30DEC26,0,1,5,ACT,1,0~"
                       "8,NN,N|FI|30DEC26,0,1,5,ACT,1,0~9,NN,NIFTY|IN,0,1,5,ACT,1,0~10,CN,REF|IN,0,1,5,ACT,1,0~"
                       "11,MC,G|CF|05FEB27,0,1,5,ACT,1,0~12,NN,Y|FS|30Dec26,0,1,5,ACT,1,0~");
    EXPECT_EQ(t->row(0).wtoken, 2001);
    EXPECT_EQ(t->row(1).wtoken, 2002);
    EXPECT_EQ(t->row(2).currency, 1);
    EXPECT_EQ(t->row(4).derivative, 1);
    EXPECT_EQ(t->row(8).derivative, 1); // "IN" on NN
    EXPECT_EQ(t->row(9).currency, 1);   // "IN" on CN
    EXPECT_EQ(t->row(10).commodity, 1);

    auto dates = [](const std::vector<ExpDateCompare>& l) {
        std::vector<int> d;
        for (const auto& e : l)
            d.push_back(e.date);
        return d;
    };
    // One element per date, ascending; a month in lower case gives month 00.
    EXPECT_EQ(dates(t->futureStockExpiries()), (std::vector<int>{20260030, 20261125, 20261230}));
    EXPECT_EQ(dates(t->futureIndexExpiries()), std::vector<int>{20261230});
    EXPECT_EQ(dates(t->futureCurrencyExpiries()), std::vector<int>{20261229});
    EXPECT_EQ(dates(t->commodityFutureExpiries()), std::vector<int>{20270205});
    EXPECT_STREQ(t->futureIndexExpiries()[0].text, "30DEC26");

    // A merge build takes expiry dates only from active rows.
    auto m = tableFrom("5,NN,X|FS|30DEC26,0,1,5,ACT,1,0~6,NN,X|FS|25NOV26,0,1,5,SUSP,1,0~", true);
    EXPECT_EQ(dates(m->futureStockExpiries()), std::vector<int>{20261230});
}

TEST(SecurityIndexBuild, FlagsOfEveryInstrumentKind)
{
    // Each row starts with derivative 7, currency 7 and commodity 7, so that
    // a flag the rule leaves alone shows as 7.
    struct Case {
        const char* type;
        const char* exchange;
        int derivative, currency, commodity;
    };
    const Case cases[] = {
        {"EQ", "NN", 0, 0, 7}, {"A", "BN", 0, 0, 7},  {"OS", "NN", 1, 0, 7}, {"OI", "NN", 1, 0, 7},
        {"FS", "NN", 1, 0, 7}, {"FI", "NN", 1, 0, 7}, {"OC", "CN", 1, 1, 7}, {"FC", "CB", 1, 1, 7},
        {"IN", "CN", 7, 1, 7}, {"IN", "NN", 1, 7, 7}, {"IN", "BN", 0, 0, 7}, {"CO", "MC", 1, 0, 1},
        {"CF", "NC", 1, 0, 1}, {"CM", "CM", 1, 0, 1}, {"CI", "MC", 1, 0, 1}, {"F", "NN", 0, 0, 7},
        {"", "NN", 0, 0, 7},
    };
    for (const Case& c : cases) {
        SecurityRecord r;
        r.inst_type.assign(c.type);
        r.market_exchange.assign(c.exchange);
        r.derivative = r.currency = 7;
        r.commodity = 7;
        DeriveSecurityFlags(r);
        EXPECT_EQ(r.derivative, c.derivative) << c.type << " " << c.exchange;
        EXPECT_EQ(r.currency, c.currency) << c.type << " " << c.exchange;
        EXPECT_EQ(r.commodity, c.commodity) << c.type << " " << c.exchange;
    }

    // The exchanges whose records carry units per lot, and each map's own.
    for (const char* x : {"CN", "CB", "CM", "NC", "MC"})
        EXPECT_TRUE(UnitsPerLotExchange(x)) << x;
    for (const char* x : {"NN", "BN", "", "C", "CNX", "cn"})
        EXPECT_FALSE(UnitsPerLotExchange(x)) << x;
    // Token 5 on each mapped exchange (row i), and on one that has no map.
    auto t = tableFrom("5,NN,A|EQ,0,1,5,ACT,1,0~5,BN,B|A,0,1,5,ACT,1,0~5,CN,C|FC|29DEC26,0,1,5,ACT,1,0~"
                       "5,CB,D|FC|29DEC26,0,1,5,ACT,1,0~5,CM,E|CF|05FEB27,0,1,5,ACT,1,0~"
                       "5,NC,F|CF|05FEB27,0,1,5,ACT,1,0~5,MC,G|CF|05FEB27,0,1,5,ACT,1,0~"
                       "5,XX,H|EQ,0,1,5,ACT,1,0~");
    const char* mapped[] = {"NN", "BN", "CN", "CB", "CM", "NC", "MC"};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(t->mappedRow(mapped[i], 5), i) << mapped[i];
    for (const char* x : {"XX", "N", "nn", ""})
        EXPECT_EQ(t->mappedRow(x, 5), -1) << x;
}

TEST(SecurityIndexBuild, UngroupedFileBucketsPointAtTheLastGroup)
{
    auto t = tableFrom("1,NN,AX|EQ,0,1,5,ACT,1,0~2,NN,BX|EQ,0,1,5,ACT,1,0~3,NN,AY|EQ,0,1,5,ACT,1,0~"
                       "4,NN,AZ|EQ,0,1,5,ACT,1,0~");
    const auto a = t->bucket('A');
    EXPECT_EQ(a.first, 2);
    EXPECT_EQ(a.last, 4);
    EXPECT_EQ(t->searchSymbol("AX", "NN", "EQ"), -1); // outside the last group
    EXPECT_EQ(t->searchSymbol("AZ", "NN", "EQ"), 3);
    EXPECT_EQ(t->bucket('C').first, t->bucket('C').last);
}

TEST(SecurityIndexBuild, LargeTableIndexesAsRowByRow)
{
    // A large table is indexed on several threads. The result must be the
    // row-by-row one: a later row of a token wins its map entry, a letter
    // group and its later replacement span the threads' shares, each expiry
    // date is listed once (ascending), and keyless rows are in no map.
    const int n = 60'000;
    std::string text;
    const char* months[] = {"30DEC26", "28JAN27", "25FEB27", "30Dec26"};
    for (int i = 0; i < n; ++i) {
        const char letter = i < 30'000 ? 'A' : i < 40'000 ? 'B' : 'A';
        const int token = i % 25'000 + 1;
        if (i == 45'001) {
            text += std::to_string(token) + ",NN,,0,1,5,ACT,1,0~"; // no display key
        } else if (i % 7 == 0) {
            const char* month = months[(i / 7) % (i < 50'000 ? 3 : 4)];
            text += std::to_string(token) + ",NN," + letter + std::to_string(i) + "|FS|" + month + ",0,1,5,ACT,1,0~";
        } else {
            text += std::to_string(token) + ",NN," + letter + std::to_string(i) + "|EQ,0,1,5,ACT,1,0~";
        }
    }
    auto t = tableFrom(text);
    ASSERT_EQ(t->count(), n);

    for (int token : {1, 2, 7, 12'345, 24'999, 25'000}) {
        int last = -1;
        for (int i = 0; i < n; ++i)
            if (i % 25'000 + 1 == token && i != 45'001)
                last = i;
        EXPECT_EQ(t->searchToken(token, "NN"), last) << token;
        EXPECT_EQ(t->searchWToken(2 * token - 1), last) << token;
    }
    EXPECT_EQ(t->mappedRow("NN", 45'001 % 25'000 + 1), 20'001); // the keyless row took no entry
    EXPECT_EQ(t->bucket('A').first, 40'000);
    EXPECT_EQ(t->bucket('A').last, n);
    EXPECT_EQ(t->bucket('B').first, 30'000);
    EXPECT_EQ(t->bucket('B').last, 40'000);

    std::vector<int> dates;
    for (const auto& e : t->futureStockExpiries())
        dates.push_back(e.date);
    EXPECT_EQ(dates, (std::vector<int>{20260030, 20261230, 20270128, 20270225}));
    EXPECT_STREQ(t->futureStockExpiries()[1].text, "30DEC26");
}

TEST(SecurityQuote, ColumnKindsReachTheirValues)
{
    QuoteData q;
    for (int i = 0; i < kQuoteSlots; ++i) {
        q.quote[i] = 100 + i;
        q.tick_code[i] = static_cast<short>(i);
    }
    q.year_high = 55.5;
    q.year_low = 44.5;
    for (int k = 0; k <= 18; ++k) {
        EXPECT_EQ(ColumnKindValue(q, k), 100 + k);
        EXPECT_EQ(ColumnKindTick(q, k), k);
    }
    EXPECT_EQ(ColumnKindValue(q, 19), 55.5);
    EXPECT_EQ(ColumnKindValue(q, 20), 44.5);
    EXPECT_EQ(ColumnKindTick(q, 19), 0);
    EXPECT_EQ(ColumnKindValue(q, 21), 119);
    EXPECT_EQ(ColumnKindValue(q, 22), 120);
    EXPECT_EQ(ColumnKindTick(q, 22), 20);
    EXPECT_EQ(ColumnKindValue(q, 23), 0);
    EXPECT_EQ(ColumnKindValue(q, -1), 0);
}

TEST(SecurityQuote, BeforeTheFirstQuoteTheLoadedYearValuesShow)
{
    auto t = tableFrom("1,NN,A|EQ,0,1,5,ACT,1,950.5,410.25,1~");
    SecurityRecord& r = t->row(0);
    QuoteData q = r.quote();
    EXPECT_EQ(ColumnKindValue(q, 19), 950.5);
    EXPECT_EQ(ColumnKindValue(q, 20), 410.25);
    EXPECT_EQ(ColumnKindValue(q, 4), 0);
    r.updateQuote([](QuoteData& d) {
        d.quote[4] = 1234;
        d.year_high = 1000; // a new high raised by the feed
    });
    q = r.quote();
    EXPECT_EQ(ColumnKindValue(q, 4), 1234);
    EXPECT_EQ(ColumnKindValue(q, 19), 1000);
    EXPECT_EQ(ColumnKindValue(q, 20), 410.25);
    // Copies (a rebuild) carry the live part with them.
    SecurityRecord copy = r;
    EXPECT_EQ(copy.quote().quote[4], 1234);
}

// The feed writes whole quotes while windows read them on other threads: a
// reader must never see values of two different writes in one row. Every
// write stores one number in all slots, so a torn read shows mixed numbers.
TEST(SecurityQuote, ConcurrentReadsNeverSeeATornRow)
{
    auto t = tableFrom("1,NN,A|EQ,0,1,5,ACT,1,0~2,NN,B|EQ,0,1,5,ACT,1,0~");
    constexpr int kWrites = 20000;
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::atomic<long> reads{0};
    // The writers start once both readers are reading: otherwise an optimised
    // build can finish every write before a reader has looked once.
    std::atomic<int> readersIn{0};
    auto waitForReaders = [&] {
        while (readersIn.load() < 2)
            std::this_thread::yield();
    };
    for (int r = 0; r < 2; ++r)
        t->row(r).storeQuote(QuoteData{}); // a consistent start: everything 0

    // Two writers on the same rows, one copying the live part out and back,
    // the other (as the feed does) changing it in place.
    std::thread inPlace([&] {
        waitForReaders();
        for (int n = 2; n <= kWrites; n += 2) {
            t->row((n / 2) % 2).writeQuote([n](LiveQuote::Writer& w) {
                w.setLastUpdate(n);
                for (int i = 0; i < kFeedQuoteValues; ++i) {
                    w.setQuote(i, n);
                    w.setTick(i, static_cast<short>(n % 1000));
                }
                w.setYearHigh(n);
                w.setYearLow(n);
            });
        }
    });
    std::thread writer([&] {
        waitForReaders();
        for (int n = 1; n <= kWrites; n += 2) {
            t->row((n / 2) % 2).updateQuote([n](QuoteData& d) {
                d.last_update = n;
                for (int i = 0; i < kQuoteSlots; ++i) {
                    d.quote[i] = n;
                    d.tick_code[i] = static_cast<short>(n % 1000);
                }
                d.year_high = n;
                d.year_low = n;
            });
        }
        inPlace.join();
        done = true;
    });
    auto reader = [&] {
        // Bounded: stop with the writer, or after a fixed number of reads.
        for (int i = 0; i < 2'000'000 && !done.load(); ++i) {
            const QuoteData d = t->row(i % 2).quote();
            if (i == 0)
                ++readersIn;
            const double v = d.quote[0];
            bool ok = d.last_update == static_cast<int64_t>(v) && d.year_high == v && d.year_low == v;
            for (int s = 0; s < kFeedQuoteValues; ++s)
                ok = ok && d.quote[s] == v && d.tick_code[s] == static_cast<short>(static_cast<int>(v) % 1000);
            // The slots no quote carries are never kept.
            for (int s = kFeedQuoteValues; s < kQuoteSlots; ++s)
                ok = ok && d.quote[s] == 0 && d.tick_code[s] == 0;
            if (!ok)
                ++torn;
            ++reads;
        }
    };
    std::thread r1(reader), r2(reader);
    writer.join();
    r1.join();
    r2.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_GT(reads.load(), 0);
    // Row 0 ends with the last write of one writer or the other.
    const double last = t->row(0).quote().quote[5];
    EXPECT_TRUE(last == kWrites || last == kWrites - 3) << last;
}
