// The market watch's row menu and commands on the offscreen platform: the
// menu built for the selection, the watch-list dialog's actions and their
// requests, editing the list (remove, cut, paste, save), the column chooser,
// the add-scrip and scrip-search dialogs, CSV, type-ahead, GTC and the
// advisory page. The server is a recording fake.
#include "feed_test_support.h"

#include "server/ServerAccess.h"
#include "server/WatchColumns.h"
#include "watch/WatchFeed.h"
#include "watch/base/WatchlistTable.h"

#include "app/base/AppSettings.h"
#include "app/base/ProgramPaths.h"
#include "frame/OrderFormService.h"
#include "frame/controls/CMyGridCtrl.h"
#include "frame/WatchOrderCommands.h"
#include "testkit/headless.h"
#include "watch/CColumnSelect.h"
#include "watch/CScrip.h"
#include "watch/CScripSearch.h"
#include "watch/CVortanexView.h"
#include "watch/CWatch.h"
#include "watch/WatchCommands.h"
#include "frame/WatchOpeners.h"

#include <QApplication>
#include <QTest>
#include <QItemSelectionModel>
#include <QTreeView>
#include <QTreeWidget>

#include <fstream>
#include <mutex>

namespace test_watch_commands {

namespace {

using feedtest::watchToken;

// Answers the watch-list codes as a broker would and records what it got.
class FakeWatchServer final : public ServerAccess {
public:
    ServerReply downLoadFile(const std::string&, int, const std::string&) override { return {}; }
    ServerReply requestServer(int, int code, const std::string& text) override
    {
        std::lock_guard lock(mutex);
        sent.emplace_back(code, text);
        if (auto it = replies.find(code); it != replies.end())
            return it->second;
        return {404, "Unknown"};
    }
    // The watch-list dialog's and the save's requests (codes 3, 4, 5, 8).
    std::vector<std::pair<int, std::string>> requests()
    {
        std::lock_guard lock(mutex);
        std::vector<std::pair<int, std::string>> out;
        for (const auto& r : sent)
            if (r.first == 3 || r.first == 4 || r.first == 5 || r.first == 8)
                out.push_back(r);
        return out;
    }
    std::mutex mutex;
    std::map<int, ServerReply> replies; // guarded by mutex
    std::vector<std::pair<int, std::string>> sent; // guarded by mutex
};

SecurityRecord extraRecord(const char* symbol, const char* inst, const char* exch, int token, const char* key)
{
    SecurityRecord r;
    r.token = token;
    r.wtoken = 2 * token - 1;
    r.symbol.assign(symbol);
    r.inst_type.assign(inst);
    r.market_exchange.assign(exch);
    r.setDisplayKey(key);
    return r;
}

class WatchCommandsTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        feedtest::resetFeedGlobals();
        SetProgramPaths(paths);
        SetDefaultSettings();
        std::strcpy(pv_user_info.session_id, "S1");
        pv_user_info.encrypt = 0;
        WatchlistTable::instance().reset();
        restoreDefaultLayout();
        g_WatchOpenRequest = {};
        CVortanexView::services() = {};
        CVortanexView::services().server = &server;
        WatchCommands::services() = {};
        watchOpeners() = {};
        server.replies[3] = {200, "101|0|Watch List Added||501"};
        server.replies[4] = {200, "103|0|Watch List Renamed"};
        server.replies[5] = {200, "102|0|Watch List Deleted"};
        server.replies[8] = {200, "107|0|Watch List Saved||777"};
        // Securities 0..2999 are NSE equities; 3000 an option, 3001 a
        // commodity, 3002 an equity with a real display key, 3003 an index
        // option with a key as long as they come.
        SecurityRecord option = extraRecord("ABC", "OS", "NN", 5001, "ABC~OS~27MAR25~100.00~CE");
        option.expiry.assign("27MAR25");
        option.strike = 100;
        option.option_type.assign("CE");
        m_table = feedtest::publishTable(
            3000, {option,
                   extraRecord("GOLD", "CF", "MC", 5002, "GOLD~CF~30APR25"),
                   extraRecord("QQQ", "EQ", "NN", 5003, "QQQ~EQ"),
                   extraRecord("BANKNIFTY", "OI", "NN", 5004, "BANKNIFTY~OI~23FEB27~58900.00~CE")});
        g_Session.clients.assign(1, ClientInfo{});
        std::strcpy(g_Session.clients[0].client_code, "ABC12");
        g_Session.clients[0].active = 1;
        pv_user_info.client_index = 0;
        SetTradingAllowed(true);
    }
    void TearDown() override
    {
        if (CScripSearch* s = CScripSearch::modeless())
            delete s;
        for (CVortanexView* v : CVortanexView::openViews())
            delete v;
        QApplication::processEvents();
        WatchlistTable::instance().reset();
        restoreDefaultLayout();
        CVortanexView::services() = {};
        WatchCommands::services() = {};
        watchOpeners() = {};
        g_WatchOpenRequest = {};
        g_Session.clients.clear();
        pv_user_info.client_index = -1;
        SetLoginFlags(std::string(128, '0'));
        g_Config.Redirect_Url[0] = '\0';
        FeedSubscriptions::instance().reset();
        SecurityTable::publish(nullptr);
        Headless::TearDown();
    }

