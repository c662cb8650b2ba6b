#include "server/AlertSound.h"
#include "server/CompanionLists.h"
#include "server/ExpiryDates.h"
#include "server/SecurityRequests.h"
#include "server/WatchColumns.h"

#include "app/base/AppSettings.h"
#include "app/base/SessionRecord.h"

#include "master_test_support.h"

#include "pf/clock.h"
#include "pf/recording_sound.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace testsupport;

TEST(ExpiryDates, TextToDate)
{
    struct Case {
        const char* text;
        int result;
        const char* out;
    } cases[] = {
        {"05FEB21", 0, "20210205"},
        {"05Feb21", 0, "20210005"},
        {"30DEC26", 0, "20261230"},
        {"", 1, "untouched"},
        {"XXFEB21", 2, "untouched"},
        {"05FEB", 2, "untouched"},
    };
    for (const auto& c : cases) {
        std::string out = "untouched";
        EXPECT_EQ(ExpiryTextToDate(c.text, out), c.result) << c.text;
        EXPECT_EQ(out, c.out) << c.text;
    }
    EXPECT_EQ(MonthNumber("JAN"), 1);
    EXPECT_EQ(MonthNumber("DEC"), 12);
    EXPECT_EQ(MonthNumber("Dec"), 0);
}

TEST(ExpiryDates, ParseToLocalMidnight)
{
    const std::time_t t = static_cast<std::time_t>(ParseExpiryDate("31APR21"));
    std::tm tm{};
    localtime_r(&t, &tm);
    EXPECT_EQ(tm.tm_year, 121);
    EXPECT_EQ(tm.tm_mon, 4); // May
    EXPECT_EQ(tm.tm_mday, 1);
    EXPECT_EQ(tm.tm_hour, 0);
    EXPECT_EQ(tm.tm_min, 0);

    for (const char* bad : {"05XYZ21", "00JAN21", "32JAN21", ""}) {
        try {
            ParseExpiryDate(bad);
            ADD_FAILURE() << bad << " did not throw";
        } catch (const ExpiryDateError& e) {
            EXPECT_EQ(e.code(), ExpiryDateError::Fail) << bad;
        }
    }
}

TEST(TextWrapping, Lines)
{
    struct Case {
        const char* text;
        std::vector<std::string> lines;
    } cases[] = {
        {"fifteen chars!!", {"fifteen chars!!"}},
        {"exactly 15 char", {"exactly 15 char"}},
        {"aaaa bbbb cccc dddd eeee", {"aaaa bbbb cccc dddd", "eeee "}},
        {"oneverylongwordwithoutblanks", {"oneverylongwordwithoutblanks"}},
        {"abcdefghijklmnop q", {"abcdefghijklmnop", "q "}},
        {"a  b c d e f g h i j", {"a  b c d e f g h", "i j "}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines;
        WrapTextLines(c.text, lines);
        EXPECT_EQ(lines, c.lines) << c.text;
    }
}

TEST(WatchColumns, RoundTripsAs96Bytes)
{
    TempRoot root;
    WatchColumnLayout l = DefaultWatchColumns();
    l.count = 7;
    std::swap(l.kinds[0], l.kinds[22]);
    SaveWatchColumns(root.paths(), "U1", l);
    auto bytes = pf::files::readAll(WatchColumnsFile(root.paths(), "U1"));
    ASSERT_TRUE(bytes);
    ASSERT_EQ(bytes->size(), 96u);
    EXPECT_EQ(bytes->substr(0, 8), std::string("\x07\0\0\0\x16\0\0\0", 8)); // little-endian 7, then kind 22
    auto back = ReadWatchColumns(root.paths(), "U1");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->count, 7);
    EXPECT_EQ(back->kinds, l.kinds);
}

TEST(WatchColumns, InvalidFileGivesTheDefaultAndIsRewritten)
{
    TempRoot root;
    const auto file = WatchColumnsFile(root.paths(), "U2");
    const WatchColumnLayout def = DefaultWatchColumns();
    EXPECT_EQ(def.count, 11);
    EXPECT_EQ((std::vector<int>(def.kinds.begin(), def.kinds.begin() + 13)),
              (std::vector<int>{0, 1, 2, 3, 4, 10, 7, 5, 6, 8, 9, 11, 12}));

    auto withWord = [](int index, int32_t v) {
        std::string b(96, '\0');
        for (int i = 0; i < 4; ++i)
            b[static_cast<size_t>(4 * index + i)] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
        return b;
    };
    const std::string bad[] = {std::string(95, '\0'), std::string(97, '\0'), withWord(0, 24), withWord(0, -1),
                               withWord(5, 23), withWord(23, -2)};
    for (const std::string& b : bad) {
        ASSERT_TRUE(pf::files::writeAll(file, b));
        EXPECT_FALSE(ReadWatchColumns(root.paths(), "U2"));
        const WatchColumnLayout got = LoadWatchColumns(root.paths(), "U2");
        EXPECT_EQ(got.count, 11);
        EXPECT_EQ(got.kinds, def.kinds);
        EXPECT_EQ(pf::files::size(file), 96); // rewritten with the default
    }
    // A valid stored layout is taken as it is, whatever its count.
    ASSERT_TRUE(pf::files::writeAll(file, withWord(0, 23)));
    EXPECT_EQ(LoadWatchColumns(root.paths(), "U2").count, 23);
}

