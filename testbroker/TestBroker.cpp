#include "TestBroker.h"

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

#include <openssl/evp.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#ifndef TB_FIXTURES_DIR
#define TB_FIXTURES_DIR "testbroker/fixtures"
#endif

namespace tb {

struct TestBroker::FeedClient {
    int id = 0;
    FeedTransport transport = FeedTransport::Tcp;
    std::string user;
    int slot = -1;
    std::vector<int> tokens;      // guarded by TestBroker::m_mutex
    std::vector<int> depthTokens; // guarded by TestBroker::m_mutex
    int heartbeats = 0;           // guarded by TestBroker::m_mutex
    int64_t demoTicks = 0;        // guarded by TestBroker::m_mutex; demo steps since the slot was given
    bool splitFrames = false;
    std::shared_ptr<Connection> connection;
    std::mutex sendMutex; // keeps a frame written in two parts whole against other senders
};

namespace detail {

const char kFeedPath[] = "/cgi-bin/Glenvarro/pfeeds.exe";

std::vector<std::string> split(const std::string& s, char sep)
{
    std::vector<std::string> out;
    size_t p = 0;
    while (true) {
        const size_t q = s.find(sep, p);
        out.push_back(s.substr(p, q == std::string::npos ? std::string::npos : q - p));
        if (q == std::string::npos)
            return out;
        p = q + 1;
    }
}

std::string join(const std::vector<std::string>& parts, char sep)
{
    std::string s;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i)
            s += sep;
        s += parts[i];
    }
    return s;
}

int toInt(const std::string& s, int fallback = 0)
{
    int v = fallback;
    const char* b = s.data();
    while (b < s.data() + s.size() && *b == ' ')
        ++b;
    if (std::from_chars(b, s.data() + s.size(), v).ec != std::errc())
        return fallback;
    return v;
}

std::vector<int> tokenList(const std::string& s)
{
    std::vector<int> out;
    for (const std::string& t : split(s, ',')) {
        const int v = toInt(t, -1);
        if (v > 0 && std::find(out.begin(), out.end(), v) == out.end())
            out.push_back(v);
    }
    return out;
}

std::string field(const std::vector<std::string>& f, size_t i)
{
    return i < f.size() ? f[i] : std::string();
}

// Price step in paise: equity and currency ticks are in 1/10000 rupee,
// commodity ticks already in paise.
int64_t tickPaise(const Security* s)
{
    if (!s || s->isIndex())
        return 1;
    if (s->exchange == "MC")
        return std::max(1, s->tick);
    return std::max(1, s->tick / 100);
}

// The login switches: the limits columns (0, 1, 8, 10, 13, 52, 53) and
// "Additional Margin" (59) on, trading (12) left to the user type.
std::string defaultLoginFlags()
{
    std::string flags(128, '0');
    for (int i : {0, 1, 8, 10, 13, 52, 53, 59})
        flags[static_cast<size_t>(i)] = '1';
    return flags;
}

// A query's %XX escapes decoded ('+' stays: the terminal encodes blanks as %20).
std::string percentDecoded(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1]))
            && std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string paiseText(int64_t paise)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld.%02lld", static_cast<long long>(paise / 100),
                  static_cast<long long>(paise % 100));
    return buf;
}

std::string timeStamp(const char* fmt)
{
    const pf::LocalTime t = pf::clock().localNow();
    char buf[64];
    if (std::string(fmt) == "date")
        std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", t.day, t.month, t.year, t.hour, t.minute,
                      t.second);
    else
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buf;
}

// A short 8 kHz mono beep for "/alert.wav".
std::string alertWav()
{
    const uint32_t samples = 1600;
    std::string w = "RIFF";
    auto u32 = [&w](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            w += static_cast<char>((v >> (8 * i)) & 0xff);
    };
    auto u16 = [&w](uint16_t v) {
        w += static_cast<char>(v & 0xff);
        w += static_cast<char>(v >> 8);
    };
    u32(36 + samples);
    w += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(1);
    u32(8000);
    u32(8000);
    u16(1);
    u16(8);
    w += "data";
    u32(samples);
    for (uint32_t i = 0; i < samples; ++i)
        w += static_cast<char>((i / 8) % 2 ? 0xa0 : 0x60);
    return w;
}

} // namespace detail

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

void TestBroker::addUser(const std::string& id, const std::string& password, const std::string& name,
                         const std::string& clientCode, char userType)
{
    std::lock_guard lock(m_mutex);
    m_users[id] = User{password, name, clientCode, userType};
}

void TestBroker::scriptLogin(int status, const std::string& message)
{
    std::lock_guard lock(m_mutex);
    m_loginScript.emplace_back(status, message);
}

void TestBroker::setLoginField(int field, const std::string& value, bool clear)
{
    std::lock_guard lock(m_mutex);
    if (clear)
        m_loginFields.erase(field);
    else
        m_loginFields[field] = value;
}

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

std::string TestBroker::md5Base64(const std::string& text) const
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(text.data(), text.size(), digest, &len, EVP_md5(), nullptr);
    return base64Encode(std::string_view(reinterpret_cast<const char*>(digest), len));
}

