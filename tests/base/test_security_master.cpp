#include "server/SecurityMaster.h"

#include "master_test_support.h"
#include "server/SecurityFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

using namespace testsupport;

namespace {

void copyFixture(const std::string& caseName, const TempRoot& root, const std::string& file)
{
    std::filesystem::copy_file(fixtureDir(caseName) / file, root.comp() / file,
                               std::filesystem::copy_options::overwrite_existing);
}

class MasterMergeCase : public ::testing::TestWithParam<const char*> {};

} // namespace

// Each case folder holds the previous "security.lst", a "security_incr.lst"
// and the byte-exact "expected_security.lst" the merge must write.
TEST_P(MasterMergeCase, RewritesTheMasterByteExact)
{
    const std::string name = GetParam();
    TempRoot root;
    copyFixture(name, root, "security.lst");
    copyFixture(name, root, "security_incr.lst");
    FakeServer server;
    SecurityMaster master(root.paths(), server, "127.0.0.1");
    master.incrementalNumber = 5;
    master.UpdateIncrementalSecurity();

    auto written = pf::files::readAll(root.comp() / "security.lst");
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, readFixture(name, "expected_security.lst"));

    // The rewritten file loads back into the same rows (deleted indices aside).
    auto t = master.table();
    ASSERT_TRUE(t);
    SecurityFileContent back = ParseSecurityText(*written, SecurityReading::Incremental);
    int fileRow = 0;
    for (const SecurityRecord& r : t->rows()) {
        if (r.status == "DEL")
            continue;
        ASSERT_LT(fileRow, static_cast<int>(back.rows.size()));
        EXPECT_EQ(back.rows[fileRow].displayKey().view(), r.displayKey().view());
        EXPECT_EQ(back.rows[fileRow].token, r.token);
        ++fileRow;
    }
    EXPECT_EQ(fileRow, static_cast<int>(back.rows.size()));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MasterMergeCase, ::testing::Values("merge_extended", "merge_old_layout"),
                         [](const auto& info) { return std::string(info.param); });

// A record the merge writes reads back to itself, in either layout and on
// every exchange: the units per lot where the exchange carries them, the
// 52-week values elsewhere.
TEST(SecurityRecordFile, AWrittenRecordReadsBackToItselfInEachLayoutAndExchange)
{
    struct Case {
        const char* exchange;
        const char* text; // field 2
        bool units;
    };
    const Case cases[] = {
        {"NN", "INFY|EQ", false},         {"BN", "INFY|A", false},
        {"NN", "INFY|FS|30DEC26", false}, {"CN", "USDINR|FC|29DEC26", true},
        {"CB", "USDINR|FC|29DEC26", true}, {"MC", "GOLD|CM|05FEB27", true},
        {"NC", "GUARSEED|CM|20JAN27", true}, {"CM", "COPPER|CM|27FEB27", true},
    };
    for (const bool extendedLayout : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.exchange) + " " + c.text + (extendedLayout ? " extended" : " old"));
            // The reader's fields: in the old layout the eighth is the units
            // per lot or the 52-week high, the ninth the 52-week low.
            const std::string head = std::string("4001,") + c.exchange + "," + c.text + ",0,1,25,ACT,";
            const std::string record = extendedLayout ? head + "1000,2500.50,1200.25,9001"
                                       : c.units      ? head + "1000,1200.25"
                                                      : head + "2500.50,1200.25";
            bool extended = false;
            const SecurityRecord first = ParseSecurityRecord(record, SecurityReading::Incremental, extended);
            EXPECT_EQ(extended, extendedLayout);
            EXPECT_EQ(first.multiplier, c.units ? 1000 : 0);
            EXPECT_DOUBLE_EQ(first.year_low, 1200.25);
            EXPECT_DOUBLE_EQ(first.year_high, c.units && !extendedLayout ? 0.0 : 2500.50);
            std::string written = FormatSecurityRecord(first, extendedLayout);
            ASSERT_EQ(written.back(), '~');
            written.pop_back();
            bool extendedAgain = false;
            const SecurityRecord again = ParseSecurityRecord(written, SecurityReading::Incremental, extendedAgain);
            EXPECT_EQ(extendedAgain, extendedLayout) << written;
            EXPECT_EQ(again.multiplier, first.multiplier) << written;
            EXPECT_DOUBLE_EQ(again.year_high, first.year_high) << written;
            EXPECT_DOUBLE_EQ(again.year_low, first.year_low) << written;
            EXPECT_EQ(again.market_lot, first.market_lot);
            EXPECT_EQ(again.wtoken, first.wtoken);
        }
    }
    // An exchange and a status cut to their width keep no trailing blank.
    bool extended = false;
    const SecurityRecord cut =
        ParseSecurityRecord("4001,N\tX,INFY|EQ,0,1,25,ACT X,0,2500.50,1200.25,9001", SecurityReading::Incremental, extended);
    std::string written = FormatSecurityRecord(cut, true);
    written.pop_back();
    const SecurityRecord again = ParseSecurityRecord(written, SecurityReading::Incremental, extended);
    EXPECT_EQ(FormatSecurityRecord(again, true), written + "~");
    EXPECT_EQ(cut.market_exchange.view(), "N");
}

