#include "pf/http_call.h"

#include "pf/ui_guard.h"

#include <curl/curl.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace pf {

namespace http_call_detail {

// Received body bytes held before the transfer is paused until the caller
// reads; bounds the memory of a fast stream that is read slowly.
constexpr size_t kBufferCap = 256 * 1024;
// Longest wait inside one poll, so that a missed wake-up costs at most this.
constexpr int kPollMillis = 1000;

int mapCurlError(CURLcode rc)
{
    switch (rc) {
    case CURLE_OPERATION_TIMEDOUT:
        return HttpCall::ErrTimeout;
    case CURLE_URL_MALFORMAT:
        return HttpCall::ErrBadUrl;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return HttpCall::ErrNameNotResolved;
    case CURLE_ABORTED_BY_CALLBACK:
        return HttpCall::ErrCancelled;
    case CURLE_COULDNT_CONNECT:
        return HttpCall::ErrCannotConnect;
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return HttpCall::ErrConnectionAborted;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        return HttpCall::ErrConnectionReset;
    case CURLE_PEER_FAILED_VERIFICATION:
        return HttpCall::ErrSecureFailure;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        return HttpCall::ErrSecureChannel;
    default:
        return HttpCall::ErrInvalidResponse;
    }
}

} // namespace http_call_detail

HttpCall::HttpCall(HttpSession& session) : m_session(session)
{
    // Created up front so that cancel() always has a handle to wake.
    m_multi = curl_multi_init();
}

HttpCall::~HttpCall()
{
    close();
    if (m_multi)
        curl_multi_cleanup(static_cast<CURLM*>(m_multi));
}

void HttpCall::setProxyCredentials(std::string user, std::string password)
{
    m_proxyUser = std::move(user);
    m_proxyPassword = std::move(password);
}

const char* HttpCall::errorMessage(int error)
{
    switch (error) {
    case 0:
        return "";
    case ErrTimeout:
        return "The operation timed out";
    case ErrBadUrl:
        return "The URL is invalid";
    case ErrNameNotResolved:
        return "The server name could not be resolved";
    case ErrCancelled:
        return "The operation was cancelled";
    case ErrCannotConnect:
        return "A connection with the server could not be established";
    case ErrConnectionAborted:
        return "The connection with the server was terminated abnormally";
    case ErrConnectionReset:
        return "The connection with the server was reset";
    case ErrSecureChannel:
        return "An error occurred in the secure channel";
    case ErrSecureFailure:
        return "The server's certificate could not be verified";
    default:
        return "The server returned an invalid or unrecognized response";
    }
}

std::string HttpCall::errorText() const
{
    if (m_error == 0)
        return {};
    std::string text = errorMessage(m_error);
    if (!m_errorDetail.empty())
        text += " (" + m_errorDetail + ")";
    return text;
}

void HttpCall::failWith(int error, std::string detail)
{
    if (m_error == 0) {
        m_error = error;
        m_errorDetail = std::move(detail);
    }
}

size_t HttpCall::onHeader(char* data, size_t size, size_t count, void* self)
{
    auto* call = static_cast<HttpCall*>(self);
    const size_t length = size * count;
    const std::string_view line(data, length);
    if (line == "\r\n" || line == "\n") {
        // The end of one header block. A block without a status of its own is
        // a proxy's tunnel answer; 1xx blocks are interim. A 407 may be
        // followed by another block when libcurl answers the proxy's
        // challenge, so it counts only once its body starts or the transfer
        // ends.
        long code = 0;
        curl_easy_getinfo(static_cast<CURL*>(call->m_easy), CURLINFO_RESPONSE_CODE, &code);
        if (code >= 200 && !(code == 407 && !call->m_proxyUser.empty()))
            call->m_headersDone = true;
    }
    return length;
}

