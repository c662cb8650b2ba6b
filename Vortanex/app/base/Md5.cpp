#include "app/base/Md5.h"

#include "app/base/LogWriter.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

constexpr int kShift[64] = {
    7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
    5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
    4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
    6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21,
};

uint32_t rotateLeft(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

uint32_t loadLittle(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

void Md5::init()
{
    m_state[0] = 0x67452301;
    m_state[1] = 0xefcdab89;
    m_state[2] = 0x98badcfe;
    m_state[3] = 0x10325476;
    m_count = 0;
    std::memset(m_block, 0, sizeof m_block);
}

void Md5::transform(const uint8_t block[64])
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = loadLittle(block + 4 * i);

    uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (b & d) | (c & ~d);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const uint32_t next = b + rotateLeft(a + f + kSine[i] + x[g], kShift[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}

void Md5::update(const void* data, size_t length)
{
    const auto* in = static_cast<const uint8_t*>(data);
    size_t used = static_cast<size_t>(m_count % 64);
    m_count += length;

    // Fill the partial block first, then digest whole blocks straight from the
    // input, and keep the rest for later.
    if (used > 0) {
        const size_t take = std::min(length, 64 - used);
        std::memcpy(m_block + used, in, take);
        in += take;
        length -= take;
        used += take;
        if (used < 64)
            return;
        transform(m_block);
    }
    for (; length >= 64; in += 64, length -= 64)
        transform(in);
    if (length > 0)
        std::memcpy(m_block, in, length);
}

Md5::Digest Md5::final()
{
    const uint64_t bits = m_count * 8;
    static const uint8_t padding[64] = {0x80};
    const size_t used = static_cast<size_t>(m_count % 64);
    update(padding, used < 56 ? 56 - used : 120 - used);

    uint8_t length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<uint8_t>(bits >> (8 * i));
    update(length, sizeof length);

    Digest out;
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k)
            out[4 * i + k] = static_cast<uint8_t>(m_state[i] >> (8 * k));
    return out;
}

Md5::Digest Md5::of(std::string_view text)
{
    Md5 md5;
    md5.update(text.data(), text.size());
    return md5.final();
}

std::string DigestBase64(const Md5::Digest& digest)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve(24);
    // Five groups of three bytes give 20 characters...
    for (size_t i = 0; i < 15; i += 3) {
        const uint32_t group = uint32_t(digest[i]) << 16 | uint32_t(digest[i + 1]) << 8 | digest[i + 2];
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += kAlphabet[(group >> 6) & 63];
        out += kAlphabet[group & 63];
    }
    // ...and the sixteenth byte two more, padded with "==".
    out += kAlphabet[digest[15] >> 2];
    out += kAlphabet[(digest[15] & 3) << 4];
    out += "==";
    return out;
}

bool HashPassword(std::string_view text, std::string& out)
{
    if (text.size() > kMaxPasswordLength) {
        out.clear();
        WriteLog(0, "HashPassword : password text too long, refused");
        return false;
    }
    out = DigestBase64(Md5::of(text));
    // The digest is accepted by the server as the password itself, so the log
    // only records that one was made.
    WriteLog(0, MaskSecret(out));
    return true;
}