TEST(SecurityMerge, TableKeepsDeletedIndexAndDerivesOldLayoutWatchToken)
{
    TempRoot root;
    copyFixture("merge_extended", root, "security.lst");
    copyFixture("merge_extended", root, "security_incr.lst");
    FakeServer server;
    SecurityMaster master(root.paths(), server, "127.0.0.1");
    master.UpdateIncrementalSecurity();
    auto t = master.table();
    ASSERT_TRUE(t);
    EXPECT_TRUE(t->extended_security_format());

    // A deleted index stays in the table for this run, a deleted equity goes.
    const int bank = t->searchToken(26009, "NN");
    ASSERT_GE(bank, 0);
    EXPECT_EQ(t->row(bank).status.view(), "DEL");
    EXPECT_EQ(t->searchToken(11536, "NN"), -1);
    // A "SUSP" of the previous file is dropped, one the increment brings stays.
    EXPECT_EQ(t->searchToken(2885, "NN"), -1);
    EXPECT_GE(t->searchToken(3045, "NN"), 0);

    // The old 9-field NSE record: 52-week values from fields 7 and 8, a
    // derived watch token that the one-map look-up finds, no reference rate.
    const int hdfc = t->searchToken(1594, "NN");
    ASSERT_GE(hdfc, 0);
    const SecurityRecord& r = t->row(hdfc);
    EXPECT_EQ(r.wtoken, 3187);
    EXPECT_EQ(t->searchWToken(3187), hdfc);
    EXPECT_DOUBLE_EQ(r.year_high, 1850.0);
    EXPECT_DOUBLE_EQ(r.year_low, 1400.0);
    EXPECT_EQ(r.ref_rate.load(), 0.0);
    // The incremental record replaced the previous one.
    EXPECT_DOUBLE_EQ(t->row(t->searchToken(1001, "NN")).year_high, 2010.0);
    // A field 2 of three parts keeps the trailing separator in the key.
    EXPECT_EQ(t->row(t->searchToken(5001, "BN")).displayKey().view(), "ZEEL~B~");
}

TEST(SecurityMerge, MissingIncrementalFileLeavesTheMasterAsItIs)
{
    TempRoot root;
    copyFixture("merge_extended", root, "security.lst");
    const std::string original = *pf::files::readAll(root.comp() / "security.lst");
    FakeServer server;
    SecurityMaster master(root.paths(), server, "127.0.0.1");
    master.UpdateIncrementalSecurity();
    EXPECT_EQ(*pf::files::readAll(root.comp() / "security.lst"), original);
    ASSERT_TRUE(master.table());
    EXPECT_EQ(master.table()->count(), 10);
}

// The rewritten master re-reads to the records it was written from, whatever
// the 52-week values hold: a long one must not cut its record's '~'.
TEST(SecurityMerge, RewrittenFileReadsBackToTheSameRecords)
{
    struct Case {
        const char* high;
        const char* low;
        double expectHigh;
        double expectLow;
    } cases[] = {
        {"1234.50", "1000.05", 1234.5, 1000.05},
        {"1e300", "1e299", 1e300, 1e299},
        {"-1e300", "5", -1e300, 5},
        {"inf", "nan", 0, 0}, // no prices
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.high);
        const std::string prev = std::string("01012026-0-2~1001,NN,AAA|EQ,0,1,5,ACT,1,") + c.high + "," + c.low +
                                 ",1001~1002,NN,BBB|EQ,0,1,5,ACT,1,2.00,1.00,1002~";
        const MergedMaster m = MergeSecurityMaster(ParseSecurityText(prev, SecurityReading::Incremental),
                                                   ParseSecurityText("02012026-1-1~", SecurityReading::Incremental));
        const SecurityFileContent back = ParseSecurityText(m.fileText, SecurityReading::Incremental);
        ASSERT_EQ(back.rows.size(), 2u) << m.fileText.substr(0, 200);
        EXPECT_EQ(back.rows[0].token, 1001);
        EXPECT_EQ(back.rows[1].token, 1002);
        EXPECT_EQ(back.rows[1].displayKey().view(), "BBB~EQ");
        EXPECT_DOUBLE_EQ(back.rows[0].quote().year_high, c.expectHigh);
        EXPECT_DOUBLE_EQ(back.rows[0].quote().year_low, c.expectLow);
        // And a second rewrite gives the same bytes.
        const MergedMaster again =
            MergeSecurityMaster(back, ParseSecurityText("02012026-1-1~", SecurityReading::Incremental));
        EXPECT_EQ(again.fileText, m.fileText);
    }
}

