#pragma once
// A small HTTP/1.1 server for the broker's endpoints: keep-alive, bodies by
// Content-Length, a handler per request, and raw routes that take over the
// connection after the request head (the feed's open-ended replies).
#include "TcpListener.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tb {

struct HttpRequest {
    std::string method;
    std::string target;   // as sent
    std::string path;     // target up to '?'
    std::string query;    // after '?', %XX decoded (the terminal sends '|' raw or escaped)
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string peer;
    std::string header(const std::string& name) const; // case-insensitive; empty when absent
};

struct HttpReply {
    int status = 200;
    std::string body;
    std::string contentType = "text/plain";
    bool drop = false; // close the connection without any reply
    long cutAfter = -1; // >= 0: announce the whole body, send this many bytes of it, then close
};

class HttpServer {
public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;
    // Gets the connection, the parsed head (body empty) and the bytes already read past the head.
    using RawHandler = std::function<void(const std::shared_ptr<Connection>&, const HttpRequest&, std::string)>;

    explicit HttpServer(Handler handler);
    ~HttpServer();

    void addRawRoute(const std::string& path, RawHandler handler);
    bool listen(const std::string& host, uint16_t port, SSL_CTX* tls = nullptr);
    uint16_t port() const { return m_listener.port(); }
    void stop();

    static std::string statusText(int status);

private:
    void serve(const std::shared_ptr<Connection>& connection);
    static bool readSized(Connection& connection, HttpRequest& req, std::string& rest, std::string& buffer);
    static bool readChunked(Connection& connection, std::string& rest, std::string& body);

    Handler m_handler;
    std::map<std::string, RawHandler> m_raw; // set before listen(), read-only afterwards
    TcpListener m_listener;
};

// Reads from the connection until `needle` appears in `buffer` (or maxBytes);
// false on close or overflow.
bool readUntil(Connection& connection, std::string& buffer, std::string_view needle, size_t maxBytes);

} // namespace tb
