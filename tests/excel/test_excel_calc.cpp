// The live link against a real headless Calc, through the helper: a new
// book, the headers, three rows and a coloured tick read back; the user
// closing the book resets the link; an office killed in the middle of a pass
// is a disconnect, never a hang. Skips (and says why) on a machine without
// the office or the helper; under CI it fails instead.
#include "server/SecurityTable.h"
#include "watch/base/WatchlistTable.h"
#include "watch/excel/CalcSheetLink.h"
#include "watch/excel/ExcelLink.h"
#include "watch/excel/ExcelSheetWriters.h"

#include "pf/sigpipe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace {

// The program ignores SIGPIPE from its first line: a write to an office that
// has just been ended must fail, not end the terminal. These tests run the
// link as the program does.
const bool kSigpipeIgnored = (pf::ignoreSigpipe(), true);

std::string missing()
{
    const std::string helper = VX_CALCLINK_PROGRAM;
    if (helper.empty())
        return "the Calc helper was not built (no LibreOffice SDK)";
    if (std::system("command -v soffice >/dev/null 2>&1") != 0)
        return "soffice is not installed";
    return {};
}

#define NEED_CALC()                                                                                   \
    do {                                                                                              \
        const std::string why = missing();                                                            \
        if (!why.empty()) {                                                                           \
            if (std::getenv("CI"))                                                                    \
                FAIL() << "live Calc test cannot run in CI: " << why;                                 \
            GTEST_SKIP() << why;                                                                      \
        }                                                                                             \
    } while (0)

// Every process below pid (the office's launcher starts the real one).
std::vector<pid_t> familyOf(pid_t root)
{
    std::vector<pid_t> family = {root};
    for (size_t i = 0; i < family.size(); ++i) {
        DIR* proc = opendir("/proc");
        while (dirent* e = proc ? readdir(proc) : nullptr) {
            const pid_t pid = std::atoi(e->d_name);
            if (pid <= 0)
                continue;
            std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
            std::string line;
            std::getline(stat, line);
            const auto close = line.rfind(')');
            if (close == std::string::npos)
                continue;
            char state = 0;
            int ppid = 0;
            if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == family[i])
                family.push_back(pid);
        }
        if (proc)
            closedir(proc);
    }
    return family;
}

template <class F>
bool eventually(F&& condition, std::chrono::seconds limit = std::chrono::seconds(30))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

struct Live {
    CalcSheetLink* calc = nullptr; // owned by the link
    std::unique_ptr<CMSExcel> link;
    explicit Live(std::chrono::milliseconds replyTimeout = std::chrono::seconds(20))
    {
        link = std::make_unique<CMSExcel>([this, replyTimeout]() -> std::unique_ptr<SheetLink> {
            CalcOptions o;
            o.helper = VX_CALCLINK_PROGRAM;
            o.headless = true;
            o.replyTimeout = replyTimeout;
            auto made = std::make_unique<CalcSheetLink>(o);
            calc = made.get();
            return made;
        });
    }
};

ExcelRow row(const std::string& key, double last)
{
    ExcelRow r;
    r.empty = false;
    r.key = key;
    r.exchange = "NSE";
    for (int k = 0; k < kColumnKinds; ++k)
        r.texts[static_cast<size_t>(k)] = "0.00";
    r.texts[kLastPrc] = std::to_string(last).substr(0, 6);
    return r;
}

} // namespace