    // "Set As Default" changes the table's default layout, which outlives a reset.
    static void restoreDefaultLayout()
    {
        const WatchColumnLayout d = DefaultWatchColumns();
        WatchlistTable::instance().setDefaultLayout(d.count, d.kinds);
    }
    static int addList(const char* name, std::vector<int> securities = {}, int id = -1, int inUse = 1)
    {
        WatchlistTable& t = WatchlistTable::instance();
        WatchlistRecord r;
        std::strcpy(r.name, name);
        r.id = id >= 0 ? id : 100 + t.count();
        r.inUse = inUse;
        r.columnCount = t.defaultColumnCount() + kFixedWatchColumns;
        r.kinds = t.defaultKinds();
        r.rowCapacity = 10;
        for (int s : securities)
            r.rows.push_back({watchToken(s), s, 0, '1', 0, 0, nullptr});
        r.rowCount = static_cast<int>(r.rows.size());
        return t.append(r);
    }
    static CVortanexView* openList(int index)
    {
        g_WatchOpenRequest.watchIndex = index;
        WatchCommands::OnOpenWatchlist();
        for (CVortanexView* v : CVortanexView::openViews())
            if (v->watchIndex() == index)
                return v;
        return nullptr;
    }
    static void selectPositions(CVortanexView* v, std::vector<int> positions)
    {
        v->grid()->tree()->selectionModel()->clearSelection();
        bool first = true;
        for (int p : positions) {
            v->grid()->selectRow(v->gridRowOf(p), !first);
            first = false;
        }
    }
    static std::vector<std::string> texts(const std::vector<ui::MenuItem>& items)
    {
        std::vector<std::string> out;
        for (const ui::MenuItem& i : items)
            if (i.id != 0 || !i.children.empty())
                out.push_back(i.text);
        return out;
    }
    static const ui::MenuItem* find(const std::vector<ui::MenuItem>& items, int id)
    {
        for (const ui::MenuItem& i : items) {
            if (i.id == id)
                return &i;
            if (const ui::MenuItem* c = find(i.children, id))
                return c;
        }
        return nullptr;
    }
    std::vector<std::string> gridSecurities(CVortanexView* v)
    {
        std::vector<std::string> out;
        for (int rowId : v->rowsInGridOrder(false))
            out.push_back(v->grid()->model().text(rowId, 0).toStdString());
        return out;
    }

    FakeWatchServer server;
    std::shared_ptr<SecurityTable> m_table;
};

TEST_F(WatchCommandsTest, TheMenuFollowsTheSelection)
{
    CVortanexView* v = openList(addList("Mine", {10, 11, 3000, 3001}));
    ASSERT_NE(v, nullptr);
    const std::vector<std::string> tail = {"Columns", "Move Scrips", "Export to &Excel", "&Watchlist",
                                           "&Future Chain", "Save as CS&V"};
    const auto with = [&](std::vector<std::string> head, std::vector<std::string> end) {
        head.insert(head.end(), end.begin(), end.end());
        return head;
    };
    const struct {
        const char* name;
        std::vector<int> rows;
        std::vector<std::string> items;
    } cases[] = {
        {"no row", {}, with({"&Add Scrip"}, tail)},
        {"one equity",
         {0},
         with({"&Buy SYM10-EQ", "&Sell SYM10-EQ", "Maxivane Buy", "Maxivane Sell", "&Add Scrip", "&Remove SYM10-EQ",
               "SYM10-EQ &Details", "SYM10-EQ Trades", "SYM10-EQ Orders", "SYM10-EQ Set A&lert",
               "SYM10-EQ &Eod Chart", "SYM10-EQ &Intraday Chart", "Place SYM10-EQ GTC Order",
               "SYM10-EQ Pellbrook Trends", "&Market Depth", "Columns", "Move Scrips", "Export to &Excel",
               "&Watchlist", "Derivative &Chain", "&Future Chain", "Basket &Order", "Save as CS&V", "Google &News",
               "Company &Profile"},
              {})},
        {"one option: no leveraged orders, no end-of-day chart",
         {2},
         {"&Buy ABC~OS~27MAR25~100.00~CE", "&Sell ABC~OS~27MAR25~100.00~CE", "&Add Scrip",
          "&Remove ABC~OS~27MAR25~100.00~CE", "ABC~OS~27MAR25~100.00~CE &Details", "ABC~OS~27MAR25~100.00~CE Trades",
          "ABC~OS~27MAR25~100.00~CE Orders", "ABC~OS~27MAR25~100.00~CE Set A&lert",
          "ABC~OS~27MAR25~100.00~CE &Intraday Chart", "Place ABC~OS~27MAR25~100.00~CE GTC Order",
          "ABC~OS~27MAR25~100.00~CE Pellbrook Trends", "&Market Depth", "Columns", "Move Scrips", "Export to &Excel",
          "&Watchlist", "Derivative &Chain", "&Future Chain", "Basket &Order", "Save as CS&V", "Google &News",
          "Company &Profile"}},
        {"one commodity: no news or profile",
         {3},
         {"&Buy GOLD~CF~30APR25", "&Sell GOLD~CF~30APR25", "Maxivane Buy", "Maxivane Sell", "&Add Scrip",
          "&Remove GOLD~CF~30APR25", "GOLD~CF~30APR25 &Details", "GOLD~CF~30APR25 Trades", "GOLD~CF~30APR25 Orders",
          "GOLD~CF~30APR25 Set A&lert", "GOLD~CF~30APR25 &Intraday Chart", "Place GOLD~CF~30APR25 GTC Order",
          "GOLD~CF~30APR25 Pellbrook Trends", "&Market Depth", "Columns", "Move Scrips", "Export to &Excel",
          "&Watchlist", "Derivative &Chain", "&Future Chain", "Basket &Order", "Save as CS&V"}},
        {"several rows",
         {0, 1},
         {"&Buy", "&Sell", "Maxivane Buy", "Maxivane Sell", "&Add Scrip", "&Remove Scrip", "Scrip &Details",
          "Place GTC Order", "&Market Depth", "Columns", "Move Scrips", "Export to &Excel", "&Watchlist",
          "Derivative &Chain", "&Future Chain", "Basket &Order", "Save as CS&V"}},
    };
    for (const auto& c : cases) {
        selectPositions(v, c.rows);
        const ui::MenuSpec menu = v->BuildContextMenu();
        EXPECT_EQ(texts(menu.items), c.items) << c.name;
        const ui::MenuItem* buy = find(menu.items, 32972);
        if (buy) {
            EXPECT_EQ(buy->enabled, c.rows.size() == 1) << c.name;
        }
        EXPECT_FALSE(find(menu.items, 32980)->enabled) << c.name;
        if (const ui::MenuItem* alert = find(menu.items, 32992)) {
            EXPECT_FALSE(alert->enabled) << c.name; // no alert manager installed
        }
    }

    // A view-only user gets no enabled Buy or Sell; a held cut removes "Cut selected".
    SetTradingAllowed(false);
    selectPositions(v, {0});
    ui::MenuSpec menu = v->BuildContextMenu();
    EXPECT_FALSE(find(menu.items, 32972)->enabled);
    EXPECT_FALSE(find(menu.items, 32974)->enabled);
    EXPECT_EQ(find(menu.items, 33306), nullptr);
    SetTradingAllowed(true);
    ASSERT_NE(find(menu.items, 32938), nullptr);
    v->OnMenuCutScrip();
    selectPositions(v, {1});
    menu = v->BuildContextMenu();
    EXPECT_EQ(find(menu.items, 32938), nullptr);
}

