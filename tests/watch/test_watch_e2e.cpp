// End to end: logged in to the test broker's market, a new market watch opens
// in the main frame, subscribes its securities (the broker sees them), shows
// moving quotes, and a picture of it is written for a person to look at; its
// buy and sell keys and menu open the order form for the row's security while
// the frame's F1 keeps opening a blank buy form elsewhere.
#include "StartupFixture.h"

// The server headers come before any Qt header: a member of the feed tables
// is named like one of Qt's keyword macros.
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/SecurityTable.h"
#include "watch/base/WatchlistTable.h"

#include "frame/OrderFormService.h"
#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"
#include "frame/CMainFrame.h"
#include "frame/controls/CMyGridCtrl.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"
#include "server/OrderSecurity.h"
#include "frame/WatchOrderCommands.h"

#include "ui/ui_thread.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QPixmap>
#include <QTest>
#include <QTreeView>

#include <fstream>

namespace test_watch_e2e {

namespace {

class WatchEndToEnd : public startuptest::StartupFixture {};

// Records the order forms asked for instead of opening them.
class RecordingOrderForms final : public OrderFormService {
public:
    bool getInstance(int formType, QWidget*, const OrderFormParams& params) override
    {
        types.push_back(formType);
        opened.push_back(params);
        return true;
    }
    void showForm() override {}
    std::vector<int> types;
    std::vector<OrderFormParams> opened;
};

TEST_F(WatchEndToEnd, ANewMarketWatchSubscribesAndShowsMovingQuotes)
{
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(startLoggedIn(app, feed));
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return FeedState::instance().slot() >= 0; }, 10000));
    ASSERT_TRUE(broker->waitForFeedClient("U1", 5000));

    WatchCommands::OnFileNew();
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    CVortanexView* view = CVortanexView::openViews()[0];
    const WatchlistRecord list = WatchlistTable::instance().record(view->watchIndex());
    EXPECT_EQ(view->grid()->model().rowTotal(), 7);
    EXPECT_EQ(view->title().toStdString(), std::string("Watchlist - ") + list.name);

    // The broker is told to send the seven securities.
    const auto subscribed = [&] {
        for (const tb::FeedClientInfo& c : broker->feedClients()) {
            int found = 0;
            for (int t : c.tokens)
                for (int want : {2819, 3047, 29843, 3897, 4091, 4627, 18989})
                    found += t == want;
            if (found == 7)
                return true;
        }
        return false;
    };
    ASSERT_TRUE(ui::UiThread::pumpUntil(subscribed, 5000));

    // The market moves; the rows follow on the view's timer.
    const int lastColumn = [] {
        const auto kinds = WatchlistTable::instance().defaultKinds();
        return int(std::find(kinds.begin(), kinds.end(), kLastPrc) - kinds.begin()) + kFixedWatchColumns;
    }();
    std::vector<QString> before;
    for (int p = 0; p < 7; ++p)
        before.push_back(view->grid()->model().text(view->gridRowOf(p), lastColumn));
    int changed = 0;
    for (int step = 0; step < 20 && changed < 3; ++step) {
        broker->marketStep();
        ui::UiThread::pumpUntil([] { return false; }, 150);
        changed = 0;
        for (int p = 0; p < 7; ++p)
            changed += view->grid()->model().text(view->gridRowOf(p), lastColumn) != before[size_t(p)];
    }
    EXPECT_GE(changed, 3);
    const auto table = SecurityTable::current();
    ASSERT_TRUE(table);
    const int sbin = table->searchWToken(2819);
    char expected[32];
    std::snprintf(expected, sizeof expected, "%0.2lf", table->row(sbin).quote().quote[kLastPrc] / 100);
    ui::UiThread::pumpUntil([] { return false; }, 150);
    EXPECT_EQ(view->grid()->model().text(view->gridRowOf(0), lastColumn).toStdString(), expected);

    // A picture of the market watch in the frame.
    CMainFrame* frame = app.mainFrame();
    ASSERT_NE(frame, nullptr);
    frame->resize(1280, 720);
    ui::UiThread::pumpUntil([] { return false; }, 200);
    const QPixmap shot = frame->grab();
    const auto png = root / "watch_market_watch.png";
    EXPECT_TRUE(shot.save(QString::fromStdString(png.string()), "PNG")) << png;

    // Closing the window drops its subscription.
    view->parentWidget()->close();
    EXPECT_TRUE(ui::UiThread::pumpUntil([] { return CVortanexView::openViews().empty(); }, 5000));
    EXPECT_TRUE(ui::UiThread::pumpUntil([&] { return !subscribed(); }, 5000));

    prompter.answerWhen("Do you want to Quit from this Application", 6);
    frame->close();
    app.ExitInstance();
}

