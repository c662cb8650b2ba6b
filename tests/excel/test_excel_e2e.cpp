// End to end with the recording workbook: logged in to the demo market,
// "Export to Excel" links a market watch's list, moving quotes reach its
// cells, a second list becomes a second sheet, and closing the book resets
// the link so the views stop writing.
#include "StartupFixture.h"

// The server headers come before any Qt header: a member of the feed tables
// is named like one of Qt's keyword macros.
#include "server/FeedState.h"
#include "server/SecurityTable.h"
#include "watch/base/WatchlistTable.h"

#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"
#include "frame/CMainFrame.h"
#include "frame/WatchOpeners.h"
#include "frame/controls/CMyGridCtrl.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"
#include "watch/excel/CExportExcel.h"
#include "watch/excel/ExcelLink.h"
#include "watch/excel/ExcelSheetWriters.h"
#include "watch/excel/RecordingSheetLink.h"

#include "ui/form_driver.h"
#include "ui/modal_host.h"
#include "ui/ui_thread.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QTreeView>

namespace test_excel_e2e {

namespace {

class ExcelEndToEnd : public startuptest::StartupFixture {};

constexpr int kExportToExcel = 33315;

int colouredTicks(const RecordingSheetLink& book, const std::string& sheet)
{
    int n = 0;
    for (const auto& s : book.sheets())
        if (s.name == sheet)
            for (const auto& [at, cell] : s.cells)
                n += cell.style.interior == kExcelRoseBack || cell.style.interior == kExcelFellBack;
    return n;
}

} // namespace

TEST_F(ExcelEndToEnd, ExportedListsFollowTheMarketUntilTheBookCloses)
{
    auto book = std::make_shared<RecordingSheetLink>();
    CMSExcel::installProgram([book]() -> std::unique_ptr<SheetLink> { return std::make_unique<RecordingSheetLinkRef>(book); },
                             [](std::function<void()> task) {
                                 QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
                             });
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(startLoggedIn(app, feed));
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return FeedState::instance().slot() >= 0; }, 10000));
    ASSERT_TRUE(broker->waitForFeedClient("U1", 5000));

    WatchCommands::OnFileNew();
    WatchCommands::OnFileNew();
    ASSERT_EQ(CVortanexView::openViews().size(), 2u);
    CVortanexView* first = CVortanexView::openViews()[0];
    CVortanexView* second = CVortanexView::openViews()[1];
    const std::string firstSheet = first->list().name;
    const std::string secondSheet = second->list().name;

    // The first list asks for a workbook: a new one.
    int dialogs = 0;
    modalHost.script("CExportExcel", [&](ui::FormDriver& d) {
        ++dialogs;
        d.click(CExportExcel::kNewExcel);
    });
    prompter.answerWhen("Watchlist added successfully", ui::Ok);
    first->OnCommand(kExportToExcel);
    EXPECT_EQ(dialogs, 1);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return first->excelCellsLive(); }, 10000));
    EXPECT_EQ(book->readCell(firstSheet, 1, 1).text, "Security");
    EXPECT_FALSE(book->readCell(firstSheet, 2, 1).text.empty());
    EXPECT_FALSE(book->sheetVisible("Vortanex"));

    // The market moves: rose and fell cells arrive in the sheet.
    for (int step = 0; step < 40 && colouredTicks(*book, firstSheet) == 0; ++step) {
        broker->marketStep();
        ui::UiThread::pumpUntil([] { return false; }, 150);
    }
    EXPECT_GT(colouredTicks(*book, firstSheet), 0);

    // A second list is a second sheet of the same book, without the dialog.
    second->OnCommand(kExportToExcel);
    EXPECT_EQ(dialogs, 1);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return second->excelCellsLive(); }, 10000));
    std::vector<std::string> names;
    for (const auto& s : book->sheets())
        names.push_back(s.name);
    EXPECT_EQ(names, (std::vector<std::string>{secondSheet, firstSheet, "Vortanex"}));
    EXPECT_EQ(CMSExcel::program().linkedCount(), 2);

    // The user closes the book: the link resets and the views stop writing.
    book->disconnect();
    EXPECT_TRUE(ui::UiThread::pumpUntil([&] { return !first->excelCellsLive() && !second->excelCellsLive(); }, 5000));
    EXPECT_EQ(CMSExcel::program().linkedCount(), 0);
    // The link lets go of the closed book on its writer thread (the book's
    // last call); from then on nothing more goes to it.
    CMSExcel::program().waitIdle();
    const size_t calls = book->calls().size();
    for (int step = 0; step < 5; ++step) {
        broker->marketStep();
        ui::UiThread::pumpUntil([] { return false; }, 150);
    }
    CMSExcel::program().waitIdle();
    EXPECT_EQ(book->calls().size(), calls);

    // A list switch and a close each lower the count (a fresh link, one view).
    first->OnCommand(kExportToExcel);
    EXPECT_EQ(CMSExcel::program().linkedCount(), 1);
    first->SelectWatchlist(second->watchIndex(), 1);
    EXPECT_EQ(CMSExcel::program().linkedCount(), 0);
    EXPECT_FALSE(first->excelCellsLive());
    first->OnCommand(kExportToExcel);
    EXPECT_EQ(CMSExcel::program().linkedCount(), 1);
    first->parentWidget()->close();
    EXPECT_TRUE(ui::UiThread::pumpUntil([&] { return CMSExcel::program().linkedCount() == 0; }, 5000));

    prompter.answerWhen("Do you want to Quit from this Application", 6);
    app.mainFrame()->close();
    app.ExitInstance();
    CMSExcel::letGoProgram();
}

