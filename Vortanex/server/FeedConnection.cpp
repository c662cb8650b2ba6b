#include "server/FeedConnection.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/LogWriter.h"
#include "app/base/SessionRecord.h"
#include "pf/clock.h"
#include "pf/http_call.h"
#include "pf/net.h"
#include "pf/threads.h"
#include "server/ExchangeCancel.h"
#include "server/FeedDispatcher.h"
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/ServerAccess.h"

#include "pf/ui_guard.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace feed_connection_detail {

constexpr const char* kDisconnected = "Feed got Disconnected.";
constexpr const char* kUnableToConnect = "Unable to connect to Feeds.";
// How long a subscription frame may take to go out on the feed socket, as the
// stream's own connection allows.
constexpr int kFeedWriteTimeoutMs = 10000;
// How long the exit gives the feed server to answer the logout before the
// exchange is ended; the exit goes on either way.
constexpr int kLogoutAnswerMs = 1000;
// A feed thread or sender told to stop ends at once (its exchange cut short);
// the bound only covers a proxy prompt it may still be showing.
constexpr int kStopEndMs = 5000;

std::string connectivityError(int status)
{
    return "Internet Connectivity Error [" + std::to_string(status) + "]. Pls contact System Administrator";
}

int countItems(const std::string& list)
{
    return static_cast<int>(std::count(list.begin(), list.end(), ','));
}

} // namespace feed_connection_detail

FeedConnection::Settings FeedSettingsFromProgram()
{
    FeedConnection::Settings s;
    s.feedsType = g_Config.Feeds_Type;
    s.connectType = g_Config.Connect_Type;
    s.mcastPort = g_Config.Mcast_Port;
    s.mcastIp = g_Config.Mcast_IP;
    s.host = pv_user_info.feed_update_host;
    s.port = pv_user_info.feed_update_port;
    s.localAddress = pv_user_info.local_address;
    s.userId = pv_user_info.user_id;
    s.userType = pv_user_info.user_type;
    s.segmentAccess = LoginFlagAt(3);
    s.build = kBuildText;
    s.autoConnect = g_AppSettings.auto_feeds != 0;
    s.proxyOn = g_ProxyInUse.load() != 0;
    const std::string user(
        g_AppSettings.proxy_user, strnlen(g_AppSettings.proxy_user, sizeof g_AppSettings.proxy_user));
    const std::string domain(g_AppSettings.proxy_domain,
                             strnlen(g_AppSettings.proxy_domain, sizeof g_AppSettings.proxy_domain));
    s.proxyUser = domain.empty() ? user : domain + "\\" + user;
    s.proxyPassword.assign(g_AppSettings.proxy_password,
                           strnlen(g_AppSettings.proxy_password, sizeof g_AppSettings.proxy_password));
    return s;
}

FeedConnection::FeedConnection(FeedDispatcher& dispatcher, FeedSubscriptions& subscriptions, ServerAccess& server,
                               FeedUi& ui, pf::HttpSession* session)
    : m_dispatcher(dispatcher),
      m_subscriptions(subscriptions),
      m_server(server),
      m_ui(ui),
      m_session(session),
      m_sender(std::make_unique<pf::HandlerPool>(1, false, "UpdateTokensThread"))
{
}

FeedConnection::~FeedConnection()
{
    stopAndWait();
}

// --- life cycle ---

