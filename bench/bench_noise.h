#pragma once
// The machine's own noise in the same run: a thread that does nothing but
// read the clock in a bare loop. A gap between two of its readings is time
// the host took the CPU away (another process, the hypervisor), never work of
// the program; a stall of the UI thread that falls in such a gap is the host's.
#include "bench_timing.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace benchtiming {

class NoiseMeter {
public:
    // Gaps at least this long are kept with their times (a host pause).
    explicit NoiseMeter(long long pauseNs = 5'000'000) : m_pauseNs(pauseNs) {}
    ~NoiseMeter() { stop(); }
    NoiseMeter(const NoiseMeter&) = delete;
    NoiseMeter& operator=(const NoiseMeter&) = delete;

    void start()
    {
        m_stop = false;
        m_thread = std::thread([this] {
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
    std::atomic<long long> m_longestNs{0};
    mutable std::mutex m_mutex;
    std::vector<std::pair<long long, long long>> m_pauses;
    std::thread m_thread;
};

} // namespace benchtiming