TEST(SecurityMerge, GrowsBeyondTheHeaderCounts)
{
    // Headers that understate the counts must not limit the merged table.
    std::string prev = "01012026-0-1~";
    std::string incr = "02012026-1-1~";
    for (int i = 0; i < 300; ++i) {
        prev += std::to_string(1000 + i) + ",NN,P" + std::to_string(i) + "|EQ,0,1,5,ACT,1,2.00,1.00,0~";
        incr += std::to_string(5000 + i) + ",BN,Q" + std::to_string(i) + "|A,0,1,5,ACT,1,2.00,1.00,0~";
    }
    MergedMaster m = MergeSecurityMaster(ParseSecurityText(prev, SecurityReading::Incremental),
                                         ParseSecurityText(incr, SecurityReading::Incremental));
    EXPECT_EQ(m.rows.size(), 600u);
    EXPECT_EQ(m.fileText.rfind("02012026-1-600~", 0), 0u);
}

// The download flow with a fake server and a scripted prompter.
class SecurityDownload : public ::testing::Test {
protected:
    void SetUp() override
    {
        copyFixture("merge_extended", root, "security.lst");
        original = *pf::files::readAll(root.comp() / "security.lst");
    }
    std::string localMaster() { return *pf::files::readAll(root.comp() / "security.lst"); }

    TempRoot root;
    FakeServer server;
    ScriptedPrompter prompter;
    PrompterScope scope{prompter};
    std::string original;
};

TEST_F(SecurityDownload, NothingDueLoadsTheLocalFileWithoutDownloading)
{
    SecurityMaster master(root.paths(), server, "127.0.0.1");
    SecurityStamp stamp;
    ASSERT_TRUE(SecurityStamp::parse("0-7-0-123456", stamp));
    EXPECT_EQ(master.prepareStartup(stamp), 0);
    EXPECT_EQ(master.localFileDate, "09122026");
    EXPECT_EQ(master.GetSecurityThread(0), 0);
    EXPECT_TRUE(server.downloads.empty());
    ASSERT_TRUE(master.table());
    EXPECT_EQ(master.table()->count(), 10);
    EXPECT_EQ(SecurityTable::current(), master.table());
}

TEST_F(SecurityDownload, IncrementalFileIsFetchedUnpackedAndMerged)
{
    const std::string packed = pack(readFixture("merge_extended", "security_incr.lst"));
    server.files["/security/security_5.lzo"] = {200, packed};
    SecurityMaster master(root.paths(), server, "127.0.0.1");
    SecurityStamp stamp;
    ASSERT_TRUE(SecurityStamp::parse("5-1-" + std::to_string(packed.size()) + "-99999", stamp));
    EXPECT_EQ(master.prepareStartup(stamp), 1);
    EXPECT_EQ(master.GetSecurityThread(1), 0);
    ASSERT_EQ(server.downloads.size(), 1u);
    EXPECT_EQ(server.downloads[0], "/security/security_5.lzo:80");
    EXPECT_EQ(localMaster(), readFixture("merge_extended", "expected_security.lst"));
    EXPECT_TRUE(prompter.asked.empty());
}

// Without a readable local master (a fresh installation, a removed or empty
// file) a due increment is not merged with nothing: the full file comes.
TEST_F(SecurityDownload, AnIncrementWithoutALocalMasterDownloadsTheFullFile)
{
    const std::string full = readFixture("merge_extended", "expected_security.lst");
    const std::string packedFull = pack(full);
    const std::string packedIncr = pack(readFixture("merge_extended", "security_incr.lst"));
    server.files["/security/security.lzo"] = {200, packedFull};
    server.files["/security/security_5.lzo"] = {200, packedIncr};
    for (const bool empty : {false, true}) {
        SCOPED_TRACE(empty ? "empty master" : "no master");
        if (empty)
            ASSERT_TRUE(pf::files::writeAtomic(root.comp() / "security.lst", ""));
        else
            std::filesystem::remove(root.comp() / "security.lst");
        server.downloads.clear();
        SecurityMaster master(root.paths(), server, "127.0.0.1");
        SecurityStamp stamp;
        ASSERT_TRUE(SecurityStamp::parse("5-1-" + std::to_string(packedIncr.size()) + "-"
                                             + std::to_string(packedFull.size()),
                                         stamp));
        EXPECT_EQ(master.prepareStartup(stamp), 1);
        EXPECT_EQ(master.GetSecurityThread(1), 0);
        ASSERT_EQ(server.downloads.size(), 1u);
        EXPECT_EQ(server.downloads[0], "/security/security.lzo:80");
        EXPECT_TRUE(master.finishWriting()); // the next start's master, written after the table is in use
        EXPECT_EQ(localMaster(), full);
        ASSERT_TRUE(master.table());
        EXPECT_EQ(master.table()->count(), 9) << "the whole master is loaded";
        EXPECT_TRUE(prompter.asked.empty());
    }
}

