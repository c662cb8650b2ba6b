// The spreadsheet link and its writers over the recording workbook: start-up
// modes and refused names, the sheet layout and value texts, ticks, greying,
// the save, disconnects and views that go away while their pass runs.
#include "watch/excel/ExcelLink.h"
#include "watch/excel/ExcelSheetWriters.h"
#include "watch/excel/RecordingSheetLink.h"
#include "watch/base/WatchlistTable.h"
#include "server/SecurityTable.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

struct LinkFixture : ::testing::Test {
    std::shared_ptr<RecordingSheetLink> shared;
    RecordingSheetLink* book = nullptr;
    std::unique_ptr<CMSExcel> link;

    void SetUp() override
    {
        link.reset();
        shared = std::make_shared<RecordingSheetLink>();
        book = shared.get();
        link = std::make_unique<CMSExcel>(
            [b = shared]() -> std::unique_ptr<SheetLink> { return std::make_unique<RecordingSheetLinkRef>(b); });
    }
    ExcelTargetPtr target(const std::string& sheet)
    {
        auto t = std::make_shared<ExcelSheetTarget>();
        t->sheetName = sheet;
        link->linkTarget(t);
        return t;
    }
    int start(const std::string& sheet, int mode = 0, const std::string& path = {})
    {
        std::string error;
        const int r = link->Initialization(sheet, error, path, mode);
        lastError = error;
        return r;
    }
    std::string lastError;
};

SecurityRecord security(const char* key, const char* exch, bool currency = false)
{
    SecurityRecord s;
    s.setDisplayKey(key);
    s.market_exchange.assign(exch);
    s.currency = currency;
    return s;
}

// A published one-security table whose quote the test sets.
struct OneSecurity {
    std::shared_ptr<SecurityTable> table = std::make_shared<SecurityTable>();
    explicit OneSecurity(SecurityRecord s)
    {
        const int currency = s.currency;
        SecurityRows rows;
        rows.push_back(std::move(s));
        table->build(std::move(rows), SecurityTable::Build::Full, true);
        table->row(0).currency = currency;
        SecurityTable::publish(table);
    }
    ~OneSecurity() { SecurityTable::publish(nullptr); }
    void set(const QuoteData& q) { table->row(0).updateQuote([&](QuoteData& d) { d = q; }); }
};

ExcelRow row(const char* key)
{
    ExcelRow r;
    r.empty = false;
    r.key = key;
    r.exchange = "NSE";
    for (int k = 0; k < 23; ++k)
        r.texts[static_cast<size_t>(k)] = std::to_string(k);
    return r;
}

std::vector<std::string> names(const RecordingSheetLink& b)
{
    std::vector<std::string> out;
    for (const auto& s : b.sheets())
        out.push_back(s.name);
    return out;
}

} // namespace

TEST_F(LinkFixture, NewBookPutsTheListFirstAndHidesTheProductSheet)
{
    ASSERT_EQ(start("NIFTY list"), 1);
    EXPECT_EQ(names(*book), (std::vector<std::string>{"NIFTY list", "Vortanex"}));
    EXPECT_TRUE(book->sheetVisible("NIFTY list"));
    EXPECT_FALSE(book->sheetVisible("Vortanex"));
    EXPECT_TRUE(link->linkOpen());
    EXPECT_EQ(link->GetActiveWorkbookName(), "Book1");
    EXPECT_TRUE(link->IsSheetLinked("NIFTY list"));
    EXPECT_FALSE(link->IsSheetLinked("nifty list")) << "the compare is case-sensitive";
    EXPECT_EQ(link->AddSheet("Second"), 1);
    EXPECT_EQ(link->AddSheet("SECOND"), -1) << "names are unique regardless of case";
    EXPECT_EQ(names(*book), (std::vector<std::string>{"Second", "NIFTY list", "Vortanex"}));
}

TEST_F(LinkFixture, OpenedBookWithTheSheetLinksTheExistingOne)
{
    book->existingSheets = {"Prices", "Mine"};
    ASSERT_EQ(start("Mine", 1, "/home/u/book.ods"), 1);
    EXPECT_EQ(names(*book), (std::vector<std::string>{"Prices", "Mine"}));
    EXPECT_EQ(link->GetActiveWorkbookName(), "book.ods");
    EXPECT_TRUE(link->IsSheetLinked("Mine"));
}

TEST_F(LinkFixture, RefusedAbsentAndFailedStartsReset)
{
    struct Case {
        const char* what;
        std::string sheet;
        int mode;
        std::function<void(RecordingSheetLink&)> fault;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"refused by the program", "Bad", 0, [](RecordingSheetLink& b) { b.refusedNames = {"Bad"}; },
         kExcelNameRefusedText},
        {"too long", std::string(32, 'x'), 0, {}, kExcelNameRefusedText},
        {"illegal character", "A[1]", 0, {}, kExcelNameRefusedText},
        {"case clash in an opened book", "MINE", 1, [](RecordingSheetLink& b) { b.existingSheets = {"Mine"}; },
         kExcelNameRefusedText},
        {"absent", "List", 0, [](RecordingSheetLink& b) { b.absent = true; }, kExcelAbsentText},
        {"failed open", "List", 1, [](RecordingSheetLink& b) { b.failOpen = true; }, "Failed to open /x.xlsx"},
    };
    for (const auto& c : cases) {
        SetUp();
        if (c.fault)
            c.fault(*book);
        EXPECT_EQ(start(c.sheet, c.mode, "/x.xlsx"), -1) << c.what;
        EXPECT_EQ(lastError, c.error) << c.what;
        EXPECT_FALSE(link->linkOpen()) << c.what;
    }
    // No backend at all.
    CMSExcel none(nullptr);
    std::string error;
    EXPECT_EQ(none.Initialization("List", error, "", 0), -1);
    EXPECT_EQ(error, kExcelAbsentText);
}