bool FeedConnection::start(const Settings& settings)
{
    SetAccessTime();
    WriteLog(3, "In CMainFrame::OnConnect");
    std::unique_lock life(m_lifeMutex);
    if (m_collecting) {
        WriteLog(3, "Exit CMainFrame::OnConnect");
        return false; // an earlier connect still collects the ended feed
    }
    if (m_thread.joinable()) {
        if (m_threadAlive.load() && FeedState::instance().running() && !m_stop.load()) {
            WriteLog(3, "Exit CMainFrame::OnConnect");
            return false; // a feed runs: nothing to start
        }
        // The previous feed was told to end; make sure it has before another
        // one starts, so that two threads never read feeds at once. Its
        // exchange is cut short, and the UI is served while it ends.
        WriteLog(0, "closing feeds thread");
        m_stop.store(true);
        interruptCurrent();
        std::thread ending = std::move(m_thread);
        m_collecting = true;
        life.unlock();
        collect(ending);
        life.lock();
        m_collecting = false;
        if (m_thread.joinable()) {
            WriteLog(3, "Exit CMainFrame::OnConnect");
            return false;
        }
    }
    if (settings.feedsType < 1 || settings.feedsType > 4) {
        WriteLog(3, "Exit CMainFrame::OnConnect");
        return false;
    }
    // The stream's opening request carries the current token lists; they are
    // built from the windows, so here on the UI thread.
    if (settings.feedsType == 2)
        m_subscriptions.Update_Feeds_Token();
    m_feedsType.store(settings.feedsType);
    m_stop.store(false);
    m_closed.store(false);
    // Set before the thread exists, so a second OnConnect right after this
    // one cannot start another thread.
    FeedState::instance().setRunning(1);
    m_threadAlive.store(true);
    m_thread = std::thread([this, settings] { run(settings); });
    WriteLog(3, "Exit CMainFrame::OnConnect");
    return true;
}

void FeedConnection::stop()
{
    WriteLog(3, "In CMainFrame::OnDisconnect");
    std::lock_guard life(m_lifeMutex);
    SetAccessTime();
    FeedState& fs = FeedState::instance();
    bool interruptLater = false;
    if (m_feedsType.load() == 2 && fs.slot() >= 0 && fs.running()) {
        fs.setRunning(0);
        // The logout text is built now, with the slot it is for.
        const std::string text = m_subscriptions.logoutText();
        bool onStream = false;
        {
            std::lock_guard lock(m_linkMutex);
            onStream = m_streamTexts != nullptr;
        }
        if (onStream) {
            // The logout travels on the stream's own connection: that
            // connection ends only after the text is written.
            interruptLater = true;
            m_sender->post(0, [this, text] {
                sendText(202, text);
                interruptCurrent();
            }, "OnDisconnect");
        } else {
            m_sender->post(0, [this, text] { sendText(202, text); }, "OnDisconnect");
        }
    }
    m_stop.store(true);
    fs.setRunning(0);
    if (!interruptLater)
        interruptCurrent();
    WriteLog(3, "Exit CMainFrame::OnDisconnect");
}

void FeedConnection::collect(std::thread& thread)
{
    pf::uiguard::waitForWorker("the feed thread", [this] { return !m_threadAlive.load(); }, feed_connection_detail::kStopEndMs);
    pf::uiguard::join(thread, "the feed thread");
}

void FeedConnection::stopAndWait()
{
    m_closed.store(true); // snapshots still queued are dropped
    stop();
    std::thread ending;
    {
        std::lock_guard life(m_lifeMutex);
        ending = std::move(m_thread);
    }
    collect(ending);
    // The logout gets a moment to be answered; then it is ended, and what
    // else is queued finds the feed stopped.
    const pf::HandlerPool& sender = *m_sender;
    if (!pf::uiguard::waitForWorker("the feed logout", [&sender] { return sender.idle(); },
                                     feed_connection_detail::kLogoutAnswerMs)) {
        std::lock_guard lock(m_linkMutex);
        if (m_logout)
            m_logout->cancel();
    }
    pf::uiguard::waitForWorker("the feed sender", [&sender] { return sender.idle(); }, feed_connection_detail::kStopEndMs);
    m_sender->drain();
}

void FeedConnection::drainSender()
{
    m_sender->drain();
}

bool FeedConnection::stopping() const
{
    return m_stop.load() || FeedState::instance().running() == 0;
}

void FeedConnection::interruptCurrent()
{
    std::lock_guard lock(m_linkMutex);
    if (m_link)
        m_link->interrupt();
    if (m_port)
        m_port->interrupt();
    if (m_call)
        m_call->cancel();
    if (m_exchange)
        m_exchange->cancel();
    if (m_poll)
        m_poll->cancel();
    m_wake.notify_all();
}

void FeedConnection::pause(int ms)
{
    std::unique_lock lock(m_linkMutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping(); });
}

