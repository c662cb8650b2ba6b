// The market-watch view on the offscreen platform: a new list's name and
// default securities, the row limit of OnAddscrip, the polling snapshot
// texts, ticks through the real dispatcher, the opening commands with their
// limits, and ticks from several threads while the list is switched and the
// columns are rebuilt.
#include "feed_test_support.h"

#include "server/FeedDispatcher.h"
#include "server/ServerAccess.h"
#include "watch/WatchFeed.h"
#include "watch/base/WatchlistTable.h"

#include "app/base/AppSettings.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"

#include "frame/FrameThemes.h"
#include "frame/controls/CMyGridCtrl.h"
#include "testkit/contrast.h"
#include "testkit/figures.h"
#include "testkit/headless.h"
#include "testkit/keep_look.h"
#include "ui/rgb.h"
#include "ui/theme_manager.h"
#include "ui/ui_thread.h"

#include <QAbstractProxyModel>
#include <QApplication>
#include <QPaintEvent>
#include <QPointer>
#include <QTreeView>

#include <atomic>
#include <map>
#include <random>
#include <thread>

namespace {

using feedtest::publishTable;
using feedtest::quote101;
using feedtest::watchToken;

class WatchViewTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        feedtest::resetFeedGlobals();
        SetDefaultSettings();
        WatchlistTable::instance().reset();
        g_WatchOpenRequest = {};
        CVortanexView::services() = {};
        WatchCommands::services() = {};
        WatchCommands::services().pane = [this](int action, int index) { paneCalls.emplace_back(action, index); };
        m_table = publishTable(3000);
    }
    void TearDown() override
    {
        for (CVortanexView* v : CVortanexView::openViews())
            delete v;
        QApplication::processEvents();
        WatchlistTable::instance().reset();
        CVortanexView::services() = {};
        WatchCommands::services() = {};
        g_WatchOpenRequest = {};
        FeedSubscriptions::instance().reset();
        SecurityTable::publish(nullptr);
        Headless::TearDown();
    }

    static CVortanexView* newWatch()
    {
        const size_t before = CVortanexView::openViews().size();
        WatchCommands::OnFileNew();
        const auto views = CVortanexView::openViews();
        return views.size() > before ? views.back() : nullptr;
    }
    static int addList(const char* name, std::vector<int> securities = {}, int type = 0)
    {
        WatchlistTable& t = WatchlistTable::instance();
        WatchlistRecord r;
        std::strcpy(r.name, name);
        r.id = 100 + t.count();
        r.type = type;
        r.inUse = 1;
        r.columnCount = t.defaultColumnCount() + kFixedWatchColumns;
        r.kinds = t.defaultKinds();
        for (int s : securities)
            r.rows.push_back({watchToken(s), s, 0, '1', 0, 0, nullptr});
        r.rowCount = static_cast<int>(r.rows.size());
        return t.append(r);
    }
    static std::vector<int> tokensOf(const WatchlistRecord& r)
    {
        std::vector<int> out;
        for (const WatchRowEntry& e : r.rows)
            if (WatchRowCounts(e))
                out.push_back(e.token);
        return out;
    }
    // The grid column showing a kind in a list with the default layout.
    static int columnOf(int kind)
    {
        const auto kinds = WatchlistTable::instance().defaultKinds();
        for (int c = 0; c < kColumnKinds; ++c)
            if (kinds[static_cast<size_t>(c)] == kind)
                return c + kFixedWatchColumns;
        return -1;
    }
    static QString cell(CVortanexView* v, int position, int column)
    {
        return v->grid()->model().text(v->gridRowOf(position), column);
    }

    std::shared_ptr<SecurityTable> m_table;
    std::vector<std::pair<int, int>> paneCalls;
};

