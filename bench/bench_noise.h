#pragma once
// The machine's own noise in the same run: a thread that does nothing but
// read the clock in a bare loop. A gap between two of its readings is time
// the host took the CPU away (another process, the hypervisor), never work of
// the program; a stall of the UI thread that falls in such a gap is the host's.
// The loop must not share a processor with the threads it judges: there it
// would take their time, and a gap where one of them ran instead would pass
// for a host pause and hide the program's own delay. MeterPlacement gives it
// a processor of its own.
#include "bench_timing.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace benchtiming {

// Where the meter runs and where the program's threads stay. With three or
// more processors allowed, the meter takes the last of them and the program
// the rest; with fewer (a pin to two cores: the program keeps both), the
// meter takes a processor of the machine outside the pin. apply() pins the
// calling thread to the program's processors: call it first in main, so that
// every thread started later inherits them.
struct MeterPlacement {
    std::vector<int> program;
    int meter = -1; // -1: no processor left for it; it shares the program's

    static MeterPlacement choose()
    {
        MeterPlacement m;
        cpu_set_t allowed;
        CPU_ZERO(&allowed);
        if (sched_getaffinity(0, sizeof allowed, &allowed) != 0)
            return m;
        for (int c = 0; c < CPU_SETSIZE; ++c)
            if (CPU_ISSET(c, &allowed))
                m.program.push_back(c);
        if (m.program.size() >= 3) {
            m.meter = m.program.back();
            m.program.pop_back();
            return m;
        }
        const long online = sysconf(_SC_NPROCESSORS_ONLN);
        for (int c = int(std::min<long>(online, CPU_SETSIZE)) - 1; c >= 0 && m.meter < 0; --c)
            if (!CPU_ISSET(c, &allowed))
                m.meter = c;
        return m;
    }
    bool apply() const
    {
        if (program.empty())
            return false;
        cpu_set_t set;
        CPU_ZERO(&set);
        for (int c : program)
            CPU_SET(c, &set);
        return sched_setaffinity(0, sizeof set, &set) == 0;
    }
    std::string describe() const
    {
        std::string text = "program on processors";
        for (int c : program)
            text += " " + std::to_string(c);
        text += meter >= 0 ? "; noise meter on processor " + std::to_string(meter)
                           : "; noise meter shares them (no processor left)";
        return text;
    }
};

class NoiseMeter {
public:
    // Gaps at least this long are kept with their times (a host pause).
    explicit NoiseMeter(long long pauseNs = 5'000'000) : m_pauseNs(pauseNs) {}
    ~NoiseMeter() { stop(); }
    NoiseMeter(const NoiseMeter&) = delete;
    NoiseMeter& operator=(const NoiseMeter&) = delete;

    // cpu >= 0: the loop runs on that processor only.
    void start(int cpu = -1)
    {
        m_stop = false;
        m_thread = std::thread([this, cpu] {
            if (cpu >= 0) {
                cpu_set_t set;
                CPU_ZERO(&set);
                CPU_SET(cpu, &set);
                m_pinned = sched_setaffinity(0, sizeof set, &set) == 0;
            }
            long long last = nowNs();
            while (!m_stop.load(std::memory_order_relaxed)) {
                const long long now = nowNs();
                const long long gap = now - last;
                if (gap > m_longestNs.load(std::memory_order_relaxed))
                    m_longestNs.store(gap, std::memory_order_relaxed);
                if (gap >= m_pauseNs) {
                    std::lock_guard lock(m_mutex);
                    m_pauses.emplace_back(last, now);
                }
                last = now;
            }
        });
    }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    // True when start() pinned the loop to its processor.
    bool pinned() const { return m_pinned.load(); }
    // The longest gap between two readings so far.
    long long longestNs() const { return m_longestNs.load(); }
    std::vector<std::pair<long long, long long>> pauses() const
    {
        std::lock_guard lock(m_mutex);
        return m_pauses;
    }
    // True when [from, to] overlaps a host pause.
    bool overlapsPause(long long from, long long to) const
    {
        std::lock_guard lock(m_mutex);
        return std::any_of(m_pauses.begin(), m_pauses.end(),
                           [&](const auto& p) { return p.first < to && p.second > from; });
    }

private:
    const long long m_pauseNs;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_pinned{false};
    std::atomic<long long> m_longestNs{0};
    mutable std::mutex m_mutex;
    std::vector<std::pair<long long, long long>> m_pauses;
    std::thread m_thread;
};

} // namespace benchtiming
