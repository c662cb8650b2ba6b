#include "pf/lzo.h"

#include "pf/large_memory.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <new>

namespace pf::lzo {

bool init()
{
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = lzo_init() == LZO_E_OK; });
    return ok;
}

bool inflate(const unsigned char* in, size_t n, Bytes& out, size_t maxOut, int* libraryCode)
{
    int unused = 0;
    int& code = libraryCode ? *libraryCode : unused;
    code = LZO_E_ERROR;
    out.clear();
    if (!init() || (n > 0 && !in))
        return false;
    // Text packs to a quarter or so: most data fits the first try.
    size_t room = std::min(maxOut, n > (SIZE_MAX - 4096) / 8 ? maxOut : n * 8 + 4096);
    for (;;) {
        try {
            out.resize(room);
        } catch (const std::bad_alloc&) {
            out.clear();
            out.shrink_to_fit();
            code = LZO_E_OUT_OF_MEMORY;
            return false;
        }
        lzo_uint outLen = room;
        int rc = LZO_E_ERROR;
        {
            // A large output is fresh memory that the kernel would map page
            // by page as the unpacker reaches it, costing more than the
            // unpacking: it is on large pages or, where pages are small,
            // helpers map ahead what text usually unpacks to.
            const memory::MapAhead ahead(out.data(), std::min(room, n * 4), memory::mapAheadThreads());
            rc = lzo1x_decompress_safe(in, n, out.data(), &outLen, nullptr);
        }
        code = rc;
        if (rc == LZO_E_OK) {
            out.resize(outLen);
            return true;
        }
        if (rc != LZO_E_OUTPUT_OVERRUN || room >= maxOut) {
            out.clear();
            out.shrink_to_fit();
            return false;
        }
        room = room > maxOut / 2 ? maxOut : room * 2;
    }
}

bool inflate(const unsigned char* in, size_t n, std::vector<unsigned char>& out, size_t maxOut, int* libraryCode)
{
    Bytes unpacked;
    const bool ok = inflate(in, n, unpacked, maxOut, libraryCode);
    out.assign(unpacked.begin(), unpacked.end());
    return ok;
}

size_t inflateHead(const unsigned char* in, size_t n, unsigned char* out, size_t room)
{
    if (!init() || !in || !out || room == 0)
        return 0;
    lzo_uint outLen = room;
    // The safe unpacker stops before a step that would pass the end of the
    // room and reports how much it wrote until then.
    const int rc = lzo1x_decompress_safe(in, n, out, &outLen, nullptr);
    return rc == LZO_E_OK || rc == LZO_E_OUTPUT_OVERRUN ? std::min<size_t>(outLen, room) : 0;
}

std::vector<unsigned char> compress(const unsigned char* in, size_t n)
{
    if (!init())
        return {};
    // The worst case of LZO1X-1 for incompressible input.
    std::vector<unsigned char> out(n + n / 16 + 64 + 3);
    std::vector<unsigned char> work(LZO1X_1_MEM_COMPRESS);
    lzo_uint outLen = out.size();
    if (lzo1x_1_compress(in, n, out.data(), &outLen, work.data()) != LZO_E_OK)
        return {};
    out.resize(outLen);
    return out;
}

} // namespace pf::lzo
