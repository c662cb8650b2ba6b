#include "app/DialogExchange.h"

#include "app/base/LogWriter.h"
#include "app/base/SeException.h"
#include "server/ExchangeCancel.h"

#include "pf/ui_guard.h"
#include "ui/ui_thread.h"

#include <system_error>

namespace {
// A cancelled exchange ends at once; only a box it shows is waited for.
constexpr int kCollectMs = 10 * 60 * 1000;
} // namespace

DialogExchange::DialogExchange(std::function<void(bool)> busy) : m_busyChanged(std::move(busy)) {}

DialogExchange::~DialogExchange()
{
    if (m_cancel)
        m_cancel->cancel();
    m_alive.reset(); // a result still on its way finds nobody
    collect();
}

void DialogExchange::collect()
{
    if (!m_thread.joinable())
        return;
    // The thread refers to this object: it is joined even past the bound.
    const auto done = m_threadDone;
    ui::UiThread::waitForWorker("a dialog's exchange", [done] { return done->load(); }, kCollectMs);
    pf::uiguard::join(m_thread, "a dialog's exchange");
}

bool DialogExchange::run(std::function<void(ExchangeCancel&)> work, std::function<void()> done)
{
    m_busy = true;
    if (m_busyChanged)
        m_busyChanged(true);
    // A cancelled exchange may still be ending: its request is cut short at
    // once, but a box it asked for must be served first.
    collect();
    const uint64_t id = ++m_id;
    auto cancel = std::make_shared<ExchangeCancel>();
    m_cancel = cancel;
    m_threadDone->store(false);
    std::weak_ptr<int> alive = m_alive;
    try {
        m_thread = std::thread([this, alive, id, cancel, threadDone = m_threadDone, work = std::move(work),
                                done = std::move(done)] {
            try {
                work(*cancel);
            } catch (...) {
                LogCaught("Dialog exchange");
            }
            // Back to the UI thread; an exchange cancelled, or a dialog gone
            // meanwhile, drops the result.
            ui::UiThread::post([this, alive, id, done] {
                if (alive.expired() || m_id != id || !m_busy)
                    return;
                m_busy = false;
                if (m_busyChanged)
                    m_busyChanged(false);
                try {
                    done();
                } catch (...) {
                    LogCaught("Dialog exchange result");
                }
            });
            threadDone->store(true);
        });
    } catch (const std::system_error& e) {
        WriteLog(0, std::string("A dialog could not start its exchange: ") + e.what());
        m_threadDone->store(true);
        m_busy = false;
        if (m_busyChanged)
            m_busyChanged(false);
        return false;
    }
    return true;
}

void DialogExchange::cancel()
{
    if (!m_busy)
        return;
    WriteLog(0, "Exchange cancelled by the user");
    if (m_cancel)
        m_cancel->cancel();
    ++m_id; // its late result is dropped
    m_busy = false;
    if (m_busyChanged)
        m_busyChanged(false);
}
