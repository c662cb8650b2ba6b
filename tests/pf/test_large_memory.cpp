#include "pf/large_memory.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>

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
