#include "pf/large_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14
#endif

namespace pf::memory {
namespace {

constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
// Below this the small pages cost little and a large one would mostly sit
// unused.
constexpr size_t kWorthIt = size_t{4} << 20;

uintptr_t pageSize()
{
    static const uintptr_t size = [] {
        const long s = ::sysconf(_SC_PAGESIZE);
        return s > 0 ? static_cast<uintptr_t>(s) : uintptr_t{4096};
    }();
    return size;
}

} // namespace

void preferLargePages(void* p, size_t n)
{
#ifdef MADV_HUGEPAGE
    if (!p || n < kWorthIt)
        return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kLargePage - 1) & ~(kLargePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + n) & ~(kLargePage - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)p;
    (void)n;
#endif
}

void mapNow(void* p, size_t n)
{
    if (!p || n < kWorthIt)
        return;
    preferLargePages(p, n);
    const uintptr_t page = pageSize();
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + n) & ~(page - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

} // namespace pf::memory