TEST_F(WatchViewTest, ANewListGetsTheFirstFreeNameAndTheDefaultSecuritiesThatExist)
{
    addList("Watchlist1");
    addList("watchlist2");
    CVortanexView* v = newWatch();
    ASSERT_NE(v, nullptr);
    const WatchlistRecord r = WatchlistTable::instance().record(v->watchIndex());
    EXPECT_STREQ(r.name, "Watchlist3");
    EXPECT_EQ(r.type, 1);
    EXPECT_EQ(v->title(), "Watchlist - Watchlist3");
    EXPECT_EQ(v->gridStateKey(), "U1_DefaultGridView");
    // 29843 and 18989 are not in this master: skipped.
    EXPECT_EQ(tokensOf(r), (std::vector<int>{2819, 3047, 3897, 4091, 4627}));
    for (const WatchRowEntry& e : r.rows) {
        EXPECT_EQ(e.state, 1);
        EXPECT_EQ(e.origin, '0');
    }
    EXPECT_EQ(v->grid()->model().rowTotal(), 5);
    EXPECT_EQ(cell(v, 0, 0), "SYM1409-EQ");
    EXPECT_EQ(cell(v, 0, 1), "NSE");
    EXPECT_EQ(v->grid()->model().columnName(4), "Bid Prc");
    EXPECT_EQ(v->grid()->model().columns(), 15);
    EXPECT_NE(std::find(paneCalls.begin(), paneCalls.end(), std::make_pair(2, v->watchIndex())), paneCalls.end());

    // Its securities are subscribed through its window slot.
    const int slot = v->windowSlot();
    ASSERT_GE(slot, 0);
    EXPECT_EQ(FeedSubscriptions::instance().window(slot).type, kWindowMarketWatch);
    EXPECT_EQ(FeedSubscriptions::instance().window(slot).index, v->watchIndex());
    EXPECT_EQ(FeedSubscriptions::instance().feedTokenCount(), 5);

    // Closing frees the slot and drops the tokens.
    const int index = v->watchIndex();
    delete v;
    EXPECT_FALSE(FeedSubscriptions::instance().window(slot).in_use);
    EXPECT_EQ(FeedSubscriptions::instance().feedTokenCount(), 0);
    EXPECT_EQ(paneCalls.back(), std::make_pair(1, index));

    // The next new list takes the next free name.
    CVortanexView* w = newWatch();
    ASSERT_NE(w, nullptr);
    EXPECT_STREQ(WatchlistTable::instance().record(w->watchIndex()).name, "Watchlist4");
}

TEST_F(WatchViewTest, AddingStopsAtOneHundredRowsExceptWhilePasting)
{
    CVortanexView* v = newWatch();
    ASSERT_NE(v, nullptr);
    // A repeat is not added twice.
    v->OnAddscrip(1, 1, 1409, -10);
    EXPECT_EQ(CountWatchRows(WatchlistTable::instance().record(v->watchIndex())), 5);
    for (int s = 0; s < 120; ++s)
        v->OnAddscrip(1, 1, s, -10);
    WatchlistRecord r = WatchlistTable::instance().record(v->watchIndex());
    EXPECT_EQ(CountWatchRows(r), 100);
    EXPECT_EQ(v->grid()->model().rowTotal(), 100);
    // Securities 0..94 got in after the five defaults; 95 did not.
    EXPECT_EQ(tokensOf(r).back(), watchToken(94));
    v->setPasting(true);
    v->OnAddscrip(1, 1, 200, -10);
    v->setPasting(false);
    r = WatchlistTable::instance().record(v->watchIndex());
    EXPECT_EQ(CountWatchRows(r), 101);
    EXPECT_GE(r.rowCapacity, r.rowCount);
    v->OnAddscrip(1, 1, 201, -10);
    EXPECT_EQ(CountWatchRows(WatchlistTable::instance().record(v->watchIndex())), 101);
}

