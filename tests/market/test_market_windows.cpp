// The market views as windows on the offscreen platform, with a small
// published master: the depth window (records applied by its timer, the
// five-window rule, orders and baskets, gauges and pickers), last trades,
// scrip details, the option calculator, the index view and the indices bar.
#include "feed_test_support.h"

#include "market/DepthFeed.h"
#include "market/MarketFeed.h"
#include "server/FeedSubscriptions.h"
#include "server/ServerAccess.h"

#include "app/base/AppSettings.h"
#include "app/base/ProgramPaths.h"
#include "frame/OrderFormService.h"
#include "frame/controls/CMyGridCtrl.h"
#include "frame/controls/CMyListCtrl.h"
#include "market/CIndexView.h"
#include "market/CIndicesDlg.h"
#include "market/MarketHooks.h"
#include "market/CMDepthView.h"
#include "market/COptionCalc.h"
#include "market/CScripLastTick.h"
#include "market/CScriptDetails.h"
#include "market/IndexDisplay.h"
#include "market/LinearGauge.h"
#include "frame/OrderFormLinks.h"
#include "frame/WatchOrderCommands.h"
#include "frame/PositionServices.h"
#include "testkit/contrast.h"
#include "testkit/figures.h"
#include "testkit/headless.h"
#include "testkit/keep_look.h"
#include "frame/FrameThemes.h"
#include "ui/form_driver.h"
#include "ui/theme_manager.h"
#include "ui/ticker.h"
#include "ui/ui_thread.h"

#include "pf/files.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QPointer>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <cstring>
#include <tuple>

namespace test_market_windows {

namespace {

using feedtest::publishTable;

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

// The basket form's calls, one fill per shown form.
class RecordingBasket final : public BasketService {
public:
    struct Fill {
        std::string client;
        std::array<BasketLeg, 5> legs{};
    };
    void reset() override { fills.emplace_back(); }
    void setClient(const std::string& clientCode) override { fills.back().client = clientCode; }
    void setLeg(int index, const BasketLeg& leg) override { fills.back().legs.at(static_cast<size_t>(index)) = leg; }
    void refreshOrShow() override { ++shown; }
    void destroy() override {}
    std::vector<Fill> fills;
    int shown = 0;
};

SecurityRecord security(const char* symbol, const char* exch, const char* inst, int token, int wtoken,
                        const char* expiry = "", double strike = 0, const char* option = "", int lot = 1)
{
    SecurityRecord r;
    r.token = token;
    r.wtoken = wtoken;
    r.symbol.assign(symbol);
    r.market_exchange.assign(exch);
    r.inst_type.assign(inst);
    r.expiry.assign(expiry);
    r.strike = strike;
    r.option_type.assign(option);
    r.market_lot = lot;
    std::string key = std::string(symbol) + "~" + inst;
    if (*expiry)
        key += std::string("~") + expiry;
    if (*option)
        key += "~" + std::string(strike > 0 ? std::to_string(static_cast<int>(strike)) + ".00" : "") + "~" + option;
    r.setDisplayKey(key);
    return r;
}

class MarketWindows : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        feedtest::resetFeedGlobals();
        SetProgramPaths(paths);
        SecurityRows extra;
        extra.push_back(security("INFY", "NN", "EQ", 1594, 3187));
        extra.push_back(security("INFY", "BN", "EQ", 500209, 1000418));
        extra.push_back(security("GOLD", "MC", "CF", 4001, 8001, "05FEB27", 0, "", 100));
        extra.push_back(security("USDINR", "CN", "FC", 1, 9001, "26DEC26", 0, "", 1000));
        extra.push_back(security("NIFTY", "NN", "FI", 35001, 70001, "26DEC26"));
        extra.push_back(security("NIFTY", "NN", "OI", 35002, 70003, "26DEC26", 24000, "CE"));
        extra.push_back(security("NIFTY", "NN", "OI", 35003, 70005, "26DEC26", 24000, "PE"));
        extra.push_back(security("TCS", "NN", "EQ", 11536, 23071));
        m_table = publishTable(0, std::move(extra));
        FeedSubscriptions::instance().setSubscriptionRequest([this](int which) { m_requests.push_back(which); });
        FeedState::instance().setRunning(1);
        FeedState::instance().setSlot(2);
        SetOrderFormService(&m_forms);
        SetTradingAllowed(true);
    }
    void TearDown() override
    {
        for (CMDepthView* v : CMDepthView::openViews())
            delete v;
        if (CScripLastTick* t = CScripLastTick::instance())
            delete t;
        if (CIndexView* v = CIndexView::instance())
            delete v;
        delete CIndicesDlg::instance();
        SetBasketService(nullptr);
        SetOrderFormService(nullptr);
        SetTradingAllowed(true);
        SetLoggedIn(false);
        IndexTable::instance().reset();
        FeedSubscriptions::instance().reset();
        SecurityTable::publish(nullptr);
        Headless::TearDown();
    }
    int find(const char* key, const char* exch) const { return m_table->searchScripKey(key, exch); }
    // A depth record of the security's watch token with bid level prices
    // 100.00, 99.95 ... and ask 101.00, 101.05 ...
    std::string record(int security, long long qty0 = 10) const
    {
        std::string s = std::to_string(m_table->row(security).wtoken) + ",10050";
        for (int k = 0; k < 5; ++k)
            s += "," + std::to_string(10000 - 5 * k) + "," + std::to_string(k == 0 ? qty0 : 20 * (k + 1)) + ",1";
        for (int k = 0; k < 5; ++k)
            s += "," + std::to_string(10100 + 5 * k) + "," + std::to_string(30 * (k + 1)) + ",2";
        return s + ",5000,6000";
    }

    std::shared_ptr<SecurityTable> m_table;
    std::vector<int> m_requests;
    RecordingOrderForms m_forms;
};

