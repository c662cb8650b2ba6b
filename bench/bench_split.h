#pragma once
// The master's text cut into records as the program's parser cuts it, for
// the limits of the benchmarks that load a master: the same threads (one for
// a small text, else one per 640 KiB, no more than eight nor than the
// processors the process may use), each taking the records that begin in its
// share of the text.
#include "pf/threads.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace benchsplit {

inline size_t partsFor(size_t bytes)
{
    constexpr size_t kBytesPerPart = size_t{640} << 10;
    return bytes < 2 * kBytesPerPart ? 1 : std::min<size_t>(std::min(pf::usableCpus(), 8u), bytes / kBytesPerPart);
}

// Runs share(k, from, stop) for each of `parts` shares of the text, share k
// on a thread of its own (the first on the caller's): a share holds the
// records that begin in [from, stop], and `from` is where its first begins.
template <typename Share>
void onShares(std::string_view text, size_t parts, Share&& share)
{
    const char* const end = text.data() + text.size();
    auto run = [&](size_t k) {
        const char* p = text.data() + text.size() * k / parts;
        if (k > 0) {
            const char* t = static_cast<const char*>(std::memchr(p, '~', static_cast<size_t>(end - p)));
            p = t ? t + 1 : end;
        }
        share(k, p, text.data() + text.size() * (k + 1) / parts);
    };
    std::vector<std::thread> threads;
    for (size_t k = 1; k < parts; ++k)
        threads.emplace_back(run, k);
    run(0);
    for (auto& t : threads)
        t.join();
}

// A bare split: every record's place and length stored, on the parser's
// threads. Returns the records.
inline size_t splitOnThreads(std::string_view text)
{
    const size_t parts = partsFor(text.size());
    std::vector<size_t> counts(parts);
    const char* const end = text.data() + text.size();
    onShares(text, parts, [&](size_t k, const char* p, const char* stop) {
        std::vector<std::string_view> records;
        records.reserve(text.size() / 60 / parts + 16);
        while (p < end && p <= stop) {
            const char* t = static_cast<const char*>(std::memchr(p, '~', static_cast<size_t>(end - p)));
            records.emplace_back(p, static_cast<size_t>((t ? t : end) - p));
            if (!t)
                break;
            p = t + 1;
        }
        // The stored places must not be optimised away.
        asm volatile("" : : "r"(records.data()) : "memory");
        counts[k] = records.size();
    });
    size_t n = 0;
    for (size_t c : counts)
        n += c;
    return n;
}

} // namespace benchsplit
