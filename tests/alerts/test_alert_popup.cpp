// The alert popup and the program's alert store: what a fired alert shows,
// what its Action menu offers, how the lock restricts it, and that a check
// on a crossing quote opens one popup with one sound and lets a one-time
// alert go.
#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "frame/WatchOrderCommands.h"
#include "server/SecurityReload.h"
#include "server/SecurityTable.h"
#include "watch/AlertStore.h"
#include "watch/AlertTable.h"
#include "watch/CAlertPopUp.h"

#include "frame/FrameThemes.h"
#include "testkit/contrast.h"
#include "testkit/headless.h"
#include "testkit/keep_look.h"
#include "ui/theme_manager.h"

#include <QApplication>

namespace {

class AlertPopUpTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        SecurityRows rows(2);
        rows[0].symbol.assign("SBIN");
        rows[0].setDisplayKey("SBIN~EQ");
        rows[0].market_exchange.assign("NN");
        rows[0].wtoken = 101;
        rows[1].symbol.assign("USDINR");
        rows[1].setDisplayKey("USDINR~FUT");
        rows[1].market_exchange.assign("CM");
        rows[1].wtoken = 202;
        auto table = std::make_shared<SecurityTable>();
        table->build(std::move(rows), SecurityTable::Build::Full, false);
        QuoteData q;
        q.quote[2] = 51025;     // ask
        q.quote[4] = 51000;     // last
        q.quote[10] = -125;     // % change x 100
        q.quote[13] = 1234567;  // traded quantity
        table->row(0).storeQuote(q);
        q.quote[4] = 8312345;
        table->row(1).storeQuote(q);
        SecurityTable::publish(table);
        CAlertPopUp::ResetCascade();
        AlertTable::instance().clear();
        SetTradingAllowed(true);
        SetTerminalLocked(false);
    }
    void TearDown() override
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<CAlertPopUp*>(w))
                delete w;
        AlertTable::instance().clear();
        SetTradingAllowed(true);
        SetTerminalLocked(false);
        AlertStore::setSoundService(nullptr, {});
        SecurityTable::publish(nullptr);
        Headless::TearDown();
    }

    std::unique_ptr<CAlertPopUp> open(int security, bool recurring)
    {
        auto popup = std::make_unique<CAlertPopUp>(security, "my alert", "LTP of SBIN~EQ [NSE] >= 500.00",
                                                   "Tracked Time: 10:15:00 AM", "2~SBIN~EQ~>=~500.00", recurring);
        popup->setAttribute(Qt::WA_DeleteOnClose, false);
        popup->prepare();
        return popup;
    }
};

TEST_F(AlertPopUpTest, TextsDecimalsAndActionItemsByCase)
{
    struct Case {
        const char* name;
        int security;
        bool recurring, trading;
        const char* ltp;
        std::vector<int> items;
    } cases[] = {
        {"one-time, trading", 0, false, true, "510.00",
         {CAlertPopUp::kBuy, CAlertPopUp::kSell, CAlertPopUp::kDetails}},
        {"recurring, trading", 0, true, true, "510.00",
         {CAlertPopUp::kModifyAlert, CAlertPopUp::kBuy, CAlertPopUp::kSell, CAlertPopUp::kDetails}},
        {"recurring, view only", 0, true, false, "510.00", {CAlertPopUp::kModifyAlert, CAlertPopUp::kDetails}},
        {"CM shows four decimals", 1, false, false, "83123.4500", {CAlertPopUp::kDetails}},
    };
    for (const Case& c : cases) {
        SetTradingAllowed(c.trading);
        auto popup = open(c.security, c.recurring);
        EXPECT_EQ(popup->windowTitle().toStdString(), "my alert") << c.name;
        EXPECT_EQ(popup->text(CAlertPopUp::kLtp), c.ltp) << c.name;
        EXPECT_EQ(popup->text(CAlertPopUp::kTitle), "Tracked Time: 10:15:00 AM") << c.name;
        EXPECT_EQ(popup->actionItems(), c.items) << c.name;
        EXPECT_TRUE(popup->isVisible(CAlertPopUp::kAction)) << c.name;
    }
    auto popup = open(0, false);
    EXPECT_EQ(popup->text(CAlertPopUp::kChange), "     -1.25");
    EXPECT_EQ(popup->text(CAlertPopUp::kTtq), "   1234567");
    EXPECT_EQ(popup->text(CAlertPopUp::kSymbol), "SBIN");
}

// Every text of the popup (the description, the change, the TTQ value) reads
// on the popup's window in every theme, a fall and a rise alike.
TEST_F(AlertPopUpTest, EveryTextReadsInEveryTheme)
{
    const testkit::KeepLook keep([theme = g_AppSettings.theme] { g_AppSettings.theme = theme; });
    for (const ThemeEntry& t : RibbonThemes()) {
        g_AppSettings.theme = t.id;
        ui::ThemeManager::apply(ThemeLookFor(t.id)); // the whole program takes it, as the frame does
        for (const int change : {-125, 125}) {
            auto table = SecurityTable::current();
            QuoteData q = table->row(0).quote();
            q.quote[10] = change;
            table->row(0).storeQuote(q);
            auto popup = open(0, false);
            EXPECT_EQ(testkit::unreadableLabels(*popup), std::vector<std::string>{}) << t.text << " " << change;
        }
    }
}