std::string TestBroker::digestOf(const std::string& password) const
{
    // After a change by digest only the digest is known.
    return password.rfind("digest:", 0) == 0 ? password.substr(7) : md5Base64(password);
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

void TestBroker::setWebLinks(std::vector<std::string> records)
{
    std::lock_guard lock(m_mutex);
    m_webLinks = std::move(records);
}

std::vector<std::string> TestBroker::demoWebLinks()
{
    // Pref: open mode ('0' embedded, '1' outside), client rule, kind, place
    // ('S' quick access, 'F' feedback, 'T' off the ribbon, blank: none).
    return {
        "Reports|0|101|Research Reports|Research|1|00B |Daily research reports",
        "Calls|1|102|Morning Call|Research|2|02WS|Calls for the client typed",
        "Calls|2|103|Evening Call|Research|3|00OS|Evening calls",
        "Charges|3|104|Estimated Charges|Tools|4|10BS|Charges of an order",
        "Feedback|4|105|Feedback|Tools|5|00BF|Tell us what you think",
        "Holidays|5|106|Holidays|Tools|6|10BT|Exchange holidays",
        "Terms|6|107|Terms and Conditions|Tools|7|10BT|Terms of the research calls",
    };
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
                text = intradayChartText(*s, pf::clock().nowSeconds(), quote(token).last, m_options.seed);
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
    auto flags = [] { return detail::defaultLoginFlags(); };

    if (path == "/qtrade/qencdet.exe" && req.key() == "ED=19") {
        std::lock_guard lock(m_mutex);
        return "0|OK||" + std::to_string(m_encryption) + "|||" + m_options.host + "|" + std::to_string(httpPort())
            + "|a|b|0|0";
    }
    if (path == "/qtrade/qlogin.exe" && r.keyword == "LoginData") {
        if (code == "3000")
            return loginReply(req);
        if (code == "3015") {
            std::lock_guard lock(m_mutex);
            const auto it = m_loginFields.find(19);
            return "3015|0|Nominee details updated||" + (it == m_loginFields.end() ? flags() : it->second);
        }
        if (code == "3010")
            return "3010|0|Crash report received";
        if (code == "1001")
            return "1001|0|Logged out";
        if (code == "1010") {
            std::lock_guard lock(m_mutex);
            std::string out = "1010|0||" + std::to_string(m_webLinks.size()) + "~";
            for (size_t i = 0; i < m_webLinks.size(); ++i)
                out += (i ? "^" : "") + m_webLinks[i];
            return out;
        }
        if (code == "1013")
            return m_informationDesk->accept(r);
        if (code == "1005" || code == "1004" || code == "1006") {
            std::lock_guard lock(m_mutex);
            auto it = m_users.find(detail::field(f, 1));
            if (code == "1006")
                return it != m_users.end() && digestOf(it->second.password) == detail::field(f, 4)
                    ? "1006|0|Terminal unlocked"
                    : "1006|1|Invalid Password";
            // 1005 carries digests, 1004 the passwords as typed.
            const std::string oldText = detail::field(f, 2);
            const bool plain = code == "1004";
            if (it == m_users.end() || (plain ? oldText != it->second.password : oldText != digestOf(it->second.password)))
                return code + "|1|Old Password is incorrect";
            if (plain)
                it->second.password = detail::field(f, 3);
            else
                it->second.password = "digest:" + detail::field(f, 3); // only its digest is known from now on
            return code + "|0|Password changed successfully";
        }
        if (code == "1008")
            return "1058|0|Security key sent to your registered mobile|98XXXXXX21|" + detail::field(f, 1)
                + "||Please confirm your mobile number";
        if (code == "1009")
            return "1059|0|Mobile number confirmed|" + detail::field(f, 1);
        if (code == "1011")
            return "1061|0|" + detail::field(f, 1) + "|Access code accepted";
    }
    if (path == "/qtrade/qnews.exe" && SpecialReportDesk::handles(r))
        return m_specialReports->reply(r);
    if (path == "/qtrade/qphone.exe" && r.keyword == "ReportData") {
        if (code == "1007")
            return "1007|1|Please answer your security questions|" + detail::field(f, 1)
                + "||2|1|1^1^Your city of birth^C^Mumbai,Delhi,Chennai,Kolkata~2^0^Your favourite colour^C^Red,Blue,Green";
        if (code == "1110")
            return "1110|0|Your answers are verified. The new password is sent to your registered e-mail.";
        if (code == "1114")
            return "1114|0|OTP sent again to your registered mobile|" + detail::field(f, 1);
        if (code == "1116")
            return "1116|0|OTP sent to your registered mobile";
    }
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

std::string TestBroker::loginReply(const RecordedRequest& req)
{
    const std::vector<std::string>& f = req.request.fields;
    const std::string id = detail::field(f, 1);
    const std::string digest = detail::field(f, 2);
    const auto secIt = req.request.items.find("SecDate");
    const std::string stamp = securityStamp(secIt == req.request.items.end() ? std::string() : secIt->second);

    std::lock_guard lock(m_mutex);
    int status = 0;
    std::string message;
    if (!m_loginScript.empty()) {
        std::tie(status, message) = m_loginScript.front();
        m_loginScript.pop_front();
    } else {
        const auto it = m_users.find(id);
        const bool ok = it != m_users.end()
            && digestOf(it->second.password) == digest;
        status = ok ? 0 : 109;
    }
    if (message.empty()) {
        switch (status) {
        case 0: message = "Login Successful"; break;
        case 2: message = "Please wait, logging in again"; break;
        case 3:
        case 4: message = "Please complete the form in your browser"; break;
        case 109:
        case 6002: message = "Invalid Credential"; break;
        case 110: message = "Your password has expired. Please change your password."; break;
        case 60041: message = "A newer version is available. Please upgrade."; break;
        default: message = "Account Locked"; break;
        }
    }
    const auto user = m_users.find(id);
    const std::string name = user != m_users.end() ? user->second.name : "Test User";
    const std::string client = user != m_users.end() ? user->second.clientCode : "ABC12";
    const char type = user != m_users.end() ? user->second.type : 'C';
    char session[32];
    std::snprintf(session, sizeof session, "SESS%04d", ++m_sessions);
    const std::string host = m_options.host;
    const std::string web = "http://" + host + ":" + std::to_string(httpPort());
    // 37 fields, numbered from 1 by the terminal.
    std::vector<std::string> fields = {
        "3000",
        std::to_string(status),
        message,
        host,
        std::to_string(feedPort()),
        session,
        id,
        name,
        std::string(1, type),
        client,
        client,
        "",
        "",
        "0-Normal-A^1-Delivery-A^2-BNST-A^4-MTF-A^5-Stop Loss-A^7-DDS-A^12-MIS Options-A",
        "",
        "",
        "0",
        "0",
        detail::defaultLoginFlags(),
        "",
        std::to_string(m_options.categoryVersion),
        stamp,
        detail::timeStamp("date"),
        "1",
        "0",
        "480",
        status == 3 || status == 4 ? web + "/qtrade/qlogin.exe" : host,
        std::to_string(httpPort()),
        web,
        "CRN001",
        "1",
        std::to_string(m_options.servicesVersion),
        host,
        "30",
        "",
        "Y",
        "Welcome to the Vortanex test broker",
    };
    for (const auto& [n, value] : m_loginFields)
        if (n >= 1 && n <= static_cast<int>(fields.size()))
            fields[static_cast<size_t>(n - 1)] = value;
    return detail::join(fields, '|');
}

std::string TestBroker::watchReply(const RecordedRequest& req)
{
    const std::vector<std::string>& f = req.request.fields;
    const std::string code = req.request.code();
    std::lock_guard lock(m_mutex);
    auto& lists = m_lists[code == "104" || code == "100" || code == "101" || code == "102" || code == "103"
                              ? detail::field(f, 2)
                              : std::string()];
    if (code == "115") {
        std::string s = "115|0|OK";
        for (const auto& [e, st] : m_marketStatus)
            s += "^" + e + "|" + st;
        return s;
    }
    if (code == "112") {
        // Scrip details: "WD=112|session|token|exchange|4", one record of
        // fields 0-50 from the security's quote and master.
        const Security* s = m_universe->byToken(detail::field(f, 3), detail::toInt(detail::field(f, 2)));
        if (!s)
            return "112|1|Security not found";
        const Quote q = quoteLocked(s->wtoken);
        const bool commodity = s->exchange == "MC";
        std::vector<std::string> v(51);
        const std::string today = detail::timeStamp("date").substr(0, 10);
        v[0] = detail::paiseText(q.avg);
        v[1] = detail::paiseText(q.high);
        v[2] = detail::paiseText(q.low);
        v[3] = detail::paiseText(q.last);
        v[5] = detail::paiseText(q.open);
        v[6] = detail::paiseText(q.close);
        v[7] = today;
        v[8] = today;
        v[12] = v[13] = "-";
        v[14] = "Normal market trading in this contract until its expiry";
        v[17] = std::to_string(q.openInterest);
        v[18] = std::to_string(q.openInterest + 1000);
        v[19] = std::to_string(q.openInterest > 1000 ? q.openInterest - 1000 : 0);
        v[20] = detail::paiseText(std::llround(s->yearHigh * 100));
        v[21] = detail::paiseText(std::llround(s->yearLow * 100));
        v[22] = detail::paiseText(q.upperBand);
        v[23] = detail::paiseText(q.lowerBand);
        v[25] = detail::paiseText(q.close);
        v[27] = std::to_string(s->lot * 1000);
        v[28] = detail::paiseText(q.last * s->lot * 10);
        v[29] = "0";
        v[30] = v[31] = s->expiry.empty() ? "-" : s->expiry;
        v[32] = commodity ? "1 KGS" : "1";
        v[34] = "INE" + std::to_string(100000 + s->token) + "01";
        v[35] = detail::paiseText(q.upperBand);
        v[36] = detail::paiseText(q.lowerBand);
        if (commodity) {
            v[37] = v[17];
            v[38] = "1 KGS";
            v[39] = std::to_string(s->lot);
            v[40] = v[41] = v[42] = v[43] = s->expiry;
            v[44] = detail::paiseText(s->tick);
            v[45] = std::to_string(s->lot);
            v[46] = v[47] = "0";
            v[48] = "1";
            v[50] = "KGS";
        }
        return "112|0|OK^" + detail::join(v, '|');
    }
    if (code == "108") {
        // Market depth: "WD=108|id|token|exchange|4": the header with the
        // totals, then five levels (bid price, orders, qty, offer price,
        // orders, qty) joined by '~'.
        const Security* s = m_universe->byToken(detail::field(f, 3), detail::toInt(detail::field(f, 2)));
        if (!s)
            return "108|1|Security not found";
        const Quote& q = quoteLocked(s->wtoken);
        const int64_t tick = detail::tickPaise(s);
        std::vector<std::string> rows;
        for (int k = 0; k < 5; ++k)
            rows.push_back(detail::paiseText(std::max<int64_t>(tick, q.last - (k + 1) * tick)) + "|"
                           + std::to_string(1 + k * 2) + "|" + std::to_string(q.bidQty * (k + 1)) + "|"
                           + detail::paiseText(q.last + (k + 1) * tick) + "|" + std::to_string(1 + k * 2) + "|"
                           + std::to_string(q.askQty * (k + 1)));
        return "108|0|OK|||" + std::to_string(q.totalBuy) + "|" + std::to_string(q.totalSell) + "^"
            + detail::join(rows, '~');
    }
    if (code == "113" || code == "114") {
        // Top gainers and losers (113) or most active (114) of an exchange:
        // "token|exch|..." in rupees, ranked by change or by traded volume.
        const std::string exch = detail::field(f, 2);
        std::vector<std::pair<int64_t, std::string>> ranked;
        for (const Security& s : m_universe->securities()) {
            if (s.exchange != exch || s.inst != "EQ")
                continue;
            const Quote& q = quoteLocked(s.wtoken);
            const int64_t change = q.close ? (q.last - q.close) * 10000 / q.close : 0; // hundredths of a percent
            const std::string pct = detail::paiseText(change);
            std::string row = std::to_string(s.token) + "|" + s.exchange + "|";
            if (code == "113")
                row += detail::paiseText(q.open) + "|" + detail::paiseText(q.high) + "|" + detail::paiseText(q.low)
                    + "|" + detail::paiseText(q.last) + "|" + detail::paiseText(q.close) + "|" + pct + "|"
                    + std::to_string(q.volume);
            else
                row += std::to_string(q.volume) + "|" + detail::paiseText(q.volume * q.last) + "|"
                    + detail::paiseText(q.last) + "|" + detail::paiseText(q.close) + "|" + pct + "|-|-";
            ranked.emplace_back(code == "113" ? -std::llabs(change) : -q.volume, row);
        }
        std::stable_sort(ranked.begin(), ranked.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::string out = code + "|0|OK";
        for (const auto& [rank, row] : ranked)
            out += "^" + row;
        return out;
    }
    if (code == "111") {
        std::vector<std::string> rows = {"111|0|OK"};
        for (const Security* s : m_universe->indices()) {
            const Quote q = quoteLocked(s->wtoken);
            rows.push_back(std::to_string(s->token) + "|" + s->name + "|" + s->symbol + "|" + s->exchange + "|"
                           + std::to_string(q.last) + "|" + std::to_string(q.high) + "|" + std::to_string(q.low) + "|"
                           + std::to_string(q.open) + "|" + std::to_string(q.close) + "|"
                           + std::to_string(q.last - q.close) + "|" + std::to_string(std::llround(s->yearHigh * 100))
                           + "|" + std::to_string(std::llround(s->yearLow * 100)) + "|" + std::to_string(s->wtoken));
        }
        return detail::join(rows, '^');
    }
    if (code == "100") {
        std::vector<std::string> rows;
        for (const WatchList& l : lists)
            rows.push_back(std::to_string(l.id) + "|" + l.name);
        return rows.empty() ? "100|0|OK" : "100|0|OK^" + detail::join(rows, '~');
    }
    if (code == "117") {
        // An option chain: "WD=117|session|token|exchange|4".
        std::vector<std::string> rows;
        if (const Security* s = m_universe->byToken(detail::field(f, 3), detail::toInt(detail::field(f, 2))))
            for (const Security* o : m_universe->optionChain(*s, 60))
                rows.push_back(std::to_string(o->token) + "|" + o->exchange);
        return rows.empty() ? "167|0|OK" : "167|0|OK^" + detail::join(rows, '~');
    }
    if (code == "104") {
        const int id = detail::toInt(detail::field(f, 3));
        std::vector<std::string> rows;
        for (const Security* s : m_universe->categoryMembers(id))
            rows.push_back(std::to_string(s->token) + "|" + s->symbol + "|" + s->exchange);
        for (const WatchList& l : lists)
            if (l.id == id)
                for (const auto& [token, exch] : l.rows) {
                    const Security* s = m_universe->byToken(exch, token);
                    rows.push_back(std::to_string(token) + "|" + (s ? s->symbol : std::string("-")) + "|" + exch);
                }
        return rows.empty() ? "154|0|OK" : "154|0|OK^" + detail::join(rows, '~');
    }
    if (code == "101") {
        lists.push_back(WatchList{m_nextListId++, detail::field(f, 3), {}});
        return "101|0|Watch List Added||" + std::to_string(lists.back().id);
    }
    if (code == "103" || code == "102") {
        const int id = detail::toInt(detail::field(f, code == "103" ? 3 : 4));
        for (auto it = lists.begin(); it != lists.end(); ++it)
            if (it->id == id) {
                if (code == "102") {
                    lists.erase(it);
                    return "102|0|Watch List Deleted";
                }
                it->name = detail::field(f, 5);
                return "103|0|Watch List Renamed";
            }
        return code + "|1|Watch List not found";
    }
    if (code == "107") {
        // "WD=107|session|user|name|count^token|exch|state~...~|4"
        const std::string& text = req.decoded.text;
        const size_t caret = text.find('^');
        const std::vector<std::string> head = detail::split(text.substr(3, caret == std::string::npos ? std::string::npos : caret - 3), '|');
        auto& userLists = m_lists[detail::field(head, 2)];
        const std::string name = detail::field(head, 3);
        WatchList* list = nullptr;
        for (WatchList& l : userLists)
            if (l.name == name)
                list = &l;
        if (!list) {
            userLists.push_back(WatchList{m_nextListId++, name, {}});
            list = &userLists.back();
        }
        list->rows.clear();
        if (caret != std::string::npos)
            for (const std::string& row : detail::split(text.substr(caret + 1), '~')) {
                const std::vector<std::string> rf = detail::split(row, '|');
                if (rf.size() < 3 || rf[0].empty())
                    continue;
                // The row carries the market watch's exchange name.
                static const std::map<std::string, std::string> codes = {
                    {"NSE", "NN"}, {"BSE", "BN"}, {"NSE-FX", "CN"}, {"BSE-CDX", "CB"}, {"MCX-SX", "CM"}, {"MCX-CM", "MC"}};
                const auto code = codes.find(rf[1]);
                const std::string exch = code == codes.end() ? rf[1] : code->second;
                list->rows.emplace_back(detail::toInt(rf[0]), exch);
            }
        return "107|0|Watch List Saved||" + std::to_string(list->id);
    }
    if (code == "121") {
        // The options watch list: a few index options.
        std::vector<std::string> rows;
        for (const Security& s : m_universe->securities())
            if (s.inst == "OI" && rows.size() < 4)
                rows.push_back(std::to_string(s.token) + "|" + s.exchange + "|0");
        return rows.empty() ? "121|0|OK" : "121|0|OK^" + detail::join(rows, '~');
    }
    return {};
}

std::string TestBroker::pollReply(const RequestText& r)
{
    const auto it = r.items.find("Token");
    std::vector<std::string> parts = detail::split(it == r.items.end() ? std::string() : it->second, ',');
    std::vector<std::string> records = {"FEEDS", "0", "OK", detail::timeStamp("time")};
    std::lock_guard lock(m_mutex);
    for (size_t i = 1; i < parts.size(); ++i) {
        const int w = detail::toInt(parts[i], -1);
        if (w > 0)
            records.push_back(quotePayload(w, quoteLocked(w)));
    }
    return detail::join(records, '*');
}

// --- feed ------------------------------------------------------------------------

void TestBroker::serveFeed(const std::shared_ptr<Connection>& c, const std::string& head, std::string pending)
{
    std::string lowerHead = head;
    std::transform(lowerHead.begin(), lowerHead.end(), lowerHead.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    if (lowerHead.find("\r\nexpect: 100-continue") != std::string::npos && !c->writeAll("HTTP/1.1 100 Continue\r\n\r\n"))
        return;
    // The opening request's body ends with a NUL on the HTTP stream and with CR LF
    // on the TCP feed, whose Content-Length cannot be trusted.
    char chunk[4096];
    size_t end = std::string::npos;
    while (true) {
        const size_t nul = pending.find('\0');
        const size_t crlf = pending.find("\r\n");
        end = std::min(nul, crlf);
        if (end != std::string::npos || pending.size() > 64 * 1024)
            break;
        const long n = c->readSome(chunk, sizeof chunk, 100);
        if (n < 0)
            return;
        pending.append(chunk, static_cast<size_t>(n));
    }
    if (end == std::string::npos)
        return;
    const bool stream = pending[end] == '\0';
    const std::string body = pending.substr(0, end);
    pending.erase(0, end + (stream ? 1 : 2));
    RecordedRequest opening = record(stream ? "feed-stream" : "feed-tcp", "POST", detail::kFeedPath, {}, body);

    auto client = std::make_shared<FeedClient>();
    client->transport = stream ? FeedTransport::Stream : FeedTransport::Tcp;
    client->user = detail::field(opening.request.fields, 2);
    client->connection = c;
    FeedFaults faults;
    {
        std::lock_guard lock(m_mutex);
        faults = m_feedFaults;
        m_feedFaults = FeedFaults{}; // switches hold for one connection
        client->id = m_nextClientId++;
        client->slot = faults.rejectSlot ? -1 : m_nextSlot++;
        client->tokens = detail::tokenList(detail::field(opening.request.fields, 6));
        client->splitFrames = faults.splitFrames;
    }
    if (!c->writeAll("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n"))
        return;
    if (!faults.no250) {
        const std::string welcome = faults.rejectSlot ? message250(-1, "Feed server is full. Please try later", m_options.host, httpPort())
                                                      : message250(client->slot, "Welcome", m_options.host, httpPort());
        sendFrame(client, streamFrame(welcome));
    }
    {
        std::lock_guard lock(m_mutex);
        m_clients.push_back(client);
    }
    m_changed.notify_all();

    if (faults.stopReading) {
        c->limitReceiveBuffer(4096);
        const auto reconnected = [this, &client] {
            std::lock_guard lock(m_mutex);
            for (const auto& other : m_clients)
                if (other->user == client->user && other->id > client->id)
                    return true;
            return false;
        };
        while (sleepUnlessStopped(50) && !reconnected()) {
        }
        c->shutdown();
    }

    // Client frames on the same socket: 5-digit length, then the text.
    while (true) {
        while (pending.size() >= 5) {
            int n = 0;
            const auto [p, ec] = std::from_chars(pending.data(), pending.data() + 5, n);
            if (ec != std::errc() || p != pending.data() + 5) {
                pf::logLine(2, "testbroker: feed frame: expected 5 digits, got \"" + pending.substr(0, 5) + "\"");
                pending.erase(0, 1);
                continue;
            }
            if (pending.size() < 5 + static_cast<size_t>(n))
                break;
            const std::string text = pending.substr(5, static_cast<size_t>(n));
            pending.erase(0, 5 + static_cast<size_t>(n));
            record("feed-frame", "FRAME", detail::kFeedPath, {}, text);
            applySubscription(text, client);
        }
        const long n = c->readSome(chunk, sizeof chunk, 100);
        if (n < 0)
            break;
        pending.append(chunk, static_cast<size_t>(n));
    }
    {
        std::lock_guard lock(m_mutex);
        m_clients.erase(std::remove(m_clients.begin(), m_clients.end(), client), m_clients.end());
    }
    m_changed.notify_all();
}

void TestBroker::applySubscription(const std::string& text, const std::shared_ptr<FeedClient>& from)
{
    const std::vector<std::string> f = detail::split(text, '|');
    const std::string code = detail::field(f, 0);
    std::lock_guard lock(m_mutex);
    std::shared_ptr<FeedClient> client = from;
    if (!client) {
        // Over HTTP the text names the user and the slot.
        const bool heartbeat = code == "900";
        const std::string user = detail::field(f, heartbeat ? 3 : 4);
        const int slot = detail::toInt(detail::field(f, heartbeat ? 4 : 5), -1);
        for (const auto& c : m_clients)
            if (c->user == user && (c->slot == slot || !client))
                client = c;
    }
    if (!client)
        return;
    if (code == "201")
        client->tokens = detail::tokenList(detail::field(f, 7));
    else if (code == "203")
        client->depthTokens = detail::tokenList(detail::field(f, 7));
    else if (code == "202")
        client->tokens.clear();
    else if (code == "900")
        ++client->heartbeats;
    m_changed.notify_all();
}

bool TestBroker::sendFrame(const std::shared_ptr<FeedClient>& client, const std::string& bytes)
{
    if (bytes.empty())
        return false;
    std::lock_guard lock(client->sendMutex);
    if (client->splitFrames && bytes.size() > 1) {
        const size_t half = bytes.size() / 2;
        if (!client->connection->writeAll(std::string_view(bytes).substr(0, half)))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return client->connection->writeAll(std::string_view(bytes).substr(half));
    }
    return client->connection->writeAll(bytes);
}

std::vector<std::shared_ptr<TestBroker::FeedClient>> TestBroker::clientsOf(const std::string& user) const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::shared_ptr<FeedClient>> out;
    for (const auto& c : m_clients)
        if (user.empty() || c->user == user)
            out.push_back(c);
    return out;
}

std::vector<FeedClientInfo> TestBroker::feedClients() const
{
    std::lock_guard lock(m_mutex);
    std::vector<FeedClientInfo> out;
    for (const auto& c : m_clients)
        out.push_back(FeedClientInfo{c->id, c->transport, c->user, c->slot, c->tokens, c->depthTokens, c->heartbeats});
    return out;
}

bool TestBroker::waitForFeedClient(const std::string& user, int timeoutMs) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const auto& c : m_clients)
            if (user.empty() || c->user == user)
                return true;
        return false;
    });
}

