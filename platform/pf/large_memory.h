#pragma once
// Fresh memory for a large table about to be filled. A new allocation of tens
// of megabytes is mapped by the kernel one page at a time on first touch, and
// each of those faults costs more than the work that fills the page (on a
// virtual machine some 20 microseconds a 4 KiB page, 64 MiB in a third of a
// second); this asks for large (2 MiB) pages where the kernel offers them on
// request and maps the pages ahead on a few threads while the caller starts
// filling them.
//
// A large page is one fault for 512 small ones: 64 MiB mapped in some 5 ms.
// Where free large pages are scarce the kernel compacts memory for them
// inside the fault; that stall (measured up to a few hundred milliseconds,
// rarely) is no longer than the small pages' faults it replaces.
#include <cstddef>
#include <memory>
#include <thread>
#include <vector>

namespace pf::memory {

// Threads worth asking to map ahead beside the caller's: the other
// processors this process may use, at most seven.
unsigned spareThreads();
// The helpers worth mapping a large table's fresh memory ahead (MapAhead):
// spareThreads() where its pages are small; none where large pages are
// given, since each is then one fault, cleared as fast by the thread that
// fills it, while helpers clearing pages beside it compete with it for the
// memory's bandwidth (a master's load took a tenth more CPU time with them,
// and no less wall time).
unsigned mapAheadThreads();

// Asks for large pages for the whole large pages inside [p, p + n) (of at
// least a few MiB). Best effort: nothing where the kernel does not offer them
// on request. Call it before the memory is first written.
void preferLargePages(void* p, size_t n);

// Memory for a large table on whole large pages: `bytes` (at least
// kLargeBlock) rounded up to whole large pages, aligned to one, large pages
// asked for. An allocation of ordinary alignment loses the large pages at
// its two ends, each up to 512 small pages' faults. Throws std::bad_alloc.
constexpr size_t kLargeBlock = size_t{4} << 20;
void* allocateLarge(size_t bytes);
// A large page.
constexpr size_t kLargePage = size_t{2} << 20;
// Frees what allocateLarge(bytes) gave.
void freeLarge(void* p, size_t bytes) noexcept;

// An allocator that takes a block of kLargeBlock or more from allocateLarge
// and a smaller one as usual.
template <class T>
struct LargeAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = LargeAllocator<U>;
    };
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) noexcept
    {
    }
    T* allocate(size_t n)
    {
        if (n >= kLargeBlock / sizeof(T))
            return static_cast<T*>(allocateLarge(n * sizeof(T)));
        return std::allocator<T>::allocate(n);
    }
    void deallocate(T* p, size_t n) noexcept
    {
        if (n >= kLargeBlock / sizeof(T))
            freeLarge(p, n * sizeof(T));
        else
            std::allocator<T>::deallocate(p, n);
    }
};

// Maps the whole pages of [p, p + n) now, on the calling thread, each page
// once. For fresh memory that several threads are about to fill side by
// side: threads that first touch one fresh large page together each clear a
// whole large page for it in the kernel, and all but one are thrown away
// (eight threads entering a fresh table at once cleared it eight times).
void mapNow(void* p, size_t n);
// The same on up to `threads` threads at once, the caller's among them, each
// large page by one of them; returns when all are mapped.
void mapNow(void* p, size_t n, unsigned threads);

// Maps the whole pages of [p, p + n) on up to `threads` helper threads from
// construction until destruction (which waits for them). The caller may fill
// the range meanwhile: contents are never changed, a page the caller reaches
// first simply faults in as usual. Large pages are asked for first
// (preferLargePages). Best effort: a small range, a kernel without the call
// or no thread to spare leaves the pages to fault in.
class MapAhead {
public:
    MapAhead(void* p, size_t n, unsigned threads);
    ~MapAhead();
    MapAhead(const MapAhead&) = delete;
    MapAhead& operator=(const MapAhead&) = delete;

private:
    std::vector<std::thread> m_helpers;
};

} // namespace pf::memory
