#include "app/base/BufferSlots.h"

#include "app/base/LogWriter.h"

int BufferSlotTable::claim()
{
    std::lock_guard lock(m_mutex);
    for (int i = 0; i < kBufferSlotCount; ++i) {
        // The slot is taken inside the lock, so two claimers never share it.
        if (m_slots[i].in_use.load(std::memory_order_acquire) == 0) {
            m_slots[i].in_use.store(1, std::memory_order_relaxed);
            return i;
        }
    }
    return -1;
}

void BufferSlotTable::release(int index)
{
    if (index < 0 || index >= kBufferSlotCount)
        return;
    BufferSlot& slot = m_slots[index];
    try {
        std::string().swap(slot.buffer);
    } catch (...) {
        WriteLog(0, "exception while releasing buffer");
    }
    slot.word = 0;
    // Last, and with release order: the next claimer sees the emptied slot.
    slot.in_use.store(0, std::memory_order_release);
}

int BufferSlotTable::inUseCount() const
{
    int n = 0;
    for (const BufferSlot& slot : m_slots)
        n += slot.in_use.load() != 0 ? 1 : 0;
    return n;
}

BufferSlotTable& BufferSlots()
{
    static BufferSlotTable table;
    return table;
}

int GetFreeBufferSlot()
{
    return BufferSlots().claim();
}

void ReleaseBufferSlot(int index)
{
    BufferSlots().release(index);
}