TEST(AlertSound, FileFromSoundFolderThenProgramFolderElseTone)
{
    TempRoot root;
    pf::RecordingSound sound;
    EXPECT_FALSE(AlertSoundFile(root.paths()));
    AlertSoundThread(0, sound, root.paths());
    sound.finishPlaying();
    ASSERT_TRUE(pf::files::writeAll(root.paths().root() / "alert.wav", "RIFF"));
    EXPECT_EQ(*AlertSoundFile(root.paths()), root.paths().root() / "alert.wav");
    AlertSoundThread(0, sound, root.paths());
    sound.finishPlaying();
    ASSERT_TRUE(pf::files::writeAll(root.paths().sound() / "alert.wav", "RIFF"));
    EXPECT_EQ(*AlertSoundFile(root.paths()), root.paths().sound() / "alert.wav");
    AlertSoundThread(1, sound, root.paths()); // the beep wins over the file
    sound.finishPlaying();

    const auto plays = sound.plays();
    ASSERT_EQ(plays.size(), 3u);
    EXPECT_EQ(plays[0].sound, pf::Sound::Tone);
    EXPECT_EQ(plays[1].sound, pf::Sound::AlertFile);
    EXPECT_EQ(plays[2].sound, pf::Sound::Tone);

    // A burst of alerts while one sound plays gives that one sound.
    for (int i = 0; i < 5; ++i)
        AlertSoundThread(0, sound, root.paths());
    EXPECT_EQ(sound.plays().size(), 4u);
    EXPECT_EQ(sound.finishPlaying(), 4);
}

namespace {

const char* kListRecords = "1001,NN,INFY|EQ,500209,1,5,ACT,1,0~"
                           "5,NN,X|FS|30DEC26,0,1,5,ACT,1,0~6,NN,X|FS|28JAN27,0,1,5,ACT,1,0~"
                           "8,NN,N|FI|30DEC26,0,1,5,ACT,1,0~3,CN,USDINR|FC|29DEC26,0,1,5,ACT,1,0~"
                           "4,CN,USDINR|FC|28JAN27,0,1,5,ACT,1,0~9,CN,USDINR|OC|29DEC26|83.5|CE,0,1,5,ACT,1,0~";

} // namespace

TEST(CategoryList, BuiltInRowsExpiryGroupsAndServerRows)
{
    auto t = tableFrom(kListRecords);
    std::vector<CategoryRecord> rows;
    const std::string text = "09122026~2~501,Sectors,Banks~502,Sectors,IT~503,Extra,Dropped~";

    EXPECT_EQ(UpdateCategory(text, t.get(), true, rows), 14);
    EXPECT_EQ(rows[4].name.view(), "MIS Options");
    EXPECT_EQ(rows[4].id, -9999);
    EXPECT_EQ(rows[5].name.view(), "MIS Currency");
    EXPECT_EQ(rows[7].group.view(), "Future Stock");
    EXPECT_EQ(rows[7].name.view(), "30DEC26");
    EXPECT_EQ(rows[7].id, -10007);
    EXPECT_EQ(rows[8].id, -10008);
    EXPECT_EQ(rows[9].group.view(), "Future Index");
    EXPECT_EQ(rows[10].group.view(), "Future Currency");
    EXPECT_EQ(rows[12].id, 501);
    EXPECT_EQ(rows[13].name.view(), "IT");

    // Without segment 12 "MIS Currency" moves up and the spare row takes
    // one more server record.
    EXPECT_EQ(UpdateCategory(text, t.get(), false, rows), 14);
    EXPECT_EQ(rows[4].name.view(), "MIS Currency");
    EXPECT_EQ(rows[6].id, -10006);
    EXPECT_EQ(rows[13].name.view(), "Dropped");

    // A negative or inflated count does not size the table.
    EXPECT_EQ(UpdateCategory("d~-5~1,G,N~", nullptr, true, rows), 7);
    EXPECT_EQ(UpdateCategory("d~2000000000~1,G,N~", nullptr, true, rows), 8);
}

