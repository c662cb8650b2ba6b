#pragma once
// Fresh memory for a large table about to be filled. A new allocation of tens
// of megabytes is mapped by the kernel one page at a time on first touch, and
// each of those faults costs more than the work that fills the page; this maps
// the pages ahead on a few threads while the caller starts filling them.
//
// Large (2 MB) pages are deliberately not asked for: where free ones are
// scarce the kernel compacts memory for them inside the fault, and a
// process's first load then stalls for a tenth of a second or more, which is
// the one load a user waits for.
#include <cstddef>
#include <thread>
#include <vector>

namespace pf::memory {

// Maps the whole pages of [p, p + n) on up to `threads` helper threads from
// construction until destruction (which waits for them). The caller may fill
// the range meanwhile: contents are never changed, a page the caller reaches
// first simply faults in as usual. Best effort: a small range, a kernel
// without the call or no thread to spare leaves the pages to fault in.
// Threads worth asking to map ahead beside the caller's: the other
// processors this process may use, at most seven.
unsigned spareThreads();

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
