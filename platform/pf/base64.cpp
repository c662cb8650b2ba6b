#include "pf/base64.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>

namespace pf {

namespace base64_detail {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// true for the 64 alphabet bytes; all 256 bytes are covered.
constexpr std::array<bool, 256> makeAlphabetTable()
{
    std::array<bool, 256> table{};
    for (int i = 0; i < 64; ++i)
        table[static_cast<uint8_t>(kAlphabet[i])] = true;
    return table;
}

constexpr auto kInAlphabet = makeAlphabetTable();

// The block decoder over whole quartets of `text` (a multiple of four
// alphabet or '=' bytes); the byte count without the fill's zeros.
std::vector<uint8_t> decodeBlock(std::string_view text, size_t fill)
{
    std::vector<uint8_t> out(text.size() / 4 * 3);
    if (text.empty())
        return out;
    // The decoder takes an int length; callers hand it texts far below that.
    const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    if (n < 0)
        return {};
    out.resize(static_cast<size_t>(n) - fill);
    return out;
}

} // namespace base64_detail

std::string base64Encode(std::span<const uint8_t> bytes)
{
    std::string out((bytes.size() + 2) / 3 * 4 + 1, '\0');
    if (bytes.empty())
        return {};
    size_t done = 0;
    size_t pos = 0;
    // The encoder takes an int length: feed it in slices of whole groups.
    constexpr size_t kSlice = size_t(3) << 28;
    while (done < bytes.size()) {
        const size_t take = std::min(kSlice, bytes.size() - done);
        pos += static_cast<size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data() + pos),
                                                   bytes.data() + done, static_cast<int>(take)));
        done += take;
    }
    out.resize(pos);
    return out;
}

std::optional<std::vector<uint8_t>> base64Decode(std::string_view text)
{
    // Whitespace is skipped; then the text must be whole quartets of the
    // alphabet with at most two '=' at its very end.
    std::string packed;
    packed.reserve(text.size());
    for (const char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            packed += c;
    if (packed.size() % 4 != 0)
        return std::nullopt;
    size_t fill = 0;
    while (fill < 2 && fill < packed.size() && packed[packed.size() - 1 - fill] == '=')
        ++fill;
    for (size_t i = 0; i + fill < packed.size(); ++i)
        if (!base64_detail::kInAlphabet[static_cast<uint8_t>(packed[i])])
            return std::nullopt;
    // "x===" and "xx=y" were refused above; "x==" alone is not a quartet.
    return base64_detail::decodeBlock(packed, fill);
}

std::vector<uint8_t> base64DecodeQuartets(std::string_view text)
{
    std::string quartets(text.substr(0, text.size() / 4 * 4));
    for (char& c : quartets)
        if (!base64_detail::kInAlphabet[static_cast<uint8_t>(c)])
            c = 'A'; // the sextet 0
    return base64_detail::decodeBlock(quartets, 0);
}

std::string base64Lines(std::span<const uint8_t> bytes, size_t lineLength, std::string_view eol)
{
    const std::string flat = base64Encode(bytes);
    if (lineLength == 0)
        return flat.empty() ? flat : flat + std::string(eol);
    std::string out;
    out.reserve(flat.size() + (flat.size() / lineLength + 1) * eol.size());
    for (size_t pos = 0; pos < flat.size(); pos += lineLength) {
        out.append(flat, pos, lineLength);
        out.append(eol);
    }
    return out;
}

} // namespace pf
