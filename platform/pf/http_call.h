#pragma once
// One HTTP exchange driven on the calling thread: send() blocks until the
// response status and headers have arrived, read() blocks until body bytes or
// the end. cancel() may be called from any other thread and ends a blocked
// send() or read() promptly.
#include "pf/http_session.h"

#include <atomic>
#include <cstddef>
#include <mutex>
#include <source_location>
#include <string>
#include <string_view>
#include <vector>

namespace pf {

class HttpCall {
public:
    // Error numbers in the style of the terminal's messages (HTTP statuses are
    // below 1000, so a caller tells them apart by value).
    enum Error : int {
        ErrTimeout = 12002,
        ErrBadUrl = 12005,
        ErrNameNotResolved = 12007,
        ErrCancelled = 12017,
        ErrCannotConnect = 12029,
        ErrConnectionAborted = 12030,
        ErrConnectionReset = 12031,
        ErrInvalidResponse = 12152,
        ErrSecureChannel = 12157,
        ErrSecureFailure = 12175,
    };

    explicit HttpCall(HttpSession& session);
    ~HttpCall();
    HttpCall(const HttpCall&) = delete;
    HttpCall& operator=(const HttpCall&) = delete;

    // Credentials for an authenticating proxy ("domain\\user" names work:
    // any scheme the proxy offers is accepted). Set before send().
    void setProxyCredentials(std::string user, std::string password);

    // One request. Port 443 is HTTPS, any other port plain HTTP. A "GET"
    // requests "path?data" (the bare path when data is empty); any other verb
    // sends data and its terminating NUL as the body. No header beyond Host,
    // User-Agent and Content-Length is sent. Returns the HTTP status (407
    // included, also for a proxy refusing a tunnel) or an Error number.
    // `where` names the caller to the UI-thread guard (pf/ui_guard.h).
    int send(std::string_view verb, std::string_view host, int port, std::string_view path, std::string_view data,
             std::source_location where = std::source_location::current());

    // Up to size body bytes; blocks until some arrive. -1 at the end of the
    // body, and also on failure: failed() tells the two apart.
    long read(char* buffer, size_t size);

    // True when the exchange failed (before or after the status): a body cut
    // short, a read error, a time-out or a cancel.
    bool failed() const { return m_error != 0; }
    // The Error number of the failure, 0 when none.
    int error() const { return m_error; }
    // A one-line description of the failure (empty when none).
    std::string errorText() const;

    // Any thread: ends a blocked send() or read() with ErrCancelled.
    void cancel();

    // Any thread: the socket of the exchange's connection, -1 before it is
    // connected and after close(). For logs and for sendOnConnection.
    int activeSocket() const;
    // True when the exchange runs over TLS (port 443) or through a proxy:
    // bytes written beside the library would break the encrypted stream or
    // reach the proxy rather than the server.
    bool wrapped() const { return m_wrapped.load(); }
    // Any thread: writes bytes straight on the connection of a plain, direct
    // exchange, beside the response still being read (a stream whose server
    // takes later texts on the same connection). Runs under the connection's
    // lock, so the socket cannot be closed (and its number reused) meanwhile.
    // False when there is no connection, the exchange is wrapped(), or the
    // write failed or stalled for the time-out.
    bool sendOnConnection(std::string_view bytes);

    // Ends the exchange and frees the connection slot; idempotent.
    void close();

    // The text for an Error number.
    static const char* errorMessage(int error);

private:
    static size_t onHeader(char* data, size_t size, size_t count, void* self);
    static size_t onWrite(char* data, size_t size, size_t count, void* self);
    static int onProgress(void* self, long long, long long, long long, long long);
    static int onOpenSocket(void* self, int purpose, void* address);
    static int onCloseSocket(void* self, int socket);

    // Runs the transfer until ready() or the end; false when cancelled.
    template <typename Ready> void drive(Ready ready);
    void finish(int curlResult);
    void failWith(int error, std::string detail);

    HttpSession& m_session;
    void* m_multi = nullptr; // CURLM*
    void* m_easy = nullptr;  // CURL*
    void* m_headerList = nullptr;
    void* m_connectToList = nullptr;
    std::string m_proxyUser;
    std::string m_proxyPassword;
    std::string m_url;
    std::string m_body;
    std::string m_slotKey; // non-empty while a connection slot is held
    char m_curlError[256] = {};

    std::string m_buffer; // received body bytes not yet read
    size_t m_bufferPos = 0;
    bool m_paused = false;
    bool m_headersDone = false;
    bool m_done = false;
    int m_error = 0;
    std::string m_errorDetail;

    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_wrapped{false};

    // The sockets the library opened for this exchange and has not closed
    // yet (a losing parallel connect attempt is closed once one wins).
    mutable std::mutex m_socketMutex;
    std::vector<int> m_sockets; // guarded by m_socketMutex
    bool m_connected = false;   // guarded by m_socketMutex; true from the status to close()
};

} // namespace pf
