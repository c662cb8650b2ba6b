// A window that waits for its worker without the UI thread's wait: a plain
// join and a condition-variable wait, each named by the check.
void Plain::close()
{
    m_worker.join();
    std::unique_lock lock(m_mutex);
    m_done.wait_for(lock, std::chrono::seconds(10), [this] { return m_ended; });
    // m_worker.join() in a comment is not a wait.
}
