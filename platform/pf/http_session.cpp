#include "pf/http_session.h"

#include <curl/curl.h>

#include <array>
#include <cstdlib>

namespace pf {

namespace http_session_detail {

// One lock per kind of shared data, as libcurl asks for.
std::array<std::mutex, CURL_LOCK_DATA_LAST> g_shareLocks;

void lockShare(CURL*, curl_lock_data data, curl_lock_access, void*)
{
    g_shareLocks[size_t(data) % g_shareLocks.size()].lock();
}

void unlockShare(CURL*, curl_lock_data data, void*)
{
    g_shareLocks[size_t(data) % g_shareLocks.size()].unlock();
}

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace http_session_detail

HttpSession::HttpSession() : m_maxHostConnections(kDefaultMaxHostConnections)
{
    http_session_detail::globalInit();
    CURLSH* share = curl_share_init();
    if (share) {
        curl_share_setopt(share, CURLSHOPT_LOCKFUNC, http_session_detail::lockShare);
        curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, http_session_detail::unlockShare);
        // Connections themselves are not shared: libcurl does not support one
        // connection cache used by several threads at once.
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }
    m_share = share;
    if (const char* env = std::getenv(kConnectToVariable))
        m_settings.connectTo = parseConnectTo(env);
}

HttpSession::~HttpSession()
{
    if (m_share)
        curl_share_cleanup(static_cast<CURLSH*>(m_share));
}

void HttpSession::setMaxHostConnections(int count)
{
    {
        std::lock_guard lock(m_mutex);
        m_maxHostConnections = count < 1 ? 1 : count;
    }
    m_slotFreed.notify_all();
}

int HttpSession::maxHostConnections() const
{
    std::lock_guard lock(m_mutex);
    return m_maxHostConnections;
}

void HttpSession::setVerifyPeer(bool verify)
{
    std::lock_guard lock(m_mutex);
    m_settings.verifyPeer = verify;
}

void HttpSession::setCaFile(std::string path)
{
    std::lock_guard lock(m_mutex);
    m_settings.caFile = std::move(path);
}

void HttpSession::setProxy(std::optional<std::string> proxy)
{
    std::lock_guard lock(m_mutex);
    m_settings.proxy = std::move(proxy);
}

void HttpSession::setConnectTo(std::vector<std::string> entries)
{
    std::lock_guard lock(m_mutex);
    m_settings.connectTo = std::move(entries);
}

HttpSession::Settings HttpSession::settings() const
{
    std::lock_guard lock(m_mutex);
    return m_settings;
}

std::vector<std::string> HttpSession::parseConnectTo(std::string_view text)
{
    std::vector<std::string> entries;
    while (!text.empty()) {
        const size_t comma = text.find(',');
        std::string_view entry = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t'))
            entry.remove_prefix(1);
        while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t'))
            entry.remove_suffix(1);
        // host:port:host:port, each field present and the ports numeric.
        std::array<std::string_view, 4> fields;
        size_t count = 0;
        std::string_view rest = entry;
        bool ok = true;
        while (ok) {
            const size_t colon = rest.find(':');
            if (count == fields.size()) {
                ok = false;
                break;
            }
            fields[count++] = rest.substr(0, colon);
            if (colon == std::string_view::npos)
                break;
            rest = rest.substr(colon + 1);
        }
        if (!ok || count != 4 || fields[0].empty() || fields[2].empty())
            continue;
        for (const size_t port : {size_t(1), size_t(3)}) {
            if (fields[port].empty() || fields[port].size() > 5
                || fields[port].find_first_not_of("0123456789") != std::string_view::npos)
                ok = false;
        }
        if (ok)
            entries.emplace_back(entry);
    }
    return entries;
}

bool HttpSession::acquireSlot(const std::string& key, const std::atomic<bool>& cancelled)
{
    std::unique_lock lock(m_mutex);
    m_slotFreed.wait(lock, [&] { return cancelled.load() || m_openSlots[key] < m_maxHostConnections; });
    if (cancelled.load())
        return false;
    ++m_openSlots[key];
    return true;
}

void HttpSession::releaseSlot(const std::string& key)
{
    {
        std::lock_guard lock(m_mutex);
        auto it = m_openSlots.find(key);
        if (it != m_openSlots.end() && --it->second <= 0)
            m_openSlots.erase(it);
    }
    m_slotFreed.notify_all();
}

void HttpSession::wakeSlotWaiters()
{
    // Taking the lock orders the wake-up after a waiter's check of its flag.
    { std::lock_guard lock(m_mutex); }
    m_slotFreed.notify_all();
}

} // namespace pf
