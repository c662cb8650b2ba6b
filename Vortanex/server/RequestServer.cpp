#include "server/RequestServer.h"

#include "server/CProxyDetails.h"
#include "server/ExchangeCancel.h"
#include "server/FeedState.h"
#include "server/FileDownloads.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/SeException.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"

#include "EncryptDecrypt.h"
#include "MyAsync.h"

#include "pf/http_call.h"
#include "pf/http_session.h"
#include "pf/ui_guard.h"
#include "ui/prompter.h"
#include "ui/ui_thread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>

namespace request_server_detail {
namespace {

constexpr long kReadChunk = 10240;
// The program asks the client for this many simultaneous connections per server.
constexpr int kMaxConnections = 50;
// Sends with the stored proxy credentials before the user is asked.
constexpr int kProxyTries = 3;

bool inRange(int code, int low, int high)
{
    return code >= low && code <= high;
}

bool isOneOf(int code, std::initializer_list<int> codes)
{
    for (int c : codes)
        if (c == code)
            return true;
    return false;
}

// The security stamp's first field: the incremental file due (0 = none).
int incrementalFileNumber()
{
    return std::atoi(std::string(FixedTextView(g_Session.security_stamp)).c_str());
}

// One proxy dialog at a time however many requests meet a 407: a request that
// needs credentials while another one asks for them waits and takes that
// answer; so does a request whose round of sends began before an answer came.
struct ProxyPromptState {
    std::mutex mutex;
    std::condition_variable answered;
    bool asking = false;         // guarded by mutex
    uint64_t generation = 0;     // guarded by mutex; one per answered prompt
    int lastOutcome = ui::Cancel; // guarded by mutex
};

ProxyPromptState& promptState()
{
    static ProxyPromptState state;
    return state;
}

uint64_t currentPromptGeneration()
{
    ProxyPromptState& s = promptState();
    std::lock_guard lock(s.mutex);
    return s.generation;
}

int showProxyDialog()
{
    // The dialog is a window: it runs on the UI thread whichever thread asks.
    return ui::UiThread::call([] {
        CProxyDetails dialog;
        return dialog.DoModal();
    });
}

// True when credentials were stored (by this request's dialog or by the one
// another request showed since `seen`); false when the user cancelled.
bool obtainProxyCredentials(uint64_t& seen)
{
    ProxyPromptState& s = promptState();
    std::unique_lock lock(s.mutex);
    while (s.generation == seen && s.asking) {
        if (ui::UiThread::isCurrent()) {
            // The dialog being shown needs this thread; waiting here would
            // freeze it, so this request ends as if cancelled.
            WriteLog(0, "Proxy Authentication dialog already open.");
            return false;
        }
        s.answered.wait(lock);
    }
    if (s.generation != seen) {
        seen = s.generation;
        return s.lastOutcome == ui::Ok;
    }
    s.asking = true;
    lock.unlock();
    int outcome = ui::Cancel;
    try {
        outcome = showProxyDialog();
    } catch (...) {
        LogCaught("CProxyDetails");
    }
    lock.lock();
    s.asking = false;
    s.lastOutcome = outcome == ui::Ok ? ui::Ok : ui::Cancel;
    seen = ++s.generation;
    s.answered.notify_all();
    return s.lastOutcome == ui::Ok;
}

// Encodes the request text; false when the encoder failed (nothing may be sent).
bool encodeBody(int encryptType, std::string_view text, std::string& body)
{
    body.clear();
    // Texts are NUL-terminated on the wire: anything after a NUL is not sent.
    const std::string plain(text.substr(0, text.find('\0')));
    if (encryptType == 0) {
        body = plain;
        return true;
    }
    CEncryptDecrypt factory;
    std::unique_ptr<CEncryptDecrypt> encoder(factory.GetInstance(encryptType));
    if (!encoder) {
        // Sent with an empty body, which the server refuses.
        WriteLog(0, formatText("Encryption Type is not Valid pv_user_info.encrypt[%d], encrypt[%d]",
                               pv_user_info.encrypt, encryptType));
        return true;
    }
    unsigned char* out = nullptr;
    const int rc = encoder->GetEncryptData(reinterpret_cast<const unsigned char*>(plain.c_str()), &out,
                                           static_cast<int>(plain.size()), 1, 4);
    if (rc < 0 || !out) {
        delete[] out;
        WriteLog(0, formatText("Encryption of the request failed [%d], encrypt[%d]", rc, encryptType));
        return false;
    }
    body.assign(reinterpret_cast<const char*>(out));
    delete[] out;
    return true;
}

} // namespace
} // namespace request_server_detail