// A local master cut short is damaged even when the server's stamp says
// nothing is due: the full file comes, as when none is on disk.
TEST_F(SecurityDownload, ADamagedLocalMasterDownloadsTheFullFile)
{
    const std::string full = readFixture("merge_extended", "expected_security.lst");
    const std::string packedFull = pack(full);
    server.files["/security/security.lzo"] = {200, packedFull};
    const size_t lastRecord = original.rfind('~', original.find_last_not_of(" \t\r\n~"));
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"half of it, header intact", original.substr(0, original.size() / 2)},
        {"cut at a record's end", original.substr(0, lastRecord + 1)},
        {"last record without its end", original.substr(0, original.find_last_not_of(" \t\r\n~") + 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(pf::files::writeAtomic(root.comp() / "security.lst", c.text));
        server.downloads.clear();
        SecurityMaster master(root.paths(), server, "127.0.0.1");
        SecurityStamp stamp;
        ASSERT_TRUE(SecurityStamp::parse("0-0-0-" + std::to_string(packedFull.size()), stamp));
        const int kind = master.prepareStartup(stamp);
        EXPECT_EQ(kind, 1);
        EXPECT_EQ(master.GetSecurityThread(kind), 0);
        ASSERT_EQ(server.downloads.size(), 1u);
        EXPECT_EQ(server.downloads[0], "/security/security.lzo:80");
        EXPECT_TRUE(master.finishWriting()); // the next start's master, written after the table is in use
        EXPECT_EQ(localMaster(), full);
        ASSERT_TRUE(master.table());
        EXPECT_EQ(master.table()->count(), 9);
    }
    // The whole master is used as it is.
    SecurityMaster master(root.paths(), server, "127.0.0.1");
    SecurityStamp stamp;
    ASSERT_TRUE(SecurityStamp::parse("0-0-0-1", stamp));
    EXPECT_EQ(master.prepareStartup(stamp), 0);
}

// Whatever goes wrong with an incremental download, the local master stays
// byte for byte (its date included) and is loaded; an increment left by an
// earlier run is never merged in its place.
TEST_F(SecurityDownload, FailedIncrementalDownloadKeepsTheMasterByteForByte)
{
    std::string corrupt = pack(readFixture("merge_extended", "security_incr.lst"));
    corrupt[corrupt.size() / 2] ^= 0x5a;
    corrupt.resize(corrupt.size() - 3);
    struct Case {
        const char* name;
        int status;
        std::string body;
        const char* message; // nullptr: none
    } cases[] = {
        {"server error", 500, {}, "Internet Connectivity Error [500]. Pls contact System Administrator"},
        {"proxy", 407, {}, "Proxy Authentication Failed"},
        {"empty body", 200, {}, nullptr},
        {"corrupt archive", 200, corrupt, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        copyFixture("merge_extended", root, "security_incr.lst"); // a stale one from an earlier run
        server.files["/security/security_5.lzo"] = {c.status, c.body};
        prompter.asked.clear();
        SecurityMaster master(root.paths(), server, "127.0.0.1");
        SecurityStamp stamp{5, 0, static_cast<long>(c.body.empty() ? 100 : c.body.size()), 0};
        ASSERT_EQ(master.prepareStartup(stamp), 1);
        EXPECT_EQ(master.GetSecurityThread(1), 0);
        EXPECT_EQ(localMaster(), original);
        ASSERT_TRUE(master.table());
        EXPECT_EQ(master.table()->count(), 10);
        if (c.message) {
            ASSERT_EQ(prompter.asked.size(), 1u);
            EXPECT_EQ(prompter.asked[0].text, c.message);
        } else {
            EXPECT_TRUE(prompter.asked.empty());
        }
    }
}

TEST_F(SecurityDownload, CorruptArchiveKeepsTheLocalMaster)
{
    std::string packed = pack("10122026-0-1~1,NN,NEW|EQ,0,1,5,ACT,1,1.00,1.00,1~");
    packed[packed.size() / 2] ^= 0x5a;
    packed.resize(packed.size() - 3);
    server.files["/security/security.lzo"] = {200, packed};
    SecurityMaster master(root.paths(), server, "127.0.0.1");
    master.expectedSize = static_cast<long>(packed.size());
    EXPECT_EQ(master.GetSecurityThread(1), 0);
    EXPECT_EQ(localMaster(), original);
    EXPECT_EQ(master.table()->count(), 10);
}

TEST_F(SecurityDownload, TruncatedDownloadAsksAndYesLoadsTheLocalMaster)
{
    const std::string packed = pack(readFixture("merge_extended", "security_incr.lst"));
    server.files["/security/security_5.lzo"] = {200, packed.substr(0, packed.size() - 4)};
    SecurityMaster master(root.paths(), server, "127.0.0.1");
    SecurityStamp stamp{5, 0, static_cast<long>(packed.size()), 0};
    master.prepareStartup(stamp);
    prompter.answer = ui::Yes;
    EXPECT_EQ(master.GetSecurityThread(1), 0);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].text,
              "Security File Size Mismatch. Do you want to continue with Security File Dated :09122026");
    EXPECT_EQ(master.incrementalNumber, 0);
    EXPECT_EQ(localMaster(), original); // loaded as it is, not merged
    EXPECT_EQ(master.table()->count(), 10);
}

