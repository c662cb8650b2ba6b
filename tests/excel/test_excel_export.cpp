// "Export to Excel" over the recording workbook: sheet names, the limits,
// who sees the dialog, and failed starts that reset the link.
#include "watch/excel/ExcelExport.h"
#include "watch/excel/RecordingSheetLink.h"

#include <gtest/gtest.h>

namespace {

struct ExportFixture : ::testing::Test {
    RecordingSheetLink* book = nullptr;
    bool failOpen = false;
    std::unique_ptr<CMSExcel> link = std::make_unique<CMSExcel>([this]() -> std::unique_ptr<SheetLink> {
        auto made = std::make_unique<RecordingSheetLink>();
        made->failOpen = failOpen;
        book = made.get();
        ++starts;
        return made;
    });
    int starts = 0;
    int dialogs = 0;
    bool chooseNew = true;
    std::vector<std::string> messages;
    ExcelExportUi ui{[this](bool& newBook, std::string& path) {
                         ++dialogs;
                         newBook = chooseNew;
                         path = "/data/prices.xlsx";
                         return true;
                     },
                     [this](const std::string& m) { messages.push_back(m); }, {}};

    ExcelListInfo list(const std::string& name, int rows = 3)
    {
        ExcelListInfo l;
        l.name = name;
        l.shownRows = rows;
        l.rows.resize(static_cast<size_t>(rows));
        return l;
    }
    ExcelExportResult exportList(const ExcelTargetPtr& t, const ExcelListInfo& l)
    {
        auto r = ExportToExcel(*link, t, l, ui);
        link->waitIdle();
        return r;
    }
};

} // namespace

