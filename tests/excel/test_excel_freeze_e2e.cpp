// A hung spreadsheet never holds the UI thread: with a linked list whose book
// stops answering in the middle of a write, switching the view's list and
// closing it return at once (a UI-thread timer keeps beating), and the
// program's exit interrupts the book and ends promptly.
#include "StartupFixture.h"

// The server headers come before any Qt header: a member of the feed tables
// is named like one of Qt's keyword macros.
#include "server/FeedState.h"
#include "watch/base/WatchlistTable.h"

#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"
#include "frame/CMainFrame.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"
#include "watch/excel/CExportExcel.h"
#include "watch/excel/ExcelLink.h"
#include "watch/excel/RecordingSheetLink.h"

#include "testkit/ui_heartbeat.h"
#include "ui/form_driver.h"
#include "ui/modal_host.h"
#include "ui/ui_thread.h"

#include <QApplication>

#include <chrono>

namespace test_excel_freeze_e2e {

namespace {

class ExcelFreezeE2E : public startuptest::StartupFixture {};

constexpr int kExportToExcel = 33315;

TEST_F(ExcelFreezeE2E, AHungBookNeverHoldsTheUiThreadAndTheExitEndsPromptly)
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
    WatchCommands::OnFileNew();
    WatchCommands::OnFileNew();
    ASSERT_EQ(CVortanexView::openViews().size(), 2u);
    CVortanexView* view = CVortanexView::openViews()[0];
    CVortanexView* other = CVortanexView::openViews()[1];
    modalHost.script("CExportExcel", [&](ui::FormDriver& d) { d.click(CExportExcel::kNewExcel); });
    prompter.answerWhen("Watchlist added successfully", ui::Ok);
    // The book hangs in the middle of the list's first pass.
    book->writeDelay = std::chrono::seconds(6);
    view->OnCommand(kExportToExcel);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return book->callCount("cells") > 0; }, 10000)) << "a write is under way";

    // Switching the list and closing the window do not wait for the book.
    testkit::UiHeartbeat heartbeat;
    view->SelectWatchlist(other->watchIndex(), 1);
    EXPECT_EQ(CMSExcel::program().linkedCount(), 0);
    view->parentWidget()->close();
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return CVortanexView::openViews().size() == 1; }, 5000));
    ui::UiThread::pumpUntil([] { return false; }, 200);
    EXPECT_LT(heartbeat.longestGapMs(), 1000);

    // The exit lets the hung book go within five seconds.
    prompter.answerWhen("Do you want to Quit from this Application", 6);
    app.mainFrame()->close();
    app.ExitInstance();
    const auto start = std::chrono::steady_clock::now();
    CMSExcel::letGoProgram();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

} // namespace

} // namespace test_excel_freeze_e2e