bool FeedConnection::hasSocket() const
{
    std::lock_guard lock(m_linkMutex);
    return (m_link && m_link->isOpen()) || m_streamTexts != nullptr;
}

void FeedConnection::message(const std::string& text, const std::string& caption)
{
    // A broken network repeats the same error every few seconds: one box is
    // enough until some time has passed.
    const int64_t now = pf::clock().nowSeconds();
    {
        std::lock_guard lock(m_messageMutex);
        if (text == m_lastMessage && now - m_lastMessageTime < kMessageCoalesceSeconds)
            return;
        m_lastMessage = text;
        m_lastMessageTime = now;
    }
    m_ui.showMessage(text, caption);
}

void FeedConnection::reportEnd()
{
    // A disconnect the user (or the exit) asked for is no news: only a feed
    // lost without being told to stop pops the box.
    if (!m_stop.load())
        message(feed_connection_detail::kDisconnected);
}

void FeedConnection::run(Settings settings)
{
    m_connections.fetch_add(1);
    try {
        switch (settings.feedsType) {
        case 1:
            runPolling(settings);
            break;
        case 2:
            runStream(settings);
            break;
        case 3:
            runTcp(settings);
            break;
        case 4:
            runUdp(settings);
            break;
        default:
            break;
        }
    } catch (const std::exception& e) {
        WriteLog(0, std::string("Exception  in FeedsThread : ") + e.what());
    } catch (...) {
        WriteLog(0, "Exception  in FeedsThread");
    }
    {
        std::lock_guard lock(m_linkMutex);
        m_link.reset();
        m_port.reset();
        m_call.reset();
    }
    FeedState::instance().setRunning(0);
    m_threadAlive.store(false);
}

bool FeedConnection::receiveBytes(FeedFrameAssembler& assembler, const char* data, size_t size)
{
    FeedState::instance().stampPacket(pf::clock().nowSeconds());
    const FeedDispatcher::Buffer buffer(m_dispatcher);
    return assembler.feed(data, size, [this](std::string_view m) {
        const int code = m_dispatcher.Distribute_Feed(m.data(), static_cast<int>(m.size()));
        return code != 999 && !stopping();
    });
}

std::string FeedConnection::openingTokens(int& count) const
{
    std::string tokens;
    count = 0;
    const std::string feeds = m_subscriptions.feedTokenList();
    const int feedCount = m_subscriptions.feedTokenCount();
    if (!feeds.empty() && feedCount > 0) {
        tokens += feeds;
        count += feedCount;
    }
    const std::string indices = m_subscriptions.indexTokenList();
    if (feed_connection_detail::countItems(indices) > 0) {
        tokens += indices;
        count += feed_connection_detail::countItems(indices);
    }
    return tokens;
}

// --- TCP ---

void FeedConnection::runTcp(const Settings& s)
{
    FeedState& fs = FeedState::instance();
    WriteLog(0, "TcpFeedsThread :Connecting to Host <" + s.host + ">, Port <" + std::to_string(s.port) + ">");
    auto link = std::make_shared<pf::TcpLink>();
    {
        // Published before connecting, so that a stop can end the wait; a stop
        // that came first interrupts it at once.
        std::lock_guard lock(m_linkMutex);
        m_link = link;
        if (stopping())
            link->interrupt();
    }
    if (!link->connectTo(s.host, s.port, s.connectTimeoutMs)) {
        WriteLog(0, "TcpFeedsThread :" + link->error());
        if (!stopping())
            message(feed_connection_detail::kUnableToConnect);
        return;
    }
    WriteLog(0, "TcpFeedsThread :Connected to Host <" + s.host + ">, Port <" + std::to_string(s.port) + ">");
    fs.stampPacket(pf::clock().nowSeconds());

    const std::string body = "200|" + s.localAddress + "|" + s.userId + "|" + std::string(1, s.userType) + "|" +
                             std::string(1, s.segmentAccess) + "|" +
                             std::to_string(m_subscriptions.feedTokenCount()) + "|" +
                             m_subscriptions.feedTokenList();
    WriteLog(0, body);
    // The length is the body's own (the server reads the body up to its CR LF).
    const std::string request = "POST " + std::string(kFeedPath) +
                                " HTTP/1.1\r\n"
                                "User-Agent: Vortanex\r\nHost: " +
                                s.localAddress + "\r\nContent-Length: " + std::to_string(body.size()) +
                                "\r\nConnection: Keep-Alive\r\nCache-Control: no-cache\r\n\r\n" + body + "\r\n";
    const bool opened = link->sendAll(request);
    if (!opened) {
        if (!stopping())
            message(feed_connection_detail::kUnableToConnect);
    } else {
        m_ui.updateConnectStatus(1);
        FeedFrameAssembler assembler(FeedFrameAssembler::Kind::Tcp);
        std::vector<char> buffer(4090);
        while (!stopping()) {
            const long n = link->receive(buffer.data(), buffer.size());
            // 0: the server closed the connection; -1: an error or a stop.
            if (n <= 0)
                break;
            if (!receiveBytes(assembler, buffer.data(), static_cast<size_t>(n)))
                break;
        }
    }
    {
        std::lock_guard lock(m_linkMutex);
        m_link.reset();
    }
    link->close(); // under the link's send lock: no sender holds the number
    fs.setRunning(0);
    fs.setSlot(-1);
    WriteLog(0, "Disconnected from TcpFeeds");
    if (opened)
        m_ui.updateConnectStatus(0);
    reportEnd();
}