TEST_F(WatchCommandsTest, CommandsOfWindowsNotBuiltYetSaySo)
{
    CVortanexView* v = openList(addList("Mine", {10}));
    ASSERT_NE(v, nullptr);
    selectPositions(v, {0});
    v->OnPopupMarketDepth();
    v->OnPopupScripDetails();
    v->OnEodChart();
    EXPECT_EQ(prompter.asks().size(), 3u);
    for (const auto& a : prompter.asks())
        EXPECT_NE(a.text.find("is not available in this version."), std::string::npos) << a.text;

    // Installed openers get the row's security.
    std::vector<std::pair<int, int>> opened;
    watchOpeners().depth = [&](QWidget*, int s) { opened.emplace_back(1, s); };
    watchOpeners().chart = [&](int s, int kind) { opened.emplace_back(10 + kind, s); };
    selectPositions(v, {0});
    v->OnPopupMarketDepth();
    v->OnIntraDayChart();
    EXPECT_EQ(opened, (std::vector<std::pair<int, int>>{{1, 10}, {12, 10}}));
}

TEST_F(WatchCommandsTest, SaveSendsTheGridsRowsAndStoresTheNewId)
{
    // A new list of this window (id 0) with rows 10, 11, 12 loaded from the server.
    const int index = addList("Abc", {10, 11, 12}, 0);
    CVortanexView* v = openList(index);
    ASSERT_NE(v, nullptr);

    // Remove 11, then cut 12 and paste it back after 10.
    prompter.answerWhen("Do you want to remove selected scrips.", ui::Yes);
    selectPositions(v, {1});
    v->OnPopupRemovescript();
    EXPECT_EQ(gridSecurities(v), (std::vector<std::string>{"SYM10-EQ", "SYM12-EQ"}));
    // The removed server row keeps its token until the save drops it.
    EXPECT_EQ(WatchlistTable::instance().record(index).rows[1].token, watchToken(11));
    EXPECT_EQ(WatchlistTable::instance().record(index).rows[1].state, -1);
    selectPositions(v, {2});
    v->OnMenuCutScrip();
    EXPECT_EQ(v->cutList(), (std::vector<int>{12}));
    EXPECT_EQ(gridSecurities(v), (std::vector<std::string>{"SYM10-EQ"}));
    selectPositions(v, {0});
    v->OnMenuPasteScrip();
    EXPECT_TRUE(v->cutList().empty());
    EXPECT_EQ(gridSecurities(v), (std::vector<std::string>{"SYM10-EQ", "SYM12-EQ"}));

    prompter.answerWhen("Watch List Saved Successfully", ui::Ok);
    v->OnPopupWatchlistSavewatchlist();
    auto sent = server.requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].first, 8);
    // Row 10 was stored (state 0); 12 was pasted (state 1); 11 is gone.
    EXPECT_EQ(sent[0].second, "WD=107|S1|U1|Abc|2^11|NSE|0~13|NSE|1~|4");
    const WatchlistRecord saved = WatchlistTable::instance().record(index);
    EXPECT_EQ(saved.id, 777);
    ASSERT_EQ(saved.rows.size(), 2u);
    for (const WatchRowEntry& e : saved.rows) {
        EXPECT_EQ(e.state, 0);
        EXPECT_EQ(e.origin, '1');
    }
    EXPECT_EQ(v->list().id, 777);

    // A refused save changes nothing here.
    server.replies[8] = {200, "107|1|List is locked"};
    prompter.answerWhen("List is locked", ui::Ok);
    v->OnPopupWatchlistSavewatchlist();
    EXPECT_EQ(WatchlistTable::instance().record(index).id, 777);
    EXPECT_EQ(prompter.asks().back().caption, "Save Watchlist Error");
    // A reply without the list's id is no success either.
    server.replies[8] = {200, "107|0|Saved"};
    v->OnPopupWatchlistSavewatchlist();
    EXPECT_EQ(prompter.asks().back().caption, "Save Watchlist Error");

    // A list too long for RSA request encoding is not sent; the user is told why.
    for (int s = 100; s < 160; ++s)
        v->OnAddscrip(1, 1, s, -10);
    pv_user_info.encrypt = 2;
    const size_t before = server.requests().size();
    v->OnPopupWatchlistSavewatchlist();
    pv_user_info.encrypt = 0;
    EXPECT_EQ(server.requests().size(), before);
    EXPECT_NE(prompter.asks().back().text.find("too long"), std::string::npos);
}

TEST_F(WatchCommandsTest, PasteRefusalsAndTheHundredRowLimit)
{
    CVortanexView* source = openList(addList("Source", {500, 501}));
    ASSERT_NE(source, nullptr);
    selectPositions(source, {0, 1});
    source->OnMenuCutScrip();
    ASSERT_EQ(source->cutList().size(), 2u);
    // Filled to 100 rows meanwhile: the paste stops with the message and keeps the cut.
    for (int s = 1000; CountWatchRows(WatchlistTable::instance().record(source->watchIndex())) < 100; ++s)
        source->OnAddscrip(1, 1, s, -10);
    prompter.answerWhen("no more scrips will be pasted", ui::Ok);
    source->OnMenuPasteScrip();
    EXPECT_EQ(prompter.asks().back().text,
              "Sorry. You can only have 100 securities in a Watchlist no more scrips will be pasted.");
    EXPECT_EQ(source->cutList(), (std::vector<int>{500, 501}));
    EXPECT_EQ(CountWatchRows(WatchlistTable::instance().record(source->watchIndex())), 100);

    // A built-in list takes no paste.
    WatchlistTable::instance().update(source->watchIndex(), [](WatchlistRecord& r) { r.id = -10003; });
    source->SelectWatchlist(source->watchIndex(), 1);
    prompter.answerWhen("You cannot add Scrips in Default Watchlist", ui::Ok);
    source->OnMenuPasteScrip();
    EXPECT_EQ(prompter.asks().back().text, "You cannot add Scrips in Default Watchlist");
    EXPECT_EQ(source->cutList().size(), 2u);
}