TEST(WatchViewKeys, OnlyUnshiftedBuyAndSellKeysAreTheGridsOwn)
{
    const struct {
        int key;
        Qt::KeyboardModifiers mods;
        char side;
    } cases[] = {
        {Qt::Key_F1, Qt::NoModifier, 'B'},      {Qt::Key_Plus, Qt::KeypadModifier, 'B'},
        {Qt::Key_Equal, Qt::NoModifier, 'B'},   {Qt::Key_F2, Qt::NoModifier, 'S'},
        {Qt::Key_Minus, Qt::KeypadModifier, 'S'}, {Qt::Key_Minus, Qt::NoModifier, 'S'},
        // Shifted ones stay with the bracket-order commands; others are not order keys.
        {Qt::Key_F1, Qt::ShiftModifier, 0},     {Qt::Key_Plus, Qt::ShiftModifier, 0},
        {Qt::Key_F2, Qt::ControlModifier, 0},   {Qt::Key_F3, Qt::NoModifier, 0},
        {Qt::Key_B, Qt::NoModifier, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CVortanexView::OrderKeySide(c.key, c.mods), c.side) << c.key << " " << int(c.mods);
}

// In every theme, light ones included, the Security and ME cells keep the
// settings' text colour on the settings' back colour (white on black by
// default), never on the theme's white; every other cell reads (the
// settings' tick pairs are the user's choice, reported only) and each column
// is at least as wide as its header's text.
TEST_F(WatchViewTest, FixedCellsAreReadableInEveryTheme)
{
    const testkit::KeepLook keep([theme = g_AppSettings.theme] { g_AppSettings.theme = theme; });
    const auto colour = [](uint32_t bgr) { return ui::toQColor(ui::rgbOf(bgr)); };
    const AppSettings& s = g_AppSettings;
    const std::vector<testkit::ColourPair> users = {
        {colour(s.normal_text_colour), colour(s.normal_back_colour)},
        {colour(s.up_text_colour), colour(s.up_back_colour)},
        {colour(s.down_text_colour), colour(s.down_back_colour)},
    };
    for (const ThemeEntry& theme : RibbonThemes()) {
        SCOPED_TRACE(theme.text);
        g_AppSettings.theme = theme.id;
        ui::ThemeManager::apply(ThemeLookFor(theme.id), nullptr);
        CVortanexView* v = newWatch();
        ASSERT_NE(v, nullptr);
        v->show();
        EXPECT_EQ(testkit::unreadableGridCells(*v, testkit::kMinContrast, users), std::vector<std::string>{});
        EXPECT_EQ(testkit::clippedHeaders(*v), std::vector<std::string>{});
        const ui::GridModel& m = v->grid()->model();
        const int row = v->gridRowOf(0);
        for (int column : {0, 1}) {
            // What the cell is painted with; an unset colour would be the theme's.
            const QColor fg = ui::toQColor(m.effectiveTextColour(row, column));
            const QColor bg = ui::toQColor(m.effectiveBackColour(row, column));
            EXPECT_EQ(fg, QColor(0xFF, 0xFF, 0xFF)) << m.text(row, column).toStdString();
            EXPECT_EQ(bg, QColor(0, 0, 0)) << m.text(row, column).toStdString();
        }
        delete v;
        WatchlistTable::instance().reset();
    }
}

// Every price of the watch with its instrument's decimals, whether the row
// was built or rewritten by a tick: four for a currency pair, two otherwise,
// and a price that rounds to nothing never "-0.00".
TEST_F(WatchViewTest, EveryPriceHasItsInstrumentsDecimals)
{
    SecurityRecord fx;
    fx.token = 5001;
    fx.wtoken = feedtest::watchToken(3000);
    fx.currency = 1;
    fx.market_exchange.assign("CN");
    fx.inst_type.assign("FC");
    fx.symbol.assign("USDINR");
    fx.setDisplayKey("USDINR-FC");
    m_table = publishTable(3000, {fx});
    const int fxIndex = 3000;
    const int list = addList("Figures", {0, 1, fxIndex});
    g_WatchOpenRequest.openType = 0;
    g_WatchOpenRequest.watchIndex = list;
    WatchCommands::OnOpenWatchlist();
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    CVortanexView* v = CVortanexView::openViews()[0];
    ASSERT_EQ(v->grid()->model().rowTotal(), 3);
    // Every column kind shown, so that every price kind is walked.
    WatchlistTable::instance().update(v->watchIndex(), [](WatchlistRecord& r) {
        r.columnCount = kFixedWatchColumns + kColumnKinds;
        for (int k = 0; k < kColumnKinds; ++k)
            r.kinds[size_t(k)] = k;
    });
    v->OnUpdateColumns();
    auto quote = [&](int index, double base, double change) {
        m_table->row(index).updateQuote([&](QuoteData& q) {
            for (int k = 0; k < kQuoteSlots; ++k)
                q.quote[k] = base + k * 0.25;
            q.quote[kNetChg] = change;
        });
    };
    quote(0, 82250, -0.3); // 822.50, a change that rounds to 0.00
    quote(1, 10000.5, 125);
    quote(fxIndex, 8312.25, -0.25);
    v->SelectWatchlist(list, 1); // rows built anew
    EXPECT_EQ(testkit::wrongDecimals(*v->grid()), std::vector<std::string>{});
    quote(0, 82300, -0.2);
    quote(fxIndex, 8312.5, -0.5);
    EXPECT_EQ(v->DisplayFeeds(0), 1);
    EXPECT_EQ(v->DisplayFeeds(fxIndex), 1);
    EXPECT_EQ(testkit::wrongDecimals(*v->grid()), std::vector<std::string>{});
    EXPECT_EQ(cell(v, 2, kFixedWatchColumns + kLastPrc).toStdString(), "83.1350");
}

TEST_F(WatchViewTest, AnAddedRowGoesAfterTheSelectedRow)
{
    CVortanexView* v = newWatch();
    ASSERT_NE(v, nullptr);
    v->grid()->selectRow(v->gridRowOf(1));
    v->OnAddscrip(1, 1, 7, -10);
    const ui::GridModel& m = v->grid()->model();
    EXPECT_EQ(m.text(m.idAt(2), 0), "SYM7-EQ");
    EXPECT_EQ(m.text(m.idAt(3), 0), "SYM1948-EQ");
}

TEST_F(WatchViewTest, PollingAsksForTheRowsQuotesWithATrueCount)
{
    g_Config.Feeds_Type = 1;
    std::vector<std::string> texts;
    CVortanexView::services().getLiveFeeds = [&](const std::string& t) { texts.push_back(t); };
    std::vector<int> securities;
    for (int s = 0; s < 150; ++s)
        securities.push_back(s);
    const int list = addList("Big", securities);
    WatchlistTable::instance().update(list, [](WatchlistRecord& r) { r.rows[3].state = -1; });
    g_WatchOpenRequest.openType = 0;
    g_WatchOpenRequest.watchIndex = list;
    WatchCommands::OnOpenWatchlist();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].rfind("Token=99,1,3,5,", 0), 0u) << texts[0];
    EXPECT_EQ(texts[1].rfind("Token=50,201,", 0), 0u) << texts[1];
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    EXPECT_EQ(CVortanexView::openViews()[0]->grid()->model().rowTotal(), 149);
}