// --- UDP ---

void FeedConnection::runUdp(const Settings& s)
{
    FeedState& fs = FeedState::instance();
    WriteLog(3, "In UdpFeedsThread : UDP Port :" + std::to_string(s.mcastPort));
    while (!stopping()) {
        auto port = std::make_shared<pf::DatagramPort>();
        if (!port->bindTo(s.mcastPort, s.mcastIp)) {
            // Closed, and a pause before the next try instead of a busy loop.
            WriteLog(0, "Unable to connect to Udp Feeds :3 " + port->error());
            pause(s.udpRetryMs);
            continue;
        }
        {
            std::lock_guard lock(m_linkMutex);
            m_port = port;
            if (stopping())
                port->interrupt();
        }
        WriteLog(0, "Connected to UDP Feeds");
        fs.stampPacket(pf::clock().nowSeconds());
        m_ui.updateConnectStatus(1);
        FeedFrameAssembler assembler(FeedFrameAssembler::Kind::Udp);
        std::vector<char> buffer(4096);
        bool ended = false;
        while (!ended && !stopping()) {
            const long n = port->receive(buffer.data(), buffer.size());
            if (n < 0)
                break;
            ended = !receiveBytes(assembler, buffer.data(), static_cast<size_t>(n));
        }
        {
            std::lock_guard lock(m_linkMutex);
            m_port.reset();
        }
        port->close();
        fs.setSlot(-1);
        m_ui.updateConnectStatus(0);
        if (!s.autoConnect)
            break;
    }
    fs.setRunning(0);
    reportEnd();
    WriteLog(0, "Exit UdpFeedsThread");
}

// --- HTTP stream ---