TEST_F(LinkFixture, PassWritesRowsByPlaceHeadersBoldAndGreysEmptyRows)
{
    ASSERT_EQ(start("L"), 1);
    auto t = target("L");
    WriteExcelHeaders(*link, t);
    std::vector<ExcelRow> rows = {row("AAA"), ExcelRow{}, row("CCC")};
    UpdateDataExcel(*link, t, rows);
    link->waitIdle();
    EXPECT_EQ(book->readCell("L", 1, 1).text, "Security");
    EXPECT_EQ(book->readCell("L", 1, 2).text, "ME");
    EXPECT_EQ(book->readCell("L", 1, 25).text, ColumnKindCaption(22));
    EXPECT_TRUE(book->readCell("L", 1, 25).style.bold);
    EXPECT_EQ(book->readCell("L", 2, 1).text, "AAA");
    EXPECT_EQ(book->readCell("L", 4, 1).text, "CCC");
    EXPECT_EQ(book->readCell("L", 4, 25).text, "22");
    EXPECT_EQ(book->readCell("L", 3, 1).text, "") << "an empty row is not written";
    for (int col : {1, 23, 24, 25})
        EXPECT_EQ(book->readCell("L", 3, col).style.interior, kExcelGrey) << col;
    EXPECT_EQ(book->readCell("L", 3, 25).pattern, 1);
    EXPECT_TRUE(t->cellsLive);
    EXPECT_EQ(book->callCount("cells L"), 3) << "one block per header and per written row";
}

TEST(ExcelValues, TextsOfThePassAndOfTicks)
{
    SecurityRecord fx = security("USDINR", "CN", true);
    SecurityRecord eq = security("ACC", "XX");
    QuoteData q;
    q.quote[kBidQty] = 1500;
    q.quote[kLastPrc] = 12345;
    EXPECT_EQ(ExcelValueText(kBidQty, fx, q, false), "1500.0000") << "currency quantity in a pass";
    EXPECT_EQ(ExcelValueText(kBidQty, fx, q, true), "1500.00") << "after a tick";
    EXPECT_EQ(ExcelValueText(kLastPrc, fx, q, true), "123.4500");
    EXPECT_EQ(ExcelValueText(kLastPrc, eq, q, false), "123.45");
    EXPECT_EQ(ExcelValueText(kLastTrdTime, eq, q, false), "0");
    EXPECT_EQ(ExcelValueText(kNetChg, eq, q, false), "0.00");
    q.quote[kNetChg] = -250;
    EXPECT_EQ(ExcelValueText(kNetChg, eq, q, false), "-2.50");
    q.year_high = 456.5;
    EXPECT_EQ(ExcelValueText(kWeek52High, fx, q, false), "456.50");
    EXPECT_EQ(ExcelExchangeName("NC"), "NCDEX-CM");
    EXPECT_EQ(ExcelExchangeName("CB"), "CB") << "an unmapped code is written as is";
    EXPECT_EQ(ExcelRowOf(eq, q).exchange, "XX");
}

TEST_F(LinkFixture, TicksWriteOnlyRoseAndFellCellsWithTheirColours)
{
    ASSERT_EQ(start("L"), 1);
    auto t = target("L");
    OneSecurity fx(security("USDINR", "CN", true));
    QuoteData q;
    q.quote[kBidQty] = 7;
    q.tick_code[kBidQty] = kTickRose;
    q.quote[kLastPrc] = 100;
    q.tick_code[kLastPrc] = kTickFell;
    q.tick_code[kAskPrc] = kTickSameOnce;
    q.tick_code[kOpen] = kTickSameAgain;
    fx.set(q);
    UpdateExcelTick(*link, t, 0, 0);
    link->waitIdle();
    EXPECT_EQ(book->cellWrites(), 0) << "cells not live yet";
    t->cellsLive = true;
    UpdateExcelTick(*link, t, 0, 3);
    link->waitIdle();
    EXPECT_EQ(book->cellWrites(), 2);
    const auto rose = book->readCell("L", 5, kBidQty + 3);
    EXPECT_EQ(rose.text, "7.00");
    EXPECT_EQ(rose.style, (SheetStyle{kExcelRoseBack, kExcelWhite, false}));
    const auto fell = book->readCell("L", 5, kLastPrc + 3);
    EXPECT_EQ(fell.text, "1.0000");
    EXPECT_EQ(fell.style, (SheetStyle{kExcelFellBack, kExcelWhite, false}));
}

