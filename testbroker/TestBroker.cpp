#include "TestBroker.h"

#include "BrokerText.h"
#include "FeedClient.h"
#include "OrderDesk.h"
#include "RiskDesk.h"
#include "SpecialReportDesk.h"
#include "TsloDesk.h"
#include "OrderReport.h"
#include "TradeReport.h"
#include "BasketDesk.h"
#include "ConversionDesk.h"

#include "ChartHistory.h"
#include "HttpServer.h"
#include "Lzo.h"
#include "TcpListener.h"
#include "TlsContext.h"

#include <pf/clock.h>
#include <pf/log.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <sys/socket.h>
#include <unistd.h>

#ifndef TB_FIXTURES_DIR
#define TB_FIXTURES_DIR "testbroker/fixtures"
#endif

namespace tb {

TestBroker::TestBroker(BrokerOptions options) : m_options(std::move(options)), m_rng(m_options.seed)
{
    int y = m_options.year, m = m_options.month, d = m_options.day;
    if (y <= 0 || m <= 0 || d <= 0) {
        const pf::LocalTime now = pf::clock().localNow();
        y = now.year;
        m = now.month;
        d = now.day;
    }
    m_universe = std::make_unique<Universe>(m_options.seed, m_options.securities, y, m, d);
    m_encryption = m_options.encryption;
    m_marketStatus = {{"NN", "Open"}, {"BN", "Open"}, {"CN", "Open"}, {"CB", "Open"}, {"MC", "Open"}};
    addUser("U1", "Test@123");
    m_orderDesk = std::make_unique<OrderDesk>(
        [this](const std::string& user, const std::string& message) { pushFeed(user, message); },
        [this](const std::string& exchange, int token) -> int64_t {
            const Security* s = m_universe->byToken(exchange, token);
            if (!s)
                return 0;
            std::lock_guard lock(m_mutex);
            return quoteLocked(s->wtoken).last;
        });
    m_orderDesk->setMatching(m_options.demo);
    if (m_options.demo)
        m_webLinks = demoWebLinks();
    m_riskDesk = std::make_unique<RiskDesk>(*m_universe, [this] { return m_orderDesk->orders(); });
    m_specialReports = std::make_unique<SpecialReportDesk>(*m_universe);
    m_informationDesk = std::make_unique<InformationDesk>(*m_universe);
    m_tsloDesk = std::make_unique<TsloDesk>([this](const std::string& exchange, int token) -> int64_t {
        const Security* s = m_universe->byToken(exchange, token);
        if (!s)
            return 0;
        std::lock_guard lock(m_mutex);
        return quoteLocked(s->wtoken).last;
    });
    m_tsloDesk->setMatching(m_options.demo);
}

void TestBroker::refuseNextRisk(int type, int status, const std::string& text)
{
    m_riskDesk->refuseNext(type, status, text);
}

TestBroker::~TestBroker()
{
    stop();
}

bool TestBroker::start(std::string* error)
{
    auto fail = [error](const std::string& what) {
        if (error)
            *error = what;
        return false;
    };
    const std::string keyDir = m_options.keyDir.empty() ? std::string(TB_FIXTURES_DIR) + "/keys" : m_options.keyDir;
    // Key 1 decrypts what the terminal sends; key 2 is loaded too so that either decodes.
    if (!m_decoder.addPrivateKeyFile(keyDir + "/rsa1_private.pem"))
        return fail("cannot read " + keyDir + "/rsa1_private.pem");
    m_decoder.addPrivateKeyFile(keyDir + "/rsa2_private.pem");

    m_files["/security/security.lzo"] = lzoCompress(m_universe->masterText());
    m_files["/security/category.lzo"] = lzoCompress(m_universe->categoryText());
    m_files["/security/services.lzo"] = lzoCompress(m_universe->servicesText());
    m_files["/security/PellbrookSecFile.lzo"] = lzoCompress(m_universe->advisoryText());
    for (int n = 1; n <= 9; ++n)
        m_files["/security/security_" + std::to_string(n) + ".lzo"] = lzoCompress(m_universe->incrementalText(n));
    m_files["/alert.wav"] = detail::alertWav();
    m_files["/events/terms.html"] = "<html><head><title>Terms &amp; Conditions</title></head><body><h1>Terms &amp; "
                                    "Conditions</h1><p>The day's events of the test broker.</p></body></html>";
    // The Windows-only runtime and chart control have no meaning here: small stand-ins.
    m_files["/Vortanex/MFC42.lzo"] = lzoCompress("runtime library stand-in of the test broker\n");
    m_files["/Vortanex/QuenmarkChartX.lzo"] = lzoCompress("chart control stand-in of the test broker\n");

    m_http = std::make_unique<HttpServer>([this](const HttpRequest& r) { return handleHttp(r, "http"); });
    auto rawFeed = [this](const std::shared_ptr<Connection>& c, const HttpRequest&, std::string pending) {
        if (!answeredByFault(c))
            serveFeed(c, {}, std::move(pending));
    };
    m_http->addRawRoute(detail::kFeedPath, rawFeed);
    if (!m_http->listen(m_options.host, m_options.httpPort))
        return fail("cannot listen on HTTP port " + std::to_string(m_options.httpPort));
    // The day events' terms are a page of the broker's own.
    m_informationDesk->setTermsLink("http://" + m_options.host + ":" + std::to_string(httpPort()) + "/events/terms.html");

    m_feed = std::make_unique<TcpListener>();
    const bool feedOk = m_feed->listen(m_options.host, m_options.feedPort, [this](const std::shared_ptr<Connection>& c) {
        std::string buffer;
        if (!readUntil(*c, buffer, "\r\n\r\n", 64 * 1024))
            return;
        const size_t end = buffer.find("\r\n\r\n");
        if (!answeredByFault(c))
            serveFeed(c, buffer.substr(0, end), buffer.substr(end + 4));
    });
    if (!feedOk)
        return fail("cannot listen on feed port " + std::to_string(m_options.feedPort));

    if (m_options.tls) {
        std::string dir = m_options.tlsDir;
        if (dir.empty()) {
            char tmpl[] = "/tmp/testbroker-tls-XXXXXX";
            if (!mkdtemp(tmpl))
                return fail("cannot create a folder for the test certificates");
            dir = tmpl;
            m_tlsTempDir = dir;
        }
        std::string why;
        m_tls = TlsContext::create(dir, &why);
        if (!m_tls)
            return fail(why);
        m_https = std::make_unique<HttpServer>([this](const HttpRequest& r) { return handleHttp(r, "https"); });
        m_https->addRawRoute(detail::kFeedPath, rawFeed);
        if (!m_https->listen(m_options.host, m_options.httpsPort, m_tls->context()))
            return fail("cannot listen on HTTPS port " + std::to_string(m_options.httpsPort));
    }

    if (m_options.udpPort) {
        m_udpFd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (m_udpFd < 0)
            return fail("cannot open the UDP socket");
    }
    {
        std::lock_guard lock(m_mutex);
        m_stopping = false;
    }
    m_timer = std::thread([this] { timerLoop(); });
    return true;
}

void TestBroker::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_timer.joinable())
        m_timer.join();
    if (m_http)
        m_http->stop();
    if (m_https)
        m_https->stop();
    if (m_feed)
        m_feed->stop();
    if (m_udpFd >= 0) {
        ::close(m_udpFd);
        m_udpFd = -1;
    }
    if (!m_tlsTempDir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_tlsTempDir, ec);
        m_tlsTempDir.clear();
    }
}

