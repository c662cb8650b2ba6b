#include "app/base/LogWriter.h"

#include "app/base/Md5.h"
#include "app/base/TextFormat.h"
#include "pf/clock.h"
#include "pf/log.h"
#include "pf/paths.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace {

namespace fs = std::filesystem;

constexpr int64_t kDay = 86'400;

// Epoch milliseconds of a local time.
int64_t localMillis(int year, int month, int day, int hour, int minute, int second, int millis)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&t)) * 1000 + millis;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> linesOf(const fs::path& path)
{
    std::vector<std::string> lines;
    std::istringstream in(readFile(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The text of a line after its time stamp.
std::string textOf(const std::string& line)
{
    const size_t at = line.find(" - ");
    return at == std::string::npos ? std::string() : line.substr(at + 3);
}

void touch(const fs::path& path, int64_t mtimeSeconds)
{
    std::ofstream(path) << "x\n";
    const struct timespec times[2] = {{mtimeSeconds, 0}, {mtimeSeconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// Name of the old per-day log in the program folder, `back` days before the clock's day.
std::string oldLogName(const pf::Clock& clock, int back)
{
    const pf::LocalTime t = pf::Clock::local(clock.nowMillis() - back * kDay * 1000);
    char name[64];
    std::snprintf(name, sizeof name, "Vortanex_%02d%02d%d.log", t.day, t.month, t.year);
    return name;
}

class LogWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pf::setClock(&clock);
        Log_Level = 0;
    }
    void TearDown() override
    {
        CloseLog();
        SetLogSyncPerLine(false);
        SetLogCommit({});
        pf::setLogSink({});
        pf::setClock(nullptr);
        Log_Level = 0;
    }

    fs::path logs() const { return paths.logs(); }

    TempDir dir;
    pf::Paths paths{dir.path()};
    // 5 March 2024, 09:07:31.042 local time: noon-free on purpose, so that
    // day arithmetic must go by calendar days.
    pf::ManualClock clock{localMillis(2024, 3, 5, 9, 7, 31, 42)};
};

} // namespace

TEST_F(LogWriterTest, CommonLogLinesCarryTheLocalTimeStamp)
{
    EXPECT_EQ(LogTimestamp(), "2024-03-05-09:07:31.042");
    ASSERT_TRUE(StartLog(paths));
    EXPECT_EQ(CurrentLogPath(), logs() / "Vortanex_Common_05032024.log");

    WriteLog(0, "Entry InitInstance");
    clock.advanceMillis(1);
    pf::logLine(0, "from the platform layer");
    EXPECT_EQ(readFile(CurrentLogPath()), "2024-03-05-09:07:31.042 - Entry InitInstance\n"
                                          "2024-03-05-09:07:31.043 - from the platform layer\n");
}

TEST_F(LogWriterTest, LevelFilter)
{
    ASSERT_TRUE(StartLog(paths));
    const std::array<int, 4> levels = {0, 1, 3, 101};
    // A negative threshold still lets level-0 lines through.
    Log_Level = -1;
    for (int level : levels)
        WriteLog(level, formatText("L%d T-1", level));
    for (int threshold : levels) {
        Log_Level = threshold;
        for (int level : levels)
            WriteLog(level, formatText("L%d T%d", level, threshold));
    }
    std::set<std::string> written;
    for (const auto& line : linesOf(CurrentLogPath()))
        written.insert(textOf(line));
    for (int threshold : levels)
        for (int level : levels) {
            const std::string text = formatText("L%d T%d", level, threshold);
            EXPECT_EQ(written.count(text), level <= threshold ? 1u : 0u) << text;
        }
    for (int level : levels)
        EXPECT_EQ(written.count(formatText("L%d T-1", level)), level == 0 ? 1u : 0u) << level;
}

TEST_F(LogWriterTest, LongLineThenShortLineBothWhole)
{
    ASSERT_TRUE(StartLog(paths));
    const std::string longText(100'000, 'L');
    WriteLog(0, "short");
    WriteLog(0, longText);
    WriteLog(0, "tiny");
    const auto lines = linesOf(CurrentLogPath());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(textOf(lines[0]), "short");
    EXPECT_EQ(textOf(lines[1]), longText);
    EXPECT_EQ(textOf(lines[2]), "tiny");
}

// Whole lines, every one, each thread's in the order it wrote them, with and
// without the commit to disk (which runs beside the writers).
TEST_F(LogWriterTest, EightThreadsLeaveOnlyWholeLinesInTheirOrder)
{
    for (const bool sync : {false, true}) {
        SCOPED_TRACE(sync);
        std::error_code ec;
        std::filesystem::remove_all(logs(), ec);
        ASSERT_TRUE(StartLog(paths));
        SetLogSyncPerLine(sync);
        const fs::path log = CurrentLogPath();
        constexpr int kThreads = 8;
        constexpr int kLines = 1000;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([t] {
                // Lines of different lengths, so that a torn write would show.
                const std::string pad(static_cast<size_t>(t) * 37, char('a' + t));
                for (int i = 0; i < kLines; ++i)
                    WriteLog(0, formatText("t%d %d %s", t, i, pad.c_str()));
            });
        for (auto& t : threads)
            t.join();
        CloseLog();

        auto lines = linesOf(log);
        ASSERT_EQ(lines.size(), size_t(kThreads * kLines + 2));
        EXPECT_EQ(textOf(lines[lines.size() - 2]), "Closing LogFile Connection");
        lines.resize(lines.size() - 2);
        std::array<int, kThreads> next{};
        for (const auto& line : lines) {
            ASSERT_EQ(line.substr(0, 26), "2024-03-05-09:07:31.042 - ") << line;
            int t = -1, i = -1;
            std::istringstream fields(textOf(line).substr(1));
            fields >> t >> i;
            ASSERT_TRUE(t >= 0 && t < kThreads) << line;
            const std::string pad(static_cast<size_t>(t) * 37, char('a' + t));
            EXPECT_EQ(textOf(line), formatText("t%d %d %s", t, next[size_t(t)], pad.c_str()));
            next[size_t(t)] = i + 1;
        }
        for (int t = 0; t < kThreads; ++t)
            EXPECT_EQ(next[size_t(t)], kLines) << t;
    }
}

// A crash of the program right after its lines keeps every one of them: each
// is in the file before WriteLog returns, whatever the commit to disk does.
TEST_F(LogWriterTest, ACrashRightAfterLoggingLosesNoLine)
{
    // Forked as it stands (the default style), so the child logs into this
    // test's folder.
    const fs::path log = logs() / "Vortanex_Common_05032024.log";
    EXPECT_DEATH(
        {
            StartLog(paths);
            SetLogSyncPerLine(true);
            for (int i = 0; i < 100; ++i)
                WriteLog(0, formatText("line %d", i));
            std::abort();
        },
        "");
    const auto lines = linesOf(log);
    ASSERT_EQ(lines.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(textOf(lines[size_t(i)]), formatText("line %d", i));
}

// The commit to disk: never on a thread that logs (the UI thread among them),
// never holding a writer while it runs, and it takes each log to its last
// line: the common log when the user's log takes over, the user's log with
// its closing lines before CloseLog returns.
TEST_F(LogWriterTest, TheCommitToDiskHoldsNoWriterAndTakesEveryLogToItsLastLine)
{
    struct Commit {
        std::thread::id thread;
        ino_t file;
        off_t size;
    };
    std::mutex m;
    std::condition_variable cv;
    std::vector<Commit> commits;
    bool gateOpen = false;
    bool gateTimedOut = false;
    SetLogCommit([&](int fd) {
        struct stat st {};
        ASSERT_EQ(::fstat(fd, &st), 0);
        std::unique_lock lock(m);
        commits.push_back({std::this_thread::get_id(), st.st_ino, st.st_size});
        // The first commit stays in flight until the writers below are done.
        if (commits.size() == 1)
            gateTimedOut = !cv.wait_for(lock, std::chrono::seconds(20), [&] { return gateOpen; });
    });
    const auto inode = [](const fs::path& p) {
        struct stat st {};
        return ::stat(p.c_str(), &st) == 0 ? st.st_ino : ino_t(0);
    };

    ASSERT_TRUE(StartLog(paths));
    const fs::path common = CurrentLogPath();
    WriteLog(0, "not committed: the program has not asked yet");
    SetLogSyncPerLine(true);
    constexpr int kLines = 200;
    for (int i = 0; i < kLines; ++i)
        WriteLog(0, formatText("c%d", i));
    // Lines written while the first commit is in flight went to the file.
    EXPECT_EQ(linesOf(common).size(), size_t(kLines + 1));
    ASSERT_TRUE(SwitchToUserLog("U123"));
    const fs::path user = CurrentLogPath();
    for (int i = 0; i < kLines; ++i)
        WriteLog(0, formatText("u%d", i));
    EXPECT_EQ(linesOf(user).size(), size_t(kLines));
    {
        std::lock_guard lock(m);
        gateOpen = true;
    }
    cv.notify_all();
    CloseLog();

    std::lock_guard lock(m);
    EXPECT_FALSE(gateTimedOut) << "a writer waited for the commit in flight";
    ASSERT_FALSE(commits.empty());
    std::map<ino_t, off_t> committed; // the most of each file taken to disk
    for (const Commit& c : commits) {
        EXPECT_NE(c.thread, std::this_thread::get_id()) << "the logging thread committed";
        committed[c.file] = std::max(committed[c.file], c.size);
    }
    EXPECT_EQ(committed[inode(common)], off_t(fs::file_size(common)));
    EXPECT_EQ(committed[inode(user)], off_t(fs::file_size(user)));
    const auto userLines = linesOf(user);
    ASSERT_EQ(userLines.size(), size_t(kLines + 2));
    EXPECT_EQ(textOf(userLines.back()), "**************************Vortanex is shutdown properly*******************");
    for (int i = 0; i < kLines; ++i)
        EXPECT_EQ(textOf(userLines[size_t(i)]), formatText("u%d", i));
}

TEST_F(LogWriterTest, RetentionRemovesOnlyFilesPastTheirAge)
{
    fs::create_directories(logs());
    const int64_t now = clock.nowSeconds();
    struct Case {
        const char* name;
        int64_t age;
        bool kept;
    } cases[] = {
        {"Vortanex_Common_02022024.log", 31 * kDay, false},
        {"Vortanex_U123_04022024.log", 29 * kDay, true},
        {"Vortanex_General_U123_01032024.msg", 4 * kDay, false},
        {"Vortanex_Trading_U123_03032024.msg", 2 * kDay, true},
        {"Other_01012024.log", 60 * kDay, true},
        {"Vortanex_notes.txt", 60 * kDay, true},
        {"EChart_2885_02.022024.dat", 31 * kDay, false},
        {"EChart_2885_04.022024.dat", 29 * kDay, true},
    };
    for (const auto& c : cases)
        touch(logs() / c.name, now - c.age);

    ASSERT_TRUE(StartLog(paths));
    for (const auto& c : cases)
        EXPECT_EQ(fs::exists(logs() / c.name), c.kept) << c.name;
}

TEST_F(LogWriterTest, FirstStartMovesTheDatedOldLogs)
{
    struct Case {
        int back;
        bool moved;
    } cases[] = {{0, true}, {1, true}, {6, true}, {31, true}, {32, false}};
    for (const auto& c : cases)
        touch(paths.root() / oldLogName(clock, c.back), clock.nowSeconds() - 1);
    touch(paths.root() / "Vortanex_notadate.log", clock.nowSeconds() - 1);

    ASSERT_TRUE(StartLog(paths));
    for (const auto& c : cases) {
        const std::string name = oldLogName(clock, c.back);
        EXPECT_EQ(fs::exists(logs() / name), c.moved) << name;
        EXPECT_EQ(fs::exists(paths.root() / name), !c.moved) << name;
    }
    EXPECT_TRUE(fs::exists(paths.root() / "Vortanex_notadate.log"));
}

TEST_F(LogWriterTest, OldLogsStayWhenLogsAlreadyExists)
{
    fs::create_directories(logs());
    const std::string name = oldLogName(clock, 1);
    touch(paths.root() / name, clock.nowSeconds() - 1);
    ASSERT_TRUE(StartLog(paths));
    EXPECT_TRUE(fs::exists(paths.root() / name));
    EXPECT_FALSE(fs::exists(logs() / name));
}

TEST_F(LogWriterTest, UserLogThenClosingBanner)
{
    ASSERT_TRUE(StartLog(paths));
    const fs::path common = CurrentLogPath();
    WriteLog(0, "before login");

    // The date is the one of the opening: past midnight the file stays.
    clock.advanceSeconds(kDay);
    SetLogSyncPerLine(true);
    ASSERT_TRUE(SwitchToUserLog("U123"));
    const fs::path user = CurrentLogPath();
    EXPECT_EQ(user, logs() / "Vortanex_U123_06032024.log");
    clock.advanceSeconds(kDay);
    WriteLog(0, "after login");
    EXPECT_EQ(CurrentLogPath(), user);

    CloseLog();
    EXPECT_EQ(CurrentLogPath(), fs::path());
    WriteLog(0, "after close");
    pf::logLine(0, "after close");

    const auto commonLines = linesOf(common);
    ASSERT_EQ(commonLines.size(), 1u);
    EXPECT_EQ(textOf(commonLines[0]), "before login");
    const auto userLines = linesOf(user);
    ASSERT_EQ(userLines.size(), 3u);
    EXPECT_EQ(textOf(userLines[0]), "after login");
    EXPECT_EQ(textOf(userLines[1]), "Closing LogFile Connection");
    EXPECT_EQ(textOf(userLines[2]), "**************************Vortanex is shutdown properly*******************");
}

TEST_F(LogWriterTest, UserIdCannotLeaveTheLogFolder)
{
    ASSERT_TRUE(StartLog(paths));
    ASSERT_TRUE(SwitchToUserLog("../../x"));
    EXPECT_EQ(CurrentLogPath(), logs() / "Vortanex_.._.._x_05032024.log");
}

TEST_F(LogWriterTest, SecretsAreMasked)
{
    ASSERT_TRUE(StartLog(paths));
    std::string digest;
    ASSERT_TRUE(HashPassword("abc", digest));
    const std::string log = readFile(CurrentLogPath());
    EXPECT_EQ(log.find(digest), std::string::npos);
    EXPECT_NE(log.find("****"), std::string::npos);

    struct Case {
        const char* text;
        const char* secret;
        const char* masked;
    } cases[] = {
        {"LoginData=1001|U1|kAFQmDzST7DWlj99KOF/cg==|4", "kAFQmDzST7DWlj99KOF/cg==", "LoginData=1001|U1|****|4"},
        {"old=pw1|new=pw2|pw1", "pw1", "old=****|new=pw2|****"},
        {"no secret here", "otp", "no secret here"},
        {"empty secret", "", "empty secret"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MaskSecretIn(c.text, c.secret), c.masked) << c.text;
    EXPECT_EQ(MaskSecret("123456"), "****");
}

// The session id is masked in every line from every part and thread, as a
// whole word only; a new session masks its own id.
TEST_F(LogWriterTest, TheSessionIdIsMaskedInEveryLine)
{
    ASSERT_TRUE(StartLog(paths));
    SetLoggedSessionId("SESS0001");
    struct Case {
        const char* text;
        const char* logged;
    } cases[] = {
        {"WD=100|SESS0001|U1|4", "WD=100|****|U1|4"},
        {"SESS0001", "****"},
        {"session=SESS0001&user=U1 again SESS0001.", "session=****&user=U1 again ****."},
        {"XSESS0001 SESS00012", "XSESS0001 SESS00012"}, // other words that contain it
    };
    for (const Case& c : cases)
        WriteLog(0, c.text);
    pf::logLine(0, "platform line |SESS0001|");
    SetLoggedSessionId("SESS0002");
    WriteLog(0, "SESS0001 SESS0002");
    SetLoggedSessionId("");
    WriteLog(0, "after logout SESS0002");

    const auto lines = linesOf(CurrentLogPath());
    ASSERT_EQ(lines.size(), std::size(cases) + 3);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(textOf(lines[i]), cases[i].logged);
    EXPECT_EQ(textOf(lines[4]), "platform line |****|");
    EXPECT_EQ(textOf(lines[5]), "SESS0001 ****");
    EXPECT_EQ(textOf(lines[6]), "after logout SESS0002");
}
