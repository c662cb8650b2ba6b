#include "pf/large_memory.h"

#include "pf/threads.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <exception>
#include <limits>
#include <new>
#include <string_view>
#include <system_error>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14
#endif

namespace pf::memory {
namespace {

// Below this the faults cost little and threads would cost more.
constexpr size_t kWorthIt = size_t{4} << 20;
// Each helper maps at least this much.
constexpr size_t kPerThread = size_t{4} << 20;

uintptr_t pageSize()
{
    static const uintptr_t size = [] {
        const long s = ::sysconf(_SC_PAGESIZE);
        return s > 0 ? static_cast<uintptr_t>(s) : uintptr_t{4096};
    }();
    return size;
}

// Maps [from, to) for writing. Where the processor allows, each page is
// touched by an atomic add of zero: the fault path scales over threads,
// while the kernel's populate call serialises them on the process's memory
// map (eight threads populating took three times as long as eight touching).
// The add is one locked instruction, so a caller's store to the same byte,
// before or after it, is never lost.
void mapPages(uintptr_t from, uintptr_t to, uintptr_t page)
{
    if (to <= from)
        return;
#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
    for (uintptr_t at = from; at < to; at += page)
        asm volatile("lock addb $0, (%0)" : : "r"(at) : "memory");
    (void)page;
#else
    (void)page;
    ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#endif
}

size_t roundedToLargePages(size_t bytes)
{
    return (bytes + kLargePage - 1) & ~(kLargePage - 1);
}

// Whether the kernel gives large pages where they are asked for.
bool largePagesOnRequest()
{
    static const bool given = [] {
#ifdef MADV_HUGEPAGE
        // "always [madvise] never": the mode in brackets.
        FILE* f = std::fopen("/sys/kernel/mm/transparent_hugepage/enabled", "re");
        if (!f)
            return false;
        char mode[128] = {};
        const size_t n = std::fread(mode, 1, sizeof mode - 1, f);
        std::fclose(f);
        const std::string_view m(mode, n);
        return m.find("[always]") != std::string_view::npos || m.find("[madvise]") != std::string_view::npos;
#else
        return false;
#endif
    }();
    return given;
}

} // namespace

void preferLargePages(void* p, size_t n)
{
#ifdef MADV_HUGEPAGE
    if (!p || n < kWorthIt)
        return;
    const uintptr_t large = kLargePage;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + large - 1) & ~(large - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + n) & ~(large - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)p;
    (void)n;
#endif
}

void* allocateLarge(size_t bytes)
{
    if (bytes > std::numeric_limits<size_t>::max() - kLargePage)
        throw std::bad_alloc();
    const size_t rounded = roundedToLargePages(bytes);
    void* p = ::operator new(rounded, std::align_val_t{kLargePage});
    preferLargePages(p, rounded);
    return p;
}

void freeLarge(void* p, size_t bytes) noexcept
{
    ::operator delete(p, roundedToLargePages(bytes), std::align_val_t{kLargePage});
}

void mapNow(void* p, size_t n)
{
    const uintptr_t page = pageSize();
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + n) & ~(page - 1);
    mapPages(begin, end, page);
}

void mapNow(void* p, size_t n, unsigned threads)
{
    const uintptr_t begin = reinterpret_cast<uintptr_t>(p);
    const uintptr_t end = begin + n;
    // Parts split at large pages' bounds, so that no page is another's too.
    const uintptr_t firstBound = (begin + kLargePage - 1) & ~uintptr_t{kLargePage - 1};
    const size_t largePages = end > firstBound ? (end - firstBound + kLargePage - 1) / kLargePage : 0;
    const size_t parts = std::max<size_t>(1, std::min<size_t>(threads, largePages));
    if (parts == 1) {
        mapNow(p, n);
        return;
    }
    auto bound = [&](size_t part) {
        return part == 0 ? begin : part == parts ? end : std::min(end, firstBound + largePages * part / parts * kLargePage);
    };
    std::vector<std::thread> helpers;
    size_t part = 1;
    try {
        helpers.reserve(parts - 1);
        for (; part < parts; ++part)
            helpers.emplace_back([from = bound(part), to = bound(part + 1)] {
                mapNow(reinterpret_cast<void*>(from), to - from);
            });
    } catch (const std::exception&) {
        // No thread to spare: the caller maps the parts left.
    }
    mapNow(p, bound(1) - begin);
    if (part < parts)
        mapNow(reinterpret_cast<void*>(bound(part)), end - bound(part));
    for (auto& t : helpers)
        t.join();
}

unsigned spareThreads()
{
    return std::min(7u, usableCpus() - 1);
}

unsigned mapAheadThreads()
{
    return largePagesOnRequest() ? 0 : spareThreads();
}

MapAhead::MapAhead(void* p, size_t n, unsigned threads)
{
    preferLargePages(p, n);
    if (!p || n < kWorthIt || threads == 0)
        return;
    const uintptr_t page = pageSize();
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + n) & ~(page - 1);
    if (end <= begin)
        return;
    const uintptr_t pages = (end - begin) / page;
    const size_t parts = std::max<size_t>(1, std::min<size_t>(threads, (end - begin) / kPerThread));
    try {
        m_helpers.reserve(parts);
        for (size_t part = 0; part < parts; ++part) {
            const uintptr_t from = begin + pages * part / parts * page;
            const uintptr_t to = begin + pages * (part + 1) / parts * page;
            m_helpers.emplace_back([from, to, page] { mapPages(from, to, page); });
        }
    } catch (const std::exception&) {
        // No thread to spare: the remaining pages fault in as they are filled.
    }
}

MapAhead::~MapAhead()
{
    for (auto& t : m_helpers)
        t.join();
}

} // namespace pf::memory