TEST_F(WatchEndToEnd, BuyAndSellKeysAndMenuOfARowOpenTheFormForItsSecurity)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp::Options o = appOptions();
    CVortanexApp app;
    app.setOptions(o);
    ASSERT_TRUE(app.InitInstance());
    RecordingOrderForms forms;
    SetOrderFormService(&forms);
    SetTradingAllowed(true);
    CMainFrame* frame = app.mainFrame();
    ASSERT_NE(frame, nullptr);
    frame->show();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));

    WatchCommands::OnFileNew();
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    CVortanexView* view = CVortanexView::openViews()[0];
    QTreeView* tree = view->grid()->tree();
    const int security = view->list().rows[2].securityIndex;
    ASSERT_GE(security, 0);
    tree->setFocus();
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return QApplication::focusWidget() == tree; }, 2000));
    view->grid()->selectRow(view->gridRowOf(2));

    // The frame's F1 and F2 accelerators give way to the row's buy and sell.
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        char side;
    } keys[] = {{Qt::Key_F1, Qt::NoModifier, 'B'},
                {Qt::Key_F2, Qt::NoModifier, 'S'},
                {Qt::Key_Plus, Qt::KeypadModifier, 'B'},
                {Qt::Key_Minus, Qt::KeypadModifier, 'S'},
                {Qt::Key_Equal, Qt::NoModifier, 'B'},
                {Qt::Key_Minus, Qt::NoModifier, 'S'}};
    for (const auto& k : keys) {
        forms.opened.clear();
        QTest::keyClick(tree, k.key, k.mods);
        ASSERT_EQ(forms.opened.size(), 1u) << k.key;
        EXPECT_EQ(forms.opened[0].index, security) << k.key;
        EXPECT_EQ(forms.opened[0].side, k.side) << k.key;
        EXPECT_EQ(forms.types[0], 1);
    }

    // A view-only session opens nothing, and the frame does not get the key either.
    forms.opened.clear();
    SetTradingAllowed(false);
    QTest::keyClick(tree, Qt::Key_F1);
    QTest::keyClick(tree, Qt::Key_Minus);
    EXPECT_TRUE(forms.opened.empty());
    SetTradingAllowed(true);

    // The menu of one row offers buy and sell named after the security.
    const std::string key = OrderSecurityAt(security).displayKey;
    const QPoint at = tree->viewport()->rect().center();
    prompter.queueMenuCommand(32974);
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree->viewport(), &menuEvent);
    ASSERT_FALSE(prompter.menus().empty());
    const ui::MenuSpec menu = prompter.menus().back();
    ASSERT_GE(menu.items.size(), 2u); // buy and sell first, then the row's other commands
    EXPECT_EQ(menu.items[0].text, "&Buy " + key);
    EXPECT_EQ(menu.items[1].text, "&Sell " + key);
    EXPECT_TRUE(menu.items[0].enabled && menu.items[1].enabled);
    ASSERT_EQ(forms.opened.size(), 1u);
    EXPECT_EQ(forms.opened[0].index, security);
    EXPECT_EQ(forms.opened[0].side, 'S');

    // Without a market watch the frame's F1 opens a blank buy form.
    view->parentWidget()->close();
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return CVortanexView::openViews().empty(); }, 5000));
    frame->setFocus();
    forms.opened.clear();
    QTest::keyClick(frame, Qt::Key_F1);
    ASSERT_EQ(forms.opened.size(), 1u);
    EXPECT_EQ(forms.opened[0].index, -1);
    EXPECT_EQ(forms.opened[0].side, 'B');

    SetOrderFormService(nullptr);
    prompter.answerWhen("Do you want to Quit from this Application", 6);
    frame->close();
    app.ExitInstance();
}

} // namespace

} // namespace test_watch_e2e
