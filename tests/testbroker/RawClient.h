#pragma once
// A loopback client for the broker's tests: plain sockets, every wait bounded,
// so that what goes over the wire is exactly what the test wrote.
#include <cstdint>
#include <string>
#include <vector>

namespace tbtest {

class RawClient {
public:
    RawClient() = default;
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connect(uint16_t port);
    bool send(const std::string& bytes);
    // Reads until `count` bytes are buffered or timeoutMs passed; returns them (may be fewer).
    std::string read(size_t count, int timeoutMs = 3000);
    // Reads until `needle` is buffered; returns everything up to and including it.
    std::string readUntil(const std::string& needle, int timeoutMs = 3000);
    // True when the peer closed within timeoutMs.
    bool waitClosed(int timeoutMs = 3000);
    void close();

private:
    bool fill(int timeoutMs);
    int m_fd = -1;
    std::string m_buffer;
};

struct HttpResult {
    int status = 0;
    std::string body;
};

// One request on a fresh connection: "POST path" with the body, or "GET target".
HttpResult httpRequest(uint16_t port, const std::string& method, const std::string& target, const std::string& body = {});
// The terminal's POST: the text plus its terminating NUL.
HttpResult postText(uint16_t port, const std::string& path, const std::string& text);

// The fields of a reply or record, empty ones kept ("a||b" is three).
std::vector<std::string> splitText(const std::string& s, char sep = '|');

// A login body of encryption type 2 for the text, under the public key in the
// PEM file (made in test_request_decoder.cpp, used by the session tests too).
std::string rsaBody(const std::string& text, const std::string& publicPemPath, int prefix = 4);

} // namespace tbtest
