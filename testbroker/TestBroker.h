#pragma once
// The local test broker: everything the terminal talks to, served on loopback
// from the wire formats alone (it shares no protocol code with the terminal, so
// a mismatch between the two shows up in tests). Tests run it in-process and
// drive it through this class; the `testbroker` program runs it standalone.
#include "FeedFrames.h"
#include "InformationDesk.h"
#include "RequestDecoder.h"
#include "Universe.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace tb {

class Connection;
class HttpServer;
class OrderDesk;
class RiskDesk;
class TsloDesk;
class SpecialReportDesk;
struct HttpReply;
struct HttpRequest;
class TcpListener;
class TlsContext;

struct BrokerOptions {
    std::string host = "127.0.0.1"; // an IPv4 loopback address: bound, and named in the replies
    uint16_t httpPort = 0;  // every HTTP path (0 = ephemeral)
    uint16_t feedPort = 0;  // the feed: TCP and HTTP stream
    uint16_t httpsPort = 0; // with tls: the same paths over TLS
    uint16_t udpPort = 0;   // the terminal's Mcast_Port; 0 = no UDP feed
    bool tls = false;
    std::string tlsDir;     // where the generated CA and server certificate go (empty: a temporary folder, removed at stop)
    uint64_t seed = 1;
    int securities = 3000;         // at least the built-in set (293), at most 300000
    bool demo = false;
    int demoTickMs = 1000;
    int keepAliveMs = 20000;       // 150 keep-alives to every feed client; 0 = none
    // demo: one exchange or general message every so many ticks (0 = none);
    // 1200 ticks of 1 s is one every 20 minutes, so the messages stay rare.
    int broadcastEveryTicks = 1200;
    std::string keyDir;            // the RSA test private keys; empty = the built-in fixtures folder
    int encryption = 0;            // ED=19 field 3: the session's request encoding
    int year = 0, month = 0, day = 0; // master date; 0 = today by pf::clock()
    int categoryVersion = 6;       // raised whenever the category lists change, so terminals fetch them again
    int servicesVersion = 3;
};

// One request as the broker decoded it.
struct RecordedRequest {
    int64_t seq = 0;
    std::string channel; // "http", "https", "feed-tcp", "feed-stream", "feed-frame"
    std::string method;
    std::string path;
    std::string query;
    std::string rawBody;
    DecodedBody decoded; // text and the detected encryption type
    RequestText request; // keyword, fields, items
    std::string key() const { return request.key(); } // "LoginData=3000"
};

// A fault on an HTTP path, used up by the next `times` requests to that path.
struct HttpFault {
    int status = 0;       // answer this status (407, 500 ...); 0 = the normal reply
    int delayMs = 0;      // wait before replying
    bool emptyBody = false;
    bool drop = false;    // close the connection without a reply
    long cutAfter = -1;   // >= 0: send only this many bytes of the announced body, then close
    int times = 1;
};

// Switches for the next feed connection only (they reset with each connection).
struct FeedFaults {
    bool rejectSlot = false;  // 250 with slot -1 and a notice
    bool no250 = false;       // never send the 250
    bool splitFrames = false; // every frame in two writes
    // After the 250, the client's frames are never read (with a small receive
    // buffer), so its writes stall once the socket's buffers are full. The
    // connection is held until the user's next feed connection comes.
    bool stopReading = false;
};

enum class FeedTransport { Tcp, Stream };

struct FeedClientInfo {
    int id = 0;
    FeedTransport transport = FeedTransport::Tcp;
    std::string user;
    int slot = -1;
    std::vector<int> tokens;      // watch tokens subscribed (200, 201)
    std::vector<int> depthTokens; // 203
    int heartbeats = 0;
};

class TestBroker {
public:
    explicit TestBroker(BrokerOptions options = {});
    ~TestBroker();
    TestBroker(const TestBroker&) = delete;
    TestBroker& operator=(const TestBroker&) = delete;

    bool start(std::string* error = nullptr);
    void stop();

    const BrokerOptions& options() const { return m_options; }
    uint16_t httpPort() const;
    uint16_t feedPort() const;
    uint16_t httpsPort() const;
    // The terminal's connection-redirect map (VORTANEX_CONNECT_TO): the host's
    // port 80, which the terminal uses for downloads and after login, to the broker.
    std::string connectToMap() const;
    std::string caCertPath() const; // with tls
    const Universe& universe() const { return *m_universe; }

