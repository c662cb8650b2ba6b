#pragma once
// Lets one thread end the HTTP exchanges that another thread makes for one
// task: the exchange attaches the way it is ended, cancel() ends every
// attached exchange and refuses those that would start after it. A feed stop
// uses it so that a subscription stuck on a silent server does not hold up
// the exit.
#include <functional>
#include <map>
#include <mutex>

class ExchangeCancel {
public:
    // Any thread: ends the attached exchanges; later attach() calls refuse.
    void cancel();
    bool cancelled() const;
    // The exchange's way to end itself early; `end` is called from cancel()
    // on the cancelling thread and must return at once. The id for detach(),
    // or 0 when the task is already cancelled (the exchange must not start).
    int attach(std::function<void()> end);
    // Before the exchange's objects go: cancel() no longer reaches them.
    void detach(int id);

private:
    mutable std::mutex m_mutex;
    bool m_cancelled = false;                    // guarded by m_mutex
    int m_nextId = 1;                            // guarded by m_mutex
    std::map<int, std::function<void()>> m_ends; // guarded by m_mutex
};