uint16_t TestBroker::httpPort() const
{
    return m_http ? m_http->port() : 0;
}

uint16_t TestBroker::feedPort() const
{
    return m_feed ? m_feed->port() : 0;
}

uint16_t TestBroker::httpsPort() const
{
    return m_https ? m_https->port() : 0;
}

std::string TestBroker::connectToMap() const
{
    std::string map = m_options.host + ":80:127.0.0.1:" + std::to_string(httpPort());
    if (m_https)
        map += "," + m_options.host + ":443:127.0.0.1:" + std::to_string(httpsPort());
    return map;
}

std::string TestBroker::caCertPath() const
{
    return m_tls ? m_tls->caPath() : std::string();
}

// --- scripting -------------------------------------------------------------

void TestBroker::setEncryption(int type)
{
    std::lock_guard lock(m_mutex);
    m_encryption = type;
}

void TestBroker::setIncrementalDue(int fileNumber)
{
    std::lock_guard lock(m_mutex);
    m_incrementalDue = std::clamp(fileNumber, 0, 9);
}

void TestBroker::setMarketStatus(const std::string& exchange, const std::string& status)
{
    std::lock_guard lock(m_mutex);
    for (auto& [e, s] : m_marketStatus)
        if (e == exchange) {
            s = status;
            return;
        }
    m_marketStatus.emplace_back(exchange, status);
}

