#include "server/ExchangeCancel.h"

void ExchangeCancel::cancel()
{
    // Under the lock: an exchange cannot detach and free itself while its
    // end function runs.
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    for (auto& [id, end] : m_ends)
        end();
}

bool ExchangeCancel::cancelled() const
{
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

int ExchangeCancel::attach(std::function<void()> end)
{
    std::lock_guard lock(m_mutex);
    if (m_cancelled)
        return 0;
    const int id = m_nextId++;
    m_ends.emplace(id, std::move(end));
    return id;
}

void ExchangeCancel::detach(int id)
{
    std::lock_guard lock(m_mutex);
    m_ends.erase(id);
}