std::string DownloadHost()
{
    const std::string_view security = FixedTextView(g_Config.Security_Host);
    return std::string(security.empty() ? FixedTextView(g_Config.Watch_Host) : security);
}

std::string ProxyUserName()
{
    const std::string_view user = FixedTextView(g_AppSettings.proxy_user);
    const std::string_view domain = FixedTextView(g_AppSettings.proxy_domain);
    if (domain.empty())
        return std::string(user);
    return std::string(domain) + "\\" + std::string(user);
}

bool AskProxyCredentials()
{
    uint64_t seen = request_server_detail::currentPromptGeneration();
    return request_server_detail::obtainProxyCredentials(seen);
}

bool IsFeedTransCode(int transCode)
{
    return transCode == 11 || transCode == 12 || transCode == 13;
}

const char* FailedStatusText(int status)
{
    if (status < 0)
        return "no response";
    if (status >= 12000)
        return pf::HttpCall::errorMessage(status);
    return "HTTP error status";
}

pf::HttpSession& RootInternetSession()
{
    // Made once, on first use from any thread: no two threads can make two.
    static pf::HttpSession session;
    return session;
}

void ApplyConfiguredTls()
{
    pf::HttpSession& session = RootInternetSession();
    const std::string caFile(FixedTextView(g_Config.Tls_CA_File));
    if (!caFile.empty())
        session.setCaFile(caFile);
    session.setVerifyPeer(g_Config.Tls_Verify != 0);
    if (g_Config.Tls_Verify == 0)
        WriteLog(0, "Certificate checks are switched off by Tls_Verify 0 in Vortanex.ini");
}

bool LookupTransCode(int code, TransCodeRoute& route)
{
    using request_server_detail::inRange;
    using request_server_detail::isOneOf;
    route = TransCodeRoute{};
    const auto trade = [&route](const char* path) {
        route.host = std::string(FixedTextView(g_Config.Trade_Host));
        route.port = g_Config.Trade_Port;
        route.path = path;
        route.verb = "POST";
        return true;
    };
    const auto download = [&route](std::string path) {
        route.host = DownloadHost();
        route.port = 80;
        route.path = std::move(path);
        route.verb = "GET";
        route.toFile = true;
        return true;
    };
    if (code == 1)
        return download(formatText("/security/security_%d.lzo", request_server_detail::incrementalFileNumber()));
    if (code == 15)
        return download("/security/category.lzo");
    if (code == 16)
        return download("/Vortanex/MFC42.lzo");
    if (code == 17)
        return download("/Vortanex/QuenmarkChartX.lzo");
    if (code == 18)
        return download("/security/services.lzo");
    if (inRange(code, 2, 9) || inRange(code, 20, 25))
        return trade("/qtrade/Glenvarro.exe");
    if (code == 10 || code == 13) {
        // The polling feed (13) is served by the configured feeds host.
        route.host = std::string(FixedTextView(g_Config.Feeds_Host));
        route.port = 80;
        route.path = code == 10 ? "/cgi-bin/Glenvarro/feeds.exe" : "/cgi-bin/feeds";
        route.verb = "POST";
        return true;
    }
    if (code == 11 || code == 12) {
        // Subscriptions, heartbeats and the logout go to the feed server in
        // use: the one message 250 named. The login's feed-update host and
        // port are where the stream itself connects, a port that does not
        // answer these requests; they stand in only until a 250 has come.
        const FeedState& fs = FeedState::instance();
        const std::string host = fs.serverHost();
        const int port = fs.serverPort();
        if (!host.empty() && port > 0) {
            route.host = host;
            route.port = port;
        } else {
            route.host = std::string(FixedTextView(pv_user_info.feed_update_host));
            route.port = pv_user_info.feed_update_port;
        }
        route.path = "/cgi-bin/Glenvarro/upd_feeds.exe";
        route.verb = "POST";
        return true;
    }
    if (code == 19)
        return trade("/qtrade/qencdet.exe");
    if (inRange(code, 101, 106) || code == 110 || inRange(code, 121, 123) || inRange(code, 201, 204)
        || inRange(code, 206, 208))
        return trade("/qtrade/qtrade.exe");
    if (code == 301)
        return trade("/qtrade/qbasket.exe");
    if (isOneOf(code, {401, 403, 405, 411, 412, 413, 414, 415, 419, 420}))
        return trade("/qtrade/qrms.exe");
    if (isOneOf(code, {500, 505, 510, 520, 550, 560, 570, 600, 610, 640, 650, 700, 810, 900, 910, 920}))
        return trade("/qtrade/qreport.exe");
    if (code == 620)
        return trade("/qtrade/CgiSleep.exe");
    if (inRange(code, 521, 523))
        return trade("/qtrade/qnews.exe");
    if (isOneOf(code, {1007, 1100, 1110, 1111, 1114, 1116, 1200}))
        return trade("/qtrade/qphone.exe");
    if (isOneOf(code, {1001, 1003, 1005, 1006, 1008, 1009, 1010, 1011, 1013, 3000, 3010})) {
        route.loginCode = true;
        return trade("/qtrade/qlogin.exe");
    }
    if (inRange(code, 4000, 4002))
        return trade("/qtrade/zqvadmin.exe");
    if (code == 7000)
        return trade("/qtrade/feeds.exe");
    if (code == 7001)
        return trade("/qtrade/feeds.exe?");
    if (inRange(code, 8000, 8002)) {
        route.host = std::string(FixedTextView(g_Config.Market_Data_Host));
        route.port = 80;
        route.path = "/zqvdata/mktdata.exe";
        route.verb = "POST";
        return true;
    }
    return false;
}