void FeedConnection::runStream(const Settings& s)
{
    FeedState& fs = FeedState::instance();
    WriteLog(3, "In HttpLiveFeedsThread : Host " + s.host + ", Port :" + std::to_string(s.port));
    if (!m_session) {
        WriteLog(0, "Unable to initialise async url");
        return;
    }
    std::string proxyUser = s.proxyUser;
    std::string proxyPassword = s.proxyPassword;
    while (!stopping()) {
        int count = 0;
        const std::string tokens = openingTokens(count);
        const std::string body = "200|" + s.localAddress + "|" + s.userId + "|" + std::string(1, s.userType) +
                                 "|L|" + std::to_string(count) + "|" + tokens + "|" + s.build;
        std::shared_ptr<pf::HttpCall> call;
        int status = 0;
        int continuations = 0;
        int prompts = 0;
        for (int attempt = 0; attempt < 3 && !stopping(); ++attempt) {
            call = std::make_shared<pf::HttpCall>(*m_session);
            call->setProxyCredentials(proxyUser, proxyPassword);
            {
                std::lock_guard lock(m_linkMutex);
                m_call = call;
                if (stopping())
                    call->cancel();
            }
            status = call->send("POST", s.host, s.port, kFeedPath, body);
            if (status == 200)
                break;
            call->close();
            if (status == 407) {
                if (s.proxyOn && ++continuations <= 2) {
                    WriteLog(0, "Proxy Authentication Continued.");
                    --attempt;
                    continue;
                }
                WriteLog(0, "Proxy Authentication Required.");
                if (++prompts > 3 || stopping())
                    break;
                auto answer = m_ui.askProxyCredentials();
                while (answer.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready && !stopping()) {
                }
                if (stopping())
                    break;
                const FeedUi::ProxyAnswer a = answer.get();
                if (!a.ok)
                    break;
                proxyUser = a.user;
                proxyPassword = a.password;
                continuations = 0;
                --attempt;
                continue;
            }
            WriteLog(0, "Http Error Code :" + std::to_string(status));
            // No exchange at all (the library's error numbers): with a
            // configured connection type one more try, else give up.
            if (status >= 1000 && s.connectType >= 1) {
                attempt += 1;
                continue;
            }
            break;
        }
        if (status == 200 && !stopping()) {
            fs.stampPacket(pf::clock().nowSeconds());
            m_ui.updateConnectStatus(1);
            if (s.connectType == 2 && s.segmentAccess == '4') {
                WriteLog(0, "*** Segment Access 4 alternate subscription routine");
                if (call->wrapped()) {
                    // Raw texts would break an encrypted (or proxied) stream.
                    WriteLog(0, "Feed stream is encrypted or proxied: subscriptions go by request");
                } else {
                    std::lock_guard lock(m_linkMutex);
                    m_streamTexts = call;
                }
            }
            WriteLog(0, "Connected to Http Feeds :" + std::to_string(call->activeSocket()));
            FeedFrameAssembler assembler(FeedFrameAssembler::Kind::Stream);
            std::vector<char> buffer(16384);
            while (!stopping()) {
                const long n = call->read(buffer.data(), buffer.size());
                if (n < 0) {
                    if (call->failed())
                        WriteLog(0, "-1 received while reading : [" + call->errorText() + "]");
                    break;
                }
                if (n > 0 && !receiveBytes(assembler, buffer.data(), static_cast<size_t>(n)))
                    break;
                if (!IsLoggedIn()) {
                    fs.setRunning(0);
                    break;
                }
            }
        }
        WriteLog(0, "Disconnected from Http Feeds");
        fs.setSlot(-1);
        {
            std::lock_guard lock(m_linkMutex);
            m_call.reset();
            m_streamTexts.reset();
        }
        if (call)
            call->close();
        if (!IsLoggedIn())
            break;
        m_ui.updateConnectStatus(0);
        if (!s.autoConnect) {
            WriteLog(0, "Auto Connect 0");
            break;
        }
        pause(s.reconnectDelayMs);
    }
    fs.setRunning(0);
    if (IsLoggedIn())
        reportEnd();
    WriteLog(0, "Exit HttpLiveFeedsThread");
}

// --- HTTP polling ---

void FeedConnection::runPolling(const Settings& s)
{
    WriteLog(0, "Entry HttpFeedsThread");
    while (!stopping()) {
        // No cap on the list: every subscribed security is polled.
        const std::string text = "Token=" + std::to_string(m_subscriptions.feedTokenCount()) + "," +
                                 m_subscriptions.feedTokenList();
        // The poll takes the slot that a stop cancels: a disconnect, and the
        // connect after it, never wait for a slow server.
        auto cancel = std::make_shared<ExchangeCancel>();
        {
            std::lock_guard lock(m_linkMutex);
            if (stopping())
                break;
            m_poll = cancel;
        }
        try {
            GetLiveFeeds(text, cancel.get());
        } catch (...) {
            WriteLog(0, "Exception  in HttpFeedsThread ");
        }
        {
            std::lock_guard lock(m_linkMutex);
            if (m_poll == cancel)
                m_poll.reset();
        }
        pause(s.pollIntervalMs);
    }
    FeedState::instance().setRunning(0);
    reportEnd();
    WriteLog(0, "Exit HttpFeedsThread");
}

