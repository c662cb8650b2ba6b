// The live link against a real headless Calc, through the helper: a new
// book, the headers, three rows and a coloured tick read back; the user
// closing the book resets the link; an office killed in the middle of a pass
// is a disconnect, never a hang. Skips (and says why) on a machine without
// the office or the helper; under CI it fails instead.
#include "server/SecurityTable.h"
#include "watch/base/WatchlistTable.h"
#include "watch/excel/CalcSheetLink.h"
#include "watch/excel/ExcelExport.h"
#include "watch/excel/ExcelLink.h"
#include "watch/excel/ExcelSheetWriters.h"

#include "pf/sigpipe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
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
    explicit Live(std::chrono::milliseconds replyTimeout = std::chrono::seconds(20), std::string saveFolder = {})
    {
        link = std::make_unique<CMSExcel>([this, replyTimeout, saveFolder]() -> std::unique_ptr<SheetLink> {
            CalcOptions o;
            o.helper = VX_CALCLINK_PROGRAM;
            o.headless = true;
            o.replyTimeout = replyTimeout;
            o.saveFolder = saveFolder;
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
        rows[0].setDisplayKey("INFY");
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

// The live figures stay numbers the user can compute with, shown with the
// decimals they were written with (two; four for a currency), and every
// column is as wide as its longest text, so no name is cut.
TEST(SheetLinkCalc, NumbersKeepTheirDecimalsAndColumnsFitTheirTexts)
{
    NEED_CALC();
    Live live;
    std::string error;
    ASSERT_EQ(live.link->Initialization("Formats", error, "", 0), 1) << error;
    auto t = std::make_shared<ExcelSheetTarget>();
    t->sheetName = "Formats";
    live.link->linkTarget(t);
    WriteExcelHeaders(*live.link, t);
    ExcelRow equity = row("RELIANCE~EQ", 0), currency = row("USDINR~FC~26DEC2026", 0);
    equity.texts[kLastPrc] = "822.10";
    equity.texts[kBidQty] = "423.00";
    currency.texts[kLastPrc] = "83.1200";
    UpdateDataExcel(*live.link, t, {equity, currency});
    live.link->waitIdle();
    CalcSheetLink& calc = *live.calc;
    const struct {
        int row, col;
        const char* shown;
    } figures[] = {
        {2, kLastPrc + 3, "822.10"},
        {2, kBidQty + 3, "423.00"},
        {3, kLastPrc + 3, "83.1200"},
    };
    for (const auto& f : figures) {
        const SheetCellState cell = calc.readCell("Formats", f.row, f.col);
        EXPECT_TRUE(cell.number) << f.shown;
        EXPECT_EQ(cell.shown, f.shown);
    }
    const SheetCellState key = calc.readCell("Formats", 3, 1);
    EXPECT_FALSE(key.number);
    EXPECT_EQ(key.shown, "USDINR~FC~26DEC2026");
    // A default column (2.26 cm) holds about ten characters; this key needs
    // more, and the exchange column less.
    EXPECT_GT(key.columnWidth, 2300) << "the key column is widened to its text";
    EXPECT_LT(calc.readCell("Formats", 2, 2).columnWidth, key.columnWidth);
}

// Nobody can see a headless book: it is kept in a file of the given folder,
// the book's name (which the success message shows) is that file, and what
// the link wrote is in it after the link lets go. A second book takes a
// file of its own.
TEST(SheetLinkCalc, AHeadlessBookIsKeptInTheFileItsNameGives)
{
    NEED_CALC();
    char pattern[] = "/tmp/vx-calc-saved-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    std::string first;
    {
        Live live(std::chrono::seconds(20), folder);
        std::string error;
        ASSERT_EQ(live.link->Initialization("Kept", error, "", 0), 1) << error;
        first = live.link->GetActiveWorkbookName();
        EXPECT_EQ(first.rfind(folder + "/", 0), 0u) << first;
        EXPECT_EQ(first.substr(first.size() - 4), ".ods") << first;
        EXPECT_EQ(access(first.c_str(), R_OK), 0) << "written when the book was made";
        auto t = std::make_shared<ExcelSheetTarget>();
        t->sheetName = "Kept";
        live.link->linkTarget(t);
        WriteExcelHeaders(*live.link, t);
        UpdateDataExcel(*live.link, t, {row("ACC", 101.25), row("INFY", 1502.5)});
        live.link->waitIdle();
        live.link->Close();
    }
    {
        Live again(std::chrono::seconds(20), folder);
        std::string error;
        ASSERT_EQ(again.link->Initialization("Other", error, "", 0), 1) << error;
        EXPECT_NE(again.link->GetActiveWorkbookName(), first);
        again.link->Close();
    }
    Live reader;
    std::string error;
    ASSERT_EQ(reader.link->Initialization("Kept", error, first, 1), 1) << error;
    EXPECT_EQ(reader.calc->readCell("Kept", 1, 1).text, "Security");
    EXPECT_EQ(reader.calc->readCell("Kept", 2, 1).text, "ACC");
    EXPECT_EQ(reader.calc->readCell("Kept", 3, 1).text, "INFY");
    reader.link->Close();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

// "Export to Excel" with a book chosen through "Select", as the command runs
// it, on an office without a window.
struct ChosenBook {
    std::string folder;
    std::string docs;
    std::vector<std::string> messages;
    ChosenBook()
    {
        char pattern[] = "/tmp/vx-calc-chosen-XXXXXX";
        if (mkdtemp(pattern))
            folder = pattern;
        docs = folder + "/Docs";
    }
    ~ChosenBook()
    {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    ExcelExportUi ui(const std::string& path)
    {
        return {[path](bool& newBook, std::string& chosen) {
                    newBook = false;
                    chosen = path;
                    return true;
                },
                [this](const std::string& m) { messages.push_back(m); }, {}};
    }
    static ExcelListInfo list(const std::string& name, std::vector<ExcelRow> rows)
    {
        ExcelListInfo l;
        l.name = name;
        l.shownRows = static_cast<int>(rows.size());
        l.rows = std::move(rows);
        return l;
    }
    // Two lists into the chosen book, then the link lets go.
    void exportTwoLists(const std::string& path)
    {
        Live live(std::chrono::seconds(30), docs);
        const ExcelExportUi u = ui(path);
        auto first = std::make_shared<ExcelSheetTarget>();
        ASSERT_EQ(ExportToExcel(*live.link, first, list("Banks", {row("HDFCBANK", 1650.5), row("SBIN", 801.25)}), u),
                  ExcelExportResult::Linked);
        live.link->waitIdle();
        auto second = std::make_shared<ExcelSheetTarget>();
        ASSERT_EQ(ExportToExcel(*live.link, second, list("Autos", {row("TATAMOTORS", 950.75)}), u,
                                {first->sheetName}),
                  ExcelExportResult::Linked);
        live.link->waitIdle();
        live.link->Close();
    }
    // The cells of a book as another link finds them.
    static void expectLists(const std::string& file)
    {
        Live reader;
        std::string error;
        ASSERT_EQ(reader.link->Initialization("Banks", error, file, 1), 1) << error;
        EXPECT_EQ(reader.calc->readCell("Banks", 1, 1).text, "Security") << file;
        EXPECT_EQ(reader.calc->readCell("Banks", 2, 1).text, "HDFCBANK") << file;
        EXPECT_EQ(reader.calc->readCell("Banks", 3, 1).text, "SBIN") << file;
        EXPECT_EQ(reader.calc->readCell("Autos", 2, 1).text, "TATAMOTORS") << file;
        reader.link->Close();
    }
};

// Nobody sees a chosen book without a display: the lists written into it are
// in its own file, in its own format, once the link has let go.
TEST(SheetLinkCalc, AChosenBookKeepsTheListsWrittenIntoIt)
{
    NEED_CALC();
    ChosenBook chosen;
    ASSERT_FALSE(chosen.folder.empty());
    // A workbook of the user's, made by the office itself.
    {
        std::ofstream(chosen.folder + "/prices.csv") << "Note\nmine\n";
        const std::string convert = "cd '" + chosen.folder + "' && soffice -env:UserInstallation=file://" +
                                    chosen.folder + "/profile --headless --convert-to xlsx prices.csv >/dev/null 2>&1";
        ASSERT_EQ(std::system(convert.c_str()), 0);
    }
    const std::string book = chosen.folder + "/prices.xlsx";
    ASSERT_EQ(access(book.c_str(), R_OK), 0);
    chosen.exportTwoLists(book);
    EXPECT_EQ(chosen.messages, (std::vector<std::string>{"Watchlist added successfully in [prices.xlsx]"}));
    std::error_code ec;
    EXPECT_FALSE(std::filesystem::exists(chosen.docs, ec)) << "nothing kept elsewhere";
    ChosenBook::expectLists(book);
    std::string zipped;
    std::ifstream(book, std::ios::binary) >> zipped;
    EXPECT_EQ(zipped.substr(0, 2), "PK") << "still the book's own format";
}

// A chosen book the office can only read is not lost either: the lists go to
// a file of the save folder, and the user is told which at once.
TEST(SheetLinkCalc, AChosenBookThatCannotBeWrittenIsKeptInADocsFile)
{
    NEED_CALC();
    ChosenBook chosen;
    ASSERT_FALSE(chosen.folder.empty());
    // A one-cell Lotus 1-2-3 sheet: the office reads the format, never writes it.
    const std::string book = chosen.folder + "/old.wk1";
    {
        const unsigned char bytes[] = {0x00, 0x00, 0x02, 0x00, 0x06, 0x04,                    // begin
                                       0x0d, 0x00, 0x07, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00, 0x07, 0x00, // A1 = 7
                                       0x01, 0x00, 0x00, 0x00};                               // end
        std::ofstream(book, std::ios::binary).write(reinterpret_cast<const char*>(bytes), sizeof bytes);
    }
    std::string before;
    {
        std::ifstream in(book, std::ios::binary);
        before.assign(std::istreambuf_iterator<char>(in), {});
    }
    chosen.exportTwoLists(book);
    const std::string kept = chosen.docs + "/old.ods";
    ASSERT_EQ(chosen.messages.size(), 2u);
    EXPECT_EQ(chosen.messages[0], "Cannot write to [" + book + "]: Watchlist added successfully in [" + kept + "]");
    EXPECT_EQ(chosen.messages[1], "Watchlist added successfully in [" + kept + "]");
    ChosenBook::expectLists(kept);
    std::ifstream in(book, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before) << "the user's file is untouched";
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

// With a display the book is the user's: a Calc window shows it, nothing is
// saved behind the user's back, and the office stays open with the book when
// the link lets go. Runs under Xvfb (excel.visible_calc); skips elsewhere.
TEST(SheetLinkCalcVisible, ABookOnADisplayIsAWindowThatOutlivesTheLink)
{
    NEED_CALC();
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "no display";
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdotool is not installed";
    char pattern[] = "/tmp/vx-calc-visible-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string profile = pattern;
    // The office's profile of this test, not the user's.
    setenv("HOME", profile.c_str(), 1);
    CalcSheetLink* calc = nullptr;
    CMSExcel link([&]() -> std::unique_ptr<SheetLink> {
        CalcOptions o;
        o.helper = VX_CALCLINK_PROGRAM;
        o.headless = false;
        o.saveFolder = profile + "/saved";
        o.replyTimeout = std::chrono::seconds(60);
        auto made = std::make_unique<CalcSheetLink>(o);
        calc = made.get();
        return made;
    });
    std::string error;
    ASSERT_EQ(link.Initialization("Seen", error, "", 0), 1) << error;
    ASSERT_FALSE(calc->headless()) << "the office has no window plugin";
    const std::string book = link.GetActiveWorkbookName();
    EXPECT_EQ(book.find('/'), std::string::npos) << "a visible book is not saved for the user: " << book;
    const int office = calc->officeProcess();
    const std::string find = "xdotool search --onlyvisible --name '" + book + "' >/dev/null 2>&1";
    EXPECT_TRUE(eventually([&] { return std::system(find.c_str()) == 0; }, std::chrono::seconds(60)))
        << "no window named " << book;
    link.Close();
    if (office > 0) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        EXPECT_FALSE(ended(office)) << "the user's office was ended with the link";
        EXPECT_EQ(std::system(find.c_str()), 0) << "the book's window went with the link";
        for (pid_t p : familyOf(office))
            kill(p, SIGKILL);
        eventually([&] { return ended(office); }, std::chrono::seconds(10));
    }
    std::error_code ec;
    std::filesystem::remove_all(profile, ec);
}
