#pragma once
// Standard Base64 (RFC 4648 alphabet with '=' fill) for binary data: key texts,
// cipher texts and anything else that travels as text. The one Base64 of the
// program, on the crypto library's block encoder and decoder.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pf {

// One line, '=' filled.
std::string base64Encode(std::span<const uint8_t> bytes);

// Strict decode: whitespace (space, tab, CR, LF) is skipped; any other byte
// outside the alphabet, a '=' anywhere but at the end, or a length that is not
// a whole number of quartets gives nullopt.
std::optional<std::vector<uint8_t>> base64Decode(std::string_view text);

// The old decoder's reading, which stored texts and the library's callers
// rely on: only whole quartets are read (a trailing part is ignored), and a
// byte outside the alphabet or '=' counts as 0, so every quartet gives three
// bytes.
std::vector<uint8_t> base64DecodeQuartets(std::string_view text);

// The encoding cut into lines of lineLength characters, every line (the last
// one included) followed by eol.
std::string base64Lines(std::span<const uint8_t> bytes, size_t lineLength, std::string_view eol);

} // namespace pf