// A quote is seen when its cell is painted: a shown watch paints the period's
// changes in the timer's own tick, not at a later update request that a busy
// loop serves tens of milliseconds on. Only the cells that changed are
// painted: a whole window's cells cost a tick several milliseconds, which
// every quote would wait for.
TEST_F(WatchViewTest, AShownWatchPaintsItsQuotesInTheTimersTick)
{
    CVortanexView* v = newWatch();
    ASSERT_NE(v, nullptr);
    v->window()->resize(900, 400);
    v->window()->show();
    QApplication::processEvents();
    QTreeView* tree = v->grid()->tree();
    QWidget* cells = tree->viewport();
    ASSERT_TRUE(cells->isVisible());
    struct PaintCount : QObject {
        int paints = 0;
        QRegion painted;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint) {
                ++paints;
                painted += static_cast<QPaintEvent*>(e)->region();
            }
            return false;
        }
    } counter;
    cells->installEventFilter(&counter);
    FeedConsumers consumers;
    feedtest::MemoryIndexRows indices;
    FeedDispatcher::Options o;
    o.inlineForTests = true;
    FeedDispatcher dispatcher(consumers, FeedSubscriptions::instance(), indices, o);
    const auto shownRect = [&](int position, int column) {
        const auto* proxy = qobject_cast<const QAbstractProxyModel*>(tree->model());
        const QModelIndex source = v->grid()->model().indexOf(v->gridRowOf(position), column);
        return tree->visualRect(proxy ? proxy->mapFromSource(source) : source);
    };
    QRect quoted = shownRect(0, columnOf(kLastPrc));
    ASSERT_TRUE(cells->rect().contains(quoted));

    const std::string quote = quote101(1409, 10000);
    dispatcher.Distribute_Feed(quote.data(), static_cast<int>(quote.size()));
    v->OnTimer(); // no event is processed between the tick and the check
    EXPECT_EQ(cell(v, 0, columnOf(kLastPrc)), "100.04");
    EXPECT_GE(counter.paints, 1);
    EXPECT_TRUE(counter.painted.contains(quoted));

    // The next quote of the same security: its cells are painted, the row of
    // another security, which did not change, is not painted again.
    QApplication::processEvents(); // what the window had due (a column widened) is painted first
    counter.paints = 0;
    counter.painted = QRegion();
    quoted = shownRect(0, columnOf(kLastPrc));
    const QRect quiet = shownRect(1, columnOf(kLastPrc));
    ASSERT_TRUE(cells->rect().contains(quiet));
    const std::string next = quote101(1409, 10100);
    dispatcher.Distribute_Feed(next.data(), static_cast<int>(next.size()));
    v->OnTimer();
    EXPECT_EQ(cell(v, 0, columnOf(kLastPrc)), "101.04");
    EXPECT_GE(counter.paints, 1);
    EXPECT_TRUE(counter.painted.contains(quoted));
    EXPECT_FALSE(counter.painted.intersects(quiet));

    // A tick with nothing new paints nothing.
    counter.paints = 0;
    v->OnTimer();
    EXPECT_EQ(counter.paints, 0);
    cells->removeEventFilter(&counter);
}

TEST_F(WatchViewTest, QuotesThroughTheDispatcherReachTheCellsOnTheTimer)
{
    g_AppSettings.gain_threshold = 500;
    g_AppSettings.gain_colour = 0x00FF00;
    CVortanexView* v = newWatch();
    ASSERT_NE(v, nullptr);
    FeedConsumers consumers;
    feedtest::MemoryIndexRows indices;
    FeedDispatcher::Options o;
    o.inlineForTests = true;
    FeedDispatcher dispatcher(consumers, FeedSubscriptions::instance(), indices, o);

    const std::string first = quote101(1409, 10000);
    EXPECT_EQ(dispatcher.Distribute_Feed(first.data(), static_cast<int>(first.size())), 101);
    const std::string other = quote101(5, 10000); // not in the list: nobody is told
    dispatcher.Distribute_Feed(other.data(), static_cast<int>(other.size()));
    EXPECT_EQ(v->feed()->ticks().pending(), 1u);
    EXPECT_EQ(cell(v, 0, columnOf(kLastPrc)), "0.00"); // nothing before the timer
    v->OnTimer();
    EXPECT_EQ(cell(v, 0, columnOf(kLastPrc)), "100.04");
    EXPECT_EQ(cell(v, 0, columnOf(kBidQty)), "10001");

    // % change 100.10 (10010 hundredths) passes the upper threshold: the fixed cells take the highlight.
    const int row = v->gridRowOf(0);
    EXPECT_EQ(v->grid()->model().backColour(row, 0).bgr, 0x00FF00u);
    EXPECT_EQ(WatchlistTable::instance().record(v->watchIndex()).rows[0].highlight, 1);

    // A rising last price paints the rising pair and the up icon.
    const std::string second = quote101(1409, 10100);
    dispatcher.Distribute_Feed(second.data(), static_cast<int>(second.size()));
    v->OnTimer();
    EXPECT_EQ(cell(v, 0, columnOf(kLastPrc)), "101.04");
    EXPECT_EQ(v->grid()->model().textColour(row, columnOf(kLastPrc)).bgr, g_AppSettings.up_text_colour);
    EXPECT_EQ(v->grid()->model().icon(row, 2), 90);

    // A removed row is no longer found.
    EXPECT_EQ(v->DisplayFeeds(5), 0);
    EXPECT_EQ(v->DisplayFeeds(-1), 0);
    EXPECT_EQ(v->DisplayFeeds(1409), 1);
}