    // --- scripting ---
    void addUser(const std::string& id, const std::string& password, const std::string& name = "Test User",
                 const std::string& clientCode = "ABC12", char userType = 'C');
    // The next logins answer these statuses in order, then credentials decide again.
    void scriptLogin(int status, const std::string& message = {});
    // Replaces field n (numbered from 1, as the terminal reads it) of the next login
    // replies, e.g. 19 the login flags, 25 compressed replies, 36 risk accepted.
    // An empty value with clear = true restores the default.
    void setLoginField(int field, const std::string& value, bool clear = false);
    void setEncryption(int type);
    void setIncrementalDue(int fileNumber); // 0 = none
    void setMarketStatus(const std::string& exchange, const std::string& status);
    // The web links "LoginData=1010" lists, one record each: "label|icon|web
    // id|name|panel|number|pref|tool tip". None by default; the demo market
    // starts with demoWebLinks().
    void setWebLinks(std::vector<std::string> records);
    static std::vector<std::string> demoWebLinks();
    // Replaces the reply to a request key ("LoginData=3000", "WD=115", "ED=19") or a
    // GET path; times < 0 = until cleared by an empty body with times 0.
    void setReply(const std::string& key, const std::string& body, int times = -1);
    void armFault(const std::string& path, const HttpFault& fault);
    // A fault on the next requests with this key ("WD=104"), whatever their
    // path; a path's armed fault goes first.
    void armKeyFault(const std::string& key, const HttpFault& fault);
    // Every HTTP reply, downloads and the feed's opening included, waits this
    // long before it goes (on top of an armed fault's delay); 0 = none.
    void delayEveryReply(int ms);
    void armFeedFaults(const FeedFaults& faults);

    // --- what the terminal sent ---
    std::vector<RecordedRequest> requests() const;
    std::optional<RecordedRequest> waitForRequest(const std::function<bool(const RecordedRequest&)>& match,
                                                  int timeoutMs) const;
    std::optional<RecordedRequest> waitForKey(const std::string& key, int timeoutMs) const;
    void clearRequests();

    // --- downloads ---
    // The bytes served for a GET path (empty when there is no such file).
    std::string fileBody(const std::string& path) const;
    std::string securityStamp(const std::string& secDate) const;
    // The end-of-day chart of a watch token serves this many sessions up to
    // yesterday (500 unless set; 0 = an empty history).
    void chartHistory(int wtoken, int sessions);

    // --- feed ---
    std::vector<FeedClientInfo> feedClients() const;
    bool waitForFeedClient(const std::string& user, int timeoutMs) const;
    // Sends a message in a frame to the user's feed connections ("" = every one);
    // returns how many got it.
    int pushFeed(const std::string& user, const std::string& message, char flag = '0');
    int pushCompressed(const std::string& user, const std::vector<std::string>& messages);
    int pushRaw(const std::string& user, const std::string& bytes);
    bool sendUdp(const std::string& message);
    bool sendUdpRaw(const std::string& bytes);
    int dropFeed(const std::string& user); // closes the user's feed connections
    Quote quote(int wtoken);
    std::string quoteMessage(int wtoken); // a 101 for the current quote
    std::string depthMessage(int wtoken);
    // One step of the demo market (what the demo timer does), for tests.
    void marketStep();
    // One step of one security's walk, whether a feed client asks for it or
    // not (tests of the reports, which read quotes nobody subscribed).
    void stepSecurity(int wtoken);

    // --- orders ---
    // The single-order transactions, their store and confirmations (OrderDesk.h).
    OrderDesk& orderDesk() { return *m_orderDesk; }

    // --- risk reports ---
    // The risk service's books and switches (RiskDesk.h).
    RiskDesk& riskDesk() { return *m_riskDesk; }
    // The next "RiskData=" request of this type is refused with status and text.
    void refuseNextRisk(int type, int status, const std::string& text);

    // --- trailing stop-loss orders and margin rates ---
    // Requests 121-123, report 640 and the margin query 405 (TsloDesk.h).
    TsloDesk& tsloDesk() { return *m_tsloDesk; }
    // The rows ('|' fields) that "ReportData=650" returns for a special order
    // number; an unscripted number gets a header and an empty record.
    void tsloHistory(int specialNo, std::vector<std::string> rows);

    // --- special reports ---
    // Bulk deals, FII and MF activity on "/qtrade/qnews.exe" (SpecialReportDesk.h);
    // an HTTP 500 through armFault("/qtrade/qnews.exe", ...).
    SpecialReportDesk& specialReports() { return *m_specialReports; }

    // --- broadcast information ---
    // Feed messages 141, 145, 155 and 160 from the universe, and the
    // day-event acceptance 1013 (InformationDesk.h).
    InformationDesk& informationDesk() { return *m_informationDesk; }

private:
    struct FeedClient;
    struct User {
        std::string password;
        std::string name;
        std::string clientCode;
        char type = 'C';
    };
    struct WatchList {
        int id = 0;
        std::string name;
        std::vector<std::pair<int, std::string>> rows; // exchange token, exchange text
    };