// --- depth ---

TEST_F(MarketWindows, DepthAppliesOnlyItsTokenAndKeepsZeroLevelPricesForBaskets)
{
    const int infy = find("INFY~EQ", "NN");
    const int tcs = find("TCS~EQ", "NN");
    CMDepthView* v = OpenMarketDepth(infy, nullptr);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->windowTitle().toStdString(), "INFY~EQ~NSE - Market Depth");
    EXPECT_EQ(FeedSubscriptions::instance().depthTokenList(), "3187,");
    // The depth, and the quote that the day's values come from.
    EXPECT_EQ(m_requests, (std::vector<int>{2, 1}));
    EXPECT_EQ(FeedSubscriptions::instance().feedTokenList(), "3187,");

    // Records go through the feed side; another token never reaches the window.
    v->feed()->depthUpdated(record(tcs), false);
    v->ticker()->fire(CMDepthView::kTimerId);
    EXPECT_EQ(v->cellText(0, 1), "");
    v->feed()->depthUpdated(record(infy, 0), false);
    v->ticker()->fire(CMDepthView::kTimerId);
    EXPECT_EQ(v->cellText(0, 1), "");
    EXPECT_EQ(v->cellText(0, 2), "");
    EXPECT_EQ(v->cellText(1, 1), "99.95");
    EXPECT_EQ(v->cellText(0, 4), "101.00");
    EXPECT_EQ(v->cellText(5, 1), "Total");
    EXPECT_EQ(v->cellText(5, 2), "5000");
    // A record for another security, applied directly, changes nothing either.
    v->DisplayMDepth(record(tcs, 77));
    EXPECT_EQ(v->cellText(0, 2), "");

    auto basket = std::make_shared<RecordingBasket>();
    v->OnBasketOrder('B');
    ASSERT_FALSE(prompter.asks().empty());
    EXPECT_EQ(prompter.asks().back().text, "Basket Order is not available in this version.");
    SetBasketService(basket);
    // "&Basket Order - Buy" from the ladder's right-click menu, then the sell side.
    prompter.queueMenuCommand(CMDepthView::ID_MDEPTH_BASKETORDER_BUY);
    QWidget* cells = v->ladder()->tree()->viewport();
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), cells->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(cells, &click);
    ASSERT_EQ(prompter.menus().size(), 1u);
    EXPECT_EQ(prompter.menus()[0].items[2].text, "&Basket Order - Buy");
    v->OnBasketOrder('S');
    ASSERT_EQ(basket->fills.size(), 2u);
    EXPECT_EQ(basket->shown, 2);
    EXPECT_DOUBLE_EQ(basket->fills[0].legs[0].price, 100.00);
    EXPECT_EQ(basket->fills[0].legs[0].side, 'B');
    EXPECT_DOUBLE_EQ(basket->fills[0].legs[4].price, 99.80);
    EXPECT_DOUBLE_EQ(basket->fills[1].legs[2].price, 101.10);
    EXPECT_EQ(basket->fills[1].legs[2].sec_index, infy);

    // Closing takes the security off the depth list.
    v->OnCancel();
    QApplication::processEvents();
    EXPECT_EQ(FeedSubscriptions::instance().depthTokenList(), "");
    EXPECT_TRUE(CMDepthView::openViews().empty());
}

TEST_F(MarketWindows, DepthQuantitiesOfCommodityAndCurrency)
{
    const int gold = find("GOLD~CF~05FEB27", "MC");
    const int usd = find("USDINR~FC~26DEC26", "CN");
    ASSERT_GE(gold, 0);
    ASSERT_GE(usd, 0);
    CMDepthView* g = OpenMarketDepth(gold, nullptr);
    CMDepthView* u = OpenMarketDepth(usd, nullptr);
    g->feed()->depthUpdated(record(gold, 2500), false);
    g->OnTimer();
    EXPECT_EQ(g->cellText(0, 2), "25");
    EXPECT_EQ(g->ladder()->model().columnName(2).toStdString(), "Lot");
    u->feed()->depthUpdated(record(usd, 2500), true);
    u->OnTimer();
    EXPECT_EQ(u->cellText(0, 2), "2500");
    EXPECT_EQ(u->cellText(0, 1), "100.0000");
    EXPECT_EQ(FeedSubscriptions::instance().depthTokenList(), "8001,9001,");
}

// Every price of the depth window, its ladder and its labels, with the
// instrument's decimals: four for the currency pair, two for the share and
// the commodity; a change that rounds to nothing shows no sign.
TEST_F(MarketWindows, EveryDepthFigureHasItsInstrumentsDecimals)
{
    for (const auto& [key, exch, decimals] :
         {std::tuple<const char*, const char*, int>{"INFY~EQ", "NN", 2}, {"GOLD~CF~05FEB27", "MC", 2},
          {"USDINR~FC~26DEC26", "CN", 4}}) {
        const int sec = find(key, exch);
        ASSERT_GE(sec, 0) << key;
        m_table->row(sec).updateQuote([](QuoteData& q) {
            for (int k = 0; k < kQuoteSlots; ++k)
                q.quote[k] = 8312.25 + k;
            q.quote[18] = -0.25; // the net change
        });
        CMDepthView* v = OpenMarketDepth(sec, nullptr);
        ASSERT_NE(v, nullptr) << key;
        v->feed()->depthUpdated(record(sec), decimals == 4);
        v->OnTimer();
        EXPECT_EQ(testkit::wrongDecimals(*v->ladder(), decimals), std::vector<std::string>{}) << key;
        for (int id : {CMDepthView::kLastPrice, CMDepthView::kOpen, CMDepthView::kClose,
                       CMDepthView::kWeightedAverage, CMDepthView::kNetChange}) {
            const std::string text = v->text(id);
            const size_t dot = text.find('.');
            ASSERT_NE(dot, std::string::npos) << key << " " << id << " \"" << text << "\"";
            EXPECT_EQ(text.size() - dot - 1, size_t(decimals)) << key << " " << id << " \"" << text << "\"";
            EXPECT_FALSE(text.front() == '-' && text.find_first_of("123456789") == std::string::npos)
                << key << " " << id << " \"" << text << "\"";
        }
        v->OnCancel();
        QApplication::processEvents();
    }
}

