#pragma once
// The password digest: the Base64 text of the MD5 of the password, which every
// request that would carry a password carries instead.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// MD5 message digest (RFC 1321).
class Md5 {
public:
    using Digest = std::array<uint8_t, 16>;

    Md5() { init(); }
    void init();
    void update(const void* data, size_t length);
    // Pads, appends the bit count and returns A, B, C, D as little-endian
    // bytes. The context must be re-initialised before it is used again.
    Digest final();

    static Digest of(std::string_view text);

private:
    void transform(const uint8_t block[64]);

    uint32_t m_state[4] = {};
    uint64_t m_count = 0; // bytes processed so far
    uint8_t m_block[64] = {};
};

// The fixed-length Base64 (RFC 4648 alphabet) of a digest: 24 characters, the
// last two always "==".
std::string DigestBase64(const Md5::Digest& digest);

// Longest password text that HashPassword accepts.
constexpr size_t kMaxPasswordLength = 63;

// Puts the 24-character digest text of `text` into `out`. A text longer than
// kMaxPasswordLength is refused: `out` is emptied and false returned, since
// digesting a cut text would silently accept a different password.
bool HashPassword(std::string_view text, std::string& out);