TEST_F(WatchViewTest, TheOpeningCommandsKeepTheirLimits)
{
    int chooserAnswer = -1;
    CVortanexView::services().chooseWatchlist = [&](int) { return chooserAnswer; };
    // Cancel in the chooser opens nothing.
    WatchCommands::OnOpenWatchlist();
    EXPECT_TRUE(CVortanexView::openViews().empty());

    const int mine = addList("Mine", {1, 2, 3});
    chooserAnswer = mine;
    WatchCommands::OnOpenWatchlist();
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    CVortanexView* shown = CVortanexView::openViews()[0];
    EXPECT_EQ(shown->title(), "Watchlist - Mine");
    EXPECT_EQ(shown->grid()->model().rowTotal(), 3);
    // Opening it again, or clicking it on the pane, activates the open window.
    WatchCommands::OnOpenWatchlist();
    WatchCommands::OnSelWatchList(0, mine);
    EXPECT_EQ(CVortanexView::openViews().size(), 1u);
    EXPECT_EQ(g_WatchOpenRequest.watchIndex, -1);

    for (int i = 0; i < 9; ++i)
        ASSERT_NE(newWatch(), nullptr);
    EXPECT_EQ(CVortanexView::openViews().size(), 10u);
    EXPECT_EQ(newWatch(), nullptr);
    EXPECT_TRUE(prompter.asks().size() >= 1 && prompter.asks().back().text == "You are allowed to open only 10 Watchlist.");
    // The list shown in the tenth window is still activated by name.
    const size_t asked = prompter.askCount();
    WatchCommands::OpenWatchlistView(CVortanexView::openViews().back()->list().name);
    EXPECT_EQ(prompter.askCount(), asked);

    // With polling feeds only one window is allowed.
    for (CVortanexView* v : CVortanexView::openViews())
        delete v;
    g_Config.Feeds_Type = 1;
    ASSERT_NE(newWatch(), nullptr);
    EXPECT_EQ(newWatch(), nullptr);
    EXPECT_EQ(prompter.asks().back().text, "You can open only one Watchlist");
}

TEST_F(WatchViewTest, CancellingTheChooserOfANewWindowClosesIt)
{
    CVortanexView::services().chooseWatchlist = [](int) { return -1; };
    g_WatchOpenRequest.openType = 0;
    g_WatchOpenRequest.watchIndex = -1;
    QPointer<CVortanexView> v = new CVortanexView;
    v->OnInitialUpdate();
    EXPECT_TRUE(pumpUntil([&] { return v.isNull(); }, 2000));
    EXPECT_EQ(FeedSubscriptions::instance().window(0).in_use, 0);
}

TEST_F(WatchViewTest, TheSettingsBroadcastRebuildsRowsWithoutHighlight)
{
    g_AppSettings.gain_threshold = 1;
    CVortanexView* v = newWatch();
    ASSERT_NE(v, nullptr);
    m_table->row(1409).updateQuote([](QuoteData& q) { q.quote[kPctChange] = 50; });
    EXPECT_EQ(v->DisplayFeeds(1409), 1);
    EXPECT_EQ(WatchlistTable::instance().record(v->watchIndex()).rows[0].highlight, 1);
    WatchCommands::MyUpdate(1); // the font only
    EXPECT_EQ(WatchlistTable::instance().record(v->watchIndex()).rows[0].highlight, 1);
    WatchCommands::MyUpdate(2);
    EXPECT_EQ(WatchlistTable::instance().record(v->watchIndex()).rows[0].highlight, 0);
    EXPECT_EQ(v->grid()->model().rowTotal(), 5);
    EXPECT_TRUE(v->displayFlag());
}

