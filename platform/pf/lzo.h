#pragma once
// LZO1X (de)compression of the server's archives. Decompression is bounded:
// corrupt input or output beyond the caller's room is an error, never an
// overrun.
#include <cstddef>
#include <vector>

namespace pf::lzo {

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

// Packs with LZO1X-1 (the test broker's archives and tests).
std::vector<unsigned char> compress(const unsigned char* in, size_t n);

} // namespace pf::lzo