void FeedConnection::requestSnapshot(const std::string& text)
{
    if (m_closed.load())
        return;
    m_sender->post(0, [this, text] {
        // One exchange at a time on this thread: it takes the slot that a
        // stop cancels, so neither a disconnect nor the exit waits for it.
        auto cancel = std::make_shared<ExchangeCancel>();
        {
            std::lock_guard lock(m_linkMutex);
            if (m_closed.load())
                return;
            m_exchange = cancel;
        }
        GetLiveFeeds(text, cancel.get());
        std::lock_guard lock(m_linkMutex);
        if (m_exchange == cancel)
            m_exchange.reset();
    }, "GetLiveFeeds");
}

void FeedConnection::GetLiveFeeds(const std::string& text, ExchangeCancel* cancel)
{
    WriteLog(101, "Getting Feeds");
    const ServerReply reply =
        cancel ? m_server.requestServerCancellable(0, 13, text, *cancel) : m_server.requestServer(0, 13, text);
    if (cancel && cancel->cancelled())
        return;
    if (reply.status == 407) {
        message("Proxy Authentication Failed");
        return;
    }
    if (reply.status != 200) {
        message(feed_connection_detail::connectivityError(reply.status));
        return;
    }
    // A poll that was answered is as good as a packet for the watchdog.
    FeedState::instance().stampPacket(pf::clock().nowSeconds());
    WriteLog(101, "Feeds Len <" + std::to_string(reply.body.size()) + ">");
    size_t start = 0;
    for (int record = 0; start <= reply.body.size(); ++record) {
        size_t end = reply.body.find('*', start);
        if (end == std::string::npos)
            end = reply.body.size();
        std::string_view r(reply.body.data() + start, end - start);
        while (!r.empty() && (r.front() == ' ' || r.front() == '\r' || r.front() == '\n'))
            r.remove_prefix(1);
        while (!r.empty() && (r.back() == ' ' || r.back() == '\r' || r.back() == '\n' || r.back() == '\0'))
            r.remove_suffix(1);
        if (record >= 4 && !r.empty()) {
            r = r.substr(0, 511);
            m_dispatcher.UpdateFeedsAndNotify(r.data(), static_cast<int>(r.size()));
        }
        start = end + 1;
    }
}

// --- texts to the server ---

void FeedConnection::requestSubscription(int which)
{
    if (which != 1 && which != 2) {
        WriteLog(0, "Invalid Command received to UpdateTokensThread");
        return;
    }
    m_sender->post(0, [this, which] {
        WriteLog(3, "Entry UpdateTokensThreadX :" + std::to_string(which));
        if (!FeedState::instance().running())
            return;
        FeedState::instance().setLastHeartbeatTime(pf::clock().nowSeconds());
        const std::string text = m_subscriptions.subscriptionText(which);
        if (which == 1)
            WriteLog(3, "Token Count :" + std::to_string(m_subscriptions.feedTokenCount()) + ", Index Count :" +
                            std::to_string(feed_connection_detail::countItems(m_subscriptions.indexTokenList())) +
                            ", Len :" + std::to_string(text.size()));
        sendText(which == 1 ? 201 : 203, text);
        WriteLog(3, "Exit :UpdateTokensThreadX");
    }, "UpdateTokensThread");
}

