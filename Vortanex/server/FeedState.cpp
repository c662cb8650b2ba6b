#include "server/FeedState.h"

namespace feed_state_detail {
std::atomic<short> g_loggedIn{0};
} // namespace feed_state_detail

bool IsLoggedIn()
{
    return feed_state_detail::g_loggedIn.load() == 1;
}

void SetLoggedIn(bool on)
{
    feed_state_detail::g_loggedIn.store(on ? 1 : 0);
}

FeedState& FeedState::instance()
{
    static FeedState state;
    return state;
}

void FeedState::setServer(const std::string& host, int port)
{
    std::lock_guard lock(m_mutex);
    m_host = host.substr(0, 63);
    m_port = port;
}

std::string FeedState::serverHost() const
{
    std::lock_guard lock(m_mutex);
    return m_host;
}

int FeedState::serverPort() const
{
    std::lock_guard lock(m_mutex);
    return m_port;
}

void FeedState::reset()
{
    m_running.store(0);
    m_slot.store(-1);
    m_lastPacket.store(0);
    m_lastHeartbeat.store(0);
    std::lock_guard lock(m_mutex);
    m_host.clear();
    m_port = 0;
}