size_t HttpCall::onWrite(char* data, size_t size, size_t count, void* self)
{
    auto* call = static_cast<HttpCall*>(self);
    const size_t length = size * count;
    if (call->m_bufferPos == call->m_buffer.size()) {
        call->m_buffer.clear();
        call->m_bufferPos = 0;
    }
    if (call->m_buffer.size() - call->m_bufferPos >= http_call_detail::kBufferCap) {
        call->m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    call->m_buffer.append(data, length);
    call->m_headersDone = true;
    return length;
}

int HttpCall::onProgress(void* self, long long, long long, long long, long long)
{
    return static_cast<HttpCall*>(self)->m_cancelled.load() ? 1 : 0;
}

int HttpCall::send(std::string_view verb, std::string_view host, int port, std::string_view path,
                   std::string_view data, std::source_location where)
{
    const uiguard::Section onNetwork(uiguard::Kind::Network,
                                     "HTTP " + std::string(verb) + " " + std::string(host) + std::string(path), where);
    close();
    m_error = 0;
    m_errorDetail.clear();
    m_headersDone = m_done = m_paused = false;
    m_buffer.clear();
    m_bufferPos = 0;
    if (!m_multi) {
        failWith(ErrInvalidResponse, "no transfer handle");
        return m_error;
    }
    if (m_cancelled.load()) {
        failWith(ErrCancelled, {});
        return m_error;
    }

    const bool isGet = verb == "GET";
    std::string object(path);
    if (object.empty() || object.front() != '/')
        object.insert(object.begin(), '/');
    if (isGet && !data.empty()) {
        object += '?';
        object += data;
    }
    m_url = std::string(port == 443 ? "https://" : "http://") + std::string(host) + ':' + std::to_string(port)
            + object;

    const std::string slotKey = std::string(host) + ':' + std::to_string(port);
    if (!m_session.acquireSlot(slotKey, m_cancelled)) {
        failWith(ErrCancelled, {});
        return m_error;
    }
    m_slotKey = slotKey;
    {
        std::lock_guard lock(m_socketMutex);
        m_connected = false;
    }

    CURL* easy = curl_easy_init();
    if (!easy) {
        failWith(ErrInvalidResponse, "no transfer handle");
        close();
        return m_error;
    }
    m_easy = easy;
    const HttpSession::Settings settings = m_session.settings();

    m_curlError[0] = '\0';
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, m_curlError);
    curl_easy_setopt(easy, CURLOPT_URL, m_url.c_str());
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_USERAGENT, HttpSession::kUserAgent);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(HttpSession::kTimeoutSeconds) * 1000);
    // Idle time-out: less than one byte a second for 90 s ends the exchange.
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, long(HttpSession::kTimeoutSeconds));
    curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
    if (m_session.shareHandle())
        curl_easy_setopt(easy, CURLOPT_SHARE, static_cast<CURLSH*>(m_session.shareHandle()));

    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, settings.verifyPeer ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, settings.verifyPeer ? 2L : 0L);
    if (!settings.caFile.empty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, settings.caFile.c_str());
    if (settings.proxy)
        curl_easy_setopt(easy, CURLOPT_PROXY, settings.proxy->c_str());
    m_wrapped.store(port == 443 || (settings.proxy && !settings.proxy->empty()));
    // The sockets are opened and closed here so that sendOnConnection knows
    // which one is live and never writes to a closed (or reused) number.
    curl_opensocket_callback openSocket = [](void* self, curlsocktype purpose, curl_sockaddr* address) {
        return curl_socket_t(HttpCall::onOpenSocket(self, int(purpose), address));
    };
    curl_closesocket_callback closeSocket = [](void* self, curl_socket_t socket) {
        return HttpCall::onCloseSocket(self, int(socket));
    };
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, openSocket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, closeSocket);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this);
    if (!m_proxyUser.empty()) {
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, m_proxyUser.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, m_proxyPassword.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYAUTH, long(CURLAUTH_ANY));
    }
    curl_slist* connectTo = nullptr;
    for (const std::string& entry : settings.connectTo)
        connectTo = curl_slist_append(connectTo, entry.c_str());
    m_connectToList = connectTo;
    if (connectTo)
        curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo);

    // Only what the request itself needs travels: no content type, no
    // "Expect: 100-continue", no accept list.
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Content-Type:");
    headers = curl_slist_append(headers, "Expect:");
    headers = curl_slist_append(headers, "Accept:");
    m_headerList = headers;
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);

    if (isGet) {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else {
        // The text's terminating NUL is part of the body the servers expect.
        m_body.assign(data);
        m_body.push_back('\0');
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, m_body.data());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(m_body.size()));
        if (verb != "POST")
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, std::string(verb).c_str());
    }

    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &HttpCall::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HttpCall::onWrite);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &HttpCall::onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);

    if (curl_multi_add_handle(static_cast<CURLM*>(m_multi), easy) != CURLM_OK) {
        failWith(ErrInvalidResponse, "cannot start the transfer");
        close();
        return m_error;
    }

    drive([this] { return m_headersDone; });

    long code = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
    if (m_headersDone && !m_done) {
        std::lock_guard lock(m_socketMutex);
        m_connected = true;
    }
    if (m_headersDone || (m_done && m_error == 0 && code > 0))
        return int(code);
    long connectCode = 0;
    curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &connectCode);
    if (connectCode == 407)
        return 407;
    if (m_error == 0)
        failWith(ErrInvalidResponse, "no response");
    return m_error;
}

