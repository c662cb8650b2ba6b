#include "RequestDecoder.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cctype>
#include <fstream>
#include <sstream>

namespace tb {

namespace request_decoder_detail {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// A plain request text always has a '|', an '&' or an '=' inside it; Base64
// has '=' only as trailing fill and never '|' or '&'.
bool looksPlain(std::string_view s)
{
    if (s.find('|') != std::string_view::npos || s.find('&') != std::string_view::npos)
        return true;
    for (size_t i = 0; i + 1 < s.size(); ++i)
        if (s[i] == '=' && s[i + 1] != '=' && s[i + 1] != '\r' && s[i + 1] != '\n')
            return true;
    return false;
}

bool looksRsa(std::string_view s)
{
    if (s.size() < 4 || !std::isdigit(static_cast<unsigned char>(s[0]))
        || !std::isdigit(static_cast<unsigned char>(s[1])) || s.find("\r\n") == std::string_view::npos)
        return false;
    for (size_t i = 2; i < s.size(); ++i)
        if (base64Value(s[i]) < 0 && s[i] != '=' && s[i] != '\r' && s[i] != '\n')
            return false;
    return true;
}

} // namespace request_decoder_detail

std::string base64Encode(std::string_view data)
{
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        const unsigned b0 = static_cast<unsigned char>(data[i]), b1 = static_cast<unsigned char>(data[i + 1]),
                       b2 = static_cast<unsigned char>(data[i + 2]);
        out += request_decoder_detail::kAlphabet[b0 >> 2];
        out += request_decoder_detail::kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
        out += request_decoder_detail::kAlphabet[((b1 & 15) << 2) | (b2 >> 6)];
        out += request_decoder_detail::kAlphabet[b2 & 63];
    }
    if (i < data.size()) {
        const unsigned b0 = static_cast<unsigned char>(data[i]);
        const unsigned b1 = i + 1 < data.size() ? static_cast<unsigned char>(data[i + 1]) : 0;
        out += request_decoder_detail::kAlphabet[b0 >> 2];
        out += request_decoder_detail::kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
        out += i + 1 < data.size() ? request_decoder_detail::kAlphabet[(b1 & 15) << 2] : '=';
        out += '=';
    }
    return out;
}

std::string base64Decode(std::string_view text, bool* ok)
{
    std::string clean;
    for (char c : text)
        if (c != '\r' && c != '\n')
            clean += c;
    bool good = clean.size() % 4 == 0;
    std::string out;
    for (size_t i = 0; good && i < clean.size(); i += 4) {
        int v[4];
        int fill = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = clean[i + k];
            if (c == '=' && i + 4 == clean.size() && k >= 2) {
                v[k] = 0;
                ++fill;
            } else if ((v[k] = request_decoder_detail::base64Value(c)) < 0 || fill > 0) {
                good = false;
                break;
            }
        }
        if (!good)
            break;
        out += static_cast<char>((v[0] << 2) | (v[1] >> 4));
        if (fill < 2)
            out += static_cast<char>(((v[1] & 15) << 4) | (v[2] >> 2));
        if (fill < 1)
            out += static_cast<char>(((v[2] & 3) << 6) | v[3]);
    }
    if (ok)
        *ok = good;
    return good ? out : std::string();
}

RequestText splitRequest(std::string_view text)
{
    RequestText r;
    size_t start = 0;
    bool first = true;
    while (start <= text.size()) {
        size_t amp = text.find('&', start);
        if (amp == std::string_view::npos)
            amp = text.size();
        const std::string_view item = text.substr(start, amp - start);
        const size_t eq = item.find('=');
        const bool bare = eq == std::string_view::npos || item.find('|') < eq;
        const std::string key(bare ? std::string_view() : item.substr(0, eq));
        const std::string value(bare ? item : item.substr(eq + 1));
        if (first) {
            r.keyword = key;
            size_t p = 0;
            while (true) {
                const size_t bar = value.find('|', p);
                r.fields.push_back(value.substr(p, bar == std::string::npos ? std::string::npos : bar - p));
                if (bar == std::string::npos)
                    break;
                p = bar + 1;
            }
            first = false;
        }
        if (!key.empty())
            r.items.emplace(key, value);
        start = amp + 1;
    }
    return r;
}

struct RequestDecoder::Keys {
    std::vector<EVP_PKEY*> keys;
    ~Keys()
    {
        for (EVP_PKEY* k : keys)
            EVP_PKEY_free(k);
    }
};

RequestDecoder::RequestDecoder() : m_keys(std::make_unique<Keys>()) {}
RequestDecoder::~RequestDecoder() = default;

bool RequestDecoder::addPrivateKeyPem(std::string_view pem)
{
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    if (!bio)
        return false;
    EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (!key)
        return false;
    m_keys->keys.push_back(key);
    return true;
}

bool RequestDecoder::addPrivateKeyFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::stringstream ss;
    ss << in.rdbuf();
    return addPrivateKeyPem(ss.str());
}

bool RequestDecoder::decryptRsa(std::string_view cipherText, std::string* plain) const
{
    if (cipherText.size() < 3)
        return false;
    bool ok = false;
    const std::string cipher = base64Decode(cipherText.substr(2), &ok);
    if (!ok || cipher.empty())
        return false;
    for (EVP_PKEY* key : m_keys->keys) {
        if (static_cast<size_t>(EVP_PKEY_get_size(key)) != cipher.size())
            continue;
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
        if (!ctx)
            continue;
        std::string out(cipher.size(), '\0');
        size_t outLen = out.size();
        const bool good = EVP_PKEY_decrypt_init(ctx) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0
            && EVP_PKEY_decrypt(ctx, reinterpret_cast<unsigned char*>(out.data()), &outLen,
                                reinterpret_cast<const unsigned char*>(cipher.data()), cipher.size())
                > 0;
        EVP_PKEY_CTX_free(ctx);
        if (good) {
            out.resize(outLen);
            *plain = std::move(out);
            return true;
        }
    }
    return false;
}

DecodedBody RequestDecoder::decode(std::string_view body) const
{
    DecodedBody d;
    if (!body.empty() && body.back() == '\0')
        body.remove_suffix(1);
    if (request_decoder_detail::looksRsa(body)) {
        if (decryptRsa(body, &d.text)) {
            d.encryption = 2;
        } else {
            d.encryption = -1;
            d.error = "RSA body does not decrypt with any test key";
        }
        return d;
    }
    if (body.empty() || request_decoder_detail::looksPlain(body)) {
        d.text = std::string(body);
        return d;
    }
    bool ok = false;
    d.text = base64Decode(body, &ok);
    if (ok) {
        d.encryption = 1;
    } else {
        d.encryption = -1;
        d.error = "body is neither plain, Base64 nor RSA";
        d.text = std::string(body);
    }
    return d;
}

} // namespace tb