TEST_F(SecurityDownload, SizeQuestionAnsweredNoOrNoExpectedSizeEndsTheProgram)
{
    server.files["/security/security.lzo"] = {200, "abc"};
    {
        SecurityMaster master(root.paths(), server, "127.0.0.1");
        master.expectedSize = 10;
        prompter.answer = ui::No;
        EXPECT_EQ(master.GetSecurityThread(1), -1);
    }
    {
        SecurityMaster master(root.paths(), server, "127.0.0.1");
        master.expectedSize = 0;
        EXPECT_EQ(master.GetSecurityThread(1), -1);
        EXPECT_EQ(prompter.asked.back().text, "Security File Size Mismatch. Closing the Application.");
    }
    EXPECT_EQ(localMaster(), original);
}

TEST_F(SecurityDownload, TransportErrorsReportAndLoadTheLocalMaster)
{
    struct Case {
        int status;
        const char* message;
    } cases[] = {{407, "Proxy Authentication Failed"},
                 {0, "Internet Connectivity Error [0]. Pls contact System Administrator"}};
    for (const auto& c : cases) {
        server.files["/security/security.lzo"] = {c.status, {}};
        SecurityMaster master(root.paths(), server, "127.0.0.1");
        EXPECT_EQ(master.GetSecurityThread(1), 0);
        ASSERT_FALSE(prompter.asked.empty());
        EXPECT_EQ(prompter.asked.back().text, c.message);
        EXPECT_EQ(master.table()->count(), 10);
    }
    // Status 200 with an empty body: no unpacking, no message.
    prompter.asked.clear();
    server.files["/security/security.lzo"] = {200, {}};
    SecurityMaster master(root.paths(), server, "127.0.0.1");
    EXPECT_EQ(master.GetSecurityThread(1), 0);
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_EQ(localMaster(), original);
}