TEST(SheetLinkCalc, LiveRoundTrip)
{
    NEED_CALC();
    Live live;
    std::string error;
    ASSERT_EQ(live.link->Initialization("Watch one", error, "", 0), 1) << error;
    EXPECT_TRUE(live.link->IsSheetLinked("Watch one"));
    auto t = std::make_shared<ExcelSheetTarget>();
    t->sheetName = "Watch one";
    live.link->linkTarget(t);
    WriteExcelHeaders(*live.link, t);
    UpdateDataExcel(*live.link, t, {row("ACC", 101.25), row("INFY", 1502.5), row("TCS", 3301.75)});
    live.link->waitIdle();
    ASSERT_TRUE(t->cellsLive);
    auto table = std::make_shared<SecurityTable>();
    {
        SecurityRows rows(1);
        rows[0].display_name.assign("INFY");
        table->build(std::move(rows), SecurityTable::Build::Full, true);
    }
    table->row(0).updateQuote([](QuoteData& q) {
        q.quote[kLastPrc] = 150400;
        q.tick_code[kLastPrc] = kTickRose;
    });
    SecurityTable::publish(table);
    UpdateExcelTick(*live.link, t, 0, 1);
    live.link->waitIdle();

    CalcSheetLink& calc = *live.calc;
    const auto names = calc.sheetNames();
    ASSERT_EQ(names, (std::vector<std::string>{"Watch one", "Vortanex"}));
    const SheetCellState header = calc.readCell("Watch one", 1, 1);
    EXPECT_EQ(header.text, "Security");
    EXPECT_TRUE(header.style.bold);
    EXPECT_EQ(calc.readCell("Watch one", 1, kLastPrc + 3).text, ColumnKindCaption(kLastPrc));
    EXPECT_EQ(calc.readCell("Watch one", 2, 1).text, "ACC");
    EXPECT_EQ(calc.readCell("Watch one", 4, 1).text, "TCS");
    EXPECT_EQ(calc.readCell("Watch one", 4, 2).text, "NSE");
    SecurityTable::publish(nullptr);
    const SheetCellState tick = calc.readCell("Watch one", 3, kLastPrc + 3);
    EXPECT_EQ(tick.text, "1504");
    EXPECT_EQ(tick.style.interior, kExcelRoseBack) << "colours come back as 0x00BBGGRR";
    EXPECT_EQ(tick.style.font, kExcelWhite);

    // The user closes the book: the link resets, nothing more is written.
    std::atomic<bool> noticed{false};
    live.link->setDisconnectNotice([&] { noticed = true; });
    calc.closeBookAsUser();
    EXPECT_TRUE(eventually([&] { return !live.link->linkOpen() && noticed; }));
    EXPECT_EQ(live.link->linkedCount(), 0);
}

TEST(SheetLinkCalc, OfficeKilledMidPassIsADisconnect)
{
    NEED_CALC();
    Live live;
    std::string error;
    ASSERT_EQ(live.link->Initialization("Killed", error, "", 0), 1) << error;
    const int office = live.calc->officeProcess();
    ASSERT_GT(office, 0);
    auto t = std::make_shared<ExcelSheetTarget>();
    t->sheetName = "Killed";
    live.link->linkTarget(t);
    std::vector<ExcelRow> rows;
    for (int i = 0; i < 30000; ++i)
        rows.push_back(row("R" + std::to_string(i), i));
    UpdateDataExcel(*live.link, t, rows);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_FALSE(t->cellsLive) << "the pass is still running";
    for (pid_t p : familyOf(office))
        kill(p, SIGKILL);
    EXPECT_TRUE(eventually([&] { return !live.link->linkOpen(); }, std::chrono::seconds(40)));
    const auto start = std::chrono::steady_clock::now();
    live.link->waitIdle();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(40)) << "the writer never hangs";
    EXPECT_FALSE(t->cellsLive);
}

// Gone, or a zombie nobody reaps yet: either way no longer running.
bool ended(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

TEST(SheetLinkCalc, AStuckHeadlessOfficeIsEndedWithItsProcessGroup)
{
    NEED_CALC();
    Live live(std::chrono::seconds(3));
    std::string error;
    ASSERT_EQ(live.link->Initialization("Stuck", error, "", 0), 1) << error;
    const int office = live.calc->officeProcess();
    ASSERT_GT(office, 0);
    const std::vector<pid_t> family = familyOf(office);
    for (pid_t p : family)
        kill(p, SIGSTOP); // the office stops answering
    // The next exchange times out: the link ends the office it started
    // headless, whole, and resets.
    EXPECT_FALSE(live.link->IsSheetLinked("Stuck"));
    EXPECT_TRUE(eventually([&] { return !live.link->linkOpen(); }, std::chrono::seconds(20)));
    for (pid_t p : family)
        EXPECT_TRUE(eventually([&] { return ended(p); }, std::chrono::seconds(10))) << "office process " << p;
    for (pid_t p : family)
        if (!ended(p))
            kill(p, SIGKILL);
}

TEST(SheetLinkCalc, NoOfficeOrNoHelperIsAnAbsentProgram)
{
    for (const bool withHelper : {false, true}) {
        if (withHelper && std::string(VX_CALCLINK_PROGRAM).empty())
            continue;
        CalcOptions o;
        o.helper = withHelper ? VX_CALCLINK_PROGRAM : "";
        o.program = "/nonexistent/office";
        CalcSheetLink calc(o);
        std::string book, error;
        EXPECT_FALSE(calc.openBook("", book, error)) << withHelper;
        EXPECT_EQ(error, kExcelAbsentText) << withHelper;
    }
}
