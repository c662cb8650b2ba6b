#pragma once
// Coalesces updates that arrive on feed threads for a window's own timer to
// apply on the UI thread: per key only the latest value is kept, and each
// dirty key is applied once per drain, in the order the keys first became
// dirty. Qt-free so that worker-side code can include it.
#include <cstddef>
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

} // namespace ui
