#include "pf/base64.h"

#include <array>

namespace pf {

namespace detail {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// 0..63 for alphabet bytes, -1 otherwise; all 256 bytes are covered.
constexpr std::array<int8_t, 256> makeDecodeTable()
{
    std::array<int8_t, 256> table{};
    for (auto& v : table)
        v = -1;
    for (int i = 0; i < 64; ++i)
        table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
    return table;
}

constexpr auto kDecode = makeDecodeTable();

} // namespace detail

std::string base64Encode(std::span<const uint8_t> bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = (uint32_t(bytes[i]) << 16) | (uint32_t(bytes[i + 1]) << 8) | bytes[i + 2];
        out += detail::kAlphabet[(v >> 18) & 63];
        out += detail::kAlphabet[(v >> 12) & 63];
        out += detail::kAlphabet[(v >> 6) & 63];
        out += detail::kAlphabet[v & 63];
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t v = uint32_t(bytes[i]) << 16;
        if (rest == 2)
            v |= uint32_t(bytes[i + 1]) << 8;
        out += detail::kAlphabet[(v >> 18) & 63];
        out += detail::kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? detail::kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<std::vector<uint8_t>> base64Decode(std::string_view text)
{
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    uint32_t acc = 0;
    int have = 0;   // sextets in the current quartet
    int padding = 0;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        if (c == '=') {
            ++padding;
            if (padding > 2)
                return std::nullopt;
            acc <<= 6;
            ++have;
        } else {
            const int8_t v = detail::kDecode[static_cast<uint8_t>(c)];
            if (v < 0 || padding > 0)
                return std::nullopt;
            acc = (acc << 6) | uint32_t(v);
            ++have;
        }
        if (have == 4) {
            // "x===" or "=..." are not valid quartets.
            if (padding > 2)
                return std::nullopt;
            out.push_back(uint8_t(acc >> 16));
            if (padding < 2)
                out.push_back(uint8_t(acc >> 8));
            if (padding < 1)
                out.push_back(uint8_t(acc));
            acc = 0;
            have = 0;
            if (padding > 0)
                padding = 3; // nothing may follow a padded quartet
        }
    }
    if (have != 0)
        return std::nullopt;
    return out;
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
