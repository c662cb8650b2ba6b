#pragma once
// Coalesces updates that arrive on feed threads for a window's own timer to
// apply on the UI thread: per key only the latest value is kept, and each
// dirty key is applied once per drain, in the order the keys first became
// dirty. Qt-free so that worker-side code can include it.
#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ui {

template <class Key, class Value, class Hash = std::hash<Key>>
class TickBox {
public:
    // Any thread.
    void put(const Key& key, Value value)
    {
        std::lock_guard lock(m_mutex);
        auto [it, inserted] = m_latest.insert_or_assign(key, std::move(value));
        if (inserted)
            m_order.push_back(key);
    }

    // UI thread: applies apply(key, value) for every dirty key and returns how
    // many were applied. apply runs outside the lock, so it may put again.
    template <class F>
    std::size_t drain(F&& apply)
    {
        std::vector<std::pair<Key, Value>> batch;
        {
            std::lock_guard lock(m_mutex);
            batch.reserve(m_order.size());
            for (const Key& key : m_order) {
                auto it = m_latest.find(key);
                batch.emplace_back(key, std::move(it->second));
            }
            m_order.clear();
            m_latest.clear();
        }
        for (auto& [key, value] : batch)
            apply(key, value);
        return batch.size();
    }

    std::size_t pending() const
    {
        std::lock_guard lock(m_mutex);
        return m_order.size();
    }

    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_order.clear();
        m_latest.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::unordered_map<Key, Value, Hash> m_latest; // guarded by m_mutex
    std::vector<Key> m_order;                      // guarded by m_mutex; keys in first-put order
};

// The tick box of a window that only needs to know which rows changed (the
// value is read from the row itself): a mark is one atomic OR into a bitmap,
// with no lock, no allocation after a key's first mark and no hash. Keys are
// small non-negative numbers (security indices); the bitmap grows in chunks
// as keys are first marked. The UI timer's drain applies each marked key
// once, in ascending key order. Any number of threads may mark; one thread
// drains (and clears) at a time.
class TickMarks {
public:
    // Keys from 0 up to this are kept; a larger or negative one is refused
    // (put returns false) rather than touching memory out of range.
    static constexpr std::size_t kChunkBits = 4096;
    static constexpr std::size_t kChunks = 1024;
    static constexpr std::size_t kCapacity = kChunkBits * kChunks;

    TickMarks() = default;
    ~TickMarks()
    {
        for (auto& c : m_chunks)
            delete c.load(std::memory_order_relaxed);
    }
    TickMarks(const TickMarks&) = delete;
    TickMarks& operator=(const TickMarks&) = delete;

    // Any thread. What the caller wrote before the mark is seen by the drain
    // that applies it (release here, acquire there).
    bool put(int key)
    {
        if (key < 0 || static_cast<std::size_t>(key) >= kCapacity)
            return false;
        const std::size_t k = static_cast<std::size_t>(key);
        const std::size_t c = k / kChunkBits;
        Chunk* chunk = m_chunks[c].load(std::memory_order_acquire);
        if (!chunk)
            chunk = makeChunk(c);
        const std::uint64_t bit = std::uint64_t(1) << (k % 64);
        const std::uint64_t before = chunk->words[(k % kChunkBits) / 64].fetch_or(bit, std::memory_order_seq_cst);
        if (before & bit)
            return true; // already marked: the drain that takes it sees this write too
        // The chunk's summary bit after the word's: a drain that clears the
        // summary first and the words after never loses a mark.
        std::atomic<std::uint64_t>& summary = m_summary[c / 64];
        const std::uint64_t cbit = std::uint64_t(1) << (c % 64);
        if (!(summary.load(std::memory_order_seq_cst) & cbit))
            summary.fetch_or(cbit, std::memory_order_seq_cst);
        return true;
    }

    // Any thread: asks the processor to fetch, for writing, the word a put of
    // key would change, so that a put soon after need not wait for it.
    void prefetch(int key) const
    {
        if (key < 0 || static_cast<std::size_t>(key) >= kCapacity)
            return;
        const std::size_t k = static_cast<std::size_t>(key);
        if (const Chunk* chunk = m_chunks[k / kChunkBits].load(std::memory_order_acquire))
            __builtin_prefetch(&chunk->words[(k % kChunkBits) / 64], 1);
    }

    // One thread at a time: apply(key) for every marked key, ascending;
    // returns how many. A key marked again during apply is applied by the
    // next drain.
    template <class F>
    std::size_t drain(F&& apply)
    {
        std::size_t applied = 0;
        for (std::size_t s = 0; s < m_summary.size(); ++s) {
            std::uint64_t chunks = m_summary[s].exchange(0, std::memory_order_seq_cst);
            while (chunks) {
                const std::size_t c = s * 64 + static_cast<std::size_t>(std::countr_zero(chunks));
                chunks &= chunks - 1;
                Chunk* chunk = m_chunks[c].load(std::memory_order_acquire);
                if (!chunk)
                    continue;
                for (std::size_t w = 0; w < kChunkBits / 64; ++w) {
                    if (chunk->words[w].load(std::memory_order_seq_cst) == 0)
                        continue;
                    std::uint64_t bits = chunk->words[w].exchange(0, std::memory_order_seq_cst);
                    while (bits) {
                        const std::size_t b = static_cast<std::size_t>(std::countr_zero(bits));
                        bits &= bits - 1;
                        apply(static_cast<int>(c * kChunkBits + w * 64 + b));
                        ++applied;
                    }
                }
            }
        }
        return applied;
    }

    // How many keys are marked (exact when no thread is marking).
    std::size_t pending() const
    {
        std::size_t n = 0;
        for (const auto& c : m_chunks)
            if (const Chunk* chunk = c.load(std::memory_order_acquire))
                for (const auto& w : chunk->words)
                    n += static_cast<std::size_t>(std::popcount(w.load(std::memory_order_relaxed)));
        return n;
    }

    void clear()
    {
        drain([](int) {});
    }

private:
    struct Chunk {
        std::array<std::atomic<std::uint64_t>, kChunkBits / 64> words{};
    };

    Chunk* makeChunk(std::size_t c)
    {
        auto fresh = std::make_unique<Chunk>();
        Chunk* expected = nullptr;
        if (m_chunks[c].compare_exchange_strong(expected, fresh.get(), std::memory_order_acq_rel))
            return fresh.release();
        return expected; // another thread made it first
    }

    std::array<std::atomic<Chunk*>, kChunks> m_chunks{};
    std::array<std::atomic<std::uint64_t>, kChunks / 64> m_summary{};
};

} // namespace ui