TEST_F(WatchViewTest, AFutureChainIsBuiltFromTheTableWithoutOptions)
{
    SecurityRows extra;
    auto add = [&](const char* inst, const char* key) {
        SecurityRecord r;
        r.token = 90000 + static_cast<int>(extra.size());
        r.wtoken = 2 * r.token - 1;
        r.symbol.assign("ZETA");
        r.setDisplayKey(key);
        r.market_exchange.assign("NN");
        r.inst_type.assign(inst);
        extra.push_back(std::move(r));
    };
    add("EQ", "ZETA-EQ");
    add("FS", "ZETA-FUT-MAR");
    add("OS", "ZETA-CE-100");
    add("FS", "ZETA-FUT-APR");
    m_table = publishTable(3000, std::move(extra));
    const int base = 3000;
    g_WatchOpenRequest.openType = 3;
    g_WatchOpenRequest.chainKind = 3;
    g_WatchOpenRequest.chainBase = base;
    WatchCommands::OnNewChain(3);
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    CVortanexView* v = CVortanexView::openViews()[0];
    EXPECT_EQ(v->title(), "Future Chain-ZETA");
    EXPECT_EQ(v->listSource(), 2);
    const WatchlistRecord r = WatchlistTable::instance().record(v->watchIndex());
    EXPECT_EQ(r.chainKind, 3);
    EXPECT_EQ(r.chainSecurity, base);
    std::vector<QString> keys;
    for (int p = 0; p < static_cast<int>(r.rows.size()); ++p)
        keys.push_back(cell(v, p, 0));
    EXPECT_EQ(keys, (std::vector<QString>{"ZETA-EQ", "ZETA-FUT-MAR", "ZETA-FUT-APR"}));
}

// The master lists a symbol's contracts by their text, where "23FEB27"
// comes before "29DEC26": the chain lists the nearest expiry first, futures
// before options, and an expiry's strikes by their value.
TEST_F(WatchViewTest, ADerivativeChainListsTheNearestExpiryFirst)
{
    SecurityRows extra;
    auto add = [&](const char* inst, const char* key, const char* expiry, double strike, const char* option) {
        SecurityRecord r;
        r.token = 90000 + static_cast<int>(extra.size());
        r.wtoken = 2 * r.token - 1;
        r.symbol.assign("ZETA");
        r.setDisplayKey(key);
        r.market_exchange.assign("NN");
        r.inst_type.assign(inst);
        r.expiry.assign(expiry);
        r.strike = strike;
        r.option_type.assign(option);
        extra.push_back(std::move(r));
    };
    // In the master's (text) order.
    add("EQ", "ZETA~EQ", "", 0, "");
    add("FS", "ZETA~FS~23FEB27", "23FEB27", 0, "");
    add("FS", "ZETA~FS~26JAN27", "26JAN27", 0, "");
    add("FS", "ZETA~FS~29DEC26", "29DEC26", 0, "");
    add("OS", "ZETA~OS~26JAN27~1000.00~CE", "26JAN27", 1000, "CE");
    add("OS", "ZETA~OS~26JAN27~900.00~CE", "26JAN27", 900, "CE");
    add("OS", "ZETA~OS~26JAN27~900.00~PE", "26JAN27", 900, "PE");
    add("OS", "ZETA~OS~29DEC26~1000.00~CE", "29DEC26", 1000, "CE");
    m_table = publishTable(3000, std::move(extra));
    g_WatchOpenRequest.openType = 2;
    g_WatchOpenRequest.chainKind = 2;
    g_WatchOpenRequest.chainBase = 3000;
    WatchCommands::OnNewChain(2);
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    CVortanexView* v = CVortanexView::openViews()[0];
    EXPECT_EQ(v->title(), "Derv Chain-ZETA");
    std::vector<std::string> keys;
    for (int p = 0; p < static_cast<int>(v->list().rows.size()); ++p)
        keys.push_back(cell(v, p, 0).toStdString());
    EXPECT_EQ(keys, (std::vector<std::string>{"ZETA~EQ", "ZETA~FS~29DEC26", "ZETA~FS~26JAN27", "ZETA~FS~23FEB27",
                                              "ZETA~OS~29DEC26~1000.00~CE", "ZETA~OS~26JAN27~900.00~CE",
                                              "ZETA~OS~26JAN27~900.00~PE", "ZETA~OS~26JAN27~1000.00~CE"}));
}

