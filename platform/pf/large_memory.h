#pragma once
// Fresh memory for a large table about to be filled. A new allocation of tens
// of megabytes is mapped by the kernel one small page at a time on first
// touch, and each of those faults costs more than the parsing that fills the
// page; these calls trade them for a few large pages mapped up front.
#include <cstddef>

namespace pf::memory {

// Asks for large pages over the whole pages inside [p, p + n). The memory is
// still mapped lazily. Harmless (and a no-op) where the system has none.
void preferLargePages(void* p, size_t n);

// preferLargePages, then maps [p, p + n) now, so that filling it takes no
// page faults. Contents are unchanged. Best effort: on a kernel without the
// call the pages fault in as usual.
void mapNow(void* p, size_t n);

} // namespace pf::memory
