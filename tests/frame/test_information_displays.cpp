// The broadcast information displays driven through the feed dispatcher with
// payload fixtures: the options advisory (141), the advisory calls on the
// ribbon (145), the day events with their popup and acceptance (155), the
// reference rates (160 and command 33376), and the offers that nothing fills.
#include "frame/InformationDisplays.h"

#include "../base/feed_test_support.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "frame/CDlgPopupDaysEvent.h"
#include "frame/CMainFrame.h"
#include "frame/CMyPopupWindow.h"
#include "frame/COutputBar.h"
#include "frame/MessageFiles.h"
#include "frame/OrderFormOpener.h"
#include "frame/OrderFormService.h"
#include "server/ServerAccess.h"

#include "testkit/headless.h"
#include "ui/caption_bar.h"
#include "ui/command_bar.h"
#include "ui/grid_view.h"

#include <QAction>

#include <cstring>
#include <mutex>

namespace {

using namespace feedtest;

constexpr int kCallCode = 500112;

class RecordingServer : public ServerAccess {
public:
    ServerReply downLoadFile(const std::string&, int, const std::string&) override { return {}; }
    ServerReply requestServer(int encryptType, int transCode, const std::string& text) override
    {
        std::lock_guard lock(mutex);
        requests.push_back({encryptType, transCode, text});
        return transCode == 900 ? refRateReply : acceptReply;
    }
    struct Request {
        int encrypt;
        int code;
        std::string text;
    };
    std::vector<Request> sent()
    {
        std::lock_guard lock(mutex);
        return requests;
    }
    std::mutex mutex;
    std::vector<Request> requests;
    ServerReply acceptReply{200, "1013|0|You are in"};
    ServerReply refRateReply{200, "931|0||1~3|8312.50"};
};

class RecordingOrderForms : public OrderFormService {
public:
    bool getInstance(int formType, QWidget*, const OrderFormParams& params) override
    {
        opened.push_back({formType, params});
        return true;
    }
    void showForm() override { }
    std::vector<std::pair<int, OrderFormParams>> opened;
};

// "145|..." with fields 0-28 (fieldCount cuts it).
std::string call145(long long callId, const std::string& status, const std::string& side = "BUY", int fieldCount = 29)
{
    std::vector<std::string> f(29);
    f[1] = side.substr(0, 1);
    f[2] = std::to_string(kCallCode);
    f[4] = side;
    f[5] = side + " SBIN call " + std::to_string(callId) + " " + status;
    f[12] = status;
    f[13] = std::to_string(callId);
    f[19] = "SBIN";
    f[25] = "870.00";
    f[26] = "805.00";
    f.resize(size_t(fieldCount));
    std::string s = "145";
    for (const std::string& x : f)
        s += "|" + x;
    return s;
}

std::string event155(int id, int state, char show = 'Y', char accept = 'Y',
                     const std::string& link = "https://broker.example/terms")
{
    return "155|DE|" + std::to_string(state) + "|" + std::to_string(id) + "||||||Event " + std::to_string(id)
           + "|Text of " + std::to_string(id) + "|" + show + "|" + link + "|" + accept;
}

class InformationTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        SetProgramPaths(paths);
        SetDefaultSettings();
        g_AppSettings.message_popup_switch = 1;
        resetFeedGlobals();
        std::strcpy(pv_user_info.session_id, "S123");
        std::strcpy(pv_user_info.client_code, "C1001");
        pv_user_info.encrypt = 1;
        SecurityRecord sbin;
        sbin.token = 3045;
        sbin.wtoken = 6089;
        sbin.scrip_code = kCallCode;
        sbin.market_exchange.assign("NN");
        sbin.inst_type.assign("EQ");
        sbin.symbol.assign("SBIN");
        sbin.setDisplayKey("SBIN-EQ");
        table = publishTable(20, {sbin});
        sbinIndex = Search_ScripCode(kCallCode, 'S');
        SetScripCodeLookup([](int code, char letter) { return Search_ScripCode(code, letter); });
        SetOrderFormService(&forms);

        CMainFrame::Services fs;
        fs.shell = &shell;
        fs.sound = &sound;
        fs.profile = profile.get();
        fs.saveSettings = [] {};
        fs.brokerWebAddress = [] { return std::string("https://broker.example/home"); };
        fs.dayProductEvent = [this](const std::vector<std::string>& f) {
            if (displays)
                displays->ProcessDayProductEventMsg(f);
        };
        frame = std::make_unique<CMainFrame>(fs);
        ASSERT_TRUE(frame->OnCreate());

