#include "app/ProgramFeed.h"

#include "app/base/AppSettings.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/TextFormat.h"
#include "app/InformationWiring.h"
#include "frame/CMainFrame.h"
#include "frame/CToolBoxBar.h"
#include "market/MarketFeed.h"
#include "orders/CTradeView.h"
#include "orders/ClientOrderStore.h"
#include "orders/OrderConfirmation.h"
#include "positions/NetPositionFeed.h"
#include "server/ExchangeCancel.h"
#include "server/FeedConnection.h"
#include "server/FeedDispatcher.h"
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/MarketLookups.h"
#include "server/RequestServer.h"
#include "server/RequestServerAccess.h"
#include "server/SecurityRecord.h"
#include "watch/AlertStore.h"
#include "watch/CVortanexView.h"

#include "ui/ui_thread.h"

#include <atomic>
#include <cstring>
#include <future>
#include <memory>

namespace program_feed_detail {
namespace {

// The feed's consumers that exist so far: the message bar, the market-status
// table and the quote time of the status bar.
class FrameConsumers final : public FeedConsumers {
public:
    void setUserMessage(int kind, char side, const std::string& text, bool popup, int eventId) override
    {
        if (CMainFrame* f = CMainFrame::Instance())
            f->SetUserMessage(kind, side, text, {}, popup ? 1 : 0, eventId);
    }
    void marketStatus(const std::string& segment, const std::string& status) override
    {
        if (!MarketStatusTable::instance().update(segment, status))
            return;
        WriteLog(3, "Market status " + segment + " :" + status);
        // The pane's buttons belong to the UI thread.
        ui::UiThread::post([segment, status] {
            if (CVortanexApp* app = CurrentApp(); app && app->marketStatusPane())
                app->marketStatusPane()->UpdateMarketStatus(segment, status);
        });
    }
    void indexUpdated(const IndexRecord& row) override
    {
        if (CMainFrame* f = CMainFrame::Instance())
            f->ShowQuoteTime(row.stamp);
        // The indices bar and the index view, through their tick boxes.
        MarketFeed::indexUpdated(row);
    }
    void lastTradesUpdated(int security) override { MarketFeed::lastTradesUpdated(security); }
    // 141, 145, 155 and 160: parsed here on the pool, shown by the frame.
    void informationDisplay(int code, const std::string& text) override { InformationDisplayFeed(code, text); }
    void quoteTimeUpdated(int64_t epochSeconds) override
    {
        // The frame keeps the newest time and sets the pane on the UI thread.
        if (CMainFrame* f = CMainFrame::Instance())
            f->ShowQuoteTime(epochSeconds);
    }
    void serverNotice(const std::string& text) override
    {
        ui::UiThread::post([text] { MsgBoxInfo(text); });
    }
    // The feed gave a slot: the open depth windows' securities are due.
    void feedSlotAssigned() override
    {
        // The index lists (the bar's or the index view's) were set before
        // the feed had a slot; they go with the first 201.
        ui::UiThread::post([] {
            Update_MDepth_Token(1);
            UpdateTokensThread(1);
        });
    }
    // The order store and the open book follow the confirmation.
    void orderConfirmationPayload(const std::string& clientCode, const std::string& payload) override
    {
        ApplyOrderConfirmation(clientCode, payload);
        int kind = -1;
        std::string client;
        OrderInfo record;
        if (ReadConfirmationRecord(payload, kind, client, record) && kind == kConfirmTrade) {
            // A fill: the open trade book takes it as it comes.
            ui::UiThread::post([] {
                if (CTradeView* trades = g_pTradeView)
                    trades->FollowNewTrades();
            });
        }
    }
    bool alertsEnabled() const override { return g_AppSettings.alerts_switch != 0; }
    bool claimAlertCheck(int security, const SecurityRecord& rec) override
    {
        return AlertStore::claimCheck(security, rec);
    }
    void prefetchAlertCheck(int security) const override { AlertStore::prefetchCheck(security); }
    void checkAlerts(int security, const QuoteData& claimed) override { AlertStore::check(security, claimed); }
    // An index's value became its security's last price: the risk window
    // takes it like a tick.
    bool netPositionOpen() const override { return NetPositionFeedLink::openFeed() != nullptr; }
    void netPositionPrice(int security) override { NetPositionFeedLink::indexPrice(security); }
};

class FrameFeedUi final : public FeedUi {
public:
    void showMessage(const std::string& text, const std::string& caption) override
    {
        ui::UiThread::post([text, caption] { MsgBoxInfoCaption(text, caption); });
    }
    void updateConnectStatus(int connected) override
    {
        if (CMainFrame* f = CMainFrame::Instance())
            f->UpdateConnectStatus(connected != 0);
    }
    std::future<ProxyAnswer> askProxyCredentials() override { return AskFeedProxyCredentials(); }
};

// The polling feed has no connection of its own to report: it is connected
// while its polls are answered. The state lives on the UI thread; the
// generation tells a poll's answer that came after a disconnect (or from an
// earlier connection) to keep quiet.
struct PollStatus {
    std::atomic<int> generation{0};
    bool polling = false; // UI thread
    int shown = -1;       // UI thread: the state last put in the pane, -1 none
    void show(bool connected)
    {
        if (shown == int(connected))
            return;
        shown = int(connected);
        if (CMainFrame* f = CMainFrame::Instance())
            f->UpdateConnectStatus(connected);
    }
    // UI thread: a poll loop starts, or the running one ends.
    void start(bool isPolling)
    {
        generation.fetch_add(1);
        polling = isPolling;
        shown = -1;
    }
    void stop()
    {
        generation.fetch_add(1);
        if (polling) {
            polling = false;
            show(false);
        }
    }
};

// The feed's server access: the requests as they are, and the polls' answers
// told to the status pane.
class PollingAccess final : public ServerAccess {
public:
    explicit PollingAccess(std::shared_ptr<PollStatus> status) : m_status(std::move(status)) {}
    ServerReply downLoadFile(const std::string& host, int port, const std::string& path) override
    {
        return m_inner.downLoadFile(host, port, path);
    }
    ServerReply requestServer(int encryptType, int transCode, const std::string& text) override
    {
        const int generation = m_status->generation.load();
        ServerReply reply = m_inner.requestServer(encryptType, transCode, text);
        told(transCode, generation, reply.status == 200);
        return reply;
    }
    ServerReply requestServerCancellable(int encryptType, int transCode, const std::string& text,
                                         ExchangeCancel& cancel) override
    {
        const int generation = m_status->generation.load();
        ServerReply reply = m_inner.requestServerCancellable(encryptType, transCode, text, cancel);
        if (!cancel.cancelled())
            told(transCode, generation, reply.status == 200);
        return reply;
    }

private:
    void told(int transCode, int generation, bool answered)
    {
        if (transCode != kFeedPollCode)
            return;
        ui::UiThread::post([status = m_status, generation, answered] {
            if (!status->polling || status->generation.load() != generation)
                return;
            status->show(answered && FeedState::instance().running() != 0);
        });
    }
    static constexpr int kFeedPollCode = 13;
    RequestServerAccess m_inner;
    std::shared_ptr<PollStatus> m_status;
};

// The index table of the login as the dispatcher's index rows.
class TableIndexRows final : public IndexRows {
public:
    bool update(int feedCode, const std::function<void(IndexRecord&)>& change, IndexRecord& after) override
    {
        return IndexTable::instance().update(feedCode, change, after);
    }
};

} // namespace
} // namespace program_feed_detail