// The sheet lists the rows in the order the market watch shows them: a
// scrip inserted under the first row is the sheet's second row at the
// export, and one inserted into the linked list takes its place there too.
TEST_F(ExcelEndToEnd, TheSheetKeepsTheWatchsRowOrder)
{
    auto book = std::make_shared<RecordingSheetLink>();
    CMSExcel::installProgram([book]() -> std::unique_ptr<SheetLink> { return std::make_unique<RecordingSheetLinkRef>(book); },
                             [](std::function<void()> task) {
                                 QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
                             });
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(startLoggedIn(app, feed));
    WatchCommands::OnFileNew();
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    CVortanexView* view = CVortanexView::openViews()[0];
    const std::string sheet = view->list().name;
    const auto gridKeys = [&] {
        std::vector<std::string> out;
        for (int rowId : view->rowsInGridOrder(false))
            out.push_back(view->grid()->model().text(rowId, 0).toStdString());
        return out;
    };
    const auto sheetKeys = [&] {
        std::vector<std::string> out;
        for (int row = 2; !book->readCell(sheet, row, 1).text.empty(); ++row)
            out.push_back(book->readCell(sheet, row, 1).text);
        return out;
    };
    // Equities of the master the list does not hold yet.
    const auto table = SecurityTable::current();
    ASSERT_TRUE(table);
    std::vector<int> fresh;
    const std::vector<std::string> shown = gridKeys();
    for (int i = 0; i < table->count() && fresh.size() < 2; ++i)
        if (table->row(i).inst_type.view() == "EQ" &&
            std::find(shown.begin(), shown.end(), std::string(table->row(i).displayKey().view())) == shown.end())
            fresh.push_back(i);
    ASSERT_EQ(fresh.size(), 2u);
    const auto insertUnder = [&](int gridPlace, int security) {
        QTreeView* tree = view->grid()->tree();
        tree->setCurrentIndex(tree->model()->index(gridPlace, 0));
        view->OnAddscrip(1, 1, security, -10);
    };

    insertUnder(0, fresh[0]);
    ASSERT_EQ(gridKeys().at(1), std::string(table->row(fresh[0]).displayKey().view()));
    modalHost.script("CExportExcel", [&](ui::FormDriver& d) { d.click(CExportExcel::kNewExcel); });
    prompter.answerWhen("Watchlist added successfully", ui::Ok);
    view->OnCommand(kExportToExcel);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return view->excelCellsLive(); }, 10000));
    EXPECT_EQ(sheetKeys(), gridKeys());

    insertUnder(2, fresh[1]);
    ASSERT_EQ(gridKeys().at(3), std::string(table->row(fresh[1]).displayKey().view()));
    watchOpeners().addExcelScripts(view);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return view->excelCellsLive(); }, 10000));
    CMSExcel::program().waitIdle();
    EXPECT_EQ(sheetKeys(), gridKeys());

    prompter.answerWhen("Do you want to Quit from this Application", 6);
    app.mainFrame()->close();
    app.ExitInstance();
    CMSExcel::letGoProgram();
}

TEST_F(ExcelEndToEnd, DialogTakesAFileOnlyThroughBrowse)
{
    const auto file = root / "prices.ods";
    std::FILE* f = std::fopen(file.string().c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    std::string offered = (root / "missing.xlsx").string();
    CExportExcel::fileChooser() = [&](QWidget*, const std::string& filter) {
        EXPECT_NE(filter.find("*.ods"), std::string::npos);
        return offered;
    };
    modalHost.script("CExportExcel", [&](ui::FormDriver& d) {
        CExportExcel& form = static_cast<CExportExcel&>(d.form());
        EXPECT_FALSE(form.isEnabled(CExportExcel::kSelect));
        EXPECT_FALSE(form.isEnabled(CExportExcel::kPath));
        prompter.answerWhen("File not found in location", ui::Ok);
        d.click(CExportExcel::kBrowse);
        EXPECT_FALSE(form.isEnabled(CExportExcel::kSelect));
        offered = file.string();
        d.click(CExportExcel::kBrowse);
        EXPECT_TRUE(form.isEnabled(CExportExcel::kSelect));
        d.click(CExportExcel::kSelect);
    });
    CExportExcel dialog;
    EXPECT_EQ(ui::modalHost().run(dialog), 1);
    EXPECT_EQ(dialog.result(), "");
    EXPECT_EQ(dialog.path(), file.string());
    EXPECT_EQ(prompter.asks().back().text, "File not found in location");
    EXPECT_EQ(prompter.asks().back().caption, "Vortanex");
    CExportExcel::fileChooser() = nullptr;
}

} // namespace test_excel_e2e
