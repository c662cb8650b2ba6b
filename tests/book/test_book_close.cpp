// Closing the trade book and the trailing stop-loss book while the broker
// holds their report back: the close asks first; No keeps the book and its
// download, Yes closes it at once and the late reply is dropped. A 20 ms
// UI-thread timer runs throughout: a close that waited for the server would
// show as a gap as long as the broker's delay.
#include "OrderFixture.h"

// The server headers come before any Qt header: a member of the feed tables
// is named like one of Qt's keyword macros.
#include "server/FeedState.h"

#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"
#include "orders/CTradeView.h"
#include "orders/CTsloOrderView.h"
#include "testkit/ui_heartbeat.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace test_book_close {

namespace {

constexpr int kHeldMs = 2000;
constexpr qint64 kStallBoundMs = 1000;

class BookClose : public ordertest::OrderFixture {
protected:
    void SetUp() override
    {
        OrderFixture::SetUp();
        CopyFixedText(pv_user_info.session_id, "SESS01");
    }
    void TearDown() override
    {
        delete g_pTradeView;
        delete CTsloOrderView::Instance();
        EXPECT_TRUE(WaitTradeReportDownloads(20000));
        pumpUntil([] { return false; }, 50);
        SetLoggedIn(false);
        OrderFixture::TearDown();
    }
    int asksOf(const std::string& text) const
    {
        int n = 0;
        for (const testkit::AskRecord& a : prompter.asks())
            n += a.text == text;
        return n;
    }
};

struct Book {
    const char* name;
    const char* reportKey;
    const char* question;
    std::function<QWidget*()> open;
    std::function<QWidget*()> instance;
};

TEST_F(BookClose, ABookClosedWhileItsReportIsHeldAsksThenClosesAtOnceAndDropsTheReply)
{
    const Book books[] = {
        {"trade book", "ReportData=610",
         "Trade data is currently being downloaded .. do you still want to close the Trade report?",
         [] { return static_cast<QWidget*>(OpenTradeBook()); }, [] { return static_cast<QWidget*>(g_pTradeView); }},
        {"TSLO book", "ReportData=640",
         "TSLO Order data is currently being downloaded .. do you still want to close the TSLO Order report?",
         [] { return static_cast<QWidget*>(OpenTsloOrderBook()); },
         [] { return static_cast<QWidget*>(CTsloOrderView::Instance()); }},
    };
    for (const Book& b : books) {
        SCOPED_TRACE(b.name);
        tb::HttpFault held;
        held.delayMs = kHeldMs;
        broker->armKeyFault(b.reportKey, held);
        broker->clearRequests();
        QWidget* view = b.open();
        ASSERT_NE(view, nullptr);
        ASSERT_TRUE(broker->waitForKey(b.reportKey, 10000));
        testkit::UiHeartbeat beat;

        // No: the book stays with its download.
        prompter.queueAnswer(7);
        EXPECT_FALSE(view->close());
        EXPECT_EQ(asksOf(b.question), 1);
        EXPECT_EQ(b.instance(), view);

        // Yes: it goes now; the held reply, when it comes, finds nobody.
        prompter.queueAnswer(6);
        EXPECT_TRUE(view->close());
        EXPECT_EQ(asksOf(b.question), 2);
        EXPECT_TRUE(pumpUntil([&] { return b.instance() == nullptr; }, 10000));
        const size_t asked = prompter.askCount();
        pumpUntil([] { return false; }, 300);
        EXPECT_EQ(prompter.askCount(), asked); // no box of a late reply
        EXPECT_LT(beat.longestGapMs(), kStallBoundMs);
    }
}

TEST_F(BookClose, ABookWhoseReportIsInClosesWithoutAQuestion)
{
    broker->setReply("ReportData=640", "641|1205|No data||0");
    CTsloOrderView* tslo = OpenTsloOrderBook();
    ASSERT_NE(tslo, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !tslo->isBusy(); }, 20000));
    CTradeView* trades = OpenTradeBook();
    ASSERT_NE(trades, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !trades->isBusy(); }, 20000));
    EXPECT_TRUE(tslo->close());
    EXPECT_TRUE(trades->close());
    EXPECT_EQ(prompter.askCount(), 0u);
}

} // namespace

} // namespace test_book_close