void TestBroker::setReply(const std::string& key, const std::string& body, int times)
{
    std::lock_guard lock(m_mutex);
    if (times == 0)
        m_replies.erase(key);
    else
        m_replies[key] = {body, times};
}

void TestBroker::armFault(const std::string& path, const HttpFault& fault)
{
    std::lock_guard lock(m_mutex);
    m_faults[path].push_back(fault);
}

void TestBroker::armKeyFault(const std::string& key, const HttpFault& fault)
{
    std::lock_guard lock(m_mutex);
    m_keyFaults[key].push_back(fault);
}

void TestBroker::armFeedFaults(const FeedFaults& faults)
{
    std::lock_guard lock(m_mutex);
    m_feedFaults = faults;
}

// --- requests --------------------------------------------------------------

RecordedRequest TestBroker::record(std::string channel, std::string method, std::string path, std::string query,
                                   std::string rawBody, HttpFault* keyFault)
{
    RecordedRequest r;
    r.channel = std::move(channel);
    r.method = std::move(method);
    r.path = std::move(path);
    r.query = std::move(query);
    r.rawBody = std::move(rawBody);
    // A page address carries its request percent-encoded; a query without
    // '%' reads as it is.
    const std::string plainQuery = r.method == "GET" ? detail::percentDecoded(r.query) : std::string();
    r.decoded = m_decoder.decode(r.method == "GET" ? std::string_view(plainQuery) : std::string_view(r.rawBody));
    r.request = splitRequest(r.decoded.text);
    if (r.decoded.encryption < 0)
        pf::logLine(2, "testbroker: " + r.path + ": " + r.decoded.error);
    {
        std::lock_guard lock(m_mutex);
        // Claimed before the request is seen, like a path's fault.
        auto armed = keyFault ? m_keyFaults.find(r.key()) : m_keyFaults.end();
        if (armed != m_keyFaults.end() && !armed->second.empty()) {
            *keyFault = armed->second.front();
            if (--armed->second.front().times <= 0)
                armed->second.pop_front();
        }
        r.seq = ++m_seq;
        m_requests.push_back(r);
    }
    m_changed.notify_all();
    return r;
}

std::vector<RecordedRequest> TestBroker::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::optional<RecordedRequest> TestBroker::waitForRequest(const std::function<bool(const RecordedRequest&)>& match,
                                                          int timeoutMs) const
{
    std::unique_lock lock(m_mutex);
    std::optional<RecordedRequest> found;
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const RecordedRequest& r : m_requests)
            if (match(r)) {
                found = r;
                return true;
            }
        return m_stopping;
    });
    return found;
}

std::optional<RecordedRequest> TestBroker::waitForKey(const std::string& key, int timeoutMs) const
{
    return waitForRequest([&key](const RecordedRequest& r) { return r.key() == key; }, timeoutMs);
}

void TestBroker::clearRequests()
{
    std::lock_guard lock(m_mutex);
    m_requests.clear();
}

bool TestBroker::sleepUnlessStopped(int ms)
{
    std::unique_lock lock(m_mutex);
    return !m_changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping; });
}

// --- downloads ---------------------------------------------------------------

std::string TestBroker::fileBody(const std::string& path) const
{
    const auto it = m_files.find(path);
    return it == m_files.end() ? std::string() : it->second;
}

std::string TestBroker::securityStamp(const std::string& secDate) const
{
    int due = 0;
    {
        std::lock_guard lock(m_mutex);
        due = m_incrementalDue;
    }
    const size_t full = fileBody("/security/security.lzo").size();
    // Field 3 must be the exact size of the file due now: the terminal compares it
    // with what it receives.
    if (due > 0)
        return std::to_string(due) + "-0-" + std::to_string(fileBody("/security/security_" + std::to_string(due) + ".lzo").size())
            + "-" + std::to_string(full);
    if (secDate == m_universe->date())
        return "0-0-0-" + std::to_string(full);
    return "0-" + std::to_string(m_universe->securities().size()) + "-" + std::to_string(full) + "-"
        + std::to_string(full);
}

// --- HTTP exchanges ------------------------------------------------------------