// In every theme the depth window reads: its labels on its background, the
// ladder's cells, its header texts whole, and no white field under the
// ladder's rows in a dark theme.
TEST_F(MarketWindows, TheDepthWindowReadsInEveryTheme)
{
    const int infy = find("INFY~EQ", "NN");
    CMDepthView* v = OpenMarketDepth(infy, nullptr);
    ASSERT_NE(v, nullptr);
    v->show();
    v->feed()->depthUpdated(record(infy), false);
    v->OnTimer();
    const testkit::KeepLook keep([theme = g_AppSettings.theme] { g_AppSettings.theme = theme; });
    for (const ThemeEntry& t : RibbonThemes()) {
        g_AppSettings.theme = t.id;
        ui::ThemeManager::apply(ThemeLookFor(t.id));
        QApplication::processEvents();
        EXPECT_EQ(testkit::unreadableLabels(*v), std::vector<std::string>{}) << t.text;
        EXPECT_EQ(testkit::unreadableCells(*v->ladder()), std::vector<std::string>{}) << t.text;
        EXPECT_EQ(testkit::clippedHeaders(*v), std::vector<std::string>{}) << t.text;
        const QImage shot = v->grab().toImage();
        if (IsDarkThemeId(t.id)) {
            // Under the last row: the ladder's empty field.
            QWidget* cells = v->ladder()->tree()->viewport();
            const QPoint at = cells->mapTo(v, QPoint(cells->width() / 2, cells->height() - 3));
            const QColor field = shot.pixelColor(at);
            EXPECT_LT(field.lightness(), 128) << t.text << " " << field.name().toStdString();
        }
    }
}

TEST_F(MarketWindows, AtMostFiveDepthWindowsAndTheSameSecurityComesForward)
{
    const std::vector<std::string> keys = {"INFY~EQ", "TCS~EQ", "NIFTY~FI~26DEC26", "NIFTY~OI~26DEC26~24000.00~CE",
                                           "NIFTY~OI~26DEC26~24000.00~PE"};
    std::vector<CMDepthView*> open;
    for (const std::string& k : keys)
        open.push_back(OpenMarketDepth(find(k.c_str(), "NN"), nullptr));
    EXPECT_EQ(CMDepthView::openViews().size(), 5u);
    EXPECT_EQ(OpenMarketDepth(find("TCS~EQ", "NN"), nullptr), open[1]);
    EXPECT_TRUE(prompter.asks().empty());
    EXPECT_EQ(OpenMarketDepth(find("INFY~EQ", "BN"), nullptr), nullptr);
    ASSERT_EQ(prompter.asks().size(), 1u);
    EXPECT_EQ(prompter.asks()[0].text, "You are allowed to open 5 Market Depth");
    EXPECT_EQ(CMDepthView::openViews().size(), 5u);
    // One closed makes room again.
    open[0]->OnCancel();
    QApplication::processEvents();
    EXPECT_NE(OpenMarketDepth(find("INFY~EQ", "BN"), nullptr), nullptr);
}

TEST_F(MarketWindows, DepthOrderKeysAndTheirRefusals)
{
    const int tcs = find("TCS~EQ", "NN");
    CMDepthView* v = OpenMarketDepth(tcs, nullptr);
    v->DisplayMDepth(record(tcs));
    QTest::keyClick(v, Qt::Key_F1);
    ASSERT_EQ(m_forms.opened.size(), 1u);
    EXPECT_EQ(m_forms.types[0], 1);
    EXPECT_EQ(m_forms.opened[0].index, tcs);
    EXPECT_EQ(m_forms.opened[0].side, 'B');
    EXPECT_DOUBLE_EQ(m_forms.opened[0].price, 101.00);
    EXPECT_EQ(m_forms.opened[0].companionIndex, -1);
    QTest::keyClick(v, Qt::Key_F2);
    ASSERT_EQ(m_forms.opened.size(), 2u);
    EXPECT_DOUBLE_EQ(m_forms.opened[1].price, 100.00);

    // An NSE equity with a BSE twin of the same series: the twin's quote is
    // fetched first (on a worker), then the form opens with it.
    const int infy = find("INFY~EQ", "NN");
    CMDepthView* w = OpenMarketDepth(infy, nullptr);
    w->DisplayMDepth(record(infy));
    QTest::keyClick(w, Qt::Key_F1);
    ASSERT_TRUE(pumpUntil([&] { return m_forms.opened.size() == 3; }, 20000));
    EXPECT_EQ(m_forms.opened[2].index, infy);
    EXPECT_EQ(m_forms.opened[2].companionIndex, find("INFY~EQ", "BN"));
    EXPECT_DOUBLE_EQ(m_forms.opened[2].price, 101.00);
    m_forms.opened.pop_back();

    // Shift+F3 and Shift+F8: the books filtered to this security.
    struct Books final : OrderFormLinks {
        void openOrderBook(int s) override { orders.push_back(s); }
        void openTradeBook(int s) override { trades.push_back(s); }
        std::vector<int> orders, trades;
    } books;
    SetOrderFormLinks(&books);
    QTest::keyClick(v, Qt::Key_F3, Qt::ShiftModifier);
    QTest::keyClick(v, Qt::Key_F8, Qt::ShiftModifier);
    SetOrderFormLinks(nullptr);
    EXPECT_EQ(books.orders, std::vector<int>{tcs});
    EXPECT_EQ(books.trades, std::vector<int>{tcs});
    EXPECT_EQ(m_forms.opened.size(), 2u);

    SetTradingAllowed(false);
    v->Place_Order('B');
    EXPECT_EQ(m_forms.opened.size(), 2u);
    EXPECT_TRUE(prompter.asks().empty());
    SetTradingAllowed(true);
    pv_user_info.user_type = 'P';
    v->Place_Order('B');
    EXPECT_EQ(m_forms.opened.size(), 2u);
    ASSERT_EQ(prompter.asks().size(), 1u);
    EXPECT_EQ(prompter.asks()[0].text, "Please Activate a Client");
    EXPECT_EQ(prompter.asks()[0].caption, "Input Error");
    pv_user_info.user_type = 'C';
}