        InformationDisplays::Services s;
        s.server = &server;
        s.shell = &shell;
        s.locked = [this] { return locked; };
        s.brokerWebAddress = [] { return std::string("https://broker.example/home"); };
        s.addToOptionsWindows = [this](int security, short status) { options.push_back({security, status}); };
        displays = new InformationDisplays(*frame, s);
        consumers.displays = displays;
        dispatcher = std::make_unique<FeedDispatcher>(consumers, FeedSubscriptions::instance(), indices,
                                                      FeedDispatcher::Options{1, true, {}});
    }
    void TearDown() override
    {
        dispatcher.reset();
        consumers.displays = nullptr;
        frame.reset();
        SetOrderFormService(nullptr);
        SetScripCodeLookup({});
        SecurityTable::publish(nullptr);
        SetLoggedIn(false);
        ClearSessionRecord();
        pv_user_info = UserInfoRecord{};
        Headless::TearDown();
    }

    void send(const std::string& m)
    {
        dispatcher->Distribute_Feed(m.data(), int(m.size()));
        dispatcher->drain();
        // The widget work was posted to the UI thread: let it run.
        pumpUntil([] { return false; }, 30);
    }
    int researchLines() const { return frame->OutputBar()->RowCount(MsgResearch); }
    ui::CommandBar& bar() const { return *frame->Ribbon(); }
    int category() const { return displays->RibbonCategory(); }
    bool advisoryPanel() const { return bar().panelNames(category()).contains(QString()); }
    bool daysPanel() const { return bar().panelNames(category()).contains("Days Events"); }
    QString daysCaption() const { return bar().action(InformationDisplays::kDaysEventsButton)->text(); }

    struct Forwarder : FeedConsumers {
        void setUserMessage(int kind, char side, const std::string& text, bool popup, int eventId) override
        {
            if (CMainFrame* f = CMainFrame::Instance())
                f->SetUserMessage(kind, side, text, {}, popup ? 1 : 0, eventId);
        }
        void informationDisplay(int code, const std::string& text) override
        {
            if (displays)
                displays->OnInformationFeed(code, text);
        }
        InformationDisplays* displays = nullptr;
    };

    std::shared_ptr<SecurityTable> table;
    int sbinIndex = -1;
    RecordingServer server;
    RecordingOrderForms forms;
    std::unique_ptr<CMainFrame> frame;
    InformationDisplays* displays = nullptr; // the frame's child
    Forwarder consumers;
    MemoryIndexRows indices;
    std::unique_ptr<FeedDispatcher> dispatcher;
    std::vector<std::pair<int, short>> options;
    bool locked = false;
};

TEST_F(InformationTest, OptionsAdviceUpdatesTheOptionsWindowsAndOnlyAMarkedOneReachesTheMessageBar)
{
    ASSERT_GE(sbinIndex, 0);
    send("141||quiet advice|2|3045|NN");
    ASSERT_EQ(options.size(), 1u);
    EXPECT_EQ(options[0], std::make_pair(sbinIndex, short(2)));
    EXPECT_EQ(researchLines(), 0);

    send("141|D|SBIN options look firm|1|3045|NN");
    EXPECT_EQ(options.size(), 2u);
    EXPECT_TRUE(pumpUntil([&] { return researchLines() == 1; }));
    // Four fields are too few; an unknown security updates no window but
    // its text is still reported.
    send("141|D|short|1|3045");
    send("141|D|unknown scrip|1|999999|NN");
    EXPECT_EQ(options.size(), 2u);
    EXPECT_TRUE(pumpUntil([&] { return researchLines() == 2; }));
}