TEST_F(AlertPopUpTest, TheLockRestrictsThePopup)
{
    // Locked when it opens: no Action button, and it can be closed.
    SetTerminalLocked(true);
    auto lockedAtOpening = open(0, true);
    EXPECT_FALSE(lockedAtOpening->isVisible(CAlertPopUp::kAction));
    EXPECT_TRUE(lockedAtOpening->openedLocked());
    lockedAtOpening->reject();
    EXPECT_TRUE(lockedAtOpening->isFinished());
    EXPECT_EQ(prompter.askCount(), 0u);

    // Locked after it opened: both buttons answer and nothing happens.
    SetTerminalLocked(false);
    auto popup = open(0, true);
    SetTerminalLocked(true);
    popup->reject();
    EXPECT_FALSE(popup->isFinished());
    popup->OnAction();
    ASSERT_EQ(prompter.askCount(), 2u);
    for (const auto& ask : prompter.asks()) {
        EXPECT_EQ(ask.text, "No Action is allowed when the terminal is locked");
        EXPECT_EQ(ask.caption, "Error");
    }
    EXPECT_TRUE(prompter.menus().empty());
}

// A security download whose master has a new security sorting ahead of the
// held ones and has lost one of them: the store's alerts and the open popups
// keep their securities or go with a message, and the alerts file written
// afterwards reads back to the same securities.
TEST_F(AlertPopUpTest, ARedownloadWithANewSecurityAheadKeepsEveryAlertOnItsSecurity)
{
    auto row = [](const char* symbol, const char* key, const char* exch, int token, int wtoken) {
        SecurityRecord r;
        r.symbol.assign(symbol);
        r.setDisplayKey(key);
        r.market_exchange.assign(exch);
        r.token = token;
        r.wtoken = wtoken;
        return r;
    };
    auto build = [](std::vector<SecurityRecord> records) {
        SecurityRows rows;
        for (auto& r : records)
            rows.push_back(std::move(r));
        auto t = std::make_shared<SecurityTable>();
        t->build(std::move(rows), SecurityTable::Build::Full, false);
        return t;
    };
    const auto before = build({row("SBIN", "SBIN~EQ", "NN", 3045, 6089), row("USDINR", "USDINR~FUT", "CM", 8, 15)});
    SecurityTable::publish(before);
    AlertStore store(paths.data());
    AlertRecord sbin;
    sbin.secIndex = 0;
    sbin.type = 2;
    sbin.quoteField = 4;
    sbin.criteria = kCriteriaAtOrAbove;
    sbin.typed = 500;
    sbin.trigger = 50000;
    sbin.name = "sbin";
    sbin.watchToken = 6089;
    sbin.symbol = "SBIN";
    AlertRecord usd = sbin;
    usd.secIndex = 1;
    usd.name = "usd";
    usd.watchToken = 15;
    usd.symbol = "USDINR";
    AlertTable::instance().put("2~SBIN~EQ~>=~500.00", sbin);
    AlertTable::instance().put("2~USDINR~FUT~>=~500.0000", usd);
    before->row(0).alert_flag.store(1);
    before->row(1).alert_flag.store(1);
    auto onSbin = open(0, true);
    auto onUsd = open(1, true);
    onSbin->show();
    onUsd->show();

    // The new master: ABB sorts ahead of SBIN, USDINR is gone.
    const auto after = build({row("ABB", "ABB~EQ", "NN", 13, 25), row("SBIN", "SBIN~EQ", "NN", 3045, 6089)});
    SecurityTable::publish(after);
    SecurityReload::instance().notify(*before, *after);

    const auto kept = AlertTable::instance().find("2~SBIN~EQ~>=~500.00");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->secIndex, 1);
    EXPECT_EQ(AlertTable::instance().securities(), (std::vector<int>{1}));
    EXPECT_EQ(after->row(1).alert_flag.load(), 1) << "a crossing of SBIN would open no popup";
    EXPECT_EQ(after->row(0).alert_flag.load(), 0);
    EXPECT_FALSE(AlertTable::instance().contains("2~USDINR~FUT~>=~500.0000"));
    EXPECT_EQ(onSbin->security(), 1);
    EXPECT_TRUE(onSbin->isVisible());
    EXPECT_FALSE(onUsd->isVisible());
    bool alertsTold = false, popupTold = false;
    for (const auto& a : prompter.asks()) {
        alertsTold = alertsTold || (a.text.find("These alerts were removed") != std::string::npos &&
                                    a.text.find("2~USDINR~FUT~>=~500.0000") != std::string::npos);
        popupTold = popupTold || a.text.find("The security of the alert my alert is no longer") != std::string::npos;
    }
    EXPECT_TRUE(alertsTold);
    EXPECT_TRUE(popupTold);

    // Written at exit and read at the next start: SBIN's alert on SBIN.
    store.WriteAlertDataToFile();
    AlertTable::instance().clear();
    store.ReadAlertDataFromFile();
    const auto back = AlertTable::instance().find("2~SBIN~EQ~>=~500.00");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->secIndex, 1);
    EXPECT_EQ(back->watchToken, 6089);
    EXPECT_EQ(back->symbol, "SBIN");
    EXPECT_EQ(AlertTable::instance().size(), 1);
}