TEST(ExcelSheetName, NamesByTypeAndGroup)
{
    const std::string underlying25 = "ABCDEFGHIJKLMNOPQRSTUVWXY";
    struct Case {
        int type, group;
        std::string name, underlying, symbol, expected;
    } cases[] = {
        {0, 0, "A/B list", "", "", "A B list"},
        {0, 0, std::string(40, 'n'), "", "", std::string(29, 'n')},
        {2, 0, "chain", underlying25, "", "Derv Chain - ABCDEFGHIJKLMNOPQRST"},
        {3, 0, "fut", "", "NIFTY/X", "Future Chain - NIFTY X"},
        {0, 3, "ACC/B", "", "", "Future Stock- ACC B"},
        {0, 5, "USDINR", "", "", "Future Currency- USDINR"},
        {0, 7, std::string(35, 'm'), "", "", std::string(29, 'm')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExcelSheetNameFor(c.type, c.group, c.name, c.underlying, c.symbol), c.expected) << c.name;
}

TEST_F(ExportFixture, ChainNameIsCutTo31AndKeptUnique)
{
    auto a = std::make_shared<ExcelSheetTarget>();
    ExcelListInfo l = list("chain");
    l.type = 2;
    l.underlying = "ABCDEFGHIJKLMNOPQRSTUVWXY";
    ASSERT_EQ(exportList(a, l), ExcelExportResult::Linked);
    EXPECT_EQ(a->sheetName, "Derv Chain - ABCDEFGHIJKLMNOPQR");
    EXPECT_EQ(a->sheetName.size(), 31u);
    auto b = std::make_shared<ExcelSheetTarget>();
    l.underlying = "ABCDEFGHIJKLMNOPQRSZZZ";
    ASSERT_EQ(ExportToExcel(*link, b, l, ui, {a->sheetName}), ExcelExportResult::Linked);
    EXPECT_EQ(b->sheetName, "Derv Chain - ABCDEFGHIJKLMNOP~2");
}

TEST_F(ExportFixture, TwoListsWhoseNamesShareTheirFirst29CharactersGetTwoSheets)
{
    const std::string common(29, 'w');
    auto a = std::make_shared<ExcelSheetTarget>();
    ASSERT_EQ(exportList(a, list(common + " banks")), ExcelExportResult::Linked);
    EXPECT_EQ(a->sheetName, common);
    auto b = std::make_shared<ExcelSheetTarget>();
    ASSERT_EQ(ExportToExcel(*link, b, list(common + " autos"), ui, {a->sheetName}), ExcelExportResult::Linked);
    EXPECT_EQ(b->sheetName, common + "~2");
    EXPECT_EQ(b->sheetName.size(), 31u);
    auto c = std::make_shared<ExcelSheetTarget>();
    ASSERT_EQ(ExportToExcel(*link, c, list(common + " metal"), ui, {a->sheetName, b->sheetName}),
              ExcelExportResult::Linked);
    EXPECT_EQ(c->sheetName, common + "~3");
}

TEST_F(ExportFixture, ThreeListsShareOneBookAndTheFourthIsRefused)
{
    std::vector<ExcelTargetPtr> views;
    for (int i = 0; i < 4; ++i)
        views.push_back(std::make_shared<ExcelSheetTarget>());
    EXPECT_EQ(exportList(views[0], list("One")), ExcelExportResult::Linked);
    EXPECT_EQ(messages.back(), "Watchlist added successfully in [Book1]");
    EXPECT_EQ(exportList(views[1], list("Two")), ExcelExportResult::Linked);
    EXPECT_EQ(exportList(views[2], list("Three")), ExcelExportResult::Linked);
    EXPECT_EQ(dialogs, 1) << "only the first list asks for a workbook";
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(link->linkedCount(), 3);
    EXPECT_EQ(exportList(views[3], list("Four")), ExcelExportResult::TooMany);
    EXPECT_EQ(messages.back(), "Only 3 WatchList are allowed to open in Excel");
    EXPECT_EQ(exportList(views[3], list("Two")), ExcelExportResult::TooMany);
    EXPECT_EQ(messages.back(), "WatchList already Present");
    std::vector<std::string> sheets;
    for (const auto& s : book->sheets())
        sheets.push_back(s.name);
    EXPECT_EQ(sheets, (std::vector<std::string>{"Three", "Two", "One", "Vortanex"}));
    for (const auto& v : views)
        EXPECT_EQ(v->cellsLive.load(), v != views[3]);
    // A view closed: the count follows; presenting a list again counts once.
    link->unlinkTarget(views[1]);
    EXPECT_EQ(link->linkedCount(), 2);
    EXPECT_EQ(exportList(views[0], list("One")), ExcelExportResult::AlreadyPresent);
    EXPECT_EQ(link->linkedCount(), 2);
}

TEST_F(ExportFixture, RowLimitCountsShownRowsBeforeTheLinkIsTouched)
{
    auto t = std::make_shared<ExcelSheetTarget>();
    EXPECT_EQ(exportList(t, list("Big", 101)), ExcelExportResult::TooManyRows);
    EXPECT_EQ(messages.back(), "Script size is greater than 100 not allowed in Excel");
    EXPECT_EQ(starts, 0);
    EXPECT_EQ(exportList(t, list("Big", 100)), ExcelExportResult::Linked);
    EXPECT_EQ(book->lastUsedRow("Big"), 101);
}

TEST_F(ExportFixture, FailedStartsShowTheErrorAndReset)
{
    auto t = std::make_shared<ExcelSheetTarget>();
    chooseNew = false;
    failOpen = true;
    EXPECT_EQ(exportList(t, list("L")), ExcelExportResult::StartFailed);
    EXPECT_EQ(messages.back(), "Failed to open /data/prices.xlsx");
    EXPECT_FALSE(link->linkOpen());
    EXPECT_EQ(link->linkedCount(), 0);
    EXPECT_EQ(exportList(t, list("Bad:name")), ExcelExportResult::StartFailed) << "the dialog comes again";
    EXPECT_EQ(dialogs, 2);
    chooseNew = true;
    EXPECT_EQ(exportList(t, list("Bad:name")), ExcelExportResult::StartFailed);
    EXPECT_EQ(messages.back(), "Failed To Connect Excel - Sheet name is not allowed");
    EXPECT_FALSE(link->linkOpen());
    // An opened file with the list's sheet: cleared and rewritten.
    failOpen = false;
    chooseNew = false;
    EXPECT_EQ(exportList(t, list("L")), ExcelExportResult::Linked);
    EXPECT_TRUE(t->openedExisting);
    EXPECT_EQ(book->callCount("delete"), 0) << "nothing to clear in a fresh sheet";
    EXPECT_TRUE(t->cellsLive);
}

TEST_F(ExportFixture, AddSheetRefusedResetsTheLink)
{
    auto a = std::make_shared<ExcelSheetTarget>();
    auto b = std::make_shared<ExcelSheetTarget>();
    ASSERT_EQ(exportList(a, list("One")), ExcelExportResult::Linked);
    EXPECT_EQ(exportList(b, list("Bad?")), ExcelExportResult::AddFailed);
    EXPECT_EQ(messages.back(), "Error in Inserting Watchlist");
    EXPECT_FALSE(link->linkOpen());
    EXPECT_EQ(link->linkedCount(), 0);
    EXPECT_FALSE(a->cellsLive);
}
