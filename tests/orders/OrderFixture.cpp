#include "OrderFixture.h"

#include "OrderMaster.h"

#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "orders/CDlgOrderFormExp.h"
#include "orders/COrderData.h"
#include "server/ServerRequests.h"
#include "orders/OrderMessages.h"
#include "server/RequestServer.h"

#include "frame/OrderFormOpener.h"
#include "pf/http_session.h"
#include "ui/ui_thread.h"

namespace ordertest {

void OrderFixture::SetUp()
{
    Headless::SetUp();
    SetProgramPaths(paths);
    StartLog(paths);
    tb::BrokerOptions o;
    o.securities = 306; // the built-in 299 and the first seven NSE options
    o.keepAliveMs = 0;
    broker = std::make_unique<tb::TestBroker>(o);
    std::string error;
    ASSERT_TRUE(broker->start(&error)) << error;
    RootInternetSession().setConnectTo({broker->connectToMap()});
    g_Config = ConfigRecord{};
    CopyFixedText(g_Config.Trade_Host, "127.0.0.1");
    g_Config.Trade_Port = broker->httpPort();
    CopyFixedText(g_Config.Watch_Host, "127.0.0.1");

    ClearSessionRecord();
    pv_user_info = UserInfoRecord{};
    CopyFixedText(pv_user_info.user_id, "U1");
    pv_user_info.user_type = 'C';
    pv_user_info.segments.assign(kMaxSegments, ExchangeSegment{});
    const std::vector<std::pair<int, const char*>> marks = {{3, "Normal"}, {1, "Delivery"}, {5, "Stoploss"},
                                                            {7, "DDS"}};
    for (size_t i = 0; i < marks.size(); ++i) {
        pv_user_info.segments[i].id = marks[i].first;
        CopyFixedText(pv_user_info.segments[i].name, marks[i].second);
        pv_user_info.segments[i].flag = 'A';
    }
    pv_user_info.segment_count = static_cast<int>(marks.size());
    g_Session = SessionValues{};
    g_Session.clients.resize(1);
    CopyFixedText(g_Session.clients[0].user_id, "CID01");
    CopyFixedText(g_Session.clients[0].client_code, "ABC12");
    g_Session.clients[0].active = 1;
    g_Session.client_count = 1;
    pv_user_info.client_index = 0;
    SetDefaultSettings();
    g_AppSettings.switches[0] = '0';
    g_AppSettings.order_success_switch = 0;
    g_AppSettings.default_order_type = 3;

    PublishBrokerMaster(broker->universe());

    ResetOrderRequestNumber();
    InstallOrderEntry();
    SetOrderMessageSink([this](int kind, char side, const std::string& text) {
        std::lock_guard lock(barMutex);
        bar.push_back({kind, side, text});
    });
    SetOrderBookLink(&book);
}

void OrderFixture::TearDown()
{
    if (CDlgOrderFormExp* form = CDlgOrderFormExp::Instance())
        waitIdle(form);
    UninstallOrderEntry();
    SetOrderBookLink(nullptr);
    ui::UiThread::discardPending();
    if (broker)
        broker->stop();
    broker.reset();
    RootInternetSession().setConnectTo({});
    UnpublishMaster();
    ClearSessionRecord();
    g_Session = SessionValues{};
    pv_user_info = UserInfoRecord{};
    CloseLog();
    g_Config = ConfigRecord{};
    Headless::TearDown();
}

int OrderFixture::findSecurity(const std::string& exchange, const std::string& inst) const
{
    return FindSecurity(exchange, inst);
}

CDlgOrderFormExp* OrderFixture::open(int mode, int index, char side, double price)
{
    OrderFormParams p;
    p.index = index;
    p.side = side;
    p.price = price;
    OpenOrderForm(p, nullptr, mode);
    CDlgOrderFormExp* form = CDlgOrderFormExp::Instance();
    return form && form->IsInitialised() ? form : nullptr;
}

bool OrderFixture::waitIdle(CDlgOrderFormExp* form)
{
    const bool idle = pumpUntil([form] { return !form->IsRequestInProcess(); }, 20000);
    form->WaitForRequest();
    return idle;
}

std::vector<BarLine> OrderFixture::barLines() const
{
    std::lock_guard lock(barMutex);
    return bar;
}

bool OrderFixture::barHas(const std::string& part) const
{
    for (const BarLine& l : barLines())
        if (l.text.find(part) != std::string::npos)
            return true;
    return false;
}

std::vector<tb::RecordedRequest> OrderFixture::orderRequests() const
{
    std::vector<tb::RecordedRequest> out;
    for (const tb::RecordedRequest& r : broker->requests())
        if (r.path == "/qtrade/qtrade.exe")
            out.push_back(r);
    return out;
}

bool OrderFixture::boxShown(const std::string& text) const
{
    for (const testkit::AskRecord& a : prompter.asks())
        if (a.text == text)
            return true;
    return false;
}

void InstallChargesLink(RecordingLinks& links)
{
    SetOrderFormLinks(&links);
    WebLinkRecord link;
    link.WebId = 104;
    CopyFixedText(link.Name, "Estimated Charges");
    g_WebLinkTable.links = {link};
    CopyFixedText(g_Config.Redirect_Url, "http://127.0.0.1:9");
}

} // namespace ordertest
