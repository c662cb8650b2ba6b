#pragma once
// The live feed's connection in one of its four transports (HTTP polling,
// HTTP stream, TCP, UDP): one feed thread per connection that connects, sends
// the opening request, cuts the received bytes into messages and hands each to
// the dispatcher. The main frame starts and stops it (OnConnect and
// OnDisconnect) and its timer drives the heartbeat and the watchdog.
//
// Lifetime: the feed thread owns its socket or HTTP call and alone closes it.
// Others only signal it: a stop flag plus interrupt() of the socket (or
// cancel() of the call or the poll) ends any blocked receive at once, and the
// thread is collected (the UI served meanwhile) before another one starts, so
// there is never more than one. Texts
// for the server (subscription, heartbeat, logout) go out through one send
// lock on a sender thread of their own, so the UI never waits on the network
// and a closed socket is never written to. A stop also ends the subscription
// or heartbeat exchange in flight there, so the logout that follows it and the
// exit never wait for a server that does not answer.
#include "server/FeedFrameAssembler.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class ExchangeCancel;
class FeedDispatcher;
class FeedSubscriptions;
class ServerAccess;

namespace pf {
class DatagramPort;
class HttpCall;
class HttpSession;
class TcpLink;
class HandlerPool;
} // namespace pf

// What the connection needs of the UI. Calls come from the feed and sender
// threads; an implementation posts to the UI thread and returns, except the
// proxy prompt, which waits for the user's answer.
class FeedUi {
public:
    virtual ~FeedUi() = default;
    // A message box ("Feed got Disconnected." and the others), not waited for.
    virtual void showMessage(const std::string& text, const std::string& caption)
    {
        (void)text, (void)caption;
    }
    // CMainFrame::UpdateConnectStatus: 1 connected, 0 disconnected.
    virtual void updateConnectStatus(int connected) { (void)connected; }
    struct ProxyAnswer {
        bool ok = false; // OK pressed; the credentials below then apply
        std::string user;
        std::string password;
    };
    // The proxy credentials dialog, posted to the UI thread; the answer comes
    // through the future. The feed thread waits for it only while it is not
    // told to stop, so OnConnect and OnDisconnect on the UI thread never wait
    // for a dialog that the UI thread itself would have to show.
    virtual std::future<ProxyAnswer> askProxyCredentials()
    {
        std::promise<ProxyAnswer> none;
        none.set_value({});
        return none.get_future();
    }
};

class FeedConnection {
public:
    // What a connection is made with; FeedSettingsFromProgram() fills it from
    // the configuration, the session and the settings.
    struct Settings {
        int feedsType = 0;       // 1 polling, 2 HTTP stream, 3 TCP, 4 UDP; others: no feed
        int connectType = 0;
        std::string host;        // feed_update_host
        int port = 0;            // feed_update_port
        int mcastPort = 0;
        std::string mcastIp;
        bool autoConnect = false;
        std::string localAddress;
        std::string userId;
        char userType = ' ';
        char segmentAccess = ' '; // the login's fourth segment-access flag
        std::string build;        // the program's build text
        bool proxyOn = false;
        std::string proxyUser;    // "domain\\user" when a domain is set
        std::string proxyPassword;
        int connectTimeoutMs = 30000;
        int pollIntervalMs = 5000;
        int udpRetryMs = 1000;
        int reconnectDelayMs = 100;
    };

    static constexpr const char* kFeedPath = "/cgi-bin/Glenvarro/pfeeds.exe";
    static constexpr int kHeartbeatSeconds = 30;
    static constexpr int kWatchdogSeconds = 75;
    // The same connectivity message is not shown again within this time.
    static constexpr int kMessageCoalesceSeconds = 60;

    // server: the request function (codes 11, 12, 13); session: for the HTTP
    // stream (may be null when it is not used).
    FeedConnection(FeedDispatcher& dispatcher, FeedSubscriptions& subscriptions, ServerAccess& server, FeedUi& ui,
                   pf::HttpSession* session);
    // Stops the feed and joins its thread.
    ~FeedConnection();
    FeedConnection(const FeedConnection&) = delete;
    FeedConnection& operator=(const FeedConnection&) = delete;

    // OnConnect: starts the transport's feed thread unless one runs. A thread
    // that is ending (its connection stopped) is joined first. False when
    // nothing was started.
    bool start(const Settings& settings);
    // OnDisconnect: sends the logout text on the HTTP stream, then signals the
    // feed thread to end (it closes its own connection). Does not wait.
    void stop();
    // Exit: stop() and wait for the thread and the sender, serving the UI
    // meanwhile: the logout is given a moment to be answered, then ended.
    void stopAndWait();

