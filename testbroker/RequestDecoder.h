#pragma once
// Turns a request body as the terminal posts it back into its request text:
// encryption type 0 (plain), 1 (Base64) and 2 (RSA, PKCS#1 v1.5, a two-digit
// prefix then Base64 lines ended by CR LF), and splits the text into its parts.
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

struct DecodedBody {
    std::string text;     // the request text
    int encryption = 0;   // 0, 1 or 2 as detected; -1 when it could not be decoded
    std::string error;    // why decoding failed
};

// Request text "Key=f0|f1|...&Key2=value...": items split at '&', each at its first '='.
// A text whose first item has no '=' (the feed's "201|...") has an empty keyword
// and its fields split at '|'.
struct RequestText {
    std::string keyword;                  // key of the first item ("LoginData", "WD", ...)
    std::vector<std::string> fields;      // the first item's value split at '|'
    std::map<std::string, std::string> items; // every item by key (the first one too, unsplit)
    std::string code() const { return fields.empty() ? std::string() : fields[0]; }
    // "LoginData=3000"; a bare feed text ("201|...") gives its code alone.
    std::string key() const { return keyword.empty() ? code() : keyword + "=" + code(); }
};

std::string base64Encode(std::string_view data);
// Standard alphabet; characters outside it (CR, LF) are skipped. Empty on a malformed text.
std::string base64Decode(std::string_view text, bool* ok = nullptr);

RequestText splitRequest(std::string_view text);

class RequestDecoder {
public:
    RequestDecoder();
    ~RequestDecoder();
    RequestDecoder(const RequestDecoder&) = delete;
    RequestDecoder& operator=(const RequestDecoder&) = delete;

    // Adds a private key (PEM text) for type 2 bodies; false when it does not parse.
    bool addPrivateKeyPem(std::string_view pem);
    bool addPrivateKeyFile(const std::string& path);

    // Body as received: one trailing NUL is stripped first.
    DecodedBody decode(std::string_view body) const;

    // Type 2 decoding alone (prefix, Base64 with line breaks, RSA).
    bool decryptRsa(std::string_view cipherText, std::string* plain) const;

private:
    struct Keys;
    std::unique_ptr<Keys> m_keys;
};

} // namespace tb