TEST_F(LinkFixture, PendingTickValuesMergePerCellWhileTheBookIsSlow)
{
    ASSERT_EQ(start("L"), 1);
    auto t = target("L");
    t->cellsLive = true;
    book->writeDelay = std::chrono::milliseconds(50);
    OneSecurity s(security("A", "NN"));
    QuoteData q;
    q.tick_code[kLastPrc] = kTickRose;
    for (int i = 0; i < 2000; ++i) {
        q.quote[kLastPrc] = 100 + i;
        s.set(q);
        UpdateExcelTick(*link, t, 0, 0);
        EXPECT_LE(link->pendingCells(), size_t(kColumnKinds)) << "one row waits at most once";
    }
    link->waitIdle();
    EXPECT_EQ(book->readCell("L", 2, kLastPrc + 3).text, "20.99") << "the latest value wins";
    EXPECT_LT(book->callCount("cells"), 10);
}

TEST_F(LinkFixture, RemovedRowIsGreyedAndTheSaveClearsThroughTheLastUsedRow)
{
    ASSERT_EQ(start("L"), 1);
    auto t = target("L");
    std::vector<ExcelRow> rows(150, row("X"));
    UpdateDataExcel(*link, t, rows);
    DeleteExcelRows(*link, t, 3);
    link->waitIdle();
    EXPECT_EQ(book->readCell("L", 5, 1).style.interior, kExcelGrey);
    EXPECT_EQ(book->readCell("L", 5, 25).style.interior, kExcelGrey);
    EXPECT_EQ(book->readCell("L", 5, 1).text, "X") << "the texts stay";
    SaveExcelWatchlist(*link, t, {row("Y")});
    link->waitIdle();
    EXPECT_EQ(book->lastUsedRow("L"), 2);
    EXPECT_EQ(book->readCell("L", 2, 1).text, "Y");
}

TEST_F(LinkFixture, RewriteRefusesMoreThanAHundredShownRows)
{
    ASSERT_EQ(start("L"), 1);
    auto t = target("L");
    t->cellsLive = true;
    std::string told;
    EXPECT_FALSE(AddExcelScripts(*link, t, std::vector<ExcelRow>(101, row("X")), 101,
                                 [&](const std::string& m) { told = m; }));
    EXPECT_EQ(told, "Script size greater than 100 is not allowed in Excel");
    link->waitIdle();
    EXPECT_FALSE(t->cellsLive);
    EXPECT_EQ(book->cellWrites(), 0);
    std::vector<ExcelRow> rows = {row("A"), ExcelRow{}, row("C")};
    EXPECT_TRUE(AddExcelScripts(*link, t, rows, 2, {}));
    link->waitIdle();
    EXPECT_TRUE(t->cellsLive);
    EXPECT_EQ(book->readCell("L", 4, 1).text, "C");
    EXPECT_EQ(book->readCell("L", 3, 1).text, "");
}

TEST_F(LinkFixture, DisconnectMidPassStopsEveryWriteAndResetsTheLink)
{
    ASSERT_EQ(start("L"), 1);
    auto a = target("L");
    auto b = target("M");
    EXPECT_EQ(link->linkedCount(), 2);
    bool noticed = false;
    bool aLive = true;
    a->onLive = [&](bool on) { aLive = on; };
    link->setDisconnectNotice([&] { noticed = true; });
    book->disconnectAfterWrites = 5;
    UpdateDataExcel(*link, a, std::vector<ExcelRow>(50, row("X")));
    link->waitIdle();
    EXPECT_EQ(book->callCount("cells"), 6) << "the write that met the disconnect is the last";
    EXPECT_EQ(link->linkedCount(), 0);
    EXPECT_FALSE(link->linkOpen());
    EXPECT_FALSE(a->cellsLive);
    EXPECT_FALSE(aLive);
    EXPECT_TRUE(noticed);
    const int calls = static_cast<int>(book->calls().size());
    UpdateDataExcel(*link, b, {row("Y")});
    link->putCells(b, {SheetCell{2, 1, "Z", false, {}}});
    link->waitIdle();
    EXPECT_EQ(static_cast<int>(book->calls().size()), calls);
}

TEST_F(LinkFixture, UnlinkStopsTheRunningPassWithoutWaitingAndCountsFollowTheViews)
{
    ASSERT_EQ(start("L"), 1);
    book->writeDelay = std::chrono::milliseconds(2);
    auto t = target("L");
    auto u = target("M");
    auto rows = std::make_unique<std::vector<ExcelRow>>(100, row("X"));
    UpdateDataExcel(*link, t, *rows);
    rows.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    link->unlinkTarget(t);
    const int writes = book->callCount("cells");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // The unlink does not wait: the one write under way may still land.
    EXPECT_LE(book->callCount("cells"), writes + 1) << "at most the running write after the unlink returned";
    EXPECT_LT(writes, 100);
    EXPECT_EQ(link->linkedCount(), 1);
    link->unlinkTarget(u);
    EXPECT_EQ(link->linkedCount(), 0);
}
