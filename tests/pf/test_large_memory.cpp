#include "pf/large_memory.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <memory>
#include <vector>

TEST(LargeMemory, MappingAheadKeepsWhatIsWrittenMeanwhile)
{
    // A block half written before, mapped ahead (from an unaligned start)
    // while the rest is written: every byte must read back as written.
    const size_t n = (size_t{9} << 20) + 123;
    std::unique_ptr<unsigned char[]> block(new unsigned char[n]);
    auto value = [](size_t i) { return static_cast<unsigned char>(i * 7 + i / 4096); };
    for (size_t i = 0; i < n / 2; ++i)
        block[i] = value(i);
    {
        const pf::memory::MapAhead ahead(block.get() + 1, n - 1, 4);
        for (size_t i = n / 2; i < n; ++i)
            block[i] = value(i);
    }
    size_t wrong = 0;
    for (size_t i = 0; i < n; ++i)
        wrong += block[i] != value(i) ? 1 : 0;
    EXPECT_EQ(wrong, 0u);

    // No block, a small one or no threads: nothing is done.
    { const pf::memory::MapAhead none(nullptr, n, 4); }
    { const pf::memory::MapAhead small(block.get(), 4096, 4); }
    { const pf::memory::MapAhead noThreads(block.get(), n, 0); }
    EXPECT_EQ(block[n - 1], value(n - 1));
}

TEST(LargeMemory, MappingNowOnThreadsMapsTheWholePagesOfTheRangeOnly)
{
    // Fresh memory in small pages, so that residence shows page by page. A
    // range from an unaligned start to an unaligned end, mapped now on one
    // or several threads (parts split at large pages, the first and the
    // last partial): exactly its whole pages are resident after.
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    const size_t bytes = size_t{16} << 20;
    for (unsigned threads : {1u, 3u, 8u}) {
        void* raw = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(raw, MAP_FAILED);
        ::madvise(raw, bytes, MADV_NOHUGEPAGE);
        unsigned char* block = static_cast<unsigned char*>(raw);
        const size_t from = 3 * page + 77;                // first whole page: 4
        const size_t to = (size_t{13} << 20) + page + 5; // last whole page ends at 13 MiB + 1 page
        pf::memory::mapNow(block + from, to - from, threads);
        std::vector<unsigned char> resident(bytes / page);
        ASSERT_EQ(::mincore(raw, bytes, resident.data()), 0);
        size_t wrong = 0;
        for (size_t i = 0; i < resident.size(); ++i) {
            const bool inside = i >= 4 && i < ((size_t{13} << 20) + page) / page;
            wrong += ((resident[i] & 1) != 0) != inside ? 1 : 0;
        }
        EXPECT_EQ(wrong, 0u) << threads << " threads";
        ::munmap(raw, bytes);
    }
}