int TestBroker::pushFeed(const std::string& user, const std::string& message, char flag)
{
    return pushRaw(user, streamFrame(message, flag));
}

int TestBroker::pushCompressed(const std::string& user, const std::vector<std::string>& messages)
{
    int sent = 0;
    const std::string frame = compressedFrame(messages);
    for (const auto& c : clientsOf(user))
        if (c->transport == FeedTransport::Tcp && sendFrame(c, frame))
            ++sent;
    return sent;
}

int TestBroker::pushRaw(const std::string& user, const std::string& bytes)
{
    int sent = 0;
    for (const auto& c : clientsOf(user))
        if (sendFrame(c, bytes))
            ++sent;
    return sent;
}

bool TestBroker::sendUdp(const std::string& message)
{
    return sendUdpRaw(udpFrame(message));
}

bool TestBroker::sendUdpRaw(const std::string& bytes)
{
    if (m_udpFd < 0 || bytes.empty())
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_options.udpPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::sendto(m_udpFd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to)
        == static_cast<ssize_t>(bytes.size());
}

int TestBroker::dropFeed(const std::string& user)
{
    int n = 0;
    for (const auto& c : clientsOf(user)) {
        c->connection->shutdown();
        ++n;
    }
    return n;
}

// --- market --------------------------------------------------------------------