TEST(SecurityFileFormat, RecordFieldsAndDisplayKeys)
{
    bool ext = false;
    struct Case {
        const char* record;
        SecurityReading reading;
        const char* key;
    } cases[] = {
        {"1,NN,ABC|OS|30DEC26|1800|PE,0,1,5,ACT,0,0", SecurityReading::Full, "ABC~OS~30DEC26~1800.00~PE"},
        {"2,CN,USDINR|OC|29DEC26|83.25|CE,0,1,5,ACT,1000,0", SecurityReading::Full, "USDINR~OC~29DEC26~83.2500~CE"},
        {"3,MC,GOLD|CF|05FEB27|0|XX,0,1,5,ACT,1,0", SecurityReading::Full, "GOLD~CF~05FEB27"},
        {"4,MC,GOLD|CM|05FEB27|0|XX,0,1,5,ACT,1,0", SecurityReading::Full, "GOLD~CM~05FEB27~0~XX"},
        {"4,MC,GOLD|CM|05FEB27|0|XX,0,1,5,ACT,1,0", SecurityReading::Incremental, "GOLD~CM~05FEB27"},
        {",5,NN,LEAD|EQ,0,1,5,ACT,1,0", SecurityReading::Full, "LEAD~EQ"},
        {"6,NN,||X,0,1,5,ACT,1,0", SecurityReading::Full, "~~X"},
    };
    for (const auto& c : cases) {
        SecurityRecord r = ParseSecurityRecord(c.record, c.reading, ext);
        EXPECT_EQ(r.displayKey().view(), c.key) << c.record;
        // Most keys are made from the row's parts when read: copies and
        // moves give the same key, and the look-ups' comparisons agree.
        const SecurityRecord copy = r;
        EXPECT_EQ(copy.displayKey().view(), c.key) << c.record;
        const SecurityRecord moved = std::move(r);
        EXPECT_EQ(moved.displayKey().view(), c.key) << c.record;
        const std::string key = c.key;
        EXPECT_TRUE(moved.displayKeyIs(key)) << c.record;
        EXPECT_FALSE(moved.displayKeyIs(key + "X")) << c.record;
        EXPECT_FALSE(moved.displayKeyIs(key.substr(0, key.size() - 1))) << c.record;
        for (size_t n = 0; n <= key.size(); ++n)
            EXPECT_TRUE(moved.displayKeyStartsWith(key.substr(0, n))) << c.record << " " << n;
        EXPECT_FALSE(moved.displayKeyStartsWith(key + "~")) << c.record;
        EXPECT_FALSE(moved.displayKeyStartsWith("Q")) << c.record;
        EXPECT_EQ(moved.displayKeyFirst(), static_cast<unsigned char>(key[0])) << c.record;
    }
    EXPECT_FALSE(ext);
    // A symbol is kept once for all the rows that name it.
    EXPECT_EQ(ParseSecurityRecord(cases[0].record, SecurityReading::Full, ext).symbol.c_str(),
              ParseSecurityRecord("9,NN,ABC|EQ,0,1,5,ACT,0,0", SecurityReading::Full, ext).symbol.c_str());

    SecurityRecord r = ParseSecurityRecord(
        " 7 , CN , EURINR|FC|29DEC26 , 0 , 1 , 25 , ACT , 1000 , 91.5 , 88.25 , 15 , Rs , 1 EUR , 1 , EUR , 3 , 4 , "
        "Euro future , t1 , t2 , ignored",
        SecurityReading::Full, ext);
    EXPECT_TRUE(ext);
    EXPECT_EQ(r.token, 7);
    EXPECT_EQ(r.multiplier, 1000);
    EXPECT_DOUBLE_EQ(r.year_high, 91.5);
    EXPECT_DOUBLE_EQ(r.year_low, 88.25);
    EXPECT_EQ(r.wtoken, 15);
    EXPECT_EQ(r.ref_rate.load(), 1.0);
    EXPECT_EQ(r.advisoryText(), "-NA-");
    ASSERT_TRUE(r.extras);
    EXPECT_EQ(r.extras->price_quantity, "1 EUR");
    EXPECT_EQ(r.extras->description, "Euro future");
    EXPECT_EQ(r.extras->aux_text2, "t2");
    EXPECT_EQ(r.auxInt2(), 4);

    // Overlong texts are cut to their fields' widths.
    r = ParseSecurityRecord("8,NNX," + std::string(60, 'S') + "|EQUITY,0,1,5,ACTIVE", SecurityReading::Full, ext);
    EXPECT_EQ(r.symbol.view().size(), 31u);
    EXPECT_EQ(r.market_exchange.view(), "NN");
    EXPECT_EQ(r.inst_type.view(), "EQ");
    EXPECT_EQ(r.status.view(), "ACTI");
    EXPECT_EQ(r.displayKey().view().size(), 49u);
}

TEST(SecurityFileFormat, StrikeInTheKeyAsPrintfWritesIt)
{
    // The key's strike is "%0.2lf" ("%0.4lf" for "OC") of the value read;
    // a plain strike text is only padded, anything else goes through the
    // conversion. Both must give printf's text.
    struct Case {
        const char* strike;
        const char* type;
        const char* shown; // nullptr: printf of the value read
    } cases[] = {
        {"1800", "OS", "1800.00"},        {"83.25", "OC", "83.2500"},     {"007", "OS", "7.00"},
        {"0.5", "OI", "0.50"},            {"+12.5", "OS", "12.50"},       {"5.", "OS", "5.00"},
        {"1.005", "OS", "1.00"},          {"2.675", "OS", "2.67"},        {"83.21", "OC", "83.2100"},
        {"123456789", "OS", nullptr},     {"1234567890", "OS", nullptr},  {"12345678.1234", "OS", nullptr},
        {"0.00001", "OC", nullptr},       {".5", "OS", "0.50"},           {"1e3", "OS", "1000.00"},
        {"12a", "OS", "12.00"},            {"99999999.9999", "OC", nullptr}, {"0", "CO", "0.00"},
    };
    for (const auto& c : cases) {
        bool ext = false;
        const std::string record =
            std::string("1,NN,ABC|") + c.type + "|30DEC26|" + c.strike + "|CE,0,1,5,ACT,0,0";
        const SecurityRecord r = ParseSecurityRecord(record, SecurityReading::Full, ext);
        char printed[64];
        std::snprintf(printed, sizeof printed, std::string_view(c.type) == "OC" ? "%0.4lf" : "%0.2lf", r.strike);
        const std::string expected = std::string("ABC~") + c.type + "~30DEC26~" + (c.shown ? c.shown : printed) + "~CE";
        EXPECT_EQ(r.displayKey().view(), expected) << c.strike;
        EXPECT_EQ(r.displayKey().view(), std::string("ABC~") + c.type + "~30DEC26~" + printed + "~CE") << c.strike;
    }
}

