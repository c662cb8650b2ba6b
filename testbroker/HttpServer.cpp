#include "HttpServer.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace tb {

namespace http_server_detail {

constexpr size_t kMaxHead = 64 * 1024;
constexpr size_t kMaxBody = 16 * 1024 * 1024;

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string percentDecode(std::string_view s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1]))
            && std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            int v = 0;
            std::from_chars(s.data() + i + 1, s.data() + i + 3, v, 16);
            out += static_cast<char>(v);
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool parseHead(std::string_view head, HttpRequest& req)
{
    size_t lineEnd = head.find("\r\n");
    const std::string_view first = head.substr(0, lineEnd);
    const size_t sp1 = first.find(' ');
    const size_t sp2 = first.find(' ', sp1 == std::string_view::npos ? sp1 : sp1 + 1);
    if (sp1 == std::string_view::npos || sp2 == std::string_view::npos)
        return false;
    req.method = std::string(first.substr(0, sp1));
    req.target = std::string(first.substr(sp1 + 1, sp2 - sp1 - 1));
    const size_t q = req.target.find('?');
    req.path = req.target.substr(0, q);
    req.query = q == std::string::npos ? std::string() : percentDecode(std::string_view(req.target).substr(q + 1));
    while (lineEnd != std::string_view::npos && lineEnd + 2 < head.size()) {
        const size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string_view line = head.substr(start, lineEnd == std::string_view::npos ? head.npos : lineEnd - start);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ')
            value.remove_prefix(1);
        req.headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
    }
    return true;
}

} // namespace http_server_detail

std::string HttpRequest::header(const std::string& name) const
{
    const std::string want = http_server_detail::lower(name);
    for (const auto& [k, v] : headers)
        if (http_server_detail::lower(k) == want)
            return v;
    return {};
}

bool readUntil(Connection& connection, std::string& buffer, std::string_view needle, size_t maxBytes)
{
    char chunk[4096];
    size_t searched = 0;
    while (true) {
        const size_t from = searched >= needle.size() ? searched - needle.size() + 1 : 0;
        if (buffer.find(needle, from) != std::string::npos)
            return true;
        searched = buffer.size();
        if (buffer.size() >= maxBytes)
            return false;
        const long n = connection.readSome(chunk, sizeof chunk, 100);
        if (n < 0)
            return false;
        buffer.append(chunk, static_cast<size_t>(n));
    }
}

namespace http_server_detail {

bool readMore(Connection& connection, std::string& buffer)
{
    char chunk[4096];
    const long n = connection.readSome(chunk, sizeof chunk, 100);
    if (n < 0)
        return false;
    buffer.append(chunk, static_cast<size_t>(n));
    return true;
}

} // namespace http_server_detail

bool HttpServer::readSized(Connection& connection, HttpRequest& req, std::string& rest, std::string& buffer)
{
    size_t length = 0;
    const std::string cl = req.header("Content-Length");
    if (!cl.empty()) {
        const auto [p, ec] = std::from_chars(cl.data(), cl.data() + cl.size(), length);
        if (ec != std::errc() || length > http_server_detail::kMaxBody) {
            connection.writeAll("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return false;
        }
    }
    while (rest.size() < length)
        if (!http_server_detail::readMore(connection, rest))
            return false;
    req.body = rest.substr(0, length);
    buffer = rest.substr(length);
    return true;
}

bool HttpServer::readChunked(Connection& connection, std::string& rest, std::string& body)
{
    while (true) {
        size_t eol;
        while ((eol = rest.find("\r\n")) == std::string::npos)
            if (rest.size() > 64 || !http_server_detail::readMore(connection, rest))
                return false;
        size_t size = 0;
        const auto [p, ec] = std::from_chars(rest.data(), rest.data() + eol, size, 16);
        if (ec != std::errc() || size > http_server_detail::kMaxBody - body.size())
            return false;
        rest.erase(0, eol + 2);
        if (size == 0) {
            // Trailers end with an empty line.
            while ((eol = rest.find("\r\n")) != 0) {
                if (eol != std::string::npos) {
                    rest.erase(0, eol + 2);
                    continue;
                }
                if (rest.size() > 8192 || !http_server_detail::readMore(connection, rest))
                    return false;
            }
            rest.erase(0, 2);
            return true;
        }
        while (rest.size() < size + 2)
            if (!http_server_detail::readMore(connection, rest))
                return false;
        body.append(rest, 0, size);
        rest.erase(0, size + 2);
    }
}

HttpServer::HttpServer(Handler handler) : m_handler(std::move(handler)) {}

HttpServer::~HttpServer()
{
    stop();
}

void HttpServer::addRawRoute(const std::string& path, RawHandler handler)
{
    m_raw[path] = std::move(handler);
}

bool HttpServer::listen(const std::string& host, uint16_t port, SSL_CTX* tls)
{
    return m_listener.listen(host, port, [this](const std::shared_ptr<Connection>& c) { serve(c); }, tls);
}

void HttpServer::stop()
{
    m_listener.stop();
}

std::string HttpServer::statusText(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 407: return "Proxy Authentication Required";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

void HttpServer::serve(const std::shared_ptr<Connection>& connection)
{
    std::string buffer;
    while (connection->isOpen()) {
        if (!readUntil(*connection, buffer, "\r\n\r\n", http_server_detail::kMaxHead))
            return;
        const size_t headEnd = buffer.find("\r\n\r\n");
        HttpRequest req;
        req.peer = connection->peer();
        if (!http_server_detail::parseHead(std::string_view(buffer).substr(0, headEnd), req)) {
            connection->writeAll("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return;
        }
        std::string rest = buffer.substr(headEnd + 4);
        // libcurl asks before sending larger bodies; answering at once saves its one-second wait.
        if (http_server_detail::lower(req.header("Expect")) == "100-continue" && !connection->writeAll("HTTP/1.1 100 Continue\r\n\r\n"))
            return;
        if (auto it = m_raw.find(req.path); it != m_raw.end()) {
            it->second(connection, req, std::move(rest));
            return;
        }
        if (http_server_detail::lower(req.header("Transfer-Encoding")).find("chunked") != std::string::npos) {
            if (!readChunked(*connection, rest, req.body))
                return;
            buffer = std::move(rest);
        } else if (!readSized(*connection, req, rest, buffer)) {
            return;
        }

        const HttpReply reply = m_handler(req);
        if (reply.drop)
            return;
        std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " + statusText(reply.status) + "\r\n";
        if (reply.status == 407)
            out += "Proxy-Authenticate: Basic realm=\"testbroker\"\r\n";
        out += "Content-Type: " + reply.contentType + "\r\nContent-Length: " + std::to_string(reply.body.size())
            + "\r\nConnection: keep-alive\r\n\r\n";
        if (reply.cutAfter >= 0 && static_cast<size_t>(reply.cutAfter) < reply.body.size()) {
            // A body cut short: the client must see a broken transfer, not a reply.
            out.append(reply.body, 0, static_cast<size_t>(reply.cutAfter));
            connection->writeAll(out);
            return;
        }
        out += reply.body;
        if (!connection->writeAll(out))
            return;
        if (http_server_detail::lower(req.header("Connection")) == "close")
            return;
    }
}

} // namespace tb
