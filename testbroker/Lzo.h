#pragma once
// Raw LZO1X blocks (no lzop header) as the terminal's downloads and compressed
// feed frames carry them.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tb {

// lzo1x_1 compression of the bytes.
std::string lzoCompress(std::string_view data);

// Safe decompression with an output room of maxOut bytes; nullopt on a corrupt
// block or when the output does not fit.
std::optional<std::string> lzoDecompress(std::string_view block, size_t maxOut);

} // namespace tb