TEST_F(InformationTest, AdvisoryCallsComeAndGoOnTheRibbon)
{
    // A first message that closes a call shows nothing but its line.
    send(call145(11, "Closed"));
    EXPECT_FALSE(advisoryPanel());
    EXPECT_EQ(displays->Calls().Count(), 0);
    EXPECT_TRUE(pumpUntil([&] { return researchLines() == 1; }));

    send(call145(12, "Open"));
    ASSERT_TRUE(advisoryPanel());
    EXPECT_EQ(bar().textOf(kAdvisoryMainButton), "Nifty Morrowpick");
    QAction* sub = bar().action(kAdvisoryFirstCommand);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->text(), "BUY : SBIN-EQ");
    EXPECT_EQ(sub->toolTip(), "BUY : SBIN-EQ. Stoploss Price : 805.00, Target Price : 870.00");
    EXPECT_EQ(displays->UpdateMorrowpickTokens(), std::vector<int>{sbinIndex}) << "the call's security is subscribed";

    // The sub-button opens the research-call order form for the security.
    ASSERT_TRUE(bar().trigger(kAdvisoryFirstCommand));
    ASSERT_TRUE(pumpUntil([&] { return !forms.opened.empty(); }));
    EXPECT_EQ(forms.opened[0].second.index, sbinIndex);
    EXPECT_EQ(forms.opened[0].second.tslKind, 5);
    EXPECT_EQ(forms.opened[0].second.side, 'B');

    // 26 fields keep no call; the line is still reported.
    send(call145(13, "Open", "SELL", 26));
    EXPECT_EQ(displays->Calls().Count(), 1);
    // Nor does an update of 26 fields change the call it names.
    send(call145(12, "Open", "SELL", 26));
    ASSERT_GE(displays->Calls().SlotOfCall(12), 0);
    const CEventData& kept = displays->Calls().Slots()[size_t(displays->Calls().SlotOfCall(12))];
    EXPECT_EQ(kept.fields.size(), kAdvisoryMinFields + 2);
    EXPECT_EQ(kept.fields[4], "BUY");
    // Four more fill the five slots; a sixth gets none.
    for (int id = 14; id <= 18; ++id)
        send(call145(id, "Open", "SELL"));
    EXPECT_EQ(displays->Calls().Count(), 5);
    EXPECT_EQ(displays->Calls().SlotOfCall(18), -1);
    EXPECT_EQ(bar().action(kAdvisoryFirstCommand + 4)->text(), "SELL : SBIN-EQ");
    // "Closed" for a call no slot holds changes nothing.
    send(call145(99, "Closed"));
    EXPECT_EQ(displays->Calls().Count(), 5);
    EXPECT_TRUE(pumpUntil([&] { return researchLines() == 10; }));

    // Closing every call removes the panel; the next call makes it again.
    for (int id : {12, 14, 15, 16, 17})
        send(call145(id, "Closed"));
    EXPECT_EQ(displays->Calls().Count(), 0);
    EXPECT_FALSE(advisoryPanel());
    EXPECT_TRUE(displays->UpdateMorrowpickTokens().empty());
    send(call145(20, "Open"));
    EXPECT_TRUE(advisoryPanel());
    EXPECT_EQ(bar().textOf(kAdvisoryMainButton), "Nifty Morrowpick");

    // A call is closed by its id: one without an id an int holds is not
    // kept, or it would stay on the ribbon for good.
    for (const long long id : {0LL, -3LL, 4294967297LL}) {
        send(call145(id, "Open"));
        EXPECT_EQ(displays->Calls().Count(), 1) << id;
        send(call145(id, "Closed"));
    }
    send(call145(20, "Closed"));
    EXPECT_EQ(displays->Calls().Count(), 0);
    EXPECT_FALSE(advisoryPanel());
}

TEST_F(InformationTest, DayEventsCountListAndWithdraw)
{
    send(event155(501, 1));
    ASSERT_TRUE(daysPanel());
    EXPECT_EQ(daysCaption(), "Days Events (1)");
    // Withdrawing an unknown event changes nothing.
    send(event155(777, 2));
    EXPECT_EQ(daysCaption(), "Days Events (1)");

    // Shown 'N': counted, not listed; accept 'N': listed without a button.
    send(event155(502, 1, 'N'));
    send(event155(503, 1, 'Y', 'N'));
    EXPECT_EQ(daysCaption(), "Days Events (3)");
    CDlgPopupDaysEvent* popup = displays->Popup();
    std::unique_ptr<CDlgPopupDaysEvent> owner(popup);
    const ui::GridModel& m = popup->Grid()->model();
    ASSERT_EQ(m.rowTotal(), 2);
    const int first = m.idAt(0), second = m.idAt(1);
    EXPECT_EQ(m.text(first, 0), "Event 501");
    EXPECT_EQ(m.text(first, 1), "T & C");
    EXPECT_EQ(m.preview(first), "Text of 501");
    EXPECT_EQ(m.buttonCommand(first, 2), kDayEventFirstCommand + 0);
    EXPECT_EQ(m.text(second, 0), "Event 503");
    EXPECT_EQ(m.buttonCommand(second, 2), 0);

    // Withdrawing a known one removes its row and lowers the count.
    send(event155(501, 2));
    EXPECT_EQ(daysCaption(), "Days Events (2)");
    EXPECT_EQ(m.rowTotal(), 1);
    // The eleventh event is not kept.
    for (int id = 600; id < 610; ++id)
        send(event155(id, 1));
    EXPECT_EQ(displays->DayEvents().Count(), 10);
    EXPECT_EQ(displays->DayEvents().SearchEvent(609), -1);
    EXPECT_EQ(daysCaption(), "Days Events (10)");
    owner.reset();

    // The last one gone, the panel goes; the next makes it again.
    for (int id : {502, 503, 600, 601, 602, 603, 604, 605, 606, 607})
        send(event155(id, 2));
    EXPECT_FALSE(daysPanel());
    send(event155(700, 1));
    EXPECT_TRUE(daysPanel());
    EXPECT_EQ(daysCaption(), "Days Events (1)");
}