TEST_F(MarketWindows, GaugesRebuildOnBoundsAndPointerStaysInRange)
{
    const int tcs = find("TCS~EQ", "NN");
    CMDepthView* v = OpenMarketDepth(tcs, nullptr);
    LinearGauge* today = v->gauge(CMDepthView::kTodayGauge);
    // No quote yet: the placeholder scale.
    EXPECT_EQ(today->start(), 0);
    EXPECT_EQ(today->finish(), 100);
    EXPECT_EQ(today->tickLabel(50), "  0.00");
    auto setQuote = [&](double last, double low, double high) {
        m_table->row(tcs).updateQuote([&](QuoteData& q) {
            q.quote[4] = last;
            q.quote[5] = high;
            q.quote[6] = low;
        });
    };
    setQuote(10000, 9000, 11000);
    v->DisplayMDepth(record(tcs));
    EXPECT_EQ(today->start(), 90);
    EXPECT_EQ(today->finish(), 110);
    EXPECT_EQ(today->pointer(), 100);
    EXPECT_EQ(today->tickLabel(90), "90.00");
    const int rebuilds = v->gaugeRebuilds();
    setQuote(10500, 9000, 11000);
    v->DisplayMDepth(record(tcs));
    EXPECT_EQ(v->gaugeRebuilds(), rebuilds); // only the pointer moved
    EXPECT_EQ(today->pointer(), 105);
    setQuote(11500, 9000, 11000); // outside the range: the pointer stays
    v->DisplayMDepth(record(tcs));
    EXPECT_EQ(today->pointer(), 105);
    setQuote(11500, 9000, 12000); // a new high: rebuilt
    v->DisplayMDepth(record(tcs));
    EXPECT_EQ(v->gaugeRebuilds(), rebuilds + 1);
    EXPECT_EQ(today->pointer(), 115);
    // A dark look (the palette changes) gives the gauges white text.
    const int theme = g_AppSettings.theme;
    g_AppSettings.theme = 32835;
    QEvent paletteChange(QEvent::PaletteChange);
    QApplication::sendEvent(v, &paletteChange);
    EXPECT_EQ(today->textColour(), QColor(Qt::white));
    g_AppSettings.theme = theme;
    // The 52-week gauge belongs to cash securities only.
    EXPECT_TRUE(v->isVisible(CMDepthView::kYearGauge));
    CMDepthView* fut = OpenMarketDepth(find("NIFTY~FI~26DEC26", "NN"), nullptr);
    EXPECT_FALSE(fut->isVisible(CMDepthView::kYearGauge));
}

// A gauge's figures never run together and never leave the gauge, however
// narrow it is or many its steps: a label that would touch the one before it
// is left out, and the scale's two ends are always shown.
TEST_F(MarketWindows, GaugeLabelsStayApartAndInside)
{
    struct Case {
        double start, finish, step;
        int width;
    };
    const Case cases[] = {
        {232.70, 298.55, 65.85, 180}, {232.70, 298.55, 65.85, 70}, {232.70, 298.55, 5, 180},
        {0, 100, 10, 120},            {298.55, 232.70, -65.85, 90}, {1234.5, 1234.5, 0, 60},
    };
    for (const Case& c : cases) {
        LinearGauge gauge;
        gauge.resize(c.width, 44);
        gauge.setScale(c.start, c.finish, c.step);
        const std::vector<LinearGauge::TickLabel> labels = gauge.tickLabels();
        const std::string name = std::to_string(c.start) + ".." + std::to_string(c.finish) + " by " +
            std::to_string(c.step) + " in " + std::to_string(c.width) + " px";
        const auto shown = [&gauge](double v) { return QString::fromStdString(gauge.tickLabel(v)).trimmed(); };
        ASSERT_FALSE(labels.empty()) << name;
        EXPECT_EQ(labels.front().text, shown(c.start)) << name;
        // Both ends, where the gauge has room for two labels.
        if (c.width > 2 * labels.front().area.width() + 10) {
            EXPECT_EQ(labels.back().text, shown(c.finish)) << name;
        }
        for (size_t i = 0; i < labels.size(); ++i) {
            EXPECT_GE(labels[i].area.left(), 0) << name;
            EXPECT_LE(labels[i].area.right(), c.width) << name;
            if (i > 0) {
                EXPECT_GT(labels[i].area.left(), labels[i - 1].area.right()) << name << " label " << i;
            }
        }
    }
}