TEST_F(WatchCommandsTest, WatchDialogAddsRenamesAndRemovesLists)
{
    addList("Taken", {}, 300); // another list's name
    const int first = addList("First", {1, 2});
    CVortanexView* v = openList(first);
    ASSERT_NE(v, nullptr);

    // Add: the name is trimmed, an existing name refused, the id taken from the reply.
    modalHost.script("CWatch", [](ui::FormDriver& d) {
        d.type(CWatch::kName, "  Taken \t");
        d.click(1);
        d.type(CWatch::kName, " Abc\t");
        d.click(1);
    });
    prompter.answerWhen("Watchlist Name already exists.", ui::Ok);
    v->OnPopupWatchlistAddwatchlist();
    auto sent = server.requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], std::make_pair(3, std::string("WD=101|S1|U1|Abc|0|4")));
    const int abc = v->watchIndex();
    EXPECT_NE(abc, first);
    EXPECT_STREQ(WatchlistTable::instance().record(abc).name, "Abc");
    EXPECT_EQ(WatchlistTable::instance().record(abc).id, 501);
    EXPECT_EQ(v->title(), "Watchlist - Abc");

    // Rename to a name another list holds: refused, nothing sent.
    modalHost.script("CWatch", [](ui::FormDriver& d) {
        const auto items = d.form().comboItems(CWatch::kCategory);
        const auto at = std::find(items.begin(), items.end(), "Abc");
        d.pick(CWatch::kCategory, int(at - items.begin()));
        d.type(CWatch::kName, "Taken");
        d.click(1);
        d.type(CWatch::kName, "Xyz");
        d.click(1);
    });
    v->OnPopupWatchlistRenamewatchlist();
    sent = server.requests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1], std::make_pair(4, std::string("WD=103|S1|U1|501|Abc|Xyz|4")));
    EXPECT_STREQ(WatchlistTable::instance().record(abc).name, "Xyz");
    EXPECT_EQ(v->title(), "Watchlist - Xyz");

    // A list the server never held (id 0) is renamed and removed without a request.
    const int local = addList("Local", {3}, 0);
    CVortanexView* w1 = openList(local);
    ASSERT_NE(w1, nullptr);
    // A second window of the same list (opened directly, as the pane can).
    g_WatchOpenRequest.watchIndex = local;
    g_WatchOpenRequest.openType = 0;
    auto* w2 = new CVortanexView;
    w2->show();
    w2->OnInitialUpdate();
    ASSERT_EQ(w2->watchIndex(), local);
    modalHost.script("CWatch", [](ui::FormDriver& d) {
        const auto items = d.form().comboItems(CWatch::kCategory);
        const auto at = std::find(items.begin(), items.end(), "Local");
        d.pick(CWatch::kCategory, int(at - items.begin()));
        d.click(1);
    });
    v->OnPopupWatchlistRemovewatchlist();
    EXPECT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(WatchlistTable::instance().record(local).inUse, 0);
    // Every window of it closes; the others stay.
    EXPECT_TRUE(pumpUntil([&] { return CVortanexView::openViews().size() == 1; }));
    EXPECT_EQ(CVortanexView::openViews().front(), v);

    // A list deleted in the session can be added again under its name; the
    // deleted record stays (no index moves) without the name.
    const size_t asked = prompter.asks().size();
    modalHost.script("CWatch", [](ui::FormDriver& d) {
        d.type(CWatch::kName, "Local");
        d.click(1);
    });
    v->OnPopupWatchlistAddwatchlist();
    for (size_t i = asked; i < prompter.asks().size(); ++i)
        EXPECT_EQ(prompter.asks()[i].text.find("already exists"), std::string::npos);
    EXPECT_EQ(server.requests().back(), std::make_pair(3, std::string("WD=101|S1|U1|Local|0|4")));
    const int again = v->watchIndex();
    EXPECT_NE(again, local);
    EXPECT_STREQ(WatchlistTable::instance().record(again).name, "Local");
    EXPECT_EQ(WatchlistTable::instance().record(again).inUse, 1);
    EXPECT_EQ(WatchlistTable::instance().record(local).inUse, 0);
    EXPECT_STREQ(WatchlistTable::instance().record(local).name, "");
    const size_t sentBefore = server.requests().size();

    // A refused removal on the server changes nothing.
    server.replies[5] = {200, "102|1|Not allowed"};
    prompter.answerWhen("Not allowed", ui::Ok);
    modalHost.script("CWatch", [](ui::FormDriver& d) {
        const auto items = d.form().comboItems(CWatch::kCategory);
        const auto at = std::find(items.begin(), items.end(), "Xyz");
        d.pick(CWatch::kCategory, int(at - items.begin()));
        d.click(1);
    });
    v->OnPopupWatchlistRemovewatchlist();
    EXPECT_EQ(server.requests().size(), sentBefore + 1);
    EXPECT_EQ(server.requests().back(), std::make_pair(5, std::string("WD=102|S1|U1|Xyz|501|4")));
    EXPECT_EQ(WatchlistTable::instance().record(abc).inUse, 1);

    // Chart-study mode: the name is trimmed and may hold a point, not a blank.
    modalHost.script("CWatch", [](ui::FormDriver& d) {
        d.type(CWatch::kName, "  ");
        d.click(1);
        d.type(CWatch::kName, " RSI.14 ");
        d.click(1);
    });
    CWatch study("Save Chart Study", "");
    EXPECT_EQ(ui::modalHost().run(study), 1);
    EXPECT_EQ(study.studyName(), "RSI.14");
    EXPECT_EQ(prompter.asks().back().text,
              "Please enter proper Chart study name, special characters not allowed and chart name cannot be blank");
}