// A chain cannot be edited: its row menu keeps "Add Scrip" and "Remove ..."
// but disabled, and in every look a disabled item reads fainter than the
// others (it was drawn etched, bolder than an enabled one, on the dark looks).
TEST_F(WatchViewTest, AChainsRowMenuOffersNoEditingAndSaysSo)
{
    const testkit::KeepLook keep([theme = g_AppSettings.theme] { g_AppSettings.theme = theme; });
    SecurityRows extra;
    for (const char* key : {"ZETA~EQ", "ZETA~FS~29DEC26"}) {
        SecurityRecord r;
        r.token = 90000 + static_cast<int>(extra.size());
        r.wtoken = 2 * r.token - 1;
        r.symbol.assign("ZETA");
        r.setDisplayKey(key);
        r.market_exchange.assign("NN");
        r.inst_type.assign(extra.empty() ? "EQ" : "FS");
        r.expiry.assign(extra.empty() ? "" : "29DEC26");
        extra.push_back(std::move(r));
    }
    m_table = publishTable(3000, std::move(extra));
    g_WatchOpenRequest.openType = 2;
    g_WatchOpenRequest.chainKind = 2;
    g_WatchOpenRequest.chainBase = 3000;
    WatchCommands::OnNewChain(2);
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    CVortanexView* v = CVortanexView::openViews()[0];
    QTreeView* tree = v->grid()->tree();
    tree->setCurrentIndex(tree->model()->index(1, 0));
    const ui::MenuSpec menu = v->BuildContextMenu();
    std::map<int, ui::MenuItem> byId;
    for (const ui::MenuItem& item : menu.items)
        byId[item.id] = item;
    ASSERT_TRUE(byId.count(32977));
    EXPECT_EQ(byId[32977].text, "&Remove ZETA~FS~29DEC26");
    EXPECT_FALSE(byId[32977].enabled);
    EXPECT_FALSE(byId[32976].enabled) << "Add Scrip";
    EXPECT_TRUE(byId[32979].enabled) << "Market Depth";
    for (const ThemeEntry& theme : RibbonThemes()) {
        SCOPED_TRACE(theme.text);
        ui::ThemeManager::apply(ThemeLookFor(theme.id), nullptr);
        const QPalette p = QApplication::palette();
        const QColor back = p.color(QPalette::Active, QPalette::Window);
        EXPECT_LT(testkit::contrastRatio(p.color(QPalette::Disabled, QPalette::Text), back),
                  testkit::contrastRatio(p.color(QPalette::Active, QPalette::Text), back));
        EXPECT_LT(testkit::contrastRatio(p.color(QPalette::Disabled, QPalette::Light), back), 1.2)
            << "no etching beside the text";
    }
}

// Answers the list requests from a script and keeps what it was sent.
class ScriptedServer : public ServerAccess {
public:
    ServerReply downLoadFile(const std::string&, int, const std::string&) override { return {}; }
    ServerReply requestServer(int, int, const std::string& text) override
    {
        sent.push_back(text);
        for (const auto& [prefix, body] : replies)
            if (text.rfind(prefix, 0) == 0)
                return {200, body};
        return {200, ""};
    }
    std::vector<std::string> sent;
    std::vector<std::pair<std::string, std::string>> replies;
};

TEST_F(WatchViewTest, TheMisOptionsListComesFromTheServerWithItsTradingStatus)
{
    ScriptedServer server;
    server.replies = {{"WD=121|", "121|0|OK^1|NN|0~2|NN|1~3|NN|-10~2|NN|2"}};
    CVortanexView::services().server = &server;
    pv_user_info.segments.assign(kMaxSegments, ExchangeSegment{});
    pv_user_info.segment_count = 1;
    pv_user_info.segments[0].id = 12;
    std::strcpy(pv_user_info.segments[0].name, "MIS Options");

    g_WatchOpenRequest.openType = 8;
    g_WatchOpenRequest.watchIndex = -1;
    QPointer<CVortanexView> v = new CVortanexView;
    v->OnInitialUpdate();
    ASSERT_FALSE(v.isNull());
    ASSERT_EQ(server.sent.size(), 1u);
    EXPECT_EQ(server.sent[0].rfind("WD=121|", 0), 0u);
    EXPECT_EQ(v->title(), "MIS Options");
    EXPECT_EQ(v->listSource(), 4);
    EXPECT_EQ(FeedSubscriptions::instance().window(v->windowSlot()).type, kWindowMisOptionsWatch);
    const WatchlistRecord r = WatchlistTable::instance().record(v->watchIndex());
    EXPECT_STREQ(r.name, "MIS Options");
    ASSERT_EQ(r.rows.size(), 3u); // the repeat is dropped
    const ui::GridModel& m = v->grid()->model();
    EXPECT_EQ(m.icon(v->gridRowOf(0), 3), 20);
    EXPECT_EQ(m.icon(v->gridRowOf(1), 3), 90);
    EXPECT_EQ(m.icon(v->gridRowOf(2), 3), 0);
    // A new status for a row it holds refreshes the TS cell only.
    v->OnAddscrip(1, 1, 0, 2);
    EXPECT_EQ(m.icon(v->gridRowOf(0), 3), 90);
    EXPECT_EQ(m.text(v->gridRowOf(0), 3), "Active");
    EXPECT_EQ(WatchlistTable::instance().record(v->watchIndex()).rows[0].status, 2);
    EXPECT_EQ(m.rowTotal(), 3);
    delete v.data();
    pv_user_info.segments.clear();
    pv_user_info.segment_count = 0;
}