    // The timer: the heartbeat when due (30 s after the last one, while a feed
    // socket exists), and the watchdog (75 s without a packet ends the feed).
    void onTimer();
    // Asked by the subscription tables: 1 sends the feeds subscription 201,
    // 2 the depth subscription 203 (on the sender thread).
    void requestSubscription(int which);

    // The market watch's quote snapshot of a list ("Token=n,t1,t2,..."), for
    // the polling feed and for no feed at all: one poll on the sender thread,
    // applied as the polling feed applies its replies, so the window shows
    // prices at once and the UI never waits. A stop ends it; after
    // stopAndWait (until the next start) it is dropped.
    void requestSnapshot(const std::string& text);

    // True while a feed thread exists (running or ending).
    bool threadAlive() const { return m_threadAlive.load(); }
    // Connections made since construction (tests).
    int connectionCount() const { return m_connections.load(); }
    // True while a TCP feed socket is open, or an HTTP stream whose own
    // connection takes the texts (FeedSocket > 0).
    bool hasSocket() const;
    // Waits until the sender thread has sent everything asked so far (tests).
    void drainSender();

private:
    void run(Settings settings);
    void runTcp(const Settings& s);
    void runStream(const Settings& s);
    void runUdp(const Settings& s);
    void runPolling(const Settings& s);
    // One poll; with cancel, a stop ends it at once and nothing is applied.
    void GetLiveFeeds(const std::string& text, ExchangeCancel* cancel = nullptr);
    // Feeds received bytes through the assembler; false when the feed must end.
    bool receiveBytes(FeedFrameAssembler& assembler, const char* data, size_t size);
    bool stopping() const;
    // Sleeps up to ms, ending early when the feed is signalled to stop.
    void pause(int ms);
    void interruptCurrent();
    // Waits for an ended feed thread, serving the UI, and joins it.
    void collect(std::thread& thread);
    void sendText(int code, const std::string& text);
    void CheckBandwidthThread();
    void message(const std::string& text, const std::string& caption = "Vortanex");
    // The end of a feed thread: "Feed got Disconnected." unless a stop was asked.
    void reportEnd();
    std::string openingTokens(int& count) const;

    FeedDispatcher& m_dispatcher;
    FeedSubscriptions& m_subscriptions;
    ServerAccess& m_server;
    FeedUi& m_ui;
    pf::HttpSession* m_session;
    std::unique_ptr<pf::HandlerPool> m_sender; // one thread: texts go out in order

    std::mutex m_lifeMutex; // serialises start, stop and the destructor
    std::thread m_thread;   // guarded by m_lifeMutex
    bool m_collecting = false; // guarded by m_lifeMutex; a connect waits for the ended feed
    std::atomic<int> m_feedsType{0};
    std::atomic<bool> m_threadAlive{false};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_closed{false}; // stopAndWait ran: no more snapshots
    std::atomic<int> m_connections{0};

    mutable std::mutex m_linkMutex;              // the current connection, for signalling and sending
    std::condition_variable m_wake;              // with m_linkMutex: ends pause()
    std::shared_ptr<pf::TcpLink> m_link;         // guarded by m_linkMutex; the feed socket
    std::shared_ptr<pf::DatagramPort> m_port;    // guarded by m_linkMutex
    std::shared_ptr<pf::HttpCall> m_call;        // guarded by m_linkMutex
    // The HTTP stream whose own connection carries the subscription,
    // heartbeat and logout texts (connection type 2 with segment access '4');
    // null otherwise, and forgotten with its connection.
    std::shared_ptr<pf::HttpCall> m_streamTexts; // guarded by m_linkMutex
    std::shared_ptr<ExchangeCancel> m_exchange;  // guarded by m_linkMutex; the subscription or heartbeat in flight
    std::shared_ptr<ExchangeCancel> m_poll;      // guarded by m_linkMutex; the polling feed's poll in flight
    std::shared_ptr<ExchangeCancel> m_logout;    // guarded by m_linkMutex; the logout in flight (ended at exit)

    std::mutex m_messageMutex;
    std::string m_lastMessage;       // guarded by m_messageMutex
    int64_t m_lastMessageTime = 0;   // guarded by m_messageMutex
};

// The settings of the program's connection: configuration, session record
// and settings record.
FeedConnection::Settings FeedSettingsFromProgram();