TEST_F(AlertPopUpTest, PopupsOpenAlongTheCascade)
{
    const std::vector<std::pair<int, int>> expected = {{20, 20},   {120, 120}, {220, 220}, {320, 320},
                                                       {420, 420}, {720, 0},   {820, 100}, {100, 200}};
    for (const auto& at : expected)
        EXPECT_EQ(CAlertPopUp::NextCascadePosition(), at);
    CAlertPopUp::ResetCascade();
    auto first = open(0, false);
    auto second = open(0, false);
    EXPECT_EQ(first->pos(), QPoint(20, 20));
    EXPECT_EQ(second->pos(), QPoint(120, 120));
}

TEST_F(AlertPopUpTest, ACrossingQuoteOpensOnePopupWithOneSoundAndTheOneTimeAlertGoes)
{
    AlertStore store(paths.data());
    SetAlertServices(std::shared_ptr<AlertServices>(&store, [](AlertServices*) {}));
    AlertStore::setSoundService(&sound, paths.root());
    g_AppSettings.switches[1] = '1';

    AlertRecord once;
    once.secIndex = 0;
    once.type = 2;
    once.quoteField = 4;
    once.criteria = kCriteriaAtOrAbove;
    once.typed = 500;
    once.trigger = 50000;
    once.name = "once";
    AlertRecord recurring = once;
    recurring.typed = 505;
    recurring.trigger = 50500;
    recurring.recurring = true;
    recurring.name = "again";
    AlertTable::instance().put("2~SBIN~EQ~>=~500.00", once);
    AlertTable::instance().put("2~SBIN~EQ~>=~505.00", recurring);
    SecurityTable::current()->row(0).alert_flag.store(1); // as saving the alerts sets it

    // A burst of ticks: one claim, one check.
    int claims = 0;
    for (int i = 0; i < 100; ++i)
        claims += AlertStore::claimCheck(0, SecurityTable::current()->row(0)) ? 1 : 0;
    EXPECT_EQ(claims, 1);
    std::thread([q = SecurityTable::current()->row(0).quote()] { AlertStore::check(0, q); }).join();
    ASSERT_TRUE(pumpUntil([&] { return modalHost.shown().size() == 1; }));
    EXPECT_EQ(modalHost.shown()[0], "CAlertPopUp");
    EXPECT_FALSE(AlertTable::instance().contains("2~SBIN~EQ~>=~500.00")) << "a one-time alert goes once shown";
    ASSERT_TRUE(pumpUntil([&] { return sound.requests() == 1; }));

    // A check queued by a second tick of the same crossing fires nothing:
    // both alerts held, only the first in key order fired.
    EXPECT_TRUE(AlertStore::claimCheck(0, SecurityTable::current()->row(0)));
    std::thread([q = SecurityTable::current()->row(0).quote()] { AlertStore::check(0, q); }).join();
    pumpUntil([] { return false; }, 200);
    EXPECT_EQ(modalHost.shown().size(), 1u) << "one crossing opened two popups";
    EXPECT_FALSE(AlertTable::instance().find("2~SBIN~EQ~>=~505.00")->triggered);

    // Saved again (the mark set), the next check fires the recurring alert,
    // which stays, fired.
    SecurityTable::current()->row(0).alert_flag.store(1);
    EXPECT_TRUE(AlertStore::claimCheck(0, SecurityTable::current()->row(0)));
    std::thread([q = SecurityTable::current()->row(0).quote()] { AlertStore::check(0, q); }).join();
    ASSERT_TRUE(pumpUntil([&] { return modalHost.shown().size() == 2; }));
    const auto kept = AlertTable::instance().find("2~SBIN~EQ~>=~505.00");
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->triggered);

    // Written and read back: the recurring alert is active again.
    store.WriteAlertDataToFile();
    AlertTable::instance().clear();
    store.ReadAlertDataFromFile();
    const auto back = AlertTable::instance().find("2~SBIN~EQ~>=~505.00");
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->triggered);
    EXPECT_EQ(AlertTable::instance().size(), 1);

    SetAlertServices(nullptr);
    g_AppSettings.switches[1] = '0';
}

} // namespace