std::future<FeedUi::ProxyAnswer> AskFeedProxyCredentials()
{
    // Answered exactly once: by the dialog, or as cancelled when the UI
    // thread drops the work at shut-down (a broken promise would throw on the
    // feed thread instead).
    struct Reply {
        std::promise<FeedUi::ProxyAnswer> promise;
        bool given = false; // UI thread, or the last owner's destructor
        void give(FeedUi::ProxyAnswer a)
        {
            given = true;
            promise.set_value(std::move(a));
        }
        ~Reply()
        {
            if (!given)
                promise.set_value({});
        }
    };
    auto reply = std::make_shared<Reply>();
    std::future<FeedUi::ProxyAnswer> answer = reply->promise.get_future();
    // Posted, never waited for: the feed thread keeps watching for a stop
    // while the dialog is open, so a disconnect on the UI thread never waits
    // for a dialog the UI thread itself has to show.
    ui::UiThread::post([reply] {
        FeedUi::ProxyAnswer a;
        a.ok = AskProxyCredentials();
        if (a.ok) {
            a.user = ProxyUserName();
            a.password.assign(g_AppSettings.proxy_password,
                              strnlen(g_AppSettings.proxy_password, sizeof g_AppSettings.proxy_password));
        }
        reply->give(std::move(a));
    });
    return answer;
}

