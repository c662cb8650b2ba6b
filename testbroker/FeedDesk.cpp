// The feed: its opening request on the TCP port or the HTTP stream, the
// clients' subscription frames (also over HTTP), the frames pushed to the
// clients, the UDP datagrams, and the quote poll of "/cgi-bin/feeds".
#include "TestBroker.h"

#include "BrokerText.h"
#include "Connection.h"
#include "FeedClient.h"
#include "FeedFrames.h"

#include <pf/log.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <charconv>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>

namespace tb {

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
    const std::string welcome = faults.no250 ? std::string()
                                : faults.rejectSlot
                                    ? message250(-1, "Feed server is full. Please try later", m_options.host, httpPort())
                                    : message250(client->slot, "Welcome", m_options.host, httpPort());
    {
        // Listed in the same step as its slot is sent: the program subscribes
        // over HTTP as soon as it reads its slot, and a subscription that came
        // before the listing would find no client and be lost. (The first
        // frame on a new connection does not wait on the client, and no
        // sender takes the list's lock while it writes.)
        std::lock_guard lock(m_mutex);
        if (!welcome.empty())
            sendFrame(client, streamFrame(welcome));
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

} // namespace tb