TEST_F(InformationTest, AcceptSendsTheRequestAndShowsTheBrokersTextUnlessLocked)
{
    send(event155(501, 1));
    std::unique_ptr<CDlgPopupDaysEvent> popup(displays->Popup());

    locked = true;
    ASSERT_TRUE(popup->ClickAccept(kDayEventFirstCommand));
    EXPECT_TRUE(server.sent().empty()) << "nothing is sent while locked";
    ASSERT_FALSE(prompter.asks().empty());
    EXPECT_EQ(prompter.asks().back().text, "Terminal is Locked. Pls Unlock to proceed.");

    locked = false;
    bool done = false;
    QObject::connect(displays, &InformationDisplays::exchangeDone, [&] { done = true; });
    ASSERT_TRUE(popup->ClickAccept(kDayEventFirstCommand));
    ASSERT_TRUE(pumpUntil([&] { return done; }, 10000));
    ASSERT_EQ(server.sent().size(), 1u);
    EXPECT_EQ(server.sent()[0].code, 1013);
    EXPECT_EQ(server.sent()[0].encrypt, 1);
    EXPECT_EQ(server.sent()[0].text, "LoginData=1013|S123|U1|C1001|1|4|10.0.0.5|501|0");
    ASSERT_TRUE(pumpUntil([&] { return !frame->OpenPopups().empty(); }));
    const CMyPopupWindow* shown = frame->OpenPopups().back();
    EXPECT_EQ(shown->spec().text, "You are in");
    EXPECT_EQ(shown->LinkText(), "Terms & Conditions");
    EXPECT_EQ(shown->Address(), "https://broker.example/terms");

    // A refusal shows the server's text in its box.
    server.acceptReply = {200, "1013|1|Closed for today"};
    done = false;
    ASSERT_TRUE(popup->ClickAccept(kDayEventFirstCommand));
    ASSERT_TRUE(pumpUntil([&] { return done; }, 10000));
    EXPECT_EQ(prompter.asks().back().text, "Closed for today");
    EXPECT_EQ(prompter.asks().back().caption, "Server Message");
}

TEST_F(InformationTest, OnlyAWebAddressOpensAsTheTermsLink)
{
    send(event155(501, 1, 'Y', 'Y', "https://broker.example/terms"));
    send(event155(502, 1, 'Y', 'Y', "file:///etc/passwd"));
    std::unique_ptr<CDlgPopupDaysEvent> popup(displays->Popup());
    ASSERT_TRUE(popup->ClickTerms(0));
    ASSERT_TRUE(popup->ClickTerms(1));
    ASSERT_EQ(shell.calls().size(), 1u);
    EXPECT_EQ(shell.calls()[0].target, "https://broker.example/terms");

    // A name and a link longer than their fields are cut, never overrun.
    const std::string longName(40, 'N');
    const std::string longLink = "https://broker.example/" + std::string(600, 'x');
    send("155|DE|1|503||||||" + longName + "|t|Y|" + longLink + "|Y");
    const int slot = displays->DayEvents().SearchEvent(503);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(displays->DayEvents().Slots()[size_t(slot)].name, std::string(25, 'N'));
    EXPECT_EQ(displays->DayEvents().Slots()[size_t(slot)].termsLink.size(), 511u);
}