void FeedConnection::sendText(int code, const std::string& text)
{
    const int type = m_feedsType.load();
    std::shared_ptr<pf::TcpLink> link;
    {
        std::lock_guard lock(m_linkMutex);
        link = m_link;
    }
    std::shared_ptr<pf::HttpCall> stream;
    {
        std::lock_guard lock(m_linkMutex);
        stream = m_streamTexts;
    }
    // A subscription names the slot the server gave this connection; without
    // one (not given yet, or the connection has just ended) it means nothing,
    // whichever way it would go.
    if ((code == 201 || code == 203) && FeedState::instance().slot() < 0) {
        WriteLog(3, "Subscription " + std::to_string(code) + " not sent: no feed slot");
        return;
    }
    if (stream && type == 2) {
        const std::string frame = SubscriptionFrame(text);
        if (frame.empty())
            return;
        const bool sent = stream->sendOnConnection(frame);
        WriteLog(3, "UpdateTokensThread Ret :" + std::to_string(sent ? static_cast<long>(frame.size()) : -1L));
        // A write that failed or stalled may have left part of the frame on
        // the connection, which would garble every later frame: the stream
        // is dropped and connects again.
        if (!sent) {
            WriteLog(0, "Feed text " + std::to_string(code) + " not written whole: the stream is dropped");
            stream->cancel();
        }
        return;
    }
    const bool socket = link && link->isOpen();
    if (socket && (type == 2 || type == 3 || type == 5 || type == 6)) {
        const std::string frame = SubscriptionFrame(text);
        if (frame.empty())
            return;
        // Bounded, as on the stream: a peer that stopped reading must not
        // hold the sender (and every later subscription) for good.
        const bool sent = link->sendAll(frame, feed_connection_detail::kFeedWriteTimeoutMs);
        WriteLog(3, "UpdateTokensThread Ret :" + std::to_string(sent ? static_cast<long>(frame.size()) : -1L));
        if (!sent) {
            WriteLog(0, "Feed text " + std::to_string(code) + " not written whole: the connection is dropped");
            link->interrupt();
        }
        return;
    }
    if (type == 3)
        return; // TCP without its socket: nothing to send on
    if (type != 2 && type != 5 && type != 6)
        return;
    const int transCode = code == 900 ? 12 : 11;
    ServerReply reply;
    if (code == 202) {
        // The logout is sent after the stop on purpose: it runs its course,
        // unless the exit has waited for it long enough.
        auto cancel = std::make_shared<ExchangeCancel>();
        {
            std::lock_guard lock(m_linkMutex);
            m_logout = cancel;
        }
        reply = m_server.requestServerCancellable(0, transCode, text, *cancel);
        {
            std::lock_guard lock(m_linkMutex);
            if (m_logout == cancel)
                m_logout.reset();
        }
        if (cancel->cancelled()) {
            WriteLog(0, "Disconnect Request not answered; ended at exit");
            return;
        }
    } else {
        // A subscription or heartbeat means nothing once the feed stops, so a
        // stop ends it at once rather than wait for a silent server.
        auto cancel = std::make_shared<ExchangeCancel>();
        {
            std::lock_guard lock(m_linkMutex);
            if (stopping())
                return;
            m_exchange = cancel;
        }
        reply = m_server.requestServerCancellable(0, transCode, text, *cancel);
        {
            std::lock_guard lock(m_linkMutex);
            if (m_exchange == cancel)
                m_exchange.reset();
        }
        if (cancel->cancelled())
            return;
    }
    if (code == 900) {
        WriteLog(3, "HeartBeat Response Len:" + std::to_string(reply.body.size()));
    } else if (code == 202) {
        if (reply.status == 200)
            WriteLog(0, "Disconnect Request Success. Response Len [" + std::to_string(reply.body.size()) + " - " +
                            std::to_string(reply.body.size()) + "].");
        else
            message(feed_connection_detail::connectivityError(reply.status), "Internet Error");
    } else if (reply.status != 200) {
        WriteLog(0, feed_connection_detail::connectivityError(reply.status));
    }
}

void FeedConnection::CheckBandwidthThread()
{
    const int type = m_feedsType.load();
    if ((type != 2 && type != 3) || FeedState::instance().slot() < 0)
        return;
    sendText(900, m_subscriptions.heartbeatText());
}

void FeedConnection::onTimer()
{
    if (!IsLoggedIn())
        return;
    FeedState& fs = FeedState::instance();
    const int64_t now = pf::clock().nowSeconds();
    if (hasSocket() && now - fs.lastHeartbeatTime() >= kHeartbeatSeconds) {
        fs.setLastHeartbeatTime(now);
        m_sender->post(0, [this] { CheckBandwidthThread(); }, "CheckBandwidthThread");
    }
    if (m_threadAlive.load() && fs.running() && now - fs.lastPacketTime() >= kWatchdogSeconds) {
        // Only a signal: the feed thread ends and closes its own connection.
        WriteLog(0, "No feed packet for " + std::to_string(now - fs.lastPacketTime()) + " seconds");
        fs.setRunning(0);
        interruptCurrent();
    }
}
