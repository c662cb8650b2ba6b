#pragma once
// The password digest: the Base64 text of the MD5 of the password, which every
// request that would carry a password carries instead.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <memory>

struct evp_md_ctx_st;

// MD5 message digest (RFC 1321), computed by the system's crypto library.
class Md5 {
public:
    using Digest = std::array<uint8_t, 16>;

    Md5();
    ~Md5();
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;

    void init();
    void update(const void* data, size_t length);
    // The digest of everything updated since init. The context must be
    // re-initialised before it is used again.
    Digest final();

    static Digest of(std::string_view text);

private:
    struct ContextFree {
        void operator()(evp_md_ctx_st* context) const;
    };
    std::unique_ptr<evp_md_ctx_st, ContextFree> m_context;
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