Quote& TestBroker::quoteLocked(int wtoken)
{
    auto it = m_quotes.find(wtoken);
    if (it != m_quotes.end())
        return it->second;
    const Security* s = m_universe->byWatchToken(wtoken);
    const int64_t tick = detail::tickPaise(s);
    const int64_t price = s ? s->price : 10000;
    Quote q;
    q.last = q.open = q.close = q.high = q.low = q.avg = price;
    q.bid = std::max<int64_t>(tick, price - tick);
    q.ask = price + tick;
    const int64_t lot = s ? std::max(1, s->lot) : 1;
    // Seeded per token, so that looking at a quote never changes the market's walk.
    std::mt19937_64 rng(m_options.seed ^ (static_cast<uint64_t>(wtoken) * 0x9e3779b97f4a7c15ULL));
    q.bidQty = lot * static_cast<int64_t>(1 + rng() % 50);
    q.askQty = lot * static_cast<int64_t>(1 + rng() % 50);
    q.totalBuy = q.bidQty * 20;
    q.totalSell = q.askQty * 20;
    // Bands of 10 % around the previous close, on the tick.
    q.upperBand = (price + price / 10) / tick * tick;
    q.lowerBand = (price - price / 10) / tick * tick;
    q.lastTime = pf::clock().nowSeconds();
    return m_quotes.emplace(wtoken, q).first->second;
}