TEST_F(WatchCommandsTest, ColumnChooserSavesKindsOnlyAndSetsTheDefault)
{
    const int index = addList("Mine", {1, 2, 3});
    const int unused = addList("Gone", {}, 400, 0);
    CVortanexView* v = openList(index);
    ASSERT_NE(v, nullptr);

    // Save with none selected: the four fixed columns only.
    modalHost.script("CColumnSelect", [](ui::FormDriver& d) {
        while (!d.form().comboItems(CColumnSelect::kSelected).empty()) {
            d.pick(CColumnSelect::kSelected, 0);
            d.click(CColumnSelect::kRemove);
        }
        d.click(CColumnSelect::kSave);
    });
    v->OnPopupSelectcolumn();
    WatchlistRecord r = WatchlistTable::instance().record(index);
    EXPECT_EQ(r.columnCount, kFixedWatchColumns);
    EXPECT_EQ(v->grid()->model().columns(), kFixedWatchColumns);

    // Save all 23 (twice, the second after a 23-column layout): the fields
    // after the kinds stay as they were.
    modalHost.script("CColumnSelect", [](ui::FormDriver& d) {
        for (int k = 0; k < kColumnKinds; ++k) {
            d.pick(CColumnSelect::kAvailable, k);
            d.click(CColumnSelect::kAdd);
        }
        d.pick(CColumnSelect::kAvailable, 5);
        d.click(CColumnSelect::kAdd); // "High Prc" again: not added twice
        d.click(CColumnSelect::kSave);
    });
    v->OnPopupSelectcolumn();
    v->OnPopupSelectcolumn();
    r = WatchlistTable::instance().record(index);
    EXPECT_EQ(r.columnCount, kColumnKinds + kFixedWatchColumns);
    EXPECT_EQ(r.rowCount, 3);
    EXPECT_EQ(r.rowCapacity, 10);
    EXPECT_EQ(r.inUse, 1);
    EXPECT_EQ(r.group, 0);
    EXPECT_EQ(v->grid()->model().columnName(4 + kHighPrcRange), "High Prc Range");
    EXPECT_EQ(v->grid()->model().columnName(4 + kHighPrc), "High Prc");

    // Set As Default: every list, in use or not, and the layout file.
    modalHost.script("CColumnSelect", [](ui::FormDriver& d) {
        while (!d.form().comboItems(CColumnSelect::kSelected).empty()) {
            d.pick(CColumnSelect::kSelected, 0);
            d.click(CColumnSelect::kRemove);
        }
        d.pick(CColumnSelect::kAvailable, kLastPrc);
        d.click(CColumnSelect::kAdd);
        d.pick(CColumnSelect::kAvailable, kClose);
        d.click(CColumnSelect::kAdd);
        d.pick(CColumnSelect::kSelected, 1);
        d.click(CColumnSelect::kMoveUp);
        d.click(CColumnSelect::kSetDefault);
    });
    v->OnPopupSelectcolumn();
    for (int i : {index, unused}) {
        r = WatchlistTable::instance().record(i);
        EXPECT_EQ(r.columnCount, 2 + kFixedWatchColumns) << i;
        EXPECT_EQ(r.kinds[0], kClose) << i;
        EXPECT_EQ(r.kinds[1], kLastPrc) << i;
    }
    EXPECT_EQ(WatchlistTable::instance().record(unused).inUse, 0);
    const auto stored = ReadWatchColumns(paths, "U1");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->count, 2);
    EXPECT_EQ(stored->kinds[0], kClose);
    EXPECT_EQ(v->grid()->model().columns(), 2 + kFixedWatchColumns);
    EXPECT_EQ(v->grid()->model().columnName(4), "Close");

    // Cancel changes nothing.
    modalHost.script("CColumnSelect", [](ui::FormDriver& d) {
        d.pick(CColumnSelect::kAvailable, 0);
        d.click(CColumnSelect::kAdd);
        d.click(2);
    });
    v->OnPopupSelectcolumn();
    EXPECT_EQ(WatchlistTable::instance().record(index).columnCount, 2 + kFixedWatchColumns);
}

TEST_F(WatchCommandsTest, AddScripDialogAddsChosenRowsAndHandsOneBack)
{
    const int index = addList("Mine", {1});
    CVortanexView* v = openList(index);
    ASSERT_NE(v, nullptr);
    std::vector<std::string> snapshots;
    CVortanexView::services().getLiveFeeds = [&](const std::string& t) { snapshots.push_back(t); };
    g_Config.Feeds_Type = 0;

    modalHost.script("CScrip", [](ui::FormDriver& d) {
        auto& dialog = static_cast<CScrip&>(d.form());
        d.type(CScrip::kName, "SYM14");
        d.click(CScrip::kSearch);
        // SYM14, SYM140..SYM149, SYM1400..: the first two rows as listed.
        const auto rows = dialog.resultSecurities();
        ASSERT_GE(rows.size(), 2u);
        // The exchange column names the exchange, as its tick box does.
        EXPECT_EQ(dialog.results()->topLevelItem(0)->text(1).toStdString(), "NSE");
        dialog.selectResults({0, 1});
        d.click(1);
    });
    snapshots.clear();
    v->OnPopupAddscrip();
    const WatchlistRecord r = WatchlistTable::instance().record(index);
    EXPECT_EQ(CountWatchRows(r), 3);
    ASSERT_EQ(snapshots.size(), 1u);
    EXPECT_EQ(snapshots[0].rfind("Token=2,", 0), 0u) << snapshots[0];

    // OK with nothing selected adds nothing.
    modalHost.script("CScrip", [](ui::FormDriver& d) {
        d.type(CScrip::kName, "SYM2");
        d.click(CScrip::kSearch);
        static_cast<CScrip&>(d.form()).selectResults({});
        d.click(1);
    });
    v->OnPopupAddscrip();
    EXPECT_EQ(CountWatchRows(WatchlistTable::instance().record(index)), 3);

    // Mode 5 hands back one security; none selected leaves -1.
    modalHost.script("CScrip", [](ui::FormDriver& d) {
        d.type(CScrip::kName, "SYM29");
        d.click(CScrip::kSearch);
        auto& dialog = static_cast<CScrip&>(d.form());
        dialog.selectResults({0});
        d.click(1);
    });
    CScrip pick(5, nullptr);
    EXPECT_EQ(ui::modalHost().run(pick), 1);
    EXPECT_EQ(pick.chosenIndex(), 29);
    modalHost.script("CScrip", [](ui::FormDriver& d) { d.click(1); });
    CScrip none(5, nullptr);
    ui::modalHost().run(none);
    EXPECT_EQ(none.chosenIndex(), -1);

    // A key reads whole, to the call or put at its end.
    modalHost.script("CScrip", [](ui::FormDriver& d) {
        d.type(CScrip::kName, "BANKNIFTY");
        d.click(CScrip::kSearch);
        const QTreeWidget* list = static_cast<CScrip&>(d.form()).results();
        ASSERT_EQ(list->topLevelItemCount(), 1);
        const QString key = list->topLevelItem(0)->text(0);
        EXPECT_EQ(key.toStdString(), "BANKNIFTY~OI~23FEB27~58900.00~CE");
        EXPECT_GE(list->columnWidth(0), list->fontMetrics().horizontalAdvance(key));
        d.click(2);
    });
    CScrip wide(5, nullptr);
    ui::modalHost().run(wide);

    // A name with a refused character is not searched.
    modalHost.script("CScrip", [](ui::FormDriver& d) {
        d.type(CScrip::kName, "SYM_1");
        d.click(CScrip::kSearch);
        EXPECT_EQ(static_cast<CScrip&>(d.form()).resultSecurities().size(), 0u);
        d.click(2);
    });
    prompter.answerWhen("Special characters not allowed", ui::Ok);
    v->OnPopupAddscrip();
    EXPECT_EQ(prompter.asks().back().text, "Special characters not allowed");
}