struct ProgramFeed::Parts {
    program_feed_detail::FrameConsumers consumers;
    program_feed_detail::FrameFeedUi ui;
    program_feed_detail::TableIndexRows indices;
    std::shared_ptr<program_feed_detail::PollStatus> poll = std::make_shared<program_feed_detail::PollStatus>();
    program_feed_detail::PollingAccess access{poll};
    std::unique_ptr<FeedDispatcher> dispatcher;
    std::unique_ptr<FeedConnection> connection;
};

ProgramFeed::ProgramFeed() : m_parts(std::make_unique<Parts>())
{
    FeedDispatcher::Options o;
    m_parts->dispatcher =
        std::make_unique<FeedDispatcher>(m_parts->consumers, FeedSubscriptions::instance(), m_parts->indices, o);
    m_parts->connection = std::make_unique<FeedConnection>(*m_parts->dispatcher, FeedSubscriptions::instance(),
                                                           m_parts->access, m_parts->ui, &RootInternetSession());
    InstallFeedDispatcher(m_parts->dispatcher.get());
    FeedConnection* conn = m_parts->connection.get();
    FeedSubscriptions::instance().setSubscriptionRequest([conn](int which) { conn->requestSubscription(which); });
    // A market watch asks for its rows' quotes when it shows a list (the
    // polling feed and no feed at all); the poll runs on the feed's sender.
    CVortanexView::services().getLiveFeeds = [conn](const std::string& text) { conn->requestSnapshot(text); };
}

ProgramFeed::~ProgramFeed()
{
    shutdown();
}

void ProgramFeed::connect()
{
    if (!m_parts->connection)
        return;
    const FeedConnection::Settings settings = FeedSettingsFromProgram();
    m_parts->poll->start(settings.feedsType == 1);
    m_parts->connection->start(settings);
}

void ProgramFeed::setBroadcastLog(const std::filesystem::path& logsDir)
{
    if (m_parts->dispatcher)
        m_parts->dispatcher->setBroadcastLogFolder(logsDir);
}

void ProgramFeed::disconnect()
{
    if (m_parts->connection)
        m_parts->connection->stop();
    m_parts->poll->stop();
}

void ProgramFeed::shutdown()
{
    if (!m_parts->connection)
        return;
    FeedSubscriptions::instance().setSubscriptionRequest({});
    CVortanexView::services().getLiveFeeds = {};
    m_parts->connection->stopAndWait();
    m_parts->connection.reset();
    InstallFeedDispatcher(nullptr);
    // A handler may be waiting for the UI thread (a box): it is served until
    // the handed-over messages are handled.
    const FeedDispatcher& dispatcher = *m_parts->dispatcher;
    ui::UiThread::waitForWorker("the feed handlers", [&dispatcher] { return dispatcher.idle(); }, 5000);
    m_parts->dispatcher->drain();
    m_parts->dispatcher->stop();
}

bool ProgramFeed::running() const
{
    return FeedState::instance().running() != 0;
}

bool ProgramFeed::up() const
{
    // UI thread: the poll state lives there.
    return running() && (FeedState::instance().slot() >= 0 || (m_parts->poll->polling && m_parts->poll->shown == 1));
}

bool ProgramFeed::socketOpen() const
{
    return m_parts->connection && m_parts->connection->hasSocket();
}

int64_t ProgramFeed::lastPacketTime() const
{
    return FeedState::instance().lastPacketTime();
}

int64_t ProgramFeed::lastHeartbeatTime() const
{
    return FeedState::instance().lastHeartbeatTime();
}

void ProgramFeed::heartbeat()
{
    if (m_parts->connection)
        m_parts->connection->onTimer();
}

void ProgramFeed::watchdog()
{
    if (m_parts->connection)
        m_parts->connection->onTimer();
    // The polls went unanswered long enough for the feed to stop.
    if (!running())
        m_parts->poll->stop();
}

int ProgramFeed::connectionCount() const
{
    return m_parts->connection ? m_parts->connection->connectionCount() : 0;
}