TEST_F(MarketWindows, PickersSwitchTheWindowAndSendTheNewToken)
{
    CMDepthView* v = OpenMarketDepth(find("NIFTY~FI~26DEC26", "NN"), nullptr);
    m_requests.clear();
    EXPECT_EQ(v->comboItems(CMDepthView::kInstrument).front(), "FI");
    // Typed order keys are taken out of the symbol.
    ui::FormDriver drive(*v);
    drive.type(CMDepthView::kSymbol, "TCS+");
    EXPECT_EQ(v->text(CMDepthView::kSymbol), "TCS");
    drive.type(CMDepthView::kInstrument, "EQ");
    QTest::keyClick(v->control(CMDepthView::kSymbol), Qt::Key_Return);
    EXPECT_TRUE(drive.problems().empty());
    EXPECT_EQ(v->security(), find("TCS~EQ", "NN"));
    EXPECT_EQ(v->windowTitle().toStdString(), "TCS~EQ~NSE - Market Depth");
    EXPECT_EQ(FeedSubscriptions::instance().depthTokenList(), "23071,");
    // The depth subscription, then the quote of the new security for the day's values.
    EXPECT_EQ(m_requests, (std::vector<int>{2, 1}));
    EXPECT_EQ(FeedSubscriptions::instance().feedTokenList(), "23071,");
    // An option from its five pickers.
    v->ReturnMessage(find("NIFTY~OI~26DEC26~24000.00~CE", "NN"));
    CMDepthView* w = OpenMarketDepth(find("NIFTY~OI~26DEC26~24000.00~CE", "NN"), nullptr);
    EXPECT_EQ(w, v);
    const auto options = v->comboItems(CMDepthView::kOptionType);
    ASSERT_EQ(options.size(), 2u);
}

TEST_F(MarketWindows, DepthFollowsItsSecurityAcrossAReDownload)
{
    const int tcs = find("TCS~EQ", "NN");
    CMDepthView* v = OpenMarketDepth(tcs, nullptr);
    // The new master lists another security first: the window finds its own again.
    SecurityRows rows;
    rows.push_back(security("ACC", "NN", "EQ", 22, 43));
    rows.push_back(security("TCS", "NN", "EQ", 11536, 23071));
    m_table = publishTable(0, std::move(rows));
    v->OnTimer();
    EXPECT_EQ(v->security(), find("TCS~EQ", "NN"));
    EXPECT_NE(v->security(), tcs);
    // A master without it closes the window and says why.
    QPointer<CMDepthView> alive(v);
    m_table = publishTable(0, {security("ACC", "NN", "EQ", 22, 43)});
    v->OnTimer();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(CMDepthView::openViews().empty());
    ASSERT_EQ(prompter.asks().size(), 1u);
    EXPECT_EQ(prompter.asks()[0].text, "The security of this Market Depth is no longer available.");
    EXPECT_EQ(FeedSubscriptions::instance().depthTokenList(), "");
}

// --- last trades ---

