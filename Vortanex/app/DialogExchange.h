#pragma once
// One server exchange at a time for a dialog, on a thread of its own, so the
// window never waits on the network: the dialog shows that it is busy, a
// cancel ends the exchange at once and drops its late result, and the result
// is handled back on the UI thread. Boxes the exchange shows meanwhile are
// shown on the UI thread (the prompter asks there). UI thread, except the
// work, which runs on the exchange thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

class ExchangeCancel;

class DialogExchange {
public:
    // busy(true) as an exchange starts, busy(false) as it ends or is
    // cancelled, before its result is handled; on the UI thread.
    explicit DialogExchange(std::function<void(bool)> busy);
    // Cancels a running exchange, serves the UI thread until its thread has
    // ended (it may be waiting for a box), and collects it.
    ~DialogExchange();
    DialogExchange(const DialogExchange&) = delete;
    DialogExchange& operator=(const DialogExchange&) = delete;

    // Runs work on the exchange thread; then done on the UI thread unless the
    // exchange was cancelled (or this object is gone). A done may start the
    // next exchange. False when no thread could be started (nothing runs).
    bool run(std::function<void(ExchangeCancel&)> work, std::function<void()> done);
    // Ends the running exchange now; its result is dropped. No-op when idle.
    void cancel();
    bool busy() const { return m_busy; }

private:
    void collect();

    std::function<void(bool)> m_busyChanged;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0); // posted results check it
    std::thread m_thread;
    std::shared_ptr<std::atomic<bool>> m_threadDone = std::make_shared<std::atomic<bool>>(true);
    std::shared_ptr<ExchangeCancel> m_cancel;
    bool m_busy = false;
    uint64_t m_id = 0; // a result for another id is dropped
};