namespace {
std::atomic<size_t> g_replyBodyLimit{kDefaultReplyBodyLimit};
} // namespace

void SetReplyBodyLimit(size_t bytes)
{
    g_replyBodyLimit.store(bytes == 0 ? kDefaultReplyBodyLimit : bytes);
}

size_t ReplyBodyLimit()
{
    return g_replyBodyLimit.load();
}

int ConnectServer(int transCode, const std::string& verb, const std::string& host, int port, const std::string& path,
                  const std::string& body, std::string& reply, long& length, ExchangeCancel* cancel)
{
    int status = -1;
    long line = 0;
    reply.clear();
    length = 0;
    try {
        line = 1;
        const std::string user = ProxyUserName();
        const std::string password(FixedTextView(g_AppSettings.proxy_password));
        MyAsync client(&RootInternetSession(), g_ProxyInUse.load(), user.c_str(), password.c_str(),
                       request_server_detail::kMaxConnections);
        // Reachable by the cancelling thread from here until the guard goes,
        // before the client does.
        struct Attached {
            ExchangeCancel* cancel;
            int id;
            ~Attached()
            {
                if (cancel && id)
                    cancel->detach(id);
            }
        } attached{cancel, cancel ? cancel->attach([&client] { client.Cancel(); }) : 0};
        if (cancel && !attached.id)
            return pf::HttpCall::ErrCancelled;
        line = 2;
        status = static_cast<int>(
            client.SyncDirect(0, transCode, port, verb.c_str(), host.c_str(), path.c_str(), body.c_str()));
        if (status == 200 || status == 407) {
            line = 3;
            std::string received;
            unsigned char chunk[request_server_detail::kReadChunk + 1];
            for (;;) {
                const int n = client.ReadHttpData(chunk, request_server_detail::kReadChunk);
                if (n <= 0)
                    break;
                if (received.size() + static_cast<size_t>(n) > ReplyBodyLimit()) {
                    WriteLog(0, formatText("Reply of Trans Code :%d larger than %ld bytes: refused", transCode,
                                           static_cast<long>(ReplyBodyLimit())));
                    client.Close();
                    return kReplyTooLarge;
                }
                received.append(reinterpret_cast<const char*>(chunk), static_cast<size_t>(n));
            }
            if (const int error = client.ReadError(); error != 0) {
                // A body cut short is not a reply: report the failure, not 200.
                WriteLog(0, formatText("Internet Error :%d, Trans Code :%d, Msg :%s, ErrCode :%d", error, transCode,
                                       FailedStatusText(error), error));
                client.Close();
                return error;
            }
            if (status == 200 && g_Session.compressed_replies == 1
                && (transCode == kOrderBookTransCode || transCode == kTradeBookTransCode)) {
                line = 4;
                WriteLog(0, "The Data for Order/Trade Report is being received in LZO format");
                WriteLog(0, formatText("Length of the Order/Trade data before compression [%ld]",
                                       static_cast<long>(received.size())));
                std::string unpacked;
                if (!DecompressLZO(received, unpacked)) {
                    WriteLog(0, "Error while Uncompressing Trade/Order Report Data");
                    client.Close();
                    return -1;
                }
                received = std::move(unpacked);
                WriteLog(0, formatText("Length of the Order/Trade After compression [%ld]",
                                       static_cast<long>(received.size())));
            }
            length = static_cast<long>(received.size());
            reply = std::move(received);
        } else {
            WriteLog(0, formatText("Internet Error :%d, Trans Code :%d, Msg :%s, ErrCode :%d", status, transCode,
                                   FailedStatusText(status), client.ReadError()));
        }
        client.Close();
    } catch (const CSeException& e) {
        WriteLog(0, e.what());
        WriteLog(0, formatText("CSeException in ConnectServer : [%s] LINE %ld", e.what(), line));
        reply.clear();
        length = 0;
    } catch (const std::exception& e) {
        WriteLog(0, formatText("Exception Code [%ld] Exception Message [%s] in ConnectServer", line, e.what()));
        reply.clear();
        length = 0;
    } catch (...) {
        WriteLog(0, formatText("Exception Code [%ld] Exception Message [%s] in ConnectServer", line, "unknown"));
        reply.clear();
        length = 0;
    }
    return status;
}

