#include "pf/threads.h"

#include "pf/log.h"
#include "pf/ui_guard.h"

#include <sched.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <system_error>

namespace pf {
namespace {
std::atomic<void (*)()> g_threadStartHook{nullptr};
} // namespace

unsigned usableCpus()
{
    // A mask big enough for any machine this runs on; the call fails (and the
    // machine's count is taken) only where the mask would not fit.
    constexpr int kMaxCpus = 4096;
    cpu_set_t* set = CPU_ALLOC(kMaxCpus);
    if (set) {
        const size_t size = CPU_ALLOC_SIZE(kMaxCpus);
        CPU_ZERO_S(size, set);
        const int count = ::sched_getaffinity(0, size, set) == 0 ? CPU_COUNT_S(size, set) : 0;
        CPU_FREE(set);
        if (count > 0)
            return static_cast<unsigned>(count);
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

void setThreadStartHook(void (*hook)())
{
    g_threadStartHook.store(hook);
}

void threadStartHook()
{
    if (auto hook = g_threadStartHook.load())
        hook();
}

bool runGuarded(std::string_view name, const std::function<void()>& body)
{
    try {
        body();
        return true;
    } catch (const std::exception& e) {
        logLine(0, "SException in " + std::string(name) + " : [" + e.what() + "]");
    } catch (...) {
        logLine(0, "Exception in " + std::string(name));
    }
    return false;
}

bool Worker::start(std::string name, std::function<void()> body)
{
    try {
        std::thread([name = std::move(name), body = std::move(body)] {
            threadStartHook();
            runGuarded(name, body);
        }).detach();
        return true;
    } catch (const std::system_error& e) {
        logLine(0, "Worker: cannot start a thread: " + std::string(e.what()));
        return false;
    }
}

HandlerPool::HandlerPool(int threads, bool inlineForTests, std::string name)
    : m_name(std::move(name)), m_inline(inlineForTests)
{
    if (m_inline)
        return;
    const int count = threads < 1 ? 1 : threads;
    for (int i = 0; i < count; ++i)
        m_lanes.push_back(std::make_unique<Lane>());
    for (auto& lane : m_lanes) {
        Lane* l = lane.get();
        l->thread = std::thread([this, l] {
            threadStartHook();
            runLane(*l);
        });
    }
}

HandlerPool::~HandlerPool()
{
    stop();
}

bool HandlerPool::post(uint64_t key, std::function<void()> task, const char* name)
{
    return enqueue(key, Task{std::move(task), name, false});
}

bool HandlerPool::postBatched(uint64_t key, std::function<void()> task, const char* name)
{
    return enqueue(key, Task{std::move(task), name, true});
}

bool HandlerPool::enqueue(uint64_t key, Task t)
{
    if (m_inline) {
        std::unique_lock lock(m_countMutex);
        if (m_stopped)
            return false;
        ++m_pending;
        m_inlineQueue.push_back(std::move(t));
        if (m_inlineRunning)
            return true; // the running caller picks it up after its task
        m_inlineRunning = true;
        while (!m_inlineQueue.empty()) {
            Task next = std::move(m_inlineQueue.front());
            m_inlineQueue.pop_front();
            lock.unlock();
            runTask(next);
            finished();
            lock.lock();
        }
        m_inlineRunning = false;
        return true;
    }

    {
        std::lock_guard lock(m_countMutex);
        if (m_stopped)
            return false;
        ++m_pending;
    }
    Lane& lane = *m_lanes[key % m_lanes.size()];
    bool wake = true;
    {
        std::lock_guard lock(lane.mutex);
        // A lingering lane looks at its queue within kBatchWait anyway.
        wake = !(t.batched && lane.lingering);
        lane.queue.push_back(std::move(t));
    }
    if (wake)
        lane.wake.notify_one();
    return true;
}

void HandlerPool::runLane(Lane& lane)
{
    for (;;) {
        Task task;
        {
            std::unique_lock lock(lane.mutex);
            const auto ready = [&] { return lane.stopping || !lane.queue.empty(); };
            if (lane.lingering && !lane.wake.wait_for(lock, kBatchWait, ready))
                lane.lingering = false; // from here a batched task wakes it
            lane.wake.wait(lock, ready);
            if (lane.queue.empty())
                return; // stopping, and nothing left to run
            task = std::move(lane.queue.front());
            lane.queue.pop_front();
            if (task.batched)
                lane.lingering = true;
        }
        runTask(task);
        finished();
    }
}

void HandlerPool::runTask(const Task& task)
{
    runGuarded(task.name ? std::string_view(task.name) : std::string_view(m_name), task.fn);
}

void HandlerPool::finished()
{
    std::lock_guard lock(m_countMutex);
    if (--m_pending == 0)
        m_idle.notify_all();
}

bool HandlerPool::idle() const
{
    std::lock_guard lock(m_countMutex);
    return m_pending == 0;
}

void HandlerPool::drain()
{
    drainAs(m_name + " drained");
}

void HandlerPool::drainAs(const std::string& what)
{
    // The UI thread waiting here does not serve events: the guard hears of
    // a lane that is, or goes, on the network meanwhile.
    std::deque<uiguard::WaitFor> waits;
    if (uiguard::onUiThread())
        for (auto& lane : m_lanes)
            waits.emplace_back(lane->thread.get_id(), what, std::source_location::current());
    std::unique_lock lock(m_countMutex);
    m_idle.wait(lock, [&] { return m_pending == 0; });
}

void HandlerPool::stop()
{
    std::lock_guard stopLock(m_stopMutex);
    {
        std::lock_guard lock(m_countMutex);
        m_stopped = true;
    }
    // From here posts are refused (from running tasks too); what is queued
    // still runs before the lanes end.
    drainAs(m_name + " stopped");
    for (auto& lane : m_lanes) {
        {
            std::lock_guard lock(lane->mutex);
            lane->stopping = true;
        }
        lane->wake.notify_one();
    }
    for (auto& lane : m_lanes)
        uiguard::join(lane->thread, m_name + " stopped");
}

void StartGate::open()
{
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
    }
    m_opened.notify_all();
}

bool StartGate::isOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_open;
}

bool StartGate::wait(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    if (timeoutMs < 0) {
        m_opened.wait(lock, [&] { return m_open; });
        return true;
    }
    return m_opened.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_open; });
}

} // namespace pf