TEST(SecurityFirstLogin, TableBuiltFromMemoryAndFileWrittenWhole)
{
    TempRoot root;
    std::string text = "09122026-0-3~";
    for (int i = 0; i < 30'000; ++i)
        text += std::to_string(i + 1) + ",NN,S" + std::to_string(i) + "|EQ,0,1,5,ACT,1,0,0~";
    const auto file = root.comp() / "security.lst";
    ASSERT_TRUE(pf::files::writeAtomic(file, "old master~"));

    DownloadedMaster loaded = LoadDownloadedMaster(text, nullptr, file);
    ASSERT_TRUE(loaded.table);
    EXPECT_TRUE(loaded.written.get());
    EXPECT_EQ(loaded.table->count(), 30'000);
    EXPECT_EQ(loaded.table->searchToken(30'000, "NN"), 29'999);
    EXPECT_EQ(*pf::files::readAll(file), text);
    // No temporary file is left beside it.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(root.comp()))
        files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1);

    // A folder that cannot take the file: the table is ready all the same,
    // and the failure is reported, not hidden.
    const auto blocked = root.comp() / "not-a-folder";
    ASSERT_TRUE(pf::files::writeAtomic(blocked, "x"));
    loaded = LoadDownloadedMaster(text, nullptr, blocked / "security.lst");
    ASSERT_TRUE(loaded.table);
    EXPECT_FALSE(loaded.written.get());
    EXPECT_EQ(loaded.table->count(), 30'000);

    // The unpacked text is let go once the write has ended, though the
    // write's result is kept unread for the rest of the session.
    auto kept = std::make_shared<const std::string>(text);
    const std::weak_ptr<const std::string> watch = kept;
    const std::string_view keptText = *kept;
    loaded = LoadDownloadedMaster(keptText, std::move(kept), file);
    loaded.written.wait();
    EXPECT_TRUE(watch.expired());
    EXPECT_TRUE(loaded.written.get());
}

TEST(SecurityFileFormat, LargeFileParsesAsRecordByRecord)
{
    // Large masters are parsed on several threads; the rows must equal a
    // plain record-by-record parse, in order, and one extended record
    // anywhere marks the file.
    std::string text = "01012026-0-5~";
    std::vector<std::string> records;
    for (int i = 0; i < 45'000; ++i) {
        std::string r = std::to_string(i + 1) + ",NN,S" + std::to_string(i) + "|OS|30DEC26|" + std::to_string(i % 97) +
                        ".5|CE," + std::to_string(i) + ",50,5,ACT," + std::to_string(i % 7) + ".25,1.5";
        if (i == 44'000)
            r += ",3.75,77";
        records.push_back(r);
        text += r + "~";
    }
    SecurityFileContent c = ParseSecurityText(text, SecurityReading::Full);
    ASSERT_EQ(c.rows.size(), records.size());
    EXPECT_TRUE(c.extended);
    for (size_t i = 0; i < records.size(); i += 997) {
        bool ext = false;
        const SecurityRecord r = ParseSecurityRecord(records[i], SecurityReading::Full, ext);
        EXPECT_EQ(c.rows[i].token, r.token);
        EXPECT_EQ(c.rows[i].displayKey().view(), r.displayKey().view());
        EXPECT_EQ(c.rows[i].year_high, r.year_high);
        EXPECT_EQ(c.rows[i].scrip_code, r.scrip_code);
    }
    EXPECT_EQ(c.rows[44'000].wtoken, 77);

    // An empty record ends the text wherever it falls, in whichever share
    // of the threads: the records after it are not read.
    for (size_t stop : {size_t{1}, size_t{22'500}, size_t{44'999}}) {
        std::string cutShort = "01012026-0-5~";
        for (size_t i = 0; i < records.size(); ++i)
            cutShort += (i == stop ? " \r\n~" : "") + records[i] + "~";
        c = ParseSecurityText(cutShort, SecurityReading::Full);
        ASSERT_EQ(c.rows.size(), stop);
        EXPECT_EQ(c.rows.back().token, static_cast<int>(stop));
        EXPECT_EQ(c.extended, stop > 44'000);
    }
}

TEST(SecurityFileFormat, LargeMasterExtrasLiveAsLongAsTheirRows)
{
    // A large master's extras are made side by side in shared blocks (more
    // than one block's worth here): each row's extras read as the record's
    // own parse gives them, and stay whole while any row holding them, or a
    // copy of it, lives on after the others are gone.
    std::string text = "01012026-0-40000~";
    std::vector<std::string> records;
    for (int i = 0; i < 40'000; ++i) {
        records.push_back(std::to_string(i + 1) + ",MC,G" + std::to_string(i) + "|CF|05FEB27,0,1,5,ACT,10,0,0," +
                          std::to_string(i) + ",Rs,1 KG," + std::to_string(i % 9) + ",KG,0,7,Gold contract number " +
                          std::to_string(i) + ",t1,t2");
        text += records.back() + "~";
    }
    auto sameExtras = [](const SecurityRecord& got, const SecurityRecord& want) {
        ASSERT_TRUE(got.extras);
        ASSERT_TRUE(want.extras);
        EXPECT_EQ(got.extras->description, want.extras->description);
        EXPECT_EQ(got.extras->price_quantity, want.extras->price_quantity);
        EXPECT_EQ(got.extras->aux_text2, want.extras->aux_text2);
        EXPECT_EQ(got.denominator(), want.denominator());
        EXPECT_EQ(got.auxInt2(), 7);
    };
    bool ext = false;
    auto plain = [&](int i) { return ParseSecurityRecord(records[static_cast<size_t>(i)], SecurityReading::Full, ext); };

    SecurityRecord copied;
    SecurityRecord moved;
    {
        SecurityFileContent c = ParseSecurityText(text, SecurityReading::Full);
        ASSERT_EQ(c.rows.size(), records.size());
        for (int i = 0; i < 40'000; i += 1'237)
            sameExtras(c.rows[static_cast<size_t>(i)], plain(i));
        copied = c.rows[3];
        moved = std::move(c.rows[39'999]);
        // A row's own change stays its own.
        c.rows[4].setAdvisoryText("Bullish");
        EXPECT_EQ(c.rows[5].advisoryText(), "-NA-");
        SecurityRecord spare = c.rows[4];
        EXPECT_EQ(spare.advisoryText(), "Bullish");
    }
    sameExtras(copied, plain(3));
    sameExtras(moved, plain(39'999));
    EXPECT_EQ(moved.extras->description, "Gold contract number 39999");
    // A copy's extras are its own, whatever became of the row's.
    SecurityRecord again = moved;
    moved.extras.reset();
    sameExtras(again, plain(39'999));
}

TEST(SecurityFileFormat, RowsRoomMadeFromTheHeader)
{
    auto master = [](int claimed, int records) {
        std::string text = "01012026-0-" + std::to_string(claimed) + "~";
        for (int i = 0; i < records; ++i)
            text += std::to_string(i + 1) + ",NN,S" + std::to_string(i) + "|EQ,0,1,5,ACT,1,0,0~";
        return text;
    };
    // A large master's header makes room for its rows before the rest of
    // the text is there; the parse fills that very memory.
    const std::string text = master(25'000, 25'000);
    SecurityRows room = SecurityRowsAhead(std::string_view(text).substr(0, kSecurityHeadBytes)).take();
    ASSERT_GE(room.capacity(), 25'000u);
    const SecurityRecord* memory = room.data();
    SecurityFileContent c = ParseSecurityText(text, SecurityReading::Full, std::move(room));
    ASSERT_EQ(c.rows.size(), 25'000u);
    EXPECT_EQ(c.rows.data(), memory);
    EXPECT_EQ(c.rows[24'999].token, 25'000);

    // Headers that make none: a small master, an absurd count, a header
    // not all among the bytes given.
    for (const char* head : {"01012026-0-500~", "01012026-0-2000000000~", "01012026-0-25000"})
        EXPECT_EQ(SecurityRowsAhead(head).take().capacity(), 0u) << head;

    // A header that claimed far more rows than came: its room is not kept
    // for the table's life.
    const std::string few = master(100'000, 100);
    room = SecurityRowsAhead(few).take();
    ASSERT_GE(room.capacity(), 100'000u);
    c = ParseSecurityText(few, SecurityReading::Full, std::move(room));
    EXPECT_EQ(c.rows.size(), 100u);
    EXPECT_LT(c.rows.capacity(), 2'000u);
}

TEST(SecurityFileFormat, HeaderAndEndOfText)
{
    SecurityFileContent c = ParseSecurityText("  09122026-3-0-x ~ 1,NN,A|EQ,0,1,5,ACT,1,0 ~~2,NN,B|EQ,0,1,5,ACT,1,0~",
                                              SecurityReading::Full);
    EXPECT_EQ(c.header.date, "09122026");
    EXPECT_EQ(c.header.number, 3);
    EXPECT_EQ(c.header.count, 100);
    ASSERT_EQ(c.rows.size(), 1u); // the empty record ends the text
    EXPECT_EQ(c.rows[0].symbol.view(), "A");
}