    struct HttpReplyText {
        int status = 200;
        std::string body;
        std::string contentType = "text/plain";
    };
    HttpReply handleHttp(const HttpRequest& r, const std::string& channel);
    bool takeFault(const std::string& path, HttpFault* fault);
    bool answeredByFault(const std::shared_ptr<Connection>& c);
    HttpReplyText route(const RecordedRequest& req);
    std::string replyFor(const RecordedRequest& req);
    // "LoginData=" and the "/qtrade/qphone.exe" steps (LoginDesk.cpp).
    std::string sessionReply(const RecordedRequest& req);
    std::string loginReply(const RecordedRequest& req); // LoginDesk.cpp
    std::string watchReply(const RecordedRequest& req); // WatchDesk.cpp
    std::string turnoverReply(int kind);               // DemoMarket.cpp
    std::string marketDataReply(const RequestText& r); // MarketData.cpp
    std::string feedText(const RecordedRequest& req, const std::string& channel);
    std::string pollReply(const RequestText& r);       // FeedDesk.cpp
    void serveFeed(const std::shared_ptr<Connection>& c, const std::string& head, std::string pending);
    void applySubscription(const std::string& text, const std::shared_ptr<FeedClient>& from);
    bool sendFrame(const std::shared_ptr<FeedClient>& client, const std::string& bytes);
    std::vector<std::shared_ptr<FeedClient>> clientsOf(const std::string& user) const;
    RecordedRequest record(std::string channel, std::string method, std::string path, std::string query,
                           std::string rawBody, HttpFault* keyFault = nullptr);
    Quote& quoteLocked(int wtoken);
    void stepLocked(int wtoken, int drift);
    void timerLoop();
    bool sleepUnlessStopped(int ms);
    // The delay of delayEveryReply; false when the broker stops meanwhile.
    bool sleepEveryReplyDelay();
    std::string md5Base64(const std::string& text) const;
    std::string digestOf(const std::string& password) const;

    BrokerOptions m_options;
    std::unique_ptr<Universe> m_universe;
    RequestDecoder m_decoder;
    std::unique_ptr<HttpServer> m_http;
    std::unique_ptr<HttpServer> m_https;
    std::unique_ptr<TcpListener> m_feed;
    std::unique_ptr<TlsContext> m_tls;
    std::string m_tlsTempDir; // the certificates' folder when the broker made it; removed at stop
    std::map<std::string, std::string> m_files; // written at start, read-only afterwards
    int m_udpFd = -1;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;        // requests, feed clients, stop
    bool m_stopping = false;                          // guarded by m_mutex
    std::map<std::string, User> m_users;              // guarded by m_mutex
    std::deque<std::pair<int, std::string>> m_loginScript; // guarded by m_mutex
    int m_encryption = 0;                             // guarded by m_mutex
    std::map<int, std::string> m_loginFields;         // guarded by m_mutex
    std::map<int, std::vector<std::string>> m_tsloHistory; // guarded by m_mutex; by special order no
    std::vector<std::string> m_webLinks;              // guarded by m_mutex
    int m_incrementalDue = 0;                         // guarded by m_mutex
    std::vector<std::pair<std::string, std::string>> m_marketStatus; // guarded by m_mutex
    std::map<std::string, std::pair<std::string, int>> m_replies;   // guarded by m_mutex
    std::map<std::string, std::deque<HttpFault>> m_faults;          // guarded by m_mutex
    std::map<std::string, std::deque<HttpFault>> m_keyFaults;       // guarded by m_mutex
    int m_everyReplyDelayMs = 0;                                    // guarded by m_mutex
    FeedFaults m_feedFaults;                          // guarded by m_mutex
    std::vector<RecordedRequest> m_requests;          // guarded by m_mutex
    int64_t m_seq = 0;                                // guarded by m_mutex
    int m_sessions = 0;                               // guarded by m_mutex
    std::map<std::string, std::vector<WatchList>> m_lists; // guarded by m_mutex
    int m_nextListId = 101;                           // guarded by m_mutex
    std::vector<std::shared_ptr<FeedClient>> m_clients; // guarded by m_mutex
    int m_nextClientId = 1;                           // guarded by m_mutex
    int m_nextSlot = 0;                               // guarded by m_mutex
    std::map<int, Quote> m_quotes;                    // guarded by m_mutex
    std::map<int, int> m_chartSessions;               // guarded by m_mutex
    std::mt19937_64 m_rng;                            // guarded by m_mutex
    int64_t m_ticks = 0;                              // guarded by m_mutex
    std::thread m_timer;
    std::unique_ptr<OrderDesk> m_orderDesk;
    std::unique_ptr<RiskDesk> m_riskDesk;
    std::unique_ptr<TsloDesk> m_tsloDesk;
    std::unique_ptr<InformationDesk> m_informationDesk;
    std::unique_ptr<SpecialReportDesk> m_specialReports;
};

} // namespace tb