TEST(ServicesList, CountLimitsAndMarksSurviveAReload)
{
    std::vector<ServiceRecord> services;
    const std::string text = "09122026~3~Research,11~Tips,12~News,13~Extra,14~More,15~";
    EXPECT_EQ(UpdateServices(text, services), 3);
    ASSERT_EQ(services.size(), 3u);
    EXPECT_EQ(services[2].name.view(), "News");
    EXPECT_EQ(services[2].id, 13);
    services[1].subscribed = 1;
    EXPECT_EQ(UpdateServices(text, services), 3);
    EXPECT_EQ(services[1].subscribed, 1);
    EXPECT_EQ(services[0].subscribed, 0);
    EXPECT_EQ(UpdateServices("d~-1~A,1~", services), 0);
}

TEST(AdvisoryFile, MarksKnownSecuritiesAndSkipsTheRest)
{
    auto t = tableFrom(kListRecords);
    const std::string longRemark(600, 'r');
    const std::string text = "08122026\n"
                             "1001,x,NN,Bullish|Buy above 1900|t2,Target 2000\n"
                             "3,x,CN,Bearish|Sell\n"
                             "4,x,CN,Neutral|Hold," + longRemark + "\n"
                             "77777,x,NN,Bullish|Unknown token\n"
                             "5,x,NN,Bullish\n"
                             "6,x\n"
                             "\n"
                             "8,x,NN,Other|After the end\n";
    // Dated yesterday: applied all the same.
    EXPECT_EQ(ApplyPellbrookText(text, *t, "09122026"), 3);
    const SecurityRecord& infy = t->row(t->searchToken(1001, "NN"));
    EXPECT_EQ(infy.advisory_kind, 1);
    EXPECT_EQ(infy.advisoryText(), "Buy above 1900");
    ASSERT_TRUE(infy.extras);
    EXPECT_EQ(infy.extras->advisory_note, "Target 2000");
    EXPECT_EQ(t->row(t->searchToken(3, "CN")).advisory_kind, 2);
    const SecurityRecord& hold = t->row(t->searchToken(4, "CN"));
    EXPECT_EQ(hold.advisory_kind, 0); // an unknown word keeps the kind
    EXPECT_EQ(hold.advisoryText(), "Hold");
    EXPECT_EQ(t->row(t->searchToken(5, "NN")).advisoryText(), "-NA-");
    EXPECT_EQ(t->row(t->searchToken(8, "NN")).advisory_kind, 0);
}

TEST(CompanionDownloads, CategoryServicesAndAdvisoryFetchUnpackAndLoad)
{
    TempRoot root;
    FakeServer server;
    ScriptedPrompter prompter;
    PrompterScope scope(prompter);
    auto t = tableFrom(kListRecords);
    server.requests[15] = {200, pack("09122026~1~501,Sectors,Banks~")};
    server.requests[18] = {200, pack("09122026~2~Research,11~Tips,12~")};
    pf::ManualClock clock(1'765'238'400'000); // 9 Dec 2025, 00:00 UTC
    pf::setClock(&clock);
    const pf::LocalTime now = clock.localNow();
    char today[16];
    std::snprintf(today, sizeof today, "%02d%02d%04d", now.day, now.month, now.year);
    server.files["/security/PellbrookSecFile.lzo"] = {200, pack(std::string(today) + "\n1001,x,NN,Other|Watch\n")};

    CompanionLists lists(root.paths(), server, "127.0.0.1");
    g_AppSettings.category_version = 0;
    g_AppSettings.services_version = 0;
    g_Session.category_version = 7;
    g_Session.services_version = 4;
    lists.GetCategoryThread(1, t.get(), false);
    EXPECT_EQ(lists.categories.size(), 12u); // 6 built-in, 2+1+2 expiries, 1 server
    EXPECT_TRUE(pf::files::exists(root.comp() / "category.lst"));
    lists.GetServicesThread(1);
    ASSERT_EQ(lists.services.size(), 2u);
    // The versions go where the next start-up compares them.
    EXPECT_EQ(g_AppSettings.category_version, 7);
    EXPECT_EQ(g_AppSettings.services_version, 4);
    lists.GetPellbrookFile(1, *t);
    EXPECT_EQ(t->row(0).advisory_kind, 3);
    EXPECT_EQ(server.downloads.back(), "/security/PellbrookSecFile.lzo:80");

    // A due list whose download fails loads the list on disk and keeps its
    // version, so the next start asks again.
    struct Failure {
        const char* name;
        ServerReply reply;
    };
    const Failure failures[] = {
        {"damaged archive", {200, "not lzo at all"}},
        {"HTTP error", {500, {}}},
        {"no connection", {-1, {}}},
    };
    g_Session.category_version = 8;
    g_Session.services_version = 5;
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.name);
        server.requests[15] = f.reply;
        server.requests[18] = f.reply;
        CompanionLists failed(root.paths(), server, "127.0.0.1");
        failed.GetCategoryThread(1, t.get(), false);
        EXPECT_EQ(failed.categories.size(), 12u);
        failed.GetServicesThread(1);
        EXPECT_EQ(failed.services.size(), 2u);
        EXPECT_EQ(g_AppSettings.category_version, 7) << "a failed download keeps the old version";
        EXPECT_EQ(g_AppSettings.services_version, 4);
    }
    CompanionLists again(root.paths(), server, "127.0.0.1");
    again.GetCategoryThread(0, t.get(), false);
    EXPECT_EQ(again.categories.size(), 12u);
    again.services.resize(1);
    again.GetServicesThread(0); // kind 0 keeps a table that has entries
    EXPECT_EQ(again.services.size(), 1u);
    pf::setClock(nullptr);
}

