#pragma once
// Threads of the terminal: named detached workers, the keyed handler pool for
// feed messages, and the small synchronisation pieces the handlers share.
// Every thread body and pool task runs inside one guard: an escaping C++
// exception is logged ("SException in <name> : [<text>]" or "Exception in
// <name>") and the thread goes on or ends quietly instead of terminating the
// process. Faults are not exceptions here; the crash guard handles those.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace pf {

// Critical sections of the terminal are re-entrant: a handler holding one may
// show a box whose nested loop calls the same handler again.
using ReentrantLock = std::recursive_mutex;

// The processors the calling thread may run on (its affinity, which a pin
// such as `taskset -c 0,1` or a container's limit sets), at least one: the
// count that work split over threads follows. hardware_concurrency() counts
// every processor of the machine, so under a two-core pin it would start
// eight threads to share two.
unsigned usableCpus();

// A function every thread of the layer runs first (the crash guard installs
// its alternate signal stack with it). Set once at start-up, before threads.
void setThreadStartHook(void (*hook)());
// Runs the installed hook, if any, on the calling thread.
void threadStartHook();

// Runs body under the guard described above; true when it returned normally.
bool runGuarded(std::string_view name, const std::function<void()>& body);

class Worker {
public:
    // Starts body on a new detached thread named name (the name appears in
    // the guard's log lines). False, with a log line, when no thread could be
    // created.
    static bool start(std::string name, std::function<void()> body);
};

// Tasks posted under one key run one at a time in posting order; tasks of
// different keys may run in parallel. A key always lands on the same thread
// (key modulo the thread count), so consecutive keys spread evenly.
class HandlerPool {
public:
    // inlineForTests: no threads; post runs the task on the caller's thread
    // (a task posted from inside a task runs after it, keeping the order).
    explicit HandlerPool(int threads, bool inlineForTests = false, std::string name = "HandlerPool");
    HandlerPool(const HandlerPool&) = delete;
    HandlerPool& operator=(const HandlerPool&) = delete;
    // Finishes the queued tasks and joins (stop()).
    ~HandlerPool();

    // name: the task's name in the guard's log lines (the pool's when null).
    // False, and the task dropped, once the pool is stopped.
    bool post(uint64_t key, std::function<void()> task, const char* name = nullptr);
    // The same for a task that may wait a little (at most kBatchWait, and
    // only behind tasks of its lane): a lane that ran such a task stays
    // ready for kBatchWait more and takes the ones posted meanwhile without
    // being woken, one wake for a burst of them. Waking a sleeping thread
    // costs both threads tens of microseconds of processor time on some
    // machines; a task posted when the lane is asleep still wakes it.
    bool postBatched(uint64_t key, std::function<void()> task, const char* name = nullptr);
    static constexpr std::chrono::milliseconds kBatchWait{10};
    // True when every task posted so far has run (a UI-thread wait polls it).
    bool idle() const;
    // Waits until every task posted so far (and any they posted) has run.
    // Not from inside a task: it would wait for itself.
    void drain();
    // Refuses further posts, runs what is queued and joins the threads.
    void stop();

private:
    struct Task {
        std::function<void()> fn;
        const char* name;
        bool batched = false;
    };
    struct Lane {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<Task> queue; // guarded by mutex
        bool stopping = false;  // guarded by mutex
        // It ran a batched task and looks at its queue again within
        // kBatchWait without being woken.
        bool lingering = false; // guarded by mutex
        std::thread thread;
    };

    bool enqueue(uint64_t key, Task task);

    void drainAs(const std::string& what);
    void runLane(Lane& lane);
    void runTask(const Task& task);
    void finished();

    const std::string m_name;
    const bool m_inline;
    std::vector<std::unique_ptr<Lane>> m_lanes;

    mutable std::mutex m_countMutex;
    std::condition_variable m_idle;
    uint64_t m_pending = 0;      // guarded by m_countMutex; posted but not finished
    bool m_stopped = false;      // guarded by m_countMutex
    std::deque<Task> m_inlineQueue; // guarded by m_countMutex
    bool m_inlineRunning = false;   // guarded by m_countMutex
    std::mutex m_stopMutex;      // serialises stop() callers
};

// A one-shot gate: threads wait until someone opens it.
class StartGate {
public:
    void open();
    bool isOpen() const;
    // True when open within timeoutMs (a negative timeout waits without end).
    bool wait(int timeoutMs);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_open = false; // guarded by m_mutex
};

// An int shared between threads (running, busy and display flags).
class SharedFlag {
public:
    explicit SharedFlag(int value = 0) : m_value(value) {}
    int get() const { return m_value.load(); }
    void set(int value) { m_value.store(value); }
    // Stores desired and returns the previous value.
    int exchange(int desired) { return m_value.exchange(desired); }
    // Stores desired only when the value is expected; true when it did.
    bool compareExchange(int expected, int desired) { return m_value.compare_exchange_strong(expected, desired); }

private:
    std::atomic<int> m_value;
};

} // namespace pf