TEST_F(WatchViewTest, AStoredListIsLoadedFromTheServerWhenFirstOpened)
{
    ScriptedServer server;
    server.replies = {{"WD=104|", "154|0|OK^3|SYM2|NN~9|SYM8|NN~77777|GONE|NN"}};
    CVortanexView::services().server = &server;
    const int list = addList("Stored");
    g_WatchOpenRequest.openType = 0;
    g_WatchOpenRequest.watchIndex = list;
    WatchCommands::OnOpenWatchlist();
    ASSERT_EQ(server.sent.size(), 1u);
    EXPECT_NE(server.sent[0].find("|" + std::to_string(100 + list) + "|4"), std::string::npos) << server.sent[0];
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    const WatchlistRecord r = WatchlistTable::instance().record(list);
    EXPECT_EQ(tokensOf(r), (std::vector<int>{watchToken(2), watchToken(8)})); // the unknown one is skipped
    EXPECT_EQ(r.rows[0].origin, '1');
    EXPECT_EQ(CVortanexView::openViews()[0]->grid()->model().rowTotal(), 2);
}

TEST_F(WatchViewTest, ABseChainIsAskedOfTheServer)
{
    SecurityRows extra(1);
    extra[0].token = 500112;
    extra[0].wtoken = 2 * 500112;
    extra[0].symbol.assign("SBIN");
    extra[0].setDisplayKey("SBIN-BSE");
    extra[0].market_exchange.assign("BN");
    extra[0].inst_type.assign("EQ");
    m_table = publishTable(3000, std::move(extra));
    ScriptedServer server;
    server.replies = {{"WD=117|", "167|0|OK^1|NN~2|NN"}};
    CVortanexView::services().server = &server;
    g_WatchOpenRequest.chainKind = 2;
    g_WatchOpenRequest.chainBase = 3000;
    WatchCommands::OnNewChain(2);
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    CVortanexView* v = CVortanexView::openViews()[0];
    ASSERT_EQ(server.sent.size(), 1u);
    EXPECT_NE(server.sent[0].find("|500112|BN|"), std::string::npos) << server.sent[0];
    EXPECT_EQ(v->title(), "Derv Chain-SBIN");
    EXPECT_EQ(v->grid()->model().rowTotal(), 2);
    // A second derivative chain is refused and the open one is shown.
    WatchCommands::OnNewChain(2);
    EXPECT_EQ(CVortanexView::openViews().size(), 1u);
    EXPECT_EQ(prompter.asks().back().text, "You are allowed to open only one Derivative Chain");
}

// Four feed threads tick the view's securities while the UI thread switches
// the list, rebuilds the columns and adds rows; the sanitizers watch.
TEST_F(WatchViewTest, TicksFromFourThreadsDuringSwitchesAndRebuildsAreSafe)
{
    std::vector<int> a, b;
    for (int s = 0; s < 60; ++s) {
        a.push_back(s);
        b.push_back(100 + s);
    }
    const int listA = addList("Alpha", a);
    const int listB = addList("Beta", b);
    g_WatchOpenRequest.openType = 0;
    g_WatchOpenRequest.watchIndex = listA;
    WatchCommands::OnOpenWatchlist();
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    CVortanexView* v = CVortanexView::openViews()[0];
    const std::shared_ptr<WatchFeed> feed = v->feed();

    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            std::mt19937 rng(static_cast<unsigned>(t + 1));
            for (int i = 0; i < 200000 && !stop.load(); ++i) {
                const int s = static_cast<int>(rng() % 260);
                m_table->row(s).updateQuote([&](QuoteData& q) {
                    q.quote[kLastPrc] = 1000 + i % 97;
                    q.tick_code[kLastPrc] = (i & 1) ? kTickRose : kTickFell;
                });
                feed->quoteUpdated(s);
            }
        });

    for (int round = 0; round < 60; ++round) {
        v->SelectWatchlist(round % 2 ? listB : listA, 1);
        v->OnTimer();
        WatchlistTable::instance().update(v->watchIndex(), [&](WatchlistRecord& r) {
            r.columnCount = kFixedWatchColumns + 1 + round % kColumnKinds;
            std::rotate(r.kinds.begin(), r.kinds.begin() + 1, r.kinds.end());
        });
        v->OnUpdateColumns();
        v->OnTimer();
        v->OnAddscrip(1, 1, 200 + round, -10);
        v->OnTimer();
        QApplication::processEvents();
    }
    stop = true;
    for (std::thread& t : threads)
        t.join();

    // Settled: the last quote of a shown security is what its row shows.
    v->SelectWatchlist(listA, 1);
    m_table->row(7).updateQuote([](QuoteData& q) { q.quote[kLastPrc] = 4321; });
    feed->quoteUpdated(7);
    v->OnTimer();
    const auto& kinds = v->list().kinds;
    const int visible = v->list().columnCount - kFixedWatchColumns;
    const auto it = std::find(kinds.begin(), kinds.begin() + visible, kLastPrc);
    if (it != kinds.begin() + visible) {
        EXPECT_EQ(cell(v, 7, kFixedWatchColumns + static_cast<int>(it - kinds.begin())), "43.21");
    }
    EXPECT_EQ(v->grid()->model().rowTotal(), CountWatchRows(v->list()));
}

} // namespace