TEST_F(WatchCommandsTest, MyPositionsInTheAddScripDialogLeavesTheCallingListAlone)
{
    WatchlistTable& t = WatchlistTable::instance();
    t.setGroups({"My Watchlist", "My Lists"});
    const int mine = addList("Mine", {1, 2});
    WatchlistRecord positions;
    std::strcpy(positions.name, "My Positions");
    positions.id = -10002;
    positions.inUse = 1;
    positions.group = 1;
    const int positionsIndex = t.append(positions);
    server.replies[412] = {200, "412|0|OK|1~" + [] {
        std::string rec = "6|NN";
        for (int i = 2; i < 39; ++i)
            rec += "|0";
        return rec;
    }() + "^"};
    CVortanexView* v = openList(mine);
    ASSERT_NE(v, nullptr);
    modalHost.script("CScrip", [](ui::FormDriver& d) {
        d.pick(CScrip::kCategory, 2); // " Select Type", "My Watchlist", "My Lists"
        d.pick(CScrip::kList, 1);
        EXPECT_EQ(static_cast<CScrip&>(d.form()).resultSecurities(), (std::vector<int>{5}));
        d.click(2);
    });
    v->OnPopupAddscrip();
    EXPECT_EQ(CountWatchRows(t.record(mine)), 2);
    EXPECT_EQ(t.record(positionsIndex).rows.size(), 1u);
}

TEST_F(WatchCommandsTest, ScripSearchAddsToTheCurrentWatchOnce)
{
    CVortanexView* v = openList(addList("Mine", {1}));
    ASSERT_NE(v, nullptr);
    CScripSearch search(0);
    search.prepare();
    search.setText(CScripSearch::kSymbol, "SYM7");
    search.setComboIndex(CScripSearch::kExchange, 0); // NSE
    search.setComboItems(CScripSearch::kSeries, {"EQ"});
    search.setComboIndex(CScripSearch::kSeries, 0);
    // No market watch of SYM7 yet: the key "SYM7~EQ" is not this master's key form.
    search.OnEnter();
    EXPECT_EQ(CountWatchRows(WatchlistTable::instance().record(v->watchIndex())), 1);

    // The key of a record: a second Enter says so and adds no second row.
    search.setText(CScripSearch::kSymbol, "QQQ");
    search.OnEnter();
    EXPECT_EQ(CountWatchRows(WatchlistTable::instance().record(v->watchIndex())), 2);
    prompter.answerWhen("Security Already Present", ui::Ok);
    search.OnEnter();
    EXPECT_EQ(CountWatchRows(WatchlistTable::instance().record(v->watchIndex())), 2);
    EXPECT_EQ(prompter.asks().back().text, "Security Already Present");

    // A full watch refuses the addition.
    for (int s = 100; CountWatchRows(WatchlistTable::instance().record(v->watchIndex())) < 100; ++s)
        v->OnAddscrip(1, 1, s, -10);
    search.setText(CScripSearch::kSymbol, "ABC");
    search.setComboItems(CScripSearch::kSeries, {"OS"});
    search.setComboIndex(CScripSearch::kSeries, 0);
    search.setComboItems(CScripSearch::kExpiry, {"27MAR25"});
    search.setComboIndex(CScripSearch::kExpiry, 0);
    search.setComboItems(CScripSearch::kStrike, {"100.00"});
    search.setComboIndex(CScripSearch::kStrike, 0);
    search.setComboItems(CScripSearch::kOptionType, {"CE"});
    search.setComboIndex(CScripSearch::kOptionType, 0);
    prompter.answerWhen("You are allowed to add only", ui::Ok);
    search.OnEnter();
    EXPECT_EQ(prompter.asks().back().text, "You are allowed to add only 100 scrips in the watchlist");
    EXPECT_EQ(CountWatchRows(WatchlistTable::instance().record(v->watchIndex())), 100);

    // An index is never chosen.
    search.setComboItems(CScripSearch::kSeries, {"IN"});
    search.setComboIndex(CScripSearch::kSeries, 0);
    const size_t asked = prompter.asks().size();
    search.OnEnter();
    EXPECT_EQ(prompter.asks().size(), asked);

    // A modal search's Cancel leaves the frame's modeless one alone.
    CScripSearch::OpenModeless();
    ASSERT_NE(CScripSearch::modeless(), nullptr);
    CScripSearch modal(1, [](int, int) {});
    modal.OnCancel();
    EXPECT_NE(CScripSearch::modeless(), nullptr);

    // A theme change restyles the open search where it stands, however often.
    CScripSearch::modeless()->move(200, 300);
    const QRect before = CScripSearch::modeless()->geometry();
    for (int i = 0; i < 3; ++i)
        CScripSearch::RefreshStyle();
    EXPECT_EQ(CScripSearch::modeless()->geometry(), before);
}

