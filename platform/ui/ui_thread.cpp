#include "ui/ui_thread.h"

#include "pf/log.h"
#include "pf/ui_guard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <string>

namespace ui {
namespace ui_thread_detail {
namespace {

// The event-serving step of the UI thread's waits for a worker.
void pumpEvents(int ms)
{
    if (!QCoreApplication::instance() || QThread::currentThread() != QCoreApplication::instance()->thread()) {
        QThread::msleep(static_cast<unsigned long>(ms));
        return;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, ms);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QThread::msleep(1);
}

[[maybe_unused]] const bool g_pumpInstalled = (pf::uiguard::setEventPump(&pumpEvents), true);

// The receiver of all queued work: a plain object living on the UI thread.
// Posted events to one receiver are delivered in posting order, which gives
// post its FIFO guarantee. It is deleted with the application object, and Qt
// then discards (destroys, never runs) the work still queued for it.
class Anchor final : public QObject {
public:
    using QObject::QObject;
};

std::mutex g_anchorMutex;
Anchor* g_anchor = nullptr; // guarded by g_anchorMutex
bool g_closed = false;      // guarded by g_anchorMutex; set once the UI stops taking work

void dropAnchor()
{
    // Runs from the application object's destructor, on the UI thread.
    Anchor* anchor = nullptr;
    {
        std::lock_guard lock(g_anchorMutex);
        anchor = g_anchor;
        g_anchor = nullptr;
        g_closed = true;
    }
    delete anchor;
}

// The anchor for posting; null when there is no application object or it is
// shutting down. Called with g_anchorMutex held.
Anchor* anchorLocked()
{
    if (g_closed || QCoreApplication::closingDown())
        return nullptr;
    if (g_anchor)
        return g_anchor;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return nullptr;
    // Created on whichever thread posts first, then handed to the UI thread;
    // it must not have a parent for that, so the post routine deletes it.
    auto* anchor = new Anchor;
    if (anchor->thread() != app->thread())
        anchor->moveToThread(app->thread());
    g_anchor = anchor;
    qAddPostRoutine(dropAnchor);
    return g_anchor;
}

void runGuarded(const std::function<void()>& work, const char* what)
{
    try {
        work();
    } catch (const std::exception& e) {
        pf::logLine(0, std::string("SException in ") + what + " : [" + e.what() + "]");
    } catch (...) {
        pf::logLine(0, std::string("Exception in ") + what);
    }
}

// Completion of one blocking call. The queued wrapper owns a Signal; whether
// the wrapper runs or Qt destroys it unrun at shutdown, the Signal's
// destructor wakes the waiting caller, so a call never hangs.
struct Completion {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false; // guarded by mutex
    bool ran = false;      // guarded by mutex
};

class Signal {
public:
    explicit Signal(std::shared_ptr<Completion> c) : m_completion(std::move(c)) {}
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    ~Signal()
    {
        std::lock_guard lock(m_completion->mutex);
        m_completion->finished = true;
        m_completion->ran = m_ran;
        m_completion->done.notify_all();
    }
    void markRan() { m_ran = true; }

private:
    std::shared_ptr<Completion> m_completion;
    bool m_ran = false;
};

} // namespace
} // namespace ui_thread_detail

bool UiThread::isCurrent()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool UiThread::requireCurrent(const char* where)
{
    if (isCurrent())
        return true;
    pf::logLine(0, std::string(where ? where : "?") + ": called off the UI thread; ignored");
    return false;
}

bool UiThread::post(std::function<void()> work)
{
    if (!work)
        return false;
    std::lock_guard lock(ui_thread_detail::g_anchorMutex);
    ui_thread_detail::Anchor* anchor = ui_thread_detail::anchorLocked();
    if (!anchor)
        return false;
    // Posting under the lock keeps the anchor alive until the event is queued.
    return QMetaObject::invokeMethod(
        anchor, [w = std::move(work)] { ui_thread_detail::runGuarded(w, "UiThread::post"); }, Qt::QueuedConnection);
}

bool UiThread::runBlocking(const std::function<void()>& work)
{
    if (isCurrent()) {
        ui_thread_detail::runGuarded(work, "UiThread::call");
        return true;
    }
    auto completion = std::make_shared<ui_thread_detail::Completion>();
    auto signal = std::make_shared<ui_thread_detail::Signal>(completion);
    // The wrapper refers to work by reference: this thread waits below until
    // the wrapper has run or been destroyed, so work outlives every use.
    const bool queued = post([signal, &work]() mutable {
        ui_thread_detail::runGuarded(work, "UiThread::call");
        signal->markRan();
        signal.reset(); // wakes the caller now, not when Qt frees the event
    });
    signal.reset();
    if (!queued)
        return false;
    std::unique_lock lock(completion->mutex);
    completion->done.wait(lock, [&] { return completion->finished; });
    return completion->ran;
}

bool UiThread::pumpUntil(const std::function<bool()>& predicate, int timeoutMs)
{
    if (!isCurrent())
        return predicate();
    // A real-time budget on purpose: a test's manual pf::Clock does not move
    // while we wait for other threads.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (predicate())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return predicate();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(1);
    }
}

bool UiThread::waitForWorker(std::string_view what, const std::function<bool()>& done, int timeoutMs,
                             std::source_location where)
{
    return pf::uiguard::waitForWorker(what, done, timeoutMs, where);
}

bool UiThread::joinWorker(std::thread& thread, const std::function<bool()>& ended, std::string_view what,
                          int timeoutMs, std::source_location where)
{
    return pf::uiguard::joinWorker(thread, ended, what, timeoutMs, where);
}

void UiThread::close()
{
    if (!requireCurrent("UiThread::close"))
        return;
    {
        std::lock_guard lock(ui_thread_detail::g_anchorMutex);
        ui_thread_detail::g_closed = true;
    }
    discardPending();
}

void UiThread::discardPending()
{
    if (!requireCurrent("UiThread::discardPending"))
        return;
    ui_thread_detail::Anchor* anchor = nullptr;
    {
        std::lock_guard lock(ui_thread_detail::g_anchorMutex);
        anchor = ui_thread_detail::g_anchor;
    }
    // Outside the lock: destroying dropped work may post again. The anchor
    // is deleted only on this thread, so it is still alive here.
    if (anchor)
        QCoreApplication::removePostedEvents(anchor);
}

} // namespace ui
