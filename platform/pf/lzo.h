#pragma once
// LZO1X (de)compression of the server's archives. Decompression is bounded:
// corrupt input or output beyond the caller's room is an error, never an
// overrun.
#include "pf/large_memory.h"

#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace pf::lzo {

// An allocator whose resize leaves new bytes unwritten: an output buffer is
// overwritten by the unpacker, so filling it with zeros first is pure cost.
// A large buffer lies on whole large pages (see pf::memory::LargeAllocator).
template <class T>
struct UninitializedAllocator : memory::LargeAllocator<T> {
    template <class U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <class U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept
    {
    }
    template <class U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... A>
    void construct(U* p, A&&... a)
    {
        ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
    }
};
using Bytes = std::vector<unsigned char, UninitializedAllocator<unsigned char>>;

// Initialises the library once per process (any thread, any number of
// calls); false when the library reports a version or size mismatch.
bool init();

// Unpacks n bytes of LZO1X data into out (replacing its content). False on
// corrupt or truncated input, on trailing bytes after the data, when the
// output would exceed maxOut bytes, or when init() fails; out is then empty.
// libraryCode, when given, receives the library's result (0 = success, a
// negative LZO_E_* code otherwise) for callers that log it.
bool inflate(const unsigned char* in, size_t n, std::vector<unsigned char>& out, size_t maxOut,
             int* libraryCode = nullptr);
// The same into a buffer that is never zero-filled: it starts at a size from
// the packed length and grows (doubling, up to maxOut) only when the data
// needs more, so a small result never costs the room of the largest one.
bool inflate(const unsigned char* in, size_t n, Bytes& out, size_t maxOut, int* libraryCode = nullptr);

// Unpacks the first bytes of LZO1X data, up to `room`, into out: the count of
// bytes that are surely the data's own (0 when the data is corrupt before
// them). For a look at a large archive's beginning before unpacking it all.
size_t inflateHead(const unsigned char* in, size_t n, unsigned char* out, size_t room);

// Packs with LZO1X-1 (the test broker's archives and tests).
std::vector<unsigned char> compress(const unsigned char* in, size_t n);

} // namespace pf::lzo
