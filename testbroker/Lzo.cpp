#include "Lzo.h"

#include <lzo/lzo1x.h>

#include <mutex>
#include <vector>

namespace tb {

namespace lzo_detail {
bool lzoReady()
{
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = lzo_init() == LZO_E_OK; });
    return ok;
}
} // namespace lzo_detail

std::string lzoCompress(std::string_view data)
{
    if (!lzo_detail::lzoReady())
        return {};
    std::vector<unsigned char> work(LZO1X_1_MEM_COMPRESS);
    // Worst case growth of LZO1X is n + n/16 + 64 + 3.
    std::string out(data.size() + data.size() / 16 + 64 + 3, '\0');
    lzo_uint outLen = out.size();
    if (lzo1x_1_compress(reinterpret_cast<const unsigned char*>(data.data()), data.size(),
                         reinterpret_cast<unsigned char*>(out.data()), &outLen, work.data()) != LZO_E_OK)
        return {};
    out.resize(outLen);
    return out;
}

std::optional<std::string> lzoDecompress(std::string_view block, size_t maxOut)
{
    if (!lzo_detail::lzoReady())
        return std::nullopt;
    std::string out(maxOut, '\0');
    lzo_uint outLen = out.size();
    const int rc = lzo1x_decompress_safe(reinterpret_cast<const unsigned char*>(block.data()), block.size(),
                                         reinterpret_cast<unsigned char*>(out.data()), &outLen, nullptr);
    if (rc != LZO_E_OK)
        return std::nullopt;
    out.resize(outLen);
    return out;
}

} // namespace tb