TEST_F(InformationTest, ReferenceRatesFromTheFeedAndTheCommand)
{
    EXPECT_EQ(NormaliseRbiRefRatePayload("160|1~3|8312"), "160|1~3|8312^");
    EXPECT_EQ(NormaliseRbiRefRatePayload("160|2~3|8312,5|9000"), "160|2~3|8312^5|9000");
    EXPECT_FALSE(ParseRbiRefRatePayload("160~3|1~x").valid);
    EXPECT_FALSE(ParseRbiRefRatePayload("160~3|1").valid);

    // Watch token 3 is security 1.
    send("160|160|1~3|8312");
    EXPECT_DOUBLE_EQ(table->row(1).ref_rate.load(), 83.12);
    // A rate that is no number keeps the one the security has.
    for (const char* rate : {"inf", "1e400", "nan"}) {
        send(std::string("160|160|1~3|") + rate);
        EXPECT_DOUBLE_EQ(table->row(1).ref_rate.load(), 83.12) << rate;
    }

    bool done = false;
    QObject::connect(displays, &InformationDisplays::exchangeDone, [&] { done = true; });
    ASSERT_TRUE(frame->Commands().invoke(InformationDisplays::kUpdateRbiRefRate));
    ASSERT_TRUE(pumpUntil([&] { return done; }, 10000));
    ASSERT_EQ(server.sent().size(), 1u);
    EXPECT_EQ(server.sent()[0].code, 900);
    EXPECT_EQ(server.sent()[0].text, "ReportData=930|S123|U1|4");
    EXPECT_DOUBLE_EQ(table->row(1).ref_rate.load(), 83.125);
    EXPECT_EQ(prompter.asks().back().text, "RBI reference Rate updated successfully.");
}

TEST_F(InformationTest, OffersWithoutACurrentOfferSendAndShowNothing)
{
    for (int id : {InformationDisplays::kParticipate, InformationDisplays::kShowSunvaleHours,
                   InformationDisplays::kShowBrackenfold, InformationDisplays::kAcceptSunvaleHour,
                   InformationDisplays::kAcceptBrackenfold})
        EXPECT_TRUE(frame->Commands().invoke(id)) << id;
    pumpUntil([] { return false; }, 50);
    EXPECT_TRUE(server.sent().empty());
    EXPECT_EQ(frame->CaptionBarOf(InformationDisplays::kSunvaleBar, false), nullptr);
    EXPECT_EQ(frame->CaptionBarOf(InformationDisplays::kBrackenfoldBar, false), nullptr);

    // The caption bars themselves: kinds 1 and 3 with their buttons and
    // colour states; an update recolours without a new button.
    displays->CreateCaptionBar("Sunvale Hours \a[ T && C ]\a", 1, 0, {});
    ui::CaptionBar* sunvale = frame->CaptionBarOf(InformationDisplays::kSunvaleBar, false);
    ASSERT_NE(sunvale, nullptr);
    EXPECT_EQ(sunvale->buttonCommand(), InformationDisplays::kAcceptSunvaleHour);
    EXPECT_EQ(sunvale->backColour(), QColor(241, 85, 18));
    EXPECT_EQ(sunvale->shownText(), "Sunvale Hours [ T & C ]");
    displays->UpdateCaptionBar("Sunvale Hours", 1, 1, {});
    EXPECT_EQ(sunvale->backColour(), QColor(3, 129, 7));
    EXPECT_EQ(sunvale->buttonCommand(), InformationDisplays::kAcceptSunvaleHour);
    displays->CreateCaptionBar("Brackenfolds", 3, 5, QColor(10, 20, 30));
    ui::CaptionBar* bkf = frame->CaptionBarOf(InformationDisplays::kBrackenfoldBar, false);
    ASSERT_NE(bkf, nullptr);
    EXPECT_EQ(bkf->buttonCommand(), InformationDisplays::kAcceptBrackenfold);
    EXPECT_EQ(bkf->backColour(), QColor(10, 20, 30));
    displays->CreateCaptionBar("other", 2, 0, {});
    EXPECT_EQ(frame->CaptionBarOf(2, false), nullptr);
    // The bars' Accept still sends nothing without an offer.
    sunvale->clickButton();
    bkf->clickButton();
    pumpUntil([] { return false; }, 50);
    EXPECT_TRUE(server.sent().empty());
}

} // namespace