// The search as the user drives it, by keyboard through the real dialog:
// the focus starts in Symbol, a typed symbol fills the series list and picks
// its first series, Tab keeps both boxes, OK adds the scrip, and OK with a
// field missing says which one.
TEST_F(WatchCommandsTest, ScripSearchTakesWhatIsTypedByKeyboard)
{
    CVortanexView* v = openList(addList("Mine", {1}));
    ASSERT_NE(v, nullptr);
    const int list = v->watchIndex();
    CScripSearch::OpenModeless();
    CScripSearch* search = CScripSearch::modeless();
    ASSERT_NE(search, nullptr);
    search->activateWindow();
    QApplication::setActiveWindow(search);
    QApplication::processEvents();
    ASSERT_EQ(search->focusedId(), CScripSearch::kSymbol) << "typing goes to the Symbol box at once";
    const auto type = [&](const char* keys) { QTest::keyClicks(search->focusWidget(), keys); };
    const auto key = [&](Qt::Key k) { QTest::keyClick(search->focusWidget(), k); };
    const auto clickOk = [&] {
        QTest::mouseClick(search->control(CScripSearch::kOk), Qt::LeftButton);
        QApplication::processEvents();
    };

    type("QQQ");
    EXPECT_EQ(search->text(CScripSearch::kSymbol), "QQQ");
    EXPECT_EQ(search->text(CScripSearch::kSeries), "EQ") << "the typed symbol's first series is picked";
    key(Qt::Key_Tab);
    EXPECT_EQ(search->focusedId(), CScripSearch::kExchange);
    key(Qt::Key_Tab);
    EXPECT_EQ(search->focusedId(), CScripSearch::kSeries);
    EXPECT_EQ(search->text(CScripSearch::kSeries), "EQ");
    EXPECT_EQ(search->text(CScripSearch::kSymbol), "QQQ") << "the series box leaves the symbol alone";
    clickOk();
    EXPECT_EQ(CountWatchRows(WatchlistTable::instance().record(list)), 2) << "OK adds QQQ";

    // An option: the symbol's series comes with it; OK names the first
    // field still missing, and picking it keeps the others.
    search->focus(CScripSearch::kSymbol, true);
    type("ABC");
    EXPECT_EQ(search->text(CScripSearch::kSeries), "OS");
    prompter.answerWhen("Please", ui::Ok);
    size_t asked = prompter.asks().size();
    clickOk();
    ASSERT_EQ(prompter.asks().size(), asked + 1) << "OK without an expiry says so";
    EXPECT_EQ(prompter.asks().back().text, "Please select the Expiry");
    search->focus(CScripSearch::kExpiry);
    key(Qt::Key_Down);
    EXPECT_EQ(search->text(CScripSearch::kExpiry), "27MAR25");
    EXPECT_EQ(search->text(CScripSearch::kSymbol), "ABC");
    EXPECT_EQ(search->text(CScripSearch::kSeries), "OS");
    asked = prompter.asks().size();
    clickOk();
    ASSERT_EQ(prompter.asks().size(), asked + 1);
    EXPECT_EQ(prompter.asks().back().text, "Please select the Strike");

    // Typing another symbol keeps a series it has; an empty symbol is named.
    search->focus(CScripSearch::kSymbol, true);
    key(Qt::Key_Backspace);
    EXPECT_EQ(search->text(CScripSearch::kSymbol), "");
    EXPECT_EQ(search->text(CScripSearch::kSeries), "OS") << "clearing the symbol leaves the series";
    asked = prompter.asks().size();
    clickOk();
    ASSERT_EQ(prompter.asks().size(), asked + 1);
    EXPECT_EQ(prompter.asks().back().text, "Please enter the Symbol");
    EXPECT_EQ(CountWatchRows(WatchlistTable::instance().record(list)), 2) << "nothing more was added";
}

// A scrip inserted under the selected row keeps its place when the view is
// rebuilt: a theme change and a new column choice show the rows in the
// order the user sees them.
TEST_F(WatchCommandsTest, AnInsertedRowKeepsItsPlaceThroughARebuild)
{
    CVortanexView* v = openList(addList("Mine", {1, 2, 3}));
    ASSERT_NE(v, nullptr);
    selectPositions(v, {0});
    v->grid()->tree()->setCurrentIndex(v->grid()->tree()->selectionModel()->selectedRows().value(0));
    v->OnAddscrip(1, 1, 500, -10);
    const std::vector<std::string> order = {"SYM1-EQ", "SYM500-EQ", "SYM2-EQ", "SYM3-EQ"};
    ASSERT_EQ(gridSecurities(v), order) << "inserted as row 2";
    WatchCommands::MyUpdate(2);
    EXPECT_EQ(gridSecurities(v), order) << "after a theme change";
    v->OnUpdateColumns();
    EXPECT_EQ(gridSecurities(v), order) << "after a column choice";
}

// A list of the broker takes no additions whichever way they come: Insert,
// the scrip search (Ctrl+S) and a paste all refuse with the same reason.
TEST_F(WatchCommandsTest, InsertScripSearchAndPasteFollowOneRuleOnABrokersList)
{
    CVortanexView* v = openList(addList("Category", {1}));
    ASSERT_NE(v, nullptr);
    WatchlistTable::instance().update(v->watchIndex(), [](WatchlistRecord& r) { r.id = -10003; });
    v->SelectWatchlist(v->watchIndex(), 1);
    const char* refusal = "You cannot add Scrips in Default Watchlist";
    prompter.answerWhen(refusal, ui::Ok);

    size_t asked = prompter.asks().size();
    EXPECT_TRUE(v->HandleGridKey(Qt::Key_Insert, Qt::NoModifier, {}));
    ASSERT_EQ(prompter.asks().size(), asked + 1) << "Insert says why it adds nothing";
    EXPECT_EQ(prompter.asks().back().text, refusal);

    CScripSearch search(0);
    search.prepare();
    search.setText(CScripSearch::kSymbol, "QQQ");
    search.setComboIndex(CScripSearch::kExchange, 0);
    search.setComboItems(CScripSearch::kSeries, {"EQ"});
    search.setComboIndex(CScripSearch::kSeries, 0);
    asked = prompter.asks().size();
    const int rows = CountWatchRows(WatchlistTable::instance().record(v->watchIndex()));
    search.OnEnter();
    ASSERT_EQ(prompter.asks().size(), asked + 1);
    EXPECT_EQ(prompter.asks().back().text, refusal);
    EXPECT_EQ(CountWatchRows(WatchlistTable::instance().record(v->watchIndex())), rows) << "nothing was added";

    v->OnMenuPasteScrip();
    EXPECT_EQ(prompter.asks().back().text, refusal);
}