TEST(ReferenceRates, ReplyHandlingAndPropagation)
{
    auto t = tableFrom("3,CN,USDINR|FC|29DEC26,0,1,5,ACT,1,0~4,CN,USDINR|FC|28JAN27,0,1,5,ACT,1,0~"
                       "5,CB,USDINR|FC|29DEC26,0,1,5,ACT,1,0~6,CN,EURINR-X|FC|29DEC26,0,1,5,ACT,1,0~"
                       "7,CN,EURINR|FC|29DEC26,0,1,5,ACT,1,0~");
    SecurityTable::publish(t);
    FakeServer server;
    ScriptedPrompter prompter;
    PrompterScope scope(prompter);
    RequestSession session{"S1", "U1", 0};
    auto rate = [&](int row) { return t->row(row).ref_rate.load(); };

    struct Case {
        const char* name;
        ServerReply reply;
        int result;
    } cases[] = {
        {"count 0", {200, "931|0||0~"}, 0},
        {"header 930", {200, "930|0||1~5|8300^"}, -1},
        {"error status", {200, "931|2|Not allowed|0~"}, -1},
        {"no tilde", {200, "931|0||1"}, 0},
        {"two tildes", {200, "931|0||1~5|8300~x"}, 0},
        {"transport error", {503, ""}, 0},
    };
    for (const auto& c : cases) {
        server.requests[900] = c.reply;
        EXPECT_EQ(GetCrossCurrencyRefRate(server, session), c.result) << c.name;
        EXPECT_EQ(rate(0), 0.0) << c.name;
    }
    EXPECT_EQ(server.sent.back().second, "ReportData=930|S1|U1|4");
    EXPECT_EQ(prompter.asked.back().text, "Internet Connectivity Error [503]. Pls contact System Administrator");

    // Watch token 5 is USDINR on CN (token 3): the rate reaches the other CN
    // contract of the stem but not the CB one; the count exceeds the records.
    server.requests[900] = {200, "931|0||9~5|8312.5^11|9050^99|100^13|0"};
    EXPECT_EQ(GetCrossCurrencyRefRate(server, session), 0);
    EXPECT_DOUBLE_EQ(rate(0), 83.125);
    EXPECT_DOUBLE_EQ(rate(1), 83.125);
    EXPECT_EQ(rate(2), 0.0);
    // "EURINR-X" spreads to its stem "EURINR".
    EXPECT_DOUBLE_EQ(rate(3), 90.5);
    EXPECT_DOUBLE_EQ(rate(4), 90.5);
    SecurityTable::publish(nullptr);
}

TEST(DerivaneWatch, RowsFromTheReply)
{
    auto t = tableFrom(kListRecords);
    FakeServer server;
    RequestSession session{"S1", "U1", 2};
    server.requests[25] = {200, "0|ok|3^ 1001|NN|1~3|CN|-2~1001|NN|2~424242|NN|1~ ~8|NN|1"};
    std::vector<DerivaneWatchRow> rows(3);
    EXPECT_EQ(GetDerivaneWatch(server, session, *t, "MIS Options", rows), 0);
    EXPECT_EQ(server.sent.back().second, "WD=121|S1|U1|-1|4");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].token, 2001);
    EXPECT_EQ(rows[0].securityIndex, 0);
    EXPECT_EQ(rows[0].state, 1);
    EXPECT_EQ(rows[0].origin, '0');
    EXPECT_EQ(rows[0].status, 1);
    EXPECT_EQ(rows[1].token, 5);
    EXPECT_EQ(rows[1].status, -2);

    // More than 200 rows.
    std::string big = "hdr^";
    std::string recs;
    for (int i = 0; i < 230; ++i)
        recs += std::to_string(10 + i) + ",NN,S" + std::to_string(i) + "|EQ,0,1,5,ACT,1,0~";
    auto many = tableFrom(recs);
    for (int i = 0; i < 230; ++i)
        big += std::to_string(10 + i) + "|NN|1~";
    server.requests[25] = {200, big};
    EXPECT_EQ(GetDerivaneWatch(server, session, *many, "MIS Options", rows), 0);
    EXPECT_EQ(rows.size(), 230u);
}
