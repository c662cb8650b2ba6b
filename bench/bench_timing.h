#pragma once
// The clocks the benchmarks read: the calling thread's CPU time and a
// monotonic wall time, both in nanoseconds.
#include <chrono>
#include <ctime>

namespace benchtiming {

inline long long threadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (long long)ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

inline long long nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace benchtiming

namespace benchtiming {

// The whole process's CPU time (every thread, finished ones included).
inline long long processCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return (long long)ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

} // namespace benchtiming