TEST_F(MarketWindows, LastTradesFilterOrderAndFormats)
{
    setenv("TZ", "Asia/Kolkata", 1);
    tzset();
    CScripLastTick* t = CScripLastTick::Open(nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(CScripLastTick::Open(nullptr), t);
    const int infy = find("INFY~EQ", "NN"), tcs = find("TCS~EQ", "NN");
    auto trade = [&](int s, double paise, double qty) {
        m_table->row(s).updateQuote([&](QuoteData& q) {
            q.quote[4] = paise;
            q.quote[16] = qty;
            q.quote[17] = 1700000000;
        });
        MarketFeed::lastTradesUpdated(s);
    };
    trade(infy, 123450, 10);
    trade(tcs, 100000, 5);
    trade(infy, 123500, 20); // the same security again: one row, on top
    t->OnTimer();
    ui::GridModel& m = t->list()->model();
    ASSERT_EQ(m.rowTotal(), 2);
    EXPECT_EQ(m.text(m.idAt(0), 0).toStdString(), "INFY~EQ");
    EXPECT_EQ(m.text(m.idAt(0), 3).toStdString(), "20");
    EXPECT_EQ(m.text(m.idAt(1), 0).toStdString(), "TCS~EQ");
    trade(infy, 123450, 10);
    t->OnTimer();
    EXPECT_EQ(m.text(m.idAt(0), 1).toStdString(), "NN");
    EXPECT_EQ(m.text(m.idAt(0), 2).toStdString(), "1234.50");
    EXPECT_EQ(m.text(m.idAt(0), 3).toStdString(), "10");
    EXPECT_EQ(m.text(m.idAt(0), 4).toStdString(), "12345.00");
    EXPECT_EQ(m.text(m.idAt(0), 5).toStdString(), "15-11-2023 03:43:20");

    ui::FormDriver(*t).type(CScripLastTick::kFilterEdit, "abc").click(CScripLastTick::kFilterButton);
    EXPECT_EQ(m.rowTotal(), 2); // not a number: the rows stay
    ui::FormDriver(*t).type(CScripLastTick::kFilterEdit, "100").click(CScripLastTick::kFilterButton);
    EXPECT_EQ(m.rowTotal(), 0);
    trade(tcs, 100000, 99);
    t->OnTimer();
    EXPECT_EQ(m.rowTotal(), 0);
    trade(tcs, 100000, 100);
    t->OnTimer();
    EXPECT_EQ(m.rowTotal(), 1);

    // Closed, it is gone; the command opens a new, empty one.
    QPointer<CScripLastTick> old(t);
    t->OnCancel();
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
    EXPECT_FALSE(MarketFeed::hasLastTradesSink());
    CScripLastTick* again = CScripLastTick::Open(nullptr);
    EXPECT_EQ(again->list()->model().rowTotal(), 0);
}

// A currency trade's price and value have four decimals, a commodity's two:
// USDINR 2 at 88.4575 is worth 176.9150; GOLD 1 at 128450.00 is 128450.00.
TEST_F(MarketWindows, LastTradesOfACurrencyShowFourDecimals)
{
    CScripLastTick* t = CScripLastTick::Open(nullptr);
    ASSERT_NE(t, nullptr);
    const int usd = find("USDINR~FC~26DEC26", "CN"), gold = find("GOLD~CF~05FEB27", "MC");
    ASSERT_GE(usd, 0);
    ASSERT_GE(gold, 0);
    auto trade = [&](int s, double paise, double qty) {
        m_table->row(s).updateQuote([&](QuoteData& q) {
            q.quote[4] = paise;
            q.quote[16] = qty;
            q.quote[17] = 1700000000;
        });
        MarketFeed::lastTradesUpdated(s);
    };
    trade(usd, 8845.75, 2);
    t->OnTimer();
    trade(gold, 12845000, 1);
    t->OnTimer();
    ui::GridModel& m = t->list()->model();
    ASSERT_EQ(m.rowTotal(), 2);
    EXPECT_EQ(m.text(m.idAt(0), 2).toStdString(), "128450.00");
    EXPECT_EQ(m.text(m.idAt(0), 4).toStdString(), "128450.00");
    EXPECT_EQ(m.text(m.idAt(1), 2).toStdString(), "88.4575");
    EXPECT_EQ(m.text(m.idAt(1), 4).toStdString(), "176.9150");
}

// --- scrip details ---

class ScriptedServer final : public ServerAccess {
public:
    ServerReply downLoadFile(const std::string&, int, const std::string&) override { return {}; }
    ServerReply requestServer(int, int transCode, const std::string& text) override
    {
        std::lock_guard lock(m_mutex);
        m_sent.push_back(std::to_string(transCode) + " " + text);
        return m_reply;
    }
    void setReply(ServerReply r)
    {
        std::lock_guard lock(m_mutex);
        m_reply = std::move(r);
    }
    std::vector<std::string> sent() const
    {
        std::lock_guard lock(m_mutex);
        return m_sent;
    }

private:
    mutable std::mutex m_mutex;
    ServerReply m_reply;              // guarded by m_mutex
    std::vector<std::string> m_sent;  // guarded by m_mutex
};

TEST_F(MarketWindows, ScripDetailsAskOnAWorkerAndShowTheReply)
{
    std::strcpy(pv_user_info.session_id, "SESS0001");
    ScriptedServer server;
    server.setReply({200, "112|1|No details for this scrip"});
    {
        CScriptDetails d;
        d.setServer(&server);
        d.setSecurityIndex(find("GOLD~CF~05FEB27", "MC"));
        d.prepare();
        EXPECT_EQ(d.rowCount(), 20);
        EXPECT_EQ(d.text(CScriptDetails::kName), "GOLD~CF~05FEB27~MCX-CM");
        ASSERT_TRUE(pumpUntil([&] { return prompter.askCount() == 1; }));
        EXPECT_EQ(prompter.asks()[0].text, "No details for this scrip");
        EXPECT_EQ(d.cellText(0, 1), "");
        EXPECT_EQ(server.sent(), (std::vector<std::string>{"22 WD=112|SESS0001|4001|MC|4"}));
    }
    server.setReply({200, "112|0|OK^1|2|3|105|4|5|100"});
    CScriptDetails d;
    d.setServer(&server);
    d.setSecurityIndex(find("TCS~EQ", "NN"));
    d.prepare();
    ASSERT_TRUE(pumpUntil([&] { return d.loaded(); }));
    EXPECT_EQ(d.rowCount(), 15);
    EXPECT_EQ(d.cellText(0, 1), "105");
    EXPECT_EQ(d.cellText(3, 1), "5.00");
    EXPECT_EQ(d.cellText(3, 3), "5.00");
    EXPECT_EQ(d.ApplyReply(500, ""), -1);
    EXPECT_EQ(prompter.asks().back().text, "Internet Connectivity Error [500]. Pls contact System Administrator");
    EXPECT_EQ(prompter.asks().back().caption, "Internet Error");
}

// --- option calculator ---

TEST_F(MarketWindows, OptionCalculatorPricesAndRefuses)
{
    COptionCalc calc;
    calc.prepare();
    ui::FormDriver drive(calc);
    drive.type(COptionCalc::kPrice, "100").type(COptionCalc::kStrike, "100").type(COptionCalc::kDays, "29");
    drive.type(COptionCalc::kRate, "10").type(COptionCalc::kVolatility, "20").click(COptionCalc::kCalculate);
    EXPECT_EQ(calc.text(COptionCalc::kResult), "2.71");
    drive.pick(COptionCalc::kKind, 1).click(COptionCalc::kCalculate);
    EXPECT_EQ(calc.text(COptionCalc::kResult), "1.89");
    // A box that holds no price, however it got past the character check,
    // is named, keeps the focus, and no price of other inputs stays shown.
    const struct {
        const char* price;
        const char* strike;
        const char* volatility;
        const char* message;
        int focus;
    } refused[] = {
        {"26200", "abc", "20", "Please enter Valid Strike Price", COptionCalc::kStrike},
        {"26200", "0", "20", "Please enter Valid Strike Price", COptionCalc::kStrike},
        {"abc", "100", "20", "Please enter Valid Underline Security LTP", COptionCalc::kPrice},
        {"0.00", "0", "20", "Please enter Valid Underline Security LTP", COptionCalc::kPrice},
        {"100", "100", "-20", "Please enter Valid Volatility", COptionCalc::kVolatility},
    };
    for (const auto& c : refused) {
        drive.type(COptionCalc::kPrice, "100").type(COptionCalc::kStrike, "100").type(COptionCalc::kVolatility, "20");
        drive.click(COptionCalc::kCalculate);
        ASSERT_EQ(calc.text(COptionCalc::kResult), "1.89");
        const size_t asked = prompter.asks().size();
        drive.type(COptionCalc::kPrice, c.price).type(COptionCalc::kStrike, c.strike);
        drive.type(COptionCalc::kVolatility, c.volatility).click(COptionCalc::kCalculate);
        ASSERT_EQ(prompter.asks().size(), asked + 1) << c.price << " " << c.strike;
        EXPECT_EQ(prompter.asks().back().text, c.message);
        EXPECT_EQ(calc.focusedId(), c.focus) << c.message;
        EXPECT_EQ(calc.text(COptionCalc::kResult), "") << c.price << " " << c.strike;
    }
    EXPECT_TRUE(drive.problems().empty());
}

// --- index view and indices bar ---

IndexRecord makeIndex(const char* name, const char* code, const char* exch, int feedCode, int security)
{
    IndexRecord r;
    std::strncpy(r.name, name, sizeof r.name - 1);
    std::strncpy(r.code, code, sizeof r.code - 1);
    std::strncpy(r.exchange, exch, sizeof r.exchange - 1);
    r.feedCode = feedCode;
    r.securityIndex = security;
    return r;
}

class IndexWindows : public MarketWindows {
protected:
    void SetUp() override
    {
        MarketWindows::SetUp();
        std::vector<IndexRecord> rows = {makeIndex("NIFTY 50", "NIFTY", "NN", 51999, find("INFY~EQ", "NN")),
                                         makeIndex("SENSEX", "SENSEX", "BN", 1, -1),
                                         makeIndex("USDINR", "", "CN", 5, -1),
                                         makeIndex("MCXCOMDEX", "COMDEX", "MC", 7, -1),
                                         makeIndex("NIFTY IT", "NIFTYIT", "NN", 9, find("TCS~EQ", "NN"))};
        IndexTable::instance().assign(rows, 100);
        g_AppSettings.gain_threshold = 0;
        g_AppSettings.loss_threshold = 0;
    }
    IndexRecord broadcast(int number, double pct, double value = 1000)
    {
        IndexRecord r = IndexTable::instance().entries()[static_cast<size_t>(number)];
        r.values[0] = value;
        r.values[6] = pct;
        r.ticks[0] = 2;
        r.ticks[5] = 3;
        IndexTable::instance().change(number, [&](IndexRecord& e) { e = r; });
        return r;
    }
};

TEST_F(IndexWindows, IndexViewRowsSubscriptionAndHighlights)
{
    CIndexView* view = OpenIndexView(nullptr);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(OpenIndexView(nullptr), view);
    ui::GridModel& m = view->grid()->model();
    ASSERT_EQ(m.rowTotal(), 5);
    EXPECT_EQ(m.text(m.idAt(0), 3).toStdString(), "0.00");
    EXPECT_EQ(m.text(m.idAt(2), 3).toStdString(), "0.0000");
    EXPECT_EQ(m.text(m.idAt(3), 1).toStdString(), "MCX-CM");
    // One entry per index, "0," for those without a security; a 201 follows.
    EXPECT_EQ(FeedSubscriptions::instance().indexTokenList(), "3187,0,0,0,23071,");
    EXPECT_EQ(FeedSubscriptions::instance().indexTokenCount(), 5);
    EXPECT_EQ(m_requests, (std::vector<int>{1}));

    // Thresholds of 0 never highlight.
    MarketFeed::indexUpdated(broadcast(0, 900));
    view->OnTimer();
    const int row = view->rowOf(0);
    EXPECT_EQ(m.text(row, 3).toStdString(), "10.00");
    EXPECT_EQ(m.icon(row, 2), 10);
    EXPECT_EQ(IndexTable::instance().entries()[0].flag, 0);
    // The first crossing recolours cells 0-2 and they keep that colour.
    g_AppSettings.gain_threshold = 500;
    g_AppSettings.gain_colour = 0x00FF00;
    MarketFeed::indexUpdated(broadcast(0, 600));
    view->OnTimer();
    EXPECT_EQ(IndexTable::instance().entries()[0].flag, 1);
    EXPECT_EQ(m.backColour(row, 0).bgr, 0x00FF00u);
    MarketFeed::indexUpdated(broadcast(0, 100));
    view->OnTimer();
    EXPECT_EQ(m.backColour(row, 0).bgr, 0x00FF00u);
    EXPECT_EQ(m.backColour(row, 3).bgr, g_AppSettings.up_back_colour);

    // A right click on an "MC" index shows no menu; on "NN" with a code it does.
    view->selectIndex(3);
    prompter.queueMenuCommand(0);
    view->OnContextMenu(10, 10);
    view->selectIndex(0);
    view->OnContextMenu(10, 10);
    view->selectIndex(2); // "CN" without a code: no entries
    view->OnContextMenu(10, 10);
    EXPECT_EQ(prompter.menus().size(), 1u);

    // Closed, the bar's four indices are subscribed again.
    delete view;
    EXPECT_EQ(CIndexView::instance(), nullptr);
    EXPECT_EQ(IndexTable::instance().entries()[0].gridRowNumber, -1);
}

TEST_F(IndexWindows, IndicesBarChoosesSavesAndReadsBack)
{
    std::strcpy(pv_user_info.user_id, "U1");
    pf::files::writeAll(IndicesFilePath(paths.data(), "U1"), "9~51999~1~5~");
    EXPECT_FALSE(UpdateIndices());
    auto* bar = new CIndicesDlg;
    bar->resize(600, 80);
    bar->show();
    ASSERT_TRUE(bar->OnInitDialog(false));
    EXPECT_EQ(bar->buttonIndex(1), 4);
    EXPECT_EQ(bar->buttonIndex(2), 0);
    EXPECT_EQ(FeedSubscriptions::instance().indexTokenList(), "23071,3187,");

    // An index already on button 4 chosen for button 2.
    prompter.queueMenuCommand(CIndicesDlg::kIndexEntryBase + 2);
    bar->OnBtnIndex(2);
    ASSERT_EQ(prompter.asks().size(), 1u);
    EXPECT_EQ(prompter.asks()[0].text, "Index is already selected");
    EXPECT_EQ(bar->buttonIndex(2), 0);
    // MCXCOMDEX (broadcast 7) replaces NIFTY 50 on button 2 and is written at once.
    prompter.queueMenuCommand(CIndicesDlg::kIndexEntryBase + 3);
    bar->OnBtnIndex(2);
    EXPECT_EQ(bar->buttonIndex(2), 3);
    EXPECT_EQ(IndexTable::instance().entries()[0].button, -1);
    EXPECT_EQ(IndexTable::instance().entries()[3].button, 2);
    EXPECT_EQ(pf::files::readAll(IndicesFilePath(paths.data(), "U1")), "9~7~1~5~");
    const auto perms = std::filesystem::status(IndicesFilePath(paths.data(), "U1")).permissions();
    EXPECT_EQ(perms & std::filesystem::perms::others_read, std::filesystem::perms::none);

    // Values: unchanged shows 252; one line at 34 px or wherever four lines
    // would be cut, four lines where they fit.
    IndexRecord r = broadcast(4, 51, 2412345);
    MarketFeed::indexUpdated(r);
    bar->OnTimer();
    EXPECT_EQ(bar->buttonImage(1), 254);
    MarketFeed::indexUpdated(r);
    bar->OnTimer();
    EXPECT_EQ(bar->buttonImage(1), 252);
    bar->applySize(600, 34);
    EXPECT_TRUE(bar->compact());
    EXPECT_EQ(bar->button(1)->text().count('\n'), 0);
    const int full = bar->fullTextHeight();
    EXPECT_GE(full, 4 * QFontMetrics(bar->button(1)->font()).lineSpacing());
    bar->applySize(600, std::max(35, full - 1));
    EXPECT_TRUE(bar->compact());
    EXPECT_EQ(bar->button(1)->text().count('\n'), 0);
    EXPECT_EQ(bar->button(1)->toolTip().count('\n'), 3) << "the whole text on the mouse";
    bar->applySize(600, full);
    EXPECT_FALSE(bar->compact());
    EXPECT_EQ(bar->button(1)->text().count('\n'), 3);
    // Standing on end, each button has a quarter of the height.
    bar->applySize(150, 4 * full - 4);
    EXPECT_TRUE(bar->compact());
    bar->applySize(150, 4 * full);
    EXPECT_FALSE(bar->compact());

    // Two buttons written as "5~7~" read back into the same places.
    pf::files::writeAll(IndicesFilePath(paths.data(), "U1"), IndicesLine({5, 7, 0, 0}));
    EXPECT_TRUE(UpdateIndices()); // two places filled by defaults: rewrite
    const auto entries = IndexTable::instance().entries();
    EXPECT_EQ(entries[2].button, 1);
    EXPECT_EQ(entries[3].button, 2);
}

TEST_F(IndexWindows, ARightClickOnAnIndexButtonOffersTheChartAndTheChainOfItsIndex)
{
    std::strcpy(pv_user_info.user_id, "U1");
    pf::files::writeAll(IndicesFilePath(paths.data(), "U1"), "9~51999~1~5~");
    EXPECT_FALSE(UpdateIndices());
    std::vector<std::pair<int, int>> charts;
    std::vector<int> chains;
    const MarketHooks kept = marketHooks();
    marketHooks().openIndexChart = [&](int n, int kind) { charts.emplace_back(n, kind); };
    marketHooks().openIndexChain = [&](int n) { chains.push_back(n); };
    auto* bar = new CIndicesDlg;
    bar->resize(600, 80);
    bar->show();
    ASSERT_TRUE(bar->OnInitDialog(false));
    ASSERT_EQ(bar->buttonIndex(2), 0);
    const auto rightClick = [&](int button) {
        QWidget* b = bar->button(button);
        QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(5, 5), b->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(b, &e);
    };
    prompter.queueMenuCommand(CIndicesDlg::ID_INDEX_INTRADAY_CHART);
    rightClick(2);
    const std::vector<ui::MenuSpec> menus = prompter.menus();
    ASSERT_EQ(menus.size(), 1u);
    std::vector<std::string> texts;
    for (const auto& item : menus[0].items)
        texts.push_back(item.text);
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[0], "&Intraday Chart");
    EXPECT_EQ(texts[1], "Derivative &Chain");
    prompter.queueMenuCommand(CIndicesDlg::ID_INDEX_DERIVATIVE_CHAIN);
    rightClick(2);
    EXPECT_EQ(charts, (std::vector<std::pair<int, int>>{{0, 3}}));
    EXPECT_EQ(chains, std::vector<int>{0});
    marketHooks() = kept;
}