bool TestBroker::takeFault(const std::string& path, HttpFault* fault)
{
    std::lock_guard lock(m_mutex);
    auto it = m_faults.find(path);
    if (it == m_faults.end() || it->second.empty())
        return false;
    *fault = it->second.front();
    if (--it->second.front().times <= 0)
        it->second.pop_front();
    return true;
}

void TestBroker::delayEveryReply(int ms)
{
    std::lock_guard lock(m_mutex);
    m_everyReplyDelayMs = ms > 0 ? ms : 0;
}

bool TestBroker::sleepEveryReplyDelay()
{
    int ms = 0;
    {
        std::lock_guard lock(m_mutex);
        ms = m_everyReplyDelayMs;
    }
    return ms <= 0 || sleepUnlessStopped(ms);
}

bool TestBroker::answeredByFault(const std::shared_ptr<Connection>& c)
{
    if (!sleepEveryReplyDelay())
        return true;
    // The feed's opening request answers armed faults like any HTTP path (the stream's proxy loop).
    HttpFault fault;
    if (!takeFault(detail::kFeedPath, &fault))
        return false;
    if (fault.delayMs > 0 && !sleepUnlessStopped(fault.delayMs))
        return true;
    if (fault.drop)
        return true;
    if (!fault.status)
        return false;
    const std::string body = fault.emptyBody ? std::string() : HttpServer::statusText(fault.status);
    std::string out = "HTTP/1.1 " + std::to_string(fault.status) + " " + HttpServer::statusText(fault.status) + "\r\n";
    if (fault.status == 407)
        out += "Proxy-Authenticate: Basic realm=\"testbroker\"\r\n";
    c->writeAll(out + "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    return true;
}

HttpReply TestBroker::handleHttp(const HttpRequest& r, const std::string& channel)
{
    // The fault is claimed before the request is recorded: a test that sees
    // the request and sends the next one must not find the fault still armed
    // for that one.
    HttpFault fault;
    bool faulted = takeFault(r.path, &fault);
    HttpFault keyFault;
    keyFault.times = 0; // none armed
    RecordedRequest req = record(channel, r.method, r.path, r.query, r.body, faulted ? nullptr : &keyFault);
    if (!faulted && keyFault.times > 0) {
        fault = keyFault;
        faulted = true;
    }
    if (!sleepEveryReplyDelay())
        return HttpReply{0, {}, {}, true};
    if (faulted && fault.delayMs > 0 && !sleepUnlessStopped(fault.delayMs))
        return HttpReply{0, {}, {}, true};
    if (faulted && fault.drop)
        return HttpReply{0, {}, {}, true};
    const HttpReplyText t = route(req);
    HttpReply out{t.status, t.body, t.contentType, false};
    if (faulted && fault.status) {
        out.status = fault.status;
        out.body = HttpServer::statusText(fault.status);
    }
    if (faulted && fault.emptyBody)
        out.body.clear();
    if (faulted)
        out.cutAfter = fault.cutAfter;
    return out;
}

TestBroker::HttpReplyText TestBroker::route(const RecordedRequest& req)
{
    HttpReplyText out;
    {
        std::lock_guard lock(m_mutex);
        for (const std::string& key : {req.method == "GET" ? req.path : req.key(), req.path}) {
            auto it = m_replies.find(key);
            if (it == m_replies.end())
                continue;
            out.body = it->second.first;
            if (it->second.second > 0 && --it->second.second == 0)
                m_replies.erase(it);
            return out;
        }
    }
    if (req.method == "GET" && req.path == "/qtrade/qlogin.exe") {
        // The pages the terminal opens in the browser ("LoginData=1002|user|
        // client|link"): titled by the link number and naming the client, so
        // a navigation is checked by what it shows; with a link to a second page.
        const auto html = [](const std::string& text) {
            std::string o;
            for (char c : text)
                o += c == '<' ? std::string("&lt;") : c == '>' ? std::string("&gt;") : c == '&' ? std::string("&amp;") : std::string(1, c);
            return o;
        };
        const std::vector<std::string>& f = req.request.fields;
        const std::string link = f.size() > 3 ? f[3] : "";
        const std::string client = f.size() > 2 ? f[2] : "";
        const auto user = req.request.items.find("ClientUserId");
        out.contentType = "text/html";
        out.body = "<html><head><title>Vortanex link " + html(link) + "</title></head><body><h1>Vortanex test broker</h1><p>" +
                   html(req.request.key()) + "</p><p id=\"link\">Link " + html(link) + "</p><p id=\"client\">Client " +
                   html(client) + (user != req.request.items.end() ? " for " + html(user->second) : std::string()) +
                   "</p><p><a id=\"next\" href=\"/qtrade/weblink2.html\">Second page</a></p></body></html>";
        return out;
    }
    if (req.method == "GET" && req.path == "/qtrade/weblink2.html") {
        out.contentType = "text/html";
        out.body = "<html><head><title>Vortanex second page</title></head><body><p>Second page</p></body></html>";
        return out;
    }
    if (req.method == "GET" && req.path == "/zqvdata/mktdata.exe") {
        // The market-data site's company page: it names the scrip asked for.
        const std::string query = detail::percentDecoded(req.query);
        const std::string key = "param=";
        const size_t at = query.find(key);
        out.contentType = "text/html";
        out.body = "<html><body><h1>Company profile</h1><p>"
            + (at == std::string::npos ? std::string() : query.substr(at + key.size())) + "</p></body></html>";
        return out;
    }
    if (req.method == "GET" && (req.path.rfind("/charts/", 0) == 0 || req.path == "/qtrade/feeds.exe")) {
        // Chart histories: "/charts/<wtoken>.lzo" and "feeds.exe?ctoken=<t>|0"
        // (a security) or "|1" (an index broadcast id, the index's watch token).
        int token = 0, flag = 0;
        bool known = false;
        std::string text;
        if (req.path.rfind("/charts/", 0) == 0) {
            const std::string name = req.path.substr(8);
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".lzo") == 0) {
                try {
                    token = std::stoi(name.substr(0, name.size() - 4));
                    known = true;
                } catch (...) {
                }
            }
            const Security* s = known ? m_universe->byWatchToken(token) : nullptr;
            if (s) {
                int sessions = 500;
                {
                    std::lock_guard lock(m_mutex);
                    auto it = m_chartSessions.find(token);
                    if (it != m_chartSessions.end())
                        sessions = it->second;
                }
                text = eodChartText(*s, sessions, pf::clock().nowSeconds(), m_options.seed);
            }
            known = s != nullptr;
        } else if (chartTokenOf(req.query, token, flag)) {
            const Security* s = m_universe->byWatchToken(token);
            if (s && (flag == 1) == s->isIndex()) {
                text = intradayChartText(*s, pf::clock().nowSeconds(), quote(token), m_options.seed);
                known = true;
            }
        }
        if (!known) {
            out.status = 404;
            out.body = "Not Found";
            return out;
        }
        out.contentType = "application/octet-stream";
        out.body = lzoCompress(text);
        return out;
    }
    if (req.method == "GET") {
        out.body = fileBody(req.path);
        if (out.body.empty()) {
            out.status = 404;
            out.body = "Not Found";
        } else {
            const bool page = req.path.size() > 5 && req.path.compare(req.path.size() - 5, 5, ".html") == 0;
            out.contentType = page ? "text/html" : "application/octet-stream";
        }
        return out;
    }
    out.body = replyFor(req);
    if (out.body.empty() && req.path != "/cgi-bin/Glenvarro/upd_feeds.exe") {
        out.status = 404;
        out.body = "Unknown request";
        std::string key = req.key().substr(0, 60);
        for (char& ch : key)
            if (!std::isprint(static_cast<unsigned char>(ch)))
                ch = '.';
        pf::logLine(2, "testbroker: no reply for " + req.path + " " + key);
    }
    return out;
}