int RequestServer(int encryptType, int transCode, std::string_view text, std::string& reply, long& length,
                  ExchangeCancel* cancel, std::source_location where)
{
    const pf::uiguard::Section onNetwork(pf::uiguard::Kind::Network, formatText("request %d", transCode), where);
    int status = -1;
    length = 0;
    reply.clear();
    try {
        if (!IsFeedTransCode(transCode))
            SetAccessTime();
        std::string body;
        if (!request_server_detail::encodeBody(encryptType, text, body))
            return -1;

        TransCodeRoute route;
        if (!LookupTransCode(transCode, route)) {
            WriteLog(0, formatText("In RequestServer : Trans Code [%d] is not known", transCode));
            return -1;
        }
        if (route.loginCode)
            WriteLog(0, formatText("Trade Host :<%s>", route.host.c_str()));
        WriteLog(0, formatText("In RequestServer for Url :<%s%s>[%ld]", route.host.c_str(), route.path.c_str(),
                               static_cast<long>(transCode)));

        int proxyCount = 0;
        uint64_t promptSeen = request_server_detail::currentPromptGeneration();
        for (;;) {
            if (route.toFile)
                status = DownloadByCode(transCode, route.verb, route.host, route.port, route.path, body, reply, length);
            else
                status = ConnectServer(transCode, route.verb, route.host, route.port, route.path, body, reply, length,
                                       cancel);
            if (status == 200)
                break;
            if (status != 407) {
                WriteLog(3, formatText("Http Error Code :%d", status));
                break;
            }
            if (g_ProxyInUse.load()) {
                ++proxyCount;
                WriteLog(0, "Proxy Authentication Continued.");
                if (proxyCount < request_server_detail::kProxyTries)
                    continue;
            }
            WriteLog(0, "Proxy Authentication Required.");
            if (!request_server_detail::obtainProxyCredentials(promptSeen))
                break;
            proxyCount = 0;
        }
    } catch (...) {
        WriteLog(0, "Exception in RequestServer");
    }
    if (status != 200 && status != 407) {
        reply.clear();
        length = 0;
    }
    return status;
}