void TestBroker::stepLocked(int wtoken, int drift)
{
    Quote& q = quoteLocked(wtoken);
    const Security* s = m_universe->byWatchToken(wtoken);
    int64_t tick = detail::tickPaise(s);
    if (s && s->isIndex())
        tick = std::max<int64_t>(1, q.last / 4000);
    // A common drift moves stocks and indices the same way, so the indices follow the market.
    const int64_t steps = static_cast<int64_t>(m_rng() % 5) - 2 + drift * (s && s->isIndex() ? 2 : 1);
    q.last = std::clamp(q.last + steps * tick, std::max(tick, q.lowerBand), q.upperBand);
    q.high = std::max(q.high, q.last);
    q.low = std::min(q.low, q.last);
    q.bid = std::max(tick, q.last - tick);
    q.ask = q.last + tick;
    const int64_t lot = s ? std::max(1, s->lot) : 1;
    q.lastQty = lot * static_cast<int64_t>(1 + m_rng() % 10);
    q.bidQty = lot * static_cast<int64_t>(1 + m_rng() % 50);
    q.askQty = lot * static_cast<int64_t>(1 + m_rng() % 50);
    q.avg = (q.avg * q.volume + q.last * q.lastQty) / std::max<int64_t>(1, q.volume + q.lastQty);
    q.volume += q.lastQty;
    q.value += q.last * q.lastQty / 100;
    q.totalBuy = std::max<int64_t>(0, q.totalBuy + q.bidQty - q.askQty);
    q.totalSell = std::max<int64_t>(0, q.totalSell + q.askQty - q.bidQty);
    q.netChange = q.last - q.close;
    q.changePct = q.close ? q.netChange * 10000 / q.close : 0;
    q.lastTime = pf::clock().nowSeconds();
}