template <typename Ready> void HttpCall::drive(Ready ready)
{
    auto* multi = static_cast<CURLM*>(m_multi);
    while (!m_done) {
        if (m_cancelled.load()) {
            failWith(ErrCancelled, {});
            m_done = true;
            break;
        }
        int running = 0;
        const CURLMcode mc = curl_multi_perform(multi, &running);
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
            if (msg->msg == CURLMSG_DONE)
                finish(msg->data.result);
        }
        if (mc != CURLM_OK && !m_done) {
            failWith(ErrInvalidResponse, curl_multi_strerror(mc));
            m_done = true;
        }
        if (m_done || ready())
            break;
        curl_multi_poll(multi, nullptr, 0, http_call_detail::kPollMillis, nullptr);
    }
}

void HttpCall::finish(int curlResult)
{
    m_done = true;
    const auto rc = static_cast<CURLcode>(curlResult);
    if (rc == CURLE_OK)
        return;
    if (rc == CURLE_ABORTED_BY_CALLBACK && m_cancelled.load())
        failWith(ErrCancelled, {});
    else
        failWith(http_call_detail::mapCurlError(rc), m_curlError[0] ? std::string(m_curlError) : curl_easy_strerror(rc));
}

long HttpCall::read(char* buffer, size_t size)
{
    const uiguard::Section onNetwork(uiguard::Kind::Network, "HTTP read");
    if (!m_easy || size == 0)
        return -1;
    for (;;) {
        if (m_bufferPos < m_buffer.size()) {
            const size_t n = std::min(size, m_buffer.size() - m_bufferPos);
            std::memcpy(buffer, m_buffer.data() + m_bufferPos, n);
            m_bufferPos += n;
            return long(n);
        }
        if (m_done)
            return -1;
        if (m_paused) {
            m_paused = false;
            // May deliver held bytes at once through onWrite.
            curl_easy_pause(static_cast<CURL*>(m_easy), CURLPAUSE_CONT);
            if (m_bufferPos < m_buffer.size())
                continue;
        }
        drive([this] { return m_bufferPos < m_buffer.size() || m_paused; });
    }
}

void HttpCall::cancel()
{
    m_cancelled.store(true);
    if (m_multi)
        curl_multi_wakeup(static_cast<CURLM*>(m_multi));
    m_session.wakeSlotWaiters();
}

int HttpCall::activeSocket() const
{
    std::lock_guard lock(m_socketMutex);
    // Only one socket is left once a connection is made.
    if (!m_connected || m_sockets.size() != 1)
        return -1;
    return m_sockets.front();
}

bool HttpCall::sendOnConnection(std::string_view bytes)
{
    if (m_wrapped.load())
        return false;
    std::lock_guard lock(m_socketMutex);
    if (!m_connected || m_sockets.size() != 1)
        return false;
    const int fd = m_sockets.front();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, int(std::min<long long>(left.count(), 1000)));
            continue;
        }
        return false;
    }
    return true;
}

int HttpCall::onOpenSocket(void* self, int purpose, void* address)
{
    (void)purpose;
    auto* call = static_cast<HttpCall*>(self);
    const auto* a = static_cast<const curl_sockaddr*>(address);
    const int fd = ::socket(a->family, a->socktype | SOCK_CLOEXEC, a->protocol);
    if (fd < 0)
        return int(CURL_SOCKET_BAD);
    std::lock_guard lock(call->m_socketMutex);
    call->m_sockets.push_back(fd);
    return fd;
}

int HttpCall::onCloseSocket(void* self, int socket)
{
    auto* call = static_cast<HttpCall*>(self);
    // Closed under the lock: a write in progress finishes first, and none
    // starts on the number once it may be reused.
    std::lock_guard lock(call->m_socketMutex);
    call->m_sockets.erase(std::remove(call->m_sockets.begin(), call->m_sockets.end(), socket), call->m_sockets.end());
    return ::close(socket);
}

void HttpCall::close()
{
    {
        std::lock_guard lock(m_socketMutex);
        m_connected = false;
    }
    if (m_easy) {
        curl_multi_remove_handle(static_cast<CURLM*>(m_multi), static_cast<CURL*>(m_easy));
        curl_easy_cleanup(static_cast<CURL*>(m_easy));
        m_easy = nullptr;
    }
    curl_slist_free_all(static_cast<curl_slist*>(m_headerList));
    m_headerList = nullptr;
    curl_slist_free_all(static_cast<curl_slist*>(m_connectToList));
    m_connectToList = nullptr;
    if (!m_slotKey.empty()) {
        m_session.releaseSlot(m_slotKey);
        m_slotKey.clear();
    }
}

} // namespace pf