std::string TestBroker::replyFor(const RecordedRequest& req)
{
    const RequestText& r = req.request;
    const std::vector<std::string>& f = r.fields;
    const std::string code = r.code();
    const std::string& path = req.path;

    if (path == "/qtrade/qencdet.exe" && req.key() == "ED=19") {
        std::lock_guard lock(m_mutex);
        return "0|OK||" + std::to_string(m_encryption) + "|||" + m_options.host + "|" + std::to_string(httpPort())
            + "|a|b|0|0";
    }
    if (path == "/qtrade/qlogin.exe" && r.keyword == "LoginData")
        return sessionReply(req);
    if (path == "/qtrade/qnews.exe" && SpecialReportDesk::handles(r))
        return m_specialReports->reply(r);
    if (path == "/qtrade/qphone.exe" && r.keyword == "ReportData")
        return sessionReply(req);
    if (path == "/qtrade/qreport.exe" && r.keyword == "ReportData") {
        if (code == "600") {
            // Packed with LZO when the login announced compressed replies (field 25).
            const std::string body = orderReportBody(m_orderDesk->orders(), *m_universe, f);
            std::lock_guard lock(m_mutex);
            const auto it = m_loginFields.find(25);
            return it != m_loginFields.end() && it->second == "1" ? lzoCompress(body) : body;
        }
        if (code == "640")
            return m_tsloDesk->report(r);
        if (code == "505") {
            const auto it = r.items.find("OrderData");
            return orderHistoryBody(m_orderDesk->orders(), it == r.items.end() ? std::string() : it->second);
        }
        if (code == "650") {
            // "ReportData=650|id|user|4|cc|specialno": the scripted history rows.
            const int no = detail::toInt(detail::field(f, 5));
            std::lock_guard lock(m_mutex);
            const auto it = m_tsloHistory.find(no);
            return "650|0|OK|" + std::to_string(no) + "~"
                + (it == m_tsloHistory.end() ? std::string() : detail::join(it->second, '^'));
        }
        if (code == "610")
            return tradeReportBody(m_orderDesk->orders(), *m_universe, f);
        if (code == "920")
            return "921|0|0|2|2~1|1^2|2";
        if (code == "810")
            return "811|0|Thank you for your feedback";
        if (code == "900")
            return "901|0|||Buy SBIN above 830~0~Target 870 Stop loss 805|Sell WIPRO below 295~1~Target 280|END";
        if (code == "930") {
            std::vector<std::string> rows;
            for (const Security& s : m_universe->securities())
                if (s.exchange == "CN" && s.inst == "FC" && rows.size() < 4)
                    rows.push_back(std::to_string(s.wtoken) + "|" + detail::paiseText(s.price * 100));
            return "931|0||" + std::to_string(rows.size()) + "~" + detail::join(rows, '^');
        }
    }
    if (path == "/qtrade/Glenvarro.exe" && r.keyword == "WD")
        return watchReply(req);
    if (path == "/qtrade/qrms.exe" && r.keyword == "RiskData" && code == "405")
        return m_tsloDesk->margin(r);
    if (path == "/qtrade/qrms.exe" && r.keyword == "RiskData" && code == "420")
        return conversionQueryReply(r, *m_riskDesk);
    if (path == "/qtrade/qrms.exe" && r.keyword == "RiskData")
        return m_riskDesk->reply(r);
    if (path == "/qtrade/feeds.exe" && r.keyword == "mktcaptok")
        return turnoverReply(code == "2" ? 2 : 1);
    if (path == "/zqvdata/mktdata.exe" && r.keyword == "data")
        return marketDataReply(r);
    if (path == "/qtrade/feeds.exe" && r.keyword == "action" && code == "L") {
        const auto it = r.items.find("token");
        const int w = detail::toInt(it == r.items.end() ? std::string() : it->second);
        std::lock_guard lock(m_mutex);
        const Quote q = quoteLocked(w);
        return "S*0," + std::to_string(q.bid) + ",0," + std::to_string(q.ask) + ",0," + std::to_string(q.last);
    }
    if (path == "/cgi-bin/feeds" && r.keyword == "Token")
        return pollReply(r);
    if (path == "/qtrade/qtrade.exe" && TsloDesk::handles(r))
        return m_tsloDesk->reply(r);
    if (path == "/qtrade/qtrade.exe" && r.keyword == "NoOfOrders"
        && detail::field(detail::split(r.items.count("OrderData1") ? r.items.at("OrderData1") : std::string(), '|'), 0)
            == "110")
        return conversionReply(r, *m_riskDesk);
    if (path == "/qtrade/qtrade.exe" && r.keyword == "NoOfOrders")
        return m_orderDesk->reply(r, {});
    if (path == "/qtrade/qbasket.exe" && r.keyword == "OrdReqNo")
        return basketReply(r, *m_orderDesk, {}, [this](const std::string& exchange, int scripCode) {
            const Security* s = m_universe->byScripCode(exchange, scripCode);
            return s ? s->token : 0;
        });
    if (path == "/cgi-bin/Glenvarro/upd_feeds.exe") {
        applySubscription(req.decoded.text, nullptr);
        return "OK";
    }
    return {};
}

void TestBroker::tsloHistory(int specialNo, std::vector<std::string> rows)
{
    std::lock_guard lock(m_mutex);
    m_tsloHistory[specialNo] = std::move(rows);
}

} // namespace tb