void TestBroker::chartHistory(int wtoken, int sessions)
{
    std::lock_guard lock(m_mutex);
    m_chartSessions[wtoken] = sessions;
}

Quote TestBroker::quote(int wtoken)
{
    std::lock_guard lock(m_mutex);
    return quoteLocked(wtoken);
}

std::string TestBroker::quoteMessage(int wtoken)
{
    std::lock_guard lock(m_mutex);
    const Security* s = m_universe->byWatchToken(wtoken);
    const Quote& q = quoteLocked(wtoken);
    if (s && s->isIndex())
        return message110(wtoken, q.last, q.close, q.last - q.close, q.lastTime, s->name);
    return message101(wtoken, q);
}

std::string TestBroker::depthMessage(int wtoken)
{
    std::lock_guard lock(m_mutex);
    const Quote& q = quoteLocked(wtoken);
    const int64_t tick = detail::tickPaise(m_universe->byWatchToken(wtoken));
    DepthLevel bids[5], asks[5];
    for (int k = 0; k < 5; ++k) {
        bids[k] = {std::max<int64_t>(tick, q.last - (k + 1) * tick), q.bidQty * (k + 1), 1 + k * 2};
        asks[k] = {q.last + (k + 1) * tick, q.askQty * (k + 1), 1 + k * 2};
    }
    return message104(wtoken, q.last, bids, asks, q.totalBuy, q.totalSell);
}

