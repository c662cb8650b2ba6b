// The market watch's Qt-free rules: watch-list names, CSV fields, the
// type-ahead prefix, the watch-list and risk replies and requests, the
// holdings and positions lists, and the two security finders over a small
// master.
#include "server/SecurityTable.h"
#include "server/ServerAccess.h"

#include "orders/PositionRecords.h"
#include "watch/ScripFinder.h"
#include "watch/WatchTextRules.h"
#include "watch/WatchlistServer.h"
#include "watch/base/WatchlistTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

namespace {

// --- names, CSV, type-ahead ------------------------------------------------

TEST(WatchlistName, LengthCharactersAndTrimming)
{
    const struct {
        const char* typed;
        NameProblem problem;
        const char* stored;
    } cases[] = {
        {"Abcdefghijkl", NameProblem::None, "Abcdefghijkl"},
        {"Abcdefghijklm", NameProblem::TooLong, "Abcdefghijklm"},
        {" \tMy List1\t ", NameProblem::Forbidden, "My List1"}, // the inner blank
        {" \tMyList1\t ", NameProblem::None, "MyList1"},
        {"Nifty-50", NameProblem::Forbidden, "Nifty-50"},
        {"a.b", NameProblem::Forbidden, "a.b"},
        {"M&M", NameProblem::Forbidden, "M&M"},
        {"   ", NameProblem::Empty, ""},
        {"", NameProblem::Empty, ""},
    };
    for (const auto& c : cases) {
        std::string stored;
        EXPECT_EQ(CheckWatchlistName(c.typed, &stored), c.problem) << c.typed;
        EXPECT_EQ(stored, c.stored) << c.typed;
    }
    EXPECT_STREQ(NameProblemText(NameProblem::TooLong), "Please Enter Watchlist Name less than 13 characters");

    std::string study;
    EXPECT_TRUE(ChartStudyNameOk(" RSI.v2 ", &study));
    EXPECT_EQ(study, "RSI.v2");
    EXPECT_FALSE(ChartStudyNameOk("  ", &study));
    EXPECT_FALSE(ChartStudyNameOk("a-b", &study));

    EXPECT_TRUE(ScripSearchTextOk("M&M"));
    EXPECT_TRUE(ScripSearchTextOk("BAJAJ-AUTO.X"));
    EXPECT_FALSE(ScripSearchTextOk("ABC_D"));
    EXPECT_FALSE(ScripSearchTextOk("AB C"));
}

TEST(CsvField, QuotesOnlyFieldsThatNeedIt)
{
    EXPECT_EQ(CsvField("SBIN~EQ"), "SBIN~EQ");
    EXPECT_EQ(CsvField("1,234.50"), "\"1,234.50\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(CsvField(""), "");
}

// A cell a spreadsheet would run as a formula shows as text; figures and the
// grids' lone "-" are written as they are.
TEST(CsvField, TextThatWouldRunAsAFormulaShowsAsText)
{
    const std::pair<const char*, const char*> cases[] = {
        {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
        {"+cmd|' /C calc'!A0", "'+cmd|' /C calc'!A0"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"-cmd", "'-cmd"},
        {"-2+3+cmd", "'-2+3+cmd"},
        {"=1,2", "\"'=1,2\""},
        {"-12.50", "-12.50"},
        {"+3.25", "+3.25"},
        {"-1,234.50", "\"-1,234.50\""},
        {"-0.35%", "-0.35%"},
        {"-", "-"},
        {"A=B", "A=B"},
    };
    for (const auto& [text, written] : cases)
        EXPECT_EQ(CsvField(text), written) << text;
}

TEST(TypeAhead, KeysWithinOneSecondExtendThePrefix)
{
    TypeAheadPrefix p;
    EXPECT_EQ(p.add('I', 100), "I");
    EXPECT_EQ(p.add('N', 100), "IN");
    EXPECT_EQ(p.add('F', 101), "INF"); // one whole second after the start
    EXPECT_EQ(p.add('T', 103), "T");   // later: a new prefix
    EXPECT_EQ(p.add('C', 104), "TC");
    EXPECT_EQ(p.add('S', 105), "S");   // two seconds after the start of "TC"
}

// --- replies and requests ----------------------------------------------------

TEST(WatchReply, EveryFieldIsReadAndAShortReplyIsNoSuccess)
{
    const struct {
        const char* name;
        int status;
        const char* body;
        bool hasResult;
        int result;
        bool hasId;
        int id;
    } cases[] = {
        {"id after an empty field", 200, "101|0|Watch List Added||105", true, 0, true, 105},
        {"no id", 200, "101|0|Watch List Added", true, 0, false, 0},
        {"refused", 200, "103|1|Watch List not found", true, 1, false, 0},
        {"no result", 200, "101", false, -1, false, 0},
        {"empty", 200, "", false, -1, false, 0},
        {"result not a number", 200, "101|ok|x||7", false, -1, true, 7},
        {"blanks around fields", 200, "107| 0 | Saved || 12 ", true, 0, true, 12},
        {"not 200", 500, "101|0|x||5", false, -1, false, 0},
    };
    for (const auto& c : cases) {
        const WatchReply r = ParseWatchReply(c.status, c.body);
        EXPECT_EQ(r.hasResult, c.hasResult) << c.name;
        EXPECT_EQ(r.result, c.result) << c.name;
        EXPECT_EQ(r.hasId, c.hasId) << c.name;
        if (c.hasId) {
            EXPECT_EQ(r.id, c.id) << c.name;
        }
        EXPECT_EQ(r.accepted(), c.status == 200 && c.hasResult && c.result == 0) << c.name;
    }
    EXPECT_EQ(ParseWatchReply(200, "107| 0 | Saved || 12 ").message, "Saved");
}

TEST(WatchRequests, TextsOfTheDialogAndTheSave)
{
    WatchSession s;
    s.sessionId = "SESS0001";
    s.userId = "U1";
    s.clientCode = "ABC12";
    EXPECT_EQ(WatchlistRequestText(s, 1, 0, "Abc", ""), "WD=101|SESS0001|U1|Abc|0|4");
    EXPECT_EQ(WatchlistRequestText(s, 2, 105, "Abc", "Xyz"), "WD=103|SESS0001|U1|105|Abc|Xyz|4");
    EXPECT_EQ(WatchlistRequestText(s, 3, 105, "Abc", ""), "WD=102|SESS0001|U1|Abc|105|4");
    EXPECT_EQ(WatchlistTransCode(1), 3);
    EXPECT_EQ(WatchlistTransCode(3), 5);

    const std::vector<SaveRow> rows = {{2885, "NSE", 0}, {500325, "BSE", 1}, {17, "MCX-CM-LONGER", -1}};
    EXPECT_EQ(SaveWatchlistText(s, "Abc", rows),
              "WD=107|SESS0001|U1|Abc|3^2885|NSE|0~500325|BSE|1~17|MCX-CM-LO|-1~|4");
    EXPECT_EQ(SaveWatchlistText(s, "Abc", {}), "WD=107|SESS0001|U1|Abc|0^|4");

    EXPECT_EQ(RiskRequestText(s, 413), "RiskData=413|SESS0001|U1|ABC12|ABC12|4&AClient=N");
    EXPECT_EQ(RiskRequestText(s, 412), "RiskData=412|SESS0001|U1|ABC12|ABC12|4&AClient=N");

    // A hundred rows fit no RSA request; plain and Base64 carry anything.
    const std::vector<SaveRow> many(100, SaveRow{123456, "NSE", 0});
    const std::string text = SaveWatchlistText(s, "Abc", many);
    EXPECT_FALSE(RequestFitsEncoding(2, text));
    EXPECT_TRUE(RequestFitsEncoding(1, text));
    EXPECT_TRUE(RequestFitsEncoding(0, text));
    EXPECT_TRUE(RequestFitsEncoding(2, std::string(629, 'x')));
    EXPECT_FALSE(RequestFitsEncoding(2, std::string(630, 'x')));
}

std::string positionRecord(int token, const char* exch, const char* field31, int fields = 39)
{
    std::vector<std::string> f(static_cast<size_t>(fields), "0");
    f[0] = std::to_string(token);
    f[1] = exch;
    if (fields > 31)
        f[31] = field31;
    std::string out;
    for (size_t i = 0; i < f.size(); ++i)
        out += (i ? "|" : "") + f[i];
    return out;
}

TEST(RiskReplies, HoldingsAndPositionsShapes)
{
    const auto holdings = ParseHoldingsReply("413|0|OK|3~10|NN|a|b^|20|BN|x^ 30|NN ^^40|NN");
    ASSERT_EQ(holdings.size(), 3u); // the empty record ends the parse
    EXPECT_EQ(holdings[0].token, 10);
    EXPECT_EQ(holdings[0].exchange, "NN");
    EXPECT_EQ(holdings[1].token, 20); // a leading empty field is skipped
    EXPECT_EQ(holdings[1].exchange, "BN");
    EXPECT_EQ(holdings[2].token, 30);
    EXPECT_TRUE(ParseHoldingsReply("413|1|Not allowed").empty());

    const std::string body = "412|0|OK|4~" + positionRecord(10, "NN", "M") + "^" + positionRecord(11, "NN", "P") +
                             "^" + positionRecord(12, "BN", "", 20) + "^" + positionRecord(13, "BN", "") + "^";
    const auto positions = ParsePositionsReply(body);
    ASSERT_EQ(positions.size(), 2u);
    EXPECT_EQ(positions[0].token, 10);
    EXPECT_EQ(positions[1].token, 13);
    EXPECT_EQ(positions[1].exchange, "BN");
    EXPECT_TRUE(ParsePositionsReply("412|0|OK|0~").empty());
}

// --- a small master ------------------------------------------------------------

SecurityRecord rec(const std::string& symbol, const std::string& inst, const std::string& exch, int token,
                   const std::string& expiry = {}, double strike = 0, const std::string& opt = {}, int code = 0)
{
    SecurityRecord r;
    r.symbol.assign(symbol);
    r.inst_type.assign(inst);
    r.market_exchange.assign(exch);
    r.token = token;
    r.expiry.assign(expiry);
    r.strike = strike;
    r.option_type.assign(opt);
    r.scrip_code = code;
    std::string key = symbol + "~" + inst;
    if (!expiry.empty())
        key += "~" + expiry;
    if (!opt.empty()) {
        char s[32];
        std::snprintf(s, sizeof s, inst == "OC" ? "%0.4lf" : "%0.2lf", strike);
        key += std::string("~") + s + "~" + opt;
    }
    r.setDisplayKey(key);
    return r;
}

std::shared_ptr<SecurityTable> smallMaster()
{
    SecurityRows rows;
    rows.push_back(rec("ACC", "EQ", "NN", 22, {}, 0, {}, 500410));
    rows.push_back(rec("ACC", "EQ", "BN", 500410, {}, 0, {}, 500410));
    rows.push_back(rec("ACC", "BE", "NN", 23));
    rows.push_back(rec("ACC", "FS", "NN", 40001, "29MAY25"));
    rows.push_back(rec("ACC", "FS", "NN", 40002, "27MAR25"));
    rows.push_back(rec("ACC", "FS", "NN", 40003, "24APR25"));
    rows.push_back(rec("ACC", "OS", "NN", 40010, "27MAR25", 2000, "CE"));
    rows.push_back(rec("ACC", "OS", "NN", 40011, "27MAR25", 2100, "PE"));
    rows.push_back(rec("ACCX", "CM", "MC", 9001));
    rows.push_back(rec("ALUM", "CF", "MC", 9002, "30APR25"));
    rows.push_back(rec("M&M", "EQ", "NN", 2031, {}, 0, {}, 500520));
    rows.push_back(rec("NIFTY", "IN", "NN", 26000));
    rows.push_back(rec("SBIN", "EQ", "NN", 3045, {}, 0, {}, 500112));
    rows.push_back(rec("SBIN", "EQ", "BN", 500112, {}, 0, {}, 500112));
    rows.push_back(rec("USDINR", "FC", "CN", 7001, "26MAR25"));
    rows.push_back(rec("USDINR", "OC", "CN", 7002, "26MAR25", 83.25, "CE"));
    for (int i = 0; i < 20; ++i)
        rows.push_back(rec("B" + std::string(1, char('A' + i)) + "CO", "EQ", "NN", 8000 + i));
    std::sort(rows.begin(), rows.end(), [](const SecurityRecord& a, const SecurityRecord& b) {
        return std::string(a.displayKey().view()) + a.market_exchange.c_str() <
               std::string(b.displayKey().view()) + b.market_exchange.c_str();
    });
    auto t = std::make_shared<SecurityTable>();
    t->build(std::move(rows), SecurityTable::Build::Full, true);
    return t;
}

std::vector<std::string> keysOf(const SecurityTable& t, const std::vector<int>& rows)
{
    std::vector<std::string> out;
    for (int i : rows)
        out.push_back(std::string(t.row(i).displayKey().view()) + "@" + t.row(i).market_exchange.c_str());
    return out;
}

const std::vector<std::string> kAllExchanges = {"NN", "BN", "CN", "CM", "NC", "MC"};

TEST(FindScrips, SearchTable)
{
    const auto t = smallMaster();
    const struct {
        const char* name;
        ScripQuery q;
        std::vector<std::string> want;
    } cases[] = {
        {"a scrip code alone on NSE and BSE", {"", "500410", {"NN", "BN"}}, {"ACC~EQ@BN", "ACC~EQ@NN"}},
        {"a code that is no number lists nothing", {"", "5004x", {"NN", "BN"}}, {}},
        {"one letter: its range, never indices",
         {"A", "", kAllExchanges, true, false, false, false},
         {"ACC~BE@NN", "ACC~EQ@BN", "ACC~EQ@NN"}},
        {"futures of every expiry",
         {"ACC", "", {"NN"}, false, true, false, false},
         {"ACC~FS~24APR25@NN", "ACC~FS~27MAR25@NN", "ACC~FS~29MAY25@NN"}},
        {"one expiry narrows",
         {"ACC", "", {"NN"}, false, true, false, false, "27MAR25"},
         {"ACC~FS~27MAR25@NN"}},
        {"options by strike",
         {"ACC", "", {"NN"}, false, false, true, false, "ALL", "2100.00"},
         {"ACC~OS~27MAR25~2100.00~PE@NN"}},
        {"an index is never listed", {"N", "", kAllExchanges, true, true, true, true}, {}},
        {"others leave out CM", {"A", "", kAllExchanges, false, false, false, true}, {}},
        {"a commodity future is a future", {"AL", "", {"MC"}, false, true, false, false}, {"ALUM~CF~30APR25@MC"}},
        {"'&' in a name", {"M&", "", {"NN"}}, {"M&M~EQ@NN"}},
        {"a letter the table does not index", {"q", "", kAllExchanges}, {}},
        {"unticked exchange", {"SBIN", "", {"NN"}}, {"SBIN~EQ@NN"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keysOf(*t, FindScrips(*t, c.q)), c.want) << c.name;

    std::vector<std::string> expiries, strikes;
    ScripExpiriesAndStrikes(*t, "ACC", true, expiries, strikes);
    EXPECT_EQ(expiries, (std::vector<std::string>{"24APR25", "27MAR25", "29MAY25"})); // as the table holds them
    EXPECT_EQ(strikes, (std::vector<std::string>{"2000.00", "2100.00"}));
    ScripExpiriesAndStrikes(*t, "USDINR", true, expiries, strikes);
    EXPECT_EQ(strikes, (std::vector<std::string>{"83.2500"}));
    ScripExpiriesAndStrikes(*t, "SBIN", true, expiries, strikes);
    EXPECT_TRUE(expiries.empty());
}

TEST(ScripSearchFills, ListsAndChoice)
{
    const auto t = smallMaster();
    SearchFilters none;
    EXPECT_TRUE(SearchSymbols(*t, none, false).empty()); // all filters empty

    SearchFilters eq;
    eq.series = "EQ";
    // While closed an empty symbol lists 16 symbols, open all of them up to
    // the first index record, which ends the scan.
    EXPECT_EQ(SearchSymbols(*t, eq, false).size(), 16u);
    const auto open = SearchSymbols(*t, eq, true);
    EXPECT_EQ(open.size(), 22u); // ACC, 20 B..CO, M&M; SBIN comes after NIFTY
    EXPECT_EQ(open.front(), "ACC");
    EXPECT_EQ(std::count(open.begin(), open.end(), "SBIN"), 0);

    SearchFilters typed;
    typed.symbol = "AC";
    EXPECT_EQ(SearchSymbols(*t, typed, true), (std::vector<std::string>{"ACCX", "ACC"})); // table order
    typed.symbol = "A";
    EXPECT_TRUE(SearchSymbols(*t, typed, true).empty()); // one letter: nothing

    SearchFilters acc;
    acc.symbol = "ACC";
    const auto series = SearchSeries(*t, acc);
    ASSERT_FALSE(series.empty());
    EXPECT_EQ(series.front(), "EQ");
    EXPECT_EQ(std::count(series.begin(), series.end(), "CM"), 0);
    EXPECT_EQ(std::count(series.begin(), series.end(), "IN"), 0);
    EXPECT_EQ(SearchExchanges(*t, acc).front(), "BSE");

    acc.series = "FS";
    EXPECT_EQ(SearchExpiries(*t, acc), (std::vector<std::string>{"27MAR25", "24APR25", "29MAY25"}));
    EXPECT_EQ(SearchOptionTypes("OS"), (std::vector<std::string>{"CE", "PE"}));
    EXPECT_TRUE(SearchOptionTypes("FS").empty());

    acc.exchange = "NN";
    acc.expiry = "24APR25";
    const int future = SearchChoice(*t, acc);
    ASSERT_GE(future, 0);
    EXPECT_EQ(t->row(future).token, 40003);

    SearchFilters option;
    option.symbol = "ACC";
    option.exchange = "NN";
    option.series = "OS";
    option.expiry = "27MAR25";
    option.strike = "2000.00";
    option.optionType = "CE";
    EXPECT_EQ(SearchStrikes(*t, SearchFilters{"ACC", "NN", "OS", "27MAR25", "", ""}),
              (std::vector<std::string>{"2000.00", "2100.00"}));
    ASSERT_GE(SearchChoice(*t, option), 0);
    EXPECT_EQ(t->row(SearchChoice(*t, option)).token, 40010);

    SearchFilters index{"NIFTY", "NN", "IN", "", "", ""};
    EXPECT_EQ(SearchDisplayKey(index), "");
    EXPECT_EQ(SearchChoice(*t, index), -1);
    EXPECT_EQ(SearchChoice(*t, SearchFilters{"SBIN", "BN", "EQ", "", "", ""}),
              t->searchToken(500112, "BN"));
}

// --- holdings and positions lists ------------------------------------------------

class FakeRiskServer final : public ServerAccess {
public:
    ServerReply downLoadFile(const std::string&, int, const std::string&) override { return {}; }
    ServerReply requestServer(int, int code, const std::string& text) override
    {
        std::lock_guard lock(m_mutex);
        codes.push_back(code);
        texts.push_back(text);
        return reply;
    }
    std::mutex m_mutex;
    ServerReply reply{200, ""};
    std::vector<int> codes;
    std::vector<std::string> texts;
};

class RiskLists : public ::testing::Test {
protected:
    void SetUp() override
    {
        WatchlistTable::instance().reset();
        WatchlistRecord r;
        std::strcpy(r.name, "My Investments");
        r.id = -10001;
        r.inUse = 1;
        index = WatchlistTable::instance().append(r);
        table = smallMaster();
        session.sessionId = "S";
        session.userId = "U1";
        session.clientCode = "ABC12";
    }
    void TearDown() override { WatchlistTable::instance().reset(); }

    int index = -1;
    std::shared_ptr<SecurityTable> table;
    ClientRiskRecords records;
    FakeRiskServer server;
    WatchSession session;
};

TEST_F(RiskLists, HoldingsFromMemoryGrowByTenAndHoldEachSecurityOnce)
{
    for (int i = 0; i < 25; ++i)
        records.holdings.push_back(HoldingRecord{i % table->count(), 10, 0});
    records.holdings.push_back(HoldingRecord{3, 5, 0});     // a duplicate
    records.holdings.push_back(HoldingRecord{100000, 5, 0}); // outside the table
    EXPECT_EQ(BuildRiskList(RiskListKind::Holdings, index, *table, records, server, session), 25);
    const WatchlistRecord r = WatchlistTable::instance().record(index);
    EXPECT_EQ(r.rowCount, 25);
    EXPECT_EQ(r.rowCapacity, 30);
    EXPECT_TRUE(server.codes.empty());
    for (const WatchRowEntry& e : r.rows) {
        EXPECT_EQ(e.state, 1);
        EXPECT_EQ(e.origin, '0');
        EXPECT_EQ(e.token, table->row(e.securityIndex).wtoken);
    }
}

TEST_F(RiskLists, PositionsSkipExcludedRecordsFromMemoryAndServer)
{
    PositionRecord kept, excluded;
    kept.sec_index = 1;
    excluded.sec_index = 2;
    excluded.margin_type = "P";
    records.positions = {kept, excluded};
    BuildRiskList(RiskListKind::Positions, index, *table, records, server, session);
    WatchlistRecord r = WatchlistTable::instance().record(index);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0].securityIndex, 1);

    records.positions.clear();
    const int sbin = table->searchToken(3045, "NN");
    server.reply = {200, "412|0|OK|2~" + positionRecord(3045, "NN", "M") + "^" + positionRecord(22, "NN", "P") +
                             "^" + positionRecord(3045, "NN", "M") + "^"};
    BuildRiskList(RiskListKind::Positions, index, *table, records, server, session);
    r = WatchlistTable::instance().record(index);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0].securityIndex, sbin);
    ASSERT_EQ(server.codes, (std::vector<int>{412}));
    EXPECT_EQ(server.texts[0], "RiskData=412|S|U1|ABC12|ABC12|4&AClient=N");
}

TEST_F(RiskLists, AFailedReplyLeavesAnEmptyListOfTen)
{
    records.holdings.clear();
    // An earlier build left rows; a failed one does not keep them.
    WatchlistTable::instance().replaceRows(index, {WatchRowEntry{5, 2, 1, '0', 0, 0, nullptr}}, 10);
    server.reply = {500, "Internal"};
    EXPECT_EQ(BuildRiskList(RiskListKind::Holdings, index, *table, records, server, session), 0);
    const WatchlistRecord r = WatchlistTable::instance().record(index);
    EXPECT_TRUE(r.rows.empty());
    EXPECT_EQ(r.rowCapacity, 10);
    EXPECT_EQ(server.codes, (std::vector<int>{413}));
}

} // namespace