TEST_F(WatchCommandsTest, CsvTypeAheadGtcAndTheAdvisoryPage)
{
    CVortanexView* v = openList(addList("Mine", {10, 11, 12, 100, 13}));
    ASSERT_NE(v, nullptr);

    // CSV: the grid as shown; a field holding ',' is quoted.
    v->grid()->model().setText(v->gridRowOf(1), 0, QStringLiteral("A,B"));
    const std::string path = (root / "watch.csv").string();
    prompter.queueSavePath(path);
    v->OnSaveAsCsv();
    std::ifstream in(path);
    std::string header, first, second;
    std::getline(in, header);
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_EQ(header.rfind("Security,ME,Icon,TS,Bid Prc,", 0), 0u) << header;
    EXPECT_EQ(first.rfind("SYM10-EQ,NSE,", 0), 0u) << first;
    EXPECT_EQ(second.rfind("\"A,B\",NSE,", 0), 0u) << second;

    // Type-ahead: S, Y, M, 1, 0, 0 within a second select SYM100; a key
    // after more than a second starts again.
    for (char c : std::string("SYM100"))
        v->Select_Row_ByChar(c);
    EXPECT_EQ(v->grid()->tree()->currentIndex().data().toString(), "SYM100-EQ");
    clock.advanceSeconds(5);
    v->Select_Row_ByChar('A');
    EXPECT_EQ(v->grid()->tree()->currentIndex().data().toString(), "A,B");
    clock.advanceSeconds(5);
    for (char c : std::string("SYM100"))
        v->Select_Row_ByChar(c);
    EXPECT_EQ(v->grid()->tree()->currentIndex().data().toString(), "SYM100-EQ");

    // GTC: rows are counted, however many ranges they form.
    std::vector<std::pair<std::string, std::string>> pages;
    watchOpeners().browser = [&](const std::string& a, const std::string& t) { pages.emplace_back(a, t); };
    std::strcpy(g_Config.Redirect_Url, "http://broker.test");
    selectPositions(v, {0, 2});
    v->OnPlaceGTCOrder();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].first, "http://broker.test/qtrade/qlogin.exe?LoginData=1002|U1|ABC12|-2|"
                              "11,NN,Buy,0,SYM10,1^13,NN,Buy,0,SYM12,1");
    EXPECT_EQ(pages[0].second, "GTC Order");
    // Two ranges of three rows are six rows: refused.
    auto six = addList("Six", {20, 21, 22, 23, 24, 25, 26});
    CVortanexView* w = openList(six);
    ASSERT_NE(w, nullptr);
    selectPositions(w, {0, 1, 2, 4, 5, 6});
    prompter.answerWhen("You can select max of 5 Positions", ui::Ok);
    w->OnPlaceGTCOrder();
    EXPECT_EQ(pages.size(), 1u);
    EXPECT_EQ(prompter.asks().back().text, "You can select max of 5 Positions");

    // The advisory page opens nothing for "-NA-" without the register permission.
    SetLoginFlags(std::string(128, '5'));
    m_table->row(10).setAdvisoryText("-NA-");
    selectPositions(v, {0});
    v->OnPopupPellbrook();
    EXPECT_EQ(pages.size(), 1u);
    m_table->row(10).setAdvisoryText("REF 1&2");
    selectPositions(v, {0});
    v->OnPopupPellbrook();
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[1].first, "http://broker.test/qtrade/qlogin.exe?LoginData=1002|U1|S1|-1|REF%201%262");
    EXPECT_EQ(pages[1].second, "Pellbrook : SYM10-EQ");

    // The company and news pages: the symbol is percent-encoded; only http(s) opens.
    std::vector<std::string> outside;
    watchOpeners().desktop = [&](const std::string& a) {
        outside.push_back(a);
        return true;
    };
    m_table->row(11).symbol.assign("M&M");
    selectPositions(v, {1});
    v->OnMenuCompanyProfile();
    selectPositions(v, {1});
    v->OnMenuGoogleNews();
    EXPECT_EQ(outside, (std::vector<std::string>{
                           "http://broker.test/zqvdata/mktdata.exe?action=company_profile&param=M%26M",
                           "https://news.google.com/search?q=NSE%3AM%26M"}));
    std::strcpy(g_Config.Redirect_Url, "file:///etc");
    selectPositions(v, {1});
    v->OnMenuCompanyProfile();
    EXPECT_EQ(outside.size(), 2u);
}

// Records the order forms asked for instead of opening them.
class RecordingForms final : public OrderFormService {
public:
    bool getInstance(int, QWidget*, const OrderFormParams& params) override
    {
        opened.push_back(params);
        return true;
    }
    void showForm() override {}
    std::vector<OrderFormParams> opened;
};

TEST_F(WatchCommandsTest, GridKeysReachTheirCommands)
{
    RecordingForms forms;
    SetOrderFormService(&forms);
    CVortanexView* v = openList(addList("Mine", {10, 11, 3000}));
    ASSERT_NE(v, nullptr);
    QTreeView* tree = v->grid()->tree();

    // Shifted buy and sell keys: the leveraged order, mark 5 for an equity and
    // -1 for an option.
    selectPositions(v, {0});
    QTest::keyClick(tree, Qt::Key_F1, Qt::ShiftModifier);
    selectPositions(v, {2});
    QTest::keyClick(tree, Qt::Key_F2, Qt::ShiftModifier);
    ASSERT_EQ(forms.opened.size(), 2u);
    EXPECT_EQ(forms.opened[0].index, 10);
    EXPECT_EQ(forms.opened[0].side, 'B');
    EXPECT_EQ(forms.opened[0].orderMark, 5);
    EXPECT_EQ(forms.opened[0].companionIndex, 0);
    EXPECT_EQ(forms.opened[1].index, 3000);
    EXPECT_EQ(forms.opened[1].side, 'S');
    EXPECT_EQ(forms.opened[1].orderMark, -1);

    // Insert opens the add-scrip dialog; a letter selects by type-ahead.
    modalHost.script("CScrip", [](ui::FormDriver& d) { d.click(2); });
    QTest::keyClick(tree, Qt::Key_Insert);
    EXPECT_EQ(modalHost.runs(), (std::vector<std::string>{"CScrip"}));
    selectPositions(v, {});
    QTest::keyClick(tree, Qt::Key_A);
    EXPECT_EQ(tree->currentIndex().data().toString(), "ABC~OS~27MAR25~100.00~CE");

    // Delete on a built-in list is swallowed without a question.
    WatchlistTable::instance().update(v->watchIndex(), [](WatchlistRecord& r) { r.id = -5; });
    v->SelectWatchlist(v->watchIndex(), 1);
    const size_t asked = prompter.asks().size();
    selectPositions(v, {0});
    QTest::keyClick(tree, Qt::Key_Delete);
    EXPECT_EQ(prompter.asks().size(), asked);
    EXPECT_EQ(CountWatchRows(WatchlistTable::instance().record(v->watchIndex())), 3);
    EXPECT_EQ(v->grid()->model().rowTotal(), 3);
    SetOrderFormService(nullptr);
}

} // namespace

} // namespace test_watch_commands