std::string TestBroker::turnoverReply(int kind)
{
    // Up, down and neutral stocks by their last price against the close,
    // with their traded value in crores. Kind 1: one record per exchange
    // ("label,name,upVol,upCnt,downVol,downCnt,neutralVol,neutralCnt,total");
    // kind 2: one per index, its exchange id in field 2, its name as label
    // and name, and the figures of the equities of its exchange from field 5 on.
    struct Sums {
        double volume[3] = {0, 0, 0};
        long count[3] = {0, 0, 0};
    };
    std::map<std::string, Sums> byExchange;
    std::lock_guard lock(m_mutex);
    for (const Security& s : m_universe->securities()) {
        if (s.inst != "EQ" || (s.exchange != "NN" && s.exchange != "BN"))
            continue;
        const Quote& q = quoteLocked(s.wtoken);
        const int k = q.last > q.close ? 0 : q.last < q.close ? 1 : 2;
        Sums& sums = byExchange[s.exchange];
        // Before its first trade a stock counts with a steady volume of its own.
        const int64_t volume = q.volume > 0 ? q.volume : (s.token % 50 + 1) * 10000;
        const int64_t last = q.last > 0 ? q.last : s.price;
        sums.volume[k] += static_cast<double>(volume) * static_cast<double>(last) / 100.0 / 1e7;
        ++sums.count[k];
    }
    const auto figures = [](const Sums& x) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "%.2f,%ld,%.2f,%ld,%.2f,%ld,%.2f", x.volume[0], x.count[0], x.volume[1],
                      x.count[1], x.volume[2], x.count[2], x.volume[0] + x.volume[1] + x.volume[2]);
        return std::string(buf);
    };
    std::vector<std::string> records;
    if (kind == 1) {
        records.push_back("Exchange,NSE," + figures(byExchange["NN"]));
        records.push_back("Exchange,BSE," + figures(byExchange["BN"]));
    } else {
        int n = 0;
        for (const Security* s : m_universe->indices()) {
            Sums x = byExchange[s->exchange];
            // Each index its own share of its exchange, so the bars differ.
            const double share = 1.0 / (2 + n++);
            for (double& v : x.volume)
                v *= share;
            records.push_back(std::to_string(s->token) + "," + s->symbol + "," + (s->exchange == "BN" ? "2" : "1")
                              + "," + s->name + "," + s->name + "," + figures(x));
            // The market scanner's and cluster's preset index: NIFTY 50 under
            // its older name, with a watch list of that name.
            if (s->name == "NIFTY 50")
                records.push_back(std::to_string(s->token) + "," + s->symbol + ",1,CNX Nifty,CNX Nifty," + figures(x));
        }
    }
    return detail::join(records, '*');
}