// A rising or falling index's button reads in every theme: its text is
// chosen against the colour it takes, the user's falling colour among them.
TEST_F(IndexWindows, ARisingOrFallingButtonReadsOnItsColour)
{
    std::strcpy(pv_user_info.user_id, "U1");
    pf::files::writeAll(IndicesFilePath(paths.data(), "U1"), "9~51999~1~5~");
    EXPECT_FALSE(UpdateIndices());
    const testkit::KeepLook keep([theme = g_AppSettings.theme] { g_AppSettings.theme = theme; });
    for (const ThemeEntry& t : RibbonThemes()) {
        g_AppSettings.theme = t.id;
        ui::ThemeManager::apply(ThemeLookFor(t.id));
        auto* bar = new CIndicesDlg;
        bar->resize(600, 80);
        bar->show();
        ASSERT_TRUE(bar->OnInitDialog(false));
        double value = 2412345;
        for (const int image : {254, 253}) {
            value += image == 254 ? 100 : -200;
            MarketFeed::indexUpdated(broadcast(4, 51, value));
            bar->OnTimer();
            ASSERT_EQ(bar->buttonImage(1), image) << t.text;
            QToolButton* button = bar->button(1);
            const QColor fore = button->palette().color(QPalette::ButtonText);
            const QColor back = button->palette().color(QPalette::Button);
            EXPECT_GE(testkit::contrastRatio(fore, back), testkit::kMinContrast)
                << t.text << " " << image << ": " << fore.name().toStdString() << " on " << back.name().toStdString();
        }
        delete bar;
    }
}

} // namespace

} // namespace test_market_windows
