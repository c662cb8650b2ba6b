#pragma once
// The slot table of the feed buffers: the feed dispatcher claims a slot for
// each message it hands to a worker thread, puts the payload in it, and the
// worker releases the slot when done. Claiming is serialised by the table's
// lock; a claimed slot belongs to its holder alone until released.
#include <atomic>
#include <mutex>
#include <string>

inline constexpr int kBufferSlotCount = 1000;

struct BufferSlot {
    std::string buffer;          // the payload; only the slot's holder touches it
    std::atomic<int> in_use{0};
    int word = 0;                // the feed layer's own mark for the slot
};

class BufferSlotTable {
public:
    // The first free slot, now claimed by the caller; -1 when all are in use.
    int claim();
    // Frees the slot's buffer, clears its mark and makes it free again.
    // Out-of-range indexes are ignored.
    void release(int index);
    // The slot at index (0 to kBufferSlotCount - 1); for the slot's holder.
    BufferSlot& at(int index) { return m_slots[index]; }
    int inUseCount() const;

private:
    std::mutex m_mutex; // serialises claims
    BufferSlot m_slots[kBufferSlotCount];
};

// The application's table.
BufferSlotTable& BufferSlots();

int GetFreeBufferSlot();
void ReleaseBufferSlot(int index);