void TestBroker::tsloHistory(int specialNo, std::vector<std::string> rows)
{
    std::lock_guard lock(m_mutex);
    m_tsloHistory[specialNo] = std::move(rows);
}

void TestBroker::marketStep()
{
    std::vector<std::pair<std::shared_ptr<FeedClient>, std::vector<std::string>>> out;
    std::vector<int> udpTokens;
    std::string broadcast;
    {
        std::lock_guard lock(m_mutex);
        ++m_ticks;
        const int drift = static_cast<int>(m_rng() % 3) - 1;
        std::set<int> stepped;
        for (const auto& c : m_clients) {
            for (int w : c->tokens)
                if (stepped.insert(w).second)
                    stepLocked(w, drift);
        }
        for (const Security* s : m_universe->indices())
            if (stepped.insert(s->wtoken).second)
                stepLocked(s->wtoken, drift);
        if (m_options.broadcastEveryTicks > 0 && m_ticks % m_options.broadcastEveryTicks == 0) {
            const char* notes[] = {"Markets close at 15:30", "Trading in NIFTY options is brisk today",
                                   "Settlement holiday on the next exchange holiday", "Pre-open session starts at 09:00"};
            const char* note = notes[m_rng() % std::size(notes)];
            broadcast = m_ticks % (2 * m_options.broadcastEveryTicks) ? std::string("120,") + note
                                                                     : std::string("600|ALL|") + note;
        }
        // UDP has no subscriptions: the first NSE equities and the indices go to every listener.
        if (m_options.udpPort)
            for (const Security& s : m_universe->securities())
                if (s.exchange == "NN" && s.inst == "EQ" && udpTokens.size() < 7) {
                    udpTokens.push_back(s.wtoken);
                    if (stepped.insert(s.wtoken).second)
                        stepLocked(s.wtoken, drift);
                }
    }
    for (const auto& c : clientsOf({})) {
        std::vector<int> tokens, depth;
        std::vector<std::string> demo;
        {
            std::lock_guard lock(m_mutex);
            tokens = c->tokens;
            depth = c->depthTokens;
            if (m_options.demo && c->slot >= 0)
                demo = m_informationDesk->demoMessages(++c->demoTicks);
        }
        std::vector<std::string> messages;
        for (int w : tokens)
            messages.push_back(quoteMessage(w));
        for (int w : depth)
            messages.push_back(depthMessage(w));
        if (!broadcast.empty())
            messages.push_back(broadcast);
        messages.insert(messages.end(), demo.begin(), demo.end());
        out.emplace_back(c, std::move(messages));
    }
    for (auto& [c, messages] : out)
        for (const std::string& m : messages)
            sendFrame(c, streamFrame(m));
    for (int w : udpTokens)
        sendUdp(quoteMessage(w));
    for (const Security* s : m_universe->indices())
        if (m_options.udpPort)
            sendUdp(quoteMessage(s->wtoken));
    m_orderDesk->matchMarket();
    m_tsloDesk->matchMarket();
}

void TestBroker::timerLoop()
{
    int64_t lastTick = pf::clock().steadyMillis();
    int64_t lastKeepAlive = lastTick;
    while (sleepUnlessStopped(50)) {
        const int64_t now = pf::clock().steadyMillis();
        if (m_options.demo && now - lastTick >= m_options.demoTickMs) {
            lastTick = now;
            marketStep();
        }
        if (m_options.keepAliveMs > 0 && now - lastKeepAlive >= m_options.keepAliveMs) {
            lastKeepAlive = now;
            pushFeed({}, "150,");
            if (m_options.udpPort)
                sendUdp("150,");
        }
    }
}

} // namespace tb
